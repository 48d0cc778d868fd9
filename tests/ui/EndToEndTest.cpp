// A whole budget kept from the main window alone, as a user would: made in the start-up dialog,
// filled through the toolbar, the menus, the grids' editors and the card's commands, written by
// closing the window, and read back through the widgets of a fresh start.
#include <algorithm>

#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QMenuBar>

#include "MainFormTestSupport.h"
#include "ui/QVMonthView.h"

namespace {

enum { kCashflow, kAccounts, kDebts, kPersonalisation };

class EndToEndTest : public MainFormTest {
protected:
    // Opens a menu of the menu bar with the mouse and clicks the item.
    void ChooseFromMenuBar(const char* menuName, const char* actionName) {
        QMenuBar& bar = *Window->menuBar();
        QMenu& menu = *Child<QMenu>(*Window, menuName);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.actionGeometry(menu.menuAction()).center());
        QApplication::processEvents();
        ASSERT_TRUE(menu.isVisible()) << menuName;
        QTest::mouseClick(&menu, Qt::LeftButton, {},
                          menu.actionGeometry(&Action(actionName)).center());
        Settle();
    }
    QStringList BarCaptions(int page) {
        QStringList captions;
        for (int i = 0; i < BarPage(page).ButtonCount(); ++i) {
            captions << BarPage(page).Button(i).Caption;
        }
        return captions;
    }
};

TEST_F(EndToEndTest, ABudgetKeptFromTheWindowComesBackWhole) {
    const std::string path = Home.File("family.qn");
    const QString groceries = QVUIUtils::FormatDate(QVUtils::Now()) + " | Groceries | Garden | " +
                              Local("1234.56") + " | ";

    // ---- A new budget from the start-up dialog, opened by itself from now on.
    DialogActions.push_back([&](QDialog& dialog) {
        TypeText(dialog, "editTitle", "Family");
        TypeText(dialog, "editLocation", QString::fromStdString(path));
        if (!Child<QCheckBox>(dialog, "cbAutoOpenLastEdited")->isChecked()) {
            ClickOn(dialog, "cbAutoOpenLastEdited");
        }
        ClickOn(dialog, "btnOKNew");
    });
    OpenWindow();
    ASSERT_TRUE(Window->HasBudget());
    QTreeView* flows = &Grid("tvInfo");

    // ---- An expense from the toolbar: title, a new category, an amount.
    ClickOn(*Window, "btnAddExpense");
    Type("Groceries");
    const int expense = RowNamed(*flows, TQVMonthView::ColTitle, "Groceries");
    ASSERT_GE(expense, 0);
    Edit(*flows, expense, TQVMonthView::ColCategory);
    Type("Garden");
    Edit(*flows, expense, TQVMonthView::ColSum);
    Type(Local("1234.56"));
    EXPECT_EQ(RowText(*flows, RowNamed(*flows, TQVMonthView::ColTitle, "Groceries")),
              groceries + "Cash");
    EXPECT_EQ(Label("lblTotalExpense"), "Total expense: " + Local("1234.56"));

    // ---- A second account, and a transfer to it, moved into last month by its date.
    DialogActions.push_back(TypeAndPress("editString", "Bank"));
    ChooseFromMenuBar("mnuEdit", "actNewAccount");
    ASSERT_EQ(Env().SourceCount(), 2);
    ChooseFromMenuBar("mnuEdit", "actA2A");
    // The destination list opened by itself on the new row; its entry is picked in the drop-down
    // list by typing.
    auto* destination = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(destination, nullptr);
    QTest::keyClick(destination, Qt::Key_F4);
    QAbstractItemView* list = destination->view();
    ASSERT_TRUE(list->isVisible());
    QTest::keyClicks(list, "Transfer to B");
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(destination->currentText(), "Transfer to Bank");
    QTest::keyClick(destination, Qt::Key_Return);
    Settle();
    const int transfer = RowNamed(*flows, TQVMonthView::ColTitle, "Transfer to Bank");
    ASSERT_GE(transfer, 0);
    Edit(*flows, transfer, TQVMonthView::ColSum);
    Type(Local("250.75"));
    auto* date = qobject_cast<QDateEdit*>(Edit(*flows, transfer, TQVMonthView::ColDate));
    ASSERT_NE(date, nullptr);
    // The date editor's calendar, opened from its arrow: a month back, and that day is taken.
    QTest::mouseClick(date, Qt::LeftButton, {}, QPoint(date->width() - 4, date->height() / 2));
    QCalendarWidget* calendar = date->calendarWidget();
    ASSERT_TRUE(calendar->isVisible());
    QWidget* days = calendar->focusWidget() ? calendar->focusWidget() : calendar;
    QTest::keyClick(days, Qt::Key_PageUp);
    QTest::keyClick(days, Qt::Key_Return);
    Settle();
    EXPECT_EQ(RowNamed(*flows, TQVMonthView::ColTitle, "Transfer to Bank"), -1);
    EXPECT_EQ(flows->model()->rowCount(), 1);

    // ---- A debt and a loan from the Edit menu: title typed into the editor that opens, then
    // peer and amount.
    const struct {
        const char* action;
        QString row; // title | peer | amount
    } debts[] = {{"actNewDebt", "Car | Anna | " + Local("500.25")},
                 {"actNewCredit", "Bike | Ben | " + Local("30.50")}};
    QTreeView* debtsGrid = &Grid("tvDebts");
    for (const auto& debt : debts) {
        SCOPED_TRACE(debt.action);
        ChooseFromMenuBar("mnuEdit", debt.action);
        const QStringList cells = debt.row.split(" | ");
        Type(cells[0]);
        const int row = RowNamed(*debtsGrid, 0, cells[0]);
        ASSERT_GE(row, 0);
        for (int column = 1; column < 3; ++column) {
            Edit(*debtsGrid, row, column);
            Type(cells[column]);
        }
        EXPECT_EQ(RowText(*debtsGrid, row), debt.row);
    }

    // ---- A category disabled from the personalisation page's menu.
    ClickOn(*Window, "btnViewPersonalisation");
    ClickBarButton(0);
    QTreeView* categories = &Grid("tvDict");
    categories->setFocus();
    Select(*categories, {RowNamed(*categories, 0, "Food")});
    Choose(OpenMenu(*categories, "mnuDict"), "&Disable");

    // ---- Cash renamed from the account card.
    ClickOn(*Window, "btnViewAccounts");
    ClickBarButton(0);
    ASSERT_EQ(Label("lblAccName"), "Cash");
    DialogActions.push_back(TypeAndPress("editString", "Wallet"));
    ClickOn(*Window, "btnRename");
    Settle();
    EXPECT_EQ(Label("lblAccName"), "Wallet");
    EXPECT_TRUE(DialogActions.empty());
    EXPECT_TRUE(Messages.empty());

    // ---- Closing writes the budget; the program starts afresh, as after a restart.
    Window->close();
    Window.reset();
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
    StartEnvironment();
    ASSERT_TRUE(Env().Settings().AutoOpenLast);
    const std::size_t dialogs = DialogsRun.size();
    OpenWindow();
    ASSERT_TRUE(Window->HasBudget());
    EXPECT_EQ(DialogsRun.size(), dialogs) << "no start-up dialog";
    EXPECT_EQ(Env().Title, u"Family");
    flows = &Grid("tvInfo");
    debtsGrid = &Grid("tvDebts");
    categories = &Grid("tvDict");

    // The months: today's with the expense, last month's with the transfer, dated the day the
    // calendar kept.
    const QDate today = QDate::currentDate();
    const QDate lastMonth = today.addMonths(-1);
    const QDate transferDay(lastMonth.year(), lastMonth.month(),
                            std::min(today.day(), lastMonth.daysInMonth()));
    const QString lastMonthCaption =
        QVUIUtils::GetMonthCaption(true, QVUIUtils::FromQDateTime(lastMonth.startOfDay()));
    EXPECT_EQ(BarCaptions(kCashflow),
              QStringList({"Current Month", lastMonthCaption, "All Months"}));
    ShowBarPage(kCashflow, 0);
    ASSERT_EQ(flows->model()->rowCount(), 1);
    EXPECT_EQ(RowText(*flows, 0), groceries + "Wallet");
    EXPECT_EQ(Label("lblTotalExpense"), "Total expense: " + Local("1234.56"));
    ClickBarButton(1);
    EXPECT_EQ(Label("lblHeader"), lastMonthCaption);
    ASSERT_EQ(flows->model()->rowCount(), 1);
    EXPECT_EQ(RowText(*flows, 0), QLocale::system().toString(transferDay, QLocale::ShortFormat) +
                                      " | Transfer to Bank |  | " + Local("250.75") + " | Wallet");

    // The accounts, Cash under its new name, with the balances of what was booked on them. The
    // buttons are looked at around the two made here: the debt and the loan, saved without an
    // account, bring back the placeholder account that loading makes for an empty reference.
    ShowBarPage(kAccounts, 0);
    const QStringList accounts = BarCaptions(kAccounts);
    ASSERT_GE(accounts.size(), 3);
    EXPECT_EQ(QStringList({accounts[0], accounts[1], accounts.back()}),
              QStringList({"Wallet", "Bank", "New Account"}));
    EXPECT_EQ(Label("lblAccName"), "Wallet");
    EXPECT_EQ(Label("lblAccBalance"), "-" + Local("1485.31"));
    ClickBarButton(1);
    EXPECT_EQ(Label("lblAccName"), "Bank");
    EXPECT_EQ(Label("lblAccBalance"), Local("250.75"));

    // The debt and the loan.
    for (int button = 0; button < 2; ++button) {
        ShowBarPage(kDebts, button);
        ASSERT_EQ(debtsGrid->model()->rowCount(), 1);
        EXPECT_EQ(RowText(*debtsGrid, 0), debts[button].row);
    }

    // The categories: the typed one kept, the disabled one unticked, the rest ticked.
    ShowBarPage(kPersonalisation, 0);
    EXPECT_GE(RowNamed(*categories, 0, "Garden"), 0);
    for (int row = 0; row < categories->model()->rowCount(); ++row) {
        const bool ticked =
            categories->model()->index(row, 2).data(Qt::CheckStateRole).toInt() == Qt::Checked;
        EXPECT_EQ(ticked, Cell(*categories, row, 0) != "Food") << row;
    }
    EXPECT_TRUE(Messages.empty());
}

// The locale runs name the separator they expect, so a run that silently fell back to another
// locale does not pass for one that tested it.
TEST_F(EndToEndTest, AmountsUseTheSeparatorTheRunAskedFor) {
    const std::string expected = qgetenv("QV_EXPECT_DECIMAL_POINT").toStdString();
    if (!expected.empty()) {
        EXPECT_EQ(QLocale::system().decimalPoint().toStdString(), expected);
        EXPECT_EQ(QVUIUtils::FormatMoney(12.5L, 12).toStdString(), "12" + expected + "50");
    }
}

} // namespace
