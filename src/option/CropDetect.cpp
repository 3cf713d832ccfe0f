#include "CropDetect.h"

#include <QApplication>
#include <QFile>

#include <string>

#include "CxWMEncoder.h"
#include "DialogService.h"

namespace {

// The wait cursor until the engine has answered, whatever way it answers.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

bool DetectBorders(QWidget* owner, const QString& source, mce::CropMargins* margins)
{
    *margins = {};
    if (source.isEmpty() || !QFile::exists(source)) {
        ui::ShowErrorBox(owner, QStringLiteral("Invalid source video file, please select an existed video file and "
                                               "try again."));
        return false;
    }
    std::string failure;
    {
        BusyCursor busy;
        CxWMEncoder session;
        if (!session.DetectCrop(source.toUtf8().constData(), margins)) {
            failure = session.GetErrorText();
            if (failure.empty())
                failure = "The source's picture could not be read.";
        }
    }
    if (!failure.empty()) {
        ui::Dialogs().Message(owner, QString::fromStdString(failure), QStringLiteral("Media Encoder Error"),
                              ui::Icon::Error, ui::Buttons::Ok);
        return false;
    }
    if (margins->left == 0 && margins->top == 0 && margins->right == 0 && margins->bottom == 0) {
        ui::ShowInformation(owner, QStringLiteral("No black borders were found."));
        return false;
    }
    return true;
}
