#pragma once

#include <cstdint>
#include <cstring>

// AES-128 (forward cipher only) and its use in CFB mode with 128-bit feedback.
namespace QVAES {

using TRoundKeys = std::uint32_t[44];

// One CFB pass. It holds key material, which it wipes when it goes, however it goes.
struct TAESContext {
    TAESContext() = default;
    TAESContext(const TAESContext&) = delete;
    TAESContext& operator=(const TAESContext&) = delete;
    ~TAESContext() { explicit_bzero(this, sizeof(*this)); }

    std::uint32_t RoundKeys[44];
    // The current key-stream block. The next key-stream byte is Register[16 - Remaining]; the
    // bytes before it have already been replaced by the ciphertext they produced.
    std::uint8_t Register[16];
    std::uint32_t Remaining; // key-stream bytes left in the register before it is refilled
};

void ExpandKey(const std::uint8_t key[16], std::uint32_t roundKeys[44]);
void EncryptBlock(const std::uint8_t in[16], const std::uint32_t roundKeys[44],
                  std::uint8_t out[16]);

void Init(TAESContext& context, const std::uint8_t key[16], const std::uint8_t iv[16]);
bool InitEncrypt(TAESContext& context, const std::uint8_t key[16], const std::uint8_t iv[16]);
bool InitDecrypt(TAESContext& context, const std::uint8_t key[16], const std::uint8_t iv[16]);

// outLen is the capacity of outBuf on entry and the bytes written on return. When it is below
// len nothing is written, outLen becomes 0 and the result is false.
bool Encrypt(TAESContext& context, const void* inBuf, std::uint32_t len, void* outBuf,
             std::uint32_t& outLen);
bool Decrypt(TAESContext& context, const void* inBuf, std::uint32_t len, void* outBuf,
             std::uint32_t& outLen);

} // namespace QVAES
