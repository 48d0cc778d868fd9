// The instruction-set paths of the cipher and digests against the portable code. The portable
// path is forced here whatever the processor has, so its answers are checked on every machine;
// where the processor has AES-NI, the SHA extensions or BMI2, both paths must agree byte for byte.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "storage/QVAES.h"
#include "storage/QVCpuFeatures.h"
#include "storage/QVSHA2.h"

namespace {

// Forces the portable code for its lifetime.
struct TPortable {
    TPortable() : FWas(QVCpu::PortableForced()) { QVCpu::ForcePortable(true); }
    ~TPortable() { QVCpu::ForcePortable(FWas); }
    bool FWas;
};

const std::uint8_t* U8(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

std::string Hex(const std::string& text) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string Random(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// One CFB pass over `in`, fed in pieces of the given lengths (cycled), in place when asked.
std::string CFB(const std::string& key, const std::string& iv, std::string in, bool decrypt,
                const std::vector<std::size_t>& cuts, bool inPlace) {
    QVAES::TAESContext context;
    QVAES::InitEncrypt(context, U8(key), U8(iv));
    std::string out(in.size(), '\0');
    std::string& target = inPlace ? in : out;
    for (std::size_t pos = 0, i = 0; pos < in.size(); ++i) {
        const auto n = static_cast<std::uint32_t>(std::min(cuts[i % cuts.size()], in.size() - pos));
        std::uint32_t outLen = n;
        if (decrypt)
            QVAES::Decrypt(context, in.data() + pos, n, target.data() + pos, outLen);
        else
            QVAES::Encrypt(context, in.data() + pos, n, target.data() + pos, outLen);
        pos += n;
    }
    return target;
}

std::string Digest(int bits, const std::string& m, const std::vector<std::size_t>& cuts) {
    std::uint8_t d[64];
    QVSHA2::TSHA256Context c256;
    QVSHA2::TSHA512Context c512;
    QVSHA2::SHA256Init(c256);
    QVSHA2::SHA512Init(c512);
    for (std::size_t pos = 0, i = 0; pos < m.size(); ++i) {
        const auto n = static_cast<std::uint32_t>(std::min(cuts[i % cuts.size()], m.size() - pos));
        if (bits == 256)
            QVSHA2::SHA256Update(c256, m.data() + pos, n);
        else
            QVSHA2::SHA512Update(c512, m.data() + pos, n);
        pos += n;
    }
    if (bits == 256)
        QVSHA2::SHA256Final(c256, d);
    else
        QVSHA2::SHA512Final(c512, d);
    return {reinterpret_cast<char*>(d), static_cast<std::size_t>(bits / 8)};
}

std::string OpenSSLCFB(const std::string& key, const std::string& iv, const std::string& in,
                       bool decrypt) {
    std::string out(in.size(), '\0');
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int n = 0;
    EVP_CipherInit_ex(ctx, EVP_aes_128_cfb128(), nullptr, U8(key), U8(iv), decrypt ? 0 : 1);
    EVP_CipherUpdate(ctx, reinterpret_cast<std::uint8_t*>(out.data()), &n, U8(in),
                     static_cast<int>(in.size()));
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

std::string OpenSSLDigest(int bits, const std::string& m) {
    std::uint8_t d[64];
    unsigned n = 0;
    EVP_Digest(m.data(), m.size(), d, &n, bits == 256 ? EVP_sha256() : EVP_sha512(), nullptr);
    return {reinterpret_cast<char*>(d), n};
}

} // namespace

TEST(HardwareCryptoTest, PortablePathKnownAnswers) {
    TPortable portable;
    ASSERT_FALSE(QVCpu::UseAESNI() || QVCpu::UseSHANI() || QVCpu::UseBMI2());
    // FIPS-197, SP 800-38A CFB128-AES128, and the FIPS 180-2 examples.
    std::uint32_t rk[44];
    QVAES::ExpandKey(U8(Hex("000102030405060708090a0b0c0d0e0f")), rk);
    std::uint8_t block[16];
    QVAES::EncryptBlock(U8(Hex("00112233445566778899aabbccddeeff")), rk, block);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 16),
              Hex("69c4e0d86a7b0430d8cdb78070b4c55a"));
    const std::string key = Hex("2b7e151628aed2a6abf7158809cf4f3c");
    const std::string iv = Hex("000102030405060708090a0b0c0d0e0f");
    const std::string plain =
        Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
            "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const std::string cipher =
        Hex("3b3fd92eb72dad20333449f8e83cfb4ac8a64537a0b3a93fcde3cdad9f1ce58b"
            "26751f67a3cbb140b1808cf187a4f4dfc04b05357c5d1c0eeac4c66f9ff7f2e6");
    EXPECT_EQ(CFB(key, iv, plain, false, {64}, false), cipher);
    EXPECT_EQ(CFB(key, iv, cipher, true, {64}, true), plain);
    EXPECT_EQ(Digest(256, "abc", {3}),
              Hex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(Digest(512, "abc", {3}),
              Hex("ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                  "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"));
}

// Lengths around the block sizes and the eight-block run of the parallel decryption, fed whole
// and in uneven pieces: both paths, and OpenSSL, give the same bytes.
TEST(HardwareCryptoTest, BothPathsAgree) {
    if (!QVCpu::HasAESNI() || !QVCpu::HasSHANI())
        std::cout << "This processor lacks a hardware path; the portable one is compared with "
                     "itself and OpenSSL.\n";
    std::mt19937 rng(7);
    const std::vector<std::vector<std::size_t>> cuttings = {{1u << 20}, {1, 15, 16, 17, 130}, {7}};
    for (std::size_t length : {0, 1, 15, 16, 17, 63, 64, 127, 128, 129, 255, 1000, 4096, 10007}) {
        const std::string key = Random(rng, 16), iv = Random(rng, 16);
        const std::string data = Random(rng, length);
        const std::string sealed = OpenSSLCFB(key, iv, data, false);
        const std::string opened = OpenSSLCFB(key, iv, data, true);
        for (const auto& cuts : cuttings) {
            SCOPED_TRACE(::testing::Message() << length << " bytes in pieces of " << cuts[0]);
            for (bool forced : {false, true}) {
                std::optional<TPortable> portable;
                if (forced)
                    portable.emplace();
                EXPECT_EQ(CFB(key, iv, data, false, cuts, forced), sealed) << forced;
                EXPECT_EQ(CFB(key, iv, data, true, cuts, !forced), opened) << forced;
                EXPECT_EQ(Digest(256, data, cuts), OpenSSLDigest(256, data)) << forced;
                EXPECT_EQ(Digest(512, data, cuts), OpenSSLDigest(512, data)) << forced;
            }
        }
    }
}
