#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "WinUtil.h"

namespace {

TEST(GetModuleDir, IsTheTestBinarysFolderWithTrailingSlash)
{
    char buf[cx::kMaxPath] = {};
    ASSERT_TRUE(cx::GetModuleDir(buf));
    const std::string dir = buf;
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');

    char exe[PATH_MAX] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    EXPECT_EQ(std::string(exe).rfind(dir, 0), 0u);
    EXPECT_EQ(std::string(exe).find('/', dir.size()), std::string::npos);
    EXPECT_FALSE(cx::GetModuleDir(nullptr));
}

TEST(ShellOpen, HandsTextToTheInstalledOpenerOnly)
{
    std::vector<std::string> opened;
    cx::SetShellOpener([&](const std::string& t) { opened.push_back(t); });
    EXPECT_FALSE(cx::ShellOpen(nullptr));
    EXPECT_FALSE(cx::ShellOpen(""));
    EXPECT_TRUE(cx::ShellOpen("file:///tmp/a b/"));
    EXPECT_TRUE(cx::ShellOpen("/tmp/$(reboot).wmv"));
    cx::SetShellOpener(nullptr);
    EXPECT_TRUE(cx::ShellOpen("/tmp/x"));  // no opener: still true, nothing recorded
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], "file:///tmp/a b/");
    EXPECT_EQ(opened[1], "/tmp/$(reboot).wmv");
}

}  // namespace
