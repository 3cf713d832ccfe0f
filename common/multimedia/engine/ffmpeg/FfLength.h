// The length of a source whose container's own figure cannot be trusted.
// FFmpeg states the length of an MPEG program or transport stream as its last
// clock value less its first, and of some other files as size over bit rate;
// a clock that restarts or jumps (title files joined, an edit, a broken
// recorder) makes that figure minutes or hours wrong, and a size limit fitted
// to it either fills the card part-way or leaves it mostly empty.
#pragma once

#include <cstdint>

#include "FfPtr.h"

namespace mce::ff {

// Whether the stated length of this opened file needs a second look.
bool LengthMayBeWrong(const AVFormatContext* fmt);

// The length in microseconds, summed over stretches of the file between
// points read at even byte steps, with a stretch whose clock jumped counted
// at the file's usual bytes a second; 0 when the file's stamps cannot tell.
// jumped: some stretch was counted so. Seeks in fmt: the caller reads it
// afresh afterwards.
std::int64_t ScanLengthUs(AVFormatContext* fmt, int videoIndex, bool* jumped);

} // namespace mce::ff
