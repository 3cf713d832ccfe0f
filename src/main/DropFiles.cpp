#include "DropFiles.h"

#include <algorithm>
#include <system_error>

#include "OutputNames.h"

namespace dropfiles {
namespace {

bool IsVideo(const std::filesystem::path& p, bool withTitles)
{
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".wmv" || ext == ".avi" || ext == ".mpg" || ext == ".mpeg" || (withTitles && ext == ".vob");
}

void Walk(const std::filesystem::path& folder, std::vector<std::filesystem::path>& out)
{
    std::error_code ec;
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> folders;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError))
            folders.push_back(it->path());
        else if (it->is_regular_file(typeError) && IsVideo(it->path(), false))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    for (const auto& sub : folders) {
        std::error_code linkError;
        // A link back up the tree would make the walk endless.
        if (!std::filesystem::is_symlink(sub, linkError))
            Walk(sub, out);
    }
}

} // namespace

std::vector<std::filesystem::path> CollectVideoFiles(const std::vector<std::filesystem::path>& dropped)
{
    std::vector<std::filesystem::path> out;
    for (const auto& p : dropped) {
        std::error_code ec;
        if (std::filesystem::is_directory(p, ec))
            Walk(p, out);
        else if (std::filesystem::is_regular_file(p, ec) && IsVideo(p, true))
            out.push_back(p);
    }
    return out;
}

std::filesystem::path OutputBeside(const std::filesystem::path& source, const std::set<std::string>& taken)
{
    return outputnames::OutputIn(source.parent_path(), source, taken);
}

} // namespace dropfiles
