#include <gtest/gtest.h>

#include "VideoGeometry.h"

using mce::ff::CapFrameRate;
using mce::ff::FitPicture;
using mce::ff::Rate;
using mce::ff::Rect;

TEST(VideoGeometry, FitsTheDisplayAspectWithCentredEvenBars)
{
    // 4:3 into 4:3 fills the frame.
    EXPECT_EQ(FitPicture(640, 480, 1, 1, 320, 240), (Rect{0, 0, 320, 240}));
    // Anamorphic 16:9 DVD (720x480, pixels 32:27) into 320x240: letterboxed.
    EXPECT_EQ(FitPicture(720, 480, 32, 27, 320, 240), (Rect{0, 30, 320, 180}));
    // 4:3 is wider than the 208x160 screen (13:10): thin bars top and bottom.
    EXPECT_EQ(FitPicture(320, 240, 0, 0, 208, 160), (Rect{0, 2, 208, 156}));
    // A tall cropped picture.
    EXPECT_EQ(FitPicture(160, 240, 1, 1, 320, 240), (Rect{80, 0, 160, 240}));
    for (const Rect r : {FitPicture(719, 333, 5, 7, 208, 160), FitPicture(3, 1000, 1, 1, 640, 480)}) {
        EXPECT_EQ(r.x % 2 + r.y % 2 + r.width % 2 + r.height % 2, 0);
        EXPECT_GE(r.width, 2);
        EXPECT_GE(r.height, 2);
    }
}

TEST(VideoGeometry, FrameRateIsACapKeepingNtscRates)
{
    EXPECT_EQ(CapFrameRate({30000, 1001}, 15), (Rate{15000, 1001}));
    EXPECT_EQ(CapFrameRate({30000, 1001}, 30), (Rate{30000, 1001})); // not above the cap: kept
    EXPECT_EQ(CapFrameRate({2997, 100}, 25), (Rate{25000, 1001}));
    EXPECT_EQ(CapFrameRate({25, 1}, 20), (Rate{20, 1}));
    EXPECT_EQ(CapFrameRate({12, 1}, 15), (Rate{12, 1}));
    EXPECT_EQ(CapFrameRate({1000, 1}, 30), (Rate{30, 1}));
    EXPECT_EQ(CapFrameRate({0, 1}, 15), (Rate{15, 1})); // unknown source rate
}
