// mr-convert: one single-file conversion without a window.
//
//   mr-convert --source FILE --output FILE [--resolution 0|1|2|3] [--quality 1|2|3]
//              [--crop L,T,R,B] [--two-pass] [--limit-card 0|1|2] [--limit-bytes N]
//              [--title T] [--author A] [--copyright C] [--description D]
//   mr-convert --source FILE --detect-crop
//
// --detect-crop converts nothing: it prints the black borders of the
// source's picture as {"left": L, "top": T, "right": R, "bottom": B}, the
// margins --crop takes, and exits 0 (1 when the source cannot be read).
// --limit-bytes sets the size limit to N bytes instead of a card's size.
// Prints {"result": <code>, "media_ms": N, "bytes": N, "wall_s": S,
// "video_bps": N, "card_full": B, "kept_ms": N} and exits 0 when the engine
// stopped by itself after a clean run with the whole source in the file
// (video_bps: the video rate when it is not the profile's, lowered to fit
// the limit or raised for a second pass; 0 for the profile's).
// A limit reached before the source's end exits 3 with card_full true and
// kept_ms the length in the file; any other failure prints the encoder's
// error text on stderr and exits 1 (2 for bad arguments).
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "ConvertRecipes.h"
#include "CxList.h"
#include "CxWMEncoder.h"
#include "FfmpegEngine.h"
#include "MROption.h"
#include "TextUtil.h"

namespace {

int Usage(const char* why)
{
    std::fprintf(stderr,
                 "mr-convert: %s\n"
                 "usage: mr-convert --source FILE --output FILE [--resolution 0|1|2|3] [--quality 1|2|3]\n"
                 "       [--crop L,T,R,B] [--two-pass] [--limit-card 0|1|2] [--limit-bytes N] [--title T]\n"
                 "       [--author A] [--copyright C] [--description D]\n"
                 "       mr-convert --source FILE --detect-crop\n",
                 why);
    return 2;
}

bool ParseInt(const char* text, int lo, int hi, std::int32_t* out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < lo || v > hi)
        return false;
    *out = static_cast<std::int32_t>(v);
    return true;
}

bool ParseCrop(const char* text, MROption* opt)
{
    std::int32_t* fields[4] = {&opt->nCropLeft, &opt->nCropTop, &opt->nCropRight, &opt->nCropBottom};
    std::string rest = text;
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = rest.find(',');
        if ((i < 3) == (comma == std::string::npos))
            return false;
        if (!ParseInt(rest.substr(0, comma).c_str(), 0, 100000, fields[i]))
            return false;
        rest = comma == std::string::npos ? std::string() : rest.substr(comma + 1);
    }
    opt->bCrop = 1;
    return true;
}

// Copies a text argument into its field, refusing what does not fit whole.
template <std::size_t N> bool Take(char (&field)[N], const char* text)
{
    if (!cx::FitsField(text, N))
        return false;
    cx::CopyText(field, text);
    return true;
}

int Fail(CxWMEncoder& enc, const char* fallback)
{
    const std::string text = enc.GetErrorText();
    std::fprintf(stderr, "%s\n", text.empty() ? fallback : text.c_str());
    if (enc.GetLastResult() == mce::rc::SizeLimitTooSmall)
        std::fprintf(stderr, "the size limit cannot hold one second of the video at this screen size and quality\n");
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    MROption opt = MakeOption();
    RunItem item;
    std::memset(&item, 0, sizeof item);
    std::int32_t quality = mr::kQualityMedium;
    bool haveSource = false;
    bool haveOutput = false;
    std::int32_t limitBytes = 0; // 0: the card's size
    bool detectCrop = false;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--two-pass") {
            opt.bTwoPass = 1;
            continue;
        }
        if (a == "--detect-crop") {
            detectCrop = true;
            continue;
        }
        if (i + 1 >= argc)
            return Usage(("missing value for " + a).c_str());
        const char* v = argv[++i];
        bool ok = true;
        if (a == "--source")
            ok = haveSource = Take(item.szSource, v) && *v;
        else if (a == "--output")
            ok = haveOutput = Take(opt.szOutputFile, v) && *v;
        else if (a == "--resolution")
            ok = ParseInt(v, 0, 3, &opt.nResolution);
        else if (a == "--quality")
            ok = ParseInt(v, 1, 3, &quality);
        else if (a == "--crop")
            ok = ParseCrop(v, &opt);
        else if (a == "--limit-card")
            ok = ParseInt(v, 0, 2, &opt.nCardSize) && (opt.bLimitSize = 1);
        else if (a == "--limit-bytes")
            ok = ParseInt(v, 1, INT32_MAX, &limitBytes) && (opt.bLimitSize = 1);
        else if (a == "--title")
            ok = Take(opt.szTitle, v);
        else if (a == "--author")
            ok = Take(opt.szAuthor, v);
        else if (a == "--copyright")
            ok = Take(opt.szCopyright, v);
        else if (a == "--description")
            ok = Take(opt.szDescription, v);
        else
            return Usage(("unknown argument " + a).c_str());
        if (!ok)
            return Usage(("bad value for " + a).c_str());
    }
    if (!haveSource || (!haveOutput && !detectCrop))
        return Usage("--source and --output are required");

    // Past a file size limit a write then fails with EFBIG, which the engine
    // reports like a full disc, instead of the signal ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    mce::InstallFactory(&mce::FfmpegEngineFactory());
    const auto t0 = std::chrono::steady_clock::now();
    CxWMEncoder enc;
    if (!enc.IsAvailable())
        return Fail(enc, "the encoding engine is not available");
    if (detectCrop) {
        mce::CropMargins m;
        if (!enc.DetectCrop(item.szSource, &m))
            return Fail(enc, "the source's picture could not be read");
        std::printf("{\"left\": %d, \"top\": %d, \"right\": %d, \"bottom\": %d}\n", static_cast<int>(m.left),
                    static_cast<int>(m.top), static_cast<int>(m.right), static_cast<int>(m.bottom));
        return 0;
    }
    if (!enc.LoadEngineProfiles())
        return Fail(enc, "the engine's profiles could not be read");

    CxList runList;
    runList.Add(&item);
    bool started = recipe::AddSources(enc, &runList, opt, quality) > 0;
    if (started) {
        recipe::ApplyOutputSettings(enc, opt);
        if (limitBytes > 0)
            enc.SetSizeLimit(limitBytes);
        started = recipe::PrepareAndStart(enc);
    }
    runList.RemoveAll(false);
    if (!started)
        return Fail(enc, "the conversion could not be started");

    mce::RunState state;
    while ((state = enc.GetRunState()) == mce::RunState::Encoding || state == mce::RunState::Paused)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    // A failure while encoding is now the session's code.
    const std::int32_t result = enc.GetLastResult();
    if (state != mce::RunState::Stopped || result < 0)
        return Fail(enc, "the conversion did not finish");
    const std::int32_t mediaMs = enc.GetDuration();
    const std::int64_t bytes = enc.GetFileBytes();
    mce::SizeFit fit;
    enc.GetSizeFit(&fit);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("{\"result\": %d, \"media_ms\": %d, \"bytes\": %lld, \"wall_s\": %.3f, \"video_bps\": %d, "
                "\"card_full\": %s, \"kept_ms\": %lld}\n",
                static_cast<int>(result), static_cast<int>(mediaMs), static_cast<long long>(bytes), wall,
                static_cast<int>(fit.videoBitrate), fit.full ? "true" : "false", static_cast<long long>(fit.keptMs));
    if (fit.full) {
        std::fprintf(stderr, "the size limit was reached: the file holds %lld ms of the source\n",
                     static_cast<long long>(fit.keptMs));
        return 3;
    }
    return 0;
}
