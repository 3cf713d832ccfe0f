// Start-up, shut-down, skins, quit, help and the profile restored at start.
#include "MainFixture.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "LinkLabel.h"
#include "MRProfileList.h"
#include "TextUtil.h"
#include "TfmAbout.h"
#include "main/ProductLinks.h"

namespace maintest {
namespace {

class StartUp : public MainWindowTest {
protected:
    std::vector<bool> SkinChecks() const
    {
        std::vector<bool> c;
        for (const char* n : {"miSkinBlueGlass", "miSkinDeepBlue", "miSkinMacOS", "miSkinWinXP", "miSkinProtein"})
            c.push_back(A(n)->isChecked());
        return c;
    }
};

TEST_F(StartUp, FirstStartWithoutSettingsProfilesOrDrives)
{
    TfmMain& m = Open();
    EXPECT_EQ(m.windowTitle(), QStringLiteral("Morvane Converter Pro - Convert video files / DVD for your Pocket PC "));

    // No drive: told once, no DVD page, the Video CD choice stays off.
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("No CD/DVD drives found. You may not convert files from DVD or VCD"));
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Information"));
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Information);
    EXPECT_FALSE(Pages("pcSource")->IsPageVisible(W<QWidget>("stDVD")));
    EXPECT_EQ(Pages("pcSource")->currentWidget(), W<QWidget>("stFile"));
    EXPECT_FALSE(Radio("rbtnVCD")->isEnabled());

    // Defaults on screen.
    EXPECT_EQ(m.SkinType(), 1);
    EXPECT_EQ(m.Skin().Style(), skin::BlueGlass);
    EXPECT_EQ(m.styleSheet(), skin::SkinStyleSheet(skin::BlueGlass));
    EXPECT_EQ(SkinChecks(), (std::vector<bool>{true, false, false, false, false}));
    EXPECT_EQ(Edit("edtOutputFile")->text().toStdString(), (ProgramDir() / "output.wmv").string());
    EXPECT_EQ(std::string(m.GetOption()->szOutputFile), (ProgramDir() / "output.wmv").string());
    EXPECT_TRUE(Radio("rbtnResStd")->isChecked());
    EXPECT_TRUE(Radio("rbtnRatFull")->isChecked());
    EXPECT_FALSE(W<QCheckBox>("schkSize")->isChecked());
    EXPECT_TRUE(Radio("rbtnBatchMedium")->isChecked());
    EXPECT_EQ(Pages("spMain")->currentWidget(), W<QWidget>("stOne"));
    EXPECT_NE(m.GetRunList(), nullptr);
    EXPECT_EQ(m.GetRunList()->GetCount(), 0u);
    EXPECT_NE(m.GetProfiles(), nullptr);
    EXPECT_EQ(m.GetProfiles()->GetProfileCount(), 0u);

    EXPECT_FALSE(fs::exists(ProgramDir() / "dastrel.ini"));
    main.reset();
    EXPECT_EQ(ReadSettings(), "[Morvane]\nSkinType=1\nWholeTitle=1\n");
    EXPECT_FALSE(fs::exists(ProgramDir() / "mrprof.dat")); // the store is never written at exit
}

TEST_F(StartUp, StoredSkinIsAppliedChangedAtOnceAndWrittenAtExit)
{
    WriteSkin("3");
    TfmMain& m = Open();
    EXPECT_EQ(m.Skin().Style(), skin::MacOS);
    EXPECT_EQ(SkinChecks(), (std::vector<bool>{false, false, true, false, false}));
    const int restyles = m.Skin().RestyleCount();

    A("miSkinProtein")->trigger();
    EXPECT_EQ(m.SkinType(), 5);
    EXPECT_EQ(m.styleSheet(), skin::SkinStyleSheet(skin::Protein));
    EXPECT_EQ(m.Skin().RestyleCount(), restyles + 1);
    EXPECT_EQ(SkinChecks(), (std::vector<bool>{false, false, false, false, true}));

    // The current skin again: no restyle, the item stays checked.
    A("miSkinProtein")->trigger();
    EXPECT_EQ(m.Skin().RestyleCount(), restyles + 1);
    EXPECT_EQ(SkinChecks(), (std::vector<bool>{false, false, false, false, true}));

    // A window opened afterwards takes the new skin.
    int aboutStyle = 0;
    testsupport::OnNextModal<TfmAbout>([&](TfmAbout* d) {
        aboutStyle = d->Skin().Style();
        d->findChild<QPushButton*>(QStringLiteral("sbtnOK"))->click();
    });
    A("miHelpAbout")->trigger();
    EXPECT_EQ(aboutStyle, skin::Protein);

    main.reset();
    EXPECT_EQ(ReadSettings(), "[Morvane]\nSkinType=5\nWholeTitle=1\n");
}

// Qt's sheets set each widget's font as they polish it; a switch must give
// the fonts of a fresh start in the new skin, not grow from the old one.
TEST_F(StartUp, EverySkinSwitchGivesTheFontsOfAFreshStartInThatSkin)
{
    // Every widget of the design by name, with the font it shows.
    using Shown = std::map<std::string, QFont>;
    const auto shown = [](const QWidget& window) {
        Shown s;
        for (QWidget* w : window.findChildren<QWidget*>())
            if (!w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_")))
                s[w->objectName().toStdString()] = w->font();
        return s;
    };
    std::vector<Shown> fresh(skin::kSkinCount + 1);
    for (int n = 1; n <= skin::kSkinCount; ++n) {
        WriteSkin(std::to_string(n));
        Open().show();
        QApplication::processEvents();
        fresh[n] = shown(*main);
        main.reset();
    }

    WriteSkin("1");
    TfmMain& m = Open();
    m.show();
    const char* items[] = {"miSkinBlueGlass", "miSkinDeepBlue", "miSkinMacOS", "miSkinWinXP", "miSkinProtein"};
    for (int round = 0; round < 2; ++round)
        for (int n : {2, 3, 4, 5, 1}) {
            A(items[n - 1])->trigger();
            QApplication::processEvents();
            const Shown now = shown(m);
            ASSERT_EQ(now.size(), fresh[n].size());
            int differ = 0;
            for (const auto& [name, font] : now)
                if (font != fresh[n][name] && ++differ <= 3)
                    ADD_FAILURE() << "round " << round << ", " << skin::SkinName(n).toStdString() << ": " << name
                                  << " has " << font.toString().toStdString() << ", a fresh start "
                                  << fresh[n][name].toString().toStdString();
            EXPECT_EQ(differ, 0) << skin::SkinName(n).toStdString();
        }
}

TEST_F(StartUp, SkinNumberOutsideTheFiveShowsBlueGlassChecksNoneAndIsKept)
{
    WriteSkin("9");
    TfmMain& m = Open();
    EXPECT_EQ(m.Skin().Style(), skin::BlueGlass);
    EXPECT_EQ(SkinChecks(), (std::vector<bool>(5, false)));
    main.reset();
    EXPECT_EQ(ReadSettings(), "[Morvane]\nSkinType=9\nWholeTitle=1\n");

    // Picking Blue Glass then stores it.
    WriteSkin("0");
    Open();
    A("miSkinBlueGlass")->trigger();
    EXPECT_EQ(SkinChecks(), (std::vector<bool>{true, false, false, false, false}));
    main.reset();
    EXPECT_EQ(ReadSettings(), "[Morvane]\nSkinType=1\nWholeTitle=1\n");
}

TEST_F(StartUp, DriveWithoutADvdFillsTheVideoCdPathQuietly)
{
    AddDrive('D', "");                         // no disc
    const fs::path e = AddDrive('E', "audio"); // a disc that is no DVD
    Open();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(Pages("pcSource")->IsPageVisible(W<QWidget>("stDVD")));
    EXPECT_EQ(Pages("pcSource")->currentWidget(), W<QWidget>("stFile"));
    EXPECT_EQ(W<QListWidget>("lbChapters")->count(), 0);
    EXPECT_TRUE(Radio("rbtnVCD")->isEnabled());
    char expected[cx::kMaxPath] = {};
    ASSERT_TRUE(cx::GetVCDFileName('D', expected, sizeof expected));
    EXPECT_EQ(Edit("edtSrcVCD")->text().toStdString(), expected);
    (void)e;
}

TEST_F(StartUp, CurrentProfileIsCopiedIntoTheLiveOptionsAndShown)
{
    {
        MRProfileList store((ProgramDir() / "mrprof.dat").c_str());
        for (const char* name : {"first", "second"}) {
            auto* o = new MROption(MakeOption());
            cx::CopyText(o->szName, name);
            // The current one names its output relative to the current folder.
            cx::CopyText(o->szOutputFile, (std::string(name) == "second" ? "second.wmv" : "/videos/first.wmv"));
            o->nResolution = 3;
            o->bWideAspect = 1;
            o->bLimitSize = 1;
            o->nCardSize = 1;
            o->nCropLeft = 4;
            ASSERT_TRUE(store.AddProfile(o));
        }
        store.SetCurrentIndex(1);
        ASSERT_TRUE(store.Save());
    }
    TfmMain& m = Open();
    EXPECT_STREQ(m.GetOption()->szName, "second");
    EXPECT_EQ(Edit("edtOutputFile")->text().toStdString(), (fs::current_path() / "second.wmv").string());
    EXPECT_EQ(std::string(m.GetOption()->szOutputFile), (fs::current_path() / "second.wmv").string());
    EXPECT_TRUE(Radio("rbtnResVGA")->isChecked());
    EXPECT_TRUE(Radio("rbtnBatchVGARes")->isChecked());
    EXPECT_FALSE(W<QSpinBox>("seWidth")->isEnabled());
    EXPECT_FALSE(Edit("edtWidth")->isEnabled());
    EXPECT_TRUE(Radio("rbtnRatWide")->isChecked());
    EXPECT_TRUE(W<QCheckBox>("schkSize")->isChecked());
    EXPECT_TRUE(Radio("rbtn256")->isChecked());
    EXPECT_TRUE(Radio("rbtn256")->isEnabled());
    EXPECT_EQ(Edit("edtLeft")->text(), QStringLiteral("4"));
}

TEST_F(StartUp, EveryQuitControlAsksAndNoLeavesEverythingAsItWas)
{
    TfmMain& m = Open();
    m.show();
    dialogs.messages.clear();
    const MROption before = *m.GetOption();

    dialogs.answers = {ui::Answer::No, ui::Answer::No, ui::Answer::No};
    Button("sbtnClose")->click();
    Button("sbtnQuit")->click();
    A("miFileExit")->trigger();
    ASSERT_EQ(dialogs.messages.size(), 3u);
    for (const auto& msg : dialogs.messages) {
        EXPECT_EQ(msg.text, QStringLiteral("Are you sure to quit Morvane Converter Professional?"));
        EXPECT_EQ(msg.caption, QStringLiteral("Confirm"));
        EXPECT_EQ(msg.icon, ui::Icon::Question);
        EXPECT_EQ(msg.buttons, ui::Buttons::YesNo);
    }
    EXPECT_TRUE(m.isVisible());
    EXPECT_EQ(std::memcmp(&before, m.GetOption(), sizeof before), 0);

    dialogs.answers = {ui::Answer::Yes};
    ShowPage("spMain", "stMore");
    Button("sbtnBatchQuit")->click();
    EXPECT_FALSE(m.isVisible());

    // The frame closes it without a question.
    m.show();
    dialogs.messages.clear();
    m.close();
    EXPECT_FALSE(m.isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(StartUp, HelpAndHomePageGoThroughShellOpen)
{
    Open();
    A("miHelpContent")->trigger();
    Button("sbtnHelp")->click();
    A("miHelpWeb")->trigger();
    W<skin::LinkLabel>("sURLHome")->Open();
    const std::string help = (ProgramDir() / "mrhelp.chm").string();
    EXPECT_EQ(opened, (std::vector<std::string>{help, help, product::kHomePage, product::kHomePage}));
}

// A desktop without a browser: each of these tells what could not be
// opened and how to get it, instead of doing nothing.
TEST_F(StartUp, HelpAndHomePageSayWhenTheDesktopHasNoProgramForThem)
{
    TfmMain& m = Open();
    dialogs.messages.clear();
    desktopCanOpen = false;
    Button("sbtnHelp")->click();
    A("miHelpWeb")->trigger();
    W<skin::LinkLabel>("sURLHome")->Open();
    const std::string guide = (ProgramDir() / "mrhelp" / "index.html").string();
    ASSERT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(dialogs.messages[0].text.toStdString(),
              "No program is set up to open the help. Install a web browser, or open " + guide + " yourself.");
    for (int i : {1, 2})
        EXPECT_EQ(dialogs.messages[i].text.toStdString(),
                  std::string("No program is set up to open the web page. Install a web browser, or open ") +
                      product::kHomePage + " yourself.");
    for (const auto& msg : dialogs.messages) {
        EXPECT_EQ(msg.owner, &m);
        EXPECT_EQ(msg.caption, QStringLiteral("Error"));
        EXPECT_EQ(msg.icon, ui::Icon::Error);
    }
}

TEST_F(StartUp, HelpOpensTheHtmlGuideWhenTheDesktopCannotOpenTheChmFile)
{
    std::vector<std::string> asked;
    bool canOpen = false;
    cx::SetCheckedShellOpener([&](const std::string& t) {
        asked.push_back(t);
        if (canOpen)
            opened.push_back(t);
        return canOpen;
    });
    Open();
    const std::string chm = (ProgramDir() / "mrhelp.chm").string();
    const std::string guide = (ProgramDir() / "mrhelp" / "index.html").string();
    A("miHelpContent")->trigger();
    Button("sbtnHelp")->click();
    EXPECT_EQ(asked, (std::vector<std::string>{chm, chm}));
    EXPECT_EQ(opened, (std::vector<std::string>{guide, guide}));

    canOpen = true;
    opened.clear();
    A("miHelpContent")->trigger();
    EXPECT_EQ(opened, (std::vector<std::string>{chm}));
    cx::SetCheckedShellOpener(nullptr);

    // The build puts the guide beside the program, from the pages the CHM
    // file is compiled from.
    const char* build = std::getenv("MC_BINARY_DIR");
    const char* source = std::getenv("MC_SOURCE_DIR");
    ASSERT_TRUE(build && source);
    for (const char* page : {"index.html", "single.html", "options.html", "style.css"}) {
        std::ifstream a(fs::path(build) / "mrhelp" / page), b(fs::path(source) / "data" / "help" / page);
        ASSERT_TRUE(a && b) << page;
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(a), {}),
                  std::string(std::istreambuf_iterator<char>(b), {}));
    }
}

// An install the user cannot write, as from the system-wide package.
class ReadOnlyInstall : public StartUp {
protected:
    void SetUp() override
    {
        StartUp::SetUp();
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"})
            if (const char* v = std::getenv(name))
                saved[name] = v;
        setenv("HOME", (dir / "home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        fs::create_directories(dir / "home");
        cx::SetModuleDirWritableCheck([](const std::string&) { return false; });
    }
    void TearDown() override
    {
        StartUp::TearDown();
        cx::SetModuleDirWritableCheck(nullptr);
        for (const char* name : {"HOME", "XDG_CONFIG_HOME"}) {
            if (saved.count(name))
                setenv(name, saved[name].c_str(), 1);
            else
                unsetenv(name);
        }
    }
    std::vector<std::string> ProgramDirFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(ProgramDir()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path Mine(const char* name) const { return dir / "config" / "morvane-converter" / name; }
    std::map<std::string, std::string> saved;
};

TEST_F(ReadOnlyInstall, SettingsAndOutputGoToTheUsersFolders)
{
    const auto before = ProgramDirFiles();
    // No Videos folder: the default output goes to the home folder.
    Open();
    EXPECT_EQ(Edit("edtOutputFile")->text().toStdString(), (dir / "home" / "output.wmv").string());
    main.reset();
    fs::create_directories(dir / "home" / "Videos");
    Open();
    EXPECT_EQ(Edit("edtOutputFile")->text().toStdString(), (dir / "home" / "Videos" / "output.wmv").string());
    A("miSkinProtein")->trigger();
    main.reset();

    std::ifstream in(Mine("dastrel.ini"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[Morvane]\nSkinType=5\nWholeTitle=1\n");
    TfmMain& m = Open();
    EXPECT_EQ(m.SkinType(), 5);
    main.reset();
    EXPECT_EQ(ProgramDirFiles(), before);
}

TEST_F(ReadOnlyInstall, ShippedProfilesStartTheUsersOwn)
{
    // The package's defaults, and a store an earlier run wrote beside the
    // program (the superuser's, say), which nobody else may start from.
    const auto store = [](const fs::path& file, const char* name) {
        MRProfileList list(file.c_str());
        auto* o = new MROption(MakeOption());
        cx::CopyText(o->szName, name);
        o->nResolution = 3;
        return list.AddProfile(o) && list.Save();
    };
    ASSERT_TRUE(store(ProgramDir() / "mrprof-default.dat", "Shipped"));
    ASSERT_TRUE(store(ProgramDir() / "mrprof.dat", "Root's"));
    const auto before = ProgramDirFiles();
    TfmMain& m = Open();
    EXPECT_STREQ(m.GetOption()->szName, "Shipped");
    EXPECT_TRUE(Radio("rbtnResVGA")->isChecked());
    auto* mine = new MROption(MakeOption());
    cx::CopyText(mine->szName, "Mine");
    ASSERT_TRUE(m.GetProfiles()->AddProfile(mine));
    m.GetProfiles()->SetCurrentIndex(1);
    ASSERT_TRUE(m.GetProfiles()->Save());
    main.reset();
    EXPECT_TRUE(fs::exists(Mine("mrprof.dat")));
    EXPECT_EQ(ProgramDirFiles(), before);

    Open();
    EXPECT_STREQ(main->GetOption()->szName, "Mine");
    EXPECT_EQ(main->GetProfiles()->GetProfileCount(), 2u);
    main.reset();

    // The superuser can write the package's folder, and still keeps its
    // files in its own configuration folder, its output out of the folder.
    cx::SetModuleDirWritableCheck([](const std::string&) { return true; });
    fs::remove_all(dir / "config");
    ASSERT_TRUE(MRProfileList((ProgramDir() / "mrprof-default.dat").c_str()).Save()); // no profiles
    Open();
    EXPECT_EQ(Edit("edtOutputFile")->text().toStdString(), (dir / "home" / "output.wmv").string());
    main.reset();
    EXPECT_TRUE(fs::exists(Mine("dastrel.ini")));
    EXPECT_EQ(ProgramDirFiles(), before);
}

TEST_F(StartUp, PagesAreEnabledOnlyWhileActiveAndTheFileMenuSwitchesThem)
{
    Open();
    QWidget* one = W<QWidget>("stOne");
    QWidget* more = W<QWidget>("stMore");
    EXPECT_TRUE(one->isEnabled());
    EXPECT_FALSE(more->isEnabled());
    W<QTreeWidget>("lvFile")->addTopLevelItem(new QTreeWidgetItem(QStringList{"a", "b"}));
    A("miFileBatch")->trigger();
    EXPECT_EQ(Pages("spMain")->currentWidget(), more);
    EXPECT_FALSE(one->isEnabled());
    EXPECT_TRUE(more->isEnabled());
    A("miFileOne")->trigger();
    EXPECT_EQ(Pages("spMain")->currentWidget(), one);
    EXPECT_FALSE(more->isEnabled());
    EXPECT_EQ(W<QTreeWidget>("lvFile")->topLevelItemCount(), 1); // rows stay
}

} // namespace
} // namespace maintest
