#include "storage/QVAES.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "support/Bytes.h"
#include "support/CryptoOracle.h"

using namespace QVAES;

namespace {

const std::uint8_t* U8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

// Runs `in` through the context in pieces cut at random points.
std::string InPieces(TAESContext& context, const std::string& in, bool encrypt, std::mt19937& rng) {
    std::string out(in.size(), '\0');
    for (std::size_t pos = 0; pos < in.size();) {
        const auto n = static_cast<std::uint32_t>(std::uniform_int_distribution<std::size_t>(
            0, std::min<std::size_t>(in.size() - pos, 100))(rng));
        std::uint32_t outLen = n;
        auto* target = reinterpret_cast<std::uint8_t*>(out.data()) + pos;
        EXPECT_TRUE(encrypt ? Encrypt(context, U8(in) + pos, n, target, outLen)
                            : Decrypt(context, U8(in) + pos, n, target, outLen));
        EXPECT_EQ(outLen, n);
        pos += n;
    }
    return out;
}

} // namespace

TEST(AESTest, KnownAnswers) {
    // The cipher and key expansion examples of FIPS-197, and CFB128-AES128 of SP 800-38A.
    std::uint32_t rk[44];
    ExpandKey(U8(Hex("000102030405060708090a0b0c0d0e0f")), rk);
    std::uint8_t block[16];
    EncryptBlock(U8(Hex("00112233445566778899aabbccddeeff")), rk, block);
    EXPECT_EQ(ToHex({reinterpret_cast<char*>(block), 16}), "69c4e0d86a7b0430d8cdb78070b4c55a");
    const std::string key = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    ExpandKey(U8(key), rk);
    EXPECT_EQ(rk[4], 0xa0fafe17u);
    EXPECT_EQ(rk[43], 0xb6630ca6u);

    const std::string iv = Hex("000102030405060708090a0b0c0d0e0f");
    const std::string plain =
        Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
            "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const std::string cipher =
        Hex("3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"
            "26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d1c0eeac4c66f9ff7f2e6");
    TAESContext context;
    std::string out(64, '\0');
    std::uint32_t outLen = 64;
    ASSERT_TRUE(InitEncrypt(context, U8(key), U8(iv)));
    ASSERT_TRUE(Encrypt(context, plain.data(), 64, out.data(), outLen));
    EXPECT_EQ(out, cipher);
    ASSERT_TRUE(InitDecrypt(context, U8(key), U8(iv)));
    ASSERT_TRUE(Decrypt(context, cipher.data(), 64, out.data(), outLen));
    EXPECT_EQ(out, plain);
}

TEST(AESTest, TooLittleRoomWritesNothingAndKeepsThePosition) {
    const std::string key(16, '\7'), iv(16, '\11'), in(17, 'Z');
    TAESContext context;
    InitEncrypt(context, U8(key), U8(iv));
    TAESContext before;
    std::memcpy(&before, &context, sizeof context);
    std::string out(17, '\xEE');
    for (bool encrypt : {true, false}) {
        std::uint32_t outLen = 16;
        EXPECT_FALSE(encrypt ? Encrypt(context, in.data(), 17, out.data(), outLen)
                             : Decrypt(context, in.data(), 17, out.data(), outLen));
        EXPECT_EQ(outLen, 0u);
    }
    std::uint32_t outLen = 5;
    EXPECT_TRUE(Encrypt(context, in.data(), 0, out.data(), outLen));
    EXPECT_EQ(outLen, 0u);
    EXPECT_EQ(std::memcmp(&before, &context, sizeof context), 0);
    EXPECT_EQ(out, std::string(17, '\xEE'));
    // The 17th byte takes the first byte of the second key-stream block.
    outLen = 17;
    ASSERT_TRUE(Encrypt(context, in.data(), 17, out.data(), outLen));
    EXPECT_EQ(context.Remaining, 15u);
    EXPECT_EQ(out, Oracle::AesCfb(key, iv, in, true));
}

TEST(AESTest, MatchesOpenSSLAcrossSplits) {
    std::mt19937 rng(20240611);
    auto random = [&](std::size_t n) {
        std::string bytes(n, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        return bytes;
    };
    for (int round = 0; round < 300; ++round) {
        const std::string key = random(16), iv = random(16);
        const std::string plain = random(std::uniform_int_distribution<std::size_t>(0, 700)(rng));
        // Two contexts on one key stream, used alternately, must not disturb each other.
        TAESContext enc, dec;
        InitEncrypt(enc, U8(key), U8(iv));
        InitDecrypt(dec, U8(key), U8(iv));
        const std::string cipher = InPieces(enc, plain, true, rng);
        ASSERT_EQ(cipher, Oracle::AesCfb(key, iv, plain, true)) << "length " << plain.size();
        ASSERT_EQ(InPieces(dec, cipher, false, rng), plain) << "length " << plain.size();
    }
}
