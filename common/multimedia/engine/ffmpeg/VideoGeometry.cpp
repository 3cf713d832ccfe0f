#include "VideoGeometry.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace mce::ff {

Rect FitPicture(int sourceWidth, int sourceHeight, int sarNum, int sarDen, int frameWidth, int frameHeight)
{
    Rect r{0, 0, frameWidth & ~1, frameHeight & ~1};
    if (sourceWidth <= 0 || sourceHeight <= 0 || r.width <= 0 || r.height <= 0)
        return r;
    if (sarNum <= 0 || sarDen <= 0)
        sarNum = sarDen = 1;
    const double aspect = static_cast<double>(sourceWidth) * sarNum / (static_cast<double>(sourceHeight) * sarDen);
    const double frameAspect = static_cast<double>(r.width) / r.height;
    if (aspect > frameAspect) {
        const int h = static_cast<int>(std::lround(r.width / aspect / 2.0)) * 2;
        r.height = std::clamp(h, 2, r.height);
    } else {
        const int w = static_cast<int>(std::lround(r.height * aspect / 2.0)) * 2;
        r.width = std::clamp(w, 2, r.width);
    }
    r.x = ((frameWidth & ~1) - r.width) / 4 * 2;
    r.y = ((frameHeight & ~1) - r.height) / 4 * 2;
    return r;
}

Rate CapFrameRate(Rate source, int cap)
{
    if (cap <= 0)
        return source;
    if (source.num <= 0 || source.den <= 0)
        return {cap, 1};
    // source <= cap, compared without rounding
    if (static_cast<std::int64_t>(source.num) <= static_cast<std::int64_t>(cap) * source.den)
        return source;
    // NTSC-style rates: 30000/1001, 24000/1001, also written as 29.97 = 2997/100.
    const double fps = static_cast<double>(source.num) / source.den;
    const double ntscBase = fps * 1001.0 / 1000.0;
    const bool ntsc = source.den % 1001 == 0 || (source.den != 1 && std::fabs(ntscBase - std::round(ntscBase)) < 0.005);
    if (ntsc)
        return {cap * 1000, 1001};
    return {cap, 1};
}

namespace {

// a / b rounded down; b > 0
__int128 DivFloor(__int128 a, __int128 b)
{
    const __int128 q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

} // namespace

Rate SlotShift(Rate out, Rate source, std::int64_t firstUs)
{
    constexpr Rate kQuarter{1, 4};
    if (out.num <= 0 || out.den <= 0 || source.num <= 0 || source.den <= 0)
        return kQuarter;
    // out / source = a / b in lowest terms
    std::int64_t a = static_cast<std::int64_t>(out.num) * source.den;
    std::int64_t b = static_cast<std::int64_t>(out.den) * source.num;
    const std::int64_t g = std::gcd(a, b);
    a /= g;
    b /= g;
    if (a >= b)
        return kQuarter;
    // In slots, picture k is shown at phase + k * a / b: points on a lattice
    // of 1/b. The fps filter's choice holds for shifts from out/source - 1/2
    // down to where the point just above an integer would fall below it, and
    // up to where the point just below one would reach it; the middle of
    // that lies half a lattice step above the former's point.
    constexpr std::int64_t kMaxDen = std::int64_t{1} << 24;
    if (firstUs == 0) {
        // Exactly: the points sit on the integers when b is even (the
        // filter's ties) and halfway between them when it is odd.
        const std::int64_t num = 2 * a - b + (b % 2 == 0 ? 1 : 0);
        const std::int64_t den = 2 * b;
        if (den <= kMaxDen)
            return {static_cast<int>(num), static_cast<int>(den)};
    }
    const double c0 = static_cast<double>(a) / b - 0.5;
    const double phase = static_cast<double>(firstUs) * out.num / (1e6 * out.den);
    const double steps = (phase + c0) * static_cast<double>(b);
    double above = steps - std::floor(steps); // in lattice steps
    if (above > 1 - 1e-6)
        above = 0; // a tie that rounding moved
    const double shift = c0 + (0.5 - above) / static_cast<double>(b);
    return {static_cast<int>(std::llround(shift * kMaxDen)), static_cast<int>(kMaxDen)};
}

std::int64_t OutputSlot(std::int64_t us, Rate rate, Rate shift)
{
    constexpr std::int64_t kSecond = 1000000;
    // floor(us * num / (kSecond * den) + shift.num / shift.den), exactly
    const __int128 den = static_cast<__int128>(kSecond) * rate.den * shift.den;
    const __int128 num =
        static_cast<__int128>(us) * rate.num * shift.den + static_cast<__int128>(shift.num) * kSecond * rate.den;
    return static_cast<std::int64_t>(DivFloor(num, den));
}

} // namespace mce::ff
