// What the fuzz targets share: a scratch folder and writing an input to a file.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace fuzz {

// A fresh folder, memory-backed where /dev/shm exists so that flushes to disc
// stay cheap. Ends the run when none can be made.
inline std::string MakeScratchFolder()
{
    char pattern[] = "/dev/shm/mc-fuzz-XXXXXX";
    char fallback[] = "/tmp/mc-fuzz-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir)
        dir = mkdtemp(fallback);
    if (!dir) {
        std::fprintf(stderr, "fuzz: no temporary folder\n");
        std::abort();
    }
    return dir;
}

inline void WriteInput(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace fuzz
