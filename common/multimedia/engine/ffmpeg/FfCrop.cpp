#include "FfCrop.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "FfFilter.h"
#include "FfSource.h"

namespace mce::ff {
namespace {

constexpr int kSamples = 10;       // pictures looked at, spread over the source
constexpr int kUsableNeeded = 3;   // fewer judged pictures propose nothing
constexpr int kDarkBelow = 32;     // a border line's mean luma is below this
constexpr int kFlatWithin = 16;    // and none of its pixels is further from it
constexpr int kBlack = 16;         // limited range: nothing is darker than black
constexpr int kFramesPastKey = 12; // decoded after a seek to come near its point
constexpr int kPacketsPerSample = 600;

// A border line is dark and flat: a dark scene has detail somewhere along it.
template <class Pixel> bool IsBorderLine(int length, Pixel pixel)
{
    if (length <= 0)
        return false;
    long sum = 0;
    for (int i = 0; i < length; ++i)
        sum += std::max<int>(kBlack, pixel(i));
    if (sum >= static_cast<long>(kDarkBelow) * length)
        return false;
    const int mean = static_cast<int>(sum / length);
    for (int i = 0; i < length; ++i) {
        if (std::abs(std::max<int>(kBlack, pixel(i)) - mean) > kFlatWithin)
            return false;
    }
    return true;
}

// The border on one side: lines from the edge inward that are border, -1
// when they reach a quarter of the picture. The outer 1% is not looked at:
// an analogue capture's edge lines are noise, and they go with the border.
template <class Line> int SideBorder(int lines, Line isBorder)
{
    const int quarter = lines / 4;
    int i = lines / 100;
    while (i < lines && isBorder(i)) {
        if (++i >= quarter)
            return -1;
    }
    return i == lines / 100 ? 0 : i;
}

// The next picture after a seek: the first whole one, and with a time to
// come near, the first at or after it (or a few past the key picture).
FramePtr NextPicture(Input& in, AVCodecContext* dec, std::int64_t target, Result* failure)
{
    PacketPtr pkt(av_packet_alloc());
    FramePtr f(av_frame_alloc());
    if (!pkt || !f) {
        *failure = rc::OutOfMemory;
        return nullptr;
    }
    bool keySeen = false, ended = false;
    int past = 0;
    for (int packets = 0; packets < kPacketsPerSample;) {
        if (!ended) {
            if (av_read_frame(in.fmt.get(), pkt.get()) < 0) {
                // The demuxer calls a failed read an end; it is not one.
                if (in.file->Fault()) {
                    *failure = rc::ReadFault;
                    return nullptr;
                }
                ended = true;
                avcodec_send_packet(dec, nullptr);
            } else {
                if (pkt->stream_index == in.videoIndex) {
                    ++packets;
                    avcodec_send_packet(dec, pkt.get()); // a damaged packet is only skipped
                }
                av_packet_unref(pkt.get());
            }
        }
        while (avcodec_receive_frame(dec, f.get()) >= 0) {
            keySeen = keySeen || f->key_frame;
            if (!keySeen || (f->flags & AV_FRAME_FLAG_CORRUPT)) {
                av_frame_unref(f.get());
                continue;
            }
            const std::int64_t pts = f->best_effort_timestamp;
            if (target == AV_NOPTS_VALUE || pts == AV_NOPTS_VALUE || pts >= target || ++past >= kFramesPastKey)
                return f;
            av_frame_unref(f.get());
        }
        if (ended)
            break;
    }
    return nullptr;
}

} // namespace

bool BordersOfPicture(const LumaPlane& p, CropMargins* m)
{
    const auto at = [&p](int x, int y) { return p.data[static_cast<std::ptrdiff_t>(y) * p.linesize + x]; };
    const int top = SideBorder(p.height, [&](int i) { return IsBorderLine(p.width, [&](int x) { return at(x, i); }); });
    const int bottom = SideBorder(
        p.height, [&](int i) { return IsBorderLine(p.width, [&](int x) { return at(x, p.height - 1 - i); }); });
    const int left =
        SideBorder(p.width, [&](int i) { return IsBorderLine(p.height, [&](int y) { return at(i, y); }); });
    const int right = SideBorder(
        p.width, [&](int i) { return IsBorderLine(p.height, [&](int y) { return at(p.width - 1 - i, y); }); });
    if (top < 0 || bottom < 0 || left < 0 || right < 0)
        return false;
    *m = {left, top, right, bottom};
    return true;
}

Result DetectCrop(const std::string& path, CropMargins* margins)
{
    if (!margins)
        return rc::InvalidArg;
    *margins = {};
    Input in;
    if (Result r = Source::OpenInput(path, &in); Failed(r))
        return r;
    if (in.videoIndex < 0)
        return rc::SourceNotWorking;
    AVFormatContext* fmt = in.fmt.get();
    AVStream* vs = fmt->streams[in.videoIndex];
    CodecPtr dec;
    if (Result r = OpenDecoder(vs, &dec); Failed(r))
        return r;
    // Borders are those of the picture as it is shown, in the pixels the
    // margins count: turned upright, luma only.
    const SourcePicture pic = PictureOf(vs);
    const std::string upright = pic.orientation.empty() ? "format=gray" : pic.orientation + ",format=gray";

    // A program stream's clock may jump or restart (joined title files):
    // its points are taken by bytes, other files' by time.
    const std::int64_t bytes = avio_size(fmt->pb);
    const bool byBytes = ((fmt->iformat->flags & AVFMT_TS_DISCONT) || fmt->duration <= 0) &&
                         !(fmt->iformat->flags & AVFMT_NO_BYTE_SEEK) && bytes > 0;
    const std::int64_t start = fmt->start_time != AV_NOPTS_VALUE ? fmt->start_time : 0;
    if (!byBytes && fmt->duration <= 0)
        return rc::SourceNotWorking;

    FilterChain chain;
    FramePtr gray(av_frame_alloc());
    if (!gray)
        return rc::OutOfMemory;
    std::vector<CropMargins> found;
    std::vector<std::int64_t> seen;
    for (int i = 0; i < kSamples; ++i) {
        std::int64_t target = AV_NOPTS_VALUE;
        int sought;
        if (byBytes) {
            sought =
                avformat_seek_file(fmt, -1, INT64_MIN, bytes * (i + 1) / (kSamples + 1), INT64_MAX, AVSEEK_FLAG_BYTE);
        } else {
            const std::int64_t us = start + fmt->duration * (i + 1) / (kSamples + 1);
            target = av_rescale_q(us, AV_TIME_BASE_Q, vs->time_base);
            sought = avformat_seek_file(fmt, -1, INT64_MIN, us, us, 0);
        }
        if (sought < 0)
            continue;
        avcodec_flush_buffers(dec.get());
        Result failure = rc::Ok;
        FramePtr f = NextPicture(in, dec.get(), target, &failure);
        if (Failed(failure))
            return failure;
        if (!f)
            continue;
        // Points that fall between the same two key pictures give the
        // same picture; it counts once.
        const std::int64_t pts = f->best_effort_timestamp;
        if (pts != AV_NOPTS_VALUE && std::find(seen.begin(), seen.end(), pts) != seen.end())
            continue;
        seen.push_back(pts);
        if ((!chain.IsOpen() || !chain.Fits(f.get())) && chain.Open(f.get(), vs->time_base, upright) < 0)
            return rc::SourceNotWorking;
        if (chain.Send(f.get()) < 0 || chain.Receive(gray.get()) < 0)
            return rc::SourceNotWorking;
        CropMargins m;
        if (BordersOfPicture({gray->data[0], gray->linesize[0], gray->width, gray->height}, &m))
            found.push_back(m);
        av_frame_unref(gray.get());
    }
    if (found.size() < kUsableNeeded)
        return rc::Ok;
    // Each side keeps what any picture shows there: a dark scene or a
    // wider shot in one picture must not be cut. Even numbers, rounded so
    // that picture is kept.
    CropMargins m = found.front();
    for (const CropMargins& f : found) {
        m.left = std::min(m.left, f.left);
        m.top = std::min(m.top, f.top);
        m.right = std::min(m.right, f.right);
        m.bottom = std::min(m.bottom, f.bottom);
    }
    *margins = {m.left & ~1, m.top & ~1, m.right & ~1, m.bottom & ~1};
    return rc::Ok;
}

} // namespace mce::ff
