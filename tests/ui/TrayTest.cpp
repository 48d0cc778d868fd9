// The main window's life in the notification area: the tray menu and its quick entry, the
// double-click, hiding on minimise and close, the autostart hiding, and the settings dialog's
// language applied at once.
#include <fcntl.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "MainFormTestSupport.h"
#include "model/QVEnvironment.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVCompoundFile.h"
#include "ui/dialogs/TrayPopupForm.h"

namespace {

constexpr time_t OldTime = 946684800; // 2000-01-01

using Dialog = std::function<void(QDialog&)>;

void Type(QDialog& d, const char* edit, const QString& text) {
    auto* line = Child<QLineEdit>(d, edit);
    line->clear();
    QTest::keyClicks(line, text);
}

void TypeInto(QDialog& d, const char* combo, const QString& text) {
    QLineEdit* line = Child<QComboBox>(d, combo)->lineEdit();
    line->clear();
    if (!text.isEmpty()) {
        QTest::keyClicks(line, text);
    }
}

void Pick(QDialog& d, const char* combo, const QString& text) {
    auto* box = Child<QComboBox>(d, combo);
    box->setCurrentIndex(box->findText(text));
}

void ClickOK(QDialog& d) {
    QTest::mouseClick(Child<QPushButton>(d, "btnOK"), Qt::LeftButton);
}

TTrayEntryMode ModeOf(QDialog& d) {
    return static_cast<TfrmTrayPopup&>(d).Mode();
}

class TrayTest : public MainFormTest {
protected:
    void SetUp() override {
        MainFormTest::SetUp();
        TfrmMain::SystemTrayAvailable = [] { return true; };
        TfrmMain::CommandLine = [] { return QStringList{QStringLiteral("quillvane")}; };
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
        Window = std::make_unique<TfrmMain>();
        Window->show();
        Window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    }

    QSystemTrayIcon& Tray() { return *Child<QSystemTrayIcon>(*Window, "TrayIcon"); }
    QAction& TrayItem(const QString& caption) {
        for (QAction* action : Child<QMenu>(*Window, "mnuTray")->actions()) {
            if (action->text() == caption) {
                return *action;
            }
        }
        ADD_FAILURE() << "no tray item " << caption.toStdString();
        static QAction none;
        return none;
    }
    // Runs `caption` of the tray menu; `dialog` answers the quick entry it opens.
    void RunTrayItem(const QString& caption, Dialog dialog = {}) {
        if (dialog) {
            DialogActions.push_back(std::move(dialog));
        }
        TrayItem(caption).trigger();
        QApplication::processEvents();
    }

    TQVMonth& Today() { return *Env().GetMonth(Env().IndexOfCurrentMonth()); }
    template <class T = TQVMoneyFlow> T* FlowNamed(std::u16string_view name) {
        for (TQVMoneyFlow* flow : Today().Flows()) {
            if (flow->Name == name) {
                return static_cast<T*>(flow);
            }
        }
        return nullptr;
    }
    TOutlookBarPage& BarPage(int index) { return Bar(*Window).Page(index); }
    QStringList Captions(int page) {
        QStringList captions;
        for (int i = 0; i < BarPage(page).ButtonCount(); ++i) {
            captions << BarPage(page).Button(i).Caption;
        }
        return captions;
    }
    int DebtRows() { return Child<QTreeView>(*Window, "tvDebts")->model()->rowCount(); }

    void MakeBudgetOld() {
        const timespec times[2] = {{OldTime, 0}, {OldTime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, Budget.c_str(), times, 0), 0);
    }
    bool BudgetWritten() const {
        struct stat info {};
        return stat(Budget.c_str(), &info) == 0 && info.st_mtim.tv_sec > OldTime;
    }

    std::string Budget;
    std::unique_ptr<TfrmMain> Window;
};

TEST_F(TrayTest, MenuItemsRunTheirQuickEntryAndWriteTheModel) {
    Open();
    TQVSource* cash = Env().GetSource(0);
    TQVSource* bank = Env().GetSource(1);
    const int debts = Env().DebtCount();
    const int loans = Env().CreditCount();

    RunTrayItem("Add Expense", [](QDialog& d) {
        EXPECT_EQ(ModeOf(d), TTrayEntryMode::Expense);
        EXPECT_EQ(Child<QLabel>(d, "lblMoneyFlow")->text(), "Expense:");
        EXPECT_EQ(Child<QComboBox>(d, "cbSources")->currentText(), "Cash") << "the default";
        Type(d, "editMoneyFlow", "Bread");
        Type(d, "editSum", "12");
        Pick(d, "cbLocations", QVUIUtils::ToQ(Env().GetExpenseLocation(0)->Name));
        ClickOK(d);
    });
    auto* bread = FlowNamed<TQVExpenseItem>(u"Bread");
    ASSERT_NE(bread, nullptr);
    EXPECT_EQ(bread->Kind(), TQVFlowKind::Expense);
    EXPECT_EQ(bread->Sum, 12);
    EXPECT_EQ(bread->Source, cash);
    EXPECT_EQ(bread->Location, Env().GetExpenseLocation(0));

    RunTrayItem("Add Income", [](QDialog& d) {
        EXPECT_EQ(ModeOf(d), TTrayEntryMode::Income);
        EXPECT_EQ(Child<QLabel>(d, "lblMoneyFlow")->text(), "Income:");
        Type(d, "editMoneyFlow", "Wages");
        Type(d, "editSum", "900");
        Pick(d, "cbLocations", QVUIUtils::ToQ(Env().GetIncomeLocation(0)->Name));
        ClickOK(d);
    });
    auto* wages = FlowNamed<TQVIncomeItem>(u"Wages");
    ASSERT_NE(wages, nullptr);
    EXPECT_EQ(wages->Kind(), TQVFlowKind::Income);
    EXPECT_EQ(wages->Sum, 900);
    EXPECT_EQ(wages->Source, cash);
    EXPECT_EQ(wages->Location, Env().GetIncomeLocation(0));

    const int flows = Today().Count();
    RunTrayItem("Add Account-to-Account", [](QDialog& d) {
        EXPECT_EQ(ModeOf(d), TTrayEntryMode::Transfer);
        EXPECT_EQ(Child<QComboBox>(d, "cbA2ASources")->currentText(), "Cash");
        EXPECT_EQ(Child<QComboBox>(d, "cbA2ADestSources")->currentText(), "Cash");
        Pick(d, "cbA2ADestSources", "Bank");
        Type(d, "editA2ASum", "30");
        ClickOK(d);
    });
    ASSERT_EQ(Today().Count(), flows + 1);
    const TQVA2AItem* transfer = nullptr;
    for (TQVMoneyFlow* flow : Today().Flows()) {
        if (flow->Kind() == TQVFlowKind::A2A && flow->Sum == 30) {
            transfer = static_cast<const TQVA2AItem*>(flow);
        }
    }
    ASSERT_NE(transfer, nullptr);
    EXPECT_EQ(transfer->Source, cash);
    EXPECT_EQ(transfer->Destination, bank);
    EXPECT_TRUE(transfer->Name.empty());

    for (const bool loan : {false, true}) {
        RunTrayItem(loan ? "Add Loan" : "Add Debt", [loan](QDialog& d) {
            EXPECT_EQ(ModeOf(d), loan ? TTrayEntryMode::Loan : TTrayEntryMode::Debt);
            Type(d, "editDebtTitle", loan ? "Car" : "Books");
            Type(d, "editDebtSum", "75");
            Type(d, "editDebtPerson", "Ann");
            ClickOK(d);
        });
    }
    ASSERT_EQ(Env().DebtCount(), debts + 1);
    ASSERT_EQ(Env().CreditCount(), loans + 1);
    const TQVMoneyFlow* debt = Env().GetDebt(debts);
    const TQVMoneyFlow* loan = Env().GetCredit(loans);
    EXPECT_EQ(debt->Name, u"Books");
    EXPECT_EQ(loan->Name, u"Car");
    for (const TQVMoneyFlow* item : {debt, loan}) {
        EXPECT_EQ(item->Sum, 75);
        EXPECT_EQ(item->PeerName, u"Ann");
    }

    // Cancel adds nothing.
    const int before = Today().Count();
    RunTrayItem("Add Expense", [](QDialog& d) {
        Type(d, "editMoneyFlow", "Never");
        QTest::mouseClick(Child<QPushButton>(d, "btnCancel"), Qt::LeftButton);
    });
    EXPECT_EQ(Today().Count(), before);

    // Restore brings a hidden window back; Exit is tested with the closing below.
    Window->HideToTray();
    RunTrayItem("Restore");
    EXPECT_TRUE(Window->isVisible());
}

TEST_F(TrayTest, TypedNamesMakeAccountsAndCategoriesEmptyBoxesNone) {
    Open();
    const int accounts = Env().SourceCount();
    const int categories = Env().ExpenseLocationCount();
    const int incomeCategories = Env().IncomeLocationCount();

    RunTrayItem("Add Expense", [](QDialog& d) {
        Type(d, "editMoneyFlow", "Tea");
        Type(d, "editSum", "3");
        TypeInto(d, "cbSources", "Wallet");
        TypeInto(d, "cbLocations", "Treats");
        ClickOK(d);
    });
    auto* tea = FlowNamed<TQVExpenseItem>(u"Tea");
    ASSERT_NE(tea, nullptr);
    ASSERT_EQ(Env().SourceCount(), accounts + 1);
    ASSERT_EQ(Env().ExpenseLocationCount(), categories + 1);
    TQVSource* wallet = Env().GetSource(accounts);
    EXPECT_EQ(wallet->Name, u"Wallet");
    EXPECT_FALSE(wallet->Id.empty());
    EXPECT_EQ(tea->Source, wallet);
    EXPECT_EQ(tea->Location->Name, u"Treats");
    EXPECT_FALSE(tea->Location->Id.empty());
    // Its button stands on the accounts page at once, before the new-account button.
    const QStringList captions = Captions(1);
    ASSERT_GE(captions.size(), 2);
    EXPECT_EQ(captions[captions.size() - 2], "Wallet");
    EXPECT_EQ(BarPage(1).Button(static_cast<int>(captions.size()) - 2).Tag,
              reinterpret_cast<std::intptr_t>(wallet));

    RunTrayItem("Add Income", [](QDialog& d) {
        Type(d, "editMoneyFlow", "Found");
        Type(d, "editSum", "5");
        TypeInto(d, "cbSources", "");
        TypeInto(d, "cbLocations", "");
        ClickOK(d);
    });
    auto* found = FlowNamed<TQVIncomeItem>(u"Found");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->Source, nullptr);
    EXPECT_EQ(found->Location, nullptr);
    EXPECT_EQ(Env().SourceCount(), accounts + 1) << "no nameless account";
    EXPECT_EQ(Env().IncomeLocationCount(), incomeCategories) << "nor category";
}

TEST_F(TrayTest, AMissingMonthOfTodayIsMadeForTheEntry) {
    Open();
    // The program ran into a new month: the month that was today's is now an older one.
    TQVMonth* last = &Today();
    last->Date = QVUtils::EncodeDate(2019, 1, 1);
    ASSERT_EQ(Env().IndexOfCurrentMonth(), -1);
    const int months = Env().MonthCount();

    RunTrayItem("Add Expense", [](QDialog& d) {
        Type(d, "editMoneyFlow", "Milk");
        Type(d, "editSum", "2");
        ClickOK(d);
    });
    ASSERT_EQ(Env().MonthCount(), months + 1);
    ASSERT_GE(Env().IndexOfCurrentMonth(), 0);
    EXPECT_EQ(Env().GetMonth(0), &Today()) << "newest first";
    EXPECT_NE(FlowNamed(u"Milk"), nullptr);
    // The cash-flow page shows the new month, under the first button.
    EXPECT_EQ(Window->CurrentMonth(), &Today());
    EXPECT_EQ(BarPage(0).Button(0).Tag, reinterpret_cast<std::intptr_t>(&Today()));
    EXPECT_EQ(BarPage(0).DownIndex(), 0);
}

TEST_F(TrayTest, AnExpenseLeavesTheCashflowPageOnTheMonthOfToday) {
    Open();
    Window->LeftBarButtonClick(BarPage(0).ButtonCount() - 1); // all months
    ASSERT_NE(Window->CurrentMonth(), &Today());
    RunTrayItem("Add Expense", [](QDialog& d) {
        Type(d, "editMoneyFlow", "Soap");
        ClickOK(d);
    });
    EXPECT_EQ(Window->CurrentMonth(), &Today());
    EXPECT_EQ(Child<QTreeView>(*Window, "tvInfo")->model()->rowCount(), Today().Count());
    EXPECT_EQ(BarPage(0).DownIndex(), 0) << "the bar marks the month that shows";
}

TEST_F(TrayTest, DebtsAndLoansAppearAtOnceInTheListThatShows) {
    Open();
    Window->ShowDebtsPage();
    Window->LeftBarButtonClick(0); // debts
    const int shown = DebtRows();
    auto add = [this](const char* item) {
        RunTrayItem(item, [](QDialog& d) {
            Type(d, "editDebtTitle", "Lent");
            ClickOK(d);
        });
    };
    add("Add Debt");
    EXPECT_EQ(DebtRows(), shown + 1);
    add("Add Loan");
    EXPECT_EQ(DebtRows(), shown + 1) << "the debts list still shows";
    Window->LeftBarButtonClick(1); // loans
    const int loans = DebtRows();
    add("Add Loan");
    EXPECT_EQ(DebtRows(), loans + 1);
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
        EXPECT_EQ(DialogsRun.size(), dialogs + (c.dialog ? 1 : 0));
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
        EXPECT_EQ(Tray().isVisible(), c.useTray);

        Window->showMinimized();
        QTest::qWait(20);
        EXPECT_EQ(Window->isVisible(), !c.hides);
        if (!c.hides) {
            EXPECT_TRUE(Window->isMinimized()) << "minimised as usual";
        }

        Window->RestoreFromTray();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
        MakeBudgetOld();
        EXPECT_EQ(Window->close(), !c.hides);
        EXPECT_EQ(Window->isVisible(), false);
        EXPECT_EQ(BudgetWritten(), !c.hides) << "hiding does not save; closing does";
        Window.reset();
    }
}

TEST_F(TrayTest, ExitSavesAndEndsEvenWhenCloseHides) {
    Env().Settings().HideOnClose = true;
    for (const bool fromTray : {false, true}) {
        SCOPED_TRACE(fromTray ? "tray" : "File menu");
        Open();
        if (fromTray) {
            Window->HideToTray();
        }
        MakeBudgetOld();
        if (fromTray) {
            RunTrayItem("Exit");
        } else {
            Action(*Window, "actExit").trigger();
        }
        EXPECT_TRUE(Window->IsClosing());
        EXPECT_FALSE(Window->isVisible());
        EXPECT_TRUE(BudgetWritten());
        EXPECT_FALSE(Tray().isVisible()) << "the icon leaves with the program";
        Window.reset();
    }
}

TEST_F(TrayTest, AutorunAsFirstArgumentHidesOnceASecondAfterTheFirstShow) {
    enum Outcome { Hidden, Minimised, Shown };
    const struct {
        QStringList arguments;
        bool hideOnMinimize;
        Outcome outcome;
    } cases[] = {
        {{"quillvane", "/autorun"}, true, Hidden},
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
        Window.reset();
    }
}

TEST_F(TrayTest, SettingsLanguageAppliesAtOnce) {
    // A second table: the English one with another id and two captions changed.
    const std::string folder = Home.Path() + "/lang2";
    FileSystem::ForceFolders(folder);
    {
        const TQVStringKeeper& english = *Env().GetLanguage(0);
        TQVStringKeeper table;
        table.Id = "xx";
        table.Title = u"Other";
        // The first of repeated keys wins.
        table.AddString(u"LEFTBAR_CASHFLOW", u"Money flow");
        table.AddString(u"MNU_FILE", u"&Budget");
        for (int i = 0; i < english.Count(); ++i) {
            table.AddString(english.GetKey(i), english.GetText(i));
        }
        TQVCompoundFile container;
        table.SaveToFolder(container.Root());
        TFileStream file(folder + "/other.lng", TFileMode::Create);
        container.SaveToStream(file);
    }
    Env().LoadLanguagesFrom({QV_LANG_DIR "/", folder + "/"});
    ASSERT_EQ(Env().LanguageCount(), 2);
    ASSERT_EQ(Env().CurrentLanguage->Id, "en");

    Open();
    Window->ShowSummaryPage();
    ASSERT_EQ(BarPage(0).Caption(), "Cashflow");
    auto choose = [this](const QString& title) {
        DialogActions.push_back([title](QDialog& d) {
            Pick(d, "cbLanguage", title);
            QTest::mouseClick(Child<QPushButton>(d, "btnOK"), Qt::LeftButton);
        });
        Action(*Window, "actSettings").trigger();
    };
    choose("Other");
    EXPECT_EQ(Env().Settings().Lang, "xx");
    EXPECT_EQ(Env().CurrentLanguage->Id, "xx");
    EXPECT_EQ(BarPage(0).Caption(), "Money flow");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuFile")->title(), "&Budget");
    EXPECT_EQ(Bar(*Window).ActivePageIndex(), 4) << "the page that showed stays";

    choose("English (default)");
    EXPECT_EQ(BarPage(0).Caption(), "Cashflow");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuFile")->title(), "&File");
}

} // namespace
