#pragma once

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "model/QVEnvironment.h"
#include "platform/Registry.h"
#include "support/TempDir.h"

// The built program run as a user's session runs it: on a display of its own, with its own home
// and runtime folders and a budget it opens by itself.
class ProgramTest : public ::testing::Test {
protected:
    static constexpr time_t OldTime = 946684800; // 2000-01-01, long before any run of these tests

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

    // A saved, unprotected budget titled `title` that the program opens by itself at start, with
    // the settings `adjust` asks for; both files look long untouched.
    void PrepareBudget(const std::u16string& title,
                       const std::function<void(TQVSettings&)>& adjust = {}) {
        TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
        Environment = new TQVEnvironment();
        Environment->NewBudget(Budget, title, true);
        Environment->SaveToFile(Budget);
        Environment->Settings().AutoOpenLast = true;
        if (adjust) {
            adjust(Environment->Settings());
        }
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

    static std::unique_ptr<QProcess> Start(const QString& program = QStringLiteral(QV_PROGRAM),
                                           const QStringList& arguments = {}) {
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

    // Sends `signalNumber` and expects the program to end normally.
    static void End(QProcess& program, int signalNumber) {
        ASSERT_EQ(kill(static_cast<pid_t>(program.processId()), signalNumber), 0);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
    }
};

// The tests run only where their tools and an X display are at hand; elsewhere they report a
// skip that ctest recognises.
inline int RunProgramTests(int argc, char** argv, std::initializer_list<const char*> tools) {
    QCoreApplication app(argc, argv);
    for (const char* tool : tools) {
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
