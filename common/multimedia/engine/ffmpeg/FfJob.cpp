#include "FfJob.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <random>
#include <cstdio>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "BoundedQueue.h"
#include "TextConv.h"
#include "VideoGeometry.h"

namespace fs = std::filesystem;

namespace mce::ff {
namespace {

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

struct Decoded {
    FramePtr frame;
    bool audio = false;
};

struct MuxItem {
    enum Kind { Video, Audio, VideoEnd, AudioEnd } kind = Video;
    PacketPtr packet; // Video
    FramePtr frame;   // Audio
};

constexpr int kAsfPacketSize = 3200;  // the muxer's fixed data packet size
constexpr std::size_t kMaxSkew = 256; // packets held for interleaving at most
constexpr std::int64_t kMaxLeadInSeconds = 30;

struct Input {
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
};

bool ShrankSinceOpened(const Input& in)
{
    if (!in.fmt || in.path.empty())
        return false;
    struct stat st {};
    // A source removed meanwhile is still read whole through the open file.
    if (stat(in.path.c_str(), &st) != 0 || st.st_dev != in.dev || st.st_ino != in.ino)
        return false;
    return st.st_size < in.size;
}

bool IsCdxa(const std::string& path)
{
    // A Video CD track is an MPEG program stream in RIFF/CDXA sectors; FFmpeg
    // reads it with the MPEG demuxer but does not pick that by probing.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned char head[12] = {};
    const bool ok = read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head);
    close(fd);
    return ok && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "CDXA", 4) == 0;
}

Result ErrnoResult(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return rc::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return rc::AccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return rc::DiskFull;
    default:
        return rc::WriteFault;
    }
}

bool SameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    std::error_code ec1, ec2;
    const fs::path ca = fs::weakly_canonical(fs::absolute(a, ec1), ec1);
    const fs::path cb = fs::weakly_canonical(fs::absolute(b, ec2), ec2);
    if (!ec1 && !ec2 && ca == cb)
        return true;
    std::error_code ec;
    return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec) && !ec;
}

AVPixelFormat FullRangeEquivalent(AVPixelFormat f, bool* fullRange)
{
    switch (f) {
    case AV_PIX_FMT_YUVJ420P:
        *fullRange = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        *fullRange = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        *fullRange = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        *fullRange = true;
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        *fullRange = true;
        return AV_PIX_FMT_YUV411P;
    default:
        return f;
    }
}

// Cropping moves plane pointers; that works for planar formats of whole bytes.
bool CroppableByPointers(AVPixelFormat f)
{
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(f);
    return d && (d->flags & AV_PIX_FMT_FLAG_PLANAR) &&
           !(d->flags & (AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL));
}

} // namespace

struct Pass;

struct Job::Impl {
    JobConfig cfg;
    std::shared_ptr<Counters> counters;

    // Sources
    Input videoIn, audioInOwn;
    Input* audioIn = nullptr; // &videoIn or &audioInOwn, null without audio
    CodecPtr vdec, adec;
    std::int64_t startUs = 0;
    AVRational outRate{0, 1};
    // Copied from the streams when they are opened: the scale thread reads
    // them while the demux thread reads the files.
    AVRational videoTb{1, 1}, audioTb{1, 1}, streamSar{0, 1};
    bool clockMayJump = false;

    // Output
    fs::path target, temp;
    int fd = -1;
    std::atomic<std::int64_t> filePos{0};
    std::atomic<int> writeErrno{0};
    bool complete = false;
    std::string passLog; // rate control statistics of the first pass
    std::int64_t firstPassMs = 0;

    // Control
    std::thread controller;
    PauseGate gate;
    std::atomic<bool> stopRequested{false};
    std::function<void(Result)> onDone;
    std::mutex stopMutex;
    Pass* current = nullptr; // guarded by stopMutex

    ~Impl()
    {
        if (fd >= 0)
            close(fd);
        if (!temp.empty() && !complete) {
            std::error_code ec;
            fs::remove(temp, ec);
        }
    }

    Result Prepare();
    Result OpenInputs();
    Result OpenInput(const std::string& path, Input* in);
    Result OpenDecoder(AVStream* st, CodecPtr* out);
    Result CreateTemp();
    void Run();
    Result RunPass(int pass);
    Result Commit();
};

// State of one pass through the pipeline.
struct Pass {
    explicit Pass(int n) : number(n) {}
    int number; // 0 single pass, 1 analysis, 2 final
    bool writing() const { return number != 1; }

    BoundedQueue<Decoded> decoded{8};
    BoundedQueue<FramePtr> pictures{4};
    BoundedQueue<MuxItem> toMux{48};
    FramePool rawPool;
    FramePool picturePool{true};
    FramePool audioPool{true};
    PacketPool packetPool;

    std::atomic<bool> aborted{false};
    std::atomic<Result> failure{rc::Ok};
    bool limitReached = false;

    CodecPtr venc, aenc;

    // Scaling (scale thread)
    std::unique_ptr<SwsContext, SwsFree> sws;
    std::unique_ptr<SwsContext, SwsFree> cropSws; // for formats that cannot be cropped in place
    FramePtr cropFrame;
    int swsW = 0, swsH = 0, swsFmt = -1, swsSarNum = 0, swsSarDen = 0;
    Rect rect;
    std::intptr_t geometryGeneration = 0;
    std::int64_t lastIndex = -1;
    std::int64_t indexOffset = 0; // after clock restarts of the source

    // Resampling (scale thread)
    std::unique_ptr<SwrContext, SwrFree> swr;
    AVChannelLayout swrInLayout{};
    int swrInFormat = -1, swrInRate = 0;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo;
    std::vector<std::uint8_t*> scratch;
    int scratchSamples = 0;
    bool audioStarted = false;
    std::int64_t samplesOut = 0;

    // Muxing (controller thread)
    std::unique_ptr<AVFormatContext, OutputFree> out;
    std::unique_ptr<AVIOContext, IoFree> io;
    AVStream* vst = nullptr;
    AVStream* ast = nullptr;
    std::deque<PacketPtr> videoReady, audioReady;
    std::int64_t analysedBytes = 0;
    std::int64_t analysedMs = 0;

    ~Pass()
    {
        if (!scratch.empty())
            av_freep(&scratch[0]); // one buffer holds every channel
        av_channel_layout_uninit(&swrInLayout);
    }

    void Fail(Result r)
    {
        Result expected = rc::Ok;
        failure.compare_exchange_strong(expected, r);
        Abort();
    }
    void Abort()
    {
        aborted = true;
        decoded.Abort();
        pictures.Abort();
        toMux.Abort();
    }
};

namespace {

// ---- demux + decode thread ----

bool SendToDecoder(Job::Impl& job, Pass& ps, AVCodecContext* dec, const AVPacket* pkt, bool audio)
{
    const int r = avcodec_send_packet(dec, pkt);
    if (r == AVERROR(ENOMEM)) {
        ps.Fail(rc::OutOfMemory);
        return false;
    }
    // A damaged packet is skipped, as players do; the frames around it go on.
    for (;;) {
        FramePtr f = ps.rawPool.Get();
        if (!f) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        const int rr = avcodec_receive_frame(dec, f.get());
        if (rr < 0) {
            ps.rawPool.Put(std::move(f));
            return true;
        }
        job.gate.Wait();
        if (!ps.decoded.Push({std::move(f), audio}))
            return false;
    }
}

void DemuxDecode(Job::Impl& job, Pass& ps)
{
    PacketPtr pkt(av_packet_alloc());
    const bool wantAudio = ps.aenc && job.audioIn;
    Input* inputs[2] = {&job.videoIn, (wantAudio && job.audioIn != &job.videoIn) ? job.audioIn : nullptr};
    while (pkt && !ps.aborted) {
        job.gate.Wait();
        Input* in = nullptr;
        for (Input* candidate : inputs) {
            if (candidate && !candidate->done && (!in || candidate->lastUs < in->lastUs))
                in = candidate;
        }
        if (!in)
            break;
        if (av_read_frame(in->fmt.get(), pkt.get()) < 0) {
            in->done = true; // end of the file, or a read error that ends it
            continue;
        }
        const AVStream* st = in->fmt->streams[pkt->stream_index];
        if (pkt->dts != AV_NOPTS_VALUE)
            in->lastUs = av_rescale_q(pkt->dts, st->time_base, AV_TIME_BASE_Q);
        bool ok = true;
        if (in == &job.videoIn && pkt->stream_index == in->videoIndex && ps.venc)
            ok = SendToDecoder(job, ps, job.vdec.get(), pkt.get(), false);
        else if (wantAudio && in == job.audioIn && pkt->stream_index == in->audioIndex)
            ok = SendToDecoder(job, ps, job.adec.get(), pkt.get(), true);
        av_packet_unref(pkt.get());
        if (!ok)
            break;
    }
    if (!ps.aborted) {
        if (ps.venc)
            SendToDecoder(job, ps, job.vdec.get(), nullptr, false);
        if (wantAudio)
            SendToDecoder(job, ps, job.adec.get(), nullptr, true);
    }
    ps.decoded.Finish();
}

// ---- scale + resample thread ----

bool Scale(Job::Impl& job, Pass& ps, AVFrame* f)
{
    if (!ps.venc)
        return true;
    const JobConfig& cfg = job.cfg;
    std::int64_t index = ps.lastIndex + 1;
    if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
        const std::int64_t us = av_rescale_q(f->best_effort_timestamp, job.videoTb, AV_TIME_BASE_Q) - job.startUs;
        // A frame goes to the output slot it falls in, counting from a
        // quarter slot early: a capped rate keeps every other frame evenly,
        // an equal rate keeps every frame even with jittery millisecond stamps,
        // and the last frame does not run past the end of the source.
        const std::int64_t quarter = av_rescale(AV_TIME_BASE, job.outRate.den, 4LL * job.outRate.num);
        index = av_rescale_q_rnd(us + quarter, AV_TIME_BASE_Q, av_inv_q(job.outRate),
                                 static_cast<AVRounding>(AV_ROUND_DOWN | AV_ROUND_PASS_MINMAX)) +
                ps.indexOffset;
        // MPEG program streams may restart their clock (title files joined,
        // cell boundaries). A jump back by more than a second, or ahead by
        // more than ten, is such a restart: the picture goes on from where it
        // was, as the sound does, whose time is counted in samples.
        if (job.clockMayJump && ps.lastIndex >= 0) {
            const std::int64_t second = av_rescale(1, job.outRate.num, job.outRate.den) + 1;
            if (index < ps.lastIndex - second || index > ps.lastIndex + 10 * second) {
                ps.indexOffset += ps.lastIndex + 1 - index;
                index = ps.lastIndex + 1;
            }
        }
    }
    // Before the start, or one frame too many for the capped rate: dropped.
    if (index < 0 || index <= ps.lastIndex)
        return true;
    const int cropW = f->width - cfg.cropLeft - cfg.cropRight;
    const int cropH = f->height - cfg.cropTop - cfg.cropBottom;
    if (cropW < 2 || cropH < 2)
        return true; // a picture size change made the margins too big: nothing to show

    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcFmt = FullRangeEquivalent(static_cast<AVPixelFormat>(f->format), &fullRange);
    const bool cropped = cfg.cropLeft || cfg.cropTop || cfg.cropRight || cfg.cropBottom;
    const bool viaCopy = cropped && !CroppableByPointers(srcFmt);
    AVRational sar = f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio : job.streamSar;
    if (sar.num <= 0 || sar.den <= 0)
        sar = {1, 1};

    if (!ps.sws || ps.swsW != f->width || ps.swsH != f->height || ps.swsFmt != f->format || ps.swsSarNum != sar.num ||
        ps.swsSarDen != sar.den) {
        const int profileW = cfg.profile.width, profileH = cfg.profile.height;
        ps.rect = FitPicture(cropW, cropH, sar.num, sar.den, profileW, profileH);
        const AVPixelFormat scaleFrom = viaCopy ? AV_PIX_FMT_YUV444P : srcFmt;
        ps.sws.reset(sws_getContext(cropW, cropH, scaleFrom, ps.rect.width, ps.rect.height, AV_PIX_FMT_YUV420P,
                                    SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!ps.sws) {
            ps.Fail(rc::CodecNotFound);
            return false;
        }
        const int* coefs = sws_getCoefficients(f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : f->colorspace);
        sws_setColorspaceDetails(ps.sws.get(), coefs, viaCopy ? 0 : fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 0,
                                 0, 1 << 16, 1 << 16);
        if (viaCopy) {
            ps.cropSws.reset(sws_getContext(f->width, f->height, srcFmt, f->width, f->height, AV_PIX_FMT_YUV444P,
                                            SWS_POINT, nullptr, nullptr, nullptr));
            ps.cropFrame.reset(av_frame_alloc());
            if (!ps.cropSws || !ps.cropFrame) {
                ps.Fail(rc::CodecNotFound);
                return false;
            }
            sws_setColorspaceDetails(ps.cropSws.get(), coefs, fullRange, sws_getCoefficients(SWS_CS_DEFAULT), 0, 0,
                                     1 << 16, 1 << 16);
            ps.cropFrame->format = AV_PIX_FMT_YUV444P;
            ps.cropFrame->width = f->width;
            ps.cropFrame->height = f->height;
            if (av_frame_get_buffer(ps.cropFrame.get(), 0) < 0) {
                ps.Fail(rc::OutOfMemory);
                return false;
            }
        }
        ps.swsW = f->width;
        ps.swsH = f->height;
        ps.swsFmt = f->format;
        ps.swsSarNum = sar.num;
        ps.swsSarDen = sar.den;
        ++ps.geometryGeneration;
    }

    // The source picture, cropped.
    const AVFrame* src = f;
    AVPixelFormat cropFmt = srcFmt;
    if (viaCopy) {
        sws_scale(ps.cropSws.get(), f->data, f->linesize, 0, f->height, ps.cropFrame->data, ps.cropFrame->linesize);
        src = ps.cropFrame.get();
        cropFmt = AV_PIX_FMT_YUV444P;
    }
    const std::uint8_t* srcData[4] = {};
    int srcLinesize[4] = {};
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(cropFmt);
    int steps[4] = {};
    av_image_fill_max_pixsteps(steps, nullptr, d);
    for (int i = 0; i < 4 && src->data[i]; ++i) {
        const bool chroma = i == 1 || i == 2;
        const int x = chroma ? cfg.cropLeft >> d->log2_chroma_w : cfg.cropLeft;
        const int y = chroma ? cfg.cropTop >> d->log2_chroma_h : cfg.cropTop;
        srcData[i] = src->data[i] + static_cast<std::ptrdiff_t>(y) * src->linesize[i] + x * steps[i];
        srcLinesize[i] = src->linesize[i];
    }

    FramePtr out = ps.picturePool.Get();
    if (!out) {
        ps.Fail(rc::OutOfMemory);
        return false;
    }
    if (!out->data[0]) {
        out->format = AV_PIX_FMT_YUV420P;
        out->width = cfg.profile.width;
        out->height = cfg.profile.height;
        if (av_frame_get_buffer(out.get(), 0) < 0) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        out->opaque = nullptr;
    }
    if (av_frame_make_writable(out.get()) < 0) {
        ps.Fail(rc::OutOfMemory);
        return false;
    }
    // The bars are painted once per frame buffer and picture geometry.
    if (reinterpret_cast<std::intptr_t>(out->opaque) != ps.geometryGeneration) {
        std::ptrdiff_t lines[4] = {out->linesize[0], out->linesize[1], out->linesize[2], out->linesize[3]};
        av_image_fill_black(out->data, lines, AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, out->width, out->height);
        out->opaque = reinterpret_cast<void*>(ps.geometryGeneration);
    }
    std::uint8_t* dst[4] = {
        out->data[0] + static_cast<std::ptrdiff_t>(ps.rect.y) * out->linesize[0] + ps.rect.x,
        out->data[1] + static_cast<std::ptrdiff_t>(ps.rect.y / 2) * out->linesize[1] + ps.rect.x / 2,
        out->data[2] + static_cast<std::ptrdiff_t>(ps.rect.y / 2) * out->linesize[2] + ps.rect.x / 2, nullptr};
    sws_scale(ps.sws.get(), srcData, srcLinesize, 0, cropH, dst, out->linesize);
    out->pts = index;
    out->pict_type = AV_PICTURE_TYPE_NONE;
    out->key_frame = 0;
    ps.lastIndex = index;
    return ps.pictures.Push(std::move(out));
}

bool EmitAudio(Pass& ps, bool last)
{
    AVCodecContext* enc = ps.aenc.get();
    const int frameSize = enc->frame_size > 0 ? enc->frame_size : 1024;
    while (av_audio_fifo_size(ps.fifo.get()) >= frameSize || (last && av_audio_fifo_size(ps.fifo.get()) > 0)) {
        FramePtr af = ps.audioPool.Get();
        if (!af) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        if (!af->data[0]) {
            af->format = enc->sample_fmt;
            af->sample_rate = enc->sample_rate;
            av_channel_layout_copy(&af->ch_layout, &enc->ch_layout);
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
        const int n = av_audio_fifo_read(ps.fifo.get(), reinterpret_cast<void**>(af->data), frameSize);
        af->nb_samples = n;
        af->pts = ps.samplesOut;
        ps.samplesOut += n;
        MuxItem item;
        item.kind = MuxItem::Audio;
        item.frame = std::move(af);
        if (!ps.toMux.Push(std::move(item)))
            return false;
    }
    return true;
}

bool EnsureScratch(Pass& ps, int samples)
{
    if (samples <= ps.scratchSamples)
        return true;
    if (!ps.scratch.empty())
        av_freep(&ps.scratch[0]);
    const AVCodecContext* enc = ps.aenc.get();
    ps.scratch.assign(static_cast<std::size_t>(enc->ch_layout.nb_channels), nullptr);
    if (av_samples_alloc(ps.scratch.data(), nullptr, enc->ch_layout.nb_channels, samples, enc->sample_fmt, 0) < 0) {
        ps.scratch.clear();
        ps.scratchSamples = 0;
        return false;
    }
    ps.scratchSamples = samples;
    return true;
}

bool Resample(Job::Impl& job, Pass& ps, AVFrame* f)
{
    AVCodecContext* enc = ps.aenc.get();
    if (f->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || f->ch_layout.nb_channels <= 0) {
        const int channels = f->ch_layout.nb_channels > 0 ? f->ch_layout.nb_channels : 2;
        av_channel_layout_uninit(&f->ch_layout);
        av_channel_layout_default(&f->ch_layout, channels);
    }
    if (!ps.swr || ps.swrInFormat != f->format || ps.swrInRate != f->sample_rate ||
        av_channel_layout_compare(&ps.swrInLayout, &f->ch_layout) != 0) {
        // Drain what the old converter holds before the source format changes.
        if (ps.swr && EnsureScratch(ps, 4096)) {
            int n;
            while ((n = swr_convert(ps.swr.get(), ps.scratch.data(), ps.scratchSamples, nullptr, 0)) > 0)
                av_audio_fifo_write(ps.fifo.get(), reinterpret_cast<void**>(ps.scratch.data()), n);
        }
        SwrContext* s = nullptr;
        if (swr_alloc_set_opts2(&s, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &f->ch_layout,
                                static_cast<AVSampleFormat>(f->format), f->sample_rate, 0, nullptr) < 0 ||
            swr_init(s) < 0) {
            swr_free(&s);
            ps.Fail(rc::SourceNotWorking);
            return false;
        }
        ps.swr.reset(s);
        ps.swrInFormat = f->format;
        ps.swrInRate = f->sample_rate;
        av_channel_layout_uninit(&ps.swrInLayout);
        av_channel_layout_copy(&ps.swrInLayout, &f->ch_layout);
    }
    if (!ps.audioStarted) {
        ps.audioStarted = true;
        // Audio that begins after the picture begins after silence. From then
        // on time is counted in samples: MPEG program streams repeat stamps.
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
            const std::int64_t us = av_rescale_q(f->best_effort_timestamp, job.audioTb, AV_TIME_BASE_Q) - job.startUs;
            const std::int64_t lead = std::clamp<std::int64_t>(av_rescale(us, enc->sample_rate, AV_TIME_BASE), 0,
                                                               kMaxLeadInSeconds * enc->sample_rate);
            if (lead > 0) {
                if (!EnsureScratch(ps, 8192)) {
                    ps.Fail(rc::OutOfMemory);
                    return false;
                }
                for (std::int64_t left = lead; left > 0;) {
                    const int n = static_cast<int>(std::min<std::int64_t>(left, ps.scratchSamples));
                    av_samples_set_silence(ps.scratch.data(), 0, n, enc->ch_layout.nb_channels, enc->sample_fmt);
                    av_audio_fifo_write(ps.fifo.get(), reinterpret_cast<void**>(ps.scratch.data()), n);
                    left -= n;
                }
            }
        }
    }
    const int want = swr_get_out_samples(ps.swr.get(), f->nb_samples);
    if (want > 0 && !EnsureScratch(ps, std::max(want, 4096))) {
        ps.Fail(rc::OutOfMemory);
        return false;
    }
    const int n = swr_convert(ps.swr.get(), ps.scratch.data(), ps.scratchSamples,
                              const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    if (n > 0 && av_audio_fifo_write(ps.fifo.get(), reinterpret_cast<void**>(ps.scratch.data()), n) < n) {
        ps.Fail(rc::OutOfMemory);
        return false;
    }
    return EmitAudio(ps, false);
}

void ScaleResample(Job::Impl& job, Pass& ps)
{
    Decoded item;
    while (ps.decoded.Pop(&item)) {
        job.gate.Wait();
        const bool ok = item.audio ? Resample(job, ps, item.frame.get()) : Scale(job, ps, item.frame.get());
        ps.rawPool.Put(std::move(item.frame));
        if (!ok)
            break;
    }
    if (!ps.aborted && ps.aenc) {
        if (ps.swr && EnsureScratch(ps, 4096)) {
            int n;
            while ((n = swr_convert(ps.swr.get(), ps.scratch.data(), ps.scratchSamples, nullptr, 0)) > 0)
                av_audio_fifo_write(ps.fifo.get(), reinterpret_cast<void**>(ps.scratch.data()), n);
        }
        EmitAudio(ps, true);
    }
    ps.pictures.Finish();
    MuxItem end;
    end.kind = MuxItem::AudioEnd;
    ps.toMux.Push(std::move(end));
}

// ---- video encoding thread ----

bool ReceiveVideo(Job::Impl& job, Pass& ps)
{
    for (;;) {
        PacketPtr p = ps.packetPool.Get();
        if (!p) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        const int r = avcodec_receive_packet(ps.venc.get(), p.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
            ps.packetPool.Put(std::move(p));
            return true;
        }
        if (r < 0) {
            ps.Fail(rc::Fail);
            return false;
        }
        if (ps.number == 1 && ps.venc->stats_out)
            job.passLog += ps.venc->stats_out;
        MuxItem item;
        item.kind = MuxItem::Video;
        item.packet = std::move(p);
        if (!ps.toMux.Push(std::move(item)))
            return false;
    }
}

void EncodeVideo(Job::Impl& job, Pass& ps)
{
    FramePtr f;
    while (ps.pictures.Pop(&f)) {
        job.gate.Wait();
        const int r = avcodec_send_frame(ps.venc.get(), f.get());
        ps.picturePool.Put(std::move(f));
        if (r < 0) {
            ps.Fail(rc::Fail);
            break;
        }
        if (!ReceiveVideo(job, ps))
            break;
    }
    if (!ps.aborted && avcodec_send_frame(ps.venc.get(), nullptr) >= 0)
        ReceiveVideo(job, ps);
    MuxItem end;
    end.kind = MuxItem::VideoEnd;
    ps.toMux.Push(std::move(end));
}

// ---- output ----

int WriteToFile(void* opaque, std::uint8_t* buf, int size)
{
    auto* job = static_cast<Job::Impl*>(opaque);
    const std::int64_t pos = job->filePos.load();
    std::int64_t done = 0;
    while (done < size) {
        const ssize_t n = pwrite(job->fd, buf + done, static_cast<std::size_t>(size - done), pos + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            job->writeErrno = n < 0 ? errno : ENOSPC;
            return AVERROR(job->writeErrno.load());
        }
        done += n;
    }
    job->filePos = pos + size;
    if (pos + size > job->counters->bytes.load())
        job->counters->bytes = pos + size;
    return size;
}

std::int64_t SeekInFile(void* opaque, std::int64_t offset, int whence)
{
    auto* job = static_cast<Job::Impl*>(opaque);
    struct stat st {};
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return fstat(job->fd, &st) == 0 ? st.st_size : AVERROR(errno);
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += job->filePos;
        break;
    case SEEK_END:
        if (fstat(job->fd, &st) != 0)
            return AVERROR(errno);
        offset += st.st_size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    job->filePos = offset;
    return offset;
}

// The size the file would have at most if this packet were the last:
// what is written, the data packet being filled, the packet with its
// fragment headers, the index and a little room.
std::int64_t ProjectedSize(Pass& ps, const AVPacket* pkt, std::int64_t endMs)
{
    const std::int64_t indexBytes = 56 + 6 * (endMs / 1000 + 3);
    return avio_tell(ps.out->pb) + kAsfPacketSize + pkt->size + pkt->size / 8 + kAsfPacketSize + indexBytes + 1024;
}

bool WritePacket(Job::Impl& job, Pass& ps, PacketPtr pkt, bool video)
{
    AVCodecContext* enc = video ? ps.venc.get() : ps.aenc.get();
    AVStream* st = video ? ps.vst : ps.ast;
    const std::int64_t endMs =
        av_rescale_q(pkt->pts + std::max<std::int64_t>(pkt->duration, 0), enc->time_base, AVRational{1, 1000});
    if (job.cfg.maxFileSize > 0 && ProjectedSize(ps, pkt.get(), endMs) > job.cfg.maxFileSize) {
        ps.limitReached = true;
        return false;
    }
    av_packet_rescale_ts(pkt.get(), enc->time_base, st->time_base);
    pkt->stream_index = st->index;
    if (av_write_frame(ps.out.get(), pkt.get()) < 0) {
        ps.Fail(job.writeErrno ? ErrnoResult(job.writeErrno) : rc::WriteFault);
        return false;
    }
    ps.packetPool.Put(std::move(pkt));
    const std::int64_t done = ps.number == 2 ? job.firstPassMs / 2 + endMs / 2 : endMs;
    if (done > job.counters->mediaMs.load())
        job.counters->mediaMs = done;
    return true;
}

// Writes the encoded packets in time order as far as both streams allow.
bool WriteReady(Job::Impl& job, Pass& ps, bool videoEnded, bool audioEnded)
{
    for (;;) {
        const bool haveV = !ps.videoReady.empty(), haveA = !ps.audioReady.empty();
        bool video;
        if (haveV && haveA)
            video = av_compare_ts(ps.videoReady.front()->dts, ps.venc->time_base, ps.audioReady.front()->dts,
                                  ps.aenc->time_base) <= 0;
        else if (haveV && (audioEnded || ps.videoReady.size() > kMaxSkew))
            video = true;
        else if (haveA && (videoEnded || ps.audioReady.size() > kMaxSkew))
            video = false;
        else
            return true;
        auto& queue = video ? ps.videoReady : ps.audioReady;
        PacketPtr pkt = std::move(queue.front());
        queue.pop_front();
        if (!WritePacket(job, ps, std::move(pkt), video))
            return false;
    }
}

bool ReceiveAudio(Pass& ps)
{
    for (;;) {
        PacketPtr p = ps.packetPool.Get();
        if (!p) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        const int r = avcodec_receive_packet(ps.aenc.get(), p.get());
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
        ps.audioReady.push_back(std::move(p));
    }
}

// The audio encoder and the muxer run on the controller thread.
void Mux(Job::Impl& job, Pass& ps)
{
    bool videoEnded = !ps.venc, audioEnded = !ps.aenc;
    MuxItem item;
    bool stopped = false;
    while (!(videoEnded && audioEnded) && ps.toMux.Pop(&item)) {
        job.gate.Wait();
        switch (item.kind) {
        case MuxItem::VideoEnd:
            videoEnded = true;
            break;
        case MuxItem::AudioEnd:
            if (ps.aenc && !audioEnded && !ps.aborted && avcodec_send_frame(ps.aenc.get(), nullptr) >= 0)
                ReceiveAudio(ps);
            audioEnded = true;
            break;
        case MuxItem::Video:
            if (!ps.writing()) {
                ps.analysedBytes += item.packet->size;
                ps.analysedMs = std::max(ps.analysedMs,
                                         av_rescale_q(item.packet->pts + 1, ps.venc->time_base, AVRational{1, 1000}));
                job.counters->bytes = ps.analysedBytes;
                job.counters->mediaMs = ps.analysedMs / 2;
                ps.packetPool.Put(std::move(item.packet));
            } else {
                ps.videoReady.push_back(std::move(item.packet));
            }
            break;
        case MuxItem::Audio:
            if (avcodec_send_frame(ps.aenc.get(), item.frame.get()) < 0)
                ps.Fail(rc::Fail);
            ps.audioPool.Put(std::move(item.frame));
            ReceiveAudio(ps);
            break;
        }
        if (ps.writing() && !ps.aborted && !WriteReady(job, ps, videoEnded, audioEnded)) {
            stopped = true;
            break;
        }
    }
    // Stopped by the user: what is encoded already still goes in the file.
    if (ps.writing() && !stopped && ps.failure == rc::Ok)
        WriteReady(job, ps, true, true);
    if (ps.limitReached)
        ps.Abort();
}

} // namespace

// ---- preparation ----

Result Job::Impl::OpenDecoder(AVStream* st, CodecPtr* out)
{
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return rc::CodecNotFound;
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0)
        return rc::OutOfMemory;
    ctx->pkt_timebase = st->time_base;
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
        // Decoding overlaps the encoder on the other core; MPEG video gets
        // slice threads only when asked for them.
        ctx->thread_count = 0;
        if (codec->id == AV_CODEC_ID_MPEG1VIDEO || codec->id == AV_CODEC_ID_MPEG2VIDEO)
            ctx->thread_type = FF_THREAD_SLICE;
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return rc::SourceNotWorking;
    *out = std::move(ctx);
    return rc::Ok;
}

Result Job::Impl::OpenInput(const std::string& path, Input* in)
{
    // A pipe or a device would block the open (and the window waiting on it)
    // until someone writes to it; only plain files are sources.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return rc::SourceNotWorking;
    const AVInputFormat* forced = IsCdxa(path) ? av_find_input_format("mpeg") : nullptr;
    AVFormatContext* raw = nullptr;
    // Always the file protocol: a name such as "a:b.avi" or "pipe:0" is a
    // file here, never a protocol of FFmpeg's. A playlist-like source may
    // not reach further than local files either.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(&raw, ("file:" + path).c_str(), forced, &options);
    av_dict_free(&options);
    if (opened < 0)
        return rc::SourceNotWorking;
    in->fmt.reset(raw);
    if (stat(path.c_str(), &st) == 0) {
        in->path = path;
        in->dev = st.st_dev;
        in->ino = st.st_ino;
        in->size = st.st_size;
    }
    if (avformat_find_stream_info(raw, nullptr) < 0)
        return rc::SourceNotWorking;
    // DVD title files carry a navigation stream first: pick by kind, never by
    // position. A cover picture is not video.
    in->videoIndex = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (in->videoIndex >= 0 && (raw->streams[in->videoIndex]->disposition & AV_DISPOSITION_ATTACHED_PIC))
        in->videoIndex = -1;
    in->audioIndex = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    return rc::Ok;
}

Result Job::Impl::OpenInputs()
{
    videoIn = Input{};
    audioInOwn = Input{};
    audioIn = nullptr;
    vdec.reset();
    adec.reset();
    if (Result r = OpenInput(cfg.videoPath, &videoIn); Failed(r))
        return r;
    if (videoIn.videoIndex < 0)
        return rc::SourceNotWorking; // a sound-only file is not a video source
    Input* aIn = &videoIn;
    if (!cfg.audioPath.empty() && !SameFile(cfg.audioPath, cfg.videoPath)) {
        if (Result r = OpenInput(cfg.audioPath, &audioInOwn); Failed(r))
            return r;
        aIn = &audioInOwn;
    }
    AVStream* vs = videoIn.fmt->streams[videoIn.videoIndex];
    if (Result r = OpenDecoder(vs, &vdec); Failed(r))
        return r;
    if (cfg.profile.HasAudio() && aIn->audioIndex >= 0) {
        if (Result r = OpenDecoder(aIn->fmt->streams[aIn->audioIndex], &adec); Failed(r))
            return r;
        audioIn = aIn;
    }
    // Both streams are timed from whichever starts first.
    startUs = INT64_MAX;
    if (vs->start_time != AV_NOPTS_VALUE)
        startUs = av_rescale_q(vs->start_time, vs->time_base, AV_TIME_BASE_Q);
    if (audioIn) {
        const AVStream* as = audioIn->fmt->streams[audioIn->audioIndex];
        if (as->start_time != AV_NOPTS_VALUE)
            startUs = std::min(startUs, av_rescale_q(as->start_time, as->time_base, AV_TIME_BASE_Q));
    }
    if (startUs == INT64_MAX)
        startUs = 0;
    videoTb = vs->time_base;
    clockMayJump = (videoIn.fmt->iformat->flags & AVFMT_TS_DISCONT) != 0;
    streamSar = vs->codecpar->sample_aspect_ratio;
    if (audioIn)
        audioTb = audioIn->fmt->streams[audioIn->audioIndex]->time_base;
    AVRational rate = vs->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 240)
        rate = vs->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 240)
        rate = {0, 1};
    const Rate capped = CapFrameRate({rate.num, rate.den}, cfg.profile.frameRate);
    outRate = {capped.num, capped.den};
    av_reduce(&outRate.num, &outRate.den, outRate.num, outRate.den, 1 << 30);
    return rc::Ok;
}

Result Job::Impl::CreateTemp()
{
    std::error_code ec;
    fs::path out = fs::absolute(cfg.outputPath, ec);
    if (ec)
        return rc::PathNotFound;
    // A link keeps pointing at the new file: the file it names is replaced.
    if (fs::is_symlink(out, ec))
        out = fs::weakly_canonical(out, ec);
    if (fs::is_directory(out, ec))
        return rc::AccessDenied;
    const fs::path dir = out.parent_path();
    if (!fs::is_directory(dir, ec))
        return rc::PathNotFound;
    target = out;
    std::random_device rd;
    for (int attempt = 0; attempt < 50; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(rd()));
        const fs::path candidate = dir / ("." + out.filename().string() + "." + suffix + ".part");
        fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp = candidate;
            return rc::Ok;
        }
        if (errno != EEXIST)
            return ErrnoResult(errno);
    }
    return rc::Fail;
}

Result Job::Impl::Prepare()
{
    if (Result r = ValidateEngineProfile(cfg.profile); Failed(r))
        return r;
    if (cfg.outputPath.empty())
        return rc::NoOutputFile;
    if (cfg.videoPath.empty())
        return rc::SourceNotWorking;
    // Checked before anything is opened for writing: the source must never
    // be overwritten by its own conversion.
    if (SameFile(cfg.outputPath, cfg.videoPath) || SameFile(cfg.outputPath, cfg.audioPath))
        return rc::OutputSameAsInput;
    if (Result r = OpenInputs(); Failed(r))
        return r;
    const std::int64_t lengthUs = videoIn.fmt->duration;
    counters->sourceMs = lengthUs > 0 && lengthUs != AV_NOPTS_VALUE ? lengthUs / 1000 : 0;
    if (!cfg.profile.HasVideo() && !audioIn)
        return rc::ProfileWithoutStreams;
    const AVCodecParameters* vp = videoIn.fmt->streams[videoIn.videoIndex]->codecpar;
    if (cfg.cropLeft < 0 || cfg.cropTop < 0 || cfg.cropRight < 0 || cfg.cropBottom < 0 ||
        (vp->width > 0 && vp->width - cfg.cropLeft - cfg.cropRight < 2) ||
        (vp->height > 0 && vp->height - cfg.cropTop - cfg.cropBottom < 2))
        return rc::InvalidCrop;
    if ((cfg.profile.HasVideo() && !avcodec_find_encoder(AV_CODEC_ID_WMV2)) ||
        (cfg.profile.HasAudio() && !avcodec_find_encoder(AV_CODEC_ID_WMAV2)))
        return rc::CodecNotFound;
    return CreateTemp();
}

// ---- running ----

Result Job::Impl::RunPass(int number)
{
    Pass ps(number);
    const EngineProfile& p = cfg.profile;
    if (number == 2) {
        filePos = 0;
        counters->bytes = 0; // the analysis wrote nothing; the file starts now
    }

    if (p.HasVideo()) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
        ps.venc.reset(avcodec_alloc_context3(codec));
        if (!ps.venc)
            return rc::OutOfMemory;
        AVCodecContext* v = ps.venc.get();
        v->width = p.width;
        v->height = p.height;
        v->pix_fmt = AV_PIX_FMT_YUV420P;
        v->time_base = av_inv_q(outRate);
        v->framerate = outRate;
        v->sample_aspect_ratio = {1, 1};
        v->bit_rate = p.videoBitrate;
        v->rc_max_rate = p.videoMaxBitrate;
        // The buffer must hold one frame's worth even at a very low rate.
        v->rc_buffer_size =
            std::max<int>(p.videoBuffer, static_cast<int>(av_rescale(p.videoBitrate, outRate.den, outRate.num)) + 1);
        v->gop_size = std::max(1, static_cast<int>(av_rescale(p.keyframeInterval, outRate.num, outRate.den)));
        v->max_b_frames = 0;
        v->qmin = 2 + (100 - p.quality) / 10;
        v->qmax = 31;
        v->thread_count = 1;
        v->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (number == 1)
            v->flags |= AV_CODEC_FLAG_PASS1;
        if (number == 2) {
            v->flags |= AV_CODEC_FLAG_PASS2;
            v->stats_in = passLog.data();
        }
        if (avcodec_open2(v, codec, nullptr) < 0)
            return rc::InvalidVideoBitrate;
    }
    if (audioIn && ps.writing()) {
        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
        ps.aenc.reset(avcodec_alloc_context3(codec));
        if (!ps.aenc)
            return rc::OutOfMemory;
        AVCodecContext* a = ps.aenc.get();
        a->sample_rate = p.sampleRate;
        av_channel_layout_default(&a->ch_layout, p.channels);
        a->sample_fmt = AV_SAMPLE_FMT_FLTP;
        a->bit_rate = p.audioBitrate;
        a->time_base = {1, p.sampleRate};
        a->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(a, codec, nullptr) < 0)
            return rc::BadProfileFile;
        ps.fifo.reset(av_audio_fifo_alloc(a->sample_fmt, a->ch_layout.nb_channels, a->frame_size * 4 + 8192));
        if (!ps.fifo)
            return rc::OutOfMemory;
    }

    if (ps.writing()) {
        AVFormatContext* oc = nullptr;
        if (avformat_alloc_output_context2(&oc, nullptr, "asf", nullptr) < 0)
            return rc::OutOfMemory;
        ps.out.reset(oc);
        constexpr int kIoBuffer = 64 * 1024;
        auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
        if (!buffer)
            return rc::OutOfMemory;
        ps.io.reset(avio_alloc_context(buffer, kIoBuffer, 1, this, nullptr, WriteToFile, SeekInFile));
        if (!ps.io) {
            av_free(buffer);
            return rc::OutOfMemory;
        }
        oc->pb = ps.io.get();
        oc->flags |= AVFMT_FLAG_CUSTOM_IO;
        if (ps.venc) {
            ps.vst = avformat_new_stream(oc, nullptr);
            if (!ps.vst || avcodec_parameters_from_context(ps.vst->codecpar, ps.venc.get()) < 0)
                return rc::OutOfMemory;
            ps.vst->time_base = ps.venc->time_base;
        }
        if (ps.aenc) {
            ps.ast = avformat_new_stream(oc, nullptr);
            if (!ps.ast || avcodec_parameters_from_context(ps.ast->codecpar, ps.aenc.get()) < 0)
                return rc::OutOfMemory;
            ps.ast->time_base = ps.aenc->time_base;
        }
        // Title, author and copyright also go to the muxer, so a header that
        // could not be rebuilt still names them; the placeholder makes room
        // for the full content description written at the end.
        if (!cfg.texts.title.empty())
            av_dict_set(&oc->metadata, "title", ToUtf8(cfg.texts.title).c_str(), 0);
        if (!cfg.texts.author.empty())
            av_dict_set(&oc->metadata, "author", ToUtf8(cfg.texts.author).c_str(), 0);
        if (!cfg.texts.copyright.empty())
            av_dict_set(&oc->metadata, "copyright", ToUtf8(cfg.texts.copyright).c_str(), 0);
        av_dict_set(&oc->metadata, kAsfReserveKey, std::string(AsfReserveChars(cfg.texts), ' ').c_str(), 0);
        if (avformat_write_header(oc, nullptr) < 0)
            return writeErrno ? ErrnoResult(writeErrno) : rc::WriteFault;
        // A limit that cannot even hold the header and an empty index is
        // refused rather than exceeded.
        if (cfg.maxFileSize > 0 && avio_tell(oc->pb) + 2 * kAsfPacketSize + 1024 > cfg.maxFileSize)
            return rc::InvalidArg;
    }

    {
        std::lock_guard lock(stopMutex);
        current = &ps;
        if (stopRequested)
            ps.Abort();
    }
    std::thread demux([&] {
        pthread_setname_np(pthread_self(), "mc-decode");
        DemuxDecode(*this, ps);
    });
    std::thread scale([&] {
        pthread_setname_np(pthread_self(), "mc-scale");
        ScaleResample(*this, ps);
    });
    std::thread encode;
    if (ps.venc) {
        encode = std::thread([&] {
            pthread_setname_np(pthread_self(), "mc-encode");
            EncodeVideo(*this, ps);
        });
    } else
        ps.pictures.Abort(); // nothing reads pictures; the scale thread just ends
    if (!ps.venc) {
        MuxItem end;
        end.kind = MuxItem::VideoEnd;
        ps.toMux.Push(std::move(end));
    }
    Mux(*this, ps);
    ps.Abort(); // wakes anything still waiting; the pass is over
    demux.join();
    scale.join();
    if (encode.joinable())
        encode.join();
    {
        std::lock_guard lock(stopMutex);
        current = nullptr;
    }

    if (ps.failure != rc::Ok)
        return ps.failure;
    if (!stopRequested && (ShrankSinceOpened(videoIn) || ShrankSinceOpened(audioInOwn)))
        return rc::ReadFault;
    if (number == 1) {
        // The analysis has to see the whole input, or the final pass has
        // nothing to follow.
        firstPassMs = ps.analysedMs;
        return stopRequested ? rc::Ok : (passLog.empty() ? rc::SourceNotWorking : rc::Ok);
    }
    if (av_write_trailer(ps.out.get()) < 0)
        return writeErrno ? ErrnoResult(writeErrno) : rc::WriteFault;
    avio_flush(ps.out->pb);
    if (writeErrno)
        return ErrnoResult(writeErrno);

    // The content description goes where players read it.
    std::uint8_t head[30];
    if (pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head)) {
        const std::uint64_t size = AsfHeaderSize(head, sizeof head);
        if (size >= sizeof head && size < (1u << 24)) {
            std::vector<std::uint8_t> header(size);
            if (pread(fd, header.data(), size, 0) == static_cast<ssize_t>(size) &&
                RewriteAsfHeader(header, cfg.texts) && pwrite(fd, header.data(), size, 0) != static_cast<ssize_t>(size))
                return ErrnoResult(errno);
        }
    }
    complete = true;
    return rc::Ok;
}

Result Job::Impl::Commit()
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
    if (rename(temp.c_str(), target.c_str()) != 0) {
        complete = false;
        return ErrnoResult(errno);
    }
    temp.clear();
    return rc::Ok;
}

void Job::Impl::Run()
{
    Result r = rc::Ok;
    if (cfg.twoPass) {
        r = RunPass(1);
        if (Succeeded(r) && !stopRequested) {
            r = OpenInputs();
            if (Succeeded(r))
                r = RunPass(2);
        }
    } else {
        r = RunPass(0);
    }
    if (Succeeded(r) && complete)
        r = Commit();
    if (!complete && fd >= 0) {
        close(fd);
        fd = -1;
    }
    if (!complete && !temp.empty()) {
        std::error_code ec;
        fs::remove(temp, ec);
        temp.clear();
    }
    if (onDone)
        onDone(r);
}

// ---- Job ----

Job::Job(JobConfig config, std::shared_ptr<Counters> counters) : m_impl(std::make_unique<Impl>())
{
    m_impl->cfg = std::move(config);
    m_impl->counters = std::move(counters);
}

Job::~Job()
{
    Stop();
}

Result Job::Prepare()
{
    return m_impl->Prepare();
}

void Job::Start(std::function<void(Result)> onDone)
{
    m_impl->onDone = std::move(onDone);
    m_impl->controller = std::thread([impl = m_impl.get()] {
        pthread_setname_np(pthread_self(), "mc-mux");
        impl->Run();
    });
}

void Job::Pause()
{
    m_impl->gate.Pause();
}

void Job::Resume()
{
    m_impl->gate.Resume();
}

void Job::Stop()
{
    {
        std::lock_guard lock(m_impl->stopMutex);
        m_impl->stopRequested = true;
        if (m_impl->current)
            m_impl->current->Abort();
    }
    m_impl->gate.Open();
    Join();
}

void Job::Join()
{
    if (m_impl->controller.joinable())
        m_impl->controller.join();
}

} // namespace mce::ff
