// The keys, the focused cell, the column widths and the context menus that the cash-flow, debts
// and category grids share, driven from the keyboard as a user without a mouse does.
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>

#include "MainFormTestSupport.h"

namespace {

// Each grid with the page that shows it and what its columns are.
struct TGrid {
    const char* name;
    int page;       // navigation bar page, button 0
    int lastColumn; // the last visible column
    const char* menu;
};
constexpr TGrid kGrids[] = {
    {"tvInfo", 0, 4, "mnuTreeView"},
    {"tvDebts", 2, 2, "mnuTreeView"},
    {"tvDict", 3, 2, "mnuDict"},
};

class GridKeysTest : public MainFormTest {
protected:
    // The test budget with one debt "Car" (the only row of the debts list); the window open.
    void SetUp() override {
        MainFormTest::SetUp();
        Path = MakeBudget(true);
        TQVIncomeItem* debt = Env().GetDebt(Env().AddDebt());
        debt->Name = u"Car";
        debt->Sum = 100;
        SaveAndForget(Path);
        OpenWindow();
        Window->resize(1000, 700);
        Settle();
    }

    QTreeView& Show(const TGrid& grid) {
        ShowBarPage(grid.page, 0);
        QTreeView& tree = Grid(grid.name);
        tree.setFocus();
        // Nothing selected and no cell current: the first Down selects the first row.
        tree.selectionModel()->clear();
        return tree;
    }
    // The rows selected, in order.
    static std::vector<int> Selected(QTreeView& grid) {
        return QVUIUtils::SelectedRows(*grid.selectionModel());
    }
    // What the grid shows of the cell (row, column).
    static QImage Picture(QTreeView& grid, int row, int column) {
        return grid.viewport()->grab(grid.visualRect(grid.model()->index(row, column))).toImage();
    }
    // A cell editor of the grid has the focus.
    static bool Editing(QTreeView& grid) {
        return grid.viewport()->isAncestorOf(QApplication::focusWidget());
    }

    std::string Path;
};

TEST_F(GridKeysTest, LeftAndRightMoveTheFocusedCellAlongTheSelectedRow) {
    for (const TGrid& g : kGrids) {
        SCOPED_TRACE(g.name);
        QTreeView& grid = Show(g);
        TModelChecker checker(*grid.model());
        // Down from nothing selects the first row with its first cell focused.
        QTest::keyClick(&grid, Qt::Key_Down);
        ASSERT_EQ(grid.currentIndex(), grid.model()->index(0, 0));
        const QImage unfocused = Picture(grid, 0, 1);
        // Left at the first column and Right at the last stay where they are; hidden columns
        // are passed over; the keypad's arrows move as well. The row stays selected throughout.
        const struct {
            Qt::Key key;
            Qt::KeyboardModifiers modifiers;
            int column;
        } steps[] = {
            {Qt::Key_Left, Qt::NoModifier, 0},      {Qt::Key_Right, Qt::NoModifier, 1},
            {Qt::Key_Right, Qt::KeypadModifier, 2}, {Qt::Key_Right, Qt::NoModifier, 3},
            {Qt::Key_Right, Qt::NoModifier, 4},     {Qt::Key_Right, Qt::NoModifier, 5},
        };
        for (const auto& step : steps) {
            QTest::keyClick(&grid, step.key, step.modifiers);
            EXPECT_EQ(grid.currentIndex().column(), std::min(step.column, g.lastColumn));
            EXPECT_EQ(Selected(grid), std::vector<int>{0});
            EXPECT_FALSE(Editing(grid));
        }
        QTest::keyClick(&grid, Qt::Key_Left, Qt::KeypadModifier);
        EXPECT_EQ(grid.currentIndex().column(), g.lastColumn - 1);
        // The focused cell is drawn apart from the rest of its selected row.
        QTest::keyClick(&grid, Qt::Key_Home);
        Select(grid, {0});
        grid.selectionModel()->setCurrentIndex(grid.model()->index(0, 0),
                                               QItemSelectionModel::NoUpdate);
        const QImage before = Picture(grid, 0, 1);
        QTest::keyClick(&grid, Qt::Key_Right);
        EXPECT_NE(Picture(grid, 0, 1), before);
        EXPECT_NE(Picture(grid, 0, 1), unfocused);
        // Up and Down keep the focused column.
        if (grid.model()->rowCount() > 1) {
            QTest::keyClick(&grid, Qt::Key_Down);
            EXPECT_EQ(grid.currentIndex(), grid.model()->index(1, 1));
            EXPECT_EQ(Selected(grid), std::vector<int>{1});
        }
    }
}

TEST_F(GridKeysTest, ATypedKeyEditsTheFocusedColumn) {
    // The cells that only the keyboard reached before: reached with Right, opened by a typed key
    // and written with what is typed into the editor.
    TQVExpenseItem* expense = nullptr;
    for (TQVMoneyFlow* flow : Today().Flows()) {
        if (flow->Kind() == TQVFlowKind::Expense) {
            expense = static_cast<TQVExpenseItem*>(flow);
        }
    }
    TQVLocation& food = *Env().GetExpenseLocation(0);
    const struct {
        const TGrid& grid;
        int row;
        int rights;
        QString typed;
        std::function<std::u16string()> written;
        QString shown; // empty: as typed
    } cases[] = {
        {kGrids[0], 1, 3, Local("12.5"),
         [&] { return QVUIUtils::FromQ(QVUIUtils::FormatMoney(expense->Sum, 12)); },
         Local("12.50")},
        {kGrids[1], 0, 1, "Ann", [] { return Env().GetDebt(0)->PeerName; }, {}},
        {kGrids[1],
         0,
         2,
         Local("7.25"),
         [] { return QVUIUtils::FromQ(QVUIUtils::FormatMoney(Env().GetDebt(0)->Sum, 12)); },
         {}},
        {kGrids[2], 0, 1, "Groceries", [&] { return food.Description; }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.grid.name + (" " + c.typed.toStdString()));
        QTreeView& grid = Show(c.grid);
        QTest::keyClick(&grid, Qt::Key_Down);
        for (int row = 0; row < c.row; ++row) {
            QTest::keyClick(&grid, Qt::Key_Down);
        }
        for (int i = 0; i < c.rights; ++i) {
            QTest::keyClick(&grid, Qt::Key_Right);
        }
        QTest::keyClick(&grid, Qt::Key_1);
        ASSERT_TRUE(Editing(grid));
        EXPECT_EQ(grid.currentIndex(), grid.model()->index(c.row, c.rights));
        ASSERT_NE(qobject_cast<QLineEdit*>(QApplication::focusWidget()), nullptr);
        Type(c.typed);
        EXPECT_EQ(QVUIUtils::ToQ(c.written()), c.shown.isEmpty() ? c.typed : c.shown);
        EXPECT_TRUE(TakeMessages().isEmpty());
    }
    EXPECT_EQ(expense->Sum, 12.5L);
    // The check-box column opens no editor; Space still ticks the box.
    QTreeView& dict = Show(kGrids[2]);
    QTest::keyClick(&dict, Qt::Key_Down);
    QTest::keyClick(&dict, Qt::Key_End); // the last row
    QTest::keyClick(&dict, Qt::Key_Right);
    QTest::keyClick(&dict, Qt::Key_Right);
    QTest::keyClick(&dict, Qt::Key_X);
    EXPECT_FALSE(Editing(dict));
    QTest::keyClick(&dict, Qt::Key_Space);
    EXPECT_FALSE(Env().GetExpenseLocation(Env().ExpenseLocationCount() - 1)->Enabled);
}

TEST_F(GridKeysTest, BothDeleteKeysRemoveCashFlows) {
    QTreeView& grid = Show(kGrids[0]);
    TModelChecker checker(*grid.model());
    const struct {
        Qt::KeyboardModifiers modifiers;
        bool removes;
    } cases[] = {
        {Qt::NoModifier, true},
        {Qt::KeypadModifier, true},
        {Qt::ShiftModifier, false},
        {Qt::ControlModifier | Qt::KeypadModifier, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.modifiers.toInt());
        const int rows = grid.model()->rowCount();
        ASSERT_GT(rows, 0);
        grid.selectionModel()->clear();
        QTest::keyClick(&grid, Qt::Key_Down);
        QTest::keyClick(&grid, Qt::Key_Delete, c.modifiers);
        EXPECT_EQ(grid.model()->rowCount(), rows - (c.removes ? 1 : 0));
        EXPECT_EQ(static_cast<int>(Today().Flows().size()), rows - (c.removes ? 1 : 0));
    }
}

TEST_F(GridKeysTest, MenusLeaveNothingBehindWhenBuiltAgain) {
    for (const TGrid& g : kGrids) {
        SCOPED_TRACE(g.name);
        QTreeView& grid = Show(g);
        QMenu* menu = nullptr;
        for (int i = 0; i < 20; ++i) {
            menu = &OpenMenu(grid, g.menu);
            menu->close();
            Settle();
        }
        // The cash-flow menu has its one "New" submenu, the others none.
        EXPECT_EQ(menu->findChildren<QMenu*>().size(), g.page == 0 ? 1 : 0);
        EXPECT_EQ(Captions(*menu).size(), g.page == 3 ? 6 : 5);
    }
}

TEST_F(GridKeysTest, ColumnsKeepTheirWidthsAndTheLastTakesTheRest) {
    QTreeView& cashflow = Grid("tvInfo");
    QTreeView& debts = Show(kGrids[1]);
    // The user's widths outlive another budget opened; the last visible column fills the grid.
    debts.header()->resizeSection(1, 150);
    Show(kGrids[0]);
    cashflow.header()->resizeSection(2, 130);
    Window->OpenBudget(Path);
    Settle();
    const struct {
        QTreeView& grid;
        std::vector<int> widths;
    } cases[] = {
        {cashflow, {120, 200, 130, 100}},
        {debts, {240, 150}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.grid.objectName().toStdString());
        if (&c.grid == &debts) {
            Show(kGrids[1]);
        }
        int used = 0;
        for (std::size_t column = 0; column < c.widths.size(); ++column) {
            EXPECT_EQ(c.grid.columnWidth(static_cast<int>(column)), c.widths[column]) << column;
            used += c.grid.columnWidth(static_cast<int>(column));
        }
        const int last = c.grid.header()->logicalIndex(c.grid.header()->count() - 1 -
                                                       (&c.grid == &debts ? 1 : 0));
        EXPECT_EQ(used + c.grid.columnWidth(last), c.grid.viewport()->width());
    }
    EXPECT_TRUE(debts.isColumnHidden(3));
}

TEST_F(GridKeysTest, CategoryChecksStandCentredInANarrowColumn) {
    QTreeView& grid = Show(kGrids[2]);
    QHeaderView& header = *grid.header();
    EXPECT_EQ(grid.columnWidth(2), 80);
    EXPECT_EQ(grid.columnWidth(0), 220);
    EXPECT_EQ(grid.columnWidth(0) + grid.columnWidth(1) + grid.columnWidth(2),
              grid.viewport()->width());
    EXPECT_EQ(grid.model()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignCenter));
    // A click in the middle of the cell ticks the box; one at the cell's left edge, where the
    // box would stand uncentred, does not.
    TQVLocation& first = *Env().GetExpenseLocation(0);
    const QRect cell = grid.visualRect(grid.model()->index(0, 2));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_FALSE(first.Enabled);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(4, 4));
    EXPECT_FALSE(first.Enabled);
    // The widths stay as the grid grows.
    Window->resize(1200, 700);
    Settle();
    EXPECT_EQ(grid.columnWidth(2), 80);
    EXPECT_EQ(header.sectionViewportPosition(2) + 80, grid.viewport()->width());
}

} // namespace
