#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "MRProfileList.h"
#include "Media.h"
#include "TextUtil.h"

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

// Builds store files by hand, independently of CxFile.
struct Bytes {
    std::string s;
    Bytes& i32(std::int32_t v)
    {
        const auto u = static_cast<std::uint32_t>(v);
        s += {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16), static_cast<char>(u >> 24)};
        return *this;
    }
    Bytes& u8(std::uint8_t v)
    {
        s += static_cast<char>(v);
        return *this;
    }
    Bytes& str(const std::string& t)
    {
        i32(static_cast<std::int32_t>(t.size()));
        s += t;
        return *this;
    }
    // A record whose fields are empty or 0 apart from the name and the
    // first crop margin.
    Bytes& record(const std::string& name, std::int32_t cropLeft = 0)
    {
        str(name).str("");
        for (int k = 0; k < 4; ++k)
            i32(0);
        u8(0).i32(0).u8(0).i32(cropLeft).i32(0).i32(0).i32(0).u8(0).u8(0).u8(0);
        for (int k = 0; k < 4; ++k)
            str("");
        for (int k = 0; k < 6; ++k)
            i32(0);
        for (int k = 0; k < 6; ++k)
            str("");
        return *this;
    }
};

MROption* Named(const char* name)
{
    auto* p = new MROption(MakeOption());
    cx::CopyText(p->szName, name);
    return p;
}

std::vector<std::string> Names(MRProfileList& store)
{
    std::vector<std::string> names;
    for (MROption* p = store.GetFirstProfile(); p; p = store.GetNextProfile())
        names.emplace_back(p->szName);
    return names;
}

// Every text field of every record still ends inside its array.
bool AllTerminated(MRProfileList& store)
{
    auto ok = [](const auto& f) { return std::memchr(f, 0, sizeof f) != nullptr; };
    bool all = true;
    for (MROption* p = store.GetFirstProfile(); p; p = store.GetNextProfile()) {
        all = all && ok(p->szName) && ok(p->szOutputFile) && ok(p->szTitle) && ok(p->szAuthor) && ok(p->szCopyright) &&
              ok(p->szDescription);
        for (const auto& r : p->szReserved)
            all = all && ok(r);
    }
    return all;
}

class ProfileStore : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    fs::path file = dir / "mrprof.dat";

    // "[A][B] current=B": the names loaded and the current-or-first profile.
    std::string LoadNames(const std::string& bytes)
    {
        WriteAll(file, bytes);
        MRProfileList store(file.c_str());
        EXPECT_TRUE(store.Load());
        EXPECT_TRUE(AllTerminated(store));
        std::string joined;
        for (const auto& n : Names(store))
            joined += "[" + n + "]";
        if (MROption* c = store.GetCurrentProfile())
            joined += " current=" + std::string(c->szName);
        return joined;
    }
};

TEST_F(ProfileStore, DefaultsToTheProgramDirectoryAndTouchesNoFileUnasked)
{
    {
        MRProfileList store;
        const std::string name = store.GetFileName();
        EXPECT_EQ(fs::path(name).filename(), "mrprof.dat");
        EXPECT_EQ(fs::path(name).parent_path(), fs::canonical("/proc/self/exe").parent_path());
    }
    {
        MRProfileList store(file.c_str());
        EXPECT_FALSE(store.Load());
        EXPECT_EQ(store.GetProfileCount(), 0u);
        EXPECT_EQ(store.GetCurrentProfile(), nullptr);
        EXPECT_TRUE(store.AddProfile(Named("kept in memory")));
    }
    EXPECT_FALSE(fs::exists(file)); // neither construction nor destruction writes
}

TEST_F(ProfileStore, UsersStoreStartsFromTheShippedProfilesUntilItsFirstSave)
{
    WriteAll(file, Bytes().i32(1).i32(0).record("Shipped", 8).s);
    const std::string shipped = ReadAll(file);
    const fs::path mine = dir / "config" / "app" / "mrprof.dat";
    {
        MRProfileList store(mine.c_str(), file.c_str());
        ASSERT_TRUE(store.Load());
        ASSERT_EQ(Names(store), std::vector<std::string>{"Shipped"});
        EXPECT_EQ(store.GetCurrentProfile()->nCropLeft, 8);
        ASSERT_TRUE(store.AddProfile(Named("Mine")));
        ASSERT_TRUE(store.Save()); // makes config/app on the way
    }
    EXPECT_EQ(ReadAll(file), shipped);

    // From now on the user's own file is what loads.
    WriteAll(file, Bytes().i32(1).i32(0).record("Changed").s);
    MRProfileList store(mine.c_str(), file.c_str());
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(Names(store), (std::vector<std::string>{"Shipped", "Mine"}));
}

TEST_F(ProfileStore, OneProfileFileIsByteExact)
{
    MRProfileList store(file.c_str());
    ASSERT_TRUE(store.AddProfile(Named("Handheld1")));
    store.SetCurrentIndex(0);
    ASSERT_TRUE(store.Save());
    const std::string bytes = ReadAll(file);
    ASSERT_EQ(bytes.size(), 130u);
    EXPECT_EQ(bytes, Bytes().i32(1).i32(0).record("Handheld1").s);
    EXPECT_EQ(bytes.substr(0, 17), "\x01\0\0\0\0\0\0\0\x09\0\0\0Handh"s);
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename(), "mrprof.dat"); // no temporary file left
}

TEST_F(ProfileStore, SaveAndLoadRoundTripEveryField)
{
    MRProfileList out(file.c_str());
    for (int k = 0; k < 3; ++k) {
        MROption* p = Named(("Profil é " + std::to_string(k)).c_str());
        cx::CopyText(p->szOutputFile, "/home/user/Vidéos/sortie ünïcode.wmv");
        // Every number and flag distinct and non-zero, negatives included.
        std::int32_t* ints[] = {&p->nResolution, &p->nWidth,       &p->nHeight,     &p->bWideAspect,
                                &p->nCardSize,   &p->nCropLeft,    &p->nCropTop,    &p->nCropRight,
                                &p->nCropBottom, &p->nReserved[0], &p->nReserved[5]};
        for (std::int32_t i = 0; i < 11; ++i)
            *ints[i] = (i % 2 ? -1 : 1) * (100 * k + i + 1);
        p->bLimitSize = p->bCrop = p->bOptimize = p->bTwoPass = p->bSpeech = 1;
        cx::CopyText(p->szTitle, "Titre — 日本語");
        cx::CopyText(p->szAuthor, std::string(200, 'a').c_str()); // cut to the field
        cx::CopyText(p->szCopyright, "(c) 2026");
        cx::CopyText(p->szDescription, std::string(1024, 'd').c_str());
        cx::CopyText(p->szReserved[2], "reserved");
        ASSERT_TRUE(out.AddProfile(p));
    }
    MROption* second = out.GetFirstProfile();
    second = out.GetNextProfile();
    out.SetCurrentProfile(second);
    out.SetCurrentIndex(1);
    ASSERT_TRUE(out.Save());

    MRProfileList in(file.c_str());
    ASSERT_TRUE(in.Load());
    ASSERT_EQ(in.GetProfileCount(), 3u);
    std::vector<MROption*> written;
    for (MROption* p = out.GetFirstProfile(); p; p = out.GetNextProfile())
        written.push_back(p);
    size_t k = 0;
    for (MROption* p = in.GetFirstProfile(); p; p = in.GetNextProfile(), ++k)
        EXPECT_EQ(std::memcmp(p, written[k], sizeof *p), 0) << "record " << k;
    ASSERT_NE(in.GetCurrentProfile(), nullptr);
    EXPECT_STREQ(in.GetCurrentProfile()->szName, "Profil é 1");

    // Saving what was loaded gives the same bytes again.
    const std::string first = ReadAll(file);
    ASSERT_TRUE(in.Save());
    EXPECT_EQ(ReadAll(file), first);
}

TEST_F(ProfileStore, HeaderCountAndCurrentIndexRules)
{
    EXPECT_EQ(LoadNames(Bytes().i32(0).i32(0).s), "");
    EXPECT_EQ(LoadNames(Bytes().i32(-3).i32(0).record("A").s), "");
    const std::string two = Bytes().record("A").record("B").s;
    EXPECT_EQ(LoadNames(Bytes().i32(2).i32(1).s + two), "[A][B] current=B");
    EXPECT_EQ(LoadNames(Bytes().i32(2).i32(2).s + two), "[A][B] current=A");
    EXPECT_EQ(LoadNames(Bytes().i32(2).i32(-1).s + two), "[A][B] current=A");
}

TEST_F(ProfileStore, NamesAreUniqueCaseSensitiveAndMayBeEmpty)
{
    MRProfileList store(file.c_str());
    MROption* again = Named("A");
    EXPECT_TRUE(store.AddProfile(Named("A")));
    EXPECT_TRUE(store.FindProfile(again));
    EXPECT_FALSE(store.AddProfile(again)); // stays the caller's
    delete again;
    EXPECT_TRUE(store.AddProfile(Named("a")));
    EXPECT_TRUE(store.AddProfile(Named("")));
    MROption* empty = Named("");
    EXPECT_FALSE(store.AddProfile(empty));
    delete empty;
    EXPECT_EQ(Names(store), (std::vector<std::string>{"A", "a", ""}));
}

TEST_F(ProfileStore, DuplicateRecordsInAFileAreDropped)
{
    // The dropped record stood at the current index: none is current, and
    // a later save does not make another record current by accident.
    EXPECT_EQ(LoadNames(Bytes().i32(3).i32(2).record("A").record("B").record("A", 9).s), "[A][B] current=A");
    {
        MRProfileList store(file.c_str());
        ASSERT_TRUE(store.Load());
        ASSERT_TRUE(store.Save());
        EXPECT_EQ(ReadAll(file).substr(0, 8), Bytes().i32(2).i32(-1).s);
    }
    // A record after a dropped one keeps being current under its new index.
    EXPECT_EQ(LoadNames(Bytes().i32(3).i32(2).record("A").record("A").record("C").s), "[A][C] current=C");
    MRProfileList store(file.c_str());
    ASSERT_TRUE(store.Load());
    EXPECT_EQ(store.GetFirstProfile()->nCropLeft, 0); // the first of a name wins
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadAll(file).substr(0, 8), Bytes().i32(2).i32(1).s);
}

TEST_F(ProfileStore, DamagedFilesLoadWithoutHarm)
{
    const std::string good = Bytes().i32(2).i32(1).record("First").record("Second").s;
    // Cut inside the header: an empty store.
    for (size_t n = 0; n < 8; ++n)
        EXPECT_EQ(LoadNames(good.substr(0, n)), "") << n;
    // Cut inside the second record: a count that cannot be there is cut.
    EXPECT_EQ(LoadNames(good.substr(0, good.size() - 20)), "[First] current=First");
    // Cut inside a long name: the record keeps what is there.
    const std::string x150(150, 'x');
    EXPECT_EQ(LoadNames(Bytes().i32(1).i32(0).record(std::string(200, 'x')).s.substr(0, 8 + 4 + 150)),
              "[" + x150 + "] current=" + x150);
    // A huge count over one record and some zeros: one empty-named record
    // more, as far as the bytes can hold.
    EXPECT_EQ(LoadNames(Bytes().i32(0x7FFFFFFF).i32(0).record("Only").s + std::string(300, '\0')),
              "[Only][] current=Only");
    // A huge name length: what fits, and no overrun.
    const std::string n255(255, 'n');
    EXPECT_EQ(LoadNames(Bytes().i32(1).i32(0).i32(0x7FFFFFFF).s + std::string(400, 'n')),
              "[" + n255 + "] current=" + n255);
}

// Runs body in a child process and gives its exit code (128 + signal when
// it was killed).
template <class F> int InChild(F body)
{
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

class ProfileStoreSave : public ProfileStore {
protected:
    std::string oldBytes;

    void SetUp() override
    {
        MRProfileList store(file.c_str());
        store.AddProfile(Named("Old"));
        ASSERT_TRUE(store.Save());
        oldBytes = ReadAll(file);
    }
    // A store large enough that the stream writes to the file before close.
    static void FillNew(MRProfileList& store)
    {
        for (int k = 0; k < 40; ++k) {
            MROption* p = Named(("New " + std::to_string(k)).c_str());
            cx::CopyText(p->szDescription, std::string(500, 'd').c_str());
            store.AddProfile(p);
        }
        store.SetCurrentIndex(39);
    }
    void ExpectOnlyTheStoreFile()
    {
        for (const auto& e : fs::directory_iterator(dir.path()))
            EXPECT_EQ(e.path().filename(), "mrprof.dat");
    }
};

TEST_F(ProfileStoreSave, FullDiscAtAnyPointKeepsTheOldFile)
{
    for (rlim_t limit : {rlim_t{0}, rlim_t{7}, rlim_t{130}, rlim_t{4095}, rlim_t{4097}, rlim_t{12000}}) {
        const int rc = InChild([&] {
            signal(SIGXFSZ, SIG_IGN);
            MRProfileList store(file.c_str());
            FillNew(store);
            const rlimit rl{limit, limit};
            setrlimit(RLIMIT_FSIZE, &rl);
            _exit(store.Save() ? 10 : 20);
        });
        EXPECT_EQ(rc, 20) << "limit " << limit;
        EXPECT_EQ(ReadAll(file), oldBytes) << "limit " << limit;
        ExpectOnlyTheStoreFile();
    }
}

TEST_F(ProfileStoreSave, ReadOnlyFolderKeepsTheOldFile)
{
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    const int rc = InChild([&] {
        // Root writes anywhere; drop to an ordinary user for the attempt.
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(30);
        MRProfileList store(file.c_str());
        FillNew(store);
        _exit(store.Save() ? 10 : 20);
    });
    if (rc == 30)
        GTEST_SKIP() << "cannot drop root rights here";
    EXPECT_EQ(rc, 20);
    EXPECT_EQ(ReadAll(file), oldBytes);
}

TEST_F(ProfileStoreSave, KilledMidSaveLeavesOldOrNewNeverBroken)
{
    std::string newBytes;
    {
        // Where the new file comes from and how long one save takes here.
        testsupport::TempDir other;
        MRProfileList store((other / "mrprof.dat").c_str());
        FillNew(store);
        const auto t0 = std::chrono::steady_clock::now();
        ASSERT_TRUE(store.Save());
        const auto took = std::chrono::steady_clock::now() - t0;
        newBytes = ReadAll(other / "mrprof.dat");
        ASSERT_NE(newBytes, oldBytes);
        std::mt19937 rng(12345);
        const auto span = std::max<long>(1, std::chrono::duration_cast<std::chrono::microseconds>(took).count() * 2);
        int sawOld = 0, sawNew = 0;
        for (int round = 0; round < 25; ++round) {
            const long delay = 1 + static_cast<long>(rng() % static_cast<unsigned long>(span));
            const int rc = InChild([&] {
                MRProfileList child(file.c_str());
                FillNew(child);
                // The alarm's default action ends the process wherever the
                // save happens to be.
                itimerval t{};
                t.it_value.tv_sec = delay / 1000000;
                t.it_value.tv_usec = delay % 1000000;
                setitimer(ITIMER_REAL, &t, nullptr);
                for (;;)
                    child.Save();
            });
            EXPECT_EQ(rc, 128 + SIGALRM);
            const std::string now = ReadAll(file);
            EXPECT_TRUE(now == oldBytes || now == newBytes) << "round " << round << ": " << now.size() << " bytes";
            (now == oldBytes ? sawOld : sawNew)++;
            WriteAll(file, oldBytes);
        }
        std::printf("killed saves: %d left the old file, %d the new one\n", sawOld, sawNew);
    }
}

TEST_F(ProfileStoreSave, LoadRemovesTheTempFilesOfSavesWhoseProcessIsGone)
{
    // A save killed between writing and renaming leaves its temporary file.
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    int status = 0;
    waitpid(gone, &status, 0);
    const fs::path stale = dir / ("mrprof.dat." + std::to_string(gone) + ".tmp");
    const fs::path running = dir / ("mrprof.dat." + std::to_string(getpid()) + ".tmp");
    const fs::path other = dir / "mrprof.dat.notes.tmp";
    for (const fs::path& p : {stale, running, other})
        WriteAll(p, "partial");

    MRProfileList store(file.c_str());
    ASSERT_TRUE(store.Load());
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(running)); // a save that may be under way now
    EXPECT_TRUE(fs::exists(other));
    EXPECT_STREQ(store.GetFirstProfile()->szName, "Old");
}

TEST(ProfileStoreDeath, NullRecordsStopWithTheExpressionText)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MRProfileList store("/nonexistent/mrprof.dat");
    EXPECT_DEATH(store.AddProfile(nullptr), "Assertion failed: pOption, file .*MRProfileList.cpp");
    EXPECT_DEATH(store.FindProfile(nullptr), "Assertion failed: pOption,");
    EXPECT_DEATH(store.ReadOption(nullptr), "Assertion failed: pOption,");
    EXPECT_DEATH(store.WriteOption(nullptr), "Assertion failed: pOption,");
}

} // namespace
