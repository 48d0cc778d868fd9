#include "storage/crypto/QVCRC.h"

#include <array>

namespace QVCRC {

namespace {

constexpr std::array<std::uint32_t, 256> MakeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t r = i;
        for (int bit = 0; bit < 8; ++bit)
            r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        table[i] = r;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> Table = MakeTable();

} // namespace

std::uint32_t CRC32(const void* buf, std::int64_t len) {
    std::uint32_t r = 0;
    const auto* p = static_cast<const std::uint8_t*>(buf);
    for (std::int64_t i = 0; i < len; ++i)
        r = Table[(r ^ p[i]) & 0xff] ^ (r >> 8);
    return r;
}

} // namespace QVCRC
