#include "Assert.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace cx {
namespace {
std::atomic<AssertDisplay> g_display{nullptr};
}

void SetAssertDisplay(AssertDisplay display) { g_display.store(display); }

void AssertFailed(const char* expression, const char* file, int line)
{
    const std::string text = std::string("Assertion failed: ") + expression + ", file " + file + ", line " +
                             std::to_string(line);
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
    if (AssertDisplay display = g_display.load())
        display(text.c_str());
    std::abort();
}

}  // namespace cx
