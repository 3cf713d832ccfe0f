// Fatal assertion for programming errors: prints and shows
// "Assertion failed: EXPR, file FILE, line N", then ends the process.
// Never used for user input or file contents.
#pragma once

namespace cx {

[[noreturn]] void AssertFailed(const char* expression, const char* file, int line);

// The windowed program installs a handler that also shows the text in a
// message box; without one the text goes to standard error only.
using AssertDisplay = void (*)(const char* text);
void SetAssertDisplay(AssertDisplay display);

}  // namespace cx

#define CX_ASSERT(expr) ((expr) ? static_cast<void>(0) : ::cx::AssertFailed(#expr, __FILE__, __LINE__))
