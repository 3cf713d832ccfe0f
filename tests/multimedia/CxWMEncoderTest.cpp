#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CxWMEncoder.h"
#include "FakeEngine.h"
#include "WinUtil.h"

using testsupport::FakeEngine;
using testsupport::ScopedFactory;

namespace {

using Calls = std::vector<std::string>;

std::string ModuleDir()
{
    char dir[cx::kMaxPath];
    EXPECT_TRUE(cx::GetModuleDir(dir));
    return dir;
}

class SessionTest : public ::testing::Test {
protected:
    FakeEngine engine;
    ScopedFactory installed{&engine};
};

// The construction steps in order, each one's failure, and what cleanup must
// then release: exactly the objects obtained before the failing step.
TEST_F(SessionTest, ConstructionFailingAtEachStepReleasesExactlyWhatItObtained)
{
    const std::vector<std::string> steps = {
        "Runtime.Initialize",    "Runtime.CreateEncoder", "Encoder.GetSourceGroupCollection", "Encoder.GetDisplayInfo",
        "Encoder.GetAttributes", "Encoder.GetFile",       "Encoder.GetProfileCollection",     "Encoder.GetStatistics"};
    for (std::size_t failAt = 0; failAt <= steps.size(); ++failAt) {
        FakeEngine e;
        ScopedFactory scoped(&e);
        const mce::Result code = static_cast<mce::Result>(0x80040154u + failAt);
        if (failAt < steps.size())
            e.Fail(steps[failAt], code);
        {
            CxWMEncoder enc;
            EXPECT_EQ(enc.IsAvailable(), failAt == steps.size()) << failAt;
            EXPECT_EQ(enc.GetLastResult(), failAt < steps.size() ? code : 0) << failAt;
            Calls made;
            for (const std::string& c : e.calls)
                made.push_back(c.substr(0, c.find('(')));
            const Calls expected(steps.begin(), steps.begin() + static_cast<long>(std::min(failAt + 1, steps.size())));
            EXPECT_EQ(made, expected) << "failing at " << failAt;
            e.calls.clear();
        }
        EXPECT_EQ(e.liveObjects, 0) << "failing at " << failAt;
        EXPECT_EQ(e.initCount, 0) << "failing at " << failAt;
        // The runtime is ended only when it was started.
        EXPECT_EQ(e.Count("Runtime.Uninitialize"), failAt == 0 ? 0u : 1u) << failAt;
    }
}

TEST_F(SessionTest, NoInstalledEngineMeansUnavailable)
{
    ScopedFactory none(nullptr);
    CxWMEncoder enc;
    EXPECT_FALSE(enc.IsAvailable());
    EXPECT_LT(enc.GetLastResult(), 0);
    EXPECT_EQ(enc.GetFileSize(), -1);
    EXPECT_EQ(enc.GetDuration(), -1);
    EXPECT_FALSE(enc.Prepare(true));
    EXPECT_FALSE(enc.SetOutputFile("/tmp/out.wmv"));
    EXPECT_EQ(enc.GetRunState(), mce::RunState::Idle);
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(SessionTest, CleanupReleasesGroupsProfilesThenObjectsInOrder)
{
    {
        CxWMEncoder enc;
        ASSERT_TRUE(enc.IsAvailable());
        auto* g = new WMEncGroup{};
        ASSERT_TRUE(enc.AddGroup(g));
        ASSERT_TRUE(enc.CreateGroup(g, "/media/a.avi", nullptr));
        ASSERT_TRUE(enc.LoadEngineProfiles());
        EXPECT_EQ(enc.GetEngineProfileCount(), 9u);
        EXPECT_STREQ(enc.GetEngineProfile(4)->szProfileName, "MRProf2h");
        ASSERT_TRUE(enc.ApplyProfileFile(g, "/data/p.prx"));
        EXPECT_EQ(enc.GetFileSize(), 0);
        engine.calls.clear();
    }
    EXPECT_EQ(engine.liveObjects, 0);
    Calls released;
    for (const std::string& c : engine.calls)
        if (c.rfind("Release ", 0) == 0 && c != "Release Profile")
            released.push_back(c);
    // Audio source, video source and source group of the group come first.
    EXPECT_EQ(released, (Calls{"Release AudioSource", "Release VideoSource", "Release SourceGroup",
                               "Release Statistics", "Release Profiles", "Release OutputFile", "Release Attributes",
                               "Release DisplayInfo", "Release SourceGroups", "Release Encoder"}));
    // Nine installed profiles and the one loaded from a file.
    EXPECT_EQ(std::count(engine.calls.begin(), engine.calls.end(), "Release Profile"), 10);
    EXPECT_EQ(engine.calls.back(), "Runtime.Uninitialize()");
}

TEST_F(SessionTest, CreateGroupNamesByCountAndReadsBothSources)
{
    CxWMEncoder enc;
    auto* g1 = new WMEncGroup{};
    auto* g2 = new WMEncGroup{};
    std::u16string custom = u"Mine";
    std::copy(custom.begin(), custom.end(), g2->wszName);
    auto* g3 = new WMEncGroup{};
    ASSERT_TRUE(enc.AddGroup(g1) && enc.AddGroup(g2) && enc.AddGroup(g3));
    engine.calls.clear();
    ASSERT_TRUE(enc.CreateGroup(g1, "/m/a.vob", ""));
    EXPECT_EQ(engine.calls,
              (Calls{"SourceGroups.Add(CxWMEncGrp_3)", "SourceGroup.AddSource(2)", "VideoSource.SetInput(/m/a.vob||)",
                     "SourceGroup.AddSource(1)", "AudioSource.SetInput(/m/a.vob||)"}));
    EXPECT_TRUE(enc.CreateGroup(g2, "/m/v.avi", "/m/a.wav"));
    EXPECT_EQ(engine.CallsStartingWith("SourceGroups.Add").back(), "SourceGroups.Add(Mine)");
    EXPECT_EQ(engine.CallsStartingWith("AudioSource.SetInput").back(), "AudioSource.SetInput(/m/a.wav||)");

    // Refused before any engine call; a group can be set up again.
    engine.calls.clear();
    EXPECT_FALSE(enc.CreateGroup(nullptr, "/m/a.vob", nullptr));
    EXPECT_FALSE(enc.CreateGroup(g3, "", nullptr));
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_TRUE(enc.CreateGroup(g1, "/m/b.vob", nullptr));
    EXPECT_EQ(engine.Count("Release "), 3u); // the first set-up of g1

    EXPECT_FALSE(enc.AddGroup(nullptr));
    EXPECT_TRUE(enc.RemoveGroup(99, true)); // out of range changes nothing
    EXPECT_EQ(enc.GetGroupCount(), 3u);
}

TEST_F(SessionTest, CreateGroupFailureKeepsWhatItGotAndRecordsTheCode)
{
    engine.Fail("AudioSource.SetInput", mce::rc::SourceNotWorking);
    {
        CxWMEncoder enc;
        auto* g = new WMEncGroup{};
        enc.AddGroup(g);
        EXPECT_FALSE(enc.CreateGroup(g, "/m/a.avi", nullptr));
        EXPECT_EQ(enc.GetLastResult(), mce::rc::SourceNotWorking);
        EXPECT_TRUE(g->pSrcGrp && g->pVideoSrc && g->pAudioSrc);
    }
    EXPECT_EQ(engine.liveObjects, 0);
}

TEST_F(SessionTest, SelectProfileFileTableRunsAgainstQuality)
{
    struct Case {
        std::int32_t code, quality;
        const char* file;
    };
    const Case cases[] = {
        {1000, 1, "MRProf3v.prx"}, {1000, 3, "MRProf1v.prx"}, {1000, 2, "MRProf2v.prx"}, {1000, 7, "MRProf2v.prx"},
        {1001, 1, "MRProf3h.prx"}, {1001, 3, "MRProf1h.prx"}, {1001, 0, "MRProf2h.prx"}, {1002, 1, "MRProf3x.prx"},
        {1002, 3, "MRProf1x.prx"}, {1002, 2, "MRProf2x.prx"},
    };
    CxWMEncoder enc;
    auto* g = new WMEncGroup{};
    enc.AddGroup(g);
    enc.CreateGroup(g, "/m/a.avi", nullptr);
    for (const Case& c : cases) {
        engine.calls.clear();
        EXPECT_TRUE(enc.SelectProfile(g, c.code, c.quality));
        EXPECT_EQ(engine.calls, (Calls{"Runtime.CreateProfile()", "Profile.LoadFromFile(" + ModuleDir() + c.file + ")",
                                       "SourceGroup.SetProfile(profile)"}))
            << c.code << "/" << c.quality;
    }
    engine.calls.clear();
    EXPECT_FALSE(enc.SelectProfile(g, 999, 2));
    EXPECT_FALSE(enc.SelectProfile(g, 1003, 2));
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(enc.GetProfileObjCount(), std::size(cases));
}

TEST_F(SessionTest, ProfileCreationAndLoadingAreNotRecorded)
{
    CxWMEncoder enc;
    auto* g = new WMEncGroup{};
    enc.AddGroup(g);
    enc.CreateGroup(g, "/m/a.avi", nullptr);
    engine.Fail("Profile.LoadFromFile", mce::rc::FileNotFound);
    EXPECT_FALSE(enc.ApplyProfileFile(g, "/nowhere/x.prx"));
    EXPECT_EQ(enc.GetLastResult(), 0);
    EXPECT_EQ(enc.GetProfileObjCount(), 0u);
    EXPECT_FALSE(enc.ApplyProfileFile(g, ""));
    engine.failures.clear();

    engine.Fail("Runtime.CreateProfile", mce::rc::OutOfMemory);
    EXPECT_FALSE(enc.ApplyProfileFile(g, "/data/p.prx"));
    EXPECT_EQ(enc.GetLastResult(), 0);
    engine.failures.clear();

    // Setting it on the group is recorded, and the object is kept either way.
    engine.Fail("SourceGroup.SetProfile", mce::rc::ProfileWithoutStreams);
    EXPECT_FALSE(enc.ApplyProfileFile(g, "/data/p.prx"));
    EXPECT_EQ(enc.GetLastResult(), mce::rc::ProfileWithoutStreams);
    EXPECT_EQ(enc.GetProfileObjCount(), 1u);
}

TEST_F(SessionTest, ApplyingANullProfileIsAProgrammingError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CxWMEncoder enc;
    WMEncGroup group{};
    EXPECT_DEATH(enc.ApplyProfile(&group, nullptr), "Assertion failed: pGroup && pProfile");
}

TEST_F(SessionTest, CroppingPassesOnlyPositiveMargins)
{
    CxWMEncoder enc;
    auto* g = new WMEncGroup{};
    enc.AddGroup(g);
    enc.CreateGroup(g, "/m/a.avi", nullptr);
    engine.calls.clear();
    EXPECT_TRUE(enc.SetCropping(g, 0, 8, -4, 0));
    EXPECT_EQ(engine.calls, (Calls{"VideoSource.SetCroppingTopMargin(8)"}));

    // With nothing to pass, the answer is whatever the latest call left.
    engine.Fail("Encoder.Start", mce::rc::OnlyDuringEncoding);
    enc.Start();
    engine.calls.clear();
    EXPECT_FALSE(enc.SetCropping(g, 0, 0, 0, 0));
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(enc.GetLastResult(), mce::rc::OnlyDuringEncoding);

    EXPECT_TRUE(enc.SetCropping(g, 1, 2, 3, 4));
    EXPECT_EQ(engine.calls, (Calls{"VideoSource.SetCroppingLeftMargin(1)", "VideoSource.SetCroppingTopMargin(2)",
                                   "VideoSource.SetCroppingRightMargin(3)", "VideoSource.SetCroppingBottomMargin(4)"}));
    WMEncGroup bare{};
    EXPECT_FALSE(enc.SetCropping(&bare, 5, 5, 5, 5));
    EXPECT_FALSE(enc.SetTwoPass(&bare, true));
}

TEST_F(SessionTest, WhatIsAndIsNotRecorded)
{
    CxWMEncoder enc;
    engine.Fail("OutputFile.SetMaxFileSize", mce::rc::Fail);
    EXPECT_TRUE(enc.SetSizeLimit(-1)); // answer ignored, not recorded
    EXPECT_EQ(enc.GetLastResult(), 0);
    EXPECT_EQ(engine.calls.back(), "OutputFile.SetMaxFileSize(4294967295)"); // high half zero

    engine.Fail("DisplayInfo.SetTitle", mce::rc::NotAllowedWhileEncoding);
    EXPECT_FALSE(enc.SetTitle("T"));
    EXPECT_EQ(enc.GetLastResult(), mce::rc::NotAllowedWhileEncoding);
    EXPECT_TRUE(enc.SetAuthor(nullptr)); // a success is recorded too
    EXPECT_EQ(enc.GetLastResult(), 0);
    EXPECT_EQ(engine.calls.back(), "DisplayInfo.SetAuthor()");

    // Refusals before any engine call leave the code alone.
    engine.Fail("Encoder.Pause", mce::rc::OnlyDuringEncoding);
    EXPECT_FALSE(enc.Pause());
    const std::size_t before = engine.calls.size();
    EXPECT_FALSE(enc.SetOutputFile(""));
    EXPECT_FALSE(enc.SetOutputFile(nullptr));
    EXPECT_EQ(engine.calls.size(), before);
    EXPECT_EQ(enc.GetLastResult(), mce::rc::OnlyDuringEncoding);

    // Prepare: automatic stop first; a refusal there stops it.
    engine.calls.clear();
    EXPECT_TRUE(enc.Prepare(false));
    EXPECT_EQ(engine.calls, (Calls{"Encoder.SetAutoStop(-1)", "Encoder.PrepareToEncode(0)"}));
    engine.Fail("Encoder.SetAutoStop", mce::rc::NotAllowedWhileEncoding);
    engine.calls.clear();
    EXPECT_FALSE(enc.Prepare(true));
    EXPECT_EQ(engine.calls, (Calls{"Encoder.SetAutoStop(-1)"}));
    EXPECT_EQ(enc.GetLastResult(), mce::rc::NotAllowedWhileEncoding);
}

TEST_F(SessionTest, LongTextsAreCutAndLongPathsRefused)
{
    CxWMEncoder enc;
    const std::string description(1024, 'd');
    EXPECT_TRUE(enc.SetDescription(description.c_str()));
    EXPECT_EQ(engine.calls.back(), "DisplayInfo.SetDescription(" + std::string(255, 'd') + ")");

    const std::string longPath = "/" + std::string(300, 'p');
    engine.calls.clear();
    EXPECT_FALSE(enc.SetOutputFile(longPath.c_str()));
    EXPECT_TRUE(engine.calls.empty());
}

TEST_F(SessionTest, StatisticsReadTheLowHalfAndFailToZero)
{
    CxWMEncoder enc;
    engine.fileSize = 4294967306LL; // 4 GiB and 10 bytes
    engine.duration = 2500;
    engine.calls.clear();
    EXPECT_EQ(enc.GetFileSize(), 10);
    EXPECT_EQ(engine.calls,
              (Calls{"Statistics.GetFileArchiveStats()", "ArchiveStats.GetFileSize()", "Release ArchiveStats"}));
    EXPECT_EQ(enc.GetDuration(), 2500);
    engine.fileSize = 0x80000001LL;
    EXPECT_EQ(enc.GetFileSize(), static_cast<std::int32_t>(0x80000001u));

    engine.Fail("Statistics.GetFileArchiveStats", mce::rc::Fail);
    EXPECT_EQ(enc.GetFileSize(), 0);
    EXPECT_EQ(enc.GetLastResult(), mce::rc::Fail);
    engine.failures.clear();
    engine.Fail("ArchiveStats.Query");
    EXPECT_EQ(enc.GetDuration(), 0);
    EXPECT_EQ(enc.GetLastResult(), mce::rc::NoInterface);
    engine.failures.clear();
    engine.Fail("ArchiveStats.GetFileDuration", mce::rc::ReadFault);
    EXPECT_EQ(enc.GetDuration(), 0);
    EXPECT_EQ(enc.GetLastResult(), mce::rc::ReadFault);

    // The source's length: 0 when the engine cannot tell, and that is no
    // failure of the run, so the last result stays.
    engine.failures.clear();
    engine.sourceDuration = 0x1'0000'0000LL;
    EXPECT_EQ(enc.GetSourceDuration(), INT32_MAX);
    engine.sourceDuration = 61000;
    EXPECT_EQ(enc.GetSourceDuration(), 61000);
    EXPECT_EQ(enc.GetLastResult(), mce::rc::ReadFault);
    engine.Fail("ArchiveStats.GetSourceDuration", mce::rc::NoInterface);
    EXPECT_EQ(enc.GetSourceDuration(), 0);
    EXPECT_EQ(enc.GetLastResult(), mce::rc::ReadFault);
}

TEST_F(SessionTest, StatisticsWithoutEncoderAreMinusOne)
{
    engine.Fail("Runtime.CreateEncoder", mce::rc::Fail);
    CxWMEncoder enc;
    EXPECT_EQ(enc.GetFileSize(), -1);
    EXPECT_EQ(enc.GetDuration(), -1);
    EXPECT_EQ(enc.GetSourceDuration(), -1);
}

TEST_F(SessionTest, RunStateRecordsAFailureWhileEncoding)
{
    CxWMEncoder enc;
    EXPECT_TRUE(enc.Start());
    EXPECT_EQ(enc.GetRunState(), mce::RunState::Encoding);
    EXPECT_TRUE(enc.Pause());
    EXPECT_EQ(enc.GetRunState(), mce::RunState::Paused);
    engine.runState = mce::RunState::Stopped;
    EXPECT_EQ(enc.GetRunState(), mce::RunState::Stopped);
    EXPECT_EQ(enc.GetLastResult(), 0);
    engine.runFailure = mce::rc::DiskFull;
    std::int32_t failure = 0;
    EXPECT_EQ(enc.GetRunState(&failure), mce::RunState::Stopped);
    EXPECT_EQ(failure, mce::rc::DiskFull);
    EXPECT_EQ(enc.GetLastResult(), mce::rc::DiskFull);
}

TEST_F(SessionTest, LoadEngineProfilesSkipsEntriesThatFail)
{
    CxWMEncoder enc;
    engine.Fail("Profiles.Item(3)");
    EXPECT_TRUE(enc.LoadEngineProfiles());
    EXPECT_EQ(enc.GetEngineProfileCount(), 8u);
    EXPECT_STREQ(enc.GetEngineProfile(3)->szProfileName, "MRProf2h");
    // Loading again starts from an empty list.
    engine.failures.clear();
    EXPECT_TRUE(enc.LoadEngineProfiles());
    EXPECT_EQ(enc.GetEngineProfileCount(), 9u);

    engine.Fail("Profiles.GetCount", mce::rc::Fail);
    EXPECT_FALSE(enc.LoadEngineProfiles());
    EXPECT_EQ(enc.GetEngineProfileCount(), 0u);
}

TEST(EncoderErrorText, TableWordsOrHexadecimal)
{
    EXPECT_EQ(FormatEncoderError(0), "");
    EXPECT_EQ(FormatEncoderError(1), "");
    EXPECT_EQ(FormatEncoderError(static_cast<std::int32_t>(0xC00D1B66u)),
              "Windows Media Encoder Internal Error: This operation is not allowed while encoding.");
    EXPECT_EQ(FormatEncoderError(static_cast<std::int32_t>(0x80004005u)),
              "Windows Media Encoder Internal Error: 80004005");
    EXPECT_EQ(FormatEncoderError(static_cast<std::int32_t>(0xC00D1B65u)),
              "Windows Media Encoder Internal Error: c00d1b65");
    EXPECT_EQ(FormatEncoderError(static_cast<std::int32_t>(0xC00D1B8Au)),
              "Windows Media Encoder Internal Error: One or all of the specified sources are not working properly. "
              "Check that the sources are configured correctly.");
    // Every row is reachable: no code twice, all failures, all texts fit.
    for (int i = 0; i < kWMEncErrorCount; ++i) {
        EXPECT_LT(g_WMEncErrors[i].hr, 0);
        for (int j = i + 1; j < kWMEncErrorCount; ++j)
            EXPECT_NE(g_WMEncErrors[i].hr, g_WMEncErrors[j].hr);
        EXPECT_EQ(FormatEncoderError(g_WMEncErrors[i].hr),
                  std::string("Windows Media Encoder Internal Error: ") + g_WMEncErrors[i].szText);
    }
}

} // namespace
