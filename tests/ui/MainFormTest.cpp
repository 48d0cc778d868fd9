// The main window as a user meets it: start, budget commands, the navigation bar and its pages.
#include <fstream>

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTabWidget>

#include "MainFormTestSupport.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVCompoundFile.h"

namespace {

TEST_F(MainFormTest, LaunchWithoutAUsableLastBudget) {
    // A missing last budget brings the start-up dialog; Cancel ends the program.
    RememberLast(Home.File("gone.qn"));
    Window = std::make_unique<TfrmMain>();
    EXPECT_EQ(DialogsRun, std::vector<QString>{"Open budget"});
    EXPECT_TRUE(Window->IsClosing());
    // A damaged one shows its message and leaves the window without a budget; closing writes
    // nothing over it.
    std::ofstream(Home.File("gone.qn")) << "not a budget";
    OpenWindow();
    EXPECT_FALSE(Window->HasBudget());
    EXPECT_FALSE(Window->IsClosing());
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
    EXPECT_FALSE(Action("actSave").isEnabled());
    Window->close();
    std::ifstream in(Home.File("gone.qn"));
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "not a budget");
}

TEST_F(MainFormTest, StrongBudgetAsksForItsPasswordAtEveryOpening) {
    const std::string path = MakeBudget(true);
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
    DialogActions = {openExisting, TypeAndPress("editPass", "a"), TypeAndPress("editPass", "b"),
                     TypeAndPress("editPass", "c")};
    Window = std::make_unique<TfrmMain>();
    EXPECT_EQ(DialogsRun.size(), 5u);
    ASSERT_EQ(Messages.size(), 1u);
    EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
    EXPECT_TRUE(Window->IsClosing());
    // Cancel counts as one of the three tries; the right password opens it.
    Messages.clear();
    DialogActions = {openExisting, Press("btnCancel"), TypeAndPress("editPass", "secret")};
    OpenWindow();
    EXPECT_TRUE(Messages.empty());
    EXPECT_TRUE(DialogActions.empty());
    ASSERT_TRUE(Window->HasBudget());
    EXPECT_EQ(Env().Protection, 2);
}

TEST_F(MainFormTest, SaveAsWritesExactlyTheTypedNameAndHelpReportsItsError) {
    MakeBudget();
    OpenWindow();
    const std::string copy = Home.File("copy-without-extension");
    FileAnswers.push_back(QString::fromStdString(copy));
    Action("actSaveAs").trigger();
    EXPECT_TRUE(QFileInfo(QString::fromStdString(copy)).isFile());
    EXPECT_EQ(Env().FileName, copy);
    // The test program's folder holds no guide.
    Action("actHelpContents").trigger();
    EXPECT_EQ(TakeMessages(), QStringList{"Failed to launch help file (error 2)"});
}

TEST_F(MainFormTest, CashflowTotalsFollowTheSelection) {
    MakeBudget();
    OpenWindow();
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(1000));
    EXPECT_EQ(Label("lblTotalBalance"), "Total balance: " + Money(1000 - 250.5L));
    // Only the selected transfer: it counts as an item but in no sum.
    Select(Grid("tvInfo"), {RowNamed(Grid("tvInfo"), 1, "Transfer to Bank")});
    EXPECT_EQ(Label("lblItems"), "Items: 1");
    EXPECT_EQ(Label("lblTotalIncome"), "Total income: " + Money(0));
    EXPECT_EQ(Label("lblTotalExpense"), "Total expense: " + Money(0));
}

TEST_F(MainFormTest, AccountsPageWithoutAccountsAsksForTheFirstOne) {
    MakeBudget();
    OpenWindow();
    while (Env().SourceCount() > 0) {
        Env().DeleteSource(0);
    }
    Window->BuildLeftBar();
    DialogActions.push_back(TypeAndPress("editString", "Savings"));
    Action("actAccounts").trigger();
    ASSERT_EQ(Env().SourceCount(), 1);
    EXPECT_EQ(Env().GetSource(0)->Name, u"Savings");
    ASSERT_EQ(BarPage(1).ButtonCount(), 2);
    EXPECT_EQ(BarPage(1).Button(0).Caption, "Savings");
    EXPECT_EQ(BarPage(1).DownIndex(), 1) << "the new-account button stays pressed";
}

TEST_F(MainFormTest, LanguageChosenInTheSettingsAppliesAtOnce) {
    // A second table: the English one with another id, two captions changed and one missing.
    const std::string folder = Home.Path() + "/lang2";
    FileSystem::ForceFolders(folder);
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
    Env().LoadLanguagesFrom({QV_LANG_DIR "/", folder + "/"});
    ASSERT_EQ(Env().LanguageCount(), 2);
    MakeBudget();
    OpenWindow();
    Window->ShowSummaryPage();
    const auto choose = [this](const QString& title) {
        DialogActions.push_back([title](QDialog& d) {
            auto* list = Child<QComboBox>(d, "cbLanguage");
            list->setCurrentIndex(list->findText(title));
            ClickOn(d, "btnOK");
        });
        Action("actSettings").trigger();
    };
    choose("Other");
    EXPECT_EQ(Env().Settings().Lang, "xx");
    EXPECT_EQ(BarPage(0).Caption(), "Money flow");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuFile")->title(), "&Budget");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuEdit")->title(), "") << "a missing text shows empty";
    EXPECT_EQ(Action("actSave").text(), "Save") << "fixed captions stay";
    EXPECT_EQ(Bar().ActivePageIndex(), 4) << "the page that showed stays";
    choose("English (default)");
    EXPECT_EQ(BarPage(0).Caption(), "Cashflow");
    EXPECT_EQ(Child<QMenu>(*Window, "mnuEdit")->title(), "&Edit");
}

TEST_F(MainFormTest, AFailedSaveSaysWhyAndKeepsTheBudgetWhereItWas) {
    const std::string path = MakeBudget();
    OpenWindow();
    // Save As into a folder that is not there, then Save over a file that cannot be replaced.
    FileAnswers.push_back(QString::fromStdString(Home.File("missing/copy.qn")));
    Action("actSaveAs").trigger();
    const QStringList messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("missing")) << messages[0].toStdString();
    EXPECT_EQ(Env().FileName, path);
    Env().FileName = Home.Path(); // a folder
    Action("actSave").trigger();
    EXPECT_EQ(TakeMessages().size(), 1);
    EXPECT_TRUE(Window->HasBudget());
}

} // namespace
