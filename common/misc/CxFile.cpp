#include "CxFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "Assert.h"

namespace {

void EncodeLE(std::int32_t v, unsigned char out[4])
{
    const auto u = static_cast<std::uint32_t>(v);
    out[0] = static_cast<unsigned char>(u);
    out[1] = static_cast<unsigned char>(u >> 8);
    out[2] = static_cast<unsigned char>(u >> 16);
    out[3] = static_cast<unsigned char>(u >> 24);
}

std::int32_t DecodeLE(const unsigned char in[4])
{
    const std::uint32_t u =
        std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 | std::uint32_t{in[3]} << 24;
    return static_cast<std::int32_t>(u);
}

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

} // namespace

CxFile::~CxFile()
{
    Close();
}

bool CxFile::Open(const char* szPath, const char* szMode)
{
    if (!szPath || !*szPath || !szMode || !*szMode)
        return false;
    Close();  // a stream left open would otherwise leak
    m_bFailed = false;
    m_fp = std::fopen(szPath, szMode);
    return m_fp != nullptr;
}

bool CxFile::Close()
{
    if (m_fp) {
        if (std::fclose(m_fp) != 0)
            m_bFailed = true;
        m_fp = nullptr;
    }
    return true;
}

bool CxFile::ReadString(char* szBuf, std::size_t nBufSize, std::int32_t* pnLen)
{
    // clang-format off
    CX_ASSERT(m_fp&&szBuf);
    // clang-format on
    unsigned char raw[4];
    std::int32_t nLen = 0;
    // A length cut off by the end of the file counts as an empty text.
    if (std::fread(raw, 1, 4, m_fp) == 4)
        nLen = DecodeLE(raw);
    if (pnLen)
        *pnLen = nLen;
    if (nLen <= 0)
        return true;
    if (nBufSize == 0) {
        std::fseek(m_fp, nLen, SEEK_CUR);  // nothing fits; stay in step
        return true;
    }

    const auto nStored = static_cast<std::size_t>(nLen);
    if (nStored < nBufSize) {
        std::fread(szBuf, 1, nStored, m_fp);
        return true;
    }

    // Too long for the field: keep what fits with its terminator. One byte
    // more is read to see whether the cut falls inside a UTF-8 character.
    std::string part(nBufSize, '\0');
    const std::size_t nGot = std::fread(part.data(), 1, nBufSize, m_fp);
    std::size_t nKeep = nGot < nBufSize ? nGot : nBufSize - 1;
    if (nGot == nBufSize) {
        while (nKeep > 0 && IsContinuation(static_cast<unsigned char>(part[nKeep])))
            --nKeep;
    }
    std::memcpy(szBuf, part.data(), nKeep);
    szBuf[nKeep] = '\0';
    if (nGot == nBufSize && nStored > nBufSize)
        std::fseek(m_fp, static_cast<long>(nStored - nBufSize), SEEK_CUR);
    return true;
}

bool CxFile::ReadInt(std::int32_t* piVal)
{
    CX_ASSERT(m_fp && piVal);
    unsigned char raw[4];
    if (std::fread(raw, 1, 4, m_fp) == 4)
        *piVal = DecodeLE(raw);
    return true;
}

bool CxFile::ReadBool(std::uint8_t* pbVal)
{
    CX_ASSERT(m_fp && pbVal);
    unsigned char raw;
    if (std::fread(&raw, 1, 1, m_fp) == 1)
        *pbVal = raw;
    return true;
}

bool CxFile::Put(const void* p, std::size_t n)
{
    if (n > 0 && std::fwrite(p, 1, n, m_fp) != n)
        m_bFailed = true;
    return true;
}

bool CxFile::WriteString(const char* sz)
{
    CX_ASSERT(m_fp);
    return WriteString(sz, sz ? std::strlen(sz) : 0);
}

bool CxFile::WriteString(const char* sz, std::size_t nMax)
{
    CX_ASSERT(m_fp);
    std::size_t n = sz ? strnlen(sz, nMax) : 0;
    if (n > INT32_MAX) {
        // Not representable in the length field; store nothing rather than
        // a length that disagrees with the bytes.
        m_bFailed = true;
        n = 0;
    }
    unsigned char raw[4];
    EncodeLE(static_cast<std::int32_t>(n), raw);
    Put(raw, 4);
    return Put(sz, n);
}

bool CxFile::WriteInt(std::int32_t nVal)
{
    CX_ASSERT(m_fp);
    unsigned char raw[4];
    EncodeLE(nVal, raw);
    return Put(raw, 4);
}

bool CxFile::WriteBool(std::uint8_t bVal)
{
    CX_ASSERT(m_fp);
    return Put(&bVal, 1);
}

bool CxFile::Sync()
{
    CX_ASSERT(m_fp);
    if (std::fflush(m_fp) != 0 || fsync(fileno(m_fp)) != 0)
        m_bFailed = true;
    return !m_bFailed;
}

std::int64_t CxFile::Remaining() const
{
    if (!m_fp)
        return 0;
    struct stat st {};
    const long pos = std::ftell(m_fp);
    if (pos < 0 || fstat(fileno(m_fp), &st) != 0 || st.st_size < pos)
        return 0;
    return static_cast<std::int64_t>(st.st_size) - pos;
}

namespace cx {

bool ReplaceFile(const char* szFrom, const char* szTo)
{
    if (!szFrom || !szTo || std::rename(szFrom, szTo) != 0)
        return false;
    // The rename itself lives in the folder; sync it so a power cut cannot
    // bring back the old name. Failing here does not undo the replacement.
    std::string dir = szTo;
    const auto slash = dir.rfind('/');
    dir = slash == std::string::npos ? "." : slash == 0 ? "/" : dir.substr(0, slash);
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
}

} // namespace cx
