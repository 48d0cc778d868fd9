#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "model/QVEnvironment.h"
#include "model/QVStringKeeper.h"
#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVCFItem.h"
#include "storage/QVCompoundFile.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"
#include "support/TempDir.h"

namespace {

using TPairs = std::vector<std::pair<std::u16string, std::u16string>>;

void WriteContainer(TQVCompoundFile& container, const std::string& fileName) {
    TFileStream file(fileName, TFileMode::Create);
    container.SaveToStream(file);
}

void WriteTable(TQVStringKeeper& table, const std::string& fileName) {
    TQVCompoundFile container;
    table.SaveToFolder(container.Root());
    WriteContainer(container, fileName);
}

void WriteTable(const std::string& fileName, std::string id, std::u16string title,
                const TPairs& pairs = {{u"MNU_FILE", u"&File"}}) {
    TQVStringKeeper table;
    table.Id = std::move(id);
    table.Title = std::move(title);
    for (const auto& [key, text] : pairs)
        table.AddString(key, text);
    WriteTable(table, fileName);
}

// A table file behind a password (which may be the empty one).
void WriteProtectedTable(const std::string& fileName, std::string password) {
    TQVStringKeeper table;
    table.Id = "xx";
    table.AddString(u"MNU_FILE", u"&File");
    TQVCompoundFile container;
    table.SaveToFolder(container.Root());
    container.Protected = true;
    container.OnPassword = [password](TQVCompoundFile&, std::string& result, bool&) {
        result = password;
    };
    WriteContainer(container, fileName);
}

std::u16string Lookup(const TQVStringKeeper& table, std::u16string_view key) {
    std::u16string result = u"stale";
    table.GetString(key, u"<missing>", result);
    return result;
}

std::string TextOf(const char16_t* key) {
    return QVUtils::WideToAnsi(key);
}

} // namespace

TEST(StringKeeperTest, RoundTripThroughFileAndCaseBlindLookups) {
    TTempDir dir;
    TQVStringKeeper table;
    table.Id = "de-CH";
    table.Title = u"Deutsch (Schweiz)";
    table.Description = u"Gr\u00FCezi";
    table.AddString(u"MNU_FILE", u"&Datei");
    table.AddString(u"\u00C4RGER_\u0416", u"\u00E4");
    table.AddString(u"mnu_file", u"second");
    table.AddString(u"EMPTY", u"");
    WriteTable(table, dir.File("de.lng"));

    TQVStringKeeper loaded;
    loaded.AddString(u"OLD", u"old"); // a load replaces what was there
    loaded.LoadFromFile(dir.File("de.lng"));
    EXPECT_EQ(loaded.Id, "de-CH");
    EXPECT_EQ(loaded.Title, table.Title);
    EXPECT_EQ(loaded.Description, table.Description);
    ASSERT_EQ(loaded.Count(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(loaded.GetKey(i), table.GetKey(i));
        EXPECT_EQ(loaded.GetText(i), table.GetText(i));
    }

    EXPECT_EQ(Lookup(loaded, u"mnu_file"), u"&Datei"); // the first of the repeated key
    EXPECT_EQ(Lookup(loaded, u"Mnu_File"), u"&Datei");
    EXPECT_EQ(Lookup(loaded, u"\u00E4rger_\u0436"), u"\u00E4");
    EXPECT_EQ(Lookup(loaded, u"EMPTY"), u"");
    EXPECT_EQ(Lookup(loaded, u"MNU_FILE_"), u"<missing>");
    EXPECT_EQ(Lookup(loaded, u""), u"<missing>");
    EXPECT_THROW(loaded.GetKey(4), EListError);
    EXPECT_THROW(loaded.GetText(-1), EListError);
    loaded.Clear();
    EXPECT_EQ(loaded.Count(), 0);
}

TEST(StringKeeperTest, ReadsPairsInStoredOrderAndSkipsIncompleteOnes) {
    TTempDir dir;
    TQVStringKeeper table;
    for (int i = 0; i < 12; ++i) {
        const std::string n = std::to_string(i);
        table.AddString(u"K" + std::u16string(n.begin(), n.end()),
                        u"T" + std::u16string(n.begin(), n.end()));
    }
    TQVCompoundFile container;
    table.SaveToFolder(container.Root());
    auto& pairs = static_cast<TQVCFFolder&>(*container.Root().FindItem(u"s", false));
    pairs.NewFolder(u"12").NewFile(u"n").Data = std::string("K\0", 2); // no "v"
    pairs.NewFolder(u"13").NewFile(u"v").Data = std::string("T\0", 2); // no "n"
    pairs.NewFile(u"14").Data = "not a pair";
    WriteContainer(container, dir.File("t.lng"));

    TQVStringKeeper loaded;
    loaded.LoadFromFile(dir.File("t.lng"));
    ASSERT_EQ(loaded.Count(), 12);
    EXPECT_EQ(loaded.GetKey(2), u"K10"); // "0", "1", "10", "11", "2", ...
    EXPECT_EQ(loaded.GetKey(11), u"K9");
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(Lookup(loaded, table.GetKey(i)), table.GetText(i));
}

TEST(StringKeeperTest, RefusesFilesThatHoldNoPlainTable) {
    TTempDir dir;
    TQVStringKeeper table;
    table.Id = "keep";

    TQVCompoundFile other;
    other.Root().NewFile(u"type").Data = "src";
    WriteContainer(other, dir.File("other.lng"));
    try {
        table.LoadFromFile(dir.File("other.lng"));
        FAIL();
    } catch (const EQVException& e) {
        EXPECT_EQ(e.Message(), "Invalid object");
    }
    EXPECT_EQ(table.Id, "keep");

    // Protected files are refused whatever their password, the empty one included.
    for (const std::string password : {"secret", ""}) {
        WriteProtectedTable(dir.File("p.lng"), password);
        try {
            table.LoadFromFile(dir.File("p.lng"));
            FAIL() << "password \"" << password << "\"";
        } catch (const EPACFError& e) {
            EXPECT_EQ(e.Message(), "Invalid key");
        }
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
    std::string Message(const std::vector<std::string>& folders) {
        try {
            FEnv->LoadLanguagesFrom(folders);
        } catch (const EQVException& e) {
            return e.Message();
        }
        return "no error";
    }

    TTempDir FHome;
    TScopedEnv FData{"XDG_DATA_HOME", FHome.File("data")};
    TScopedEnv FConfig{"XDG_CONFIG_HOME", FHome.File("config")};
    std::unique_ptr<TQVEnvironment> FEnv = std::make_unique<TQVEnvironment>();
};

TEST_F(LanguageScanTest, PicksTheTableByExactIdElseTheFirst) {
    const std::string a = Folder("a");
    const std::string b = Folder("b");
    WriteTable(a + "/en.lng", "en", u"English");
    WriteTable(b + "/de.lng", "de", u"Deutsch");

    FEnv->Settings().Lang = "de";
    FEnv->LoadLanguagesFrom({a, b});
    ASSERT_EQ(FEnv->LanguageCount(), 2);
    ASSERT_NE(FEnv->CurrentLanguage, nullptr);
    EXPECT_EQ(FEnv->CurrentLanguage->Title, u"Deutsch");
    EXPECT_EQ(FEnv->Settings().Lang, "de");

    FEnv->Settings().Lang = "DE";
    FEnv->LoadLanguagesFrom({a + "/", b + "/"});
    EXPECT_EQ(FEnv->LanguageCount(), 2);
    EXPECT_EQ(FEnv->CurrentLanguage, FEnv->GetLanguage(0));
    EXPECT_EQ(FEnv->CurrentLanguage->Title, u"English");
    EXPECT_EQ(FEnv->Settings().Lang, "en");
}

TEST_F(LanguageScanTest, OnEqualIdsTheEarlierFolderWins) {
    const std::string exe = Folder("exe");
    const std::string user = Folder("user");
    WriteTable(exe + "/z.lng", "en", u"Program folder");
    WriteTable(user + "/a.lng", "en", u"User folder");
    FEnv->Settings().Lang = "en";
    FEnv->LoadLanguagesFrom({exe, user});
    EXPECT_EQ(FEnv->LanguageCount(), 2);
    EXPECT_EQ(FEnv->CurrentLanguage->Title, u"Program folder");
}

TEST_F(LanguageScanTest, SkipsEverythingThatIsNotATable) {
    const std::string lang = Folder("lang");
    FileSystem::WriteFileAtomic(lang + "/readme.txt", "MNU_FILE=&File\n");
    WriteTable(Folder("lang/nested.lng") + "/t.lng", "nested", u"In a sub-folder");
    WriteProtectedTable(lang + "/empty-password.lng", "");
    WriteProtectedTable(lang + "/password.lng", "secret");
    WriteTable(lang + "/whole.lng", "en", u"English");
    const std::string whole = FileSystem::ReadFile(lang + "/whole.lng");
    FileSystem::WriteFileAtomic(lang + "/cut.lng", whole.substr(0, whole.size() - 5));
    FileSystem::WriteFileAtomic(lang + "/empty.lng", "");

    FEnv->Settings().Lang = "nested";
    FEnv->LoadLanguagesFrom({lang});
    ASSERT_EQ(FEnv->LanguageCount(), 1);
    EXPECT_EQ(FEnv->CurrentLanguage->Title, u"English");
    EXPECT_EQ(FEnv->Settings().Lang, "en");
}

TEST_F(LanguageScanTest, NoTableAtAllIsAnError) {
    const std::string lang = Folder("lang");
    FileSystem::WriteFileAtomic(lang + "/English.txt", "@id=en\nMNU_FILE=&File\n");
    EXPECT_EQ(Message({lang}), "Language file not found");
    EXPECT_EQ(Message({FHome.File("missing"), "/nonexistent-folder/lang/"}),
              "Language file not found");
    EXPECT_EQ(FEnv->LanguageCount(), 0);
    EXPECT_EQ(FEnv->CurrentLanguage, nullptr);
}

TEST_F(LanguageScanTest, LoadLanguagesLooksInThePerUserFolder) {
    const std::string user = Folder("data/Tavrin Group/Quillvane/lang");
    WriteTable(user + "/fr.lng", "fr", u"Fran\u00E7ais");
    FEnv->LoadLanguages();
    ASSERT_NE(FEnv->CurrentLanguage, nullptr);
    EXPECT_EQ(FEnv->CurrentLanguage->Id, "fr");
}

TEST(EnglishTableTest, HoldsEveryKeyTheProgramLooksUp) {
    static const char16_t* const Keys[] = {u"MNU_FILE",
                                           u"MNU_EDIT",
                                           u"MNU_VIEW",
                                           u"MNU_HELP",
                                           u"MNU_NEW_BUDGET",
                                           u"MNU_OPEN",
                                           u"MNU_EXIT",
                                           u"MNU_NEW_EXPENSE",
                                           u"MNU_NEW_INCOME",
                                           u"MNU_NEW_A2A",
                                           u"MNU_NEW_DEBT",
                                           u"MNU_NEW_CREDIT",
                                           u"MNU_NEW_ACCOUNT",
                                           u"MNU_CASHFLOW",
                                           u"MNU_ACCOUNTS",
                                           u"MNU_DEBTS",
                                           u"MNU_PERSONALISATION",
                                           u"MNU_REPORTS",
                                           u"MNU_SETTINGS",
                                           u"MNU_CONTENTS",
                                           u"MNU_ABOUT",
                                           u"MNU_REMOVE",
                                           u"MNU_NEW",
                                           u"MNU_EXPENSE",
                                           u"MNU_INCOME",
                                           u"MNU_A2A",
                                           u"MNU_DISABLE",
                                           u"MNU_ENABLE",
                                           u"MNU_NEW_CATEGORY",
                                           u"TV_MONEYFLOW_DATE",
                                           u"TV_MONEYFLOW_TITLE",
                                           u"TV_MONEYFLOW_CATEGORY",
                                           u"TV_MONEYFLOW_SUM",
                                           u"TV_MONEYFLOW_ACCOUNT",
                                           u"TV_DEBTS_TITLE",
                                           u"TV_DEBTS_PEER",
                                           u"TV_DEBTS_SUM",
                                           u"TV_DEBTS_DEADLINE",
                                           u"TV_DICT_TITLE",
                                           u"TV_DICT_DESCRIPTION",
                                           u"TV_DICT_ENABLED",
                                           u"TV_SUMMARY_TITLE",
                                           u"TV_SUMMARY_VALUE",
                                           u"LEFTBAR_CASHFLOW",
                                           u"LEFTBAR_CURRENT_MONTH",
                                           u"LEFTBAR_ALL_MONTHS",
                                           u"LEFTBAR_ACCOUNTS",
                                           u"LEFTBAR_DEBTS_DEBTS",
                                           u"LEFTBAR_DEBTS_CREDITS",
                                           u"LEFTBAR_PERSONALISATION",
                                           u"LEFTBAR_EXPENSE_CATS",
                                           u"LEFTBAR_INCOME_CATS",
                                           u"LEFTBAR_SUMMARY",
                                           u"HEADER_ALL_MONTHS",
                                           u"HEADER_DEBTS",
                                           u"HEADER_CREDITS",
                                           u"HEADER_EXPENSE_CATS",
                                           u"HEADER_INCOME_CATS",
                                           u"HEADER_SUMMARY",
                                           u"LBL_TOTAL_INCOME",
                                           u"LBL_TOTAL_EXPENSE",
                                           u"LBL_TOTAL_BALANCE",
                                           u"LBL_TOTAL_ITEMS",
                                           u"LBL_PERIOD",
                                           u"BTN_NEW_ACCOUNT",
                                           u"BTN_DISABLE",
                                           u"BTN_CANCEL",
                                           u"CONF_ACCOUNT_REMOVAL",
                                           u"CONF_DICT_ENTRIES_REMOVAL",
                                           u"WRN_ACCOUNT_IS_REFERENCED",
                                           u"WRN_LOCATION_IS_REFERENCED",
                                           u"PROMPT_NEW_ACCOUNT_NAME",
                                           u"UNTITLED"};
    static const char16_t* const Months[] = {
        u"MONTH_LONG_JAN", u"MONTH_LONG_FEB", u"MONTH_LONG_MAR", u"MONTH_LONG_APR",
        u"MONTH_LONG_MAY", u"MONTH_LONG_JUN", u"MONTH_LONG_JUL", u"MONTH_LONG_AUG",
        u"MONTH_LONG_SEP", u"MONTH_LONG_OCT", u"MONTH_LONG_NOV", u"MONTH_LONG_DEC"};

    TQVStringKeeper english;
    english.LoadFromFile(QV_ENGLISH_LNG);
    EXPECT_EQ(english.Id, "en");
    EXPECT_EQ(english.Title, u"English");
    for (const char16_t* key : Keys) {
        const std::u16string text = Lookup(english, key);
        EXPECT_NE(text, u"<missing>") << TextOf(key);
        EXPECT_NE(text, u"") << TextOf(key);
    }
    for (int month = 1; month <= 12; ++month)
        EXPECT_EQ(Lookup(english, Months[month - 1]), QVUtils::MonthNames[month]);
    EXPECT_EQ(english.Count(), static_cast<int>(std::size(Keys) + std::size(Months)));
}
