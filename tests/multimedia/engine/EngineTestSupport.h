// Driving the FFmpeg engine's objects directly, as the encoder session does,
// and looking at what it wrote.
#pragma once

#include <array>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Engine.h"
#include "Media.h"

namespace enginetest {

struct Job {
    std::filesystem::path source;
    std::filesystem::path audioSource; // empty: the source
    std::int32_t audioStream = 0;      // a DVD title's sound stream; 0: the engine's choice
    std::filesystem::path output;
    std::string profile = "MRProf2h"; // a file beside the test binary, or a full path
    std::array<int, 4> crop{0, 0, 0, 0};
    bool twoPass = false;
    bool wholeTitle = false; // a DVD title file stands for its whole title
    std::int64_t maxFileSize = 0;
    std::u16string title, author, copyright, description;
};

// Configures a new group of the encoder (adds it to the collection) and the
// encoder's output, texts and limit, then prepares it. The result of the
// preparation.
mce::Result Prepare(mce::IEncoder& encoder, const Job& job);

// Waits until the encoder is no longer encoding; false after a minute.
bool WaitUntilStopped(mce::IEncoder& encoder);

// Prepare, Start and wait; the run's result (a failure while encoding too).
mce::Result Convert(mce::IEncoder& encoder, const Job& job);

std::shared_ptr<mce::IEncoder> NewEncoder();

// A test with the FFmpeg engine installed and initialised, a new encoder of
// it, and a folder of its own to convert into.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    testsupport::TempDir out;
    std::shared_ptr<mce::IEncoder> encoder;
};

// A Video CD track: the MPEG stream cut into 2324-byte Mode 2 Form 2 sector
// payloads, in 2352-byte sectors behind a RIFF/CDXA header.
bool WrapCdxa(const std::filesystem::path& mpeg, const std::filesystem::path& track);

// One decoded picture of a file as RGB bytes (frame at the given second).
struct Picture {
    int width = 0, height = 0;
    std::string rgb;
    std::array<int, 3> At(int x, int y) const;
};
Picture Grab(const std::filesystem::path& file, double second, int width, int height);

std::string FileBytes(const std::filesystem::path& file);

// A number of ffprobe's flat output, -1 when it is missing.
double Number(const std::map<std::string, std::string>& m, const std::string& key);

// A WMV file of wmv2 video at the given size and length (within 5 %), with
// wmav2 sound or none.
void ExpectWmv(const std::filesystem::path& file, int width, int height, double seconds, bool audio);

} // namespace enginetest
