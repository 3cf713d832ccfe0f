#include "PathUtil.h"

#include <filesystem>
#include <system_error>

namespace cx {

std::string AbsolutePath(const std::string& path)
{
    namespace fs = std::filesystem;
    const fs::path given(path);
    if (path.empty() || given.is_absolute())
        return path;
    std::error_code ec;
    const fs::path full = fs::absolute(given, ec);
    if (ec)
        return path;
    fs::path out;
    for (const fs::path& part : full)
        if (part != ".")
            out /= part;
    return out.string();
}

} // namespace cx
