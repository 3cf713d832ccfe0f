#include "VideoGeometry.h"

#include <algorithm>
#include <cmath>

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

// a / b rounded to the nearest, halves away from zero; b > 0
__int128 DivNear(__int128 a, __int128 b)
{
    return a >= 0 ? (a + b / 2) / b : -((-a + b / 2) / b);
}

// a / b rounded down; b > 0
__int128 DivFloor(__int128 a, __int128 b)
{
    const __int128 q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

} // namespace

std::int64_t OutputSlot(std::int64_t us, Rate rate)
{
    constexpr std::int64_t kSecond = 1000000;
    const __int128 quarter = DivNear(static_cast<__int128>(kSecond) * rate.den, 4 * static_cast<__int128>(rate.num));
    return static_cast<std::int64_t>(
        DivFloor((static_cast<__int128>(us) + quarter) * rate.num, static_cast<__int128>(kSecond) * rate.den));
}

} // namespace mce::ff
