// The instruction-set paths of the cipher and digests and the portable code, which is forced
// whatever the processor has, must both give OpenSSL's bytes.
#include <gtest/gtest.h>

#include <iostream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "storage/crypto/QVAES.h"
#include "storage/crypto/QVSHA2.h"
#include "support/Bytes.h"
#include "support/CryptoOracle.h"

// Lengths around the block sizes, the digests' padding and the eight-block run of the parallel
// decryption, fed whole and in uneven pieces, encrypted beside and decrypted in place by two
// contexts taking turns.
TEST(HardwareCryptoTest, BothPathsAgreeWithOpenSSL) {
    if (!QVCpu::HasAESNI() || !QVCpu::HasSHANI())
        std::cout << "This processor lacks a hardware path; the portable one is compared with "
                     "itself and OpenSSL.\n";
    std::mt19937 rng(7);
    std::vector<std::vector<std::size_t>> cuttings = {{1u << 20}, {1, 15, 16, 17, 130}, {7}};
    for (int i = 0; i < 3; ++i)
        cuttings.push_back({rng() % 300, rng() % 300, rng() % 300, 1}); // never all zero
    for (std::size_t length :
         {0, 1, 15, 16, 17, 55, 56, 63, 64, 111, 112, 127, 128, 129, 255, 1000, 4096, 10007}) {
        const std::string key = Noise(rng, 16), iv = Noise(rng, 16), data = Noise(rng, length);
        const std::string sealed = Oracle::AesCfb(key, iv, data, true);
        for (const auto& cuts : cuttings) {
            SCOPED_TRACE(::testing::Message() << length << " bytes in pieces of " << cuts[0]);
            OnBothPaths([&] {
                QVAES::TAESContext enc, dec;
                QVAES::InitEncrypt(enc, U8(key), U8(iv));
                QVAES::InitDecrypt(dec, U8(key), U8(iv));
                QVSHA2::TSHA256Context c256;
                QVSHA2::TSHA512Context c512;
                QVSHA2::SHA256Init(c256);
                QVSHA2::SHA512Init(c512);
                std::string cipher(length, '\0'), opened = sealed;
                for (std::size_t pos = 0, i = 0; pos < length; ++i) {
                    const auto n =
                        static_cast<std::uint32_t>(std::min(cuts[i % cuts.size()], length - pos));
                    std::uint32_t outLen = n;
                    QVAES::Encrypt(enc, data.data() + pos, n, cipher.data() + pos, outLen);
                    QVAES::Decrypt(dec, opened.data() + pos, n, opened.data() + pos, outLen);
                    QVSHA2::SHA256Update(c256, data.data() + pos, n);
                    QVSHA2::SHA512Update(c512, data.data() + pos, n);
                    pos += n;
                }
                std::uint8_t d256[32], d512[64];
                QVSHA2::SHA256Final(c256, d256);
                QVSHA2::SHA512Final(c512, d512);
                EXPECT_EQ(cipher, sealed);
                EXPECT_EQ(opened, data);
                EXPECT_EQ(std::string(reinterpret_cast<char*>(d256), 32), Oracle::Sha256(data));
                EXPECT_EQ(std::string(reinterpret_cast<char*>(d512), 64), Oracle::Sha512(data));
            });
        }
    }
}

// A cipher's context holds the expanded key: whoever made it, and however its scope ends, it
// leaves no byte of that key behind.
TEST(HardwareCryptoTest, ACipherContextWipesItsKeyWhenItGoes) {
    alignas(QVAES::TAESContext) unsigned char place[sizeof(QVAES::TAESContext)];
    const std::uint8_t key[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    const std::uint8_t iv[16] = {};
    auto* context = new (place) QVAES::TAESContext;
    QVAES::InitDecrypt(*context, key, iv);
    ASSERT_NE(std::string(reinterpret_cast<const char*>(place), sizeof(place)),
              std::string(sizeof(place), '\0'));
    context->~TAESContext();
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(place), sizeof(place)),
              std::string(sizeof(place), '\0'));
}
