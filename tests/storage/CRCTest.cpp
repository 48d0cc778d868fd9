#include "storage/crypto/QVCRC.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/CryptoOracle.h"

TEST(CRCTest, CheckValuesAndTheBitwiseReference) {
    const std::pair<std::string, std::uint32_t> checks[] = {
        {"abc", 0xCA6598D0u}, {"123456789", 0x2DFD2D88u}, {"a", 0x3AB551CEu}, {"", 0u}};
    for (const auto& [text, crc] : checks) {
        EXPECT_EQ(QVCRC::CRC32(text.data(), static_cast<std::int64_t>(text.size())), crc) << text;
        EXPECT_EQ(Oracle::Crc(text), crc) << text; // the reference the record tests rely on
    }
    std::mt19937 rng(5);
    std::string bytes;
    for (int length = 0; length < 300; ++length) {
        ASSERT_EQ(QVCRC::CRC32(bytes.data(), length), Oracle::Crc(bytes)) << length;
        bytes.push_back(static_cast<char>(rng()));
    }
}
