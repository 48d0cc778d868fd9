#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "model/QVEnvironment.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVCompoundFile.h"
#include "storage/QVException.h"
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
        container.OnPassword = [password](TQVCompoundFile&, std::string& result, bool&) {
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
    TTempDir dir;
    TQVStringKeeper table;
    table.Id = "de-CH";
    table.Title = u"Deutsch";
    table.Description = u"Gr\u00FCezi";
    table.AddString(u"MNU_FILE", u"&Datei");
    table.AddString(u"\u00C4RGER_\u0416", u"\u00E4");
    table.AddString(u"mnu_file", u"second");
    TQVStringKeeper small;
    small.Id = "xx";
    small.Title = u"T";
    small.Description = u"D";
    small.AddString(u"K", u"V");
    TQVCFFolder stored;
    small.SaveToFolder(stored);
    EXPECT_EQ(DumpTree(stored), R"(/: s/ d=D\x00 id=xx t=T\x00 type=str
/s/: 0/
/s/0/: n=K\x00 v=V\x00
)");

    for (int i = 0; i < 9; ++i) // beyond ten pairs, read in the order the folder holds them
        table.AddString(u"K" + Ascii(std::to_string(i)), u"T" + Ascii(std::to_string(i)));
    WriteTable(table, dir.File("de.lng"), std::nullopt, 3);
    TQVStringKeeper loaded;
    loaded.AddString(u"OLD", u"old"); // a load replaces what was there
    loaded.LoadFromFile(dir.File("de.lng"));
    EXPECT_EQ(loaded.Id, "de-CH");
    EXPECT_EQ(loaded.Title, table.Title);
    EXPECT_EQ(loaded.Description, table.Description);
    ASSERT_EQ(loaded.Count(), 12);
    EXPECT_EQ(loaded.GetKey(2), u"K7"); // "0", "1", "10", "11", "2", ...
    EXPECT_EQ(loaded.GetKey(11), u"K6");
    EXPECT_EQ(Lookup(loaded, u"mnu_file"), u"&Datei"); // the first of the repeated key
    EXPECT_EQ(Lookup(loaded, u"\u00E4rger_\u0436"), u"\u00E4");
    EXPECT_EQ(Lookup(loaded, u"k8"), u"T8");
    EXPECT_EQ(Lookup(loaded, u"MNU_FILE_"), u"<missing>");
    EXPECT_EQ(Lookup(loaded, u""), u"<missing>");
    EXPECT_THROW(loaded.GetKey(12), EListError);
    EXPECT_THROW(loaded.GetText(-1), EListError);
}

TEST(StringKeeperTest, RefusesFilesThatHoldNoPlainTable) {
    TTempDir dir;
    TQVStringKeeper table;
    table.Id = "keep";
    TQVCompoundFile other;
    other.Root().NewFile(u"type").Data = "src";
    {
        TFileStream file(dir.File("other.lng"), TFileMode::Create);
        other.SaveToStream(file);
    }
    EXPECT_EQ(Outcome<EQVException>([&] { table.LoadFromFile(dir.File("other.lng")); }),
              "Invalid object");
    // Protected files are refused whatever their password, the empty one included.
    for (const std::string password : {"secret", ""}) {
        WriteTable(dir.File("p.lng"), "xx", u"", password);
        EXPECT_EQ(Outcome<EPACFError>([&] { table.LoadFromFile(dir.File("p.lng")); }),
                  "Invalid key")
            << password;
    }
    EXPECT_EQ(table.Id, "keep");
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

TEST_F(LanguageScanTest, NoTableAtAllIsAnError) {
    const std::string lang = Folder("lang");
    FileSystem::WriteFileAtomic(lang + "/English.txt", "@id=en\nMNU_FILE=&File\n");
    for (const std::vector<std::string>& folders :
         {std::vector<std::string>{lang}, {FHome.File("missing"), "/nonexistent-folder/lang/"}})
        EXPECT_EQ(Outcome<EQVException>([&] { FEnv->LoadLanguagesFrom(folders); }),
                  "Language file not found");
    EXPECT_EQ(FEnv->LanguageCount(), 0);
    EXPECT_EQ(FEnv->CurrentLanguage, nullptr);
}

TEST(EnglishTableTest, HoldsEveryKeyTheProgramLooksUp) {
    std::istringstream keys(
        "MNU_FILE MNU_EDIT MNU_VIEW MNU_HELP MNU_NEW_BUDGET MNU_OPEN MNU_EXIT MNU_NEW_EXPENSE "
        "MNU_NEW_INCOME MNU_NEW_A2A MNU_NEW_DEBT MNU_NEW_CREDIT MNU_NEW_ACCOUNT MNU_CASHFLOW "
        "MNU_ACCOUNTS MNU_DEBTS MNU_PERSONALISATION MNU_REPORTS MNU_SETTINGS MNU_CONTENTS "
        "MNU_ABOUT MNU_REMOVE MNU_NEW MNU_EXPENSE MNU_INCOME MNU_A2A MNU_DISABLE MNU_ENABLE "
        "MNU_NEW_CATEGORY TV_MONEYFLOW_DATE TV_MONEYFLOW_TITLE TV_MONEYFLOW_CATEGORY "
        "TV_MONEYFLOW_SUM TV_MONEYFLOW_ACCOUNT TV_DEBTS_TITLE TV_DEBTS_PEER TV_DEBTS_SUM "
        "TV_DEBTS_DEADLINE TV_DICT_TITLE TV_DICT_DESCRIPTION TV_DICT_ENABLED TV_SUMMARY_TITLE "
        "TV_SUMMARY_VALUE LEFTBAR_CASHFLOW LEFTBAR_CURRENT_MONTH LEFTBAR_ALL_MONTHS "
        "LEFTBAR_ACCOUNTS LEFTBAR_DEBTS_DEBTS LEFTBAR_DEBTS_CREDITS LEFTBAR_PERSONALISATION "
        "LEFTBAR_EXPENSE_CATS LEFTBAR_INCOME_CATS LEFTBAR_SUMMARY HEADER_ALL_MONTHS HEADER_DEBTS "
        "HEADER_CREDITS HEADER_EXPENSE_CATS HEADER_INCOME_CATS HEADER_SUMMARY LBL_TOTAL_INCOME "
        "LBL_TOTAL_EXPENSE LBL_TOTAL_BALANCE LBL_TOTAL_ITEMS LBL_PERIOD BTN_NEW_ACCOUNT "
        "BTN_DISABLE BTN_CANCEL CONF_ACCOUNT_REMOVAL CONF_DICT_ENTRIES_REMOVAL "
        "WRN_ACCOUNT_IS_REFERENCED WRN_LOCATION_IS_REFERENCED PROMPT_NEW_ACCOUNT_NAME UNTITLED");
    const char16_t* months[] = {u"January",   u"February", u"March",    u"April",
                                u"May",       u"June",     u"July",     u"August",
                                u"September", u"October",  u"November", u"December"};
    const std::string monthKeys = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";

    TQVStringKeeper english;
    english.LoadFromFile(QV_ENGLISH_LNG);
    EXPECT_EQ(english.Id, "en");
    EXPECT_EQ(english.Title, u"English");
    int count = 0;
    for (std::string key; keys >> key; ++count) {
        const std::u16string text = Lookup(english, Ascii(key));
        EXPECT_NE(text, u"<missing>") << key;
        EXPECT_NE(text, u"") << key;
    }
    EXPECT_EQ(Lookup(english, u"UNTITLED"), u"Untitled");
    for (std::size_t month = 0; month < 12; ++month) {
        const std::string key = "MONTH_LONG_" + monthKeys.substr(3 * month, 3);
        EXPECT_EQ(Lookup(english, Ascii(key)), months[month]) << key;
    }
    EXPECT_EQ(english.Count(), count + 12);
}
