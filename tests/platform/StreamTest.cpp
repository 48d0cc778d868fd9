#include "platform/Stream.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
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
