// The output name a chosen source suggests, and the extension an output
// typed without one is given.
#pragma once

#include <filesystem>
#include <set>
#include <string>

namespace outputnames {

// In folder: the source's name with the extension ".wmv", numbered " (2)",
// " (3)", ... when that names the source itself or a path already in taken
// (compared as given, so callers pass one spelling per file).
std::filesystem::path OutputIn(const std::filesystem::path& folder, const std::filesystem::path& source,
                               const std::set<std::string>& taken = {});

// An output named without an extension ("clip", or "clip.") is a WMV file
// all the same: it is given ".wmv", which players go by. A name with an
// extension, a folder that is there, and an empty text stay as they are.
std::string WithWmvExtension(const std::string& output);

} // namespace outputnames
