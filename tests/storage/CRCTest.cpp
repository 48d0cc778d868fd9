#include "storage/QVCRC.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(CRCTest, CheckValues) {
    auto crc = [](const char* s) {
        return QVCRC::CRC32(s, static_cast<std::int64_t>(std::strlen(s)));
    };
    EXPECT_EQ(crc("abc"), 0xCA6598D0u);
    EXPECT_EQ(crc("123456789"), 0x2DFD2D88u);
    EXPECT_EQ(crc("a"), 0x3AB551CEu);
    EXPECT_EQ(crc(""), 0u);
    EXPECT_EQ(QVCRC::CRC32("abc", -1), 0u);
}
