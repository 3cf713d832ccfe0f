// The profiles dialog: lists the profile store, copies a profile over the
// live options ("&Load", which closes with OK) and saves the live options as
// a new profile under a name the user gives, or over the profile of that
// name once the user agrees. Every save is written to the store file at once.
#pragma once

#include <QDialog>

#include <memory>

#include "SkinManager.h"

class MainAccess;
class MRProfileList;

namespace Ui {
class TfmProfile;
}

class TfmProfile : public QDialog {
    Q_OBJECT
public:
    TfmProfile(MainAccess& main, QWidget* owner);
    ~TfmProfile() override;

    // Lists the store's profiles, numbered from 1; false without a store.
    bool FillList();

private:
    void FormCreate();
    void slvProfileChange();
    void sbtnLoadClick();
    void sbtnSaveClick();

    std::unique_ptr<Ui::TfmProfile> ui;
    MainAccess& m_main;
    skin::SkinManager skinMain;
    MRProfileList* m_pProfiles = nullptr; // the main window's
};
