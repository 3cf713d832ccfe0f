#include "DesktopShell.h"

#include <QDesktopServices>
#include <QMessageBox>
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

void InstallDesktopShell()
{
    cx::SetShellOpener([](const std::string& text) { QDesktopServices::openUrl(ShellUrl(text)); });
    cx::SetAssertDisplay(&ShowAssertion);
}

} // namespace ui
