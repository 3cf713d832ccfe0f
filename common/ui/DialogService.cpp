#include "DialogService.h"

#include <QFileDialog>
#include <QMessageBox>

namespace ui {
namespace {

// The product's filter texts name their patterns already ("Windows Video
// Files (*.wmv, ...)"); the dialog shows each text once and still applies
// the pattern list that follows it.
void SetFilters(QFileDialog& dialog, const QStringList& filters)
{
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
}

QMessageBox::Icon ToQt(Icon icon)
{
    switch (icon) {
    case Icon::Information:
        return QMessageBox::Information;
    case Icon::Warning:
        return QMessageBox::Warning;
    case Icon::Error:
        return QMessageBox::Critical;
    case Icon::Question:
        return QMessageBox::Question;
    case Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

class QtDialogs final : public DialogService {
public:
    Answer Message(QWidget* owner, const QString& text, const QString& caption, Icon icon, Buttons buttons) override
    {
        QMessageBox box(ToQt(icon), caption, text,
                        buttons == Buttons::YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, owner);
        const int r = box.exec();
        if (buttons == Buttons::Ok)
            return Answer::Ok;
        return r == QMessageBox::Yes ? Answer::Yes : Answer::No;
    }

    QString OpenFile(const FileDialogRequest& r) override
    {
        QFileDialog dialog(r.owner, r.title, r.initialName);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(r.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        SetFilters(dialog, r.filters);
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                       : QString();
    }

    QString SaveFile(const FileDialogRequest& r) override
    {
        QFileDialog dialog(r.owner, r.title, r.initialName);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        SetFilters(dialog, r.filters);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.promptOverwrite);
        if (r.addExtension)
            dialog.setDefaultSuffix(QStringLiteral("wmv"));
        return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().first()
                                                                                       : QString();
    }
};

QtDialogs g_qtDialogs;
DialogService* g_service = nullptr;

} // namespace

DialogService& Dialogs()
{
    return g_service ? *g_service : g_qtDialogs;
}
void InstallDialogs(DialogService* service)
{
    g_service = service;
}

} // namespace ui
