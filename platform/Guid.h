#pragma once

#include <cstddef>
#include <cstdint>

// The GUID structure as it lies in memory: a 32-bit and two 16-bit fields, then 8 bytes.
struct TGUID {
    std::uint32_t D1 = 0;
    std::uint16_t D2 = 0;
    std::uint16_t D3 = 0;
    std::uint8_t D4[8] = {};
};

// Makes a new random GUID (RFC 4122 version 4) from the operating system's generator. Returns 0
// on success and a negative code (top bit set) when no random bytes could be had, like the
// platform call it stands in for.
std::int32_t CoCreateGuid(TGUID& guid);

// The 16 bytes of the structure in memory order: D1, D2 and D3 least significant byte first.
void GuidToBytes(const TGUID& guid, std::uint8_t (&bytes)[16]);

// Fills `count` bytes from the operating system's cryptographic generator (getrandom).
// Returns false when the generator cannot be read.
bool SystemRandomBytes(void* buffer, std::size_t count);
