// The DVD in the optical drives and the list of its title files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "CxList.h"

// One title file of the disc's VIDEO_TS folder.
struct VOBInfo {
    char szFileName[260];    // bare name as the disc has it, e.g. VTS_01_1.VOB
    std::uint32_t nFileSize; // size in bytes, low 32 bits
};

// Keeps a snapshot of the first drive that holds a DVD and of its title
// files. Entries stay valid until the next Refresh or Clear.
class CxDVDChecker {
public:
    CxDVDChecker();
    virtual ~CxDVDChecker();
    CxDVDChecker(const CxDVDChecker&) = delete;
    CxDVDChecker& operator=(const CxDVDChecker&) = delete;

    // Looks at the drives again; always true.
    bool Refresh();
    // The DVD's drive letter; 0 when no DVD was found.
    char GetDrive() const { return m_cDrive; }
    // One walk at a time: both share the list's cursor.
    VOBInfo* GetFirstVOB();
    VOBInfo* GetNextVOB();
    // Drops the entries; the drive letter stays.
    void Clear();
    // The first optical drive whose disc has VIDEO_TS/VTS_01_0.VOB, or 0.
    char FindDVDDrive();

private:
    char m_cDrive = 0;
    std::unique_ptr<CxTypedList<VOBInfo>> m_pVOBList;
};

// Full path of a title file on a drive: VIDEO_TS/<name> on its disc. False,
// leaving an empty text, for a null buffer or a path that does not fit.
bool GetVOBPath(char cDrive, const char* szFileName, char* szBuf, std::size_t nSize);
