// The settings file: sectioned key=value text, read with a default, written
// creating the file, section and key as needed. Section and key names match
// without regard to case; every other line of the file is kept as it was.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ui {

// The key's value read as a decimal integer (leading blanks, an optional
// sign and the digits that follow; no digits reads as 0). The default when
// the file, the section or the key is missing.
int GetPrivateProfileInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
                         int nDefault);

// The key's text, or the default when the file, section or key is missing.
std::string GetPrivateProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                                    std::string_view def);

// Sets the key's text. The file is replaced in one step, so a failed write
// leaves the old file whole. False when it cannot be written.
bool WritePrivateProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                               std::string_view value);

} // namespace ui
