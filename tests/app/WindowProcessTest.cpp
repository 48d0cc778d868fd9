// The program's windows driven from the keyboard on a virtual display, as a user meets them: a
// paste with nothing copied, a paste of many lines into a name, and a quick entry from the tray
// menu cancelled with Return on its Cancel button. Each ends with the closing save and reads what
// it wrote.
#include <csignal>

#include <QRegularExpression>
#include <QThread>

#include "ProcessSupport.h"

namespace {

bool Gone(const QString& title) {
    return WaitFor([&] { return WindowNamed(title).isEmpty(); });
}

QString Size(const QString& window) {
    return QRegularExpression(QStringLiteral("Geometry: (\\d+x\\d+)"))
        .match(Tool("xdotool", {"getwindowgeometry", window}))
        .captured(1);
}

// Nothing has been copied on this display, and X then hands out clipboard data of no format at
// all. A letter typed after each paste shows that the keys reached the description.
TEST_F(ProcessTest, PasteWithNothingCopiedLeavesTheDescriptionsAsTyped) {
    PrepareBudget();
    auto program = Start(QStringLiteral(QV_PROGRAM));
    ASSERT_TRUE(WaitFor(WindowShown));
    const QString main = WindowNamed(QStringLiteral("Tavrin Quillvane.*"));
    ASSERT_FALSE(main.isEmpty());
    // View > Accounts; the account's description stands eight steps back in the focus chain.
    QStringList keys{"alt+v", "a"};
    for (int step = 0; step < 8; ++step) {
        keys << "shift+Tab";
    }
    Keys(main, keys + QStringList{"ctrl+v", "shift+Insert", "x"});
    EXPECT_FALSE(program->waitForFinished(500)) << "the paste ended the program";
    ASSERT_EQ(program->state(), QProcess::Running);
    // File > Properties..., two steps up from the menu's first item; its description follows the
    // title, and Tab leaves it for a field where Return confirms.
    Keys(main, {"alt+f", "Up", "Up", "Return"});
    const QString properties = QStringLiteral("Budget properties");
    ASSERT_TRUE(WaitFor([&] { return !WindowNamed(properties).isEmpty(); }));
    Keys(WindowNamed(properties), {"Tab", "ctrl+v", "shift+Insert", "y", "Tab", "Return"});
    EXPECT_TRUE(Gone(properties));
    ASSERT_EQ(program->state(), QProcess::Running);
    End(*program, SIGTERM);
    ReadBudget([](TQVEnvironment& budget) {
        EXPECT_EQ(budget.GetSource(0)->Description, u"x");
        EXPECT_EQ(budget.Description, u"y");
    });
}

// Sixty lines typed into the account's description, copied, and pasted as its new name: the name
// takes them on one line, and the card showing it leaves the window as it was.
TEST_F(ProcessTest, ANamePastedInSixtyLinesKeepsTheWindowsSize) {
    PrepareBudget();
    auto program = Start(QStringLiteral(QV_PROGRAM));
    ASSERT_TRUE(WaitFor(WindowShown));
    const QString main = WindowNamed(QStringLiteral("Tavrin Quillvane.*"));
    const QString size = Size(main);
    ASSERT_FALSE(size.isEmpty());
    // View > Accounts, back to the description; Tab leaves it for Rename...
    QStringList keys{"alt+v", "a"};
    for (int step = 0; step < 8; ++step) {
        keys << "shift+Tab";
    }
    Keys(main, keys);
    QStringList lines;
    for (int line = 1; line <= 60; ++line) {
        lines << QStringLiteral("L%1").arg(line);
        Tool("xdotool", {"type", lines.last()});
        Tool("xdotool", {"key", line < 60 ? "Return" : "ctrl+a"});
    }
    Keys(main, {"ctrl+c", "Tab", "space"});
    const QString question = QStringLiteral("Question");
    ASSERT_TRUE(WaitFor([&] { return !WindowNamed(question).isEmpty(); }));
    Keys(WindowNamed(question), {"ctrl+v", "Return"});
    EXPECT_TRUE(Gone(question));
    QThread::msleep(500);
    EXPECT_EQ(Size(main), size);
    End(*program, SIGTERM);
    ReadBudget([&](TQVEnvironment& budget) {
        EXPECT_EQ(budget.GetSource(0)->Description, lines.join(u'\n').toStdU16String());
        EXPECT_EQ(budget.GetSource(0)->Name, lines.join(u' ').toStdU16String());
    });
}

TEST_F(ProcessTest, QuickEntryCancelledWithReturnOnCancelAddsNothing) {
    PrepareBudget();
    StartTray();
    auto program = Start(QStringLiteral(QV_PROGRAM));
    ASSERT_TRUE(WaitFor(WindowShown));
    ASSERT_TRUE(WaitFor(IconInTray));
    // The tray menu opens on a right click on the icon; Add Expense is its second item.
    Tool("xdotool", {"mousemove", "--window", TrayIconWindow(), "5", "5", "click", "3"});
    QThread::msleep(500);
    Tool("xdotool", {"key", "--delay", "200", "Down", "Down", "Return"});
    const QString entry = QStringLiteral("Add");
    ASSERT_TRUE(WaitFor([&] { return !WindowNamed(entry).isEmpty(); }));
    // The title, then Tab past the sum, the category, the account and OK to Cancel.
    Keys(WindowNamed(entry),
         {"L", "u", "n", "c", "h", "Tab", "Tab", "Tab", "Tab", "Tab", "Return"});
    EXPECT_TRUE(Gone(entry));
    End(*program, SIGTERM);
    ReadBudget([](TQVEnvironment& budget) {
        for (int i = 0; i < budget.MonthCount(); ++i) {
            EXPECT_EQ(budget.GetMonth(i)->Count(), 0) << "an expense was added";
        }
    });
}

} // namespace
