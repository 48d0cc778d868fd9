// The main window's life in the notification area: the tray menu and its quick entry, the
// double-click, hiding on minimise and close, and the autostart hiding.
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include <QComboBox>
#include <QLineEdit>
#include <QSystemTrayIcon>

#include "MainFormTestSupport.h"
#include "ui/QVMonthView.h"

namespace {

constexpr time_t OldTime = 946684800; // 2000-01-01

class TrayTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        TfrmMain::SystemTrayAvailable = [] { return true; };
        Budget = MakeBudget();
        Env().Settings().UseTray = true;
    }
    void TearDown() override {
        Window.reset();
        TfrmMain::SystemTrayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
        TfrmMain::CommandLine = [] { return QCoreApplication::arguments(); };
        MainFormTest::TearDown();
    }

    // Opens the window over the budget with the settings as the test left them.
    void Open(const QStringList& arguments = {QStringLiteral("quillvane")}) {
        TfrmMain::CommandLine = [arguments] { return arguments; };
        OpenWindow();
    }
    QSystemTrayIcon& Tray() { return *Child<QSystemTrayIcon>(*Window, "TrayIcon"); }
    // Runs `caption` of the tray menu; `dialog` answers the quick entry it opens.
    void RunTrayItem(const QString& caption, DialogAction dialog = {}) {
        if (dialog) {
            DialogActions.push_back(std::move(dialog));
        }
        QAction* item = Item(*Child<QMenu>(*Window, "mnuTray"), caption);
        ASSERT_NE(item, nullptr);
        item->trigger();
        QApplication::processEvents();
    }
    // Today's flows as "kind|title|category|sum|account" lines, sorted.
    static QStringList TodaysFlows() {
        QStringList lines;
        for (TQVMoneyFlow* flow : Today().Flows()) {
            QStringList cells{QString::number(int(flow->Kind()))};
            for (int column = TQVMonthView::ColTitle; column < TQVMonthView::ColumnCount;
                 ++column) {
                cells << TQVMonthView::CellText(*flow, column);
            }
            lines << cells.join('|');
        }
        lines.sort();
        return lines;
    }

    void MakeBudgetOld() {
        const timespec times[2] = {{OldTime, 0}, {OldTime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, Budget.c_str(), times, 0), 0);
    }
    bool BudgetWritten() const {
        struct stat info {};
        return stat(Budget.c_str(), &info) == 0 && info.st_mtim.tv_sec > OldTime;
    }

    std::string Budget;
};

TEST_F(TrayTest, MenuItemsRunTheirQuickEntryAndWriteTheModel) {
    Open();
    const int accounts = Env().SourceCount();
    const int categories = Env().ExpenseLocationCount();
    const auto entry = [](const char* title, const char* account, const QString& category) {
        return [=](QDialog& d) {
            TypeText(d, "editMoneyFlow", title);
            TypeText(d, "editSum", "12");
            TypeText(d, "cbLocations", category);
            if (account == nullptr) {
                ClickOn(d, "btnOK");
                return;
            }
            // Enter in a box confirms the dialog rather than adding the name to the list.
            TypeText(d, "cbSources", account);
            QTest::keyClick(Child<QComboBox>(d, "cbSources")->lineEdit(), Qt::Key_Return);
        };
    };
    const QStringList before = TodaysFlows();
    RunTrayItem("Add Expense", entry("Bread", nullptr, "Food"));
    RunTrayItem("Add Income", entry("Wages", nullptr, ""));
    // Typed names make an account and a category, once, and pick them afterwards; an emptied box
    // leaves the flow without one and makes nothing nameless.
    RunTrayItem("Add Expense", entry("Tea", "Wallet", "Treats"));
    RunTrayItem("Add Expense", entry("Cake", "Wallet", "Treats"));
    RunTrayItem("Add Income", entry("Found", "", ""));
    RunTrayItem("Add Expense", TypeAndPress("editMoneyFlow", "Never", "btnCancel"));
    RunTrayItem("Add Account-to-Account", [](QDialog& d) {
        auto* box = Child<QComboBox>(d, "cbA2ADestSources");
        box->setCurrentIndex(box->findText("Bank"));
        TypeText(d, "editA2ASum", "30");
        ClickOn(d, "btnOK");
    });
    QStringList expected = before;
    expected << "0|Bread|Food|" + Local("12.00") + "|Cash"
             << "1|Wages||" + Local("12.00") + "|Cash"
             << "0|Tea|Treats|" + Local("12.00") + "|Wallet"
             << "0|Cake|Treats|" + Local("12.00") + "|Wallet"
             << "1|Found||" + Local("12.00") + "|"
             << "2|Transfer to Bank||" + Local("30.00") + "|Cash";
    expected.sort();
    EXPECT_EQ(TodaysFlows(), expected);
    ASSERT_EQ(Env().SourceCount(), accounts + 1);
    ASSERT_EQ(Env().ExpenseLocationCount(), categories + 1);
    TQVSource* wallet = Env().GetSource(accounts);
    EXPECT_FALSE(wallet->Id.empty());
    EXPECT_EQ(BarPage(1).Button(BarPage(1).ButtonCount() - 2).Caption, "Wallet")
        << "its button stands on the accounts page at once";

    Window->HideToTray();
    RunTrayItem("Restore");
    EXPECT_TRUE(Window->isVisible());
}

TEST_F(TrayTest, ANameTypedInAnotherCaseMakesNoSecondAccountOrCategory) {
    Open();
    const int accounts = Env().SourceCount();
    const int categories = Env().ExpenseLocationCount();
    RunTrayItem("Add Expense", [](QDialog& d) {
        TypeText(d, "editMoneyFlow", "Tea");
        TypeText(d, "cbSources", "cash");
        TypeText(d, "cbLocations", "FOOD");
        ClickOn(d, "btnOK");
    });
    EXPECT_EQ(Env().SourceCount(), accounts);
    EXPECT_EQ(Env().ExpenseLocationCount(), categories);
    const QString tea = TodaysFlows().filter("|Tea|").join(' ');
    EXPECT_EQ(tea, "0|Tea|Food|" + Local("0.00") + "|Cash");
}

TEST_F(TrayTest, WithoutABudgetTheEntriesAndTheDoubleClickEnterNothing) {
    const QStringList entries{"Add Expense", "Add Income", "Add Account-to-Account", "Add Debt",
                              "Add Loan"};
    const auto offered = [&] {
        QStringList off;
        for (const QString& entry : entries) {
            off << entry + (Item(*Child<QMenu>(*Window, "mnuTray"), entry)->isEnabled() ? ""
                                                                                        : " (off)");
        }
        return off;
    };
    // The last budget fails to open: its message, and no budget.
    std::ofstream(Budget, std::ios::trunc) << "not a budget";
    Open();
    ASSERT_FALSE(Window->HasBudget());
    EXPECT_EQ(TakeMessages().size(), 1);
    QStringList off;
    for (const QString& entry : entries) {
        off << entry + " (off)";
    }
    EXPECT_EQ(offered(), off);
    for (const QString& entry : entries) {
        RunTrayItem(entry, Press("btnOK"));
    }
    EXPECT_EQ(DialogActions.size(), entries.size()) << "no quick entry ran";
    DialogActions.clear();
    // The double-click set to an entry brings back the window, where a budget can be opened.
    Env().Settings().TrayDblClick = 1;
    Window->HideToTray();
    DialogActions.push_back(Press("btnOK"));
    emit Tray().activated(QSystemTrayIcon::DoubleClick);
    QApplication::processEvents();
    EXPECT_TRUE(Window->isVisible());
    EXPECT_EQ(DialogActions.size(), 1u);
    DialogActions.clear();

    // Opening a budget turns them on with the other budget commands.
    MakeBudget();
    DialogActions.push_back(OpenFromStartup(Budget));
    Action("actOpen").trigger();
    ASSERT_TRUE(Window->HasBudget());
    EXPECT_EQ(offered(), entries);
    EXPECT_TRUE(Action("actNewExpense").isEnabled());
}

TEST_F(TrayTest, DebtsAndLoansAppearAtOnceInTheListThatShows) {
    Open();
    ShowBarPage(2, 0); // debts
    const int debts = Env().DebtCount(), loans = Env().CreditCount();
    const auto add = [this](const char* item) {
        RunTrayItem(item, [](QDialog& d) {
            TypeText(d, "editDebtTitle", "Lent");
            TypeText(d, "editDebtSum", "75");
            TypeText(d, "editDebtPerson", "Ann");
            ClickOn(d, "btnOK");
        });
        return Grid("tvDebts").model()->rowCount();
    };
    EXPECT_EQ(add("Add Debt"), debts + 1);
    EXPECT_EQ(add("Add Loan"), debts + 1) << "the debts list still shows";
    ASSERT_EQ(Env().DebtCount(), debts + 1);
    ASSERT_EQ(Env().CreditCount(), loans + 1);
    for (const TQVMoneyFlow* item :
         std::initializer_list<const TQVMoneyFlow*>{Env().GetDebt(debts), Env().GetCredit(loans)}) {
        EXPECT_EQ(item->Name, u"Lent");
        EXPECT_EQ(item->Sum, 75);
        EXPECT_EQ(item->PeerName, u"Ann");
    }
    ClickBarButton(1); // loans
    EXPECT_EQ(add("Add Loan"), loans + 2);
}

TEST_F(TrayTest, AnEntryMakesAMissingMonthOfTodayAndShowsIt) {
    Open();
    ClickBarButton(BarPage(0).ButtonCount() - 1); // all months
    // The program ran into a new month: the month that was today's is now an older one.
    Today().Date = QVUtils::EncodeDate(2019, 1, 1);
    const int months = Env().MonthCount();
    RunTrayItem("Add Expense", TypeAndPress("editMoneyFlow", "Milk"));
    ASSERT_EQ(Env().MonthCount(), months + 1);
    ASSERT_GE(Env().IndexOfCurrentMonth(), 0);
    EXPECT_EQ(Env().GetMonth(0), &Today()) << "newest first";
    EXPECT_EQ(Today().Count(), 1);
    // The cash-flow page shows the new month, under the first button, which the bar marks.
    EXPECT_EQ(Window->CurrentMonth(), &Today());
    EXPECT_EQ(RowNamed(Grid("tvInfo"), 1, "Milk"), 0);
    EXPECT_EQ(BarPage(0).Button(0).Tag, reinterpret_cast<std::intptr_t>(&Today()));
    EXPECT_EQ(BarPage(0).DownIndex(), 0);
}

TEST_F(TrayTest, DoubleClickRunsTheChosenAction) {
    const struct {
        int action;
        bool restores;
        QString dialog; // the mode's label, or null for none
    } cases[] = {{0, true, {}}, {1, false, "Expense:"}, {2, false, "Income:"}, {7, false, {}}};
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        Env().Settings().TrayDblClick = static_cast<std::uint8_t>(c.action);
        Window->HideToTray();
        QString label;
        DialogActions = {
            [&label](QDialog& d) { label = Child<QLabel>(d, "lblMoneyFlow")->text(); }};
        emit Tray().activated(QSystemTrayIcon::Trigger);
        EXPECT_EQ(DialogActions.size(), 1u) << "a single click does nothing";
        emit Tray().activated(QSystemTrayIcon::DoubleClick);
        QApplication::processEvents();
        EXPECT_EQ(Window->isVisible(), c.restores);
        EXPECT_EQ(label, c.dialog);
    }
}

TEST_F(TrayTest, MinimiseAndCloseHideOnlyWithAVisibleTrayIconAndExitStillEnds) {
    const struct {
        bool trayAvailable, useTray, hides;
    } cases[] = {{false, true, false}, {true, false, false}, {true, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.trayAvailable << c.useTray);
        TfrmMain::SystemTrayAvailable = [&c] { return c.trayAvailable; };
        Env().Settings().UseTray = c.useTray;
        Env().Settings().HideOnMinimize = true;
        Env().Settings().HideOnClose = true;
        Open();
        Window->showMinimized();
        QTest::qWait(20);
        EXPECT_EQ(Window->isVisible(), !c.hides);
        Window->RestoreFromTray();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        MakeBudgetOld();
        EXPECT_EQ(Window->close(), !c.hides);
        EXPECT_FALSE(Window->isVisible());
        EXPECT_EQ(BudgetWritten(), !c.hides) << "hiding does not save; closing does";
    }
    // Exit from the tray menu saves and ends, though closing only hid the window.
    RunTrayItem("Exit");
    EXPECT_TRUE(Window->IsClosing());
    EXPECT_TRUE(BudgetWritten());
    EXPECT_FALSE(Tray().isVisible()) << "the icon leaves with the program";
}

TEST_F(TrayTest, AutorunAsFirstArgumentHidesOnceASecondAfterTheFirstShow) {
    enum Outcome { Hidden, Minimised, Shown };
    const struct {
        QStringList arguments;
        bool hideOnMinimize;
        Outcome outcome;
    } cases[] = {
        {{"quillvane", "/AUTORUN"}, true, Hidden},
        {{"quillvane", "/AutoRun"}, false, Minimised},
        {{"quillvane", "budget", "/autorun"}, true, Shown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        Env().Settings().HideOnMinimize = c.hideOnMinimize;
        Open(c.arguments);
        QTest::qWait(700);
        EXPECT_TRUE(Window->isVisible() && !Window->isMinimized()) << "not before a second";
        QTest::qWait(600);
        EXPECT_EQ(Window->isVisible(), c.outcome != Hidden);
        EXPECT_EQ(Window->isMinimized(), c.outcome == Minimised);
        if (&c == &cases[0]) {
            // Once per run: coming back does not start it again.
            Window->RestoreFromTray();
            QTest::qWait(1300);
            EXPECT_TRUE(Window->isVisible());
        }
    }
}

} // namespace
