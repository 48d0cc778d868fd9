// Editing on the cash-flow page as a user does it: cell editors, new rows, date moves, removal,
// the context menu and the all-months list.
#include <functional>

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>

#include "MainFormTestSupport.h"
#include "ui/QVMonthView.h"
#include "ui/QVTVComboEditor.h"

namespace {

class CashflowPageTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        MakeBudget();
        OpenWindow();
        Grid = &MainFormTest::Grid("tvInfo");
    }

    int RowOf(TQVFlowKind kind) {
        for (int row = 0; row < Grid->model()->rowCount(); ++row) {
            if (FlowAt(row)->Kind() == kind) {
                return row;
            }
        }
        return -1;
    }
    TQVMoneyFlow* FlowAt(int row) { return static_cast<TQVMonthView*>(Grid->model())->Flow(row); }
    TQVTVComboEditor* Editor() { return Grid->viewport()->findChild<TQVTVComboEditor*>(); }
    void ShowAllMonths() { ClickBarButton(BarPage(0).ButtonCount() - 1); }
    QTreeView* Grid = nullptr;
};

TEST_F(CashflowPageTest, EachCellGetsItsEditor) {
    Env().GetSource(0)->AllowIncome = false; // offered for expenses and transfers only
    Env().GetExpenseLocation(1)->Enabled = false;
    // Lists offer only what the row may take; a transfer's destination is picked, not typed.
    const struct {
        TQVFlowKind kind;
        int column;
        bool editable;
        QString current;
        QStringList entries; // empty: not looked at
    } cases[] = {
        {TQVFlowKind::A2A, 1, false, "Transfer to Bank", {"Transfer to Cash", "Transfer to Bank"}},
        {TQVFlowKind::Expense, 2, true, {}, {}},
        {TQVFlowKind::Income, 4, true, {}, {"Bank"}},
        {TQVFlowKind::Expense, 4, true, "Cash", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.column);
        Edit(*Grid, RowOf(c.kind), c.column);
        ASSERT_NE(Editor(), nullptr);
        QComboBox& combo = *Editor()->Combo();
        EXPECT_EQ(combo.isEditable(), c.editable);
        EXPECT_EQ(combo.currentText(), c.current);
        if (c.column == 2) { // enabled expense categories only
            EXPECT_EQ(combo.count(), Env().ExpenseLocationCount() - 1);
        } else if (!c.entries.isEmpty()) {
            EXPECT_EQ(Entries(combo), c.entries);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        Settle();
    }
    // Amounts and titles take the grid's own line editor.
    EXPECT_NE(qobject_cast<QLineEdit*>(Edit(*Grid, RowOf(TQVFlowKind::Expense), 3)), nullptr);
    EXPECT_EQ(Editor(), nullptr);
}

TEST_F(CashflowPageTest, TypedNamesMakeOrPickAccountsAndCategories) {
    const int expense = RowOf(TQVFlowKind::Expense);
    auto& flow = static_cast<TQVExpenseItem&>(*FlowAt(expense));
    const int categories = Env().ExpenseLocationCount();
    // A new category name makes the category; an existing one (in another case) picks it.
    for (const char* typed : {"Garden", "FOOD"}) {
        Edit(*Grid, expense, 2);
        Type(typed);
        ASSERT_NE(flow.Location, nullptr);
        EXPECT_EQ(flow.Location->Name, *typed == 'G' ? u"Garden" : u"Food");
        EXPECT_EQ(Env().ExpenseLocationCount(), categories + 1);
    }
    // Emptied text cancels: nothing changes, nothing nameless is made. An existing account's
    // name in another case picks it; a new name makes an account with its button at once.
    const struct {
        const char* typed;
        int account;
    } accounts[] = {{"", 0}, {"bank", 1}, {"Wallet", 2}};
    for (const auto& c : accounts) {
        Edit(*Grid, expense, 4);
        Type(c.typed);
        EXPECT_EQ(flow.Source, Env().GetSource(c.account)) << c.typed;
    }
    ASSERT_EQ(Env().SourceCount(), 3);
    EXPECT_EQ(BarPage(1).Button(BarPage(1).ButtonCount() - 2).Caption, "Wallet");
    // An amount that is no number is refused with its message.
    Edit(*Grid, expense, 3);
    Type("12 euros");
    EXPECT_EQ(flow.Sum, 250.5L);
    EXPECT_EQ(TakeMessages(), QStringList{"'12 euros' is not a valid floating point value"});

    // A transfer's destination is chosen in column 1, its source stays.
    auto& move = static_cast<TQVA2AItem&>(*FlowAt(RowOf(TQVFlowKind::A2A)));
    Edit(*Grid, RowOf(TQVFlowKind::A2A), 1);
    Editor()->Combo()->setCurrentIndex(0);
    QTest::keyClick(Editor()->Combo(), Qt::Key_Return);
    Settle();
    EXPECT_EQ(move.Destination, Env().GetSource(0));
    EXPECT_EQ(move.Source, Env().GetSource(0));
}

TEST_F(CashflowPageTest, NewRowsOfAPastMonthAreDatedItsLastDay) {
    ClickBarButton(1);
    QMenu& menu = OpenMenu(*Grid, "mnuTreeView");
    menu.close();
    menu.actions().last()->menu()->actions()[1]->trigger(); // income
    TQVMoneyFlow* income = FlowAt(0);
    EXPECT_EQ(income->Kind(), TQVFlowKind::Income);
    EXPECT_EQ(income->Date, QVUtils::EncodeDate(2020, 4, 30));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
}

TEST_F(CashflowPageTest, NewRowsOpenTheirEditorWithoutTakingTheSelection) {
    const struct {
        const char* action; // null: the menu's New > Expense with the income selected
        int selected;
    } cases[] = {{nullptr, 1}, {"actNewExpense", 0}, {"actNewIncome", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action != nullptr ? c.action : "menu");
        if (c.action != nullptr) {
            Action(c.action).trigger();
        } else {
            Select(*Grid, {RowOf(TQVFlowKind::Income)});
            QMenu& menu = OpenMenu(*Grid, "mnuTreeView");
            menu.close();
            menu.actions().last()->menu()->actions()[0]->trigger();
        }
        EXPECT_NE(Grid->indexWidget(Grid->model()->index(0, TQVMonthView::ColTitle)), nullptr);
        // The totals cover what they covered: every row, or the income selected before.
        EXPECT_EQ(QVUIUtils::SelectedRows(*Grid->selectionModel()).size(), c.selected);
        EXPECT_EQ(Label("lblItems"),
                  "Items: " + QString::number(c.selected ? c.selected : Grid->model()->rowCount()));
        EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(1000));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        Settle();
    }
}

TEST_F(CashflowPageTest, DateEditInAllMonthsMovesTheFlowBetweenItsMonths) {
    TQVMoneyFlow* flow = FlowAt(RowOf(TQVFlowKind::Expense));
    ShowAllMonths();
    int row = 0;
    while (row < Grid->model()->rowCount() && FlowAt(row) != flow) {
        ++row;
    }
    ASSERT_LT(row, Grid->model()->rowCount());
    Edit(*Grid, row, 0);
    Editor()->DatePicker()->setDate(QDate(2020, 4, 20));
    QTest::keyClick(Editor()->DatePicker(), Qt::Key_Return);
    Settle();
    int owners = 0;
    for (int i = 0; i < Env().MonthCount(); ++i) {
        owners += Env().GetMonth(i)->IndexOf(flow) >= 0;
    }
    EXPECT_EQ(Today().IndexOf(flow), -1);
    EXPECT_EQ(owners, 1);
    EXPECT_GE(Env().AllFlows().IndexOf(flow), 0);
    EXPECT_EQ(Grid->model()->rowCount(), 4) << "the list keeps showing it";
}

TEST_F(CashflowPageTest, RemovingRowsOfAllMonthsRemovesTheirFlows) {
    // The menu's commands follow the selection.
    QMenu* menu = &OpenMenu(*Grid, "mnuTreeView");
    menu->close();
    EXPECT_EQ(Captions(*menu).mid(0, 3), QStringList({"&Edit (off)", "-", "&Remove (off)"}));
    ShowAllMonths();
    Grid->setFocus();
    Select(*Grid, {0, 2});
    menu = &OpenMenu(*Grid, "mnuTreeView");
    menu->close();
    EXPECT_EQ(Captions(*menu).mid(0, 3), QStringList({"&Edit", "-", "&Remove"}));
    // No new rows here: the list owns no flows.
    EXPECT_FALSE(menu->actions().last()->menu()->isEnabled());
    const std::vector<TQVMoneyFlow*> doomed{FlowAt(0), FlowAt(2)}, kept{FlowAt(1), FlowAt(3)};
    QTest::keyClick(Grid, Qt::Key_Delete);
    ASSERT_EQ(Grid->model()->rowCount(), 2);
    EXPECT_EQ(std::vector<TQVMoneyFlow*>({FlowAt(0), FlowAt(1)}), kept);
    for (int i = 0; i < Env().MonthCount(); ++i) {
        for (TQVMoneyFlow* flow : doomed) {
            EXPECT_EQ(Env().GetMonth(i)->IndexOf(flow), -1);
        }
    }
    EXPECT_EQ(Label("lblItems"), "Items: 2");
}

// Many rows at once, scattered (the grid is rebuilt) or in runs, from a month or from the list of
// all months: exactly those flows go, from their months too; the others stay, in order, with
// their totals.
TEST_F(CashflowPageTest, RemovingManyRowsKeepsExactlyTheOthersAndTheirTotals) {
    const struct {
        const char* name;
        bool allMonths;
        std::function<bool(int row)> selected; // null: every row, by Ctrl+A
    } cases[] = {
        {"scattered in a month", false, [](int row) { return row % 2 == 1; }},
        {"two runs in a month", false, [](int row) { return row < 5 || (row > 20 && row < 30); }},
        {"scattered in all months", true, [](int row) { return row % 3 != 1; }},
        {"every row of all months", true, nullptr},
    };
    const auto owned = [] {
        std::size_t flows = 0;
        for (int i = 0; i < Env().MonthCount(); ++i) {
            flows += Env().GetMonth(i)->Flows().size();
        }
        return flows;
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        MakeBudget(true);
        TQVMonth& old = *Env().GetMonth(Env().FindMonth(QVUtils::EncodeDate(2020, 4, 1), true));
        const QVUtils::TDateParts now = QVUtils::DecodeDate(QVUtils::Now());
        for (int i = 0; i < 40; ++i) {
            AddFlow<TQVIncomeItem>(Today(), 10 + i, nullptr,
                                   QVUtils::EncodeDate(now.Year, now.Month, 1) + i / 1000.0);
            AddFlow<TQVExpenseItem>(old, 0.25L + i, nullptr, old.Date + i / 10.0);
        }
        SaveAndForget(Home.File("home.qn")); // opening sorts the months
        OpenWindow();
        Grid = &MainFormTest::Grid("tvInfo");
        if (test.allMonths) {
            ShowAllMonths();
        }
        const std::size_t before = owned();
        const auto rows = static_cast<std::size_t>(Grid->model()->rowCount());
        std::vector<TQVMoneyFlow*> kept;
        QItemSelection selection;
        for (int row = 0; row < Grid->model()->rowCount(); ++row) {
            if (test.selected && !test.selected(row)) {
                kept.push_back(FlowAt(row));
            } else {
                selection.select(Grid->model()->index(row, 0), Grid->model()->index(row, 4));
            }
        }
        Grid->setFocus();
        Grid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        if (!test.selected) {
            QTest::keyClick(Grid, Qt::Key_A, Qt::ControlModifier);
        }
        QTest::keyClick(Grid, Qt::Key_Delete);

        std::vector<TQVMoneyFlow*> shown;
        long double income = 0, expense = 0;
        for (int row = 0; row < Grid->model()->rowCount(); ++row) {
            const TQVMoneyFlow& flow = *FlowAt(row);
            shown.push_back(FlowAt(row));
            if (flow.Kind() != TQVFlowKind::A2A) {
                (flow.Kind() == TQVFlowKind::Income ? income : expense) += flow.Sum;
            }
        }
        EXPECT_EQ(shown, kept);
        EXPECT_EQ(owned(), before - (rows - kept.size())) << "the removed flows left their months";
        EXPECT_EQ(Label("lblItems"), "Items: " + QString::number(kept.size()));
        EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(income));
        EXPECT_EQ(Label("lblTotalExpense"), "Total expense: " + Money(expense));
        Window.reset();
    }
}

} // namespace
