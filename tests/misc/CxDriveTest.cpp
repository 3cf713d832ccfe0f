#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CxDrive.h"
#include "Media.h"

namespace fs = std::filesystem;

namespace {

// A desktop with two drives (the second reached through a /dev/cdrom link),
// a third drive without a disc, an ISO image mounted from a loop file and
// bound a second time, a UDF stick, and the usual other file systems.
constexpr const char* kMountInfo =
    "22 1 254:1 / / rw,relatime shared:1 - ext4 /dev/vda1 rw,errors=remount-ro\n"
    "23 22 0:21 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 22 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=4017124k,mode=755\n"
    "88 22 11:0 / /media/user/My\\040Disc rw,nosuid,nodev,relatime shared:300 - iso9660 /dev/sr0 "
    "ro,nojoliet,check=s,map=n,blocksize=2048,uid=1000,gid=1000,dmode=500,fmode=400\n"
    "89 22 11:1 / /run/media/user/DVD_VIDEO ro,nosuid,nodev,relatime shared:301 - udf /dev/cdrom "
    "ro,uid=1000,gid=1000,iocharset=utf8\n"
    "90 22 7:0 / /mnt/iso\\011tab\\134back ro,relatime shared:302 - iso9660 /dev/loop0 ro\n"
    "91 22 7:0 / /srv/again ro,relatime shared:302 - iso9660 /dev/loop0 ro\n"
    "92 22 8:17 / /media/user/STICK rw,relatime shared:303 - udf /dev/sdb1 rw\n"
    "93 22 8:18 / /media/user/USB rw,relatime shared:304 - vfat /dev/sdb2 rw\n"
    "garbage line without a separator\n";

constexpr const char* kCdromInfo = "CD-ROM information, Id: cdrom.c 3.20 2003/12/17\n"
                                   "\n"
                                   "drive name:\t\tsr2\tsr1\tsr0\n"
                                   "drive speed:\t\t24\t24\t48\n"
                                   "drive # of slots:\t1\t1\t1\n"
                                   "Can play audio:\t\t1\t1\t1\n";

TEST(DriveTable, ParsesMountInfoWithEscapes)
{
    const auto m = cx::ParseMountInfo(kMountInfo);
    ASSERT_EQ(m.size(), 9u); // the garbage line is skipped
    EXPECT_EQ(m[3].mountPoint, "/media/user/My Disc");
    EXPECT_EQ(m[3].majorMinor, "11:0");
    EXPECT_EQ(m[3].fsType, "iso9660");
    EXPECT_EQ(m[3].source, "/dev/sr0");
    EXPECT_EQ(m[5].mountPoint, "/mnt/iso\ttab\\back");
    EXPECT_TRUE(cx::ParseMountInfo("").empty());
    EXPECT_TRUE(cx::ParseMountInfo("1 2 3:4 / /x rw - \n").empty()); // type and source missing
}

TEST(DriveTable, ListsDrivesInDeviceOrderThenDiscImages)
{
    EXPECT_EQ(cx::ParseCdromInfo("drive name:\t\tsr10\tsr9\tsr1\tsr0\n"),
              (std::vector<std::string>{"sr0", "sr1", "sr9", "sr10"}));
    EXPECT_TRUE(cx::ParseCdromInfo("").empty());

    const auto t = cx::BuildDriveTable(kCdromInfo, kMountInfo);
    ASSERT_EQ(t.size(), 5u);
    const std::vector<std::vector<std::string>> expected = {
        {"D", "/dev/sr0", "/media/user/My Disc", "drive"},
        {"E", "/dev/sr1", "/run/media/user/DVD_VIDEO", "drive"},
        {"F", "/dev/sr2", "", "drive"},
        {"G", "/dev/loop0", "/mnt/iso\ttab\\back", "image"},
        {"H", "/dev/sdb1", "/media/user/STICK", "image"},
    };
    for (std::size_t i = 0; i < t.size(); ++i) {
        const std::vector<std::string> got = {std::string(1, t[i].cLetter), t[i].device, t[i].mountPoint,
                                              t[i].bImage ? "image" : "drive"};
        EXPECT_EQ(got, expected[i]) << i;
    }

    // Without the kernel's CD list (no drive at all) images still get letters.
    const auto images = cx::BuildDriveTable("", kMountInfo);
    ASSERT_EQ(images.size(), 4u); // the discs of sr0 and sr1 count as images now
    EXPECT_EQ(images[0].cLetter, 'D');
    EXPECT_EQ(images[0].mountPoint, "/media/user/My Disc");

    // This machine's own table reads without trouble and keeps the order.
    const auto mine = cx::ReadSystemDriveTable();
    for (std::size_t i = 0; i < mine.size(); ++i)
        EXPECT_EQ(mine[i].cLetter, static_cast<char>('D' + i));
}

class FakeDrives : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    void Use(cx::DriveTable table)
    {
        cx::SetDriveProvider([table] { return table; });
    }
    void TearDown() override { cx::SetDriveProvider(nullptr); }
};

TEST_F(FakeDrives, DrivePathsMatchDiscNamesWithoutCase)
{
    const fs::path disc = dir / "vcd";
    fs::create_directories(disc / "mpegav");
    std::ofstream(disc / "mpegav" / "avseq01.dat") << "track";
    Use({{'D', "/dev/sr0", disc.string(), false}, {'E', "/dev/sr1", "", false}});

    EXPECT_EQ(cx::GetDrivePath('D', "MPEGAV/AVSEQ01.DAT"), (disc / "mpegav" / "avseq01.dat").string());
    EXPECT_EQ(cx::GetDrivePath('d', "MPEGAV/"), (disc / "mpegav").string());
    // A missing name stays as asked, and so does everything under it.
    EXPECT_EQ(cx::GetDrivePath('D', "VIDEO_TS/VTS_01_0.VOB"), (disc / "VIDEO_TS" / "VTS_01_0.VOB").string());

    char buf[260];
    ASSERT_TRUE(cx::GetVCDFileName('D', buf, sizeof buf));
    EXPECT_EQ(std::string(buf), (disc / "mpegav" / "avseq01.dat").string());
    EXPECT_TRUE(fs::exists(buf));

    // No disc, or no such drive: a path that names the drive and is not there.
    ASSERT_TRUE(cx::GetVCDFileName('E', buf, sizeof buf));
    EXPECT_STREQ(buf, "/dev/sr1/MPEGAV/AVSEQ01.DAT");
    EXPECT_FALSE(fs::exists(buf));
    EXPECT_EQ(cx::GetDrivePath('Q', "MPEGAV/AVSEQ01.DAT"), "/dev/null/drive-Q/MPEGAV/AVSEQ01.DAT");

    EXPECT_FALSE(cx::GetVCDFileName('D', nullptr, 260));
    char small[10] = "unchanged";
    EXPECT_FALSE(cx::GetVCDFileName('D', small, sizeof small)); // refused, not cut
    EXPECT_STREQ(small, "");
}

TEST_F(FakeDrives, GetCDDrivesGivesSortedLetters)
{
    char letters[26];
    std::int32_t count = -1;
    Use({});
    EXPECT_FALSE(cx::GetCDDrives(letters, &count));
    EXPECT_EQ(count, 0);

    Use({{'F', "", "/x", true}, {'d', "/dev/sr0", "", false}, {'E', "/dev/sr1", "", false}, {'?', "", "", false}});
    ASSERT_TRUE(cx::GetCDDrives(letters, &count));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(std::string(letters, 3), "DEF");

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(cx::GetCDDrives(nullptr, &count), "Assertion failed: buf && count, file .*CxDrive.cpp");
    EXPECT_DEATH(cx::GetCDDrives(letters, nullptr), "Assertion failed: buf && count");
}

} // namespace
