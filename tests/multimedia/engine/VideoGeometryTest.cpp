#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CapForecast.h"
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

namespace {

struct Coded {
    std::int64_t us; // shown at
    bool reference;  // others depend on it: always decoded
};

// Pictures of a stream at `fps` in decode order, in a repeating group:
// "IBBP" as MPEG-1/2 codes them, "pyramid" as H.264 does (the middle B is a
// reference), "intra" as MJPEG does. Stamps in milliseconds, as ASF and AVI
// demuxers give them.
std::vector<Coded> Stream(const std::string& kind, double fps, int count)
{
    auto at = [&](int i) { return static_cast<std::int64_t>(i * 1000.0 / fps) * 1000; };
    std::vector<Coded> out;
    if (kind == "intra") {
        for (int i = 0; i < count; ++i)
            out.push_back({at(i), false});
        return out;
    }
    // display positions within a group of n, in decode order, and whether each is a reference
    const std::vector<std::pair<int, bool>> ibbp = {{0, true},  {3, true},  {1, false}, {2, false}, {6, true},
                                                    {4, false}, {5, false}, {9, true},  {7, false}, {8, false}};
    const std::vector<std::pair<int, bool>> pyramid = {{0, true},  {8, true},  {4, true},  {2, false}, {1, false},
                                                       {3, false}, {6, false}, {5, false}, {7, false}};
    const auto& group = kind == "IBBP" ? ibbp : pyramid;
    const int n = kind == "IBBP" ? 10 : 9;
    for (int base = 0; base + n <= count; base += n) {
        for (auto [pos, ref] : group)
            out.push_back({at(base + pos), ref});
    }
    return out;
}

// The pictures the scale stage keeps out of those that reach it: the first of
// each output slot in display order.
std::set<std::int64_t> Kept(std::vector<std::int64_t> shown, Rate rate, Rate shift)
{
    std::sort(shown.begin(), shown.end());
    std::set<std::int64_t> kept;
    std::int64_t last = -1;
    for (std::int64_t us : shown) {
        const std::int64_t slot = mce::ff::OutputSlot(us, rate, shift);
        if (slot > last) {
            kept.insert(us);
            last = slot;
        }
    }
    return kept;
}

} // namespace

TEST(VideoGeometry, ForecastLeavesOutOnlyPicturesTheCapDrops)
{
    const struct {
        Rate in, out;
    } rates[] = {{{30000, 1001}, {15000, 1001}},
                 {{30000, 1001}, {20000, 1001}},
                 {{30000, 1001}, {25000, 1001}},
                 {{25, 1}, {15, 1}},
                 {{25, 1}, {20, 1}},
                 {{30, 1}, {25, 1}},
                 {{50, 1}, {25, 1}},
                 {{60, 1}, {15, 1}},
                 {{24, 1}, {24, 1}},
                 {{15, 1}, {15, 1}}};
    for (const std::string kind : {"IBBP", "pyramid", "intra"}) {
        for (const auto& r : rates) {
            const double fps = static_cast<double>(r.in.num) / r.in.den;
            SCOPED_TRACE(kind + " at " + std::to_string(fps) + " to " + std::to_string(r.out.num) + "/" +
                         std::to_string(r.out.den));
            const std::vector<Coded> stream = Stream(kind, fps, 300);
            const Rate shift = mce::ff::SlotShift(r.out, r.in);
            std::vector<std::int64_t> all, decoded;
            mce::ff::CapForecast forecast(r.out, shift);
            int left = 0, droppable = 0;
            for (const Coded& c : stream)
                all.push_back(c.us);
            const std::set<std::int64_t> keep = Kept(all, r.out, shift);
            for (const Coded& c : stream) {
                // Pictures before the start are dropped too, but the decoder is not
                // told: after a clock restart "before the start" is not known yet.
                droppable += !c.reference && !keep.count(c.us) && mce::ff::OutputSlot(c.us, r.out, shift) >= 0;
                // The decoder is told to leave the picture out; a reference picture it decodes all the same.
                const bool dropped = forecast.Dropped(c.us);
                if (dropped && !c.reference) {
                    ++left;
                    continue;
                }
                decoded.push_back(c.us);
                if (!dropped)
                    forecast.Sent(c.us);
            }
            // The pictures that go out are the same, whatever was left out.
            EXPECT_EQ(Kept(decoded, r.out, shift), keep);
            // Where decode order follows display order for the pictures nothing
            // depends on, every one of them that the cap drops is left out.
            if (kind != "pyramid")
                EXPECT_EQ(left, droppable);
            else
                EXPECT_EQ(left > 0, droppable > 0);
        }
    }
    // A clock that restarts: the first picture after it is never left out.
    mce::ff::CapForecast forecast({15000, 1001});
    forecast.Sent(5000000);
    EXPECT_TRUE(forecast.Dropped(5033000));
    EXPECT_FALSE(forecast.Dropped(33000));
    EXPECT_FALSE(mce::ff::CapForecast().Dropped(33000)); // no rate known
}

TEST(VideoGeometry, CappedRateKeepsThePicturesOfTheFpsFilter)
{
    // FFmpeg's fps filter gives each picture the slot its stamp rounds to
    // (halves up) and keeps the last picture of each slot; users compare with
    // it. The filter reads the stream's own stamps (exact here), the engine
    // microseconds; both from the start of the source, which the first
    // picture may come after. Where a rate's stamps are whole milliseconds,
    // also as ASF and AVI demuxers give them.
    const struct {
        Rate in, out;
        bool milliseconds;
    } rates[] = {{{30, 1}, {25, 1}, true},
                 {{30000, 1001}, {25000, 1001}, false},
                 {{30000, 1001}, {20000, 1001}, false},
                 {{30000, 1001}, {15000, 1001}, false},
                 {{25, 1}, {20, 1}, true},
                 {{25, 1}, {15, 1}, true},
                 {{50, 1}, {25, 1}, true},
                 {{60, 1}, {15, 1}, false},
                 {{24000, 1001}, {20, 1}, false}};
    for (const auto& r : rates) {
        // The first picture at the start, or after the sound's start, as in
        // DVD title files (5.3 ms) and later.
        for (const auto& [unit, firstUs] :
             {std::pair<std::int64_t, std::int64_t>{1, 0}, {1, 5333}, {1, 137000}, {1000, 0}}) {
            if (unit == 1000 && !r.milliseconds)
                continue;
            SCOPED_TRACE(std::to_string(r.in.num) + "/" + std::to_string(r.in.den) + " to " +
                         std::to_string(r.out.num) + "/" + std::to_string(r.out.den) + ", stamps in " +
                         std::to_string(unit) + " us from " + std::to_string(firstUs));
            const Rate shift = mce::ff::SlotShift(r.out, r.in, firstUs);
            const int count = 600;
            std::vector<std::int64_t> us;
            for (std::int64_t k = 0; k < count; ++k)
                us.push_back(firstUs + (k * 1000000 * r.in.den + r.in.num / 2) / r.in.num / unit * unit);
            auto filterSlot = [&](std::int64_t k) -> std::int64_t {
                if (unit == 1) {
                    // (firstUs / 1e6 + k * in.den / in.num) * out, rounded
                    const std::int64_t n = (firstUs * r.in.num + k * 1000000 * r.in.den) * r.out.num;
                    const std::int64_t d = 1000000LL * r.in.num * r.out.den;
                    return (2 * n + d) / (2 * d);
                }
                return (2 * us[k] * r.out.num + 1000000LL * r.out.den) / (2000000LL * r.out.den);
            };
            std::set<int> expected, kept;
            std::int64_t last = -1;
            // The filter decides the last picture on the end of the stream: compared up to there.
            for (int k = 0; k + 1 < count; ++k) {
                if (filterSlot(k + 1) > filterSlot(k))
                    expected.insert(k);
                const std::int64_t slot = mce::ff::OutputSlot(us[k], r.out, shift);
                if (slot > last && slot >= 0) {
                    kept.insert(k);
                    last = slot;
                }
            }
            // Below half the source rate the filter drops the very first
            // picture (the next one takes its slot); after the sound's start
            // the engine shows it, a slot before the rest.
            if (firstUs > 0) {
                kept.erase(0);
                expected.erase(0);
            }
            EXPECT_EQ(kept, expected);
        }
    }
}
