#pragma once

#include <cstdint>
#include <string>

// SHA-256 and SHA-512 (FIPS 180-2). Contexts belong to their callers; any number may be open.
namespace QVSHA2 {

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
