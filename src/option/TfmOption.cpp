#include "TfmOption.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdlib>
#include <limits>

#include "CropDetect.h"
#include "MROption.h"
#include "TextUtil.h"
#include "TfmProfile.h"
#include "main/MainAccess.h"
#include "ui_TfmOption.h"

namespace {

// The description field holds 1024 bytes of text although its array is one
// byte longer; the profile file and the engine never see more.
constexpr std::size_t kDescriptionText = 1024;

// Margins are read the way strtol reads them: leading blanks and a sign, then
// digits up to the first other character; no digits give 0. Values beyond
// the field's range stop at its limits.
std::int32_t MarginFromText(const QString& text)
{
    const long v = std::strtol(text.toUtf8().constData(), nullptr, 10);
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

template <std::size_t N> QString FromField(const char (&field)[N])
{
    return QString::fromUtf8(field, qstrnlen(field, N));
}

} // namespace

TfmOption::TfmOption(MainAccess& main, QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::TfmOption>()), m_main(main)
{
    ui->setupUi(this);
    // Margins are read back from their text, so it must hold plain digits.
    for (QSpinBox* se : {ui->seLeft, ui->seTop, ui->seRight, ui->seBottom})
        se->setLocale(QLocale::c());
    connect(ui->chkCrop, &QCheckBox::toggled, this, &TfmOption::chkCropClick);
    connect(ui->sbtnDetect, &QPushButton::clicked, this, &TfmOption::sbtnDetectClick);
    connect(ui->sbtnOK, &QPushButton::clicked, this, &TfmOption::sbtnOKClick);
    connect(ui->sbtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->sbtnProfile, &QPushButton::clicked, this, &TfmOption::sbtnProfileClick);
    FormCreate();
}

TfmOption::~TfmOption() = default;

void TfmOption::FormCreate()
{
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    ExchangeOption(false);
    skinMain.AddComponent(this);
    m_main.ApplySkin(&skinMain);
}

void TfmOption::chkCropClick()
{
    const bool on = ui->chkCrop->isChecked();
    for (QSpinBox* se : {ui->seLeft, ui->seTop, ui->seRight, ui->seBottom})
        se->setEnabled(on);
}

// Fills the margins for the user to see and change; nothing is cropped
// before OK.
void TfmOption::sbtnDetectClick()
{
    mce::CropMargins m;
    if (!DetectBorders(this, m_main.CurrentSource(), &m))
        return;
    ui->chkCrop->setChecked(true);
    ui->seLeft->setValue(m.left);
    ui->seTop->setValue(m.top);
    ui->seRight->setValue(m.right);
    ui->seBottom->setValue(m.bottom);
}

bool TfmOption::ExchangeOption(bool bSave)
{
    MROption* pOption = m_main.GetOption();
    if (!pOption)
        return false;

    if (!bSave) {
        ui->chkCrop->setChecked(pOption->bCrop != 0);
        chkCropClick();
        ui->seLeft->setValue(pOption->nCropLeft);
        ui->seTop->setValue(pOption->nCropTop);
        ui->seRight->setValue(pOption->nCropRight);
        ui->seBottom->setValue(pOption->nCropBottom);
        ui->chkOptimize->setChecked(pOption->bOptimize != 0);
        ui->chkTwoPass->setChecked(pOption->bTwoPass != 0);
        ui->chkOptSpeech->setChecked(pOption->bSpeech != 0);
        ui->edtTitle->setText(FromField(pOption->szTitle));
        ui->edtAuthor->setText(FromField(pOption->szAuthor));
        ui->edtCopyright->setText(FromField(pOption->szCopyright));
        ui->memDesc->setPlainText(FromField(pOption->szDescription));
        switch (mr::QualityShown(nQuality)) {
        case mr::kQualityHigh:
            ui->rbtnH->setChecked(true);
            break;
        case mr::kQualityLow:
            ui->rbtnL->setChecked(true);
            break;
        default:
            ui->rbtnM->setChecked(true);
            break;
        }
        return true;
    }

    pOption->bCrop = ui->chkCrop->isChecked();
    pOption->bOptimize = ui->chkOptimize->isChecked();
    pOption->bTwoPass = ui->chkTwoPass->isChecked();
    pOption->bSpeech = ui->chkOptSpeech->isChecked();
    // With cropping off the margins keep what they held, ready for the next
    // time cropping is turned on.
    if (pOption->bCrop) {
        pOption->nCropLeft = MarginFromText(ui->seLeft->text());
        pOption->nCropTop = MarginFromText(ui->seTop->text());
        pOption->nCropRight = MarginFromText(ui->seRight->text());
        pOption->nCropBottom = MarginFromText(ui->seBottom->text());
    }
    cx::CopyText(pOption->szTitle, ui->edtTitle->text().toUtf8().constData());
    cx::CopyText(pOption->szAuthor, ui->edtAuthor->text().toUtf8().constData());
    cx::CopyText(pOption->szCopyright, ui->edtCopyright->text().toUtf8().constData());
    cx::CopyText(pOption->szDescription, kDescriptionText, ui->memDesc->toPlainText().toUtf8().constData());
    nQuality = mr::QualityCollected(ui->rbtnH->isChecked(), ui->rbtnL->isChecked());
    return true;
}

void TfmOption::sbtnOKClick()
{
    if (ExchangeOption(true))
        accept();
}

void TfmOption::sbtnProfileClick()
{
    TfmProfile profiles(m_main, this);
    // What is on screen goes into the live options first, so that the
    // profiles dialog saves it; it stays there even if this dialog is then
    // cancelled.
    ExchangeOption(true);
    if (profiles.exec() == QDialog::Accepted)
        ExchangeOption(false);
}
