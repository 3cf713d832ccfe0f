// Rebuilds the content description of mutated finished files, the way the
// engine does at the end of a conversion: the header's size from the first
// bytes of the file, the header read, rebuilt and written back in place.
// Besides memory errors (the sanitizers), it stops on a rebuilt header of
// another size, on one that no longer reads as a header, and on a refused
// header that was changed anyway.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "AsfHeader.h"
#include "FuzzSupport.h"

namespace {

using mce::ff::DisplayTexts;

std::string g_file;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "header rewrite check failed: %s\n", what);
        std::abort();
    }
}

// Texts the seeds have room for, and ones too long for any of them.
const DisplayTexts& TextsFor(std::size_t size)
{
    static const DisplayTexts kTexts[] = {
        {u"Holiday", u"Morvane", u"", u""},
        {u"T\u00e9l\u00e9", u"", u"(c) 2026", u"A description of a clip \u263a"},
        {u"", u"", u"", std::u16string(40000, u'x')},
        {},
    };
    return kTexts[size % std::size(kTexts)];
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string dir = fuzz::MakeScratchFolder();
    g_file = dir + "/out.wmv";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = open(g_file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Check(fd >= 0, "open");
    Check(size == 0 || write(fd, data, size) == static_cast<ssize_t>(size), "write");

    std::uint8_t head[30];
    if (pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head)) {
        const std::uint64_t headerSize = mce::ff::AsfHeaderSize(head, sizeof head);
        if (headerSize >= sizeof head && headerSize < (1u << 24)) {
            std::vector<std::uint8_t> header(headerSize);
            if (pread(fd, header.data(), headerSize, 0) == static_cast<ssize_t>(headerSize)) {
                const std::vector<std::uint8_t> original = header;
                if (mce::ff::RewriteAsfHeader(header, TextsFor(size))) {
                    Check(header.size() == original.size(), "rebuilt header of another size");
                    Check(mce::ff::AsfHeaderSize(header.data(), header.size()) == headerSize,
                          "rebuilt header does not read as one");
                    Check(pwrite(fd, header.data(), headerSize, 0) == static_cast<ssize_t>(headerSize), "write back");
                } else {
                    Check(header == original, "refused header changed");
                }
            }
        }
    }
    close(fd);
    return 0;
}
