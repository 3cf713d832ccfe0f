// The theme manager each window holds as skinMain: restyles the widgets of
// its component list with one of the five built-in skins.
#pragma once

#include <QFont>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <utility>
#include <vector>

class QWidget;

namespace skin {

// Skin numbers as the settings file stores them.
enum SkinType { BlueGlass = 1, DeepBlue = 2, MacOS = 3, WindowsXP = 4, Protein = 5 };
constexpr int kSkinCount = 5;

QString SkinName(int skin); // "Blue Glass", ...; empty outside 1..5

// Qt's style sheets set the font of each widget they polish from the fonts in
// force at that moment, so a sheet set over another one starts from the
// fonts the first one left, and those drift towards the application's
// default. A font base keeps the fonts of a widget and its descendants as
// they were before any sheet, and sets each new sheet from them.
class FontBase {
public:
    // Keeps the fonts of root and of every widget inside it.
    void Keep(QWidget* root);
    bool Kept() const { return !m_fonts.empty(); }
    // Sets root's own sheet as if it were the first: the old sheet goes,
    // the kept fonts come back, then the new sheet is set.
    void SetSheet(QWidget* root, const QString& sheet) const;

private:
    std::vector<std::pair<QPointer<QWidget>, QFont>> m_fonts;
};

class SkinManager : public QObject {
    Q_OBJECT
public:
    explicit SkinManager(QObject* parent = nullptr);

    // Adds a widget (usually the window itself) whose look this manager sets.
    void AddComponent(QWidget* widget);
    // Sets the style; a number outside 1..5 applies Blue Glass. Setting the
    // style already in force restyles nothing.
    void SetStyle(int skin);
    int Style() const { return m_style; }
    // How many times the components were restyled (tests watch this).
    int RestyleCount() const { return m_restyles; }

private:
    void Restyle();
    void Style(std::size_t index, const QString& sheet);

    std::vector<QPointer<QWidget>> m_components;
    std::vector<FontBase> m_fonts; // one per component, kept at its first style
    int m_style = 0;
    int m_restyles = 0;
};

// A skin's look is one sheet template for all skins and a palette per skin:
// named colours and metrics that fill the template's ${name} places.
QHash<QString, QString> SkinPalette(int skin); // outside 1..5: Blue Glass
QString FillSkinTemplate(const QString& sheet, const QHash<QString, QString>& palette);
// The filled style sheet of a skin.
QString SkinStyleSheet(int skin);

} // namespace skin
