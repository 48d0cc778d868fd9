// Saving and opening a large budget file (48,000 flows, and 192,000 to show the growth),
// unprotected and with normal protection, beside the floor of reading the file's bytes and
// decrypting them with OpenSSL; the memory an open takes, measured in a fresh process; and the
// three key derivations beside the same derivations computed with OpenSSL's SHA-2. OpenSSL picks
// its code path from OPENSSL_ia32cap at start-up: "~0x1000020000000000:0" gives its plain integer
// SHA-2. QV_PORTABLE_CRYPTO=1 runs ours on the portable code.
//
// The budget files, the stored password record and the installation id go to a temporary folder
// (XDG_DATA_HOME and XDG_CONFIG_HOME point there), never to the user's own folders.

// OpenSSL's one-block digest functions, deprecated in favour of EVP, are the fastest way it offers
// to hash thousands of short messages: EVP adds a provider dispatch to every message.
#define OPENSSL_SUPPRESS_DEPRECATED

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/sha.h>
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "BudgetGenerator.h"
#include "model/QVKeyConstants.h"
#include "platform/FileSystem.h"
#include "storage/container/QVCompoundFile.h"

namespace {

using BudgetGenerator::FixedKey;
using BudgetGenerator::FlowCount;

const TBenchFolders& Folders() {
    static const TBenchFolders folders;
    return folders;
}

// Benchmark arguments: the protection level, the flows a month (400: 48,000 flows) and, for the
// opens, whether one flow names no account.
std::uint8_t Level(const benchmark::State& state) {
    return static_cast<std::uint8_t>(state.range(0));
}
BudgetGenerator::TShape Shape(const benchmark::State& state) {
    return {static_cast<int>(state.range(1)), BudgetGenerator::Years * 12, state.range(2) != 0};
}

// The large budget at the given level, generated anew: an open in between replaces it.
TQVEnvironment& LargeBudget(std::uint8_t level, const BudgetGenerator::TShape& shape) {
    Folders();
    return BudgetGenerator::Budget(level, shape);
}

std::string BudgetFile(std::uint8_t level, const BudgetGenerator::TShape& shape) {
    return Folders().File("budget" + std::to_string(level) + "-" +
                          std::to_string(shape.FlowsPerMonth) + (shape.Lost ? "-lost" : "") +
                          ".qn");
}

void BM_Save(benchmark::State& state) {
    TQVEnvironment& env = LargeBudget(Level(state), Shape(state));
    const std::string file = BudgetFile(Level(state), Shape(state));
    for (auto _ : state)
        env.SaveToFile(file);
    state.counters["flows"] = FlowCount(env);
    state.counters["bytes"] = static_cast<double>(FileSystem::ReadFile(file).size());
}

void BM_Open(benchmark::State& state) {
    const std::string file = BudgetFile(Level(state), Shape(state));
    LargeBudget(Level(state), Shape(state)).SaveToFile(file);
    TQVEnvironment& env = *Environment;
    for (auto _ : state) {
        // Emptying the budget before an open is the caller's step, not the open's.
        state.PauseTiming();
        env.Reset();
        state.ResumeTiming();
        env.LoadFromFile(file);
    }
    if (env.Protection != Level(state))
        state.SkipWithError("the budget did not open at its level");
    state.counters["flows"] = FlowCount(env);
}

// The floor of an open: the file's bytes from the disk and its body decrypted by OpenSSL.
void BM_ReadAndDecryptOpenSSL(benchmark::State& state) {
    const std::string file = BudgetFile(1, Shape(state));
    LargeBudget(1, Shape(state)).SaveToFile(file);
    const TSecret password = TQVEnvironment::KeyToFilePassword(FixedKey);
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-CFB", nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    std::string plain;
    for (auto _ : state) {
        const std::string bytes = FileSystem::ReadFile(file);
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const std::uint32_t info =
            p[8] | p[9] << 8 | p[10] << 16 | static_cast<std::uint32_t>(p[11]) << 24;
        const std::size_t protection = TQVCompoundFile::HeaderSize + info;
        const std::size_t body = protection + TQVCompoundFile::ProtectionSize;
        plain.resize(bytes.size() - body);
        int n = 0;
        EVP_DecryptInit_ex(ctx, cipher, nullptr,
                           reinterpret_cast<const std::uint8_t*>(password.data()),
                           p + protection + 1);
        EVP_DecryptUpdate(ctx, reinterpret_cast<std::uint8_t*>(plain.data()), &n, p + body,
                          static_cast<int>(plain.size()));
        benchmark::DoNotOptimize(plain.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    state.counters["bytes"] = static_cast<double>(plain.size());
}

// ---- Memory of an open, in a fresh process

constexpr const char* ProbeVariable = "QV_BENCH_MEMORY_PROBE";

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line))
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::strtol(line.c_str() + length + 1, nullptr, 10);
    return -1;
}

// The probe process: an empty environment, its resident size, then the open of the named budget
// with the peak since then and the resident size after it. Writing 5 to clear_refs starts the
// peak afresh from the empty environment.
int RunProbe(const char* file) {
    TQVEnvironment::StartupErrorHandler = [](const std::string&) {};
    Environment = new TQVEnvironment();
    QVUtils::ReleaseFreeMemory();
    const long empty = StatusKiB("VmRSS");
    std::ofstream("/proc/self/clear_refs") << "5";
    Environment->LoadFromFile(file);
    std::printf("%ld %ld %ld %d\n", empty, StatusKiB("VmHWM"), StatusKiB("VmRSS"),
                FlowCount(*Environment));
    return 0;
}

void BM_OpenMemory(benchmark::State& state) {
    const std::string file = BudgetFile(Level(state), Shape(state));
    LargeBudget(Level(state), Shape(state)).SaveToFile(file);
    const double fileBytes = static_cast<double>(FileSystem::ReadFile(file).size());
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        state.SkipWithError("the program's own path is unknown");
        return;
    }
    long empty = 0, peak = 0, after = 0;
    int flows = 0;
    for (auto _ : state) {
        const std::string command = std::string(ProbeVariable) + "='" + file + "' '" + self + "'";
        FILE* probe = ::popen(command.c_str(), "r");
        if (probe == nullptr ||
            std::fscanf(probe, "%ld %ld %ld %d", &empty, &peak, &after, &flows) != 4) {
            if (probe != nullptr)
                ::pclose(probe);
            state.SkipWithError("the probe process gave no figures");
            return;
        }
        ::pclose(probe);
    }
    const double above = static_cast<double>(peak - empty) * 1024.0;
    state.counters["peak_above_empty_MB"] = above / 1e6;
    state.counters["peak_per_file_byte"] = above / fileBytes;
    state.counters["resident_per_flow"] = static_cast<double>(after - empty) * 1024.0 / flows;
    state.counters["flows"] = flows;
}

// ---- The derivations with OpenSSL's SHA-2, step for step as the program does them

using namespace QVKeyConstants;

// The same message layout as the program's, so the comparison is between the digest engines.
std::string PasswordToKeyOpenSSL(const std::string& w, const std::string& salt) {
    const std::size_t tail = salt.size() + w.size() + 4;
    std::string m256(64 + tail, '\0'), m512(32 + tail, '\0');
    auto* b64 = reinterpret_cast<std::uint8_t*>(m256.data());
    auto* b32 = reinterpret_cast<std::uint8_t*>(m512.data());
    std::memset(b64, F2, 64);
    std::memset(b32, F1, 32);
    for (std::uint8_t* message : {b64 + 64, b32 + 32}) {
        std::memcpy(message, salt.data(), salt.size());
        std::memcpy(message + salt.size(), w.data(), w.size());
    }
    std::uint8_t* n256 = b64 + m256.size() - 4;
    std::uint8_t* n512 = b32 + m512.size() - 4;
    SHA256_CTX outer256, a;
    SHA512_CTX outer512, b;
    SHA256_Init(&outer256);
    SHA512_Init(&outer512);
    for (std::uint32_t n = 0; n < PasswordRounds; ++n) {
        for (std::uint8_t* counter : {n256, n512}) {
            for (int i = 0; i < 4; ++i)
                counter[i] = static_cast<std::uint8_t>(n >> (8 * i));
        }
        SHA256_Init(&a);
        SHA256_Update(&a, b64, m256.size());
        SHA512_Init(&b);
        SHA512_Update(&b, b32, m512.size());
        SHA256_Final(b32, &a);
        SHA512_Final(b64, &b);
        SHA256_Update(&outer256, n % 2 ? b64 : b32, n % 2 ? 64 : 32);
        SHA512_Update(&outer512, n % 2 ? b32 : b64, n % 2 ? 32 : 64);
    }
    SHA256_Final(b32, &outer256);
    SHA512_Final(b64, &outer512);
    std::string key(16, '\0');
    for (int i = 0; i < 16; ++i)
        key[i] = static_cast<char>(b32[i] ^ b64[i] ^ b32[i + 16] ^ b64[i + 16] ^ b64[i + 32] ^
                                   b64[i + 48]);
    return key;
}

std::string KeyToFilePasswordOpenSSL(const std::string& p) {
    const std::size_t k = p.size();
    std::string mA(k + 32 + 64 + 2, '\0'), mB(64 + k + (k - 1) + 32 + 16, '\0');
    auto* a32 = reinterpret_cast<std::uint8_t*>(mA.data()) + k;
    std::uint8_t* a64 = a32 + 32;
    auto* b64 = reinterpret_cast<std::uint8_t*>(mB.data());
    std::uint8_t* b32 = b64 + 64 + k + (k - 1);
    std::memcpy(mA.data(), p.data(), k);
    std::memcpy(a64 + 64, C4, 2);
    std::memcpy(b64 + 64, p.data(), k);
    std::memcpy(b64 + 64 + k, p.data() + 1, k - 1);
    std::memcpy(b32 + 32, C3, 16);
    std::uint8_t mix[96], d64[64], d32[32];
    SHA256_CTX x, a;
    SHA512_CTX y, b;
    SHA256_Init(&x);
    SHA512_Init(&y);
    SHA256_Init(&a);
    SHA256_Update(&a, p.data(), k);
    SHA256_Update(&a, C1, sizeof C1);
    SHA256_Final(a32, &a);
    SHA512_Init(&b);
    SHA512_Update(&b, p.data(), k);
    SHA512_Update(&b, C2, sizeof C2);
    SHA512_Final(a64, &b);
    std::memcpy(b64, a64, 64);
    std::memcpy(b32, a32, 32);
    SHA256_Update(&x, a64, 64);
    SHA512_Update(&y, a32, 32);
    SHA256_Update(&x, p.data(), k);
    SHA512_Update(&y, p.data(), k);
    SHA512_Update(&y, p.data(), k);
    for (int round = 0; round < FilePasswordRounds; ++round) {
        SHA256_Init(&a);
        SHA256_Update(&a, mA.data(), mA.size());
        SHA512_Init(&b);
        SHA512_Update(&b, mB.data(), mB.size());
        SHA256_Final(mix, &a);
        SHA512_Final(d64, &b);
        std::memcpy(mix + 32, d64 + 32, 32);
        std::memcpy(mix + 64, d64, 32);
        SHA512_Update(&y, mix, 96);
        SHA256_Update(&x, mix, 96);
        std::memcpy(a32, mix, 32);
        std::memcpy(a64, d64, 64);
        std::memcpy(b64, d64, 64);
        std::memcpy(b32, mix, 32);
    }
    SHA256_Final(d32, &x);
    SHA512_Final(d64, &y);
    std::string password(16, '\0');
    for (int i = 0; i < 16; ++i)
        password[i] = static_cast<char>(d32[i + 3] ^ d32[i + 15] ^ d64[i + 1] ^ d64[i + 21]);
    return password;
}

std::string DeriveStoreKeyOpenSSL(const std::string& secret, const std::string& prefix) {
    SHA256_CTX prefixed256;
    SHA512_CTX prefixed512;
    SHA256_Init(&prefixed256);
    SHA512_Init(&prefixed512);
    SHA256_Update(&prefixed256, prefix.data(), prefix.size());
    SHA512_Update(&prefixed512, prefix.data(), prefix.size());
    std::string message(96 + 10 + secret.size(), '\0');
    auto* h64 = reinterpret_cast<std::uint8_t*>(message.data());
    std::uint8_t* h32 = h64 + 64;
    char* digits = message.data() + 96;
    std::memset(h64, F3, 64);
    std::memset(h32, F4, 32);
    std::size_t digitCount = 0;
    for (int i = 0; i < StoreKeyRounds; ++i) {
        const auto count =
            static_cast<std::size_t>(std::to_chars(digits, digits + 10, i).ptr - digits);
        if (count != digitCount) {
            digitCount = count;
            std::memcpy(digits + count, secret.data(), secret.size());
        }
        SHA256_CTX a = prefixed256;
        SHA512_CTX b = prefixed512;
        SHA256_Update(&a, h64, 96 + count + secret.size());
        SHA512_Update(&b, h64, 96 + count + secret.size());
        SHA512_Final(h64, &b);
        SHA256_Final(h32, &a);
    }
    std::string key(16, '\0');
    for (int j = 0; j < 16; ++j)
        key[j] = static_cast<char>(h64[j] ^ h32[j] ^ h64[j + 17] ^ h32[j + 16]);
    return key;
}

// Typical inputs: an eight-letter password; the machine secret and a salt with a budget id.
const std::u16string Password = u"Pa55word";
std::string Secret() {
    Folders();
    return QVUtils::GetUserName() + std::string(32, 'i') + QVUtils::GetHardwareString();
}
const std::string Prefix = std::string(16, 's') + std::string(32, 'b');

template <bool Ours> void BM_PasswordToKey(benchmark::State& state) {
    const std::string w = QVBase::WideToBytes(Password);
    if (TQVEnvironment::PasswordToKey(Password, {}) != PasswordToKeyOpenSSL(w, {}))
        state.SkipWithError("the two computations differ");
    for (auto _ : state) {
        if constexpr (Ours)
            benchmark::DoNotOptimize(TQVEnvironment::PasswordToKey(Password, {}));
        else
            benchmark::DoNotOptimize(PasswordToKeyOpenSSL(w, {}));
    }
}

template <bool Ours> void BM_KeyToFilePassword(benchmark::State& state) {
    if (TQVEnvironment::KeyToFilePassword(FixedKey) != KeyToFilePasswordOpenSSL(FixedKey))
        state.SkipWithError("the two computations differ");
    for (auto _ : state) {
        if constexpr (Ours)
            benchmark::DoNotOptimize(TQVEnvironment::KeyToFilePassword(FixedKey));
        else
            benchmark::DoNotOptimize(KeyToFilePasswordOpenSSL(FixedKey));
    }
}

template <bool Ours> void BM_DeriveStoreKey(benchmark::State& state) {
    const std::string secret = Secret();
    if (TQVEnvironment::DeriveStoreKey(secret, Prefix) != DeriveStoreKeyOpenSSL(secret, Prefix))
        state.SkipWithError("the two computations differ");
    for (auto _ : state) {
        if constexpr (Ours)
            benchmark::DoNotOptimize(TQVEnvironment::DeriveStoreKey(secret, Prefix));
        else
            benchmark::DoNotOptimize(DeriveStoreKeyOpenSSL(secret, Prefix));
    }
}

} // namespace

// Arguments: protection level, flows a month (400: 48,000 flows; 1,600: 192,000), and whether
// one flow names no account.
[[maybe_unused]] const bool Registered = [] {
    constexpr auto ms = benchmark::kMillisecond;
    for (const long flows : {400L, 1600L}) {
        benchmark::RegisterBenchmark("Save/Unprotected", BM_Save)->Args({0, flows, 0})->Unit(ms);
        benchmark::RegisterBenchmark("Open/Unprotected", BM_Open)->Args({0, flows, 0})->Unit(ms);
        benchmark::RegisterBenchmark("Open/UnprotectedAccountLost", BM_Open)
            ->Args({0, flows, 1})
            ->Unit(ms);
        benchmark::RegisterBenchmark("Save/Normal", BM_Save)->Args({1, flows, 0})->Unit(ms);
        benchmark::RegisterBenchmark("Open/Normal", BM_Open)->Args({1, flows, 0})->Unit(ms);
        benchmark::RegisterBenchmark("ReadAndDecrypt/OpenSSL", BM_ReadAndDecryptOpenSSL)
            ->Args({1, flows, 0})
            ->Unit(ms);
        benchmark::RegisterBenchmark("Open/Memory", BM_OpenMemory)
            ->Args({1, flows, 0})
            ->Iterations(3);
        benchmark::RegisterBenchmark("Open/MemoryAccountLost", BM_OpenMemory)
            ->Args({1, flows, 1})
            ->Iterations(3);
    }
    return true;
}();

BENCHMARK(BM_PasswordToKey<true>)->Name("PasswordToKey/Ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PasswordToKey<false>)->Name("PasswordToKey/OpenSSL")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyToFilePassword<true>)
    ->Name("KeyToFilePassword/Ours")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyToFilePassword<false>)
    ->Name("KeyToFilePassword/OpenSSL")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeriveStoreKey<true>)->Name("DeriveStoreKey/Ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeriveStoreKey<false>)->Name("DeriveStoreKey/OpenSSL")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (const char* file = std::getenv(ProbeVariable))
        return RunProbe(file);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
