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

// Whether the desktop has a program for this existing local file: an
// association for its kind of file in the desktop's MIME lists
// (mimeapps.list, defaults.list, mimeinfo.cache of the XDG folders). The
// desktop's URL service cannot tell: it only starts a launcher, which then
// fails on its own.
bool DesktopHasProgramFor(const QString& path);
} // namespace ui
