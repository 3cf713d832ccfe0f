#include "FfmpegEngine.h"

#include <sys/stat.h>

#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "FfCrop.h"
#include "FfDvd.h"
#include "FfEncoder.h"
#include "FfProfile.h"

namespace mce {
namespace {

// Starts per thread, counted like a component runtime: every successful
// Initialize is balanced by one Uninitialize.
thread_local int t_initCount = 0;

class FfmpegFactory final : public IEngineFactory {
public:
    Result Initialize() override
    {
        static std::once_flag once;
        std::call_once(once, [] {
            // FFmpeg's notes on damaged source packets would land on the
            // program's standard error; the engine reports failures itself.
            av_log_set_level(AV_LOG_FATAL);
        });
        return t_initCount++ == 0 ? rc::Ok : rc::False;
    }
    void Uninitialize() override
    {
        if (t_initCount > 0)
            --t_initCount;
    }
    Result CreateEncoder(std::shared_ptr<IEncoder>* encoder) override
    {
        if (!encoder)
            return rc::InvalidArg;
        if (t_initCount == 0)
            return rc::NotInitialized;
        *encoder = std::make_shared<ff::FfEncoder>();
        return rc::Ok;
    }
    Result CreateProfile(std::shared_ptr<IProfile>* profile) override
    {
        if (!profile)
            return rc::InvalidArg;
        if (t_initCount == 0)
            return rc::NotInitialized;
        *profile = std::make_shared<ff::FfProfile>();
        return rc::Ok;
    }
    Result GetDisplaySize(const char* path, std::int32_t* width, std::int32_t* height) override
    {
        if (!path || !width || !height)
            return rc::InvalidArg;
        // Only plain files: a pipe would block the window asking.
        struct stat st {};
        if (stat(path, &st) != 0 || !S_ISREG(st.st_mode))
            return rc::SourceNotWorking;
        AVFormatContext* fmt = nullptr;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const int opened = avformat_open_input(&fmt, (std::string("file:") + path).c_str(), nullptr, &options);
        av_dict_free(&options);
        if (opened < 0)
            return rc::SourceNotWorking;
        Result r = rc::SourceNotWorking;
        const int index = avformat_find_stream_info(fmt, nullptr) < 0
                              ? -1
                              : av_find_best_stream(fmt, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (index >= 0) {
            AVStream* st = fmt->streams[index];
            const int w = st->codecpar->width, h = st->codecpar->height;
            const AVRational sar = av_guess_sample_aspect_ratio(fmt, st, nullptr);
            if (w > 0 && h > 0) {
                *width = sar.num > 0 && sar.den > 0 ? static_cast<std::int32_t>(av_rescale(w, sar.num, sar.den)) : w;
                *height = h;
                r = rc::Ok;
            }
        }
        avformat_close_input(&fmt);
        return r;
    }
    Result DetectCrop(const char* path, CropMargins* margins) override
    {
        if (!path || !margins)
            return rc::InvalidArg;
        return ff::DetectCrop(path, margins);
    }
    Result GetTitleLength(const char* vobPath, std::int64_t* milliseconds) override
    {
        if (!vobPath || !milliseconds)
            return rc::InvalidArg;
        *milliseconds = 0;
        if (!ff::IsTitleVob(vobPath, nullptr))
            return rc::False;
        std::vector<ff::DvdTitle> titles;
        std::string disc;
        Result r;
        if (const ff::DvdTitle* title = ff::TitleOfSource(vobPath, true, &titles, &disc, &r))
            *milliseconds = title->lengthUs / 1000;
        return r;
    }
    Result GetSourceAudio(const char* path, bool wholeTitle, std::vector<AudioChoice>* streams,
                          std::int32_t* chosen) override
    {
        if (!path || !streams || !chosen)
            return rc::InvalidArg;
        streams->clear();
        *chosen = 0;
        std::vector<ff::DvdTitle> titles;
        std::string disc;
        Result r;
        const ff::DvdTitle* title = ff::TitleOfSource(path, wholeTitle, &titles, &disc, &r);
        if (!title)
            return r;
        for (const ff::DvdAudio& a : title->audio)
            streams->push_back({a.streamId, a.language, a.commentary});
        if (const ff::DvdAudio* a = ff::ChooseAudio(*title, ff::UserLanguage()))
            *chosen = a->streamId;
        return rc::Ok;
    }
};

} // namespace

IEngineFactory& FfmpegEngineFactory()
{
    static FfmpegFactory factory;
    return factory;
}

} // namespace mce
