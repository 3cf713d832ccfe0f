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
#include "DialogService.h"
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

namespace {

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

// Does any of the desktop's MIME lists name a program for one of the types?
bool DesktopListsProgramFor(const QStringList& types)
{
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

// The graphical browsers the desktop's launcher tries when nothing else
// takes an address or file ($BROWSER first), as xdg-open does.
bool HaveBrowser()
{
    QStringList names;
    for (const QString& command : qEnvironmentVariable("BROWSER").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        names << command.section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    names << QStringLiteral("x-www-browser") << QStringLiteral("firefox") << QStringLiteral("firefox-esr")
          << QStringLiteral("chromium") << QStringLiteral("chromium-browser") << QStringLiteral("google-chrome")
          << QStringLiteral("epiphany") << QStringLiteral("konqueror") << QStringLiteral("falkon");
    for (const QString& name : names) {
        if (!name.isEmpty() && !QStandardPaths::findExecutable(name).isEmpty())
            return true;
    }
    return false;
}

} // namespace

bool DesktopHasProgramFor(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
    return DesktopListsProgramFor(QStringList{mime.name()} + mime.aliases());
}

bool DesktopCanOpen(const QUrl& url)
{
    if (url.isLocalFile()) {
        const QString path = url.toLocalFile();
        return !QFileInfo::exists(path) || DesktopHasProgramFor(path) || HaveBrowser();
    }
    const QString scheme = url.scheme().toLower();
    return DesktopListsProgramFor({QStringLiteral("x-scheme-handler/") + scheme}) ||
           ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) && HaveBrowser());
}

bool OpenOnDesktop(QWidget* owner, const std::string& text, const QString& what, const QString& program)
{
    if (cx::ShellOpen(text.c_str()))
        return true;
    // A folder address is shown as the folder's path, which is what the user
    // types into a file manager or a terminal.
    const QString where = QString::fromStdString(text.rfind("file://", 0) == 0 ? text.substr(7) : text);
    ShowErrorBox(
        owner,
        QStringLiteral("No program is set up to open %1. Install %2, or open %3 yourself.").arg(what, program, where));
    return false;
}

void InstallDesktopShell()
{
    cx::SetShellOpener([](const std::string& text) {
        const QUrl url = ShellUrl(text);
        return DesktopCanOpen(url) && QDesktopServices::openUrl(url);
    });
    cx::SetCheckedShellOpener([](const std::string& text) {
        const QUrl url = ShellUrl(text);
        if (url.isLocalFile() && !DesktopHasProgramFor(url.toLocalFile()))
            return false;
        return QDesktopServices::openUrl(url);
    });
    cx::SetAssertDisplay(&ShowAssertion);
}

} // namespace ui
