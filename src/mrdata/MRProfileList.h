// The profile store: named MROption records kept in one file, mrprof.dat in
// the program directory, with one of them current.
//
// Records are heap objects made with new; the store owns every record it
// accepted and deletes them when it goes. The file is written only by Save.
#pragma once

#include <cstdint>
#include <memory>

#include "CxFile.h"
#include "CxList.h"
#include "MROption.h"

class MRProfileList {
public:
    // The store file in the program directory.
    MRProfileList();
    // Another store file, by full path (tests, tools).
    explicit MRProfileList(const char* szFileName);
    // A store kept in the user's own folder: until szFileName exists, Load
    // reads szStartFile instead (the profiles shipped beside the program);
    // Save writes szFileName only, creating its folder when it is missing.
    MRProfileList(const char* szFileName, const char* szStartFile);
    virtual ~MRProfileList();
    MRProfileList(const MRProfileList&) = delete;
    MRProfileList& operator=(const MRProfileList&) = delete;

    // Adds the file's profiles; false when it cannot be opened. Also removes
    // the temporary files that saves of processes no longer running left
    // beside the store.
    bool Load();
    // Replaces the file with the whole store in one step; false, leaving
    // the old file as it was, when anything could not be written.
    bool Save();

    // Takes ownership unless a profile of that name is listed (then false,
    // and the record stays the caller's).
    bool AddProfile(MROption* pOption);
    bool FindProfile(const MROption* pOption);
    // The listed profile of that name (exact, case-sensitive), else null.
    MROption* FindProfileByName(const char* szName);
    // 0-based position of a listed record, else -1.
    std::int32_t IndexOf(const MROption* pOption);
    bool RemoveAllProfiles();

    // One walk at a time: the walks share the list's cursor.
    MROption* GetFirstProfile();
    MROption* GetNextProfile();
    std::uint32_t GetProfileCount() const;

    // The current profile, else the first, else null.
    MROption* GetCurrentProfile();
    void SetCurrentIndex(std::int32_t nIndex);
    void SetCurrentProfile(MROption* pOption);

    // One record of the open store file, field by field.
    bool ReadOption(MROption* pOption);
    bool WriteOption(const MROption* pOption);

    const char* GetFileName() const { return m_szFileName; }

private:
    void RemoveStaleTempFiles();

    std::unique_ptr<CxFile> m_pDataFile;
    std::unique_ptr<CxTypedList<MROption>> m_pOptionList;
    MROption* m_pCurrent = nullptr;
    std::int32_t m_nCurrent = 0;
    char m_szFileName[260] = {};
    char m_szStartFile[260] = {};
};
