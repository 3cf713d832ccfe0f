#include "FfSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "FfDvd.h"
#include "FfLength.h"
#include "FfTonemap.h"
#include "VideoGeometry.h"

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/display.h>
}

namespace fs = std::filesystem;

namespace mce::ff {
namespace {

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

// True when the picture goes out at a third of its size or less each way.
bool ShownAtAThirdOrLess(const AVCodecParameters* par, const SourcePicture& pic, const JobConfig& cfg)
{
    // Margins apply to the upright picture.
    const int w = (pic.quarterTurn ? par->height : par->width) - cfg.cropLeft - cfg.cropRight;
    const int h = (pic.quarterTurn ? par->width : par->height) - cfg.cropTop - cfg.cropBottom;
    AVRational sar = par->sample_aspect_ratio;
    if (sar.num <= 0 || sar.den <= 0)
        sar = {1, 1};
    if (pic.quarterTurn)
        std::swap(sar.num, sar.den);
    if (w <= 0 || h <= 0 || !cfg.profile.HasVideo())
        return false;
    const Rect r = FitPicture(w, h, sar.num, sar.den, cfg.profile.width, cfg.profile.height);
    return w >= 3 * r.width && h >= 3 * r.height;
}

// Where the picture goes out at a third of its size or less, decoding it at
// half size leaves less to scale and looks the same; at half its size it
// already looks softer than a full-size picture scaled down, and so does an
// interlaced picture deinterlaced at half size. Only for the MPEG-1/2 and
// MJPEG decoders, whose reduced decoding keeps up with their full one.
int ReducedDecodeSize(const AVCodecParameters* par, const SourcePicture& pic, const JobConfig& cfg)
{
    if ((par->codec_id != AV_CODEC_ID_MPEG1VIDEO && par->codec_id != AV_CODEC_ID_MPEG2VIDEO &&
         par->codec_id != AV_CODEC_ID_MJPEG) ||
        pic.interlaced)
        return 0;
    return ShownAtAThirdOrLess(par, pic, cfg) ? 1 : 0;
}

// H.264 and HEVC smooth the edges of their blocks in every picture (the
// loop filter, and HEVC's sample offsets): a tenth of the decoding of an
// H.264 phone clip, a twentieth of an HEVC one. Scaled down to a third or
// less, those edges are gone in the scaling: the pictures measure the same
// against the fully decoded ones (SSIM within 0.0001).
bool LeaveOutLoopFilter(const AVCodecParameters* par, const SourcePicture& pic, const JobConfig& cfg)
{
    return (par->codec_id == AV_CODEC_ID_H264 || par->codec_id == AV_CODEC_ID_HEVC) && !pic.interlaced &&
           ShownAtAThirdOrLess(par, pic, cfg);
}

// H.264 and HEVC decode on frame threads, each waiting for the rows of the
// pictures it refers to. With FFmpeg's own count, one more than the cores,
// both cores of a two-core machine stood idle a fifth to a quarter of the
// time while an HD phone clip decoded, decoding being the longest stage by
// far; five threads took a thirteenth off the wall time at the same
// processor time, for 17 MB more. Pictures above 1080p keep FFmpeg's
// count: each thread holds pictures of 12 MB there.
int FrameThreads(const AVCodecParameters* par)
{
    const std::int64_t pixels = static_cast<std::int64_t>(par->width) * par->height;
    if ((par->codec_id != AV_CODEC_ID_H264 && par->codec_id != AV_CODEC_ID_HEVC) || pixels < 1280 * 720 ||
        pixels > 1920 * 1088)
        return 0;
    return std::max(5, av_cpu_count() + 1);
}

} // namespace

Result OpenDecoder(AVStream* st, CodecPtr* out, int lowres, int threads)
{
    const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!codec)
        return rc::CodecNotFound;
    CodecPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx || avcodec_parameters_to_context(ctx.get(), st->codecpar) < 0)
        return rc::OutOfMemory;
    ctx->pkt_timebase = st->time_base;
    if (codec->type == AVMEDIA_TYPE_VIDEO) {
        ctx->thread_count = threads;
        if (codec->id == AV_CODEC_ID_MPEG1VIDEO || codec->id == AV_CODEC_ID_MPEG2VIDEO) {
            // The scale and encode threads keep the other core busy: slice
            // threads would only add their hand-overs (a fifth more
            // processor time on a DVD title, and no shorter run). The fast
            // path leaves out the standard's mismatch control, a rounding
            // of the last coefficient no eye can see, and a tenth of the
            // decoding time.
            ctx->thread_count = 1;
            ctx->flags2 |= AV_CODEC_FLAG2_FAST;
        }
        ctx->lowres = std::min<int>(lowres, codec->max_lowres);
    }
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0)
        return rc::SourceNotWorking;
    *out = std::move(ctx);
    return rc::Ok;
}

// A damaged stream header can carry any number where FFmpeg keeps one of
// its enums: it is read as the number it is and taken only when it names
// a value.
namespace {
template <class E> E KnownOr(const E& stored, E end, E otherwise)
{
    static_assert(sizeof(E) == sizeof(int));
    int v;
    std::memcpy(&v, &stored, sizeof v);
    return v >= 0 && v < static_cast<int>(end) ? static_cast<E>(v) : otherwise;
}
} // namespace

// A phone records its picture as the sensor sees it and says how to turn it;
// players turn it upright as FFmpeg's own command does.
SourcePicture PictureOf(const AVStream* vs)
{
    SourcePicture pic;
    const auto* matrix =
        reinterpret_cast<const std::int32_t*>(av_stream_get_side_data(vs, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (matrix) {
        double theta = -std::round(av_display_rotation_get(matrix));
        theta -= 360 * std::floor(theta / 360 + 0.9 / 360);
        if (std::fabs(theta - 90) < 1.0) {
            pic.orientation = matrix[3] > 0 ? "transpose=cclock_flip" : "transpose=clock";
            pic.quarterTurn = true;
        } else if (std::fabs(theta - 180) < 1.0) {
            if (matrix[0] < 0)
                pic.orientation = "hflip";
            if (matrix[4] < 0)
                pic.orientation += pic.orientation.empty() ? "vflip" : ",vflip";
        } else if (std::fabs(theta - 270) < 1.0) {
            pic.orientation = matrix[3] < 0 ? "transpose=clock_flip" : "transpose=cclock";
            pic.quarterTurn = true;
        } else if (std::fabs(theta) < 1.0 && matrix[4] < 0) {
            pic.orientation = "vflip"; // mirrored top to bottom, not turned
        }
    }
    // A phone's Dolby Vision stream is an HLG picture with extra data for
    // players that know it: it is converted as the HLG picture it is.
    pic.transfer = KnownOr(vs->codecpar->color_trc, AVCOL_TRC_NB, AVCOL_TRC_UNSPECIFIED);
    pic.primaries = KnownOr(vs->codecpar->color_primaries, AVCOL_PRI_NB, AVCOL_PRI_UNSPECIFIED);
    pic.peak = PeakOf(reinterpret_cast<const AVContentLightMetadata*>(
                          av_stream_get_side_data(vs, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, nullptr)),
                      reinterpret_cast<const AVMasteringDisplayMetadata*>(
                          av_stream_get_side_data(vs, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, nullptr)));
    switch (vs->codecpar->field_order) {
    case AV_FIELD_TT:
    case AV_FIELD_BT: // the order fields are shown in is what counts
        pic.interlaced = true;
        pic.topFieldFirst = true;
        break;
    case AV_FIELD_BB:
    case AV_FIELD_TB:
        pic.interlaced = true;
        pic.topFieldFirst = false;
        break;
    default:
        break;
    }
    return pic;
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

namespace {

// A DVD title, read from the disc's tables, as what the demuxer reads;
// rc::False when the source is no DVD title and converts as a file.
Result OpenDvdInput(const std::string& path, bool wholeTitle, std::int32_t audioStreamId, Input* in)
{
    std::vector<DvdTitle> titles;
    std::string disc;
    Result r;
    const DvdTitle* title = TitleOfSource(path, wholeTitle, &titles, &disc, &r);
    if (!title)
        return r;
    if (r = OpenDvdTitle(disc, *title, &in->file); Failed(r))
        return r;
    in->tableUs = title->lengthUs;
    in->chaptersUs = title->chaptersUs;
    const DvdAudio* audio = ChooseAudio(*title, UserLanguage());
    for (const DvdAudio& a : title->audio) {
        if (a.streamId == audioStreamId)
            audio = &a;
    }
    if (audio)
        in->audioId = audio->streamId;
    return rc::Ok;
}

} // namespace

Result Source::OpenInput(const std::string& path, Input* in, bool wholeTitle, std::int32_t audioStreamId)
{
    const AVInputFormat* forced = nullptr;
    bool dvd = false;
    if (IsDvd(path) || (wholeTitle && IsTitleVob(path, nullptr))) {
        const Result r = OpenDvdInput(path, wholeTitle, audioStreamId, in);
        if (Failed(r))
            return r;
        dvd = r == rc::Ok;
        if (dvd)
            forced = av_find_input_format("mpeg");
    }
    struct stat st {};
    if (!dvd) {
        // A pipe or a device would block the open (and the window waiting on
        // it) until someone writes to it; only plain files are sources.
        if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return rc::SourceNotWorking;
        forced = IsCdxa(path) ? av_find_input_format("mpeg") : nullptr;
        in->file = SourceFile::Open(path);
        if (!in->file)
            return rc::SourceNotWorking;
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return rc::OutOfMemory;
    raw->pb = in->file->Context();
    // The file is read through the engine's own I/O context, so a name such
    // as "a:b.avi" or "pipe:0" is a file here, never a protocol of FFmpeg's;
    // the name (with its extension) still helps the probe. A playlist-like
    // source may not reach further than local files either.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const int opened = avformat_open_input(&raw, ("file:" + path).c_str(), forced, &options);
    av_dict_free(&options);
    if (opened < 0)
        return rc::SourceNotWorking;
    in->fmt.reset(raw);
    if (!dvd && stat(path.c_str(), &st) == 0) {
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
    in->audioIndex = -1;
    for (unsigned i = 0; in->audioId >= 0 && i < raw->nb_streams; ++i) {
        if (raw->streams[i]->id == in->audioId && raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            in->audioIndex = static_cast<int>(i);
    }
    if (in->audioIndex < 0)
        in->audioIndex = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    return rc::Ok;
}

std::int64_t Source::LengthOf(const std::string& path)
{
    const AVFormatContext* fmt = m_videoIn.fmt.get();
    // A DVD title's tables say how long it plays, across clock restarts.
    if (m_videoIn.tableUs > 0)
        return m_videoIn.tableUs;
    const std::int64_t stated = fmt->duration > 0 && fmt->duration != AV_NOPTS_VALUE ? fmt->duration : 0;
    if (!LengthMayBeWrong(fmt))
        return stated;
    // Read through a demuxer of its own: the one that converts starts
    // from where probing left it.
    Input scan;
    bool jumped = false;
    const std::int64_t scanned =
        Succeeded(OpenInput(path, &scan)) ? ScanLengthUs(scan.fmt.get(), scan.videoIndex, &jumped) : 0;
    // Where the clock runs through, the stated figure stays: it counts the
    // sound as well, which may run on past the last picture.
    if (scanned > 0 && (jumped || stated == 0 || fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE))
        return scanned;
    // A figure from size over bit rate is a guess; clock values that could
    // not be checked are still the stream's own.
    return fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE ? 0 : stated;
}

Result Source::Open(const JobConfig& cfg)
{
    // The demuxers go before the files they read.
    m_videoIn.fmt.reset();
    m_audioInOwn.fmt.reset();
    m_videoIn = Input{};
    m_audioInOwn = Input{};
    m_audioIn = nullptr;
    m_vdec.reset();
    m_adec.reset();
    if (Result r = OpenInput(cfg.videoPath, &m_videoIn, cfg.wholeTitle, cfg.audioStreamId); Failed(r))
        return r;
    if (m_videoIn.videoIndex < 0)
        return rc::SourceNotWorking; // a sound-only file is not a video source
    Input* aIn = &m_videoIn;
    if (!cfg.audioPath.empty() && !SameFile(cfg.audioPath, cfg.videoPath)) {
        if (Result r = OpenInput(cfg.audioPath, &m_audioInOwn); Failed(r))
            return r;
        aIn = &m_audioInOwn;
    }
    AVStream* vs = m_videoIn.fmt->streams[m_videoIn.videoIndex];
    m_picture = PictureOf(vs);
    m_lengthUs = LengthOf(cfg.videoPath);
    m_picture.lowres = ReducedDecodeSize(vs->codecpar, m_picture, cfg);
    if (Result r = OpenDecoder(vs, &m_vdec, m_picture.lowres, FrameThreads(vs->codecpar)); Failed(r))
        return r;
    m_picture.lowres = m_vdec->lowres;
    if (LeaveOutLoopFilter(vs->codecpar, m_picture, cfg))
        m_vdec->skip_loop_filter = AVDISCARD_ALL;
    if (cfg.profile.HasAudio() && aIn->audioIndex >= 0) {
        if (Result r = OpenDecoder(aIn->fmt->streams[aIn->audioIndex], &m_adec); Failed(r))
            return r;
        m_audioIn = aIn;
    }
    SourceTiming& t = m_timing;
    // Both streams are timed from whichever starts first.
    t.startUs = INT64_MAX;
    if (vs->start_time != AV_NOPTS_VALUE)
        t.startUs = av_rescale_q(vs->start_time, vs->time_base, AV_TIME_BASE_Q);
    if (m_audioIn) {
        const AVStream* as = m_audioIn->fmt->streams[m_audioIn->audioIndex];
        if (as->start_time != AV_NOPTS_VALUE)
            t.startUs = std::min(t.startUs, av_rescale_q(as->start_time, as->time_base, AV_TIME_BASE_Q));
    }
    if (t.startUs == INT64_MAX)
        t.startUs = 0;
    t.videoTb = vs->time_base;
    t.clockMayJump = (m_videoIn.fmt->iformat->flags & AVFMT_TS_DISCONT) != 0;
    t.streamSar = vs->codecpar->sample_aspect_ratio;
    if (m_audioIn)
        t.audioTb = m_audioIn->fmt->streams[m_audioIn->audioIndex]->time_base;
    AVRational rate = vs->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 240)
        rate = vs->r_frame_rate;
    if (rate.num <= 0 || rate.den <= 0 || av_q2d(rate) > 240)
        rate = {0, 1};
    const Rate capped = CapFrameRate({rate.num, rate.den}, cfg.profile.frameRate);
    t.outRate = {capped.num, capped.den};
    av_reduce(&t.outRate.num, &t.outRate.den, t.outRate.num, t.outRate.den, 1 << 30);
    const std::int64_t firstUs =
        vs->start_time != AV_NOPTS_VALUE ? av_rescale_q(vs->start_time, vs->time_base, AV_TIME_BASE_Q) - t.startUs : 0;
    t.slotShift = SlotShift({t.outRate.num, t.outRate.den}, {rate.num, rate.den}, firstUs);
    m_forecast = CapForecast({t.outRate.num, t.outRate.den}, t.slotShift);
    const AVCodecDescriptor* desc = avcodec_descriptor_get(vs->codecpar->codec_id);
    m_intraOnly = desc && (desc->props & AV_CODEC_PROP_INTRA_ONLY);
    return rc::Ok;
}

bool Source::Shrank() const
{
    return ShrankSinceOpened(m_videoIn) || ShrankSinceOpened(m_audioInOwn);
}

bool Source::SendToDecoder(PassLink& ps, AVCodecContext* dec, const AVPacket* pkt, bool audio)
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
        ps.gate.Wait();
        if (!ps.decoded.Push({std::move(f), audio}))
            return false;
    }
}

// Tells the decoder whether it may leave out the picture of this packet;
// true when the packet need not go to the decoder at all.
bool Source::LeaveOut(const AVPacket* pkt, const AVStream* st)
{
    bool dropped = false;
    if (pkt->pts != AV_NOPTS_VALUE) {
        const std::int64_t us = av_rescale_q(pkt->pts, st->time_base, AV_TIME_BASE_Q) - m_timing.startUs;
        dropped = m_forecast.Dropped(us);
        // A reference picture is decoded whatever the decoder is told, but
        // only a picture sure to reach the scale stage may fill a slot.
        if (!dropped)
            m_forecast.Sent(us);
    }
    if (dropped && m_intraOnly)
        return true;
    m_vdec->skip_frame = dropped ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    return false;
}

void Source::DemuxDecode(PassLink& ps, bool wantVideo, bool wantAudio)
{
    PacketPtr pkt(av_packet_alloc());
    wantAudio = wantAudio && m_audioIn;
    Input* inputs[2] = {&m_videoIn, (wantAudio && m_audioIn != &m_videoIn) ? m_audioIn : nullptr};
    while (pkt && !ps.aborted) {
        ps.gate.Wait();
        Input* in = nullptr;
        for (Input* candidate : inputs) {
            if (candidate && !candidate->done && (!in || candidate->lastUs < in->lastUs))
                in = candidate;
        }
        if (!in)
            break;
        if (av_read_frame(in->fmt.get(), pkt.get()) < 0) {
            // The demuxer calls a failed read an end; it is not one.
            if (in->file->Fault()) {
                ps.Fail(rc::ReadFault);
                break;
            }
            in->done = true;
            continue;
        }
        const AVStream* st = in->fmt->streams[pkt->stream_index];
        if (pkt->dts != AV_NOPTS_VALUE)
            in->lastUs = av_rescale_q(pkt->dts, st->time_base, AV_TIME_BASE_Q);
        bool ok = true;
        if (in == &m_videoIn && pkt->stream_index == in->videoIndex && wantVideo) {
            if (!LeaveOut(pkt.get(), st))
                ok = SendToDecoder(ps, m_vdec.get(), pkt.get(), false);
        } else if (wantAudio && in == m_audioIn && pkt->stream_index == in->audioIndex)
            ok = SendToDecoder(ps, m_adec.get(), pkt.get(), true);
        av_packet_unref(pkt.get());
        if (!ok)
            break;
    }
    if (!ps.aborted) {
        if (wantVideo)
            SendToDecoder(ps, m_vdec.get(), nullptr, false);
        if (wantAudio)
            SendToDecoder(ps, m_adec.get(), nullptr, true);
    }
    ps.decoded.Finish();
}

} // namespace mce::ff
