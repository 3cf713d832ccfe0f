#include "FfVideo.h"

#include <algorithm>

#include "FfTonemap.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

namespace mce::ff {
namespace {

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

// A scaler that cannot be had: the source's picture is in a form it cannot
// read, or memory ran out.
Result ScalerFailure(AVPixelFormat from)
{
    return sws_isSupportedInput(from) ? rc::OutOfMemory : rc::SourceNotWorking;
}

// A scaler into limited-range pictures. The ranges are set before it is
// initialised: a scaler made for a picture of the same size and format
// copies it as it is, and a full-range picture set on it later would keep
// its blacks and whites beyond the range every player shows.
SwsContext* MakeScaler(int srcW, int srcH, AVPixelFormat srcFmt, bool fullRange, const int* coefs, int dstW, int dstH,
                       AVPixelFormat dstFmt, int flags)
{
    SwsContext* s = sws_alloc_context();
    if (!s)
        return nullptr;
    const bool set = av_opt_set_int(s, "srcw", srcW, 0) >= 0 && av_opt_set_int(s, "srch", srcH, 0) >= 0 &&
                     av_opt_set_int(s, "src_format", srcFmt, 0) >= 0 && av_opt_set_int(s, "dstw", dstW, 0) >= 0 &&
                     av_opt_set_int(s, "dsth", dstH, 0) >= 0 && av_opt_set_int(s, "dst_format", dstFmt, 0) >= 0 &&
                     av_opt_set_int(s, "sws_flags", flags, 0) >= 0 &&
                     av_opt_set_int(s, "src_range", fullRange ? 1 : 0, 0) >= 0 &&
                     av_opt_set_int(s, "dst_range", 0, 0) >= 0;
    if (!set || sws_init_context(s, nullptr, nullptr) < 0) {
        sws_freeContext(s);
        return nullptr;
    }
    sws_setColorspaceDetails(s, coefs, fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_DEFAULT), 0, 0, 1 << 16, 1 << 16);
    return s;
}

// Players show untagged HD pictures in BT.709 colours, smaller ones in
// BT.601; by the size of the stream, not of a picture decoded smaller.
int ColourMatrixOf(const AVFrame* f, int lowres)
{
    if (f->colorspace != AVCOL_SPC_UNSPECIFIED)
        return f->colorspace;
    return (f->width << lowres) >= 1280 || (f->height << lowres) > 576 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
}

// One frame a frame (fields are not doubled: the profiles' rates are capped
// below the field rate), only frames whose fields are interlaced.
constexpr const char* kDeinterlace = "bwdif=mode=send_frame:parity=auto:deint=interlaced";

// A filter chain that FFmpeg refuses, or that takes a picture and gives none
// back, ends the pass.
Result ChainFailure(int err)
{
    return err == AVERROR(ENOMEM) ? rc::OutOfMemory : rc::SourceNotWorking;
}

} // namespace

VideoScaler::VideoScaler(const JobConfig& cfg, const SourceTiming& timing, const SourcePicture& picture)
    : m_cfg(cfg), m_timing(timing), m_picture(picture),
      m_capAhead({timing.outRate.num, timing.outRate.den}, timing.slotShift), m_deinterlaced(av_frame_alloc()),
      m_corrected(av_frame_alloc())
{
}

bool VideoScaler::Scale(PassLink& ps, AVFrame* f)
{
    if (f->interlaced_frame)
        m_decoderMarksFields = true;
    else if (m_picture.interlaced && !m_decoderMarksFields) {
        // The stream says so but its decoder does not mark the frames.
        f->interlaced_frame = 1;
        f->top_field_first = m_picture.topFieldFirst;
    }
    if (f->interlaced_frame || m_deinterlacer.IsOpen()) {
        // A picture the cap is sure to drop is not deinterlaced either.
        if (f->best_effort_timestamp != AV_NOPTS_VALUE) {
            const std::int64_t us =
                av_rescale_q(f->best_effort_timestamp, m_timing.videoTb, AV_TIME_BASE_Q) - m_timing.startUs;
            if (m_capAhead.Dropped(us))
                return true;
            m_capAhead.Sent(us);
        }
        return Deinterlace(ps, f);
    }
    return Place(ps, f);
}

bool VideoScaler::Deinterlace(PassLink& ps, AVFrame* f)
{
    if (!m_deinterlacer.Fits(f)) {
        // A new picture size: the old chain gives up what it holds first.
        if (m_deinterlacer.IsOpen() && !Flush(ps))
            return false;
        if (!m_deinterlaced) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
        if (const int r = m_deinterlacer.Open(f, m_timing.videoTb, kDeinterlace); r < 0) {
            ps.Fail(ChainFailure(r));
            return false;
        }
    }
    f->pts = f->best_effort_timestamp;
    if (const int r = m_deinterlacer.Send(f); r < 0) {
        ps.Fail(ChainFailure(r));
        return false;
    }
    return DrainDeinterlacer(ps);
}

bool VideoScaler::DrainDeinterlacer(PassLink& ps)
{
    for (;;) {
        const int r = m_deinterlacer.Receive(m_deinterlaced.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0) {
            ps.Fail(ChainFailure(r));
            return false;
        }
        m_deinterlaced->best_effort_timestamp = m_deinterlaced->pts;
        const bool ok = Place(ps, m_deinterlaced.get());
        av_frame_unref(m_deinterlaced.get());
        if (!ok)
            return false;
    }
}

bool VideoScaler::Flush(PassLink& ps)
{
    if (!m_deinterlacer.IsOpen())
        return true;
    if (const int r = m_deinterlacer.Send(nullptr); r < 0) {
        ps.Fail(ChainFailure(r));
        return false;
    }
    const bool ok = DrainDeinterlacer(ps);
    m_deinterlacer.Close();
    return ok;
}

// The filters that bring pictures like f to how a player shows them: SDR
// colours, upright. Tone mapping comes first, while the picture is still as
// it is stored: it may leave it smaller, which the turn then has less to do.
std::string VideoScaler::Corrections(const AVFrame* f)
{
    std::string filters;
    if (NeedsToneMapping(m_picture)) {
        // Reduced by halves while the part that goes out keeps at least the
        // pixels of the profile's frame; margins and frame are those of the
        // upright picture.
        const int lr = m_picture.lowres;
        const bool turned = m_picture.quarterTurn;
        const int marginsW = (turned ? m_cfg.cropTop + m_cfg.cropBottom : m_cfg.cropLeft + m_cfg.cropRight) >> lr;
        const int marginsH = (turned ? m_cfg.cropLeft + m_cfg.cropRight : m_cfg.cropTop + m_cfg.cropBottom) >> lr;
        const int frameW = turned ? m_cfg.profile.height : m_cfg.profile.width;
        const int frameH = turned ? m_cfg.profile.width : m_cfg.profile.height;
        m_halvings = Halvings(f->width, f->height, f->width - marginsW, f->height - marginsH, frameW, frameH);
        filters = ToneMapFilters(m_picture, f, m_halvings);
    }
    if (!m_picture.orientation.empty())
        filters += (filters.empty() ? "" : ",") + m_picture.orientation;
    return filters;
}

// The picture as a player shows it: f itself when it needs nothing, else
// the corrector's picture; null when the pass must end.
AVFrame* VideoScaler::Correct(PassLink& ps, AVFrame* f)
{
    if (!NeedsToneMapping(m_picture) && m_picture.orientation.empty())
        return f;
    if (!m_corrected) {
        ps.Fail(rc::OutOfMemory);
        return nullptr;
    }
    // Turning swaps the sample aspect too, so the stream's goes with the frame.
    if (f->sample_aspect_ratio.num <= 0 && m_timing.streamSar.num > 0 && m_timing.streamSar.den > 0)
        f->sample_aspect_ratio = m_timing.streamSar;
    int r = 0;
    if (!m_corrector.Fits(f))
        r = m_corrector.Open(f, m_timing.videoTb, Corrections(f));
    av_frame_unref(m_corrected.get());
    if (r >= 0)
        r = m_corrector.Send(f);
    // One picture in, one out: a chain that keeps it back drops it.
    if (r >= 0)
        r = m_corrector.Receive(m_corrected.get());
    if (r < 0) {
        ps.Fail(ChainFailure(r));
        return nullptr;
    }
    return m_corrected.get();
}

// The output frame slot a picture falls in, or the next one without a stamp.
std::int64_t VideoScaler::SlotOf(const AVFrame* f)
{
    std::int64_t index = m_lastIndex + 1;
    if (f->best_effort_timestamp == AV_NOPTS_VALUE)
        return index;
    const AVRational outRate = m_timing.outRate;
    const std::int64_t us = av_rescale_q(f->best_effort_timestamp, m_timing.videoTb, AV_TIME_BASE_Q) - m_timing.startUs;
    index = OutputSlot(us, {outRate.num, outRate.den}, m_timing.slotShift) + m_indexOffset;
    // MPEG program streams may restart their clock (title files joined,
    // cell boundaries). A jump back by more than a second, or ahead by
    // more than ten, is such a restart: the picture goes on from where it
    // was, as the sound does, whose time is counted in samples.
    if (m_timing.clockMayJump && m_lastIndex >= 0) {
        const std::int64_t second = av_rescale(1, outRate.num, outRate.den) + 1;
        if (index < m_lastIndex - second || index > m_lastIndex + 10 * second) {
            m_indexOffset += m_lastIndex + 1 - index;
            index = m_lastIndex + 1;
        }
    }
    return index;
}

bool VideoScaler::Configure(PassLink& ps, const AVFrame* f, AVPixelFormat srcFmt, bool fullRange, bool viaCopy,
                            AVRational sar, int cropW, int cropH)
{
    // The rectangle of the full-size picture, also when it comes smaller.
    const int lr = Shift();
    m_rect = FitPicture((f->width << lr) - m_cfg.cropLeft - m_cfg.cropRight,
                        (f->height << lr) - m_cfg.cropTop - m_cfg.cropBottom, sar.num, sar.den, m_cfg.profile.width,
                        m_cfg.profile.height);
    const AVPixelFormat scaleFrom = viaCopy ? AV_PIX_FMT_YUV444P : srcFmt;
    const int* coefs = sws_getCoefficients(ColourMatrixOf(f, lr));
    m_sws.reset(MakeScaler(cropW, cropH, scaleFrom, viaCopy ? false : fullRange, coefs, m_rect.width, m_rect.height,
                           AV_PIX_FMT_YUV420P, SWS_BICUBIC));
    if (!m_sws) {
        ps.Fail(ScalerFailure(scaleFrom));
        return false;
    }
    if (viaCopy) {
        m_cropSws.reset(MakeScaler(f->width, f->height, srcFmt, fullRange, coefs, f->width, f->height,
                                   AV_PIX_FMT_YUV444P, SWS_POINT));
        m_cropFrame.reset(av_frame_alloc());
        if (!m_cropSws || !m_cropFrame) {
            ps.Fail(m_cropFrame ? ScalerFailure(srcFmt) : rc::OutOfMemory);
            return false;
        }
        m_cropFrame->format = AV_PIX_FMT_YUV444P;
        m_cropFrame->width = f->width;
        m_cropFrame->height = f->height;
        if (av_frame_get_buffer(m_cropFrame.get(), 0) < 0) {
            ps.Fail(rc::OutOfMemory);
            return false;
        }
    }
    m_swsW = f->width;
    m_swsH = f->height;
    m_swsFmt = f->format;
    m_swsSarNum = sar.num;
    m_swsSarDen = sar.den;
    ++m_geometryGeneration;
    return true;
}

bool VideoScaler::Place(PassLink& ps, AVFrame* f)
{
    const JobConfig& cfg = m_cfg;
    const std::int64_t index = SlotOf(f);
    // Before the start, or one frame too many for the capped rate: dropped.
    if (index < 0 || index <= m_lastIndex)
        return true;
    f = Correct(ps, f);
    if (!f)
        return false;
    // Margins are in pixels of the full-size picture.
    const int lr = Shift();
    const int cropLeft = cfg.cropLeft >> lr, cropTop = cfg.cropTop >> lr;
    const int cropW = f->width - cropLeft - (cfg.cropRight >> lr);
    const int cropH = f->height - cropTop - (cfg.cropBottom >> lr);
    if (cropW < 2 || cropH < 2)
        return true; // a picture size change made the margins too big: nothing to show

    bool fullRange = f->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat srcFmt = FullRangeEquivalent(static_cast<AVPixelFormat>(f->format), &fullRange);
    const bool cropped = cfg.cropLeft || cfg.cropTop || cfg.cropRight || cfg.cropBottom;
    const bool viaCopy = cropped && !CroppableByPointers(srcFmt);
    AVRational sar = f->sample_aspect_ratio.num > 0 ? f->sample_aspect_ratio : m_timing.streamSar;
    if (sar.num <= 0 || sar.den <= 0)
        sar = {1, 1};

    if (!m_sws || m_swsW != f->width || m_swsH != f->height || m_swsFmt != f->format || m_swsSarNum != sar.num ||
        m_swsSarDen != sar.den) {
        if (!Configure(ps, f, srcFmt, fullRange, viaCopy, sar, cropW, cropH))
            return false;
    }

    // The source picture, cropped.
    const AVFrame* src = f;
    AVPixelFormat cropFmt = srcFmt;
    if (viaCopy) {
        sws_scale(m_cropSws.get(), f->data, f->linesize, 0, f->height, m_cropFrame->data, m_cropFrame->linesize);
        src = m_cropFrame.get();
        cropFmt = AV_PIX_FMT_YUV444P;
    }
    const std::uint8_t* srcData[4] = {};
    int srcLinesize[4] = {};
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(cropFmt);
    int steps[4] = {};
    av_image_fill_max_pixsteps(steps, nullptr, d);
    for (int i = 0; i < 4 && src->data[i]; ++i) {
        const bool chroma = i == 1 || i == 2;
        const int x = chroma ? cropLeft >> d->log2_chroma_w : cropLeft;
        const int y = chroma ? cropTop >> d->log2_chroma_h : cropTop;
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
    if (reinterpret_cast<std::intptr_t>(out->opaque) != m_geometryGeneration) {
        std::ptrdiff_t lines[4] = {out->linesize[0], out->linesize[1], out->linesize[2], out->linesize[3]};
        av_image_fill_black(out->data, lines, AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, out->width, out->height);
        out->opaque = reinterpret_cast<void*>(m_geometryGeneration);
    }
    std::uint8_t* dst[4] = {out->data[0] + static_cast<std::ptrdiff_t>(m_rect.y) * out->linesize[0] + m_rect.x,
                            out->data[1] + static_cast<std::ptrdiff_t>(m_rect.y / 2) * out->linesize[1] + m_rect.x / 2,
                            out->data[2] + static_cast<std::ptrdiff_t>(m_rect.y / 2) * out->linesize[2] + m_rect.x / 2,
                            nullptr};
    sws_scale(m_sws.get(), srcData, srcLinesize, 0, cropH, dst, out->linesize);
    out->pts = index;
    out->pict_type = AV_PICTURE_TYPE_NONE;
    out->key_frame = 0;
    m_lastIndex = index;
    return ps.pictures.Push(std::move(out));
}

Result VideoEncoder::Open(const EngineProfile& p, AVRational outRate, int pass, std::string* passLog)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMV2);
    m_ctx.reset(avcodec_alloc_context3(codec));
    if (!m_ctx)
        return rc::OutOfMemory;
    m_passLog = pass == 1 ? passLog : nullptr;
    AVCodecContext* v = m_ctx.get();
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
    if (pass == 1)
        v->flags |= AV_CODEC_FLAG_PASS1;
    if (pass == 2) {
        v->flags |= AV_CODEC_FLAG_PASS2;
        v->stats_in = passLog->data();
    }
    // The profile's settings were checked when it was read: an encoder that
    // still will not open is one the system cannot use.
    if (avcodec_open2(v, codec, nullptr) < 0)
        return rc::CodecNotFound;
    return rc::Ok;
}

bool VideoEncoder::Receive(PassLink& ps)
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
        if (m_passLog && m_ctx->stats_out)
            *m_passLog += m_ctx->stats_out;
        MuxItem item;
        item.kind = MuxItem::Video;
        item.packet = std::move(p);
        if (!ps.toMux.Push(std::move(item)))
            return false;
    }
}

void VideoEncoder::Run(PassLink& ps)
{
    FramePtr f;
    while (ps.pictures.Pop(&f)) {
        ps.gate.Wait();
        const int r = avcodec_send_frame(m_ctx.get(), f.get());
        ps.picturePool.Put(std::move(f));
        if (r < 0) {
            ps.Fail(rc::Fail);
            break;
        }
        if (!Receive(ps))
            break;
    }
    if (!ps.aborted && avcodec_send_frame(m_ctx.get(), nullptr) >= 0)
        Receive(ps);
    ps.Push(MuxItem::VideoEnd);
}

} // namespace mce::ff
