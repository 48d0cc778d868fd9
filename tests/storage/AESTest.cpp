#include "storage/QVAES.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace QVAES;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Hex(const std::string& hex) {
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

Bytes OpenSSLCFB(const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt) {
    Bytes out(in.size() + 16);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0, m = 0;
    EVP_CipherInit_ex(ctx, EVP_aes_128_cfb128(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0);
    EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
    EVP_CipherFinal_ex(ctx, out.data() + n, &m);
    EVP_CIPHER_CTX_free(ctx);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
}

// Runs `in` through the context in pieces cut at random points.
Bytes InPieces(TAESContext& ctx, const Bytes& in, bool encrypt, std::mt19937& rng) {
    Bytes out(in.size());
    std::size_t pos = 0;
    while (pos < in.size()) {
        std::size_t n = std::uniform_int_distribution<std::size_t>(
            0, std::min<std::size_t>(in.size() - pos, 100))(rng);
        std::uint32_t outLen = static_cast<std::uint32_t>(n);
        const auto len = static_cast<std::uint32_t>(n);
        EXPECT_TRUE(encrypt ? Encrypt(ctx, in.data() + pos, len, out.data() + pos, outLen)
                            : Decrypt(ctx, in.data() + pos, len, out.data() + pos, outLen));
        EXPECT_EQ(outLen, n);
        pos += n;
    }
    return out;
}

} // namespace

TEST(AESTest, KnownAnswers) {
    // Cipher example and key expansion example of the standard.
    std::uint32_t rk[44];
    ExpandKey(Hex("000102030405060708090a0b0c0d0e0f").data(), rk);
    std::uint8_t out[16];
    EncryptBlock(Hex("00112233445566778899aabbccddeeff").data(), rk, out);
    EXPECT_EQ(Bytes(out, out + 16), Hex("69c4e0d86a7b0430d8cdb78070b4c55a"));
    ExpandKey(Hex("2b7e151628aed2a6abf7158809cf4f3c").data(), rk);
    EXPECT_EQ(rk[4], 0xa0fafe17u);
    EXPECT_EQ(rk[43], 0xb6630ca6u);

    // CFB128-AES128 encryption and decryption vectors.
    const Bytes key = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    const Bytes iv = Hex("000102030405060708090a0b0c0d0e0f");
    const Bytes plain = Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                            "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const Bytes cipher = Hex("3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"
                             "26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d1c0eeac4c66f9ff7f2e6");
    TAESContext ctx;
    Bytes got(64);
    std::uint32_t outLen = 64;
    ASSERT_TRUE(InitEncrypt(ctx, key.data(), iv.data()));
    ASSERT_TRUE(Encrypt(ctx, plain.data(), 64, got.data(), outLen));
    EXPECT_EQ(got, cipher);
    ASSERT_TRUE(InitDecrypt(ctx, key.data(), iv.data()));
    ASSERT_TRUE(Decrypt(ctx, cipher.data(), 64, got.data(), outLen));
    EXPECT_EQ(got, plain);
}

TEST(AESTest, CapacityAndPosition) {
    const Bytes key(16, 7), iv(16, 9), in(40, 0x5a);
    TAESContext ctx;
    InitEncrypt(ctx, key.data(), iv.data());
    Bytes out(40, 0xee);
    std::uint32_t outLen = 3;
    ASSERT_TRUE(Encrypt(ctx, in.data(), 3, out.data(), outLen));

    TAESContext before;
    std::memcpy(&before, &ctx, sizeof ctx);
    outLen = 16;
    EXPECT_FALSE(Encrypt(ctx, in.data(), 17, out.data() + 3, outLen));
    EXPECT_EQ(outLen, 0u);
    outLen = 16;
    EXPECT_FALSE(Decrypt(ctx, in.data(), 17, out.data() + 3, outLen));
    EXPECT_EQ(outLen, 0u);
    EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);
    EXPECT_TRUE(std::all_of(out.begin() + 3, out.end(), [](std::uint8_t b) { return b == 0xee; }));

    outLen = 5;
    EXPECT_TRUE(Encrypt(ctx, in.data(), 0, out.data(), outLen));
    EXPECT_EQ(outLen, 0u);
    EXPECT_EQ(std::memcmp(&before, &ctx, sizeof ctx), 0);

    // 3 + 14 bytes: the 17th byte of the message takes the first byte of the second block.
    outLen = 14;
    ASSERT_TRUE(Encrypt(ctx, in.data(), 14, out.data() + 3, outLen));
    EXPECT_EQ(ctx.Remaining, 15u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 17),
              OpenSSLCFB(key, iv, Bytes(in.begin(), in.begin() + 17), true));
}

TEST(AESTest, MatchesOpenSSLAcrossSplits) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    auto random = [&](std::size_t n) {
        Bytes b(n);
        for (auto& x : b)
            x = static_cast<std::uint8_t>(byte(rng));
        return b;
    };
    for (int round = 0; round < 300; ++round) {
        const Bytes key = random(16), iv = random(16);
        const Bytes plain = random(std::uniform_int_distribution<std::size_t>(0, 700)(rng));
        const Bytes expected = OpenSSLCFB(key, iv, plain, true);

        // Two contexts on one key stream, used alternately, must not disturb each other.
        TAESContext enc, dec;
        InitEncrypt(enc, key.data(), iv.data());
        InitDecrypt(dec, key.data(), iv.data());
        const Bytes cipher = InPieces(enc, plain, true, rng);
        ASSERT_EQ(cipher, expected) << "length " << plain.size();
        ASSERT_EQ(InPieces(dec, cipher, false, rng), plain) << "length " << plain.size();
        EXPECT_EQ(OpenSSLCFB(key, iv, cipher, false), plain);
    }
}
