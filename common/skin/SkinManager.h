// The theme manager each window holds as skinMain: restyles the widgets of
// its component list with one of the five built-in skins.
#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

class QWidget;

namespace skin {

// Skin numbers as the settings file stores them.
enum SkinType { BlueGlass = 1, DeepBlue = 2, MacOS = 3, WindowsXP = 4, Protein = 5 };
constexpr int kSkinCount = 5;

QString SkinName(int skin); // "Blue Glass", ...; empty outside 1..5

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

    std::vector<QPointer<QWidget>> m_components;
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
