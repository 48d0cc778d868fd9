// The built program started at log-in on a desktop with a notification area: its icon settles in
// the tray and its window gets out of the way, and the end of the session still saves the budget.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "model/QVEnvironment.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace {

constexpr int TimeoutMs = 30000;
constexpr time_t OldTime = 946684800; // 2000-01-01

// Runs a small X tool and gives its standard output; empty when it failed.
QString Tool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QStringList Lines(const QString& text) {
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
    for (int waited = 0; !condition(); waited += 100) {
        if (waited > timeoutMs) {
            return false;
        }
        QThread::msleep(100);
    }
    return true;
}

// A window of the program (its class is the program's name) sits inside the notification area.
bool IconInTray() {
    for (const QString& tray : Lines(Tool("xdotool", {"search", "--class", "trayer"}))) {
        if (Tool("xwininfo", {"-tree", "-id", tray}).contains(QStringLiteral("(\"quillvane\" "))) {
            return true;
        }
    }
    return false;
}

// The program's top-level windows that can be seen: its main window and any dialog.
int ViewableWindows() {
    static const QRegularExpression line(QStringLiteral(R"(^\s+(0x[0-9a-f]+) .*\("quillvane" )"));
    int count = 0;
    for (const QString& child : Lines(Tool("xwininfo", {"-root", "-children"}))) {
        const QRegularExpressionMatch match = line.match(child);
        if (match.hasMatch() &&
            Tool("xwininfo", {"-id", match.captured(1)}).contains(QStringLiteral("IsViewable"))) {
            ++count;
        }
    }
    return count;
}

class TrayProcessTest : public ::testing::Test {
protected:
    TTempDir Home;
    TScopedEnv HomeVar{"HOME", Home.Path()};
    TScopedEnv ConfigHome{"XDG_CONFIG_HOME", Home.File("config")};
    TScopedEnv DataHome{"XDG_DATA_HOME", Home.File("data")};
    TScopedEnv RuntimeDir{"XDG_RUNTIME_DIR", Home.File("run")};
    TScopedEnv Asan{
        "ASAN_OPTIONS",
        std::string(std::getenv("ASAN_OPTIONS") != nullptr ? std::getenv("ASAN_OPTIONS") : "") +
            ":detect_leaks=0"};
    const std::string Budget = Home.File("Household.qvb");
    QProcess Tray;

    void SetUp() override { ASSERT_EQ(mkdir(Home.File("run").c_str(), 0700), 0); }
    void TearDown() override {
        Tray.terminate();
        if (!Tray.waitForFinished(5000)) {
            Tray.kill();
            Tray.waitForFinished();
        }
    }

    // A saved budget that opens at start, with the tray settings asked for.
    void PrepareBudget() {
        TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
        Environment = new TQVEnvironment();
        Environment->NewBudget(Budget, u"Tray test", true);
        Environment->SaveToFile(Budget);
        TQVSettings& settings = Environment->Settings();
        settings.AutoOpenLast = true;
        settings.UseTray = true;
        settings.HideOnMinimize = true;
        settings.Save();
        delete Environment;
        Environment = nullptr;
        TQVEnvironment::StartupErrorHandler = nullptr;
        const timespec times[2] = {{OldTime, 0}, {OldTime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, Budget.c_str(), times, 0), 0);
    }

    bool BudgetWritten() const {
        struct stat info {};
        return stat(Budget.c_str(), &info) == 0 && info.st_mtim.tv_sec > OldTime;
    }

    // A notification area along the bottom of the display, ready for icons.
    bool StartTray() {
        Tray.start(QStringLiteral("trayer"), {"--edge", "bottom", "--align", "right", "--widthtype",
                                              "pixel", "--width", "200", "--height", "24"});
        return Tray.waitForStarted(10000) &&
               WaitFor(
                   [] {
                       return !Tool("xdotool", {"search", "--onlyvisible", "--class", "trayer"})
                                   .isEmpty();
                   },
                   TimeoutMs);
    }
};

TEST_F(TrayProcessTest, AutorunSettlesInTheTrayAndEndsSaved) {
    PrepareBudget();
    ASSERT_TRUE(StartTray());

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(QV_PROGRAM), {QStringLiteral("/autorun")});
    ASSERT_TRUE(program.waitForStarted(10000));

    EXPECT_TRUE(WaitFor(IconInTray, TimeoutMs)) << "the icon settles in the notification area";
    // The window shows first, and is gone a second later.
    EXPECT_TRUE(WaitFor([] { return ViewableWindows() == 0; }, TimeoutMs));
    QThread::msleep(1500);
    EXPECT_EQ(ViewableWindows(), 0) << "and stays hidden";
    EXPECT_EQ(program.state(), QProcess::Running);
    EXPECT_FALSE(BudgetWritten()) << "hiding saves nothing";

    ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(BudgetWritten()) << "the end of the session saves the budget";
    EXPECT_FALSE(IconInTray()) << "and the icon leaves with the program";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    for (const char* tool : {"xdotool", "xwininfo", "trayer"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            std::printf("QV-SKIP: the tray tests need %s\n", tool);
            return 0;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::puts("QV-SKIP: the tray tests need an X display");
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
