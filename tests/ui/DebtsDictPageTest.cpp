// The debts and loans page and the category lists, edited as a user does: the grids' editors,
// typed keys and the context menus.
#include <QLineEdit>

#include "MainFormTestSupport.h"

namespace {

class DebtsDictPageTest : public MainFormTest {
protected:
    // The test budget with the debts Car (100) and Flat (50), the loan Bike (30), and its first
    // expense category used by an expense of the current month; the window open on it.
    void SetUp() override {
        MainFormTest::SetUp();
        const std::string path = MakeBudget(true);
        const auto add = [](TQVMoneyFlow* flow, const char16_t* name, long double sum) {
            flow->Name = name;
            flow->Sum = sum;
        };
        add(Env().GetDebt(Env().AddDebt()), u"Car", 100);
        add(Env().GetDebt(Env().AddDebt()), u"Flat", 50);
        add(Env().GetCredit(Env().AddCredit()), u"Bike", 30);
        for (TQVMoneyFlow* flow : Today().Flows()) {
            if (flow->Kind() == TQVFlowKind::Expense) {
                static_cast<TQVExpenseItem*>(flow)->Location = Env().GetExpenseLocation(0);
            }
        }
        SaveAndForget(path);
        OpenWindow();
    }

    // Shows button `button` of page 2 (debts, loans) or 3 (expense, income categories).
    QTreeView& ShowList(int page, int button) {
        ShowBarPage(page, button);
        QTreeView& grid = Grid(page == 2 ? "tvDebts" : "tvDict");
        grid.setFocus();
        return grid;
    }
    static bool Ticked(QTreeView& grid, int row) {
        return grid.model()->index(row, 2).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }
    // The open cell editor, or null.
    static QLineEdit* Editor(QTreeView& grid) {
        for (QLineEdit* edit : grid.viewport()->findChildren<QLineEdit*>()) {
            if (edit->isVisible()) {
                return edit;
            }
        }
        return nullptr;
    }
    // A key typed into the grid with row `row` selected and the cell (row, column) current.
    static void KeyOn(QTreeView& grid, std::initializer_list<int> rows, int row, int column,
                      Qt::Key key) {
        Select(grid, rows);
        grid.selectionModel()->setCurrentIndex(grid.model()->index(row, column),
                                               QItemSelectionModel::NoUpdate);
        QTest::keyClick(&grid, key);
    }
};

TEST_F(DebtsDictPageTest, DebtCellsAndTheTotals) {
    QTreeView& grid = ShowList(2, 0);
    TModelChecker checker(*grid.model());
    // A typed character opens the editor of the selected row in the current column, where it
    // replaces the old text.
    KeyOn(grid, {1}, 1, 0, Qt::Key_X);
    EXPECT_EQ(Label("lblItems"), "Items: 1");
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(50));
    ASSERT_NE(Editor(grid), nullptr);
    EXPECT_EQ(Editor(grid)->text(), "x");
    Type("Flat rent");
    EXPECT_EQ(Env().GetDebt(1)->Name, u"Flat rent");
    // An amount that is no number: the amount stays and the message tells why.
    for (const QString& typed : {Local("12.5"), QString("12x")}) {
        Edit(grid, 1, 2);
        Type(typed);
    }
    EXPECT_EQ(Cell(grid, 1, 2), Money(12.5L));
    EXPECT_EQ(TakeMessages(), QStringList{"'12x' is not a valid floating point value"});
    // The totals follow the accepted amount at once; without a selection they cover the list.
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(12.5L));
    grid.selectionModel()->clearSelection();
    EXPECT_EQ(Label("lblItems"), "Items: 2");
    EXPECT_EQ(Label("lblTotalBalance"), "Total balance: " + Money(112.5L));
}

TEST_F(DebtsDictPageTest, DebtsMenuAddsAndRemovesWithoutAsking) {
    QTreeView& grid = ShowList(2, 0);
    TModelChecker checker(*grid.model());
    Select(grid, {});
    QMenu& menu = OpenMenu(grid, "mnuTreeView");
    EXPECT_EQ(Captions(menu), QStringList({"&Edit (off)", "-", "&Remove (off)", "-", "Ne&w Debt"}));
    // A new debt opens its title editor; Escape leaves it as it was made.
    Choose(menu, "Ne&w Debt");
    ASSERT_EQ(Env().DebtCount(), 3);
    ASSERT_NE(Editor(grid), nullptr);
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(2, 0));
    Type("", Qt::Key_Escape);
    EXPECT_EQ(Editor(grid), nullptr);
    ASSERT_EQ(grid.model()->rowCount(), 3);

    Select(grid, {0, 2});
    Choose(OpenMenu(grid, "mnuTreeView"), "&Remove");
    EXPECT_TRUE(DialogsRun.empty());
    ASSERT_EQ(Env().DebtCount(), 1);
    EXPECT_EQ(Env().GetDebt(0)->Name, u"Flat");
    ASSERT_EQ(grid.model()->rowCount(), 1);
    EXPECT_EQ(RowText(grid, 0), "Flat |  | " + Money(50));
    EXPECT_EQ(Label("lblItems"), "Items: 1");
}

TEST_F(DebtsDictPageTest, NewCategoryIsUntitledEnabledWithAFreshId) {
    for (const int button : {0, 1}) {
        SCOPED_TRACE(button);
        const auto category = [button](int index) {
            return button == 0 ? Env().GetExpenseLocation(index) : Env().GetIncomeLocation(index);
        };
        QTreeView& grid = ShowList(3, button);
        TModelChecker checker(*grid.model());
        const int count = grid.model()->rowCount();
        Choose(OpenMenu(grid, "mnuDict"), "New &Category");
        ASSERT_EQ(grid.model()->rowCount(), count + 1);
        const TQVLocation& added = *category(count);
        EXPECT_EQ(added.Name, u"Untitled");
        EXPECT_TRUE(added.Enabled);
        EXPECT_FALSE(added.Id.empty());
        EXPECT_NE(added.Id, category(0)->Id);
        EXPECT_TRUE(Ticked(grid, count));
        EXPECT_EQ(grid.currentIndex(), grid.model()->index(count, 0));
        Type("Pets");
        EXPECT_EQ(added.Name, u"Pets");
    }
}

TEST_F(DebtsDictPageTest, RemovingCategoriesOneOfThemInUse) {
    const struct {
        DialogAction confirm;
        DialogAction warning; // null: no warning expected
        int removed;
        bool usedStaysEnabled;
    } cases[] = {
        {Press("btnYes"), Press("btnButton2"), 2, false}, // Disable
        {Press("btnYes"), Press("btnButton3"), 2, true},  // Cancel
        {Press("btnNo"), {}, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.removed + 10 * c.usedStaysEnabled);
        TQVLocation* used = Env().GetExpenseLocation(0);
        used->Enabled = true;
        QTreeView& grid = ShowList(3, 0);
        const int before = Env().ExpenseLocationCount();
        DialogsRun.clear();
        DialogActions = {c.confirm};
        if (c.warning) {
            DialogActions.push_back(c.warning);
        }
        Select(grid, {0, 1, 2});
        // Views read the rows they are about to drop; by then the category is freed.
        QStringList dropped;
        const QMetaObject::Connection reader =
            QObject::connect(grid.model(), &QAbstractItemModel::rowsAboutToBeRemoved,
                             [&](const QModelIndex&, int first, int) {
                                 dropped << grid.model()->index(first, 0).data().toString();
                             });
        Choose(OpenMenu(grid, "mnuDict"), "&Remove");
        QObject::disconnect(reader);
        EXPECT_EQ(dropped, QStringList(c.removed, QString()));
        EXPECT_EQ(DialogsRun.size(), c.warning ? 2u : 1u);
        EXPECT_EQ(Env().ExpenseLocationCount(), before - c.removed);
        EXPECT_EQ(grid.model()->rowCount(), before - c.removed);
        EXPECT_EQ(Env().GetExpenseLocation(0), used);
        EXPECT_EQ(used->Enabled, c.usedStaysEnabled);
        EXPECT_EQ(Ticked(grid, 0), c.usedStaysEnabled);
    }
}

TEST_F(DebtsDictPageTest, CategoryMenuAndKeysEnableAndDisable) {
    QTreeView& grid = ShowList(3, 0);
    TQVLocation& first = *Env().GetExpenseLocation(0);
    TQVLocation& second = *Env().GetExpenseLocation(1);
    // The first selected category decides which of the two the menu offers.
    for (const bool firstEnabled : {true, false}) {
        const QString offered = firstEnabled ? "&Disable" : "E&nable";
        first.Enabled = firstEnabled;
        second.Enabled = !firstEnabled;
        Select(grid, {0, 1});
        QMenu& menu = OpenMenu(grid, "mnuDict");
        EXPECT_EQ(Captions(menu),
                  QStringList({"&Edit (off)", "-", offered, "&Remove", "-", "New &Category"}));
        Choose(menu, offered);
        EXPECT_EQ(first.Enabled, !firstEnabled);
        EXPECT_EQ(second.Enabled, !firstEnabled);
        EXPECT_EQ(Ticked(grid, 1), !firstEnabled);
    }
    // In the check-box column a letter opens nothing and Space ticks the box.
    const std::u16string name = first.Name;
    KeyOn(grid, {0}, 0, 2, Qt::Key_X);
    EXPECT_EQ(Editor(grid), nullptr);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_FALSE(first.Enabled);
    EXPECT_FALSE(Ticked(grid, 0));
    // Elsewhere a letter edits the first selected row, even with two selected.
    KeyOn(grid, {0, 1}, 1, 1, Qt::Key_X);
    Type("Food and drink");
    EXPECT_EQ(first.Description, u"Food and drink");
    EXPECT_EQ(first.Name, name);
}

} // namespace
