// The filters of the dialogs that pick a source video: the classic video
// kinds, disc title files, the containers and disc tracks people have today,
// then everything. Disc files carry upper-case names and names here match
// case by case, so each pattern comes in both cases.
#pragma once

#include <QStringList>

namespace product {

inline QStringList SourceVideoFilters()
{
    return {QStringLiteral("Windows Video Files (*.wmv, *.avi, *.mpg, *.mpeg) "
                           "(*.wmv *.avi *.mpg *.mpeg *.WMV *.AVI *.MPG *.MPEG)"),
            QStringLiteral("DVD Files (*.VOB) (*.vob *.VOB)"), QStringLiteral("DVD Images (*.iso) (*.iso *.ISO)"),
            QStringLiteral("Other Video Files (*.mp4, *.m4v, *.mkv, *.mov, *.webm, *.flv, *.3gp, *.ts, *.m2ts, "
                           "*.vob, *.dat) (*.mp4 *.m4v *.mkv *.mov *.webm *.flv *.3gp *.ts *.m2ts *.vob *.dat "
                           "*.MP4 *.M4V *.MKV *.MOV *.WEBM *.FLV *.3GP *.TS *.M2TS *.VOB *.DAT)"),
            QStringLiteral("All Files(*.*) (*)")};
}

} // namespace product
