#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <sstream>

#include "Media.h"
#include "PrivateProfile.h"

namespace {

std::string ReadAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(PrivateProfile, ReadsWithDefaultsAndTheIntegerRules)
{
    testsupport::TempDir dir;
    const auto ini = dir / "dastrel.ini";
    EXPECT_EQ(ui::GetPrivateProfileInt(ini, "Morvane", "SkinType", 1), 1); // no file

    std::ofstream(ini) << "; comment\n[Other]\nSkinType=4\n\n[ morvane ]\r\n  skintype =  3 \r\nBad=abc\n"
                          "Sign=-12px\nHuge=99999999999\n";
    EXPECT_EQ(ui::GetPrivateProfileInt(ini, "Morvane", "SkinType", 1), 3);
    EXPECT_EQ(ui::GetPrivateProfileInt(ini, "Morvane", "Missing", 7), 7);
    EXPECT_EQ(ui::GetPrivateProfileInt(ini, "Nowhere", "SkinType", 7), 7);
    EXPECT_EQ(ui::GetPrivateProfileInt(ini, "Morvane", "Bad", 7), 0);
    EXPECT_EQ(ui::GetPrivateProfileInt(ini, "Morvane", "Sign", 7), -12);
    EXPECT_EQ(ui::GetPrivateProfileInt(ini, "Morvane", "Huge", 7), INT_MAX);
    EXPECT_EQ(ui::GetPrivateProfileString(ini, "Other", "SkinType", ""), "4");
}

TEST(PrivateProfile, WritesCreatingWhatIsMissingAndKeepingTheRest)
{
    testsupport::TempDir dir;
    const auto ini = dir / "dastrel.ini";
    ASSERT_TRUE(ui::WritePrivateProfileString(ini, "Morvane", "SkinType", "1"));
    EXPECT_EQ(ReadAll(ini), "[Morvane]\nSkinType=1\n");

    ASSERT_TRUE(ui::WritePrivateProfileString(ini, "Morvane", "SkinType", "5"));
    ASSERT_TRUE(ui::WritePrivateProfileString(ini, "Morvane", "Other", "x"));
    ASSERT_TRUE(ui::WritePrivateProfileString(ini, "Second", "Key", "y"));
    EXPECT_EQ(ReadAll(ini), "[Morvane]\nSkinType=5\nOther=x\n[Second]\nKey=y\n");

    // A user's comment and another section survive, and a key is set in the
    // section where it belongs, not in the first one that has the name.
    std::ofstream(ini) << "# mine\n[Other]\nSkinType=4\n\n[Morvane]\nSkinType=2\n";
    ASSERT_TRUE(ui::WritePrivateProfileString(ini, "Morvane", "SkinType", "3"));
    EXPECT_EQ(ReadAll(ini), "# mine\n[Other]\nSkinType=4\n\n[Morvane]\nSkinType=3\n");

    // An unwritable place reports failure and leaves nothing behind.
    EXPECT_FALSE(ui::WritePrivateProfileString(dir / "missing" / "x.ini", "A", "B", "C"));
}

} // namespace
