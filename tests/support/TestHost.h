// A small stand-in for the main window: owns the live options and the run
// list, hands out a profile store the test chooses, applies a chosen skin and
// records what the windows ask of it.
#pragma once

#include <utility>
#include <vector>

#include "Assert.h"
#include "CxList.h"
#include "MROption.h"
#include "SkinManager.h"
#include "main/MainAccess.h"

namespace testsupport {

class TestHost final : public MainAccess {
public:
    MROption* GetOption() override { return hasOption ? &option : nullptr; }
    CxList* GetRunList() override { return &runList; }
    MRProfileList* GetProfiles() override { return profiles; }
    void ApplySkin(skin::SkinManager* skin) override
    {
        CX_ASSERT(skin);
        skin->SetStyle(skinType);
        ++skinsApplied;
    }
    bool ShowOption() override
    {
        ++shown;
        return true;
    }
    bool UpdateOption(bool bSave, bool bSilent) override
    {
        updates.emplace_back(bSave, bSilent);
        if (!bSave)
            ShowOption();
        return true;
    }

    QString CurrentSource() override { return source; }

    MROption option = MakeOption();
    QString source; // what the single-file page would convert
    bool hasOption = true;
    CxList runList;
    MRProfileList* profiles = nullptr; // not owned
    int skinType = 1;

    int skinsApplied = 0;
    int shown = 0;
    std::vector<std::pair<bool, bool>> updates; // (bSave, bSilent) per call
};

} // namespace testsupport
