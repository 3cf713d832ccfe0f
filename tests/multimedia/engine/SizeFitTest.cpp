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
