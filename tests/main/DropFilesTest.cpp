#include <gtest/gtest.h>

#include <fstream>

#include "DropFiles.h"
#include "Media.h"

namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& p)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "x";
}

TEST(DropFiles, OneEntryPerVideoFileFoldersSearchedInNameOrder)
{
    testsupport::TempDir dir;
    Touch(dir / "loose.MPG");
    Touch(dir / "notes.txt");
    Touch(dir / "title.vob");
    Touch(dir / "f" / "b.avi");
    Touch(dir / "f" / "a.WMV");
    Touch(dir / "f" / "c.vob"); // folders are searched for the first filter only
    Touch(dir / "f" / "readme.txt");
    Touch(dir / "f" / "sub" / "d.mpeg");
    fs::create_directory_symlink(dir / "f", dir / "f" / "sub" / "loop");
    // Copied DVDs are one source each, their title files never rows of
    // their own; an image is a source too.
    Touch(dir / "f" / "film" / "VIDEO_TS" / "VIDEO_TS.IFO");
    Touch(dir / "f" / "film" / "VIDEO_TS" / "VTS_01_1.VOB");
    Touch(dir / "f" / "film.iso");
    Touch(dir / "g" / "VIDEO_TS" / "VIDEO_TS.IFO");

    const auto got = dropfiles::CollectVideoFiles({dir / "loose.MPG", dir / "notes.txt", dir / "f", dir / "title.vob",
                                                   dir / "missing.avi", dir / "g" / "VIDEO_TS"});
    EXPECT_EQ(
        got, (std::vector<fs::path>{dir / "loose.MPG", dir / "f" / "a.WMV", dir / "f" / "b.avi", dir / "f" / "film.iso",
                                    dir / "f" / "film", dir / "f" / "sub" / "d.mpeg", dir / "title.vob", dir / "g"}));
}

TEST(DropFiles, OutputBesideNeverNamesTheSourceOrATakenFile)
{
    EXPECT_EQ(dropfiles::OutputBeside("/v/clip.avi", {}), fs::path("/v/clip.wmv"));
    EXPECT_EQ(dropfiles::OutputBeside("/v/clip.wmv", {}), fs::path("/v/clip (2).wmv"));
    EXPECT_EQ(dropfiles::OutputBeside("/v/clip.mpg", {"/v/clip.wmv", "/v/clip (2).wmv"}), fs::path("/v/clip (3).wmv"));
    EXPECT_EQ(dropfiles::OutputBeside("/v/noext", {}), fs::path("/v/noext.wmv"));
}

} // namespace
