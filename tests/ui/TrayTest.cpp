// The main window's life in the notification area: the tray menu and its quick entry, the
// double-click, hiding on minimise and close, and the autostart hiding.
#include <fcntl.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSystemTrayIcon>

#include "MainFormTestSupport.h"
#include "ui/dialogs/TrayPopupForm.h"

namespace {

constexpr time_t OldTime = 946684800; // 2000-01-01

void Pick(QDialog& d, const char* combo, const QString& text) {
    auto* box = Child<QComboBox>(d, combo);
    box->setCurrentIndex(box->findText(text));
}

class TrayTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        TfrmMain::SystemTrayAvailable = [] { return true; };
        Budget = MakeBudget();
        RememberLast(Budget);
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
    template <class T = TQVMoneyFlow> T* FlowNamed(std::u16string_view name) {
        for (TQVMoneyFlow* flow : Today().Flows()) {
            if (flow->Name == name) {
                return static_cast<T*>(flow);
            }
        }
        return nullptr;
    }
    int DebtRows() { return Grid("tvDebts").model()->rowCount(); }

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
    TQVSource* cash = Env().GetSource(0);
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
    const QString food = QVUIUtils::ToQ(Env().GetExpenseLocation(0)->Name);
    RunTrayItem("Add Expense", entry("Bread", nullptr, food));
    RunTrayItem("Add Income", entry("Wages", nullptr, ""));
    // Typed names make an account and a category, once, and pick them afterwards; an emptied box
    // leaves the flow without one and makes nothing nameless.
    RunTrayItem("Add Expense", entry("Tea", "Wallet", "Treats"));
    RunTrayItem("Add Expense", entry("Cake", "Wallet", "Treats"));
    RunTrayItem("Add Income", entry("Found", "", ""));
    RunTrayItem("Add Expense", TypeAndPress("editMoneyFlow", "Never", "btnCancel"));
    ASSERT_EQ(Env().SourceCount(), accounts + 1);
    ASSERT_EQ(Env().ExpenseLocationCount(), categories + 1);
    TQVSource* wallet = Env().GetSource(accounts);
    EXPECT_EQ(wallet->Name, u"Wallet");
    EXPECT_FALSE(wallet->Id.empty());
    EXPECT_EQ(BarPage(1).Button(BarPage(1).ButtonCount() - 2).Tag,
              reinterpret_cast<std::intptr_t>(wallet))
        << "its button stands on the accounts page at once";
    const struct {
        const char16_t* title;
        TQVFlowKind kind;
        TQVSource* source;
        const char16_t* category; // null: none
    } expected[] = {
        {u"Bread", TQVFlowKind::Expense, cash, Env().GetExpenseLocation(0)->Name.c_str()},
        {u"Wages", TQVFlowKind::Income, cash, nullptr},
        {u"Tea", TQVFlowKind::Expense, wallet, u"Treats"},
        {u"Cake", TQVFlowKind::Expense, wallet, u"Treats"},
        {u"Found", TQVFlowKind::Income, nullptr, nullptr},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(QString::fromStdU16String(e.title).toStdString());
        TQVMoneyFlow* flow = FlowNamed(e.title);
        ASSERT_NE(flow, nullptr);
        EXPECT_EQ(flow->Kind(), e.kind);
        EXPECT_EQ(flow->Sum, 12);
        const bool income = e.kind == TQVFlowKind::Income;
        const TQVLocation* category = income ? static_cast<TQVIncomeItem*>(flow)->Location
                                             : static_cast<TQVExpenseItem*>(flow)->Location;
        EXPECT_EQ(income ? static_cast<TQVIncomeItem*>(flow)->Source
                         : static_cast<TQVExpenseItem*>(flow)->Source,
                  e.source);
        EXPECT_EQ(category ? category->Name : u"", e.category ? e.category : u"");
    }
    EXPECT_EQ(FlowNamed(u"Never"), nullptr);

    const int flows = Today().Count();
    RunTrayItem("Add Account-to-Account", [](QDialog& d) {
        Pick(d, "cbA2ADestSources", "Bank");
        TypeText(d, "editA2ASum", "30");
        ClickOn(d, "btnOK");
    });
    ASSERT_EQ(Today().Count(), flows + 1);
    for (TQVMoneyFlow* flow : Today().Flows()) {
        if (flow->Kind() == TQVFlowKind::A2A && flow->Sum == 30) {
            EXPECT_EQ(static_cast<TQVA2AItem*>(flow)->Source, cash);
            EXPECT_EQ(static_cast<TQVA2AItem*>(flow)->Destination, Env().GetSource(1));
        }
    }
    Window->HideToTray();
    RunTrayItem("Restore");
    EXPECT_TRUE(Window->isVisible());
}

TEST_F(TrayTest, DebtsAndLoansAppearAtOnceInTheListThatShows) {
    Open();
    Window->ShowDebtsPage();
    Window->LeftBarButtonClick(0); // debts
    const int debts = Env().DebtCount(), loans = Env().CreditCount(), shown = DebtRows();
    const auto add = [this](const char* item) {
        RunTrayItem(item, [](QDialog& d) {
            TypeText(d, "editDebtTitle", "Lent");
            TypeText(d, "editDebtSum", "75");
            TypeText(d, "editDebtPerson", "Ann");
            ClickOn(d, "btnOK");
        });
    };
    add("Add Debt");
    EXPECT_EQ(DebtRows(), shown + 1);
    add("Add Loan");
    EXPECT_EQ(DebtRows(), shown + 1) << "the debts list still shows";
    ASSERT_EQ(Env().DebtCount(), debts + 1);
    ASSERT_EQ(Env().CreditCount(), loans + 1);
    const TQVMoneyFlow* debt = Env().GetDebt(debts);
    for (const TQVMoneyFlow* item :
         {debt, static_cast<const TQVMoneyFlow*>(Env().GetCredit(loans))}) {
        EXPECT_EQ(item->Name, u"Lent");
        EXPECT_EQ(item->Sum, 75);
        EXPECT_EQ(item->PeerName, u"Ann");
    }
    Window->LeftBarButtonClick(1); // loans
    add("Add Loan");
    EXPECT_EQ(DebtRows(), loans + 2);
}

TEST_F(TrayTest, AnEntryMakesAMissingMonthOfTodayAndShowsIt) {
    Open();
    Window->LeftBarButtonClick(BarPage(0).ButtonCount() - 1); // all months
    // The program ran into a new month: the month that was today's is now an older one.
    Today().Date = QVUtils::EncodeDate(2019, 1, 1);
    ASSERT_EQ(Env().IndexOfCurrentMonth(), -1);
    const int months = Env().MonthCount();
    RunTrayItem("Add Expense", TypeAndPress("editMoneyFlow", "Milk"));
    ASSERT_EQ(Env().MonthCount(), months + 1);
    ASSERT_GE(Env().IndexOfCurrentMonth(), 0);
    EXPECT_EQ(Env().GetMonth(0), &Today()) << "newest first";
    EXPECT_NE(FlowNamed(u"Milk"), nullptr);
    // The cash-flow page shows the new month, under the first button, which the bar marks.
    EXPECT_EQ(Window->CurrentMonth(), &Today());
    EXPECT_EQ(Grid("tvInfo").model()->rowCount(), Today().Count());
    EXPECT_EQ(BarPage(0).Button(0).Tag, reinterpret_cast<std::intptr_t>(&Today()));
    EXPECT_EQ(BarPage(0).DownIndex(), 0);
}

TEST_F(TrayTest, DoubleClickRunsTheChosenAction) {
    const struct {
        int action;
        bool restores;
        const char* dialog; // the mode's label, or null for none
    } cases[] = {
        {0, true, nullptr},
        {1, false, "Expense:"},
        {2, false, "Income:"},
        {7, false, nullptr},
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        Env().Settings().TrayDblClick = static_cast<std::uint8_t>(c.action);
        Window->HideToTray();
        const size_t dialogs = DialogsRun.size();
        QString label;
        DialogActions.push_back(
            [&label](QDialog& d) { label = Child<QLabel>(d, "lblMoneyFlow")->text(); });
        emit Tray().activated(QSystemTrayIcon::Trigger);
        EXPECT_EQ(DialogsRun.size(), dialogs) << "a single click does nothing";
        emit Tray().activated(QSystemTrayIcon::DoubleClick);
        QApplication::processEvents();
        EXPECT_EQ(Window->isVisible(), c.restores);
        EXPECT_EQ(label, c.dialog ? QString::fromLatin1(c.dialog) : QString());
        DialogActions.clear();
    }
}

TEST_F(TrayTest, MinimiseAndCloseHideOnlyWithAVisibleTrayIcon) {
    const struct {
        bool trayAvailable;
        bool useTray;
        bool hides;
    } cases[] = {
        {true, true, true},
        {false, true, false},
        {true, false, false},
    };
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
}

TEST_F(TrayTest, ExitSavesAndEndsEvenWhenCloseHides) {
    Env().Settings().HideOnClose = true;
    for (const bool fromTray : {false, true}) {
        SCOPED_TRACE(fromTray ? "tray" : "File menu");
        Open();
        MakeBudgetOld();
        if (fromTray) {
            Window->HideToTray();
            RunTrayItem("Exit");
        } else {
            Action(*Window, "actExit").trigger();
        }
        EXPECT_TRUE(Window->IsClosing());
        EXPECT_FALSE(Window->isVisible());
        EXPECT_TRUE(BudgetWritten());
        EXPECT_FALSE(Tray().isVisible()) << "the icon leaves with the program";
    }
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
