// The main window as a user meets it: start, budget commands, the navigation bar and its pages.
#include <fstream>

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include "MainFormTestSupport.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVCompoundFile.h"

namespace {

TEST_F(MainFormTest, LaunchWithoutAUsableLastBudget) {
    // A missing last budget brings the start-up dialog; Cancel ends the program.
    RememberLast(Home.File("gone.qn"));
    Window.reset();
    Window = std::make_unique<TfrmMain>();
    EXPECT_EQ(DialogsRun, std::vector<QString>{"Open budget"});
    EXPECT_TRUE(Window->IsClosing());
    // A damaged one shows its message and leaves the window without a budget; closing writes
    // nothing over it.
    const std::string damaged = Home.File("damaged.qn");
    std::ofstream(damaged) << "not a budget";
    RememberLast(damaged);
    OpenWindow();
    EXPECT_FALSE(Window->HasBudget());
    EXPECT_FALSE(Window->IsClosing());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
    EXPECT_FALSE(Action(*Window, "actSave").isEnabled());
    Window->close();
    std::ifstream in(damaged);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "not a budget");
}

TEST_F(MainFormTest, StrongBudgetAsksForItsPasswordAtEveryOpening) {
    const std::string path = MakeBudget();
    Env().LoadFromFile(path);
    Env().SetPassword(u"secret");
    Env().SetProtection(2);
    SaveAndForget(path);
    Env().Settings().AutoOpenLast = false;
    const auto openExisting = [&](QDialog& dialog) {
        Child<QTabWidget>(dialog, "PageControl")->setCurrentIndex(1);
        Child<QLineEdit>(dialog, "editOpenLocation")->setText(QString::fromStdString(path));
        ClickOn(dialog, "btnOKOpen");
    };
    // Three wrong passwords: the message, then the start-up dialog again, whose Cancel ends it.
    AnswerStartup(openExisting);
    for (const char* wrong : {"a", "b", "c"}) {
        DialogActions.push_back(TypeAndPress("editPass", wrong));
    }
    Window.reset();
    Window = std::make_unique<TfrmMain>();
    EXPECT_EQ(DialogsRun.size(), 5u);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
    EXPECT_TRUE(Window->IsClosing());
    // Cancel counts as one of the three tries; the right password opens it.
    Messages.clear();
    AnswerStartup(openExisting);
    DialogActions.push_back(Press("btnCancel"));
    DialogActions.push_back(TypeAndPress("editPass", "secret"));
    OpenWindow();
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(DialogActions.empty());
    ASSERT_TRUE(Window->HasBudget());
    EXPECT_EQ(Env().Protection, 2);
    EXPECT_EQ(Env().Title, u"Home");
}

TEST_F(MainFormTest, SaveAsWritesExactlyTheTypedName) {
    RememberLast(MakeBudget());
    OpenWindow();
    const std::string copy = Home.File("copy-without-extension");
    FileAnswers.push_back(QString::fromStdString(copy));
    Action(*Window, "actSaveAs").trigger();
    EXPECT_TRUE(QFileInfo(QString::fromStdString(copy)).isFile());
    EXPECT_EQ(Env().FileName, copy);
}

TEST_F(MainFormTest, EachPageShowsItsOwnContent) {
    RememberLast(MakeBudget());
    OpenWindow();
    const struct {
        const char* action;
        const char* content;
        const char* viewButton;
    } pages[] = {
        {"actAccounts", "pAccountInfo", "btnViewAccounts"},
        {"actDebts", "tvDebts", "btnViewDebts"},
        {"actPersonalisation", "tvDict", "btnViewPersonalisation"},
        {"actReports", "tvSummary", "btnViewSummary"},
        {"actCashflow", "tvInfo", "btnViewCashflow"},
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(page.action);
        Action(*Window, page.action).trigger();
        for (const auto& other : pages) {
            EXPECT_EQ(Child<QWidget>(*Window, other.content)->isVisible(), &other == &page)
                << other.content;
        }
        EXPECT_TRUE(Child<QToolButton>(*Window, page.viewButton)->isChecked());
    }
}

TEST_F(MainFormTest, CashflowTotalsFollowTheSelection) {
    RememberLast(MakeBudget());
    OpenWindow();
    QTreeView& grid = Grid("tvInfo");
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(1000));
    EXPECT_EQ(Label("lblTotalBalance"), "Total balance: " + Money(1000 - 250.5L));
    // Only the selected transfer: it counts as an item but in no sum.
    for (int row = 0; row < 3; ++row) {
        if (grid.model()->index(row, 1).data().toString().startsWith("Transfer to Bank")) {
            Select(grid, {row});
        }
    }
    EXPECT_EQ(Label("lblItems"), "Items: 1");
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(0));
    EXPECT_EQ(Label("lblTotalExpense"), "Total expense: " + Money(0));
}

TEST_F(MainFormTest, AccountsPageWithoutAccountsAsksForTheFirstOne) {
    RememberLast(MakeBudget());
    OpenWindow();
    while (Env().SourceCount() > 0) {
        Env().DeleteSource(0);
    }
    Window->BuildLeftBar();
    DialogActions.push_back(TypeAndPress("editString", "Savings"));
    Action(*Window, "actAccounts").trigger();
    ASSERT_EQ(Env().SourceCount(), 1);
    EXPECT_EQ(Env().GetSource(0)->Name, u"Savings");
    ASSERT_EQ(BarPage(1).ButtonCount(), 2);
    EXPECT_EQ(BarPage(1).Button(0).Caption, "Savings");
    // The new-account button stays pressed.
    EXPECT_EQ(BarPage(1).DownIndex(), 1);
}

TEST_F(MainFormTest, LanguageChosenInTheSettingsAppliesAtOnce) {
    // A second table: the English one with another id, two captions changed and one missing.
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
            if (english.GetKey(i) != u"MNU_EDIT") {
                table.AddString(english.GetKey(i), english.GetText(i));
            }
        }
        TQVCompoundFile container;
        table.SaveToFolder(container.Root());
        TFileStream file(folder + "/other.lng", TFileMode::Create);
        container.SaveToStream(file);
    }
    Env().LoadLanguagesFrom({QV_LANG_DIR "/", folder + "/"});
    ASSERT_EQ(Env().LanguageCount(), 2);
    RememberLast(MakeBudget());
    OpenWindow();
    Window->ShowSummaryPage();
    const auto choose = [this](const QString& title) {
        DialogActions.push_back([title](QDialog& d) {
            auto* list = Child<QComboBox>(d, "cbLanguage");
            list->setCurrentIndex(list->findText(title));
            ClickOn(d, "btnOK");
        });
        Action(*Window, "actSettings").trigger();
    };
    choose("Other");
    EXPECT_EQ(Env().Settings().Lang, "xx");
    EXPECT_EQ(BarPage(0).Caption(), "Money flow");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuFile")->title(), "&Budget");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuEdit")->title(), "") << "a missing text shows empty";
    EXPECT_EQ(Action(*Window, "actSave").text(), "Save") << "fixed captions stay";
    EXPECT_EQ(Bar(*Window).ActivePageIndex(), 4) << "the page that showed stays";

    choose("English (default)");
    EXPECT_EQ(Env().Settings().Lang, "en");
    EXPECT_EQ(BarPage(0).Caption(), "Cashflow");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuEdit")->title(), "&Edit");
}

TEST_F(MainFormTest, MissingHelpFileReportsItsErrorNumber) {
    RememberLast(MakeBudget());
    OpenWindow();
    // The test program's folder holds no guide.
    Action(*Window, "actHelpContents").trigger();
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].text, "Failed to launch help file (error 2)");
}

} // namespace
