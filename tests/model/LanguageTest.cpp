#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/QVEnvironment.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"
#include "storage/container/QVCompoundFile.h"
#include "support/ItemDump.h"
#include "support/Outcome.h"
#include "support/TempDir.h"

namespace {

// Writes the table as a language file, protected by `password` (the empty one too) when given.
void WriteTable(TQVStringKeeper& table, const std::string& fileName,
                std::optional<std::string> password = {}, int extraPairs = 0) {
    TQVCompoundFile container;
    table.SaveToFolder(container.Root());
    if (password) {
        container.Protected = true;
        container.OnPassword = [password](TQVCompoundFile&, TSecret& result, bool&) {
            result = *password;
        };
    }
    // Incomplete pairs and a stray file, which a reader passes over.
    auto* pairs = static_cast<TQVCFFolder*>(container.Root().FindItem(u"s", false));
    for (int i = 0; i < extraPairs; ++i)
        pairs->NewFolder(u"x" + std::u16string(1, static_cast<char16_t>(u'0' + i)))
            .NewFile(i % 2 ? u"n" : u"v");
    if (extraPairs > 0)
        pairs->NewFile(u"stray");
    TFileStream file(fileName, TFileMode::Create);
    container.SaveToStream(file);
}

void WriteTable(const std::string& fileName, std::string id, std::u16string title = u"",
                std::optional<std::string> password = {}) {
    TQVStringKeeper table;
    table.Id = std::move(id);
    table.Title = std::move(title);
    table.AddString(u"MNU_FILE", u"&File");
    WriteTable(table, fileName, password);
}

std::u16string Lookup(const TQVStringKeeper& table, std::u16string_view key) {
    std::u16string result = u"stale";
    table.GetString(key, u"<missing>", result);
    return result;
}

std::u16string Ascii(const std::string& text) {
    return {text.begin(), text.end()};
}

} // namespace

TEST(StringKeeperTest, FileLayoutRoundTripAndCaseBlindLookups) {
    TQVStringKeeper small;
    small.Id = "xx";
    small.Title = u"T";
    small.Description = u"D";
    small.AddString(u"K", u"V");
    TQVCFFolder stored;
    small.SaveToFolder(stored);
    EXPECT_EQ(DumpTree(stored),
              "/: s/ d=D\\x00 id=xx t=T\\x00 type=str\n/s/: 0/\n/s/0/: n=K\\x00 v=V\\x00\n");
    TTempDir dir;
    TQVStringKeeper table;
    table.Id = "de-CH";
    table.Title = u"Deutsch";
    table.AddString(u"MNU_FILE", u"&Datei");
    table.AddString(u"\u00C4RGER_\u0416", u"\u00E4");
    table.AddString(u"mnu_file", u"second");
    for (int i = 0; i < 9; ++i) // beyond ten pairs, read in the order the folder holds them
        table.AddString(u"K" + Ascii(std::to_string(i)), u"T" + Ascii(std::to_string(i)));
    WriteTable(table, dir.File("de.lng"), std::nullopt, 3);
    TQVStringKeeper loaded;
    loaded.AddString(u"OLD", u"old"); // a load replaces what was there
    loaded.LoadFromFile(dir.File("de.lng"));
    EXPECT_EQ(loaded.Id, "de-CH");
    EXPECT_EQ(loaded.Title, table.Title);
    ASSERT_EQ(loaded.Count(), 12);
    EXPECT_EQ(loaded.GetKey(2), u"K7"); // "0", "1", "10", "11", "2", ...
    EXPECT_EQ(loaded.GetKey(11), u"K6");
    EXPECT_EQ(Lookup(loaded, u"mnu_file"), u"&Datei"); // the first of the repeated key
    EXPECT_EQ(Lookup(loaded, u"\u00E4rger_\u0436"), u"\u00E4");
    EXPECT_EQ(Lookup(loaded, u"MNU_FILE_"), u"<missing>");
}

class LanguageScanTest : public ::testing::Test {
protected:
    std::string Folder(const std::string& name) {
        const std::string path = FHome.File(name);
        EXPECT_TRUE(FileSystem::ForceFolders(path));
        return path;
    }
    // Scans `folders` with `lang` as the chosen language and returns the title picked.
    std::u16string Scan(const std::vector<std::string>& folders, const std::string& lang) {
        FEnv->Settings().Lang = lang;
        FEnv->LoadLanguagesFrom(folders);
        return FEnv->CurrentLanguage ? FEnv->CurrentLanguage->Title : u"<none>";
    }
    TTempDir FHome;
    TScopedEnv FData{"XDG_DATA_HOME", FHome.File("data")};
    TScopedEnv FConfig{"XDG_CONFIG_HOME", FHome.File("config")};
    std::unique_ptr<TQVEnvironment> FEnv = std::make_unique<TQVEnvironment>();
};

TEST_F(LanguageScanTest, PicksTheTableByExactIdElseTheFirstAndSkipsTheRest) {
    const std::string exe = Folder("exe");
    const std::string user = Folder("user");
    WriteTable(exe + "/z.lng", "en", u"Program folder");
    WriteTable(user + "/a.lng", "en", u"User folder");
    WriteTable(user + "/de.lng", "de", u"Deutsch");
    FileSystem::WriteFileAtomic(user + "/readme.txt", "MNU_FILE=&File\n");
    WriteTable(Folder("user/nested.lng") + "/t.lng", "nested");
    WriteTable(user + "/empty-password.lng", "xx", u"", "");
    WriteTable(user + "/password.lng", "xx", u"", "secret");
    const std::string whole = FileSystem::ReadFile(user + "/de.lng");
    FileSystem::WriteFileAtomic(user + "/cut.lng", whole.substr(0, whole.size() - 5));
    FileSystem::WriteFileAtomic(user + "/empty.lng", "");
    TQVCompoundFile other; // a container, but no table
    other.Root().NewFile(u"type").Data = "src";
    TFileStream file(user + "/other.lng", TFileMode::Create);
    other.SaveToStream(file);
    EXPECT_EQ(Scan({exe, user}, "de"), u"Deutsch");
    EXPECT_EQ(FEnv->LanguageCount(), 3);
    EXPECT_EQ(Scan({exe + "/", user + "/"}, "en"), u"Program folder"); // the earlier folder wins
    // No exact match, also not in another letter case: the first table, whose id is kept.
    for (const char* lang : {"DE", "nested", "xx"}) {
        EXPECT_EQ(Scan({user, exe}, lang), u"User folder") << lang;
        EXPECT_EQ(FEnv->CurrentLanguage, FEnv->GetLanguage(0));
        EXPECT_EQ(FEnv->Settings().Lang, "en");
    }
}

// The shipped table: the name the placeholder account shows, and the month names.
TEST(EnglishTableTest, NamesThePlaceholderAndTheMonths) {
    TQVStringKeeper english;
    english.LoadFromFile(QV_ENGLISH_LNG);
    EXPECT_EQ(english.Id, "en");
    EXPECT_EQ(english.Title, u"English");
    EXPECT_EQ(Lookup(english, u"UNTITLED"), u"Untitled");
    const std::string keys = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(Lookup(english, Ascii("MONTH_LONG_" + keys.substr(3 * (month - 1), 3))),
                  QVUtils::MonthNames[month])
            << month;
}
