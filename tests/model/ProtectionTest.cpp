#include <functional>
#include <stdexcept>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ModelTestSupport.h"
#include "model/QVKeyConstants.h"
#include "platform/FileSystem.h"
#include "platform/SystemInfo.h"
#include "storage/QVException.h"
#include "storage/QVSecret.h"
#include "support/Bytes.h"
#include "support/CFBuild.h"
#include "support/CryptoOracle.h"
#include "support/Outcome.h"

using namespace QVKeyConstants;

namespace {

using ProtectionTest = ModelTest;

std::string Bytes(const void* data, std::size_t size) {
    return {static_cast<const char*>(data), size};
}

// The three derivations step by step as they are designed, on OpenSSL's SHA-2.
std::string OraclePasswordToKey(std::u16string_view password) {
    const std::string w = QVBase::WideToBytes(password);
    Oracle::TDigest outer256(EVP_sha256()), outer512(EVP_sha512());
    std::string b32(32, static_cast<char>(F1)), b64(64, static_cast<char>(F2));
    for (std::uint32_t n = 0; n < 16384; ++n) {
        const std::string a = Oracle::Sha256(b64 + w + LE32(n));
        b64 = Oracle::Sha512(b32 + w + LE32(n));
        b32 = a;
        outer256.Update(n % 2 ? b64 : b32);
        outer512.Update(n % 2 ? b32 : b64);
    }
    b32 = outer256.Final();
    b64 = outer512.Final();
    std::string key(16, '\0');
    for (std::size_t i = 0; i < 16; ++i)
        key[i] = static_cast<char>(b32[i] ^ b64[i] ^ b32[i + 16] ^ b64[i + 16] ^ b64[i + 32] ^
                                   b64[i + 48]);
    return key;
}

std::string OracleKeyToFilePassword(const std::string& p) {
    Oracle::TDigest x(EVP_sha256()), y(EVP_sha512());
    std::string d32 = Oracle::Sha256(p + Bytes(C1, sizeof C1));
    std::string d64 = Oracle::Sha512(p + Bytes(C2, sizeof C2));
    x.Update(d64).Update(p);
    y.Update(d32).Update(p).Update(p);
    for (int round = 0; round < 32763; ++round) {
        const std::string a = Oracle::Sha256(p + d32 + d64 + Bytes(C4, sizeof C4));
        d64 = Oracle::Sha512(d64 + p + p.substr(1) + d32 + Bytes(C3, sizeof C3));
        d32 = a;
        for (Oracle::TDigest* outer : {&x, &y})
            outer->Update(d32).Update(d64.substr(32)).Update(d64.substr(0, 32));
    }
    d32 = x.Final();
    d64 = y.Final();
    std::string password(16, '\0');
    for (std::size_t i = 0; i < 16; ++i)
        password[i] = static_cast<char>(d32[i + 3] ^ d32[i + 15] ^ d64[i + 1] ^ d64[i + 21]);
    return password;
}

std::string OracleDeriveStoreKey(const std::string& secret, const std::string& prefix) {
    std::string h64(64, static_cast<char>(F3)), h32(32, static_cast<char>(F4));
    for (int i = 0; i < 7010; ++i) {
        const std::string s = prefix + h64 + h32 + std::to_string(i) + secret;
        h64 = Oracle::Sha512(s);
        h32 = Oracle::Sha256(s);
    }
    std::string key(16, '\0');
    for (std::size_t j = 0; j < 16; ++j)
        key[j] = static_cast<char>(h64[j] ^ h32[j] ^ h64[j + 17] ^ h32[j + 16]);
    return key;
}

// The machine secret from its parts: the login name with its zero byte, the installation id
// file, and the processor facts in their fixed order.
std::string MachineSecret(const std::string& installationId) {
    const TSystemInfo info = GetSystemInfo();
    return GetLoginName() + '\0' + installationId + std::to_string(info.ProcessorArchitecture) +
           std::to_string(info.NumberOfProcessors) + std::to_string(info.ProcessorType) +
           std::to_string(info.ProcessorLevel) + std::to_string(info.ProcessorRevision);
}

// Keeps a copy of every buffer it frees, as the buffer was at that moment.
template <class T> struct TKeepingAllocator {
    using value_type = T;
    static inline std::vector<std::string> Freed;
    TKeepingAllocator() = default;
    template <class U> TKeepingAllocator(const TKeepingAllocator<U>&) {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) {
        Freed.emplace_back(reinterpret_cast<const char*>(p), n * sizeof(T));
        std::allocator<T>().deallocate(p, n);
    }
    template <class U> bool operator==(const TKeepingAllocator<U>&) const { return true; }
};
using TKeptSecret = TBasicSecret<char, TKeepingAllocator<char>>;

// A password dialog answering from a script; `asked` counts the requests.
std::function<std::optional<std::u16string>()>
Script(std::vector<std::optional<std::u16string>> answers, int& asked) {
    return [answers, &asked]() -> std::optional<std::u16string> {
        const auto index = static_cast<std::size_t>(asked++);
        return index < answers.size() ? answers[index] : std::nullopt;
    };
}

} // namespace

// Whatever becomes of a key in its holder (destroyed, overwritten, cleared, copied, moved), every
// buffer that held it is wiped before it is freed, and the holder keeps the value given last.
TEST(SecretTest, EveryBufferIsWipedBeforeItIsFreed) {
    const std::string key = "0123456789abcdef", other = "another value, longer than the key";
    const struct {
        const char* what;
        std::function<void(TKeptSecret&)> act;
        std::string left;
    } cases[] = {
        {"destroyed", [](TKeptSecret&) {}, key},
        {"overwritten by a shorter value", [](TKeptSecret& s) { s = "k"; }, "k"},
        {"overwritten by a longer value", [&](TKeptSecret& s) { s = other; }, other},
        {"assigned a copy",
         [&](TKeptSecret& s) {
             const TKeptSecret copy(other);
             s = copy;
         },
         other},
        {"assigned itself", [](TKeptSecret& s) { s = std::as_const(s); }, key},
        {"cleared", [](TKeptSecret& s) { s.clear(); }, ""},
        {"moved from", [](TKeptSecret& s) { TKeptSecret taken(std::move(s)); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TKeepingAllocator<char>::Freed.clear();
        {
            TKeptSecret secret(key);
            c.act(secret);
            EXPECT_EQ(secret.view(), c.left);
        }
        ASSERT_FALSE(TKeepingAllocator<char>::Freed.empty());
        for (const std::string& freed : TKeepingAllocator<char>::Freed)
            EXPECT_EQ(freed, std::string(freed.size(), '\0'));
    }
}

// The derivations fix every protected file ever written: their results must never move, and
// they follow their design step by step.
TEST_F(ProtectionTest, DerivationsGiveTheirFixedResults) {
    const std::u16string password = u"S\u00e9cret \u20ac1";
    const TSecret key = TQVEnvironment::PasswordToKey(password, "");
    EXPECT_EQ(ToHex(key), "95b64bb641435ddaecaaf3d57f10ce6a");
    EXPECT_EQ(key, OraclePasswordToKey(password));
    const std::string counting = Hex("000102030405060708090a0b0c0d0e0f");
    EXPECT_EQ(ToHex(TQVEnvironment::KeyToFilePassword(counting)),
              "2e56c90b41fc6fe40582e01a80642e09");
    EXPECT_EQ(TQVEnvironment::KeyToFilePassword(key), OracleKeyToFilePassword(std::string(key)));
    const std::string secret = std::string("user\0", 5) + std::string(32, '\0') + "9812345";
    EXPECT_EQ(ToHex(TQVEnvironment::DeriveStoreKey(secret, "salt-and-budget-id")),
              "ec969da74a3b5919a718fd27355c4d34");
    EXPECT_EQ(TQVEnvironment::DeriveStoreKey(secret, "salt-and-budget-id"),
              OracleDeriveStoreKey(secret, "salt-and-budget-id"));
}

// A protected budget file opened with OpenSSL: its AES key is
// KeyToFilePassword(PasswordToKey(password)), under which the check block and the body decrypt.
TEST_F(ProtectionTest, ProtectedFileDecryptsUnderTheDerivedKey) {
    Env().NewBudget(BudgetPath(), u"Home", false);
    Env().SetPassword(u"p\u00e4ssword");
    Env().SetProtection(2);
    Env().SaveToFile(BudgetPath());
    const std::string bytes = FileSystem::ReadFile(BudgetPath());
    ASSERT_GT(bytes.size(), 96u);
    EXPECT_EQ(bytes.substr(8, 8), LE32(36) + LE32(40)); // info: marker and 32-byte id
    const std::string protection = bytes.substr(56, 40);
    EXPECT_EQ(protection[0], '\x01');
    const std::string key = OracleKeyToFilePassword(OraclePasswordToKey(u"p\u00e4ssword"));
    const std::string iv = protection.substr(1, 16);
    const std::string check = Oracle::AesCfb(key, iv, protection.substr(17, 16), false);
    EXPECT_EQ(LE32(Oracle::Crc(check)), protection.substr(36, 4));
    const std::string body = Oracle::AesCfb(key, iv, bytes.substr(96), false);
    TQVCFFolder root;
    LoadBuffer(root, body);
    EXPECT_EQ(FileData(root, u"title"), QVBase::WideToBytes(u"Home"));
}

// The stored password record opened with OpenSSL: magic, budget id, salt, and the key with its
// checksum encrypted under the store key with a zero IV.
TEST_F(ProtectionTest, StoredRecordDecryptsUnderTheStoreKey) {
    TQVEnvironment::CreateInstallationId();
    Env().BudgetId = Hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
    Env().SetPassword(u"secret");
    Env().StorePassword();
    const std::string record = FileSystem::ReadFile(DataFolder() + "default.cpw");
    ASSERT_EQ(record.size(), 72u);
    EXPECT_EQ(record.substr(0, 4), Hex("C9 10 4F 91"));
    EXPECT_EQ(record.substr(4, 32), Env().BudgetId);
    EXPECT_EQ(FileMode(DataFolder() + "default.cpw"), 0600u);
    const std::string salt = record.substr(36, 16);
    const std::string secret = MachineSecret(FileSystem::ReadFile(DataFolder() + "iid"));
    EXPECT_EQ(Env().GetMachineSecret(), secret);
    const std::string storeKey = OracleDeriveStoreKey(secret, salt + Env().BudgetId);
    const std::string plain =
        Oracle::AesCfb(storeKey, std::string(16, '\0'), record.substr(52), false);
    EXPECT_EQ(plain.substr(0, 16), OraclePasswordToKey(u"secret"));
    EXPECT_EQ(plain.substr(16), LE32(Oracle::Crc(plain.substr(0, 16))));
    // A new salt at every write.
    Env().StorePassword();
    EXPECT_NE(FileSystem::ReadFile(DataFolder() + "default.cpw").substr(36, 16), salt);
}

TEST_F(ProtectionTest, PasswordLevelAndInstallationId) {
    Env().SetPassword(u"one");
    EXPECT_TRUE(Env().CheckPassword(u"one"));
    EXPECT_FALSE(Env().CheckPassword(u"One"));
    // Without an id file, and with a FIFO in its place (which must not block the start), the
    // fixed fallback; a short file is padded with zero bytes.
    const std::string iid = DataFolder() + "iid";
    EXPECT_FALSE(TQVEnvironment::NeedInstallationId()) << "made when the environment started";
    EXPECT_EQ(FileMode(DataFolder()), 0700u);
    EXPECT_EQ(FileMode(iid), 0600u);
    EXPECT_EQ(TQVEnvironment::ReadInstallationId().size(), 32u);
    FileSystem::WriteFileAtomic(iid, "abc");
    EXPECT_EQ(TQVEnvironment::ReadInstallationId(), "abc" + std::string(29, '\0'));
    ASSERT_TRUE(FileSystem::DeleteFile(iid));
    EXPECT_TRUE(TQVEnvironment::NeedInstallationId());
    EXPECT_EQ(TQVEnvironment::ReadInstallationId(), "4071938265530718294621");
    ASSERT_EQ(::mkfifo(iid.c_str(), 0600), 0);
    ::alarm(10);
    EXPECT_EQ(TQVEnvironment::ReadInstallationId(), "4071938265530718294621");
    ::alarm(0);
}

TEST_F(ProtectionTest, NormalLevelOpensWithoutPromptOnlyForThisInstallation) {
    int asked = 0;
    Env().PasswordRequest = Script({u"secret"}, asked);
    Env().NewBudget(BudgetPath(), u"Home", true);
    Env().SetPassword(u"secret");
    Env().SetProtection(1);
    const TSecret key = Env().PasswordKey;
    Env().SaveToFile(BudgetPath());
    const std::string record = DataFolder() + "default.cpw";
    ASSERT_TRUE(FileSystem::FileExists(record));
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(Env().Protection, 1);
    EXPECT_EQ(Env().PasswordKey, key);
    // A new installation id: the record no longer decrypts, so the user is asked.
    ASSERT_TRUE(FileSystem::DeleteFile(DataFolder() + "iid"));
    TQVEnvironment::CreateInstallationId();
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Env().Protection, 2);
    EXPECT_EQ(Env().PasswordKey, key);
    // Saving at the strong level removes every record, whoever it belonged to.
    FileSystem::WriteFileAtomic(DataFolder() + "other.cpw", std::string(72, 'x'));
    Env().SaveToFile(BudgetPath());
    EXPECT_FALSE(FileSystem::FileExists(record));
    EXPECT_FALSE(FileSystem::FileExists(DataFolder() + "other.cpw"));
}

// Had the records changed before a replace that then failed, the old file would meet records
// made for the new one.
TEST_F(ProtectionTest, RecordsChangeOnlyOnceTheNewFileIsInPlace) {
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
    EXPECT_EQ(FileSystem::ReadFile(record), stored);
    Env().SaveToFile(BudgetPath());
    ASSERT_FALSE(FileSystem::FileExists(record));
    Env().SetProtection(1);
    EXPECT_THROW(Env().SaveToFile(BudgetPath("blocked")), EOSError);
    EXPECT_FALSE(FileSystem::FileExists(record));
}

TEST_F(ProtectionTest, ThreeRequestsAtMostCancelCountsAsOneAndAFailingDialogFallsBack) {
    Env().NewBudget(BudgetPath(), u"Home", true);
    Env().SetPassword(u"right");
    Env().SetProtection(2);
    Env().SaveToFile(BudgetPath());
    EXPECT_FALSE(FileSystem::FileExists(DataFolder() + "default.cpw"));
    int asked = 0;
    Env().PasswordRequest = Script({u"a", u"b", u"c", u"right"}, asked);
    Env().Reset();
    Env().FileName = "before";
    EXPECT_EQ(Outcome<EPACFError>([&] { Env().LoadFromFile(BudgetPath()); }),
              "Cannot open file \"" + BudgetPath() +
                  "\": it is protected and the right password was not given (Invalid key)");
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(Env().FileName, "before");
    asked = 0;
    Env().PasswordRequest = Script({std::nullopt, u"x", u"right"}, asked);
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(asked, 3);
    // A dialog that cannot be shown answers with the fixed fallback password.
    Env().SetPassword(u"730582");
    Env().SaveToFile(BudgetPath());
    Env().PasswordRequest = []() -> std::optional<std::u16string> {
        throw std::runtime_error("no display");
    };
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    EXPECT_EQ(Env().Protection, 2);
}

// The open a start prepares before the environment exists gives exactly the open without it:
// the same level, key and budget, and the user asked whenever the records no longer serve.
TEST_F(ProtectionTest, LaunchOpenPreparedAheadOpensAsWithout) {
    Env().NewBudget(BudgetPath(), u"Home", true);
    for (int day = 1; day <= 20; ++day)
        Add<TQVExpenseItem>(*NewMonth(2024, 3), day, QVUtils::EncodeDate(2024, 3, day));
    Env().SetPassword(u"secret");
    Env().SetProtection(1);
    const TSecret key = Env().PasswordKey;
    Env().SaveToFile(BudgetPath());
    Env().Settings().Save();
    ASSERT_TRUE(FileSystem::ForceFolders(Home.File("copy")));
    FileSystem::WriteFileAtomic(BudgetPath("copy/budget.qn"), FileSystem::ReadFile(BudgetPath()));
    const auto encoded = [] { return StoredTree(Env()); };
    Env().Reset();
    Env().LoadFromFile(BudgetPath());
    const std::string expected = encoded();
    const std::string budgetId = Env().BudgetId;
    const std::string record = DataFolder() + "default.cpw";
    const std::string installation = DataFolder() + "iid";
    const std::string recordBytes = FileSystem::ReadFile(record);
    const std::string installationBytes = FileSystem::ReadFile(installation);

    const struct {
        const char* name;
        std::function<void()> afterPreparing;
        std::string opened;
        int asked;
        std::uint8_t level;
    } cases[] = {
        {"records as they were", [] {}, BudgetPath(), 0, 1},
        {"another budget opened", [] {}, BudgetPath("copy/budget.qn"), 0, 1},
        {"record removed", [&] { FileSystem::DeleteFile(record); }, BudgetPath(), 1, 2},
        {"new installation", [&] { FileSystem::WriteFileAtomic(installation, "other"); },
         BudgetPath(), 1, 2},
        {"record of another key",
         [&] {
             Env().BudgetId = budgetId;
             Env().SetPassword(u"other");
             Env().StorePassword();
         },
         BudgetPath(), 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileSystem::WriteFileAtomic(record, recordBytes);
        FileSystem::WriteFileAtomic(installation, installationBytes);
        TQVEnvironment::PrepareLaunchOpen();
        delete Environment;
        Environment = new TQVEnvironment();
        c.afterPreparing();
        int asked = 0;
        Env().PasswordRequest = Script({u"secret"}, asked);
        Env().Reset();
        Env().LoadFromFile(c.opened);
        EXPECT_EQ(asked, c.asked);
        EXPECT_EQ(Env().Protection, c.level);
        EXPECT_EQ(Env().PasswordKey, key);
        EXPECT_EQ(encoded(), expected);
    }
}
