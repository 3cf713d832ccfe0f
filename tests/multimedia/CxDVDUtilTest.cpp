#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "CxDVDUtil.h"
#include "CxDrive.h"
#include "Media.h"

namespace fs = std::filesystem;

namespace {

using Entries = std::vector<std::pair<std::string, std::uint32_t>>;

class DVDChecker : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    cx::DriveTable table;

    void TearDown() override { cx::SetDriveProvider(nullptr); }

    // A drive letter whose disc is a folder here; no folder means no disc.
    fs::path AddDrive(char letter, const std::string& folder)
    {
        const fs::path mount = folder.empty() ? fs::path() : dir / folder;
        if (!folder.empty())
            fs::create_directories(mount);
        table.push_back({letter, "/dev/sr" + std::to_string(letter - 'D'), mount.string(), false});
        const cx::DriveTable copy = table;
        cx::SetDriveProvider([copy] { return copy; });
        return mount;
    }
    static void MakeFile(const fs::path& p, std::uintmax_t size)
    {
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).close();
        fs::resize_file(p, size); // sparse: no disc space for big sizes
    }
    static Entries Sorted(CxDVDChecker& c)
    {
        Entries e;
        for (VOBInfo* p = c.GetFirstVOB(); p; p = c.GetNextVOB())
            e.emplace_back(p->szFileName, p->nFileSize);
        std::sort(e.begin(), e.end());
        return e;
    }
};

TEST_F(DVDChecker, NoDrivesNoDVD)
{
    cx::SetDriveProvider([] { return cx::DriveTable{}; });
    CxDVDChecker c;
    EXPECT_EQ(c.GetDrive(), 0);
    EXPECT_EQ(c.FindDVDDrive(), 0);
    EXPECT_EQ(c.GetFirstVOB(), nullptr);
}

TEST_F(DVDChecker, AudioCDInDAndDVDInE)
{
    AddDrive('D', "audio"); // an audio disc shows no files
    const fs::path dvd = AddDrive('E', "dvd");
    MakeFile(dvd / "VIDEO_TS" / "VTS_01_0.VOB", 1000);
    MakeFile(dvd / "VIDEO_TS" / "VTS_01_1.VOB", 2000);

    char letters[26];
    std::int32_t count = 0;
    ASSERT_TRUE(cx::GetCDDrives(letters, &count));
    EXPECT_EQ(std::string(letters, static_cast<std::size_t>(count)), "DE");
    CxDVDChecker c;
    EXPECT_EQ(c.GetDrive(), 'E');
    EXPECT_EQ(c.FindDVDDrive(), 'E');
    char vcd[260];
    ASSERT_TRUE(cx::GetVCDFileName(letters[0], vcd, sizeof vcd));
    EXPECT_EQ(std::string(vcd), (dir / "audio" / "MPEGAV" / "AVSEQ01.DAT").string());

    char path[260];
    ASSERT_TRUE(GetVOBPath(c.GetDrive(), "VTS_01_1.VOB", path, sizeof path));
    EXPECT_EQ(std::string(path), (dvd / "VIDEO_TS" / "VTS_01_1.VOB").string());
    EXPECT_FALSE(GetVOBPath('E', "VTS_01_1.VOB", path, 8));
    EXPECT_STREQ(path, "");
}

TEST_F(DVDChecker, ADiscWithoutTheFirstMenuFileIsNoDVD)
{
    const fs::path disc = AddDrive('D', "nomenu");
    MakeFile(disc / "VIDEO_TS" / "VTS_01_1.VOB", 100);
    MakeFile(disc / "VIDEO_TS" / "VTS_02_0.VOB", 100);
    AddDrive('E', ""); // a drive without a disc
    CxDVDChecker c;
    EXPECT_EQ(c.GetDrive(), 0);
    EXPECT_EQ(c.GetFirstVOB(), nullptr);
}

TEST_F(DVDChecker, ListsEveryTitleFileWithItsSizeOnceAfterEachRefresh)
{
    const fs::path dvd = AddDrive('D', "dvd");
    MakeFile(dvd / "VIDEO_TS" / "VTS_01_0.VOB", 10);
    MakeFile(dvd / "VIDEO_TS" / "VTS_01_1.VOB", 40000000);
    MakeFile(dvd / "VIDEO_TS" / "VTS_01_2.VOB", (std::uintmax_t{1} << 32) + 10); // low 32 bits: 10
    MakeFile(dvd / "VIDEO_TS" / "VTS_01_0.IFO", 5);
    MakeFile(dvd / "VIDEO_TS" / "VIDEO_TS.VOB", 5);
    fs::create_directories(dvd / "VIDEO_TS" / "VTS_99_9.VOB"); // a folder is no title
    const Entries expected = {{"VTS_01_0.VOB", 10}, {"VTS_01_1.VOB", 40000000}, {"VTS_01_2.VOB", 10}};

    CxDVDChecker c;
    EXPECT_EQ(c.GetDrive(), 'D');
    EXPECT_EQ(Sorted(c), expected);
    EXPECT_TRUE(c.Refresh());
    EXPECT_TRUE(c.Refresh());
    EXPECT_EQ(Sorted(c), expected);

    c.Clear();
    EXPECT_EQ(c.GetFirstVOB(), nullptr);
    EXPECT_EQ(c.GetDrive(), 'D'); // Clear keeps the drive

    // The disc is taken out: the next refresh forgets it.
    table.back().mountPoint.clear();
    const cx::DriveTable copy = table;
    cx::SetDriveProvider([copy] { return copy; });
    c.Refresh();
    EXPECT_EQ(c.GetDrive(), 0);
    EXPECT_EQ(c.GetFirstVOB(), nullptr);
}

TEST_F(DVDChecker, LowerCaseDiscNamesAreFoundAndKeptAsTheyAre)
{
    AddDrive('D', "");
    const fs::path dvd = AddDrive('E', "lower");
    MakeFile(dvd / "video_ts" / "vts_01_0.vob", 3);
    MakeFile(dvd / "video_ts" / "vts_01_1.vob", 4);
    CxDVDChecker c;
    EXPECT_EQ(c.GetDrive(), 'E');
    EXPECT_EQ(Sorted(c), (Entries{{"vts_01_0.vob", 3}, {"vts_01_1.vob", 4}}));
    char path[260];
    ASSERT_TRUE(GetVOBPath('E', "vts_01_1.vob", path, sizeof path));
    EXPECT_EQ(std::string(path), (dvd / "video_ts" / "vts_01_1.vob").string());
    EXPECT_TRUE(fs::exists(path));
}

} // namespace
