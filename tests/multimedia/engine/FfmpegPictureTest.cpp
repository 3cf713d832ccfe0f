// The engine's picture as a player shows it: cropping and bars, which source
// pictures a capped rate keeps, fields, orientation and colours.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <utility>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "FfmpegEngine.h"
#include "Media.h"

using namespace mce;
using namespace enginetest;
namespace fs = std::filesystem;

namespace {

using FfmpegPicture = EngineTest;

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

} // namespace

TEST_F(FfmpegPicture, CropsFirstThenKeepsTheDisplayAspectWithBlackBars)
{
    // Cropping the blue right half away leaves a red 160x240 picture: pillarboxed in 320x240.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=160x240:r=25:d=1", "-f", "lavfi", "-i",
                                     "color=c=blue:s=160x240:r=25:d=1", "-filter_complex", "[0][1]hstack", "-c:v",
                                     "mpeg4", "-q:v", "2", (out / "halves.mp4").string()}));
    Job job;
    job.source = out / "halves.mp4";
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

    // An anamorphic 16:9 DVD picture, all white, is letterboxed, not squashed.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=white:s=720x480:r=30000/1001:d=1", "-c:v",
                                     "mpeg2video", "-aspect", "16:9", "-f", "vob", (out / "wide.vob").string()}));
    job.source = out / "wide.vob";
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

TEST_F(FfmpegPicture, CappedRateShowsTheSamePicturesWhileTheDecoderLeavesOutWhatTheCapDrops)
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

TEST_F(FfmpegPicture, CappedRateShowsThePicturesTheFpsFilterKeeps)
{
    // The source converted with the profile shows the pictures the reference,
    // made by the fps filter, shows: the first `count` of them (the filter's
    // last picture is its own decision).
    auto expectFilterPictures = [&](const fs::path& source, const fs::path& reference, const char* profile,
                                    std::size_t count) {
        Job job;
        job.source = source;
        job.output = out / (source.stem().string() + ".wmv");
        job.profile = profile;
        ASSERT_EQ(Convert(*encoder, job), rc::Ok);
        const std::vector<int> shown = SourcePicturesShown(job.output);
        std::vector<int> expected = SourcePicturesShown(reference);
        ASSERT_GE(expected.size(), count);
        expected.resize(count);
        ASSERT_GE(shown.size(), expected.size());
        EXPECT_EQ(std::vector<int>(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(count)), expected);
    };
    // 30 and 29.97 pictures a second into the 25 of the VGA profile: one in
    // six is dropped, the one FFmpeg's fps filter drops.
    const std::string grey = "geq=lum='16+8*mod(N,25)':cb=128:cr=128";
    for (const std::string rate : {"30", "30000/1001"}) {
        SCOPED_TRACE(rate);
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=black:s=640x480:r=" + rate + ":d=2," + grey,
                                         "-c:v", "mjpeg", "-q:v", "2", (out / "thirty.avi").string()}));
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i",
                                         "color=black:s=640x480:r=" + rate + ":d=2," + grey + ",fps=" + rate + "*5/6",
                                         "-c:v", "mpeg4", "-q:v", "2", (out / "fps.avi").string()}));
        expectFilterPictures(out / "thirty.avi", out / "fps.avi", "MRProf2x", 49);
    }
    // A PAL title file into the 20 of wide screen: its sound starts a few
    // milliseconds before its first picture, and the command, converting the
    // sound too, counts from there.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=black:s=352x288:r=25:d=3," + grey, "-f", "lavfi", "-i",
                                     "sine=sample_rate=48000:d=3", "-c:v", "mpeg2video", "-q:v", "2", "-c:a", "mp2",
                                     "-f", "vob", (out / "pal.vob").string()}));
    ASSERT_TRUE(testsupport::Ffmpeg({"-i", (out / "pal.vob").string(), "-vf", "fps=20", "-c:v", "mpeg4", "-q:v", "2",
                                     "-c:a", "mp2", (out / "fps20.avi").string()}));
    expectFilterPictures(out / "pal.vob", out / "fps20.avi", "MRProf2h", 59);
}

TEST_F(FfmpegPicture, FullRangePicturesComeOutInTheRangePlayersShow)
{
    // A camera's MJPEG: black and white at 0 and 255, at the output's own
    // size, so that nothing is scaled. A WMV player shows 16 as black and 235
    // as white; kept as they are, the darkest and lightest parts are lost.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=black:s=160x240:r=25:d=1", "-f", "lavfi", "-i",
                                     "color=c=white:s=160x240:r=25:d=1", "-filter_complex",
                                     "[0][1]hstack,scale=out_range=pc,format=yuvj420p", "-c:v", "mjpeg", "-q:v", "2",
                                     (out / "camera.avi").string()}));
    Job job;
    job.source = out / "camera.avi";
    job.output = out / "camera.wmv";
    job.profile = "MRProf2h";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    const auto r = testsupport::Run({"ffprobe", "-v", "error", "-f", "lavfi", "-i",
                                     "movie=" + job.output.string() + ",crop=300:220,signalstats", "-read_intervals",
                                     "%+#5", "-show_entries",
                                     "frame_tags=lavfi.signalstats.YMIN,lavfi.signalstats.YMAX", "-of", "csv=p=0"});
    int lowest = 255, highest = 0, frames = 0;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line); ++frames) {
        int lo = 0, hi = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%d", &lo, &hi), 2) << line;
        lowest = std::min(lowest, lo);
        highest = std::max(highest, hi);
    }
    ASSERT_GT(frames, 0) << r.err;
    EXPECT_NEAR(lowest, 16, 4);
    EXPECT_NEAR(highest, 235, 4);
}

TEST_F(FfmpegPicture, InterlacedPicturesAreDeinterlacedProgressiveOnesLeftAlone)
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

TEST_F(FfmpegPicture, PhoneVideoStoredOnItsSideComesOutUpright)
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

TEST_F(FfmpegPicture, ADisplayMatrixThatOnlyFlipsIsFollowed)
{
    // Red above blue as stored; the track's matrix mirrors it top to bottom
    // without turning it (its second diagonal entry -1), as some editors
    // and cameras write it: players show blue above red.
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=320x120:r=25:d=1", "-f", "lavfi", "-i",
                                     "color=c=blue:s=320x120:r=25:d=1", "-filter_complex", "[0][1]vstack", "-c:v",
                                     "mpeg4", "-q:v", "2", (out / "stored.mp4").string()}));
    std::string bytes = FileBytes(out / "stored.mp4");
    const auto tkhd = bytes.find("tkhd");
    ASSERT_NE(tkhd, std::string::npos);
    ASSERT_EQ(bytes[tkhd + 4], 0) << "a version 0 track header";
    // The matrix follows 40 bytes of header fields; its entries are 16.16.
    bytes.replace(tkhd + 4 + 40 + 16, 4, std::string("\xff\xff\x00\x00", 4));
    {
        std::ofstream(out / "flipped.mp4", std::ios::binary) << bytes;
    }
    Job job;
    job.source = out / "flipped.mp4";
    job.output = out / "flipped.wmv";
    job.profile = "MRProf3h";
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    const Picture pic = Grab(job.output, 0.5, 320, 240);
    ASSERT_EQ(pic.width, 320);
    EXPECT_GT(pic.At(160, 60)[2], 180);  // blue on top
    EXPECT_GT(pic.At(160, 180)[0], 180); // red below
}

TEST_F(FfmpegPicture, UntaggedHdColoursComeOutAsAPlayerShowsThem)
{
    // An HD picture in BT.709 without a tag saying so: players take HD for
    // BT.709, and the small output for BT.601. The MPEG-2 one is decoded at
    // half its size for the small screen, and is still HD.
    struct Case {
        const char* file;
        const char* size;
        const char* codec;
        const char* profile;
        int width, height;
    };
    for (const Case& c : {Case{"hd.avi", "1280x720", "mpeg4", "MRProf3x", 640, 480},
                          Case{"hd.mpg", "1920x1080", "mpeg2video", "MRProf3h", 320, 240}}) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i",
                                         std::string("color=c=0x20C040:s=") + c.size + ":r=25:d=1,format=rgb24", "-vf",
                                         "scale=out_color_matrix=bt709:out_range=tv,format=yuv420p", "-c:v", c.codec,
                                         "-q:v", "2", (out / c.file).string()}));
        Job job;
        job.source = out / c.file;
        job.output = out / "hd.wmv";
        job.profile = c.profile;
        ASSERT_EQ(Convert(*encoder, job), rc::Ok);
        const Picture pic = Grab(job.output, 0.5, c.width, c.height);
        ASSERT_EQ(pic.width, c.width);
        const auto rgb = pic.At(c.width / 2, c.height / 2);
        EXPECT_NEAR(rgb[0], 0x20, 8);
        EXPECT_NEAR(rgb[1], 0xC0, 8); // read as BT.601 it comes out 0xDA
        EXPECT_NEAR(rgb[2], 0x40, 8);
    }
}

namespace {

// Hue in degrees and saturation (HSV) of an RGB colour.
std::pair<double, double> HueAndSaturation(const std::array<int, 3>& rgb)
{
    const int hi = std::max({rgb[0], rgb[1], rgb[2]}), lo = std::min({rgb[0], rgb[1], rgb[2]});
    if (hi == 0 || hi == lo)
        return {0, 0};
    const double d = hi - lo;
    double hue = hi == rgb[0]   ? (rgb[1] - rgb[2]) / d
                 : hi == rgb[1] ? 2 + (rgb[2] - rgb[0]) / d
                                : 4 + (rgb[0] - rgb[1]) / d;
    hue = std::fmod(60 * hue + 360, 360);
    return {hue, d / hi};
}

} // namespace

TEST_F(FfmpegPicture, HdrPicturesComeOutInTheColoursOfAToneMappingPlayer)
{
    // Colour bars with SDR white at 100 nits, made HDR as phones make it:
    // BT.2020 primaries with PQ or HLG light, 10-bit HEVC, tagged. The SDR
    // bars in BT.709 come out as they are; the HDR ones as a tone-mapping
    // player shows them, not washed out and grey. 1280x720 into 320x240: the
    // picture is 320x180 between bars above and below.
    const std::string bars = "smptehdbars=s=1280x720:r=10:d=1";
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", bars + ",format=yuv420p", "-c:v", "libx264", "-crf", "10",
                                     "-color_primaries", "bt709", "-color_trc", "bt709", "-colorspace", "bt709",
                                     (out / "sdr.mp4").string()}));
    for (const char* transfer : {"smpte2084", "arib-std-b67"}) {
        ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i",
                                         bars + ",zscale=tin=bt709:pin=bt709:min=bt709:rin=tv:t=" + transfer +
                                             ":p=bt2020:m=bt2020nc:r=tv:npl=100,format=yuv420p10le",
                                         "-c:v", "libx265", "-crf", "12", "-x265-params", "log-level=error",
                                         "-color_primaries", "bt2020", "-color_trc", transfer, "-colorspace",
                                         "bt2020nc", (out / (std::string(transfer) + ".mp4")).string()}));
    }
    // The middle of the seven bars of 75%: grey, yellow, cyan, green,
    // magenta, red, blue.
    auto barsOf = [&](const std::string& name) {
        Job job;
        job.source = out / (name + ".mp4");
        job.output = out / (name + ".wmv");
        job.profile = "MRProf2h";
        EXPECT_EQ(Convert(*encoder, job), rc::Ok);
        const Picture pic = Grab(job.output, 0.5, 320, 240);
        std::vector<std::array<int, 3>> colours;
        for (int i = 0; i < 7 && pic.width == 320; ++i)
            colours.push_back(pic.At((160 + 69 + 138 * i) / 4, 30 + 54));
        return colours;
    };
    const auto sdr = barsOf("sdr");
    ASSERT_EQ(sdr.size(), 7u);
    for (int c : sdr[0])
        EXPECT_NEAR(c, 191, 5) << "SDR grey"; // a tone-mapped one would be darker
    for (const char* transfer : {"smpte2084", "arib-std-b67"}) {
        SCOPED_TRACE(transfer);
        const auto hdr = barsOf(transfer);
        ASSERT_EQ(hdr.size(), 7u);
        for (int c : hdr[0]) {
            EXPECT_GE(c, 110) << "grey";
            EXPECT_LE(c, 235) << "grey";
        }
        for (std::size_t i = 1; i < 7; ++i) {
            const auto [sdrHue, sdrSaturation] = HueAndSaturation(sdr[i]);
            const auto [hue, saturation] = HueAndSaturation(hdr[i]);
            EXPECT_LE(std::fabs(std::remainder(hue - sdrHue, 360.0)), 12) << "bar " << i;
            EXPECT_GE(saturation, 0.7 * sdrSaturation) << "bar " << i;
        }
    }
}

namespace {

CropMargins Detect(const fs::path& source, Result* result = nullptr)
{
    CropMargins m;
    const Result r = FfmpegEngineFactory().DetectCrop(source.c_str(), &m);
    if (result)
        *result = r;
    else
        EXPECT_EQ(r, rc::Ok) << source;
    return m;
}

} // namespace

TEST_F(FfmpegPicture, BlackBordersAreFoundOnThePictureAsItIsShown)
{
    // A 4:3 programme pillar-boxed in a 16:9 DVD frame: 90 columns a side.
    const fs::path pillar = out / "pillar.vob";
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=540x480:r=30000/1001:d=20", "-vf",
                                     "pad=720:480:90:0:black,setsar=32/27", "-c:v", "mpeg2video", "-b:v", "6M", "-g",
                                     "15", "-f", "vob", pillar.string()}));
    CropMargins m = Detect(pillar);
    EXPECT_NEAR(m.left, 90, 2);
    EXPECT_NEAR(m.right, 90, 2);
    EXPECT_EQ(m.top, 0);
    EXPECT_EQ(m.bottom, 0);

    // A 2.35:1 film letter-boxed, bars of 87 lines, at even margins.
    const fs::path letter = out / "letter.mp4";
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=720x306:r=24:d=20", "-vf",
                                     "pad=720:480:0:87:black", "-c:v", "libx264", "-g", "24", letter.string()}));
    m = Detect(letter);
    EXPECT_EQ(m.left, 0);
    EXPECT_EQ(m.right, 0);
    EXPECT_NEAR(m.top, 87, 2);
    EXPECT_NEAR(m.bottom, 87, 2);
    EXPECT_EQ(m.top % 2 + m.bottom % 2, 0);

    // Stored on its side with 40 lines above and 20 below; shown a quarter
    // turned, as FFmpeg's own command turns it, they are 40 left, 20 right.
    const fs::path stored = out / "stored.mp4", phone = out / "phone.mp4";
    ASSERT_TRUE(
        testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=640x300:r=30:d=4", "-vf", "pad=640:360:0:40:black",
                             "-c:v", "libx264", "-g", "30", "-pix_fmt", "yuv420p", stored.string()}));
    ASSERT_TRUE(
        testsupport::Ffmpeg({"-i", stored.string(), "-c", "copy", "-metadata:s:v:0", "rotate=90", phone.string()}));
    m = Detect(phone);
    EXPECT_EQ(m.left, 40);
    EXPECT_EQ(m.right, 20);
    EXPECT_EQ(m.top, 0);
    EXPECT_EQ(m.bottom, 0);
}

TEST_F(FfmpegPicture, DarkScenesBlackPicturesAndUnreadableSourcesGiveNoMargins)
{
    // Bars throughout; a dark scene with detail for half the length, then
    // black: only the dark pictures can be judged, and they keep their
    // picture.
    const fs::path dark = out / "dark.vob";
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i",
                                     "testsrc2=s=540x480:r=25:d=6,lutyuv=y=16+(val-16)*0.25,pad=720:480:90:0:black[a];"
                                     "color=black:s=720x480:r=25:d=6[b];[a][b]concat=n=2:v=1,setsar=32/27",
                                     "-c:v", "mpeg2video", "-b:v", "5M", "-g", "12", "-f", "vob", dark.string()}));
    CropMargins m = Detect(dark);
    EXPECT_NEAR(m.left, 90, 2);
    EXPECT_NEAR(m.right, 90, 2);
    EXPECT_EQ(m.top, 0);
    EXPECT_EQ(m.bottom, 0);

    const fs::path plain = out / "plain.mp4";
    ASSERT_TRUE(testsupport::Ffmpeg(
        {"-f", "lavfi", "-i", "testsrc2=s=640x480:r=25:d=10", "-c:v", "libx264", "-g", "25", plain.string()}));
    m = Detect(plain);
    EXPECT_EQ(m.left + m.top + m.right + m.bottom, 0);

    // All black: nothing can be judged, nothing is proposed.
    const fs::path black = out / "black.mp4";
    ASSERT_TRUE(testsupport::Ffmpeg(
        {"-f", "lavfi", "-i", "color=black:s=320x240:r=25:d=10", "-c:v", "libx264", "-g", "25", black.string()}));
    m = Detect(black);
    EXPECT_EQ(m.left + m.top + m.right + m.bottom, 0);

    const fs::path text = out / "notes.mpg";
    std::ofstream(text) << "not a video\n";
    Result r = rc::Ok;
    m = Detect(text, &r);
    EXPECT_EQ(r, rc::SourceNotWorking);
    EXPECT_EQ(m.left + m.top + m.right + m.bottom, 0);
}
