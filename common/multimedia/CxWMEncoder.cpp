#include "CxWMEncoder.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

#include "Assert.h"
#include "SessionText.h"
#include "TextUtil.h"
#include "WinUtil.h"

using cxwm::FromUtf16;
using cxwm::IsEmpty;
using cxwm::kNameChars;
using cxwm::kPathChars;
using cxwm::kTextChars;
using cxwm::ToUtf16;

const char* ProfileFileName(std::int32_t nCode, std::int32_t nQuality)
{
    static const char* const kFiles[3][3] = {
        // quality 1 (High), 3 (Low), anything else (Medium)
        {"MRProf3v.prx", "MRProf1v.prx", "MRProf2v.prx"},
        {"MRProf3h.prx", "MRProf1h.prx", "MRProf2h.prx"},
        {"MRProf3x.prx", "MRProf1x.prx", "MRProf2x.prx"},
    };
    if (nCode < kResStandard || nCode > kResVGA)
        return nullptr;
    const int column = nQuality == 1 ? 0 : nQuality == 3 ? 1 : 2;
    return kFiles[nCode - kResStandard][column];
}

// ---------------------------------------------------------------------------
// CxWMEncProfile2

CxWMEncProfile2::~CxWMEncProfile2()
{
    m_pProfile.reset();
}

bool CxWMEncProfile2::Create()
{
    m_pProfile.reset();
    mce::IEngineFactory* factory = mce::InstalledFactory();
    if (!factory)
        return false;
    const mce::Result hr = factory->CreateProfile(&m_pProfile);
    if (mce::Failed(hr))
        m_pProfile.reset();
    return mce::Succeeded(hr) && m_pProfile;
}

bool CxWMEncProfile2::LoadFile(const char* szPath)
{
    if (!m_pProfile || IsEmpty(szPath))
        return false;
    char16_t wszPath[kPathChars];
    if (!ToUtf16(szPath, wszPath, kPathChars, true))
        return false; // a cut path names another file
    return mce::Succeeded(m_pProfile->LoadFromFile(wszPath));
}

// ---------------------------------------------------------------------------
// CxWMEncoder: construction and cleanup

CxWMEncoder::CxWMEncoder()
{
    m_pGroups.reset(new (std::nothrow) CxTypedList<WMEncGroup>);
    m_pEngineProfiles.reset(new (std::nothrow) CxTypedList<WMEncProfileInfo>);
    m_pProfileObjs.reset(new (std::nothrow) CxTypedList<CxWMEncProfile2>);
    if (!m_pGroups || !m_pEngineProfiles)
        return;

    mce::IEngineFactory* factory = mce::InstalledFactory();
    if (!factory) {
        m_hr = mce::rc::NotInitialized;
        return;
    }
    m_hr = factory->Initialize();
    if (mce::Failed(m_hr))
        return;
    m_pRuntime = factory;

    m_hr = factory->CreateEncoder(&m_pEncoder);
    if (mce::Failed(m_hr))
        return;
    if (!m_pEncoder) {
        m_hr = mce::rc::Fail;
        return;
    }
    if (mce::Failed(m_hr = m_pEncoder->GetSourceGroupCollection(&m_pSrcGrpColl)))
        return;
    if (mce::Failed(m_hr = m_pEncoder->GetDisplayInfo(&m_pDisplayInfo)))
        return;
    if (mce::Failed(m_hr = m_pEncoder->GetAttributes(&m_pSpare)))
        return;
    if (mce::Failed(m_hr = m_pEncoder->GetFile(&m_pFile)))
        return;
    if (mce::Failed(m_hr = m_pEncoder->GetProfileCollection(&m_pProfileColl)))
        return;
    if (mce::Failed(m_hr = m_pEncoder->GetStatistics(&m_pStatistics)))
        return;
    m_bAvailable = true;
}

CxWMEncoder::~CxWMEncoder()
{
    ClearGroups();
    ClearEngineProfiles();
    ClearProfiles();

    m_pArchiveStats.reset();
    m_pArchiveDisp.reset();
    m_pStatistics.reset();
    m_pProfileColl.reset();
    m_pFile.reset();
    m_pSpare.reset();
    m_pDisplayInfo.reset();
    m_pSrcGrpColl.reset();
    m_pEncoder.reset();

    m_pGroups.reset();
    m_pEngineProfiles.reset();
    m_pProfileObjs.reset();

    if (m_pRuntime)
        m_pRuntime->Uninitialize();
    m_pRuntime = nullptr;
}

// ---------------------------------------------------------------------------
// Source groups

bool CxWMEncoder::AddGroup(WMEncGroup* pGroup)
{
    if (!pGroup || !m_pGroups)
        return false;
    return m_pGroups->Add(pGroup);
}

bool CxWMEncoder::CreateGroup(WMEncGroup* pGroup, const char* szVideoPath, const char* szAudioPath)
{
    if (!pGroup || IsEmpty(szVideoPath))
        return false;
    if (IsEmpty(szAudioPath))
        szAudioPath = szVideoPath;
    ReleaseGroup(pGroup);
    if (!m_pSrcGrpColl || !m_pGroups)
        return false;

    if (pGroup->wszName[0] == 0) {
        char szName[kNameChars];
        std::snprintf(szName, sizeof szName, "CxWMEncGrp_%d", static_cast<int>(m_pGroups->GetCount()));
        ToUtf16(szName, pGroup->wszName, kNameChars);
    }
    char16_t wszVideo[kPathChars];
    char16_t wszAudio[kPathChars];
    if (!ToUtf16(szVideoPath, wszVideo, kPathChars, true) || !ToUtf16(szAudioPath, wszAudio, kPathChars, true))
        return false; // a cut path names another file

    m_hr = m_pSrcGrpColl->Add(pGroup->wszName, &pGroup->pSrcGrp);
    if (mce::Failed(m_hr) || !pGroup->pSrcGrp)
        return false;

    {
        mce::ObjectRef source;
        m_hr = pGroup->pSrcGrp->AddSource(mce::kSourceVideo, &source);
        if (mce::Failed(m_hr))
            return false;
        m_hr = mce::QueryInterface(source, &pGroup->pVideoSrc);
        if (mce::Failed(m_hr))
            return false;
        m_hr = pGroup->pVideoSrc->SetInput(wszVideo, u"", u"");
        if (mce::Failed(m_hr))
            return false;
    }
    {
        mce::ObjectRef source;
        m_hr = pGroup->pSrcGrp->AddSource(mce::kSourceAudio, &source);
        if (mce::Failed(m_hr))
            return false;
        m_hr = mce::QueryInterface(source, &pGroup->pAudioSrc);
        if (mce::Failed(m_hr))
            return false;
        m_hr = pGroup->pAudioSrc->SetInput(wszAudio, u"", u"");
        if (mce::Failed(m_hr))
            return false;
    }
    return true;
}

bool CxWMEncoder::ReleaseGroup(WMEncGroup* pGroup)
{
    if (!pGroup)
        return false;
    pGroup->pAudioSrc.reset();
    pGroup->pVideoSrc.reset();
    pGroup->pSrcGrp.reset();
    return true;
}

bool CxWMEncoder::RemoveGroup(std::uint32_t nIndex, bool bRelease)
{
    if (!m_pGroups)
        return false;
    WMEncGroup* pGroup = nullptr;
    if (!m_pGroups->RemoveAt(nIndex, &pGroup))
        return true;
    if (bRelease)
        ReleaseGroup(pGroup);
    delete pGroup;
    return true;
}

void CxWMEncoder::ClearGroups()
{
    const std::uint32_t n = m_pGroups ? m_pGroups->GetCount() : 0;
    for (std::uint32_t i = 0; i < n; ++i)
        RemoveGroup(0, true);
}

// ---------------------------------------------------------------------------
// Profiles

namespace {

// The profile file of that code and quality in the program directory; false
// when there is none or its path would not fit.
bool ProfilePath(std::int32_t nCode, std::int32_t nQuality, char (&szPath)[cx::kMaxPath])
{
    const char* szFile = ProfileFileName(nCode, nQuality);
    if (!szFile || !cx::GetModuleDir(szPath))
        return false;
    const std::size_t dirLen = std::strlen(szPath);
    if (dirLen + std::strlen(szFile) >= sizeof szPath)
        return false; // would name another file
    std::memcpy(szPath + dirLen, szFile, std::strlen(szFile) + 1);
    return true;
}

} // namespace

bool CxWMEncoder::SelectProfile(WMEncGroup* pGroup, std::int32_t nCode, std::int32_t nQuality)
{
    char szPath[cx::kMaxPath];
    return ProfilePath(nCode, nQuality, szPath) && ApplyProfileFile(pGroup, szPath);
}

bool CxWMEncoder::SelectCustomProfile(WMEncGroup* pGroup, std::int32_t nQuality, std::int32_t nWidth,
                                      std::int32_t nHeight)
{
    char szPath[cx::kMaxPath];
    return ProfilePath(kResWide, nQuality, szPath) && ApplyProfileFile(pGroup, szPath, nWidth, nHeight);
}

bool CxWMEncoder::ApplyProfileFile(WMEncGroup* pGroup, const char* szPath, std::int32_t nWidth, std::int32_t nHeight)
{
    auto* pProfile = new (std::nothrow) CxWMEncProfile2;
    CX_ASSERT(pProfile);
    if (!pProfile->Create() || !pProfile->LoadFile(szPath) || !m_pProfileObjs) {
        delete pProfile;
        return false;
    }
    m_pProfileObjs->Add(pProfile);
    if (nWidth || nHeight) {
        m_hr = pProfile->GetProfile()->SetFrameSize(nWidth, nHeight);
        if (mce::Failed(m_hr))
            return false;
    }
    return ApplyProfile(pGroup, pProfile->GetProfile());
}

bool CxWMEncoder::ApplyProfile(WMEncGroup* pGroup, const std::shared_ptr<mce::IProfile>& pProfile)
{
    CX_ASSERT(pGroup && pProfile);
    if (!pGroup->pSrcGrp)
        return false;
    m_hr = pGroup->pSrcGrp->SetProfile(pProfile);
    return mce::Succeeded(m_hr);
}

void CxWMEncoder::ClearProfiles()
{
    if (!m_pProfileObjs)
        return;
    for (CxWMEncProfile2* p = m_pProfileObjs->GetFirst(); p; p = m_pProfileObjs->GetNext())
        delete p;
    m_pProfileObjs->RemoveAll(false);
}

bool CxWMEncoder::LoadEngineProfiles()
{
    ClearEngineProfiles();
    if (!m_pProfileColl || !m_pEngineProfiles)
        return false;
    std::int32_t nCount = 0;
    m_hr = m_pProfileColl->GetCount(&nCount);
    if (mce::Failed(m_hr))
        return false;
    for (std::int32_t i = 0; i < nCount; ++i) {
        auto* pInfo = new (std::nothrow) WMEncProfileInfo{};
        CX_ASSERT(pInfo);
        m_hr = m_pProfileColl->Item(i, &pInfo->pEngineProfile);
        if (mce::Failed(m_hr) || !pInfo->pEngineProfile) {
            delete pInfo;
            continue;
        }
        m_pEngineProfiles->Add(pInfo);
        std::u16string name;
        m_hr = pInfo->pEngineProfile->GetName(&name);
        if (mce::Succeeded(m_hr))
            FromUtf16(name, pInfo->szProfileName, sizeof pInfo->szProfileName);
    }
    return true;
}

bool CxWMEncoder::RemoveEngineProfile(std::uint32_t nIndex, bool bRelease)
{
    if (!m_pEngineProfiles)
        return false;
    WMEncProfileInfo* pInfo = nullptr;
    if (!m_pEngineProfiles->RemoveAt(nIndex, &pInfo))
        return true;
    if (bRelease)
        pInfo->pEngineProfile.reset();
    delete pInfo;
    return true;
}

void CxWMEncoder::ClearEngineProfiles()
{
    const std::uint32_t n = m_pEngineProfiles ? m_pEngineProfiles->GetCount() : 0;
    for (std::uint32_t i = 0; i < n; ++i)
        RemoveEngineProfile(0, true);
}

// ---------------------------------------------------------------------------
// Video source settings, display texts, output file

bool CxWMEncoder::SetCropping(WMEncGroup* pGroup, std::int32_t nLeft, std::int32_t nTop, std::int32_t nRight,
                              std::int32_t nBottom)
{
    if (!pGroup || !pGroup->pVideoSrc)
        return false;
    mce::IVideoSource& src = *pGroup->pVideoSrc;
    if (nLeft > 0)
        m_hr = src.SetCroppingLeftMargin(nLeft);
    if (nTop > 0)
        m_hr = src.SetCroppingTopMargin(nTop);
    if (nRight > 0)
        m_hr = src.SetCroppingRightMargin(nRight);
    if (nBottom > 0)
        m_hr = src.SetCroppingBottomMargin(nBottom);
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::DetectCrop(const char* szPath, mce::CropMargins* pMargins)
{
    mce::CropMargins margins;
    if (!m_pRuntime || !szPath || !*szPath)
        m_hr = m_pRuntime ? mce::rc::InvalidArg : mce::rc::NotInitialized;
    else
        m_hr = m_pRuntime->DetectCrop(szPath, &margins);
    if (pMargins)
        *pMargins = mce::Succeeded(m_hr) ? margins : mce::CropMargins{};
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::SetTwoPass(WMEncGroup* pGroup, bool bEnable)
{
    if (!pGroup || !pGroup->pVideoSrc)
        return false;
    m_hr = pGroup->pVideoSrc->SetTwoPass(bEnable ? 1 : 0);
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::SetAudioStream(WMEncGroup* pGroup, std::int32_t nStreamId)
{
    if (!pGroup || !pGroup->pAudioSrc)
        return false;
    m_hr = pGroup->pAudioSrc->SetStream(nStreamId);
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::SetWholeTitle(WMEncGroup* pGroup, bool bEnable)
{
    if (!pGroup || !pGroup->pVideoSrc)
        return false;
    m_hr = pGroup->pVideoSrc->SetWholeTitle(bEnable ? mce::kTrue : mce::kFalse);
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::SetDisplayText(SetTextFn fn, const char* szText)
{
    if (!m_pDisplayInfo)
        return false;
    char16_t wszText[kTextChars];
    ToUtf16(szText, wszText, kTextChars); // a longer text is cut at a whole character
    m_hr = ((*m_pDisplayInfo).*fn)(wszText);
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::SetTitle(const char* szText)
{
    return SetDisplayText(&mce::IDisplayInfo::SetTitle, szText);
}
bool CxWMEncoder::SetAuthor(const char* szText)
{
    return SetDisplayText(&mce::IDisplayInfo::SetAuthor, szText);
}
bool CxWMEncoder::SetCopyright(const char* szText)
{
    return SetDisplayText(&mce::IDisplayInfo::SetCopyright, szText);
}
bool CxWMEncoder::SetDescription(const char* szText)
{
    return SetDisplayText(&mce::IDisplayInfo::SetDescription, szText);
}

bool CxWMEncoder::SetOutputFile(const char* szPath)
{
    if (IsEmpty(szPath) || !m_pFile)
        return false;
    char16_t wszPath[kPathChars];
    if (!ToUtf16(szPath, wszPath, kPathChars, true))
        return false; // a cut path names another file
    m_hr = m_pFile->SetLocalFileName(wszPath);
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::SetSizeLimit(std::int32_t nBytes)
{
    if (!m_pFile)
        return false;
    // The limit travels as a 64-bit value whose high half is zero; the
    // engine's answer is not looked at.
    m_pFile->SetMaxFileSize(static_cast<std::int64_t>(static_cast<std::uint32_t>(nBytes)));
    return true;
}
