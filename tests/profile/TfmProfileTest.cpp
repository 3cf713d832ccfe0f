#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "MRProfileList.h"
#include "Media.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TestHost.h"
#include "TfmInputString.h"
#include "TfmProfile.h"

namespace {

namespace fs = std::filesystem;
using testsupport::OnNextModal;

MROption* Named(const char* name, std::int32_t resolution = 0)
{
    auto* p = new MROption(MakeOption());
    std::strcpy(p->szName, name);
    p->nResolution = resolution;
    return p;
}

// The file's header: profile count, then current index (little-endian).
std::int32_t HeaderInt(const fs::path& file, int at)
{
    std::ifstream in(file, std::ios::binary);
    unsigned char b[8] = {};
    in.read(reinterpret_cast<char*>(b), sizeof b);
    return static_cast<std::int32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | unsigned(b[at + 3]) << 24);
}

class TfmProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host.profiles = &store;
        nQuality = 2;
    }
    void TearDown() override { nQuality = 2; }

    QTreeWidget* List(TfmProfile& dlg) { return dlg.findChild<QTreeWidget*>(QStringLiteral("slvProfile")); }
    QPushButton* Button(TfmProfile& dlg, const char* name) { return dlg.findChild<QPushButton*>(name); }
    std::vector<std::pair<QString, QString>> Rows(TfmProfile& dlg)
    {
        std::vector<std::pair<QString, QString>> rows;
        for (int i = 0; i < List(dlg)->topLevelItemCount(); ++i)
            rows.emplace_back(List(dlg)->topLevelItem(i)->text(0), List(dlg)->topLevelItem(i)->text(1));
        return rows;
    }
    // Presses "&Save Current Options" and answers the prompt; returns the
    // text the prompt proposed.
    QString SaveAs(TfmProfile& dlg, const QString& name, bool ok = true)
    {
        QString proposal;
        OnNextModal<TfmInputString>([&](TfmInputString* prompt) {
            EXPECT_EQ(prompt->windowTitle(), "Choose a name for the profile");
            auto* edit = prompt->findChild<QLineEdit*>(QStringLiteral("edtString"));
            proposal = edit->text();
            edit->setText(name);
            prompt->findChild<QPushButton*>(QString::fromLatin1(ok ? "sbtnOK" : "sbtnCancel"))->click();
        });
        Button(dlg, "sbtnSave")->click();
        return proposal;
    }

    testsupport::TempDir dir;
    fs::path file = dir / "mrprof.dat";
    MRProfileList store{file.string().c_str()};
    testsupport::ScriptedDialogs dialogs;
    testsupport::TestHost host;
};

TEST_F(TfmProfileTest, EmptyStoreProposesProfile1AndSavesItAsTheCurrentProfile)
{
    host.skinType = 5;
    TfmProfile dlg(host, nullptr);
    EXPECT_EQ(dlg.styleSheet(), skin::SkinStyleSheet(5));
    EXPECT_TRUE(Rows(dlg).empty());

    host.option.nResolution = 3;
    std::strcpy(host.option.szTitle, "Holiday");
    EXPECT_EQ(SaveAs(dlg, "Profile 1"), "Profile 1");
    EXPECT_EQ(host.skinsApplied, 2); // the prompt took the skin too
    EXPECT_STREQ(host.option.szName, "Profile 1");
    EXPECT_EQ(Rows(dlg), (std::vector<std::pair<QString, QString>>{{"1", "Profile 1"}}));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(HeaderInt(file, 0), 1);
    EXPECT_EQ(HeaderInt(file, 4), 0);

    EXPECT_EQ(SaveAs(dlg, "Second"), "Profile 2");
    EXPECT_EQ(Rows(dlg).size(), 2u);
    EXPECT_EQ(HeaderInt(file, 4), 1);

    // The next start applies the newest profile, with the whole record.
    MRProfileList next(file.string().c_str());
    ASSERT_TRUE(next.Load());
    ASSERT_NE(next.GetCurrentProfile(), nullptr);
    EXPECT_STREQ(next.GetCurrentProfile()->szName, "Second");
    EXPECT_EQ(next.GetCurrentProfile()->nResolution, 3);
    EXPECT_STREQ(next.GetCurrentProfile()->szTitle, "Holiday");
}

TEST_F(TfmProfileTest, ATakenNameIsAskedAboutAndReplacedOnlyOnYes)
{
    ASSERT_TRUE(store.AddProfile(Named("A")));
    ASSERT_TRUE(store.AddProfile(Named("Profile 4", 1)));
    ASSERT_TRUE(store.AddProfile(Named("C")));
    store.SetCurrentIndex(0);
    store.SetCurrentProfile(store.GetFirstProfile());
    ASSERT_TRUE(store.Save());
    const std::string before = [&] {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    std::strcpy(host.option.szName, "live");
    host.option.nResolution = 3;
    TfmProfile dlg(host, nullptr);

    // The proposal is the next number even though that name is taken.
    dialogs.answers = {ui::Answer::No};
    EXPECT_EQ(SaveAs(dlg, "Profile 4"), "Profile 4");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Confirm");
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Question);
    EXPECT_EQ(dialogs.messages[0].buttons, ui::Buttons::YesNo);
    EXPECT_TRUE(dialogs.messages[0].text.contains("\"Profile 4\""));
    EXPECT_STREQ(host.option.szName, "live");
    EXPECT_EQ(store.GetProfileCount(), 3u);
    EXPECT_EQ(store.FindProfileByName("Profile 4")->nResolution, 1);
    {
        std::ifstream in(file, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
    }

    dialogs.answers = {ui::Answer::Yes};
    SaveAs(dlg, "Profile 4");
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_STREQ(host.option.szName, "Profile 4");
    EXPECT_EQ(Rows(dlg), (std::vector<std::pair<QString, QString>>{{"1", "A"}, {"2", "Profile 4"}, {"3", "C"}}));
    MRProfileList next(file.string().c_str());
    ASSERT_TRUE(next.Load());
    EXPECT_EQ(next.GetProfileCount(), 3u);
    EXPECT_STREQ(next.GetCurrentProfile()->szName, "Profile 4");
    EXPECT_EQ(next.GetCurrentProfile()->nResolution, 3);
    EXPECT_EQ(HeaderInt(file, 4), 1);

    // Names differing in case only, and an empty one, are names of their own.
    SaveAs(dlg, "profile 4");
    SaveAs(dlg, "");
    EXPECT_EQ(store.GetProfileCount(), 5u);
    EXPECT_EQ(dialogs.messages.size(), 2u);

    // Names are cut to the field, never past it.
    SaveAs(dlg, QString(300, QLatin1Char('n')));
    EXPECT_EQ(std::string(host.option.szName), std::string(255, 'n'));
    EXPECT_EQ(store.GetProfileCount(), 6u);
}

TEST_F(TfmProfileTest, CancelInThePromptChangesNothing)
{
    std::strcpy(host.option.szName, "before");
    TfmProfile dlg(host, nullptr);
    SaveAs(dlg, "never", false);
    EXPECT_STREQ(host.option.szName, "before");
    EXPECT_EQ(store.GetProfileCount(), 0u);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(Rows(dlg).empty());
}

TEST_F(TfmProfileTest, LoadCopiesTheSelectedProfileOverTheLiveOptionsButNotTheQuality)
{
    ASSERT_TRUE(store.AddProfile(Named("first", 1)));
    MROption* second = Named("second", 3);
    std::strcpy(second->szOutputFile, "/videos/second.wmv");
    second->bCrop = 1;
    second->nCropLeft = 8;
    std::strcpy(second->szDescription, "from the profile");
    ASSERT_TRUE(store.AddProfile(second));
    nQuality = 3;
    std::strcpy(host.option.szOutputFile, "/live/output.wmv");

    TfmProfile dlg(host, nullptr);
    QPushButton* load = Button(dlg, "sbtnLoad");
    EXPECT_FALSE(load->isEnabled()); // nothing selected, nothing to load
    load->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(dialogs.messages.empty());

    List(dlg)->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(load->isEnabled());
    load->click();
    EXPECT_EQ(std::memcmp(&host.option, second, sizeof(MROption)), 0);
    EXPECT_EQ(nQuality, 3);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "Conversion profile loaded successfully.");
    EXPECT_EQ(dialogs.messages[0].caption, "Information");
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Information);
    EXPECT_EQ(host.updates, (std::vector<std::pair<bool, bool>>{{false, true}}));
    EXPECT_EQ(host.shown, 1);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(fs::exists(file)); // loading does not touch the store

    List(dlg)->clearSelection();
    EXPECT_FALSE(load->isEnabled());
}

TEST_F(TfmProfileTest, AFailedWriteIsReportedAndTheProfileStaysListed)
{
    const fs::path unwritable = dir / "no-such-folder" / "mrprof.dat";
    MRProfileList broken(unwritable.string().c_str());
    host.profiles = &broken;
    TfmProfile dlg(host, nullptr);
    SaveAs(dlg, "kept for now");
    EXPECT_EQ(Rows(dlg).size(), 1u);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Error");
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Error);
    EXPECT_EQ(dialogs.messages[0].owner, &dlg);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QString::fromStdString(unwritable.string())));
    EXPECT_TRUE(dialogs.messages[0].text.contains("missing at the next start"));
}

TEST_F(TfmProfileTest, WithoutAStoreTheListStaysEmptyAndSaveDoesNothing)
{
    host.profiles = nullptr;
    TfmProfile dlg(host, nullptr);
    EXPECT_FALSE(dlg.FillList());
    Button(dlg, "sbtnSave")->click(); // no prompt is opened, so this returns at once
    EXPECT_TRUE(Rows(dlg).empty());
    EXPECT_STREQ(host.option.szName, "");
}

} // namespace
