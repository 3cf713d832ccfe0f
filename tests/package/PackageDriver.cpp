// Loaded into the installed program (LD_PRELOAD) by scripts/package-test:
// works its windows through their control names, as a user would, and
// prints what it sees, one "key=value" line each.
//
//   MC_DRIVE=save   prints the default output, picks the Protein skin, saves
//                   the current options as a profile under the proposed name,
//                   and closes the main window.
//   MC_DRIVE=check  prints the checked skin and the listed profiles, and
//                   closes the main window.
//
// Message boxes are answered with their default button and printed. Every
// click that opens a modal window is queued, so that this driver's timer
// keeps running inside the window's own event loop.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

enum class Stage { Start, ProfilesAsked, ProfilesOpen, Closing };

struct Driver {
    std::string mode;
    Stage stage = Stage::Start;
    bool saveClicked = false;
    bool prompted = false;
    int ticks = 0;
};

Driver* g_driver = nullptr;

void Print(const char* key, const QString& value)
{
    std::printf("%s=%s\n", key, value.toUtf8().constData());
    std::fflush(stdout);
}

template <class T> T* Find(QWidget* in, const char* name)
{
    return in ? in->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

void Later(QPushButton* button)
{
    if (button)
        QTimer::singleShot(0, button, &QPushButton::click);
}

QWidget* MainWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("TfmMain") && w->isVisible())
            return w;
    return nullptr;
}

QString CheckedSkin(QWidget* main)
{
    for (const char* name : {"miSkinBlueGlass", "miSkinDeepBlue", "miSkinMacOS", "miSkinWinXP", "miSkinProtein"})
        if (QAction* a = Find<QAction>(main, name); a && a->isChecked())
            return QString::fromLatin1(name);
    return QStringLiteral("none");
}

int RowCount(QWidget* dialog)
{
    auto* list = Find<QTreeWidget>(dialog, "slvProfile");
    return list ? list->topLevelItemCount() : 0;
}

void PrintProfiles(QWidget* dialog)
{
    QStringList names;
    if (auto* list = Find<QTreeWidget>(dialog, "slvProfile"))
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names << list->topLevelItem(i)->text(1);
    Print("profiles", names.join(QLatin1Char(',')));
}

void Step()
{
    Driver& d = *g_driver;
    if (++d.ticks > 3000) { // a minute: something waits for an answer nobody gives
        Print("timeout", QString::number(static_cast<int>(d.stage)));
        std::_Exit(3);
    }
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        Print("message", box->text());
        if (QAbstractButton* b = box->defaultButton() ? box->defaultButton() : box->buttons().value(0))
            QTimer::singleShot(0, b, &QAbstractButton::click);
        return;
    }
    if (modal && modal->inherits("TfmInputString")) {
        if (!d.prompted) {
            d.prompted = true;
            Print("prompt", Find<QLineEdit>(modal, "edtString")->text());
            Later(Find<QPushButton>(modal, "sbtnOK"));
        }
        return;
    }
    if (modal && modal->inherits("TfmProfile")) {
        d.stage = Stage::ProfilesOpen;
        if (d.mode == "save" && !d.saveClicked) {
            d.saveClicked = true;
            Later(Find<QPushButton>(modal, "sbtnSave"));
        } else if (d.mode != "save" || (d.prompted && RowCount(modal) > 0)) {
            PrintProfiles(modal);
            Later(Find<QPushButton>(modal, "sbtnClose"));
            d.stage = Stage::Closing;
        }
        return;
    }
    if (modal)
        return; // some window on its way up or down

    QWidget* main = MainWindow();
    if (!main)
        return;
    switch (d.stage) {
    case Stage::Start:
        Print("output", Find<QLineEdit>(main, "edtOutputFile")->text());
        Print("skin", CheckedSkin(main));
        if (d.mode == "save") {
            Find<QAction>(main, "miSkinProtein")->trigger();
            Print("skin", CheckedSkin(main));
        }
        d.stage = Stage::ProfilesAsked;
        QTimer::singleShot(0, Find<QAction>(main, "miFileProf"), &QAction::trigger);
        break;
    case Stage::ProfilesAsked:
    case Stage::ProfilesOpen:
        break;
    case Stage::Closing:
        Print("done", QStringLiteral("1"));
        g_driver->stage = Stage::Start;
        g_driver->mode.clear();
        main->close(); // through the frame: no question
        break;
    }
}

void Start()
{
    const char* mode = std::getenv("MC_DRIVE");
    if (!mode || !*mode)
        return;
    g_driver = new Driver{mode};
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (!g_driver->mode.empty())
            Step();
    });
    timer->start(20);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
