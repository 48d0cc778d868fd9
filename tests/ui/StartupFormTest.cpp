// The start-up dialog driven as a user would: tabs, the location that follows the title, and
// what each OK button accepts or refuses.
#include <fstream>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "UiTestSupport.h"
#include "ui/dialogs/StartupForm.h"

namespace {

class StartupFormTest : public UiTest {
protected:
    // Sets the dialog up with every tab, runs it with `action` and returns the dialog's result.
    int Run(const std::function<void(QDialog&)>& action, bool showNew = true, bool showOpen = true,
            bool showRecent = true) {
        Dialog.Setup(showNew, showOpen, showRecent, &Titles, &Paths, true);
        DialogActions.push_back(action);
        return Prompter::Exec(Dialog);
    }
    std::string MakeFile(const std::string& name) {
        const std::string path = Home.Path() + "/" + name;
        std::ofstream(path) << "x";
        return path;
    }
    static void Type(QLineEdit* edit, const QString& text) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }

    TfrmStartup Dialog;
    std::vector<std::u16string> Titles{u"Home", u"Trip"};
    std::vector<std::u16string> Paths{u"/budgets/home.qn", u"/budgets/trip.qn"};
};

TEST_F(StartupFormTest, ShowsTheFirstVisibleTab) {
    struct Case {
        bool showNew, showOpen, showRecent;
        const char* current;
        int visibleTabs;
    };
    for (const Case c : {Case{true, true, true, "tabNew", 3}, Case{true, false, false, "tabNew", 1},
                         Case{false, true, true, "tabOpenExisting", 2},
                         Case{false, false, true, "tabOpenRecent", 1}}) {
        QString current;
        int visible = 0;
        Run(
            [&](QDialog& d) {
                auto* pages = Child<QTabWidget>(d, "PageControl");
                current = pages->currentWidget()->objectName();
                for (int i = 0; i < pages->count(); ++i) {
                    visible += pages->isTabVisible(i) ? 1 : 0;
                }
            },
            c.showNew, c.showOpen, c.showRecent);
        EXPECT_EQ(current, c.current);
        EXPECT_EQ(visible, c.visibleTabs);
    }
}

TEST_F(StartupFormTest, LocationFollowsTheTitleUntilBrowseAndAfter) {
    QDir(Home.Path().c_str()).mkdir("Documents");
    FileAnswers.push_back("/elsewhere/picked.qn");
    QStringList seen;
    Run([&](QDialog& d) {
        auto* title = Child<QLineEdit>(d, "editTitle");
        auto* location = Child<QLineEdit>(d, "editLocation");
        seen << title->text() << location->text();
        Type(title, "Home");
        seen << location->text();
        Type(title, "");
        seen << location->text();
        QTest::mouseClick(Child<QPushButton>(d, "btnBrowseNew"), Qt::LeftButton);
        seen << location->text();
        QTest::keyClicks(title, "X");
        seen << location->text();
    });
    const QString docs = Home.Path().c_str() + QString("/Documents");
    EXPECT_EQ(seen.join('|').toStdString(),
              QStringList({"Untitled", docs + "/Untitled.qn", docs + "/Home.qn", docs + "/.qn",
                           "/elsewhere/picked.qn", docs + "/X.qn"})
                  .join('|')
                  .toStdString());
}

TEST_F(StartupFormTest, NewBudgetRefusesAnEmptyLocationAndAsksBeforeReplacing) {
    const QString existing = QString::fromStdString(MakeFile("old.qn"));
    const QString fresh = QString::fromStdString(Home.Path() + "/new.qn");
    struct Case {
        QString location;
        std::deque<QMessageBox::StandardButton> answers;
        Prompter::Kind kind; // of the one message expected, if any
        QString text;
        bool accepted;
    };
    const QString question =
        "The file \"" + existing + "\" already exists. Replace it with a new, empty budget?";
    const Case cases[] = {
        {"", {}, Prompter::Kind::Error, "Please provide a location for the new budget", false},
        {existing, {QMessageBox::No}, Prompter::Kind::Question, question, false},
        {existing, {QMessageBox::Yes}, Prompter::Kind::Question, question, true},
        {fresh, {}, Prompter::Kind::Error, {}, true},
    };
    for (const Case& c : cases) {
        Messages.clear();
        MessageAnswers = c.answers;
        bool stayedOpen = false;
        const int result = Run([&](QDialog& d) {
            Type(Child<QLineEdit>(d, "editTitle"), "Mine");
            Child<QLineEdit>(d, "editLocation")->setText(c.location);
            QTest::mouseClick(Child<QPushButton>(d, "btnOKNew"), Qt::LeftButton);
            stayedOpen = d.isVisible();
        });
        SCOPED_TRACE(c.location.toStdString());
        EXPECT_EQ(stayedOpen, !c.accepted);
        EXPECT_EQ(result, c.accepted ? QDialog::Accepted : QDialog::Rejected);
        ASSERT_EQ(Messages.size(), c.text.isEmpty() ? 0U : 1U);
        if (!c.text.isEmpty()) {
            EXPECT_EQ(Messages[0].kind, c.kind);
            EXPECT_EQ(Messages[0].text, c.text);
        }
        if (c.accepted) {
            EXPECT_EQ(Dialog.ResultKind(), TStartupResult::NewBudget);
            EXPECT_EQ(Dialog.FileName(), c.location.toStdString());
            EXPECT_EQ(Dialog.BudgetTitle(), "Mine");
        } else {
            EXPECT_EQ(Dialog.ResultKind(), TStartupResult::None);
        }
    }
}

TEST_F(StartupFormTest, OpenExistingChecksTheFile) {
    const std::string existing = MakeFile("b\u00e4r.qn");
    for (const std::string& path : {Home.Path() + "/missing.qn", existing}) {
        Messages.clear();
        const int result = Run([&](QDialog& d) {
            Child<QLineEdit>(d, "editOpenLocation")->setText(QString::fromStdString(path));
            QTest::mouseClick(Child<QPushButton>(d, "btnOKOpen"), Qt::LeftButton);
        });
        if (path == existing) {
            EXPECT_EQ(result, QDialog::Accepted);
            EXPECT_EQ(Dialog.ResultKind(), TStartupResult::OpenExisting);
            EXPECT_EQ(Dialog.FileName(), existing);
            EXPECT_TRUE(Messages.empty());
        } else {
            EXPECT_EQ(result, QDialog::Rejected);
            ASSERT_EQ(Messages.size(), 1U);
            EXPECT_EQ(Messages[0].kind, Prompter::Kind::Error);
            EXPECT_EQ(Messages[0].text,
                      "The specified file (\"" + QString::fromStdString(path) + "\") not found");
        }
    }
}

TEST_F(StartupFormTest, OpenRecentTakesTheSelectedRowOnly) {
    Titles.push_back(u"No path");
    struct Case {
        int row; // -1 selects nothing
        bool accepted;
    };
    for (const Case c : {Case{-1, false}, Case{1, true}, Case{2, false}}) {
        const int result = Run(
            [&](QDialog& d) {
                auto* tree = Child<QTreeView>(d, "tvRecentItems");
                Child<QTabWidget>(d, "PageControl")->setCurrentWidget(tree->parentWidget());
                EXPECT_EQ(tree->model()->rowCount(), 3);
                EXPECT_EQ(tree->model()->index(1, 1).data().toString(), "/budgets/trip.qn");
                if (c.row >= 0) {
                    const QRect cell = tree->visualRect(tree->model()->index(c.row, 0));
                    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, cell.center());
                }
                QTest::mouseClick(Child<QPushButton>(d, "btnOKRecent"), Qt::LeftButton);
            },
            false, true, true);
        EXPECT_EQ(result, c.accepted ? QDialog::Accepted : QDialog::Rejected) << c.row;
        if (c.accepted) {
            EXPECT_EQ(Dialog.ResultKind(), TStartupResult::OpenRecent);
            EXPECT_EQ(Dialog.FileName(), "/budgets/trip.qn");
        }
    }
}

TEST_F(StartupFormTest, SetupResetsEverything) {
    // A first use that chose something and typed everywhere.
    Run([&](QDialog& d) {
        Child<QLineEdit>(d, "editOpenLocation")->setText("typed");
        Child<QCheckBox>(d, "cbAutoOpenLastEdited")->click();
        QTest::mouseClick(Child<QPushButton>(d, "btnOKNew"), Qt::LeftButton);
    });
    ASSERT_EQ(Dialog.ResultKind(), TStartupResult::NewBudget);
    EXPECT_FALSE(Dialog.AutoOpenLast());

    // Titles without paths leave the list empty.
    Dialog.Setup(true, true, true, &Titles, nullptr, true);
    EXPECT_EQ(Dialog.ResultKind(), TStartupResult::None);
    EXPECT_TRUE(Dialog.FileName().empty());
    EXPECT_EQ(Child<QLineEdit>(Dialog, "editOpenLocation")->text(), "");
    EXPECT_EQ(Child<QLineEdit>(Dialog, "editLocation")->text(), "");
    EXPECT_EQ(Child<QTreeView>(Dialog, "tvRecentItems")->model()->rowCount(), 0);
    EXPECT_TRUE(Child<QCheckBox>(Dialog, "cbAutoOpenLastEdited")->isChecked());
}

TEST_F(StartupFormTest, CancelChoosesNothing) {
    for (const char* cancel : {"btnCancelNew", "btnCancelOpen", "btnCancelRecent"}) {
        bool closed = false;
        const int result = Run([&](QDialog& d) {
            auto* button = Child<QPushButton>(d, cancel);
            Child<QTabWidget>(d, "PageControl")->setCurrentWidget(button->parentWidget());
            QTest::mouseClick(button, Qt::LeftButton);
            closed = !d.isVisible();
        });
        EXPECT_TRUE(closed) << cancel;
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(Dialog.ResultKind(), TStartupResult::None);
    }
}

} // namespace
