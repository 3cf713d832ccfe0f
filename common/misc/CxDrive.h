// Optical drives as drive letters.
//
// The program names discs by letter: each optical drive the kernel knows is a
// letter from D in device order (sr0 is D, sr1 is E, ...), followed by the
// ISO 9660 and UDF file systems mounted from elsewhere (disc images mounted
// from a file, copies on USB sticks). A letter's files are reached through
// GetDrivePath, which puts the disc's mount point in front of a relative path
// and matches each name on the disc regardless of case.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace cx {

struct DriveInfo {
    char cLetter = 0;       // 'D', 'E', ...
    std::string device;     // "/dev/sr0", or what an image is mounted from
    std::string mountPoint; // where its disc is mounted; empty without a disc
    bool bImage = false;    // a disc file system that is not on an optical drive
};
using DriveTable = std::vector<DriveInfo>;

// One line of /proc/self/mountinfo, escapes (\040 and the like) undone.
struct MountEntry {
    std::string majorMinor; // "11:0"
    std::string root;       // the mounted folder of the file system, "/" mostly
    std::string mountPoint;
    std::string fsType;
    std::string source;
};

std::vector<MountEntry> ParseMountInfo(std::string_view text);
// The drive names of /proc/sys/dev/cdrom/info ("sr0", "sr1", ...), in device
// order (the kernel lists the newest first).
std::vector<std::string> ParseCdromInfo(std::string_view text);
// Letters for the drives of cdromInfo and the disc images of mountInfo.
DriveTable BuildDriveTable(std::string_view cdromInfo, std::string_view mountInfo);
// The table of this machine, read from /proc now.
DriveTable ReadSystemDriveTable();

// Where the drive table comes from. Tests install fake drives mapped to
// folders; an empty provider puts back the machine's own table.
using DriveProvider = std::function<DriveTable()>;
void SetDriveProvider(DriveProvider provider);
DriveTable GetDriveTable();

// The drive's mount point followed by relative ('/'-separated), each name
// matched on the disc without regard to case where the exact one is missing.
// For a drive without a disc (or an unknown letter) the result is a path under
// the drive's device node, which names the drive and cannot exist.
std::string GetDrivePath(char cDrive, std::string_view relative);
// The same into a caller's buffer; false, leaving an empty text, when the
// path does not fit (a cut path would name another file).
bool GetDrivePath(char cDrive, const char* szRelative, char* szBuf, std::size_t nSize);

// The letters of all drives, upper case, in alphabetical order, without a
// terminator (buf has room for 26); true when there is at least one.
bool GetCDDrives(char* buf, std::int32_t* count);

// The Video CD track of a drive, MPEGAV/AVSEQ01.DAT on its disc, whether or
// not a disc is there. False for a null buffer, and for a path that does not
// fit, which leaves an empty text.
bool GetVCDFileName(char cDrive, char* szBuf, std::size_t nSize);

} // namespace cx
