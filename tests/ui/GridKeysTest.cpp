// What the cash-flow, debts and category grids share, driven as a user without a mouse does:
// the focused column, Delete, column widths and the context menus.
#include <QHeaderView>

#include "MainFormTestSupport.h"

namespace {

class GridKeysTest : public MainFormTest {
protected:
    // The test budget with the debt "Car"; the window open and wide.
    void SetUp() override {
        MainFormTest::SetUp();
        Path = MakeBudget(true);
        Env().GetDebt(Env().AddDebt())->Name = u"Car";
        SaveAndForget(Path);
        OpenWindow();
        Window->resize(1000, 700);
        Settle();
    }
    // Shows `grid` from button 0 of bar page `page` with nothing selected, and gives it the keys.
    QTreeView& Show(int page, const char* grid) {
        ShowBarPage(page, 0);
        QTreeView& tree = Grid(grid);
        tree.setFocus();
        tree.selectionModel()->clear();
        return tree;
    }
    static QImage Picture(QTreeView& grid, int column) {
        return grid.viewport()->grab(grid.visualRect(grid.model()->index(0, column))).toImage();
    }
    std::string Path;
};

TEST_F(GridKeysTest, LeftAndRightMoveTheFocusedCellAndATypedKeyEditsIt) {
    const struct {
        int page;
        const char* grid;
        int lastColumn; // the debts' deadline is hidden
        std::function<std::u16string()> column1;
    } cases[] = {
        {0, "tvInfo", 4, nullptr},
        {2, "tvDebts", 2, [] { return Env().GetDebt(0)->PeerName; }},
        {3, "tvDict", 2, [] { return Env().GetExpenseLocation(0)->Description; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.grid);
        QTreeView& grid = Show(c.page, c.grid);
        TModelChecker checker(*grid.model());
        QTest::keyClick(&grid, Qt::Key_Down);
        QTest::keyClick(&grid, Qt::Key_Left);
        const QImage unfocused = Picture(grid, 1);
        for (int column = 1; column <= 5; ++column) { // the keypad's arrows count too
            QTest::keyClick(&grid, Qt::Key_Right,
                            column == 2 ? Qt::KeypadModifier : Qt::NoModifier);
            EXPECT_EQ(grid.currentIndex(), grid.model()->index(0, std::min(column, c.lastColumn)));
        }
        QTest::keyClick(&grid, Qt::Key_Left, Qt::KeypadModifier);
        EXPECT_EQ(grid.currentIndex().column(), c.lastColumn - 1);
        while (grid.currentIndex().column() > 1) {
            QTest::keyClick(&grid, Qt::Key_Left);
        }
        EXPECT_EQ(QVUIUtils::SelectedRows(*grid.selectionModel()), std::vector<int>{0});
        EXPECT_NE(Picture(grid, 1), unfocused) << "the focused cell is drawn";
        QTest::keyClick(&grid, Qt::Key_1);
        EXPECT_TRUE(grid.viewport()->isAncestorOf(QApplication::focusWidget()));
        EXPECT_EQ(grid.currentIndex(), grid.model()->index(0, 1));
        Type("Ann", c.column1 ? Qt::Key_Return : Qt::Key_Escape);
        if (c.column1) {
            EXPECT_EQ(c.column1(), u"Ann");
        }
    }
}

TEST_F(GridKeysTest, BothDeleteKeysRemoveCashFlows) {
    QTreeView& grid = Show(0, "tvInfo");
    const struct {
        Qt::KeyboardModifiers modifiers;
        int removed;
    } cases[] = {{Qt::NoModifier, 1},
                 {Qt::KeypadModifier, 1},
                 {Qt::ShiftModifier, 0},
                 {Qt::ControlModifier | Qt::KeypadModifier, 0}};
    for (const auto& c : cases) {
        const std::size_t flows = Today().Flows().size();
        grid.selectionModel()->clear();
        QTest::keyClick(&grid, Qt::Key_Down);
        QTest::keyClick(&grid, Qt::Key_Delete, c.modifiers);
        EXPECT_EQ(Today().Flows().size(), flows - c.removed) << c.modifiers.toInt();
    }
}

TEST_F(GridKeysTest, ColumnWidthsAndMenusOutliveRebuilding) {
    // The user's widths outlive another budget opened; the last column fills the grid.
    QTreeView& cashflow = Show(0, "tvInfo");
    cashflow.header()->resizeSection(2, 130);
    Window->OpenBudget(Path);
    Settle();
    for (const auto& [column, width] : {std::pair{0, 120}, {1, 200}, {2, 130}, {3, 100}}) {
        EXPECT_EQ(cashflow.columnWidth(column), width);
    }
    EXPECT_EQ(cashflow.header()->sectionViewportPosition(4) + cashflow.columnWidth(4),
              cashflow.viewport()->width());
    // The categories' check boxes: 80 pixels under a centred caption, each box in the top-left
    // corner of its cell, where a click ticks it; a click in the middle of the cell does not.
    QTreeView& dict = Show(3, "tvDict");
    const QRect cell = dict.visualRect(dict.model()->index(0, 2));
    EXPECT_EQ(cell.width(), 80);
    EXPECT_EQ(cell.right() + 1, dict.viewport()->width());
    EXPECT_EQ(dict.model()->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
              Qt::AlignCenter);
    QTest::mouseClick(dict.viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(Env().GetExpenseLocation(0)->Enabled);
    QTest::mouseClick(dict.viewport(), Qt::LeftButton, {}, cell.topLeft() + QPoint(5, 5));
    EXPECT_FALSE(Env().GetExpenseLocation(0)->Enabled);
    // The name column keeps the user's width when the list is shown again; the description
    // fills what is left.
    dict.header()->resizeSection(0, 300);
    Show(0, "tvInfo");
    Show(3, "tvDict");
    EXPECT_EQ(dict.columnWidth(0), 300);
    EXPECT_EQ(dict.columnWidth(2), 80);
    EXPECT_EQ(dict.columnWidth(0) + dict.columnWidth(1) + 80, dict.viewport()->width());
    // Menus built at every opening leave no submenus behind.
    for (const auto& [page, grid, menu] : {std::tuple{0, "tvInfo", "mnuTreeView"},
                                           {2, "tvDebts", "mnuTreeView"},
                                           {3, "tvDict", "mnuDict"}}) {
        QTreeView& tree = Show(page, grid);
        for (int i = 0; i < 10; ++i) {
            OpenMenu(tree, menu).close();
            Settle();
        }
        EXPECT_EQ(OpenMenu(tree, menu).findChildren<QMenu*>().size(), page == 0 ? 1 : 0);
    }
}

} // namespace
