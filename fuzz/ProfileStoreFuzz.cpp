// Loads mutated profile files. Besides memory errors (the sanitizers), it
// stops on a loaded text without its terminator, on more records than the
// bytes can hold, on a current profile that is not listed, and on a store
// whose saved file does not load back to the same store and bytes.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MRProfileList.h"
#include "FuzzSupport.h"

namespace {

std::string g_file;

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "profile store check failed: %s\n", what);
        std::abort();
    }
}

std::string ReadAll(const std::string& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <std::size_t N> bool Terminated(const char (&field)[N])
{
    return std::memchr(field, 0, N) != nullptr;
}

// Field by field; a text is what stands before its terminator (a stored
// text may carry bytes after an embedded zero, which are not part of it).
bool Same(const MROption& a, const MROption& b)
{
    auto text = [](const char* x, const char* y) { return std::strcmp(x, y) == 0; };
    bool same = text(a.szName, b.szName) && text(a.szOutputFile, b.szOutputFile) && a.nResolution == b.nResolution &&
                a.nWidth == b.nWidth && a.nHeight == b.nHeight && a.bWideAspect == b.bWideAspect &&
                a.bLimitSize == b.bLimitSize && a.nCardSize == b.nCardSize && a.bCrop == b.bCrop &&
                a.nCropLeft == b.nCropLeft && a.nCropTop == b.nCropTop && a.nCropRight == b.nCropRight &&
                a.nCropBottom == b.nCropBottom && a.bOptimize == b.bOptimize && a.bTwoPass == b.bTwoPass &&
                a.bSpeech == b.bSpeech && text(a.szTitle, b.szTitle) && text(a.szAuthor, b.szAuthor) &&
                text(a.szCopyright, b.szCopyright) && text(a.szDescription, b.szDescription);
    for (int k = 0; k < 6; ++k)
        same = same && a.nReserved[k] == b.nReserved[k] && text(a.szReserved[k], b.szReserved[k]);
    return same;
}

std::vector<MROption> Snapshot(MRProfileList& store, int* current)
{
    std::vector<MROption> records;
    MROption* pCurrent = store.GetCurrentProfile();
    *current = -1;
    for (MROption* p = store.GetFirstProfile(); p; p = store.GetNextProfile()) {
        Check(Terminated(p->szName) && Terminated(p->szOutputFile) && Terminated(p->szTitle) &&
                  Terminated(p->szAuthor) && Terminated(p->szCopyright) && Terminated(p->szDescription),
              "text without terminator");
        for (const auto& r : p->szReserved)
            Check(Terminated(r), "reserved text without terminator");
        if (p == pCurrent)
            *current = static_cast<int>(records.size());
        records.push_back(*p);
    }
    Check(records.empty() == (pCurrent == nullptr), "current profile not listed");
    return records;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const std::string dir = fuzz::MakeScratchFolder();
    g_file = dir + "/mrprof.dat";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::WriteInput(g_file, data, size);
    int current = -1;
    std::vector<MROption> loaded;
    {
        MRProfileList store(g_file.c_str());
        Check(store.Load(), "load of an existing file");
        Check(store.GetProfileCount() <= (size < 8 ? 0 : (size - 8) / 113), "more records than bytes");
        loaded = Snapshot(store, &current);
        Check(store.Save(), "save");
    }
    const std::string saved = ReadAll(g_file);
    {
        MRProfileList again(g_file.c_str());
        Check(again.Load(), "reload");
        int currentAgain = -1;
        const std::vector<MROption> reloaded = Snapshot(again, &currentAgain);
        Check(reloaded.size() == loaded.size(), "reloaded count");
        for (std::size_t k = 0; k < loaded.size(); ++k)
            Check(Same(loaded[k], reloaded[k]), "reloaded record");
        Check(current == currentAgain, "reloaded current profile");
        Check(again.Save(), "second save");
    }
    Check(ReadAll(g_file) == saved, "second save gives other bytes");
    return 0;
}
