#include "MRProfileList.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "Assert.h"
#include "TextUtil.h"
#include "WinUtil.h"

namespace {

// Smallest record on file: 12 empty strings, 15 integers, 5 bytes.
constexpr std::int64_t kMinRecordBytes = 12 * 4 + 15 * 4 + 5;
constexpr std::int64_t kHeaderBytes = 8;

} // namespace

MRProfileList::MRProfileList() : MRProfileList(nullptr)
{
    char dir[cx::kMaxPath] = {};
    // Without a program directory the store has no file: Load and Save
    // fail instead of using whatever folder the process happens to be in.
    if (cx::GetModuleDir(dir)) {
        const std::string path = std::string(dir) + "mrprof.dat";
        if (cx::FitsField(path.c_str(), sizeof m_szFileName))
            cx::CopyText(m_szFileName, path.c_str());
    }
}

MRProfileList::MRProfileList(const char* szFileName)
    : m_pDataFile(std::make_unique<CxFile>()), m_pOptionList(std::make_unique<CxTypedList<MROption>>())
{
    if (szFileName && cx::FitsField(szFileName, sizeof m_szFileName))
        cx::CopyText(m_szFileName, szFileName);
}

MRProfileList::MRProfileList(const char* szFileName, const char* szStartFile) : MRProfileList(szFileName)
{
    if (szStartFile && cx::FitsField(szStartFile, sizeof m_szStartFile))
        cx::CopyText(m_szStartFile, szStartFile);
}

MRProfileList::~MRProfileList()
{
    RemoveAllProfiles();
}

// A save writes "<store>.<pid>.tmp" and renames it over the store; a save
// killed in between leaves the temporary file behind. One whose process is
// gone is nobody's and goes; one of a live process may be a save under way.
void MRProfileList::RemoveStaleTempFiles()
{
    namespace fs = std::filesystem;
    const fs::path store(m_szFileName);
    const std::string prefix = store.filename().string() + ".";
    std::error_code ec;
    fs::directory_iterator it(store.parent_path().empty() ? fs::path(".") : store.parent_path(), ec);
    for (const fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0 ||
            name.compare(name.size() - 4, 4, ".tmp") != 0)
            continue;
        const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - 4);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = static_cast<pid_t>(std::stol(digits));
        const bool alive = pid > 0 && (kill(pid, 0) == 0 || errno != ESRCH);
        std::error_code type;
        if (!alive && it->is_regular_file(type))
            fs::remove(it->path(), type);
    }
}

bool MRProfileList::Load()
{
    m_pCurrent = nullptr;
    m_nCurrent = 0;
    if (*m_szFileName)
        RemoveStaleTempFiles();
    // Only a store file that is not there yet falls back to the shipped
    // profiles; one that is there but unreadable fails as it always did.
    const char* szFrom = m_szFileName;
    if (*m_szStartFile && access(m_szFileName, F_OK) != 0 && errno == ENOENT)
        szFrom = m_szStartFile;
    if (!m_pDataFile->Open(szFrom, "rb"))
        return false;

    // A file too short for its header is an empty store.
    std::int32_t nCount = 0;
    if (m_pDataFile->Remaining() >= kHeaderBytes) {
        m_pDataFile->ReadInt(&nCount);
        m_pDataFile->ReadInt(&m_nCurrent);
    }

    // A damaged count must not make us allocate for records that cannot
    // be there.
    const std::int64_t nFit = m_pDataFile->Remaining() / kMinRecordBytes;
    if (nCount > nFit)
        nCount = static_cast<std::int32_t>(nFit);

    for (std::int32_t i = 0; i < nCount; ++i) {
        auto* pOption = new MROption(MakeOption());
        ReadOption(pOption);
        if (!AddProfile(pOption)) {
            // A second record of a name already listed: dropped at once. When
            // it stood at the current index, no profile is current.
            delete pOption;
            continue;
        }
        if (i == m_nCurrent)
            m_pCurrent = pOption;
    }
    m_pDataFile->Close();

    // Keep the index naming the record that became current in the list as
    // it now stands (dropped duplicates shift later records), or none, so
    // that the next Save does not point at another profile.
    std::int32_t nIndex = -1;
    if (m_pCurrent) {
        nIndex = 0;
        for (MROption* p = GetFirstProfile(); p && p != m_pCurrent; p = GetNextProfile())
            ++nIndex;
    }
    m_nCurrent = nIndex;
    return true;
}

bool MRProfileList::Save()
{
    if (!*m_szFileName)
        return false;
    if (*m_szStartFile) {
        const std::string file = m_szFileName;
        if (const std::size_t slash = file.rfind('/'); slash != std::string::npos)
            cx::CreateUserDir(file.substr(0, slash + 1).c_str());
    }
    // Written beside the store and renamed over it only when complete, so
    // that a failed or interrupted save keeps the old file.
    const std::string temp = std::string(m_szFileName) + "." + std::to_string(getpid()) + ".tmp";
    if (!m_pDataFile->Open(temp.c_str(), "wb"))
        return false;

    m_pDataFile->WriteInt(static_cast<std::int32_t>(GetProfileCount()));
    m_pDataFile->WriteInt(m_nCurrent);
    for (MROption* p = GetFirstProfile(); p; p = GetNextProfile())
        WriteOption(p);
    m_pDataFile->Sync();
    m_pDataFile->Close();

    if (m_pDataFile->Failed() || !cx::ReplaceFile(temp.c_str(), m_szFileName)) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool MRProfileList::AddProfile(MROption* pOption)
{
    CX_ASSERT(pOption);
    if (FindProfile(pOption))
        return false;
    return m_pOptionList->Add(pOption);
}

bool MRProfileList::FindProfile(const MROption* pOption)
{
    CX_ASSERT(pOption);
    for (MROption* p = GetFirstProfile(); p; p = GetNextProfile()) {
        if (std::strncmp(p->szName, pOption->szName, sizeof p->szName) == 0)
            return true;
    }
    return false;
}

MROption* MRProfileList::FindProfileByName(const char* szName)
{
    CX_ASSERT(szName);
    for (MROption* p = GetFirstProfile(); p; p = GetNextProfile()) {
        if (std::strncmp(p->szName, szName, sizeof p->szName) == 0)
            return p;
    }
    return nullptr;
}

std::int32_t MRProfileList::IndexOf(const MROption* pOption)
{
    std::int32_t n = 0;
    for (MROption* p = GetFirstProfile(); p; p = GetNextProfile(), ++n) {
        if (p == pOption)
            return n;
    }
    return -1;
}

bool MRProfileList::RemoveAllProfiles()
{
    for (MROption* p = GetFirstProfile(); p; p = GetNextProfile())
        delete p;
    m_pOptionList->RemoveAll(false);
    return true;
}

MROption* MRProfileList::GetFirstProfile()
{
    return m_pOptionList->GetFirst();
}

MROption* MRProfileList::GetNextProfile()
{
    return m_pOptionList->GetNext();
}

std::uint32_t MRProfileList::GetProfileCount() const
{
    return m_pOptionList->GetCount();
}

MROption* MRProfileList::GetCurrentProfile()
{
    return m_pCurrent ? m_pCurrent : GetFirstProfile();
}

void MRProfileList::SetCurrentIndex(std::int32_t nIndex)
{
    m_nCurrent = nIndex;
}

void MRProfileList::SetCurrentProfile(MROption* pOption)
{
    m_pCurrent = pOption;
}

bool MRProfileList::ReadOption(MROption* pOption)
{
    CX_ASSERT(pOption);
    CxFile& f = *m_pDataFile;
    f.ReadString(pOption->szName);
    f.ReadString(pOption->szOutputFile);
    f.ReadInt(&pOption->nResolution);
    f.ReadInt(&pOption->nWidth);
    f.ReadInt(&pOption->nHeight);
    f.ReadInt(&pOption->bWideAspect);
    f.ReadBool(&pOption->bLimitSize);
    f.ReadInt(&pOption->nCardSize);
    f.ReadBool(&pOption->bCrop);
    f.ReadInt(&pOption->nCropLeft);
    f.ReadInt(&pOption->nCropTop);
    f.ReadInt(&pOption->nCropRight);
    f.ReadInt(&pOption->nCropBottom);
    f.ReadBool(&pOption->bOptimize);
    f.ReadBool(&pOption->bTwoPass);
    f.ReadBool(&pOption->bSpeech);
    f.ReadString(pOption->szTitle);
    f.ReadString(pOption->szAuthor);
    f.ReadString(pOption->szCopyright);
    f.ReadString(pOption->szDescription);
    for (std::int32_t& n : pOption->nReserved)
        f.ReadInt(&n);
    for (auto& sz : pOption->szReserved)
        f.ReadString(sz);
    return true;
}

bool MRProfileList::WriteOption(const MROption* pOption)
{
    CX_ASSERT(pOption);
    CxFile& f = *m_pDataFile;
    // Bounded by the field, in case a text lost its terminator.
    auto text = [&f](const auto& field) { f.WriteString(field, sizeof field - 1); };
    text(pOption->szName);
    text(pOption->szOutputFile);
    f.WriteInt(pOption->nResolution);
    f.WriteInt(pOption->nWidth);
    f.WriteInt(pOption->nHeight);
    f.WriteInt(pOption->bWideAspect);
    f.WriteBool(pOption->bLimitSize);
    f.WriteInt(pOption->nCardSize);
    f.WriteBool(pOption->bCrop);
    f.WriteInt(pOption->nCropLeft);
    f.WriteInt(pOption->nCropTop);
    f.WriteInt(pOption->nCropRight);
    f.WriteInt(pOption->nCropBottom);
    f.WriteBool(pOption->bOptimize);
    f.WriteBool(pOption->bTwoPass);
    f.WriteBool(pOption->bSpeech);
    text(pOption->szTitle);
    text(pOption->szAuthor);
    text(pOption->szCopyright);
    text(pOption->szDescription);
    for (std::int32_t n : pOption->nReserved)
        f.WriteInt(n);
    for (const auto& sz : pOption->szReserved)
        text(sz);
    return true;
}
