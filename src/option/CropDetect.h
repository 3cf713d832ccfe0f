// "&Detect" beside the crop margins: the black borders of a source, found by
// the engine while the window shows a busy cursor. Shared by the options
// dialog and the batch page.
#pragma once

#include <QString>

#include "Engine.h"

class QWidget;

// True with the margins when the source has borders. Otherwise tells the
// user, owned by owner: that there was no source, that its picture could not
// be read (in the engine's words), or "No black borders were found.".
bool DetectBorders(QWidget* owner, const QString& source, mce::CropMargins* margins);
