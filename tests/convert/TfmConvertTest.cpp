#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtCore/qtestsupport_core.h>
#include <QTimer>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "CxWMEncoder.h"
#include "FakeEngine.h"
#include "Media.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TestHost.h"
#include "TextUtil.h"
#include "TfmConvert.h"
#include "WinUtil.h"
#include "main/ProductLinks.h"

using testsupport::FakeEngine;
using testsupport::ScopedFactory;

namespace {

const char* const kFinished = "Video conversion ended successfully!";
const char* const kStopQuestion = "Are you sure to stop the encoding process?";

class TfmConvertTest : public ::testing::Test {
protected:
    TfmConvertTest()
    {
        cx::CopyText(host.option.szOutputFile, "/videos/out/clip.wmv");
        cx::SetShellOpener([this](const std::string& text) {
            opened.push_back(text);
            return desktopCanOpen;
        });
        engine.calls.clear();
    }
    ~TfmConvertTest() override
    {
        cx::SetShellOpener(nullptr);
        host.runList.RemoveAll(false);
    }

    void AddItem(const char* source, const char* output = "")
    {
        auto item = std::make_unique<RunItem>();
        std::memset(item.get(), 0, sizeof(RunItem));
        cx::CopyText(item->szSource, source);
        cx::CopyText(item->szOutput, output);
        host.runList.Add(item.get());
        items.push_back(std::move(item));
    }

    std::unique_ptr<TfmConvert> Open(int batch = 0)
    {
        auto w = std::make_unique<TfmConvert>(host, nullptr, batch);
        w->show();
        return w;
    }

    // The tmWait ticks that begin the conversion, whichever window this is.
    static void Begin(TfmConvert& w)
    {
        for (int i = 0; i < 2 && !w.IsStarted(); ++i)
            w.tmWaitTimer();
        ASSERT_TRUE(w.IsStarted());
    }

    static void Poll(TfmConvert& w, int times)
    {
        for (int i = 0; i < times; ++i)
            w.tmConvertTimer();
    }

    // The engine comes to the end of the source by itself; the next poll sees it.
    void EngineEnds(TfmConvert& w)
    {
        engine.runState = mce::RunState::Stopped;
        Poll(w, 1);
    }

    static std::string Text(const TfmConvert& w, const char* name)
    {
        if (auto* l = w.findChild<QLabel*>(QString::fromLatin1(name)))
            return l->text().toStdString();
        if (auto* e = w.findChild<QLineEdit*>(QString::fromLatin1(name)))
            return e->text().toStdString();
        return w.findChild<QPushButton*>(QString::fromLatin1(name))->text().toStdString();
    }
    static QPushButton* Button(const TfmConvert& w, const char* name)
    {
        return w.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    static QTimer* Timer(const TfmConvert& w, const char* name)
    {
        return w.findChild<QTimer*>(QString::fromLatin1(name));
    }

    FakeEngine engine;
    ScopedFactory installed{&engine};
    testsupport::ScriptedDialogs dialogs;
    testsupport::TestHost host;
    std::vector<std::unique_ptr<RunItem>> items;
    std::vector<std::string> opened;
    bool desktopCanOpen = true; // false: the desktop has no program for anything
};

// Kept first: the process-wide first tick is seen only once per process.
TEST_F(TfmConvertTest, FirstWindowOfAProcessBeginsOnItsSecondTickLaterOnesOnTheirFirst)
{
    AddItem("/videos/in/a.avi");
    if (!TfmConvert::FirstTickSeen()) {
        auto first = Open();
        first->tmWaitTimer();
        EXPECT_FALSE(first->IsStarted());
        EXPECT_EQ(engine.Count("Runtime.CreateEncoder"), 0u);
        first->tmWaitTimer();
        EXPECT_TRUE(first->IsStarted());
        EXPECT_EQ(first->GetState(), TfmConvert::csRunning);
    }
    ASSERT_TRUE(TfmConvert::FirstTickSeen());
    auto second = Open();
    const std::size_t sessions = engine.Count("Runtime.CreateEncoder");
    second->tmWaitTimer();
    EXPECT_TRUE(second->IsStarted());
    EXPECT_EQ(second->GetState(), TfmConvert::csRunning);
    // It never begins twice.
    second->tmWaitTimer();
    EXPECT_EQ(engine.Count("Runtime.CreateEncoder"), sessions + 1);
}

TEST_F(TfmConvertTest, OpensWaitingWithEmptyFiguresAndTheMainWindowsSkin)
{
    host.skinType = 3;
    auto w = Open();
    EXPECT_EQ(w->windowTitle(), "Converting Now ...");
    EXPECT_EQ(w->size(), QSize(409, 230));
    EXPECT_EQ(host.skinsApplied, 1);
    EXPECT_EQ(Button(*w, "sbtnClose")->styleSheet(), skin::SkinStyleSheet(3));
    EXPECT_EQ(w->GetState(), TfmConvert::csWaiting);
    EXPECT_EQ(Text(*w, "lblStatus"), "Please press the [Start] button to start encoding...");
    EXPECT_EQ(Text(*w, "lblFileTime"), "0 second(s).");
    EXPECT_EQ(Text(*w, "lblFileSize"), "0 bytes");
    EXPECT_EQ(Text(*w, "edtFileFrom"), "");
    EXPECT_EQ(Text(*w, "edtFileTo"), "");
    EXPECT_FALSE(Button(*w, "sbtnPreview")->isVisibleTo(w.get()));
    EXPECT_EQ(Text(*w, "sbtnPause"), "&Pause");
    EXPECT_EQ(Text(*w, "sbtnClose"), "&Close");

    // Before the conversion has begun "&Pause" does nothing.
    Button(*w, "sbtnPause")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csWaiting);
    EXPECT_TRUE(engine.calls.empty());
}

// Real timers, once: the window begins by itself, polls, and ends a run of
// an engine that cannot tell its state once the output stays empty for six
// polls.
TEST_F(TfmConvertTest, RealTimersRunAnEmptyOutputToTheEnd)
{
    engine.reportsRunState = false;
    AddItem("/videos/in/a.avi");
    auto w = Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->GetState() == TfmConvert::csFinished; }, 20000));
    EXPECT_EQ(Text(*w, "lblStatus"), kFinished);
    EXPECT_EQ(engine.Count("ArchiveStats.GetFileSize"), 6u);
    EXPECT_EQ(engine.calls.back(), "Runtime.Uninitialize()");
    EXPECT_EQ(engine.liveObjects, 0);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TfmConvertTest, SingleFileRunShowsItsSourceAndFinishesWithPreviewAndFolder)
{
    AddItem("/videos/in/a.avi");
    nQuality = 1;
    auto w = Open();
    Begin(*w);
    nQuality = 2;
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    EXPECT_EQ(Text(*w, "lblStatus"), "Encoding process running...");
    EXPECT_EQ(Text(*w, "edtFileFrom"), "/videos/in/a.avi");
    EXPECT_EQ(Text(*w, "edtFileTo"), "/videos/out/clip.wmv");
    EXPECT_EQ(Text(*w, "sbtnClose"), "&Stop");
    EXPECT_TRUE(w->IsRunning());
    EXPECT_TRUE(Timer(*w, "tmConvert")->isActive());
    EXPECT_EQ(engine.CallsStartingWith("Profile.LoadFromFile").size(), 1u);
    EXPECT_NE(engine.CallsStartingWith("Profile.LoadFromFile")[0].find("MRProf3v.prx"), std::string::npos);

    engine.fileSize = 1000;
    engine.fileSizeStep = 500;
    engine.duration = 1999;
    Poll(*w, 10);
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    engine.fileSizeStep = 0;
    EngineEnds(*w);
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(w->GetEncoder(), nullptr);
    EXPECT_FALSE(w->IsRunning());
    EXPECT_EQ(engine.Count("Encoder.Stop"), 1u);
    EXPECT_EQ(Text(*w, "lblStatus"), kFinished);
    // The last figures stay on show.
    EXPECT_EQ(Text(*w, "lblFileTime"), "1 second(s).");
    EXPECT_EQ(Text(*w, "lblFileSize"), "6000 bytes");

    QPushButton* pause = Button(*w, "sbtnPause");
    EXPECT_TRUE(Button(*w, "sbtnPreview")->isVisible());
    EXPECT_EQ(pause->text(), "&Browse Folder");
    // 20 pixels wider at least, the right edge kept, the caption never clipped.
    EXPECT_LE(pause->geometry().x(), 184);
    EXPECT_EQ(pause->geometry().right(), 204 + 80 - 1);
    EXPECT_GE(pause->width(), pause->sizeHint().width());
    Button(*w, "sbtnPreview")->click();
    pause->click();
    EXPECT_EQ(opened, (std::vector<std::string>{"/videos/out/clip.wmv", "file:///videos/out/"}));
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
    Button(*w, "sbtnClose")->click();
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

// A desktop without a program for videos or folders: the user is told what
// could not be opened, what to install, and where the file is.
TEST_F(TfmConvertTest, PreviewAndFolderSayWhenTheDesktopHasNoProgramForThem)
{
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    EngineEnds(*w);
    ASSERT_EQ(w->GetState(), TfmConvert::csFinished);
    desktopCanOpen = false;
    Button(*w, "sbtnPreview")->click();
    Button(*w, "sbtnPause")->click();
    EXPECT_EQ(opened, (std::vector<std::string>{"/videos/out/clip.wmv", "file:///videos/out/"}));
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[0].text, "No program is set up to open the converted video. Install a video player, "
                                        "or open /videos/out/clip.wmv yourself.");
    EXPECT_EQ(dialogs.messages[1].text, "No program is set up to open the output folder. Install a file manager, or "
                                        "open /videos/out/ yourself.");
    for (const auto& m : dialogs.messages) {
        EXPECT_EQ(m.owner, w.get());
        EXPECT_EQ(m.caption, "Error");
        EXPECT_EQ(m.icon, ui::Icon::Error);
    }
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
}

// The engine says it still encodes while the figures stand still (a slow
// disc, a network share, a long opening): the run goes on until it stops.
TEST_F(TfmConvertTest, AStallWhileTheEngineEncodesKeepsTheRunGoing)
{
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    engine.fileSize = 5000;
    engine.duration = 2000;
    Poll(*w, 20);
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    EXPECT_NE(w->GetEncoder(), nullptr);
    EXPECT_EQ(engine.Count("Encoder.Stop"), 0u);
    EngineEnds(*w);
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(Text(*w, "lblFileSize"), "5000 bytes");
}

TEST_F(TfmConvertTest, AVideoFittedToTheCardSaysSoAndEndsAsASuccess)
{
    AddItem("/videos/in/film.avi");
    host.option.bLimitSize = 1;
    host.option.nCardSize = 0;
    auto w = Open();
    Begin(*w);
    EXPECT_EQ(Text(*w, "lblCardFit"), "");
    engine.fileSize = 1000;
    engine.fileSizeStep = 500;
    engine.sizeFit.videoBitrate = 411600;
    Poll(*w, 2);
    EXPECT_EQ(Text(*w, "lblCardFit"), "Fitted to the 128 mb card: video at 412 kbit/s");
    EXPECT_EQ(Text(*w, "lblStatus"), "Encoding process running...");
    EngineEnds(*w);
    ASSERT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(Text(*w, "lblStatus"), kFinished);
    EXPECT_EQ(Text(*w, "lblCardFit"), "Fitted to the 128 mb card: video at 412 kbit/s");
}

TEST_F(TfmConvertTest, ACardThatFilledUpEndsSayingHowMuchIsInTheFile)
{
    AddItem("/videos/in/film.avi");
    host.option.bLimitSize = 1;
    host.option.nCardSize = 1;
    auto w = Open();
    Begin(*w);
    engine.sourceDuration = 3'723'000;
    engine.duration = 1000;
    engine.durationStep = 1000;
    engine.fileSize = 1000;
    engine.fileSizeStep = 500;
    engine.sizeFit.videoBitrate = 64000;
    Poll(*w, 3);
    EXPECT_EQ(Text(*w, "lblCardFit"), "Fitted to the 256 mb card: video at 64 kbit/s");
    // The limit is reached; the engine ends the file there.
    engine.sizeFit.full = true;
    engine.sizeFit.keptMs = 452'500;
    EngineEnds(*w);
    ASSERT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(Text(*w, "lblStatus"), "Card full: 7:32 of 1:02:03 in the file.");
    EXPECT_TRUE(dialogs.messages.empty());
    // What is in the file plays and its folder opens as after any end.
    EXPECT_TRUE(Button(*w, "sbtnPreview")->isVisible());
    EXPECT_EQ(Text(*w, "sbtnPause"), "&Browse Folder");
}

// The rest of the end rule is for an engine that cannot tell its state.
TEST_F(TfmConvertTest, TimeThatAdvancesKeepsARunWithoutGrowthGoing)
{
    engine.reportsRunState = false;
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    engine.durationStep = 40; // e.g. the analysis pass: time advances, nothing written
    Poll(*w, 12);
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    EXPECT_EQ(w->GetSameCount(), 0);
    engine.durationStep = 0;
    Poll(*w, 7);
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
}

TEST_F(TfmConvertTest, PauseKeepsTheCountAndResumeEndsAfterTheRemainingPolls)
{
    engine.reportsRunState = false;
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    Poll(*w, 3);
    ASSERT_EQ(w->GetSameCount(), 3);
    Button(*w, "sbtnPause")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csPaused);
    EXPECT_EQ(Text(*w, "lblStatus"), "Encoding process paused.");
    EXPECT_EQ(Text(*w, "sbtnPause"), "S&tart");
    EXPECT_FALSE(Timer(*w, "tmConvert")->isActive());
    EXPECT_EQ(engine.Count("Encoder.Pause"), 1u);
    Button(*w, "sbtnPause")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    EXPECT_EQ(engine.Count("Encoder.Start"), 2u);
    Poll(*w, 2);
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    Poll(*w, 1);
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
}

// The engine ends a stopped file properly and keeps it: the figures show
// what it holds, and a new start over it asks first, as any new run does.
TEST_F(TfmConvertTest, StopAsksFirstShowsWhatWasKeptAndStartAsksBeforeOverwriting)
{
    testsupport::TempDir dir;
    const std::string output = (dir / "film.wmv").string();
    cx::CopyText(host.option.szOutputFile, output.c_str());
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    engine.fileSize = 4096;
    engine.duration = 3000;
    Poll(*w, 1);
    EXPECT_EQ(Text(*w, "lblFileSize"), "4096 bytes");
    engine.fileSize = 4294967306; // past 2 and 4 GiB
    Poll(*w, 1);
    EXPECT_EQ(Text(*w, "lblFileSize"), "4294967306 bytes");

    dialogs.answers.push_back(ui::Answer::No);
    Button(*w, "sbtnClose")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, kStopQuestion);
    EXPECT_EQ(dialogs.messages[0].caption, "Confirm");
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Question);
    EXPECT_EQ(dialogs.messages[0].buttons, ui::Buttons::YesNo);
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    EXPECT_NE(w->GetEncoder(), nullptr);
    EXPECT_EQ(engine.Count("Encoder.Stop"), 0u);

    // What the engine has written by the stop is the file it keeps.
    engine.fileSize = 45000;
    engine.duration = 448999;
    std::ofstream(output, std::ios::binary) << std::string(45000, 'w');
    dialogs.answers.push_back(ui::Answer::Yes);
    Button(*w, "sbtnClose")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csStopped);
    EXPECT_EQ(Text(*w, "lblStatus"), "Encoding process stopped.");
    EXPECT_EQ(Text(*w, "lblFileTime"), "448 second(s).");
    EXPECT_EQ(Text(*w, "lblFileSize"), "45000 bytes");
    EXPECT_EQ(Text(*w, "sbtnPause"), "S&tart");
    EXPECT_EQ(Text(*w, "sbtnClose"), "&Close");
    EXPECT_EQ(w->GetEncoder(), nullptr);
    EXPECT_EQ(engine.Count("Encoder.Stop"), 1u);
    EXPECT_EQ(engine.liveObjects, 0);
    EXPECT_TRUE(w->isVisible());

    // "S&tart" over the kept file asks as a new run does; No keeps it.
    dialogs.messages.clear();
    dialogs.answers.push_back(ui::Answer::No);
    Button(*w, "sbtnPause")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QString::fromStdString("The file " + output + " is existed, do you want to overwrite it?"));
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Question);
    EXPECT_EQ(w->GetState(), TfmConvert::csStopped);
    EXPECT_EQ(engine.Count("Runtime.CreateEncoder"), 1u);

    // Yes begins the conversion again, on a new session.
    dialogs.answers.push_back(ui::Answer::Yes);
    Button(*w, "sbtnPause")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    EXPECT_EQ(engine.Count("Runtime.CreateEncoder"), 2u);
    EXPECT_EQ(engine.Count("SourceGroups.Add(CxWMEncGrp_1)"), 2u);

    // A stop before anything was kept leaves the output as it was: the
    // figures then show nothing of this run.
    engine.fileSize = 512;
    engine.duration = 0;
    dialogs.answers.push_back(ui::Answer::Yes);
    Button(*w, "sbtnClose")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csStopped);
    EXPECT_EQ(Text(*w, "lblFileTime"), "0 second(s).");
    EXPECT_EQ(Text(*w, "lblFileSize"), "0 bytes");
}

// A message box's event loop goes on dispatching the window's timers: while
// a box is open, every timer of the window that is on fires a few times.
// Boxes opened under a box answer at once.
class TimersRunUnderBoxes final : public ui::DialogService {
public:
    TimersRunUnderBoxes(TfmConvert& w, int rounds) : m_w(w), m_rounds(rounds) { ui::InstallDialogs(this); }
    ~TimersRunUnderBoxes() override { ui::InstallDialogs(nullptr); }
    ui::Answer Message(QWidget*, const QString& text, const QString&, ui::Icon, ui::Buttons) override
    {
        texts.push_back(text.toStdString());
        if (m_depth++ == 0) {
            for (int i = 0; i < m_rounds; ++i)
                for (QTimer* t : m_w.findChildren<QTimer*>())
                    if (t->isActive())
                        QMetaObject::invokeMethod(t, "timeout");
        }
        --m_depth;
        return ui::Answer::Yes;
    }
    QString OpenFile(const ui::FileDialogRequest&) override { return {}; }
    QString SaveFile(const ui::FileDialogRequest&) override { return {}; }

    std::vector<std::string> texts;

private:
    TfmConvert& m_w;
    int m_rounds;
    int m_depth = 0;
};

TEST_F(TfmConvertTest, ARunThatEndsWhileTheStopQuestionIsOpenStaysFinished)
{
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    engine.runState = mce::RunState::Stopped;
    {
        TimersRunUnderBoxes asked(*w, 3);
        Button(*w, "sbtnClose")->click();
    }
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_TRUE(w->isVisible());
}

TEST_F(TfmConvertTest, ABatchItemThatFailsUnderRunningTimersShowsOneBoxAndEndsTheRun)
{
    AddItem("/videos/in/1.avi", "/videos/out/1.wmv");
    AddItem("/videos/in/2.avi", "/videos/out/2.wmv");
    AddItem("/videos/in/3.avi", "/videos/out/3.wmv");
    auto w = Open(1);
    Begin(*w);
    engine.Fail("Encoder.PrepareToEncode", mce::rc::OutputSameAsInput);
    EngineEnds(*w);
    ASSERT_TRUE(Timer(*w, "tmBatch")->isActive());
    {
        TimersRunUnderBoxes boxes(*w, 4);
        w->tmBatchTimer();
        EXPECT_EQ(boxes.texts.size(), 1u);
    }
    EXPECT_EQ(engine.Count("Encoder.PrepareToEncode"), 2u) << engine.Log();
    EXPECT_EQ(engine.Count("SourceGroups.Add"), 2u);
    EXPECT_FALSE(w->isVisible());
    EXPECT_FALSE(w->IsRunning());
    EXPECT_EQ(w->GetEncoder(), nullptr);
    EXPECT_FALSE(Timer(*w, "tmBatch")->isActive());
    EXPECT_FALSE(Timer(*w, "tmConvert")->isActive());
    EXPECT_EQ(engine.liveObjects, 0);
}

TEST_F(TfmConvertTest, PauseRefusedByAnEngineThatStoppedLetsTheRunEnd)
{
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    engine.runState = mce::RunState::Stopped;
    engine.Fail("Encoder.Pause", mce::rc::OnlyDuringEncoding);
    Button(*w, "sbtnPause")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
    EXPECT_TRUE(Timer(*w, "tmConvert")->isActive());
    Poll(*w, 1);
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(engine.Count("Encoder.Start"), 1u); // never started over
}

// The engine finishes while the window is paused: "S&tart" ends the run as
// finished instead of starting the source over.
TEST_F(TfmConvertTest, PausedAsTheEngineFinishesEndsAsAFinishedRun)
{
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    engine.fileSize = 9000;
    Button(*w, "sbtnPause")->click();
    ASSERT_EQ(w->GetState(), TfmConvert::csPaused);
    engine.runState = mce::RunState::Stopped;
    Button(*w, "sbtnPause")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(Text(*w, "sbtnPause"), "&Browse Folder");
    EXPECT_EQ(Text(*w, "lblFileSize"), "9000 bytes");
    EXPECT_EQ(engine.Count("Encoder.Start"), 1u);
    EXPECT_EQ(w->GetEncoder(), nullptr);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TfmConvertTest, ClosingAsksWhileRunningButNotWhenPaused)
{
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    w->close(); // unscripted question: No
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(w->GetEncoder(), nullptr);

    Button(*w, "sbtnPause")->click();
    ASSERT_EQ(w->GetState(), TfmConvert::csPaused);
    w->close();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(dialogs.messages.size(), 1u); // no second question
    EXPECT_EQ(w->GetEncoder(), nullptr);
    EXPECT_EQ(engine.Count("Encoder.Stop"), 1u);
    EXPECT_EQ(engine.liveObjects, 0);
}

TEST_F(TfmConvertTest, BatchOfThreeRunsInOneSessionOneSecondApart)
{
    AddItem("/videos/in/1.avi", "/videos/out/1.wmv");
    AddItem("/videos/in/2.vob", "/videos/out/2.wmv");
    AddItem("/videos/in/3.dat", "/videos/out/3.wmv");
    host.option.nResolution = 3;
    host.option.bCrop = host.option.bTwoPass = 1;
    host.option.nCropLeft = 8;
    auto w = Open(1);
    Begin(*w);
    for (int i = 1; i <= 3; ++i) {
        const std::string n = std::to_string(i);
        EXPECT_EQ(w->GetState(), TfmConvert::csRunning) << i;
        EXPECT_EQ(Text(*w, "edtFileFrom"), "/videos/in/" + n + (i == 1 ? ".avi" : i == 2 ? ".vob" : ".dat"));
        EXPECT_EQ(Text(*w, "edtFileTo"), "/videos/out/" + n + ".wmv");
        EngineEnds(*w);
        if (i < 3) {
            // Between items: the session stays, the next item waits a second.
            EXPECT_EQ(w->GetBatchIndex(), i);
            EXPECT_TRUE(Timer(*w, "tmBatch")->isActive());
            EXPECT_FALSE(Timer(*w, "tmConvert")->isActive());
            EXPECT_TRUE(w->IsRunning());
            EXPECT_NE(w->GetEncoder(), nullptr);
            w->tmBatchTimer();
            EXPECT_FALSE(Timer(*w, "tmBatch")->isActive());
        }
    }
    EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(engine.Count("Runtime.CreateEncoder"), 1u);
    EXPECT_EQ(engine.CallsStartingWith("SourceGroups.Add"),
              (std::vector<std::string>{"SourceGroups.Add(CxWMEncGrp_1)", "SourceGroups.Add(CxWMEncGrp_2)",
                                        "SourceGroups.Add(CxWMEncGrp_3)"}));
    EXPECT_EQ(engine.Count("Encoder.Start"), 3u);
    EXPECT_EQ(engine.Count("Encoder.Stop"), 1u);
    // A batch item crops by the page's margins, but gets no two-pass.
    EXPECT_EQ(engine.Count("VideoSource.SetCroppingLeftMargin"), 3u);
    EXPECT_EQ(engine.Count("VideoSource.SetTwoPass"), 0u);
    Button(*w, "sbtnPreview")->click();
    EXPECT_EQ(opened, (std::vector<std::string>{"/videos/out/3.wmv"}));
}

TEST_F(TfmConvertTest, StopBetweenBatchItemsStartsNoFurtherItem)
{
    AddItem("/videos/in/1.avi", "/videos/out/1.wmv");
    AddItem("/videos/in/2.avi", "/videos/out/2.wmv");
    auto w = Open(1);
    Begin(*w);
    EngineEnds(*w);
    ASSERT_TRUE(Timer(*w, "tmBatch")->isActive());
    dialogs.answers.push_back(ui::Answer::Yes);
    Button(*w, "sbtnClose")->click();
    EXPECT_EQ(w->GetState(), TfmConvert::csStopped);
    EXPECT_FALSE(Timer(*w, "tmBatch")->isActive());
    EXPECT_EQ(w->GetEncoder(), nullptr);
    EXPECT_EQ(engine.Count("SourceGroups.Add"), 1u);
}

TEST_F(TfmConvertTest, EngineMissingTellsTheUserAndOpensThePrerequisitesPage)
{
    ScopedFactory none(nullptr);
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              "Morvane Converter requires Microsoft Media Encoder installed. Please visit our "
              "web site for detail information about Microsoft Media Encoder.");
    EXPECT_EQ(dialogs.messages[0].caption, "Information");
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Information);
    EXPECT_EQ(dialogs.messages[0].owner, w.get());
    EXPECT_FALSE(dialogs.messages[0].waitCursor);
    EXPECT_FALSE(w->isVisible());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], product::kPrerequisitesPage);
    EXPECT_EQ(w->GetEncoder(), nullptr);
}

TEST_F(TfmConvertTest, UnreadableEngineProfilesNameTheSupportAddress)
{
    engine.Fail("Profiles.GetCount");
    AddItem("/videos/in/a.avi");
    auto w = Open();
    Begin(*w);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const QString text = dialogs.messages[0].text;
    EXPECT_TRUE(text.startsWith("Error loading Microsoft Media Encoder Profiles. Please contact "))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(" for technical support."));
    EXPECT_TRUE(text.contains('@'));
    EXPECT_EQ(dialogs.messages[0].caption, "Error");
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Information);
    EXPECT_FALSE(dialogs.messages[0].waitCursor);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(engine.liveObjects, 0);
}

TEST_F(TfmConvertTest, RefusedPrepareOrStartShowsTheEngineErrorAndCloses)
{
    struct Case {
        const char* call;
        mce::Result code;
        const char* text;
    };
    const Case cases[] = {
        {"Encoder.PrepareToEncode", static_cast<mce::Result>(0xC00D1B84u),
         "Windows Media Encoder Internal Error: The archive file has the same name as an input file. Change one of "
         "the names before continuing."},
        {"Encoder.Start", static_cast<mce::Result>(0x80070005u), "Windows Media Encoder Internal Error: 80070005"},
    };
    AddItem("/videos/in/a.avi");
    for (const Case& c : cases) {
        engine.failures.clear();
        engine.Fail(c.call, c.code);
        dialogs.messages.clear();
        auto w = Open();
        Begin(*w);
        ASSERT_EQ(dialogs.messages.size(), 1u) << c.call;
        EXPECT_EQ(dialogs.messages[0].text, c.text);
        EXPECT_EQ(dialogs.messages[0].caption, "Media Encoder Error");
        EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Error);
        EXPECT_EQ(dialogs.messages[0].owner, w.get());
        EXPECT_FALSE(dialogs.messages[0].waitCursor) << c.call;
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(w->isVisible()) << c.call;
        EXPECT_FALSE(w->IsRunning());
        EXPECT_EQ(engine.liveObjects, 0);
    }
}

TEST_F(TfmConvertTest, FailureWhileEncodingEndsStoppedWithItsMessage)
{
    AddItem("/videos/in/1.avi", "/videos/out/1.wmv");
    AddItem("/videos/in/2.avi", "/videos/out/2.wmv");
    auto w = Open(1);
    Begin(*w);
    engine.fileSize = 70000;
    engine.duration = 4000;
    Poll(*w, 1);
    engine.runState = mce::RunState::Stopped;
    engine.runFailure = mce::rc::DiskFull;
    Poll(*w, 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Windows Media Encoder Internal Error: 80070070");
    EXPECT_EQ(dialogs.messages[0].caption, "Media Encoder Error");
    EXPECT_EQ(w->GetState(), TfmConvert::csStopped);
    EXPECT_EQ(Text(*w, "lblStatus"), "Encoding process stopped.");
    EXPECT_EQ(Text(*w, "lblFileSize"), "70000 bytes");
    EXPECT_EQ(Text(*w, "lblFileTime"), "4 second(s).");
    EXPECT_FALSE(w->IsRunning());
    EXPECT_EQ(w->GetEncoder(), nullptr);
    EXPECT_FALSE(Timer(*w, "tmConvert")->isActive());
    EXPECT_FALSE(Timer(*w, "tmBatch")->isActive());
    EXPECT_EQ(engine.Count("SourceGroups.Add"), 1u); // the second item never starts
    EXPECT_TRUE(w->isVisible());
}

TEST_F(TfmConvertTest, EmptyRunListsCloseWithoutAMessage)
{
    for (int batch : {0, 1}) {
        engine.calls.clear();
        auto w = Open(batch);
        Begin(*w);
        EXPECT_FALSE(w->isVisible()) << batch;
        EXPECT_EQ(engine.Count("Encoder.PrepareToEncode"), 0u);
        EXPECT_EQ(engine.liveObjects, 0);
    }
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST(TfmConvertFolder, FolderAddressIsTheOutputsFolder)
{
    EXPECT_EQ(TfmConvert::FolderAddress("/home/ann/Videos/clip.wmv"), "file:///home/ann/Videos/");
    EXPECT_EQ(TfmConvert::FolderAddress("/clip.wmv"), "file:///");
    EXPECT_EQ(TfmConvert::FolderAddress("/home/ann/My Videos #2/clip.wmv"), "file:///home/ann/My Videos #2/");
}

} // namespace
