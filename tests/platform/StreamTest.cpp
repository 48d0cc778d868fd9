#include "platform/Stream.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "platform/Workers.h"
#include "support/TempDir.h"

// Streams are driven by every file test; here what they report when they fail.
TEST(StreamTest, FailuresAreReported) {
    TTempDir temp;
    const std::string missing = temp.File("missing.qvb");
    try {
        TFileStream stream(missing, TFileMode::OpenRead);
        FAIL() << "opening a missing file succeeded";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), ENOENT);
        EXPECT_EQ(error.Message(),
                  "Cannot open file \"" + missing + "\": No such file or directory");
    }
    FileSystem::WriteFileAtomic(temp.File("data.bin"), "0123456789");
    TFileStream in(temp.File("data.bin"), TFileMode::OpenRead);
    in.Seek(6);
    EXPECT_EQ(in.Remaining(), 4u);
    EXPECT_THROW(in.WriteBuffer("z", 1), EWriteError); // a read-only stream takes nothing
}

// A full disk names the file and the system's reason; memory that runs out keeps the plain words.
TEST(StreamTest, WriteErrorNamesTheFileAndTheReason) {
    TFileStream full("/dev/full", TFileMode::Create);
    try {
        full.WriteBuffer("budget", 6);
        FAIL() << "a full device took the bytes";
    } catch (const EWriteError& error) {
        EXPECT_EQ(error.Message(),
                  "Stream write error in file \"/dev/full\": No space left on device");
    }
    EXPECT_EQ(EWriteError().Message(), "Stream write error");
}

// Each read is told its own outcome, whatever other reads of the stream met before it or meet at
// the same time on other threads: a read past the end comes back short (for ReadBufferAt, which
// planned on those bytes, the file has changed); a read the system fails raises its reason at once.
TEST(StreamTest, EachReadTellsItsOwnOutcome) {
    TTempDir temp;
    const std::string path = temp.File("data.bin");
    FileSystem::WriteFileAtomic(path, "0123456789");
    TFileStream file(path, TFileMode::OpenRead);
    // Reads at address 0 of the process's own memory fail with EIO, as a failing disk's do.
    TFileStream memory("/proc/self/mem", TFileMode::OpenRead);
    // A page the system cannot write into: a read into it fails with EFAULT.
    void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(page, MAP_FAILED);
    const std::string faulted =
        "Stream read error in file \"" + path + "\": " + SystemErrorMessage(EFAULT);
    const std::string changed =
        "Cannot open file \"" + path + "\": another program changed it while it was being read";
    using TRead = std::function<std::size_t(char* buffer)>;
    const struct {
        const char* what;
        TRead read;
        std::string outcome;
        bool shared; // may run on several threads at once
    } cases[] = {
        {"inside", [&](char* b) { return file.ReadAt(2, b, 3); }, "234", true},
        {"past the end", [&](char* b) { return file.ReadAt(6, b, 10); }, "6789", true},
        {"beyond the end", [&](char* b) { return file.ReadAt(20, b, 4); }, "", true},
        {"failing", [&](char*) { return file.ReadAt(0, page, 4); }, faulted, true},
        {"device failing", [&](char* b) { return memory.ReadAt(0, b, 4); },
         "Stream read error in file \"/proc/self/mem\": " + SystemErrorMessage(EIO), true},
        {"exact", [&](char* b) { return file.ReadBufferAt(7, b, 3), std::size_t{3}; }, "789", true},
        {"exact past the end", [&](char* b) { return file.ReadBufferAt(7, b, 4), std::size_t{4}; },
         changed, true},
        {"exact failing", [&](char*) { return file.ReadBufferAt(0, page, 4), std::size_t{4}; },
         faulted, true},
        {"sequential", [&](char* b) { return file.Seek(8), file.Read(b, 5); }, "89", false},
        {"sequential failing", [&](char*) { return file.Seek(0), file.Read(page, 4); }, faulted,
         false},
    };
    auto outcome = [](const TRead& read) {
        char buffer[16];
        try {
            return std::string(buffer, read(buffer));
        } catch (const EOSError& error) {
            EXPECT_NE(error.ErrorCode(), 0);
            return error.Message();
        } catch (const Exception& error) {
            return error.Message();
        }
    };
    // One after another, each case after each other, so that no outcome carries over.
    for (const auto& before : cases)
        for (const auto& c : cases) {
            outcome(before.read);
            EXPECT_EQ(outcome(c.read), c.outcome) << c.what << " after " << before.what;
        }
    // At once on several threads, sharing the streams.
    std::vector<std::size_t> order;
    for (int round = 0; round < 40; ++round)
        for (std::size_t i = 0; i < std::size(cases); ++i)
            if (cases[i].shared)
                order.push_back(i);
    struct TResult {
        std::size_t Case = 0;
        std::string Outcome;
    };
    std::size_t next = 0;
    Workers::RunOrdered<TResult>(
        4, 64,
        [&](TResult& item, std::size_t& bytes) {
            if (next == order.size())
                return false;
            item.Case = order[next++];
            bytes = 1;
            return true;
        },
        [&](TResult& item) { item.Outcome = outcome(cases[item.Case].read); },
        [&](TResult& item) {
            EXPECT_EQ(item.Outcome, cases[item.Case].outcome) << cases[item.Case].what;
        });
    ::munmap(page, 4096);
}

namespace {

constexpr std::int64_t Second = 1'000'000'000;

// Waits until the coarse clock, which the system takes file times from, has passed `time`, so
// that a change made next gets a later time.
void WaitPast(std::int64_t time) {
    for (int wait = 0; wait < 1000; ++wait) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec * Second + now.tv_nsec > time)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// The fields in which two stamps differ.
std::string Differences(const TStream::TStamp& a, const TStream::TStamp& b) {
    std::string names;
    auto add = [&](bool differs, const char* name) {
        if (differs)
            names += (names.empty() ? "" : " ") + std::string(name);
    };
    add(a.Device != b.Device, "Device");
    add(a.Inode != b.Inode, "Inode");
    add(a.Size != b.Size, "Size");
    add(a.Modified != b.Modified, "Modified");
    add(a.Changed != b.Changed, "Changed");
    return names;
}

} // namespace

// A file's stamp tells each change of its bytes or of the file itself, and nothing else: a read
// leaves it as it was, and a copy renamed over the name (as a save does) is told by its inode
// even with the same size and times.
TEST(StreamTest, StampTellsEachChange) {
    TTempDir temp;
    const std::string path = temp.File("budget.qn"), copy = temp.File("copy.qn");
    const timespec past[2] = {{1'600'000'000, 0}, {1'600'000'000, 0}};
    auto write = [](const std::string& name, int flags, off_t at) {
        const int handle = ::open(name.c_str(), O_WRONLY | O_CREAT | flags, 0644);
        ASSERT_GE(handle, 0);
        EXPECT_EQ(::pwrite(handle, "0123456789", 10, at), 10);
        ::close(handle);
    };
    const struct {
        const char* what;
        std::function<void()> change;
        bool reopen; // the name opened again rather than the open file asked
        const char* differs;
    } cases[] = {
        {"nothing", [] {}, false, ""},
        {"a read", [&] { FileSystem::ReadFile(path); }, false, ""},
        {"bytes written in place", [&] { write(path, 0, 0); }, false, "Modified Changed"},
        {"bytes added", [&] { write(path, 0, 10); }, false, "Size Modified Changed"},
        {"cut short", [&] { ASSERT_EQ(::truncate(path.c_str(), 4), 0); }, false,
         "Size Modified Changed"},
        {"permissions", [&] { ASSERT_EQ(::chmod(path.c_str(), 0600), 0); }, false, "Changed"},
        {"touched", [&] { ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0); }, false,
         "Modified Changed"},
        {"times put back", [&] { ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0); },
         false, "Changed"},
        {"a copy renamed over it",
         [&] {
             write(copy, O_TRUNC, 0);
             ASSERT_EQ(::utimensat(AT_FDCWD, copy.c_str(), past, 0), 0);
             ASSERT_EQ(::rename(copy.c_str(), path.c_str()), 0);
         },
         true, "Inode Changed"},
    };
    for (const auto& c : cases) {
        write(path, O_TRUNC, 0);
        ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), past, 0), 0);
        const TFileStream stream(path, TFileMode::OpenRead);
        const TStream::TStamp before = stream.Stamp();
        EXPECT_EQ(before.Size, 10u);
        EXPECT_EQ(before.Modified, 1'600'000'000 * Second);
        WaitPast(before.Changed);
        c.change();
        const TStream::TStamp after =
            c.reopen ? TFileStream(path, TFileMode::OpenRead).Stamp() : stream.Stamp();
        EXPECT_EQ(Differences(before, after), c.differs) << c.what;
    }
}

// A stamp is recent while either of its times lies within the window of now (by the clock file
// times are set by), ahead or behind; older, or set far ahead of the clock, it is not.
TEST(StreamTest, RecentStamps) {
    timespec clock{};
    ASSERT_EQ(::clock_gettime(CLOCK_REALTIME, &clock), 0);
    const std::int64_t now = clock.tv_sec * Second + clock.tv_nsec;
    // "Just now" lies ahead, so that the case holds however late the check comes within the window.
    const std::int64_t window = TStream::RecentWindow, just = now + window * 9 / 10,
                       old = now - 2 * window, ahead = now + 3600 * Second,
                       whole = now - now % Second;
    const struct {
        std::int64_t modified, changed;
        bool recent;
    } cases[] = {{old, old, false},
                 {just, old, true},
                 {old, just, true},
                 {just, just, true},
                 {ahead, old, false},
                 {old - 3600 * Second, old, false},
                 // Times a file system keeps in whole seconds: a change shows as up to two
                 // seconds old while it may still be going on.
                 {whole - Second, whole - Second, true},
                 {whole - 3 * Second, whole - 3 * Second, false}};
    for (const auto& c : cases) {
        TStream::TStamp stamp;
        stamp.Modified = c.modified;
        stamp.Changed = c.changed;
        EXPECT_EQ(stamp.Recent(), c.recent) << (c.modified - now) << " " << (c.changed - now);
    }
}
