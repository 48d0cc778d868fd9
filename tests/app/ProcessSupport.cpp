#include "ProcessSupport.h"

#include <QRegularExpression>
#include <QThread>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/Registry.h"

namespace {

// A line of xwininfo's list of windows that names one of the program's windows (its class is the
// program's name); the first capture is the window's id.
const QRegularExpression& ProgramWindow() {
    static const QRegularExpression line(QStringLiteral(R"(^\s+(0x[0-9a-f]+) .*\("quillvane" )"));
    return line;
}

} // namespace

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

QStringList ToolLines(const QString& program, const QStringList& arguments) {
    return Tool(program, arguments).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool WaitFor(const std::function<bool()>& condition) {
    for (int waited = 0; !condition(); waited += 100) {
        if (waited > TimeoutMs) {
            return false;
        }
        QThread::msleep(100);
    }
    return true;
}

bool WindowShown() {
    return !Tool("xdotool", {"search", "--onlyvisible", "--name", "Tavrin Quillvane"}).isEmpty();
}

QString WindowNamed(const QString& title) {
    const QStringList ids =
        ToolLines("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"});
    return ids.isEmpty() ? QString() : ids.first();
}

void Keys(const QString& window, const QStringList& keys) {
    Tool("xdotool", {"windowfocus", "--sync", window});
    for (const QString& key : keys) {
        Tool("xdotool", {"key", "--clearmodifiers", key});
        QThread::msleep(200);
    }
}

// A window of the program (its class is the program's name) sits inside the notification area.
QString TrayIconWindow() {
    for (const QString& tray : ToolLines("xdotool", {"search", "--class", "trayer"})) {
        for (const QString& child : ToolLines("xwininfo", {"-tree", "-id", tray})) {
            if (const QRegularExpressionMatch match = ProgramWindow().match(child);
                match.hasMatch()) {
                return match.captured(1);
            }
        }
    }
    return {};
}

bool IconInTray() {
    return !TrayIconWindow().isEmpty();
}

int ViewableWindows() {
    int count = 0;
    for (const QString& child : ToolLines("xwininfo", {"-root", "-children"})) {
        const QRegularExpressionMatch match = ProgramWindow().match(child);
        count +=
            match.hasMatch() &&
            Tool("xwininfo", {"-id", match.captured(1)}).contains(QStringLiteral("IsViewable"));
    }
    return count;
}

void MakeOld(const std::string& path) {
    const timespec times[2] = {{OldTime, 0}, {OldTime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

bool WrittenSince(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && info.st_mtim.tv_sec > OldTime;
}

void ProcessTest::SetUp() {
    ASSERT_EQ(mkdir(Home.File("run").c_str(), 0700), 0);
}

void ProcessTest::TearDown() {
    // What has not ended by then is killed with the object.
    Tray.terminate();
    Tray.waitForFinished(5000);
}

void ProcessTest::PrepareBudget(const std::function<void(TQVSettings&)>& adjust,
                                const std::u16string& account,
                                const std::function<void(TQVEnvironment&)>& fill) {
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    Environment = new TQVEnvironment();
    Environment->NewBudget(Budget, u"Process test", true);
    if (!account.empty()) {
        Environment->GetSource(0)->Name = account;
    }
    if (fill) {
        fill(*Environment);
    }
    Environment->SaveToFile(Budget);
    Environment->Settings().AutoOpenLast = true;
    if (adjust) {
        adjust(Environment->Settings());
    }
    Environment->Settings().Save();
    delete Environment;
    Environment = nullptr;
    MakeOld(Budget);
    MakeOld(Registry::StoreFileName());
}

void ProcessTest::ReadBudget(const std::function<void(TQVEnvironment&)>& read) {
    Environment = new TQVEnvironment();
    EXPECT_NO_THROW(Environment->LoadFromFile(Budget));
    read(*Environment);
    delete Environment;
    Environment = nullptr;
}

void ProcessTest::StartTray() {
    Tray.start(QStringLiteral("trayer"), {"--edge", "bottom", "--align", "right", "--widthtype",
                                          "pixel", "--width", "200", "--height", "24"});
    ASSERT_TRUE(Tray.waitForStarted(10000));
    ASSERT_TRUE(WaitFor([] {
        return !Tool("xdotool", {"search", "--onlyvisible", "--class", "trayer"}).isEmpty();
    }));
}

std::unique_ptr<QProcess> ProcessTest::Start(const QString& program, const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The program must show a real window on the virtual display, whatever the tests run on.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process->setProcessEnvironment(environment);
    process->start(program, arguments);
    EXPECT_TRUE(process->waitForStarted(10000)) << program.toStdString();
    return process;
}

void ProcessTest::End(QProcess& program, int signalNumber) {
    ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), signalNumber), 0);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(WrittenSince(Budget)) << "the budget is saved on the way out";
    EXPECT_TRUE(WrittenSince(Registry::StoreFileName())) << "and so are the settings";
    ReadBudget([](TQVEnvironment& budget) { EXPECT_EQ(budget.Title, u"Process test"); });
}
