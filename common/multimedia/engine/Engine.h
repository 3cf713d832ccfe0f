// The encoding engine's interface: the objects and operations the encoder
// session drives. It mirrors an automation-style encoder: every call answers
// with a signed 32-bit result code (negative is failure), results come back
// through out-arguments, references are shared pointers and releasing one is
// reset(). Texts are UTF-16. Knows nothing of Qt or FFmpeg.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace mce {

using Result = std::int32_t;

constexpr bool Failed(Result r)
{
    return r < 0;
}
constexpr bool Succeeded(Result r)
{
    return r >= 0;
}

// Result codes. The encoder error codes are those a user can be told about in
// words; the generic ones are shown as numbers.
namespace rc {
constexpr Result Ok = 0;
constexpr Result False = 1;
constexpr Result Fail = static_cast<Result>(0x80004005u);
constexpr Result NoInterface = static_cast<Result>(0x80004002u);
constexpr Result InvalidArg = static_cast<Result>(0x80070057u);
constexpr Result OutOfMemory = static_cast<Result>(0x8007000Eu);
constexpr Result NotInitialized = static_cast<Result>(0x800401F0u); // runtime not started on this thread
constexpr Result FileNotFound = static_cast<Result>(0x80070002u);
constexpr Result AccessDenied = static_cast<Result>(0x80070005u);
constexpr Result PathNotFound = static_cast<Result>(0x80070003u);
constexpr Result DiskFull = static_cast<Result>(0x80070070u);
constexpr Result WriteFault = static_cast<Result>(0x8007001Du);
constexpr Result ReadFault = static_cast<Result>(0x8007001Eu);
constexpr Result BadProfileFile = static_cast<Result>(0x8007000Du); // invalid data
constexpr Result Unexpected = static_cast<Result>(0x8000FFFFu);     // a call out of turn

constexpr Result CodecNotFound = static_cast<Result>(0xC00D1B83u);
constexpr Result OutputSameAsInput = static_cast<Result>(0xC00D1B84u);
constexpr Result DeviceNotAvailable = static_cast<Result>(0xC00D1BA6u);
constexpr Result NoOutputFile = static_cast<Result>(0xC00D1B79u);
constexpr Result InvalidCrop = static_cast<Result>(0xC00D1B7Cu);
constexpr Result SourceNotWorking = static_cast<Result>(0xC00D1B8Au);
constexpr Result InvalidTransferBitrate = static_cast<Result>(0xC00D1BD1u);
constexpr Result InvalidLanguage = static_cast<Result>(0xC00D1B9Fu);
constexpr Result InvalidSourceType = static_cast<Result>(0xC00D1BA0u);
constexpr Result InvalidPixelAspect = static_cast<Result>(0xC00D1BE2u);
constexpr Result ProfileWithoutStreams = static_cast<Result>(0xC00D1BE4u);
constexpr Result InvalidVideoBitrate = static_cast<Result>(0xC00D1BBFu);
constexpr Result InvalidVideoBuffer = static_cast<Result>(0xC00D1BC9u);
constexpr Result InvalidVideoQuality = static_cast<Result>(0xC00D1BC8u);
constexpr Result InvalidVideoHeight = static_cast<Result>(0xC00D1BC5u);
constexpr Result NotAllowedWhileEncoding = static_cast<Result>(0xC00D1B66u);
constexpr Result NotAllowedWhileArchiving = static_cast<Result>(0xC00D1B74u);
constexpr Result OnlyDuringEncoding = static_cast<Result>(0xC00D1B7Fu);
// The engine's own: a size limit that cannot hold one second of the
// profile's video and sound, or not even the first picture.
constexpr Result SizeLimitTooSmall = static_cast<Result>(0xA00D0001u);
} // namespace rc

// Source types of ISourceGroup::AddSource.
constexpr std::int32_t kSourceAudio = 1;
constexpr std::int32_t kSourceVideo = 2;

// 16-bit automation booleans.
constexpr std::int16_t kTrue = -1;
constexpr std::int16_t kFalse = 0;

// Every engine object derives from this; an interface query is a checked
// downcast (QueryInterface below).
class IObject {
public:
    virtual ~IObject() = default;
};
using ObjectRef = std::shared_ptr<IObject>;

template <class T> Result QueryInterface(const ObjectRef& from, std::shared_ptr<T>* to)
{
    if (!to)
        return rc::InvalidArg;
    *to = std::dynamic_pointer_cast<T>(from);
    return *to ? rc::Ok : rc::NoInterface;
}

class IProfile : public IObject {
public:
    virtual Result GetName(std::u16string* name) = 0;
    virtual Result LoadFromFile(const char16_t* path) = 0;
    // Beyond the automation surface: a loaded profile made for another frame
    // size, its video rates scaled by the frame's area. An engine that cannot
    // answers rc::NoInterface.
    virtual Result SetFrameSize(std::int32_t width, std::int32_t height)
    {
        (void)width;
        (void)height;
        return rc::NoInterface;
    }
};

class ISource : public IObject {
public:
    // type and scheme are passed empty by the session; the engine sniffs.
    virtual Result SetInput(const char16_t* path, const char16_t* type, const char16_t* scheme) = 0;
};

class IVideoSource : public ISource {
public:
    virtual Result SetCroppingLeftMargin(std::int32_t pixels) = 0;
    virtual Result SetCroppingTopMargin(std::int32_t pixels) = 0;
    virtual Result SetCroppingRightMargin(std::int32_t pixels) = 0;
    virtual Result SetCroppingBottomMargin(std::int32_t pixels) = 0;
    virtual Result SetTwoPass(std::int16_t enable) = 0; // 1 on, 0 off
};

class IAudioSource : public ISource {};

class ISourceGroup : public IObject {
public:
    // Hands out a generic reference; query it for IVideoSource or IAudioSource.
    virtual Result AddSource(std::int32_t type, ObjectRef* source) = 0;
    // The profile travels as a generic object (an automation dispatch variant).
    virtual Result SetProfile(const ObjectRef& profile) = 0;
};

class ISourceGroupCollection : public IObject {
public:
    virtual Result Add(const char16_t* name, std::shared_ptr<ISourceGroup>* group) = 0;
};

class IDisplayInfo : public IObject {
public:
    virtual Result SetTitle(const char16_t* text) = 0;
    virtual Result SetAuthor(const char16_t* text) = 0;
    virtual Result SetCopyright(const char16_t* text) = 0;
    virtual Result SetDescription(const char16_t* text) = 0;
};

class IOutputFile : public IObject {
public:
    virtual Result SetLocalFileName(const char16_t* path) = 0;
    virtual Result SetMaxFileSize(std::int64_t bytes) = 0;
};

// How a size limit, or a second pass, shaped an output.
struct SizeFit {
    // The video rate (bits a second) the final pass runs at when it is not
    // the profile's: lowered so that the whole source fits the limit, or
    // raised (below); 0 while it keeps the profile's.
    std::int32_t videoBitrate = 0;
    // That rate is above the profile's: the second pass of two needs it to
    // follow pictures busier than the profile's rate can hold.
    bool raised = false;
    // The limit was reached before the source's end: the file is complete
    // but holds only the first keptMs milliseconds of the source.
    bool full = false;
    std::int64_t keptMs = 0;
};

class IFileArchiveStats : public IObject {
public:
    virtual Result GetFileSize(std::int64_t* bytes) = 0;
    virtual Result GetFileDuration(std::int64_t* milliseconds) = 0;
    // Beyond the automation surface, for a progress display: the length of
    // the source being converted (the prepared group's), 0 while not known.
    // An engine that cannot tell answers rc::NoInterface.
    virtual Result GetSourceDuration(std::int64_t* milliseconds)
    {
        (void)milliseconds;
        return rc::NoInterface;
    }
    // Beyond the automation surface too: how the size limit shaped the
    // output. An engine that cannot tell answers rc::NoInterface.
    virtual Result GetSizeFit(SizeFit* fit)
    {
        (void)fit;
        return rc::NoInterface;
    }
};

class IStatistics : public IObject {
public:
    // Generic reference; query it for IFileArchiveStats.
    virtual Result GetFileArchiveStats(ObjectRef* stats) = 0;
};

class IProfileCollection : public IObject {
public:
    virtual Result GetCount(std::int32_t* count) = 0;
    virtual Result Item(std::int32_t index, std::shared_ptr<IProfile>* profile) = 0;
};

// Beyond the automation surface: what the run window needs to tell a run that
// is still encoding from one that ended, and one that ended from one that
// failed. Unknown is the answer of an engine that cannot tell.
enum class RunState { Idle, Encoding, Paused, Stopped, Unknown };

class IEncoder : public IObject {
public:
    virtual Result GetSourceGroupCollection(std::shared_ptr<ISourceGroupCollection>* out) = 0;
    virtual Result GetDisplayInfo(std::shared_ptr<IDisplayInfo>* out) = 0;
    virtual Result GetAttributes(ObjectRef* out) = 0; // fetched, never used
    virtual Result GetFile(std::shared_ptr<IOutputFile>* out) = 0;
    virtual Result GetProfileCollection(std::shared_ptr<IProfileCollection>* out) = 0;
    virtual Result GetStatistics(std::shared_ptr<IStatistics>* out) = 0;

    virtual Result SetAutoStop(std::int16_t enable) = 0;
    virtual Result PrepareToEncode(std::int16_t prepare) = 0;
    virtual Result Start() = 0; // also resumes after Pause
    virtual Result Pause() = 0;
    virtual Result Stop() = 0;

    // Never blocks. failure (may be null) receives the code of a failure that
    // ended the encoding, or rc::Ok.
    virtual RunState GetRunState(Result* failure)
    {
        if (failure)
            *failure = rc::Ok;
        return RunState::Unknown;
    }
};

// The component runtime: per-thread start and end (counted), and object
// creation. The session creates everything through the installed factory so
// that tests can hand it a recording fake.
class IEngineFactory {
public:
    virtual ~IEngineFactory() = default;
    virtual Result Initialize() = 0;
    virtual void Uninitialize() = 0;
    virtual Result CreateEncoder(std::shared_ptr<IEncoder>* encoder) = 0;
    virtual Result CreateProfile(std::shared_ptr<IProfile>* profile) = 0;
    // Beyond the automation surface, for a preview: the size a player shows
    // a file's picture at, its pixels' shape applied (a 720 x 480 title of
    // 16:9 gives 853 x 480). An engine that cannot tell answers
    // rc::NoInterface.
    virtual Result GetDisplaySize(const char* path, std::int32_t* width, std::int32_t* height)
    {
        (void)path;
        (void)width;
        (void)height;
        return rc::NoInterface;
    }
};

// The factory sessions use. None installed means no engine: the runtime's
// initialise fails, as it does on a machine without the engine.
IEngineFactory* InstalledFactory();
void InstallFactory(IEngineFactory* factory);

} // namespace mce
