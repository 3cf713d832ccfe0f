// Reads and writes mutated settings files. Besides memory errors (the
// sanitizers), it stops when a value just written does not read back, or when
// writing one key changes what another key reads.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "PrivateProfile.h"
#include "FuzzSupport.h"

namespace {

std::string g_file;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "settings file check failed: %s\n", what);
        std::abort();
    }
}

struct Probe {
    const char* section;
    const char* key;
};

// Names the seeds use, so that mutations land on keys that are there.
constexpr Probe kProbes[] = {{"Options", "Path"}, {"Options", "Width"}, {"Fuzz", "Other"}, {"fuzz", "KEY2"}, {"", "x"}};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string dir = fuzz::MakeScratchFolder();
    g_file = dir + "/settings.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::WriteInput(g_file, data, size);
    std::string before[std::size(kProbes)];
    for (std::size_t i = 0; i < std::size(kProbes); ++i) {
        before[i] = ui::GetPrivateProfileString(g_file, kProbes[i].section, kProbes[i].key, "\x01missing");
        (void)ui::GetPrivateProfileInt(g_file, kProbes[i].section, kProbes[i].key, -7);
    }
    const std::string value = "C:\\Video\\out " + std::to_string(size) + ".wmv";
    Check(ui::WritePrivateProfileString(g_file, "Fuzz", "Key", value), "write");
    Check(ui::GetPrivateProfileString(g_file, "fuzz", "key", "") == value, "written value reads back");
    for (std::size_t i = 0; i < std::size(kProbes); ++i)
        Check(ui::GetPrivateProfileString(g_file, kProbes[i].section, kProbes[i].key, "\x01missing") == before[i],
              "another key changed by the write");
    // A second write of the same key replaces it rather than adding a line.
    Check(ui::WritePrivateProfileString(g_file, "Fuzz", "Key", "2"), "second write");
    Check(ui::GetPrivateProfileInt(g_file, "Fuzz", "Key", -1) == 2, "second value reads back");
    return 0;
}
