#include "WinUtil.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace cx {
namespace {
std::mutex g_openerLock;
ShellOpener g_opener;
CheckedShellOpener g_checkedOpener;
std::mutex g_checkLock;
WritableCheck g_writableCheck;

// The user's home: HOME, else the password database's entry. Only an
// absolute folder counts; a relative one would follow the working folder.
std::string HomeDir()
{
    const char* home = std::getenv("HOME");
    if (home && *home == '/')
        return home;
    if (home && *home)
        return {};
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) != 0 || !found || !found->pw_dir ||
        *found->pw_dir != '/')
        return {};
    return found->pw_dir;
}

bool CopyPath(const std::string& path, char* buf)
{
    if (path.size() >= kMaxPath)
        return false;
    std::memcpy(buf, path.c_str(), path.size() + 1);
    return true;
}
} // namespace

bool GetModuleDir(char* buf)
{
    if (!buf)
        return false;
    char exe[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", exe, PATH_MAX);
    if (n <= 0)
        return false;
    exe[n] = '\0';
    char* slash = std::strrchr(exe, '/');
    if (!slash)
        return false;
    const std::size_t len = static_cast<std::size_t>(slash - exe) + 1; // keep the '/'
    if (len >= kMaxPath)
        return false;
    std::memcpy(buf, exe, len);
    buf[len] = '\0';
    return true;
}

bool IsModuleDirWritable()
{
    char dir[kMaxPath] = {};
    if (!GetModuleDir(dir))
        return false;
    WritableCheck check;
    {
        std::lock_guard lock(g_checkLock);
        check = g_writableCheck;
    }
    if (check)
        return check(dir);
    // Creating and renaming files needs both rights on the folder.
    return access(dir, W_OK | X_OK) == 0;
}

void SetModuleDirWritableCheck(WritableCheck check)
{
    std::lock_guard lock(g_checkLock);
    g_writableCheck = std::move(check);
}

bool GetUserConfigDir(const char* app, char* buf)
{
    if (!app || !*app || !buf)
        return false;
    // A relative XDG_CONFIG_HOME is invalid and ignored, as the base folder
    // rules say.
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const std::string home = HomeDir();
        if (home.empty())
            return false;
        base = home + (home.back() == '/' ? "" : "/") + ".config";
    }
    if (base.back() != '/')
        base += '/';
    return CopyPath(base + app + "/", buf);
}

bool CreateUserDir(const char* dir)
{
    if (!dir || *dir != '/')
        return false;
    // Each prefix that ends at a separator, then the whole path.
    const std::string path = dir;
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos < path.size() && path[pos] != '/')
            continue;
        if (mkdir(path.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st {};
    return stat(dir, &st) == 0 && S_ISDIR(st.st_mode);
}

void SetShellOpener(ShellOpener opener)
{
    std::lock_guard lock(g_openerLock);
    g_opener = std::move(opener);
}

bool ShellOpen(const char* text)
{
    if (!text || !*text)
        return false;
    ShellOpener opener;
    {
        std::lock_guard lock(g_openerLock);
        opener = g_opener;
    }
    return !opener || opener(text);
}

void SetCheckedShellOpener(CheckedShellOpener opener)
{
    std::lock_guard lock(g_openerLock);
    g_checkedOpener = std::move(opener);
}

bool ShellOpenChecked(const char* text)
{
    if (!text || !*text)
        return false;
    CheckedShellOpener opener;
    {
        std::lock_guard lock(g_openerLock);
        opener = g_checkedOpener;
    }
    return opener ? opener(text) : ShellOpen(text);
}

} // namespace cx
