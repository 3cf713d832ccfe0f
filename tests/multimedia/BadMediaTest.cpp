// Broken sources, a full disc and odd names through the headless converter
// on the FFmpeg engine: a failure is reported with the engine's words and
// leaves no file behind, an existing output survives it, the source is only
// ever read, and a name is only ever a name.
#include <gtest/gtest.h>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "Media.h"

namespace fs = std::filesystem;
using testsupport::CommandResult;
using testsupport::MakeClip;
using testsupport::Probe;

namespace {

const char* const kSourceNotWorking = "Windows Media Encoder Internal Error: One or all of the specified sources are "
                                      "not working properly. Check that the sources are configured correctly.\n";

std::string Converter()
{
    // Absolute: the converter runs in the test's folder.
    const char* dir = std::getenv("MC_BINARY_DIR");
    return fs::absolute(std::string(dir ? dir : ".") + "/bench/mr-convert").string();
}

std::string Contents(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

std::set<std::string> Names(const fs::path& dir)
{
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.insert(e.path().filename().string());
    return names;
}

class BadMedia : public ::testing::Test {
protected:
    // mr-convert in dir, killed if it has not ended within a minute (a hang
    // then shows as exit code 137). prefix goes before it, e.g. prlimit.
    CommandResult Convert(const std::string& source, const std::string& output,
                          const std::vector<std::string>& prefix = {})
    {
        std::vector<std::string> argv = {"env", "-C", dir.path().string()};
        argv.insert(argv.end(), prefix.begin(), prefix.end());
        for (const char* a : {"timeout", "-s", "KILL", "60"})
            argv.emplace_back(a);
        for (const std::string& a : {Converter(), std::string("--source"), source, std::string("--output"), output})
            argv.push_back(a);
        return testsupport::Run(argv);
    }

    // A failed conversion: exit 1, the engine's text, the old output as it
    // was and no other file added to the folder.
    void ExpectFailure(const std::string& source, const std::string& expectedError,
                       const std::vector<std::string>& prefix = {})
    {
        SCOPED_TRACE(source);
        const fs::path out = dir / "out.wmv";
        Write(out, "an earlier conversion");
        const std::set<std::string> before = Names(dir.path());
        const CommandResult r = Convert(source, out.string(), prefix);
        EXPECT_EQ(r.exitCode, 1) << r.err;
        EXPECT_EQ(r.err, expectedError);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(Contents(out), "an earlier conversion");
        EXPECT_EQ(Names(dir.path()), before);
    }

    testsupport::TempDir dir;
};

TEST_F(BadMedia, UnreadableSourcesFailWithTheEnginesWordsAndLeaveNothingBehind)
{
    Write(dir / "zero.avi", "");
    std::mt19937 random(12);
    std::string noise(40000, '\0');
    for (char& c : noise)
        c = static_cast<char>(random());
    Write(dir / "random.avi", noise);
    Write(dir / "text.wmv", "This is a text file, not a video.\n");
    ASSERT_TRUE(
        testsupport::Ffmpeg({"-f", "lavfi", "-i", "sine=duration=1", "-c:a", "mp2", (dir / "sound.mp2").string()}));
    // An MP4 keeps its index at the end: cut at a tenth, nothing can be found.
    ASSERT_TRUE(MakeClip(dir / "clip.mp4", 1.0, 176, 144, "25", {"-c:v", "mpeg4", "-c:a", "aac", "-f", "mp4"}));
    const std::string mp4 = Contents(dir / "clip.mp4");
    Write(dir / "cut10.mp4", mp4.substr(0, mp4.size() / 10));
    fs::create_directory(dir / "folder.avi");

    for (const char* name : {"zero.avi", "random.avi", "text.wmv", "sound.mp2", "cut10.mp4", "folder.avi"})
        ExpectFailure((dir / name).string(), kSourceNotWorking);
    ExpectFailure((dir / "missing.avi").string(), kSourceNotWorking);
}

// Off until the engine refuses what is not a regular file: today opening a
// named pipe waits for a writer for ever.
TEST_F(BadMedia, ANamedPipeIsRefusedAtOnce)
{
    ASSERT_EQ(mkfifo((dir / "pipe.avi").c_str(), 0600), 0);
    ExpectFailure((dir / "pipe.avi").string(), kSourceNotWorking);
}

TEST_F(BadMedia, DamagedButReadableSourcesConvertWhatIsThere)
{
    const fs::path clip = dir / "clip.mpg";
    ASSERT_TRUE(MakeClip(clip, 2.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    const std::string whole = Contents(clip);
    Write(dir / "cut90.mpg", whole.substr(0, whole.size() * 9 / 10));
    std::string damaged = whole;
    std::mt19937 random(7);
    for (std::size_t i = damaged.size() * 2 / 5; i < damaged.size() / 2; ++i)
        damaged[i] = static_cast<char>(random());
    Write(dir / "damaged.mpg", damaged);

    struct Case {
        const char* source;
        double minSeconds;
    };
    for (const Case& c : {Case{"cut90.mpg", 1.5}, Case{"damaged.mpg", 1.5}}) {
        SCOPED_TRACE(c.source);
        const fs::path out = dir / (std::string(c.source) + ".wmv");
        Write(out, "an earlier conversion"); // replaced by the complete new file
        const CommandResult r = Convert((dir / c.source).string(), out.string());
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const auto p = Probe(out);
        ASSERT_FALSE(p.empty());
        EXPECT_EQ(p.at("format.format_name"), "asf");
        EXPECT_EQ(p.at("video.codec_name"), "wmv2");
        EXPECT_GT(std::stod(p.at("format.duration")), c.minSeconds);
        EXPECT_LT(std::stod(p.at("format.duration")), 2.2);
    }
    EXPECT_EQ(Names(dir.path()).size(), 5u); // nothing but sources and outputs
}

TEST_F(BadMedia, AFullDiscFailsAndKeepsTheEarlierOutput)
{
    ASSERT_TRUE(MakeClip(dir / "clip.mpg", 2.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    // Files may grow to 48 KiB; the conversion needs about 80.
    ExpectFailure((dir / "clip.mpg").string(), "Windows Media Encoder Internal Error: 80070070\n",
                  {"prlimit", "--fsize=49152", "--"});
}

TEST_F(BadMedia, TheSourceIsOnlyReadAndNeverTheOutput)
{
    const fs::path src = dir / "clip.mpg";
    ASSERT_TRUE(MakeClip(src, 1.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    const std::string before = Contents(src);

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, src.c_str(), IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB), 0);
    CommandResult r = Convert(src.string(), (dir / "out.wmv").string());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    bool opened = false, written = false;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = read(watch, buf, sizeof buf)) > 0;) {
        for (char* p = buf; p < buf + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            opened |= (e->mask & IN_OPEN) != 0;
            written |= (e->mask & (IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB)) != 0;
            p += sizeof(inotify_event) + e->len;
        }
    }
    close(watch);
    EXPECT_TRUE(opened);
    EXPECT_FALSE(written);

    // The same file under another name is still the source.
    const char* const kSameName = "Windows Media Encoder Internal Error: The archive file has the same name as an "
                                  "input file. Change one of the names before continuing.\n";
    fs::create_hard_link(src, dir / "hard.wmv");
    fs::create_symlink(src, dir / "soft.wmv");
    for (const char* name : {"hard.wmv", "soft.wmv"}) {
        r = Convert(src.string(), (dir / name).string());
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_EQ(r.err, kSameName) << name;
    }
    EXPECT_EQ(Contents(src), before);
    EXPECT_TRUE(fs::is_symlink(dir / "soft.wmv"));
}

TEST_F(BadMedia, OddNamesAreOnlyNames)
{
    const fs::path clip = dir / "clip.mpg";
    ASSERT_TRUE(MakeClip(clip, 1.0, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2", "-f", "mpeg"}));
    // Relative names are taken in the folder mr-convert runs in.
    const std::vector<std::string> names = {
        "with  spaces", "quotes ' and \"", "$(touch pwned)`touch pwned`",
        "new\nline",    "-leading dash",   "caf\xe9 latin-1",
        "a:b",          "pipe:1",
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        fs::copy_file(clip, dir / (name + ".mpg"));
        const CommandResult r = Convert(name + ".mpg", name + ".wmv");
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out.rfind("{\"result\": 0,", 0), 0u) << r.out;
        ASSERT_TRUE(fs::is_regular_file(dir / (name + ".wmv")));
        EXPECT_EQ(Probe(dir / (name + ".wmv")).at("format.format_name"), "asf");
    }
    EXPECT_FALSE(fs::exists(dir / "pwned"));
    EXPECT_EQ(Names(dir.path()).size(), 1 + 2 * names.size());
}

} // namespace
