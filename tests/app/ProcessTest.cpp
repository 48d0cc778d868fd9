// The built program as a user's session runs it: on a display of its own, with its own home and
// runtime folders, ended by the signals a session or a terminal sends.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/QVSingleInstance.h"
#include "model/QVEnvironment.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

namespace {

constexpr int WindowTimeoutMs = 30000;
constexpr time_t OldTime = 946684800; // 2000-01-01, long before any run of these tests

class ProcessTest : public ::testing::Test {
protected:
    TTempDir Home;
    TScopedEnv HomeVar{"HOME", Home.Path()};
    TScopedEnv ConfigHome{"XDG_CONFIG_HOME", Home.File("config")};
    TScopedEnv DataHome{"XDG_DATA_HOME", Home.File("data")};
    TScopedEnv RuntimeDir{"XDG_RUNTIME_DIR", Home.File("run")};
    // The program's objects live until the process ends; under the leak checker that is noise,
    // not a finding of these tests.
    TScopedEnv Asan{"ASAN_OPTIONS", AsanOptions()};
    const std::string Budget = Home.File("Household.qvb");

    void SetUp() override { ASSERT_EQ(mkdir(Home.File("run").c_str(), 0700), 0); }

    static std::string AsanOptions() {
        const char* options = std::getenv("ASAN_OPTIONS");
        return std::string(options != nullptr ? options : "") + ":detect_leaks=0";
    }

    // A saved, unprotected budget that the program opens by itself at start.
    void PrepareBudget() {
        TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
        Environment = new TQVEnvironment();
        Environment->NewBudget(Budget, u"Process test", true);
        Environment->SaveToFile(Budget);
        Environment->Settings().AutoOpenLast = true;
        Environment->Settings().Save();
        delete Environment;
        Environment = nullptr;
        TQVEnvironment::StartupErrorHandler = nullptr;
        MakeOld(Budget);
        MakeOld(Registry::StoreFileName());
    }

    static void MakeOld(const std::string& path) {
        const timespec times[2] = {{OldTime, 0}, {OldTime, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
    }
    static bool WrittenSince(const std::string& path) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 && info.st_mtim.tv_sec > OldTime;
    }

    static std::unique_ptr<QProcess> Start(const QString& program = QStringLiteral(QV_PROGRAM)) {
        auto process = std::make_unique<QProcess>();
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The program must show a real window on the virtual display, whatever the tests run on.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process->setProcessEnvironment(environment);
        process->start(program, {});
        EXPECT_TRUE(process->waitForStarted(10000)) << program.toStdString();
        return process;
    }

    // The program has taken its lock and shows its main window.
    static bool WaitForWindow() {
        const std::string lock = QVSingleInstance::LockFileName("Tavrin-QN");
        for (int waited = 0; !FileSystem::FileExists(lock); waited += 50) {
            if (waited > WindowTimeoutMs)
                return false;
            QThread::msleep(50);
        }
        QProcess search;
        search.start(QStringLiteral("xdotool"),
                     {"search", "--sync", "--onlyvisible", "--name", "Tavrin Quillvane"});
        if (!search.waitForFinished(WindowTimeoutMs)) {
            search.kill();
            search.waitForFinished();
            return false;
        }
        return search.exitCode() == 0;
    }

    // Sends `signalNumber` and expects the program to save and end normally.
    void EndAndCheckSaved(QProcess& program, int signalNumber) {
        ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), signalNumber), 0);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        EXPECT_TRUE(WrittenSince(Budget)) << "the budget is saved on the way out";
        EXPECT_TRUE(WrittenSince(Registry::StoreFileName())) << "and so are the settings";

        TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
        Environment = new TQVEnvironment();
        EXPECT_NO_THROW(Environment->LoadFromFile(Budget));
        EXPECT_EQ(Environment->Title, u"Process test");
        delete Environment;
        Environment = nullptr;
        TQVEnvironment::StartupErrorHandler = nullptr;
    }
};

class EndSignalTest : public ProcessTest, public ::testing::WithParamInterface<int> {};

} // namespace

TEST_P(EndSignalTest, SavesAndEndsNormally) {
    PrepareBudget();
    auto first = Start();
    ASSERT_TRUE(WaitForWindow());

    if (GetParam() == SIGTERM) {
        // A second start leaves at once and quietly; the first goes on as it was.
        auto second = Start();
        ASSERT_TRUE(second->waitForFinished(10000));
        EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second->exitCode(), 0);
        EXPECT_EQ(first->state(), QProcess::Running);
        EXPECT_FALSE(WrittenSince(Budget)) << "the second start touches nothing";
    }
    EndAndCheckSaved(*first, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Signals, EndSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& test) { return std::string(strsignal(test.param)); });

TEST_F(ProcessTest, InstalledProgramFindsItsLanguagesAndHelp) {
    TTempDir prefix;
    ASSERT_EQ(QProcess::execute(QStringLiteral(QV_CMAKE), {"--install", QV_BUILD_DIR, "--prefix",
                                                           QString::fromStdString(prefix.Path())}),
              0);
    EXPECT_TRUE(FileSystem::FileExists(prefix.File("share/quillvane/lang/English.lng")));
    if (FileSystem::FileExists(QV_HELP_DIR "/index.html")) {
        EXPECT_TRUE(FileSystem::FileExists(prefix.File("share/quillvane/help/index.html")));
    }

    // Without its languages the program would stop at an error instead of opening the budget.
    PrepareBudget();
    auto program = Start(QString::fromStdString(prefix.File("bin/quillvane")));
    ASSERT_TRUE(WaitForWindow());
    EndAndCheckSaved(*program, SIGTERM);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        std::puts("QV-SKIP: the program's tests need an X display and xdotool");
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
