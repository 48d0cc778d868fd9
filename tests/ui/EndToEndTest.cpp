// A whole budget kept from the main window alone, as a user would: made in the start-up dialog,
// filled through the toolbar, the menus, the grids' editors and the card's commands, written by
// closing the window, and read back through the widgets of a fresh start.
#include <memory>

#include <QApplication>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "MainFormTestSupport.h"
#include "model/QVEnvironment.h"
#include "ui/QVMonthView.h"

namespace {

enum { kCashflow, kAccounts, kDebts, kPersonalisation };

// An amount as the user types and reads it: the locale's decimal separator between the parts.
QString Amount(const char* units, const char* cents) {
    return QString::fromLatin1(units) + QLocale::system().decimalPoint() +
           QString::fromLatin1(cents);
}

class EndToEndTest : public MainFormTest {
protected:
    void TearDown() override {
        Window.reset();
        MainFormTest::TearDown();
    }

    void Open() {
        Window = std::make_unique<TfrmMain>();
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }

    // Lets queued work run and frees the editors the grids have let go.
    static void Settle() {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
    }

    static void Type(QWidget* widget, const QString& text) {
        ASSERT_NE(widget, nullptr);
        if (auto* line = qobject_cast<QLineEdit*>(widget)) {
            line->selectAll();
        }
        QTest::keyClicks(widget, text);
        QTest::keyClick(widget, Qt::Key_Return);
        Settle();
    }

    // Opens the editor of a cell as a double click does and returns what took the focus.
    static QWidget* Edit(QTreeView& grid, int row, int column) {
        const QModelIndex index = grid.model()->index(row, column);
        grid.setCurrentIndex(index);
        grid.edit(index);
        return QApplication::focusWidget();
    }

    // Opens a menu of the menu bar with the mouse and clicks the item.
    void ChooseFromMenuBar(const char* menuName, const char* actionName) {
        QMenuBar& bar = *Window->menuBar();
        QMenu& menu = *Child<QMenu>(*Window, menuName);
        QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.actionGeometry(menu.menuAction()).center());
        QApplication::processEvents();
        ASSERT_TRUE(menu.isVisible()) << menuName;
        QAction& action = Action(*Window, actionName);
        QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(&action).center());
        QApplication::processEvents();
    }

    void ClickBarButton(int index) {
        QTest::mouseClick(Bar(*Window).ButtonWidget(index), Qt::LeftButton);
        Settle();
    }
    // Opens page `page` of the navigation bar by its header, then its button `button`.
    void ShowBarPage(int page, int button) {
        QTest::mouseClick(Bar(*Window).PageHeader(page), Qt::LeftButton);
        ClickBarButton(button);
    }
    QStringList BarCaptions(int page) {
        QStringList captions;
        for (int i = 0; i < Bar(*Window).Page(page).ButtonCount(); ++i) {
            captions << Bar(*Window).Page(page).Button(i).Caption;
        }
        return captions;
    }

    static QStringList Row(QTreeView& grid, int row) {
        QStringList cells;
        for (int column = 0; column < grid.model()->columnCount(); ++column) {
            if (!grid.isColumnHidden(column)) {
                cells << grid.model()->index(row, column).data().toString();
            }
        }
        return cells;
    }
    static int RowNamed(QTreeView& grid, int column, const QString& text) {
        for (int row = 0; row < grid.model()->rowCount(); ++row) {
            if (grid.model()->index(row, column).data().toString() == text) {
                return row;
            }
        }
        return -1;
    }

    QTreeView& Grid(const char* name) { return *Child<QTreeView>(*Window, name); }

    std::unique_ptr<TfrmMain> Window;
};

TEST_F(EndToEndTest, ABudgetKeptFromTheWindowComesBackWhole) {
    const std::string path = Home.File("family.qn");
    const QDate lastMonth = QDate::currentDate().addMonths(-1);

    // ---- A new budget from the start-up dialog, opened by itself from now on.
    AnswerStartup([&](QDialog& dialog) {
        QTest::keyClicks(Child<QLineEdit>(dialog, "editTitle"), "Family");
        auto* location = Child<QLineEdit>(dialog, "editLocation");
        location->selectAll();
        QTest::keyClicks(location, QString::fromStdString(path));
        auto* autoOpen = Child<QCheckBox>(dialog, "cbAutoOpenLastEdited");
        if (!autoOpen->isChecked()) {
            QTest::mouseClick(autoOpen, Qt::LeftButton, {}, QPoint(6, autoOpen->height() / 2));
        }
        QTest::mouseClick(Child<QPushButton>(dialog, "btnOKNew"), Qt::LeftButton);
    });
    Open();
    ASSERT_TRUE(Window->HasBudget());
    QTreeView& flows = Grid("tvInfo");

    // ---- An expense from the toolbar: title, a new category, an amount.
    QTest::mouseClick(Child<QToolButton>(*Window, "btnAddExpense"), Qt::LeftButton);
    Type(QApplication::focusWidget(), "Groceries");
    int expense = RowNamed(flows, TQVMonthView::ColTitle, "Groceries");
    ASSERT_GE(expense, 0);
    Type(Edit(flows, expense, TQVMonthView::ColCategory), "Garden");
    Type(Edit(flows, expense, TQVMonthView::ColSum), Amount("1234", "56"));
    expense = RowNamed(flows, TQVMonthView::ColTitle, "Groceries");
    EXPECT_EQ(flows.model()->index(expense, TQVMonthView::ColCategory).data().toString(), "Garden");
    EXPECT_EQ(Text(*Window, "lblTotalExpense"), "Total expense: " + Amount("1234", "56"));

    // ---- A second account, and a transfer to it, moved into last month by its date.
    DialogActions.push_back([](QDialog& dialog) {
        QTest::keyClicks(Child<QLineEdit>(dialog, "editString"), "Bank");
        QTest::mouseClick(Child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
    });
    ChooseFromMenuBar("mnuEdit", "actNewAccount");
    ASSERT_EQ(Env().SourceCount(), 2);
    ChooseFromMenuBar("mnuEdit", "actA2A");
    // The destination list opened by itself on the new row; typing picks an entry.
    auto* destination = qobject_cast<QComboBox*>(QApplication::focusWidget());
    ASSERT_NE(destination, nullptr);
    QTest::keyClicks(destination, "Transfer to B");
    EXPECT_EQ(destination->currentText(), "Transfer to Bank");
    QTest::keyClick(destination, Qt::Key_Return);
    Settle();
    int transfer = RowNamed(flows, TQVMonthView::ColTitle, "Transfer to Bank");
    ASSERT_GE(transfer, 0);
    Type(Edit(flows, transfer, TQVMonthView::ColSum), Amount("250", "75"));
    // The calendar of the date editor: a month back, and the day is taken.
    auto* date = qobject_cast<QDateEdit*>(Edit(flows, transfer, TQVMonthView::ColDate));
    ASSERT_NE(date, nullptr);
    QTest::keyClick(date, Qt::Key_F4);
    QCalendarWidget* calendar = date->calendarWidget();
    ASSERT_TRUE(calendar->isVisible());
    QWidget* days = calendar->focusWidget() ? calendar->focusWidget() : calendar;
    QTest::keyClick(days, Qt::Key_PageUp);
    QTest::keyClick(days, Qt::Key_Return);
    Settle();
    EXPECT_EQ(RowNamed(flows, TQVMonthView::ColTitle, "Transfer to Bank"), -1);
    EXPECT_EQ(flows.model()->rowCount(), 1);

    // ---- A debt and a loan from the Edit menu: title typed into the editor that opens, then
    // peer and amount.
    const struct {
        const char* action;
        const char* title;
        const char* peer;
        QString amount;
    } debts[] = {{"actNewDebt", "Car", "Anna", Amount("500", "25")},
                 {"actNewCredit", "Bike", "Ben", Amount("30", "50")}};
    QTreeView& debtsGrid = Grid("tvDebts");
    for (const auto& debt : debts) {
        SCOPED_TRACE(debt.action);
        ChooseFromMenuBar("mnuEdit", debt.action);
        Type(QApplication::focusWidget(), debt.title);
        const int row = RowNamed(debtsGrid, 0, debt.title);
        ASSERT_GE(row, 0);
        Type(Edit(debtsGrid, row, 1), debt.peer);
        Type(Edit(debtsGrid, row, 2), debt.amount);
        EXPECT_EQ(Row(debtsGrid, row), QStringList({debt.title, debt.peer, debt.amount}));
    }

    // ---- A category disabled from the personalisation page's menu.
    QTest::mouseClick(Child<QToolButton>(*Window, "btnViewPersonalisation"), Qt::LeftButton);
    ClickBarButton(0);
    QTreeView& categories = Grid("tvDict");
    const int food = RowNamed(categories, 0, "Food");
    ASSERT_GE(food, 0);
    categories.setFocus();
    categories.selectionModel()->select(categories.model()->index(food, 0),
                                        QItemSelectionModel::ClearAndSelect |
                                            QItemSelectionModel::Rows);
    QContextMenuEvent rightClick(
        QContextMenuEvent::Mouse,
        categories.visualRect(categories.model()->index(food, 0)).center());
    QApplication::sendEvent(categories.viewport(), &rightClick);
    QApplication::processEvents();
    QMenu& menu = *Child<QMenu>(*Window, "mnuDict");
    QAction* disable = nullptr;
    for (QAction* item : menu.actions()) {
        if (item->text() == "&Disable") {
            disable = item;
        }
    }
    ASSERT_NE(disable, nullptr);
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(disable).center());
    Settle();

    // ---- Cash renamed from the account card.
    QTest::mouseClick(Child<QToolButton>(*Window, "btnViewAccounts"), Qt::LeftButton);
    ClickBarButton(0);
    ASSERT_EQ(Text(*Window, "lblAccName"), "Cash");
    DialogActions.push_back([](QDialog& dialog) {
        auto* name = Child<QLineEdit>(dialog, "editString");
        name->selectAll();
        QTest::keyClicks(name, "Wallet");
        QTest::mouseClick(Child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
    });
    QTest::mouseClick(Child<QPushButton>(*Window, "btnRename"), Qt::LeftButton);
    EXPECT_EQ(Text(*Window, "lblAccName"), "Wallet");
    EXPECT_TRUE(DialogActions.empty());
    EXPECT_TRUE(Messages.empty());

    // ---- Closing writes the budget; the program starts afresh, as after a restart.
    Window->close();
    Window.reset();
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
    delete Environment;
    Environment = new TQVEnvironment();
    Environment->LoadLanguagesFrom({QV_LANG_DIR "/"});
    Environment->InitFailed = Environment->CurrentLanguage == nullptr;
    ASSERT_TRUE(Env().Settings().AutoOpenLast);
    const std::size_t dialogs = DialogsRun.size();
    Open();
    ASSERT_TRUE(Window->HasBudget());
    EXPECT_EQ(DialogsRun.size(), dialogs); // no start-up dialog
    EXPECT_EQ(Env().Title, u"Family");

    // The months: today's with the expense, last month's with the transfer.
    const QDate transferDay = [&] {
        // The calendar keeps the day where last month has it.
        const QDate today = QDate::currentDate();
        return QDate(lastMonth.year(), lastMonth.month(),
                     std::min(today.day(), lastMonth.daysInMonth()));
    }();
    EXPECT_EQ(BarCaptions(kCashflow),
              QStringList({"Current Month",
                           QVUIUtils::GetMonthCaption(
                               true, QVUIUtils::FromQDateTime(lastMonth.startOfDay())),
                           "All Months"}));
    ShowBarPage(kCashflow, 0);
    QTreeView& flowsAgain = Grid("tvInfo");
    ASSERT_EQ(flowsAgain.model()->rowCount(), 1);
    const QStringList expenseRow = Row(flowsAgain, 0);
    EXPECT_EQ(expenseRow.mid(1),
              QStringList({"Groceries", "Garden", Amount("1234", "56"), "Wallet"}));
    EXPECT_EQ(Text(*Window, "lblTotalExpense"), "Total expense: " + Amount("1234", "56"));
    ClickBarButton(1);
    ASSERT_EQ(flowsAgain.model()->rowCount(), 1);
    EXPECT_EQ(Row(flowsAgain, 0),
              QStringList({QLocale::system().toString(transferDay, QLocale::ShortFormat),
                           "Transfer to Bank", "", Amount("250", "75"), "Wallet"}));

    // The accounts, renamed, with the balances of what was booked on them.
    ShowBarPage(kAccounts, 0);
    EXPECT_EQ(BarCaptions(kAccounts), QStringList({"Wallet", "Bank", "New Account"}));
    EXPECT_EQ(Text(*Window, "lblAccName"), "Wallet");
    EXPECT_EQ(Text(*Window, "lblAccBalance"), "-" + Amount("1485", "31"));
    ClickBarButton(1);
    EXPECT_EQ(Text(*Window, "lblAccName"), "Bank");
    EXPECT_EQ(Text(*Window, "lblAccBalance"), Amount("250", "75"));

    // The debts and the loans.
    for (int button = 0; button < 2; ++button) {
        SCOPED_TRACE(debts[button].action);
        ShowBarPage(kDebts, button);
        QTreeView& grid = Grid("tvDebts");
        ASSERT_EQ(grid.model()->rowCount(), 1);
        EXPECT_EQ(Row(grid, 0),
                  QStringList({debts[button].title, debts[button].peer, debts[button].amount}));
    }

    // The categories: the typed one kept, the disabled one unticked, the rest ticked.
    ShowBarPage(kPersonalisation, 0);
    QTreeView& dict = Grid("tvDict");
    ASSERT_GE(RowNamed(dict, 0, "Garden"), 0);
    for (int row = 0; row < dict.model()->rowCount(); ++row) {
        const QString name = dict.model()->index(row, 0).data().toString();
        const bool ticked =
            dict.model()->index(row, 2).data(Qt::CheckStateRole).toInt() == Qt::Checked;
        EXPECT_EQ(ticked, name != "Food") << name.toStdString();
    }
    EXPECT_TRUE(Messages.empty());
}

} // namespace
