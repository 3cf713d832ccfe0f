#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>

#include <cstring>
#include <fstream>
#include <string>

#include "FakeEngine.h"
#include "FfmpegEngine.h"
#include "MRProfileList.h"
#include "Media.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TestHost.h"
#include "TfmOption.h"
#include "TfmProfile.h"

namespace {

using testsupport::OnNextModal;

class TfmOptionTest : public ::testing::Test {
protected:
    void SetUp() override { nQuality = 2; }
    void TearDown() override { nQuality = 2; }

    template <class T> static T* Get(QWidget& w, const char* name)
    {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    // Types into a spin edit the way a user can, bypassing its value.
    static void TypeMargin(QWidget& dlg, const char* name, const QString& text)
    {
        Get<QSpinBox>(dlg, name)->findChild<QLineEdit*>()->setText(text);
    }
    static void Click(QWidget& dlg, const char* name) { Get<QPushButton>(dlg, name)->click(); }
    bool SameOption(const MROption& a) { return std::memcmp(&a, &host.option, sizeof a) == 0; }

    testsupport::ScriptedDialogs dialogs;
    testsupport::TestHost host;
};

TEST_F(TfmOptionTest, OpensOnTheVideoPageWithOnlyTheActivePageEnabled)
{
    host.skinType = 2;
    TfmOption dlg(host, nullptr);
    EXPECT_EQ(dlg.styleSheet(), skin::SkinStyleSheet(2));
    // The spin edits and the quality choices keep a look of their own, the
    // same in every skin.
    host.skinType = 5;
    TfmOption other(host, nullptr);
    // A point of the field behind the text, clear of buttons and indicators.
    for (const char* name : {"seLeft", "rbtnM"}) {
        const QImage a = Get<QWidget>(dlg, name)->grab().toImage();
        const QImage b = Get<QWidget>(other, name)->grab().toImage();
        const QPoint at(a.width() - 20, a.height() / 2);
        EXPECT_EQ(a.pixel(at), b.pixel(at)) << name;
    }

    auto* pages = Get<QTabWidget>(dlg, "spMain");
    QWidget* video = Get<QWidget>(dlg, "stVideo");
    QWidget* author = Get<QWidget>(dlg, "stAuthor");
    EXPECT_EQ(pages->currentWidget(), video);
    EXPECT_TRUE(video->isEnabled());
    EXPECT_FALSE(Get<QWidget>(dlg, "stAudio")->isEnabled());
    EXPECT_FALSE(author->isEnabled());
    pages->setCurrentWidget(author);
    EXPECT_FALSE(video->isEnabled());
    EXPECT_TRUE(Get<QLineEdit>(dlg, "edtTitle")->isEnabled());
}

TEST_F(TfmOptionTest, CroppingOnShowsTheMarginsAndOkWithoutChangesKeepsTheRecord)
{
    host.option.bCrop = 1;
    host.option.nCropLeft = 4;
    host.option.nCropTop = 8;
    host.option.nCropRight = 12;
    host.option.nCropBottom = -16;
    host.option.bTwoPass = 1;
    host.option.bSpeech = 1;
    std::strcpy(host.option.szTitle, "Title \xC3\xA9t\xC3\xA9");
    std::strcpy(host.option.szDescription, "line one\nline two");
    nQuality = 1;
    const MROption before = host.option;

    TfmOption dlg(host, nullptr);
    EXPECT_TRUE(Get<QCheckBox>(dlg, "chkCrop")->isChecked());
    EXPECT_TRUE(Get<QSpinBox>(dlg, "seLeft")->isEnabled());
    EXPECT_EQ(Get<QSpinBox>(dlg, "seTop")->text(), "8");
    EXPECT_EQ(Get<QSpinBox>(dlg, "seBottom")->text(), "-16");
    EXPECT_FALSE(Get<QCheckBox>(dlg, "chkOptimize")->isChecked());
    EXPECT_TRUE(Get<QCheckBox>(dlg, "chkTwoPass")->isChecked());
    EXPECT_TRUE(Get<QCheckBox>(dlg, "chkOptSpeech")->isChecked());
    EXPECT_EQ(Get<QLineEdit>(dlg, "edtTitle")->text(), QString::fromUtf8("Title été"));
    EXPECT_EQ(Get<QPlainTextEdit>(dlg, "memDesc")->toPlainText(), "line one\nline two");
    EXPECT_TRUE(Get<QRadioButton>(dlg, "rbtnH")->isChecked());

    Click(dlg, "sbtnOK");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(SameOption(before));
    EXPECT_EQ(nQuality, 1);
}

TEST_F(TfmOptionTest, MarginsAreStoredOnlyWhileCroppingIsOn)
{
    host.option.nCropLeft = 3;
    {
        TfmOption dlg(host, nullptr);
        auto* crop = Get<QCheckBox>(dlg, "chkCrop");
        EXPECT_FALSE(crop->isChecked());
        EXPECT_FALSE(Get<QSpinBox>(dlg, "seLeft")->isEnabled());
        crop->click();
        EXPECT_TRUE(Get<QSpinBox>(dlg, "seLeft")->isEnabled());
        EXPECT_TRUE(Get<QSpinBox>(dlg, "seBottom")->isEnabled());
        TypeMargin(dlg, "seLeft", "");
        TypeMargin(dlg, "seTop", "-5");
        TypeMargin(dlg, "seRight", "7x");
        TypeMargin(dlg, "seBottom", "99999999999");
        Click(dlg, "sbtnOK");
    }
    EXPECT_EQ(host.option.bCrop, 1);
    EXPECT_EQ(host.option.nCropLeft, 0);
    EXPECT_EQ(host.option.nCropTop, -5);
    EXPECT_EQ(host.option.nCropRight, 7);
    EXPECT_EQ(host.option.nCropBottom, 2147483647);
    {
        TfmOption dlg(host, nullptr);
        Get<QCheckBox>(dlg, "chkCrop")->click();
        TypeMargin(dlg, "seTop", "40");
        Click(dlg, "sbtnOK");
    }
    EXPECT_EQ(host.option.bCrop, 0);
    EXPECT_EQ(host.option.nCropTop, -5); // kept for the next time cropping is on
}

TEST_F(TfmOptionTest, DetectFillsTheMarginsForTheUserToSeeAndSaysWhenThereAreNone)
{
    testsupport::ScopedFactory engine{&mce::FfmpegEngineFactory()};
    testsupport::TempDir dir;
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=540x480:r=25:d=6", "-vf",
                                     "pad=720:480:90:0:black,setsar=32/27", "-c:v", "mpeg2video", "-b:v", "6M", "-g",
                                     "12", "-f", "vob", (dir / "pillar.vob").string()}));
    ASSERT_TRUE(testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=6", "-c:v", "mpeg2video", "-g",
                                     "12", "-f", "vob", (dir / "plain.vob").string()}));
    const MROption before = host.option;
    TfmOption dlg(host, nullptr);
    host.source = QString::fromStdString((dir / "pillar.vob").string());
    Click(dlg, "sbtnDetect");
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(Get<QCheckBox>(dlg, "chkCrop")->isChecked());
    EXPECT_TRUE(Get<QSpinBox>(dlg, "seLeft")->isEnabled());
    EXPECT_EQ(Get<QSpinBox>(dlg, "seLeft")->value(), 90);
    EXPECT_EQ(Get<QSpinBox>(dlg, "seRight")->value(), 90);
    EXPECT_EQ(Get<QSpinBox>(dlg, "seTop")->value(), 0);
    EXPECT_TRUE(SameOption(before)); // nothing is cropped before OK

    // None found: the numbers already there stay, and the user is told.
    host.source = QString::fromStdString((dir / "plain.vob").string());
    Click(dlg, "sbtnDetect");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "No black borders were found.");
    EXPECT_FALSE(dialogs.messages[0].waitCursor);
    EXPECT_EQ(Get<QSpinBox>(dlg, "seLeft")->value(), 90);

    // A source that is no video: the engine's words, never margins.
    std::ofstream(dir / "notes.mpg") << "not a video\n";
    host.source = QString::fromStdString((dir / "notes.mpg").string());
    Click(dlg, "sbtnDetect");
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].caption, "Media Encoder Error");
    EXPECT_FALSE(dialogs.messages[1].waitCursor);

    Click(dlg, "sbtnOK");
    EXPECT_EQ(host.option.bCrop, 1);
    EXPECT_EQ(host.option.nCropLeft, 90);
    EXPECT_EQ(host.option.nCropRight, 90);
}

TEST_F(TfmOptionTest, QualityOutsideTheThreeChoicesShowsAndStoresMedium)
{
    for (std::int32_t q : {0, 4}) {
        nQuality = q;
        TfmOption dlg(host, nullptr);
        EXPECT_TRUE(Get<QRadioButton>(dlg, "rbtnM")->isChecked()) << q;
        Click(dlg, "sbtnOK");
        EXPECT_EQ(nQuality, 2) << q;
    }
    nQuality = 3;
    TfmOption dlg(host, nullptr);
    EXPECT_TRUE(Get<QRadioButton>(dlg, "rbtnL")->isChecked());
    Get<QRadioButton>(dlg, "rbtnH")->setChecked(true);
    Click(dlg, "sbtnOK");
    EXPECT_EQ(nQuality, 1);
}

TEST_F(TfmOptionTest, TextsAreCutToTheirFields)
{
    TfmOption dlg(host, nullptr);
    Get<QLineEdit>(dlg, "edtTitle")->setText(QString(300, QLatin1Char('t')));
    Get<QLineEdit>(dlg, "edtAuthor")->setText(QString(200, QLatin1Char('a')));
    Get<QLineEdit>(dlg, "edtCopyright")->setText(QString(126, QChar(0xA9)) + QString(10, QLatin1Char('c')));
    Get<QPlainTextEdit>(dlg, "memDesc")->setPlainText(QString(1500, QLatin1Char('d')));
    Click(dlg, "sbtnOK");
    EXPECT_EQ(std::string(host.option.szTitle), std::string(255, 't'));
    EXPECT_EQ(std::string(host.option.szAuthor), std::string(127, 'a'));
    // 126 two-byte characters take 252 bytes; three more bytes fit.
    EXPECT_EQ(std::strlen(host.option.szCopyright), 255u);
    EXPECT_EQ(std::string(host.option.szDescription), std::string(1023, 'd'));
}

TEST_F(TfmOptionTest, CancelLeavesTheRecordAndTheQualityAlone)
{
    nQuality = 3;
    host.option.nCropLeft = 9;
    const MROption before = host.option;
    TfmOption dlg(host, nullptr);
    OnNextModal<TfmOption>([](TfmOption* d) {
        Get<QCheckBox>(*d, "chkCrop")->click();
        TypeMargin(*d, "seLeft", "50");
        for (const char* c : {"chkOptimize", "chkTwoPass", "chkOptSpeech"})
            Get<QCheckBox>(*d, c)->click();
        Get<QLineEdit>(*d, "edtTitle")->setText("changed");
        Get<QLineEdit>(*d, "edtAuthor")->setText("changed");
        Get<QLineEdit>(*d, "edtCopyright")->setText("changed");
        Get<QPlainTextEdit>(*d, "memDesc")->setPlainText("changed");
        Get<QRadioButton>(*d, "rbtnH")->setChecked(true);
        Click(*d, "sbtnCancel");
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_TRUE(SameOption(before));
    EXPECT_EQ(nQuality, 3);
}

TEST_F(TfmOptionTest, ProfilesButtonWritesTheScreenFirstAndShowsALoadedProfile)
{
    testsupport::TempDir dir;
    MRProfileList store((dir / "mrprof.dat").string().c_str());
    auto* saved = new MROption(MakeOption());
    std::strcpy(saved->szName, "Saved");
    saved->bCrop = 1;
    saved->nCropRight = 24;
    saved->bOptimize = 1;
    std::strcpy(saved->szAuthor, "From the profile");
    ASSERT_TRUE(store.AddProfile(saved));
    host.profiles = &store;

    TfmOption dlg(host, nullptr);
    // Closing the profiles dialog, then cancelling here: what was on screen
    // when "&Profiles" was pressed stays in the record.
    Get<QLineEdit>(dlg, "edtTitle")->setText("on screen");
    Get<QRadioButton>(dlg, "rbtnL")->setChecked(true);
    OnNextModal<TfmProfile>([](TfmProfile* p) { Click(*p, "sbtnClose"); });
    Click(dlg, "sbtnProfile");
    Click(dlg, "sbtnCancel");
    EXPECT_STREQ(host.option.szTitle, "on screen");
    EXPECT_EQ(nQuality, 3);

    // Loading a profile shows it here; the quality choice stays.
    OnNextModal<TfmProfile>([](TfmProfile* p) {
        p->findChild<QTreeWidget*>(QStringLiteral("slvProfile"))->topLevelItem(0)->setSelected(true);
        Click(*p, "sbtnLoad");
    });
    Click(dlg, "sbtnProfile");
    EXPECT_TRUE(Get<QCheckBox>(dlg, "chkCrop")->isChecked());
    EXPECT_EQ(Get<QSpinBox>(dlg, "seRight")->text(), "24");
    EXPECT_TRUE(Get<QCheckBox>(dlg, "chkOptimize")->isChecked());
    EXPECT_EQ(Get<QLineEdit>(dlg, "edtAuthor")->text(), "From the profile");
    EXPECT_EQ(Get<QLineEdit>(dlg, "edtTitle")->text(), "");
    EXPECT_TRUE(Get<QRadioButton>(dlg, "rbtnL")->isChecked());
    EXPECT_EQ(host.updates.size(), 1u); // the main window was refreshed once, by the load
}

TEST_F(TfmOptionTest, WithoutLiveOptionsNothingIsShownOrCollected)
{
    host.hasOption = false;
    nQuality = 3;
    TfmOption dlg(host, nullptr);
    EXPECT_TRUE(Get<QRadioButton>(dlg, "rbtnM")->isChecked()); // the form's own choice
    EXPECT_FALSE(dlg.ExchangeOption(true));
    Click(dlg, "sbtnOK");
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(nQuality, 3);
}

} // namespace
