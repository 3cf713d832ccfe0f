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
    return ext == ".wmv" || ext == ".avi" || ext == ".mpg" || ext == ".mpeg" || ext == ".iso" ||
           (withTitles && ext == ".vob");
}

// A copied DVD: a folder holding VIDEO_TS with its tables, or VIDEO_TS
// itself. It is one source, converted as the disc plays its film.
bool IsDvdFolder(const std::filesystem::path& p)
{
    std::error_code ec;
    const auto tables = [&ec](const std::filesystem::path& dir) {
        return std::filesystem::exists(dir / "VIDEO_TS.IFO", ec) || std::filesystem::exists(dir / "video_ts.ifo", ec);
    };
    return tables(p / "VIDEO_TS") || tables(p / "video_ts");
}

// VIDEO_TS stands for the disc folder above it, whose name says more.
std::filesystem::path DiscFolder(const std::filesystem::path& p)
{
    std::string name = p.filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name == "video_ts" && IsDvdFolder(p.parent_path()) ? p.parent_path() : p;
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
        if (IsDvdFolder(sub))
            out.push_back(sub);
        // A link back up the tree would make the walk endless.
        else if (!std::filesystem::is_symlink(sub, linkError))
            Walk(sub, out);
    }
}

} // namespace

std::vector<std::filesystem::path> CollectVideoFiles(const std::vector<std::filesystem::path>& dropped)
{
    std::vector<std::filesystem::path> out;
    for (const auto& p : dropped) {
        std::error_code ec;
        if (std::filesystem::is_directory(p, ec) && IsDvdFolder(DiscFolder(p)))
            out.push_back(DiscFolder(p));
        else if (std::filesystem::is_directory(p, ec))
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
