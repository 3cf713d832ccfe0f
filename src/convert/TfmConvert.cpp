#include "TfmConvert.h"

#include <algorithm>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <new>

#include "Assert.h"
#include "ConvertRecipes.h"
#include "CxList.h"
#include "CxWMEncoder.h"
#include "DesktopShell.h"
#include "DialogService.h"
#include "MROption.h"
#include "PathUtil.h"
#include "main/MainAccess.h"
#include "main/ProductLinks.h"
#include "ui_TfmConvert.h"

bool TfmConvert::s_bFirstTickSeen = false;

namespace {

constexpr int kWaitInterval = 300;
constexpr int kConvertInterval = 500;
constexpr int kBatchInterval = 1000;

// Polls in a row without progress after which a run has ended.
constexpr int kSamePolls = 5;

} // namespace

TfmConvert::TfmConvert(MainAccess& main, QWidget* owner, std::int32_t bBatch)
    : QDialog(owner), ui(std::make_unique<Ui::TfmConvert>()), m_main(main)
{
    ui->setupUi(this);
    m_bBatch = bBatch;

    tmConvert.setObjectName(QStringLiteral("tmConvert"));
    tmWait.setObjectName(QStringLiteral("tmWait"));
    tmBatch.setObjectName(QStringLiteral("tmBatch"));
    tmConvert.setInterval(kConvertInterval);
    tmWait.setInterval(kWaitInterval);
    tmBatch.setInterval(kBatchInterval);
    connect(&tmConvert, &QTimer::timeout, this, &TfmConvert::tmConvertTimer);
    connect(&tmWait, &QTimer::timeout, this, &TfmConvert::tmWaitTimer);
    connect(&tmBatch, &QTimer::timeout, this, &TfmConvert::tmBatchTimer);
    connect(ui->sbtnPause, &QPushButton::clicked, this, &TfmConvert::sbtnPauseClick);
    connect(ui->sbtnClose, &QPushButton::clicked, this, &TfmConvert::sbtnCloseClick);
    connect(ui->sbtnPreview, &QPushButton::clicked, this, &TfmConvert::sbtnPreviewClick);

    FormCreate();
    tmWait.start();
}

TfmConvert::~TfmConvert()
{
    tmWait.stop();
    // A window destroyed without passing its close check still leaves no
    // session running behind it.
    FreeEncoder();
    SetHourglass(false);
}

void TfmConvert::FormCreate()
{
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());
    SetState(csWaiting);
    m_nDuration = 0;
    m_nFileSize = 0;
    ui->lblBatchItem->setVisible(m_bBatch != 0);
    UpdateStatus();
    UpdateButtons();
    skinMain.AddComponent(ui->sfConvert);
    skinMain.AddComponent(ui->sbtnPreview);
    skinMain.AddComponent(ui->sbtnPause);
    skinMain.AddComponent(ui->sbtnClose);
    m_main.ApplySkin(&skinMain);
}

// ---------------------------------------------------------------------------
// Beginning the conversion

void TfmConvert::tmWaitTimer()
{
    if (m_bStarted)
        return;
    // The first run window of a process gives the desktop one more tick to
    // settle before the engine starts loading.
    if (!s_bFirstTickSeen) {
        s_bFirstTickSeen = true;
        return;
    }
    m_bStarted = true;
    StartConvert();
}

void TfmConvert::StartConvert()
{
    MROption* pOption = m_main.GetOption();
    CX_ASSERT(pOption);

    FreeEncoder();
    SetState(csInitializing);
    UpdateStatus();
    UpdateButtons();
    SetHourglass(true);

    m_pWMEncoder.reset(new (std::nothrow) CxWMEncoder);
    if (!m_pWMEncoder || !m_pWMEncoder->IsAvailable()) {
        WithoutHourglass([this] {
            ui::ShowInformation(this, QStringLiteral("Morvane Converter requires Microsoft Media Encoder installed. "
                                                     "Please visit our web site for detail information about "
                                                     "Microsoft Media Encoder."));
        });
        FreeEncoder();
        UpdateStatus();
        UpdateButtons();
        close();
        ui::OpenOnDesktop(parentWidget(), product::kPrerequisitesPage, QStringLiteral("the web page"),
                          QStringLiteral("a web browser"));
        SetHourglass(false);
        return;
    }

    if (!m_pWMEncoder->LoadEngineProfiles()) {
        WithoutHourglass([this] {
            ui::Dialogs().Message(this,
                                  QStringLiteral("Error loading Microsoft Media Encoder Profiles. Please contact ") +
                                      QString::fromUtf8(product::kSupportEmail) +
                                      QStringLiteral(" for technical support."),
                                  QStringLiteral("Error"), ui::Icon::Information, ui::Buttons::Ok);
        });
        FailureEnd();
        return;
    }

    if (m_bBatch != 0) {
        m_nBatchIndex = 0;
        tmBatchTimer();
        return;
    }

    if (!AddSources()) {
        ShowEngineError();
        FailureEnd();
        return;
    }
    recipe::ApplyOutputSettings(*m_pWMEncoder, *pOption);

    SetState(csPreparing);
    UpdateStatus();
    UpdateButtons();
    if (!m_pWMEncoder->Prepare(true)) {
        ShowEngineError();
        FailureEnd();
        return;
    }
    if (!StartEncoding())
        FailureEnd();
}

bool TfmConvert::AddSources()
{
    const MROption* pOption = m_main.GetOption();
    CX_ASSERT(pOption);
    return recipe::AddSources(*m_pWMEncoder, m_main.GetRunList(), *pOption, nQuality,
                              [this](const char* s, const char* o) { ShowSource(s, o); }) > 0;
}

void TfmConvert::tmBatchTimer()
{
    // First of all: a failing item shows a message box, whose event loop
    // would otherwise tick this timer into starting the item again under it.
    tmBatch.stop();
    CxList* pRunList = m_main.GetRunList();
    const auto* pItem =
        pRunList && m_nBatchIndex >= 0 ? static_cast<const RunItem*>(pRunList->GetAt(m_nBatchIndex)) : nullptr;
    // A started item has switched the poll on; a failed one ends the run.
    if (!StartBatchItem(pItem))
        FailureEnd();
}

bool TfmConvert::StartBatchItem(const RunItem* pItem)
{
    if (!pItem || !m_pWMEncoder)
        return false;
    const MROption* pOption = m_main.GetOption();
    CX_ASSERT(pOption);
    recipe::ConfigureBatchItem(*m_pWMEncoder, pItem, *pOption, nQuality,
                               [this](const char* s, const char* o) { ShowSource(s, o); });

    SetState(csPreparing);
    UpdateStatus();
    UpdateButtons();
    if (!m_pWMEncoder->Prepare(true)) {
        ShowEngineError();
        return false;
    }
    return StartEncoding();
}

// Starts the prepared session. A start the engine refuses is reported and
// the caller ends the run, rather than showing a run that never began.
bool TfmConvert::StartEncoding()
{
    if (!m_pWMEncoder->Start()) {
        ShowEngineError();
        return false;
    }
    SetHourglass(false);
    SetState(csRunning);
    m_progress.Begin();
    m_nProgressItem = m_nBatchIndex;
    m_nFittedBitrate = 0;
    m_bRateRaised = false;
    m_bCardFull = false;
    m_nKeptMs = 0;
    m_nSourceDuration = 0;
    ShowSizeFit();
    UpdateStatus();
    UpdateButtons();
    m_nLastSize = 0;
    m_nLastDuration = 0;
    m_nSameCount = 0;
    tmConvert.start();
    m_bRunning = true;
    return true;
}

void TfmConvert::FailureEnd()
{
    FreeEncoder();
    UpdateStatus();
    UpdateButtons();
    SetHourglass(false);
    close();
}

// ---------------------------------------------------------------------------
// The poll and the end rule

void TfmConvert::tmConvertTimer()
{
    if (!m_pWMEncoder)
        return;
    ReadFigures();

    // The engine knows best whether it still works: a slow disc, a network
    // share or a long source opening can hold the figures still for many
    // seconds while it encodes.
    std::int32_t nFailure = 0;
    switch (m_pWMEncoder->GetRunState(&nFailure)) {
    case mce::RunState::Stopped:
        EngineStopped(nFailure);
        return;
    case mce::RunState::Encoding:
    case mce::RunState::Paused:
        m_nSameCount = 0;
        m_nLastSize = m_nFileSize;
        m_nLastDuration = m_nDuration;
        UpdateStatus();
        return;
    default:
        break;
    }

    // An engine that cannot tell: the run has ended once neither the output
    // nor the converted time has grown for a while. Time counts because a
    // source that is slow to open or the analysis pass of a two-pass run
    // writes nothing for a while without having ended.
    if (m_nFileSize == m_nLastSize && m_nDuration == m_nLastDuration) {
        if (++m_nSameCount > kSamePolls) {
            EndOfItem();
            return;
        }
    } else {
        m_nSameCount = 0;
        m_nLastSize = m_nFileSize;
        m_nLastDuration = m_nDuration;
    }
    UpdateStatus();
}

void TfmConvert::ReadFigures()
{
    m_nDuration = m_pWMEncoder->GetDuration();
    m_nFileSize = m_pWMEncoder->GetFileBytes();
    m_nSourceDuration = m_pWMEncoder->GetSourceDuration();
    m_progress.Update(m_nDuration, m_nSourceDuration);
    ReadSizeFit();
}

// The engine has stopped by itself: on a failure the run ends with its
// message, else the current item has ended with its file complete.
void TfmConvert::EngineStopped(std::int32_t nFailure)
{
    if (nFailure < 0) {
        EndOnEngineFailure();
        return;
    }
    ReadFigures(); // its last ones
    EndOfItem();
}

// The current item's conversion has ended: the run is finished after the
// last item, else the next item starts a second later on the same session.
void TfmConvert::EndOfItem()
{
    const CxList* pRunList = m_main.GetRunList();
    const std::int64_t nLast = pRunList ? static_cast<std::int64_t>(pRunList->GetCount()) - 1 : -1;
    if (m_bBatch == 0 || m_nBatchIndex >= nLast) {
        m_pWMEncoder->Stop();
        ReadSizeFit(); // a file cut at the limit is known to be by now
        m_pWMEncoder.reset();
        m_bRunning = false;
        tmConvert.stop();
        if (m_bCardFull)
            m_progress.Halt();
        else
            m_progress.Finish();
        SetState(csFinished);
        UpdateStatus();
        UpdateButtons();
        return;
    }
    ++m_nBatchIndex;
    m_progress.Finish(); // this item's; the next begins at its start
    tmBatch.start();
    tmConvert.stop();
    UpdateStatus();
}

// The engine stopped on a failure while encoding: the run did not succeed,
// whatever the output's size says. Reported like a refused Prepare; the
// figures reached stay on show and no further batch item starts.
void TfmConvert::EndOnEngineFailure()
{
    tmConvert.stop();
    tmBatch.stop();
    m_bRunning = false;
    m_progress.Halt();
    ShowEngineError();
    m_pWMEncoder.reset();
    SetState(csStopped);
    UpdateStatus();
    UpdateButtons();
}

// ---------------------------------------------------------------------------
// Buttons and closing

void TfmConvert::sbtnPauseClick()
{
    if (m_nState == csFinished) {
        ui::OpenOnDesktop(this, FolderAddressOf(OutputText()), QStringLiteral("the output folder"),
                          QStringLiteral("a file manager"));
        return;
    }
    if (m_bRunning) {
        // An engine that refuses to pause has already stopped by itself; the
        // run then goes on to its end instead of waiting to be resumed, which
        // would start the conversion over.
        if (m_pWMEncoder && !m_pWMEncoder->Pause())
            return;
        tmConvert.stop();
        m_bRunning = false;
        m_progress.Pause();
        SetState(csPaused);
        UpdateStatus();
        UpdateButtons();
        return;
    }
    if (!m_pWMEncoder) {
        // "S&tart" after a stop begins the conversion anew, over the file the
        // stop kept; before the conversion has begun there is nothing to
        // resume.
        if (m_nState == csStopped && ConfirmOverwrite())
            StartConvert();
        return;
    }
    // Paused just as the engine came to the end of the source: the item has
    // ended, and starting it again would convert the whole source anew.
    if (m_pWMEncoder->GetRunState() == mce::RunState::Stopped || !m_pWMEncoder->Start()) {
        std::int32_t nFailure = 0;
        if (m_pWMEncoder->GetRunState(&nFailure) != mce::RunState::Stopped) {
            ShowEngineError();
            FailureEnd();
            return;
        }
        m_progress.Resume();
        SetState(csRunning);
        m_bRunning = true;
        EngineStopped(nFailure);
        UpdateButtons(); // also when a batch goes on to its next item
        return;
    }
    tmConvert.start();
    m_progress.Resume();
    SetState(csRunning);
    UpdateStatus();
    UpdateButtons();
    m_bRunning = true;
}

void TfmConvert::sbtnPreviewClick()
{
    ui::OpenOnDesktop(this, OutputText(), QStringLiteral("the converted video"), QStringLiteral("a video player"));
}

void TfmConvert::reject()
{
    if (FormCloseQuery())
        QDialog::reject();
}

bool TfmConvert::FormCloseQuery()
{
    if (m_bRunning) {
        if (!WithoutHourglass([this] { return ui::Confirm(this, QString::fromUtf8(kStopQuestion)); }))
            return false;
        // The poll goes on while the question is open: the run may have
        // ended meanwhile, and is then not reported as stopped.
        if (m_bRunning) {
            FreeEncoder();
            SetState(csStopped);
            UpdateStatus();
            UpdateButtons();
            m_bRunning = false;
            return true;
        }
    }
    if (m_pWMEncoder)
        FreeEncoder();
    return true;
}

QString TfmConvert::FolderAddress(const QString& outputPath)
{
    const qsizetype slash = outputPath.lastIndexOf(QLatin1Char('/'));
    return QStringLiteral("file://") + (slash >= 0 ? outputPath.left(slash + 1) : QString());
}

std::string TfmConvert::FolderAddressOf(const std::string& outputPath)
{
    const std::size_t slash = outputPath.rfind('/');
    return "file://" + (slash != std::string::npos ? outputPath.substr(0, slash + 1) : std::string());
}

// The bytes the session was given while the edit still shows them, so that a
// name that is not UTF-8 reaches the desktop intact; the user's own text once
// it has been changed, a relative name taken in the current folder.
std::string TfmConvert::OutputText() const
{
    const QString text = ui->edtFileTo->text();
    if (text == QString::fromUtf8(m_sShownOutput.c_str()))
        return cx::AbsolutePath(m_sShownOutput);
    return cx::AbsolutePath(text.toUtf8().toStdString());
}
