#include "DataFiles.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include "WinUtil.h"

namespace datafiles {
namespace {

std::filesystem::path ProgramDir()
{
    char dir[cx::kMaxPath] = {};
    cx::GetModuleDir(dir);
    return dir;
}

} // namespace

std::filesystem::path Shipped(const char* name)
{
    return ProgramDir() / name;
}

namespace {

// Qt hands folders as text; the file system wants their bytes back.
std::filesystem::path FromQt(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The user's configuration folder when the program folder is the package's
// or not writable; empty while the files stay beside the program. Without a
// configuration folder they stay there too, and writing them fails as it
// would have before.
bool FilesBesideProgram()
{
    std::error_code ec;
    return !std::filesystem::exists(Shipped(kDefaultProfiles), ec) && cx::IsModuleDirWritable();
}

std::filesystem::path UserDir()
{
    char dir[cx::kMaxPath] = {};
    if (!FilesBesideProgram() && cx::GetUserConfigDir(kUserFolder, dir))
        return dir;
    return {};
}

} // namespace

bool PerUser()
{
    return !UserDir().empty();
}

std::filesystem::path Kept(const char* name)
{
    const std::filesystem::path dir = UserDir();
    return dir.empty() ? Shipped(name) : dir / name;
}

bool MakeFolderFor(const std::filesystem::path& file)
{
    return cx::CreateUserDir(file.parent_path().c_str());
}

std::filesystem::path OutputFolder()
{
    if (FilesBesideProgram())
        return ProgramDir();
    const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (!videos.isEmpty() && QDir(videos).exists())
        return FromQt(videos);
    // Qt answers the root folder when there is no home.
    const QString home = QDir::homePath();
    if (home != QDir::rootPath() && QDir(home).exists())
        return FromQt(home);
    return ProgramDir();
}

} // namespace datafiles
