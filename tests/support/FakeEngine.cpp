#include "FakeEngine.h"

namespace testsupport {

std::string Narrow(const char16_t* text)
{
    std::string out;
    for (; text && *text; ++text)
        out += *text < 0x80 ? static_cast<char>(*text) : '?';
    return out;
}

namespace {

using mce::Result;

// Mixed into every fake object: counts it and records its destruction.
class FakeObject {
public:
    FakeObject(FakeEngine& e, std::string kind) : m_e(e), m_kind(std::move(kind)) { ++m_e.liveObjects; }
    virtual ~FakeObject()
    {
        --m_e.liveObjects;
        m_e.calls.push_back("Release " + m_kind);
    }

protected:
    Result Call(const std::string& method, const std::string& arg = {}) { return m_e.Call(m_kind + "." + method, arg); }
    FakeEngine& m_e;
    std::string m_kind;
};

class FakeProfile final : public FakeObject, public mce::IProfile {
public:
    FakeProfile(FakeEngine& e, std::u16string name) : FakeObject(e, "Profile"), m_name(std::move(name)) {}
    Result GetName(std::u16string* name) override
    {
        const Result r = Call("GetName");
        if (mce::Succeeded(r))
            *name = m_name;
        return r;
    }
    Result LoadFromFile(const char16_t* path) override { return Call("LoadFromFile", Narrow(path)); }
    Result SetFrameSize(std::int32_t width, std::int32_t height) override
    {
        return Call("SetFrameSize", std::to_string(width) + "," + std::to_string(height));
    }

private:
    std::u16string m_name;
};

class FakeVideoSource final : public FakeObject, public mce::IVideoSource {
public:
    explicit FakeVideoSource(FakeEngine& e) : FakeObject(e, "VideoSource") {}
    Result SetInput(const char16_t* path, const char16_t* type, const char16_t* scheme) override
    {
        return Call("SetInput", Narrow(path) + "|" + Narrow(type) + "|" + Narrow(scheme));
    }
    Result SetCroppingLeftMargin(std::int32_t px) override { return Call("SetCroppingLeftMargin", std::to_string(px)); }
    Result SetCroppingTopMargin(std::int32_t px) override { return Call("SetCroppingTopMargin", std::to_string(px)); }
    Result SetCroppingRightMargin(std::int32_t px) override
    {
        return Call("SetCroppingRightMargin", std::to_string(px));
    }
    Result SetCroppingBottomMargin(std::int32_t px) override
    {
        return Call("SetCroppingBottomMargin", std::to_string(px));
    }
    Result SetTwoPass(std::int16_t enable) override { return Call("SetTwoPass", std::to_string(enable)); }
};

class FakeAudioSource final : public FakeObject, public mce::IAudioSource {
public:
    explicit FakeAudioSource(FakeEngine& e) : FakeObject(e, "AudioSource") {}
    Result SetInput(const char16_t* path, const char16_t* type, const char16_t* scheme) override
    {
        return Call("SetInput", Narrow(path) + "|" + Narrow(type) + "|" + Narrow(scheme));
    }
};

class FakeSourceGroup final : public FakeObject, public mce::ISourceGroup {
public:
    explicit FakeSourceGroup(FakeEngine& e) : FakeObject(e, "SourceGroup") {}
    Result AddSource(std::int32_t type, mce::ObjectRef* source) override
    {
        const Result r = Call("AddSource", std::to_string(type));
        if (mce::Failed(r))
            return r;
        if (type == mce::kSourceVideo)
            *source = std::make_shared<FakeVideoSource>(m_e);
        else
            *source = std::make_shared<FakeAudioSource>(m_e);
        return r;
    }
    Result SetProfile(const mce::ObjectRef& profile) override
    {
        return Call("SetProfile", dynamic_cast<mce::IProfile*>(profile.get()) ? "profile" : "other");
    }
};

class FakeSourceGroups final : public FakeObject, public mce::ISourceGroupCollection {
public:
    explicit FakeSourceGroups(FakeEngine& e) : FakeObject(e, "SourceGroups") {}
    Result Add(const char16_t* name, std::shared_ptr<mce::ISourceGroup>* group) override
    {
        const Result r = Call("Add", Narrow(name));
        if (mce::Succeeded(r))
            *group = std::make_shared<FakeSourceGroup>(m_e);
        return r;
    }
};

class FakeDisplayInfo final : public FakeObject, public mce::IDisplayInfo {
public:
    explicit FakeDisplayInfo(FakeEngine& e) : FakeObject(e, "DisplayInfo") {}
    Result SetTitle(const char16_t* t) override { return Call("SetTitle", Narrow(t)); }
    Result SetAuthor(const char16_t* t) override { return Call("SetAuthor", Narrow(t)); }
    Result SetCopyright(const char16_t* t) override { return Call("SetCopyright", Narrow(t)); }
    Result SetDescription(const char16_t* t) override { return Call("SetDescription", Narrow(t)); }
};

class FakeAttributes final : public FakeObject, public mce::IObject {
public:
    explicit FakeAttributes(FakeEngine& e) : FakeObject(e, "Attributes") {}
};

class FakeOutputFile final : public FakeObject, public mce::IOutputFile {
public:
    explicit FakeOutputFile(FakeEngine& e) : FakeObject(e, "OutputFile") {}
    Result SetLocalFileName(const char16_t* path) override { return Call("SetLocalFileName", Narrow(path)); }
    Result SetMaxFileSize(std::int64_t bytes) override { return Call("SetMaxFileSize", std::to_string(bytes)); }
};

class FakeArchiveStats final : public FakeObject, public mce::IFileArchiveStats {
public:
    explicit FakeArchiveStats(FakeEngine& e) : FakeObject(e, "ArchiveStats") {}
    Result GetFileSize(std::int64_t* bytes) override
    {
        const Result r = Call("GetFileSize");
        if (mce::Succeeded(r)) {
            *bytes = m_e.fileSize;
            m_e.fileSize += m_e.fileSizeStep;
        }
        return r;
    }
    Result GetFileDuration(std::int64_t* ms) override
    {
        const Result r = Call("GetFileDuration");
        if (mce::Succeeded(r)) {
            *ms = m_e.duration;
            m_e.duration += m_e.durationStep;
        }
        return r;
    }
    Result GetSourceDuration(std::int64_t* ms) override
    {
        const Result r = Call("GetSourceDuration");
        if (mce::Succeeded(r))
            *ms = m_e.sourceDuration;
        return r;
    }
    Result GetSizeFit(mce::SizeFit* fit) override
    {
        const Result r = Call("GetSizeFit");
        if (mce::Succeeded(r))
            *fit = m_e.sizeFit;
        return r;
    }
};

// Hands out an object that is not the file-archive statistics, so that the
// session's interface query has something to refuse.
class FakeWrongStats final : public FakeObject, public mce::IObject {
public:
    explicit FakeWrongStats(FakeEngine& e) : FakeObject(e, "WrongStats") {}
};

class FakeStatistics final : public FakeObject, public mce::IStatistics {
public:
    explicit FakeStatistics(FakeEngine& e) : FakeObject(e, "Statistics") {}
    Result GetFileArchiveStats(mce::ObjectRef* stats) override
    {
        const Result r = Call("GetFileArchiveStats");
        if (mce::Failed(r))
            return r;
        if (m_e.failures.count("ArchiveStats.Query"))
            *stats = std::make_shared<FakeWrongStats>(m_e);
        else
            *stats = std::make_shared<FakeArchiveStats>(m_e);
        return r;
    }
};

class FakeProfiles final : public FakeObject, public mce::IProfileCollection {
public:
    explicit FakeProfiles(FakeEngine& e) : FakeObject(e, "Profiles") {}
    Result GetCount(std::int32_t* count) override
    {
        const Result r = Call("GetCount");
        if (mce::Succeeded(r))
            *count = static_cast<std::int32_t>(m_e.installedProfiles.size());
        return r;
    }
    Result Item(std::int32_t index, std::shared_ptr<mce::IProfile>* profile) override
    {
        const Result r = Call("Item", std::to_string(index));
        if (mce::Succeeded(r))
            *profile = std::make_shared<FakeProfile>(m_e, m_e.installedProfiles.at(static_cast<std::size_t>(index)));
        return r;
    }
};

class FakeEncoder final : public FakeObject, public mce::IEncoder {
public:
    explicit FakeEncoder(FakeEngine& e) : FakeObject(e, "Encoder") {}
    template <class T, class Out> Result Get(const char* method, Out* out)
    {
        const Result r = Call(method);
        if (mce::Succeeded(r))
            *out = std::make_shared<T>(m_e);
        return r;
    }
    Result GetSourceGroupCollection(std::shared_ptr<mce::ISourceGroupCollection>* out) override
    {
        return Get<FakeSourceGroups>("GetSourceGroupCollection", out);
    }
    Result GetDisplayInfo(std::shared_ptr<mce::IDisplayInfo>* out) override
    {
        return Get<FakeDisplayInfo>("GetDisplayInfo", out);
    }
    Result GetAttributes(mce::ObjectRef* out) override { return Get<FakeAttributes>("GetAttributes", out); }
    Result GetFile(std::shared_ptr<mce::IOutputFile>* out) override { return Get<FakeOutputFile>("GetFile", out); }
    Result GetProfileCollection(std::shared_ptr<mce::IProfileCollection>* out) override
    {
        return Get<FakeProfiles>("GetProfileCollection", out);
    }
    Result GetStatistics(std::shared_ptr<mce::IStatistics>* out) override
    {
        return Get<FakeStatistics>("GetStatistics", out);
    }
    Result SetAutoStop(std::int16_t enable) override { return Call("SetAutoStop", std::to_string(enable)); }
    Result PrepareToEncode(std::int16_t prepare) override { return Call("PrepareToEncode", std::to_string(prepare)); }
    Result Start() override { return Switch("Start", mce::RunState::Encoding); }
    Result Pause() override { return Switch("Pause", mce::RunState::Paused); }
    Result Stop() override { return Switch("Stop", mce::RunState::Stopped); }
    mce::RunState GetRunState(Result* failure) override
    {
        if (!m_e.reportsRunState)
            return IEncoder::GetRunState(failure);
        if (failure)
            *failure = m_e.runFailure;
        return m_e.runState;
    }

private:
    Result Switch(const char* method, mce::RunState to)
    {
        const Result r = Call(method);
        if (mce::Succeeded(r)) {
            m_e.runState = to;
            if (to == mce::RunState::Encoding)
                m_e.runFailure = mce::rc::Ok;
        }
        return r;
    }
};

} // namespace

FakeEngine::FakeEngine()
{
    for (const char* q : {"1", "2", "3"})
        for (const char* k : {"v", "h", "x"})
            installedProfiles.push_back(u"MRProf" + std::u16string(1, static_cast<char16_t>(q[0])) +
                                        std::u16string(1, static_cast<char16_t>(k[0])));
}

FakeEngine::~FakeEngine() = default;

Result FakeEngine::Call(const std::string& name, const std::string& argument)
{
    const std::string entry = name + "(" + argument + ")";
    calls.push_back(entry);
    if (auto it = failures.find(entry); it != failures.end())
        return it->second;
    if (auto it = failures.find(name); it != failures.end())
        return it->second;
    return mce::rc::Ok;
}

Result FakeEngine::Initialize()
{
    const Result r = Call("Runtime.Initialize");
    if (mce::Succeeded(r))
        ++initCount;
    return r;
}

void FakeEngine::Uninitialize()
{
    Call("Runtime.Uninitialize");
    --initCount;
}

Result FakeEngine::CreateEncoder(std::shared_ptr<mce::IEncoder>* encoder)
{
    const Result r = Call("Runtime.CreateEncoder");
    if (mce::Succeeded(r))
        *encoder = std::make_shared<FakeEncoder>(*this);
    return r;
}

Result FakeEngine::CreateProfile(std::shared_ptr<mce::IProfile>* profile)
{
    const Result r = Call("Runtime.CreateProfile");
    if (mce::Succeeded(r))
        *profile = std::make_shared<FakeProfile>(*this, u"");
    return r;
}

std::vector<std::string> FakeEngine::CallsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> out;
    for (const std::string& c : calls)
        if (c.compare(0, prefix.size(), prefix) == 0)
            out.push_back(c);
    return out;
}

std::string FakeEngine::Log() const
{
    std::string out;
    for (const std::string& c : calls)
        out += c + "\n";
    return out;
}

ScopedFactory::ScopedFactory(mce::IEngineFactory* factory) : m_previous(mce::InstalledFactory())
{
    mce::InstallFactory(factory);
}

ScopedFactory::~ScopedFactory()
{
    mce::InstallFactory(m_previous);
}

} // namespace testsupport
