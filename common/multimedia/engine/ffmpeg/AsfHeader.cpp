#include "AsfHeader.h"

#include <array>
#include <cstring>

namespace mce::ff {
namespace {

using Guid = std::array<std::uint8_t, 16>;

// GUIDs as stored in the file (first three fields little-endian).
constexpr Guid kHeaderGuid{0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                           0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kContentDescriptionGuid{0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                       0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
constexpr Guid kExtendedContentGuid{0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                    0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
constexpr Guid kPaddingGuid{0x74, 0xD4, 0x06, 0x18, 0xDF, 0xCA, 0x09, 0x45,
                            0xA4, 0xBA, 0x9A, 0xAB, 0xCB, 0x96, 0xAA, 0xE8};

constexpr std::size_t kObjectHead = 24;
constexpr std::size_t kHeaderHead = 30;

std::uint64_t Le(const std::uint8_t* p, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void PutLe(std::vector<std::uint8_t>& out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void PutLeAt(std::uint8_t* p, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool IsGuid(const std::uint8_t* p, const Guid& g)
{
    return std::memcmp(p, g.data(), g.size()) == 0;
}

void PutObjectHead(std::vector<std::uint8_t>& out, const Guid& g, std::uint64_t size)
{
    out.insert(out.end(), g.begin(), g.end());
    PutLe(out, size, 8);
}

// A CDO string length counts the terminating NUL; an empty text has none.
std::size_t CdoTextBytes(const std::u16string& s)
{
    return s.empty() ? 0 : 2 * (s.size() + 1);
}

std::size_t CdoSize(const DisplayTexts& t)
{
    return kObjectHead + 10 + CdoTextBytes(t.title) + CdoTextBytes(t.author) + CdoTextBytes(t.copyright) +
           CdoTextBytes(t.description);
}

std::vector<std::uint8_t> BuildCdo(const DisplayTexts& t)
{
    std::vector<std::uint8_t> out;
    PutObjectHead(out, kContentDescriptionGuid, CdoSize(t));
    const std::u16string* texts[] = {&t.title, &t.author, &t.copyright, &t.description};
    for (const auto* s : texts)
        PutLe(out, CdoTextBytes(*s), 2);
    PutLe(out, 0, 2); // rating
    for (const auto* s : texts) {
        if (s->empty())
            continue;
        for (char16_t c : *s)
            PutLe(out, c, 2);
        PutLe(out, 0, 2);
    }
    return out;
}

bool IsReserveName(const std::uint8_t* name, std::size_t bytes)
{
    const std::size_t keyLen = std::strlen(kAsfReserveKey);
    if (bytes != 2 * (keyLen + 1))
        return false;
    for (std::size_t i = 0; i < keyLen; ++i) {
        if (Le(name + 2 * i, 2) != static_cast<unsigned char>(kAsfReserveKey[i]))
            return false;
    }
    return Le(name + 2 * keyLen, 2) == 0;
}

// The extended content description without the placeholder entry; empty when
// no entry is left. False when the object is malformed.
bool StripReserve(const std::uint8_t* obj, std::size_t size, std::vector<std::uint8_t>* out, bool* found)
{
    if (size < kObjectHead + 2)
        return false;
    const std::size_t count = Le(obj + kObjectHead, 2);
    std::size_t pos = kObjectHead + 2;
    std::vector<std::uint8_t> kept;
    std::size_t keptCount = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (pos + 2 > size)
            return false;
        const std::size_t nameLen = Le(obj + pos, 2);
        if (pos + 2 + nameLen + 4 > size)
            return false;
        const std::size_t valueLen = Le(obj + pos + 2 + nameLen + 2, 2);
        const std::size_t entry = 2 + nameLen + 4 + valueLen;
        if (pos + entry > size)
            return false;
        if (IsReserveName(obj + pos + 2, nameLen)) {
            *found = true;
        } else {
            kept.insert(kept.end(), obj + pos, obj + pos + entry);
            ++keptCount;
        }
        pos += entry;
    }
    out->clear();
    if (keptCount == 0)
        return true;
    PutObjectHead(*out, kExtendedContentGuid, kObjectHead + 2 + kept.size());
    PutLe(*out, keptCount, 2);
    out->insert(out->end(), kept.begin(), kept.end());
    return true;
}

} // namespace

std::size_t AsfReserveChars(const DisplayTexts& texts)
{
    // The placeholder's value is stored as UTF-16 with a NUL: 2n + 2 bytes.
    // It must make room for the content description and a padding object.
    return (CdoSize(texts) + kObjectHead) / 2 + 1;
}

std::uint64_t AsfHeaderSize(const std::uint8_t* first30, std::size_t size)
{
    if (!first30 || size < kHeaderHead || !IsGuid(first30, kHeaderGuid))
        return 0;
    return Le(first30 + 16, 8);
}

bool RewriteAsfHeader(std::vector<std::uint8_t>& header, const DisplayTexts& texts)
{
    const std::size_t total = header.size();
    if (AsfHeaderSize(header.data(), total) != total)
        return false;
    const std::size_t count = Le(header.data() + 24, 4);
    std::vector<std::uint8_t> body;
    std::size_t objects = 0;
    bool reserveFound = false;
    std::size_t pos = kHeaderHead;
    for (std::size_t i = 0; i < count; ++i) {
        if (pos + kObjectHead > total)
            return false;
        const std::uint8_t* obj = header.data() + pos;
        const std::uint64_t size = Le(obj + 16, 8);
        if (size < kObjectHead || size > total - pos)
            return false;
        if (IsGuid(obj, kContentDescriptionGuid) || IsGuid(obj, kPaddingGuid)) {
            // replaced below
        } else if (IsGuid(obj, kExtendedContentGuid)) {
            std::vector<std::uint8_t> stripped;
            if (!StripReserve(obj, size, &stripped, &reserveFound))
                return false;
            if (!stripped.empty()) {
                body.insert(body.end(), stripped.begin(), stripped.end());
                ++objects;
            }
        } else {
            body.insert(body.end(), obj, obj + size);
            ++objects;
        }
        pos += size;
    }
    if (!reserveFound)
        return false;
    if (!texts.Empty()) {
        const std::vector<std::uint8_t> cdo = BuildCdo(texts);
        body.insert(body.end(), cdo.begin(), cdo.end());
        ++objects;
    }
    // The padding takes up what the placeholder freed, so the header keeps
    // its size exactly and the data after it stays where it is.
    if (kHeaderHead + body.size() > total)
        return false;
    const std::size_t slack = total - kHeaderHead - body.size();
    if (slack != 0 && slack < kObjectHead)
        return false;
    std::vector<std::uint8_t> out(header.begin(), header.begin() + kHeaderHead);
    out.insert(out.end(), body.begin(), body.end());
    if (slack != 0) {
        PutObjectHead(out, kPaddingGuid, slack);
        out.resize(total, 0);
        ++objects;
    }
    PutLeAt(out.data() + 24, objects, 4);
    header.swap(out);
    return true;
}

} // namespace mce::ff
