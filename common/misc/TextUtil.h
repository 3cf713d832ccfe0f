// Bounded copies into the fixed text fields of the product's records.
#pragma once

#include <cstddef>

namespace cx {

// Copies at most size - 1 bytes of src into dst and always terminates it;
// never splits a UTF-8 character. A null src copies the empty text. Returns
// the number of bytes copied; does nothing for a null dst or a size of 0.
std::size_t CopyText(char* dst, std::size_t size, const char* src);

// True when src (null counts as empty) fits a field of size bytes whole.
bool FitsField(const char* src, std::size_t size);

template <std::size_t N>
std::size_t CopyText(char (&dst)[N], const char* src)
{
    return CopyText(dst, N, src);
}

}  // namespace cx
