// Every window of the program in every skin: each text-bearing widget is
// grabbed twice, as drawn and with its text made transparent, and the pixels
// that differ are its text. The contrast of those pixels with the background
// under them is what a reader gets, whatever the sheets say.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStyleOptionSpinBox>
#include <QRegularExpression>
#include <QScreen>
#include <QTabBar>
#include <QThread>
#include <QToolButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "FakeEngine.h"
#include "TfmAbout.h"
#include "TfmInputString.h"
#include "TfmOption.h"
#include "TfmProfile.h"
#include "TfmSource.h"
#include "main/MainFixture.h"

namespace {

using namespace maintest;

constexpr double kText = 4.5;     // normal, selected and focused text
constexpr double kDisabled = 3.0; // text of a disabled control

double Luminance(QRgb c)
{
    const auto lin = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(qRed(c)) + 0.7152 * lin(qGreen(c)) + 0.0722 * lin(qBlue(c));
}

double Contrast(QRgb a, QRgb b)
{
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Added to a widget's own sheet, which wins over the window's whatever the
// rules' specificity: every text of the widget turns transparent and the rest
// is drawn as before. A widget whose own sheet is the skin's (a window's
// component) is reached by its name, which outranks the skin's rules.
QString HideText(const QWidget* w, bool titleOnly)
{
    QString sel = titleOnly ? QString() : QStringLiteral("*");
    QString sub = QStringLiteral("QGroupBox::title");
    if (!titleOnly)
        sub += QStringLiteral(
            ", QTabBar::tab, QMenu::item, QMenuBar::item, QHeaderView::section, QAbstractItemView::item");
    if (!w->objectName().isEmpty()) {
        const QString id = QLatin1Char('#') + w->objectName();
        if (!titleOnly)
            sel += QStringLiteral(", ") + id;
        for (const char* s : {"QGroupBox", "QTabBar", "QMenu", "QMenuBar", "QHeaderView", "QAbstractItemView"})
            sub += QStringLiteral(", %1%2::%3")
                       .arg(QLatin1String(s), id,
                            QLatin1String(std::string_view(s) == "QGroupBox"     ? "title"
                                          : std::string_view(s) == "QTabBar"     ? "tab"
                                          : std::string_view(s) == "QHeaderView" ? "section"
                                                                                 : "item"));
    }
    QString sheet = sub + QStringLiteral(" { color: transparent; }");
    if (!sel.isEmpty())
        sheet += sel + QStringLiteral(" { color: transparent; selection-color: transparent; }");
    return sheet;
}

class Reader {
public:
    explicit Reader(std::string skin) : m_skin(std::move(skin)) {}

    // The contrast of the text drawn in area of what (its own coordinates),
    // hidden through the sheet of owner; 1 when no text shows at all.
    // The window is grabbed where the text is, so that what shows through a
    // transparent control is there too.
    double Read(QWidget* what, QWidget* owner, QRect area, bool titleOnly = false)
    {
        area = area.isValid() ? area & what->rect() : what->rect();
        QWidget* top = what->window();
        const QRect onTop(what->mapTo(top, area.topLeft()), area.size());
        const QImage shown = top->grab(onTop).toImage().convertToFormat(QImage::Format_RGB32);
        const QString own = owner->styleSheet();
        owner->setStyleSheet(own + HideText(owner, titleOnly));
        const QImage bare = top->grab(onTop).toImage().convertToFormat(QImage::Format_RGB32);
        owner->setStyleSheet(own);
        double best = 1.0;
        for (int y = 0; y < shown.height() && y < bare.height(); ++y)
            for (int x = 0; x < shown.width() && x < bare.width(); ++x) {
                const QRgb a = shown.pixel(x, y), b = bare.pixel(x, y);
                if (a != b)
                    best = std::max(best, Contrast(a, b));
            }
        return best;
    }

    void Expect(const QString& where, double ratio, double least)
    {
        ++m_readings;
        if (ratio + 1e-9 < least)
            m_faults.push_back(QStringLiteral("%1: %2 < %3").arg(where).arg(ratio, 0, 'f', 2).arg(least).toStdString());
    }

    // Every text-bearing widget of window in the state it is in, then
    // disabled, focused and, where it has one, selected.
    void Window(QWidget* window, const QString& name)
    {
        Unread(window);
        window->activateWindow();
        QApplication::processEvents();
        Picture(window, name);
        const QList<QWidget*> shown = Shown(window);
        for (QWidget* w : shown)
            Fits(w, name + QLatin1Char(' ') + Describe(w));
        const int before = m_readings;
        for (QWidget* w : shown) {
            const QString where = name + QLatin1Char(' ') + Describe(w);
            if (!w->isEnabled()) {
                Widget(w, where, kDisabled);
                continue;
            }
            Widget(w, where, kText);
            w->setEnabled(false);
            Widget(w, where + QStringLiteral(" disabled"), kDisabled);
            w->setEnabled(true);
            if (w->focusPolicy() != Qt::NoFocus && !qobject_cast<QLabel*>(w)) {
                w->setFocus(Qt::TabFocusReason);
                if (!w->hasFocus())
                    m_faults.push_back((where + QStringLiteral(" takes no focus")).toStdString());
                Widget(w, where + QStringLiteral(" focused"), kText);
                Selected(w, where);
            }
        }
        ToolTip(window, name);
        EXPECT_GT(m_readings - before, 5) << name.toStdString() << " has hardly any text";
    }

    void Menus(QMainWindow* window, const QString& name)
    {
        QMenuBar* bar = window->menuBar();
        for (QAction* a : bar->actions())
            Expect(name + QStringLiteral(" menu bar ") + a->text(), Read(bar, bar, bar->actionGeometry(a)), kText);
        for (QMenu* menu : window->findChildren<QMenu*>()) {
            menu->popup(window->mapToGlobal(QPoint(20, 40)));
            QApplication::processEvents();
            for (QAction* a : menu->actions()) {
                if (a->isSeparator() || a->text().isEmpty())
                    continue;
                const QString where = name + QStringLiteral(" menu item ") + a->text();
                menu->setActiveAction(nullptr);
                Expect(where, Read(menu, menu, menu->actionGeometry(a)), kText);
                menu->setActiveAction(a);
                Expect(where + QStringLiteral(" selected"), Read(menu, menu, menu->actionGeometry(a)), kText);
                menu->setActiveAction(nullptr);
                a->setEnabled(false);
                Expect(where + QStringLiteral(" disabled"), Read(menu, menu, menu->actionGeometry(a)), kDisabled);
                a->setEnabled(true);
            }
            menu->hide();
        }
    }

    // Run on a real X server with MC_SKIN_SHOTS naming a folder, the walk
    // also leaves a picture of each window as the screen shows it, frame
    // included (the pictures of docs/skins).
    void Picture(QWidget* window, const QString& name) const
    {
        const QString folder = qEnvironmentVariable("MC_SKIN_SHOTS");
        if (folder.isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb"))
            return;
        for (int i = 0; i < 30; ++i) { // let the window manager map and frame it
            QApplication::processEvents();
            QThread::msleep(20);
        }
        QString file = QString::fromStdString(m_skin) + QLatin1Char('-') + name;
        file = file.toLower()
                   .remove(QRegularExpression(QStringLiteral("[().]")))
                   .replace(QLatin1Char(' '), QLatin1Char('-'));
        const QRect frame = window->frameGeometry();
        window->screen()
            ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
            .save(folder + QLatin1Char('/') + file + QStringLiteral(".png"));
    }

    void Report() const
    {
        std::string all;
        for (const auto& f : m_faults)
            all += "\n  " + f;
        EXPECT_TRUE(m_faults.empty()) << m_skin << ": " << m_faults.size() << " of " << m_readings
                                      << " readings too faint or cut:" << all;
    }

private:
    // The widgets of window a user sees, spin boxes and combo boxes whole.
    static QList<QWidget*> Shown(QWidget* window)
    {
        QList<QWidget*> shown;
        for (QWidget* w : window->findChildren<QWidget*>())
            if (w->window() == window && w->isVisibleTo(window) && !PartOfAnother(w))
                shown.push_back(w);
        return shown;
    }

    // Each reading sets and takes back a sheet, which leaves other fonts
    // than before (Qt sets a widget's font when a sheet polishes it); a
    // window walked again starts from the fonts it had at its first walk.
    void Unread(QWidget* window)
    {
        for (auto& [w, fonts] : m_fonts)
            if (w == window) {
                fonts.SetSheet(window, window->styleSheet());
                return;
            }
        m_fonts.emplace_back(window, skin::FontBase{});
        m_fonts.back().second.Keep(window);
    }

    // The line edit inside a spin box or combo box and the viewport of a
    // list are read with their owner.
    static bool PartOfAnother(QWidget* w)
    {
        for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
            if (qobject_cast<QAbstractSpinBox*>(p) || qobject_cast<QComboBox*>(p))
                return true;
        return false;
    }

    static QString Describe(QWidget* w)
    {
        const QString name = w->objectName().isEmpty() ? QStringLiteral("(unnamed)") : w->objectName();
        return QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + name;
    }

    // A caption wider than the room its control gives it is cut off on
    // screen: a label's contents, the text part of a radio button or check
    // box, the inside of a push button's border.
    void Fits(QWidget* w, const QString& where)
    {
        QString text;
        int room = 0;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->wordWrap() || Qt::mightBeRichText(label->text()))
                return;
            text = label->text();
            room = label->contentsRect().width() - 2 * std::max(label->margin(), 0);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w); button && !qobject_cast<QToolButton*>(w)) {
            text = button->text();
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = text;
            const bool radio = qobject_cast<QRadioButton*>(w), check = qobject_cast<QCheckBox*>(w);
            room = radio   ? w->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, w).width()
                   : check ? w->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, w).width()
                           : w->width() - 4;
        }
        text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        if (text.isEmpty())
            return;
        const int needs = w->fontMetrics().horizontalAdvance(text);
        if (needs > room)
            m_faults.push_back(
                QStringLiteral("%1: caption needs %2 pixels, has %3").arg(where).arg(needs).arg(room).toStdString());
    }

    // One reading per text the widget shows; nothing for widgets that show
    // none. Empty fields get a text first, as the user would type one.
    void Widget(QWidget* w, const QString& where, double least)
    {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (!label->text().isEmpty())
                Expect(where, Read(w, w, {}), least);
        } else if (qobject_cast<QToolButton*>(w)) {
            return; // the file dialog's icon buttons carry no text
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            if (!button->text().isEmpty())
                Expect(where, Read(w, w, {}), least);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            if (!group->title().isEmpty())
                Expect(where, Read(w, w, {}, true), least);
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            WithText(edit, [&] { Expect(where, Read(w, w, {}), least); });
        } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
            const QString old = memo->toPlainText();
            if (old.isEmpty())
                memo->setPlainText(QStringLiteral("Holiday 2006, Kate & Tom"));
            Expect(where, Read(memo->viewport(), w, {}), least);
            if (old.isEmpty())
                memo->clear();
        } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) {
            Expect(where, Read(w, w, {}), least);
            Arrows(spin, where, least);
        } else if (qobject_cast<QComboBox*>(w)) {
            Expect(where, Read(w, w, {}), least);
        } else if (auto* bar = qobject_cast<QProgressBar*>(w)) {
            // The figure over the empty groove and over the full chunk.
            const int old = bar->value();
            for (int v : {bar->minimum(), bar->maximum()}) {
                bar->setValue(v);
                Expect(where + QStringLiteral(" at %1").arg(v), Read(w, w, {}), least);
            }
            bar->setValue(old);
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                if (tabs->isTabVisible(i))
                    Expect(where + QLatin1Char(' ') + tabs->tabText(i) +
                               (i == tabs->currentIndex() ? QStringLiteral(" (selected)") : QString()),
                           Read(w, w, tabs->tabRect(i)), least);
        } else if (auto* header = qobject_cast<QHeaderView*>(w)) {
            if (header->count() > 0)
                Expect(where, Read(w, w, {}), least);
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
            const QModelIndex first = FirstItem(view);
            if (first.isValid())
                Expect(where + QStringLiteral(" item"), Read(view->viewport(), w, view->visualRect(first)), least);
        }
    }

    // The arrows of a spin box, read against the button they are drawn on
    // (the colour most of the button shows); its edges are left out.
    void Arrows(QAbstractSpinBox* spin, const QString& where, double least)
    {
        QStyleOptionSpinBox opt;
        opt.initFrom(spin);
        opt.subControls = QStyle::SC_All;
        opt.buttonSymbols = spin->buttonSymbols();
        opt.frame = spin->hasFrame();
        opt.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
        const QImage image = spin->grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (const auto& [control, name] : {std::pair{QStyle::SC_SpinBoxUp, "up"}, {QStyle::SC_SpinBoxDown, "down"}}) {
            const QRect button =
                spin->style()->subControlRect(QStyle::CC_SpinBox, &opt, control, spin).adjusted(2, 2, -2, -2) &
                image.rect();
            std::map<QRgb, int> count;
            for (int y = button.top(); y <= button.bottom(); ++y)
                for (int x = button.left(); x <= button.right(); ++x)
                    ++count[image.pixel(x, y)];
            if (count.empty())
                continue;
            const QRgb back = std::max_element(count.begin(), count.end(), [](auto& a, auto& b) {
                                  return a.second < b.second;
                              })->first;
            double best = 1.0;
            for (const auto& [c, n] : count)
                best = std::max(best, Contrast(c, back));
            Expect(where + QStringLiteral(" %1 arrow").arg(QLatin1String(name)), best, least);
        }
    }

    // The longest text of the first row: a lone digit is all thin strokes,
    // none of whose pixels shows the full text colour.
    static QModelIndex FirstItem(const QAbstractItemView* view)
    {
        QModelIndex best;
        const QAbstractItemModel* model = view->model();
        if (!model || model->rowCount(view->rootIndex()) == 0)
            return best;
        for (int c = 0; c < model->columnCount(view->rootIndex()); ++c) {
            const QModelIndex i = model->index(0, c, view->rootIndex());
            if (view->visualRect(i).isValid() &&
                (!best.isValid() || i.data().toString().size() > best.data().toString().size()))
                best = i;
        }
        return best.isValid() && !best.data().toString().isEmpty() ? best : QModelIndex();
    }

    template <class F> static void WithText(QLineEdit* edit, F read)
    {
        const QSignalBlocker quiet(edit);
        const QString old = edit->text();
        if (old.isEmpty())
            edit->setText(QStringLiteral("Holiday 2006"));
        read();
        if (old.isEmpty())
            edit->clear();
    }

    // Selected text of a field, the selected row of a list; w has the focus.
    void Selected(QWidget* w, const QString& where)
    {
        const QString sel = where + QStringLiteral(" selected");
        if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            WithText(edit, [&] {
                edit->selectAll();
                Expect(sel, Read(w, w, {}), kText);
                edit->deselect();
            });
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->selectionModel()) {
            const QModelIndex first = FirstItem(view);
            if (!first.isValid())
                return;
            const QSignalBlocker quiet(view->selectionModel());
            const QItemSelection old = view->selectionModel()->selection();
            view->selectionModel()->select(first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            Expect(sel, Read(view->viewport(), w, view->visualRect(first)), kText);
            view->clearFocus();
            Expect(sel + QStringLiteral(" unfocused"), Read(view->viewport(), w, view->visualRect(first)), kText);
            view->selectionModel()->select(old, QItemSelectionModel::ClearAndSelect);
        }
    }

    void ToolTip(QWidget* window, const QString& name)
    {
        QToolTip::showText(window->mapToGlobal(QPoint(30, 30)), QStringLiteral("Create New Folder"), window);
        QApplication::processEvents();
        QLabel* tip = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("qtooltip_label") && top->isVisible())
                tip = qobject_cast<QLabel*>(top);
        if (!tip) {
            m_faults.push_back((name + QStringLiteral(" shows no tool tip")).toStdString());
            return;
        }
        Expect(name + QStringLiteral(" tool tip"), Read(tip, tip, {}), kText);
        QToolTip::hideText();
    }

    std::string m_skin;
    std::vector<std::pair<QPointer<QWidget>, skin::FontBase>> m_fonts;
    std::vector<std::string> m_faults;
    int m_readings = 0;
};

class SkinContrast : public MainWindowTest, public ::testing::WithParamInterface<int> {};

TEST_P(SkinContrast, EveryTextOfEveryWindowStandsOutFromItsBackground)
{
    const int skin = GetParam();
    Reader reader(skin::SkinName(skin).toStdString());
    // Started in the next skin and switched: the main window is read as it
    // looks after a change in Tools > Skin Type, its dialogs as they open.
    WriteSkin(std::to_string(skin % skin::kSkinCount + 1));
    const fs::path disc = AddDrive('D', "dvd");
    MakeSparse(disc / "VIDEO_TS" / "VTS_01_0.VOB", 1u << 20);
    MakeSparse(disc / "VIDEO_TS" / "VTS_01_1.VOB", 40u << 20);
    MakeSparse(disc / "VIDEO_TS" / "VTS_01_2.VOB", 30u << 20);
    const fs::path clip = dir / "clip.avi";
    MakeSparse(clip, 1u << 20);

    TfmMain& m = Open();
    m.show();
    QApplication::processEvents();
    const char* items[] = {"miSkinBlueGlass", "miSkinDeepBlue", "miSkinMacOS", "miSkinWinXP", "miSkinProtein"};
    A(items[skin - 1])->trigger();
    ASSERT_EQ(m.Skin().Style(), skin);

    ShowPage("spMain", "stOne");
    ShowPage("pcSource", "stDVD");
    reader.Window(&m, QStringLiteral("main (DVD)"));
    ShowPage("pcSource", "stFile");
    Radio("rbtnFile")->click();
    Edit("edtSrcFile")->setText(QString::fromStdString(clip.string()));
    reader.Window(&m, QStringLiteral("main (file)"));
    reader.Menus(&m, QStringLiteral("main"));

    ShowPage("spMain", "stMore");
    testsupport::OnNextModal<TfmSource>([&](TfmSource* d) {
        d->findChild<QLineEdit*>(QStringLiteral("edtSource"))->setText(QString::fromStdString(clip.string()));
        d->findChild<QLineEdit*>(QStringLiteral("edtOutput"))
            ->setText(QString::fromStdString((dir / "b.wmv").string()));
        reader.Window(d, QStringLiteral("add source"));
        d->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
    });
    Button("sbtnAddFile")->click();
    reader.Window(&m, QStringLiteral("main (batch)"));
    ShowPage("spMain", "stOne");

    testsupport::OnNextModal<TfmOption>([&](TfmOption* d) {
        auto* pages = d->findChild<QTabWidget*>(QStringLiteral("spMain"));
        ASSERT_NE(pages, nullptr);
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            reader.Window(d, QStringLiteral("options (%1)").arg(pages->tabText(i)));
        }
        d->reject();
    });
    Button("sbtnOption")->click();

    testsupport::OnNextModal<TfmProfile>([&](TfmProfile* d) {
        testsupport::OnNextModal<TfmInputString>([&](TfmInputString* p) {
            reader.Window(p, QStringLiteral("text prompt"));
            p->findChild<QPushButton*>(QStringLiteral("sbtnOK"))->click();
        });
        d->findChild<QPushButton*>(QStringLiteral("sbtnSave"))->click();
        reader.Window(d, QStringLiteral("profiles"));
        d->reject();
    });
    A("miFileProf")->trigger();

    testsupport::OnNextModal<TfmAbout>([&](TfmAbout* d) {
        reader.Window(d, QStringLiteral("about"));
        d->reject();
    });
    A("miHelpAbout")->trigger();

    // The product's own message boxes and file dialog, not the doubles.
    ui::InstallDialogs(nullptr);
    testsupport::OnNextModal<QMessageBox>([&](QMessageBox* box) {
        reader.Window(box, QStringLiteral("message box"));
        box->button(QMessageBox::No)->click();
    });
    Button("sbtnQuit")->click();
    testsupport::OnNextModal<QFileDialog>([&](QFileDialog* d) {
        // The folder is listed on a thread of the dialog's own.
        auto* list = d->findChild<QAbstractItemView*>(QStringLiteral("treeView"));
        for (int i = 0; i < 500 && list && list->model()->rowCount(list->rootIndex()) == 0; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        reader.Window(d, QStringLiteral("open file"));
        d->reject();
    });
    Button("sbtnFileBrowse")->click();
    ui::InstallDialogs(&dialogs);

    testsupport::FakeEngine engine;
    testsupport::ScopedFactory installed{&engine};
    engine.sourceDuration = 20000;
    engine.durationStep = 500;
    engine.fileSizeStep = 40000;
    Edit("edtOutputFile")->setText(QString::fromStdString((dir / "out.wmv").string()));
    RunWindowWatch watch([&](TfmConvert* w) {
        for (int i = 0; i < 2 && !w->IsStarted(); ++i)
            w->tmWaitTimer();
        for (int i = 0; i < 8; ++i)
            w->tmConvertTimer();
        reader.Window(w, QStringLiteral("run (in progress)"));
        engine.durationStep = 0;
        engine.fileSizeStep = 0;
        engine.runState = mce::RunState::Stopped; // the end of the input
        w->tmConvertTimer();
        EXPECT_EQ(w->GetState(), TfmConvert::csFinished);
        reader.Window(w, QStringLiteral("run (finished)"));
        w->done(QDialog::Rejected);
        return true;
    });
    Button("sbtnConvert")->click();
    EXPECT_EQ(watch.opened, 1);

    reader.Report();
}

INSTANTIATE_TEST_SUITE_P(AllSkins, SkinContrast, ::testing::Range(1, skin::kSkinCount + 1),
                         [](const ::testing::TestParamInfo<int>& p) {
                             return skin::SkinName(p.param).remove(QLatin1Char(' ')).toStdString();
                         });

} // namespace
