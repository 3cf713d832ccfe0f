#include "FfmpegEngine.h"

#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

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
};

} // namespace

IEngineFactory& FfmpegEngineFactory()
{
    static FfmpegFactory factory;
    return factory;
}

} // namespace mce
