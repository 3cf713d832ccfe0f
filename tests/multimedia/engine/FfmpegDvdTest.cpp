// DVD films read by their tables: a folder, an image, a title split over two
// files, the sound in the user's language, and discs that cannot be read.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "FfDvd.h"
#include "FfRead.h"
#include "Media.h"

using namespace mce;
using namespace enginetest;
namespace fs = std::filesystem;

namespace {

using FfmpegDvd = EngineTest;

fs::path MakeDisc(const fs::path& dir, bool split = false)
{
    return testsupport::MakeDvd(dir / "disc", split) ? dir / "disc" : fs::path();
}

class ScopedLanguage {
public:
    explicit ScopedLanguage(const char* lang)
    {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(name);
            m_saved.emplace_back(name, v ? std::string(v) : std::string("\x01"));
            unsetenv(name);
        }
        setenv("LANG", lang, 1);
    }
    ~ScopedLanguage()
    {
        for (const auto& [name, value] : m_saved) {
            if (value == "\x01")
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> m_saved;
};

// Every cell of every program chain of a title set's tables (the IFO and
// its backup) made to end before it starts.
void BreakCellTables(const fs::path& videoTs)
{
    for (const char* name : {"VTS_01_0.IFO", "VTS_01_0.BUP"}) {
        std::string ifo = FileBytes(videoTs / name);
        const auto be = [&ifo](std::size_t at, int bytes) {
            std::uint32_t v = 0;
            for (int i = 0; i < bytes; ++i)
                v = v << 8 | static_cast<unsigned char>(ifo[at + i]);
            return v;
        };
        const std::size_t pgcit = be(0xcc, 4) * 2048;
        for (std::uint32_t i = 0; i < be(pgcit, 2); ++i) {
            const std::size_t pgc = pgcit + be(pgcit + 8 + 8 * i + 4, 4);
            const std::size_t cells = pgc + be(pgc + 0xe8, 2);
            for (std::uint32_t c = 0; c < static_cast<unsigned char>(ifo[pgc + 3]); ++c)
                for (int b = 0; b < 4; ++b)
                    ifo[cells + 24 * c + 8 + b] = '\x7f'; // first sector past the last
        }
        std::ofstream(videoTs / name, std::ios::binary) << ifo;
    }
}

} // namespace

TEST_F(FfmpegDvd, AFolderOrAnImageConvertsItsMainFeatureWholeWithTheSoundOfTheUsersLanguage)
{
    const fs::path disc = MakeDisc(out.path());
    ASSERT_FALSE(disc.empty());
    // The 5 s title is not offered; the first title is not the longest.
    std::vector<ff::DvdTitle> titles;
    ASSERT_EQ(ff::ReadDvdTitles(disc.string(), &titles), rc::Ok);
    ASSERT_EQ(titles.size(), 2u);
    ASSERT_NE(ff::MainFeature(titles), nullptr);
    EXPECT_EQ(ff::MainFeature(titles)->number, 2);
    EXPECT_EQ(ff::MainFeature(titles)->chaptersUs.size(), 3u);

    ASSERT_EQ(testsupport::Run({"genisoimage", "-quiet", "-dvd-video", "-V", "FILM", "-o", (out / "film.iso").string(),
                                disc.string()})
                  .exitCode,
              0);
    ScopedLanguage english("en_GB.UTF-8");
    for (const fs::path& source : {disc, disc / "VIDEO_TS", out / "film.iso"}) {
        SCOPED_TRACE(source.string());
        Job job;
        job.source = source;
        job.output = out / "film.wmv";
        ASSERT_EQ(Convert(*NewEncoder(), job), rc::Ok);
        const auto probe = testsupport::Probe(job.output);
        EXPECT_NEAR(Number(probe, "format.duration"), 20.0, 1.0);
        EXPECT_NEAR(testsupport::ToneHz(job.output), 880, 20);
        // The chapters are markers a player can jump to.
        const auto chapters = testsupport::Run(
            {"ffprobe", "-v", "error", "-show_entries", "chapter=start_time", "-of", "csv=p=0", job.output.string()});
        EXPECT_EQ(chapters.out.substr(0, 9), "0.000000\n");
        EXPECT_EQ(std::count(chapters.out.begin(), chapters.out.end(), '\n'), 3);
    }
    // The streams as the user is offered them; the one chosen is converted.
    std::vector<AudioChoice> streams;
    std::int32_t chosen = 0;
    ASSERT_EQ(InstalledFactory()->GetSourceAudio(disc.c_str(), false, &streams, &chosen), rc::Ok);
    ASSERT_EQ(streams.size(), 2u);
    EXPECT_EQ(streams[0].language, "de");
    EXPECT_EQ(streams[1].language, "en");
    EXPECT_EQ(chosen, streams[1].streamId);
    Job job;
    job.source = disc;
    job.output = out / "film.wmv";
    job.audioStream = streams[0].streamId;
    ASSERT_EQ(Convert(*NewEncoder(), job), rc::Ok);
    EXPECT_NEAR(testsupport::ToneHz(job.output), 440, 20);

    ScopedLanguage german("de_DE.UTF-8");
    job.audioStream = 0;
    ASSERT_EQ(Convert(*NewEncoder(), job), rc::Ok);
    EXPECT_NEAR(testsupport::ToneHz(job.output), 440, 20);
}

TEST_F(FfmpegDvd, ATitleSplitOverTwoFilesConvertsIntoOneOutputAndAFaultInTheSecondFailsTheRun)
{
    const fs::path disc = MakeDisc(out.path(), true);
    ASSERT_FALSE(disc.empty());
    const fs::path first = disc / "VIDEO_TS" / "VTS_01_1.VOB";
    const std::size_t cut = fs::file_size(first);

    Job job;
    job.source = first;
    job.output = out / "title.wmv";
    job.wholeTitle = true;
    ASSERT_EQ(Convert(*encoder, job), rc::Ok);
    EXPECT_NEAR(Number(testsupport::Probe(job.output), "format.duration"), 20.0, 1.0);

    const std::string kept = FileBytes(job.output);
    ff::FailSourceReadsFrom(static_cast<std::int64_t>(cut));
    const Result r = Convert(*NewEncoder(), job);
    ff::FailSourceReadsFrom(-1);
    EXPECT_EQ(r, rc::ReadFault);
    EXPECT_EQ(FileBytes(job.output), kept);
}

TEST_F(FfmpegDvd, DamagedTablesAndScrambledSectorsAreRefusedBeforeTheRun)
{
    const fs::path disc = MakeDisc(out.path());
    ASSERT_FALSE(disc.empty());
    const fs::path copy = out / "scrambled";
    fs::copy(disc, copy, fs::copy_options::recursive);

    BreakCellTables(disc / "VIDEO_TS");
    Job job;
    job.source = disc;
    job.output = out / "film.wmv";
    EXPECT_EQ(Prepare(*encoder, job), rc::DvdTablesDamaged);

    // Every packet of the title set flagged as scrambled, as on a disc
    // protected against copying.
    const fs::path vobPath = copy / "VIDEO_TS" / "VTS_01_1.VOB";
    std::string vob = FileBytes(vobPath);
    for (std::size_t s = 0; s + 2048 <= vob.size(); s += 2048) {
        const std::size_t p = s + 14 + (static_cast<unsigned char>(vob[s + 13]) & 7);
        if (vob.compare(s, 4, std::string("\0\0\1\xba", 4)) == 0 && vob.compare(p, 3, std::string("\0\0\1", 3)) == 0)
            vob[p + 6] = static_cast<char>(vob[p + 6] | 0x10);
    }
    std::ofstream(vobPath, std::ios::binary) << vob;
    job.source = copy;
    EXPECT_EQ(Prepare(*NewEncoder(), job), rc::DvdCopyProtected);
    EXPECT_FALSE(fs::exists(job.output));
}
