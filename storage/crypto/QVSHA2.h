#pragma once

#include <cstdint>
#include <string>

// SHA-256 and SHA-512 (FIPS 180-2). Contexts belong to their callers; any number may be open.
namespace QVSHA2 {

// The round constants of SHA-256, shared by the portable and the instruction-set code (aligned for
// the latter's 16-byte loads).
alignas(16) inline constexpr std::uint32_t K256[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

struct TSHA256Context {
    std::uint64_t Count;     // message bytes taken so far
    std::uint8_t Buffer[64]; // bytes of the block being filled
    std::uint32_t Waiting;   // bytes in Buffer, always below 64
    std::uint32_t State[8];
};

struct TSHA512Context {
    std::uint64_t Count;
    std::uint8_t Buffer[128];
    std::uint32_t Waiting; // always below 128
    std::uint64_t State[8];
};

using TSHA256Digest = std::uint8_t[32];
using TSHA512Digest = std::uint8_t[64];

void SHA256Init(TSHA256Context& context);
void SHA256Update(TSHA256Context& context, const void* buffer, std::uint32_t length);
// Writes the digest; the context must be set up again with SHA256Init before reuse.
void SHA256Final(TSHA256Context& context, std::uint8_t digest[32]);
void SHA256Buffer(const void* buffer, std::uint32_t length, std::uint8_t digest[32]);
void SHA256String(const std::string& bytes, std::uint8_t digest[32]);

void SHA512Init(TSHA512Context& context);
void SHA512Update(TSHA512Context& context, const void* buffer, std::uint32_t length);
void SHA512Final(TSHA512Context& context, std::uint8_t digest[64]);
void SHA512Buffer(const void* buffer, std::uint32_t length, std::uint8_t digest[64]);
void SHA512String(const std::string& bytes, std::uint8_t digest[64]);

} // namespace QVSHA2
