// The question asked before a conversion replaces output files that are
// there already, by the main window's starts and by the run window's start
// after a stop: one file is named, a few are listed, the rest counted.
#pragma once

#include <QString>
#include <QStringList>

namespace product {

inline QString OverwriteQuestion(const QStringList& existing)
{
    constexpr int kNamedOutputs = 3;
    if (existing.size() == 1)
        return QStringLiteral("The file %1 is existed, do you want to overwrite it?").arg(existing.front());
    QString names = existing.mid(0, kNamedOutputs).join(QLatin1Char('\n'));
    if (existing.size() > kNamedOutputs)
        names += QStringLiteral("\n... and %1 more").arg(existing.size() - kNamedOutputs);
    return QStringLiteral("These %1 output files are existed:\n%2\nDo you want to overwrite them?")
        .arg(existing.size())
        .arg(names);
}

} // namespace product
