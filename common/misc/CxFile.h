// Typed binary record file over one buffered stdio stream: 32-bit
// little-endian integers, single bytes and length-prefixed strings, written
// and read back in the one order the caller keeps. No header of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class CxFile {
public:
    CxFile() = default;
    virtual ~CxFile();
    CxFile(const CxFile&) = delete;
    CxFile& operator=(const CxFile&) = delete;

    // False, touching nothing, for a null or empty path or mode. Clears the
    // error state of the previous file.
    bool Open(const char* szPath, const char* szMode);
    // Always true; a failing close is remembered in Failed().
    bool Close();

    // Reads a stored length and, when it is above 0, the text. At most
    // nBufSize - 1 bytes land in szBuf; the rest of a longer text is skipped
    // so the next item is read from its place, and the kept part is cut
    // before a split UTF-8 character and terminated. A text that fits is not
    // terminated: callers hand in zero-filled buffers. A missing length
    // reads as 0, a negative one reads no text; either is reported through
    // pnLen when given.
    bool ReadString(char* szBuf, std::size_t nBufSize, std::int32_t* pnLen = nullptr);
    template <std::size_t N> bool ReadString(char (&szBuf)[N], std::int32_t* pnLen = nullptr)
    {
        return ReadString(szBuf, N, pnLen);
    }
    // Past the end of the file these leave the destination as it was.
    bool ReadInt(std::int32_t* piVal);
    bool ReadBool(std::uint8_t* pbVal);

    // A null or empty text is stored as the length 0. The second form stores
    // at most nMax bytes, for fields that might lack their terminator.
    bool WriteString(const char* sz);
    bool WriteString(const char* sz, std::size_t nMax);
    bool WriteInt(std::int32_t nVal);
    bool WriteBool(std::uint8_t bVal);

    // Pushes what was written through to the disc (fflush and fsync).
    bool Sync();
    // True once any write, sync or close of the current file failed; the
    // write calls themselves keep reporting true.
    bool Failed() const { return m_bFailed; }
    // Bytes between the read position and the end of the file; 0 when no
    // file is open or the size cannot be told.
    std::int64_t Remaining() const;

protected:
    std::FILE* m_fp = nullptr;

private:
    bool Put(const void* p, std::size_t n);
    bool m_bFailed = false;
};

namespace cx {

// Moves szFrom over szTo in one step and makes the change durable; false,
// leaving szTo alone, when the rename fails.
bool ReplaceFile(const char* szFrom, const char* szTo);

} // namespace cx
