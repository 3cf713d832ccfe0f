#include <gtest/gtest.h>

#include <cstring>

#include "TextUtil.h"

namespace {

TEST(CopyText, CopiesWholeTextThatFits)
{
    char buf[8];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(cx::CopyText(buf, "abcdefg"), 7u);
    EXPECT_STREQ(buf, "abcdefg");
    EXPECT_TRUE(cx::FitsField("abcdefg", 8));
    EXPECT_FALSE(cx::FitsField("abcdefgh", 8));
    EXPECT_TRUE(cx::FitsField(nullptr, 1));
}

TEST(CopyText, CutsAtSizeMinusOneAndTerminates)
{
    char buf[4];
    EXPECT_EQ(cx::CopyText(buf, "abcdef"), 3u);
    EXPECT_STREQ(buf, "abc");
}

TEST(CopyText, NeverSplitsMultiByteCharacters)
{
    // "aé€" is 61 | C3 A9 | E2 82 AC: 6 bytes.
    const char* text = "a\xC3\xA9\xE2\x82\xAC";
    char buf[7];
    for (std::size_t size = 1; size <= sizeof buf; ++size) {
        cx::CopyText(buf, size, text);
        const std::size_t n = std::strlen(buf);
        // Only whole characters: 0, 1, 3 or 6 bytes.
        EXPECT_TRUE(n == 0 || n == 1 || n == 3 || n == 6) << "size " << size << " gave " << n;
        EXPECT_LE(n, size - 1);
    }
    char four[4];
    cx::CopyText(four, text);
    EXPECT_STREQ(four, "a\xC3\xA9");
}

TEST(CopyText, NullSourceAndDegenerateDestinations)
{
    char buf[4] = "zz";
    EXPECT_EQ(cx::CopyText(buf, nullptr), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(cx::CopyText(nullptr, 4, "abc"), 0u);
    EXPECT_EQ(cx::CopyText(buf, 0, "abc"), 0u);
}

}  // namespace
