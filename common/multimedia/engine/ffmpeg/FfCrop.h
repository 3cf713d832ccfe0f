// Black borders a source carries of its own (a 4:3 programme pillar-boxed in
// a 16:9 frame, a wide film letter-boxed), found from a few pictures spread
// over the source, so that the user can crop them off before a small screen
// spends its pixels on them.
#pragma once

#include <cstdint>
#include <string>

#include "Engine.h"

namespace mce::ff {

// Rows (or columns) of 8-bit luma in limited range, as seen from one side of
// the picture inward: line(i) is the i-th line from that side.
struct LumaPlane {
    const std::uint8_t* data = nullptr;
    int linesize = 0;
    int width = 0;
    int height = 0;
};

// The border one picture has on each side, in pixels; false when the
// picture is no help (a side reaches a quarter of it: a fade, a black frame,
// a title on black).
bool BordersOfPicture(const LumaPlane& luma, CropMargins* margins);

// Samples the video of path and proposes margins of the upright picture, in
// source pixels; all 0 when it has no borders, or too few pictures could be
// judged. Fails with the engine's code when the source cannot be read.
Result DetectCrop(const std::string& path, CropMargins* margins);

} // namespace mce::ff
