// The start-up dialog driven as a user would: tabs, the location that follows the title, and
// what each OK button accepts or refuses.
#include <fstream>
#include <optional>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <QTreeView>

#include "UiTestSupport.h"
#include "ui/dialogs/StartupForm.h"

namespace {

class StartupFormTest : public UiTest {
protected:
    // Sets the dialog up, runs it with `action` and returns the dialog's result.
    int Run(const DialogAction& action, bool showNew = true) {
        Dialog.Setup(showNew, true, true, &Titles, &Paths, true);
        DialogActions.push_back(action);
        return Prompter::Exec(Dialog);
    }
    std::string MakeFile(const std::string& name) {
        const std::string path = Home.File(name);
        std::ofstream(path) << "x";
        return path;
    }
    static void ShowTab(QDialog& d, const char* child) {
        Child<QTabWidget>(d, "PageControl")
            ->setCurrentWidget(Child<QWidget>(d, child)->parentWidget());
    }

    TfrmStartup Dialog;
    std::vector<std::u16string> Titles{u"Home", u"Trip"};
    std::vector<std::u16string> Paths{u"/budgets/home.qn", u"/budgets/trip.qn"};
};

TEST_F(StartupFormTest, LocationFollowsTheTitleUntilBrowseAndAfter) {
    QDir(Home.Path().c_str()).mkdir("Documents");
    FileAnswers.push_back("/elsewhere/picked.qn");
    QStringList seen;
    Run([&](QDialog& d) {
        EXPECT_EQ(Child<QTabWidget>(d, "PageControl")->currentWidget()->objectName(), "tabNew");
        auto* location = Child<QLineEdit>(d, "editLocation");
        seen << Child<QLineEdit>(d, "editTitle")->text() << location->text();
        TypeText(d, "editTitle", "Home");
        seen << location->text();
        TypeText(d, "editTitle", "");
        seen << location->text();
        ClickOn(d, "btnBrowseNew");
        seen << location->text();
        TypeText(d, "editTitle", "X");
        seen << location->text();
    });
    const QString docs = Home.Path().c_str() + QString("/Documents");
    EXPECT_EQ(seen, QStringList({"Untitled", docs + "/Untitled.qn", docs + "/Home.qn",
                                 docs + "/.qn", "/elsewhere/picked.qn", docs + "/X.qn"}));
}

TEST_F(StartupFormTest, NewBudgetRefusesAnEmptyLocationAndAsksBeforeReplacing) {
    const QString existing = QString::fromStdString(MakeFile("old.qn"));
    const QString fresh = QString::fromStdString(Home.File("new.qn"));
    const QString question =
        "The file \"" + existing + "\" already exists. Replace it with a new, empty budget?";
    const struct {
        QString location;
        std::optional<QMessageBox::StandardButton> answer;
        QString message; // the one message expected, if any
        bool accepted;
    } cases[] = {
        {"", {}, "Please provide a location for the new budget", false},
        {existing, QMessageBox::No, question, false},
        {existing, QMessageBox::Yes, question, true},
        {fresh, {}, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location.toStdString());
        Messages.clear();
        if (c.answer) {
            MessageAnswers.push_back(*c.answer);
        }
        bool stayedOpen = false;
        const int result = Run([&](QDialog& d) {
            TypeText(d, "editTitle", "Mine");
            Child<QLineEdit>(d, "editLocation")->setText(c.location);
            ClickOn(d, "btnOKNew");
            stayedOpen = d.isVisible();
        });
        EXPECT_EQ(stayedOpen, !c.accepted);
        EXPECT_EQ(result, c.accepted ? QDialog::Accepted : QDialog::Rejected);
        ASSERT_EQ(Messages.size(), c.message.isEmpty() ? 0U : 1U);
        if (!c.message.isEmpty()) {
            EXPECT_EQ(Messages[0].text, c.message);
        }
        EXPECT_EQ(Dialog.ResultKind(),
                  c.accepted ? TStartupResult::NewBudget : TStartupResult::None);
        if (c.accepted) {
            EXPECT_EQ(Dialog.FileName(), c.location.toStdString());
            EXPECT_EQ(Dialog.BudgetTitle(), "Mine");
        }
    }
}

TEST_F(StartupFormTest, OpenExistingRefusesAMissingFile) {
    const std::string path = Home.File("missing.qn");
    const int result = Run(
        [&](QDialog& d) {
            EXPECT_EQ(Child<QTabWidget>(d, "PageControl")->currentWidget()->objectName(),
                      "tabOpenExisting");
            Child<QLineEdit>(d, "editOpenLocation")->setText(QString::fromStdString(path));
            ClickOn(d, "btnOKOpen");
        },
        false);
    EXPECT_EQ(result, QDialog::Rejected);
    ASSERT_EQ(Messages.size(), 1U);
    EXPECT_EQ(Messages[0].text,
              "The specified file (\"" + QString::fromStdString(path) + "\") not found");
}

TEST_F(StartupFormTest, OpenRecentTakesTheSelectedRowOnly) {
    Titles.push_back(u"No path");
    for (const int row : {-1, 1, 2}) { // -1 selects nothing
        SCOPED_TRACE(row);
        const int result = Run([&](QDialog& d) {
            ShowTab(d, "tvRecentItems");
            auto* tree = Child<QTreeView>(d, "tvRecentItems");
            EXPECT_EQ(tree->model()->rowCount(), 3);
            if (row >= 0) {
                const QRect cell = tree->visualRect(tree->model()->index(row, 0));
                QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, cell.center());
            }
            ClickOn(d, "btnOKRecent");
        });
        EXPECT_EQ(result, row == 1 ? QDialog::Accepted : QDialog::Rejected);
        if (row == 1) {
            EXPECT_EQ(Dialog.ResultKind(), TStartupResult::OpenRecent);
            EXPECT_EQ(Dialog.FileName(), "/budgets/trip.qn");
        }
    }
}

TEST_F(StartupFormTest, CancelChoosesNothingAndSetupResetsTheDialog) {
    // A first use that typed everywhere and chose something.
    Run([&](QDialog& d) {
        Child<QLineEdit>(d, "editOpenLocation")->setText("typed");
        Child<QCheckBox>(d, "cbAutoOpenLastEdited")->click();
        ClickOn(d, "btnOKNew");
    });
    ASSERT_EQ(Dialog.ResultKind(), TStartupResult::NewBudget);
    EXPECT_FALSE(Dialog.AutoOpenLast());
    for (const char* cancel : {"btnCancelNew", "btnCancelOpen", "btnCancelRecent"}) {
        SCOPED_TRACE(cancel);
        const int result = Run([&](QDialog& d) {
            EXPECT_EQ(Child<QLineEdit>(d, "editOpenLocation")->text(), "");
            EXPECT_TRUE(Child<QCheckBox>(d, "cbAutoOpenLastEdited")->isChecked());
            ShowTab(d, cancel);
            ClickOn(d, cancel);
            EXPECT_FALSE(d.isVisible());
        });
        EXPECT_EQ(result, QDialog::Rejected);
        EXPECT_EQ(Dialog.ResultKind(), TStartupResult::None);
        EXPECT_TRUE(Dialog.FileName().empty());
    }
}

} // namespace
