// The video stage: each decoded picture is timed into an output frame slot,
// cropped, scaled into the profile's frame with bars that keep its display
// shape (scale thread), and encoded (encode thread).
#pragma once

#include <cstdint>
#include <string>

#include "FfPass.h"
#include "FfSource.h"
#include "VideoGeometry.h"

namespace mce::ff {

// Runs on the scale thread only.
class VideoScaler {
public:
    VideoScaler(const JobConfig& cfg, const SourceTiming& timing) : m_cfg(cfg), m_timing(timing) {}
    // False when the pass must end (its failure is set, or it was aborted).
    bool Scale(PassLink& ps, AVFrame* f);

private:
    bool Configure(PassLink& ps, const AVFrame* f, AVPixelFormat srcFmt, bool fullRange, bool viaCopy, AVRational sar,
                   int cropW, int cropH);
    std::int64_t SlotOf(const AVFrame* f);

    const JobConfig& m_cfg;
    const SourceTiming m_timing;
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
