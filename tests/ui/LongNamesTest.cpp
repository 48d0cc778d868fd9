// Names of 200 letters where a user meets them: the quick-entry dialog keeps its size on the
// screen, a cell's drop-down editor keeps to its cell and its list to the grid, and a cut text
// shows whole as its tooltip.
#include <QGuiApplication>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QToolTip>
#include <QWindow>

#include "MainFormTestSupport.h"
#include "ui/QVTVComboEditor.h"
#include "ui/widgets/ElidedComboBox.h"

namespace {

// One word of 200 Cyrillic letters, wider than any screen here: no blank to break at.
const QString LongName = QString::fromUtf16(u"Продовольственный").repeated(12).left(200);

QRect Screen() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The tooltip a user resting the mouse at `point` of `widget` reads; empty for none. A mark
// shown first tells "none" from a tooltip still fading out.
QString ToolTipAt(QWidget& widget, const QPoint& point) {
    QToolTip::showText(widget.mapToGlobal(point), QStringLiteral("-"), &widget);
    QHelpEvent event(QEvent::ToolTip, point, widget.mapToGlobal(point));
    QApplication::sendEvent(&widget, &event);
    return QToolTip::text() == "-" ? QString() : ToolTipText(QToolTip::text());
}

class LongNamesTest : public MainFormTest {
protected:
    // The test budget, whose default account Bank, a new expense category (with a description)
    // and a debt with its counterparty all bear the long name; today's expense is in that
    // category, from Bank. The window is as large as the screen and has its tray icon.
    void SetUp() override {
        MainFormTest::SetUp();
        TfrmMain::SystemTrayAvailable = [] { return true; };
        const std::string path = MakeBudget(true);
        Env().GetSource(0)->IsDefault = false;
        Env().GetSource(1)->IsDefault = true;
        Env().GetSource(1)->Name = FromQ(LongName);
        TQVLocation* category = Env().GetExpenseLocation(Env().AddExpenseLocation());
        category->Name = category->Description = FromQ(LongName);
        TQVMoneyFlow* debt = Env().GetDebt(Env().AddDebt());
        debt->Name = debt->PeerName = FromQ(LongName);
        for (TQVMoneyFlow* flow : Today().Flows()) {
            if (auto* expense = dynamic_cast<TQVExpenseItem*>(flow)) {
                expense->Location = category;
                expense->Source = Env().GetSource(1);
            }
        }
        Env().Settings().UseTray = true;
        SaveAndForget(path);
        OpenWindow();
        Window->resize(Screen().size() - (Window->frameGeometry().size() - Window->size()));
        Settle();
    }
    void TearDown() override {
        Window.reset();
        TfrmMain::SystemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
        MainFormTest::TearDown();
    }
    static std::u16string FromQ(const QString& text) { return QVUIUtils::FromQ(text); }
    void RunTrayItem(const char* caption, DialogAction dialog) {
        DialogActions.push_back(std::move(dialog));
        Item(*Child<QMenu>(*Window, "mnuTray"), caption)->trigger();
        Settle();
    }
    // The open list of `box`: within `bounds`, at least as wide as the box, and the long entry,
    // which it must cut, whole in its tooltip.
    static void CheckList(TElidedComboBox& box, const QRect& bounds) {
        box.showPopup();
        const QWidget& popup = *box.view()->window();
        EXPECT_TRUE(popup.isVisible());
        EXPECT_GE(popup.width(), std::min(box.width(), bounds.width()));
        EXPECT_TRUE(bounds.contains(QRect(popup.x(), bounds.y(), popup.width(), 1)));
        const QRect entry = box.view()->visualRect(box.model()->index(box.findText(LongName), 0));
        EXPECT_EQ(ToolTipAt(*box.view()->viewport(), entry.topLeft() + QPoint(5, 5)), LongName);
        box.hidePopup();
    }
};

TEST_F(LongNamesTest, QuickEntryKeepsItsSizeOnTheScreenInEveryMode) {
    Env().GetSource(1)->Name = u"Bank";
    QSize designed; // with short names
    RunTrayItem("Add Expense", [&](QDialog& d) { designed = d.frameGeometry().size(); });
    Env().GetSource(1)->Name = FromQ(LongName);
    const struct {
        const char* item;
        const char* cut;  // the box showing the long name cut, and whole as its tooltip
        const char* list; // the box whose list is opened
    } modes[] = {{"Add Expense", "cbSources", "cbLocations"},
                 {"Add Income", "cbSources", "cbSources"},
                 {"Add Account-to-Account", "cbA2ADestSources", "cbA2ASources"},
                 {"Add Debt", nullptr, nullptr},
                 {"Add Loan", nullptr, nullptr}};
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.item);
        RunTrayItem(mode.item, [&](QDialog& d) {
            EXPECT_EQ(d.frameGeometry().size(), designed);
            EXPECT_TRUE(Screen().contains(d.frameGeometry()));
            if (mode.cut != nullptr) {
                auto& box = *Child<TElidedComboBox>(d, mode.cut);
                const QString shown = box.ShownText();
                EXPECT_TRUE(shown.endsWith(u'…') && LongName.startsWith(shown.chopped(1)));
                // The mouse rests on the line edit of an editable box.
                QWidget& under = box.isEditable() ? *box.lineEdit() : static_cast<QWidget&>(box);
                EXPECT_EQ(ToolTipAt(under, QPoint(5, 5)), LongName);
                // Tab into an editable box selects the name and shows how it begins.
                if (box.isEditable()) {
                    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
                    for (int tabs = 0; tabs < 10 && QApplication::focusWidget() != &box; ++tabs) {
                        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                    }
                    EXPECT_EQ(box.lineEdit()->selectedText(), LongName);
                    EXPECT_EQ(box.lineEdit()->cursorPosition(), 0);
                }
                CheckList(*Child<TElidedComboBox>(d, mode.list), Screen());
            }
        });
    }
}

TEST_F(LongNamesTest, CellEditorsKeepToTheirCellAndTheirListsToTheGrid) {
    QTreeView& grid = Grid("tvInfo");
    const int row = RowNamed(grid, 2, LongName);
    for (const int column : {2, 4}) { // Where, Source
        SCOPED_TRACE(column);
        const QModelIndex cell = grid.model()->index(row, column);
        grid.setFocus();
        grid.setCurrentIndex(cell);
        QTest::keyClick(&grid, Qt::Key_F2);
        auto* editor = qobject_cast<TQVTVComboEditor*>(grid.indexWidget(cell));
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->x(), grid.visualRect(cell).x());
        EXPECT_EQ(editor->width(), grid.visualRect(cell).width());
        // The name shows from its start, selected, so typing replaces it.
        const QLineEdit& line = *editor->Combo()->lineEdit();
        EXPECT_TRUE(line.selectedText() == LongName && line.cursorPosition() == 0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::AltModifier);
        CheckList(static_cast<TElidedComboBox&>(*editor->Combo()),
                  QRect(grid.mapToGlobal(QPoint(0, 0)), grid.size()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    }
    // A long text typed into What keeps to its cell too.
    const QModelIndex what = grid.model()->index(row, 1);
    grid.setCurrentIndex(what);
    QTest::keyClick(&grid, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(grid.indexWidget(what));
    ASSERT_NE(editor, nullptr);
    editor->insert(LongName);
    EXPECT_EQ(editor->geometry(), grid.visualRect(what));
    QTest::keyClick(editor, Qt::Key_Escape);
}

TEST_F(LongNamesTest, CutCellsShowTheirWholeTextAsTooltip) {
    const struct {
        const char* page;
        const char* grid;
        int column;
        QString text;
    } cells[] = {
        {"actCashflow", "tvInfo", 2, LongName},
        {"actCashflow", "tvInfo", 4, LongName},
        {"actCashflow", "tvInfo", 4, "Cash"},
        {"actDebts", "tvDebts", 0, LongName},
        {"actDebts", "tvDebts", 1, LongName},
        {"actPersonalisation", "tvDict", 0, LongName},
        {"actPersonalisation", "tvDict", 1, LongName},
        {"actPersonalisation", "tvDict", 0, "Food"},
    };
    for (const auto& c : cells) {
        SCOPED_TRACE(testing::Message() << c.grid << " " << c.column << " " << c.text.size());
        Action(c.page).trigger();
        Settle();
        QTreeView& grid = Grid(c.grid);
        const QModelIndex cell = grid.model()->index(RowNamed(grid, c.column, c.text), c.column);
        EXPECT_EQ(ToolTipAt(*grid.viewport(), grid.visualRect(cell).center()),
                  c.text == LongName ? LongName : QString());
    }
    // A tooltip opens just below the pointer, so it lets the pointer through to the next row,
    // whose cut cell then shows its own.
    const QString other = QString::fromUtf16(u"Коммунальные").repeated(20);
    Env().GetExpenseLocation(Env().ExpenseLocationCount() - 2)->Name = FromQ(other);
    Action("actPersonalisation").trigger();
    Settle();
    QTreeView& dict = Grid("tvDict");
    const QPoint from = dict.visualRect(dict.model()->index(RowNamed(dict, 0, other), 0)).center();
    const QPoint to = dict.visualRect(dict.model()->index(RowNamed(dict, 0, LongName), 0)).center();
    QTest::mouseMove(dict.viewport(), from);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ToolTipText(QToolTip::text()) == other; }));
    const QWidget* tip = ToolTipWindowAt(*dict.viewport(), from);
    ASSERT_NE(tip, nullptr);
    QApplication::processEvents(); // it lets the pointer through once it shows
    EXPECT_TRUE(tip->windowHandle()->flags().testFlag(Qt::WindowTransparentForInput));
    QTest::mouseMove(dict.viewport(), to);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ToolTipText(QToolTip::text()) == LongName; }));
    // A tooltip shows any text as it is.
    for (const QString text : {"Tom & <Jerry>", "one\ntwo  spaced"}) {
        EXPECT_EQ(ToolTipText(QVUIUtils::WholeTextToolTip(text)), text);
    }
}

} // namespace
