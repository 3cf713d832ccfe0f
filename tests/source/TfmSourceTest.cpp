#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <fstream>
#include <string>

#include "Media.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TestHost.h"
#include "TfmSource.h"

namespace {

namespace fs = std::filesystem;
using testsupport::OnNextModal;

QString Q(const fs::path& p)
{
    return QString::fromStdString(p.string());
}

bool IsZero(const RunItem& item)
{
    const RunItem zero{};
    return std::memcmp(&item, &zero, sizeof item) == 0;
}

class TfmSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(clip) << "not really a clip";
        std::memset(&item, 0, sizeof item);
        dlg.SetRunItem(&item);
        ASSERT_TRUE(dlg.UpdateData(false));
    }

    QLineEdit* Edit(const char* name) { return dlg.findChild<QLineEdit*>(QString::fromLatin1(name)); }
    void Click(const char* name) { dlg.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }
    void Fill(const QString& source, const QString& output)
    {
        Edit("edtSource")->setText(source);
        Edit("edtOutput")->setText(output);
    }
    // Presses OK on the dialog as it stands; true when it closed with OK.
    bool PressOk()
    {
        dlg.setResult(QDialog::Rejected);
        Click("btnOK");
        return dlg.result() == QDialog::Accepted;
    }
    void ExpectOneError(const QString& text)
    {
        ASSERT_EQ(dialogs.messages.size(), 1u);
        EXPECT_EQ(dialogs.messages[0].text, text);
        EXPECT_EQ(dialogs.messages[0].caption, "Error");
        EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Error);
        EXPECT_EQ(dialogs.messages[0].owner, &dlg);
        dialogs.messages.clear();
    }

    testsupport::TempDir dir;
    fs::path clip = dir / "clip.avi";
    testsupport::ScriptedDialogs dialogs;
    testsupport::TestHost host;
    TfmSource dlg{host, nullptr};
    RunItem item;
};

TEST_F(TfmSourceTest, OpensEmptyInTheMainWindowsSkinAndShowsTheItemItIsGiven)
{
    EXPECT_EQ(dlg.windowTitle(), "Add a Source Video File");
    EXPECT_EQ(host.skinsApplied, 1);
    EXPECT_EQ(dlg.styleSheet(), skin::SkinStyleSheet(1));
    EXPECT_FALSE(dlg.styleSheet().isEmpty());
    EXPECT_EQ(Edit("edtSource")->text(), "");
    EXPECT_EQ(Edit("edtOutput")->text(), "");

    std::strcpy(item.szSource, "/media/a.avi");
    std::strcpy(item.szOutput, "/tmp/a.wmv");
    EXPECT_TRUE(dlg.UpdateData(false));
    EXPECT_EQ(Edit("edtSource")->text(), "/media/a.avi");
    EXPECT_EQ(Edit("edtOutput")->text(), "/tmp/a.wmv");

    TfmSource without(host, nullptr);
    EXPECT_FALSE(without.UpdateData(false));
    EXPECT_FALSE(without.UpdateData(true));
}

TEST_F(TfmSourceTest, OkRefusesAMissingSourceOrAnEmptyOutputAndStaysOpen)
{
    Fill("", "/tmp/out.wmv");
    EXPECT_FALSE(PressOk());
    ExpectOneError("Invalid source video file name.");

    Fill(Q(dir / "missing.avi"), "/tmp/out.wmv");
    EXPECT_FALSE(PressOk());
    ExpectOneError("Invalid source video file name.");
    EXPECT_EQ(Edit("edtSource")->text(), Q(dir / "missing.avi")); // left as typed

    Fill(Q(clip), "");
    EXPECT_FALSE(PressOk());
    ExpectOneError("Invalid output video file name");
    EXPECT_EQ(Edit("edtSource")->text(), Q(clip));
    EXPECT_TRUE(IsZero(item));
}

TEST_F(TfmSourceTest, OkAcceptsAnExistingFolderAndAnyNonEmptyOutput)
{
    Fill(Q(dir.path()), "no-extension-in/a/missing/folder");
    EXPECT_TRUE(PressOk());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(std::string(item.szSource), dir.path().string());
    EXPECT_STREQ(item.szOutput, "no-extension-in/a/missing/folder");

    Fill(Q(clip), Q(clip)); // an existing file, even the source itself, is not questioned here
    EXPECT_TRUE(PressOk());
    EXPECT_EQ(std::string(item.szOutput), clip.string());
}

TEST_F(TfmSourceTest, PathsLongerThanTheirFieldAreRefusedNeverCut)
{
    // A source that exists but whose path takes more than 259 bytes.
    fs::path deep = dir.path();
    while (deep.string().size() < 300)
        deep /= std::string(60, 'd');
    fs::create_directories(deep);
    Fill(Q(deep), "/tmp/out.wmv");
    EXPECT_FALSE(PressOk());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Error");
    EXPECT_TRUE(dialogs.messages[0].text.contains("source file path is too long"));
    EXPECT_TRUE(dialogs.messages[0].text.contains("259"));
    dialogs.messages.clear();
    EXPECT_TRUE(IsZero(item));

    const std::string base = "/tmp/";
    Fill(Q(clip), QString::fromStdString(base + std::string(260 - base.size(), 'o'))); // 260 bytes
    EXPECT_FALSE(PressOk());
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].text.contains("output file path is too long"));
    dialogs.messages.clear();
    EXPECT_TRUE(IsZero(item));

    // Multi-byte characters count by their bytes: 129 two-byte characters
    // plus the folder make more than 259 bytes though fewer characters.
    Fill(Q(clip), QString::fromStdString(base) + QString(129, QChar(0xE9)));
    EXPECT_FALSE(PressOk());
    EXPECT_EQ(dialogs.messages.size(), 1u);
    dialogs.messages.clear();

    const std::string fits = base + std::string(259 - base.size(), 'o');
    Fill(Q(clip), QString::fromStdString(fits));
    EXPECT_TRUE(PressOk());
    EXPECT_EQ(std::string(item.szOutput), fits);
}

TEST_F(TfmSourceTest, BrowseButtonsAskTheFileDialogsAndTakeOnlyAConfirmedChoice)
{
    Edit("edtSource")->setText("/old/source.avi");
    dialogs.openPaths = {Q(clip), ""};
    Click("btnBrowseSource");
    Click("btnBrowseSource"); // cancelled: the edit keeps the first choice
    ASSERT_EQ(dialogs.fileRequests.size(), 2u);
    const ui::FileDialogRequest& open = dialogs.fileRequests[0];
    EXPECT_EQ(open.owner, &dlg);
    EXPECT_EQ(open.title, "Open Source Video File");
    EXPECT_EQ(open.initialName, "/old/source.avi");
    ASSERT_EQ(open.filters.size(), 3);
    EXPECT_TRUE(open.filters[0].startsWith("Windows Video Files (*.wmv, *.avi, *.mpg, *.mpeg)"));
    EXPECT_TRUE(open.filters[1].startsWith("DVD Files (*.VOB)"));
    EXPECT_TRUE(open.filters[1].contains("*.vob"));
    EXPECT_TRUE(open.filters[2].startsWith("All Files(*.*)"));
    EXPECT_TRUE(open.mustExist);
    EXPECT_EQ(dialogs.fileRequests[1].initialName, Q(clip));
    EXPECT_EQ(Edit("edtSource")->text(), Q(clip));

    Edit("edtOutput")->setText("/videos/existing.wmv");
    dialogs.savePaths = {"/videos/new.wmv"};
    Click("btnBrowseOutput");
    ASSERT_EQ(dialogs.fileRequests.size(), 3u);
    const ui::FileDialogRequest& save = dialogs.fileRequests[2];
    EXPECT_EQ(save.owner, &dlg);
    EXPECT_EQ(save.title, "Choose Output File Name");
    EXPECT_EQ(save.initialName, "/videos/existing.wmv");
    ASSERT_EQ(save.filters.size(), 1);
    EXPECT_TRUE(save.filters[0].startsWith("Windows Media Video File(*.wmv)"));
    EXPECT_FALSE(save.promptOverwrite);
    EXPECT_FALSE(save.addExtension);
    EXPECT_EQ(Edit("edtOutput")->text(), "/videos/new.wmv");

    // A chosen path that would not fit is refused and the edit stays.
    dialogs.savePaths = {QStringLiteral("/") + QString(300, QLatin1Char('x'))};
    Click("btnBrowseOutput");
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(Edit("edtOutput")->text(), "/videos/new.wmv");
}

TEST_F(TfmSourceTest, CancelAndTheFramesCloseLeaveTheItemAlone)
{
    OnNextModal<TfmSource>([this](TfmSource* d) {
        Fill(Q(clip), "/tmp/out.wmv");
        d->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    OnNextModal<TfmSource>([this](TfmSource* d) {
        Fill(Q(clip), "/tmp/out.wmv");
        d->close();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Rejected);
    EXPECT_TRUE(IsZero(item));

    OnNextModal<TfmSource>([this](TfmSource* d) {
        Fill(Q(clip), "/tmp/out.wmv");
        d->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    EXPECT_EQ(dlg.exec(), QDialog::Accepted);
    EXPECT_EQ(std::string(item.szSource), clip.string());
}

} // namespace
