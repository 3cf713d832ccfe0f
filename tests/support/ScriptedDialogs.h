// A scripted double of the dialog service: records every message box and
// file dialog, answers from queues the test fills. Installed for its lifetime.
#pragma once

#include <QApplication>
#include <QCursor>

#include <deque>
#include <vector>

#include "DialogService.h"

namespace testsupport {

struct RecordedMessage {
    QWidget* owner;
    QString text;
    QString caption;
    ui::Icon icon;
    ui::Buttons buttons;
    bool waitCursor; // the hourglass was showing over the box
};

class ScriptedDialogs final : public ui::DialogService {
public:
    ScriptedDialogs() { ui::InstallDialogs(this); }
    ~ScriptedDialogs() override { ui::InstallDialogs(nullptr); }

    ui::Answer Message(QWidget* owner, const QString& text, const QString& caption, ui::Icon icon,
                       ui::Buttons buttons) override
    {
        const QCursor* cursor = QApplication::overrideCursor();
        messages.push_back({owner, text, caption, icon, buttons, cursor && cursor->shape() == Qt::WaitCursor});
        if (buttons == ui::Buttons::Ok)
            return ui::Answer::Ok;
        if (answers.empty())
            return ui::Answer::No;  // an unscripted question is refused
        const ui::Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    QString OpenFile(const ui::FileDialogRequest& r) override { return Next(r, openPaths); }
    QString SaveFile(const ui::FileDialogRequest& r) override { return Next(r, savePaths); }

    std::vector<RecordedMessage> messages;
    std::vector<ui::FileDialogRequest> fileRequests;
    std::deque<ui::Answer> answers;     // for Yes/No questions
    std::deque<QString> openPaths;      // empty string: cancelled
    std::deque<QString> savePaths;

private:
    QString Next(const ui::FileDialogRequest& r, std::deque<QString>& queue)
    {
        fileRequests.push_back(r);
        if (queue.empty())
            return {};
        QString p = queue.front();
        queue.pop_front();
        return p;
    }
};

}  // namespace testsupport
