// Main window: the option controls of both pages and the single-file start.
#include <QLineEdit>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "DialogService.h"
#include "OutputNames.h"
#include "OverwriteQuestion.h"
#include "PathUtil.h"
#include "TextUtil.h"
#include "TfmConvert.h"
#include "TfmMain.h"
#include "ui_TfmMain.h"

namespace {

// A margin as typed: leading blanks, an optional sign and the digits that
// follow; anything after them is ignored and a text without digits is 0.
std::int32_t ReadMargin(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(bytes.constData(), &end, 10);
    if (end == bytes.constData())
        return 0;
    if (n > INT32_MAX)
        return INT32_MAX;
    if (n < INT32_MIN)
        return INT32_MIN;
    return static_cast<std::int32_t>(n);
}

// An output name is taken as absolute the moment it is accepted, so that the
// engine writes where the windows show and the run window's "&Preview" and
// "&Browse Folder" open that file and its folder; typed without an
// extension, it is given ".wmv", by which players know the file.
QString AbsoluteOutput(const QString& path)
{
    return QString::fromStdString(outputnames::WithWmvExtension(cx::AbsolutePath(path.toStdString())));
}

// The same for a stored output (a profile's), where it fits its field; one
// that does not is left for the conversion's own check to refuse.
void AbsoluteOutputFile(char* field, std::size_t size)
{
    const std::string full = cx::AbsolutePath(field);
    if (cx::FitsField(full.c_str(), size))
        cx::CopyText(field, size, full.c_str());
}

bool Exists(const QString& path)
{
    std::error_code ec;
    return !path.isEmpty() && std::filesystem::exists(std::filesystem::path(path.toStdString()), ec);
}

} // namespace

bool TfmMain::ShowOption()
{
    AbsoluteOutputFile(m_Option.szOutputFile, sizeof m_Option.szOutputFile);
    ui->edtOutputFile->setText(QString::fromUtf8(m_Option.szOutputFile));

    switch (m_Option.nResolution) {
    case 0:
        ui->rbtnResStd->setChecked(true);
        ui->rbtnBatchStdRes->setChecked(true);
        break;
    case 1:
        ui->rbtnResWide->setChecked(true);
        ui->rbtnBatchWideRes->setChecked(true);
        break;
    case 2:
        ui->rbtnResCustom->setChecked(true);
        ui->rbtnBatchCustRes->setChecked(true);
        break;
    case 3:
        ui->rbtnResVGA->setChecked(true);
        ui->rbtnBatchVGARes->setChecked(true);
        break;
    default:
        break;
    }
    ui->seWidth->setValue(m_Option.nWidth);
    ui->seHeight->setValue(m_Option.nHeight);
    ui->edtWidth->setText(QString::number(m_Option.nWidth));
    ui->edtHeight->setText(QString::number(m_Option.nHeight));
    UpdateCustomSize();
    ui->edtWidth->setEnabled(ui->rbtnBatchCustRes->isChecked());
    ui->edtHeight->setEnabled(ui->rbtnBatchCustRes->isChecked());

    ShowBatchQualityAndMargins();

    (m_Option.bWideAspect == 0 ? ui->rbtnRatFull : ui->rbtnRatWide)->setChecked(true);

    ui->schkSize->setChecked(m_Option.bLimitSize != 0);
    schkSizeClick();
    switch (m_Option.nCardSize) {
    case 0:
        ui->rbtn128->setChecked(true);
        break;
    case 1:
        ui->rbtn256->setChecked(true);
        break;
    case 2:
        ui->rbtn512->setChecked(true);
        break;
    default:
        break;
    }
    return true;
}

void TfmMain::ShowBatchQualityAndMargins()
{
    switch (mr::QualityShown(nQuality)) {
    case mr::kQualityHigh:
        ui->rbtnBatchHigh->setChecked(true);
        break;
    case mr::kQualityLow:
        ui->rbtnBatchLow->setChecked(true);
        break;
    default:
        ui->rbtnBatchMedium->setChecked(true);
        break;
    }
    ui->edtLeft->setText(QString::number(m_Option.nCropLeft));
    ui->edtRight->setText(QString::number(m_Option.nCropRight));
    ui->edtTop->setText(QString::number(m_Option.nCropTop));
    ui->edtBottom->setText(QString::number(m_Option.nCropBottom));
}

bool TfmMain::UpdateOption(bool bSave, bool bSilent)
{
    if (!bSave)
        return ShowOption();
    if (!BuildRunList(bSilent))
        return false;

    if (ui->spMain->currentWidget() == ui->stOne) {
        const QString output = AbsoluteOutput(ui->edtOutputFile->text());
        if (output.isEmpty() && !bSilent) {
            ui::ShowErrorBox(this, QStringLiteral("Please specify the output file name."));
            return false;
        }
        const QByteArray bytes = output.toUtf8();
        const bool fits = cx::FitsField(bytes.constData(), sizeof m_Option.szOutputFile);
        if (!fits && !bSilent) {
            PathFits(output, QStringLiteral("output file"));
            return false;
        }
        const bool custom = ui->rbtnResCustom->isChecked();
        const std::int32_t width = ui->seWidth->value();
        const std::int32_t height = ui->seHeight->value();
        if (custom && !bSilent && !CustomSizeFits(width, height))
            return false;
        if (Exists(output) && !bSilent && !ui::Confirm(this, product::OverwriteQuestion({output})))
            return false;
        // A silent collection keeps the stored name rather than a cut one.
        if (fits) {
            cx::CopyText(m_Option.szOutputFile, bytes.constData());
            if (ui->edtOutputFile->text() != output)
                ui->edtOutputFile->setText(output);
        }
        m_Option.nResolution = ui->rbtnResStd->isChecked()    ? 0
                               : ui->rbtnResWide->isChecked() ? 1
                               : ui->rbtnResVGA->isChecked()  ? 3
                                                              : 2;
        if (custom) {
            m_Option.nWidth = width;
            m_Option.nHeight = height;
        }
        m_Option.bWideAspect = ui->rbtnRatFull->isChecked() ? 0 : 1;
        m_Option.bLimitSize = ui->schkSize->isChecked() ? 1 : 0;
        if (m_Option.bLimitSize) {
            if (ui->rbtn128->isChecked())
                m_Option.nCardSize = 0;
            else if (ui->rbtn256->isChecked())
                m_Option.nCardSize = 1;
            else if (ui->rbtn512->isChecked())
                m_Option.nCardSize = 2;
        }
    } else if (ui->spMain->currentWidget() == ui->stMore) {
        const bool custom = ui->rbtnBatchCustRes->isChecked();
        const std::int32_t width = ReadMargin(ui->edtWidth->text());
        const std::int32_t height = ReadMargin(ui->edtHeight->text());
        if (custom && !bSilent && !CustomSizeFits(width, height))
            return false;
        if (!bSilent && !ConfirmBatchOutputs())
            return false;
        if (custom) {
            m_Option.nWidth = width;
            m_Option.nHeight = height;
        }
        m_Option.nResolution = ui->rbtnBatchStdRes->isChecked()    ? 0
                               : ui->rbtnBatchWideRes->isChecked() ? 1
                               : ui->rbtnBatchVGARes->isChecked()  ? 3
                                                                   : 2;
        nQuality = mr::QualityCollected(ui->rbtnBatchHigh->isChecked(), ui->rbtnBatchLow->isChecked());
        m_Option.nCropLeft = ReadMargin(ui->edtLeft->text());
        m_Option.nCropRight = ReadMargin(ui->edtRight->text());
        m_Option.nCropTop = ReadMargin(ui->edtTop->text());
        m_Option.nCropBottom = ReadMargin(ui->edtBottom->text());
    }
    return true;
}

bool TfmMain::CustomSizeFits(std::int32_t nWidth, std::int32_t nHeight)
{
    if (mr::CustomSizeFits(nWidth, nHeight))
        return true;
    ui::ShowErrorBox(this, QStringLiteral("Please enter a custom resolution of even numbers, from %1 x %2 up to %3 x "
                                          "%4 pixels.")
                               .arg(mr::kCustomMinWidth)
                               .arg(mr::kCustomMinHeight)
                               .arg(mr::kCustomMaxWidth)
                               .arg(mr::kCustomMaxHeight));
    return false;
}

void TfmMain::UpdateCustomSize()
{
    const bool custom = ui->rbtnResCustom->isChecked();
    ui->seWidth->setEnabled(custom);
    ui->seHeight->setEnabled(custom);
}

void TfmMain::schkSizeClick()
{
    const bool on = ui->schkSize->isChecked();
    ui->rbtn128->setEnabled(on);
    ui->rbtn256->setEnabled(on);
    ui->rbtn512->setEnabled(on);
}

void TfmMain::sbtnBrowseClick()
{
    ui::FileDialogRequest request;
    request.owner = this;
    request.title = QStringLiteral("Choose Output File Name");
    request.initialName = ui->edtOutputFile->text();
    request.filters = {QStringLiteral("Windows Media Video File(*.wmv) (*.wmv *.WMV)")};
    const QString path = AbsoluteOutput(ui::Dialogs().SaveFile(request));
    if (path.isEmpty() || !PathFits(path, QStringLiteral("output file")))
        return;
    ui->edtOutputFile->setText(path);
}

void TfmMain::sbtnConvertClick()
{
    if (!UpdateOption(true, false))
        return;
    // The run reads the source; the player must not hold it meanwhile.
    ui->wmpMain->Close();
    TfmConvert convert(*this, this, false);
    convert.exec();
}
