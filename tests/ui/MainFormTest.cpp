// The main window as a user meets it: start, budget commands, the navigation bar and its pages.
#include <fstream>

#include <sys/stat.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabWidget>

#include "MainFormTestSupport.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/container/QVCompoundFile.h"

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

TEST_F(MainFormTest, StartupDialogComesBackAfterAFailedOpenWithTheBoxAsLeft) {
    std::ofstream(Home.File("bad.qn")) << "not a budget";
    Env().Settings().AutoOpenLast = true;
    std::vector<bool> shown;
    const auto openBad = [&](QDialog& d) {
        shown.push_back(Child<QCheckBox>(d, "cbAutoOpenLastEdited")->isChecked());
        ClickOn(d, "cbAutoOpenLastEdited");
        OpenFromStartup(Home.File("bad.qn"))(d);
    };
    DialogActions = {openBad, openBad, [&](QDialog& d) {
                         shown.push_back(Child<QCheckBox>(d, "cbAutoOpenLastEdited")->isChecked());
                     }};
    Window = std::make_unique<TfrmMain>();
    EXPECT_EQ(shown, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(TakeMessages().size(), 2);
    EXPECT_TRUE(Window->IsClosing());
}

TEST_F(MainFormTest, ALongTitleProposesAFileThatTheClosingSaveWrites) {
    QDir(Home.Path().c_str()).mkdir("Documents");
    const QString title = QString::fromUtf16(u"Бюджет").repeated(40).left(200);
    DialogActions = {[&](QDialog& d) {
        Child<QLineEdit>(d, "editTitle")->setText(title);
        ClickOn(d, "btnOKNew");
    }};
    OpenWindow();
    ASSERT_TRUE(Window->HasBudget());
    // On the recent list at once, and once only after the closing save.
    const std::vector<std::u16string> recent{
        QVUIUtils::FromQ(QString::fromStdString(Env().FileName))};
    EXPECT_EQ(Env().Settings().RecentLocations, recent);
    Window->ExitApplication();
    EXPECT_TRUE(TakeMessages().isEmpty());
    const QFileInfo file(QString::fromStdString(Env().FileName));
    EXPECT_TRUE(file.isFile());
    EXPECT_TRUE(title.startsWith(file.completeBaseName()));
    EXPECT_EQ(file.suffix(), "qn");
    EXPECT_EQ(Env().Settings().RecentLocations, recent);
    EXPECT_EQ(recent[0], QVUIUtils::FromQ(file.filePath()));
    EXPECT_EQ(Env().Settings().RecentNames, std::vector<std::u16string>{QVUIUtils::FromQ(title)});
    EXPECT_EQ(Env().Title, QVUIUtils::FromQ(title)) << "the title itself is kept whole";
}

TEST_F(MainFormTest, ANewBudgetIsOfferedByOpenRecentAtOnce) {
    MakeBudget();
    OpenWindow();
    DialogActions = {TypeAndPress("editTitle", "Trip", "btnOKNew")};
    Action("actNew").trigger();
    ASSERT_EQ(Env().Title, u"Trip");
    QStringList offered;
    DialogActions = {[&](QDialog& d) {
        const QAbstractItemModel& recent = *Child<QTreeView>(d, "tvRecentItems")->model();
        for (int row = 0; row < recent.rowCount(); ++row) {
            offered << recent.index(row, 0).data().toString() + " " +
                           recent.index(row, 1).data().toString();
        }
    }};
    Action("actOpen").trigger();
    EXPECT_EQ(offered, QStringList({"Trip " + QString::fromStdString(Env().FileName),
                                    "Home " + QString::fromStdString(Home.File("home.qn"))}));
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

// The last budget is read while the window is made: at the normal level its stored record opens
// it unasked; at the strong level, or when the record no longer fits, the user is asked as before.
TEST_F(MainFormTest, LaunchOpensTheLastBudgetAskingOnlyWhenTheRecordsDoNot) {
    const std::string path = MakeBudget(true);
    Env().SetPassword(u"secret");
    const TSecret key = Env().PasswordKey;
    const struct {
        const char* name;
        std::uint8_t level;
        bool breakRecords;
        std::size_t asked;
        std::uint8_t levelAfter;
    } cases[] = {
        {"normal", 1, false, 0, 1},
        {"normal, record of another installation", 1, true, 1, 2},
        {"strong", 2, false, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Window.reset();
        Env().Reset();
        MakeBudget(true);
        Env().PasswordKey = key;
        Env().SetProtection(c.level);
        SaveAndForget(path);
        if (c.breakRecords) {
            FileSystem::WriteFileAtomic(QVBase::GetAppDataFolder(true) + "iid", "another");
        }
        DialogsRun.clear();
        DialogActions = {TypeAndPress("editPass", "secret")};
        OpenWindow();
        EXPECT_EQ(DialogsRun.size(), c.asked);
        EXPECT_TRUE(Messages.empty());
        ASSERT_TRUE(Window->HasBudget());
        EXPECT_EQ(Env().Protection, c.levelAfter);
        EXPECT_EQ(Env().Title, u"Home");
        EXPECT_EQ(Today().Count(), 3);
        EXPECT_TRUE(Action("actSave").isEnabled());
    }
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

// A budget whose file is refused (made read-only): closing shows the save's error and keeps the
// window. Requests to end that come while the error is up (a session manager sending its signal
// again, the close box) change nothing, and the edit waits for a save that can succeed.
TEST_F(MainFormTest, RequestsToEndWhileTheClosingSaveFailsKeepTheWindow) {
    const std::string path = MakeBudget();
    OpenWindow();
    Env().Title = u"Edited";
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const std::string before = FileSystem::ReadFile(path);
    int errors = 0;
    Prompter::SetHooks({[&](const Prompter::Message& message) {
                            EXPECT_EQ(message.kind, Prompter::Kind::Error);
                            if (++errors == 1) {
                                Window->ExitApplication();
                                Window->close();
                                EXPECT_FALSE(Window->IsClosing());
                            }
                            return QMessageBox::Ok;
                        },
                        {},
                        {}});
    Window->ExitApplication();
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(Window->IsClosing());
    EXPECT_TRUE(Window->isVisible());
    EXPECT_EQ(FileSystem::ReadFile(path), before);
    // A request after the error tries again; once the file may be written, the edit is saved.
    Window->ExitApplication();
    EXPECT_EQ(errors, 2);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    Window->ExitApplication();
    EXPECT_EQ(errors, 2);
    EXPECT_TRUE(Window->IsClosing());
    Env().Reset();
    Env().LoadFromFile(path);
    EXPECT_EQ(Env().Title, u"Edited");
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

// The menus' pictures are looked up when a menu first opens: the first menu opened shows every
// command of the main menu with its picture.
TEST_F(MainFormTest, TheFirstMenuOpenedShowsThePictures) {
    MakeBudget();
    OpenWindow();
    auto* menu = Child<QMenu>(*Window, "mnuFile");
    auto* bar = Child<QMenuBar>(*Window, "ActionMainMenuBar");
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    for (const char* name : {"actNew", "actOpen", "actSave", "actExit", "actCashflow",
                             "actNewExpense", "actSettings", "actAbout"}) {
        EXPECT_FALSE(Action(name).icon().isNull()) << name;
    }
    QTest::keyClick(menu, Qt::Key_Escape);
}
