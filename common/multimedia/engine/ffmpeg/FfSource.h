// The source stage: the video file (and a separate audio file, if any), their
// decoders, and the decode thread that reads both side by side.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "CapForecast.h"
#include "VideoGeometry.h"
#include "FfPass.h"
#include "FfRead.h"
#include "FfJob.h"

namespace mce::ff {

// How the source is timed, fixed when it is opened; the scale thread reads
// its own copy while the decode thread reads the files.
struct SourceTiming {
    std::int64_t startUs = 0;
    AVRational outRate{0, 1};
    Rate slotShift{1, 4}; // where output frame slots begin (SlotShift)
    AVRational videoTb{1, 1}, audioTb{1, 1}, streamSar{0, 1};
    bool clockMayJump = false;
};

// How a player shows the source's picture, beyond its timing.
struct SourcePicture {
    std::string orientation;  // the filters that turn it upright; empty when it is
    bool quarterTurn = false; // turned by 90 degrees: width and height swap
    bool interlaced = false;  // the stream says its pictures are interlaced
    bool topFieldFirst = true;
    int lowres = 0; // decoded at 1 / 2^lowres of its size each way; crop margins are in full-size pixels
    // How its colours are stored (HDR pictures are tone-mapped, FfTonemap),
    // and its brightest light in units of SDR white when the stream says.
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    double peak = 0;
};

struct Input {
    std::unique_ptr<SourceReader> file; // outlives fmt, which reads through it
    InputPtr fmt;
    int videoIndex = -1;
    int audioIndex = -1;
    bool done = false;
    std::int64_t lastUs = 0; // for reading two files side by side
    // The file as it was opened: a source cut short while it is read ends
    // its stream early, which must not pass for the source's real end.
    std::string path;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    // A DVD title: its length from the disc's tables, the sound a user
    // would choose (the demuxer's stream id, -1 to let FFmpeg pick) and
    // where its chapters start.
    std::int64_t tableUs = 0;
    int audioId = -1;
    std::vector<std::int64_t> chaptersUs;
};

// Opened by the controller thread before a pass, read by the decode thread
// during it, checked by the controller thread after it.
class Source {
public:
    // Opens the files and decoders afresh; each pass reads from the start.
    Result Open(const JobConfig& cfg);
    // The decode thread: reads and decodes until the end, an abort or a
    // failure, then finishes the decoded queue.
    void DemuxDecode(PassLink& ps, bool wantVideo, bool wantAudio);
    // True when a file became shorter while it was read.
    bool Shrank() const;

    bool HasAudio() const { return m_audioIn != nullptr; }
    const SourceTiming& Timing() const { return m_timing; }
    const SourcePicture& Picture() const { return m_picture; }
    // Where a DVD title's chapters start; empty for other sources.
    const std::vector<std::int64_t>& ChaptersUs() const { return m_videoIn.chaptersUs; }
    // The length of the source, 0 when it is not known.
    std::int64_t DurationUs() const { return m_lengthUs; }
    const AVCodecParameters* VideoParameters() const { return m_videoIn.fmt->streams[m_videoIn.videoIndex]->codecpar; }

    // Opens one file for reading through the engine's own read layer and
    // finds its streams. A DVD (a drive, an .iso image, a VIDEO_TS folder)
    // opens its main feature; with wholeTitle, a title file of a VIDEO_TS
    // folder opens the title that starts in it, all of its parts.
    // audioStreamId: the title's sound stream to convert, 0 for the one a
    // user would choose.
    static Result OpenInput(const std::string& path, Input* in, bool wholeTitle = false,
                            std::int32_t audioStreamId = 0);

private:
    std::int64_t LengthOf(const std::string& path);
    bool SendToDecoder(PassLink& ps, AVCodecContext* dec, const AVPacket* pkt, bool audio);
    bool LeaveOut(const AVPacket* pkt, const AVStream* st);

    Input m_videoIn, m_audioInOwn;
    Input* m_audioIn = nullptr; // &m_videoIn or &m_audioInOwn, null without audio
    CodecPtr m_vdec, m_adec;
    SourceTiming m_timing;
    SourcePicture m_picture;
    std::int64_t m_lengthUs = 0;
    // Pictures the frame-rate cap will drop are not decoded where nothing
    // depends on them: any picture of an intra-only codec, else the
    // non-reference ones (decode thread).
    CapForecast m_forecast;
    bool m_intraOnly = false;
};

bool SameFile(const std::string& a, const std::string& b);
// How a player turns and shows the stream's picture.
SourcePicture PictureOf(const AVStream* vs);
// A decoder for the stream, at 1 / 2^lowres of its size each way, with
// `threads` frame threads where it has them (0: FFmpeg's own count).
Result OpenDecoder(AVStream* st, CodecPtr* out, int lowres = 0, int threads = 0);

} // namespace mce::ff
