#include "SessionText.h"

#include <cstring>

#include "TextUtil.h"

namespace cxwm {

namespace {

// Decodes one UTF-8 sequence at s; a malformed one reads as one byte: as
// U+FFFD, or for a path as U+DC80..U+DCFF, which the engine turns back into
// that byte (a file name on Linux is bytes, not necessarily UTF-8).
char32_t DecodeUtf8(const unsigned char*& s, bool bPath)
{
    const unsigned char c = *s;
    const char32_t bad = bPath ? 0xDC00 + c : 0xFFFD;
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (c < 0x80) {
        ++s;
        return c;
    } else if ((c & 0xE0) == 0xC0) {
        extra = 1, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3, cp = c & 0x07, min = 0x10000;
    } else {
        ++s;
        return bad;
    }
    for (int i = 1; i <= extra; ++i) {
        if ((s[i] & 0xC0) != 0x80) {
            ++s;
            return bad;
        }
        cp = (cp << 6) | (s[i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++s;
        return bad;
    }
    s += extra + 1;
    return cp;
}

} // namespace

// Null is the empty text.
bool ToUtf16(const char* src, char16_t* dst, std::size_t cap, bool bPath)
{
    std::memset(dst, 0, cap * sizeof(char16_t));
    if (!src)
        return true;
    std::size_t n = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    while (*s) {
        const char32_t cp = DecodeUtf8(s, bPath);
        const std::size_t need = cp >= 0x10000 ? 2 : 1;
        if (n + need > cap - 1)
            return false;
        if (need == 2) {
            dst[n++] = static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            dst[n++] = static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            dst[n++] = static_cast<char16_t>(cp);
        }
    }
    return true;
}

// UTF-16 to UTF-8 into a field of size bytes, cut at a character boundary.
void FromUtf16(const std::u16string& src, char* dst, std::size_t size)
{
    std::string out;
    for (std::size_t i = 0; i < src.size(); ++i) {
        char32_t cp = src[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < src.size() && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    cx::CopyText(dst, size, out.c_str());
}

bool IsEmpty(const char* s)
{
    return !s || !*s;
}

} // namespace cxwm
