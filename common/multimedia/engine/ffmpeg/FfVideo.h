// The video stage: each decoded picture is deinterlaced when its fields are
// interlaced, timed into an output frame slot, brought to SDR colours when it
// is HDR, turned upright, cropped and scaled into the profile's frame with
// bars that keep its display shape (scale thread), then encoded (encode
// thread). A filter chain FFmpeg refuses ends the pass: a picture that is not
// as a player shows it (combed, on its side, washed out) is no conversion.
#pragma once

#include <cstdint>
#include <string>

#include "CapForecast.h"
#include "FfFilter.h"
#include "FfPass.h"
#include "FfSource.h"
#include "VideoGeometry.h"

namespace mce::ff {

// Runs on the scale thread only.
class VideoScaler {
public:
    VideoScaler(const JobConfig& cfg, const SourceTiming& timing, const SourcePicture& picture);
    // False when the pass must end (its failure is set, or it was aborted).
    bool Scale(PassLink& ps, AVFrame* f);
    // The end of the pictures: what the deinterlacer still holds.
    bool Flush(PassLink& ps);

private:
    bool Deinterlace(PassLink& ps, AVFrame* f);
    bool DrainDeinterlacer(PassLink& ps);
    bool Place(PassLink& ps, AVFrame* f);
    AVFrame* Correct(PassLink& ps, AVFrame* f);
    std::string Corrections(const AVFrame* f);
    int Shift() const { return m_picture.lowres + m_halvings; }
    bool Configure(PassLink& ps, const AVFrame* f, AVPixelFormat srcFmt, bool fullRange, bool viaCopy, AVRational sar,
                   int cropW, int cropH);
    std::int64_t SlotOf(const AVFrame* f);

    const JobConfig& m_cfg;
    const SourceTiming m_timing;
    const SourcePicture m_picture;
    CapForecast m_capAhead; // of the pictures that go to the deinterlacer
    FilterChain m_deinterlacer;
    // Colours and orientation: the picture as a player shows it.
    FilterChain m_corrector;
    int m_halvings = 0; // the corrected picture is 1 / 2^m_halvings of its size each way
    FramePtr m_deinterlaced, m_corrected;
    bool m_decoderMarksFields = false; // some frame said it is interlaced
    std::unique_ptr<SwsContext, SwsFree> m_sws;
    std::unique_ptr<SwsContext, SwsFree> m_cropSws; // for formats that cannot be cropped in place
    FramePtr m_cropFrame;
    int m_swsW = 0, m_swsH = 0, m_swsFmt = -1, m_swsSarNum = 0, m_swsSarDen = 0;
    Rect m_rect;
    std::intptr_t m_geometryGeneration = 0;
    std::int64_t m_lastIndex = -1;
    std::int64_t m_indexOffset = 0; // after clock restarts of the source
};

// Set up by the controller thread, then run on the encode thread.
class VideoEncoder {
public:
    // pass: 0 single, 1 analysis (statistics go to passLog), 2 final (read
    // from passLog, which must outlive the encoder).
    Result Open(const EngineProfile& p, AVRational outRate, int pass, std::string* passLog);
    void Run(PassLink& ps);
    AVCodecContext* Context() const { return m_ctx.get(); }

private:
    bool Receive(PassLink& ps);

    CodecPtr m_ctx;
    std::string* m_passLog = nullptr; // written during the analysis pass
};

} // namespace mce::ff
