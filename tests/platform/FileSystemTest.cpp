#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <regex>
#include <thread>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "platform/Workers.h"
#include "support/TempDir.h"

using FileSystem::WriteFileAtomic;

namespace {

std::vector<std::string> Names(const std::string& folder, const std::string& pattern = "*") {
    std::vector<std::string> names;
    for (const auto& entry : FileSystem::FindFiles(folder, pattern))
        names.push_back(entry.Name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FileSystemTest, FindForceReadDelete) {
    TTempDir dir;
    WriteFileAtomic(dir.File("a.cpw"), std::string(72, 'x'));
    WriteFileAtomic(dir.File("b.txt"), "hello");
    ASSERT_TRUE(FileSystem::ForceFolders(dir.File("c.cpw/two/three"), 0700));
    EXPECT_EQ(FileMode(dir.File("c.cpw/two")), 0700u);
    EXPECT_TRUE(FileSystem::ForceFolders(dir.File("c.cpw"))); // already there
    EXPECT_FALSE(FileSystem::ForceFolders(dir.File("b.txt/below")));
    for (const auto& entry : FileSystem::FindFiles(dir.Path(), "*.cpw"))
        EXPECT_EQ(entry.IsFolder ? "folder" : std::to_string(entry.Size),
                  entry.Name == "c.cpw" ? "folder" : "72");
    EXPECT_EQ(Names(dir.Path(), "*.cpw"), (std::vector<std::string>{"a.cpw", "c.cpw"}));
    EXPECT_TRUE(FileSystem::FindFiles(dir.File("missing"), "*").empty());
    EXPECT_THROW(FileSystem::ReadFile(dir.Path()), EOSError);
    // Only regular files are read; a FIFO without a writer would block for ever otherwise.
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
    ::alarm(10);
    EXPECT_THROW(FileSystem::ReadFile(dir.File("fifo")), EOSError);
    ::alarm(0);
    EXPECT_TRUE(FileSystem::DeleteFile(dir.File("b.txt")));
    EXPECT_FALSE(FileSystem::DeleteFile(dir.File("b.txt")));
}

TEST(FileSystemTest, AtomicFileReplacesOnlyOnCommitAndRefusesReadOnlyFiles) {
    TTempDir dir;
    const std::string path = dir.File("budget.qn");
    WriteFileAtomic(path, "old contents", 0640);
    EXPECT_EQ(FileMode(path), 0640u);
    {
        FileSystem::TAtomicFile file(path);
        file.Stream().WriteBuffer("half", 4);
        // Destroyed without Commit, as when an error is raised on the way.
    }
    EXPECT_EQ(FileSystem::ReadFile(path), "old contents");
    EXPECT_EQ(Names(dir.Path()).size(), 1u) << "temporary file left behind";
    WriteFileAtomic(path, "new contents");
    EXPECT_EQ(FileSystem::ReadFile(path), "new contents");
    EXPECT_EQ(FileMode(path), 0640u) << "an existing file keeps its permissions";
    WriteFileAtomic(path, "secret", 0600);
    // A file made read-only is refused, as writing it in place would be, and stays as it is.
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    try {
        WriteFileAtomic(path, "lost");
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), EACCES);
    }
    EXPECT_EQ(FileSystem::ReadFile(path), "secret");
    EXPECT_EQ(FileMode(path), 0444u);
    EXPECT_EQ(Names(dir.Path()).size(), 1u);
    // A link to the file stays a link; the file it points at is replaced.
    WriteFileAtomic(dir.File("real"), "old");
    ASSERT_EQ(::symlink(dir.File("real").c_str(), dir.File("link").c_str()), 0);
    WriteFileAtomic(dir.File("link"), "new");
    EXPECT_EQ(FileSystem::ReadFile(dir.File("real")), "new");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

// The temporary file is written through the descriptor that created it: opened by name a second
// time, it could be a link that another user swapped in.
TEST(FileSystemTest, AtomicFileOpensItsTemporaryFileOnce) {
    TTempDir dir;
    const std::string path = dir.File("budget.qn");
    WriteFileAtomic(path, "old");
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    // Closes are watched too, or two opens in a row would be merged into one event.
    ASSERT_GE(::inotify_add_watch(watch, dir.Path().c_str(), IN_CREATE | IN_OPEN | IN_CLOSE), 0);
    WriteFileAtomic(path, "new");
    std::vector<std::string> created;
    std::map<std::string, int> opened;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (const char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            if (event->len > 0 && (event->mask & IN_CREATE) != 0)
                created.emplace_back(event->name);
            if (event->len > 0 && (event->mask & IN_OPEN) != 0)
                ++opened[event->name];
            p += sizeof(inotify_event) + event->len;
        }
    }
    ::close(watch);
    ASSERT_EQ(created.size(), 1u);
    EXPECT_TRUE(std::regex_match(created[0], std::regex(R"(\.budget\.qn\.save-[A-Za-z0-9]{6})")))
        << created[0];
    EXPECT_EQ(opened[created[0]], 1);
    EXPECT_EQ(FileSystem::ReadFile(path), "new");
}

TEST(FileSystemTest, AtomicFileRemovesOnlyWhatKilledSavesOfTheSameFileLeft) {
    TTempDir dir;
    const std::string path = dir.File("budget.qn");
    WriteFileAtomic(path, "old");
    // Killed part-way: the process ends without unwinding.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FileSystem::TAtomicFile file(path);
        file.Stream().WriteBuffer("half", 4);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::vector<std::string> killed = Names(dir.Path(), ".budget.qn.save-??????");
    ASSERT_EQ(killed.size(), 1u);
    std::vector<std::string> lookalikes = {".budget.qn.save-abc", ".budget.qn.save-abcdefg",
                                           ".budget.qn.save-ab.def", ".other.qn.save-abcdef",
                                           "budget.qn.save-abcdef"};
    for (const std::string& name : lookalikes)
        WriteFileAtomic(dir.File(name), "keep");
    WriteFileAtomic(dir.File(".budget.qn.save-foreig"), "keep");
    if (::chown(dir.File(".budget.qn.save-foreig").c_str(), 65534, 65534) == 0)
        lookalikes.push_back(".budget.qn.save-foreig"); // another user's
    ASSERT_TRUE(FileSystem::ForceFolders(dir.File(".budget.qn.save-folder")));
    WriteFileAtomic(dir.File("target"), "keep");
    ASSERT_EQ(::symlink("target", dir.File(".budget.qn.save-linked").c_str()), 0);
    lookalikes.insert(lookalikes.end(), {".budget.qn.save-folder", ".budget.qn.save-linked"});
    // A save still running, in this process or another, holds its file locked.
    FileSystem::TAtomicFile running(path);
    running.Stream().WriteBuffer("running", 7);
    WriteFileAtomic(path, "new");
    struct stat st {};
    EXPECT_NE(::lstat(dir.File(killed[0]).c_str(), &st), 0) << "the killed save's copy";
    for (const std::string& name : lookalikes)
        EXPECT_EQ(::lstat(dir.File(name).c_str(), &st), 0) << name;
    EXPECT_EQ(FileSystem::ReadFile(dir.File("target")), "keep");
    running.Commit();
    EXPECT_EQ(FileSystem::ReadFile(path), "running");
}

// A file is waited for while it is being written: until two looks a step apart see the same
// stamp, older than the recent window. One that goes on changing is given up on in time, even
// behind a link; one that is not there is not waited for.
TEST(FileSystemTest, WaitUntilStill) {
    using namespace std::chrono;
    TTempDir dir;
    const std::string path = dir.File("budget.qn"), link = dir.File("link.qn");
    WriteFileAtomic(path, "budget");
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    std::atomic<bool> writing = false, stop = false;
    Workers::TBackgroundTask writer;
    ASSERT_TRUE(writer.Start([&] {
        while (!stop) {
            if (writing) {
                const int handle = ::open(path.c_str(), O_WRONLY | O_APPEND);
                if (handle >= 0) {
                    EXPECT_EQ(::write(handle, "x", 1), 1);
                    ::close(handle);
                }
            }
            std::this_thread::sleep_for(2ms);
        }
    }));
    const struct {
        const char* what;
        std::string name;
        bool writing, still;
    } cases[] = {{"missing", dir.File("missing.qn"), false, true},
                 {"just written", path, false, true},
                 {"being written", path, true, false},
                 {"linked to a file being written", link, true, false}};
    constexpr milliseconds Limit{200};
    for (const auto& c : cases) {
        WriteFileAtomic(path, "budget");
        writing = c.writing;
        const auto start = steady_clock::now();
        const bool still = FileSystem::WaitUntilStill(c.name, Limit);
        const auto took = steady_clock::now() - start;
        writing = false;
        EXPECT_EQ(still, c.still) << c.what;
        EXPECT_LT(took, Limit + 1s) << c.what;
        struct stat info {};
        if (::stat(c.name.c_str(), &info) != 0) {
            EXPECT_LT(took, FileSystem::StillStep) << c.what; // at once
        } else if (still) {
            EXPECT_FALSE(TStream::TStamp::Of(info).Recent()) << c.what;
        }
    }
    stop = true;
    writer.Wait();
}
