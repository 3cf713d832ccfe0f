#include "SkinManager.h"

#include <QFile>
#include <QRegularExpression>
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

namespace {

QString ReadResource(const QString& name)
{
    InitSkinResources();
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll());
}

const char* const kPaletteFiles[kSkinCount] = {"blueglass", "deepblue", "macos", "windowsxp", "protein"};

} // namespace

QHash<QString, QString> SkinPalette(int skin)
{
    if (skin < 1 || skin > kSkinCount)
        skin = BlueGlass;
    const QString text = ReadResource(QStringLiteral(":/skins/%1.palette").arg(QLatin1String(kPaletteFiles[skin - 1])));
    QHash<QString, QString> palette;
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || eq <= 0)
            continue;
        palette.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return palette;
}

QString FillSkinTemplate(const QString& sheet, const QHash<QString, QString>& palette)
{
    // A name the palette lacks stays as written: Qt drops that declaration,
    // and the sheet tests find the leftover.
    static const QRegularExpression name(QStringLiteral("\\$\\{([A-Za-z0-9-]+)\\}"));
    QString out;
    out.reserve(sheet.size() + sheet.size() / 2);
    qsizetype from = 0;
    for (auto it = name.globalMatch(sheet); it.hasNext();) {
        const auto m = it.next();
        out += QStringView(sheet).mid(from, m.capturedStart() - from);
        const auto value = palette.constFind(m.captured(1));
        out += value != palette.constEnd() ? *value : m.captured(0);
        from = m.capturedEnd();
    }
    out += QStringView(sheet).mid(from);
    return out;
}

QString SkinStyleSheet(int skin)
{
    return FillSkinTemplate(ReadResource(QStringLiteral(":/skins/skin.qss")), SkinPalette(skin));
}

void FontBase::Keep(QWidget* root)
{
    m_fonts.clear();
    if (!root)
        return;
    m_fonts.emplace_back(root, root->font());
    for (QWidget* w : root->findChildren<QWidget*>())
        m_fonts.emplace_back(w, w->font());
}

void FontBase::SetSheet(QWidget* root, const QString& sheet) const
{
    if (!root)
        return;
    if (!root->styleSheet().isEmpty()) {
        root->setStyleSheet(QString());
        for (const auto& [w, font] : m_fonts) {
            if (w)
                w->setFont(font);
        }
    }
    root->setStyleSheet(sheet);
}

SkinManager::SkinManager(QObject* parent) : QObject(parent) {}

void SkinManager::AddComponent(QWidget* widget)
{
    if (!widget)
        return;
    m_components.emplace_back(widget);
    m_fonts.emplace_back();
    if (m_style != 0)
        Style(m_components.size() - 1, SkinStyleSheet(m_style));
}

void SkinManager::Style(std::size_t index, const QString& sheet)
{
    QWidget* w = m_components[index];
    if (!w)
        return;
    // Every skin starts from the fonts of the design, whichever came before.
    if (!m_fonts[index].Kept())
        m_fonts[index].Keep(w);
    m_fonts[index].SetSheet(w, sheet);
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
    for (std::size_t i = 0; i < m_components.size(); ++i)
        Style(i, sheet);
    ++m_restyles;
}

} // namespace skin
