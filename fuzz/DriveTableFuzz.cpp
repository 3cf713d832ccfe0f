// Builds the drive table from mutated kernel texts: the CD list before the
// first zero byte, the mount table after it. Stops on memory errors and on
// letters that are not D, E, F, ... in order.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "CxDrive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const auto zero = all.find('\0');
    const std::string_view cdrom = all.substr(0, zero);
    const std::string_view mounts = zero == std::string_view::npos ? std::string_view() : all.substr(zero + 1);
    const cx::DriveTable table = cx::BuildDriveTable(cdrom, mounts);
    if (table.size() > 23) {
        std::fprintf(stderr, "more letters than D to Z\n");
        std::abort();
    }
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].cLetter != static_cast<char>('D' + i)) {
            std::fprintf(stderr, "letters out of order\n");
            std::abort();
        }
    }
    return 0;
}
