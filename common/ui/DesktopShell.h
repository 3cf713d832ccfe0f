// Connects the Qt-free helpers of common/misc to the desktop: shell open goes
// to the desktop's URL handler, a failed assertion is also shown in a box.
#pragma once

#include <QString>
#include <QUrl>

#include <string>

class QWidget;

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

// Whether the desktop's launcher will find a program for the URL: one for
// the file's kind or the address's scheme in the MIME lists, or a web
// browser, which the launcher falls back to. A local file that is not there
// is the launcher's to report.
bool DesktopCanOpen(const QUrl& url);

// Shell open, and when the desktop has no program that takes the text, a box
// owned by owner that says so: what could not be opened ("the help"), what
// to install ("a web browser"), and the path or address to open by other
// means. True when the desktop took it.
bool OpenOnDesktop(QWidget* owner, const std::string& text, const QString& what, const QString& program);
} // namespace ui
