// Paths as the program keeps them.
#pragma once

#include <string>

namespace cx {

// A path made absolute against the current folder: the file a relative name
// opens now, whatever folder is current later. Empty and absolute paths come
// back unchanged; "." parts are left out, ".." parts kept (a link may lie
// between). A path the system cannot resolve comes back unchanged.
std::string AbsolutePath(const std::string& path);

} // namespace cx
