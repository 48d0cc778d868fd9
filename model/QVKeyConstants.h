#pragma once

#include <cstdint>

// The fixed inputs of the three key derivations. Every protected budget file and every stored
// password record ever written depends on these exact values: they must never change.
namespace QVKeyConstants {

inline constexpr std::uint8_t F1 = 0xD5; // PasswordToKey: initial 32-byte chaining block
inline constexpr std::uint8_t F2 = 0x6B; // PasswordToKey: initial 64-byte chaining block
inline constexpr std::uint8_t F3 = 0xBB; // DeriveStoreKey: initial 64-byte block
inline constexpr std::uint8_t F4 = 0x37; // DeriveStoreKey: initial 32-byte block
inline constexpr std::uint8_t C1[19] = {0x72, 0xC0, 0xED, 0xFF, 0x58, 0x5C, 0x98, 0x8C, 0x3D, 0x83,
                                        0x7A, 0x48, 0x7F, 0x82, 0xC0, 0x7E, 0xB8, 0xC0, 0xDB};
inline constexpr std::uint8_t C2[19] = {0x0B, 0x04, 0x86, 0x86, 0x57, 0x75, 0x63, 0x28, 0x72, 0xB1,
                                        0x3B, 0x27, 0x10, 0x70, 0x93, 0x48, 0xA2, 0x1E, 0x97};
inline constexpr std::uint8_t C3[16] = {0x0E, 0x7D, 0x05, 0x1C, 0x02, 0xB8, 0x27, 0x22,
                                        0x4D, 0x8F, 0xD4, 0xED, 0xCE, 0x6F, 0x78, 0x32};
inline constexpr char C4[2] = {'4', '7'};

inline constexpr int PasswordRounds = 16384;
inline constexpr int FilePasswordRounds = 32763;
inline constexpr int StoreKeyRounds = 7010;

} // namespace QVKeyConstants
