#include "FfLength.h"

#include <algorithm>
#include <vector>

namespace mce::ff {
namespace {

constexpr int kPoints = 64;                     // byte steps through the file
constexpr std::int64_t kTailBytes = 1 << 21;    // read whole at the end
constexpr int kPacketsPerPoint = 512;           // to find a stamped picture after a seek
constexpr std::int64_t kRestartUs = 10'000'000; // as the picture timing takes a jump ahead

struct Mark {
    std::int64_t pos = 0;
    std::int64_t us = 0;
};

std::int64_t StampUs(const AVPacket* pkt, const AVStream* st)
{
    const std::int64_t t = pkt->dts != AV_NOPTS_VALUE ? pkt->dts : pkt->pts;
    return t == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : av_rescale_q(t, st->time_base, AV_TIME_BASE_Q);
}

bool SeekToByte(AVFormatContext* fmt, std::int64_t pos)
{
    return avformat_seek_file(fmt, -1, INT64_MIN, pos, INT64_MAX, AVSEEK_FLAG_BYTE) >= 0;
}

// The first stamped picture at or after pos.
bool MarkAt(AVFormatContext* fmt, int videoIndex, std::int64_t pos, AVPacket* pkt, Mark* mark)
{
    if (!SeekToByte(fmt, pos))
        return false;
    for (int n = 0; n < kPacketsPerPoint && av_read_frame(fmt, pkt) >= 0; ++n) {
        const std::int64_t us =
            pkt->stream_index == videoIndex ? StampUs(pkt, fmt->streams[videoIndex]) : AV_NOPTS_VALUE;
        const std::int64_t at = pkt->pos >= 0 ? pkt->pos : pos;
        av_packet_unref(pkt);
        if (us != AV_NOPTS_VALUE) {
            *mark = {at, us};
            return true;
        }
    }
    return false;
}

// The time the pictures from pos to the end cover, read packet by packet:
// steps ahead of more than a restart or back count nothing.
bool TailFrom(AVFormatContext* fmt, int videoIndex, std::int64_t pos, AVPacket* pkt, Mark* first, std::int64_t* us,
              bool* jumped)
{
    if (!SeekToByte(fmt, pos))
        return false;
    std::int64_t last = AV_NOPTS_VALUE, lastDuration = 0;
    *us = 0;
    while (av_read_frame(fmt, pkt) >= 0) {
        const AVStream* st = fmt->streams[pkt->stream_index];
        const std::int64_t t = pkt->stream_index == videoIndex ? StampUs(pkt, st) : AV_NOPTS_VALUE;
        if (t != AV_NOPTS_VALUE) {
            if (last == AV_NOPTS_VALUE)
                *first = {pkt->pos >= 0 ? pkt->pos : pos, t};
            else if (t >= last && t - last <= kRestartUs)
                *us += t - last;
            else
                *jumped = true;
            last = t;
            lastDuration = av_rescale_q(std::max<std::int64_t>(pkt->duration, 0), st->time_base, AV_TIME_BASE_Q);
        }
        av_packet_unref(pkt);
    }
    if (last == AV_NOPTS_VALUE)
        return false;
    *us += lastDuration;
    return true;
}

} // namespace

bool LengthMayBeWrong(const AVFormatContext* fmt)
{
    return (fmt->iformat->flags & AVFMT_TS_DISCONT) || fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE;
}

std::int64_t ScanLengthUs(AVFormatContext* fmt, int videoIndex, bool* jumped)
{
    *jumped = false;
    const std::int64_t size = fmt->pb ? avio_size(fmt->pb) : -1;
    PacketPtr pkt(av_packet_alloc());
    if (size <= 0 || !pkt || videoIndex < 0)
        return 0;
    const std::int64_t tailPos = std::max<std::int64_t>(0, size - kTailBytes);
    std::vector<Mark> marks;
    for (int i = 0; i < kPoints; ++i) {
        const std::int64_t pos = size * i / kPoints;
        Mark m;
        if (pos >= tailPos)
            break;
        if (MarkAt(fmt, videoIndex, pos, pkt.get(), &m) && m.pos < tailPos &&
            (marks.empty() || m.pos > marks.back().pos))
            marks.push_back(m);
    }
    Mark tailStart;
    std::int64_t tailUs = 0;
    if (!TailFrom(fmt, videoIndex, tailPos, pkt.get(), &tailStart, &tailUs, jumped))
        return 0;
    marks.push_back(tailStart);

    // The usual time a byte stands for, from the stretches that went forward.
    std::vector<double> rates;
    for (std::size_t i = 1; i < marks.size(); ++i) {
        const std::int64_t dt = marks[i].us - marks[i - 1].us, dp = marks[i].pos - marks[i - 1].pos;
        if (dt > 0 && dp > 0)
            rates.push_back(static_cast<double>(dt) / static_cast<double>(dp));
    }
    if (rates.empty())
        return marks.size() == 1 ? tailUs : 0;
    std::nth_element(rates.begin(), rates.begin() + rates.size() / 2, rates.end());
    const double usPerByte = rates[rates.size() / 2];

    // A variable rate makes a quiet stretch several times longer than the
    // usual; a jump is far more than that.
    double total = static_cast<double>(tailUs);
    for (std::size_t i = 1; i < marks.size(); ++i) {
        const auto dt = static_cast<double>(marks[i].us - marks[i - 1].us);
        const double usual = usPerByte * static_cast<double>(marks[i].pos - marks[i - 1].pos);
        const bool plausible = dt > 0 && dt <= 8 * usual + kRestartUs;
        total += plausible ? dt : usual;
        *jumped = *jumped || !plausible;
    }
    return static_cast<std::int64_t>(total);
}

} // namespace mce::ff
