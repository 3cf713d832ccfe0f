// The run window's progress bar, time left and batch item, against the
// recording fake engine, on a scripted clock.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "FakeEngine.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TestHost.h"
#include "TextUtil.h"
#include "TfmConvert.h"
#include "WinUtil.h"

namespace {

class TfmConvertProgress : public ::testing::Test {
protected:
    TfmConvertProgress()
    {
        cx::CopyText(host.option.szOutputFile, "/videos/out/clip.wmv");
        cx::SetShellOpener([this](const std::string& text) {
            opened.push_back(text);
            return true;
        });
    }
    ~TfmConvertProgress() override
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
        w->SetProgressClock([this] { return now; });
        w->show();
        for (int i = 0; i < 2 && !w->IsStarted(); ++i)
            w->tmWaitTimer();
        EXPECT_EQ(w->GetState(), TfmConvert::csRunning);
        return w;
    }

    // Polls as the timer would, half a second of clock apart.
    void Poll(TfmConvert& w, int times)
    {
        for (int i = 0; i < times; ++i) {
            now += 500;
            w.tmConvertTimer();
        }
    }

    // The engine comes to the end of the source by itself; the next poll sees it.
    void EngineEnds(TfmConvert& w)
    {
        engine.runState = mce::RunState::Stopped;
        Poll(w, 1);
    }

    static QProgressBar* Bar(const TfmConvert& w) { return w.findChild<QProgressBar*>(QStringLiteral("pbConvert")); }
    static std::string Label(const TfmConvert& w, const char* name)
    {
        return w.findChild<QLabel*>(QString::fromLatin1(name))->text().toStdString();
    }
    static void Click(const TfmConvert& w, const char* name)
    {
        w.findChild<QPushButton*>(QString::fromLatin1(name))->click();
    }

    std::int64_t now = 5'000'000;
    testsupport::FakeEngine engine;
    testsupport::ScopedFactory installed{&engine};
    testsupport::ScriptedDialogs dialogs;
    testsupport::TestHost host;
    std::vector<std::unique_ptr<RunItem>> items;
    std::vector<std::string> opened;
};

TEST_F(TfmConvertProgress, ShareAndTimeLeftLeaveOutThePauseAndEndFullAndEmpty)
{
    AddItem("/videos/in/a.avi");
    engine.sourceDuration = 20000;
    engine.durationStep = 500; // real time
    engine.fileSizeStep = 1000;
    auto w = Open();
    EXPECT_FALSE(w->findChild<QLabel*>(QStringLiteral("lblBatchItem"))->isVisible());
    EXPECT_EQ(Bar(*w)->value(), 0);

    Poll(*w, 2);
    EXPECT_EQ(Label(*w, "lblTimeLeft"), "Estimating...");
    Poll(*w, 6);
    EXPECT_EQ(Bar(*w)->value(), 17); // the fourth second's read: 3.5 of 20
    const std::int64_t before = w->GetProgress().SecondsLeft();
    ASSERT_GT(before, 10);
    ASSERT_LT(before, 30);
    EXPECT_EQ(Label(*w, "lblTimeLeft"), "0:" + std::to_string(before) + " left");

    Click(*w, "sbtnPause");
    ASSERT_EQ(w->GetState(), TfmConvert::csPaused);
    now += 300'000; // five minutes away
    Click(*w, "sbtnPause");
    ASSERT_EQ(w->GetState(), TfmConvert::csRunning);
    Poll(*w, 2);
    // Counted in, the pause would have made it minutes.
    EXPECT_EQ(w->GetProgress().ActiveMs(), 5000);
    EXPECT_LE(w->GetProgress().SecondsLeft(), before);
    EXPECT_GT(w->GetProgress().SecondsLeft(), 10);

    // The engine stops growing, then comes to the end: full and nothing left.
    engine.durationStep = 0;
    engine.fileSizeStep = 0;
    Poll(*w, 1);
    EXPECT_LT(Bar(*w)->value(), 100);
    EngineEnds(*w);
    ASSERT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(Bar(*w)->value(), 100);
    EXPECT_EQ(Label(*w, "lblTimeLeft"), "");
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TfmConvertProgress, ALengthTheEngineCannotTellGivesABusyBarAndTheRunStillSucceeds)
{
    AddItem("/videos/in/a.avi");
    engine.Fail("ArchiveStats.GetSourceDuration", mce::rc::NoInterface);
    engine.durationStep = 500;
    auto w = Open();
    Poll(*w, 8);
    EXPECT_EQ(Bar(*w)->maximum(), 0);
    EXPECT_EQ(Label(*w, "lblTimeLeft"), "");
    engine.durationStep = 0;
    EngineEnds(*w);
    ASSERT_EQ(w->GetState(), TfmConvert::csFinished);
    EXPECT_EQ(Bar(*w)->maximum(), 100);
    EXPECT_EQ(Bar(*w)->value(), 100);
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(TfmConvertProgress, BatchShowsWhichItemAndStartsEachAtZero)
{
    AddItem("/videos/in/a.avi", "/videos/out/a.wmv");
    AddItem("/videos/in/b.avi", "/videos/out/b.wmv");
    AddItem("/videos/in/c.avi", "/videos/out/c.wmv");
    engine.sourceDuration = 4000;
    engine.durationStep = 1000;
    auto w = Open(1);
    EXPECT_TRUE(w->findChild<QLabel*>(QStringLiteral("lblBatchItem"))->isVisible());
    EXPECT_EQ(Label(*w, "lblBatchItem"), "Item 1 of 3");
    Poll(*w, 2);
    EXPECT_EQ(Bar(*w)->value(), 25);
    engine.durationStep = 0;
    EngineEnds(*w);
    EXPECT_EQ(w->GetBatchIndex(), 1);
    EXPECT_EQ(Bar(*w)->value(), 100);
    EXPECT_EQ(Label(*w, "lblBatchItem"), "Item 1 of 3"); // until the next one starts
    engine.duration = 0;
    w->tmBatchTimer();
    EXPECT_EQ(Label(*w, "lblBatchItem"), "Item 2 of 3");
    EXPECT_EQ(Bar(*w)->value(), 0);
}

TEST_F(TfmConvertProgress, PreviewAndFolderHandOverTheOutputsBytesEvenWhenTheyAreNotUtf8)
{
    const char* const out = "/videos/out/caf\xe9 $(rm -rf ~) \"q\".wmv";
    cx::CopyText(host.option.szOutputFile, out);
    AddItem("/videos/in/a.avi");
    auto w = Open();
    EngineEnds(*w);
    ASSERT_EQ(w->GetState(), TfmConvert::csFinished);
    Click(*w, "sbtnPreview");
    Click(*w, "sbtnPause");
    EXPECT_EQ(opened, (std::vector<std::string>{out, "file:///videos/out/"}));

    // A name the user typed over is taken as typed.
    w->findChild<QLineEdit*>(QStringLiteral("edtFileTo"))->setText(QStringLiteral("/tmp/other dir/x.wmv"));
    Click(*w, "sbtnPreview");
    Click(*w, "sbtnPause");
    EXPECT_EQ(opened.at(2), "/tmp/other dir/x.wmv");
    EXPECT_EQ(opened.at(3), "file:///tmp/other dir/");
}

} // namespace
