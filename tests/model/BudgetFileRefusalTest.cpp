// What opening and saving a budget say when the file system will not have it: a name that is no
// regular file is refused at once.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "support/Outcome.h"

using BudgetFileRefusalTest = ModelTest;

// A FIFO (a writer may never come), a device or a folder chosen as the budget: the open fails at
// once with a message that says why, and the budget already open stays as it was.
TEST_F(BudgetFileRefusalTest, OpeningWhatIsNoRegularFileIsRefusedAtOnce) {
    const std::string fifo = BudgetPath("pipe.qn");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {fifo, "Not a regular file"},
        {"/dev/zero", "Not a regular file"},
        {Home.Path(), "Is a directory"},
    };
    Env().NewBudget(BudgetPath(), u"Kept", true);
    // A blocking open would hang here; the alarm ends the run instead.
    ::alarm(10);
    for (const auto& c : cases) {
        EXPECT_EQ(Outcome([&] { Env().LoadFromFile(c.path); }),
                  "Cannot open file \"" + c.path + "\": " + c.reason);
        EXPECT_EQ(Env().Title, u"Kept");
        EXPECT_EQ(Env().FileName, BudgetPath());
    }
    ::alarm(0);
    struct stat info {};
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode)) << "the user's FIFO is left alone";
    // Saved over, it is refused too, rather than replaced by a file.
    EXPECT_EQ(Outcome([&] { Env().SaveToFile(fifo); }),
              "Cannot write file \"" + fifo + "\": Not a regular file");
    ASSERT_EQ(::stat(fifo.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}
