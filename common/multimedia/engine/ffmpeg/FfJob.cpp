#include "FfJob.h"

#include <pthread.h>

#include <algorithm>
#include <mutex>

#include "FfAudio.h"
#include "FfOutput.h"
#include "FfSource.h"
#include "FfVideo.h"
#include "SizeFit.h"

namespace mce::ff {

// One pass through the pipeline: what its threads share, and each stage's
// state under the thread that owns it.
struct Pass {
    Pass(int n, PauseGate& gate, std::size_t pictureSlots) : link(n, gate, pictureSlots) {}
    PassLink link;
    VideoEncoder video;                        // encode thread
    AudioEncoder audio;                        // controller thread
    std::unique_ptr<VideoScaler> scaler;       // scale thread
    std::unique_ptr<AudioResampler> resampler; // scale thread
    std::unique_ptr<Muxer> muxer;              // controller thread
};

struct Job::Impl {
    Impl(JobConfig config, std::shared_ptr<Counters> c) : cfg(std::move(config)), counters(std::move(c)), file(counters)
    {
    }
    JobConfig cfg;
    std::shared_ptr<Counters> counters;

    // The controller thread's, except while a pass runs: then the decode
    // thread reads the source.
    Source source;
    OutputFile file;
    std::string passLog; // rate control statistics of the first pass
    std::int64_t firstPassMs = 0;

    // Control
    std::thread controller;
    PauseGate gate;
    std::atomic<bool> stopRequested{false};
    std::function<void(Result)> onDone;
    std::mutex stopMutex;
    Pass* current = nullptr; // guarded by stopMutex

    Result Prepare();
    void Run();
    Result RunPass(int pass);
    Result OpenPass(Pass& ps);
    EngineProfile RatedProfile(int pass, AVRational outRate);
};

namespace {

// The encoder's input runs dry whenever the scale thread waits for its core,
// and each wait costs both threads a wake-up: a dozen small pictures ride
// those out, and never more than 8 MB of them.
std::size_t PictureSlots(const EngineProfile& p)
{
    const std::size_t bytes = std::max<std::size_t>(1, static_cast<std::size_t>(p.width) * p.height * 3 / 2);
    return std::clamp<std::size_t>((std::size_t{8} << 20) / bytes, 4, 12);
}

// The scale thread: pictures to the video scaler, sound to the resampler.
void ScaleResample(Pass& ps)
{
    PassLink& link = ps.link;
    Decoded item;
    while (link.decoded.Pop(&item)) {
        link.gate.Wait();
        bool ok = true;
        if (item.audio)
            ok = ps.resampler->Resample(link, item.frame.get());
        else if (ps.scaler)
            ok = ps.scaler->Scale(link, item.frame.get());
        link.rawPool.Put(std::move(item.frame));
        if (!ok)
            break;
    }
    if (!link.aborted && ps.scaler)
        ps.scaler->Flush(link);
    if (!link.aborted && ps.resampler)
        ps.resampler->Flush(link);
    link.pictures.Finish();
    link.Push(MuxItem::AudioEnd);
}

} // namespace

// ---- preparation ----

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
    if (Result r = source.Open(cfg); Failed(r))
        return r;
    counters->sourceMs = source.DurationUs() / 1000;
    if (!cfg.profile.HasVideo() && !source.HasAudio())
        return rc::ProfileWithoutStreams;
    // The margins are those of the upright picture.
    const AVCodecParameters* vp = source.VideoParameters();
    const bool turned = source.Picture().quarterTurn;
    const int width = turned ? vp->height : vp->width, height = turned ? vp->width : vp->height;
    if (cfg.cropLeft < 0 || cfg.cropTop < 0 || cfg.cropRight < 0 || cfg.cropBottom < 0 ||
        (width > 0 && width - cfg.cropLeft - cfg.cropRight < 2) ||
        (height > 0 && height - cfg.cropTop - cfg.cropBottom < 2))
        return rc::InvalidCrop;
    // A limit that cannot hold one second, even at the lowest rate a fit
    // goes down to, is refused now: not after an analysis pass, and not
    // with a file of a header and nothing in it.
    if (cfg.maxFileSize > 0) {
        const EngineProfile& p = cfg.profile;
        std::int64_t video = 0, buffer = 0;
        if (p.HasVideo()) {
            video = std::min(kFitFloorBitrate, p.videoBitrate);
            buffer = static_cast<std::int64_t>(p.videoBuffer) * video / p.videoBitrate;
        }
        const std::int64_t audio = p.HasAudio() && source.HasAudio() ? p.audioBitrate : 0;
        if (cfg.maxFileSize < Muxer::ReservedBytes(cfg, 1000, buffer / 8) + (video + audio) / 8)
            return rc::SizeLimitTooSmall;
    }
    if ((cfg.profile.HasVideo() && !avcodec_find_encoder(AV_CODEC_ID_WMV2)) ||
        (cfg.profile.HasAudio() && !avcodec_find_encoder(AV_CODEC_ID_WMAV2)))
        return rc::CodecNotFound;
    return file.Create(cfg.outputPath);
}

// ---- running ----

// The profile with the video rates a pass encodes at. With a size limit the
// rates come down so that the whole source fits (never above the profile's).
// The final pass of two never goes below what the first pass says it can
// reach, or its rate control would refuse to plan at all.
EngineProfile Job::Impl::RatedProfile(int pass, AVRational outRate)
{
    const EngineProfile& p = cfg.profile;
    EngineProfile rated = p;
    const double fps = av_q2d(outRate);
    if (cfg.maxFileSize > 0) {
        FitRequest r;
        r.limitBytes = cfg.maxFileSize;
        // The analysis has seen the real length.
        r.durationMs = pass == 2 && firstPassMs > 0 ? firstPassMs : counters->sourceMs.load();
        r.videoBitrate = p.videoBitrate;
        r.videoMaxBitrate = p.videoMaxBitrate;
        r.videoBuffer = p.videoBuffer;
        r.frameRate = fps;
        r.audioBitrate = source.HasAudio() ? p.audioBitrate : 0;
        r.sampleRate = p.sampleRate;
        r.fixedBytes = Muxer::ReservedBytes(cfg, r.durationMs, p.videoBuffer / 8);
        r.twoPass = cfg.twoPass;
        const FitResult fit = FitToLimit(r);
        rated.videoBitrate = fit.videoBitrate;
        rated.videoMaxBitrate = fit.videoMaxBitrate;
        rated.videoBuffer = fit.videoBuffer;
    }
    if (pass == 2) {
        const int floor = SecondPassFloor(passLog, fps);
        if (rated.videoBitrate < floor) {
            const double up = static_cast<double>(floor) / rated.videoBitrate;
            rated.videoMaxBitrate = static_cast<int>(rated.videoMaxBitrate * up);
            rated.videoBuffer = static_cast<int>(rated.videoBuffer * up);
            rated.videoBitrate = floor;
        }
    }
    counters->fittedBitrate = rated.videoBitrate != p.videoBitrate ? rated.videoBitrate : 0;
    counters->rateRaised = rated.videoBitrate > p.videoBitrate;
    return rated;
}

// Opens the pass's encoders, its stages and, for a pass that writes, the muxer.
Result Job::Impl::OpenPass(Pass& ps)
{
    const EngineProfile& p = cfg.profile;
    const SourceTiming& timing = source.Timing();
    if (p.HasVideo()) {
        if (Result r =
                ps.video.Open(RatedProfile(ps.link.number, timing.outRate), timing.outRate, ps.link.number, &passLog);
            Failed(r))
            return r;
        ps.scaler = std::make_unique<VideoScaler>(cfg, timing, source.Picture());
    }
    if (source.HasAudio() && ps.link.writing()) {
        if (Result r = ps.audio.Open(p); Failed(r))
            return r;
        ps.resampler = std::make_unique<AudioResampler>(ps.audio.Context(), timing);
        if (!ps.resampler->Allocated())
            return rc::OutOfMemory;
    }
    ps.muxer = std::make_unique<Muxer>(cfg, *counters, file, ps.video.Context(), ps.audio.Context());
    if (ps.link.writing())
        return ps.muxer->Open();
    return rc::Ok;
}

Result Job::Impl::RunPass(int number)
{
    Pass ps(number, gate, PictureSlots(cfg.profile));
    PassLink& link = ps.link;
    if (number == 2) {
        file.Rewind();
        counters->bytes = 0; // the analysis wrote nothing; the file starts now
    }
    if (Result r = OpenPass(ps); Failed(r))
        return r;
    const bool haveVideo = ps.video.Context() != nullptr;

    {
        std::lock_guard lock(stopMutex);
        current = &ps;
        if (stopRequested)
            link.Abort();
    }
    std::thread demux([&] {
        pthread_setname_np(pthread_self(), "mc-decode");
        source.DemuxDecode(link, haveVideo, ps.audio.Context() != nullptr);
    });
    std::thread scale([&] {
        pthread_setname_np(pthread_self(), "mc-scale");
        ScaleResample(ps);
    });
    std::thread encode;
    if (haveVideo) {
        encode = std::thread([&] {
            pthread_setname_np(pthread_self(), "mc-encode");
            ps.video.Run(link);
        });
    } else {
        link.pictures.Abort(); // nothing reads pictures; the scale thread just ends
        link.Push(MuxItem::VideoEnd);
    }
    ps.muxer->Run(link, ps.audio.Context() ? &ps.audio : nullptr, firstPassMs);
    link.Abort(); // wakes anything still waiting; the pass is over
    demux.join();
    scale.join();
    if (encode.joinable())
        encode.join();
    {
        std::lock_guard lock(stopMutex);
        current = nullptr;
    }

    if (link.failure != rc::Ok)
        return link.failure;
    if (!stopRequested && source.Shrank())
        return rc::ReadFault;
    if (number == 1) {
        // The analysis has to see the whole input, or the final pass has
        // nothing to follow.
        firstPassMs = ps.muxer->AnalysedMs();
        return stopRequested ? rc::Ok : (passLog.empty() ? rc::SourceNotWorking : rc::Ok);
    }
    // A file without a single picture is no conversion, whatever ended it:
    // the earlier output stays.
    if (haveVideo && ps.muxer->Pictures() == 0) {
        if (stopRequested)
            return rc::Ok;
        return ps.muxer->LimitReached() ? rc::SizeLimitTooSmall : rc::SourceNotWorking;
    }
    if (Result r = ps.muxer->WriteTrailer(); Failed(r))
        return r;
    if (Result r = file.RewriteHeader(cfg.texts); Failed(r))
        return r;
    file.MarkComplete();
    return rc::Ok;
}

void Job::Impl::Run()
{
    Result r = rc::Ok;
    if (cfg.twoPass) {
        r = RunPass(1);
        if (Succeeded(r) && !stopRequested) {
            r = source.Open(cfg);
            if (Succeeded(r))
                r = RunPass(2);
        }
    } else {
        r = RunPass(0);
    }
    if (Succeeded(r) && file.Complete())
        r = file.Commit();
    file.Discard();
    if (onDone)
        onDone(r);
}

// ---- Job ----

Job::Job(JobConfig config, std::shared_ptr<Counters> counters)
    : m_impl(std::make_unique<Impl>(std::move(config), std::move(counters)))
{
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
            m_impl->current->link.Abort();
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
