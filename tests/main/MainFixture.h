// What the main window tests share: a program folder without settings or
// profiles, fake optical drives, the scripted dialogs, a recording shell and
// a watch for run windows.
#pragma once

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QtCore/qtestsupport_core.h>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "CxDrive.h"
#include "Media.h"
#include "MediaPreview.h"
#include "PageControl.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TfmConvert.h"
#include "TfmMain.h"
#include "WinUtil.h"

namespace maintest {

namespace fs = std::filesystem;

inline fs::path ProgramDir()
{
    char dir[cx::kMaxPath] = {};
    cx::GetModuleDir(dir);
    return dir;
}

inline void MakeSparse(const fs::path& p, std::uintmax_t size)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).close();
    fs::resize_file(p, size);
}

// Hands every run window that opens to fn until fn says it is done with it.
class RunWindowWatch {
public:
    explicit RunWindowWatch(std::function<bool(TfmConvert*)> fn) : m_fn(std::move(fn))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto* w = qobject_cast<TfmConvert*>(QApplication::activeModalWidget());
            if (!w || !w->isVisible())
                return;
            if (w != m_last) {
                m_last = w;
                ++opened;
            }
            if (m_fn(w))
                m_last = nullptr;
        });
        m_timer.start(10);
    }
    int opened = 0;

private:
    std::function<bool(TfmConvert*)> m_fn;
    TfmConvert* m_last = nullptr;
    QTimer m_timer;
};

// Closes every run window before its conversion can begin, counting them.
// The window's own timers are stopped as it is shown: on a loaded machine
// its wait timer could otherwise fire before a poll saw the window.
class RefuseRunWindows : public QObject {
public:
    RefuseRunWindows() { qApp->installEventFilter(this); }
    ~RefuseRunWindows() override { qApp->removeEventFilter(this); }
    int opened = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        auto* w = e->type() == QEvent::Show ? qobject_cast<TfmConvert*>(o) : nullptr;
        if (w) {
            ++opened;
            for (QTimer* t : w->findChildren<QTimer*>())
                t->stop();
            QMetaObject::invokeMethod(
                w, [w] { w->done(QDialog::Rejected); }, Qt::QueuedConnection);
        }
        return false;
    }
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* f : {"dastrel.ini", "mrprof.dat", "mrprof-default.dat"})
            fs::remove(ProgramDir() / f);
        cx::SetShellOpener([this](const std::string& t) {
            opened.push_back(t);
            return desktopCanOpen;
        });
        NoDrives();
    }
    void TearDown() override
    {
        main.reset();
        cx::SetDriveProvider(nullptr);
        cx::SetShellOpener(nullptr);
        for (const char* f : {"dastrel.ini", "mrprof.dat", "mrprof-default.dat"})
            fs::remove(ProgramDir() / f);
    }

    void NoDrives()
    {
        table.clear();
        cx::SetDriveProvider([] { return cx::DriveTable{}; });
    }
    // An optical drive whose disc is a folder here; an empty name: no disc.
    fs::path AddDrive(char letter, const std::string& disc)
    {
        const fs::path mount = disc.empty() ? fs::path() : dir / disc;
        if (!disc.empty())
            fs::create_directories(mount);
        table.push_back({letter, "/dev/sr" + std::to_string(letter - 'D'), mount.string(), false});
        const cx::DriveTable copy = table;
        cx::SetDriveProvider([copy] { return copy; });
        return mount;
    }
    void WriteSkin(const std::string& value)
    {
        std::ofstream(ProgramDir() / "dastrel.ini") << "[Morvane]\nSkinType=" << value << "\n";
    }
    std::string ReadSettings() const
    {
        std::ifstream in(ProgramDir() / "dastrel.ini");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TfmMain& Open()
    {
        main = std::make_unique<TfmMain>();
        return *main;
    }

    template <class T> T* W(const char* name) const
    {
        T* w = main->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QAction* A(const char* name) const { return W<QAction>(name); }
    QLineEdit* Edit(const char* name) const { return W<QLineEdit>(name); }
    QRadioButton* Radio(const char* name) const { return W<QRadioButton>(name); }
    QPushButton* Button(const char* name) const { return W<QPushButton>(name); }
    skin::PageControl* Pages(const char* name) const { return W<skin::PageControl>(name); }
    MediaPreview* Preview() const { return W<MediaPreview>("wmpMain"); }

    void ShowPage(const char* pages, const char* page) { Pages(pages)->setCurrentWidget(W<QWidget>(page)); }

    // Clicks a start button and waits, two minutes at most, for the run
    // window to finish; the runs that finished. Any message box on the way
    // is a failure.
    int ConvertUntilFinished(const char* button)
    {
        int finished = 0;
        QElapsedTimer clock;
        clock.start();
        RunWindowWatch watch([&](TfmConvert* w) {
            if (w->GetState() != TfmConvert::csFinished && clock.elapsed() < 120000)
                return false;
            finished += w->GetState() == TfmConvert::csFinished;
            w->done(QDialog::Accepted);
            return true;
        });
        Button(button)->click();
        for (const auto& msg : dialogs.messages)
            ADD_FAILURE() << msg.text.toStdString();
        return finished;
    }

    std::vector<QString> Texts() const
    {
        std::vector<QString> t;
        for (const auto& m : dialogs.messages)
            t.push_back(m.text);
        return t;
    }
    std::vector<std::string> RunSources()
    {
        std::vector<std::string> s;
        auto* list = static_cast<CxTypedList<RunItem>*>(main->GetRunList());
        for (RunItem* i = list->GetFirst(); i; i = list->GetNext())
            s.push_back(i->szSource);
        return s;
    }

    testsupport::TempDir dir;
    testsupport::ScriptedDialogs dialogs;
    cx::DriveTable table;
    std::vector<std::string> opened;
    bool desktopCanOpen = true; // false: the desktop has no program for anything
    std::unique_ptr<TfmMain> main;
};

} // namespace maintest
