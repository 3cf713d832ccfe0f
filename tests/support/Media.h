// Shared test helpers: temporary folders, running commands without a shell,
// making media with the ffmpeg command and reading them with ffprobe.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

struct CommandResult {
    int exitCode = -1; // -1 when it could not run; 128 + signal when killed
    std::string out;   // standard output
    std::string err;   // standard error
};

// Runs argv[0] found on PATH with the arguments as they are (no shell).
CommandResult Run(const std::vector<std::string>& argv);

// ffmpeg -y -hide_banner -loglevel error <args...>; true on exit 0.
bool Ffmpeg(const std::vector<std::string>& args);

// A test clip: seconds of testsrc2 video (with a sine tone unless noAudio)
// at the size and rate given, encoded with the codec arguments given, e.g.
// {"-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"}.
bool MakeClip(const std::filesystem::path& out, double seconds, int width, int height, const std::string& rate,
              const std::vector<std::string>& codecArgs, bool noAudio = false);

// A DVD as dvdauthor writes it, in the folder disc (which gets VIDEO_TS):
// titles of 12 s, 20 s and 5 s in one title set, each with German sound (a
// 440 Hz tone) and English sound (880 Hz); the 20 s title has three
// chapters. With splitTitleSet, the title set's data is cut into
// VTS_01_1.VOB and VTS_01_2.VOB at DvdSplitAt, inside the 20 s title.
bool MakeDvd(const std::filesystem::path& disc, bool splitTitleSet = false);
std::size_t DvdSplitAt(std::size_t titleSetBytes);

// The tone of the first seconds of a file's sound, in Hz (by zero
// crossings); 0 without sound.
double ToneHz(const std::filesystem::path& file);

// What ffprobe says of a file, flattened: "format.format_name",
// "format.duration", "format.tags.title", "video.codec_name", "video.width",
// "video.height", "video.avg_frame_rate", "audio.codec_name",
// "audio.sample_rate", "audio.channels", ... (first stream of each kind).
// Empty when ffprobe cannot read the file.
std::map<std::string, std::string> Probe(const std::filesystem::path& file);

} // namespace testsupport
