#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
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
class FfmpegEngine : public ::testing::Test {
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
        // Anamorphic 16:9 DVD picture, all white.
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=white:s=720x480:r=30000/1001:d=1", "-c:v",
                                         "mpeg2video", "-aspect", "16:9", "-f", "vob", (d / "wide.vob").string()}));
        // Hard to compress: grain over moving patterns and noise for sound;
        // and pictures of pure noise, which no rate can hold.
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=15,noise=alls=40:allf=t+u", "-f",
                                         "lavfi", "-i", "anoisesrc=r=44100:a=0.3", "-t", "12", "-c:v", "mpeg4", "-q:v",
                                         "2", "-c:a", "aac", "-b:a", "128k", (d / "grain.mp4").string()}));
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "nullsrc=s=320x240:r=15,geq=random(1)*255:128:128", "-t",
                                         "3", "-c:v", "mpeg4", "-q:v", "2", (d / "noise.mp4").string()}));
        // Left half red, right half blue.
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=160x240:r=25:d=1", "-f", "lavfi", "-i",
                                         "color=c=blue:s=160x240:r=25:d=1", "-filter_complex", "[0][1]hstack", "-c:v",
                                         "mpeg4", "-q:v", "2", (d / "halves.mp4").string()}));
    }
    static void TearDownTestSuite() { s_media.reset(); }

    void SetUp() override
    {
        InstallFactory(&FfmpegEngineFactory());
        ASSERT_TRUE(Succeeded(InstalledFactory()->Initialize()));
        encoder = NewEncoder();
        ASSERT_TRUE(encoder);
    }
    void TearDown() override
    {
        encoder.reset();
        InstalledFactory()->Uninitialize();
    }

    static fs::path Media(const std::string& name) { return s_media->path() / name; }

    static inline std::unique_ptr<testsupport::TempDir> s_media;
    testsupport::TempDir out;
    std::shared_ptr<IEncoder> encoder;
};

double Number(const std::map<std::string, std::string>& m, const std::string& key)
{
    const auto it = m.find(key);
    return it == m.end() ? -1 : std::atof(it->second.c_str());
}

void ExpectWmv(const fs::path& file, int width, int height, double seconds, bool audio)
{
    const auto p = Probe(file);
    ASSERT_FALSE(p.empty()) << file << " is not readable";
    EXPECT_EQ(p.at("format.format_name"), "asf");
    EXPECT_EQ(p.at("video.codec_name"), "wmv2");
    EXPECT_EQ(Number(p, "video.width"), width);
    EXPECT_EQ(Number(p, "video.height"), height);
    EXPECT_NEAR(Number(p, "format.duration"), seconds, seconds * 0.05) << file;
    if (audio)
        EXPECT_EQ(p.count("audio.codec_name") ? p.at("audio.codec_name") : "", "wmav2");
    else
        EXPECT_EQ(p.count("audio.codec_name"), 0u);
}

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

// Combing, as a woven picture of moving edges shows it: the share of pixels
// (every other column of the frames past the first and last five) that differ
// from the mean of the lines above and below by more than 64 of 255. A
// progressive picture of smooth shapes has next to none.
double CombedShare(const fs::path& file, int width, int height)
{
    const auto r = testsupport::Run(
        {"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-f", "rawvideo", "-pix_fmt", "gray", "-"});
    const std::size_t frameBytes = static_cast<std::size_t>(width) * height;
    const std::size_t frames = r.exitCode == 0 ? r.out.size() / frameBytes : 0;
    std::size_t combed = 0, total = 0;
    for (std::size_t f = 5; f + 5 < frames; ++f) {
        const auto* p = reinterpret_cast<const unsigned char*>(r.out.data() + f * frameBytes);
        for (int y = 1; y + 1 < height; ++y)
            for (int x = 0; x < width; x += 2, ++total) {
                const int d = 2 * p[y * width + x] - p[(y - 1) * width + x] - p[(y + 1) * width + x];
                combed += d > 128 || d < -128;
            }
    }
    return total ? static_cast<double>(combed) / total : -1;
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

TEST_F(FfmpegEngine, CropsFirstThenKeepsTheDisplayAspectWithBlackBars)
{
    // Cropping the blue right half away leaves a red 160x240 picture: pillarboxed in 320x240.
    Job job;
    job.source = Media("halves.mp4");
    job.output = out / "cropped.wmv";
    job.profile = "MRProf3h";
    job.crop = {0, 0, 160, 0};
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    Picture pic = Grab(job.output, 0.5, 320, 240);
    ASSERT_EQ(pic.width, 320);
    auto red = pic.At(160, 120);
    EXPECT_GT(red[0], 180);
    EXPECT_LT(red[2], 80);
    for (int x : {10, 310}) {
        const auto bar = pic.At(x, 120);
        EXPECT_LT(bar[0] + bar[1] + bar[2], 40) << "x=" << x;
    }
    // Uncropped, the same source shows both halves.
    job.crop = {0, 0, 0, 0};
    job.output = out / "whole.wmv";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    pic = Grab(job.output, 0.5, 320, 240);
    EXPECT_GT(pic.At(80, 120)[0], 180);
    EXPECT_GT(pic.At(240, 120)[2], 180);

    // A DVD picture for the small screen, decoded at half its size: the
    // margins are still those of the full picture (red band cropped away,
    // green band kept at the left edge).
    ASSERT_TRUE(testsupport::Ffmpeg({"-f",
                                     "lavfi",
                                     "-i",
                                     "color=red:s=80x480:r=25:d=1",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "color=lime:s=80x480:r=25:d=1",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "color=blue:s=560x480:r=25:d=1",
                                     "-filter_complex",
                                     "[0][1][2]hstack=3",
                                     "-c:v",
                                     "mpeg2video",
                                     "-q:v",
                                     "2",
                                     "-aspect",
                                     "3:2",
                                     "-f",
                                     "vob",
                                     (out / "bands.vob").string()}));
    job.source = out / "bands.vob";
    job.output = out / "bands.wmv";
    job.profile = "MRProf2v";
    job.crop = {80, 0, 0, 0};
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    pic = Grab(job.output, 0.5, 208, 160);
    ASSERT_EQ(pic.width, 208);
    const auto green = pic.At(8, 80);
    EXPECT_GT(green[1], 180);
    EXPECT_LT(green[0] + green[2], 120);
    EXPECT_GT(pic.At(100, 80)[2], 180);
    job.crop = {0, 0, 0, 0};

    // An anamorphic 16:9 DVD picture is letterboxed, not squashed.
    job.source = Media("wide.vob");
    job.output = out / "wide.wmv";
    job.profile = "MRProf2h";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    pic = Grab(job.output, 0.5, 320, 240);
    ASSERT_EQ(pic.width, 320);
    for (int y : {10, 229})
        EXPECT_LT(pic.At(160, y)[0], 30) << "y=" << y;
    for (int y : {40, 120, 199})
        EXPECT_GT(pic.At(160, y)[0], 220) << "y=" << y;
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

// Which source picture each output picture shows, for a source whose picture
// n is a flat grey of brightness 16 + 8 * (n mod 25).
std::vector<int> SourcePicturesShown(const fs::path& output)
{
    const auto r = testsupport::Run({"ffprobe", "-v", "error", "-f", "lavfi", "-i",
                                     "movie=" + output.string() + ",crop=160:100,signalstats", "-show_entries",
                                     "frame_tags=lavfi.signalstats.YAVG", "-of", "csv=p=0"});
    std::vector<int> shown;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);)
        shown.push_back(static_cast<int>(std::lround((std::atof(line.c_str()) - 16) / 8)));
    return shown;
}

TEST_F(FfmpegEngine, CappedRateShowsTheSamePicturesWhileTheDecoderLeavesOutWhatTheCapDrops)
{
    // Pictures that others are predicted from (I, P) and pictures nothing
    // depends on (B), and an intra-only codec: at 30 pictures a second capped
    // at 15 every other one goes out, whichever the decoder was told to skip.
    const std::string grey = "geq=lum='16+8*mod(N,25)':cb=128:cr=128";
    const struct {
        const char* name;
        std::vector<std::string> args;
    } sources[] = {
        {"ibbp.vob", {"-r", "30000/1001", "-c:v", "mpeg2video", "-bf", "2", "-g", "12", "-q:v", "2", "-f", "vob"}},
        {"intra.avi", {"-r", "30", "-c:v", "mjpeg", "-q:v", "2"}},
        // deinterlaced: a picture the cap drops does not reach the deinterlacer
        {"fields.vob",
         {"-r", "30000/1001", "-c:v", "mpeg2video", "-bf", "2", "-flags", "+ildct+ilme", "-top", "1", "-q:v", "2", "-f",
          "vob"}},
    };
    for (const auto& source : sources) {
        SCOPED_TRACE(source.name);
        std::vector<std::string> args = {"-f", "lavfi", "-i", "color=black:s=352x240:r=30:d=2," + grey};
        args.insert(args.end(), source.args.begin(), source.args.end());
        args.push_back((out / source.name).string());
        ASSERT_TRUE(testsupport::Ffmpeg(args));
        Job job;
        job.source = out / source.name;
        job.output = out / (std::string(source.name) + ".wmv");
        job.profile = "MRProf2v";
        ASSERT_EQ(Convert(*encoder, job), rc::Ok);
        const std::vector<int> shown = SourcePicturesShown(job.output);
        ASSERT_EQ(shown.size(), 30u);
        for (std::size_t n = 0; n < shown.size(); ++n)
            EXPECT_EQ(shown[n], static_cast<int>(2 * n % 25)) << "output picture " << n;
    }
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

    // A run that fails once started (a limit too small for even the header)
    // keeps it too.
    {
        Job job;
        job.source = Media("clip.mp4");
        job.output = existing;
        job.maxFileSize = 3000;
        auto fresh = NewEncoder();
        EXPECT_EQ(Convert(*fresh, job), rc::InvalidArg);
        EXPECT_EQ(fresh->GetRunState(nullptr), RunState::Stopped);
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

TEST_F(FfmpegEngine, InterlacedPicturesAreDeinterlacedProgressiveOnesLeftAlone)
{
    // A white bar crossing the picture at 24 pixels a field, 50 fields a
    // second woven into 25 interlaced frames, as a camcorder's DVD has them.
    // 640x480 into the VGA profile: nothing is scaled, so what combing the
    // output has comes from the fields.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f",
                                     "lavfi",
                                     "-i",
                                     "color=c=black:s=640x480:r=50:d=2",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "color=c=white:s=64x480:r=50:d=2",
                                     "-filter_complex",
                                     "[0][1]overlay=x='mod(n*24,576)':y=0,tinterlace=mode=interleave_top,setfield=tff",
                                     "-c:v",
                                     "mpeg2video",
                                     "-flags",
                                     "+ildct+ilme",
                                     "-top",
                                     "1",
                                     "-q:v",
                                     "2",
                                     "-f",
                                     "vob",
                                     (out / "interlaced.vob").string()}));
    Job job;
    job.source = out / "interlaced.vob";
    job.output = out / "interlaced.wmv";
    job.profile = "MRProf3x";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    ExpectWmv(job.output, 640, 480, 2, false);
    // Woven as it is, the bar's edges comb about 8 % of the picture.
    EXPECT_LT(CombedShare(job.output, 640, 480), 0.002);

    // Progressive lines one pixel apart are picture, not fields: kept.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i",
                                     "color=c=gray:s=640x480:r=25:d=2,geq=lum='if(lt(Y,240),if(mod(Y,2),235,16),128)'"
                                     ":cb=128:cr=128",
                                     "-c:v", "mpeg4", "-q:v", "1", (out / "lines.avi").string()}));
    job.source = out / "lines.avi";
    job.output = out / "lines.wmv";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    EXPECT_GT(CombedShare(job.output, 640, 480), 0.45);
}

TEST_F(FfmpegEngine, PhoneVideoStoredOnItsSideComesOutUpright)
{
    // Stored 640x360, red left and blue right, with a display matrix that
    // turns it a quarter clockwise: players show it 360x640, blue on top.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=320x360:r=25:d=1", "-f", "lavfi", "-i",
                                     "color=c=blue:s=320x360:r=25:d=1", "-filter_complex", "[0][1]hstack", "-c:v",
                                     "libx264", "-pix_fmt", "yuv420p", (out / "stored.mp4").string()}));
    ASSERT_TRUE(testsupport::Ffmpeg({"-i", (out / "stored.mp4").string(), "-c", "copy", "-metadata:s:v:0", "rotate=90",
                                     (out / "phone.mp4").string()}));
    Job job;
    job.source = out / "phone.mp4";
    job.output = out / "phone.wmv";
    job.profile = "MRProf3x";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    ExpectWmv(job.output, 640, 480, 1, false);
    // Upright, the picture is 270x480 between bars left and right.
    const auto detect = testsupport::Run({"ffmpeg", "-nostdin", "-hide_banner", "-i", job.output.string(), "-vf",
                                          "cropdetect=limit=24:round=2", "-f", "null", "-"});
    const auto at = detect.err.rfind("crop=");
    ASSERT_NE(at, std::string::npos) << detect.err;
    int w = 0, h = 0, x = 0, y = 0;
    ASSERT_EQ(std::sscanf(detect.err.c_str() + at, "crop=%d:%d:%d:%d", &w, &h, &x, &y), 4);
    EXPECT_NEAR(w, 270, 4);
    EXPECT_EQ(h, 480);
    EXPECT_NEAR(x, 185, 4);
    EXPECT_EQ(y, 0);
    const Picture pic = Grab(job.output, 0.5, 640, 480);
    ASSERT_EQ(pic.width, 640);
    EXPECT_GT(pic.At(320, 120)[2], 180); // blue on top
    EXPECT_GT(pic.At(320, 360)[0], 180); // red below
}

TEST_F(FfmpegEngine, UntaggedHdColoursComeOutAsAPlayerShowsThem)
{
    // A 1280x720 picture in BT.709 without a tag saying so: players take HD
    // for BT.709, and the small output for BT.601.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=0x20C040:s=1280x720:r=25:d=1,format=rgb24", "-vf",
                                     "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-c:v", "mpeg4",
                                     "-q:v", "2", (out / "hd.avi").string()}));
    Job job;
    job.source = out / "hd.avi";
    job.output = out / "hd.wmv";
    job.profile = "MRProf3x";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    const Picture pic = Grab(job.output, 0.5, 640, 480);
    ASSERT_EQ(pic.width, 640);
    const auto c = pic.At(320, 240);
    EXPECT_NEAR(c[0], 0x20, 8);
    EXPECT_NEAR(c[1], 0xC0, 8); // read as BT.601 it comes out 0xDA
    EXPECT_NEAR(c[2], 0x40, 8);
}

TEST_F(FfmpegEngine, AReadFaultPartWayFailsTheRunAndKeepsTheEarlierOutput)
{
    // A DVD title scratched half-way: its first half reads, then every read fails.
    const fs::path existing = out / "earlier.wmv";
    {
        std::ofstream(existing) << "an earlier conversion";
    }
    Job job;
    job.source = Media("VTS_01_1.VOB");
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
