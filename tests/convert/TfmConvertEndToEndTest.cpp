// The run window on the FFmpeg engine: a real clip and a real batch converted
// to the end through the window's own timers.
#include <gtest/gtest.h>

#include <QtCore/qtestsupport_core.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "CxWMEncoder.h"
#include "FakeEngine.h"
#include "FfmpegEngine.h"
#include "Media.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TestHost.h"
#include "TextUtil.h"
#include "TfmConvert.h"

namespace fs = std::filesystem;

namespace {

class TfmConvertEndToEnd : public ::testing::Test {
protected:
    ~TfmConvertEndToEnd() override { host.runList.RemoveAll(false); }

    void AddItem(const fs::path& source, const fs::path& output = {})
    {
        auto item = std::make_unique<RunItem>();
        std::memset(item.get(), 0, sizeof(RunItem));
        cx::CopyText(item->szSource, source.c_str());
        cx::CopyText(item->szOutput, output.c_str());
        host.runList.Add(item.get());
        items.push_back(std::move(item));
    }

    // Runs the window until the run has finished (or the window closed).
    void RunToEnd(TfmConvert& w)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.GetState() == TfmConvert::csFinished || !w.isVisible(); }, 120000));
        for (const auto& m : dialogs.messages)
            ADD_FAILURE() << m.text.toStdString();
        EXPECT_EQ(w.GetState(), TfmConvert::csFinished);
    }

    static void ExpectWmv(const fs::path& file, double seconds)
    {
        const auto p = testsupport::Probe(file);
        ASSERT_FALSE(p.empty()) << file;
        EXPECT_EQ(p.at("format.format_name"), "asf");
        EXPECT_EQ(p.at("video.codec_name"), "wmv2");
        EXPECT_EQ(p.at("audio.codec_name"), "wmav2");
        EXPECT_NEAR(std::stod(p.at("video.duration")), seconds, seconds * 0.05 + 0.05);
    }

    testsupport::ScopedFactory installed{&mce::FfmpegEngineFactory()};
    testsupport::ScriptedDialogs dialogs;
    testsupport::TestHost host;
    testsupport::TempDir dir;
    std::vector<std::unique_ptr<RunItem>> items;
};

TEST_F(TfmConvertEndToEnd, SingleFileRunConvertsAClip)
{
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(testsupport::MakeClip(src, 2.0, 320, 240, "25", {"-c:v", "mpeg4", "-c:a", "pcm_s16le"}));
    const fs::path out = dir / "clip.wmv";
    AddItem(src);
    cx::CopyText(host.option.szOutputFile, out.c_str());
    cx::CopyText(host.option.szTitle, "Two seconds");
    TfmConvert w(host, nullptr, 0);
    RunToEnd(w);
    ExpectWmv(out, 2.0);
    EXPECT_EQ(testsupport::Probe(out).at("video.width"), "208");
    EXPECT_EQ(testsupport::Probe(out).at("format.tags.title"), "Two seconds");
    EXPECT_EQ(w.GetEncoder(), nullptr);
}

// The share shown is the engine's converted time over the source's length;
// in a two-pass run the engine counts each pass as half the source.
TEST_F(TfmConvertEndToEnd, TwoPassProgressClimbsThroughBothPassesToFull)
{
    const fs::path src = dir / "clip.mpg";
    ASSERT_TRUE(testsupport::MakeClip(src, 8.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    AddItem(src);
    cx::CopyText(host.option.szOutputFile, (dir / "clip.wmv").c_str());
    host.option.bTwoPass = 1;
    TfmConvert w(host, nullptr, 0);
    w.show();
    std::vector<int> percents;
    std::vector<std::int32_t> converted;
    std::int32_t length = 0;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (percents.empty() || percents.back() != w.GetProgress().Percent())
                percents.push_back(w.GetProgress().Percent());
            if (CxWMEncoder* enc = w.GetEncoder()) {
                converted.push_back(enc->GetDuration());
                length = std::max(length, enc->GetSourceDuration());
            }
            return w.GetState() == TfmConvert::csFinished || !w.isVisible();
        },
        120000));
    EXPECT_EQ(w.GetState(), TfmConvert::csFinished);
    EXPECT_NEAR(length, 8000, 100);
    // Never going back, through the first pass's half into the second's.
    bool firstHalf = false, secondHalf = false;
    for (std::size_t i = 0; i < converted.size(); ++i) {
        if (i > 0) {
            EXPECT_GE(converted[i], converted[i - 1]);
        }
        EXPECT_LE(converted[i], length + 100);
        firstHalf |= converted[i] > 0 && converted[i] <= length / 2;
        secondHalf |= converted[i] > length / 2 && converted[i] < length - 500;
    }
    EXPECT_TRUE(firstHalf);
    EXPECT_TRUE(secondHalf);
    // The window: a known length, never going back, full only at the end.
    ASSERT_GE(percents.size(), 2u);
    EXPECT_EQ(percents.back(), 100);
    for (std::size_t i = 0; i + 1 < percents.size(); ++i) {
        EXPECT_GE(percents[i], 0);
        EXPECT_LE(percents[i], 99);
        if (i > 0) {
            EXPECT_GT(percents[i], percents[i - 1]);
        }
    }
}

TEST_F(TfmConvertEndToEnd, BatchOfThreeConvertsEveryItem)
{
    std::vector<fs::path> outs;
    for (int i = 1; i <= 3; ++i) {
        const fs::path src = dir / ("in" + std::to_string(i) + ".mpg");
        ASSERT_TRUE(
            testsupport::MakeClip(src, 1.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
        outs.push_back(dir / ("out" + std::to_string(i) + ".wmv"));
        AddItem(src, outs.back());
    }
    host.option.nResolution = 3;
    TfmConvert w(host, nullptr, 1);
    RunToEnd(w);
    EXPECT_EQ(w.GetBatchIndex(), 2);
    for (const fs::path& out : outs) {
        ExpectWmv(out, 1.0);
        EXPECT_EQ(testsupport::Probe(out).at("video.width"), "640");
    }
}

} // namespace
