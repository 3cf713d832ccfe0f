// Source panel, preview, run list and the single-file options and start.
#include "MainFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMediaPlayer>

#include <algorithm>
#include <cstring>

#include "FfmpegEngine.h"
#include "FakeEngine.h"
#include "MRProfileList.h"
#include "TextUtil.h"
#include "TfmProfile.h"

namespace maintest {
namespace {

constexpr std::uintmax_t kMiB = 1024 * 1024;

class SourcePanel : public MainWindowTest {
protected:
    // A DVD in drive D with the given title files.
    fs::path InsertDvd(const std::vector<std::pair<std::string, std::uintmax_t>>& titles)
    {
        const fs::path disc = AddDrive('D', "dvd");
        for (const auto& [name, size] : titles)
            MakeSparse(disc / "VIDEO_TS" / name, size);
        return disc;
    }
    std::vector<int> CheckedLines() const
    {
        std::vector<int> c;
        auto* list = W<QListWidget>("lbChapters");
        for (int i = 0; i < list->count(); ++i)
            if (list->item(i)->checkState() == Qt::Checked)
                c.push_back(i);
        return c;
    }
    QString LineText(int i) const { return W<QListWidget>("lbChapters")->item(i)->text(); }
    void UseFile(const QString& source, const QString& output)
    {
        ShowPage("pcSource", "stFile");
        Radio("rbtnFile")->click();
        Edit("edtSrcFile")->setText(source);
        Edit("edtOutputFile")->setText(output);
    }
};

TEST_F(SourcePanel, FirstTitleStrictlyAbove32MiBIsCheckedAndPreviewed)
{
    const fs::path disc = InsertDvd({{"VTS_01_0.VOB", 10 * kMiB},
                                     {"VTS_01_1.VOB", 0x2000000},
                                     {"VTS_01_2.VOB", 0x2000001},
                                     {"VTS_02_0.VOB", 40 * kMiB},
                                     {"VTS_02_1.VOB", 1024 * kMiB}});
    Open();
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(Pages("pcSource")->currentWidget(), W<QWidget>("stDVD"));
    auto* list = W<QListWidget>("lbChapters");
    ASSERT_EQ(list->count(), 5);

    // Exactly one line is checked: the first, in list order, above the
    // threshold; 0x2000000 itself is not above it.
    const std::vector<int> checked = CheckedLines();
    ASSERT_EQ(checked.size(), 1u);
    const std::map<QString, std::uintmax_t> sizes = {{"VTS_01_0.VOB", 10 * kMiB},
                                                     {"VTS_01_1.VOB", 0x2000000},
                                                     {"VTS_01_2.VOB", 0x2000001},
                                                     {"VTS_02_0.VOB", 40 * kMiB},
                                                     {"VTS_02_1.VOB", 1024 * kMiB}};
    for (int i = 0; i < checked[0]; ++i)
        EXPECT_LE(sizes.at(LineText(i)), 0x2000000u) << LineText(i).toStdString();
    EXPECT_GT(sizes.at(LineText(checked[0])), 0x2000000u);
    EXPECT_EQ(Preview()->URL().toStdString(), (disc / "VIDEO_TS" / LineText(checked[0]).toStdString()).string());

    // A click shows the line's size and leaves every check mark alone.
    for (int i = 0; i < list->count(); ++i) {
        list->setCurrentRow(i);
        emit list->itemClicked(list->item(i));
        EXPECT_EQ(W<QLabel>("lblSize")->text(), QStringLiteral("File Size: %1 bytes").arg(sizes.at(LineText(i))));
    }
    EXPECT_EQ(CheckedLines(), checked);
}

TEST_F(SourcePanel, RefreshWithoutADvdEmptiesTheListAndKeepsThePreview)
{
    InsertDvd({{"VTS_01_0.VOB", 1 * kMiB}, {"VTS_01_1.VOB", 40 * kMiB}});
    Open();
    ASSERT_EQ(W<QListWidget>("lbChapters")->count(), 2);
    const QString previewed = Preview()->URL();
    ASSERT_FALSE(previewed.isEmpty());
    W<QListWidget>("lbChapters")->setCurrentRow(1);
    emit W<QListWidget>("lbChapters")->itemClicked(W<QListWidget>("lbChapters")->item(1));
    const QString size = W<QLabel>("lblSize")->text();

    table.clear();
    AddDrive('D', ""); // disc taken out
    Button("sbtnDVDRefresh")->click();
    EXPECT_EQ(W<QListWidget>("lbChapters")->count(), 0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("No DVD disc found. Please insert a disc and try again."));
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Information);
    EXPECT_EQ(Preview()->URL(), previewed);
    EXPECT_EQ(W<QLabel>("lblSize")->text(), size);

    // Converting from the empty DVD page is refused.
    EXPECT_FALSE(main->UpdateOption(true, false));
    EXPECT_EQ(dialogs.messages.back().text, QStringLiteral("No DVD disc found, please insert a disc and try again."));
    EXPECT_EQ(dialogs.messages.back().icon, ui::Icon::Error);
}

TEST_F(SourcePanel, OnlyOneDvdTitleConvertsUnlessCollectedSilently)
{
    const fs::path disc = InsertDvd({{"VTS_01_0.VOB", 1 * kMiB}, {"VTS_01_1.VOB", 40 * kMiB}});
    Open();
    auto* list = W<QListWidget>("lbChapters");
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(Qt::Checked);
    Edit("edtOutputFile")->setText(QString::fromStdString((dir / "out.wmv").string()));

    RefuseRunWindows runs;
    Button("sbtnConvert")->click();
    EXPECT_EQ(runs.opened, 0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Morvane Converter can only convert one file at one time. "
                                                       "Please select only one DVD file."));
    EXPECT_EQ(main->GetRunList()->GetCount(), 0u);

    // The profiles menu collects silently: both titles, no message.
    testsupport::OnNextModal<QDialog>([](QDialog* d) { d->reject(); });
    A("miFileProf")->trigger();
    EXPECT_EQ(dialogs.messages.size(), 1u);
    std::vector<std::string> expected;
    for (int i = 0; i < list->count(); ++i)
        expected.push_back((disc / "VIDEO_TS" / list->item(i)->text().toStdString()).string());
    EXPECT_EQ(RunSources(), expected);

    // None checked.
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(main->UpdateOption(true, false));
    EXPECT_EQ(dialogs.messages.back().text,
              QStringLiteral("No DVD file is selected, please select at lease one file to be converted."));
    EXPECT_EQ(main->GetRunList()->GetCount(), 0u);
}

TEST_F(SourcePanel, TheWholeTitleOfACheckedFileConvertsItsPartsIntoOneOutputAndTheChoiceIsKept)
{
    testsupport::ScopedFactory engine{&mce::FfmpegEngineFactory()};
    const fs::path disc = AddDrive('D', "dvd");
    ASSERT_TRUE(testsupport::MakeDvd(disc, true));
    // The drive is taken for a DVD by its menu file.
    std::ofstream(disc / "VIDEO_TS" / "VTS_01_0.VOB", std::ios::binary) << std::string(2048, '\0');
    Open();
    auto* whole = W<QCheckBox>("chkWholeTitle");
    EXPECT_TRUE(whole->isChecked()); // the first start
    auto* list = W<QListWidget>("lbChapters");
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->text() == "VTS_01_1.VOB")
            first = list->item(i);
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setCheckState(list->item(i) == first ? Qt::Checked : Qt::Unchecked);
    list->setCurrentItem(first);
    emit list->itemClicked(first);
    // Its sound streams, by language; the one chosen is the one converted.
    auto* sound = W<QComboBox>("cbDVDAudio");
    ASSERT_TRUE(sound->isVisibleTo(sound->parentWidget()));
    ASSERT_EQ(sound->count(), 2);
    EXPECT_EQ(sound->itemText(0), "Sound: German");
    EXPECT_EQ(sound->itemText(1), "Sound: English");
    const int other = 1 - sound->currentIndex(); // not what the engine would take
    sound->setCurrentIndex(other);
    EXPECT_TRUE(W<QLabel>("lblSize")->text().endsWith("\nTitle Length: 0:00:20"))
        << W<QLabel>("lblSize")->text().toStdString();

    const fs::path out = dir / "film.wmv";
    Edit("edtOutputFile")->setText(QString::fromStdString(out.string()));
    EXPECT_EQ(ConvertUntilFinished("sbtnConvert"), 1);
    EXPECT_NEAR(std::atof(testsupport::Probe(out)["format.duration"].c_str()), 20.0, 1.0);
    EXPECT_NEAR(testsupport::ToneHz(out), other == 0 ? 440 : 880, 20);

    // A copied DVD as the video file offers its main feature's sound too.
    ShowPage("pcSource", "stFile");
    Radio("rbtnFile")->click();
    Edit("edtSrcFile")->setText(QString::fromStdString(disc.string()));
    EXPECT_EQ(W<QComboBox>("cbFileAudio")->count(), 2);
    Edit("edtSrcFile")->setText(QString::fromStdString((dir / "film.wmv").string()));
    EXPECT_FALSE(W<QComboBox>("cbFileAudio")->isVisibleTo(W<QWidget>("stFile")));
    ShowPage("pcSource", "stDVD");

    whole->click();
    EXPECT_FALSE(W<QLabel>("lblSize")->text().contains("Title"));
    main.reset();
    Open();
    EXPECT_FALSE(W<QCheckBox>("chkWholeTitle")->isChecked());
}

TEST_F(SourcePanel, FileAndVideoCdChoicesAndTheirExistenceTests)
{
    AddDrive('D', "");
    Open();
    ShowPage("pcSource", "stFile");
    Radio("rbtnVCD")->click();
    EXPECT_FALSE(Edit("edtSrcFile")->isEnabled());
    EXPECT_FALSE(Button("sbtnFileBrowse")->isEnabled());
    EXPECT_TRUE(Edit("edtSrcVCD")->isEnabled());
    Edit("edtOutputFile")->setText(QString::fromStdString((dir / "out.wmv").string()));
    EXPECT_FALSE(main->UpdateOption(true, false));
    EXPECT_EQ(dialogs.messages.back().text,
              QStringLiteral("No VCD disc found in your CD ROM, please insert a disc and try again."));

    Radio("rbtnFile")->click();
    EXPECT_TRUE(Edit("edtSrcFile")->isEnabled());
    EXPECT_FALSE(Edit("edtSrcVCD")->isEnabled());
    Edit("edtSrcFile")->setText(QString::fromStdString((dir / "missing.avi").string()));
    EXPECT_FALSE(main->UpdateOption(true, false));
    EXPECT_EQ(dialogs.messages.back().text,
              QStringLiteral("Invalid source video file, please select an existed video file and try again."));
    EXPECT_EQ(dialogs.messages.back().caption, QStringLiteral("Error"));
    EXPECT_EQ(main->GetRunList()->GetCount(), 0u);

    // An existing folder passes; the item carries no output of its own.
    Edit("edtSrcFile")->setText(QString::fromStdString(dir.path().string()));
    EXPECT_TRUE(main->UpdateOption(true, false));
    auto* list = static_cast<CxTypedList<RunItem>*>(main->GetRunList());
    ASSERT_EQ(list->GetCount(), 1u);
    EXPECT_EQ(std::string(list->GetAt(0)->szSource), dir.path().string());
    EXPECT_STREQ(list->GetAt(0)->szOutput, "");
}

TEST_F(SourcePanel, PathsLongerThanTheirFieldsAreRefusedNeverCut)
{
    Open();
    const std::string deep = dir.path().string() + "/" + std::string(300, 'a') + ".avi";
    UseFile(QString::fromStdString(dir.path().string()), QString::fromStdString(dir.path().string() + "/o.wmv"));
    const MROption before = *main->GetOption();

    Edit("edtOutputFile")->setText(QString::fromStdString(deep));
    EXPECT_FALSE(main->UpdateOption(true, false));
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("259")));
    EXPECT_EQ(std::memcmp(&before, main->GetOption(), sizeof before), 0);
    // Silently the stored name stays as it was.
    EXPECT_TRUE(main->UpdateOption(true, true));
    EXPECT_STREQ(main->GetOption()->szOutputFile, before.szOutputFile);

    // An existing source folder, so that only its length stops it.
    fs::path longDir = dir.path();
    for (int i = 0; i < 3; ++i)
        longDir /= std::string(100, char('a' + i));
    fs::create_directories(longDir);
    Edit("edtOutputFile")->setText(QString::fromStdString(dir.path().string() + "/o.wmv"));
    Edit("edtSrcFile")->setText(QString::fromStdString(longDir.string()));
    EXPECT_FALSE(main->UpdateOption(true, false));
    EXPECT_TRUE(dialogs.messages.back().text.contains(QStringLiteral("259")));
    EXPECT_EQ(main->GetRunList()->GetCount(), 0u);

    // A browse that returns a path too long for the field changes nothing.
    Edit("edtSrcFile")->setText(QStringLiteral("kept"));
    dialogs.openPaths = {QString::fromStdString(deep)};
    Button("sbtnFileBrowse")->click();
    EXPECT_EQ(Edit("edtSrcFile")->text(), QStringLiteral("kept"));
}

TEST_F(SourcePanel, BrowsingTheSourcePlaysItAndTheOutputDialogTakesTheChoice)
{
    Open();
    dialogs.messages.clear();
    ShowPage("pcSource", "stFile");
    const fs::path clip = dir / "clip.avi";
    ASSERT_TRUE(testsupport::MakeClip(clip, 1, 160, 120, "10", {"-c:v", "mpeg4", "-c:a", "mp2"}));

    Edit("edtSrcFile")->setText(QStringLiteral("start"));
    dialogs.openPaths = {QString::fromStdString(clip.string()), QString()};
    Button("sbtnFileBrowse")->click();
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    const ui::FileDialogRequest& open = dialogs.fileRequests[0];
    EXPECT_EQ(open.title, QStringLiteral("Open Source Video File"));
    EXPECT_EQ(open.initialName, QStringLiteral("start"));
    ASSERT_EQ(open.filters.size(), 5);
    EXPECT_TRUE(open.filters[0].startsWith(QStringLiteral("Windows Video Files (*.wmv, *.avi, *.mpg, *.mpeg)")));
    EXPECT_TRUE(open.filters[1].startsWith(QStringLiteral("DVD Files (*.VOB)")));
    EXPECT_TRUE(open.filters[2].startsWith(QStringLiteral("DVD Images (*.iso)")) && open.filters[2].contains("*.ISO"));
    // The dialog matches by the patterns in the last parentheses.
    const QString today = open.filters[3];
    const QStringList patterns = today.mid(today.lastIndexOf('(') + 1).chopped(1).split(' ');
    for (const char* ext : {"mp4", "m4v", "mkv", "mov", "webm", "flv", "3gp", "ts", "m2ts", "vob", "dat"})
        EXPECT_TRUE(patterns.contains(QStringLiteral("*.%1").arg(QLatin1String(ext)))) << ext;
    EXPECT_TRUE(open.filters[4].startsWith(QStringLiteral("All Files(*.*)")));
    EXPECT_TRUE(open.mustExist);
    EXPECT_EQ(Edit("edtSrcFile")->text().toStdString(), clip.string());
    EXPECT_EQ(Preview()->URL().toStdString(), clip.string());
    ASSERT_TRUE(Preview()->HasPlayer());
    EXPECT_EQ(Preview()->Player()->source().toLocalFile().toStdString(), clip.string());

    Button("sbtnFileBrowse")->click(); // cancelled
    EXPECT_EQ(Edit("edtSrcFile")->text().toStdString(), clip.string());

    dialogs.savePaths = {QStringLiteral("C:\\clip")};
    Edit("edtOutputFile")->setText(QStringLiteral("now.wmv"));
    Button("sbtnBrowse")->click();
    const ui::FileDialogRequest& save = dialogs.fileRequests.back();
    EXPECT_EQ(save.title, QStringLiteral("Choose Output File Name"));
    EXPECT_EQ(save.initialName, QStringLiteral("now.wmv"));
    ASSERT_EQ(save.filters.size(), 1);
    EXPECT_TRUE(save.filters[0].startsWith(QStringLiteral("Windows Media Video File(*.wmv)")));
    EXPECT_FALSE(save.promptOverwrite);
    EXPECT_FALSE(save.addExtension);
    // A relative answer is taken in the current folder, and a name without
    // an extension is given ".wmv".
    EXPECT_EQ(Edit("edtOutputFile")->text().toStdString(), (fs::current_path() / "C:\\clip.wmv").string());
    EXPECT_STRNE(main->GetOption()->szOutputFile, "C:\\clip"); // taken only at the next collection

    // A file the player cannot read shows nothing and says nothing.
    const fs::path junk = dir / "junk.avi";
    std::ofstream(junk) << "not a video";
    dialogs.openPaths = {QString::fromStdString(junk.string())};
    Button("sbtnFileBrowse")->click();
    QTest::qWait(200);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(Preview()->URL().toStdString(), junk.string());

    Preview()->Close();
    EXPECT_TRUE(Preview()->URL().isEmpty());
    EXPECT_TRUE(Preview()->Player()->source().isEmpty());
}

// A chosen source names the output, in the output's folder, for as long as
// the output holds the default name or the one the last source gave; a name
// the user typed stays, and gets ".wmv" when typed without an extension.
TEST_F(SourcePanel, TheOutputFollowsTheChosenSourceUntilTheUserNamesIt)
{
    InsertDvd({{"VTS_01_0.VOB", kMiB}, {"VTS_01_1.VOB", 40 * kMiB}, {"VTS_02_1.VOB", 40 * kMiB}});
    Open();
    const auto output = [this] { return Edit("edtOutputFile")->text().toStdString(); };
    EXPECT_EQ(output(), (ProgramDir() / "VTS_01_1.wmv").string()); // the title checked at start

    Edit("edtOutputFile")->setText(QString::fromStdString((dir / "output.wmv").string()));
    W<QListWidget>("lbChapters")
        ->findItems(QStringLiteral("VTS_02_1.VOB"), Qt::MatchExactly)[0]
        ->setCheckState(Qt::Checked);
    EXPECT_EQ(output(), (dir / "VTS_02_1.wmv").string());

    ShowPage("pcSource", "stFile");
    Radio("rbtnFile")->click();
    fs::create_directories(dir / "in");
    const fs::path holiday = dir / "in" / "holiday.2006.avi", own = dir / "clip.wmv";
    std::ofstream(holiday) << "a";
    std::ofstream(own) << "w";
    dialogs.openPaths = {QString::fromStdString(holiday.string())};
    Button("sbtnFileBrowse")->click();
    EXPECT_EQ(output(), (dir / "holiday.2006.wmv").string());
    // A source in the output's folder is never its own output.
    dialogs.openPaths = {QString::fromStdString(own.string())};
    Button("sbtnFileBrowse")->click();
    EXPECT_EQ(output(), (dir / "clip (2).wmv").string());
    Radio("rbtnVCD")->click();
    EXPECT_EQ(output(), (dir / "AVSEQ01.wmv").string());

    Radio("rbtnFile")->click();
    Edit("edtOutputFile")->setText(QString::fromStdString((dir / "mine").string()));
    dialogs.openPaths = {QString::fromStdString(holiday.string())};
    Button("sbtnFileBrowse")->click();
    EXPECT_EQ(output(), (dir / "mine").string());
    ASSERT_TRUE(main->UpdateOption(true, false));
    EXPECT_EQ(std::string(main->GetOption()->szOutputFile), (dir / "mine.wmv").string());
    EXPECT_EQ(output(), (dir / "mine.wmv").string());
}

TEST_F(SourcePanel, APreviewKeepsTheSourcesDisplayShape)
{
    testsupport::ScopedFactory engine{&mce::FfmpegEngineFactory()};
    Open().show();
    ShowPage("pcSource", "stFile");
    // A 16:9 DVD title: 720 x 480 pixels that are wider than high.
    const fs::path title = dir / "VTS_01_1.VOB";
    ASSERT_TRUE(testsupport::MakeClip(title, 1, 720, 480, "30000/1001",
                                      {"-vf", "setsar=32/27", "-c:v", "mpeg2video", "-c:a", "mp2", "-f", "vob"}));
    const fs::path square = dir / "square.avi";
    ASSERT_TRUE(testsupport::MakeClip(square, 1, 320, 240, "25", {"-c:v", "mpeg4", "-c:a", "mp2"}));
    auto* video = Preview()->findChild<QWidget*>(QStringLiteral("vidPreview"));
    ASSERT_NE(video, nullptr);
    auto shape = [&](const fs::path& p) {
        dialogs.openPaths = {QString::fromStdString(p.string())};
        Button("sbtnFileBrowse")->click();
        QCoreApplication::processEvents();
        return static_cast<double>(video->width()) / video->height();
    };
    EXPECT_NEAR(shape(title), 16.0 / 9.0, 0.03);
    EXPECT_NEAR(shape(square), 4.0 / 3.0, 0.03);
    Preview()->Close();
}

class Options : public SourcePanel {};

TEST_F(Options, EachPageCollectsOnlyItsOwnControls)
{
    Open();
    UseFile(QString::fromStdString(dir.path().string()), QString::fromStdString((dir / "a.wmv").string()));
    W<QTreeWidget>("lvFile")->addTopLevelItem(new QTreeWidgetItem(QStringList{"/in.avi", "/out.wmv"}));

    // The batch page: resolution, quality and margins, nothing else.
    Radio("rbtnRatWide")->setChecked(true);
    W<QCheckBox>("schkSize")->setChecked(true);
    Radio("rbtnBatchVGARes")->setChecked(true);
    Radio("rbtnBatchHigh")->setChecked(true);
    Edit("edtLeft")->setText(QStringLiteral("12px"));
    Edit("edtRight")->setText(QStringLiteral("-5"));
    Edit("edtTop")->setText(QStringLiteral(" 7"));
    Edit("edtBottom")->setText(QStringLiteral("abc"));
    ShowPage("spMain", "stMore");
    const MROption before = *main->GetOption();
    ASSERT_TRUE(main->UpdateOption(true, false));
    const MROption& o = *main->GetOption();
    EXPECT_EQ(o.nResolution, 3);
    EXPECT_EQ(nQuality, 1);
    EXPECT_EQ(o.nCropLeft, 12);
    EXPECT_EQ(o.nCropRight, -5);
    EXPECT_EQ(o.nCropTop, 7);
    EXPECT_EQ(o.nCropBottom, 0);
    EXPECT_STREQ(o.szOutputFile, before.szOutputFile);
    EXPECT_EQ(o.bWideAspect, before.bWideAspect);
    EXPECT_EQ(o.bLimitSize, before.bLimitSize);
    EXPECT_EQ(o.bCrop, before.bCrop);

    // The single-file page: output, resolution, aspect and limit only.
    Radio("rbtnBatchLow")->setChecked(true);
    Edit("edtLeft")->setText(QStringLiteral("99"));
    Radio("rbtnResWide")->setChecked(true);
    Radio("rbtn512")->setChecked(true);
    ShowPage("spMain", "stOne");
    ASSERT_TRUE(main->UpdateOption(true, false));
    EXPECT_EQ(std::string(o.szOutputFile), (dir / "a.wmv").string());
    EXPECT_EQ(o.nResolution, 1);
    EXPECT_EQ(o.bWideAspect, 1);
    EXPECT_EQ(o.bLimitSize, 1);
    EXPECT_EQ(o.nCardSize, 2);
    EXPECT_EQ(nQuality, 1);
    EXPECT_EQ(o.nCropLeft, 12);
    nQuality = mr::kQualityMedium;
}

TEST_F(Options, SizeLimitAndCustomSizeEnabling)
{
    TfmMain& m = Open();
    UseFile(QString::fromStdString(dir.path().string()), QString::fromStdString((dir / "a.wmv").string()));
    m.GetOption()->nCardSize = 2;
    m.GetOption()->bLimitSize = 1;
    m.ShowOption();
    EXPECT_TRUE(Radio("rbtn512")->isEnabled());

    W<QCheckBox>("schkSize")->click(); // off
    EXPECT_FALSE(Radio("rbtn512")->isEnabled());
    EXPECT_TRUE(Radio("rbtn512")->isChecked());
    Radio("rbtn128")->setChecked(true); // not collected while the limit is off
    ASSERT_TRUE(m.UpdateOption(true, false));
    EXPECT_EQ(m.GetOption()->bLimitSize, 0);
    EXPECT_EQ(m.GetOption()->nCardSize, 2);
    m.ShowOption();
    EXPECT_TRUE(Radio("rbtn512")->isChecked());
    EXPECT_FALSE(Radio("rbtn512")->isEnabled());

    Radio("rbtnResCustom")->click();
    EXPECT_TRUE(W<QSpinBox>("seWidth")->isEnabled());
    EXPECT_TRUE(W<QSpinBox>("seHeight")->isEnabled());
    W<QSpinBox>("seWidth")->setValue(400);
    W<QSpinBox>("seHeight")->setValue(300);
    ASSERT_TRUE(m.UpdateOption(true, false));
    EXPECT_EQ(m.GetOption()->nResolution, 2);
    EXPECT_EQ(m.GetOption()->nWidth, 400);
    EXPECT_EQ(m.GetOption()->nHeight, 300);
    Radio("rbtnResVGA")->click();
    EXPECT_FALSE(W<QSpinBox>("seWidth")->isEnabled());
    EXPECT_FALSE(W<QSpinBox>("seHeight")->isEnabled());
}

TEST_F(Options, OutputNameIsRequiredAndAnExistingOutputIsConfirmed)
{
    TfmMain& m = Open();
    dialogs.messages.clear();
    UseFile(QString::fromStdString(dir.path().string()), QString());
    RefuseRunWindows runs;

    Button("sbtnConvert")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Please specify the output file name."));
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Error);
    EXPECT_EQ(runs.opened, 0);

    const fs::path existing = dir / "there.wmv";
    std::ofstream(existing) << "x";
    Edit("edtOutputFile")->setText(QString::fromStdString(existing.string()));
    Radio("rbtnResVGA")->setChecked(true);
    const MROption before = *m.GetOption();
    dialogs.answers = {ui::Answer::No};
    Button("sbtnConvert")->click();
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].text,
              QStringLiteral("The file %1 is existed, do you want to overwrite it?").arg(existing.c_str()));
    EXPECT_EQ(dialogs.messages[1].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(runs.opened, 0);
    EXPECT_EQ(std::memcmp(&before, m.GetOption(), sizeof before), 0);

    dialogs.answers = {ui::Answer::Yes};
    Button("sbtnConvert")->click();
    EXPECT_EQ(dialogs.messages.size(), 3u);
    EXPECT_EQ(runs.opened, 1);
    EXPECT_EQ(std::string(m.GetOption()->szOutputFile), existing.string());
    EXPECT_EQ(m.GetOption()->nResolution, 3);

    // Silently, an empty name is taken and nothing is asked.
    Edit("edtOutputFile")->setText(QString());
    EXPECT_TRUE(m.UpdateOption(true, true));
    EXPECT_STREQ(m.GetOption()->szOutputFile, "");
    EXPECT_EQ(dialogs.messages.size(), 3u);
}

TEST_F(Options, ACustomSizeIsCheckedKeptInProfilesAndShownOnBothPages)
{
    TfmMain& m = Open();
    dialogs.messages.clear();
    UseFile(QString::fromStdString(dir.path().string()), QString::fromStdString((dir / "a.wmv").string()));
    W<QTreeWidget>("lvFile")->addTopLevelItem(new QTreeWidgetItem(QStringList{"/in.avi", "/out.wmv"}));
    RefuseRunWindows runs;

    // Odd, too small or too large: refused with the limits, nothing taken.
    Radio("rbtnResCustom")->click();
    W<QSpinBox>("seWidth")->setValue(481);
    W<QSpinBox>("seHeight")->setValue(272);
    Button("sbtnConvert")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Error");
    EXPECT_TRUE(dialogs.messages[0].text.contains("64 x 48") && dialogs.messages[0].text.contains("1280 x 960"))
        << dialogs.messages[0].text.toStdString();
    EXPECT_EQ(runs.opened, 0);
    EXPECT_EQ(m.GetOption()->nResolution, 0);
    EXPECT_EQ(m.GetOption()->nWidth, 0);

    W<QSpinBox>("seWidth")->setValue(480);
    Button("sbtnConvert")->click();
    EXPECT_EQ(runs.opened, 1);
    EXPECT_EQ(m.GetOption()->nWidth, 480);
    EXPECT_EQ(m.GetOption()->nHeight, 272);

    // The batch page's fields likewise.
    ShowPage("spMain", "stMore");
    EXPECT_EQ(W<QRadioButton>("rbtnBatchWideRes")->text(), "Pocket PC Wide Screen ( 320 * 240 )");
    Radio("rbtnBatchCustRes")->setChecked(true);
    Edit("edtWidth")->setText(QStringLiteral("1282"));
    Edit("edtHeight")->setText(QStringLiteral("720"));
    Button("sbtnBatchConvert")->click();
    // Only the refusals count: a run window may speak before it is closed.
    EXPECT_EQ(std::count_if(dialogs.messages.begin(), dialogs.messages.end(),
                            [](const auto& msg) { return msg.text.contains("1280 x 960"); }),
              2);
    EXPECT_EQ(runs.opened, 1);
    Edit("edtWidth")->setText(QStringLiteral("1280"));
    Button("sbtnBatchConvert")->click();
    EXPECT_EQ(runs.opened, 2);
    EXPECT_EQ(m.GetOption()->nWidth, 1280);
    EXPECT_EQ(m.GetOption()->nHeight, 720);

    // A profile loaded through the real dialog shows on both pages.
    MROption* saved = new MROption(*m.GetOption());
    cx::CopyText(saved->szName, "Phone");
    saved->nWidth = 640;
    saved->nHeight = 360;
    saved->nCropLeft = 16;
    ASSERT_TRUE(m.GetProfiles()->AddProfile(saved));
    Radio("rbtnBatchVGARes")->setChecked(true);
    testsupport::OnNextModal<TfmProfile>([](TfmProfile* d) {
        auto* list = d->findChild<QTreeWidget*>(QStringLiteral("slvProfile"));
        list->topLevelItem(0)->setSelected(true);
        d->findChild<QPushButton*>(QStringLiteral("sbtnLoad"))->click();
    });
    A("miFileProf")->trigger();
    EXPECT_EQ(dialogs.messages.back().text, "Conversion profile loaded successfully.");
    EXPECT_TRUE(Radio("rbtnResCustom")->isChecked());
    EXPECT_TRUE(Radio("rbtnBatchCustRes")->isChecked());
    EXPECT_EQ(W<QSpinBox>("seWidth")->value(), 640);
    EXPECT_EQ(W<QSpinBox>("seHeight")->value(), 360);
    EXPECT_EQ(Edit("edtWidth")->text(), "640");
    EXPECT_EQ(Edit("edtHeight")->text(), "360");
    EXPECT_TRUE(Edit("edtWidth")->isEnabled());
    EXPECT_EQ(Edit("edtLeft")->text(), "16");
}

// A custom frame all the way to the file.
TEST_F(Options, ConvertNowEncodesTheCustomFrame)
{
    testsupport::ScopedFactory engine{&mce::FfmpegEngineFactory()};
    Open();
    dialogs.messages.clear();
    const fs::path clip = dir / "clip.avi";
    const fs::path out = dir / "clip.wmv";
    ASSERT_TRUE(testsupport::MakeClip(clip, 1, 320, 240, "25", {"-c:v", "mpeg4", "-c:a", "mp2"}));
    UseFile(QString::fromStdString(clip.string()), QString::fromStdString(out.string()));
    Radio("rbtnResCustom")->click();
    W<QSpinBox>("seWidth")->setValue(480);
    W<QSpinBox>("seHeight")->setValue(272);

    EXPECT_EQ(ConvertUntilFinished("sbtnConvert"), 1);
    const auto probe = testsupport::Probe(out);
    ASSERT_FALSE(probe.empty());
    EXPECT_EQ(probe.at("video.codec_name"), "wmv2");
    EXPECT_EQ(probe.at("video.width"), "480");
    EXPECT_EQ(probe.at("video.height"), "272");
}

// The product's main road: pick a clip, convert it, get a WMV file.
TEST_F(Options, ConvertNowTurnsAClipIntoAStandardSizeWmv)
{
    testsupport::ScopedFactory engine{&mce::FfmpegEngineFactory()};
    Open();
    dialogs.messages.clear();
    const fs::path clip = dir / "clip.avi";
    const fs::path out = dir / "clip.wmv";
    ASSERT_TRUE(testsupport::MakeClip(clip, 2, 320, 240, "25", {"-c:v", "mpeg4", "-c:a", "mp2"}));
    ShowPage("pcSource", "stFile");
    dialogs.openPaths = {QString::fromStdString(clip.string())};
    Button("sbtnFileBrowse")->click();
    // A bare name: the output goes into the current folder, and the run
    // window shows and opens it there.
    struct InFolder {
        fs::path before = fs::current_path();
        explicit InFolder(const fs::path& p) { fs::current_path(p); }
        ~InFolder() { fs::current_path(before); }
    } inDir(dir.path());
    Edit("edtOutputFile")->setText(QStringLiteral("clip.wmv"));

    int finished = 0;
    QElapsedTimer clock;
    clock.start();
    RunWindowWatch watch([&](TfmConvert* w) {
        if (w->GetState() != TfmConvert::csFinished && clock.elapsed() < 120000)
            return false;
        finished += w->GetState() == TfmConvert::csFinished;
        EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("edtFileTo"))->text().toStdString(), out.string());
        w->findChild<QPushButton*>(QStringLiteral("sbtnPause"))->click();
        w->done(QDialog::Accepted);
        return true;
    });
    Button("sbtnConvert")->click();
    EXPECT_EQ(std::string(main->GetOption()->szOutputFile), out.string());
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.back(), "file://" + dir.path().string() + "/");
    EXPECT_EQ(watch.opened, 1);
    EXPECT_EQ(finished, 1);
    for (const auto& m : dialogs.messages)
        ADD_FAILURE() << m.text.toStdString();
    // The preview let go of the source before the run.
    EXPECT_TRUE(Preview()->URL().isEmpty());

    const auto probe = testsupport::Probe(out);
    ASSERT_FALSE(probe.empty());
    EXPECT_EQ(probe.at("format.format_name"), "asf");
    EXPECT_EQ(probe.at("video.codec_name"), "wmv2");
    EXPECT_EQ(probe.at("video.width"), "208");
    EXPECT_EQ(probe.at("video.height"), "160");
}

} // namespace
} // namespace maintest
