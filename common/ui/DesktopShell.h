// Connects the Qt-free helpers of common/misc to the desktop: shell open goes
// to the desktop's URL handler, a failed assertion is also shown in a box.
#pragma once

#include <QUrl>

#include <string>

namespace ui {
void InstallDesktopShell();

// The URL the desktop gets for a shell-open text: a web address as it is, a
// local path or "file://" folder address as a file URL of the path's bytes,
// so that a name that is not UTF-8 reaches the desktop intact.
QUrl ShellUrl(const std::string& text);
} // namespace ui
