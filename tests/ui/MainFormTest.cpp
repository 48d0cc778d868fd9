// The main window as a user meets it: start, budget commands, the navigation bar and its pages.
#include <fstream>

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include "MainFormTestSupport.h"
#include "model/QVA2A.h"
#include "model/QVStringKeeper.h"
#include "storage/QVBase.h"
#include "ui/MainForm.h"
#include "ui/QVUIUtils.h"
#include "ui/widgets/OutlookBar.h"

namespace {

TEST_F(MainFormTest, AutoOpenLastOpensTheBudgetAndShowsItsNewestMonth) {
    RememberLast(MakeBudget());
    TfrmMain window;
    ASSERT_TRUE(window.HasBudget());
    EXPECT_TRUE(DialogsRun.empty());
    TOutlookBar& bar = Bar(window);
    ASSERT_EQ(bar.PageCount(), 5);
    // Newest month, the older one, all months.
    ASSERT_EQ(bar.Page(0).ButtonCount(), 3);
    EXPECT_EQ(bar.Page(0).Button(0).Caption, "Current Month");
    EXPECT_EQ(bar.Page(0).Button(1).Caption, "April 2020");
    EXPECT_EQ(bar.Page(0).Button(1).ImageIndex, 3);
    EXPECT_EQ(bar.Page(0).Button(2).ImageIndex, 12);
    EXPECT_EQ(bar.Page(0).DownIndex(), 0);
    EXPECT_EQ(bar.Page(2).Caption(), "Debts and Loans");
    EXPECT_EQ(Text(window, "lblHeader"), QVUIUtils::GetMonthCaption(true, QVUtils::Now()));
    EXPECT_EQ(Child<QTreeView>(window, "tvInfo")->model()->rowCount(), 3);
    EXPECT_EQ(Text(window, "lblItems"), "Items: 3");
}

TEST_F(MainFormTest, LaunchWithoutAUsableLastBudget) {
    // A missing last budget brings the start-up dialog; Cancel ends the program.
    RememberLast(Home.File("gone.qn"));
    {
        TfrmMain window;
        EXPECT_EQ(DialogsRun, std::vector<QString>{"Open budget"});
        EXPECT_TRUE(window.IsClosing());
    }
    // A damaged one shows its message and leaves the window without a budget.
    const std::string damaged = Home.File("damaged.qn");
    std::ofstream(damaged) << "not a budget";
    RememberLast(damaged);
    DialogsRun.clear();
    TfrmMain window;
    EXPECT_FALSE(window.HasBudget());
    EXPECT_FALSE(window.IsClosing());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
    EXPECT_EQ(Bar(window).PageCount(), 0);
    EXPECT_FALSE(Action(window, "actSave").isEnabled());
    EXPECT_TRUE(Action(window, "actOpen").isEnabled());
    // Closing writes nothing over the damaged file.
    window.close();
    std::ifstream in(damaged);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "not a budget");
}

TEST_F(MainFormTest, NewBudgetFromTheStartupDialogIsWrittenWhenTheWindowCloses) {
    Env().Settings().AutoOpenLast = false;
    const std::string path = Home.File("Family.qn");
    AnswerStartup([&](QDialog& dialog) {
        Child<QLineEdit>(dialog, "editTitle")->setText("Family");
        Child<QLineEdit>(dialog, "editLocation")->setText(QString::fromStdString(path));
        QTest::mouseClick(Child<QPushButton>(dialog, "btnOKNew"), Qt::LeftButton);
    });
    TfrmMain window;
    ASSERT_TRUE(window.HasBudget());
    EXPECT_EQ(Env().Title, u"Family");
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path)));
    window.close();
    EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(path)));
}

TEST_F(MainFormTest, StrongBudgetAsksForItsPasswordAtEveryOpening) {
    const std::string path = MakeBudget();
    Env().LoadFromFile(path);
    Env().SetPassword(u"secret");
    Env().SetProtection(2);
    Env().SaveToFile(path);
    Env().Reset();
    Env().Settings().AutoOpenLast = false;
    const auto openExisting = [&](QDialog& dialog) {
        Child<QTabWidget>(dialog, "PageControl")->setCurrentIndex(1);
        Child<QLineEdit>(dialog, "editOpenLocation")->setText(QString::fromStdString(path));
        QTest::mouseClick(Child<QPushButton>(dialog, "btnOKOpen"), Qt::LeftButton);
    };
    const auto type = [](const char* password) {
        return [password](QDialog& dialog) {
            Child<QLineEdit>(dialog, "editPass")->setText(password);
            QTest::mouseClick(Child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
        };
    };
    // Three wrong passwords: the message, then the start-up dialog again, whose Cancel ends it.
    AnswerStartup(openExisting);
    for (const char* wrong : {"a", "b", "c"}) {
        DialogActions.push_back(type(wrong));
    }
    {
        TfrmMain window;
        EXPECT_EQ(DialogsRun.size(), 5u);
        ASSERT_EQ(Messages.size(), 1u);
        EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
        EXPECT_TRUE(window.IsClosing());
    }
    // Cancel counts as one of the three tries; the right password opens it.
    DialogsRun.clear();
    Messages.clear();
    AnswerStartup(openExisting);
    DialogActions.push_back([](QDialog& dialog) { dialog.reject(); });
    DialogActions.push_back(type("secret"));
    TfrmMain window;
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(DialogActions.empty());
    ASSERT_TRUE(window.HasBudget());
    EXPECT_EQ(Env().Protection, 2);
    EXPECT_EQ(Env().Title, u"Home");
}

TEST_F(MainFormTest, SaveAsWritesExactlyTheTypedName) {
    RememberLast(MakeBudget());
    TfrmMain window;
    const std::string copy = Home.File("copy-without-extension");
    FileAnswers.push_back(QString::fromStdString(copy));
    Action(window, "actSaveAs").trigger();
    EXPECT_TRUE(QFileInfo(QString::fromStdString(copy)).isFile());
    EXPECT_EQ(Env().FileName, copy);
}

TEST_F(MainFormTest, TranslateUIShowsMissingKeysEmptyAndKeepsFixedCaptions) {
    RememberLast(MakeBudget());
    TfrmMain window;
    TQVStringKeeper partial;
    const TQVStringKeeper& english = *Env().CurrentLanguage;
    for (int i = 0; i < english.Count(); ++i) {
        if (english.GetKey(i) != u"MNU_FILE") {
            partial.AddString(english.GetKey(i), english.GetText(i));
        }
    }
    TQVStringKeeper* saved = Env().CurrentLanguage;
    Env().CurrentLanguage = &partial;
    window.TranslateUI();
    Env().CurrentLanguage = saved;
    EXPECT_EQ(Child<QMenu>(window, "mnuFile")->title(), "");
    EXPECT_EQ(Child<QMenu>(window, "mnuEdit")->title(), "&Edit");
    EXPECT_EQ(Action(window, "actSave").text(), "Save");
    EXPECT_EQ(Action(window, "actSaveAs").text(), "Save As...");
    EXPECT_EQ(Action(window, "actProperties").text(), "Properties...");
}

TEST_F(MainFormTest, EachPageShowsItsOwnContent) {
    RememberLast(MakeBudget());
    TfrmMain window;
    window.show();
    const struct {
        const char* action;
        const char* content;
        const char* viewButton;
        bool header;
    } pages[] = {
        {"actAccounts", "pAccountInfo", "btnViewAccounts", false},
        {"actDebts", "tvDebts", "btnViewDebts", true},
        {"actPersonalisation", "tvDict", "btnViewPersonalisation", true},
        {"actReports", "tvSummary", "btnViewSummary", true},
        {"actCashflow", "tvInfo", "btnViewCashflow", true},
    };
    const char* contents[] = {"pAccountInfo", "tvDebts", "tvDict", "tvSummary", "tvInfo"};
    for (const auto& page : pages) {
        SCOPED_TRACE(page.action);
        Action(window, page.action).trigger();
        for (const char* content : contents) {
            EXPECT_EQ(Child<QWidget>(window, content)->isVisible(),
                      std::string(content) == page.content)
                << content;
        }
        EXPECT_EQ(Child<QWidget>(window, "pTop")->isVisible(), page.header);
        EXPECT_TRUE(Child<QToolButton>(window, page.viewButton)->isChecked());
    }
    // The accounts page shows the first account on the card.
    Action(window, "actAccounts").trigger();
    EXPECT_EQ(Text(window, "lblAccName"), "Cash");
    EXPECT_EQ(Text(window, "lblAccBalance"), QVUIUtils::FormatMoney(1000 - 250.5L - 100, 10));
}

TEST_F(MainFormTest, CashflowTotalsFollowTheSelection) {
    RememberLast(MakeBudget());
    TfrmMain window;
    QTreeView& grid = *Child<QTreeView>(window, "tvInfo");
    const QString income = QVUIUtils::FormatMoney(1000, 10);
    EXPECT_EQ(Text(window, "lblTotalIncome"), "Total income: " + income);
    EXPECT_EQ(Text(window, "lblTotalBalance"),
              "Total balance: " + QVUIUtils::FormatMoney(1000 - 250.5L, 10));
    // Only the selected transfer: it counts as an item but in no sum.
    const int transferRow = [&] {
        for (int row = 0; row < 3; ++row) {
            if (grid.model()->index(row, 1).data().toString().startsWith("Transfer to Bank")) {
                return row;
            }
        }
        return -1;
    }();
    ASSERT_GE(transferRow, 0);
    grid.selectionModel()->select(grid.model()->index(transferRow, 0),
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    EXPECT_EQ(Text(window, "lblItems"), "Items: 1");
    EXPECT_EQ(Text(window, "lblTotalIncome"), "Total income: " + QVUIUtils::FormatMoney(0, 10));
    EXPECT_TRUE(Text(window, "lblPeriod").startsWith("Period: "));
}

TEST_F(MainFormTest, AccountsPageWithoutAccountsAsksForTheFirstOne) {
    const std::string path = MakeBudget();
    RememberLast(path);
    TfrmMain window;
    while (Env().SourceCount() > 0) {
        Env().DeleteSource(0);
    }
    window.BuildLeftBar();
    DialogActions.push_back([](QDialog& dialog) {
        Child<QLineEdit>(dialog, "editString")->setText("Savings");
        QTest::mouseClick(Child<QPushButton>(dialog, "btnOK"), Qt::LeftButton);
    });
    Action(window, "actAccounts").trigger();
    ASSERT_EQ(Env().SourceCount(), 1);
    EXPECT_EQ(Env().GetSource(0)->Name, u"Savings");
    TOutlookBarPage& page = Bar(window).Page(1);
    ASSERT_EQ(page.ButtonCount(), 2);
    EXPECT_EQ(page.Button(0).Caption, "Savings");
    // The new-account button stays pressed.
    EXPECT_EQ(page.DownIndex(), 1);
}

} // namespace

namespace {

TEST_F(MainFormTest, MissingHelpFileReportsItsErrorNumber) {
    RememberLast(MakeBudget());
    TfrmMain window;
    // The test program's folder holds no guide.
    Action(window, "actHelpContents").trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, "Failed to launch help file (error 2)");
}

} // namespace
