// A budget file that another program writes while it is opened is read again once it is still:
// the user gets one version, is asked for its password once, and hears of the change only when it
// keeps changing.
#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ModelTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "support/Outcome.h"

namespace {

class BudgetReadAgainTest : public ModelTest {
protected:
    // A budget of one account whose name tells the version, saved to `path` at `level`.
    static std::string SaveVersion(const std::string& path, const std::u16string& name,
                                   std::uint8_t level) {
        Env().Reset();
        Env().CreateDefaults(true);
        Env().GetSource(0)->Name = name;
        if (level != 0) {
            Env().SetPassword(u"pw");
            Env().SetProtection(level);
        }
        Env().SaveToFile(path);
        return FileSystem::ReadFile(path);
    }
};

// Writes `bytes` over the file in place: same file, new content and times.
void WriteInPlace(const std::string& path, const std::string& bytes) {
    const int handle = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(::write(handle, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(handle);
}

// Sets the file's times a minute back, so that it is not one being written.
void MakeOld(const std::string& path) {
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 60;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

} // namespace

// While the user is asked for the password, the file is touched (its times change, its bytes do
// not), or written over with another version under the same password: the open reads it again,
// without asking again, and gives the file as it is once still.
TEST_F(BudgetReadAgainTest, AFileChangedWhileReadIsReadAgainOnceStill) {
    const std::string path = BudgetPath();
    const std::string second = SaveVersion(path, u"Second", 2);
    const std::string first = SaveVersion(path, u"First", 2);
    const struct {
        const char* what;
        std::function<void()> change;
        std::u16string opened;
    } cases[] = {
        {"touched", [&] { ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0); },
         u"First"},
        {"written over", [&] { WriteInPlace(path, second); }, u"Second"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteInPlace(path, first);
        MakeOld(path);
        Env().Reset();
        int asked = 0;
        Env().PasswordRequest = [&]() -> std::optional<std::u16string> {
            if (asked++ == 0)
                c.change();
            return u"pw";
        };
        ASSERT_EQ(Outcome([&] { Env().LoadFromFile(path); }), "ok");
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(Env().GetSource(0)->Name, c.opened);
        EXPECT_EQ(Env().Protection, 2);
    }
}

// A file written piece by piece right as the open begins, as a copy in place does, is read once
// its writer is done: the open gives the new version, never a refusal or a mix. (The pieces
// follow one another at once: a writer that stops for longer than a file's times take to age
// looks done, whoever reads it.)
TEST_F(BudgetReadAgainTest, AFileBeingWrittenIsReadOnceItsWriterIsDone) {
    const std::string path = BudgetPath();
    Env().Reset();
    Env().CreateDefaults(true);
    TQVMonth& month = *Env().GetMonth(0);
    for (int i = 0; i < 20000; ++i)
        Add<TQVExpenseItem>(month, i, month.Date, Env().GetSource(0))->Name = u"Old";
    Env().SaveToFile(path);
    const std::string old = FileSystem::ReadFile(path);
    for (int i = 0; i < month.Count(); ++i)
        month.GetFlow(i)->Name = u"New";
    Env().SaveToFile(path);
    const std::string fresh = FileSystem::ReadFile(path);
    ASSERT_EQ(old.size(), fresh.size());
    WriteInPlace(path, old);
    MakeOld(path);

    std::atomic<bool> started{false};
    std::thread writer([&] {
        const int handle = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        constexpr std::size_t Piece = 64 << 10;
        for (std::size_t done = 0; done < fresh.size(); done += Piece) {
            const std::size_t count = std::min(Piece, fresh.size() - done);
            (void)::pwrite(handle, fresh.data() + done, count, static_cast<off_t>(done));
            started = true;
        }
        ::close(handle);
    });
    while (!started)
        std::this_thread::yield();
    Env().Reset();
    const std::string outcome = Outcome([&] { Env().LoadFromFile(path); });
    writer.join();
    ASSERT_EQ(outcome, "ok");
    const TQVMonth& read = *Env().GetMonth(0);
    ASSERT_EQ(read.Count(), 20000);
    for (int i = 0; i < read.Count(); ++i)
        ASSERT_EQ(read.GetFlow(i)->Name, u"New") << i;
}

// A file that never stops changing is not read as it goes: the user is told, the budget before
// stays, and the file is left alone.
TEST_F(BudgetReadAgainTest, AFileThatKeepsChangingIsTold) {
    const std::string path = BudgetPath();
    SaveVersion(path, u"Kept", 0);
    std::atomic<bool> done{false};
    std::thread toucher([&] {
        while (!done) {
            ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
            std::this_thread::yield();
        }
    });
    const std::string outcome = Outcome([&] { Env().LoadFromFile(path); });
    done = true;
    toucher.join();
    EXPECT_EQ(outcome, "Cannot open file \"" + path +
                           "\": another program changed it while it was being read");
    EXPECT_EQ(Env().GetSource(0)->Name, u"Kept");
}

// The read a launch starts ahead, which may not ask the user, ends as File > Open would: open, or
// with the open's own message, read once; only a budget that wants its password typed is left to
// the open that may ask.
TEST_F(BudgetReadAgainTest, TheLaunchReadsAheadAsAnOpenDoes) {
    const std::string path = BudgetPath();
    SaveVersion(path, u"Plain", 0);
    const std::string plain = FileSystem::ReadFile(path);
    SaveVersion(path, u"Typed", 2);
    const std::string typed = FileSystem::ReadFile(path);
    const struct {
        const char* what;
        std::string bytes;
        std::string finished; // "open", "ask", or the message raised
    } cases[] = {
        {"plain", plain, "open"},
        {"typed password", typed, "ask"},
        {"damaged", plain.substr(0, plain.size() - 7),
         "Cannot open file \"" + path +
             "\": it is damaged or is not a budget (CF item read error)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FileSystem::WriteFileAtomic(path, c.bytes);
        int asked = 0;
        Env().PasswordRequest = [&]() -> std::optional<std::u16string> {
            ++asked;
            return u"pw";
        };
        Env().StartLoadAhead(path);
        std::string finished;
        const std::string outcome =
            Outcome([&] { finished = Env().FinishLoadAhead() ? "open" : "ask"; });
        EXPECT_EQ(outcome == "ok" ? finished : outcome, c.finished);
        EXPECT_EQ(asked, 0);
    }
}
