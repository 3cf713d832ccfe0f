// The engine profile file: a short text file that says what an output looks
// like (frame, rate, bit rates, audio format). One "key = value" a line,
// '#' starts a comment, blank lines are ignored. Every key below must appear
// exactly once; an unknown key, a missing or repeated key or a value that is
// not a plain number makes the whole file invalid. Example:
//
//   name = MRProf2v
//   width = 208                # frame width in pixels (even)
//   height = 160               # frame height in pixels (even)
//   frame_rate = 15            # at most this many frames a second
//   video_bitrate = 160000     # bits a second; 0 means no video stream
//   video_max_bitrate = 240000 # peak bits a second
//   video_buffer = 320000      # rate control buffer, in bits
//   quality = 80               # 0..100, higher spends more bits on still scenes
//   keyframe_interval = 5      # seconds between key frames
//   audio_bitrate = 48000      # bits a second; 0 means no audio stream
//   sample_rate = 44100        # Hz
//   channels = 2               # 1 or 2
//
// Knows nothing of Qt or FFmpeg, so it can be fed any bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Engine.h"

namespace mce {

struct EngineProfile {
    std::string name;
    int width = 0;
    int height = 0;
    int frameRate = 0;
    int videoBitrate = 0;
    int videoMaxBitrate = 0;
    int videoBuffer = 0;
    int quality = 0;
    int keyframeInterval = 0;
    int audioBitrate = 0;
    int sampleRate = 0;
    int channels = 0;

    bool HasVideo() const { return videoBitrate > 0; }
    bool HasAudio() const { return audioBitrate > 0; }
    bool operator==(const EngineProfile&) const = default;
};

// Reads the text of a profile file. rc::BadProfileFile when it does not follow
// the format; error (may be null) then says why and on which line.
Result ParseEngineProfile(std::string_view text, EngineProfile* profile, std::string* error = nullptr);

// Checks that the values can be encoded; the encoder error code that names the
// first bad value, else rc::Ok. Done when an encoding is prepared, so that the
// user is told which setting is wrong.
Result ValidateEngineProfile(const EngineProfile& profile);

// The same profile for another frame: width and height set, the video bit
// rates and buffer scaled by the frame's area so that a pixel gets the bits
// it got before; frame rate, quality and sound stay. False, changing
// nothing, for a profile without a frame or a size not above 0.
bool ResizeEngineProfile(EngineProfile* profile, int width, int height);

// Writes a profile in the file format (the inverse of ParseEngineProfile).
std::string FormatEngineProfile(const EngineProfile& profile);

// The engine's own profiles: the nine files shipped beside the program,
// "MRProf1v" ... "MRProf3x" (digit: 1 low, 2 medium, 3 high; letter: v
// standard 208x160, h wide screen 320x240, x VGA 640x480).
const std::vector<EngineProfile>& BuiltInEngineProfiles();

} // namespace mce
