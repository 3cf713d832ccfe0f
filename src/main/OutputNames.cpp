#include "OutputNames.h"

#include <system_error>

namespace outputnames {

std::filesystem::path OutputIn(const std::filesystem::path& folder, const std::filesystem::path& source,
                               const std::set<std::string>& taken)
{
    const std::string stem = source.stem().string();
    for (int n = 1;; ++n) {
        std::filesystem::path candidate = folder / (n == 1 ? stem + ".wmv" : stem + " (" + std::to_string(n) + ").wmv");
        if (candidate.lexically_normal() != source.lexically_normal() && !taken.count(candidate.string()))
            return candidate;
    }
}

std::string WithWmvExtension(const std::string& output)
{
    if (output.empty() || output.back() == '/')
        return output;
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(output), ec))
        return output;
    const std::string name = std::filesystem::path(output).filename().string();
    const std::size_t dot = name.rfind('.');
    if (name == "." || name == "..")
        return output;
    if (dot == std::string::npos || dot == 0)
        return output + ".wmv"; // a leading dot starts a hidden name, not an extension
    if (dot + 1 == name.size())
        return output + "wmv";
    return output;
}

} // namespace outputnames
