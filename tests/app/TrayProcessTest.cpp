// The built program started at log-in on a desktop with a notification area: its icon settles in
// the tray and its window gets out of the way, and the end of the session still saves the budget.
#include <QRegularExpression>

#include "ProgramTestSupport.h"

namespace {

constexpr int TimeoutMs = 30000;

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

class TrayProcessTest : public ProgramTest {
protected:
    QProcess Tray;

    void TearDown() override {
        Tray.terminate();
        if (!Tray.waitForFinished(5000)) {
            Tray.kill();
            Tray.waitForFinished();
        }
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
    PrepareBudget(u"Tray test", [](TQVSettings& settings) {
        settings.UseTray = true;
        settings.HideOnMinimize = true;
    });
    ASSERT_TRUE(StartTray());
    auto program = Start(QStringLiteral(QV_PROGRAM), {QStringLiteral("/autorun")});

    EXPECT_TRUE(WaitFor(IconInTray, TimeoutMs)) << "the icon settles in the notification area";
    // The window shows first, and is gone a second later.
    EXPECT_TRUE(WaitFor([] { return ViewableWindows() == 0; }, TimeoutMs));
    QThread::msleep(1500);
    EXPECT_EQ(ViewableWindows(), 0) << "and stays hidden";
    EXPECT_EQ(program->state(), QProcess::Running);
    EXPECT_FALSE(WrittenSince(Budget)) << "hiding saves nothing";

    End(*program, SIGTERM);
    EXPECT_TRUE(WrittenSince(Budget)) << "the end of the session saves the budget";
    EXPECT_FALSE(IconInTray()) << "and the icon leaves with the program";
}

} // namespace

int main(int argc, char** argv) {
    return RunProgramTests(argc, argv, {"xdotool", "xwininfo", "trayer"});
}
