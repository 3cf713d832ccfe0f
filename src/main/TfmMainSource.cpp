// Main window: the video source panel, the preview and the run list.
#include <QComboBox>
#include <QListWidget>
#include <QLocale>
#include <QSignalBlocker>

#include <filesystem>
#include <system_error>
#include <vector>

#include "Assert.h"
#include "CxDVDUtil.h"
#include "DataFiles.h"
#include "DialogService.h"
#include "Engine.h"
#include "OutputNames.h"
#include "PathUtil.h"
#include "SourceFilters.h"
#include "TextUtil.h"
#include "TfmMain.h"
#include "ui_TfmMain.h"

namespace {

// Titles above this size are real programme material; the smaller ones are
// menus and trailers.
constexpr std::uint32_t kTitleThreshold = 0x2000000;

bool PathExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(path.toStdString()), ec);
}

// Lists a DVD source's sound streams, the engine's choice selected; the
// list is hidden for a source that is no DVD title.
void ShowAudioChoices(QComboBox* combo, const QString& path, bool wholeTitle)
{
    combo->clear();
    std::vector<mce::AudioChoice> streams;
    std::int32_t chosen = 0;
    mce::IEngineFactory* engine = mce::InstalledFactory();
    if (!engine || path.isEmpty() ||
        engine->GetSourceAudio(path.toUtf8().constData(), wholeTitle, &streams, &chosen) != mce::rc::Ok ||
        streams.empty()) {
        combo->setVisible(false);
        return;
    }
    for (const mce::AudioChoice& a : streams) {
        const QLocale lang(QString::fromStdString(a.language));
        QString name = a.language.empty() || lang.language() == QLocale::C
                           ? QStringLiteral("%1").arg(combo->count() + 1)
                           : QLocale::languageToString(lang.language());
        if (a.commentary)
            name += QStringLiteral(" (commentary)");
        combo->addItem(QStringLiteral("Sound: %1").arg(name), a.streamId);
        if (a.streamId == chosen)
            combo->setCurrentIndex(combo->count() - 1);
    }
    combo->setVisible(true);
}

// The stream a list shows chosen, 0 when it is hidden.
std::int32_t ChosenAudio(const QComboBox* combo)
{
    return combo->isVisibleTo(combo->parentWidget()) && combo->currentIndex() >= 0 ? combo->currentData().toInt() : 0;
}

VOBInfo* EntryOf(const QListWidgetItem* item)
{
    return item ? reinterpret_cast<VOBInfo*>(item->data(Qt::UserRole).value<quintptr>()) : nullptr;
}

} // namespace

bool TfmMain::PathFits(const QString& path, const QString& what)
{
    if (cx::FitsField(path.toUtf8().constData(), sizeof(RunItem::szSource)))
        return true;
    ui::ShowErrorBox(this, QStringLiteral("The %1 path is longer than %2 bytes, which Morvane Converter cannot "
                                          "handle:\n%3\nPlease choose a shorter path.")
                               .arg(what)
                               .arg(sizeof(RunItem::szSource) - 1)
                               .arg(path));
    return false;
}

QString TfmMain::DVDTitlePath(const char* szFileName) const
{
    // Room beyond the field, so that a path too long for it is shown and
    // refused rather than lost.
    char path[4096] = {};
    GetVOBPath(m_pDVDChecker->GetDrive(), szFileName, path, sizeof path);
    return QString::fromUtf8(path);
}

void TfmMain::RefreshDVDList(bool bSilent)
{
    CX_ASSERT(m_pDVDChecker);
    m_pDVDChecker->Refresh();
    ui->lbChapters->clear();
    ui->cbDVDAudio->clear();
    ui->cbDVDAudio->setVisible(false);
    if (m_pDVDChecker->GetDrive() == 0) {
        if (!bSilent)
            ui::ShowInformation(this, QStringLiteral("No DVD disc found. Please insert a disc and try again."));
        return;
    }

    const VOBInfo* checked = nullptr;
    const QSignalBlocker filling(ui->lbChapters); // the lines are not the user's checks
    for (VOBInfo* entry = m_pDVDChecker->GetFirstVOB(); entry; entry = m_pDVDChecker->GetNextVOB()) {
        auto* item = new QListWidgetItem(QString::fromUtf8(entry->szFileName), ui->lbChapters);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(entry)));
        const bool check = !checked && entry->nFileSize > kTitleThreshold;
        item->setCheckState(check ? Qt::Checked : Qt::Unchecked);
        if (check)
            checked = entry;
    }
    if (ui->lbChapters->count() > 0 && checked) {
        ui->wmpMain->SetURL(DVDTitlePath(checked->szFileName));
        OutputFollows(DVDTitlePath(checked->szFileName));
    }
    ShowDVDAudio();
}

void TfmMain::sbtnDVDRefreshClick()
{
    RefreshDVDList(false);
}

void TfmMain::lbChaptersClick(QListWidgetItem* item)
{
    if (!item)
        item = ui->lbChapters->currentItem();
    const VOBInfo* entry = EntryOf(item);
    if (!entry)
        return;
    QString text = QStringLiteral("File Size: %1 bytes").arg(entry->nFileSize);
    // With the whole title chosen, what the user gets is the title's length.
    std::int64_t ms = 0;
    mce::IEngineFactory* engine = mce::InstalledFactory();
    if (ui->chkWholeTitle->isChecked() && engine &&
        engine->GetTitleLength(DVDTitlePath(entry->szFileName).toUtf8().constData(), &ms) == mce::rc::Ok && ms > 0)
        text += QStringLiteral("\nTitle Length: %1:%2:%3")
                    .arg(ms / 3600000)
                    .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                    .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
    ui->lblSize->setText(text);
}

void TfmMain::lbChaptersChanged(QListWidgetItem* item)
{
    if (item && item->checkState() == Qt::Checked)
        OutputFollows(DVDTitlePath(item->text().toUtf8().constData()));
    ShowDVDAudio();
}

void TfmMain::ShowDVDAudio()
{
    QString title;
    for (int i = 0; i < ui->lbChapters->count() && title.isEmpty(); ++i) {
        if (ui->lbChapters->item(i)->checkState() == Qt::Checked)
            title = DVDTitlePath(ui->lbChapters->item(i)->text().toUtf8().constData());
    }
    ShowAudioChoices(ui->cbDVDAudio, ui->chkWholeTitle->isChecked() ? title : QString(), true);
}

void TfmMain::ShowFileAudio()
{
    ShowAudioChoices(ui->cbFileAudio, ui->edtSrcFile->text(), false);
}

void TfmMain::rbtnFileClick()
{
    ui->edtSrcFile->setEnabled(true);
    ui->sbtnFileBrowse->setEnabled(true);
    ui->edtSrcVCD->setEnabled(false);
    OutputFollows(ui->edtSrcFile->text());
}

void TfmMain::rbtnVCDClick()
{
    ui->edtSrcFile->setEnabled(false);
    ui->sbtnFileBrowse->setEnabled(false);
    ui->edtSrcVCD->setEnabled(true);
    OutputFollows(ui->edtSrcVCD->text());
}

void TfmMain::sbtnFileBrowseClick()
{
    ui::FileDialogRequest request;
    request.owner = this;
    request.title = QStringLiteral("Open Source Video File");
    request.initialName = ui->edtSrcFile->text();
    request.filters = product::SourceVideoFilters();
    request.mustExist = true;
    const QString path = ui::Dialogs().OpenFile(request);
    if (path.isEmpty() || !PathFits(path, QStringLiteral("source file")))
        return;
    ui->edtSrcFile->setText(path);
    ui->wmpMain->SetURL(path);
    OutputFollows(path);
}

void TfmMain::OutputFollows(const QString& source)
{
    if (source.isEmpty())
        return;
    // The default name, or the one the previous source gave, was never the
    // user's choice; anything else is, and stays.
    const QString current = ui->edtOutputFile->text();
    const std::filesystem::path currentPath(cx::AbsolutePath(current.toStdString()));
    if (!current.isEmpty() && current != m_sFollowedOutput && currentPath.filename() != "output.wmv")
        return;
    const std::filesystem::path folder = current.isEmpty() ? datafiles::OutputFolder() : currentPath.parent_path();
    const std::string output =
        outputnames::OutputIn(folder, std::filesystem::path(cx::AbsolutePath(source.toStdString()))).string();
    if (!cx::FitsField(output.c_str(), sizeof m_Option.szOutputFile))
        return; // the user names a shorter one; a cut name would be another file
    m_sFollowedOutput = QString::fromStdString(output);
    ui->edtOutputFile->setText(m_sFollowedOutput);
}

QString TfmMain::CurrentSource()
{
    if (ui->pcSource->currentWidget() == ui->stDVD) {
        for (int i = 0; i < ui->lbChapters->count(); ++i) {
            if (ui->lbChapters->item(i)->checkState() == Qt::Checked)
                return DVDTitlePath(ui->lbChapters->item(i)->text().toUtf8().constData());
        }
        return {};
    }
    if (ui->pcSource->currentWidget() == ui->stFile)
        return ui->rbtnFile->isChecked() ? ui->edtSrcFile->text() : ui->edtSrcVCD->text();
    return {};
}

void TfmMain::ClearRunList()
{
    for (RunItem* item = m_pRunList->GetFirst(); item; item = m_pRunList->GetNext())
        delete item;
    m_pRunList->RemoveAll(false);
}

bool TfmMain::BuildRunList(bool bSilent)
{
    ClearRunList();

    // Appends one item; a path that does not fit is refused (silently when
    // asked to be silent), never cut, since a cut path names another file.
    const auto append = [this, bSilent](const QString& source, const QString& output, bool wholeTitle = false,
                                        std::int32_t audio = 0) {
        const QByteArray src = source.toUtf8();
        const QByteArray out = output.toUtf8();
        if (!cx::FitsField(src.constData(), sizeof(RunItem::szSource)) ||
            !cx::FitsField(out.constData(), sizeof(RunItem::szOutput))) {
            if (!bSilent)
                PathFits(cx::FitsField(src.constData(), sizeof(RunItem::szSource)) ? output : source,
                         QStringLiteral("video file"));
            return bSilent;
        }
        auto* item = new RunItem{};
        cx::CopyText(item->szSource, src.constData());
        cx::CopyText(item->szOutput, out.constData());
        item->bWholeTitle = wholeTitle;
        item->nAudioStream = audio;
        m_pRunList->Add(item);
        return true;
    };
    const auto fail = [this] {
        ClearRunList();
        return false;
    };

    if (ui->spMain->currentWidget() == ui->stOne) {
        if (ui->pcSource->currentWidget() == ui->stDVD) {
            if (ui->lbChapters->count() == 0 && !bSilent) {
                ui::ShowErrorBox(this, QStringLiteral("No DVD disc found, please insert a disc and try again."));
                return false;
            }
            QList<QListWidgetItem*> checkedLines;
            for (int i = 0; i < ui->lbChapters->count(); ++i) {
                if (ui->lbChapters->item(i)->checkState() == Qt::Checked)
                    checkedLines.push_back(ui->lbChapters->item(i));
            }
            if (checkedLines.size() > 1 && !bSilent) {
                ui::ShowErrorBox(this, QStringLiteral("Morvane Converter can only convert one file at one time. "
                                                      "Please select only one DVD file."));
                return false;
            }
            for (const QListWidgetItem* line : checkedLines) {
                if (!append(DVDTitlePath(line->text().toUtf8().constData()), {}, ui->chkWholeTitle->isChecked(),
                            ChosenAudio(ui->cbDVDAudio)))
                    return fail();
            }
            if (m_pRunList->GetCount() == 0 && !bSilent) {
                ui::ShowErrorBox(this, QStringLiteral("No DVD file is selected, please select at lease one file to "
                                                      "be converted."));
                return false;
            }
            return true;
        }
        if (ui->pcSource->currentWidget() == ui->stFile) {
            const bool file = ui->rbtnFile->isChecked();
            const QString source = file ? ui->edtSrcFile->text() : ui->edtSrcVCD->text();
            if (!bSilent && !PathExists(source)) {
                ui::ShowErrorBox(this, file ? QStringLiteral("Invalid source video file, please select an existed "
                                                             "video file and try again.")
                                            : QStringLiteral("No VCD disc found in your CD ROM, please insert a disc "
                                                             "and try again."));
                return false;
            }
            return append(source, {}, false, file ? ChosenAudio(ui->cbFileAudio) : 0) ? true : fail();
        }
        return true;
    }

    if (ui->spMain->currentWidget() == ui->stMore) {
        if (ui->lvFile->topLevelItemCount() == 0) {
            if (bSilent)
                return true;
            ui::Dialogs().Message(this,
                                  QStringLiteral("No video file is selected, please at least add one file to the "
                                                 "conversion list."),
                                  QStringLiteral("Error"), ui::Icon::Information, ui::Buttons::Ok);
            return false;
        }
        for (int i = 0; i < ui->lvFile->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = ui->lvFile->topLevelItem(i);
            if (!append(row->text(0), row->text(1)))
                return fail();
        }
        return true;
    }
    return true;
}
