#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "ConvertRecipes.h"
#include "CxList.h"
#include "CxWMEncoder.h"
#include "FakeEngine.h"
#include "MROption.h"
#include "TextUtil.h"
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

// A run list that owns its items.
struct RunList {
    CxList list;
    std::vector<std::unique_ptr<RunItem>> items;
    void Add(const char* source, const char* output = "")
    {
        auto item = std::make_unique<RunItem>();
        std::memset(item.get(), 0, sizeof(RunItem));
        cx::CopyText(item->szSource, source);
        cx::CopyText(item->szOutput, output);
        list.Add(item.get());
        items.push_back(std::move(item));
    }
};

// Calls other than releases and the statistics, which the recipes never make.
Calls Configuration(const FakeEngine& e)
{
    Calls out;
    for (const std::string& c : e.calls)
        if (c.rfind("Release ", 0) != 0)
            out.push_back(c);
    return out;
}

class RecipeTest : public ::testing::Test {
protected:
    RecipeTest()
    {
        opt = MakeOption();
        cx::CopyText(opt.szOutputFile, "/out/clip.wmv");
        engine.calls.clear();
    }
    FakeEngine engine;
    ScopedFactory installed{&engine};
    MROption opt;
    RunList runs;
};

TEST_F(RecipeTest, SingleFileCallsInOrderWithEverySetting)
{
    CxWMEncoder enc;
    engine.calls.clear();
    runs.Add("/in/a.mpg");
    opt.nResolution = 2; // custom converts like wide screen
    opt.nWidth = 999;
    opt.bCrop = 1;
    opt.nCropLeft = 0;
    opt.nCropTop = 8;
    opt.nCropRight = -4;
    opt.nCropBottom = 2;
    opt.bTwoPass = 1;
    cx::CopyText(opt.szTitle, "T");
    cx::CopyText(opt.szAuthor, "A");
    cx::CopyText(opt.szDescription, "D"); // copyright left empty
    opt.bLimitSize = 1;
    opt.nCardSize = 1;
    opt.bWideAspect = 1;
    opt.bOptimize = opt.bSpeech = 1;

    std::vector<std::pair<std::string, std::string>> shown;
    ASSERT_TRUE(recipe::RunSingleFile(enc, &runs.list, opt, 1, [&](const char* s, const char* o) {
        shown.emplace_back(s, o);
        engine.calls.push_back("hook");
    }));
    EXPECT_EQ(Configuration(engine), (Calls{
                                         "SourceGroups.Add(CxWMEncGrp_1)",
                                         "SourceGroup.AddSource(2)",
                                         "VideoSource.SetInput(/in/a.mpg||)",
                                         "SourceGroup.AddSource(1)",
                                         "AudioSource.SetInput(/in/a.mpg||)",
                                         "OutputFile.SetLocalFileName(/out/clip.wmv)",
                                         "hook",
                                         "VideoSource.SetCroppingTopMargin(8)",
                                         "VideoSource.SetCroppingBottomMargin(2)",
                                         "Runtime.CreateProfile()",
                                         "Profile.LoadFromFile(" + ModuleDir() + "MRProf3h.prx)",
                                         "SourceGroup.SetProfile(profile)",
                                         "VideoSource.SetTwoPass(1)",
                                         "DisplayInfo.SetAuthor(A)",
                                         "DisplayInfo.SetTitle(T)",
                                         "DisplayInfo.SetDescription(D)",
                                         "OutputFile.SetMaxFileSize(268435456)",
                                         "Encoder.SetAutoStop(-1)",
                                         "Encoder.PrepareToEncode(-1)",
                                         "Encoder.Start()",
                                     }))
        << engine.Log();
    EXPECT_EQ(shown, (std::vector<std::pair<std::string, std::string>>{{"/in/a.mpg", "/out/clip.wmv"}}));
}

TEST_F(RecipeTest, SingleFileWithoutOptionsSetsNoCroppingTwoPassTextsOrLimit)
{
    CxWMEncoder enc;
    engine.calls.clear();
    runs.Add("/in/a.mpg");
    opt.nCropLeft = opt.nCropTop = 16; // margins without bCrop are not applied
    ASSERT_TRUE(recipe::RunSingleFile(enc, &runs.list, opt, 2));
    EXPECT_EQ(engine.Count("VideoSource.SetCropping"), 0u);
    EXPECT_EQ(engine.Count("VideoSource.SetTwoPass"), 0u);
    EXPECT_EQ(engine.Count("DisplayInfo."), 0u);
    EXPECT_EQ(engine.Count("OutputFile.SetMaxFileSize"), 0u);
    EXPECT_EQ(engine.CallsStartingWith("Profile.LoadFromFile"),
              (Calls{"Profile.LoadFromFile(" + ModuleDir() + "MRProf2v.prx)"}));
}

TEST_F(RecipeTest, SizeLimitFollowsCardSize)
{
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "134217728"}, {1, "268435456"}, {2, "536870912"}, {7, "536870912"}};
    for (const auto& [card, bytes] : cases) {
        CxWMEncoder enc;
        engine.calls.clear();
        opt.bLimitSize = 1;
        opt.nCardSize = card;
        recipe::ApplyOutputSettings(enc, opt);
        EXPECT_EQ(engine.CallsStartingWith("OutputFile.SetMaxFileSize"),
                  (Calls{std::string("OutputFile.SetMaxFileSize(") + bytes + ")"}))
            << card;
    }
}

TEST_F(RecipeTest, OnlyPrepareDecidesAndAFailedPrepareDoesNotStart)
{
    CxWMEncoder enc;
    runs.Add("/in/missing.avi");
    engine.Fail("VideoSource.SetInput", mce::rc::SourceNotWorking);
    engine.Fail("Profile.LoadFromFile", mce::rc::FileNotFound);
    engine.calls.clear();
    // Configuration failures are ignored ...
    EXPECT_EQ(recipe::AddSources(enc, &runs.list, opt, 2), 1u);
    recipe::ApplyOutputSettings(enc, opt);
    // ... the engine's refusal at Prepare is what stops the run.
    engine.Fail("Encoder.PrepareToEncode", mce::rc::SourceNotWorking);
    EXPECT_FALSE(recipe::PrepareAndStart(enc));
    EXPECT_EQ(engine.Count("Encoder.Start"), 0u);
    EXPECT_EQ(enc.GetErrorText(), "Windows Media Encoder Internal Error: One or all of the specified sources are not "
                                  "working properly. Check that the sources are configured correctly.");
}

TEST_F(RecipeTest, EmptyRunListConfiguresNothing)
{
    CxWMEncoder enc;
    engine.calls.clear();
    EXPECT_FALSE(recipe::RunSingleFile(enc, &runs.list, opt, 2));
    EXPECT_FALSE(recipe::RunSingleFile(enc, nullptr, opt, 2));
    EXPECT_TRUE(engine.calls.empty());
    EXPECT_EQ(enc.GetErrorText(), ""); // nothing for a caller's ShowError to say
}

TEST_F(RecipeTest, ACustomSizeMakesTheWideScreenProfileThatFrame)
{
    CxWMEncoder enc;
    runs.Add("/in/a.mpg", "/out/a.wmv");
    opt.nResolution = 2;
    opt.nWidth = 480;
    opt.nHeight = 272;
    auto profileCalls = [&] {
        Calls out;
        for (const std::string& c : engine.calls)
            if (c.rfind("Profile.", 0) == 0 || c.rfind("SourceGroup.SetProfile", 0) == 0)
                out.push_back(c);
        engine.calls.clear();
        return out;
    };
    const Calls custom{"Profile.LoadFromFile(" + ModuleDir() + "MRProf3h.prx)", "Profile.SetFrameSize(480,272)",
                       "SourceGroup.SetProfile(profile)"};
    engine.calls.clear();
    recipe::AddSources(enc, &runs.list, opt, 1);
    EXPECT_EQ(profileCalls(), custom);
    recipe::ConfigureBatchItem(enc, static_cast<RunItem*>(runs.list.GetAt(0)), opt, 1);
    EXPECT_EQ(profileCalls(), custom);

    // A size the engine is not given (older profiles hold 0 x 0) converts
    // like wide screen.
    for (auto [w, h] : {std::pair{0, 0}, std::pair{481, 272}, std::pair{1282, 720}, std::pair{62, 48}}) {
        opt.nWidth = w;
        opt.nHeight = h;
        recipe::AddSources(enc, &runs.list, opt, 3);
        EXPECT_EQ(profileCalls(),
                  (Calls{"Profile.LoadFromFile(" + ModuleDir() + "MRProf1h.prx)", "SourceGroup.SetProfile(profile)"}))
            << w << "x" << h;
    }

    // An engine that cannot resize: no profile reaches the group, so Prepare
    // refuses the run rather than converting at another size.
    engine.Fail("Profile.SetFrameSize", mce::rc::NoInterface);
    opt.nWidth = 480;
    opt.nHeight = 272;
    recipe::AddSources(enc, &runs.list, opt, 1);
    EXPECT_EQ(profileCalls(),
              (Calls{"Profile.LoadFromFile(" + ModuleDir() + "MRProf3h.prx)", "Profile.SetFrameSize(480,272)"}));
}

TEST_F(RecipeTest, BatchItemsShareTheSessionAndNameGroupsInTurn)
{
    CxWMEncoder enc;
    runs.Add("/in/1.avi", "/out/1.wmv");
    runs.Add("/in/2.vob", "/out/2.wmv");
    runs.Add("/in/3.dat", "/out/3.wmv");
    opt.nResolution = 3;
    opt.bTwoPass = opt.bLimitSize = 1;
    // The batch page's margins crop without the single-file switch.
    opt.bCrop = 0;
    opt.nCropLeft = 8;
    cx::CopyText(opt.szTitle, "T");
    std::vector<std::string> shown;
    for (std::uint32_t i = 0; i < 3; ++i) {
        engine.calls.clear();
        ASSERT_TRUE(recipe::ConfigureBatchItem(
            enc, static_cast<RunItem*>(runs.list.GetAt(i)), opt, 3,
            [&](const char* s, const char* o) { shown.push_back(std::string(s) + ">" + o); }));
        ASSERT_TRUE(recipe::PrepareAndStart(enc));
        const std::string n = std::to_string(i + 1);
        EXPECT_EQ(Configuration(engine), (Calls{
                                             "SourceGroups.Add(CxWMEncGrp_" + n + ")",
                                             "SourceGroup.AddSource(2)",
                                             "VideoSource.SetInput(" + std::string(runs.items[i]->szSource) + "||)",
                                             "SourceGroup.AddSource(1)",
                                             "AudioSource.SetInput(" + std::string(runs.items[i]->szSource) + "||)",
                                             "OutputFile.SetLocalFileName(/out/" + n + ".wmv)",
                                             "VideoSource.SetCroppingLeftMargin(8)",
                                             "Runtime.CreateProfile()",
                                             "Profile.LoadFromFile(" + ModuleDir() + "MRProf1x.prx)",
                                             "SourceGroup.SetProfile(profile)",
                                             "Encoder.SetAutoStop(-1)",
                                             "Encoder.PrepareToEncode(-1)",
                                             "Encoder.Start()",
                                         }))
            << engine.Log();
    }
    EXPECT_EQ(shown,
              (std::vector<std::string>{"/in/1.avi>/out/1.wmv", "/in/2.vob>/out/2.wmv", "/in/3.dat>/out/3.wmv"}));
    EXPECT_EQ(enc.GetGroupCount(), 3u);
    EXPECT_FALSE(recipe::ConfigureBatchItem(enc, nullptr, opt, 2));
}

} // namespace
