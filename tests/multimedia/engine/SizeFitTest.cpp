#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "SizeFit.h"

using mce::ff::FitRequest;
using mce::ff::FitToLimit;
using mce::ff::kFitFloorBitrate;

namespace {

// The High VGA profile with the 128 mb card.
FitRequest HighVga(std::int64_t minutes)
{
    FitRequest r;
    r.limitBytes = 134217728;
    r.durationMs = minutes * 60 * 1000;
    r.videoBitrate = 2000000;
    r.videoMaxBitrate = 3000000;
    r.videoBuffer = 4000000;
    r.frameRate = 30;
    r.audioBitrate = 128000;
    r.sampleRate = 44100;
    r.fixedBytes = 600000;
    return r;
}

} // namespace

TEST(SizeFit, LowersTheVideoRateOnlyAsFarAsTheLimitNeeds)
{
    // Six minutes fit at the profile's rates: nothing changes.
    const auto kept = FitToLimit(HighVga(6));
    EXPECT_FALSE(kept.lowered);
    EXPECT_TRUE(kept.whole);
    EXPECT_EQ(kept.videoBitrate, 2000000);
    EXPECT_EQ(kept.videoMaxBitrate, 3000000);
    EXPECT_EQ(kept.videoBuffer, 4000000);
    // An unknown length or no limit: nothing to fit to.
    auto unknown = HighVga(20);
    unknown.durationMs = 0;
    EXPECT_FALSE(FitToLimit(unknown).lowered);
    unknown = HighVga(20);
    unknown.limitBytes = 0;
    EXPECT_FALSE(FitToLimit(unknown).lowered);

    // Twenty minutes: lowered, peak rate and buffer in proportion, and the
    // planned streams fill most of the card without passing it.
    for (const bool twoPass : {false, true}) {
        auto request = HighVga(20);
        request.twoPass = twoPass;
        const auto fit = FitToLimit(request);
        EXPECT_TRUE(fit.lowered);
        EXPECT_TRUE(fit.whole);
        EXPECT_NEAR(fit.videoMaxBitrate, fit.videoBitrate * 1.5, 1);
        EXPECT_NEAR(fit.videoBuffer, fit.videoBitrate * 2.0, 1);
        const double planned = (fit.videoBitrate + 128000) / 8.0 * 1200;
        EXPECT_LT(planned, 134217728.0 * (twoPass ? 0.98 : 0.9));
        EXPECT_GT(planned, 134217728.0 * (twoPass ? 0.9 : 0.8));
    }
    EXPECT_GT(FitToLimit([] {
                  auto r = HighVga(20);
                  r.twoPass = true;
                  return r;
              }())
                  .videoBitrate,
              FitToLimit(HighVga(20)).videoBitrate); // less margin with a plan

    // Ten hours cannot fit even at the floor: the floor, and said so.
    const auto floor = FitToLimit(HighVga(600));
    EXPECT_TRUE(floor.lowered);
    EXPECT_FALSE(floor.whole);
    EXPECT_EQ(floor.videoBitrate, kFitFloorBitrate);
    // A profile already below the floor is never raised to it.
    auto low = HighVga(600);
    low.videoBitrate = 48000;
    EXPECT_EQ(FitToLimit(low).videoBitrate, 48000);
}

// The floor keeps the second pass of two at or above what the first pass
// can reach at the coarsest quantiser: the rate control of Debian 12's
// FFmpeg refuses a lower plan and then frees its state twice.
TEST(SizeFit, SecondPassFloorIsWhatTheLoggedFramesNeedAtTheCoarsestQuantiser)
{
    using mce::ff::SecondPassFloor;
    EXPECT_EQ(SecondPassFloor("", 15), 0);
    EXPECT_EQ(SecondPassFloor("not a log;\n", 15), 0);
    // At the coarsest step (31 of 118 lambda units) a frame's bits stay as
    // logged; at half of it the texture would take half as many.
    const std::string coarse = "in:0 out:0 type:2 q:3658 itex:0 ptex:9999 mv:1000 misc:1000 fcode:1 bcode:1;\n";
    const std::string fine = "in:1 out:1 type:2 q:1829 itex:0 ptex:9999 mv:1000 misc:1000 fcode:1 bcode:1;\n";
    EXPECT_EQ(SecondPassFloor(coarse, 15), static_cast<int>(std::ceil(12000 * 15 * 1.15)));
    EXPECT_EQ(SecondPassFloor(fine, 15), static_cast<int>(std::ceil(7000 * 15 * 1.15)));
    // A mean over the frames; a last entry cut short is skipped.
    EXPECT_EQ(SecondPassFloor(coarse + fine + "in:2 out:2 type:2 q:", 15),
              static_cast<int>(std::ceil(9500 * 15 * 1.15)));
    // A key frame stops at 0.8 of the coarsest step.
    EXPECT_EQ(SecondPassFloor("in:0 out:0 type:1 q:2926 itex:9999 ptex:0 mv:0 misc:1000;", 10),
              static_cast<int>(std::ceil((2926.0 * 10000 / (0.8 * 3658) + 1000) * 10 * 1.15)));
    EXPECT_EQ(SecondPassFloor(coarse, 0), 0);
}
