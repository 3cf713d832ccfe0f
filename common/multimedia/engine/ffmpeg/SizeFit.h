// Fitting a whole source into a size limit: the video rate at which the
// source's length, with its sound and the ASF container around both, stays
// under the limit. The size check of the muxer stays the hard limit; this
// only chooses rates so that it is not reached before the source's end.
// No FFmpeg types, so the rule can be checked on its own.
#pragma once

#include <cstdint>
#include <string_view>

namespace mce::ff {

// The lowest video rate a fit goes down to. Below it wmv2 spends most of
// its bits on block headers and, on busy pictures, cannot hold the rate
// even at its coarsest quantiser; a source that does not fit at this rate
// is converted as far as the limit allows.
constexpr int kFitFloorBitrate = 64000;

struct FitRequest {
    std::int64_t limitBytes = 0; // 0: no limit
    std::int64_t durationMs = 0; // length of the source, 0 or less unknown
    // The profile's video rates: bits a second, and the buffer in bits.
    int videoBitrate = 0;
    int videoMaxBitrate = 0;
    int videoBuffer = 0;
    double frameRate = 0; // frames a second that go out
    int audioBitrate = 0; // 0: no sound in the output
    int sampleRate = 0;
    // Bytes written whatever the length: the header, its room for the
    // display texts, the size check's own reserve.
    std::int64_t fixedBytes = 0;
    bool twoPass = false;
};

struct FitResult {
    int videoBitrate = 0;
    int videoMaxBitrate = 0;
    int videoBuffer = 0;
    bool lowered = false; // the rates are below the profile's
    bool whole = true;    // the whole source is expected to fit
};

// The profile's rates when the source fits at them (or when the limit or
// the length is unknown); else the video rate that fits, never below
// kFitFloorBitrate (nor above the profile's), with the maximum rate and
// the buffer lowered in the same proportion.
FitResult FitToLimit(const FitRequest& request);

// The lowest video rate at which the second pass can follow the frames the
// first pass logged (its rate control statistics), even at the coarsest
// quantiser; 0 when the log holds no frame. The rate control refuses a
// lower rate, and the FFmpeg of Debian 12 then frees its state twice, so
// the second pass must never be opened below it.
int SecondPassFloor(std::string_view passLog, double frameRate);

} // namespace mce::ff
