// The audio stage: decoded sound is resampled to the profile's format and cut
// into encoder-sized frames (scale thread), then encoded on the controller
// thread, next to the muxer it feeds.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "FfPass.h"
#include "FfSource.h"

namespace mce::ff {

// Set up by the controller thread, then used on the controller thread by the
// muxer.
class AudioEncoder {
public:
    Result Open(const EngineProfile& p);
    AVCodecContext* Context() const { return m_ctx.get(); }
    // Sends one frame (null: the end) and collects what the encoder hands
    // back; false when the pass failed.
    bool Encode(PassLink& ps, const AVFrame* frame, std::deque<PacketPtr>* ready);

private:
    bool Receive(PassLink& ps, std::deque<PacketPtr>* ready);
    CodecPtr m_ctx;
};

// Runs on the scale thread only.
class AudioResampler {
public:
    // enc: the opened encoder, whose format is copied.
    AudioResampler(const AVCodecContext* enc, const SourceTiming& timing);
    ~AudioResampler();
    bool Allocated() const { return m_fifo != nullptr; }
    AudioResampler(const AudioResampler&) = delete;
    AudioResampler& operator=(const AudioResampler&) = delete;

    bool Resample(PassLink& ps, AVFrame* f);
    // The end of the sound: what the converter and the FIFO still hold.
    void Flush(PassLink& ps);

private:
    bool Emit(PassLink& ps, bool last);
    bool EnsureScratch(int samples);
    void Drain();

    // The encoder's format.
    AVSampleFormat m_fmt;
    int m_rate;
    int m_frameSize;
    AVChannelLayout m_layout{};
    const SourceTiming m_timing;

    std::unique_ptr<SwrContext, SwrFree> m_swr;
    AVChannelLayout m_swrInLayout{};
    int m_swrInFormat = -1, m_swrInRate = 0;
    std::unique_ptr<AVAudioFifo, FifoFree> m_fifo;
    std::vector<std::uint8_t*> m_scratch;
    int m_scratchSamples = 0;
    bool m_started = false;
    std::int64_t m_samplesOut = 0;
};

} // namespace mce::ff
