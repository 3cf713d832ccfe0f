#include "FfTonemap.h"

#include <cstdio>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace mce::ff {
namespace {

bool HighDynamicRange(AVColorTransferCharacteristic t)
{
    return t == AVCOL_TRC_SMPTE2084 || t == AVCOL_TRC_ARIB_STD_B67;
}

template <typename T> const T* SideData(const AVFrame* f, AVFrameSideDataType type)
{
    const AVFrameSideData* sd = av_frame_get_side_data(f, type);
    return sd ? reinterpret_cast<const T*>(sd->data) : nullptr;
}

} // namespace

bool NeedsToneMapping(const SourcePicture& pic)
{
    return HighDynamicRange(pic.transfer) || pic.primaries == AVCOL_PRI_BT2020;
}

double PeakOf(const AVContentLightMetadata* light, const AVMasteringDisplayMetadata* display)
{
    if (light && light->MaxCLL > 0)
        return light->MaxCLL / 100.0;
    if (display && display->has_luminance && display->max_luminance.num > 0 && display->max_luminance.den > 0)
        return av_q2d(display->max_luminance) / 100.0;
    return 0;
}

int Halvings(int width, int height, int usedWidth, int usedHeight, int needWidth, int needHeight)
{
    int n = 0;
    while (n < 8 && width % (4 << n) == 0 && height % (4 << n) == 0 && (usedWidth >> (n + 1)) >= needWidth &&
           (usedHeight >> (n + 1)) >= needHeight)
        ++n;
    return n;
}

std::string ToneMapFilters(const SourcePicture& pic, const AVFrame* f, int halvings)
{
    // zscale takes FFmpeg's own numbers for these. What the stream leaves
    // open is what phones write: BT.2020 colours in limited range.
    AVColorTransferCharacteristic transfer = pic.transfer;
    if (transfer == AVCOL_TRC_UNSPECIFIED || transfer == AVCOL_TRC_RESERVED || transfer == AVCOL_TRC_RESERVED0)
        transfer = f->color_trc != AVCOL_TRC_UNSPECIFIED ? f->color_trc : AVCOL_TRC_BT709;
    const AVColorPrimaries primaries = pic.primaries == AVCOL_PRI_UNSPECIFIED ? AVCOL_PRI_BT2020 : pic.primaries;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
    AVColorSpace matrix = f->colorspace != AVCOL_SPC_UNSPECIFIED ? f->colorspace : AVCOL_SPC_BT2020_NCL;
    if (desc && (desc->flags & AV_PIX_FMT_FLAG_RGB))
        matrix = AVCOL_SPC_RGB; // RGB pictures (an editor's master) have no matrix
    const int fullRange = f->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    char size[64] = "";
    if (halvings > 0)
        std::snprintf(size, sizeof size, "w=%d:h=%d:f=bicubic:", f->width >> halvings, f->height >> halvings);
    char in[128];
    std::snprintf(in, sizeof in, "zscale=%stin=%d:pin=%d:min=%d:rin=%d", size, transfer, primaries, matrix, fullRange);
    constexpr const char* kToScreen = "zscale=t=709:p=709:m=170m:r=limited,format=yuv420p";
    if (!HighDynamicRange(transfer))
        return std::string(in) + "," + kToScreen; // SDR light in a wider gamut: only the colours move
    // The peak says how much brighter than SDR white the curve must reach;
    // what the stream does not say is what players take: PQ can reach 10,000
    // nits, HLG is made for a display of 1,000.
    double peak = pic.peak;
    if (peak <= 0)
        peak = PeakOf(SideData<AVContentLightMetadata>(f, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL),
                      SideData<AVMasteringDisplayMetadata>(f, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA));
    if (peak <= 0)
        peak = transfer == AVCOL_TRC_SMPTE2084 ? 100 : 10;
    // Mobius keeps everything up to a third of SDR white as it is and bends
    // only the highlights, so SDR-bright parts keep their brightness and
    // colour; desaturating the highlights as well would grey the colours.
    char chain[384];
    std::snprintf(chain, sizeof chain, "%s:t=linear:npl=100:p=709,format=gbrpf32le,tonemap=mobius:desat=0:peak=%.4g,%s",
                  in, peak, kToScreen);
    return chain;
}

} // namespace mce::ff
