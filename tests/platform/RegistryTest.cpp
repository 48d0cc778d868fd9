#include "platform/Registry.h"

#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "support/TempDir.h"

using namespace Registry;

namespace {

constexpr const char* AppKey = "Software\\Tavrin\\Quillvane";
constexpr const char* RunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class RegistryTest : public ::testing::Test {
protected:
    TTempDir Home;
    TScopedEnv Config{"XDG_CONFIG_HOME", Home.File("config")};
    TScopedEnv Data{"XDG_DATA_HOME", Home.File("data")};
    std::string StoreFolder() const { return Home.File("config/Tavrin Group/Quillvane"); }
    static HKEY Open(const char* path, DWORD access) {
        HKEY key = nullptr;
        EXPECT_EQ(CreateKey(HKEY_CURRENT_USER, path, access, key), ERROR_SUCCESS);
        return key;
    }
    // The value's type and bytes, or type REG_NONE when it cannot be read.
    static std::pair<DWORD, std::string> Read(const char* path, const std::string& name) {
        HKEY key = nullptr;
        DWORD type = REG_NONE;
        std::string data;
        if (OpenKey(HKEY_CURRENT_USER, path, KEY_READ, key) == ERROR_SUCCESS) {
            QueryValue(key, name, type, data);
            CloseKey(key);
        }
        return {type, data};
    }
    void WriteStore(const std::string& text) const {
        ASSERT_TRUE(FileSystem::ForceFolders(StoreFolder()));
        FileSystem::WriteFileAtomic(StoreFileName(), text);
    }
};

} // namespace

TEST_F(RegistryTest, EveryValueTypeSurvivesTheFile) {
    const struct {
        const char* name;
        DWORD type;
        std::string data;
    } values[] = {
        {"Bin", REG_BINARY, std::string("\x01\x00\xff", 3)},
        {"Empty", REG_BINARY, ""},
        {"Text", REG_SZ, "C:\\dir\\\"quoted\" Zürich €"},
        {"Controls", REG_SZ, "two\nlines\x01"},
        {"Count", REG_DWORD, std::string("\x0a\x00\x00\x80", 4)},
        {"Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        {"", REG_SZ, "default"},
    };
    // A rewrite keeps the keys it does not touch and makes a file others could read private.
    WriteStore("Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software\\Other]\n"
               "\"Keep\"=dword:1\n");
    ASSERT_EQ(::chmod(StoreFileName().c_str(), 0644), 0);
    HKEY key = Open(AppKey, KEY_WRITE);
    for (const auto& v : values)
        EXPECT_EQ(SetValue(key, v.name, v.type, v.data), ERROR_SUCCESS) << v.name;
    EXPECT_EQ(SetValue(key, "bin", REG_BINARY, values[0].data), ERROR_SUCCESS)
        << "names ignore case";
    EXPECT_EQ(SetValue(key, "Two\nlines", REG_BINARY, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(CloseKey(key), ERROR_SUCCESS);
    const std::string file = FileSystem::ReadFile(StoreFileName());
    EXPECT_EQ(file.rfind("Windows Registry Editor Version 5.00\n", 0), 0u);
    EXPECT_NE(file.find("\n[HKEY_CURRENT_USER\\Software\\Tavrin\\Quillvane]\n"
                        "\"Bin\"=hex:01,00,ff\n"
                        "\"Empty\"=hex:\n"
                        "\"Text\"=\"C:\\\\dir\\\\\\\"quoted\\\" Zürich €\"\n"
                        "\"Controls\"=hex(1):74,77,6f,0a,6c,69,6e,65,73,01\n"
                        "\"Count\"=dword:8000000a\n"
                        "\"Multi\"=hex(7):61,00,62,00,00\n"
                        "@=\"default\"\n"),
              std::string::npos)
        << file;
    EXPECT_EQ(FileMode(StoreFileName()), 0600u);
    EXPECT_EQ(FileMode(StoreFolder()), 0700u);
    EXPECT_EQ(FileSystem::FindFiles(StoreFolder(), "*").size(), 1u) << "temporary file left";
    // Read back from the file, now that no key holds it in memory.
    for (const auto& v : values)
        EXPECT_EQ(Read(AppKey, v.name), std::make_pair(v.type, v.data)) << v.name;
    EXPECT_EQ(Read("software\\TAVRIN\\quillvane\\", "BIN").first, REG_BINARY);
    EXPECT_EQ(Read("Software\\Other", "Keep"),
              std::make_pair(REG_DWORD, std::string("\1\0\0\0", 4)));
    key = Open(AppKey, KEY_ALL_ACCESS);
    EXPECT_EQ(DeleteValue(key, "TEXT"), ERROR_SUCCESS);
    CloseKey(key);
    EXPECT_EQ(Read(AppKey, "Text").first, REG_NONE);
}

TEST_F(RegistryTest, MissingFileIsAnEmptyRegistryAndReadingCreatesNothing) {
    HKEY key = nullptr;
    EXPECT_EQ(OpenKey(HKEY_CURRENT_USER, AppKey, KEY_WRITE, key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    // The Run key's parents always exist, as on Windows.
    ASSERT_EQ(OpenKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows", KEY_READ, key),
              ERROR_SUCCESS);
    CloseKey(key);
    EXPECT_FALSE(Folders::FolderExists(Home.File("config"))) << "a read wrote something";
    // A created key persists without values, and then so do its parents.
    EXPECT_EQ(CloseKey(Open(AppKey, KEY_WRITE)), ERROR_SUCCESS);
    EXPECT_EQ(OpenKey(HKEY_CURRENT_USER, "Software\\Tavrin", KEY_READ, key), ERROR_SUCCESS);
    CloseKey(key);
}

TEST_F(RegistryTest, DamagedLinesAreSkipped) {
    WriteStore("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
               "\"Orphan\"=hex:01\r\n"
               "[HKEY_CURRENT_USER\\Software\\Tavrin\\Quillvane]\r\n"
               "\"Good1\"=hex:01,02,\\\n"
               "  03,04\n"
               "\"BadHex\"=hex:zz\n"
               "\"LongDword\"=dword:123456789\n"
               "\"Trailing\"=\"x\" junk\n"
               "\"Good2\"=dword:ff\n"
               "[HKEY_CURRENT_USER\\Software\\Tavrin\\Quillvane\n"
               "\"AfterBadKey\"=hex:01\n"
               "[hkey_current_user\\software\\tavrin\\quillvane]\n"
               "\"Good3\"=\"a\\\"b\"\n");
    EXPECT_EQ(Read(AppKey, "Good1"), std::make_pair(REG_BINARY, std::string("\x01\x02\x03\x04")));
    EXPECT_EQ(Read(AppKey, "Good2"), std::make_pair(REG_DWORD, std::string("\xff\0\0\0", 4)));
    EXPECT_EQ(Read(AppKey, "Good3"), std::make_pair(REG_SZ, std::string("a\"b")));
    for (const char* name : {"Orphan", "BadHex", "LongDword", "Trailing", "AfterBadKey"})
        EXPECT_EQ(Read(AppKey, name).first, REG_NONE) << name;
}

TEST_F(RegistryTest, RunKeyValuesAreAutostartEntries) {
    const std::string folder = Home.File("config/autostart");
    ASSERT_TRUE(FileSystem::ForceFolders(Home.File("my apps")));
    const std::string program = Home.File("my apps/quill$vane 100%");
    FileSystem::WriteFileAtomic(program, "");
    const std::string commandLine = program + " /autorun";
    HKEY key = nullptr;
    ASSERT_EQ(OpenKey(HKEY_CURRENT_USER, RunKey, KEY_WRITE, key), ERROR_SUCCESS);
    EXPECT_TRUE(Folders::FolderExists(folder)) << "opening for writing makes the folder";
    EXPECT_EQ(SetValue(key, "Quillvane autostart", REG_BINARY, "x"), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(SetValue(key, "Quillvane autostart", REG_SZ, commandLine), ERROR_SUCCESS);
    CloseKey(key);
    const std::string entry = FileSystem::ReadFile(folder + "/quillvane-autostart.desktop");
    EXPECT_EQ(entry, "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=Quillvane autostart\n"
                     "Exec=\"" +
                         Home.File("my apps/quill\\\\$vane 100%%") +
                         "\" /autorun\n"
                         "X-Quillvane-Value=" +
                         commandLine + "\n");
    EXPECT_EQ(Read(RunKey, "QUILLVANE AUTOSTART"), std::make_pair(REG_SZ, commandLine));
    EXPECT_FALSE(FileSystem::FileExists(StoreFileName())) << "the Run key is not in the file";
    // Another program's entries are neither seen nor overwritten nor removed.
    FileSystem::WriteFileAtomic(folder + "/my-entry.desktop",
                                "[Desktop Entry]\nType=Application\nName=Mine\nExec=mine\n");
    EXPECT_EQ(Read(RunKey, "Mine").first, REG_NONE);
    ASSERT_EQ(OpenKey(HKEY_CURRENT_USER, RunKey, KEY_WRITE, key), ERROR_SUCCESS);
    EXPECT_EQ(DeleteValue(key, "Mine"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SetValue(key, "My entry", REG_SZ, "/bin/true"), ERROR_SUCCESS);
    EXPECT_TRUE(FileSystem::FileExists(folder + "/my-entry-2.desktop"));
    EXPECT_EQ(DeleteValue(key, "quillvane autostart"), ERROR_SUCCESS);
    CloseKey(key);
    EXPECT_FALSE(FileSystem::FileExists(folder + "/quillvane-autostart.desktop"));
    EXPECT_TRUE(FileSystem::FileExists(folder + "/my-entry.desktop"));
    // Blanks at either end survive, so the entry is found again rather than written anew.
    ASSERT_EQ(OpenKey(HKEY_CURRENT_USER, RunKey, KEY_WRITE, key), ERROR_SUCCESS);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(SetValue(key, " Blank ", REG_SZ, " /bin/true  "), ERROR_SUCCESS);
    EXPECT_EQ(Read(RunKey, " blank "), std::make_pair(REG_SZ, std::string(" /bin/true  ")));
    EXPECT_EQ(Read(RunKey, " blank").first, REG_NONE);
    EXPECT_EQ(FileSystem::FindFiles(folder, "-blank-*.desktop").size(), 1u);
    EXPECT_EQ(DeleteValue(key, " Blank "), ERROR_SUCCESS);
    CloseKey(key);
}

// A FIFO in place of a file would block its reader for ever; it is as unreadable as a file
// without the right to it.
TEST_F(RegistryTest, FifosAreUnreadable) {
    ::alarm(10);
    ASSERT_TRUE(FileSystem::ForceFolders(StoreFolder()));
    ASSERT_EQ(::mkfifo(StoreFileName().c_str(), 0600), 0);
    HKEY key = nullptr;
    EXPECT_EQ(OpenKey(HKEY_CURRENT_USER, AppKey, KEY_READ, key), ERROR_ACCESS_DENIED);
    ASSERT_TRUE(FileSystem::ForceFolders(Home.File("config/autostart")));
    ASSERT_EQ(::mkfifo(Home.File("config/autostart/entry.desktop").c_str(), 0600), 0);
    EXPECT_EQ(Read(RunKey, "Entry").first, REG_NONE);
    ::alarm(0);
}
