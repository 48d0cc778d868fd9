#pragma once

#include <cstdint>

namespace QVCRC {

// The program's checksum: reflected CRC with polynomial 0xEDB88320, register starting at 0 and
// no final inversion. This is not the common CRC-32: "abc" gives 0xCA6598D0. A len of 0 or less
// gives 0.
std::uint32_t CRC32(const void* buf, std::int64_t len);

} // namespace QVCRC
