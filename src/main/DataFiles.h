// Where the main window finds the files it reads and keeps the files it
// writes. Everything stays beside the program while its folder can be
// written (a build folder, a user's own install). The system-wide package's
// folder, or any the user cannot write, sends the settings and profiles to
// the user's configuration folder and the default output to the user's
// Videos folder.
#pragma once

#include <filesystem>

namespace datafiles {

// The folder under the user's configuration folder.
inline constexpr const char* kUserFolder = "morvane-converter";

// The profiles every user's store starts from, shipped read-only by the
// package. Its presence also marks the program folder as the package's:
// no run writes there, not even the superuser's, who could.
inline constexpr const char* kDefaultProfiles = "mrprof-default.dat";

// A file shipped beside the program: help, engine profiles, the package's
// default profiles.
std::filesystem::path Shipped(const char* name);

// True when the files the program writes live in the user's configuration
// folder rather than beside the program.
bool PerUser();

// Where a file the program writes (dastrel.ini, mrprof.dat) is read and
// written.
std::filesystem::path Kept(const char* name);

// Creates the folder of a Kept file before its first write.
bool MakeFolderFor(const std::filesystem::path& file);

// The folder of the default output: the program's, else the user's Videos
// folder when there is one, else the home folder.
std::filesystem::path OutputFolder();

} // namespace datafiles
