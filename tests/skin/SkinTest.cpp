#include <gtest/gtest.h>

#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>

#include <string>
#include <vector>

#include "LinkLabel.h"
#include "PageControl.h"
#include "QtTestApp.h"
#include "SkinManager.h"
#include "WinUtil.h"

namespace {

class ShellRecorder {
public:
    ShellRecorder()
    {
        cx::SetShellOpener([this](const std::string& t) {
            opened.push_back(t);
            return true;
        });
    }
    ~ShellRecorder() { cx::SetShellOpener(nullptr); }
    std::vector<std::string> opened;
};

// The declarations of the block that starts with exactly this selector.
QString Block(const QString& sheet, const QString& selector)
{
    const QRegularExpression re(QStringLiteral("(^|\\n)") + QRegularExpression::escape(selector) +
                                QStringLiteral("\\s*\\{([^}]*)\\}"));
    const auto m = re.match(sheet);
    return m.hasMatch() ? m.captured(2) : QString();
}

TEST(SkinSheets, FiveDistinctSheetsThatStyleEveryStateWithoutLeakingABackground)
{
    QSet<QString> seen;
    for (int n = 1; n <= skin::kSkinCount; ++n) {
        const QString sheet = skin::SkinStyleSheet(n);
        ASSERT_FALSE(sheet.isEmpty()) << n;
        // Every name of the template is in every palette.
        EXPECT_FALSE(sheet.contains(QLatin1String("${"))) << "skin " << n;
        EXPECT_FALSE(skin::SkinName(n).isEmpty());
        seen.insert(sheet);
        for (const char* state :
             {"QPushButton:disabled", "QLineEdit:disabled", "QRadioButton:disabled", "QCheckBox:disabled",
              "QTabBar::tab:selected", "QMenu::item:selected", "skin--LinkLabel[hot=\"true\"]"})
            EXPECT_TRUE(sheet.contains(QLatin1String(state))) << "skin " << n << " lacks " << state;
        // A background on every widget would repaint each label and frame
        // with the window's gradient.
        EXPECT_FALSE(Block(sheet, QStringLiteral("QWidget")).contains(QLatin1String("background"))) << n;
        // Every image the sheet names is in the resources.
        const QRegularExpression url(QStringLiteral("url\\((:[^)]+)\\)"));
        for (auto it = url.globalMatch(sheet); it.hasNext();) {
            const QString res = it.next().captured(1);
            EXPECT_TRUE(QFile::exists(res)) << res.toStdString();
        }
    }
    EXPECT_EQ(seen.size(), skin::kSkinCount);
    EXPECT_EQ(skin::SkinStyleSheet(0), skin::SkinStyleSheet(skin::BlueGlass));
    EXPECT_TRUE(skin::SkinName(6).isEmpty());
}

TEST(SkinManager, RestylesItsComponentsOnlyWhenTheStyleChanges)
{
    QWidget window;
    skin::SkinManager manager;
    manager.AddComponent(&window);
    manager.AddComponent(nullptr);
    EXPECT_TRUE(window.styleSheet().isEmpty());

    manager.SetStyle(skin::Protein);
    EXPECT_EQ(manager.Style(), skin::Protein);
    EXPECT_EQ(window.styleSheet(), skin::SkinStyleSheet(skin::Protein));
    EXPECT_EQ(manager.RestyleCount(), 1);

    manager.SetStyle(skin::Protein);
    EXPECT_EQ(manager.RestyleCount(), 1);

    manager.SetStyle(42); // outside the five: Blue Glass
    EXPECT_EQ(manager.Style(), skin::BlueGlass);
    EXPECT_EQ(window.styleSheet(), skin::SkinStyleSheet(skin::BlueGlass));

    // A component added later takes the style in force; one that went away
    // is skipped.
    auto* late = new QWidget;
    manager.AddComponent(late);
    EXPECT_EQ(late->styleSheet(), skin::SkinStyleSheet(skin::BlueGlass));
    delete late;
    manager.SetStyle(skin::MacOS);
    EXPECT_EQ(window.styleSheet(), skin::SkinStyleSheet(skin::MacOS));
}

TEST(PageControl, OnlyTheActivePageIsEnabled)
{
    skin::PageControl pages;
    auto* one = new QWidget;
    auto* two = new QWidget;
    auto* three = new QWidget;
    for (QWidget* p : {one, two, three})
        p->setEnabled(false); // as the window layouts store them
    pages.addTab(one, QStringLiteral("One"));
    pages.addTab(two, QStringLiteral("Two"));
    pages.addTab(three, QStringLiteral("Three"));
    EXPECT_TRUE(one->isEnabled());
    EXPECT_FALSE(two->isEnabled());
    EXPECT_FALSE(three->isEnabled());

    pages.setCurrentWidget(three);
    EXPECT_FALSE(one->isEnabled());
    EXPECT_FALSE(two->isEnabled());
    EXPECT_TRUE(three->isEnabled());

    // Hiding the active page hands over to the first visible one.
    pages.SetPageVisible(one, false);
    pages.SetPageVisible(three, false);
    EXPECT_FALSE(pages.IsPageVisible(three));
    EXPECT_EQ(pages.currentWidget(), two);
    EXPECT_TRUE(two->isEnabled());
    EXPECT_FALSE(three->isEnabled());

    pages.SetPageVisible(three, true);
    EXPECT_TRUE(pages.IsPageVisible(three));
    EXPECT_EQ(pages.currentWidget(), two);
}

TEST(LinkLabel, AClickOpensItsAddressAndABlankAddressNothing)
{
    ShellRecorder shell;
    skin::LinkLabel link;
    link.resize(200, 20);
    link.setText(QStringLiteral("Online"));
    EXPECT_TRUE(link.font().underline());

    const auto click = [&link](QPointF at) {
        QMouseEvent press(QEvent::MouseButtonPress, at, link.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, link.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(&link, &press);
        QApplication::sendEvent(&link, &release);
    };

    link.SetAddress(QStringLiteral("   "));
    click(QPointF(5, 5));
    EXPECT_TRUE(shell.opened.empty());

    link.SetAddress(QStringLiteral("https://example.org/home"));
    click(QPointF(5, 5));
    click(QPointF(500, 5)); // released outside: no click
    ASSERT_EQ(shell.opened.size(), 1u);
    EXPECT_EQ(shell.opened[0], "https://example.org/home");

    // The pointer over it turns it to the skin's hot colour.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&link, &enter);
    EXPECT_TRUE(link.property("hot").toBool());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&link, &leave);
    EXPECT_FALSE(link.property("hot").toBool());
}

} // namespace
