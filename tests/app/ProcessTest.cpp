// The built program as a user's session runs it, ended by the signals a session or a terminal
// sends.
#include <cstring>

#include "ProgramTestSupport.h"
#include "app/QVSingleInstance.h"
#include "platform/FileSystem.h"

namespace {

constexpr int WindowTimeoutMs = 30000;

class ProcessTest : public ProgramTest {
protected:
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
        End(program, signalNumber);
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
    PrepareBudget(u"Process test");
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
    PrepareBudget(u"Process test");
    auto program = Start(QString::fromStdString(prefix.File("bin/quillvane")));
    ASSERT_TRUE(WaitForWindow());
    EndAndCheckSaved(*program, SIGTERM);
}

int main(int argc, char** argv) {
    return RunProgramTests(argc, argv, {"xdotool"});
}
