#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "BudgetTestSupport.h"
#include "platform/Folders.h"
#include "storage/QVException.h"

namespace {

using ProtectionTest = BudgetTest;

std::string Hex(const std::string& bytes) {
    std::string out;
    for (unsigned char b : bytes)
        out += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return out;
}

// A password dialog that answers from a script and counts how often it was asked.
struct TScriptedAnswers {
    std::vector<std::optional<std::u16string>> Answers;
    int Asked = 0;

    std::function<std::optional<std::u16string>()> Handler() {
        return [this]() -> std::optional<std::u16string> {
            const auto index = static_cast<std::size_t>(Asked++);
            return index < Answers.size() ? Answers[index] : std::nullopt;
        };
    }
};

} // namespace

// The derivations fix every protected file ever written: their results must never move. The
// expected values come from an independent implementation of the same steps.
TEST_F(ProtectionTest, DerivationsGiveTheirFixedResults) {
    EXPECT_EQ(Hex(TQVEnvironment::PasswordToKey(u"S\u00e9cret \u20ac1", "")),
              "95b64bb641435ddaecaaf3d57f10ce6a");
    EXPECT_EQ(Hex(TQVEnvironment::PasswordToKey(u"pw", "NaCl")),
              "800e9fe36277ae0d3a9d46bb63e16974");
    std::string key(16, '\0');
    for (int i = 0; i < 16; ++i)
        key[static_cast<std::size_t>(i)] = static_cast<char>(i);
    EXPECT_EQ(Hex(TQVEnvironment::KeyToFilePassword(key)), "2e56c90b41fc6fe40582e01a80642e09");
    EXPECT_EQ(
        Hex(TQVEnvironment::DeriveStoreKey(
            std::string("user\0", 5) + std::string(32, '\0') + "9812345", "salt-and-budget-id")),
        "ec969da74a3b5919a718fd27355c4d34");
}

TEST_F(ProtectionTest, PasswordAndLevelMarkTheBudgetChanged) {
    Env().SetPassword(u"one");
    EXPECT_EQ(Env().PasswordKey.size(), 16u);
    EXPECT_TRUE(Env().PasswordChanged);
    EXPECT_TRUE(Env().CheckPassword(u"one"));
    EXPECT_FALSE(Env().CheckPassword(u"One"));
    Env().Reset();
    EXPECT_FALSE(Env().PasswordChanged);
    Env().SetProtection(2);
    EXPECT_EQ(Env().Protection, 2);
    EXPECT_TRUE(Env().PasswordChanged);
    EXPECT_THROW(Env().SetProtection(3), EAssertionFailed);
    EXPECT_EQ(Env().Protection, 2);
}

TEST_F(ProtectionTest, InstallationIdIsCreatedPrivateAndReadPadded) {
    const std::string iid = DataFolder() + "iid";
    EXPECT_FALSE(TQVEnvironment::NeedInstallationId()) << "made when the environment started";
    ASSERT_TRUE(FileSystem::DeleteFile(iid));
    EXPECT_TRUE(TQVEnvironment::NeedInstallationId());
    EXPECT_EQ(TQVEnvironment::ReadInstallationId(), "4071938265530718294621");

    TQVEnvironment::CreateInstallationId();
    EXPECT_FALSE(TQVEnvironment::NeedInstallationId());
    EXPECT_EQ(FileMode(DataFolder()), 0700u);
    EXPECT_EQ(FileMode(iid), 0600u);
    const std::string id = FileSystem::ReadFile(iid);
    EXPECT_EQ(id.size(), 32u);
    EXPECT_EQ(TQVEnvironment::ReadInstallationId(), id);
    EXPECT_NE(Env().GetMachineSecret().find(id), std::string::npos);

    FileSystem::WriteFileAtomic(iid, "abc");
    EXPECT_EQ(TQVEnvironment::ReadInstallationId(), "abc" + std::string(29, '\0'));
    ASSERT_TRUE(FileSystem::DeleteFile(iid));
    ASSERT_EQ(::mkfifo(iid.c_str(), 0600), 0);
    ::alarm(10); // a FIFO is no id, and must not block the start
    EXPECT_EQ(TQVEnvironment::ReadInstallationId(), "4071938265530718294621");
    ::alarm(0);
}

TEST_F(ProtectionTest, NormalLevelOpensWithoutPromptOnlyForThisInstallation) {
    TQVEnvironment::CreateInstallationId();
    TScriptedAnswers dialog{{u"secret"}};
    Env().PasswordRequest = dialog.Handler();
    Env().NewBudget(BudgetPath(), u"Home", true);
    Env().SetPassword(u"secret");
    Env().SetProtection(1);
    const std::string key = Env().PasswordKey;
    Env().SaveToFile(BudgetPath());

    const std::string record = DataFolder() + "default.cpw";
    const std::string bytes = FileSystem::ReadFile(record);
    ASSERT_EQ(bytes.size(), 72u);
    EXPECT_EQ(bytes.substr(0, 4), "\xC9\x10\x4F\x91");
    EXPECT_EQ(bytes.substr(4, 32), Env().BudgetId);
    EXPECT_EQ(FileMode(record), 0600u);

    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(dialog.Asked, 0);
    EXPECT_EQ(Env().Protection, 1);
    EXPECT_EQ(Env().PasswordKey, key);

    // A new installation id: the record no longer decrypts, so the user is asked.
    ASSERT_TRUE(FileSystem::DeleteFile(DataFolder() + "iid"));
    EXPECT_TRUE(TQVEnvironment::NeedInstallationId());
    TQVEnvironment::CreateInstallationId();
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(dialog.Asked, 1);
    EXPECT_EQ(Env().Protection, 2);
    EXPECT_EQ(Env().PasswordKey, key);

    // Saving at the strong level removes every record, whoever it belonged to.
    FileSystem::WriteFileAtomic(DataFolder() + "other.cpw", std::string(72, 'x'));
    ASSERT_TRUE(FileSystem::ForceFolders(DataFolder() + "folder.cpw"));
    Env().SaveToFile(BudgetPath());
    EXPECT_FALSE(FileSystem::FileExists(record));
    EXPECT_FALSE(FileSystem::FileExists(DataFolder() + "other.cpw"));
    EXPECT_TRUE(Folders::FolderExists(DataFolder() + "folder.cpw"));
}

// Had the records changed before a replace that then failed, the old file would meet records
// made for the new one.
TEST_F(ProtectionTest, RecordsChangeOnlyOnceTheNewFileIsInPlace) {
    TQVEnvironment::CreateInstallationId();
    Env().NewBudget(BudgetPath(), u"Home", true);
    Env().SetPassword(u"secret");
    Env().SetProtection(1);
    Env().SaveToFile(BudgetPath());
    const std::string record = DataFolder() + "default.cpw";
    const std::string stored = FileSystem::ReadFile(record);
    // A folder in the way: the new file is complete but cannot take its place.
    ASSERT_TRUE(FileSystem::ForceFolders(BudgetPath("blocked")));

    Env().SetProtection(2);
    EXPECT_THROW(Env().SaveToFile(BudgetPath("blocked")), EOSError);
    ASSERT_TRUE(FileSystem::FileExists(record));
    EXPECT_EQ(FileSystem::ReadFile(record), stored);

    Env().SaveToFile(BudgetPath());
    ASSERT_FALSE(FileSystem::FileExists(record));
    Env().SetProtection(1);
    EXPECT_THROW(Env().SaveToFile(BudgetPath("blocked")), EOSError);
    EXPECT_FALSE(FileSystem::FileExists(record));
}

TEST_F(ProtectionTest, OnlyWellFormedRecordsOfThisBudgetAreCandidates) {
    TQVEnvironment::CreateInstallationId();
    Env().BudgetId = std::string(32, 'B');
    Env().PasswordKey = "0123456789abcdef";
    Env().PasswordChanged = true;
    Env().StorePassword();
    const std::string folder = DataFolder();
    const std::string valid = FileSystem::ReadFile(folder + "default.cpw");
    ASSERT_EQ(valid.size(), 72u);

    std::string otherMagic = valid;
    otherMagic[0] = '\xC8';
    std::string otherBudget = valid;
    otherBudget[10] = 'C';
    std::string tampered = valid;
    tampered[60] = static_cast<char>(tampered[60] ^ 1);
    FileSystem::WriteFileAtomic(folder + "short.cpw", valid.substr(0, 71));
    FileSystem::WriteFileAtomic(folder + "long.cpw", valid + "x");
    FileSystem::WriteFileAtomic(folder + "magic.cpw", otherMagic);
    FileSystem::WriteFileAtomic(folder + "budget.cpw", otherBudget);
    FileSystem::WriteFileAtomic(folder + "tampered.cpw", tampered);
    FileSystem::WriteFileAtomic(folder + "copy.txt", valid);

    Env().LoadedBudgetId = Env().BudgetId;
    std::vector<std::string> candidates;
    Env().CollectStoredPasswords(candidates);
    ASSERT_EQ(candidates.size(), 1u);
    EXPECT_EQ(candidates[0], Env().PasswordKey);

    candidates.clear();
    Env().LoadedBudgetId = std::string(31, 'B');
    Env().CollectStoredPasswords(candidates);
    EXPECT_TRUE(candidates.empty());
}

TEST_F(ProtectionTest, ThreeRequestsAtMostAndCancelCountsAsOne) {
    Env().NewBudget(BudgetPath(), u"Home", true);
    Env().SetPassword(u"right");
    Env().SetProtection(2);
    Env().SaveToFile(BudgetPath());
    EXPECT_FALSE(FileSystem::FileExists(DataFolder() + "default.cpw"));

    TScriptedAnswers wrong{{u"a", u"b", u"c", u"right"}};
    Env().PasswordRequest = wrong.Handler();
    Env().Reset();
    Env().FileName = "before";
    try {
        Env().LoadFromFile(BudgetPath());
        FAIL() << "opened with a wrong password";
    } catch (const EPACFError& e) {
        EXPECT_EQ(e.Message(), "Invalid key");
    }
    EXPECT_EQ(wrong.Asked, 3);
    EXPECT_EQ(Env().Protection, 2);
    EXPECT_EQ(Env().FileName, "before");

    TScriptedAnswers cancelFirst{{std::nullopt, u"x", u"right"}};
    Env().PasswordRequest = cancelFirst.Handler();
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(cancelFirst.Asked, 3);
    EXPECT_EQ(Env().ExpenseLocationCount(), 19);
}

TEST_F(ProtectionTest, FailingDialogFallsBackOnTheFixedPassword) {
    Env().NewBudget(BudgetPath(), u"Home", false);
    Env().SetPassword(u"730582");
    Env().SetProtection(2);
    Env().SaveToFile(BudgetPath());

    int asked = 0;
    Env().PasswordRequest = [&asked]() -> std::optional<std::u16string> {
        ++asked;
        throw std::runtime_error("no display");
    };
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Env().Protection, 2);
    Env().PasswordRequest = nullptr;
    EXPECT_EQ(Env().RequestPassword(), u"730582");
}
