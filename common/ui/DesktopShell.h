// Connects the Qt-free helpers of common/misc to the desktop: shell open goes
// to the desktop's URL handler, a failed assertion is also shown in a box.
#pragma once

namespace ui {
void InstallDesktopShell();
}
