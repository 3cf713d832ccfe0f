// engine-probe: converts one file on the FFmpeg engine, driving the engine's
// objects directly, and measures what the user-interface thread would feel:
// how long PrepareToEncode takes, how long each statistics read takes while
// encoding, how peak memory grows after the first minute of media, and how
// much processor time a paused encoding uses (paused for one second once two
// seconds of media are done).
//
//   engine-probe --source FILE --output FILE --profile FILE.prx [--two-pass]
//
// Prints one JSON line; exits 0 when the conversion ended cleanly.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "Engine.h"
#include "FfmpegEngine.h"

using namespace mce;
using Clock = std::chrono::steady_clock;

namespace {

std::u16string U16(const std::string& s)
{
    std::u16string out;
    for (unsigned char c : s)
        out += static_cast<char16_t>(c); // paths given to the probe are ASCII
    return out;
}

long PeakRssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

Result Configure(IEncoder& enc, const std::string& source, const std::string& output, const std::string& profilePath,
                 bool twoPass)
{
    std::shared_ptr<ISourceGroupCollection> groups;
    std::shared_ptr<ISourceGroup> group;
    ObjectRef v, a;
    std::shared_ptr<IVideoSource> video;
    std::shared_ptr<IAudioSource> audio;
    std::shared_ptr<IProfile> profile;
    std::shared_ptr<IOutputFile> file;
    const std::u16string src = U16(source);
    Result r = enc.GetSourceGroupCollection(&groups);
    if (Succeeded(r))
        r = groups->Add(u"probe", &group);
    if (Succeeded(r))
        r = group->AddSource(kSourceVideo, &v);
    if (Succeeded(r))
        r = QueryInterface(v, &video);
    if (Succeeded(r))
        r = video->SetInput(src.c_str(), u"", u"");
    if (Succeeded(r))
        r = group->AddSource(kSourceAudio, &a);
    if (Succeeded(r))
        r = QueryInterface(a, &audio);
    if (Succeeded(r))
        r = audio->SetInput(src.c_str(), u"", u"");
    if (Succeeded(r) && twoPass)
        r = video->SetTwoPass(1);
    if (Succeeded(r))
        r = InstalledFactory()->CreateProfile(&profile);
    if (Succeeded(r))
        r = profile->LoadFromFile(U16(profilePath).c_str());
    if (Succeeded(r))
        r = group->SetProfile(profile);
    if (Succeeded(r))
        r = enc.GetFile(&file);
    if (Succeeded(r))
        r = file->SetLocalFileName(U16(output).c_str());
    if (Succeeded(r))
        r = enc.SetAutoStop(kTrue);
    return r;
}

// One read as the encoder session does it: fetch the archive statistics
// afresh, query the interface, read one value.
std::int64_t ReadStat(IEncoder& enc, bool size)
{
    std::shared_ptr<IStatistics> stats;
    ObjectRef ref;
    std::shared_ptr<IFileArchiveStats> archive;
    std::int64_t value = 0;
    if (Succeeded(enc.GetStatistics(&stats)) && Succeeded(stats->GetFileArchiveStats(&ref)) &&
        Succeeded(QueryInterface(ref, &archive)))
        size ? archive->GetFileSize(&value) : archive->GetFileDuration(&value);
    return value;
}

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string source, output, profile;
    bool twoPass = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--two-pass")
            twoPass = true;
        else if (i + 1 < argc && arg == "--source")
            source = argv[++i];
        else if (i + 1 < argc && arg == "--output")
            output = argv[++i];
        else if (i + 1 < argc && arg == "--profile")
            profile = argv[++i];
        else {
            std::fprintf(stderr, "usage: engine-probe --source FILE --output FILE --profile FILE.prx [--two-pass]\n");
            return 2;
        }
    }
    InstallFactory(&FfmpegEngineFactory());
    IEngineFactory& factory = *InstalledFactory();
    factory.Initialize();
    int exitCode = 1;
    {
        std::shared_ptr<IEncoder> enc;
        Result r = factory.CreateEncoder(&enc);
        if (Succeeded(r))
            r = Configure(*enc, source, output, profile, twoPass);
        const auto t0 = Clock::now();
        if (Succeeded(r))
            r = enc->PrepareToEncode(kTrue);
        const double prepareMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        const auto start = Clock::now();
        if (Succeeded(r))
            r = enc->Start();
        std::vector<double> readsUs;
        long peakAfterMinute = -1;
        double pausedCpuMs = -1;
        Clock::duration pausedFor{};
        Result failure = rc::Ok;
        while (Succeeded(r) && enc->GetRunState(&failure) == RunState::Encoding) {
            for (bool size : {true, false}) {
                const auto a = Clock::now();
                const std::int64_t v = ReadStat(*enc, size);
                readsUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - a).count());
                if (!size && peakAfterMinute < 0 && v >= 60000)
                    peakAfterMinute = PeakRssKb();
                if (!size && pausedCpuMs < 0 && v >= 2000 && Succeeded(enc->Pause())) {
                    const auto pausedAt = Clock::now();
                    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // let the threads reach the gate
                    const double before = CpuMs();
                    std::this_thread::sleep_for(std::chrono::seconds(1));
                    pausedCpuMs = CpuMs() - before;
                    enc->Start();
                    pausedFor = Clock::now() - pausedAt;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        const double wall = std::chrono::duration<double>(Clock::now() - start - pausedFor).count();
        if (Succeeded(r))
            r = failure;
        std::sort(readsUs.begin(), readsUs.end());
        auto pct = [&](double p) {
            return readsUs.empty() ? 0.0 : readsUs[static_cast<std::size_t>(p * (readsUs.size() - 1))];
        };
        std::printf("{\"result\": %d, \"prepare_ms\": %.1f, \"wall_s\": %.3f, \"media_ms\": %lld, \"bytes\": %lld, "
                    "\"stat_reads\": %zu, \"stat_p50_us\": %.1f, \"stat_p99_us\": %.1f, \"stat_max_us\": %.1f, "
                    "\"peak_kb_after_first_minute\": %ld, \"peak_kb_end\": %ld, \"paused_cpu_ms_per_s\": %.1f}\n",
                    static_cast<int>(r), prepareMs, wall, static_cast<long long>(ReadStat(*enc, false)),
                    static_cast<long long>(ReadStat(*enc, true)), readsUs.size(), pct(0.5), pct(0.99),
                    readsUs.empty() ? 0.0 : readsUs.back(), peakAfterMinute, PeakRssKb(), pausedCpuMs);
        exitCode = Succeeded(r) ? 0 : 1;
    }
    factory.Uninitialize();
    return exitCode;
}
