#include "storage/QVSHA2.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>

using namespace QVSHA2;

namespace {

std::string ToHex(const std::uint8_t* p, std::size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
    return s;
}

std::string Ours256(const std::string& m) {
    std::uint8_t d[32];
    SHA256String(m, d);
    return ToHex(d, 32);
}

std::string Ours512(const std::string& m) {
    std::uint8_t d[64];
    SHA512String(m, d);
    return ToHex(d, 64);
}

std::string OpenSSLDigest(const EVP_MD* md, const std::string& m) {
    std::uint8_t d[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    EVP_Digest(m.data(), m.size(), d, &n, md, nullptr);
    return ToHex(d, n);
}

// Digests `m` with Update calls cut at the given lengths (cycled) on both algorithms, with both
// contexts open side by side.
std::pair<std::string, std::string> InPieces(const std::string& m,
                                             const std::vector<std::size_t>& cuts) {
    TSHA256Context c256;
    TSHA512Context c512;
    SHA256Init(c256);
    SHA512Init(c512);
    for (std::size_t pos = 0, i = 0; pos < m.size(); ++i) {
        const auto n = static_cast<std::uint32_t>(std::min(cuts[i % cuts.size()], m.size() - pos));
        SHA256Update(c256, m.data() + pos, n);
        SHA512Update(c512, m.data() + pos, n);
        pos += n;
    }
    std::uint8_t d256[32], d512[64];
    SHA256Final(c256, d256);
    SHA512Final(c512, d512);
    return {ToHex(d256, 32), ToHex(d512, 64)};
}

} // namespace

TEST(SHA2Test, PublishedVectors) {
    const std::string m448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string m896 = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmno"
                             "ijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
    EXPECT_EQ(Ours256(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Ours256("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Ours256(m448), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Ours256(m896), "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(Ours512(""), "cf83e1357eefb8bdf1542850d66d8007d620e4050b5715dc83f4a921d36ce9ce"
                           "47d0d13c5d85f2b0ff8318d2877eec2f63b931bd47417a81a538327af927da3e");
    EXPECT_EQ(Ours512("abc"), "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    EXPECT_EQ(Ours512(m448), "204a8fc6dda82f0a0ced7beb8e08a41657c16ef468b228a8279be331a703c335"
                             "96fd15c13b1b07f9aa1d3bea57789ca031ad85c7a71dd70354ec631238ca3445");
    EXPECT_EQ(Ours512(m896), "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
                             "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909");
}

TEST(SHA2Test, EveryLengthAroundThePadding) {
    // Covers one- and two-block padding: 55/56/63/64 and 111/112/127/128 among the rest.
    std::string m;
    for (int len = 0; len <= 260; ++len) {
        std::uint8_t d[64];
        SHA256Buffer(m.data(), static_cast<std::uint32_t>(m.size()), d);
        ASSERT_EQ(ToHex(d, 32), OpenSSLDigest(EVP_sha256(), m)) << "length " << len;
        SHA512Buffer(m.data(), static_cast<std::uint32_t>(m.size()), d);
        ASSERT_EQ(ToHex(d, 64), OpenSSLDigest(EVP_sha512(), m)) << "length " << len;
        m += static_cast<char>(len * 37 + 11);
    }
}

TEST(SHA2Test, PiecesMatchOpenSSL) {
    std::mt19937 rng(77);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        std::string m(std::uniform_int_distribution<std::size_t>(0, 1500)(rng), '\0');
        for (auto& c : m)
            c = static_cast<char>(byte(rng));
        std::vector<std::size_t> cuts;
        if (round == 0)
            cuts = {1, 63, 64, 65, 127};
        else
            for (int i = 0; i < 5; ++i)
                cuts.push_back(std::uniform_int_distribution<std::size_t>(0, 300)(rng));
        cuts.push_back(1); // never stall on all-zero cuts
        const auto [d256, d512] = InPieces(m, cuts);
        ASSERT_EQ(d256, OpenSSLDigest(EVP_sha256(), m)) << "length " << m.size();
        ASSERT_EQ(d512, OpenSSLDigest(EVP_sha512(), m)) << "length " << m.size();
        ASSERT_EQ(d256, Ours256(m));
        ASSERT_EQ(d512, Ours512(m));
    }
}
