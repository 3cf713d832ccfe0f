#include "SkinManager.h"

#include <QFile>
#include <QWidget>

// The sheets are compiled into an object that nothing refers to by name; a
// static link would leave them out without this.
static void InitSkinResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(skins);
        return true;
    }();
    (void)done;
}

namespace skin {

QString SkinName(int skin)
{
    switch (skin) {
    case BlueGlass:
        return QStringLiteral("Blue Glass");
    case DeepBlue:
        return QStringLiteral("Deep Blue");
    case MacOS:
        return QStringLiteral("Mac OS");
    case WindowsXP:
        return QStringLiteral("Windows XP");
    case Protein:
        return QStringLiteral("Protein");
    default:
        return {};
    }
}

QString SkinStyleSheet(int skin)
{
    InitSkinResources();
    if (skin < 1 || skin > kSkinCount)
        skin = BlueGlass;
    QFile f(QStringLiteral(":/skins/skin%1.qss").arg(skin));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

SkinManager::SkinManager(QObject* parent) : QObject(parent) {}

void SkinManager::AddComponent(QWidget* widget)
{
    if (!widget)
        return;
    m_components.emplace_back(widget);
    if (m_style != 0)
        widget->setStyleSheet(SkinStyleSheet(m_style));
}

void SkinManager::SetStyle(int skin)
{
    if (skin < 1 || skin > kSkinCount)
        skin = BlueGlass;
    if (skin == m_style)
        return;
    m_style = skin;
    Restyle();
}

void SkinManager::Restyle()
{
    const QString sheet = SkinStyleSheet(m_style);
    for (const auto& w : m_components) {
        if (w)
            w->setStyleSheet(sheet);
    }
    ++m_restyles;
}

} // namespace skin
