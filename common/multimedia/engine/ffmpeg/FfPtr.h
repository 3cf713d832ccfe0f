// Owning handles for FFmpeg's objects, and the pools that frames and packets
// go round in between the pipeline threads.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace mce::ff {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const
    {
        c->stats_in = nullptr; // points into the job's own buffer
        avcodec_free_context(&c);
    }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsFree {
    void operator()(SwsContext* c) const { sws_freeContext(c); }
};
struct SwrFree {
    void operator()(SwrContext* c) const { swr_free(&c); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct OutputFree {
    void operator()(AVFormatContext* c) const { avformat_free_context(c); }
};
struct IoFree {
    void operator()(AVIOContext* c) const
    {
        av_freep(&c->buffer);
        avio_context_free(&c);
    }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;

// Frames and packets go round between the threads instead of being allocated
// for each picture. keepData: a frame keeps its buffers (output frames that
// are written over again); otherwise it is emptied on return.
template <class T, class Free, T* (*Alloc)()> class Pool {
public:
    explicit Pool(bool keepData = false) : m_keep(keepData) {}
    std::unique_ptr<T, Free> Get()
    {
        std::lock_guard lock(m_mutex);
        if (m_free.empty())
            return std::unique_ptr<T, Free>(Alloc());
        auto p = std::move(m_free.back());
        m_free.pop_back();
        return p;
    }
    void Put(std::unique_ptr<T, Free> p)
    {
        if (!p)
            return;
        if (!m_keep)
            Unref(p.get());
        std::lock_guard lock(m_mutex);
        m_free.push_back(std::move(p));
    }

private:
    static void Unref(AVFrame* f) { av_frame_unref(f); }
    static void Unref(AVPacket* p) { av_packet_unref(p); }
    std::mutex m_mutex;
    std::vector<std::unique_ptr<T, Free>> m_free;
    bool m_keep;
};
using FramePool = Pool<AVFrame, FrameFree, av_frame_alloc>;
using PacketPool = Pool<AVPacket, PacketFree, av_packet_alloc>;

} // namespace mce::ff
