#include "CxDVDUtil.h"

#include <cctype>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>

#include "Assert.h"
#include "CxDrive.h"
#include "TextUtil.h"

namespace fs = std::filesystem;

namespace {

// "VTS*.VOB" as the disc may spell it.
bool IsTitleFile(std::string_view name)
{
    auto upper = [](std::string_view s) {
        std::string u(s);
        for (char& c : u)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return u;
    };
    return name.size() >= 7 && upper(name.substr(0, 3)) == "VTS" && upper(name.substr(name.size() - 4)) == ".VOB";
}

} // namespace

CxDVDChecker::CxDVDChecker() : m_pVOBList(new (std::nothrow) CxTypedList<VOBInfo>)
{
    CX_ASSERT(m_pVOBList);
    Refresh();
}

CxDVDChecker::~CxDVDChecker()
{
    Clear();
}

bool CxDVDChecker::Refresh()
{
    Clear();
    m_cDrive = FindDVDDrive();
    if (!m_cDrive)
        return true;

    std::error_code ec;
    const fs::path folder = cx::GetDrivePath(m_cDrive, "VIDEO_TS");
    // Listed as the folder reports them: the disc's own order, no sorting.
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code fileEc;
        if (!IsTitleFile(name) || !it->is_regular_file(fileEc))
            continue;
        const std::uintmax_t size = it->file_size(fileEc);
        auto* pInfo = new (std::nothrow) VOBInfo{};
        if (!pInfo)
            continue;
        cx::CopyText(pInfo->szFileName, name.c_str());
        pInfo->nFileSize = fileEc ? 0 : static_cast<std::uint32_t>(size);
        m_pVOBList->Add(pInfo);
    }
    return true;
}

VOBInfo* CxDVDChecker::GetFirstVOB()
{
    return m_pVOBList->GetFirst();
}

VOBInfo* CxDVDChecker::GetNextVOB()
{
    return m_pVOBList->GetNext();
}

void CxDVDChecker::Clear()
{
    for (VOBInfo* p = m_pVOBList->GetFirst(); p; p = m_pVOBList->GetNext())
        delete p;
    m_pVOBList->RemoveAll(false);
}

char CxDVDChecker::FindDVDDrive()
{
    char drives[26];
    std::int32_t nCount = 0;
    if (!cx::GetCDDrives(drives, &nCount))
        return 0;
    for (std::int32_t i = 0; i < nCount; ++i) {
        std::error_code ec;
        // The first title set's menu file marks a DVD; other files alone do not.
        if (fs::exists(cx::GetDrivePath(drives[i], "VIDEO_TS/VTS_01_0.VOB"), ec))
            return drives[i];
    }
    return 0;
}

bool GetVOBPath(char cDrive, const char* szFileName, char* szBuf, std::size_t nSize)
{
    if (!szBuf || nSize == 0)
        return false;
    if (!szFileName) {
        szBuf[0] = '\0';
        return false;
    }
    const std::string relative = std::string("VIDEO_TS/") + szFileName;
    return cx::GetDrivePath(cDrive, relative.c_str(), szBuf, nSize);
}
