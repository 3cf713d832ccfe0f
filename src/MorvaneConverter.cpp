// Process start: the application, the main window, the message loop.
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "DesktopShell.h"
#include "FfmpegEngine.h"
#include "TfmMain.h"

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

void ShowException(const char* what)
{
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Morvane Converter"),
                          QString::fromUtf8(what ? what : ""));
}

// An exception raised while an event is handled is shown and the message
// loop goes on, rather than ending the program with the user's work.
class Application final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowException(e.what());
        } catch (...) {
            ShowException("");
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    // Past a file size limit a write then fails with EFBIG and the run reports
    // a full disc, instead of the signal ending the program mid-conversion.
    std::signal(SIGXFSZ, SIG_IGN);
    if (!HaveDisplay()) {
        std::fprintf(stderr, "Morvane Converter needs a graphical display, and none is available.\n");
        return 2;
    }
    Application app(argc, argv);
    // The application title is what task bars and window lists show. It is
    // not set as the display name: Qt would append that to every frame
    // caption, and each window's caption is its own.
    QGuiApplication::setApplicationName(QStringLiteral("Morvane Converter - Convert Video for your Pocket PC"));
    QGuiApplication::setDesktopFileName(QStringLiteral("morvane-converter"));
    Q_INIT_RESOURCE(main);
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/main/icon.png")));
    ui::InstallDesktopShell();
    mce::InstallFactory(&mce::FfmpegEngineFactory());

    try {
        TfmMain window;
        window.show();
        return app.exec();
    } catch (const std::exception& e) {
        ShowException(e.what());
    } catch (...) {
        ShowException("");
    }
    return 1;
}
