// One conversion session on the encoding engine: owns the engine's encoder
// object and the sub-objects it needs, turns the program's 8-bit paths and
// texts into engine calls and keeps the result code of the latest engine call
// in m_hr, so that a failure can be put into words afterwards.
//
// Everything is created through mce::InstalledFactory(); no factory means no
// engine, and construction fails at the runtime start. Qt-free; only
// ShowError needs the window side (CxWMEncoderShowError.cpp, mc_session_ui).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "CxList.h"
#include "Engine.h"

class QWidget;

// One source group. The caller allocates it zero-filled (new WMEncGroup{})
// and hands it over with AddGroup; the session then owns and frees it.
struct WMEncGroup {
    char16_t wszName[20]; // empty: CreateGroup names the group by number
    std::shared_ptr<mce::ISourceGroup> pSrcGrp;
    std::shared_ptr<mce::IAudioSource> pAudioSrc;
    std::shared_ptr<mce::IVideoSource> pVideoSrc;
};

// One installed engine profile, as LoadEngineProfiles reads it.
struct WMEncProfileInfo {
    std::shared_ptr<mce::IProfile> pEngineProfile;
    char szProfileName[256];
};

// One row of the engine error table.
struct WMEncError {
    std::int32_t hr;
    char szText[152];
};

constexpr int kWMEncErrorCount = 18;
extern const WMEncError g_WMEncErrors[kWMEncErrorCount];

// "Windows Media Encoder Internal Error: ..." for a failure code: the table's
// words where it knows the code, else the code in lower-case hexadecimal.
// Empty for a code that is not a failure.
std::string FormatEncoderError(std::int32_t hr);

// Resolution codes of SelectProfile.
constexpr std::int32_t kResStandard = 1000;
constexpr std::int32_t kResWide = 1001;
constexpr std::int32_t kResVGA = 1002;

// The profile file for a resolution code and quality level ("MRProf2v.prx"),
// or null for an unknown code. High quality takes the files numbered 3.
const char* ProfileFileName(std::int32_t nCode, std::int32_t nQuality);

// One engine profile object loaded from a profile file.
class CxWMEncProfile2 {
public:
    CxWMEncProfile2() = default;
    virtual ~CxWMEncProfile2();
    CxWMEncProfile2(const CxWMEncProfile2&) = delete;
    CxWMEncProfile2& operator=(const CxWMEncProfile2&) = delete;

    bool Create();
    bool LoadFile(const char* szPath);
    const std::shared_ptr<mce::IProfile>& GetProfile() const { return m_pProfile; }

private:
    std::shared_ptr<mce::IProfile> m_pProfile;
};

class CxWMEncoder {
public:
    CxWMEncoder();
    virtual ~CxWMEncoder();
    CxWMEncoder(const CxWMEncoder&) = delete;
    CxWMEncoder& operator=(const CxWMEncoder&) = delete;

    bool IsAvailable() const { return m_bAvailable; }

    bool AddGroup(WMEncGroup* pGroup);
    // A null or empty audio path reads the sound from the video path.
    bool CreateGroup(WMEncGroup* pGroup, const char* szVideoPath, const char* szAudioPath);
    bool ReleaseGroup(WMEncGroup* pGroup);
    bool RemoveGroup(std::uint32_t nIndex, bool bRelease);
    void ClearGroups();

    bool SelectProfile(WMEncGroup* pGroup, std::int32_t nCode, std::int32_t nQuality);
    // A custom frame: the wide-screen profile of that quality made for the
    // frame, its video rates scaled by the frame's area.
    bool SelectCustomProfile(WMEncGroup* pGroup, std::int32_t nQuality, std::int32_t nWidth, std::int32_t nHeight);
    // A width and height other than 0 make the loaded profile that frame.
    bool ApplyProfileFile(WMEncGroup* pGroup, const char* szPath, std::int32_t nWidth = 0, std::int32_t nHeight = 0);
    bool ApplyProfile(WMEncGroup* pGroup, const std::shared_ptr<mce::IProfile>& pProfile);
    void ClearProfiles();

    // Only margins greater than 0 reach the engine.
    bool SetCropping(WMEncGroup* pGroup, std::int32_t nLeft, std::int32_t nTop, std::int32_t nRight,
                     std::int32_t nBottom);
    bool SetTwoPass(WMEncGroup* pGroup, bool bEnable);

    // Null means empty. A text longer than the engine's 255 characters is cut.
    bool SetTitle(const char* szText);
    bool SetAuthor(const char* szText);
    bool SetCopyright(const char* szText);
    bool SetDescription(const char* szText);

    bool LoadEngineProfiles();
    bool RemoveEngineProfile(std::uint32_t nIndex, bool bRelease);
    void ClearEngineProfiles();

    bool SetOutputFile(const char* szPath);
    bool SetSizeLimit(std::int32_t nBytes);

    bool Prepare(bool bPrepare);
    bool Start(); // also resumes after Pause
    bool Pause();
    bool Stop();

    // Milliseconds converted and bytes written so far: -1 without an encoder
    // object, 0 when the read fails; the low 32 bits of the engine's value.
    std::int32_t GetDuration();
    std::int32_t GetFileSize();
    // The output's size in full, where GetFileSize keeps 32 bits of it; -1
    // and 0 as there.
    std::int64_t GetFileBytes();
    // Milliseconds of the source being converted, for a progress display:
    // -1 without an encoder object, 0 when the engine cannot tell. Leaves
    // m_hr alone: an engine that cannot tell has not failed the run.
    std::int32_t GetSourceDuration();
    // How the size limit shaped the output (mce::SizeFit). False, with
    // *pFit cleared, without an encoder object or when the engine cannot
    // tell; m_hr is left alone.
    bool GetSizeFit(mce::SizeFit* pFit);

    // Whether the engine is encoding, paused or stopped. When it stopped on a
    // failure while encoding, that failure's code goes into m_hr and into
    // *pnFailure (else 0 there). Idle without an encoder object.
    mce::RunState GetRunState(std::int32_t* pnFailure = nullptr);

    // Shows FormatEncoderError(m_hr) in a "Media Encoder Error" box owned by
    // owner; nothing when m_hr is not a failure. Needs mc_session_ui.
    void ShowError(QWidget* owner);
    std::string GetErrorText() const { return FormatEncoderError(m_hr); }

    std::int32_t GetLastResult() const { return m_hr; }
    std::uint32_t GetGroupCount() const { return m_pGroups ? m_pGroups->GetCount() : 0; }
    WMEncGroup* GetGroup(std::uint32_t nIndex) { return m_pGroups ? m_pGroups->GetAt(nIndex) : nullptr; }
    std::uint32_t GetEngineProfileCount() const { return m_pEngineProfiles ? m_pEngineProfiles->GetCount() : 0; }
    WMEncProfileInfo* GetEngineProfile(std::uint32_t nIndex)
    {
        return m_pEngineProfiles ? m_pEngineProfiles->GetAt(nIndex) : nullptr;
    }
    std::uint32_t GetProfileObjCount() const { return m_pProfileObjs ? m_pProfileObjs->GetCount() : 0; }

private:
    using SetTextFn = mce::Result (mce::IDisplayInfo::*)(const char16_t*);
    bool SetDisplayText(SetTextFn fn, const char* szText);
    std::int64_t ReadArchiveStat(bool bDuration);

    std::shared_ptr<mce::IEncoder> m_pEncoder;
    std::shared_ptr<mce::ISourceGroupCollection> m_pSrcGrpColl;
    std::shared_ptr<mce::IProfileCollection> m_pProfileColl;
    std::shared_ptr<mce::IDisplayInfo> m_pDisplayInfo;
    mce::ObjectRef m_pSpare;
    std::shared_ptr<mce::IOutputFile> m_pFile;
    std::shared_ptr<mce::IStatistics> m_pStatistics;
    std::shared_ptr<mce::IFileArchiveStats> m_pArchiveStats;
    mce::ObjectRef m_pArchiveDisp;
    bool m_bAvailable = false;
    std::int32_t m_hr = 0;
    std::unique_ptr<CxTypedList<WMEncGroup>> m_pGroups;
    std::unique_ptr<CxTypedList<WMEncProfileInfo>> m_pEngineProfiles;
    std::unique_ptr<CxTypedList<CxWMEncProfile2>> m_pProfileObjs;
    // The runtime this session started, so that cleanup ends exactly that
    // one and only when the start succeeded.
    mce::IEngineFactory* m_pRuntime = nullptr;
};
