// Editing on the cash-flow page as a user does it: cell editors, new rows, date moves, removal,
// the context menu and the all-months list.
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QToolButton>

#include "MainFormTestSupport.h"
#include "ui/QVMonthView.h"
#include "ui/QVTVComboEditor.h"

namespace {

class CashflowPageTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        RememberLast(MakeBudget());
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
    // Opens the editor of a cell as a double click does.
    QWidget* Edit(int row, int column) {
        const QModelIndex index = Grid->model()->index(row, column);
        Grid->setCurrentIndex(index);
        Grid->edit(index);
        return QApplication::focusWidget();
    }
    TQVTVComboEditor* Editor() { return Grid->viewport()->findChild<TQVTVComboEditor*>(); }
    // Types over the text of the open combo editor's box and accepts it.
    void TypeInCombo(const QString& text) {
        Editor()->Combo()->lineEdit()->setText(text);
        Press(Editor()->Combo(), Qt::Key_Return);
    }
    // A key in the editor, then the events it leads to (editors go with deleteLater).
    void Press(QWidget* editor, Qt::Key key) {
        QTest::keyClick(editor, key);
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // The submenu of new rows in the grid's context menu.
    QMenu* AddMenu() {
        QMenu& menu = OpenMenu(*Grid, "mnuTreeView");
        menu.close();
        return menu.actions().last()->menu();
    }

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
        Edit(RowOf(c.kind), c.column);
        ASSERT_NE(Editor(), nullptr);
        QComboBox& combo = *Editor()->Combo();
        EXPECT_EQ(combo.isEditable(), c.editable);
        EXPECT_EQ(combo.currentText(), c.current);
        if (c.column == 2) { // enabled expense categories only
            EXPECT_EQ(combo.count(), Env().ExpenseLocationCount() - 1);
        } else if (!c.entries.isEmpty()) {
            EXPECT_EQ(Entries(combo), c.entries);
        }
        Press(QApplication::focusWidget(), Qt::Key_Escape);
    }
    // Amounts and titles take the grid's own line editor.
    EXPECT_NE(qobject_cast<QLineEdit*>(Edit(RowOf(TQVFlowKind::Expense), 3)), nullptr);
    EXPECT_EQ(Editor(), nullptr);
}

TEST_F(CashflowPageTest, TypedNamesMakeOrPickAccountsAndCategories) {
    const int expense = RowOf(TQVFlowKind::Expense);
    auto& flow = static_cast<TQVExpenseItem&>(*FlowAt(expense));
    const int categories = Env().ExpenseLocationCount();

    // A new category name makes the category; an existing one (in another case) picks it.
    Edit(expense, 2);
    TypeInCombo("Garden");
    ASSERT_NE(flow.Location, nullptr);
    EXPECT_EQ(flow.Location->Name, u"Garden");
    EXPECT_EQ(Env().ExpenseLocationCount(), categories + 1);
    Edit(expense, 2);
    TypeInCombo("FOOD");
    EXPECT_EQ(flow.Location->Name, u"Food");
    EXPECT_EQ(Env().ExpenseLocationCount(), categories + 1);

    // Emptied text cancels: nothing changes, nothing nameless is made. An existing account's
    // name in another case picks it.
    for (const char* typed : {"", "bank"}) {
        Edit(expense, 4);
        TypeInCombo(typed);
        EXPECT_EQ(flow.Source, Env().GetSource(*typed ? 1 : 0));
        EXPECT_EQ(Env().SourceCount(), 2);
    }
    // A new account gets its button on the accounts page at once.
    Edit(expense, 4);
    TypeInCombo("Wallet");
    ASSERT_EQ(Env().SourceCount(), 3);
    EXPECT_EQ(flow.Source, Env().GetSource(2));
    EXPECT_EQ(BarPage(1).Button(BarPage(1).ButtonCount() - 2).Caption, "Wallet");

    // A transfer's destination is chosen in column 1, its source stays.
    const int transfer = RowOf(TQVFlowKind::A2A);
    auto& move = static_cast<TQVA2AItem&>(*FlowAt(transfer));
    Edit(transfer, 1);
    Editor()->Combo()->setCurrentIndex(0);
    Press(Editor()->Combo(), Qt::Key_Return);
    EXPECT_EQ(move.Destination, Env().GetSource(0));
    EXPECT_EQ(move.Source, Env().GetSource(0));
}

TEST_F(CashflowPageTest, AmountsAndTitlesTypedInTheCell) {
    TQVMoneyFlow& flow = *FlowAt(RowOf(TQVFlowKind::Expense));
    const QString decimal = QLocale::system().decimalPoint();
    const struct {
        int column;
        QString typed;
        long double sum;
        const char* error;
    } cases[] = {
        {3, "12" + decimal + "5", 12.5L, nullptr},
        {3, "12 euros", 12.5L, "'12 euros' is not a valid floating point value"},
        {1, "Bread", 12.5L, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        Messages.clear();
        QWidget* editor = Edit(RowOf(TQVFlowKind::Expense), c.column);
        static_cast<QLineEdit*>(editor)->setText(c.typed);
        Press(editor, Qt::Key_Return);
        EXPECT_EQ(flow.Sum, c.sum);
        ASSERT_EQ(Messages.size(), c.error ? 1u : 0u);
        if (c.error) {
            EXPECT_EQ(Messages[0].text, c.error);
        }
    }
    EXPECT_EQ(flow.Name, u"Bread");
    EXPECT_EQ(Label("lblTotalExpense"), "Total expense: " + Money(12.5L));
}

TEST_F(CashflowPageTest, NewRowsGoOnTopDatedByTheirMonth) {
    // From the toolbar: the month of today, dated now, its title editor open.
    QTest::mouseClick(Child<QToolButton>(*Window, "btnAddExpense"), Qt::LeftButton);
    ASSERT_EQ(Window->CurrentMonth(), &Today());
    TQVMoneyFlow* added = FlowAt(0);
    EXPECT_EQ(added->Kind(), TQVFlowKind::Expense);
    EXPECT_NEAR(added->Date, QVUtils::Now(), 1.0 / 24);
    auto* title = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(title, nullptr);
    title->setText("Coffee");
    Press(title, Qt::Key_Return);
    EXPECT_EQ(added->Name, u"Coffee");

    // From the context menu of a past month: its last day at midnight.
    Window->LeftBarButtonClick(1);
    QMenu* add = AddMenu();
    ASSERT_NE(add, nullptr);
    add->actions()[1]->trigger(); // income
    TQVMoneyFlow* income = FlowAt(0);
    EXPECT_EQ(income->Kind(), TQVFlowKind::Income);
    EXPECT_EQ(income->Date, QVUtils::EncodeDate(2020, 4, 30));
    Press(QApplication::focusWidget(), Qt::Key_Escape);
}

TEST_F(CashflowPageTest, DateEditInAllMonthsMovesTheFlowBetweenItsMonths) {
    TQVMoneyFlow* flow = FlowAt(RowOf(TQVFlowKind::Expense));
    Window->LeftBarButtonClick(BarPage(0).ButtonCount() - 1);
    int row = 0;
    while (row < Grid->model()->rowCount() && FlowAt(row) != flow) {
        ++row;
    }
    ASSERT_LT(row, Grid->model()->rowCount());
    Edit(row, 0);
    Editor()->DatePicker()->setDate(QDate(2020, 4, 20));
    Press(Editor()->DatePicker(), Qt::Key_Return);
    EXPECT_EQ(Today().IndexOf(flow), -1);
    int owners = 0;
    for (int i = 0; i < Env().MonthCount(); ++i) {
        owners += Env().GetMonth(i)->IndexOf(flow) >= 0;
    }
    EXPECT_EQ(owners, 1);
    EXPECT_GE(Env().AllFlows().IndexOf(flow), 0);
    EXPECT_EQ(Grid->model()->rowCount(), 4) << "the list keeps showing it";
}

TEST_F(CashflowPageTest, RemovingRowsOfAllMonthsRemovesTheirFlows) {
    // The menu's commands follow the selection.
    QMenu* menu = &OpenMenu(*Grid, "mnuTreeView");
    EXPECT_FALSE(menu->actions()[0]->isEnabled()); // Edit
    EXPECT_FALSE(menu->actions()[2]->isEnabled()); // Remove
    menu->close();

    // Scattered rows of the list of all months.
    Window->LeftBarButtonClick(BarPage(0).ButtonCount() - 1);
    Grid->setFocus();
    Select(*Grid, {0, 2});
    menu = &OpenMenu(*Grid, "mnuTreeView");
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    EXPECT_TRUE(menu->actions()[2]->isEnabled());
    menu->close();
    std::vector<TQVMoneyFlow*> doomed{FlowAt(0), FlowAt(2)};
    const std::vector<TQVMoneyFlow*> kept{FlowAt(1), FlowAt(3)};
    QTest::keyClick(Grid, Qt::Key_Delete);
    ASSERT_EQ(Grid->model()->rowCount(), 2);
    EXPECT_EQ(FlowAt(0), kept[0]);
    EXPECT_EQ(FlowAt(1), kept[1]);
    for (int i = 0; i < Env().MonthCount(); ++i) {
        for (TQVMoneyFlow* flow : doomed) {
            EXPECT_EQ(Env().GetMonth(i)->IndexOf(flow), -1);
        }
    }
    EXPECT_EQ(Label("lblItems"), "Items: 2");
    // No new rows here: the list owns no flows.
    EXPECT_FALSE(AddMenu()->isEnabled());
}

} // namespace
