// The window side of the session's error report: kept apart so that the
// session itself builds and runs without Qt.
#include <QString>

#include "CxWMEncoder.h"
#include "DialogService.h"

void CxWMEncoder::ShowError(QWidget* owner)
{
    const std::string text = GetErrorText();
    if (text.empty())
        return;
    ui::Dialogs().Message(owner, QString::fromUtf8(text.c_str()), QStringLiteral("Media Encoder Error"),
                          ui::Icon::Error, ui::Buttons::Ok);
}
