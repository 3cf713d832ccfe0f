#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "WinUtil.h"

namespace {

// Sets or clears an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        Set(value);
    }
    ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
    void Set(const char* value)
    {
        if (value)
            setenv(m_name, value, 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

std::string ConfigDir(const char* app)
{
    char buf[cx::kMaxPath] = {};
    return cx::GetUserConfigDir(app, buf) ? buf : "(none)";
}

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

TEST(GetUserConfigDir, XdgConfigHomeWhenAbsoluteElseHomeDotConfig)
{
    ScopedEnv home("HOME", "/home/u");
    ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg/");
    EXPECT_EQ(ConfigDir("app"), "/cfg/app/");
    xdg.Set("cfg"); // relative: not a base folder at all
    EXPECT_EQ(ConfigDir("app"), "/home/u/.config/app/");
    xdg.Set("");
    EXPECT_EQ(ConfigDir("app"), "/home/u/.config/app/");
    xdg.Set(nullptr);
    EXPECT_EQ(ConfigDir("app"), "/home/u/.config/app/");
    home.Set("here"); // a relative home would follow the working folder
    EXPECT_EQ(ConfigDir("app"), "(none)");

    // Too deep for a path field: refused, not cut.
    xdg.Set(("/" + std::string(cx::kMaxPath - 6, 'x')).c_str());
    EXPECT_EQ(ConfigDir("app"), "(none)");
    char buf[cx::kMaxPath] = "untouched";
    EXPECT_FALSE(cx::GetUserConfigDir("app", buf));
    EXPECT_STREQ(buf, "untouched");
}

TEST(ShellOpen, HandsTextToTheInstalledOpenerOnlyAndTellsWhetherItTookIt)
{
    std::vector<std::string> opened;
    cx::SetShellOpener([&](const std::string& t) {
        opened.push_back(t);
        return t.find(".chm") == std::string::npos; // no program for that kind of file
    });
    EXPECT_FALSE(cx::ShellOpen(nullptr));
    EXPECT_FALSE(cx::ShellOpen(""));
    EXPECT_TRUE(cx::ShellOpen("file:///tmp/a b/"));
    EXPECT_TRUE(cx::ShellOpen("/tmp/$(reboot).wmv"));
    EXPECT_FALSE(cx::ShellOpen("/tmp/help.chm"));
    opened.pop_back();
    cx::SetShellOpener(nullptr);
    EXPECT_TRUE(cx::ShellOpen("/tmp/x")); // no opener: still true, nothing recorded
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], "file:///tmp/a b/");
    EXPECT_EQ(opened[1], "/tmp/$(reboot).wmv");
}

} // namespace
