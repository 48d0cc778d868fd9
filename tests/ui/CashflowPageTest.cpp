// Editing on the cash-flow page as a user does it: cell editors, new rows, date moves, removal,
// the context menu and the all-months list.
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "MainFormTestSupport.h"
#include "model/QVEnvironment.h"
#include "ui/QVMonthView.h"
#include "ui/QVTVComboEditor.h"

namespace {

class CashflowPageTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        RememberLast(MakeBudget());
        Window = std::make_unique<TfrmMain>();
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
        Grid = Child<QTreeView>(*Window, "tvInfo");
    }
    void TearDown() override {
        Window.reset();
        MainFormTest::TearDown();
    }

    TQVMonth& Today() { return *Env().GetMonth(Env().IndexOfCurrentMonth()); }
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
    void Commit(QWidget* editor) { Press(editor, Qt::Key_Return); }
    // A key in the editor, then the events it leads to (editors go with deleteLater).
    void Press(QWidget* editor, Qt::Key key) {
        QTest::keyClick(editor, key);
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QStringList Entries(const QComboBox& combo) {
        QStringList texts;
        for (int i = 0; i < combo.count(); ++i) {
            texts << combo.itemText(i);
        }
        return texts;
    }

    std::unique_ptr<TfrmMain> Window;
    QTreeView* Grid = nullptr;
};

TEST_F(CashflowPageTest, EachCellGetsItsEditor) {
    TQVSource* cash = Env().GetSource(0);
    cash->AllowIncome = false; // offered for expenses and transfers only
    Env().GetExpenseLocation(1)->Enabled = false;
    const struct {
        TQVFlowKind kind;
        int column;
        const char* editor; // "date", "list", "combo" or "text"
        QString current;
    } cases[] = {
        {TQVFlowKind::Expense, 0, "date", {}},
        {TQVFlowKind::Expense, 1, "text", {}},
        {TQVFlowKind::A2A, 1, "list", "Transfer to Bank"},
        {TQVFlowKind::Expense, 2, "combo", {}},
        {TQVFlowKind::A2A, 2, "text", {}},
        {TQVFlowKind::Expense, 3, "text", {}},
        {TQVFlowKind::Income, 4, "combo", {}},
        {TQVFlowKind::Expense, 4, "combo", "Cash"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.editor) + " in column " + std::to_string(c.column));
        const int row = RowOf(c.kind);
        ASSERT_GE(row, 0);
        QWidget* focus = Edit(row, c.column);
        TQVTVComboEditor* editor = Editor();
        if (std::string(c.editor) == "text") {
            EXPECT_EQ(editor, nullptr);
            EXPECT_NE(qobject_cast<QLineEdit*>(focus), nullptr);
        } else if (std::string(c.editor) == "date") {
            ASSERT_NE(editor, nullptr);
            EXPECT_TRUE(editor->DateMode());
        } else {
            ASSERT_NE(editor, nullptr);
            QComboBox& combo = *editor->Combo();
            EXPECT_EQ(combo.isEditable(), std::string(c.editor) == "combo");
            EXPECT_EQ(combo.currentText(), c.current);
            if (c.column == 2) { // enabled expense categories only
                EXPECT_EQ(combo.count(), Env().ExpenseLocationCount() - 1);
            } else if (c.kind == TQVFlowKind::Income) {
                EXPECT_EQ(Entries(combo), QStringList{"Bank"});
            } else if (c.kind == TQVFlowKind::A2A) {
                EXPECT_EQ(Entries(combo), (QStringList{"Transfer to Cash", "Transfer to Bank"}));
            }
        }
        Press(QApplication::focusWidget(), Qt::Key_Escape);
    }
}

TEST_F(CashflowPageTest, TypedNamesMakeOrPickAccountsAndCategories) {
    const int expense = RowOf(TQVFlowKind::Expense);
    auto& flow = static_cast<TQVExpenseItem&>(*FlowAt(expense));
    const int categories = Env().ExpenseLocationCount();

    // A new category name makes the category; an existing one (in another case) picks it.
    Edit(expense, 2);
    Editor()->Combo()->lineEdit()->setText("Garden");
    Commit(Editor()->Combo());
    ASSERT_NE(flow.Location, nullptr);
    EXPECT_EQ(flow.Location->Name, u"Garden");
    EXPECT_EQ(Env().ExpenseLocationCount(), categories + 1);
    Edit(expense, 2);
    Editor()->Combo()->lineEdit()->setText("FOOD");
    Commit(Editor()->Combo());
    EXPECT_EQ(flow.Location->Name, u"Food");
    EXPECT_EQ(Env().ExpenseLocationCount(), categories + 1);

    // Emptied text cancels: nothing changes, nothing nameless is made.
    Edit(expense, 4);
    Editor()->Combo()->lineEdit()->clear();
    Commit(Editor()->Combo());
    EXPECT_EQ(flow.Source, Env().GetSource(0));
    EXPECT_EQ(Env().SourceCount(), 2);

    // A new account gets its button on the accounts page at once.
    Edit(expense, 4);
    Editor()->Combo()->lineEdit()->setText("Wallet");
    Commit(Editor()->Combo());
    ASSERT_EQ(Env().SourceCount(), 3);
    EXPECT_EQ(flow.Source, Env().GetSource(2));
    const TOutlookBarPage& accounts = Bar(*Window).Page(1);
    EXPECT_EQ(accounts.Button(accounts.ButtonCount() - 2).Caption, "Wallet");

    // A transfer's destination is chosen in column 1, its source stays.
    const int transfer = RowOf(TQVFlowKind::A2A);
    auto& move = static_cast<TQVA2AItem&>(*FlowAt(transfer));
    Edit(transfer, 1);
    Editor()->Combo()->setCurrentIndex(0);
    Commit(Editor()->Combo());
    EXPECT_EQ(move.Destination, Env().GetSource(0));
    EXPECT_EQ(move.Source, Env().GetSource(0));
}

TEST_F(CashflowPageTest, AmountsAndTitlesTypedInTheCell) {
    const int expense = RowOf(TQVFlowKind::Expense);
    TQVMoneyFlow& flow = *FlowAt(expense);
    const QString decimal = QLocale::system().decimalPoint();
    QWidget* editor = Edit(expense, 3);
    static_cast<QLineEdit*>(editor)->setText("12" + decimal + "5");
    Commit(editor);
    EXPECT_EQ(flow.Sum, 12.5L);
    EXPECT_EQ(Text(*Window, "lblTotalExpense"),
              "Total expense: " + QVUIUtils::FormatMoney(12.5L, 10));

    editor = Edit(expense, 3);
    static_cast<QLineEdit*>(editor)->setText("12 euros");
    Commit(editor);
    EXPECT_EQ(flow.Sum, 12.5L);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, "'12 euros' is not a valid floating point value");

    editor = Edit(expense, 1);
    static_cast<QLineEdit*>(editor)->setText("Bread");
    Commit(editor);
    EXPECT_EQ(flow.Name, u"Bread");
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
    Commit(title);
    EXPECT_EQ(added->Name, u"Coffee");

    // From the context menu of a past month: its last day at midnight.
    Window->LeftBarButtonClick(1);
    Grid->customContextMenuRequested({5, 5});
    auto* menu = Child<QMenu>(*Window, "mnuTreeView");
    menu->hide();
    QMenu* add = menu->actions().last()->menu();
    ASSERT_NE(add, nullptr);
    EXPECT_TRUE(add->isEnabled());
    add->actions()[1]->trigger(); // income
    TQVMoneyFlow* income = FlowAt(0);
    EXPECT_EQ(income->Kind(), TQVFlowKind::Income);
    EXPECT_EQ(income->Date, QVUtils::EncodeDate(2020, 4, 30));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
}

TEST_F(CashflowPageTest, ContextMenuFollowsTheSelection) {
    Grid->customContextMenuRequested({5, 5});
    auto* menu = Child<QMenu>(*Window, "mnuTreeView");
    menu->hide();
    QList<QAction*> items = menu->actions();
    ASSERT_EQ(items.size(), 5);
    EXPECT_EQ(items[0]->text(), QVUIUtils::Lang(u"MNU_EDIT"));
    EXPECT_EQ(menu->defaultAction(), items[0]);
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_FALSE(items[2]->isEnabled());
    EXPECT_TRUE(items[4]->isEnabled());

    Grid->selectionModel()->select(Grid->model()->index(0, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Grid->customContextMenuRequested({5, 5});
    menu->hide();
    items = menu->actions();
    EXPECT_TRUE(items[0]->isEnabled());
    EXPECT_TRUE(items[2]->isEnabled());
}

TEST_F(CashflowPageTest, DateEditsKeepEachFlowInTheMonthOfItsDate) {
    const int expense = RowOf(TQVFlowKind::Expense);
    TQVMoneyFlow* flow = FlowAt(expense);
    const int months = Env().MonthCount();
    // Into a month the budget lacks: the month is made, gets its button, the flow leaves the
    // page shown.
    Edit(expense, 0);
    Editor()->DatePicker()->setDate(QDate(2019, 1, 15));
    Commit(Editor()->DatePicker());
    ASSERT_EQ(Env().MonthCount(), months + 1);
    TQVMonth* january = Env().GetMonth(months);
    EXPECT_EQ(january->IndexOf(flow), 0);
    EXPECT_EQ(Today().IndexOf(flow), -1);
    EXPECT_EQ(Grid->model()->rowCount(), 2);
    const TOutlookBarPage& page = Bar(*Window).Page(0);
    EXPECT_EQ(page.Button(page.ButtonCount() - 2).Caption, "January 2019");
    EXPECT_EQ(page.DownIndex(), 0);

    // In the list of all months: moved from its own month into April 2020.
    Window->LeftBarButtonClick(page.ButtonCount() - 1);
    const int row = [&] {
        for (int r = 0; r < Grid->model()->rowCount(); ++r) {
            if (FlowAt(r) == flow) {
                return r;
            }
        }
        return -1;
    }();
    ASSERT_GE(row, 0);
    Edit(row, 0);
    Editor()->DatePicker()->setDate(QDate(2020, 4, 20));
    Commit(Editor()->DatePicker());
    EXPECT_EQ(january->Count(), 0);
    int owners = 0;
    for (int i = 0; i < Env().MonthCount(); ++i) {
        owners += Env().GetMonth(i)->IndexOf(flow) >= 0;
    }
    EXPECT_EQ(owners, 1);
    EXPECT_EQ(Env().AllFlows().IndexOf(flow) >= 0, true);
}

TEST_F(CashflowPageTest, RemovingRowsOfAllMonthsRemovesTheirFlows) {
    Window->LeftBarButtonClick(Bar(*Window).Page(0).ButtonCount() - 1);
    Grid->setFocus();
    QItemSelection selection;
    selection.select(Grid->model()->index(0, 0), Grid->model()->index(1, 4));
    Grid->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    std::vector<TQVMoneyFlow*> doomed{FlowAt(0), FlowAt(1)};
    QTest::keyClick(Grid, Qt::Key_Delete);
    EXPECT_EQ(Grid->model()->rowCount(), 2);
    for (int i = 0; i < Env().MonthCount(); ++i) {
        for (TQVMoneyFlow* flow : doomed) {
            EXPECT_EQ(Env().GetMonth(i)->IndexOf(flow), -1);
        }
    }
    EXPECT_EQ(Text(*Window, "lblItems"), "Items: 2");
    // No new rows here: the list owns no flows.
    Grid->customContextMenuRequested({5, 5});
    auto* menu = Child<QMenu>(*Window, "mnuTreeView");
    menu->hide();
    EXPECT_FALSE(menu->actions().last()->menu()->isEnabled());
}

} // namespace
