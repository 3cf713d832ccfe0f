// The conversion run window: one single-file conversion or one whole batch.
// Begins by itself shortly after it opens, drives one encoder session
// through the run states, polls it twice a second and ends the run when the
// output has stopped growing; the user can pause, resume and stop, then play
// the output or open its folder.
#pragma once

#include <QDialog>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "RunProgress.h"
#include "SkinManager.h"

class CxWMEncoder;
class MainAccess;
struct RunItem;

namespace Ui {
class TfmConvert;
}

class TfmConvert : public QDialog {
    Q_OBJECT
public:
    enum ConvertState {
        csInitializing = 0,
        csPreparing = 1,
        csRunning = 2,
        csPaused = 3,
        csStopped = 4,
        csWaiting = 5,
        csFinished = 6,
    };

    // bBatch 0 converts the run list's entries as one single-file run with
    // the live options, 1 converts them one after the other as a batch.
    TfmConvert(MainAccess& main, QWidget* owner, std::int32_t bBatch);
    ~TfmConvert() override;

    // Shown modally with exec().

    // Handlers, as bound to the window's timers and buttons.
    void tmWaitTimer();
    void tmBatchTimer();
    void tmConvertTimer();
    void sbtnPauseClick();
    void sbtnCloseClick();
    void sbtnPreviewClick();

    // What the window stands at.
    std::int32_t GetState() const { return m_nState; }
    bool IsRunning() const { return m_bRunning; }
    bool IsStarted() const { return m_bStarted; }
    std::int32_t GetBatchIndex() const { return m_nBatchIndex; }
    std::int32_t GetSameCount() const { return m_nSameCount; }
    CxWMEncoder* GetEncoder() const { return m_pWMEncoder.get(); }
    const RunProgress& GetProgress() const { return m_progress; }
    // The monotonic clock the progress estimate reads (tests script it).
    void SetProgressClock(RunProgress::Clock clock) { m_progress.SetClock(std::move(clock)); }
    static bool FirstTickSeen() { return s_bFirstTickSeen; }

    // "file://" and the folder part of an output path.
    static QString FolderAddress(const QString& outputPath);

protected:
    // Every way of closing the window passes here (FormCloseQuery).
    void reject() override;

private:
    static constexpr const char* kStopQuestion = "Are you sure to stop the encoding process?";

    void FormCreate();
    bool FormCloseQuery();
    void StartConvert();
    bool AddSources();
    bool StartBatchItem(const RunItem* pItem);
    bool StartEncoding();
    void FailureEnd();
    void ReadFigures();
    void EngineStopped(std::int32_t nFailure);
    void EndOfItem();
    void EndOnEngineFailure();
    void FreeEncoder();
    // Stops the session at the user's word; the figures then show what the
    // kept output holds.
    void StopKeeping();
    bool ConfirmOverwrite();
    void UpdateStatus();
    void UpdateButtons();
    void SetState(std::int32_t nState);
    void SetHourglass(bool bOn);
    // Runs show (a message box or question) with the default cursor, and
    // puts the hourglass back afterwards when it was on.
    template <class F> auto WithoutHourglass(F&& show)
    {
        const bool bWasOn = m_bHourglass;
        SetHourglass(false);
        struct Restore {
            TfmConvert* w;
            bool on;
            ~Restore() { w->SetHourglass(on); }
        } restore{this, bWasOn};
        return show();
    }
    // The session's error message, owned by this window.
    void ShowEngineError();
    void ShowSource(const char* szSource, const char* szOutput);
    void ShowProgress();
    void ReadSizeFit();
    void ShowSizeFit();
    // The output path the preview and folder actions use, as bytes.
    std::string OutputText() const;
    static std::string FolderAddressOf(const std::string& outputPath);

    std::unique_ptr<Ui::TfmConvert> ui;
    MainAccess& m_main;
    QTimer tmConvert{this};
    QTimer tmWait{this};
    QTimer tmBatch{this};
    skin::SkinManager skinMain;

    bool m_bRunning = false;
    bool m_bStarted = false;
    std::unique_ptr<CxWMEncoder> m_pWMEncoder;
    std::int32_t m_nState = 0;
    std::int32_t m_nDuration = 0;
    std::int64_t m_nFileSize = 0; // in full: a film at VGA passes 2 GiB
    std::int64_t m_nLastSize = 0;
    std::int32_t m_nSameCount = 0;
    std::int32_t m_nBatchIndex = 0;
    std::int32_t m_bBatch = 0;
    // Converted duration at the last change the poll saw: a run whose time
    // still advances has not ended, even while its output does not grow.
    std::int32_t m_nLastDuration = 0;
    bool m_bHourglass = false;
    RunProgress m_progress;
    std::int32_t m_nProgressItem = 0; // the batch item the progress is of
    // How the size limit shaped the output: the video rate the engine
    // lowered to (0 while it keeps the profile's), and whether the limit was
    // reached before the source's end. A full card is no success, whatever
    // the end rule saw.
    std::int32_t m_nFittedBitrate = 0;
    bool m_bRateRaised = false; // m_nFittedBitrate is above the profile's
    bool m_bCardFull = false;
    std::int64_t m_nKeptMs = 0;         // with m_bCardFull: the source's length in the file
    std::int32_t m_nSourceDuration = 0; // 0 while the engine cannot tell
    // The output last shown in edtFileTo, byte for byte: a name that is not
    // UTF-8 does not survive the edit's text.
    std::string m_sShownOutput;

    static bool s_bFirstTickSeen;
};
