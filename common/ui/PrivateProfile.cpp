#include "PrivateProfile.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

namespace ui {
namespace {

std::string_view Trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::vector<std::string> ReadLines(const std::filesystem::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

// "[name]" gives name.
std::optional<std::string_view> SectionOf(std::string_view line)
{
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[')
        return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return Trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> KeyOf(std::string_view line)
{
    const auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

std::optional<std::string> Lookup(const std::filesystem::path& file, std::string_view section, std::string_view key)
{
    bool inSection = false;
    for (const std::string& line : ReadLines(file)) {
        if (const auto s = SectionOf(line)) {
            inSection = SameName(*s, section);
            continue;
        }
        if (!inSection)
            continue;
        if (const auto k = KeyOf(line); k && SameName(k->key, key))
            return std::string(k->value);
    }
    return std::nullopt;
}

} // namespace

int GetPrivateProfileInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
                         int nDefault)
{
    const auto value = Lookup(file, section, key);
    if (!value)
        return nDefault;
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(value->c_str(), &end, 10);
    if (end == value->c_str())
        return 0;
    if (errno == ERANGE || n > INT_MAX || n < INT_MIN)
        return n < 0 ? INT_MIN : INT_MAX;
    return static_cast<int>(n);
}

std::string GetPrivateProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                                    std::string_view def)
{
    const auto value = Lookup(file, section, key);
    return value ? *value : std::string(def);
}

bool WritePrivateProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                               std::string_view value)
{
    std::vector<std::string> lines = ReadLines(file);
    const std::string entry = std::string(key) + "=" + std::string(value);

    bool inSection = false;
    bool done = false;
    std::size_t sectionEnd = std::string::npos; // where a new key of the section goes
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        if (const auto s = SectionOf(lines[i])) {
            if (inSection)
                break;
            inSection = SameName(*s, section);
            if (inSection)
                sectionEnd = i + 1;
            continue;
        }
        if (!inSection)
            continue;
        if (!Trim(lines[i]).empty())
            sectionEnd = i + 1;
        if (const auto k = KeyOf(lines[i]); k && SameName(k->key, key)) {
            lines[i] = entry;
            done = true;
        }
    }
    if (!done) {
        if (sectionEnd != std::string::npos) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
        } else {
            lines.push_back("[" + std::string(section) + "]");
            lines.push_back(entry);
        }
    }

    std::filesystem::path temp = file;
    temp += ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        for (const std::string& line : lines)
            out << line << '\n';
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        return false;
    }
    return true;
}

} // namespace ui
