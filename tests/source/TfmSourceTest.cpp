#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <cstring>
#include <fstream>
#include <string>

#include "Media.h"
#include "QtTestApp.h"
#include "ScriptedDialogs.h"
#include "TestHost.h"
#include "TextUtil.h"
#include "TfmSource.h"

namespace {

namespace fs = std::filesystem;

QString Q(const fs::path& p)
{
    return QString::fromStdString(p.string());
}

class TfmSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ofstream(clip) << "not really a clip";
        dlg.SetRunItem(&item);
        dlg.UpdateData(false);
    }
    QLineEdit* Edit(const char* name) { return dlg.findChild<QLineEdit*>(QString::fromLatin1(name)); }
    void Click(const char* name) { dlg.findChild<QPushButton*>(QString::fromLatin1(name))->click(); }
    // Fills the edits and presses OK; true when the dialog closed with OK.
    bool Ok(const QString& source, const QString& output)
    {
        Edit("edtSource")->setText(source);
        Edit("edtOutput")->setText(output);
        dlg.setResult(QDialog::Rejected);
        Click("btnOK");
        return dlg.result() == QDialog::Accepted;
    }
    QString TakeError()
    {
        EXPECT_EQ(dialogs.messages.size(), 1u);
        if (dialogs.messages.empty())
            return {};
        const testsupport::RecordedMessage m = dialogs.messages.back();
        dialogs.messages.clear();
        EXPECT_EQ(m.caption, "Error");
        EXPECT_EQ(m.icon, ui::Icon::Error);
        EXPECT_EQ(m.owner, &dlg);
        return m.text;
    }
    bool ItemUntouched() const { return item.szSource[0] == 0 && item.szOutput[0] == 0; }

    testsupport::TempDir dir;
    fs::path clip = dir / "clip.avi";
    testsupport::ScriptedDialogs dialogs;
    testsupport::TestHost host;
    TfmSource dlg{host, nullptr};
    RunItem item{};
};

TEST_F(TfmSourceTest, OkRefusesAMissingSourceOrAnEmptyOutputAndStaysOpen)
{
    EXPECT_FALSE(Ok("", "/tmp/out.wmv"));
    EXPECT_EQ(TakeError(), "Invalid source video file name.");
    EXPECT_FALSE(Ok(Q(dir / "missing.avi"), "/tmp/out.wmv"));
    EXPECT_EQ(TakeError(), "Invalid source video file name.");
    EXPECT_EQ(Edit("edtSource")->text(), Q(dir / "missing.avi")); // left as typed
    EXPECT_FALSE(Ok(Q(clip), ""));
    EXPECT_EQ(TakeError(), "Invalid output video file name");
    EXPECT_TRUE(ItemUntouched());

    TfmSource without(host, nullptr);
    EXPECT_FALSE(without.UpdateData(false));
    EXPECT_FALSE(without.UpdateData(true));
}

TEST_F(TfmSourceTest, OkAcceptsAnExistingFolderAndAnyNonEmptyOutputAsAWmvFile)
{
    EXPECT_EQ(dlg.styleSheet(), skin::SkinStyleSheet(1));
    EXPECT_TRUE(Ok(Q(dir.path()), "no-extension/in/a/missing/folder"));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(std::string(item.szSource), dir.path().string());
    // A relative output is taken in the current folder, where the engine
    // would write it; typed without an extension, it gets ".wmv".
    EXPECT_EQ(std::string(item.szOutput), (fs::current_path() / "no-extension/in/a/missing/folder.wmv").string());

    // An existing output, even the source itself, is not questioned here.
    EXPECT_TRUE(Ok(Q(clip), Q(clip)));
    EXPECT_EQ(std::string(item.szOutput), clip.string());

    // The item is shown as it stands when the dialog opens again.
    TfmSource again(host, nullptr);
    again.SetRunItem(&item);
    again.UpdateData(false);
    EXPECT_EQ(again.findChild<QLineEdit*>(QStringLiteral("edtSource"))->text(), Q(clip));
}

// The chosen source names the output, in the folder of the main window's
// output while the dialog's is empty, until the user types a name.
TEST_F(TfmSourceTest, TheOutputFollowsTheChosenSourceUntilTheUserNamesIt)
{
    cx::CopyText(host.option.szOutputFile, (dir / "out" / "film.wmv").c_str());
    const fs::path other = dir / "other.mpg";
    std::ofstream(other) << "b";
    dialogs.openPaths = {Q(clip), Q(other), Q(clip)};
    Click("btnBrowseSource");
    EXPECT_EQ(Edit("edtOutput")->text(), Q(dir / "out" / "clip.wmv"));
    Click("btnBrowseSource");
    EXPECT_EQ(Edit("edtOutput")->text(), Q(dir / "out" / "other.wmv"));
    Edit("edtOutput")->setText(Q(dir / "mine.wmv"));
    Click("btnBrowseSource");
    EXPECT_EQ(Edit("edtOutput")->text(), Q(dir / "mine.wmv"));
}

TEST_F(TfmSourceTest, PathsLongerThanTheirFieldAreRefusedNeverCut)
{
    fs::path deep = dir.path(); // exists, but its path takes more than 259 bytes
    while (deep.string().size() < 300)
        deep /= std::string(60, 'd');
    fs::create_directories(deep);
    EXPECT_FALSE(Ok(Q(deep), "/tmp/out.wmv"));
    QString text = TakeError();
    EXPECT_TRUE(text.contains("source file path is too long") && text.contains("259")) << text.toStdString();

    EXPECT_FALSE(Ok(Q(clip), "/tmp/" + QString(255, QLatin1Char('o')))); // 260 bytes
    EXPECT_TRUE(TakeError().contains("output file path is too long"));
    // Bytes count, not characters: 134 characters, 263 bytes.
    EXPECT_FALSE(Ok(Q(clip), "/tmp/" + QString(129, QChar(0xE9))));
    TakeError();
    EXPECT_TRUE(ItemUntouched());

    const QString fits = "/tmp/" + QString(250, QLatin1Char('o')) + ".wmv"; // 259 bytes
    EXPECT_TRUE(Ok(Q(clip), fits));
    EXPECT_EQ(QString::fromUtf8(item.szOutput), fits);
}

TEST_F(TfmSourceTest, BrowseButtonsAskTheFileDialogsAndTakeOnlyAConfirmedChoice)
{
    Edit("edtSource")->setText("/old/source.avi");
    dialogs.openPaths = {Q(clip), ""};
    Click("btnBrowseSource");
    Click("btnBrowseSource"); // cancelled: the edit keeps the first choice
    EXPECT_EQ(Edit("edtSource")->text(), Q(clip));
    ASSERT_EQ(dialogs.fileRequests.size(), 2u);
    const ui::FileDialogRequest& open = dialogs.fileRequests[0];
    EXPECT_EQ(open.owner, &dlg);
    EXPECT_EQ(open.title, "Open Source Video File");
    EXPECT_EQ(open.initialName, "/old/source.avi");
    EXPECT_EQ(dialogs.fileRequests[1].initialName, Q(clip));
    ASSERT_EQ(open.filters.size(), 5);
    EXPECT_TRUE(open.filters[0].startsWith("Windows Video Files (*.wmv, *.avi, *.mpg, *.mpeg)"));
    EXPECT_TRUE(open.filters[1].startsWith("DVD Files (*.VOB)") && open.filters[1].contains("*.vob"));
    EXPECT_TRUE(open.filters[2].startsWith("DVD Images (*.iso)"));
    EXPECT_TRUE(open.filters[3].contains("*.mp4 ") && open.filters[3].contains("*.m2ts "));
    EXPECT_TRUE(open.filters[4].startsWith("All Files(*.*)"));
    EXPECT_TRUE(open.mustExist);

    Edit("edtOutput")->setText("/videos/existing.wmv");
    dialogs.savePaths = {"/videos/new.wmv", "/" + QString(300, QLatin1Char('x'))};
    Click("btnBrowseOutput");
    const ui::FileDialogRequest& save = dialogs.fileRequests[2];
    EXPECT_EQ(save.title, "Choose Output File Name");
    EXPECT_EQ(save.initialName, "/videos/existing.wmv");
    EXPECT_EQ(save.filters, QStringList{"Windows Media Video File(*.wmv) (*.wmv *.WMV)"});
    EXPECT_FALSE(save.promptOverwrite);
    EXPECT_FALSE(save.addExtension);
    EXPECT_EQ(Edit("edtOutput")->text(), "/videos/new.wmv");
    Click("btnBrowseOutput"); // a choice that would not fit is refused
    EXPECT_TRUE(TakeError().contains("too long"));
    EXPECT_EQ(Edit("edtOutput")->text(), "/videos/new.wmv");
}

// The product's own file dialogs: each filter is shown once, as described,
// and its patterns still choose what is listed.
TEST_F(TfmSourceTest, FileDialogsShowEachFilterOnceAndApplyItsPatterns)
{
    std::ofstream(dir / "notes.txt") << "not a video";
    ui::InstallDialogs(nullptr);
    QStringList openShown, saveShown, listed;
    const auto read = [&](QStringList& shown, QStringList* files) {
        testsupport::OnNextModal<QFileDialog>([&shown, files](QFileDialog* d) {
            auto* types = d->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; types && i < types->count(); ++i)
                shown << types->itemText(i);
            auto* list = d->findChild<QAbstractItemView*>(QStringLiteral("listView"));
            // The folder is listed on a thread of the dialog's own.
            for (int i = 0; files && list && i < 500 && list->model()->rowCount(list->rootIndex()) == 0; ++i)
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            for (int i = 0; files && list && i < list->model()->rowCount(list->rootIndex()); ++i)
                *files << list->model()->index(i, 0, list->rootIndex()).data().toString();
            d->reject();
        });
    };
    Edit("edtSource")->setText(Q(clip));
    read(openShown, &listed);
    Click("btnBrowseSource");
    read(saveShown, nullptr);
    Click("btnBrowseOutput");
    ui::InstallDialogs(&dialogs);

    const auto all = [](const QStringList& l) { return l.join(QStringLiteral(" | ")).toStdString(); };
    EXPECT_EQ(
        all(openShown),
        "Windows Video Files (*.wmv, *.avi, *.mpg, *.mpeg) | DVD Files (*.VOB) | DVD Images "
        "(*.iso) | Other Video Files (*.mp4, *.m4v, *.mkv, *.mov, *.webm, *.flv, *.3gp, *.ts, *.m2ts, *.vob, *.dat) | "
        "All Files(*.*)");
    EXPECT_EQ(all(listed), "clip.avi");
    EXPECT_EQ(all(saveShown), "Windows Media Video File(*.wmv)");
}

TEST_F(TfmSourceTest, OnlyOkFillsTheItemNotCancelNorTheFramesClose)
{
    for (const char* how : {"btnCancel", "close", "btnOK"}) {
        testsupport::OnNextModal<TfmSource>([this, how](TfmSource* d) {
            Edit("edtSource")->setText(Q(clip));
            Edit("edtOutput")->setText("/tmp/out.wmv");
            if (std::strcmp(how, "close") == 0)
                d->close();
            else
                Click(how);
        });
        const int result = dlg.exec();
        EXPECT_EQ(result == QDialog::Accepted, std::strcmp(how, "btnOK") == 0) << how;
        EXPECT_EQ(ItemUntouched(), std::strcmp(how, "btnOK") != 0) << how;
    }
}

} // namespace
