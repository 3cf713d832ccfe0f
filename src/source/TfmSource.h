// The add-source dialog: one source and one output path for a batch row.
// It shows and fills a RunItem that the caller owns.
#pragma once

#include <QDialog>
#include <QString>

#include <memory>

#include "SkinManager.h"

class MainAccess;
class QLineEdit;
struct RunItem;

namespace Ui {
class TfmSource;
}

class TfmSource : public QDialog {
    Q_OBJECT
public:
    TfmSource(MainAccess& main, QWidget* owner);
    ~TfmSource() override;

    // The caller's item; it must outlive the dialog's use of it.
    void SetRunItem(RunItem* pRunItem);
    // bSave false shows the item in the edits; bSave true checks the edits
    // and stores them in the item, telling the user what is wrong. False
    // without an item or when the edits are refused.
    bool UpdateData(bool bSave);

private:
    void FormCreate();
    void btnOKClick();
    void btnBrowseSourceClick();
    void btnBrowseOutputClick();
    // True when the path fits a RunItem field; otherwise says so.
    bool PathFits(const QByteArray& path, const char* what);
    // A source was chosen: the output takes its name unless the user named
    // the output.
    void OutputFollows(const QString& source);

    std::unique_ptr<Ui::TfmSource> ui;
    MainAccess& m_main;
    skin::SkinManager skinMain;
    RunItem* m_pRunItem = nullptr;
    QString m_sFollowedOutput; // what OutputFollows last put in edtOutput
};
