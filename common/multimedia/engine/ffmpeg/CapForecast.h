// Which source pictures a frame-rate cap is going to drop, known before they
// are decoded, so that the decoder can leave them out where nothing else
// depends on them (non-reference frames; any frame of an intra-only codec).
// The scale stage keeps the first picture of each output slot in display
// order and drops the rest; a picture is sure to be dropped when a picture
// shown before it in the same slot has already gone to the decoder.
// No FFmpeg types, so the rule can be checked on its own.
#pragma once

#include <array>
#include <cstdint>

#include "VideoGeometry.h"

namespace mce::ff {

class CapForecast {
public:
    // rate: the output frame rate; {0, 1} (not known) forecasts nothing.
    // shift: where its slots begin (SlotShift).
    explicit CapForecast(Rate rate = {0, 1}, Rate shift = {1, 4}) : m_rate(rate), m_shift(shift) {}

    // True when the picture shown at `us` microseconds after the start will
    // surely be dropped.
    bool Dropped(std::int64_t us) const;
    // The picture shown at `us` goes to the decoder and will reach the scale
    // stage.
    void Sent(std::int64_t us);

private:
    // Decode order runs ahead of display order by a few pictures at most;
    // the last sent pictures are enough to know every earlier one of a slot.
    static constexpr std::size_t kRecent = 16;
    Rate m_rate, m_shift;
    std::array<std::int64_t, kRecent> m_recent{};
    std::size_t m_count = 0, m_next = 0;
};

} // namespace mce::ff
