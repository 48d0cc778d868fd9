#include "storage/QVSHA2.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/Bytes.h"
#include "support/CryptoOracle.h"

using namespace QVSHA2;

namespace {

std::string Ours256(const std::string& m) {
    std::uint8_t d[32];
    SHA256String(m, d);
    return {reinterpret_cast<char*>(d), 32};
}

std::string Ours512(const std::string& m) {
    std::uint8_t d[64];
    SHA512Buffer(m.data(), static_cast<std::uint32_t>(m.size()), d);
    return {reinterpret_cast<char*>(d), 64};
}

// Both digests of `m` fed in pieces of the given lengths (cycled), with both contexts open side by
// side.
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
    return {{reinterpret_cast<char*>(d256), 32}, {reinterpret_cast<char*>(d512), 64}};
}

} // namespace

TEST(SHA2Test, PublishedVectorsAndEveryLengthAroundThePadding) {
    EXPECT_EQ(ToHex(Ours256("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(ToHex(Ours512("abc")),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
    // One- and two-block padding: 55/56/63/64 and 111/112/127/128 among the rest.
    std::string m;
    for (int length = 0; length <= 260; ++length) {
        ASSERT_EQ(Ours256(m), Oracle::Sha256(m)) << "length " << length;
        ASSERT_EQ(Ours512(m), Oracle::Sha512(m)) << "length " << length;
        m += static_cast<char>(length * 37 + 11);
    }
}

TEST(SHA2Test, PiecesMatchOpenSSL) {
    std::mt19937 rng(77);
    for (int round = 0; round < 200; ++round) {
        std::string m(std::uniform_int_distribution<std::size_t>(0, 1500)(rng), '\0');
        for (char& c : m)
            c = static_cast<char>(rng());
        std::vector<std::size_t> cuts = {1, 63, 64, 65, 127};
        if (round > 0)
            for (std::size_t& cut : cuts)
                cut = std::uniform_int_distribution<std::size_t>(0, 300)(rng);
        cuts.push_back(1); // never stall on all-zero cuts
        const auto [d256, d512] = InPieces(m, cuts);
        ASSERT_EQ(d256, Oracle::Sha256(m)) << "length " << m.size();
        ASSERT_EQ(d512, Oracle::Sha512(m)) << "length " << m.size();
    }
}
