// What a drop on the main window turns into: the video files among dropped
// files and folders, and an output name beside each source.
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace dropfiles {

// The dropped files that are videos, and the videos found in the dropped
// folders and their subfolders (by the extensions of the open dialog's first
// filter and DVD images, in any case), each folder's in name order; files
// and folders keep the order they were dropped in. A copied DVD (a folder
// holding VIDEO_TS, or VIDEO_TS itself) is one source: its disc folder.
std::vector<std::filesystem::path> CollectVideoFiles(const std::vector<std::filesystem::path>& dropped);

// The output beside source: its name with the extension ".wmv", numbered
// " (2)", " (3)", ... when that names the source itself or a path already in
// taken (compared as given, so callers pass one spelling per file).
std::filesystem::path OutputBeside(const std::filesystem::path& source, const std::set<std::string>& taken);

} // namespace dropfiles
