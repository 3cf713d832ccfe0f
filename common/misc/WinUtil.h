// Program directory, the user's configuration folder, and shell open.
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

// True when the program may create and replace files in its directory: a
// build folder or a user's own install, not a system folder that only the
// administrator writes.
bool IsModuleDirWritable();

// Tests decide what IsModuleDirWritable answers; null restores the real test.
using WritableCheck = std::function<bool(const std::string& dir)>;
void SetModuleDirWritableCheck(WritableCheck check);

// Writes the user's configuration folder for the program named app, ending
// with '/', into buf (at least kMaxPath bytes): $XDG_CONFIG_HOME/app/ when
// that variable holds an absolute path, else $HOME/.config/app/ (the home of
// the password database when HOME is unset or empty). False, writing nothing,
// for a null argument, no home, or a folder that does not fit.
bool GetUserConfigDir(const char* app, char* buf);

// Creates dir and whatever of its parents is missing, each readable by the
// user only, as the desktop's base folder rules ask. True when dir is then a
// folder.
bool CreateUserDir(const char* dir);

// Hands a file path, a "file://" folder address or a web address to the
// desktop. False for a null or empty text, and when the desktop has no
// program that takes it (the caller then tells the user); true otherwise.
// Never builds a command line.
bool ShellOpen(const char* text);

// The desktop side of ShellOpen: opens the text and answers whether the
// desktop had a program for it. The windowed program installs one that asks
// the desktop's URL handler; tests install a recording double. Without one,
// ShellOpen does nothing but still reports true.
using ShellOpener = std::function<bool(const std::string&)>;
void SetShellOpener(ShellOpener opener);

// For a caller with a second choice (the help file, whose viewer many
// desktops lack): hands the text over only when the desktop says it can open
// it, and answers whether it did. Goes through the checked opener; without
// one installed it is ShellOpen.
bool ShellOpenChecked(const char* text);
using CheckedShellOpener = std::function<bool(const std::string&)>;
void SetCheckedShellOpener(CheckedShellOpener opener);

} // namespace cx
