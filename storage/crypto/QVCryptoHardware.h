#pragma once

#include <cstddef>
#include <cstdint>

// The instruction-set paths of the cipher and the digests, compiled for instructions the
// processor may lack: call them only when QVCpu says they are there. Each takes the portable
// code's own data layout, so both paths can be switched at any point of a computation.
namespace QVCryptoHardware {

// AES-128 of one block with the round keys of QVAES::ExpandKey, in place.
void AESEncryptBlock(const std::uint32_t roundKeys[44], std::uint8_t block[16]);

// Whole CFB-128 blocks. On entry `keyStream` is the key-stream block for the first block; on
// return it is the one for the block after the last. In place is allowed.
void CFBEncryptBlocks(const std::uint32_t roundKeys[44], std::uint8_t keyStream[16],
                      const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);
void CFBDecryptBlocks(const std::uint32_t roundKeys[44], std::uint8_t keyStream[16],
                      const std::uint8_t* in, std::uint8_t* out, std::size_t blocks);

// SHA-256 compression of `blocks` 64-byte blocks into the state words.
void SHA256Blocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks);

// SHA-512 compression with BMI2 rotates in the rounds and the message schedule in SSSE3 vectors.
void SHA512BlocksBMI2(std::uint64_t state[8], const std::uint8_t* data, std::size_t blocks);

} // namespace QVCryptoHardware
