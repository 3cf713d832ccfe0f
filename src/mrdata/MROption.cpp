#include "MROption.h"

#include <cstring>

std::int32_t nQuality = mr::kQualityMedium;

MROption MakeOption()
{
    MROption o;
    std::memset(&o, 0, sizeof o);
    return o;
}

void CopyOption(MROption* dst, const MROption* src)
{
    std::memcpy(dst, src, sizeof *dst);
}

namespace mr {

std::int32_t ResolutionCode(std::int32_t nResolution)
{
    switch (nResolution) {
    case 0:
        return 1000;
    case 3:
        return 1002;
    default:
        return 1001;
    }
}

bool CustomSizeFits(std::int32_t nWidth, std::int32_t nHeight)
{
    return nWidth >= kCustomMinWidth && nWidth <= kCustomMaxWidth && nWidth % 2 == 0 && nHeight >= kCustomMinHeight &&
           nHeight <= kCustomMaxHeight && nHeight % 2 == 0;
}

std::int32_t CardSizeBytes(std::int32_t nCardSize)
{
    switch (nCardSize) {
    case 0:
        return 134217728;
    case 1:
        return 268435456;
    default:
        return 536870912;
    }
}

std::int32_t QualityShown(std::int32_t quality)
{
    return quality == kQualityHigh ? kQualityHigh : quality == kQualityLow ? kQualityLow : kQualityMedium;
}

std::int32_t QualityCollected(bool high, bool low)
{
    return high ? kQualityHigh : low ? kQualityLow : kQualityMedium;
}

} // namespace mr
