// What the other windows need of the main window: the live options, the run
// list, the profile store and the skin. Windows reach each other only
// through this, so tests can open any window on a small host of their own.
#pragma once

#include <QString>

class CxList;
class MRProfileList;
struct MROption;

namespace skin {
class SkinManager;
}

class MainAccess {
public:
    virtual ~MainAccess() = default;
    virtual MROption* GetOption() = 0;
    virtual CxList* GetRunList() = 0; // of RunItem
    virtual MRProfileList* GetProfiles() = 0;
    // Sets a window's theme manager to the main window's current skin.
    virtual void ApplySkin(skin::SkinManager* skinMain) = 0;
    // Moves values between the live options and the main window's controls.
    virtual bool ShowOption() = 0;
    virtual bool UpdateOption(bool bSave, bool bSilent) = 0;
    // The source the "Convert One File" page would convert now: the checked
    // DVD title file, the video file or the Video CD track; empty for none.
    virtual QString CurrentSource() = 0;
};
