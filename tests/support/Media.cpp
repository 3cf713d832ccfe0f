#include "Media.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <system_error>

extern char** environ;

namespace testsupport {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "mc-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests make folders read-only on purpose; give the rights back first.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

CommandResult Run(const std::vector<std::string>& argv)
{
    CommandResult result;
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0)
        return result;
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        close(outPipe[0]);
        close(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (rc == 0) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&result.out, &result.err};
        int open = 2;
        char buf[4096];
        while (open > 0) {
            if (poll(fds, 2, -1) < 0 && errno != EINTR)
                break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    sinks[i]->append(buf, static_cast<std::size_t>(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    return result;
}

bool Ffmpeg(const std::vector<std::string>& args)
{
    std::vector<std::string> argv{"ffmpeg", "-nostdin", "-y", "-hide_banner", "-loglevel", "error"};
    argv.insert(argv.end(), args.begin(), args.end());
    return Run(argv).exitCode == 0;
}

bool MakeClip(const std::filesystem::path& out, double seconds, int width, int height, const std::string& rate,
              const std::vector<std::string>& codecArgs, bool noAudio)
{
    const std::string d = std::to_string(seconds);
    std::vector<std::string> args{"-f", "lavfi", "-i",
                                  "testsrc2=size=" + std::to_string(width) + "x" + std::to_string(height) +
                                      ":rate=" + rate + ":duration=" + d};
    if (!noAudio) {
        args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=" + d});
    }
    args.insert(args.end(), codecArgs.begin(), codecArgs.end());
    args.push_back(out.string());
    return Ffmpeg(args);
}

bool MakeDvd(const std::filesystem::path& disc, bool splitTitleSet)
{
    const std::filesystem::path work = disc.string() + ".parts";
    std::filesystem::create_directories(work);
    const auto title = [&work](const std::string& name, int seconds) {
        const std::string d = std::to_string(seconds);
        return Ffmpeg({"-f",
                       "lavfi",
                       "-i",
                       "testsrc2=s=720x576:r=25:d=" + d,
                       "-f",
                       "lavfi",
                       "-i",
                       "sine=f=440:d=" + d,
                       "-f",
                       "lavfi",
                       "-i",
                       "sine=f=880:d=" + d,
                       "-map",
                       "0",
                       "-map",
                       "1",
                       "-map",
                       "2",
                       "-target",
                       "pal-dvd",
                       "-b:v",
                       "3M",
                       (work / name).string()});
    };
    if (!title("a.mpg", 12) || !title("b.mpg", 20) || !title("c.mpg", 5))
        return false;
    std::ofstream(work / "dvd.xml") << "<dvdauthor dest=\"" << disc.string() << "\"><vmgm/><titleset><titles>"
                                    << "<audio lang=\"de\"/><audio lang=\"en\"/>"
                                    << "<pgc><vob file=\"" << (work / "a.mpg").string() << "\"/></pgc>"
                                    << "<pgc><vob file=\"" << (work / "b.mpg").string()
                                    << "\" chapters=\"0,0:08,0:15\"/></pgc>"
                                    << "<pgc><vob file=\"" << (work / "c.mpg").string() << "\"/></pgc>"
                                    << "</titles></titleset></dvdauthor>";
    setenv("VIDEO_FORMAT", "PAL", 1);
    if (Run({"dvdauthor", "-x", (work / "dvd.xml").string()}).exitCode != 0)
        return false;
    std::filesystem::remove_all(work);
    if (!splitTitleSet)
        return true;
    // Cut inside the 20 s title, as a disc cuts its files at 1 GB.
    const std::filesystem::path first = disc / "VIDEO_TS" / "VTS_01_1.VOB";
    std::ifstream in(first, std::ios::binary);
    const std::string vob((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::size_t cut = DvdSplitAt(vob.size());
    std::ofstream(first, std::ios::binary | std::ios::trunc) << vob.substr(0, cut);
    std::ofstream(disc / "VIDEO_TS" / "VTS_01_2.VOB", std::ios::binary) << vob.substr(cut);
    return true;
}

double ToneHz(const std::filesystem::path& file)
{
    const CommandResult r = Run({"ffmpeg", "-nostdin", "-v", "error", "-i", file.string(), "-t", "4", "-f", "s16le",
                                 "-ac", "1", "-ar", "44100", "-"});
    const std::size_t n = r.out.size() / 2;
    std::size_t crossings = 0;
    std::int16_t last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::int16_t v;
        std::memcpy(&v, r.out.data() + 2 * i, 2);
        crossings += i > 0 && (last < 0) != (v < 0);
        last = v;
    }
    return n ? crossings / 2.0 / (static_cast<double>(n) / 44100) : 0;
}

std::size_t DvdSplitAt(std::size_t titleSetBytes)
{
    return titleSetBytes * 2 / 3 / 2048 * 2048;
}

std::map<std::string, std::string> Probe(const std::filesystem::path& file)
{
    std::map<std::string, std::string> values;
    const CommandResult r =
        Run({"ffprobe", "-v", "error", "-show_format", "-show_streams", "-of", "flat=s=.", file.string()});
    if (r.exitCode != 0)
        return values;
    // Lines look like: streams.stream.0.codec_type="video" or format.tags.title="x"
    std::map<std::string, std::string> raw;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        raw[line.substr(0, eq)] = value;
    }
    std::map<std::string, std::string> kindOf; // "streams.stream.N" -> video/audio
    for (const auto& [key, value] : raw) {
        if (key.rfind("format.", 0) == 0)
            values[key] = value;
        const std::string suffix = ".codec_type";
        if (key.rfind("streams.stream.", 0) == 0 && key.size() > suffix.size() &&
            key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
            kindOf[key.substr(0, key.size() - suffix.size())] = value;
    }
    for (const auto& [prefix, kind] : kindOf) {
        if (values.count(kind + ".codec_type"))
            continue; // first stream of each kind only
        for (const auto& [key, value] : raw) {
            if (key.rfind(prefix + ".", 0) == 0)
                values[kind + "." + key.substr(prefix.size() + 1)] = value;
        }
    }
    return values;
}

} // namespace testsupport
