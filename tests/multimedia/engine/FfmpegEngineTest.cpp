#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "FfFilter.h"
#include "FfOutput.h"
#include "FfRead.h"
#include "FfmpegEngine.h"
#include "Media.h"

using namespace mce;
using namespace enginetest;
namespace fs = std::filesystem;
using testsupport::Probe;

namespace {

struct Clip {
    std::string file;
    bool audio;
};

// Sources are made once for the whole binary; each test converts into its own folder.
class FfmpegEngine : public EngineTest {
protected:
    static void SetUpTestSuite()
    {
        s_media = std::make_unique<testsupport::TempDir>();
        const fs::path& d = s_media->path();
        const std::string r30 = "30000/1001";
        // A DVD title file: MPEG-2 program stream with its navigation packets.
        ASSERT_TRUE(testsupport::MakeClip(d / "VTS_01_1.VOB", 2, 352, 240, r30,
                                          {"-c:v", "mpeg2video", "-b:v", "1500k", "-c:a", "mp2", "-f", "vob"}));
        // A Video CD track: an MPEG-1 system stream in RIFF/CDXA sectors.
        ASSERT_TRUE(testsupport::MakeClip(d / "vcd.mpg", 2, 352, 240, r30,
                                          {"-c:v", "mpeg1video", "-b:v", "1150k", "-c:a", "mp2", "-ar", "44100", "-b:a",
                                           "224k", "-packetsize", "2324", "-f", "vcd"}));
        ASSERT_TRUE(WrapCdxa(d / "vcd.mpg", d / "AVSEQ01.DAT"));
        // MJPEG decodes as full-range 4:2:2.
        ASSERT_TRUE(testsupport::MakeClip(d / "clip.avi", 2, 320, 240, "25",
                                          {"-c:v", "mjpeg", "-q:v", "5", "-c:a", "pcm_s16le"}));
        ASSERT_TRUE(testsupport::MakeClip(d / "clip.wmv", 2, 320, 240, "15", {"-c:v", "wmv2", "-c:a", "wmav2"}));
        ASSERT_TRUE(testsupport::MakeClip(d / "clip.mp4", 2, 320, 240, "25", {"-c:v", "mpeg4", "-c:a", "aac"}));
        ASSERT_TRUE(testsupport::MakeClip(d / "silent.mp4", 2, 320, 240, "25", {"-c:v", "mpeg4"}, true));
        ASSERT_TRUE(testsupport::MakeClip(d / "long.mp4", 12, 160, 120, "25", {"-c:v", "mpeg4", "-c:a", "aac"}));
        ASSERT_TRUE(
            testsupport::Ffmpeg({"-f", "lavfi", "-i", "sine=duration=2", "-c:a", "mp2", (d / "sound.mp2").string()}));
        // Hard to compress: grain over moving patterns and noise for sound;
        // and pictures of pure noise, which no rate can hold.
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=15,noise=alls=40:allf=t+u", "-f",
                                         "lavfi", "-i", "anoisesrc=r=44100:a=0.3", "-t", "12", "-c:v", "mpeg4", "-q:v",
                                         "2", "-c:a", "aac", "-b:a", "128k", (d / "grain.mp4").string()}));
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "nullsrc=s=320x240:r=15,geq=random(1)*255:128:128", "-t",
                                         "3", "-c:v", "mpeg4", "-q:v", "2", (d / "noise.mp4").string()}));
    }
    static void TearDownTestSuite() { s_media.reset(); }

    static fs::path Media(const std::string& name) { return s_media->path() / name; }

    static inline std::unique_ptr<testsupport::TempDir> s_media;
};

SizeFit Fit(IEncoder& encoder)
{
    std::shared_ptr<IStatistics> stats;
    ObjectRef ref;
    std::shared_ptr<IFileArchiveStats> archive;
    SizeFit fit;
    fit.videoBitrate = -1;
    if (Succeeded(encoder.GetStatistics(&stats)) && Succeeded(stats->GetFileArchiveStats(&ref)) &&
        Succeeded(QueryInterface(ref, &archive)))
        archive->GetSizeFit(&fit);
    return fit;
}

// The whole file decodes to its end.
void ExpectDecodes(const fs::path& file)
{
    const auto decode =
        testsupport::Run({"ffmpeg", "-nostdin", "-v", "error", "-xerror", "-i", file.string(), "-f", "null", "-"});
    EXPECT_EQ(decode.exitCode, 0) << decode.err;
}

enum class Read { Size, Converted, SourceLength };

std::int64_t Stat(IEncoder& encoder, Read what)
{
    std::shared_ptr<IStatistics> stats;
    ObjectRef ref;
    std::shared_ptr<IFileArchiveStats> archive;
    std::int64_t v = -1;
    if (Succeeded(encoder.GetStatistics(&stats)) && Succeeded(stats->GetFileArchiveStats(&ref)) &&
        Succeeded(QueryInterface(ref, &archive))) {
        if (what == Read::Size)
            archive->GetFileSize(&v);
        else if (what == Read::Converted)
            archive->GetFileDuration(&v);
        else
            archive->GetSourceDuration(&v);
    }
    return v;
}

TEST_F(FfmpegEngine, ATemporaryFileAnotherCleanUpTakesIsMadeAgain)
{
    // Another conversion's clean-up opens and locks the new file before this
    // one does, and removes it a moment later: this one must not write into
    // the removed file.
    ff::OutputFile file(std::make_shared<ff::Counters>());
    std::thread cleanUp;
    file.SetCreatedHook([&](const fs::path& temp) {
        if (cleanUp.joinable())
            return;
        const int fd = open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
        cleanUp = std::thread([fd, temp] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            unlink(temp.c_str());
            close(fd);
        });
    });
    const Result created = file.Create((out / "a.wmv").string());
    cleanUp.join();
    ASSERT_EQ(created, rc::Ok);
    file.MarkComplete();
    EXPECT_EQ(file.Commit(), rc::Ok);
    EXPECT_TRUE(fs::exists(out / "a.wmv"));
}

} // namespace

TEST_F(FfmpegEngine, ConvertsEverySourceKindToEveryScreenSizeWithItsTexts)
{
    const Clip clips[] = {{"VTS_01_1.VOB", true}, {"AVSEQ01.DAT", true}, {"clip.avi", true},
                          {"clip.wmv", true},     {"clip.mp4", true},    {"silent.mp4", false}};
    const struct {
        const char* profile;
        int width, height;
    } sizes[] = {{"MRProf2v", 208, 160}, {"MRProf1h", 320, 240}, {"MRProf3x", 640, 480}};
    for (const Clip& clip : clips) {
        for (const auto& size : sizes) {
            SCOPED_TRACE(clip.file + " with " + size.profile);
            Job job;
            job.source = Media(clip.file);
            job.output = out / (clip.file + "." + size.profile + ".wmv");
            job.profile = size.profile;
            job.title = u"A title";
            job.author = u"An author";
            job.copyright = u"(c) someone";
            job.description = u"What this clip is about";
            ASSERT_EQ(Convert(*encoder, job), rc::Ok);
            const double sourceSeconds = Number(Probe(job.source), "format.duration");
            ExpectWmv(job.output, size.width, size.height, sourceSeconds, clip.audio);
            const auto p = Probe(job.output);
            EXPECT_EQ(p.count("format.tags.title") ? p.at("format.tags.title") : "", "A title");
            // ffprobe names the content description's author "artist"
            EXPECT_EQ(p.count("format.tags.artist") ? p.at("format.tags.artist") : "", "An author");
            EXPECT_EQ(p.count("format.tags.copyright") ? p.at("format.tags.copyright") : "", "(c) someone");
            EXPECT_EQ(p.count("format.tags.comment") ? p.at("format.tags.comment") : "", "What this clip is about");
            EXPECT_EQ(p.count("format.tags.MRReserved"), 0u); // the placeholder is gone
            // The statistics end at the finished file and the converted time.
            EXPECT_EQ(Stat(*encoder, Read::Size), static_cast<std::int64_t>(fs::file_size(job.output)));
            EXPECT_NEAR(Stat(*encoder, Read::Converted) / 1000.0, sourceSeconds, sourceSeconds * 0.05);
            EXPECT_NEAR(Stat(*encoder, Read::SourceLength) / 1000.0, sourceSeconds, 0.01);
        }
    }
    // Nothing but the outputs is left in the folder.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(out.path()))
        ++files;
    EXPECT_EQ(files, std::size(clips) * std::size(sizes));
}

TEST_F(FfmpegEngine, PlayersSeeTheDescriptionAndNonAsciiTexts)
{
    Job job;
    job.source = Media("clip.mp4");
    job.output = out / "texts.wmv";
    job.profile = "MRProf1v";
    job.title = u"Caf\u00e9 \u65e5\u672c";
    job.description = std::u16string(1023, u'd'); // the longest the options dialog writes
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    const auto p = Probe(job.output);
    EXPECT_EQ(p.at("format.tags.title"), "Caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac");
    EXPECT_EQ(p.at("format.tags.comment"), std::string(1023, 'd'));
    EXPECT_EQ(p.count("format.tags.artist"), 0u); // an empty text is not written

    const auto gst = testsupport::Run(
        {"gst-launch-1.0", "-t", "filesrc", "location=" + job.output.string(), "!", "asfdemux", "!", "fakesink"});
    if (gst.exitCode == -1)
        GTEST_SKIP() << "gst-launch-1.0 is not installed";
    EXPECT_NE(gst.out.find(std::string(1023, 'd')), std::string::npos) << gst.out;
}

TEST_F(FfmpegEngine, PictureGoesOnWhenAProgramStreamRestartsItsClock)
{
    // Two title files joined: the second starts its clock again.
    const std::string vob = FileBytes(Media("VTS_01_1.VOB"));
    {
        std::ofstream(out / "joined.vob", std::ios::binary) << vob << vob;
    }
    Job job;
    job.source = out / "joined.vob";
    job.output = out / "joined.wmv";
    job.profile = "MRProf1v";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    ExpectWmv(job.output, 208, 160, 4, true);
    const auto count =
        testsupport::Run({"ffprobe", "-v", "error", "-count_packets", "-select_streams", "v", "-show_entries",
                          "stream=nb_read_packets", "-of", "csv=p=0", job.output.string()});
    // 4 s at 15000/1001 frames a second, not 2 s of it and a frozen picture.
    EXPECT_NEAR(std::atoi(count.out.c_str()), 60, 3);
}

TEST_F(FfmpegEngine, PictureAndSoundFromTwoFiles)
{
    Job job;
    job.source = Media("silent.mp4");
    job.audioSource = Media("sound.mp2");
    job.output = out / "two-files.wmv";
    job.profile = "MRProf2v";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    ExpectWmv(job.output, 208, 160, 2, true);
    const auto p = Probe(job.output);
    EXPECT_EQ(Number(p, "audio.sample_rate"), 44100);
    EXPECT_EQ(Number(p, "audio.channels"), 2);
}

TEST_F(FfmpegEngine, TwoPassAnalysesThenWrites)
{
    Job job;
    job.source = Media("VTS_01_1.VOB");
    job.output = out / "two-pass.wmv";
    job.profile = "MRProf2v";
    job.twoPass = true;
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    ExpectWmv(job.output, 208, 160, 2, true);
    EXPECT_NEAR(Stat(*encoder, Read::Converted) / 1000.0, 2, 0.1);

    // Watched while it runs: the analysis (the first half of the converted
    // time) writes nothing, and the converted time never goes back.
    job.source = Media("long.mp4");
    job.output = out / "two-pass-long.wmv";
    job.profile = "MRProf3x";
    ASSERT_EQ(Prepare(*encoder, job), rc::Ok);
    ASSERT_EQ(encoder->Start(), rc::Ok);
    std::int64_t lastMs = 0, analysedSeen = 0;
    // Both figures are read while the pipeline is held, until it has ended.
    while (encoder->Pause() == rc::Ok) {
        const std::int64_t ms = Stat(*encoder, Read::Converted), bytes = Stat(*encoder, Read::Size);
        if (ms > 0 && ms < 5000) {
            ++analysedSeen;
            EXPECT_EQ(bytes, 0) << "at " << ms << " ms";
        }
        EXPECT_GE(ms, lastMs);
        lastMs = ms;
        if (encoder->Start() != rc::Ok)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(WaitUntilStopped(*encoder));
    EXPECT_GT(analysedSeen, 0) << "the analysis was never seen";
    EXPECT_GE(Stat(*encoder, Read::Converted), lastMs);
    EXPECT_NEAR(Stat(*encoder, Read::Converted) / 1000.0, 12, 0.5);
}

TEST_F(FfmpegEngine, SizeLimitEndsACompleteFileBelowIt)
{
    Job job;
    job.source = Media("long.mp4");
    job.output = out / "limited.wmv";
    job.profile = "MRProf3x";
    job.maxFileSize = 120000;
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    const auto size = fs::file_size(job.output);
    EXPECT_LE(size, 120000u);
    EXPECT_GT(size, 60000u); // it used the room it had
    const auto p = Probe(job.output);
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.at("video.codec_name"), "wmv2");
    const double duration = Number(p, "format.duration");
    EXPECT_GT(duration, 0.1);
    EXPECT_LT(duration, 12);
    ExpectDecodes(job.output);
    // Even the lowest video rate could not hold 12 s: the engine says the
    // limit was reached, and how much is in the file.
    const SizeFit fit = Fit(*encoder);
    EXPECT_TRUE(fit.full);
    EXPECT_EQ(fit.videoBitrate, 64000);
    EXPECT_NEAR(fit.keptMs / 1000.0, duration, 0.5);
}

TEST_F(FfmpegEngine, SizeLimitLowersTheVideoRateSoTheWholeSourceFits)
{
    // At the profile's rates the grain takes about 380 KB.
    for (const bool twoPass : {false, true}) {
        SCOPED_TRACE(twoPass ? "two passes" : "one pass");
        Job job;
        job.source = Media("grain.mp4");
        job.output = out / (twoPass ? "fit2.wmv" : "fit1.wmv");
        job.profile = "MRProf2v";
        job.twoPass = twoPass;
        job.maxFileSize = 300000;
        ASSERT_EQ(Convert(*encoder, job), rc::Ok);
        EXPECT_LE(fs::file_size(job.output), 300000u);
        ExpectWmv(job.output, 208, 160, 12, true);
        ExpectDecodes(job.output);
        const SizeFit fit = Fit(*encoder);
        EXPECT_FALSE(fit.full);
        EXPECT_GE(fit.videoBitrate, 64000);
        EXPECT_LT(fit.videoBitrate, 160000);
    }
}

// A program stream whose clock jumps an hour ahead near its end: the stated
// length is an hour too long, and a rate fitted to it leaves the card
// mostly empty.
TEST_F(FfmpegEngine, SizeLimitFitsTheRealLengthOfAProgramStreamWhoseClockJumps)
{
    const auto part = [&](const std::string& name, int seconds, const std::string& offset) {
        return testsupport::Ffmpeg(
            {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=" + std::to_string(seconds) + ",noise=alls=20:allf=t+u",
             "-f", "lavfi", "-i", "sine=duration=" + std::to_string(seconds), "-c:v", "mpeg2video", "-q:v", "3", "-c:a",
             "mp2", "-output_ts_offset", offset, "-f", "vob", (out / name).string()});
    };
    ASSERT_TRUE(part("a.vob", 58, "0"));
    ASSERT_TRUE(part("b.vob", 2, "3600"));
    {
        std::ofstream(out / "jump.vob", std::ios::binary) << FileBytes(out / "a.vob") << FileBytes(out / "b.vob");
    }
    constexpr std::int64_t kLimit = 1300000; // the profile's rates would need 1.6 MB
    for (const bool twoPass : {false, true}) {
        SCOPED_TRACE(twoPass ? "two passes" : "one pass");
        Job job;
        job.source = out / "jump.vob";
        job.output = out / (twoPass ? "jump2.wmv" : "jump1.wmv");
        job.profile = "MRProf2v";
        job.twoPass = twoPass;
        job.maxFileSize = kLimit;
        ASSERT_EQ(Convert(*encoder, job), rc::Ok);
        EXPECT_NEAR(Stat(*encoder, Read::SourceLength) / 1000.0, 60, 3);
        const auto size = static_cast<std::int64_t>(fs::file_size(job.output));
        EXPECT_LE(size, kLimit);
        EXPECT_GE(size, kLimit * 8 / 10);
        ExpectWmv(job.output, 208, 160, 60, true);
    }
}

// The second pass of two is planned from the first; pictures too busy for
// the profile's rate even at the coarsest quantiser get the rate they need
// instead of a plan the encoder refuses.
TEST_F(FfmpegEngine, TwoPassesOverPicturesTooBusyForTheProfileFinish)
{
    Job job;
    job.source = Media("noise.mp4");
    job.output = out / "noise.wmv";
    job.profile = "MRProf1v";
    job.twoPass = true;
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    ExpectWmv(job.output, 208, 160, 3, false);
    ExpectDecodes(job.output);
    // Above the profile's 96 kbit/s, and said so.
    const SizeFit fit = Fit(*encoder);
    EXPECT_GT(fit.videoBitrate, 96000);
    EXPECT_TRUE(fit.raised);
}

TEST_F(FfmpegEngine, PauseResumeAndStopLeaveAPlayableFile)
{
    Job job;
    job.source = Media("long.mp4");
    job.output = out / "stopped.wmv";
    job.profile = "MRProf1x";
    EXPECT_EQ(encoder->Pause(), rc::OnlyDuringEncoding);
    EXPECT_EQ(encoder->Stop(), rc::OnlyDuringEncoding);
    ASSERT_EQ(Prepare(*encoder, job), rc::Ok);
    ASSERT_EQ(encoder->Start(), rc::Ok);
    ASSERT_EQ(encoder->Pause(), rc::Ok); // 12 s of VGA cannot be done yet
    EXPECT_EQ(encoder->GetRunState(nullptr), RunState::Paused);
    std::shared_ptr<IOutputFile> file;
    ASSERT_EQ(encoder->GetFile(&file), rc::Ok);
    EXPECT_EQ(file->SetMaxFileSize(1000), rc::NotAllowedWhileEncoding);
    EXPECT_EQ(encoder->PrepareToEncode(kTrue), rc::NotAllowedWhileEncoding);
    EXPECT_EQ(encoder->Start(), rc::Ok); // resumes
    EXPECT_EQ(encoder->GetRunState(nullptr), RunState::Encoding);
    // A file is kept only once it holds pictures.
    for (int i = 0; i < 500 && Stat(*encoder, Read::Converted) < 1000; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(encoder->Pause(), rc::Ok);
    ASSERT_EQ(encoder->Stop(), rc::Ok);
    Result failure = rc::Fail;
    EXPECT_EQ(encoder->GetRunState(&failure), RunState::Stopped);
    EXPECT_EQ(failure, rc::Ok);
    EXPECT_EQ(encoder->Stop(), rc::OnlyDuringEncoding);
    const auto p = Probe(job.output);
    ASSERT_FALSE(p.empty()) << "no playable file after Stop";
    EXPECT_EQ(p.at("format.format_name"), "asf");
    EXPECT_LT(Number(p, "format.duration"), 12);
}

TEST_F(FfmpegEngine, SameEncoderConvertsTheNewestGroupAfterAnAutomaticStop)
{
    Job first;
    first.source = Media("clip.avi");
    first.output = out / "first.wmv";
    ASSERT_EQ(Convert(*encoder, first), rc::Ok);
    // A start without a new prepare would convert the same source again.
    EXPECT_EQ(encoder->Start(), rc::Unexpected);
    EXPECT_EQ(encoder->GetRunState(nullptr), RunState::Stopped);
    Job second;
    second.source = Media("long.mp4");
    second.output = out / "second.wmv";
    second.profile = "MRProf1v";
    ASSERT_EQ(Convert(*encoder, second), rc::Ok);
    ExpectWmv(first.output, 320, 240, 2, true);
    ExpectWmv(second.output, 208, 160, 12, true);
}

TEST_F(FfmpegEngine, RefusesAtPrepareWhatCannotWorkAndKeepsExistingFiles)
{
    const fs::path existing = out / "existing.wmv";
    {
        std::ofstream(existing) << "keep me";
    }
    const auto sourceBefore = FileBytes(Media("clip.mp4"));
    auto prepare = [&](auto change) {
        Job job;
        job.source = Media("clip.mp4");
        job.output = existing;
        change(job);
        auto fresh = NewEncoder();
        return Prepare(*fresh, job);
    };
    EXPECT_EQ(prepare([](Job& j) { j.output = j.source; }), rc::OutputSameAsInput);
    fs::create_symlink(Media("clip.mp4"), out / "link.wmv");
    EXPECT_EQ(prepare([&](Job& j) { j.output = out / "link.wmv"; }), rc::OutputSameAsInput);
    EXPECT_EQ(
        prepare([&](Job& j) { j.output = s_media->path() / "." / ".." / s_media->path().filename() / "clip.mp4"; }),
        rc::OutputSameAsInput);
    EXPECT_EQ(prepare([](Job& j) { j.source = Media("sound.mp2"); }), rc::SourceNotWorking);
    EXPECT_EQ(prepare([](Job& j) { j.source = Media("missing.avi"); }), rc::SourceNotWorking);
    EXPECT_EQ(prepare([](Job& j) { j.output.clear(); }), rc::NoOutputFile);
    EXPECT_EQ(prepare([](Job& j) { j.crop = {200, 0, 120, 0}; }), rc::InvalidCrop);
    EXPECT_EQ(prepare([&](Job& j) { j.output = out / "no-such-folder" / "x.wmv"; }), rc::PathNotFound);
    {
        std::ofstream(out / "bad.prx") << "name = bad\nwidth = 320\nheight = 240\nframe_rate = 15\n"
                                          "video_bitrate = 5\nvideo_max_bitrate = 5\nvideo_buffer = 10\n"
                                          "quality = 50\nkeyframe_interval = 5\naudio_bitrate = 32000\n"
                                          "sample_rate = 44100\nchannels = 2\n";
    }
    EXPECT_EQ(prepare([&](Job& j) { j.profile = (out / "bad.prx").string(); }), rc::InvalidVideoBitrate);
    if (geteuid() != 0) {
        const fs::path locked = out / "locked";
        fs::create_directory(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(prepare([&](Job& j) { j.output = locked / "x.wmv"; }), rc::AccessDenied);
    }

    // A prepared run that never starts leaves nothing behind either.
    {
        Job job;
        job.source = Media("clip.mp4");
        job.output = existing;
        auto fresh = NewEncoder();
        ASSERT_EQ(Prepare(*fresh, job), rc::Ok);
    }
    EXPECT_EQ(FileBytes(existing), "keep me");
    EXPECT_EQ(FileBytes(Media("clip.mp4")), sourceBefore);
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(out.path()))
        files += e.path().filename().string().front() == '.';
    EXPECT_EQ(files, 0u) << "a temporary file was left";

    // A limit too small for one second of the profile: a header alone, or
    // a header and no picture, would have replaced it. Two passes are
    // refused before the analysis too.
    for (const std::int64_t limit : {3000, 40000}) {
        for (const bool twoPass : {false, true}) {
            Job job;
            job.source = Media("clip.mp4");
            job.output = existing;
            job.profile = "MRProf1v";
            job.maxFileSize = limit;
            job.twoPass = twoPass;
            auto fresh = NewEncoder();
            EXPECT_EQ(Prepare(*fresh, job), rc::SizeLimitTooSmall) << limit;
        }
    }
    EXPECT_EQ(FileBytes(existing), "keep me");
    files = 0;
    for (const auto& e : fs::directory_iterator(out.path()))
        files += e.path().filename().string().front() == '.';
    EXPECT_EQ(files, 0u) << "a temporary file was left";

    // And a run that completes replaces it.
    Job job;
    job.source = Media("clip.mp4");
    job.output = existing;
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    ExpectWmv(existing, 320, 240, 2, true);
}

TEST_F(FfmpegEngine, RuntimeIsStartedPerThread)
{
    std::thread other([] {
        std::shared_ptr<IEncoder> e;
        std::shared_ptr<IProfile> p;
        EXPECT_EQ(InstalledFactory()->CreateEncoder(&e), rc::NotInitialized);
        EXPECT_EQ(InstalledFactory()->CreateProfile(&p), rc::NotInitialized);
        EXPECT_EQ(InstalledFactory()->Initialize(), rc::Ok);
        EXPECT_EQ(InstalledFactory()->Initialize(), rc::False);
        InstalledFactory()->Uninitialize();
        EXPECT_EQ(InstalledFactory()->CreateEncoder(&e), rc::Ok);
        InstalledFactory()->Uninitialize();
        EXPECT_EQ(InstalledFactory()->CreateEncoder(&e), rc::NotInitialized);
    });
    other.join();
    std::shared_ptr<IProfileCollection> profiles;
    std::int32_t count = 0;
    ASSERT_EQ(encoder->GetProfileCollection(&profiles), rc::Ok);
    ASSERT_EQ(profiles->GetCount(&count), rc::Ok);
    EXPECT_EQ(count, 9);
    std::shared_ptr<IProfile> last;
    std::u16string name;
    ASSERT_EQ(profiles->Item(8, &last), rc::Ok);
    ASSERT_EQ(last->GetName(&name), rc::Ok);
    EXPECT_EQ(name, u"MRProf3x");
    EXPECT_EQ(profiles->Item(9, &last), rc::InvalidArg);
}

TEST_F(FfmpegEngine, AReadFaultPartWayFailsTheRunAndKeepsTheEarlierOutput)
{
    // A DVD title scratched half-way: its first half reads, then every read
    // fails. Long enough that pictures reach the file before the fault, past
    // those the stages hold between them.
    const fs::path existing = out / "earlier.wmv";
    {
        std::ofstream(existing) << "an earlier conversion";
    }
    ASSERT_TRUE(testsupport::MakeClip(out / "VTS_02_1.VOB", 8, 352, 240, "30000/1001",
                                      {"-c:v", "mpeg2video", "-b:v", "1500k", "-c:a", "mp2", "-f", "vob"}));
    Job job;
    job.source = out / "VTS_02_1.VOB";
    job.output = existing;
    job.profile = "MRProf2v";
    ff::FailSourceReadsFrom(static_cast<std::int64_t>(fs::file_size(job.source) / 2));
    const Result r = Convert(*encoder, job);
    ff::FailSourceReadsFrom(-1);
    EXPECT_EQ(r, rc::ReadFault);
    EXPECT_GT(Stat(*encoder, Read::Converted), 0) << "the fault came before any picture";
    EXPECT_EQ(FileBytes(existing), "an earlier conversion");
    for (const auto& e : fs::directory_iterator(out.path()))
        EXPECT_NE(e.path().filename().string().front(), '.') << e.path() << " was left";
}

TEST_F(FfmpegEngine, AFilterChainFfmpegRefusesFailsTheRun)
{
    // Fields woven into frames, a phone's picture stored on its side, and
    // an HDR one: each needs its filter chain. One that FFmpeg refuses to
    // build, or that takes a picture and gives none back, must not let the
    // pictures through as they are (combed, sideways, washed out).
    const std::string picture = "testsrc2=s=320x240:r=25:d=1";
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", picture, "-c:v", "mpeg2video", "-flags", "+ildct+ilme",
                                     "-top", "1", "-q:v", "2", "-f", "vob", (out / "fields.vob").string()}));
    ASSERT_TRUE(testsupport::Ffmpeg(
        {"-f", "lavfi", "-i", picture, "-c:v", "mpeg4", "-q:v", "2", (out / "stored.mp4").string()}));
    ASSERT_TRUE(testsupport::Ffmpeg({"-i", (out / "stored.mp4").string(), "-c", "copy", "-metadata:s:v:0", "rotate=90",
                                     (out / "side.mp4").string()}));
    ASSERT_TRUE(testsupport::Ffmpeg(
        {"-f", "lavfi", "-i",
         picture + ",zscale=tin=bt709:pin=bt709:min=bt709:rin=tv:t=smpte2084:p=bt2020:m=bt2020nc:npl=100,"
                   "format=yuv420p10le",
         "-c:v", "libx265", "-x265-params", "log-level=error", "-color_primaries", "bt2020", "-color_trc", "smpte2084",
         "-colorspace", "bt2020nc", (out / "hdr.mp4").string()}));
    const struct {
        const char* source;
        const char* filter;
        const char* replacement;
    } cases[] = {
        {"fields.vob", "bwdif", "nosuchfilter"},
        {"side.mp4", "transpose", "nosuchfilter"},
        {"side.mp4", "transpose", "select=not(eq(n\\,5)),transpose"}, // keeps one picture back
        {"hdr.mp4", "tonemap", "nosuchfilter"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.source) + ": " + c.replacement);
        Job job;
        job.source = out / c.source;
        job.output = out / (std::to_string(++n) + ".wmv");
        ff::RewriteFilterChains(c.filter, c.replacement);
        const Result r = Convert(*encoder, job);
        ff::RewriteFilterChains("", "");
        EXPECT_EQ(r, rc::SourceNotWorking);
        EXPECT_FALSE(fs::exists(job.output));
    }
}
