#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "CxFile.h"
#include "Media.h"

using namespace std::string_literals;

namespace {

std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::filesystem::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

std::string LE(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    return {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16), static_cast<char>(u >> 24)};
}

TEST(CxFile, WritesLittleEndianItemsByteExact)
{
    testsupport::TempDir dir;
    const auto path = dir / "items.bin";
    CxFile f;
    ASSERT_TRUE(f.Open(path.c_str(), "wb"));
    EXPECT_TRUE(f.WriteString(""));
    EXPECT_TRUE(f.WriteString(nullptr));
    EXPECT_TRUE(f.WriteString("abc"));
    EXPECT_TRUE(f.WriteInt(-1));
    EXPECT_TRUE(f.WriteInt(2));
    EXPECT_TRUE(f.WriteBool(1));
    EXPECT_TRUE(f.WriteString("abcdef", 2)); // bounded form stores only what it may read
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.Failed());
    const std::string expected =
        std::string(8, '\0') + "\x03\0\0\0abc"s + "\xFF\xFF\xFF\xFF\x02\0\0\0\x01"s + "\x02\0\0\0ab"s;
    EXPECT_EQ(ReadAll(path), expected);
}

TEST(CxFile, ReadsStringsIntoCallerBuffers)
{
    testsupport::TempDir dir;
    const auto path = dir / "strings.bin";
    WriteAll(path, LE(0) + LE(-5) + LE(3) + "abc" + LE(2) + "xy" + LE(7));
    CxFile f;
    ASSERT_TRUE(f.Open(path.c_str(), "rb"));

    char buf[16];
    std::memset(buf, '#', sizeof buf);
    std::int32_t len = 99;
    f.ReadString(buf, &len); // length 0: nothing read, buffer untouched
    EXPECT_EQ(len, 0);
    EXPECT_EQ(buf[0], '#');
    f.ReadString(buf, &len); // negative length: nothing read
    EXPECT_EQ(len, -5);
    EXPECT_EQ(buf[0], '#');

    char clean[16] = {};
    f.ReadString(clean, &len);
    EXPECT_EQ(len, 3);
    EXPECT_STREQ(clean, "abc");
    f.ReadString(clean); // a shorter text leaves the old tail behind it
    EXPECT_STREQ(clean, "xyc");

    // The length says 7 but the file ends: what is there is kept, no more.
    char tail[16] = {};
    f.ReadString(tail, &len);
    EXPECT_EQ(len, 7);
    EXPECT_STREQ(tail, "");
    f.Close();
}

TEST(CxFile, CutsLongStringsToTheBufferAndStaysInStep)
{
    testsupport::TempDir dir;
    const auto path = dir / "long.bin";
    // "ab" + e-acute (2 bytes) cut at 3 bytes would split the character.
    const std::string accented = "ab\xC3\xA9zz";
    WriteAll(path, LE(10) + "0123456789" + LE(6) + accented + LE(42) + LE(0x7FFFFFFF) + "rest");
    CxFile f;
    ASSERT_TRUE(f.Open(path.c_str(), "rb"));

    char four[4] = {'#', '#', '#', '#'};
    std::int32_t len = 0;
    f.ReadString(four, &len);
    EXPECT_EQ(len, 10);
    EXPECT_STREQ(four, "012");

    char guard[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    f.ReadString(guard, 4, &len); // only the first 4 bytes are the buffer
    EXPECT_STREQ(guard, "ab");
    EXPECT_EQ(std::string(guard + 4, 4), "####");

    std::int32_t n = 0;
    f.ReadInt(&n); // the skipped bytes do not shift the next item
    EXPECT_EQ(n, 42);

    char big[8] = {};
    f.ReadString(big, &len); // a huge length over a short file: no overrun
    EXPECT_EQ(len, 0x7FFFFFFF);
    EXPECT_STREQ(big, "rest");
    n = 5;
    f.ReadInt(&n);
    EXPECT_EQ(n, 5);
    f.Close();
}

TEST(CxFile, ReadsPastTheEndLeaveDestinationsAlone)
{
    testsupport::TempDir dir;
    const auto path = dir / "short.bin";
    WriteAll(path, LE(7) + "\x01" + "\x09\x00"s); // an int, a byte, half an int
    CxFile f;
    ASSERT_TRUE(f.Open(path.c_str(), "rb"));
    std::int32_t n = 0;
    std::uint8_t b = 0;
    EXPECT_TRUE(f.ReadInt(&n));
    EXPECT_TRUE(f.ReadBool(&b));
    EXPECT_EQ(n, 7);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(f.Remaining(), 2);
    n = -3;
    EXPECT_TRUE(f.ReadInt(&n)); // only 2 of 4 bytes
    EXPECT_EQ(n, -3);
    EXPECT_TRUE(f.ReadBool(&b));
    EXPECT_EQ(b, 1);
    char buf[4] = {'q', 0, 0, 0};
    std::int32_t len = 11;
    f.ReadString(buf, &len); // no length at all reads as an empty text
    EXPECT_EQ(len, 0);
    EXPECT_STREQ(buf, "q");
    f.Close();
}

TEST(CxFile, OpenRefusesBadArgumentsAndMissingFiles)
{
    testsupport::TempDir dir;
    const auto path = dir / "never";
    CxFile f;
    EXPECT_FALSE(f.Open("", "wb"));
    EXPECT_FALSE(f.Open(path.c_str(), ""));
    EXPECT_FALSE(f.Open(nullptr, "wb"));
    EXPECT_FALSE(f.Open(path.c_str(), nullptr));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(f.Open(path.c_str(), "rb"));
    EXPECT_EQ(f.Remaining(), 0);
    EXPECT_TRUE(f.Close());
    EXPECT_TRUE(f.Close());
}

TEST(CxFile, WriteErrorsAreRememberedWhileWritesReportTrue)
{
    CxFile f;
    ASSERT_TRUE(f.Open("/dev/full", "wb"));
    EXPECT_TRUE(f.WriteInt(1));
    EXPECT_TRUE(f.WriteString("hello"));
    EXPECT_FALSE(f.Sync());
    EXPECT_TRUE(f.Close());
    EXPECT_TRUE(f.Failed());

    // A new Open starts clean.
    testsupport::TempDir dir;
    ASSERT_TRUE(f.Open((dir / "ok").c_str(), "wb"));
    f.WriteInt(1);
    EXPECT_TRUE(f.Sync());
    f.Close();
    EXPECT_FALSE(f.Failed());
}

TEST(CxFileDeath, MisuseStopsWithTheExpressionText)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CxFile f;
    char buf[4] = {};
    std::int32_t n = 0;
    std::uint8_t b = 0;
    EXPECT_DEATH(f.ReadString(buf), "Assertion failed: m_fp&&szBuf, file .*CxFile.cpp, line [0-9]+");
    EXPECT_DEATH(f.ReadInt(&n), "Assertion failed: m_fp && piVal");
    EXPECT_DEATH(f.ReadBool(&b), "Assertion failed: m_fp && pbVal");
    EXPECT_DEATH(f.WriteString("x"), "Assertion failed: m_fp,");
    EXPECT_DEATH(f.WriteInt(1), "Assertion failed: m_fp,");
    EXPECT_DEATH(f.WriteBool(1), "Assertion failed: m_fp,");

    testsupport::TempDir dir;
    const auto path = dir / "x";
    WriteAll(path, LE(1));
    ASSERT_TRUE(f.Open(path.c_str(), "rb"));
    EXPECT_DEATH(f.ReadInt(nullptr), "Assertion failed: m_fp && piVal");
    f.Close();
}

} // namespace
