// The about window: the product's name, version and welcome page.
#pragma once

#include <QDialog>

#include <memory>

#include "SkinManager.h"

class MainAccess;

namespace Ui {
class TfmAbout;
}

class TfmAbout : public QDialog {
    Q_OBJECT
public:
    TfmAbout(MainAccess& main, QWidget* owner);
    ~TfmAbout() override;

    skin::SkinManager& Skin() { return skinMain; }

private:
    void FormCreate();
    void sbtnOKClick();

    std::unique_ptr<Ui::TfmAbout> ui;
    MainAccess& m_main;
    skin::SkinManager skinMain;
};
