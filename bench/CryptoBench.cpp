// Our cipher and digests beside OpenSSL's. OpenSSL picks its code path from OPENSSL_ia32cap at
// start-up, so one binary measures it with or without its hardware-specific paths.
#include "storage/crypto/QVAES.h"
#include "storage/crypto/QVSHA2.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t CipherBytes = 16u << 20;

// Pseudo-random bytes, enough for the largest run; the smaller runs take a prefix.
const std::vector<std::uint8_t>& Input() {
    static const std::vector<std::uint8_t> data = [] {
        std::vector<std::uint8_t> d(CipherBytes);
        std::uint32_t x = 0x12345678;
        for (auto& b : d) {
            x = x * 1664525 + 1013904223;
            b = static_cast<std::uint8_t>(x >> 24);
        }
        return d;
    }();
    return data;
}

const std::uint8_t Key[16] = {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6,
                              0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c};
const std::uint8_t IV[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

// A short warm-up first: the figure of whichever benchmark runs first otherwise includes the
// processor waking to full speed.
void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(100)->Arg(1 << 20)->MinWarmUpTime(0.2);
}

template <int Bits> void BM_SHA_Ours(benchmark::State& state) {
    const auto len = static_cast<std::uint32_t>(state.range(0));
    const auto& in = Input();
    std::uint8_t digest[64];
    for (auto _ : state) {
        if constexpr (Bits == 256)
            QVSHA2::SHA256Buffer(in.data(), len, digest);
        else
            QVSHA2::SHA512Buffer(in.data(), len, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * len);
}

template <int Bits> void BM_SHA_OpenSSL(benchmark::State& state) {
    const auto len = static_cast<std::size_t>(state.range(0));
    const auto& in = Input();
    // Fetched once and the context reused, so the figure is the digest and not the look-up.
    EVP_MD* md = EVP_MD_fetch(nullptr, Bits == 256 ? "SHA256" : "SHA512", nullptr);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    for (auto _ : state) {
        EVP_DigestInit_ex2(ctx, md, nullptr);
        EVP_DigestUpdate(ctx, in.data(), len);
        EVP_DigestFinal_ex(ctx, digest, &n);
        benchmark::DoNotOptimize(digest);
    }
    EVP_MD_CTX_free(ctx);
    EVP_MD_free(md);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(len));
}

template <bool Decrypting> void BM_CFB_Ours(benchmark::State& state) {
    const auto& in = Input();
    std::vector<std::uint8_t> out(CipherBytes);
    for (auto _ : state) {
        QVAES::TAESContext ctx;
        QVAES::InitEncrypt(ctx, Key, IV);
        std::uint32_t outLen = CipherBytes;
        if constexpr (Decrypting)
            QVAES::Decrypt(ctx, in.data(), CipherBytes, out.data(), outLen);
        else
            QVAES::Encrypt(ctx, in.data(), CipherBytes, out.data(), outLen);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * CipherBytes);
}

template <bool Decrypting> void BM_CFB_OpenSSL(benchmark::State& state) {
    const auto& in = Input();
    std::vector<std::uint8_t> out(CipherBytes + 16);
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "AES-128-CFB", nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    for (auto _ : state) {
        int n = 0;
        EVP_CipherInit_ex(ctx, cipher, nullptr, Key, IV, Decrypting ? 0 : 1);
        EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(CipherBytes));
        benchmark::DoNotOptimize(out.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * CipherBytes);
}

} // namespace

BENCHMARK(BM_SHA_Ours<256>)->Name("SHA256/Ours")->Apply(Sizes);
BENCHMARK(BM_SHA_OpenSSL<256>)->Name("SHA256/OpenSSL")->Apply(Sizes);
BENCHMARK(BM_SHA_Ours<512>)->Name("SHA512/Ours")->Apply(Sizes);
BENCHMARK(BM_SHA_OpenSSL<512>)->Name("SHA512/OpenSSL")->Apply(Sizes);
BENCHMARK(BM_CFB_Ours<false>)->Name("AES128CFB/Encrypt/Ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CFB_OpenSSL<false>)->Name("AES128CFB/Encrypt/OpenSSL")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CFB_Ours<true>)->Name("AES128CFB/Decrypt/Ours")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CFB_OpenSSL<true>)->Name("AES128CFB/Decrypt/OpenSSL")->Unit(benchmark::kMillisecond);
