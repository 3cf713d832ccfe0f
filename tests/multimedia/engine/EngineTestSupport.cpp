#include "EngineTestSupport.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "FfmpegEngine.h"
#include "Media.h"

namespace enginetest {

using namespace mce;

namespace {

std::u16string U16(const std::string& s)
{
    return std::u16string(s.begin(), s.end()); // test paths are ASCII
}

std::filesystem::path TestBinaryDir()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

} // namespace

void EngineTest::SetUp()
{
    InstallFactory(&FfmpegEngineFactory());
    ASSERT_TRUE(Succeeded(InstalledFactory()->Initialize()));
    encoder = NewEncoder();
    ASSERT_TRUE(encoder);
}

void EngineTest::TearDown()
{
    encoder.reset();
    InstalledFactory()->Uninitialize();
}

std::shared_ptr<IEncoder> NewEncoder()
{
    std::shared_ptr<IEncoder> encoder;
    if (Failed(InstalledFactory()->CreateEncoder(&encoder)))
        return nullptr;
    return encoder;
}

Result Prepare(IEncoder& encoder, const Job& job)
{
    std::shared_ptr<ISourceGroupCollection> groups;
    std::shared_ptr<ISourceGroup> group;
    ObjectRef videoRef, audioRef;
    std::shared_ptr<IVideoSource> video;
    std::shared_ptr<IAudioSource> audio;
    std::shared_ptr<IProfile> profile;
    std::shared_ptr<IOutputFile> file;
    std::shared_ptr<IDisplayInfo> display;
    const std::u16string source = U16(job.source.string());
    const std::string profilePath =
        job.profile.find('/') == std::string::npos ? (TestBinaryDir() / (job.profile + ".prx")).string() : job.profile;
    Result r = encoder.GetSourceGroupCollection(&groups);
    if (Succeeded(r))
        r = groups->Add(u"test", &group);
    if (Succeeded(r))
        r = group->AddSource(kSourceVideo, &videoRef);
    if (Succeeded(r))
        r = QueryInterface(videoRef, &video);
    if (Succeeded(r))
        r = video->SetInput(source.c_str(), u"", u"");
    if (Succeeded(r))
        r = group->AddSource(kSourceAudio, &audioRef);
    if (Succeeded(r))
        r = QueryInterface(audioRef, &audio);
    if (Succeeded(r))
        r = audio->SetInput(job.audioSource.empty() ? source.c_str() : U16(job.audioSource.string()).c_str(), u"", u"");
    if (Succeeded(r) && job.audioStream)
        r = audio->SetStream(job.audioStream);
    if (Succeeded(r))
        r = InstalledFactory()->CreateProfile(&profile);
    if (Succeeded(r))
        r = profile->LoadFromFile(U16(profilePath).c_str());
    if (Succeeded(r))
        r = group->SetProfile(profile);
    for (int i = 0; i < 4 && Succeeded(r); ++i) {
        if (job.crop[i] > 0) {
            r = i == 0   ? video->SetCroppingLeftMargin(job.crop[i])
                : i == 1 ? video->SetCroppingTopMargin(job.crop[i])
                : i == 2 ? video->SetCroppingRightMargin(job.crop[i])
                         : video->SetCroppingBottomMargin(job.crop[i]);
        }
    }
    if (Succeeded(r) && job.twoPass)
        r = video->SetTwoPass(1);
    if (Succeeded(r) && job.wholeTitle)
        r = video->SetWholeTitle(1);
    if (Succeeded(r))
        r = encoder.GetFile(&file);
    if (Succeeded(r))
        r = file->SetLocalFileName(U16(job.output.string()).c_str());
    if (Succeeded(r))
        r = file->SetMaxFileSize(job.maxFileSize);
    if (Succeeded(r))
        r = encoder.GetDisplayInfo(&display);
    if (Succeeded(r))
        r = display->SetTitle(job.title.c_str());
    if (Succeeded(r))
        r = display->SetAuthor(job.author.c_str());
    if (Succeeded(r))
        r = display->SetCopyright(job.copyright.c_str());
    if (Succeeded(r))
        r = display->SetDescription(job.description.c_str());
    if (Succeeded(r))
        r = encoder.SetAutoStop(kTrue);
    if (Succeeded(r))
        r = encoder.PrepareToEncode(kTrue);
    return r;
}

bool WaitUntilStopped(IEncoder& encoder)
{
    // The engine offers no completion call; the product polls its state too.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (encoder.GetRunState(nullptr) == RunState::Encoding) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

Result Convert(IEncoder& encoder, const Job& job)
{
    Result r = Prepare(encoder, job);
    if (Succeeded(r))
        r = encoder.Start();
    if (Failed(r))
        return r;
    if (!WaitUntilStopped(encoder))
        return rc::Fail;
    encoder.GetRunState(&r);
    return r;
}

bool WrapCdxa(const std::filesystem::path& mpeg, const std::filesystem::path& track)
{
    const std::string data = FileBytes(mpeg);
    if (data.empty())
        return false;
    constexpr std::size_t kPayload = 2324, kSector = 2352;
    const std::size_t sectors = (data.size() + kPayload - 1) / kPayload;
    std::string out;
    auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>(v >> (8 * i));
    };
    out += "RIFF";
    le32(static_cast<std::uint32_t>(36 + sectors * kSector));
    out += "CDXAfmt ";
    le32(16);
    out += std::string(16, '\0');
    out += "data";
    le32(static_cast<std::uint32_t>(sectors * kSector));
    for (std::size_t s = 0; s < sectors; ++s) {
        out += '\0';
        out += std::string(10, '\xff');
        out += '\0';
        const std::size_t lba = s + 150; // 00:02:00 onwards, in BCD
        const auto bcd = [](std::size_t v) { return static_cast<char>(((v / 10) << 4) | (v % 10)); };
        out += bcd(lba / 75 / 60);
        out += bcd(lba / 75 % 60);
        out += bcd(lba % 75);
        out += '\x02';
        const char sub[4] = {1, 1, 0x64, 0x0f}; // file, channel, Form 2 real-time data, coding
        out.append(sub, 4);
        out.append(sub, 4);
        std::string payload = data.substr(s * kPayload, kPayload);
        payload.resize(kPayload, '\0');
        out += payload;
        out += std::string(4, '\0'); // EDC, unchecked
    }
    std::ofstream f(track, std::ios::binary);
    f << out;
    return static_cast<bool>(f);
}

std::array<int, 3> Picture::At(int x, int y) const
{
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    if (i + 2 >= rgb.size())
        return {-1, -1, -1};
    return {static_cast<unsigned char>(rgb[i]), static_cast<unsigned char>(rgb[i + 1]),
            static_cast<unsigned char>(rgb[i + 2])};
}

Picture Grab(const std::filesystem::path& file, double second, int width, int height)
{
    Picture p;
    const auto r = testsupport::Run({"ffmpeg", "-nostdin", "-v", "error", "-ss", std::to_string(second), "-i",
                                     file.string(), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
    if (r.exitCode == 0 && r.out.size() == static_cast<std::size_t>(width) * height * 3) {
        p.width = width;
        p.height = height;
        p.rgb = r.out;
    }
    return p;
}

std::string FileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

double Number(const std::map<std::string, std::string>& m, const std::string& key)
{
    const auto it = m.find(key);
    return it == m.end() ? -1 : std::atof(it->second.c_str());
}

void ExpectWmv(const std::filesystem::path& file, int width, int height, double seconds, bool audio)
{
    const auto p = testsupport::Probe(file);
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

} // namespace enginetest
