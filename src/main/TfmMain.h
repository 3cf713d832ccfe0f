// The main window: owns the live options, the profile store, the run list,
// the disc checker and the skin choice; carries the menus and the two work
// pages, and opens every other window modally.
#pragma once

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

#include "CxList.h"
#include "MROption.h"
#include "MainAccess.h"
#include "SkinManager.h"

class CxDVDChecker;
class MRProfileList;
class QAction;
class QListWidgetItem;
class QUrl;

namespace Ui {
class TfmMain;
}

class TfmMain : public QMainWindow, public MainAccess {
    Q_OBJECT
public:
    static constexpr const char* kSettingsFile = "dastrel.ini";
    static constexpr const char* kHelpFile = "mrhelp.chm";
    // The same guide as HTML pages, for desktops without a CHM viewer.
    static constexpr const char* kHelpGuide = "mrhelp/index.html";

    explicit TfmMain(QWidget* parent = nullptr);
    ~TfmMain() override;

    // MainAccess
    MROption* GetOption() override { return &m_Option; }
    CxList* GetRunList() override { return m_pRunList.get(); }
    MRProfileList* GetProfiles() override { return m_pProfiles.get(); }
    void ApplySkin(skin::SkinManager* skin) override;
    bool ShowOption() override;
    bool UpdateOption(bool bSave, bool bSilent) override;
    QString CurrentSource() override;

    int SkinType() const { return m_nSkinType; }
    skin::SkinManager& Skin() { return skinMain; }

    // Source panel and run list.
    void RefreshDVDList(bool bSilent);
    bool BuildRunList(bool bSilent);
    void ClearRunList();

    Ui::TfmMain* Form() const { return ui.get(); }

protected:
    // Files dropped on the "Video File" page and on the batch list.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void InitOption();
    void ConnectHandlers();
    void SetSkinMenuCheck(int skin);
    void SkinItemClick(int skin);
    void QuitClick();
    void OpenHelp();
    void OpenHomePage();

    // Menu handlers that open the other windows.
    void miFileProfClick();
    void miToolsOptionClick();
    void miHelpAboutClick();

    // "Convert One File" page.
    void sbtnDVDRefreshClick();
    void lbChaptersClick(QListWidgetItem* item);
    void rbtnFileClick();
    void rbtnVCDClick();
    void sbtnFileBrowseClick();
    void lbChaptersChanged(QListWidgetItem* item);
    // The sound streams of a DVD source, for the user to choose from.
    void ShowDVDAudio();
    void ShowFileAudio();
    // A source was chosen: the output takes its name unless the user named
    // the output.
    void OutputFollows(const QString& source);
    void sbtnBrowseClick();
    void UpdateCustomSize();
    // A custom frame the engine can take; otherwise says which and refuses.
    bool CustomSizeFits(std::int32_t nWidth, std::int32_t nHeight);
    // The batch page's copies of what the options dialog edits.
    void ShowBatchQualityAndMargins();
    void schkSizeClick();
    void sbtnConvertClick();

    // "Batch Convert" page.
    void sbtnAddFileClick();
    void sbtnDelFileClick();
    void sbtnDetectClick();
    void sbtnBatchConvertClick();
    bool ConfirmBatchOutputs();
    void miFileOneClick();
    void miFileBatchClick();

    // Drag and drop.
    void AcceptDrops();
    void DropOnFilePage(const QList<QUrl>& urls);
    void DropOnBatchList(const QList<QUrl>& urls);

    // Shows a path that does not fit a RunItem or MROption field and says so.
    bool PathFits(const QString& path, const QString& what);
    QString DVDTitlePath(const char* szFileName) const;

    std::unique_ptr<Ui::TfmMain> ui;
    skin::SkinManager skinMain;

    MROption m_Option;
    std::unique_ptr<MRProfileList> m_pProfiles;
    std::unique_ptr<CxTypedList<RunItem>> m_pRunList;
    std::unique_ptr<CxDVDChecker> m_pDVDChecker;
    std::int32_t m_nSkinType = 1;
    // The output OutputFollows last gave; while the edit holds it, the next
    // source renames it.
    QString m_sFollowedOutput;
};
