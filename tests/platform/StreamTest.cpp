#include "platform/Stream.h"

#include <cerrno>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace {

std::string ReadAll(const std::string& fileName) {
    std::ifstream file(fileName, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

TEST(StreamTest, MemoryStreamReadsShortAtEnd) {
    TMemoryStream stream(std::string("abc\0def", 7));
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), std::string("abc\0d", 5));
    EXPECT_EQ(stream.Remaining(), 2u);
    EXPECT_EQ(stream.Read(buffer, 8), 2u);
    EXPECT_EQ(stream.Read(buffer, 8), 0u);
    EXPECT_EQ(stream.Remaining(), 0u);

    stream.Seek(100);
    EXPECT_EQ(stream.Read(buffer, 1), 0u);
    EXPECT_EQ(stream.Remaining(), 0u);
}

TEST(StreamTest, MemoryStreamWritesOverAndPastTheEnd) {
    TMemoryStream stream;
    EXPECT_EQ(stream.Write("hello", 5), 5u);
    stream.Seek(1);
    EXPECT_EQ(stream.Write("EL", 2), 2u);
    EXPECT_EQ(stream.Data(), "hELlo");
    EXPECT_EQ(stream.Position(), 3u);
    stream.Seek(7);
    EXPECT_EQ(stream.Write("!", 1), 1u);
    EXPECT_EQ(stream.Data(), std::string("hELlo\0\0!", 8));
    EXPECT_EQ(stream.Size(), 8u);
}

TEST(StreamTest, FileStreamCreateWriteReopenRead) {
    TTempDir temp;
    const std::string name = temp.File("data.bin");
    {
        TFileStream out(name, TFileMode::Create);
        EXPECT_EQ(out.Write("0123456789", 10), 10u);
        out.Seek(2);
        EXPECT_EQ(out.Write("xy", 2), 2u);
        EXPECT_EQ(out.Position(), 4u);
        EXPECT_EQ(out.Size(), 10u);
        EXPECT_NO_THROW(out.Flush());
    }
    EXPECT_EQ(ReadAll(name), "01xy456789");

    TFileStream in(name, TFileMode::OpenRead);
    char buffer[16] = {};
    in.Seek(6);
    EXPECT_EQ(in.Remaining(), 4u);
    EXPECT_EQ(in.Read(buffer, 16), 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(in.Read(buffer, 16), 0u);
    // A read-only stream takes nothing, and says so.
    EXPECT_EQ(in.Write("z", 1), 0u);
    EXPECT_THROW(in.WriteBuffer("z", 1), EWriteError);

    // Creating again truncates.
    { TFileStream again(name, TFileMode::Create); }
    EXPECT_EQ(ReadAll(name), "");
}

TEST(StreamTest, OpenFailuresRaiseOSError) {
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
    try {
        TFileStream stream(temp.File("no/such/folder"), TFileMode::Create);
        FAIL() << "creating in a missing folder succeeded";
    } catch (const EOSError& error) {
        EXPECT_EQ(error.ErrorCode(), ENOENT);
        EXPECT_EQ(error.Message().rfind("Cannot create file \"", 0), 0u);
    }
}
