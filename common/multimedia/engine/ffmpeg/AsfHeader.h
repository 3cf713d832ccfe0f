// Writing the display texts where players read them. FFmpeg's ASF muxer
// never fills the description of the content description object, so the
// engine asks the muxer for a placeholder entry in the extended content
// description and, once the file is finished, rebuilds the header object in
// place: a complete content description (title, author, copyright,
// description), the placeholder removed and a padding object keeping the
// header's size, so no data moves. Pure byte work, no FFmpeg.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mce::ff {

struct DisplayTexts {
    std::u16string title, author, copyright, description;
    bool Empty() const { return title.empty() && author.empty() && copyright.empty() && description.empty(); }
};

// Name of the placeholder entry the engine puts in the muxer's metadata.
inline constexpr const char* kAsfReserveKey = "MRReserved";

// How many characters the placeholder's value needs so that the rebuilt
// header fits in the space the muxer wrote.
std::size_t AsfReserveChars(const DisplayTexts& texts);

// Size of the header object at the start of an ASF file, from its first 30
// bytes; 0 when they are not an ASF header.
std::uint64_t AsfHeaderSize(const std::uint8_t* first30, std::size_t size);

// Rebuilds a whole header object (as read from the file) with the texts.
// False, leaving header as it was, when it is not a well-formed header or
// the texts do not fit the reserved room.
bool RewriteAsfHeader(std::vector<std::uint8_t>& header, const DisplayTexts& texts);

} // namespace mce::ff
