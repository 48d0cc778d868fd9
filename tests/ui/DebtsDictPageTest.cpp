// The debts and loans page and the category lists, edited as a user does: the grids' editors,
// typed keys and the context menus.
#include <memory>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include "MainFormTestSupport.h"

namespace {

using QVUIUtils::FormatMoney;

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
        for (TQVMoneyFlow* flow : Env().GetMonth(Env().IndexOfCurrentMonth())->Flows()) {
            if (flow->Kind() == TQVFlowKind::Expense) {
                static_cast<TQVExpenseItem*>(flow)->Location = Env().GetExpenseLocation(0);
            }
        }
        Env().SaveToFile(path);
        Env().Reset();
        Env().FileName.clear();
        RememberLast(path);
        Window = std::make_unique<TfrmMain>();
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }
    void TearDown() override {
        Window.reset();
        MainFormTest::TearDown();
    }

    // Shows button `button` of page 2 (debts, loans) or 3 (expense, income categories).
    QTreeView& ShowList(int page, int button) {
        Bar(*Window).SetActivePageIndex(page);
        Window->LeftBarButtonClick(button);
        QTreeView& grid = *Child<QTreeView>(*Window, page == 2 ? "tvDebts" : "tvDict");
        grid.setFocus();
        return grid;
    }
    static void Select(QTreeView& grid, std::initializer_list<int> rows) {
        grid.selectionModel()->clear();
        for (int row : rows) {
            grid.selectionModel()->select(grid.model()->index(row, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
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
    // Right-clicks the grid and returns the menu that opened.
    QMenu& OpenMenu(QTreeView& grid, const char* name) {
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5));
        QApplication::sendEvent(grid.viewport(), &event);
        QApplication::processEvents();
        QMenu* menu = Window->findChild<QMenu*>(QString::fromLatin1(name));
        EXPECT_NE(menu, nullptr);
        return *menu;
    }
    static QAction* Item(QMenu& menu, const QString& caption) {
        for (QAction* action : menu.actions()) {
            if (action->text() == caption) {
                return action;
            }
        }
        ADD_FAILURE() << "no menu item " << caption.toStdString();
        return nullptr;
    }
    static void Choose(QMenu& menu, const QString& caption) {
        QAction* action = Item(menu, caption);
        ASSERT_NE(action, nullptr);
        ASSERT_TRUE(action->isEnabled());
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(action).center());
        QApplication::processEvents();
    }
    static QStringList Captions(QMenu& menu) {
        QStringList captions;
        for (QAction* action : menu.actions()) {
            captions << (action->isSeparator() ? "-" : action->text()) +
                            (action->isEnabled() ? "" : " (off)") +
                            (menu.defaultAction() == action ? " (default)" : "");
        }
        return captions;
    }
    static auto Answer(const char* button) {
        return [button](QDialog& dialog) {
            QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
        };
    }

    std::unique_ptr<TfrmMain> Window;
};

TEST_F(DebtsDictPageTest, NewDebtOrLoanFromTheEditMenuOpensItsTitleEditor) {
    const struct {
        const char* action;
        int button;
        int (TQVEnvironment::*count)() const;
    } cases[] = {{"actNewDebt", 0, &TQVEnvironment::DebtCount},
                 {"actNewCredit", 1, &TQVEnvironment::CreditCount}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.action);
        const int before = (Env().*item.count)();
        Action(*Window, item.action).trigger();
        QTreeView& grid = *Child<QTreeView>(*Window, "tvDebts");
        EXPECT_EQ(Bar(*Window).ActivePageIndex(), 2);
        EXPECT_EQ(Bar(*Window).Page(2).DownIndex(), item.button);
        ASSERT_EQ((Env().*item.count)(), before + 1);
        const int row = grid.model()->rowCount() - 1;
        EXPECT_EQ(row, before);
        EXPECT_EQ(Cell(grid, row, 0), "");
        EXPECT_EQ(Cell(grid, row, 1), "");
        EXPECT_EQ(Cell(grid, row, 2), FormatMoney(0, 10));
        ASSERT_NE(Editor(grid), nullptr);
        EXPECT_EQ(grid.currentIndex(), grid.model()->index(row, 0));
        // Escape leaves the new item as it was made.
        QTest::keyClick(Editor(grid), Qt::Key_Escape);
        EXPECT_EQ(Editor(grid), nullptr);
    }
}

TEST_F(DebtsDictPageTest, EditingADebtsCellsAndTheTotals) {
    QTreeView& grid = ShowList(2, 0);
    Select(grid, {1});
    EXPECT_EQ(Text(*Window, "lblItems"), "Items: 1");
    EXPECT_EQ(Text(*Window, "lblTotalIncome"), "Total income: " + FormatMoney(50, 10));
    // A typed character opens the editor of the selected row in the current column; the
    // character is not entered.
    grid.selectionModel()->setCurrentIndex(grid.model()->index(1, 0),
                                           QItemSelectionModel::NoUpdate);
    QTest::keyClick(&grid, Qt::Key_X);
    ASSERT_NE(Editor(grid), nullptr);
    EXPECT_EQ(Editor(grid)->text(), "Flat");
    TypeInEditor(grid, "Flat rent");
    EXPECT_EQ(Env().GetDebt(1)->Name, u"Flat rent");

    const struct {
        int column;
        QString typed;
        QString shown;
        int messages;
    } edits[] = {
        {1, "Bank", "Bank", 0},
        {0, "", "", 0},
        {2, FormatMoney(12.5L, 12), FormatMoney(12.5L, 10), 0},
        // Not a number: the amount stays and the message tells why.
        {2, "12x", FormatMoney(12.5L, 10), 1},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.typed.toStdString());
        Messages.clear();
        grid.edit(grid.model()->index(1, edit.column));
        TypeInEditor(grid, edit.typed);
        EXPECT_EQ(Cell(grid, 1, edit.column), edit.shown);
        ASSERT_EQ(Messages.size(), static_cast<std::size_t>(edit.messages));
        if (edit.messages > 0) {
            EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
            EXPECT_TRUE(Messages[0].text.contains("12x"));
        }
    }
    EXPECT_EQ(Env().GetDebt(1)->PeerName, u"Bank");
    EXPECT_EQ(Env().GetDebt(1)->Name, u"");
    EXPECT_EQ(Env().GetDebt(1)->Sum, 12.5L);
    // The totals follow the accepted amount at once.
    EXPECT_EQ(Text(*Window, "lblTotalIncome"), "Total income: " + FormatMoney(12.5L, 10));
    // Without a selection they cover the whole list.
    grid.selectionModel()->clearSelection();
    EXPECT_EQ(Text(*Window, "lblItems"), "Items: 2");
    EXPECT_EQ(Text(*Window, "lblTotalBalance"), "Total balance: " + FormatMoney(112.5L, 10));
}

TEST_F(DebtsDictPageTest, DebtsAndLoansMenus) {
    const struct {
        int button;
        QString newCaption;
        int (TQVEnvironment::*count)() const;
    } lists[] = {{0, "Ne&w Debt", &TQVEnvironment::DebtCount},
                 {1, "New &Loan", &TQVEnvironment::CreditCount}};
    for (const auto& list : lists) {
        SCOPED_TRACE(list.button);
        QTreeView& grid = ShowList(2, list.button);
        Select(grid, {});
        QMenu& menu = OpenMenu(grid, "mnuTreeView");
        EXPECT_EQ(Captions(menu), QStringList({"&Edit (off) (default)", "-", "&Remove (off)", "-",
                                               list.newCaption}));
        menu.close();
        Select(grid, {0});
        OpenMenu(grid, "mnuTreeView");
        EXPECT_EQ(Captions(menu),
                  QStringList({"&Edit (default)", "-", "&Remove", "-", list.newCaption}));
        const int before = (Env().*list.count)();
        Choose(menu, list.newCaption);
        EXPECT_EQ((Env().*list.count)(), before + 1);
        EXPECT_EQ(grid.model()->rowCount(), before + 1);
        EXPECT_NE(Editor(grid), nullptr);
        QTest::keyClick(Editor(grid), Qt::Key_Escape);
    }
}

TEST_F(DebtsDictPageTest, RemovingSeveralDebtsAsksNothing) {
    Env().GetDebt(Env().AddDebt())->Name = u"Boat";
    QTreeView& grid = ShowList(2, 0);
    ASSERT_EQ(grid.model()->rowCount(), 3);
    Select(grid, {0, 2});
    EXPECT_EQ(Text(*Window, "lblItems"), "Items: 2");
    Choose(OpenMenu(grid, "mnuTreeView"), "&Remove");
    EXPECT_TRUE(DialogsRun.empty());
    ASSERT_EQ(Env().DebtCount(), 1);
    EXPECT_EQ(Env().GetDebt(0)->Name, u"Flat");
    ASSERT_EQ(grid.model()->rowCount(), 1);
    EXPECT_EQ(Cell(grid, 0, 0), "Flat");
    EXPECT_FALSE(grid.selectionModel()->hasSelection());
    EXPECT_EQ(Text(*Window, "lblItems"), "Items: 1");
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
        ASSERT_EQ(grid.model()->rowCount(), before + 1);
        EXPECT_TRUE(Ticked(grid, before));
        ASSERT_NE(Editor(grid), nullptr);
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
        const std::u16string third = Env().GetExpenseLocation(3)->Name;
        DialogsRun.clear();
        DialogActions.push_back(Answer(item.confirm));
        if (item.warning) {
            DialogActions.push_back(Answer(item.warning));
        }
        Select(grid, {0, 1, 2});
        Choose(OpenMenu(grid, "mnuDict"), "&Remove");
        EXPECT_EQ(DialogsRun.size(), item.warning ? 2u : 1u);
        EXPECT_TRUE(DialogActions.empty());
        EXPECT_EQ(Env().ExpenseLocationCount(), before - item.removed);
        EXPECT_EQ(grid.model()->rowCount(), before - item.removed);
        EXPECT_EQ(Env().GetExpenseLocation(0), used);
        EXPECT_EQ(used->Enabled, item.usedStaysEnabled);
        EXPECT_EQ(Ticked(grid, 0), item.usedStaysEnabled);
        EXPECT_EQ(Cell(grid, item.removed == 2 ? 1 : 3, 0), QVUIUtils::ToQ(third));
    }
}

TEST_F(DebtsDictPageTest, CategoryMenuEnablesAndDisablesTheSelection) {
    QTreeView& grid = ShowList(3, 0);
    TQVLocation* first = Env().GetExpenseLocation(0);
    TQVLocation* second = Env().GetExpenseLocation(1);
    Select(grid, {});
    QMenu& empty = OpenMenu(grid, "mnuDict");
    EXPECT_EQ(Captions(empty), QStringList({"&Edit (off) (default)", "-", "E&nable (off)",
                                            "&Remove (off)", "-", "New &Category"}));
    empty.close();
    // The first selected category decides which of the two the menu offers.
    const struct {
        bool firstEnabled;
        QString offered;
        bool result;
    } cases[] = {{true, "&Disable", false}, {false, "E&nable", true}};
    for (const auto& item : cases) {
        SCOPED_TRACE(item.offered.toStdString());
        first->Enabled = item.firstEnabled;
        second->Enabled = !item.firstEnabled;
        Select(grid, {0, 1});
        QMenu& menu = OpenMenu(grid, "mnuDict");
        EXPECT_EQ(Captions(menu), QStringList({"&Edit (off) (default)", "-", item.offered,
                                               "&Remove", "-", "New &Category"}));
        Choose(menu, item.offered);
        EXPECT_EQ(first->Enabled, item.result);
        EXPECT_EQ(second->Enabled, item.result);
        EXPECT_EQ(Ticked(grid, 1), item.result);
    }
}

TEST_F(DebtsDictPageTest, KeysInTheCategoryGrid) {
    QTreeView& grid = ShowList(3, 0);
    TQVLocation& first = *Env().GetExpenseLocation(0);
    const std::u16string name = first.Name;
    Select(grid, {0, 1});
    // In the check-box column a letter opens nothing and Space ticks the box.
    grid.selectionModel()->setCurrentIndex(grid.model()->index(0, 2),
                                           QItemSelectionModel::NoUpdate);
    QTest::keyClick(&grid, Qt::Key_X);
    EXPECT_EQ(Editor(grid), nullptr);
    EXPECT_EQ(first.Name, name);
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_FALSE(first.Enabled);
    EXPECT_FALSE(Ticked(grid, 0));
    QTest::keyClick(&grid, Qt::Key_Space);
    EXPECT_TRUE(first.Enabled);
    // Elsewhere a letter edits the first selected row, even with two selected.
    Select(grid, {0, 1});
    grid.selectionModel()->setCurrentIndex(grid.model()->index(1, 1),
                                           QItemSelectionModel::NoUpdate);
    QTest::keyClick(&grid, Qt::Key_X);
    ASSERT_NE(Editor(grid), nullptr);
    TypeInEditor(grid, "Food and drink");
    EXPECT_EQ(first.Description, u"Food and drink");
}

} // namespace
