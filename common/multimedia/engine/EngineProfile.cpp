#include "EngineProfile.h"

#include <array>
#include <charconv>

namespace mce {
namespace {

struct Field {
    const char* key;
    int EngineProfile::*member;
};

constexpr std::array<Field, 11> kFields{{
    {"width", &EngineProfile::width},
    {"height", &EngineProfile::height},
    {"frame_rate", &EngineProfile::frameRate},
    {"video_bitrate", &EngineProfile::videoBitrate},
    {"video_max_bitrate", &EngineProfile::videoMaxBitrate},
    {"video_buffer", &EngineProfile::videoBuffer},
    {"quality", &EngineProfile::quality},
    {"keyframe_interval", &EngineProfile::keyframeInterval},
    {"audio_bitrate", &EngineProfile::audioBitrate},
    {"sample_rate", &EngineProfile::sampleRate},
    {"channels", &EngineProfile::channels},
}};

std::string_view Trim(std::string_view s)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

Result Bad(std::string* error, int line, const std::string& why)
{
    if (error)
        *error = "line " + std::to_string(line) + ": " + why;
    return rc::BadProfileFile;
}

bool IsNameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ' ';
}

} // namespace

Result ParseEngineProfile(std::string_view text, EngineProfile* profile, std::string* error)
{
    if (!profile)
        return rc::InvalidArg;
    EngineProfile parsed;
    std::array<bool, kFields.size()> seen{};
    bool seenName = false;
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
        if (const std::size_t hash = line.find('#'); hash != std::string_view::npos)
            line = line.substr(0, hash);
        line = Trim(line);
        if (line.empty())
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return Bad(error, lineNo, "expected key = value");
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key == "name") {
            if (seenName)
                return Bad(error, lineNo, "name given twice");
            if (value.empty() || value.size() > 255)
                return Bad(error, lineNo, "name must have 1 to 255 characters");
            for (char c : value) {
                if (!IsNameChar(c))
                    return Bad(error, lineNo, "name holds a character other than letters, digits, space, _ - .");
            }
            parsed.name = std::string(value);
            seenName = true;
            continue;
        }
        std::size_t i = 0;
        while (i < kFields.size() && key != kFields[i].key)
            ++i;
        if (i == kFields.size())
            return Bad(error, lineNo, "unknown key '" + std::string(key) + "'");
        if (seen[i])
            return Bad(error, lineNo, std::string(key) + " given twice");
        int number = 0;
        const char* first = value.data();
        const char* last = value.data() + value.size();
        const auto [end, ec] = std::from_chars(first, last, number);
        if (value.empty() || ec != std::errc() || end != last || number < 0)
            return Bad(error, lineNo, std::string(key) + " must be a whole number from 0 to 2147483647");
        parsed.*kFields[i].member = number;
        seen[i] = true;
    }
    if (!seenName)
        return Bad(error, lineNo, "name is missing");
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (!seen[i])
            return Bad(error, lineNo, std::string(kFields[i].key) + " is missing");
    }
    *profile = std::move(parsed);
    if (error)
        error->clear();
    return rc::Ok;
}

Result ValidateEngineProfile(const EngineProfile& p)
{
    if (!p.HasVideo() && !p.HasAudio())
        return rc::ProfileWithoutStreams;
    if (p.HasVideo()) {
        // wmv2 takes even sizes only; bounds keep buffers reasonable.
        if (p.width < 16 || p.width > 1920 || p.width % 2 != 0)
            return rc::BadProfileFile;
        if (p.height < 16 || p.height > 1088 || p.height % 2 != 0)
            return rc::InvalidVideoHeight;
        if (p.frameRate < 1 || p.frameRate > 60)
            return rc::BadProfileFile;
        if (p.videoBitrate < 8000 || p.videoBitrate > 20000000 || p.videoMaxBitrate < p.videoBitrate ||
            p.videoMaxBitrate > 40000000)
            return rc::InvalidVideoBitrate;
        // The buffer must hold at least one average frame, or rate control
        // cannot work at all.
        if (p.videoBuffer < p.videoBitrate / p.frameRate || p.videoBuffer > 80000000)
            return rc::InvalidVideoBuffer;
        if (p.quality > 100)
            return rc::InvalidVideoQuality;
        if (p.keyframeInterval < 1 || p.keyframeInterval > 60)
            return rc::BadProfileFile;
    }
    if (p.HasAudio()) {
        // wmav2 refuses less than 24 kbit/s.
        if (p.audioBitrate < 24000 || p.audioBitrate > 384000)
            return rc::BadProfileFile;
        switch (p.sampleRate) {
        case 8000:
        case 11025:
        case 16000:
        case 22050:
        case 32000:
        case 44100:
        case 48000:
            break;
        default:
            return rc::BadProfileFile;
        }
        if (p.channels < 1 || p.channels > 2)
            return rc::BadProfileFile;
    }
    return rc::Ok;
}

bool ResizeEngineProfile(EngineProfile* p, int width, int height)
{
    if (!p || p->width <= 0 || p->height <= 0 || width <= 0 || height <= 0)
        return false;
    const long double scale =
        (static_cast<long double>(width) * height) / (static_cast<long double>(p->width) * p->height);
    auto scaled = [scale](int v) {
        const long double r = v * scale + 0.5L;
        return r >= 2147483647.0L ? 2147483647 : static_cast<int>(r);
    };
    p->videoBitrate = scaled(p->videoBitrate);
    p->videoMaxBitrate = scaled(p->videoMaxBitrate);
    p->videoBuffer = scaled(p->videoBuffer);
    p->width = width;
    p->height = height;
    return true;
}

std::string FormatEngineProfile(const EngineProfile& p)
{
    std::string text = "name = " + p.name + "\n";
    for (const Field& f : kFields)
        text += std::string(f.key) + " = " + std::to_string(p.*f.member) + "\n";
    return text;
}

const std::vector<EngineProfile>& BuiltInEngineProfiles()
{
    // Low, medium, high for each screen; a key frame every 5 seconds, peak
    // rate 1.5 times and buffer 2 times the video bit rate.
    struct Row {
        const char* name;
        int width, height, fps, videoKbps, audioKbps, hz, channels, quality;
    };
    static const Row rows[] = {
        {"MRProf1v", 208, 160, 15, 96, 32, 22050, 1, 70},    {"MRProf2v", 208, 160, 15, 160, 48, 44100, 2, 80},
        {"MRProf3v", 208, 160, 20, 256, 64, 44100, 2, 90},   {"MRProf1h", 320, 240, 15, 200, 32, 32000, 2, 70},
        {"MRProf2h", 320, 240, 20, 400, 64, 44100, 2, 80},   {"MRProf3h", 320, 240, 25, 700, 96, 44100, 2, 90},
        {"MRProf1x", 640, 480, 15, 600, 64, 44100, 2, 70},   {"MRProf2x", 640, 480, 25, 1200, 96, 44100, 2, 80},
        {"MRProf3x", 640, 480, 30, 2000, 128, 44100, 2, 90},
    };
    static const std::vector<EngineProfile> profiles = [] {
        std::vector<EngineProfile> list;
        for (const Row& r : rows) {
            EngineProfile p;
            p.name = r.name;
            p.width = r.width;
            p.height = r.height;
            p.frameRate = r.fps;
            p.videoBitrate = r.videoKbps * 1000;
            p.videoMaxBitrate = r.videoKbps * 1500;
            p.videoBuffer = r.videoKbps * 2000;
            p.quality = r.quality;
            p.keyframeInterval = 5;
            p.audioBitrate = r.audioKbps * 1000;
            p.sampleRate = r.hz;
            p.channels = r.channels;
            list.push_back(p);
        }
        return list;
    }();
    return profiles;
}

} // namespace mce
