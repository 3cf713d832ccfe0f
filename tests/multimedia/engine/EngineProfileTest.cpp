#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "EngineProfile.h"

using namespace mce;

namespace {

const char* kValid = R"(# a comment line
name = Test profile
width = 320
height = 240
frame_rate = 20   # trailing comment
video_bitrate = 400000
video_max_bitrate = 600000
video_buffer = 800000
quality = 80

keyframe_interval = 5
audio_bitrate = 64000
sample_rate = 44100
channels = 2
)";

std::string Replace(std::string text, const std::string& from, const std::string& to)
{
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}
} // namespace

TEST(EngineProfile, ParsesEveryKeyWithCommentsBlankLinesAndCrLf)
{
    EngineProfile p;
    std::string crlf;
    for (char c : std::string(kValid)) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    for (const std::string& text : {std::string(kValid), crlf}) {
        ASSERT_EQ(ParseEngineProfile(text, &p), rc::Ok);
        EXPECT_EQ(p.name, "Test profile");
        EXPECT_EQ(p.width, 320);
        EXPECT_EQ(p.height, 240);
        EXPECT_EQ(p.frameRate, 20);
        EXPECT_EQ(p.videoBitrate, 400000);
        EXPECT_EQ(p.videoMaxBitrate, 600000);
        EXPECT_EQ(p.videoBuffer, 800000);
        EXPECT_EQ(p.quality, 80);
        EXPECT_EQ(p.keyframeInterval, 5);
        EXPECT_EQ(p.audioBitrate, 64000);
        EXPECT_EQ(p.sampleRate, 44100);
        EXPECT_EQ(p.channels, 2);
        EXPECT_EQ(ValidateEngineProfile(p), rc::Ok);
    }
}

TEST(EngineProfile, RefusesMalformedFilesWithAReasonAndLeavesTheOutputAlone)
{
    const std::pair<std::string, std::string> cases[] = {
        {Replace(kValid, "quality = 80", "qualty = 80"), "unknown key 'qualty'"},
        {Replace(kValid, "channels = 2\n", ""), "channels is missing"},
        {Replace(kValid, "name = Test profile\n", ""), "name is missing"},
        {std::string(kValid) + "width = 320\n", "width given twice"},
        {Replace(kValid, "width = 320", "width = 32O"), "width must be"},
        {Replace(kValid, "width = 320", "width = -320"), "width must be"},
        {Replace(kValid, "width = 320", "width = 3.5"), "width must be"},
        {Replace(kValid, "width = 320", "width ="), "width must be"},
        {Replace(kValid, "width = 320", "width = 99999999999"), "width must be"},
        {Replace(kValid, "width = 320", "width 320"), "expected key = value"},
        {Replace(kValid, "name = Test profile", "name = bad\x01name"), "name holds"},
        {"", "name is missing"},
    };
    for (const auto& [text, reason] : cases) {
        EngineProfile p;
        p.width = 7;
        std::string error;
        EXPECT_EQ(ParseEngineProfile(text, &p, &error), rc::BadProfileFile) << reason;
        EXPECT_NE(error.find(reason), std::string::npos) << "got: " << error;
        EXPECT_EQ(p.width, 7) << reason;
    }
    EXPECT_EQ(ParseEngineProfile(kValid, nullptr), rc::InvalidArg);
}

TEST(EngineProfile, ValidationNamesTheBadSetting)
{
    EngineProfile good;
    ASSERT_EQ(ParseEngineProfile(kValid, &good), rc::Ok);
    auto with = [&](auto change) {
        EngineProfile p = good;
        change(p);
        return ValidateEngineProfile(p);
    };
    EXPECT_EQ(with([](EngineProfile& p) { p.videoBitrate = p.audioBitrate = 0; }), rc::ProfileWithoutStreams);
    EXPECT_EQ(with([](EngineProfile& p) { p.height = 241; }), rc::InvalidVideoHeight);
    EXPECT_EQ(with([](EngineProfile& p) { p.height = 0; }), rc::InvalidVideoHeight);
    EXPECT_EQ(with([](EngineProfile& p) { p.videoBitrate = 100; }), rc::InvalidVideoBitrate);
    EXPECT_EQ(with([](EngineProfile& p) { p.videoMaxBitrate = p.videoBitrate - 1; }), rc::InvalidVideoBitrate);
    EXPECT_EQ(with([](EngineProfile& p) { p.videoBuffer = 1000; }), rc::InvalidVideoBuffer);
    EXPECT_EQ(with([](EngineProfile& p) { p.quality = 101; }), rc::InvalidVideoQuality);
    EXPECT_EQ(with([](EngineProfile& p) { p.width = 321; }), rc::BadProfileFile);
    // wmav2 refuses less than 24 kbit/s
    EXPECT_EQ(with([](EngineProfile& p) { p.audioBitrate = 16000; }), rc::BadProfileFile);
    EXPECT_EQ(with([](EngineProfile& p) { p.sampleRate = 12345; }), rc::BadProfileFile);
    EXPECT_EQ(with([](EngineProfile& p) { p.channels = 6; }), rc::BadProfileFile);
    // one stream is enough; the other's settings are then not looked at
    EXPECT_EQ(with([](EngineProfile& p) { p.audioBitrate = 0, p.channels = 0; }), rc::Ok);
    EXPECT_EQ(with([](EngineProfile& p) { p.videoBitrate = 0, p.height = 0; }), rc::Ok);
}

TEST(EngineProfile, ShippedFilesMatchTheBuiltInProfilesAndRoundTrip)
{
    const auto& builtIn = BuiltInEngineProfiles();
    ASSERT_EQ(builtIn.size(), 9u);
    for (const EngineProfile& expected : builtIn) {
        std::ifstream in(std::string(MC_DATA_DIR) + "/" + expected.name + ".prx");
        ASSERT_TRUE(in) << expected.name;
        std::stringstream text;
        text << in.rdbuf();
        EngineProfile shipped;
        std::string error;
        ASSERT_EQ(ParseEngineProfile(text.str(), &shipped, &error), rc::Ok) << expected.name << ": " << error;
        EXPECT_EQ(shipped, expected) << expected.name;
        EXPECT_EQ(ValidateEngineProfile(shipped), rc::Ok) << expected.name;
        EngineProfile again;
        ASSERT_EQ(ParseEngineProfile(FormatEngineProfile(shipped), &again), rc::Ok);
        EXPECT_EQ(again, shipped);
    }
    // Spot checks against the table the files were made from.
    EXPECT_EQ(builtIn[0].name, "MRProf1v");
    EXPECT_EQ(builtIn[0].sampleRate, 22050);
    EXPECT_EQ(builtIn[0].channels, 1);
    EXPECT_EQ(builtIn[8].name, "MRProf3x");
    EXPECT_EQ(builtIn[8].videoBitrate, 2000000);
    EXPECT_EQ(builtIn[8].videoMaxBitrate, 3000000);
    EXPECT_EQ(builtIn[8].videoBuffer, 4000000);
    EXPECT_EQ(builtIn[8].frameRate, 30);
}

TEST(EngineProfile, ACustomFrameScalesTheWideScreenRatesByAreaAndStaysEncodable)
{
    for (const EngineProfile& wide : BuiltInEngineProfiles()) {
        if (wide.name.back() != 'h')
            continue;
        EngineProfile p = wide;
        ASSERT_TRUE(ResizeEngineProfile(&p, 640, 480)) << wide.name;
        EXPECT_EQ(p.width, 640);
        EXPECT_EQ(p.height, 480);
        EXPECT_EQ(p.videoBitrate, wide.videoBitrate * 4);
        EXPECT_EQ(p.videoMaxBitrate, wide.videoMaxBitrate * 4);
        EXPECT_EQ(p.videoBuffer, wide.videoBuffer * 4);
        EXPECT_EQ(p.frameRate, wide.frameRate);
        EXPECT_EQ(p.audioBitrate, wide.audioBitrate);
        // The smallest and largest frames the program offers can be encoded.
        for (auto [w, h] : {std::pair{64, 48}, std::pair{1280, 960}, std::pair{1280, 48}}) {
            p = wide;
            ASSERT_TRUE(ResizeEngineProfile(&p, w, h));
            EXPECT_EQ(ValidateEngineProfile(p), rc::Ok) << wide.name << " " << w << "x" << h;
        }
    }
    EngineProfile none;
    EXPECT_FALSE(ResizeEngineProfile(&none, 640, 480));
}
