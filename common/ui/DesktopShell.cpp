#include "DesktopShell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QUrl>

#include "Assert.h"
#include "WinUtil.h"

namespace ui {
namespace {

// An absolute path's bytes, percent-encoded: file names are bytes, not
// necessarily UTF-8.
QUrl LocalFileUrl(const std::string& path)
{
    return QUrl::fromEncoded(QByteArrayLiteral("file://") + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

void ShowAssertion(const char* text)
{
    QMessageBox::critical(nullptr, QStringLiteral("Assertion failed"), QString::fromUtf8(text));
}

} // namespace

// A text with a scheme ("file://", "https://") is an address; anything else is
// a local path. Either way the desktop gets a URL, never a command line.
QUrl ShellUrl(const std::string& text)
{
    if (text.rfind('/', 0) == 0)
        return LocalFileUrl(text);
    if (text.rfind("file:///", 0) == 0)
        return LocalFileUrl(text.substr(7)); // the product appends raw paths
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (s.startsWith(QLatin1String("file://")))
        return QUrl::fromLocalFile(s.mid(7));
    const QUrl url(s, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl::fromLocalFile(s);
}

// Does the MIME list file name a program for one of the
// types? Lines read "type=app.desktop;other.desktop;"; associations the user
// removed do not count.
bool ListsProgramFor(const QString& file, const QStringList& types)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    bool removed = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            removed = line == QLatin1String("[Removed Associations]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (removed || eq <= 0 || !types.contains(line.left(eq).trimmed()))
            continue;
        if (!line.mid(eq + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts).isEmpty())
            return true;
    }
    return false;
}

bool DesktopHasProgramFor(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    const QStringList types = QStringList{mime.name()} + mime.aliases();
    QStringList files;
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation))
        files << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation))
        files << dir + QStringLiteral("/mimeapps.list") << dir + QStringLiteral("/defaults.list")
              << dir + QStringLiteral("/mimeinfo.cache");
    for (const QString& file : files) {
        if (ListsProgramFor(file, types))
            return true;
    }
    return false;
}

void InstallDesktopShell()
{
    cx::SetShellOpener([](const std::string& text) { QDesktopServices::openUrl(ShellUrl(text)); });
    cx::SetCheckedShellOpener([](const std::string& text) {
        const QUrl url = ShellUrl(text);
        if (url.isLocalFile() && !DesktopHasProgramFor(url.toLocalFile()))
            return false;
        return QDesktopServices::openUrl(url);
    });
    cx::SetAssertDisplay(&ShowAssertion);
}

} // namespace ui
