// The built program as a user's session runs it, on a virtual display with a notification area:
// ended by the signals a session or a terminal sends, started twice, run from its installed
// layout, and started at log-in into the tray.
#include <csignal>
#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <sys/stat.h>

#include "ProcessSupport.h"
#include "model/QVExpenseItem.h"
#include "platform/FileSystem.h"

namespace {

// The program installed into a folder of its own, as a package lays it out: without its
// languages it would stop at an error instead of opening the budget.
class EndSignalTest : public ProcessTest, public ::testing::WithParamInterface<int> {
protected:
    static void SetUpTestSuite() {
        Prefix = std::make_unique<TTempDir>();
        ASSERT_EQ(
            QProcess::execute(QStringLiteral(QV_CMAKE), {"--install", QV_BUILD_DIR, "--prefix",
                                                         QString::fromStdString(Prefix->Path())}),
            0);
    }
    static void TearDownTestSuite() { Prefix.reset(); }
    static inline std::unique_ptr<TTempDir> Prefix;
};

} // namespace

TEST_P(EndSignalTest, InstalledProgramSavesAndEndsNormally) {
    ASSERT_TRUE(FileSystem::FileExists(Prefix->File("share/quillvane/lang/English.lng")));
    if (FileSystem::FileExists(QV_HELP_DIR "/index.html")) {
        EXPECT_TRUE(FileSystem::FileExists(Prefix->File("share/quillvane/help/index.html")));
    }
    PrepareBudget();
    const QString program = QString::fromStdString(Prefix->File("bin/quillvane"));
    auto first = Start(program);
    ASSERT_TRUE(WaitFor(WindowShown));
    if (GetParam() == SIGTERM) {
        // A second start leaves at once and quietly; the first goes on as it was.
        auto second = Start(program);
        ASSERT_TRUE(second->waitForFinished(10000));
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
        EXPECT_EQ(first->state(), QProcess::Running);
        EXPECT_FALSE(WrittenSince(Budget)) << "the second start touches nothing";
    }
    End(*first, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Signals, EndSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& test) { return std::string(strsignal(test.param)); });

// Started at log-in on a desktop with a notification area: the icon settles in the tray and the
// window gets out of the way; the end of the session still saves the budget.
TEST_F(ProcessTest, AutorunSettlesInTheTrayAndEndsSaved) {
    PrepareBudget([](TQVSettings& settings) {
        settings.UseTray = true;
        settings.HideOnMinimize = true;
    });
    StartTray();
    auto program = Start(QStringLiteral(QV_PROGRAM), {QStringLiteral("/autorun")});

    EXPECT_TRUE(WaitFor(IconInTray)) << "the icon settles in the notification area";
    // The window shows first, and is gone a second later.
    EXPECT_TRUE(WaitFor([] { return ViewableWindows() == 0; }));
    QThread::msleep(1500);
    EXPECT_EQ(ViewableWindows(), 0) << "and stays hidden";
    EXPECT_EQ(program->state(), QProcess::Running);
    EXPECT_FALSE(WrittenSince(Budget)) << "hiding saves nothing";
    End(*program, SIGTERM);
    EXPECT_FALSE(IconInTray()) << "and the icon leaves with the program";
}

// A budget large enough to be read month by month, on several threads, while the window is made
// comes back from the closing save byte for byte: opening it at start and ending the program
// change nothing in it.
TEST_F(ProcessTest, ALargeBudgetOpenedAtStartIsSavedBackByteForByte) {
    PrepareBudget({}, {}, [](TQVEnvironment& budget) {
        TQVSource* cash = budget.GetSource(0);
        for (int m = 0; m < 36; ++m) {
            TQVMonth& month = *budget.GetMonth(
                budget.FindMonth(QVUtils::EncodeDate(2024 + m / 12, m % 12 + 1, 1), true));
            for (int i = 0; i < 400; ++i) {
                auto* flow = static_cast<TQVExpenseItem*>(month.GetFlow(month.AddExpense()));
                flow->Sum = i + m / 100.0L;
                flow->Date = month.Date + i / 500.0;
                flow->Source = cash;
                flow->Name = u"Groceries " + std::u16string(1 + i % 20, u'x');
            }
            month.Sort();
        }
        budget.EnsureCurrentMonth();
    });
    const std::string before = FileSystem::ReadFile(Budget);
    ASSERT_GT(before.size(), 2u << 20);
    auto program = Start(QStringLiteral(QV_PROGRAM));
    ASSERT_TRUE(WaitFor(WindowShown));
    End(*program, SIGTERM);
    EXPECT_TRUE(FileSystem::ReadFile(Budget) == before) << "the file changed";
}

// The budget's file refused at the closing save (made read-only): the end signal shows the error
// and the program stays; a session manager sending it again while the error is up changes
// nothing. Once the file may be written and the error is answered, the next signal saves and ends.
TEST_F(ProcessTest, FailedClosingSaveOutlivesRepeatedEndSignals) {
    PrepareBudget();
    ASSERT_EQ(chmod(Budget.c_str(), 0444), 0);
    auto program = Start(QStringLiteral(QV_PROGRAM));
    ASSERT_TRUE(WaitFor(WindowShown));
    const auto pid = static_cast<pid_t>(program->processId());
    const auto errorBox = [] { return WindowNamed(QStringLiteral("Error")); };
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    ASSERT_TRUE(WaitFor([&] { return !errorBox().isEmpty(); })) << "the save's error shows";
    for (int signalNumber : {SIGTERM, SIGHUP}) {
        ASSERT_EQ(kill(pid, signalNumber), 0);
        EXPECT_FALSE(program->waitForFinished(1500)) << strsignal(signalNumber);
        EXPECT_EQ(program->state(), QProcess::Running);
        EXPECT_FALSE(errorBox().isEmpty()) << "the error stays up";
    }
    EXPECT_FALSE(WrittenSince(Budget));
    ASSERT_EQ(chmod(Budget.c_str(), 0644), 0);
    Keys(errorBox(), {"Return"});
    ASSERT_TRUE(WaitFor([&] { return errorBox().isEmpty(); })) << "the error is answered";
    EXPECT_TRUE(WindowShown()) << "and the window stays";
    End(*program, SIGTERM);
}

// A keyboard user on the accounts page, in the program started over a budget whose only account
// is named `name`.
class KeyboardOnlyTest : public ProcessTest {
protected:
    void StartWithAccount(const QString& name) {
        PrepareBudget({}, name.toStdU16String());
        Program = Start(QStringLiteral(QV_PROGRAM));
        ASSERT_TRUE(WaitFor(WindowShown));
        Main = WindowNamed(QStringLiteral("Tavrin Quillvane.*"));
        ASSERT_FALSE(Main.isEmpty());
        // View > Accounts shows the first account, its name in the card's title.
        Keys(Main, {"alt+v", "a"});
        QThread::msleep(500);
    }

    // Ends the program as a session does, and gives the names of the accounts it saved.
    std::vector<std::u16string> EndAndReadAccounts() {
        EXPECT_EQ(kill(static_cast<pid_t>(Program->processId()), SIGTERM), 0);
        EXPECT_TRUE(Program->waitForFinished(20000));
        std::vector<std::u16string> names;
        ReadBudget([&](TQVEnvironment& budget) {
            for (int i = 0; i < budget.SourceCount(); ++i) {
                names.push_back(budget.GetSource(i)->Name);
            }
        });
        return names;
    }

    std::unique_ptr<QProcess> Program;
    QString Main;
};

TEST_F(KeyboardOnlyTest, RemovalAnsweredNoByTabAndReturnKeepsTheAccount) {
    StartWithAccount(QStringLiteral("Cash"));
    // The removal button ends the focus chain, one step back from the window's first button.
    Keys(Main, {"shift+Tab", "space"});
    ASSERT_TRUE(WaitFor([] { return ViewableWindows() == 2; })) << "no confirmation asked";
    const QString confirmation = WindowNamed(QStringLiteral("Confirmation"));
    ASSERT_FALSE(confirmation.isEmpty());
    Keys(confirmation, {"Tab", "Return"});
    ASSERT_TRUE(WaitFor([] { return ViewableWindows() == 1; }));
    EXPECT_EQ(EndAndReadAccounts(), std::vector<std::u16string>{u"Cash"})
        << "No on the focused button keeps the account";
}

TEST_F(KeyboardOnlyTest, ALongAccountNameKeepsTheWindowWithinTheScreen) {
    const QString name(200, QChar(0x0416));
    StartWithAccount(name);
    const QStringList screen = Tool("xdotool", {"getdisplaygeometry"}).split(' ');
    ASSERT_EQ(screen.size(), 2);
    static const QRegularExpression width(QStringLiteral(R"(Width:\s+(\d+))"));
    const QRegularExpressionMatch match = width.match(Tool("xwininfo", {"-id", Main}));
    ASSERT_TRUE(match.hasMatch());
    EXPECT_LE(match.captured(1).toInt(), screen[0].trimmed().toInt())
        << "the long name widened the window past the screen";
    EXPECT_EQ(EndAndReadAccounts(), std::vector<std::u16string>{name.toStdU16String()});
}

// The tests run only where their tools and an X display are at hand; elsewhere they report a
// skip that ctest recognises.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    for (const char* tool : {"xdotool", "xwininfo", "trayer"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::printf("QV-SKIP: these tests need %s\n", tool);
            return 0;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("QV-SKIP: these tests need an X display");
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
