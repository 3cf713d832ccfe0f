// Opens mutated media files as conversion sources (Prepare only): the
// sniffing of Video CD tracks, FFmpeg's choice of demuxer, the stream search
// and the decoders' opening. Besides memory errors (the sanitizers) and hangs
// (-timeout), it stops when a prepared or refused job leaves a file behind
// in the output folder.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "EngineProfile.h"
#include "FuzzSupport.h"
#include "FfJob.h"
#include "FfmpegEngine.h"

namespace fs = std::filesystem;

namespace {

fs::path g_dir;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "source open check failed: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string dir = fuzz::MakeScratchFolder();
    g_dir = dir;
    // Quiets FFmpeg's notes on broken input, as in the program.
    mce::FfmpegEngineFactory().Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The name's extension weighs in FFmpeg's probing; the seeds' sizes
    // spread over the kinds of name the program is given.
    static const char* const kNames[] = {"source.mpg", "source.avi", "source.dat", "source.vob"};
    const fs::path source = g_dir / kNames[size % std::size(kNames)];
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    mce::ff::JobConfig cfg;
    cfg.videoPath = source.string();
    cfg.outputPath = (g_dir / "out.wmv").string();
    cfg.profile = mce::BuiltInEngineProfiles().front();
    {
        mce::ff::Job job(std::move(cfg), std::make_shared<mce::ff::Counters>());
        (void)job.Prepare();
    }
    fs::remove(source);
    Check(fs::is_empty(g_dir), "a file left in the output folder");
    return 0;
}
