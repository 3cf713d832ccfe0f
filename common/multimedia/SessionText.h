// UTF-8 and UTF-16 for the engine session: the product keeps its texts in
// UTF-8 fields, the engine takes and gives UTF-16.
#pragma once

#include <cstddef>
#include <string>

namespace cxwm {

// Capacities of the UTF-16 buffers handed to the engine, terminator included.
constexpr std::size_t kNameChars = 20;
constexpr std::size_t kPathChars = 260;
constexpr std::size_t kTextChars = 256;

// Converts UTF-8 into a zero-filled buffer of cap UTF-16 units, cut before
// the first character that would not fit whole; false when it was cut.
// A path keeps malformed bytes as U+DC80..U+DCFF.
bool ToUtf16(const char* src, char16_t* dst, std::size_t cap, bool bPath = false);
// UTF-16 to UTF-8 into a field of size bytes, cut at a character boundary.
void FromUtf16(const std::u16string& src, char* dst, std::size_t size);
bool IsEmpty(const char* s);

} // namespace cxwm
