#include "platform/Stream.h"

#include <cerrno>

#include <gtest/gtest.h>

#include "platform/FileSystem.h"
#include "support/TempDir.h"

TEST(StreamTest, MemoryStreamReadsShortAtTheEndAndFillsGapsWithZeros) {
    TMemoryStream stream(std::string("abc", 3));
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 8), 3u);
    EXPECT_EQ(stream.Remaining(), 0u);
    stream.Seek(5);
    EXPECT_EQ(stream.Read(buffer, 1), 0u);
    EXPECT_EQ(stream.Write("!", 1), 1u);
    EXPECT_EQ(stream.Data(), std::string("abc\0\0!", 6));
}

TEST(StreamTest, FileStreams) {
    TTempDir temp;
    const std::string name = temp.File("data.bin");
    {
        TFileStream out(name, TFileMode::Create);
        EXPECT_EQ(out.Write("0123456789", 10), 10u);
        out.Seek(2);
        EXPECT_EQ(out.Write("xy", 2), 2u);
        EXPECT_EQ(out.Position(), 4u);
        EXPECT_EQ(out.Size(), 10u);
        EXPECT_TRUE(out.SizeKnown());
        EXPECT_NO_THROW(out.Flush());
    }
    TFileStream in(name, TFileMode::OpenRead);
    char buffer[16] = {};
    in.Seek(6);
    EXPECT_EQ(in.Remaining(), 4u);
    EXPECT_EQ(in.Read(buffer, 16), 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    // A read-only stream takes nothing, and says so.
    EXPECT_EQ(in.Write("z", 1), 0u);
    EXPECT_THROW(in.WriteBuffer("z", 1), EWriteError);
    { TFileStream again(name, TFileMode::Create); } // truncates
    EXPECT_EQ(FileSystem::ReadFile(name), "");

    const std::string missing = temp.File("missing.qvb");
    try {
        TFileStream stream(missing, TFileMode::OpenRead);
        FAIL() << "opening a missing file succeeded";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), ENOENT);
        EXPECT_EQ(error.Message(),
                  "Cannot open file \"" + missing + "\": No such file or directory");
    }
    EXPECT_THROW(TFileStream(temp.File("no/such/folder"), TFileMode::Create), EOSError);
}
