// Process start: the application, the main window, the message loop.
#include <QApplication>
#include <QGuiApplication>
#include <QMainWindow>

#include <cstdio>
#include <cstdlib>

#include "DesktopShell.h"

namespace {

bool HaveDisplay()
{
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wl && *wl);
}

}  // namespace

int main(int argc, char** argv)
{
    if (!HaveDisplay()) {
        std::fprintf(stderr, "Morvane Converter needs a graphical display, and none is available.\n");
        return 2;
    }
    QApplication app(argc, argv);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Morvane Converter - Convert Video for your Pocket PC"));
    ui::InstallDesktopShell();

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Morvane Converter - Convert Video for your Pocket PC"));
    window.resize(640, 480);
    window.show();
    return app.exec();
}
