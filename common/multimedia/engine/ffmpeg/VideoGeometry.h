// Picture geometry of a conversion: where the source picture goes inside the
// profile's frame and at what rate frames go out. No FFmpeg types, so the
// rules can be checked on their own.
#pragma once

#include <cstdint>

namespace mce::ff {

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Rect&) const = default;
};

// The rectangle inside a frameWidth x frameHeight frame of square pixels that
// shows a sourceWidth x sourceHeight picture (pixels sarNum:sarDen wide, 0 or
// negative meaning square) at its display aspect, centred, the rest left as
// black bars. Everything even, as 4:2:0 video needs.
Rect FitPicture(int sourceWidth, int sourceHeight, int sarNum, int sarDen, int frameWidth, int frameHeight);

struct Rate {
    int num = 0, den = 1;
    bool operator==(const Rate&) const = default;
};

// The output frame rate: the source's own when it is not above the cap, else
// the cap, kept 1001-based when the source is (29.97 capped at 25 gives
// 25000/1001). An unknown source rate gives the cap.
Rate CapFrameRate(Rate source, int cap);

// Where output frame slots begin, as a fraction of a slot: a picture shown
// at `us` falls in slot floor(us * rate + shift), and the first picture of
// each slot goes out.
//
// A capped rate keeps the pictures FFmpeg's fps filter keeps (the last one
// whose stamp rounds to the slot), which is the first one of a slot shifted
// by out/source - 1/2; of the shifts that choose those pictures, the middle
// one, so that stamps rounded to microseconds or milliseconds choose the same.
// Its slots, as the command runs it with sound, count from the start of the
// source; the first picture is shown firstUs after it (after the sound's
// start, in a DVD title file).
// A rate that is not capped keeps every picture: slots begin a quarter slot
// early, so that jittery millisecond stamps keep every frame and the last
// frame does not run past the end. An unknown source rate does the same.
Rate SlotShift(Rate out, Rate source, std::int64_t firstUs = 0);

// The output frame slot of a picture shown `us` microseconds after the start.
std::int64_t OutputSlot(std::int64_t us, Rate rate, Rate shift);

} // namespace mce::ff
