#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/Exception.h"
#include "platform/FileSystem.h"
#include "support/TempDir.h"

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

std::vector<std::string> Names(const std::vector<FileSystem::TDirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry.Name);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(FileSystemTest, FindFilesMatchesPatternAndReportsKindAndSize) {
    TTempDir dir;
    FileSystem::WriteFileAtomic(dir.File("a.cpw"), std::string(72, 'x'));
    FileSystem::WriteFileAtomic(dir.File("b.txt"), "hello");
    ASSERT_TRUE(FileSystem::ForceFolders(dir.File("c.cpw")));

    const auto found = FileSystem::FindFiles(dir.Path(), "*.cpw");
    EXPECT_EQ(Names(found), (std::vector<std::string>{"a.cpw", "c.cpw"}));
    for (const auto& entry : found) {
        EXPECT_EQ(entry.IsFolder, entry.Name == "c.cpw");
        if (!entry.IsFolder) {
            EXPECT_EQ(entry.Size, 72u);
        }
    }
    EXPECT_EQ(FileSystem::FindFiles(dir.Path(), "*").size(), 3u);
    EXPECT_TRUE(FileSystem::FindFiles(dir.File("missing"), "*").empty());
}

TEST(FileSystemTest, ForceFoldersCreatesParentsWithTheMode) {
    TTempDir dir;
    const std::string deep = dir.File("one/two/three");
    ASSERT_TRUE(FileSystem::ForceFolders(deep, 0700));
    EXPECT_EQ(ModeOf(deep), 0700u);
    EXPECT_TRUE(FileSystem::ForceFolders(deep)); // already there

    FileSystem::WriteFileAtomic(dir.File("file"), "x");
    EXPECT_FALSE(FileSystem::ForceFolders(dir.File("file")));
    EXPECT_FALSE(FileSystem::ForceFolders(dir.File("file/below")));
}

TEST(FileSystemTest, AtomicFileReplacesOnlyOnCommit) {
    TTempDir dir;
    const std::string path = dir.File("budget.qn");
    FileSystem::WriteFileAtomic(path, "old contents", 0640);
    EXPECT_EQ(ModeOf(path), 0640u);

    {
        FileSystem::TAtomicFile file(path);
        file.Stream().WriteBuffer("half", 4);
        // Destroyed without Commit, as when an error is raised on the way.
    }
    EXPECT_EQ(FileSystem::ReadFile(path), "old contents");
    EXPECT_EQ(FileSystem::FindFiles(dir.Path(), "*").size(), 1u) << "temporary file left behind";

    FileSystem::WriteFileAtomic(path, "new contents");
    EXPECT_EQ(FileSystem::ReadFile(path), "new contents");
    EXPECT_EQ(ModeOf(path), 0640u) << "an existing file keeps its permissions";

    FileSystem::WriteFileAtomic(path, "secret", 0600);
    EXPECT_EQ(ModeOf(path), 0600u);
}

TEST(FileSystemTest, AtomicFileKeepsALinkToTheFile) {
    TTempDir dir;
    FileSystem::WriteFileAtomic(dir.File("real"), "old");
    ASSERT_EQ(::symlink(dir.File("real").c_str(), dir.File("link").c_str()), 0);
    FileSystem::WriteFileAtomic(dir.File("link"), "new");
    EXPECT_EQ(FileSystem::ReadFile(dir.File("real")), "new");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.File("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(FileSystemTest, FailuresAreReported) {
    TTempDir dir;
    EXPECT_THROW(FileSystem::ReadFile(dir.File("missing")), EOSError);
    EXPECT_THROW(FileSystem::WriteFileAtomic(dir.File("no/such/folder/file"), "x"), EOSError);
    EXPECT_FALSE(FileSystem::DeleteFile(dir.File("missing")));
    FileSystem::WriteFileAtomic(dir.File("gone"), "x");
    EXPECT_TRUE(FileSystem::DeleteFile(dir.File("gone")));
    EXPECT_FALSE(FileSystem::FileExists(dir.File("gone")));
}
