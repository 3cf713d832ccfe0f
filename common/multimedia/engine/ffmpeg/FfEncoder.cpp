#include "FfEncoder.h"

#include <mutex>
#include <vector>

#include "FfJob.h"
#include "FfProfile.h"
#include "TextConv.h"

namespace mce::ff {

class FfSourceGroup;

// The run state with the failure that ended the run, read and written as one
// word: a reader never sees a stop without its failure. Aligned as a word, so
// that every compiler reads it without a lock or a library call.
struct alignas(8) RunStatus {
    RunState state = RunState::Idle;
    Result failure = rc::Ok;
};

// What every object of one encoder shares.
struct EncoderState {
    std::mutex mutex; // configuration and job control; never taken by reads of counters or run state
    std::vector<std::shared_ptr<FfSourceGroup>> groups;
    DisplayTexts texts;
    std::u16string output;
    std::int64_t maxFileSize = 0;
    bool autoStop = false;
    unsigned version = 0; // bumped by every configuration change
    unsigned preparedVersion = 0;
    bool jobStarted = false;
    const std::shared_ptr<Counters> counters = std::make_shared<Counters>();
    std::atomic<RunStatus> status{RunStatus{}};
    // Declared last so it goes first: its threads report into the members above.
    std::unique_ptr<Job> job;

    bool Busy() const
    {
        const RunState s = status.load().state;
        return s == RunState::Encoding || s == RunState::Paused;
    }

    // The run's end, from encoding or paused only: whichever of the job's
    // own end and a stop comes first keeps its result, and a pause or a
    // resume racing with the end cannot bring a finished run back to life.
    void Finish(Result failure)
    {
        RunStatus now = status.load();
        while (now.state == RunState::Encoding || now.state == RunState::Paused) {
            if (status.compare_exchange_weak(now, RunStatus{RunState::Stopped, failure}))
                return;
        }
    }
};
static_assert(std::atomic<RunStatus>::is_always_lock_free);

namespace {

// Runs a configuration change unless an encoding is under way.
template <class F> Result Configure(const std::weak_ptr<EncoderState>& weak, F&& change)
{
    const auto state = weak.lock();
    if (!state)
        return rc::Fail;
    std::lock_guard lock(state->mutex);
    if (state->Busy())
        return rc::NotAllowedWhileEncoding;
    const Result r = change(*state);
    if (Succeeded(r))
        ++state->version;
    return r;
}

} // namespace

struct SourceSettings {
    std::string path;
    int crop[4] = {0, 0, 0, 0}; // left, top, right, bottom
    bool twoPass = false;
};

class FfVideoSource final : public IVideoSource {
public:
    explicit FfVideoSource(std::weak_ptr<EncoderState> s) : m_state(std::move(s)) {}
    Result SetInput(const char16_t* path, const char16_t*, const char16_t*) override
    {
        if (!path || !*path)
            return rc::InvalidArg;
        return Configure(m_state, [&](EncoderState&) {
            settings.path = ToUtf8(path);
            return rc::Ok;
        });
    }
    Result SetCroppingLeftMargin(std::int32_t px) override { return SetCrop(0, px); }
    Result SetCroppingTopMargin(std::int32_t px) override { return SetCrop(1, px); }
    Result SetCroppingRightMargin(std::int32_t px) override { return SetCrop(2, px); }
    Result SetCroppingBottomMargin(std::int32_t px) override { return SetCrop(3, px); }
    Result SetTwoPass(std::int16_t enable) override
    {
        return Configure(m_state, [&](EncoderState&) {
            settings.twoPass = enable != 0;
            return rc::Ok;
        });
    }
    SourceSettings settings; // read under the state's mutex

private:
    Result SetCrop(int which, std::int32_t px)
    {
        if (px < 0)
            return rc::InvalidCrop;
        return Configure(m_state, [&](EncoderState&) {
            settings.crop[which] = px;
            return rc::Ok;
        });
    }
    std::weak_ptr<EncoderState> m_state;
};

class FfAudioSource final : public IAudioSource {
public:
    explicit FfAudioSource(std::weak_ptr<EncoderState> s) : m_state(std::move(s)) {}
    Result SetInput(const char16_t* path, const char16_t*, const char16_t*) override
    {
        if (!path || !*path)
            return rc::InvalidArg;
        return Configure(m_state, [&](EncoderState&) {
            this->path = ToUtf8(path);
            return rc::Ok;
        });
    }
    std::string path;

private:
    std::weak_ptr<EncoderState> m_state;
};

class FfSourceGroup final : public ISourceGroup {
public:
    FfSourceGroup(std::weak_ptr<EncoderState> s, std::u16string name) : m_state(std::move(s)), m_name(std::move(name))
    {
    }
    Result AddSource(std::int32_t type, ObjectRef* source) override
    {
        if (!source)
            return rc::InvalidArg;
        if (type != kSourceVideo && type != kSourceAudio)
            return rc::InvalidSourceType;
        return Configure(m_state, [&](EncoderState&) {
            if (type == kSourceVideo) {
                video = std::make_shared<FfVideoSource>(m_state);
                *source = video;
            } else {
                audio = std::make_shared<FfAudioSource>(m_state);
                *source = audio;
            }
            return rc::Ok;
        });
    }
    Result SetProfile(const ObjectRef& profile) override
    {
        const auto p = std::dynamic_pointer_cast<FfProfile>(profile);
        if (!p)
            return rc::InvalidArg;
        return Configure(m_state, [&](EncoderState&) {
            // The group keeps the profile as it is now, as a copy.
            hasProfile = p->Loaded();
            this->profile = p->Profile();
            return rc::Ok;
        });
    }

    std::shared_ptr<FfVideoSource> video;
    std::shared_ptr<FfAudioSource> audio;
    bool hasProfile = false;
    EngineProfile profile;

private:
    std::weak_ptr<EncoderState> m_state;
    std::u16string m_name;
};

namespace {

class FfSourceGroupCollection final : public ISourceGroupCollection {
public:
    explicit FfSourceGroupCollection(std::weak_ptr<EncoderState> s) : m_state(std::move(s)) {}
    Result Add(const char16_t* name, std::shared_ptr<ISourceGroup>* group) override
    {
        if (!group)
            return rc::InvalidArg;
        return Configure(m_state, [&](EncoderState& st) {
            auto g = std::make_shared<FfSourceGroup>(m_state, name ? std::u16string(name) : std::u16string());
            st.groups.push_back(g);
            *group = g;
            return rc::Ok;
        });
    }

private:
    std::weak_ptr<EncoderState> m_state;
};

class FfDisplayInfo final : public IDisplayInfo {
public:
    explicit FfDisplayInfo(std::weak_ptr<EncoderState> s) : m_state(std::move(s)) {}
    Result SetTitle(const char16_t* t) override { return Set(&DisplayTexts::title, t); }
    Result SetAuthor(const char16_t* t) override { return Set(&DisplayTexts::author, t); }
    Result SetCopyright(const char16_t* t) override { return Set(&DisplayTexts::copyright, t); }
    Result SetDescription(const char16_t* t) override { return Set(&DisplayTexts::description, t); }

private:
    Result Set(std::u16string DisplayTexts::*field, const char16_t* text)
    {
        return Configure(m_state, [&](EncoderState& st) {
            st.texts.*field = text ? text : u"";
            return rc::Ok;
        });
    }
    std::weak_ptr<EncoderState> m_state;
};

class FfOutputFile final : public IOutputFile {
public:
    explicit FfOutputFile(std::weak_ptr<EncoderState> s) : m_state(std::move(s)) {}
    Result SetLocalFileName(const char16_t* path) override
    {
        return Configure(m_state, [&](EncoderState& st) {
            st.output = path ? path : u"";
            return rc::Ok;
        });
    }
    Result SetMaxFileSize(std::int64_t bytes) override
    {
        if (bytes < 0)
            return rc::InvalidArg;
        return Configure(m_state, [&](EncoderState& st) {
            st.maxFileSize = bytes;
            return rc::Ok;
        });
    }

private:
    std::weak_ptr<EncoderState> m_state;
};

class FfArchiveStats final : public IFileArchiveStats {
public:
    explicit FfArchiveStats(std::shared_ptr<Counters> c) : m_counters(std::move(c)) {}
    Result GetFileSize(std::int64_t* bytes) override
    {
        if (!bytes)
            return rc::InvalidArg;
        *bytes = m_counters->bytes.load(std::memory_order_relaxed);
        return rc::Ok;
    }
    Result GetFileDuration(std::int64_t* ms) override
    {
        if (!ms)
            return rc::InvalidArg;
        *ms = m_counters->mediaMs.load(std::memory_order_relaxed);
        return rc::Ok;
    }
    Result GetSourceDuration(std::int64_t* ms) override
    {
        if (!ms)
            return rc::InvalidArg;
        *ms = m_counters->sourceMs.load(std::memory_order_relaxed);
        return rc::Ok;
    }
    Result GetSizeFit(SizeFit* fit) override
    {
        if (!fit)
            return rc::InvalidArg;
        fit->videoBitrate = m_counters->fittedBitrate.load(std::memory_order_relaxed);
        fit->raised = m_counters->rateRaised.load(std::memory_order_relaxed);
        fit->full = m_counters->limitReached.load();
        fit->keptMs = m_counters->keptMs.load();
        return rc::Ok;
    }

private:
    std::shared_ptr<Counters> m_counters;
};

class FfStatistics final : public IStatistics {
public:
    explicit FfStatistics(std::shared_ptr<Counters> c) : m_counters(std::move(c)) {}
    Result GetFileArchiveStats(ObjectRef* stats) override
    {
        if (!stats)
            return rc::InvalidArg;
        *stats = std::make_shared<FfArchiveStats>(m_counters);
        return rc::Ok;
    }

private:
    std::shared_ptr<Counters> m_counters;
};

class FfAttributes final : public IObject {};

// Builds and checks the conversion of the newest group. Called with the
// state's mutex held and no encoding running.
Result PrepareLocked(EncoderState& st)
{
    if (st.job) {
        st.job.reset(); // a finished run: its threads are joined here
        st.jobStarted = false;
    }
    if (st.groups.empty())
        return rc::SourceNotWorking;
    // A batch adds one group per item to the same collection: the newest is
    // the one to encode.
    const FfSourceGroup& g = *st.groups.back();
    if (!g.hasProfile)
        return rc::ProfileWithoutStreams;
    if (!g.video || g.video->settings.path.empty())
        return rc::SourceNotWorking;
    JobConfig cfg;
    cfg.videoPath = g.video->settings.path;
    cfg.audioPath = g.audio ? g.audio->path : std::string();
    cfg.cropLeft = g.video->settings.crop[0];
    cfg.cropTop = g.video->settings.crop[1];
    cfg.cropRight = g.video->settings.crop[2];
    cfg.cropBottom = g.video->settings.crop[3];
    cfg.twoPass = g.video->settings.twoPass;
    cfg.profile = g.profile;
    cfg.outputPath = ToUtf8(st.output);
    cfg.maxFileSize = st.maxFileSize;
    cfg.texts = st.texts;
    auto job = std::make_unique<Job>(std::move(cfg), st.counters);
    if (Result r = job->Prepare(); Failed(r))
        return r;
    st.job = std::move(job);
    st.preparedVersion = st.version;
    return rc::Ok;
}

} // namespace

FfEncoder::FfEncoder() : m_state(std::make_shared<EncoderState>())
{
    m_groups = std::make_shared<FfSourceGroupCollection>(m_state);
    m_display = std::make_shared<FfDisplayInfo>(m_state);
    m_attributes = std::make_shared<FfAttributes>();
    m_file = std::make_shared<FfOutputFile>(m_state);
    m_profiles = std::make_shared<FfProfileCollection>();
    m_statistics = std::make_shared<FfStatistics>(m_state->counters);
}

FfEncoder::~FfEncoder()
{
    // Releasing the encoder while it runs ends the encoding with a complete file.
    std::lock_guard lock(m_state->mutex);
    m_state->job.reset();
}

template <class T> static Result Hand(const std::shared_ptr<T>& object, std::shared_ptr<T>* out)
{
    if (!out)
        return rc::InvalidArg;
    *out = object;
    return rc::Ok;
}

Result FfEncoder::GetSourceGroupCollection(std::shared_ptr<ISourceGroupCollection>* out)
{
    return Hand(m_groups, out);
}
Result FfEncoder::GetDisplayInfo(std::shared_ptr<IDisplayInfo>* out)
{
    return Hand(m_display, out);
}
Result FfEncoder::GetAttributes(ObjectRef* out)
{
    return Hand(m_attributes, out);
}
Result FfEncoder::GetFile(std::shared_ptr<IOutputFile>* out)
{
    return Hand(m_file, out);
}
Result FfEncoder::GetProfileCollection(std::shared_ptr<IProfileCollection>* out)
{
    return Hand(m_profiles, out);
}
Result FfEncoder::GetStatistics(std::shared_ptr<IStatistics>* out)
{
    return Hand(m_statistics, out);
}

Result FfEncoder::SetAutoStop(std::int16_t enable)
{
    return Configure(m_state, [&](EncoderState& st) {
        st.autoStop = enable != 0;
        return rc::Ok;
    });
}

Result FfEncoder::PrepareToEncode(std::int16_t prepare)
{
    EncoderState& st = *m_state;
    std::lock_guard lock(st.mutex);
    if (st.Busy())
        return rc::NotAllowedWhileEncoding;
    if (!prepare) {
        st.job.reset();
        st.jobStarted = false;
        return rc::Ok;
    }
    return PrepareLocked(st);
}

Result FfEncoder::Start()
{
    EncoderState& st = *m_state;
    std::lock_guard lock(st.mutex);
    // Resumes a paused run; one that came to its end while paused stays
    // finished (the exchange fails and leaves its end in now).
    RunStatus now = st.status.load();
    if (now.state == RunState::Paused &&
        st.status.compare_exchange_strong(now, RunStatus{RunState::Encoding, rc::Ok})) {
        st.job->Resume();
        return rc::Ok;
    }
    if (now.state == RunState::Encoding)
        return rc::Ok;
    // The prepared job has run: converting the same source again needs a
    // new prepare, never a start that quietly does the whole work twice.
    if (st.job && st.jobStarted && st.preparedVersion == st.version)
        return rc::Unexpected;
    // Not prepared, or prepared for settings that changed since: prepare now.
    if (!st.job || st.jobStarted || st.preparedVersion != st.version) {
        if (Result r = PrepareLocked(st); Failed(r))
            return r;
    }
    st.counters->bytes = 0;
    st.counters->mediaMs = 0;
    st.counters->fittedBitrate = 0;
    st.counters->rateRaised = false;
    st.counters->limitReached = false;
    st.counters->keptMs = 0;
    // Encoding before the threads start: a short run may end at once.
    st.status = RunStatus{RunState::Encoding, rc::Ok};
    st.jobStarted = true;
    st.job->Start([state = &st](Result end) {
        if (state->autoStop || Failed(end))
            state->Finish(end);
    });
    return rc::Ok;
}

Result FfEncoder::Pause()
{
    EncoderState& st = *m_state;
    std::lock_guard lock(st.mutex);
    RunStatus now = st.status.load();
    if (now.state == RunState::Encoding &&
        st.status.compare_exchange_strong(now, RunStatus{RunState::Paused, rc::Ok})) {
        st.job->Pause();
        return rc::Ok;
    }
    return now.state == RunState::Paused ? rc::Ok : rc::OnlyDuringEncoding;
}

Result FfEncoder::Stop()
{
    EncoderState& st = *m_state;
    std::lock_guard lock(st.mutex);
    if (!st.Busy())
        return rc::OnlyDuringEncoding;
    st.job->Stop();    // returns once the file is finished
    st.Finish(rc::Ok); // unless the job's own end came first
    return rc::Ok;
}

RunState FfEncoder::GetRunState(Result* failure)
{
    const RunStatus now = m_state->status.load();
    if (failure)
        *failure = now.failure;
    return now.state;
}

} // namespace mce::ff
