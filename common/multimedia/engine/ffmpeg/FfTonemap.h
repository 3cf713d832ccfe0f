// HDR pictures (PQ or HLG light, BT.2020 primaries), as phones record them
// today, brought to the SDR colours of the small screens: through linear
// light, a tone-mapping curve for what is brighter than SDR white, BT.709
// primaries and transfer, the BT.601 matrix players assume for pictures of
// these sizes, limited range, 8 bits. FFmpeg's own filters (zscale, which is
// zimg, and tonemap) do the work in the video scaler's picture chain.
#pragma once

#include <string>

#include "FfSource.h"

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}

namespace mce::ff {

// True for a picture a player tone-maps or converts to its screen's colours.
bool NeedsToneMapping(const SourcePicture& pic);

// The brightest light the stream or picture holds, in units of SDR white
// (100 nits): its content light level, else its mastering display's peak;
// 0 when neither says.
double PeakOf(const AVContentLightMetadata* light, const AVMasteringDisplayMetadata* display);

// How many times a width x height picture can be halved each way, exactly
// and into even sizes, while its used part (the picture within the crop
// margins) keeps at least needWidth x needHeight pixels.
int Halvings(int width, int height, int usedWidth, int usedHeight, int needWidth, int needHeight);

// The filters for pictures like f of a source that NeedsToneMapping, at
// 1 / 2^halvings of their size each way. Tone mapping costs several times
// the decoding of a picture at its full size: a picture bound for a small
// screen loses its extra pixels on the way into linear light.
std::string ToneMapFilters(const SourcePicture& pic, const AVFrame* f, int halvings);

} // namespace mce::ff
