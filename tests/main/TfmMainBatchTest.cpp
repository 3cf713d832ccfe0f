// The batch page: the file list, its dialog and the batch start.
#include "MainFixture.h"

#include <QElapsedTimer>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "FakeEngine.h"
#include "FfmpegEngine.h"
#include "TfmOption.h"
#include "TfmSource.h"

namespace maintest {
namespace {

class BatchPage : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        Open();
        dialogs.messages.clear();
        ShowPage("spMain", "stMore");
    }
    QTreeWidget* List() const { return W<QTreeWidget>("lvFile"); }
    // Adds a row through the dialog, as the user does.
    void Add(const fs::path& source, const fs::path& output)
    {
        testsupport::OnNextModal<TfmSource>([source, output](TfmSource* d) {
            d->findChild<QLineEdit*>(QStringLiteral("edtSource"))->setText(QString::fromStdString(source.string()));
            d->findChild<QLineEdit*>(QStringLiteral("edtOutput"))->setText(QString::fromStdString(output.string()));
            d->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        });
        Button("sbtnAddFile")->click();
    }
    std::vector<std::pair<std::string, std::string>> Rows() const
    {
        std::vector<std::pair<std::string, std::string>> r;
        for (int i = 0; i < List()->topLevelItemCount(); ++i)
            r.emplace_back(List()->topLevelItem(i)->text(0).toStdString(),
                           List()->topLevelItem(i)->text(1).toStdString());
        return r;
    }
    std::vector<std::pair<std::string, std::string>> RunItems()
    {
        std::vector<std::pair<std::string, std::string>> r;
        auto* list = static_cast<CxTypedList<RunItem>*>(main->GetRunList());
        for (RunItem* i = list->GetFirst(); i; i = list->GetNext())
            r.emplace_back(i->szSource, i->szOutput);
        return r;
    }
};

TEST_F(BatchPage, TheListViewIsAReadOnlyTwoColumnReport)
{
    EXPECT_EQ(List()->columnCount(), 2);
    EXPECT_EQ(List()->headerItem()->text(0), QStringLiteral("Source File"));
    EXPECT_EQ(List()->headerItem()->text(1), QStringLiteral("Destination File"));
    EXPECT_EQ(List()->columnWidth(0), 220);
    EXPECT_EQ(List()->columnWidth(1), 220);
    EXPECT_EQ(List()->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(List()->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(List()->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_FALSE(List()->isSortingEnabled());
}

TEST_F(BatchPage, RowsComeOnlyFromAnAcceptedDialogAndStayInOrder)
{
    const fs::path a = dir / "a.avi", b = dir / "b.avi", c = dir / "c";
    std::ofstream(a) << "a";
    std::ofstream(b) << "b";
    fs::create_directories(c); // a folder passes the source test

    // Cancel and the frame add nothing, even with both edits filled.
    testsupport::OnNextModal<TfmSource>([&](TfmSource* d) {
        d->findChild<QLineEdit*>(QStringLiteral("edtSource"))->setText(QString::fromStdString(a.string()));
        d->findChild<QLineEdit*>(QStringLiteral("edtOutput"))->setText(QStringLiteral("x.wmv"));
        d->findChild<QPushButton*>(QStringLiteral("btnCancel"))->click();
    });
    Button("sbtnAddFile")->click();
    testsupport::OnNextModal<TfmSource>([&](TfmSource* d) {
        d->findChild<QLineEdit*>(QStringLiteral("edtSource"))->setText(QString::fromStdString(a.string()));
        d->findChild<QLineEdit*>(QStringLiteral("edtOutput"))->setText(QStringLiteral("x.wmv"));
        d->close();
    });
    Button("sbtnAddFile")->click();
    EXPECT_EQ(List()->topLevelItemCount(), 0);

    // A refused OK keeps the dialog open with what was typed; each dialog
    // opens empty.
    QString shownSource = QStringLiteral("unset");
    testsupport::OnNextModal<TfmSource>([&](TfmSource* d) {
        shownSource = d->findChild<QLineEdit*>(QStringLiteral("edtSource"))->text();
        d->findChild<QLineEdit*>(QStringLiteral("edtSource"))->setText(QStringLiteral("/no/such/file"));
        d->findChild<QLineEdit*>(QStringLiteral("edtOutput"))->setText(QStringLiteral("x.wmv"));
        d->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->findChild<QLineEdit*>(QStringLiteral("edtSource"))->text(), QStringLiteral("/no/such/file"));
        d->reject();
    });
    Button("sbtnAddFile")->click();
    EXPECT_TRUE(shownSource.isEmpty());
    ASSERT_FALSE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.messages.back().text, QStringLiteral("Invalid source video file name."));
    EXPECT_EQ(List()->topLevelItemCount(), 0);

    Add(a, dir / "a.wmv");
    Add(b, "b-out"); // no extension: a WMV file all the same, in the current folder
    Add(c, dir / "c.wmv");
    Add(a, dir / "a.wmv"); // the same pair twice: two rows
    EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                          {a.string(), (dir / "a.wmv").string()},
                          {b.string(), (fs::current_path() / "b-out.wmv").string()},
                          {c.string(), (dir / "c.wmv").string()},
                          {a.string(), (dir / "a.wmv").string()}}));

    // Delete without a selection does nothing; with one, removes that row.
    List()->clearSelection();
    Button("sbtnDelFile")->click();
    EXPECT_EQ(List()->topLevelItemCount(), 4);
    List()->topLevelItem(3)->setSelected(true);
    Button("sbtnDelFile")->click();
    List()->clearSelection();
    List()->topLevelItem(1)->setSelected(true);
    Button("sbtnDelFile")->click();
    EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{{a.string(), (dir / "a.wmv").string()},
                                                                        {c.string(), (dir / "c.wmv").string()}}));

    // The run list follows the rows, outputs included.
    EXPECT_TRUE(main->UpdateOption(true, true));
    EXPECT_EQ(RunItems(), Rows());
}

TEST_F(BatchPage, AnEmptyListIsRefusedWithTheInformationIcon)
{
    RefuseRunWindows runs;
    nQuality = mr::kQualityMedium;
    Radio("rbtnBatchLow")->setChecked(true);
    Button("sbtnBatchConvert")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text,
              QStringLiteral("No video file is selected, please at least add one file to the conversion list."));
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Information);
    EXPECT_EQ(runs.opened, 0);
    EXPECT_EQ(nQuality, mr::kQualityMedium); // options not collected
    EXPECT_EQ(main->GetRunList()->GetCount(), 0u);
}

TEST_F(BatchPage, OutputsSharedByTwoRowsAreRefusedAndExistingOnesAskedOnce)
{
    RefuseRunWindows runs;
    const fs::path src = dir / "s.avi";
    std::ofstream(src) << "s";
    Add(src, dir / "one.wmv");
    Add(src, dir / "sub" / ".." / "one.wmv"); // the same file spelt otherwise
    Radio("rbtnBatchHigh")->setChecked(true);
    Button("sbtnBatchConvert")->click();
    EXPECT_EQ(runs.opened, 0);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(dialogs.messages[0].icon, ui::Icon::Error);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("one.wmv")));
    EXPECT_NE(nQuality, mr::kQualityHigh); // nothing collected

    // Distinct outputs, five of which exist: one question naming the first
    // three and counting the rest; No opens no run window.
    List()->clear();
    dialogs.messages.clear();
    for (int i = 0; i < 6; ++i) {
        const fs::path out = dir / ("out" + std::to_string(i) + ".wmv");
        if (i > 0)
            std::ofstream(out) << "old";
        Add(src, out);
    }
    dialogs.answers = {ui::Answer::No};
    Button("sbtnBatchConvert")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const auto& q = dialogs.messages[0];
    EXPECT_EQ(q.caption, QStringLiteral("Confirm"));
    EXPECT_EQ(q.buttons, ui::Buttons::YesNo);
    EXPECT_TRUE(q.text.contains(QStringLiteral("out1.wmv")));
    EXPECT_TRUE(q.text.contains(QStringLiteral("out3.wmv")));
    EXPECT_FALSE(q.text.contains(QStringLiteral("out4.wmv")));
    EXPECT_FALSE(q.text.contains(QStringLiteral("out0.wmv")));
    EXPECT_TRUE(q.text.contains(QStringLiteral("2 more")));
    EXPECT_EQ(runs.opened, 0);

    dialogs.answers = {ui::Answer::Yes};
    Button("sbtnBatchConvert")->click();
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(runs.opened, 1);
    EXPECT_EQ(nQuality, mr::kQualityHigh);
    nQuality = mr::kQualityMedium;
}

TEST_F(BatchPage, DroppedFilesAndFoldersBecomeRowsWithTheirOwnOutputs)
{
    fs::create_directories(dir / "f");
    for (const char* n : {"f/a.avi", "f/a.mpg", "f/a.wmv", "one.mpeg", "skip.txt"})
        std::ofstream(dir / n) << "x";
    Add(dir / "one.mpeg", dir / "one.wmv"); // a row that is there already

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString((dir / "f").string())),
                  QUrl::fromLocalFile(QString::fromStdString((dir / "one.mpeg").string())),
                  QUrl::fromLocalFile(QString::fromStdString((dir / "skip.txt").string())),
                  QUrl(QStringLiteral("https://example.org/clip.avi"))});
    QWidget* target = List()->viewport();
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);

    const fs::path f = dir / "f";
    EXPECT_EQ(Rows(), (std::vector<std::pair<std::string, std::string>>{
                          {(dir / "one.mpeg").string(), (dir / "one.wmv").string()},
                          {(f / "a.avi").string(), (f / "a (2).wmv").string()},
                          {(f / "a.mpg").string(), (f / "a (3).wmv").string()},
                          {(f / "a.wmv").string(), (f / "a (4).wmv").string()},
                          {(dir / "one.mpeg").string(), (dir / "one (2).wmv").string()}}));
    for (const auto& [source, output] : Rows()) {
        EXPECT_NE(source, output);
        EXPECT_TRUE(fs::exists(source));
    }

    // A file dropped on the "Video File" page is the source, previewed.
    ShowPage("spMain", "stOne");
    ShowPage("pcSource", "stFile");
    Radio("rbtnVCD")->setEnabled(true);
    Radio("rbtnVCD")->click();
    QMimeData one;
    one.setUrls({QUrl::fromLocalFile(QString::fromStdString((f / "a.avi").string()))});
    QDropEvent onEdit(QPointF(5, 5), Qt::CopyAction, &one, Qt::LeftButton, Qt::NoModifier);
    ASSERT_TRUE(Radio("rbtnVCD")->isChecked());
    QDragEnterEvent enterEdit(QPoint(5, 5), Qt::CopyAction, &one, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Edit("edtSrcVCD"), &enterEdit);
    EXPECT_TRUE(enterEdit.isAccepted());
    QApplication::sendEvent(Edit("edtSrcVCD"), &onEdit);
    EXPECT_TRUE(Radio("rbtnFile")->isChecked());
    EXPECT_TRUE(Edit("edtSrcFile")->isEnabled());
    EXPECT_EQ(Edit("edtSrcFile")->text().toStdString(), (f / "a.avi").string());
    EXPECT_EQ(Preview()->URL().toStdString(), (f / "a.avi").string());
    EXPECT_TRUE(dialogs.messages.empty());
}

// Three clips in one run, at the batch page's resolution and quality.
TEST_F(BatchPage, QualityAndMarginsChosenInTheOptionsDialogShowHereAfterOk)
{
    nQuality = mr::kQualityMedium;
    // Typed on the other page and not collected yet: must survive.
    Edit("edtOutputFile")->setText(QStringLiteral("/typed/by/hand.wmv"));
    auto answer = [](bool ok) {
        testsupport::OnNextModal<TfmOption>([ok](TfmOption* d) {
            d->findChild<QRadioButton*>(QString::fromLatin1(ok ? "rbtnH" : "rbtnL"))->setChecked(true);
            d->findChild<QCheckBox*>(QStringLiteral("chkCrop"))->setChecked(true);
            d->findChild<QSpinBox*>(QStringLiteral("seLeft"))->setValue(ok ? 12 : 99);
            d->findChild<QSpinBox*>(QStringLiteral("seBottom"))->setValue(ok ? 6 : 99);
            d->findChild<QPushButton*>(QString::fromLatin1(ok ? "sbtnOK" : "sbtnCancel"))->click();
        });
    };
    answer(true);
    A("miToolsOption")->trigger();
    EXPECT_TRUE(Radio("rbtnBatchHigh")->isChecked());
    EXPECT_EQ(Edit("edtLeft")->text(), "12");
    EXPECT_EQ(Edit("edtBottom")->text(), "6");
    EXPECT_EQ(Edit("edtTop")->text(), "0");
    EXPECT_EQ(Edit("edtOutputFile")->text(), "/typed/by/hand.wmv");

    answer(false); // Cancel: the page keeps showing the last choice
    A("miToolsOption")->trigger();
    EXPECT_TRUE(Radio("rbtnBatchHigh")->isChecked());
    EXPECT_EQ(Edit("edtLeft")->text(), "12");

    // Collecting the page now keeps the dialog's choice.
    Add(dir.path(), dir / "out.wmv");
    RefuseRunWindows refuse;
    Button("sbtnBatchConvert")->click();
    EXPECT_EQ(refuse.opened, 1);
    EXPECT_EQ(nQuality, mr::kQualityHigh);
    EXPECT_EQ(main->GetOption()->nCropLeft, 12);
    nQuality = mr::kQualityMedium;
}

TEST_F(BatchPage, DetectFillsTheMarginsOfTheSourceTheUserChoseOnEitherPage)
{
    testsupport::ScopedFactory engine{&mce::FfmpegEngineFactory()};
    const fs::path plain = dir / "plain.mpg", pillar = dir / "pillar.mpg";
    ASSERT_TRUE(testsupport::MakeClip(plain, 4, 320, 240, "25", {"-c:v", "mpeg2video", "-g", "12"}, true));
    ASSERT_TRUE(
        testsupport::Ffmpeg({"-f", "lavfi", "-i", "testsrc2=s=540x480:r=25:d=4", "-vf", "pad=720:480:90:0:black",
                             "-c:v", "mpeg2video", "-b:v", "6M", "-g", "12", pillar.string()}));
    Button("sbtnDetect")->click();
    EXPECT_EQ(Texts(), std::vector<QString>{"No video file is selected, please at least add one file to the "
                                            "conversion list."});
    Add(plain, dir / "plain.wmv");
    Add(pillar, dir / "pillar.wmv");
    List()->setCurrentItem(List()->topLevelItem(1));
    Button("sbtnDetect")->click();
    EXPECT_EQ(Edit("edtLeft")->text(), "90");
    EXPECT_EQ(Edit("edtRight")->text(), "90");
    EXPECT_EQ(Edit("edtTop")->text(), "0");
    EXPECT_EQ(Edit("edtBottom")->text(), "0");

    // On the single-file page the options dialog looks at the chosen file.
    ShowPage("spMain", "stOne");
    ShowPage("pcSource", "stFile");
    Radio("rbtnFile")->click();
    Edit("edtSrcFile")->setText(QString::fromStdString(pillar.string()));
    int left = -1;
    testsupport::OnNextModal<TfmOption>([&left](TfmOption* d) {
        d->findChild<QPushButton*>(QStringLiteral("sbtnDetect"))->click();
        left = d->findChild<QSpinBox*>(QStringLiteral("seLeft"))->value();
        d->findChild<QPushButton*>(QStringLiteral("sbtnCancel"))->click();
    });
    A("miToolsOption")->trigger();
    EXPECT_EQ(left, 90);
    EXPECT_EQ(dialogs.messages.size(), 1u);
}

TEST_F(BatchPage, ThreeClipsBecomeThreeWmvFilesInOneRun)
{
    testsupport::ScopedFactory engine{&mce::FfmpegEngineFactory()};
    std::vector<fs::path> outs;
    for (int i = 0; i < 3; ++i) {
        const fs::path clip = dir / ("clip" + std::to_string(i) + ".mpg");
        ASSERT_TRUE(testsupport::MakeClip(clip, 1, 176, 144, "25", {"-c:v", "mpeg1video", "-c:a", "mp2"}));
        outs.push_back(dir / ("clip" + std::to_string(i) + ".wmv"));
        Add(clip, outs.back());
    }
    Radio("rbtnBatchWideRes")->setChecked(true);
    Radio("rbtnBatchLow")->setChecked(true);
    // The preview is left alone by a batch.
    Preview()->SetURL(QStringLiteral("/nothing/here.avi"));

    int finished = 0;
    QElapsedTimer clock;
    clock.start();
    RunWindowWatch watch([&](TfmConvert* w) {
        if (w->GetState() != TfmConvert::csFinished && clock.elapsed() < 180000)
            return false;
        finished += w->GetState() == TfmConvert::csFinished;
        w->done(QDialog::Accepted);
        return true;
    });
    Button("sbtnBatchConvert")->click();
    EXPECT_EQ(watch.opened, 1);
    EXPECT_EQ(finished, 1);
    for (const auto& m : dialogs.messages)
        ADD_FAILURE() << m.text.toStdString();
    EXPECT_EQ(Preview()->URL(), QStringLiteral("/nothing/here.avi"));
    EXPECT_EQ(nQuality, mr::kQualityLow);
    EXPECT_EQ(main->GetOption()->nResolution, 1);
    for (const fs::path& out : outs) {
        const auto probe = testsupport::Probe(out);
        ASSERT_FALSE(probe.empty()) << out;
        EXPECT_EQ(probe.at("video.codec_name"), "wmv2");
        EXPECT_EQ(probe.at("video.width"), "320");
        EXPECT_EQ(probe.at("video.height"), "240");
    }
    EXPECT_EQ(List()->topLevelItemCount(), 3); // the rows stay
    nQuality = mr::kQualityMedium;
}

} // namespace
} // namespace maintest
