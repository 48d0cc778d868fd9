#include "platform/Guid.h"

#include <array>
#include <cstring>
#include <set>

#include <gtest/gtest.h>

TEST(GuidTest, RandomVersion4GuidsAreUnique) {
    std::set<std::array<std::uint8_t, 16>> seen;
    for (int i = 0; i < 1000; ++i) {
        TGUID guid;
        ASSERT_EQ(CoCreateGuid(guid), 0);
        EXPECT_EQ(guid.D3 & 0xF000, 0x4000);
        EXPECT_EQ(guid.D4[0] & 0xC0, 0x80);
        std::uint8_t raw[16];
        GuidToBytes(guid, raw);
        std::array<std::uint8_t, 16> bytes;
        std::memcpy(bytes.data(), raw, 16);
        EXPECT_TRUE(seen.insert(bytes).second);
    }
}

TEST(GuidTest, BytesInMemoryOrder) {
    // {00112233-4455-6677-8899-AABBCCDDEEFF}
    TGUID guid;
    guid.D1 = 0x00112233;
    guid.D2 = 0x4455;
    guid.D3 = 0x6677;
    const std::uint8_t tail[8] = {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    std::memcpy(guid.D4, tail, 8);
    std::uint8_t bytes[16];
    GuidToBytes(guid, bytes);
    const std::uint8_t expected[16] = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                       0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    EXPECT_EQ(std::memcmp(bytes, expected, 16), 0);
}

TEST(GuidTest, SystemRandomBytesFillsLargeBuffers) {
    std::array<std::uint8_t, 100000> buffer{};
    ASSERT_TRUE(SystemRandomBytes(buffer.data(), buffer.size()));
    // A run of 64 zero bytes at the end would mean the tail was never written.
    std::array<std::uint8_t, 64> zeros{};
    EXPECT_NE(std::memcmp(buffer.data() + buffer.size() - 64, zeros.data(), 64), 0);
    EXPECT_TRUE(SystemRandomBytes(nullptr, 0));
}
