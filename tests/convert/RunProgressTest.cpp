// The run window's progress estimate on a scripted clock.
#include <gtest/gtest.h>

#include <cstdint>

#include "RunProgress.h"

namespace {

class RunProgressTest : public ::testing::Test {
protected:
    // Runs at the given speed (media ms per clock ms) for ms of clock time,
    // polling every 500 ms as the window does.
    void Run(std::int64_t ms, double speed = 1.0)
    {
        for (std::int64_t t = 0; t < ms; t += 500) {
            now += 500;
            converted += static_cast<std::int64_t>(500 * speed);
            progress.Update(converted, source);
        }
    }

    std::int64_t now = 1'000'000;
    std::int64_t converted = 0;
    std::int64_t source = 20'000;
    RunProgress progress{[this] { return now; }};
};

TEST_F(RunProgressTest, ShareFollowsTheSourceAndIsFullOnlyWhenTheRunEnds)
{
    progress.Begin();
    EXPECT_EQ(progress.Percent(), 0);
    Run(5000);
    EXPECT_EQ(progress.Percent(), 25);
    // Converted time at or past the source's length still waits for the end.
    progress.Update(source + 500, source);
    EXPECT_EQ(progress.Percent(), 99);
    progress.Finish();
    EXPECT_EQ(progress.Percent(), 100);
    EXPECT_EQ(progress.SecondsLeft(), -1);
    EXPECT_FALSE(progress.Estimating());

    // A length the engine cannot tell gives no share and no estimate.
    progress.Begin();
    now += 5000;
    progress.Update(3000, 0);
    EXPECT_EQ(progress.Percent(), -1);
    EXPECT_EQ(progress.SecondsLeft(), -1);
    EXPECT_FALSE(progress.Estimating());

    // A stop keeps the share reached and drops the estimate.
    progress.Begin();
    converted = 0;
    Run(8000);
    ASSERT_GE(progress.SecondsLeft(), 0);
    progress.Halt();
    EXPECT_EQ(progress.Percent(), 40);
    EXPECT_EQ(progress.SecondsLeft(), -1);
}

TEST_F(RunProgressTest, NoEstimateInTheFirstSecondsThenTheTimeLeftAtTheCurrentRate)
{
    progress.Begin();
    Run(1500, 2.0);
    EXPECT_TRUE(progress.Estimating());
    EXPECT_EQ(progress.SecondsLeft(), -1);
    Run(3500, 2.0); // 10 of 20 s converted in 5 s
    EXPECT_FALSE(progress.Estimating());
    EXPECT_EQ(progress.SecondsLeft(), 5);
    Run(2000, 2.0);
    EXPECT_EQ(progress.SecondsLeft(), 3);
}

TEST_F(RunProgressTest, PausedTimeIsLeftOut)
{
    progress.Begin();
    Run(4000);
    const std::int64_t active = progress.ActiveMs();
    const std::int64_t left = progress.SecondsLeft();
    EXPECT_EQ(active, 4000);
    ASSERT_EQ(left, 16);

    progress.Pause();
    now += 600'000; // ten minutes paused
    EXPECT_EQ(progress.ActiveMs(), active);
    progress.Resume();
    EXPECT_EQ(progress.ActiveMs(), active);
    Run(2000);
    EXPECT_EQ(progress.ActiveMs(), 6000);
    EXPECT_EQ(progress.SecondsLeft(), 14);

    // Pausing twice or resuming what runs changes nothing.
    progress.Resume();
    progress.Pause();
    progress.Pause();
    now += 1000;
    progress.Resume();
    EXPECT_EQ(progress.ActiveMs(), 6000);
}

TEST_F(RunProgressTest, OneOddPollMovesTheEstimateOnlyPartly)
{
    progress.Begin();
    Run(6000);
    ASSERT_EQ(progress.SecondsLeft(), 14);
    // A burst: 4 s of media in one half-second poll.
    now += 500;
    converted += 4000;
    progress.Update(converted, source);
    // On that poll alone the rate says under 6 s; smoothed, far less of a jump.
    EXPECT_GT(progress.SecondsLeft(), 11);
    EXPECT_LT(progress.SecondsLeft(), 14);
}

} // namespace
