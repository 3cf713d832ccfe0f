#include "WinUtil.h"

#include <unistd.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <utility>

namespace cx {
namespace {
std::mutex g_openerLock;
ShellOpener g_opener;
CheckedShellOpener g_checkedOpener;
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
    if (opener)
        opener(text);
    return true;
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
