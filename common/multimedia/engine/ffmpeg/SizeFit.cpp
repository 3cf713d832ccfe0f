#include "SizeFit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace mce::ff {

namespace {

// What the ASF muxer adds to the media bytes, measured on its output: every
// frame is one payload with a 17-byte head, and every 3200-byte data packet
// carries its own head and the head of the fragment that continues in it,
// about 36 bytes.
constexpr double kPayloadHeadBytes = 17;
constexpr double kPacketShare = 36.0 / 3200.0;

// How far the encoder's rate control may run over the rate it was given.
// One pass decides each frame's size as it goes: on noisy pictures wmv2
// was measured up to 12 % over at low rates. The second pass of two plans
// the whole length from the first and lands within about 1 %.
constexpr double kOnePassMargin = 0.12;
constexpr double kTwoPassMargin = 0.03;

// Samples in one wmav2 frame at a sample rate: each frame is one payload.
int WmaFrameSamples(int sampleRate)
{
    if (sampleRate <= 16000)
        return 512;
    if (sampleRate <= 22050)
        return 1024;
    return 2048;
}

} // namespace

FitResult FitToLimit(const FitRequest& r)
{
    FitResult fit;
    fit.videoBitrate = r.videoBitrate;
    fit.videoMaxBitrate = r.videoMaxBitrate;
    fit.videoBuffer = r.videoBuffer;
    if (r.limitBytes <= 0 || r.durationMs <= 0 || r.videoBitrate <= 0)
        return fit;

    const double seconds = static_cast<double>(r.durationMs) / 1000.0;
    double payloadsPerSecond = std::max(r.frameRate, 0.0);
    const bool audio = r.audioBitrate > 0 && r.sampleRate > 0;
    if (audio)
        payloadsPerSecond += static_cast<double>(r.sampleRate) / WmaFrameSamples(r.sampleRate);

    // Bytes a second the media may take: what the limit leaves after the
    // fixed part, less the payload heads, less the packets' share.
    const double room = static_cast<double>(r.limitBytes - r.fixedBytes);
    const double mediaPerSecond = (room / seconds - payloadsPerSecond * kPayloadHeadBytes) / (1.0 + kPacketShare);
    const double videoBits = mediaPerSecond * 8.0 - (audio ? r.audioBitrate : 0);
    const double wanted = videoBits / (1.0 + (r.twoPass ? kTwoPassMargin : kOnePassMargin));
    if (wanted >= r.videoBitrate)
        return fit;

    const int floor = std::min(kFitFloorBitrate, r.videoBitrate);
    fit.lowered = true;
    fit.whole = wanted >= floor;
    fit.videoBitrate = fit.whole ? static_cast<int>(wanted) : floor;
    const double share = static_cast<double>(fit.videoBitrate) / r.videoBitrate;
    fit.videoMaxBitrate = static_cast<int>(std::lround(r.videoMaxBitrate * share));
    fit.videoBuffer = static_cast<int>(std::lround(r.videoBuffer * share));
    return fit;
}

int SecondPassFloor(std::string_view passLog, double frameRate)
{
    // The quantiser is logged in lambda units (118 a step); key frames stop
    // at 0.8 of the coarsest step, other frames at step 31. Texture bits
    // scale with the inverse of the quantiser, motion and the rest stay.
    constexpr double kLambdaStep = 118;
    constexpr double kCoarsest = 31 * kLambdaStep;
    constexpr double kKeyFactor = 0.8;
    constexpr int kKeyFrame = 1;
    // Above the estimate, so that the plan converges rather than ending
    // at the coarsest quantiser on every frame.
    constexpr double kRoom = 1.15;

    double bits = 0;
    long frames = 0;
    std::size_t start = 0;
    while (start < passLog.size()) {
        const std::size_t end = std::min(passLog.find(';', start), passLog.size());
        const std::string entry(passLog.substr(start, end - start));
        start = end + 1;
        int type = 0;
        double q = 0;
        long itex = 0, ptex = 0, mv = 0, misc = 0;
        if (std::sscanf(entry.c_str(), " in:%*d out:%*d type:%d q:%lf itex:%ld ptex:%ld mv:%ld misc:%ld", &type, &q,
                        &itex, &ptex, &mv, &misc) != 6)
            continue;
        const double coarsest = type == kKeyFrame ? kCoarsest * kKeyFactor : kCoarsest;
        bits += q * static_cast<double>(itex + ptex + 1) / coarsest + static_cast<double>(mv + misc);
        ++frames;
    }
    if (frames == 0 || frameRate <= 0)
        return 0;
    return static_cast<int>(std::ceil(bits * frameRate / static_cast<double>(frames) * kRoom));
}

} // namespace mce::ff
