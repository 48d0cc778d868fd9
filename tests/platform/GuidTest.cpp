#include "platform/Guid.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

TEST(GuidTest, Version4GuidsAndTheirBytesInMemoryOrder) {
    TGUID guid;
    ASSERT_EQ(CoCreateGuid(guid), 0);
    EXPECT_EQ(guid.D3 & 0xF000, 0x4000);
    EXPECT_EQ(guid.D4[0] & 0xC0, 0x80);
    // {00112233-4455-6677-8899-AABBCCDDEEFF}
    guid.D1 = 0x00112233;
    guid.D2 = 0x4455;
    guid.D3 = 0x6677;
    std::memcpy(guid.D4, "\x88\x99\xAA\xBB\xCC\xDD\xEE\xFF", 8);
    std::uint8_t bytes[16];
    GuidToBytes(guid, bytes);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 16),
              std::string("\x33\x22\x11\x00\x55\x44\x77\x66\x88\x99\xAA\xBB\xCC\xDD\xEE\xFF", 16));
    // The generator is read to the end of a large buffer.
    std::string buffer(100000, '\0');
    ASSERT_TRUE(SystemRandomBytes(buffer.data(), buffer.size()));
    EXPECT_NE(buffer.substr(buffer.size() - 64), std::string(64, '\0'));
}
