#include "CxDrive.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>
#include <tuple>
#include <utility>

#include "Assert.h"
#include "TextUtil.h"

namespace fs = std::filesystem;

namespace cx {
namespace {

std::mutex g_providerLock;
DriveProvider g_provider;

// Linux majors of SCSI CD-ROM devices; srN is 11:N.
constexpr std::string_view kSrMajor = "11";

std::string Unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && field.size() - i >= 4) {
            const auto oct = [](char c) { return c >= '0' && c <= '7'; };
            if (oct(field[i + 1]) && oct(field[i + 2]) && oct(field[i + 3])) {
                out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<std::string_view> Fields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

template <class F> void ForEachLine(std::string_view text, F f)
{
    while (!text.empty()) {
        const auto nl = text.find('\n');
        f(text.substr(0, nl));
        if (nl == std::string_view::npos)
            break;
        text.remove_prefix(nl + 1);
    }
}

// "sr10" after "sr9": the name's letters, then its number.
bool DeviceOrder(const std::string& a, const std::string& b)
{
    auto split = [](const std::string& s) {
        std::size_t k = s.size();
        while (k > 0 && std::isdigit(static_cast<unsigned char>(s[k - 1])))
            --k;
        const std::string digits = s.substr(k);
        // Compare numbers by length first so that no conversion can overflow.
        const std::string trimmed = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
        return std::make_tuple(s.substr(0, k), trimmed.size(), trimmed);
    };
    return split(a) < split(b);
}

bool IsDiscFileSystem(const std::string& type)
{
    return type == "iso9660" || type == "udf";
}

bool SameNameIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ReadProcFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    std::vector<MountEntry> out;
    ForEachLine(text, [&](std::string_view line) {
        const auto f = Fields(line);
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        const auto sep = std::find(f.begin() + std::min<std::size_t>(6, f.size()), f.end(), "-");
        if (f.size() < 6 || sep == f.end() || f.end() - sep < 3)
            return;
        out.push_back({std::string(f[2]), Unescape(f[3]), Unescape(f[4]), Unescape(sep[1]), Unescape(sep[2])});
    });
    return out;
}

std::vector<std::string> ParseCdromInfo(std::string_view text)
{
    std::vector<std::string> out;
    ForEachLine(text, [&](std::string_view line) {
        constexpr std::string_view key = "drive name:";
        if (!out.empty() || line.substr(0, key.size()) != key)
            return;
        for (auto name : Fields(line.substr(key.size())))
            out.emplace_back(name);
    });
    std::sort(out.begin(), out.end(), DeviceOrder);
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

DriveTable BuildDriveTable(std::string_view cdromInfo, std::string_view mountInfo)
{
    const auto mounts = ParseMountInfo(mountInfo);
    DriveTable table;
    std::set<std::string> opticalSources;
    std::set<std::string> opticalNumbers;

    // A disc mounted more than once counts once, at its first whole mount.
    auto pick = [&](auto matches) -> const MountEntry* {
        const MountEntry* first = nullptr;
        for (const auto& m : mounts) {
            if (!matches(m))
                continue;
            if (m.root == "/")
                return &m;
            if (!first)
                first = &m;
        }
        return first;
    };

    for (const auto& name : ParseCdromInfo(cdromInfo)) {
        DriveInfo d;
        d.device = "/dev/" + name;
        std::string number;
        if (name.size() > 2 && name.compare(0, 2, "sr") == 0)
            number = std::string(kSrMajor) + ":" + name.substr(2);
        opticalSources.insert(d.device);
        if (!number.empty())
            opticalNumbers.insert(number);
        if (const MountEntry* m = pick([&](const MountEntry& e) {
                return e.source == d.device || (!number.empty() && e.majorMinor == number);
            })) {
            d.mountPoint = m->mountPoint;
            opticalNumbers.insert(m->majorMinor);
        }
        table.push_back(std::move(d));
    }

    std::set<std::string> images;
    for (const auto& m : mounts) {
        if (!IsDiscFileSystem(m.fsType) || opticalSources.count(m.source) || opticalNumbers.count(m.majorMinor) ||
            images.count(m.majorMinor))
            continue;
        images.insert(m.majorMinor);
        const MountEntry* best =
            pick([&](const MountEntry& e) { return e.majorMinor == m.majorMinor && IsDiscFileSystem(e.fsType); });
        table.push_back({0, best->source, best->mountPoint, true});
    }

    // D to Z: A to C were never optical on the platform the letters come from.
    if (table.size() > 23)
        table.resize(23);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i].cLetter = static_cast<char>('D' + i);
    return table;
}

DriveTable ReadSystemDriveTable()
{
    return BuildDriveTable(ReadProcFile("/proc/sys/dev/cdrom/info"), ReadProcFile("/proc/self/mountinfo"));
}

void SetDriveProvider(DriveProvider provider)
{
    std::lock_guard lock(g_providerLock);
    g_provider = std::move(provider);
}

DriveTable GetDriveTable()
{
    DriveProvider provider;
    {
        std::lock_guard lock(g_providerLock);
        provider = g_provider;
    }
    return provider ? provider() : ReadSystemDriveTable();
}

std::string GetDrivePath(char cDrive, std::string_view relative)
{
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(cDrive)));
    const DriveTable table = GetDriveTable();
    const auto it = std::find_if(table.begin(), table.end(), [&](const DriveInfo& d) { return d.cLetter == letter; });

    if (it == table.end() || it->mountPoint.empty()) {
        // No disc to look into: a path below the device node names the drive
        // plainly and cannot exist.
        std::string path =
            it != table.end() && !it->device.empty() ? it->device : "/dev/null/drive-" + std::string(1, letter);
        path += '/';
        path += relative;
        return path;
    }

    std::string path = it->mountPoint;
    bool found = true; // while the path so far exists, look names up
    std::size_t start = 0;
    while (start <= relative.size()) {
        auto end = relative.find('/', start);
        if (end == std::string_view::npos)
            end = relative.size();
        const std::string_view name = relative.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        std::string chosen(name);
        if (found) {
            std::error_code ec;
            if (!fs::exists(fs::path(path) / chosen, ec)) {
                found = false;
                for (fs::directory_iterator d(path, ec), e; !ec && d != e; d.increment(ec)) {
                    const std::string candidate = d->path().filename().string();
                    if (SameNameIgnoringCase(candidate, name)) {
                        chosen = candidate;
                        found = true;
                        break;
                    }
                }
            }
        }
        if (path.empty() || path.back() != '/')
            path += '/';
        path += chosen;
    }
    return path;
}

bool GetDrivePath(char cDrive, const char* szRelative, char* szBuf, std::size_t nSize)
{
    if (!szBuf || nSize == 0)
        return false;
    const std::string path = GetDrivePath(cDrive, szRelative ? szRelative : "");
    if (!FitsField(path.c_str(), nSize)) {
        szBuf[0] = '\0';
        return false;
    }
    CopyText(szBuf, nSize, path.c_str());
    return true;
}

bool GetCDDrives(char* buf, std::int32_t* count)
{
    CX_ASSERT(buf && count);
    *count = 0;
    std::string letters;
    for (const auto& d : GetDriveTable()) {
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(d.cLetter)));
        if (c >= 'A' && c <= 'Z' && letters.find(c) == std::string::npos)
            letters += c;
    }
    std::sort(letters.begin(), letters.end());
    for (char c : letters)
        buf[(*count)++] = c;
    return *count != 0;
}

bool GetVCDFileName(char cDrive, char* szBuf, std::size_t nSize)
{
    if (!szBuf)
        return false;
    return GetDrivePath(cDrive, "MPEGAV/AVSEQ01.DAT", szBuf, nSize);
}

} // namespace cx
