#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/QVSingleInstance.h"
#include "support/TempDir.h"

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    TTempDir Runtime;
    TScopedEnv RuntimeDir{"XDG_RUNTIME_DIR", Runtime.Path()};
};

// Runs `body` in a child process and returns its exit code.
template <class F> int InChild(F body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// Every copy of every build must find the same lock.
TEST_F(SingleInstanceTest, LockFileIsNamedByTheProgramGuidAndTheName) {
    EXPECT_EQ(QVSingleInstance::LockFileName("Tavrin-QN"),
              Runtime.Path() + "/4EC085EC-4224-4BDF-BAA1-F6CC18FF43BF-Tavrin-QN");
}

TEST_F(SingleInstanceTest, HolderKeepsOthersOutUntilItEnds) {
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const bool registered = QVSingleInstance::RegisterInstance("Holder");
        char byte = registered ? 'y' : 'n';
        (void)!write(ready[1], &byte, 1);
        (void)!read(release[0], &byte, 1);
        _exit(0);
    }
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'y');

    EXPECT_TRUE(QVSingleInstance::InstanceExists("Holder"));
    EXPECT_TRUE(QVSingleInstance::InstanceExists("Holder")) << "a test must not take the lock";
    EXPECT_FALSE(QVSingleInstance::InstanceExists("Other"));
    // Two starts at the same moment both pass the test; the one that registers second learns it.
    EXPECT_EQ(InChild([] { return QVSingleInstance::RegisterInstance("Holder") ? 1 : 0; }), 0);

    (void)!write(release[1], "x", 1);
    waitpid(holder, nullptr, 0);
    EXPECT_FALSE(QVSingleInstance::InstanceExists("Holder")) << "the lock goes with the process";
    EXPECT_EQ(InChild([] { return QVSingleInstance::RegisterInstance("Holder") ? 1 : 0; }), 1);
}

TEST_F(SingleInstanceTest, SecondDescriptorOfTheSameProcessConflictsToo) {
    EXPECT_FALSE(QVSingleInstance::InstanceExists("Self"));
    ASSERT_TRUE(QVSingleInstance::RegisterInstance("Self"));
    EXPECT_TRUE(QVSingleInstance::InstanceExists("Self"));
    EXPECT_FALSE(QVSingleInstance::RegisterInstance("Self"));
}

TEST(SingleInstanceFallbackTest, WithoutRuntimeFolderUsesAPrivateFolderAndRefusesAnOpenOne) {
    TTempDir temp;
    TScopedEnv runtime("XDG_RUNTIME_DIR", std::nullopt);
    TScopedEnv tmpdir("TMPDIR", temp.Path());
    const std::string folder = temp.Path() + "/quillvane-" + std::to_string(getuid());

    const std::string name = QVSingleInstance::LockFileName("Tavrin-QN");
    EXPECT_EQ(name.substr(0, folder.size() + 1), folder + "/");
    struct stat info {};
    ASSERT_EQ(stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    // A folder others may write to is not trusted: no guard, and the program runs.
    ASSERT_EQ(chmod(folder.c_str(), 0777), 0);
    EXPECT_EQ(QVSingleInstance::LockFileName("Tavrin-QN"), "");
    EXPECT_FALSE(QVSingleInstance::InstanceExists("Tavrin-QN"));
    EXPECT_TRUE(QVSingleInstance::RegisterInstance("Tavrin-QN"));

    // Nor is a link planted in its place.
    ASSERT_EQ(rmdir(folder.c_str()), 0);
    ASSERT_EQ(mkdir((temp.Path() + "/elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(symlink((temp.Path() + "/elsewhere").c_str(), folder.c_str()), 0);
    EXPECT_EQ(QVSingleInstance::LockFileName("Tavrin-QN"), "");
}
