#include "DesktopShell.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "Assert.h"
#include "WinUtil.h"

namespace ui {
namespace {

// A text with a scheme ("file://", "https://") is an address; anything else is
// a local path. Either way the desktop gets a URL, never a command line.
QUrl ToUrl(const std::string& text)
{
    const QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (s.startsWith(QLatin1Char('/')))
        return QUrl::fromLocalFile(s);
    if (s.startsWith(QLatin1String("file://")))
        return QUrl::fromLocalFile(s.mid(7));  // the product appends raw paths
    const QUrl url(s, QUrl::StrictMode);
    return url.isValid() && !url.scheme().isEmpty() ? url : QUrl::fromLocalFile(s);
}

void ShowAssertion(const char* text)
{
    QMessageBox::critical(nullptr, QStringLiteral("Assertion failed"), QString::fromUtf8(text));
}

}  // namespace

void InstallDesktopShell()
{
    cx::SetShellOpener([](const std::string& text) { QDesktopServices::openUrl(ToUrl(text)); });
    cx::SetAssertDisplay(&ShowAssertion);
}

}  // namespace ui
