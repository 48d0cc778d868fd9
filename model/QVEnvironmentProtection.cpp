// Password protection of budget files: the key derivations, the container's password callbacks,
// the stored password record that lets a normally protected budget open on this computer without
// a prompt, and the installation id that binds that record to this user and machine.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <utility>

#include "model/QVEnvironment.h"
#include "model/QVKeyConstants.h"
#include "model/QVOpenAhead.h"
#include "platform/FileSystem.h"
#include "platform/Folders.h"
#include "platform/Stream.h"
#include "storage/container/QVCompoundFile.h"
#include "storage/crypto/QVCRC.h"
#include "storage/crypto/QVSHA2.h"

using namespace QVKeyConstants;

namespace {

constexpr std::uint32_t RecordMagic = 0x914F10C9;
constexpr std::size_t RecordSize = 72;
constexpr std::size_t BudgetIdSize = 32;
constexpr std::size_t SaltSize = 16;
constexpr std::size_t PayloadSize = 20;
constexpr std::size_t KeySize = 16;
constexpr std::size_t RecordIdOffset = 4;
constexpr std::size_t RecordSaltOffset = RecordIdOffset + BudgetIdSize;
constexpr std::size_t RecordPayloadOffset = RecordSaltOffset + SaltSize;

constexpr const char* RecordName = "default.cpw";
constexpr const char* RecordPattern = "*.cpw";
constexpr const char* InstallationIdName = "iid";
constexpr std::size_t InstallationIdSize = 32;
// Stands in for the installation id when the "iid" file cannot be read.
constexpr const char* FallbackInstallationId = "4071938265530718294621";
// Answers the password request when no dialog can be shown.
constexpr const char16_t* FallbackPassword = u"730582";

void Update(QVSHA2::TSHA256Context& context, const void* data, std::size_t size) {
    QVSHA2::SHA256Update(context, data, static_cast<std::uint32_t>(size));
}
void Update(QVSHA2::TSHA256Context& context, std::string_view bytes) {
    Update(context, bytes.data(), bytes.size());
}
void Update(QVSHA2::TSHA512Context& context, const void* data, std::size_t size) {
    QVSHA2::SHA512Update(context, data, static_cast<std::uint32_t>(size));
}
void Update(QVSHA2::TSHA512Context& context, std::string_view bytes) {
    Update(context, bytes.data(), bytes.size());
}

std::string_view AsView(const std::uint8_t* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

// Wipes what a derivation leaves on the stack: its digest contexts and blocks, which are as good
// as the key to anyone who finds them.
template <class... T> void WipeAll(T&... state) {
    (QVUtils::Wipe(&state, sizeof state), ...);
}

// The per-user data folder with its trailing "/", or empty when the user has none. Without a
// data folder QVBase would name a folder under "/", which is no place for this user's secrets.
std::string DataFolder() {
    if (Folders::UserDataFolder().empty())
        return {};
    return QVBase::GetAppDataFolder(true);
}

// Creates the data folder (private to the user) when it is missing; false when that fails.
bool ForceDataFolder(const std::string& folder) {
    return !folder.empty() && FileSystem::ForceFolders(folder.substr(0, folder.size() - 1), 0700);
}

// The bytes of a directory entry that is a stored password record by its size and magic; false
// for anything else, and for a record that vanished or cannot be opened.
bool ReadRecord(const std::string& folder, const FileSystem::TDirEntry& entry,
                std::uint8_t (&record)[RecordSize]) {
    if (entry.IsFolder || entry.Size != RecordSize)
        return false;
    try {
        TFileStream file(folder + entry.Name, TFileMode::OpenRead);
        if (file.Read(record, RecordSize) != RecordSize)
            return false;
    } catch (const EOSError&) {
        // No candidate then; the user is asked.
        return false;
    }
    return QVUtils::GetUInt32LE(record) == RecordMagic;
}

// The password key in a record's payload, decrypted under its store key, when the checksum holds.
bool OpenPayload(std::string_view storeKey, std::string_view payload, TSecret& key) {
    if (payload.size() != PayloadSize)
        return false;
    TSecret plain(PayloadSize);
    auto* bytes = reinterpret_cast<std::uint8_t*>(plain.data());
    std::uint32_t outLen = PayloadSize;
    if (!TQVCompoundFile::DecryptBuffer(payload.data(), PayloadSize, bytes, outLen, storeKey.data(),
                                        KeySize, nullptr, 0) ||
        outLen != PayloadSize ||
        QVUtils::GetUInt32LE(bytes + KeySize) != QVCRC::CRC32(bytes, KeySize))
        return false;
    key = plain.view().substr(0, KeySize);
    return true;
}

// What an open of the budget `budgetId` will derive from the records in `folder`: the store key
// of every record naming that budget, and the file password of every key that one holds.
TQVOpenAhead::TDerived DeriveFromRecords(const std::string& folder, const std::string& secret,
                                         const std::string& budgetId) {
    TQVOpenAhead::TDerived derived;
    if (folder.empty() || budgetId.size() < BudgetIdSize)
        return derived;
    for (const FileSystem::TDirEntry& entry : FileSystem::FindFiles(folder, RecordPattern)) {
        std::uint8_t record[RecordSize];
        if (!ReadRecord(folder, entry, record) ||
            std::memcmp(record + RecordIdOffset, budgetId.data(), BudgetIdSize) != 0)
            continue;
        // The prefix the open makes: the salt, then the id of the budget, which a matching record
        // carries.
        std::string prefix(AsView(record + RecordSaltOffset, SaltSize));
        prefix += AsView(record + RecordIdOffset, BudgetIdSize);
        TSecret storeKey = TQVEnvironment::DeriveStoreKey(secret, prefix);
        TSecret key;
        if (OpenPayload(storeKey, AsView(record + RecordPayloadOffset, PayloadSize), key)) {
            TSecret password = TQVEnvironment::KeyToFilePassword(key);
            derived.FilePasswords.push_back({std::move(key), std::move(password)});
        }
        derived.StoreKeys.push_back({secret, std::move(prefix), std::move(storeKey)});
    }
    return derived;
}

} // namespace

// ---- Key derivations

// The derivations run thousands of rounds of short messages, so each round's message is laid out
// once in a buffer that the digests are finalised into, and fed to each context in one piece.
TSecret TQVEnvironment::PasswordToKey(std::u16string_view password, std::string_view salt) {
    const std::size_t tail = salt.size() + 2 * password.size() + 4; // salt | W | N
    // m256 = B64 | salt | W | N and m512 = B32 | salt | W | N, W being the password's UTF-16LE
    // bytes.
    TSecret m256(64 + tail);
    TSecret m512(32 + tail);
    TSecret key(KeySize);
    auto* b64 = reinterpret_cast<std::uint8_t*>(m256.data());
    auto* b32 = reinterpret_cast<std::uint8_t*>(m512.data());
    std::memset(b64, F2, 64);
    std::memset(b32, F1, 32);
    for (std::uint8_t* message : {b64 + 64, b32 + 32}) {
        std::copy(salt.begin(), salt.end(), message);
        std::uint8_t* w = message + salt.size();
        for (const char16_t unit : password) {
            *w++ = static_cast<std::uint8_t>(unit & 0xFF);
            *w++ = static_cast<std::uint8_t>(unit >> 8);
        }
    }
    std::uint8_t* n256 = b64 + m256.size() - 4;
    std::uint8_t* n512 = b32 + m512.size() - 4;

    QVSHA2::TSHA256Context outer256;
    QVSHA2::TSHA512Context outer512;
    QVSHA2::SHA256Init(outer256);
    QVSHA2::SHA512Init(outer512);
    QVSHA2::TSHA256Context a;
    QVSHA2::TSHA512Context b;
    for (std::uint32_t n = 0; n < PasswordRounds; ++n) {
        QVUtils::PutUInt32LE(n256, n);
        QVUtils::PutUInt32LE(n512, n);
        // Both digests are taken over the blocks of the round before, then replace them.
        QVSHA2::SHA256Init(a);
        Update(a, b64, m256.size());
        QVSHA2::SHA512Init(b);
        Update(b, b32, m512.size());
        QVSHA2::SHA256Final(a, b32);
        QVSHA2::SHA512Final(b, b64);
        if (n % 2 != 0) {
            Update(outer256, b64, 64);
            Update(outer512, b32, 32);
        } else {
            Update(outer256, b32, 32);
            Update(outer512, b64, 64);
        }
    }
    QVSHA2::SHA256Final(outer256, b32);
    QVSHA2::SHA512Final(outer512, b64);

    for (std::size_t i = 0; i < KeySize; ++i)
        key.data()[i] = static_cast<char>(b32[i] ^ b64[i] ^ b32[i + 16] ^ b64[i + 16] ^
                                          b64[i + 32] ^ b64[i + 48]);
    WipeAll(outer256, outer512, a, b);
    return key;
}

TSecret TQVEnvironment::KeyToFilePassword(std::string_view key) {
    const std::string_view keyTail = key.empty() ? key : key.substr(1);
    const std::size_t k = key.size();
    // mA = P | D32 | D64 | C4 and mB = D64 | P | P[1..] | D32 | C3.
    TSecret mA(k + 32 + 64 + sizeof C4);
    TSecret mB(64 + k + keyTail.size() + 32 + sizeof C3);
    TSecret password(KeySize);
    auto* a32 = reinterpret_cast<std::uint8_t*>(mA.data()) + k;
    std::uint8_t* a64 = a32 + 32;
    auto* b64 = reinterpret_cast<std::uint8_t*>(mB.data());
    std::uint8_t* b32 = b64 + 64 + k + keyTail.size();
    std::memcpy(mA.data(), key.data(), k);
    std::memcpy(a64 + 64, C4, sizeof C4);
    std::memcpy(b64 + 64, key.data(), k);
    std::memcpy(b64 + 64 + k, keyTail.data(), keyTail.size());
    std::memcpy(b32 + 32, C3, sizeof C3);
    // What the outer contexts take each round, in their order: D32, D64[32..63], D64[0..31].
    std::uint8_t mix[96];
    std::uint8_t d64[64];

    QVSHA2::TSHA256Context x;
    QVSHA2::TSHA512Context y;
    QVSHA2::SHA256Init(x);
    QVSHA2::SHA512Init(y);
    QVSHA2::TSHA256Context a;
    QVSHA2::TSHA512Context b;
    QVSHA2::SHA256Init(a);
    Update(a, key);
    Update(a, C1, sizeof C1);
    QVSHA2::SHA256Final(a, a32);
    QVSHA2::SHA512Init(b);
    Update(b, key);
    Update(b, C2, sizeof C2);
    QVSHA2::SHA512Final(b, a64);
    std::memcpy(b64, a64, 64);
    std::memcpy(b32, a32, 32);

    Update(x, a64, 64);
    Update(y, a32, 32);
    Update(x, key);
    Update(y, key);
    Update(y, key);

    for (int round = 0; round < FilePasswordRounds; ++round) {
        QVSHA2::SHA256Init(a);
        Update(a, mA);
        QVSHA2::SHA512Init(b);
        Update(b, mB);
        QVSHA2::SHA256Final(a, mix);
        QVSHA2::SHA512Final(b, d64);
        std::memcpy(mix + 32, d64 + 32, 32);
        std::memcpy(mix + 64, d64, 32);
        Update(y, mix, sizeof mix);
        Update(x, mix, sizeof mix);

        std::memcpy(a32, mix, 32);
        std::memcpy(a64, d64, 64);
        std::memcpy(b64, d64, 64);
        std::memcpy(b32, mix, 32);
    }
    std::uint8_t d32[32];
    QVSHA2::SHA256Final(x, d32);
    QVSHA2::SHA512Final(y, d64);

    for (std::size_t i = 0; i < KeySize; ++i)
        password.data()[i] = static_cast<char>(d32[i + 3] ^ d32[i + 15] ^ d64[i + 1] ^ d64[i + 21]);
    WipeAll(x, y, a, b, mix, d64, d32);
    return password;
}

TSecret TQVEnvironment::DeriveStoreKey(std::string_view secret, std::string_view prefix) {
    // Every round's message opens with the prefix: hash it once and start each round from there.
    QVSHA2::TSHA256Context prefixed256;
    QVSHA2::TSHA512Context prefixed512;
    QVSHA2::SHA256Init(prefixed256);
    QVSHA2::SHA512Init(prefixed512);
    Update(prefixed256, prefix);
    Update(prefixed512, prefix);

    // The rest of the message: H64 | H32 | decimal round number | secret. The secret moves
    // whenever the round number gains a digit.
    constexpr std::size_t MaxDigits = 10;
    TSecret message(64 + 32 + MaxDigits + secret.size());
    TSecret key(KeySize);
    auto* h64 = reinterpret_cast<std::uint8_t*>(message.data());
    std::uint8_t* h32 = h64 + 64;
    char* digits = message.data() + 96;
    std::memset(h64, F3, 64);
    std::memset(h32, F4, 32);
    std::size_t digitCount = 0;

    QVSHA2::TSHA256Context a;
    QVSHA2::TSHA512Context b;
    for (int i = 0; i < StoreKeyRounds; ++i) {
        const auto count =
            static_cast<std::size_t>(std::to_chars(digits, digits + MaxDigits, i).ptr - digits);
        if (count != digitCount) {
            digitCount = count;
            std::memcpy(digits + count, secret.data(), secret.size());
        }
        const std::size_t length = 96 + count + secret.size();
        a = prefixed256;
        b = prefixed512;
        Update(a, h64, length);
        Update(b, h64, length);
        QVSHA2::SHA512Final(b, h64);
        QVSHA2::SHA256Final(a, h32);
    }

    for (std::size_t j = 0; j < KeySize; ++j)
        key.data()[j] = static_cast<char>(h64[j] ^ h32[j] ^ h64[j + 17] ^ h32[j + 16]);
    WipeAll(prefixed256, prefixed512, a, b);
    return key;
}

// ---- Password and level

void TQVEnvironment::SetPassword(std::u16string_view password) {
    PasswordKey = PasswordToKey(password, {});
    PasswordChanged = true;
}

bool TQVEnvironment::CheckPassword(std::u16string_view password) const {
    return PasswordToKey(password, {}) == PasswordKey;
}

void TQVEnvironment::SetProtection(std::uint8_t level) {
    if (level > 2)
        throw EAssertionFailed("Assertion failed: protection level " + std::to_string(level));
    Protection = level;
    PasswordChanged = true;
}

// ---- The container's callbacks

void TQVEnvironment::HeaderRead(TQVCompoundFile& sender) {
    LoadedBudgetId = sender.Info;
    PasswordCandidates.clear();
    if (sender.Protected)
        CollectStoredPasswords(PasswordCandidates);
    else
        Protection = 0;
    CandidateIndex = 0;
}

void TQVEnvironment::GetLoadPassword(TQVCompoundFile&, TSecret& password, bool& cancel) {
    cancel = false;
    const auto candidates = static_cast<std::int32_t>(PasswordCandidates.size());
    TSecret key;
    if (!FOpenedKey.empty()) {
        Protection = FOpenedLevel;
        key = std::exchange(FOpenedKey, TSecret());
    } else if (CandidateIndex < candidates) {
        // A key remembered on this computer: the budget is normally protected.
        Protection = 1;
        key = PasswordCandidates[static_cast<std::size_t>(CandidateIndex)];
        ++CandidateIndex;
    } else {
        // A typed password makes it strongly protected, whether or not it opens the file.
        Protection = 2;
        if (!FAskPassword || CandidateIndex >= candidates + MaxPasswordAttempts) {
            FPasswordWanted = !FAskPassword;
            cancel = true;
            return;
        }
        key = AskPasswordKey();
        ++CandidateIndex;
    }
    PasswordKey = key;
    password = FilePasswordFor(key);
}

void TQVEnvironment::GetSavePassword(TQVCompoundFile&, TSecret& password, bool& cancel) {
    // Without a key the file would be encrypted under a password derived from nothing, which
    // anyone could open: refuse ("Invalid key") before anything is written.
    cancel = PasswordKey.size() != KeySize;
    if (!cancel)
        password = FilePasswordFor(PasswordKey);
}

const TSecret& TQVEnvironment::FilePasswordFor(const TSecret& key) {
    if (FFilePassword.empty() || key != FFilePasswordKey) {
        const TSecret* ahead = FOpenAhead ? FOpenAhead->FilePassword(key) : nullptr;
        FFilePassword = ahead != nullptr ? *ahead : KeyToFilePassword(key);
        FFilePasswordKey = key;
    }
    return FFilePassword;
}

TSecret TQVEnvironment::AskPasswordKey() {
    return PasswordToKey(RequestPassword(), {});
}

TSecretText TQVEnvironment::RequestPassword() {
    if (!PasswordRequest)
        return TSecretText(FallbackPassword);
    try {
        std::optional<std::u16string> answer = PasswordRequest();
        // Cancel is an empty password: it still counts as one attempt.
        if (!answer)
            return {};
        // The dialog's answer is this function's own copy, wiped once it is in the holder.
        struct TWipeAnswer {
            std::u16string& Text;
            ~TWipeAnswer() { QVUtils::Wipe(Text.data(), Text.size() * sizeof(char16_t)); }
        } wipe{*answer};
        return TSecretText(*answer);
    } catch (...) {
        return TSecretText(FallbackPassword);
    }
}

// ---- The stored password record

void TQVEnvironment::CollectStoredPasswords(std::vector<TSecret>& list) {
    const std::string folder = DataFolder();
    if (folder.empty())
        return;
    for (const FileSystem::TDirEntry& entry : FileSystem::FindFiles(folder, RecordPattern)) {
        std::uint8_t record[RecordSize];
        if (!ReadRecord(folder, entry, record) || LoadedBudgetId.size() < BudgetIdSize ||
            std::memcmp(record + RecordIdOffset, LoadedBudgetId.data(), BudgetIdSize) != 0)
            continue;
        TSecret key;
        if (DecryptStoredPassword(AsView(record + RecordPayloadOffset, PayloadSize),
                                  AsView(record + RecordSaltOffset, SaltSize), key))
            list.push_back(std::move(key));
    }
}

std::unique_ptr<TQVOpenAhead>& TQVEnvironment::PendingLaunchOpen() {
    static std::unique_ptr<TQVOpenAhead> pending;
    return pending;
}

void TQVEnvironment::PrepareLaunchOpen() {
    // The settings are read again by the environment; what counts here is only the name the
    // window will open, which it decides the same way.
    TQVSettings settings;
    settings.Load();
    if (!settings.AutoOpenLast || settings.RecentLocations.empty() ||
        settings.RecentLocations.front().empty())
        return;
    const std::string fileName = QVUtils::WideToAnsi(settings.RecentLocations.front());
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error))
        return;
    // Only a protected budget has records to derive from, and only those naming it count. A
    // file that cannot be read is left to the open, which says why.
    TQVCompoundFile head;
    try {
        TFileStream stream(fileName, TFileMode::OpenRead);
        head.ReadInfo(stream);
    } catch (const Exception&) {
        return;
    }
    if (!head.Protected)
        return;
    // The folder and the secret are read here, so the threads share nothing with this one.
    PendingLaunchOpen() = std::make_unique<TQVOpenAhead>(
        fileName, [folder = DataFolder(), secret = GetMachineSecret(), id = head.Info] {
            return DeriveFromRecords(folder, secret, id);
        });
}

void TQVEnvironment::StorePassword() {
    if (!PasswordChanged || PasswordKey.size() != KeySize)
        return;
    // The record names the budget by its id, so the id must be final before it is written.
    if (BudgetId.size() < BudgetIdSize) {
        BudgetId.assign(BudgetIdSize, '\0');
        QVUtils::RandomBytes(BudgetId.data(), static_cast<int>(BudgetIdSize));
    }
    std::uint8_t record[RecordSize];
    QVUtils::PutUInt32LE(record, RecordMagic);
    std::memcpy(record + RecordIdOffset, BudgetId.data(), BudgetIdSize);
    QVUtils::RandomBytes(record + RecordSaltOffset, static_cast<int>(SaltSize));
    const std::string payload =
        EncryptStoredPassword(PasswordKey, AsView(record + RecordSaltOffset, SaltSize));
    std::memcpy(record + RecordPayloadOffset, payload.data(), PayloadSize);

    const std::string folder = DataFolder();
    if (folder.empty())
        throw EOSError(ENOENT, "Cannot store the password: the user has no data folder");
    if (!ForceDataFolder(folder))
        RaiseLastOSError("Cannot create folder \"" + folder + "\"");
    FileSystem::WriteFileAtomic(
        folder + RecordName, std::string(reinterpret_cast<const char*>(record), RecordSize), 0600);
}

void TQVEnvironment::DeleteStoredPasswords() {
    const std::string folder = DataFolder();
    if (folder.empty())
        return;
    for (const FileSystem::TDirEntry& entry : FileSystem::FindFiles(folder, RecordPattern)) {
        if (!entry.IsFolder)
            FileSystem::DeleteFile(folder + entry.Name);
    }
}

std::string TQVEnvironment::EncryptStoredPassword(std::string_view key,
                                                  std::string_view salt) const {
    std::string prefix(salt);
    prefix += BudgetId;
    const TSecret storeKey = DeriveStoreKey(GetMachineSecret(), prefix);

    TSecret plain(PayloadSize);
    auto* bytes = reinterpret_cast<std::uint8_t*>(plain.data());
    std::memcpy(bytes, key.data(), std::min(KeySize, key.size()));
    // The checksum covers the 16 bytes the reader will test, whatever the key's length.
    QVUtils::PutUInt32LE(bytes + KeySize, QVCRC::CRC32(bytes, KeySize));
    std::string payload(PayloadSize, '\0');
    std::uint32_t outLen = PayloadSize;
    TQVCompoundFile::EncryptBuffer(bytes, PayloadSize, payload.data(), outLen, storeKey.data(),
                                   KeySize, nullptr, 0);
    return payload;
}

bool TQVEnvironment::DecryptStoredPassword(std::string_view payload, std::string_view salt,
                                           TSecret& key) const {
    if (payload.size() != PayloadSize)
        return false;
    std::string prefix(salt);
    prefix += LoadedBudgetId;
    const std::string secret = GetMachineSecret();
    const TSecret* ahead = FOpenAhead ? FOpenAhead->StoreKey(secret, prefix) : nullptr;
    return OpenPayload(ahead != nullptr ? *ahead : DeriveStoreKey(secret, prefix), payload, key);
}

std::string TQVEnvironment::GetMachineSecret() {
    return QVUtils::GetUserName() + ReadInstallationId() + QVUtils::GetHardwareString();
}

// ---- The installation id

bool TQVEnvironment::NeedInstallationId() {
    try {
        const std::string folder = DataFolder();
        return folder.empty() || !Folders::FolderExists(folder) ||
               !FileSystem::FileExists(folder + InstallationIdName);
    } catch (...) {
        return true;
    }
}

void TQVEnvironment::CreateInstallationId() {
    try {
        const std::string folder = DataFolder();
        if (!ForceDataFolder(folder))
            return;
        std::string id(InstallationIdSize, '\0');
        QVUtils::RandomBytes(id.data(), static_cast<int>(id.size()));
        FileSystem::WriteFileAtomic(folder + InstallationIdName, id, 0600);
    } catch (...) {
        // Without an id the records fall back on a fixed one; the program runs on regardless.
    }
}

std::string TQVEnvironment::ReadInstallationId() {
    try {
        const std::string folder = DataFolder();
        if (folder.empty())
            return FallbackInstallationId;
        // Read as a regular file only: a FIFO in its place would block the start for ever. A
        // short file leaves zero bytes behind what it holds.
        std::string id = FileSystem::ReadFile(folder + InstallationIdName);
        id.resize(InstallationIdSize, '\0');
        return id;
    } catch (...) {
        return FallbackInstallationId;
    }
}
