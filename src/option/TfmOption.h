// The more-options dialog: cropping, the encoding switches, the four texts
// written into the output and the quality level. It edits the main window's
// live options directly: opening shows them, OK writes them back, Cancel
// leaves them alone. "&Profiles" opens the profiles dialog.
#pragma once

#include <QDialog>

#include <memory>

#include "SkinManager.h"

class MainAccess;

namespace Ui {
class TfmOption;
}

class TfmOption : public QDialog {
    Q_OBJECT
public:
    TfmOption(MainAccess& main, QWidget* owner);
    ~TfmOption() override;

    // bSave false shows the live options in the controls; bSave true writes
    // the controls into them. False, doing nothing, without live options.
    bool ExchangeOption(bool bSave);

private:
    void FormCreate();
    void chkCropClick();
    void sbtnDetectClick();
    void sbtnOKClick();
    void sbtnProfileClick();

    std::unique_ptr<Ui::TfmOption> ui;
    MainAccess& m_main;
    skin::SkinManager skinMain;
};
