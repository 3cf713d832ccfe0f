// Program directory and shell open.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace cx {

constexpr std::size_t kMaxPath = 260;

// Writes the directory of the running executable, ending with '/', into buf
// (at least kMaxPath bytes). False, writing nothing, for a null buffer or a
// directory that does not fit.
bool GetModuleDir(char* buf);

// Hands a file path, a "file://" folder address or a web address to the
// desktop. False for a null or empty text; true otherwise, whatever the
// desktop makes of it. Never builds a command line.
bool ShellOpen(const char* text);

// The desktop side of ShellOpen. The windowed program installs one that opens
// the text with the desktop's URL handler; tests install a recording double.
// Without one, ShellOpen does nothing but still reports true.
using ShellOpener = std::function<void(const std::string&)>;
void SetShellOpener(ShellOpener opener);

// For a caller with a second choice (the help file, whose viewer many
// desktops lack): hands the text over only when the desktop says it can open
// it, and answers whether it did. Goes through the checked opener; without
// one installed it is ShellOpen.
bool ShellOpenChecked(const char* text);
using CheckedShellOpener = std::function<bool(const std::string&)>;
void SetCheckedShellOpener(CheckedShellOpener opener);

} // namespace cx
