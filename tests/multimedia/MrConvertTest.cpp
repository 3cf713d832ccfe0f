// The headless converter on the FFmpeg engine: the session and the
// single-file recipe converting real clips made at test time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "Media.h"

extern char** environ;

namespace fs = std::filesystem;
using testsupport::MakeClip;
using testsupport::Probe;

namespace {

std::string Converter()
{
    const char* dir = std::getenv("MC_BINARY_DIR");
    return std::string(dir ? dir : ".") + "/bench/mr-convert";
}

std::string Contents(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(MrConvert, ConvertsAnAviWithItsTextsAndReportsOneJsonLine)
{
    testsupport::TempDir dir;
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(MakeClip(src, 2.0, 320, 240, "25", {"-c:v", "mpeg4", "-c:a", "pcm_s16le"}));
    const fs::path out = dir / "clip.wmv";
    const auto r = testsupport::Run({Converter(), "--source", src.string(), "--output", out.string(), "--resolution",
                                     "1", "--quality", "3", "--crop", "8,0,8,0", "--title", "Tiny", "--author", "Ann",
                                     "--copyright", "(c) Ann", "--description", "A short clip"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\"result\": 0, \"media_ms\": ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"bytes\": "), std::string::npos);
    EXPECT_NE(r.out.find("\"wall_s\": "), std::string::npos);
    EXPECT_EQ(r.out.back(), '\n');

    const auto p = Probe(out);
    ASSERT_FALSE(p.empty());
    EXPECT_EQ(p.at("format.format_name"), "asf");
    EXPECT_EQ(p.at("video.codec_name"), "wmv2");
    EXPECT_EQ(p.at("audio.codec_name"), "wmav2");
    // Low quality wide screen.
    EXPECT_EQ(p.at("video.width"), "320");
    EXPECT_EQ(p.at("video.height"), "240");
    EXPECT_NEAR(std::stod(p.at("video.duration")), 2.0, 0.1);
    // ffprobe names the author "artist" and the description "comment".
    EXPECT_EQ(p.at("format.tags.title"), "Tiny");
    EXPECT_EQ(p.at("format.tags.artist"), "Ann");
    EXPECT_EQ(p.at("format.tags.copyright"), "(c) Ann");
    EXPECT_EQ(p.at("format.tags.comment"), "A short clip");
}

TEST(MrConvert, ALimitReachedBeforeTheEndExitsThreeSayingHowMuchIsInTheFile)
{
    testsupport::TempDir dir;
    const fs::path src = dir / "clip.mp4";
    ASSERT_TRUE(MakeClip(src, 4.0, 320, 240, "25", {"-c:v", "mpeg4", "-q:v", "2", "-c:a", "aac"}));
    const fs::path out = dir / "clip.wmv";
    const auto r =
        testsupport::Run({Converter(), "--source", src.string(), "--output", out.string(), "--limit-bytes", "50000"});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_NE(r.out.find("\"video_bps\": 64000, \"card_full\": true, \"kept_ms\": "), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("the size limit was reached"), std::string::npos) << r.err;
    EXPECT_LE(fs::file_size(out), 50000u);
    const auto p = Probe(out);
    ASSERT_FALSE(p.empty());
    EXPECT_LT(std::stod(p.at("format.duration")), 4.0);
}

TEST(MrConvert, FailuresPrintTheEncoderErrorAndLeaveTheSourceAlone)
{
    testsupport::TempDir dir;
    const fs::path src = dir / "clip.mpg";
    ASSERT_TRUE(MakeClip(src, 1.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    const std::string before = Contents(src);

    auto r = testsupport::Run({Converter(), "--source", src.string(), "--output", src.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Windows Media Encoder Internal Error: The archive file has the same name as an input file. "
                     "Change one of the names before continuing.\n");
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Contents(src), before);

    r = testsupport::Run(
        {Converter(), "--source", (dir / "missing.avi").string(), "--output", (dir / "x.wmv").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "Windows Media Encoder Internal Error: One or all of the specified sources are not working "
                     "properly. Check that the sources are configured correctly.\n");
    EXPECT_FALSE(fs::exists(dir / "x.wmv"));

    r = testsupport::Run({Converter(), "--source", src.string()});
    EXPECT_EQ(r.exitCode, 2);
    r = testsupport::Run(
        {Converter(), "--source", src.string(), "--output", (dir / "x.wmv").string(), "--quality", "4"});
    EXPECT_EQ(r.exitCode, 2);
}

TEST(MrConvert, AConversionKilledHardLeavesLitterThatTheNextOneToTheFolderClearsAway)
{
    testsupport::TempDir dir;
    const fs::path src = dir / "long.mpg";
    ASSERT_TRUE(MakeClip(src, 30.0, 352, 288, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    const fs::path out = dir / "out";
    fs::create_directory(out);

    // Killed while it writes: its hidden temporary file stays behind.
    const std::string conv = Converter(), source = src.string(), output = (out / "a.wmv").string();
    std::vector<char*> argv = {const_cast<char*>(conv.c_str()),
                               const_cast<char*>("--source"),
                               const_cast<char*>(source.c_str()),
                               const_cast<char*>("--output"),
                               const_cast<char*>(output.c_str()),
                               const_cast<char*>("--resolution"),
                               const_cast<char*>("3"),
                               nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, conv.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    fs::path litter;
    for (int i = 0; i < 3000 && litter.empty(); ++i) {
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().filename().string().rfind(".a.wmv.", 0) == 0 && fs::file_size(e.path()) > 0)
                litter = e.path();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_FALSE(litter.empty()) << "the conversion never wrote";
    ASSERT_TRUE(WIFSIGNALED(status)) << "the conversion ended before it was killed";
    ASSERT_TRUE(fs::exists(litter));
    EXPECT_EQ(litter.extension(), ".part");

    // Beside it: the temporary file of a conversion still running (it holds
    // its file, as this test does here) and files that are not ours.
    const fs::path running = out / ".b.wmv.morvane-0123abcd.part";
    std::ofstream{running}; // empty: just made, nothing written yet
    const int held = open(running.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
    const fs::path notOurs[] = {out / ".notes.part", out / ".notes.0123abcd.part", out / ".c.wmv.morvane-0123ABCD.part",
                                out / "c.wmv.morvane-0123abcd.part", out / ".d.wmv.morvane-0123abcd.part"};
    for (const auto& p : notOurs)
        std::ofstream(p) << "mine";

    const fs::path small = dir / "small.mpg";
    ASSERT_TRUE(MakeClip(small, 1.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    const auto r = testsupport::Run({Converter(), "--source", small.string(), "--output", (out / "c.wmv").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(fs::exists(litter)) << "the killed conversion's file is still there";
    EXPECT_TRUE(fs::exists(running)) << "a running conversion's file was removed";
    close(held);
    for (const auto& p : notOurs)
        EXPECT_EQ(Contents(p), "mine") << p;
    EXPECT_TRUE(fs::exists(out / "c.wmv"));
}

} // namespace
