// Message boxes and file dialogs, reached only through this service so that
// tests can replace it with a scripted double (tests/ui/ScriptedDialogs.h).
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace ui {

enum class Icon { None, Information, Warning, Error, Question };
enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No, Cancel };

struct FileDialogRequest {
    QWidget* owner = nullptr;
    QString title;
    QString initialName;  // the path or name shown first
    QStringList filters;  // "Video Files (*.avi *.mpg)" entries, first one selected
    bool mustExist = false;       // open: the file must exist
    bool promptOverwrite = false;  // save: ask before replacing
    bool addExtension = false;     // save: append the filter's extension
};

class DialogService {
public:
    virtual ~DialogService() = default;
    virtual Answer Message(QWidget* owner, const QString& text, const QString& caption, Icon icon,
                           Buttons buttons) = 0;
    // An empty result means the user cancelled.
    virtual QString OpenFile(const FileDialogRequest& request) = 0;
    virtual QString SaveFile(const FileDialogRequest& request) = 0;
};

// The service every window uses. Defaults to the Qt one; tests install theirs.
DialogService& Dialogs();
void InstallDialogs(DialogService* service);  // null restores the Qt one

// The three message kinds the product uses.
inline void ShowErrorBox(QWidget* owner, const QString& text)
{
    Dialogs().Message(owner, text, QStringLiteral("Error"), Icon::Error, Buttons::Ok);
}
inline void ShowInformation(QWidget* owner, const QString& text)
{
    Dialogs().Message(owner, text, QStringLiteral("Information"), Icon::Information, Buttons::Ok);
}
inline bool Confirm(QWidget* owner, const QString& text)
{
    return Dialogs().Message(owner, text, QStringLiteral("Confirm"), Icon::Question, Buttons::YesNo) ==
           Answer::Yes;
}

}  // namespace ui
