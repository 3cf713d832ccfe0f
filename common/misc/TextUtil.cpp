#include "TextUtil.h"

#include <cstring>

namespace cx {

std::size_t CopyText(char* dst, std::size_t size, const char* src)
{
    if (!dst || size == 0)
        return 0;
    if (!src)
        src = "";
    std::size_t n = strnlen(src, size - 1);
    if (src[n] != '\0') {
        // Cut: step back over continuation bytes (10xxxxxx) so that a
        // character whose bytes would not all fit is dropped whole.
        std::size_t k = n;
        while (k > 0 && (static_cast<unsigned char>(src[k]) & 0xC0) == 0x80)
            --k;
        n = k;
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}

bool FitsField(const char* src, std::size_t size)
{
    if (size == 0)
        return false;
    return !src || strnlen(src, size) < size;
}

}  // namespace cx
