#include <string>

#include "ModelTestSupport.h"
#include "model/QVSettingsStorage.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/TextConv.h"
#include "support/Outcome.h"

using namespace Registry;

namespace {

constexpr const char* AppKey = "Software\\Tavrin\\Quillvane";

class SettingsTest : public ModelTest {
protected:
    static void Put(const std::string& name, const std::string& data, DWORD type = REG_BINARY) {
        HKEY key = nullptr;
        ASSERT_EQ(CreateKey(HKEY_CURRENT_USER, AppKey, KEY_WRITE, key), ERROR_SUCCESS);
        SetValue(key, name, type, data);
        CloseKey(key);
    }
    static std::string StoreText() { return FileSystem::ReadFile(StoreFileName()); }
    static TQVSettings Loaded() {
        TQVSettings settings;
        settings.Load();
        return settings;
    }
};

// The message of the settings store error that `action` raises, or "ok".
template <class F> std::string ErrorOf(F action) {
    return Outcome<EQVSettingsStorageError>(action);
}

} // namespace

// The settings never set RaiseErrors; a storage that does reports with the fixed messages.
TEST_F(SettingsTest, RaisingStorageReportsWithTheFixedMessages) {
    TQVRegistrySettingsStorage storage;
    storage.KeyPath = AppKey;
    storage.RaiseErrors = true;
    std::string value;
    EXPECT_EQ(ErrorOf([&] { storage.OpenRead(); }), "Registry open error 2");
    Put("Word", "x", REG_SZ);
    // A missing value counts as one of type 0, which is reported before the failed read.
    EXPECT_EQ(ErrorOf([&] { storage.ReadRaw("Missing", "", value); }), "Wrong value type: 0");
    EXPECT_EQ(ErrorOf([&] { storage.ReadRaw("Word", "", value); }), "Wrong value type: 1");
    storage.RaiseErrors = false;
    storage.ReadRaw("Word", "", value);
    EXPECT_EQ(value, "x") << "bytes of another type come back as they are";
    storage.RaiseErrors = true;
    EXPECT_EQ(ErrorOf([&] { storage.WriteRaw("Two\nlines", "x"); }), "Registry write error 87");
    storage.OpenWrite();
    storage.WriteRaw("Lost", "x");
    // The values reach the disk when the key is closed: a folder that cannot take them fails it.
    const std::string folder = Home.File("config/Tavrin Group");
    ASSERT_EQ(::rename(folder.c_str(), Home.File("moved").c_str()), 0);
    FileSystem::WriteFileAtomic(folder, "not a folder");
    EXPECT_EQ(ErrorOf([&] { storage.CloseWrite(); }), "Registry write error 5");
    EXPECT_EQ(ErrorOf([&] { storage.OpenWrite(); }), "Registry open error 5");
}

TEST_F(SettingsTest, SaveWritesEveryValueInOrderAndLoadReadsItBack) {
    TQVSettings settings;
    settings.ShowA2A = false;
    settings.Lang = "ru";
    settings.TrayDblClick = 2;
    settings.Save();
    const std::string text = StoreText();
    std::size_t last = 0;
    for (const char* line : {"\"ShowA2A\"=hex:00\n", "\"ShowEmptyMonths\"=hex:01\n",
                             "\"ShowBalanceAdjustments\"=hex:01\n", "\"UseTray\"=hex:01\n",
                             "\"Notifications\"=hex:01\n", "\"Lang\"=hex:72,75\n",
                             "\"HideOnMinimize\"=hex:01\n", "\"HideOnClose\"=hex:01\n",
                             "\"AutoOpenLast\"=hex:01\n", "\"TrayDblClick\"=hex:00,00,00,03\n",
                             "\"RecentName01\"=hex:\n", "\"RecentLocation05\"=hex:\n"}) {
        const std::size_t at = text.find(line);
        ASSERT_NE(at, std::string::npos) << line << text;
        EXPECT_GT(at, last) << line;
        last = at;
    }
    const TQVSettings loaded = Loaded();
    EXPECT_FALSE(loaded.ShowA2A);
    EXPECT_TRUE(loaded.ShowEmptyMonths);
    EXPECT_EQ(loaded.Lang, "ru");
    EXPECT_EQ(loaded.TrayDblClick, 2);
    EXPECT_TRUE(loaded.RecentNames.empty()) << "empty pairs stand for no entry";
    // The tray action is stored as the values 1 to 3 in four bytes, anything else is none; a
    // Boolean is true only as the single byte 0x01 of binary type.
    const std::pair<std::string, int> actions[] = {
        {QVUtils::IntToBytes(2), 1}, {QVUtils::IntToBytes(3), 2},
        {QVUtils::IntToBytes(1), 0}, {QVUtils::IntToBytes(4), 0},
        {std::string("\x02"), 0},    {std::string("\0\0\0\0\x02", 5), 0}};
    for (const auto& [bytes, action] : actions) {
        Put("TrayDblClick", bytes);
        EXPECT_EQ(Loaded().TrayDblClick, action) << bytes.size() << " bytes";
    }
    Put("ShowA2A", std::string("\x01\x00", 2));
    Put("UseTray", std::string("\x01\0\0\0", 4), REG_DWORD);
    Put("AutoOpenLast", std::string("\0", 1));
    const TQVSettings strict = Loaded();
    EXPECT_FALSE(strict.ShowA2A || strict.UseTray || strict.AutoOpenLast);
}

TEST_F(SettingsTest, RecentBudgetsKeepFiveInTheStore) {
    for (int i = 1; i <= 7; ++i)
        Env().AddRecent(u"Budget " + std::u16string(1, static_cast<char16_t>(u'0' + i)),
                        Home.File("b" + std::to_string(i) + ".qn"));
    ASSERT_EQ(Env().Settings().RecentNames.size(), 7u);
    Env().Settings().Save();
    const std::string text = StoreText();
    EXPECT_NE(text.find("\"RecentName01\"=hex:42,00,75,00,64,00,67,00,65,00,74,00,20,00,37,00\n"),
              std::string::npos);
    EXPECT_EQ(text.find("RecentName06"), std::string::npos);
    TQVSettings loaded = Loaded();
    ASSERT_EQ(loaded.RecentNames.size(), 5u);
    EXPECT_EQ(loaded.RecentNames[4], u"Budget 3");
    EXPECT_EQ(loaded.RecentLocations[0], TextConv::Utf8ToWide(Home.File("b7.qn")));
    // Two entries: pairs 03 to 05 are written empty, and so stand for nothing.
    loaded.RecentNames.resize(2);
    loaded.RecentLocations.resize(2);
    loaded.Save();
    EXPECT_NE(StoreText().find("\"RecentLocation03\"=hex:\n"), std::string::npos);
    EXPECT_EQ(Loaded().RecentNames, loaded.RecentNames);
    // Only pairs empty on both sides are skipped; the others keep their order, gaps closed.
    Put("RecentName01", "");
    Put("RecentName02", "");
    Put("RecentLocation02", "");
    Put("RecentName04", QVBase::WideToBytes(u"Four"));
    Put("RecentLocation04", QVBase::WideToBytes(u"/four.qn"));
    const TQVSettings gaps = Loaded();
    EXPECT_EQ(gaps.RecentNames, (std::vector<std::u16string>{u"", u"Four"}));
    EXPECT_EQ(gaps.RecentLocations[0], TextConv::Utf8ToWide(Home.File("b7.qn")));
}

TEST_F(SettingsTest, AddRecentMovesTheSameFileToTheFront) {
    Env().AddRecent(u"One", Home.File("Budget.qn"));
    Env().AddRecent(u"Two", Home.File("other.qn"));
    Env().AddRecent(u"One renamed", Home.File("sub/../Budget.qn"));
    const TQVSettings& settings = Env().Settings();
    EXPECT_EQ(settings.RecentNames, (std::vector<std::u16string>{u"One renamed", u"Two"}));
    ASSERT_EQ(settings.RecentLocations.size(), 2u);
    EXPECT_EQ(settings.RecentLocations[0], TextConv::Utf8ToWide(Home.File("Budget.qn")));
    Env().AddRecent(u"Upper", Home.File("BUDGET.QN")); // another file on this system
    EXPECT_EQ(settings.RecentNames.size(), 3u);
}

// The entry runs this program; one that starts another copy of it is not this program's.
TEST_F(SettingsTest, AutostartEntryNamesThisProgram) {
    const std::string exe = QVBase::GetExeName();
    Env().EnableAutorun();
    EXPECT_NE(FileSystem::ReadFile(Home.File("config/autostart/quillvane-autostart.desktop"))
                  .find("\nX-Quillvane-Value=" + exe + " /autorun\n"),
              std::string::npos);
    HKEY key = nullptr;
    ASSERT_EQ(OpenKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                      KEY_WRITE, key),
              ERROR_SUCCESS);
    SetValue(key, "Quillvane autostart", REG_SZ, "/opt/old/quillvane /autorun");
    CloseKey(key);
    EXPECT_FALSE(Env().IsAutorunEnabled());
}
