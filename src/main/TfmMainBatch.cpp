// Main window: the batch page's file list and its start.
#include <QTreeWidget>

#include <filesystem>
#include <map>
#include <system_error>

#include "CropDetect.h"
#include "DialogService.h"
#include "OverwriteQuestion.h"
#include "TfmConvert.h"
#include "TfmMain.h"
#include "TfmSource.h"
#include "ui_TfmMain.h"

namespace {

// One spelling per file, so that "a/./b.wmv" and "a/b.wmv" meet.
std::string SameFileKey(const char* path)
{
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(path), ec);
    if (ec)
        p = path;
    const std::filesystem::path canon = std::filesystem::weakly_canonical(p, ec);
    return (ec ? p.lexically_normal() : canon).string();
}

} // namespace

// The margins of the selected row's source (the first row's when none is
// selected) go into the page's margin fields, for the user to see.
void TfmMain::sbtnDetectClick()
{
    const QTreeWidgetItem* row = ui->lvFile->currentItem();
    if (!row && ui->lvFile->topLevelItemCount() > 0)
        row = ui->lvFile->topLevelItem(0);
    if (!row) {
        ui::ShowInformation(this, QStringLiteral("No video file is selected, please at least add one file to the "
                                                 "conversion list."));
        return;
    }
    mce::CropMargins m;
    if (!DetectBorders(this, row->text(0), &m))
        return;
    ui->edtLeft->setText(QString::number(m.left));
    ui->edtTop->setText(QString::number(m.top));
    ui->edtRight->setText(QString::number(m.right));
    ui->edtBottom->setText(QString::number(m.bottom));
}

void TfmMain::sbtnAddFileClick()
{
    TfmSource dialog(*this, this);
    RunItem item{};
    dialog.SetRunItem(&item);
    dialog.UpdateData(false);
    if (dialog.exec() != QDialog::Accepted)
        return;
    auto* row = new QTreeWidgetItem(ui->lvFile);
    row->setText(0, QString::fromUtf8(item.szSource));
    row->setText(1, QString::fromUtf8(item.szOutput));
}

void TfmMain::sbtnDelFileClick()
{
    const QList<QTreeWidgetItem*> selected = ui->lvFile->selectedItems();
    if (selected.isEmpty())
        return;
    delete ui->lvFile->takeTopLevelItem(ui->lvFile->indexOfTopLevelItem(selected.first()));
}

// Rows are converted one after the other into their own outputs: two rows
// naming one output would have the second destroy the first one's result,
// and files already there would go without a word.
bool TfmMain::ConfirmBatchOutputs()
{
    std::map<std::string, int> seen;
    QStringList existing;
    for (RunItem* item = m_pRunList->GetFirst(); item; item = m_pRunList->GetNext()) {
        if (++seen[SameFileKey(item->szOutput)] == 2) {
            ui::ShowErrorBox(this, QStringLiteral("The output file %1 is named by more than one row of the "
                                                  "conversion list. Please give every row an output file of its "
                                                  "own.")
                                       .arg(QString::fromUtf8(item->szOutput)));
            return false;
        }
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::path(item->szOutput), ec))
            existing.push_back(QString::fromUtf8(item->szOutput));
    }
    return existing.isEmpty() || ui::Confirm(this, product::OverwriteQuestion(existing));
}

void TfmMain::sbtnBatchConvertClick()
{
    if (!UpdateOption(true, false))
        return;
    TfmConvert convert(*this, this, true);
    convert.exec();
}
