// UTF-16 texts of the engine interface to the UTF-8 that FFmpeg and the file
// system take.
#pragma once

#include <string>

namespace mce::ff {

// A null text is empty; an unpaired U+DC80..U+DCFF is the byte 0x80..0xFF of
// a path that is not UTF-8; any other unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const char16_t* text);
inline std::string ToUtf8(const std::u16string& text)
{
    return ToUtf8(text.c_str());
}

} // namespace mce::ff
