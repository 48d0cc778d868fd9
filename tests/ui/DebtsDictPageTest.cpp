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
        const std::string path = MakeBudget();
        Env().LoadFromFile(path);
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
        RememberLast(path);
        OpenWindow();
    }

    // Shows button `button` of page 2 (debts, loans) or 3 (expense, income categories).
    QTreeView& ShowList(int page, int button) {
        Bar(*Window).SetActivePageIndex(page);
        Window->LeftBarButtonClick(button);
        QTreeView& grid = Grid(page == 2 ? "tvDebts" : "tvDict");
        grid.setFocus();
        return grid;
    }
    static QString Cell(QTreeView& grid, int row, int column) {
        return grid.model()->index(row, column).data().toString();
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
    // Replaces the text of the open editor and accepts it with Enter.
    static void TypeInEditor(QTreeView& grid, const QString& text) {
        QLineEdit* editor = Editor(grid);
        ASSERT_NE(editor, nullptr);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        // The editor commits on the next pass of the loop; a refusal is shown on the one after.
        QApplication::processEvents();
        QApplication::processEvents();
    }
    static QStringList Captions(QMenu& menu) {
        QStringList captions;
        for (QAction* action : menu.actions()) {
            captions << (action->isSeparator() ? "-" : action->text()) +
                            (action->isEnabled() ? "" : " (off)");
        }
        return captions;
    }
};

TEST_F(DebtsDictPageTest, EditingADebtsCellsAndTheTotals) {
    QTreeView& grid = ShowList(2, 0);
    Select(grid, {1});
    EXPECT_EQ(Label("lblItems"), "Items: 1");
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(50));
    // A typed character opens the editor of the selected row in the current column; the
    // character is not entered.
    grid.selectionModel()->setCurrentIndex(grid.model()->index(1, 0),
                                           QItemSelectionModel::NoUpdate);
    QTest::keyClick(&grid, Qt::Key_X);
    ASSERT_NE(Editor(grid), nullptr);
    EXPECT_EQ(Editor(grid)->text(), "Flat");

    const struct {
        int column;
        QString typed;
        QString shown;
        int messages;
    } edits[] = {
        {0, "Flat rent", "Flat rent", 0},
        {1, "Bank", "Bank", 0},
        {2, QVUIUtils::FormatMoney(12.5L, 12), Money(12.5L), 0},
        // Not a number: the amount stays and the message tells why.
        {2, "12x", Money(12.5L), 1},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.typed.toStdString());
        Messages.clear();
        if (Editor(grid) == nullptr) {
            grid.edit(grid.model()->index(1, edit.column));
        }
        TypeInEditor(grid, edit.typed);
        EXPECT_EQ(Cell(grid, 1, edit.column), edit.shown);
        ASSERT_EQ(Messages.size(), static_cast<std::size_t>(edit.messages));
        if (edit.messages > 0) {
            EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
            EXPECT_TRUE(Messages[0].text.contains("12x"));
        }
    }
    EXPECT_EQ(Env().GetDebt(1)->Name, u"Flat rent");
    EXPECT_EQ(Env().GetDebt(1)->PeerName, u"Bank");
    EXPECT_EQ(Env().GetDebt(1)->Sum, 12.5L);
    // The totals follow the accepted amount at once; without a selection they cover the list.
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(12.5L));
    grid.selectionModel()->clearSelection();
    EXPECT_EQ(Label("lblItems"), "Items: 2");
    EXPECT_EQ(Label("lblTotalBalance"), "Total balance: " + Money(112.5L));
}

TEST_F(DebtsDictPageTest, DebtsMenuAddsAndRemovesWithoutAsking) {
    QTreeView& grid = ShowList(2, 0);
    Select(grid, {});
    QMenu& menu = OpenMenu(grid, "mnuTreeView");
    EXPECT_EQ(Captions(menu), QStringList({"&Edit (off)", "-", "&Remove (off)", "-", "Ne&w Debt"}));
    // A new debt opens its title editor; Escape leaves it as it was made.
    Choose(menu, "Ne&w Debt");
    ASSERT_EQ(Env().DebtCount(), 3);
    ASSERT_NE(Editor(grid), nullptr);
    EXPECT_EQ(grid.currentIndex(), grid.model()->index(2, 0));
    QTest::keyClick(Editor(grid), Qt::Key_Escape);
    EXPECT_EQ(Editor(grid), nullptr);
    ASSERT_EQ(grid.model()->rowCount(), 3);

    Select(grid, {0, 2});
    Choose(OpenMenu(grid, "mnuTreeView"), "&Remove");
    EXPECT_TRUE(DialogsRun.empty());
    ASSERT_EQ(Env().DebtCount(), 1);
    EXPECT_EQ(Env().GetDebt(0)->Name, u"Flat");
    ASSERT_EQ(grid.model()->rowCount(), 1);
    EXPECT_EQ(Cell(grid, 0, 0), "Flat");
    EXPECT_EQ(Label("lblItems"), "Items: 1");
}

TEST_F(DebtsDictPageTest, NewCategoryIsUntitledEnabledWithAFreshId) {
    const struct {
        int button;
        int (TQVEnvironment::*count)() const;
        TQVLocation* (TQVEnvironment::*get)(int) const;
    } lists[] = {{0, &TQVEnvironment::ExpenseLocationCount, &TQVEnvironment::GetExpenseLocation},
                 {1, &TQVEnvironment::IncomeLocationCount, &TQVEnvironment::GetIncomeLocation}};
    for (const auto& list : lists) {
        SCOPED_TRACE(list.button);
        QTreeView& grid = ShowList(3, list.button);
        const int before = (Env().*list.count)();
        Choose(OpenMenu(grid, "mnuDict"), "New &Category");
        ASSERT_EQ((Env().*list.count)(), before + 1);
        const TQVLocation& added = *(Env().*list.get)(before);
        EXPECT_EQ(added.Name, u"Untitled");
        EXPECT_TRUE(added.Enabled);
        EXPECT_FALSE(added.Id.empty());
        EXPECT_NE(added.Id, (Env().*list.get)(0)->Id);
        EXPECT_TRUE(Ticked(grid, before));
        EXPECT_EQ(grid.currentIndex(), grid.model()->index(before, 0));
        TypeInEditor(grid, "Pets");
        EXPECT_EQ(added.Name, u"Pets");
    }
}

TEST_F(DebtsDictPageTest, RemovingCategoriesOneOfThemInUse) {
    const struct {
        const char* confirm;
        const char* warning; // null: no warning expected
        int removed;
        bool usedStaysEnabled;
    } cases[] = {
        {"btnYes", "btnButton2", 2, false}, // Disable
        {"btnYes", "btnButton3", 2, true},  // Cancel
        {"btnNo", nullptr, 0, true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.confirm + std::string(item.warning ? item.warning : ""));
        TQVLocation* used = Env().GetExpenseLocation(0);
        used->Enabled = true;
        QTreeView& grid = ShowList(3, 0);
        const int before = Env().ExpenseLocationCount();
        DialogsRun.clear();
        DialogActions.push_back(Press(item.confirm));
        if (item.warning) {
            DialogActions.push_back(Press(item.warning));
        }
        Select(grid, {0, 1, 2});
        Choose(OpenMenu(grid, "mnuDict"), "&Remove");
        EXPECT_EQ(DialogsRun.size(), item.warning ? 2u : 1u);
        EXPECT_EQ(Env().ExpenseLocationCount(), before - item.removed);
        EXPECT_EQ(grid.model()->rowCount(), before - item.removed);
        EXPECT_EQ(Env().GetExpenseLocation(0), used);
        EXPECT_EQ(used->Enabled, item.usedStaysEnabled);
        EXPECT_EQ(Ticked(grid, 0), item.usedStaysEnabled);
    }
}

TEST_F(DebtsDictPageTest, CategoryMenuAndKeysEnableAndDisable) {
    QTreeView& grid = ShowList(3, 0);
    TQVLocation& first = *Env().GetExpenseLocation(0);
    TQVLocation& second = *Env().GetExpenseLocation(1);
    // The first selected category decides which of the two the menu offers.
    const struct {
        bool firstEnabled;
        QString offered;
        bool result;
    } cases[] = {{true, "&Disable", false}, {false, "E&nable", true}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.offered.toStdString());
        first.Enabled = item.firstEnabled;
        second.Enabled = !item.firstEnabled;
        Select(grid, {0, 1});
        QMenu& menu = OpenMenu(grid, "mnuDict");
        EXPECT_EQ(Captions(menu),
                  QStringList({"&Edit (off)", "-", item.offered, "&Remove", "-", "New &Category"}));
        Choose(menu, item.offered);
        EXPECT_EQ(first.Enabled, item.result);
        EXPECT_EQ(second.Enabled, item.result);
        EXPECT_EQ(Ticked(grid, 1), item.result);
    }

    // In the check-box column a letter opens nothing and Space ticks the box.
    const std::u16string name = first.Name;
    grid.selectionModel()->setCurrentIndex(grid.model()->index(0, 2),
                                           QItemSelectionModel::NoUpdate);
    QTest::keyClick(&grid, Qt::Key_X);
    EXPECT_EQ(Editor(grid), nullptr);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_FALSE(first.Enabled);
    EXPECT_FALSE(Ticked(grid, 0));
    // Elsewhere a letter edits the first selected row, even with two selected.
    Select(grid, {0, 1});
    grid.selectionModel()->setCurrentIndex(grid.model()->index(1, 1),
                                           QItemSelectionModel::NoUpdate);
    QTest::keyClick(&grid, Qt::Key_X);
    TypeInEditor(grid, "Food and drink");
    EXPECT_EQ(first.Description, u"Food and drink");
    EXPECT_EQ(first.Name, name);
}

} // namespace
