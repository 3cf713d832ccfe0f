// The run window's display: status line, figures, progress, the size fit
// and the buttons of each state.
#include "TfmConvert.h"

#include <algorithm>

#include <QApplication>

#include "CxList.h"
#include "CxWMEncoder.h"
#include "MROption.h"
#include "main/MainAccess.h"
#include "ui_TfmConvert.h"

namespace {

const char* const kStateText[] = {
    "Initializing encoder...",
    "Preparing encoding process...",
    "Encoding process running...",
    "Encoding process paused.",
    "Encoding process stopped.",
    "Please press the [Start] button to start encoding...",
    "Video conversion ended successfully!",
};

// The card sizes as the main window names them.
const char* CardName(std::int32_t nCardSize)
{
    return nCardSize == 0 ? "128 mb" : nCardSize == 1 ? "256 mb" : "512 mb";
}

// "7:05" or "1:02:03".
QString Clock(std::int64_t nMs)
{
    const auto s = static_cast<int>(std::clamp<std::int64_t>(nMs, 0, INT32_MAX) / 1000);
    return s >= 3600 ? QString::asprintf("%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60)
                     : QString::asprintf("%d:%02d", s / 60, s % 60);
}

} // namespace

void TfmConvert::FreeEncoder()
{
    if (m_pWMEncoder) {
        m_pWMEncoder->Stop();
        m_pWMEncoder.reset();
    }
    m_nDuration = 0;
    m_nFileSize = 0;
    m_bRunning = false;
    m_progress.Halt();
    tmConvert.stop();
    tmBatch.stop();
}

void TfmConvert::SetState(std::int32_t nState)
{
    m_nState = nState;
}

void TfmConvert::UpdateStatus()
{
    if (m_nState == csFinished && m_bCardFull) {
        // The file is complete and plays, but holds only the start.
        ui->lblStatus->setText(
            m_nSourceDuration > 0
                ? QStringLiteral("Card full: %1 of %2 in the file.").arg(Clock(m_nKeptMs), Clock(m_nSourceDuration))
                : QStringLiteral("Card full: %1 in the file.").arg(Clock(m_nKeptMs)));
    } else if (m_nState >= csInitializing && m_nState <= csFinished)
        ui->lblStatus->setText(QString::fromUtf8(kStateText[m_nState]));
    ui->lblFileTime->setText(QString::asprintf("%d second(s).", static_cast<int>(m_nDuration / 1000)));
    ui->lblFileSize->setText(QString::asprintf("%lld bytes", static_cast<long long>(m_nFileSize)));
    ShowProgress();
}

void TfmConvert::ShowProgress()
{
    const int percent = m_progress.Percent();
    if (percent < 0 && m_progress.Running()) {
        ui->pbConvert->setRange(0, 0); // length unknown: a busy bar
    } else {
        ui->pbConvert->setRange(0, 100);
        if (percent >= 0)
            ui->pbConvert->setValue(percent);
    }
    const std::int64_t left = m_progress.SecondsLeft();
    if (left >= 0) {
        const auto h = static_cast<int>(left / 3600), m = static_cast<int>(left / 60 % 60),
                   sec = static_cast<int>(left % 60);
        ui->lblTimeLeft->setText(h > 0 ? QString::asprintf("%d:%02d:%02d left", h, m, sec)
                                       : QString::asprintf("%d:%02d left", m, sec));
    } else {
        ui->lblTimeLeft->setText(m_progress.Estimating() ? QStringLiteral("Estimating...") : QString());
    }
    if (m_bBatch != 0) {
        const CxList* pRunList = m_main.GetRunList();
        const auto count = pRunList ? static_cast<int>(pRunList->GetCount()) : 0;
        ui->lblBatchItem->setText(
            count > 0 ? QString::asprintf("Item %d of %d", static_cast<int>(m_nProgressItem) + 1, count) : QString());
    }
}

void TfmConvert::ReadSizeFit()
{
    mce::SizeFit fit;
    if (!m_pWMEncoder || !m_pWMEncoder->GetSizeFit(&fit))
        return;
    if (fit.full) {
        m_bCardFull = true;
        m_nKeptMs = fit.keptMs;
    }
    if (fit.videoBitrate != m_nFittedBitrate || fit.raised != m_bRateRaised) {
        m_nFittedBitrate = std::max(fit.videoBitrate, 0);
        m_bRateRaised = fit.raised;
        ShowSizeFit();
    }
}

void TfmConvert::ShowSizeFit()
{
    if (m_nFittedBitrate <= 0) {
        ui->lblCardFit->clear();
        return;
    }
    const MROption* pOption = m_main.GetOption();
    const QString kbits = QString::number((m_nFittedBitrate + 500) / 1000);
    if (m_bRateRaised) {
        ui->lblCardFit->setText(QStringLiteral("Raised for busy pictures: video at %1 kbit/s").arg(kbits));
        return;
    }
    ui->lblCardFit->setText(pOption && pOption->bLimitSize
                                ? QStringLiteral("Fitted to the %1 card: video at %2 kbit/s")
                                      .arg(QString::fromUtf8(CardName(pOption->nCardSize)), kbits)
                                : QStringLiteral("Fitted to the size limit: video at %1 kbit/s").arg(kbits));
}

void TfmConvert::UpdateButtons()
{
    if (m_nState == csFinished) {
        ui->sbtnPreview->show();
        // Wider for its longer caption, its right edge where it was.
        // A skin's font can need more than the 20 extra pixels; then it
        // grows to fit rather than clip the caption.
        const QRect r = ui->sbtnPause->geometry();
        const bool widen = ui->sbtnPause->text() != QLatin1String("&Browse Folder");
        ui->sbtnPause->setText(QStringLiteral("&Browse Folder"));
        if (widen) {
            const int width = std::max(r.width() + 20, ui->sbtnPause->sizeHint().width());
            ui->sbtnPause->setGeometry(r.right() + 1 - width, r.y(), width, r.height());
        }
        ui->sbtnClose->setText(QStringLiteral("&Close"));
        return;
    }
    ui->sbtnPreview->hide();
    struct Look {
        const char* pause;
        bool pauseOn;
        const char* close;
        bool closeOn;
    };
    static const Look kLooks[] = {
        {"&Pause", false, "&Stop", false}, // csInitializing
        {"&Pause", false, "&Stop", false}, // csPreparing
        {"&Pause", true, "&Stop", true},   // csRunning
        {"S&tart", true, "&Stop", true},   // csPaused
        {"S&tart", true, "&Close", true},  // csStopped
    };
    if (m_nState < csInitializing || m_nState > csStopped)
        return; // csWaiting keeps what the buttons have
    const Look& look = kLooks[m_nState];
    ui->sbtnPause->setText(QString::fromUtf8(look.pause));
    ui->sbtnPause->setEnabled(look.pauseOn);
    ui->sbtnClose->setText(QString::fromUtf8(look.close));
    ui->sbtnClose->setEnabled(look.closeOn);
}

void TfmConvert::SetHourglass(bool bOn)
{
    if (bOn == m_bHourglass)
        return;
    m_bHourglass = bOn;
    if (bOn)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TfmConvert::ShowEngineError()
{
    WithoutHourglass([this] { m_pWMEncoder->ShowError(this); });
}

void TfmConvert::ShowSource(const char* szSource, const char* szOutput)
{
    ui->edtFileFrom->setText(QString::fromUtf8(szSource));
    m_sShownOutput = szOutput ? szOutput : "";
    ui->edtFileTo->setText(QString::fromUtf8(szOutput));
}
