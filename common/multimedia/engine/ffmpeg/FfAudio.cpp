#include "FfAudio.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace mce::ff {
namespace {

constexpr std::int64_t kMaxLeadInSeconds = 30;

} // namespace

Result AudioEncoder::Open(const EngineProfile& p)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    m_ctx.reset(avcodec_alloc_context3(codec));
    if (!m_ctx)
        return rc::OutOfMemory;
    AVCodecContext* a = m_ctx.get();
    a->sample_rate = p.sampleRate;
    av_channel_layout_default(&a->ch_layout, p.channels);
    a->sample_fmt = AV_SAMPLE_FMT_FLTP;
    a->bit_rate = p.audioBitrate;
    a->time_base = {1, p.sampleRate};
    a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(a, codec, nullptr) < 0)
        return rc::CodecNotFound; // as for the video encoder
    return rc::Ok;
}

bool AudioEncoder::Encode(PassLink& ps, const AVFrame* frame, std::deque<PacketPtr>* ready)
{
    if (avcodec_send_frame(m_ctx.get(), frame) < 0) {
        if (!frame)
            return true; // already drained
        ps.Fail(rc::Fail);
    }
    return Receive(ps, ready);
}

bool AudioEncoder::Receive(PassLink& ps, std::deque<PacketPtr>* ready)
{
    for (;;) {
        PacketPtr p = ps.packetPool.Get();
        if (!p) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        const int r = avcodec_receive_packet(m_ctx.get(), p.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
            ps.packetPool.Put(std::move(p));
            return true;
        }
        if (r < 0) {
            ps.Fail(rc::Fail);
            return false;
        }
        // The encoder's first packet holds only its start-up delay, stamped
        // before zero. ASF cannot say so; kept, it would push the whole file
        // a frame late and make it a frame longer than its source.
        if (p->pts != AV_NOPTS_VALUE && p->pts + p->duration <= 0) {
            ps.packetPool.Put(std::move(p));
            continue;
        }
        ready->push_back(std::move(p));
    }
}

AudioResampler::AudioResampler(const AVCodecContext* enc, const SourceTiming& timing)
    : m_fmt(enc->sample_fmt), m_rate(enc->sample_rate), m_frameSize(enc->frame_size > 0 ? enc->frame_size : 1024),
      m_timing(timing)
{
    av_channel_layout_copy(&m_layout, &enc->ch_layout);
    m_fifo.reset(av_audio_fifo_alloc(m_fmt, m_layout.nb_channels, enc->frame_size * 4 + 8192));
}

AudioResampler::~AudioResampler()
{
    if (!m_scratch.empty())
        av_freep(&m_scratch[0]); // one buffer holds every channel
    av_channel_layout_uninit(&m_swrInLayout);
    av_channel_layout_uninit(&m_layout);
}

bool AudioResampler::Emit(PassLink& ps, bool last)
{
    const int frameSize = m_frameSize;
    while (av_audio_fifo_size(m_fifo.get()) >= frameSize || (last && av_audio_fifo_size(m_fifo.get()) > 0)) {
        FramePtr af = ps.audioPool.Get();
        if (!af) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        if (!af->data[0]) {
            af->format = m_fmt;
            af->sample_rate = m_rate;
            av_channel_layout_copy(&af->ch_layout, &m_layout);
            af->nb_samples = frameSize;
            if (av_frame_get_buffer(af.get(), 0) < 0) {
                ps.Fail(rc::OutOfMemory);
                return false;
            }
        }
        af->nb_samples = frameSize; // a copy made below must have the full size
        if (av_frame_make_writable(af.get()) < 0) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        const int n = av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(af->data), frameSize);
        af->nb_samples = n;
        af->pts = m_samplesOut;
        m_samplesOut += n;
        MuxItem item;
        item.kind = MuxItem::Audio;
        item.frame = std::move(af);
        if (!ps.toMux.Push(std::move(item)))
            return false;
    }
    return true;
}

bool AudioResampler::EnsureScratch(int samples)
{
    if (samples <= m_scratchSamples)
        return true;
    if (!m_scratch.empty())
        av_freep(&m_scratch[0]);
    m_scratch.assign(static_cast<std::size_t>(m_layout.nb_channels), nullptr);
    if (av_samples_alloc(m_scratch.data(), nullptr, m_layout.nb_channels, samples, m_fmt, 0) < 0) {
        m_scratch.clear();
        m_scratchSamples = 0;
        return false;
    }
    m_scratchSamples = samples;
    return true;
}

// What the converter still holds goes into the FIFO.
void AudioResampler::Drain()
{
    if (!m_swr || !EnsureScratch(4096))
        return;
    int n;
    while ((n = swr_convert(m_swr.get(), m_scratch.data(), m_scratchSamples, nullptr, 0)) > 0)
        av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(m_scratch.data()), n);
}

bool AudioResampler::Resample(PassLink& ps, AVFrame* f)
{
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels <= 0) {
        const int channels = f->ch_layout.nb_channels > 0 ? f->ch_layout.nb_channels : 2;
        av_channel_layout_uninit(&f->ch_layout);
        av_channel_layout_default(&f->ch_layout, channels);
    }
    if (!m_swr || m_swrInFormat != f->format || m_swrInRate != f->sample_rate ||
        av_channel_layout_compare(&m_swrInLayout, &f->ch_layout) != 0) {
        // Drain what the old converter holds before the source format changes.
        Drain();
        SwrContext* s = nullptr;
        if (swr_alloc_set_opts2(&s, &m_layout, m_fmt, m_rate, &f->ch_layout, static_cast<AVSampleFormat>(f->format),
                                f->sample_rate, 0, nullptr) < 0 ||
            swr_init(s) < 0) {
            swr_free(&s);
            ps.Fail(rc::SourceNotWorking);
            return false;
        }
        m_swr.reset(s);
        m_swrInFormat = f->format;
        m_swrInRate = f->sample_rate;
        av_channel_layout_uninit(&m_swrInLayout);
        av_channel_layout_copy(&m_swrInLayout, &f->ch_layout);
    }
    if (!m_started) {
        m_started = true;
        // Audio that begins after the picture begins after silence. From then
        // on time is counted in samples: MPEG program streams repeat stamps.
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
            const std::int64_t us =
                av_rescale_q(f->best_effort_timestamp, m_timing.audioTb, AV_TIME_BASE_Q) - m_timing.startUs;
            const std::int64_t lead =
                std::clamp<std::int64_t>(av_rescale(us, m_rate, AV_TIME_BASE), 0, kMaxLeadInSeconds * m_rate);
            if (lead > 0) {
                if (!EnsureScratch(8192)) {
                    ps.Fail(rc::OutOfMemory);
                    return false;
                }
                for (std::int64_t left = lead; left > 0;) {
                    const int n = static_cast<int>(std::min<std::int64_t>(left, m_scratchSamples));
                    av_samples_set_silence(m_scratch.data(), 0, n, m_layout.nb_channels, m_fmt);
                    av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(m_scratch.data()), n);
                    left -= n;
                }
            }
        }
    }
    const int want = swr_get_out_samples(m_swr.get(), f->nb_samples);
    if (want > 0 && !EnsureScratch(std::max(want, 4096))) {
        ps.Fail(rc::OutOfMemory);
        return false;
    }
    const int n = swr_convert(m_swr.get(), m_scratch.data(), m_scratchSamples,
                              const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    if (n > 0 && av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(m_scratch.data()), n) < n) {
        ps.Fail(rc::OutOfMemory);
        return false;
    }
    return Emit(ps, false);
}

void AudioResampler::Flush(PassLink& ps)
{
    Drain();
    Emit(ps, true);
}

} // namespace mce::ff
