// AES-NI. CFB encryption is a chain (each key-stream block is the cipher of the ciphertext just
// made), so it runs one block at a time at the instruction's latency; decryption knows every
// ciphertext block in advance and keeps eight blocks in flight.
#include "storage/crypto/QVCryptoHardware.h"

#if defined(__x86_64__)

#include <immintrin.h>

#define QV_AES_TARGET __attribute__((target("aes,sse4.1")))

namespace QVCryptoHardware {

namespace {

// The portable round keys are words with the first byte of a column most significant.
QV_AES_TARGET inline void LoadRoundKeys(const std::uint32_t roundKeys[44], __m128i (&k)[11]) {
    const __m128i swap = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
#pragma GCC unroll 11
    for (int i = 0; i < 11; ++i)
        k[i] = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 4 * i)), swap);
}

QV_AES_TARGET inline __m128i Encrypt(__m128i x, const __m128i (&k)[11]) {
    x = _mm_xor_si128(x, k[0]);
#pragma GCC unroll 9
    for (int i = 1; i < 10; ++i)
        x = _mm_aesenc_si128(x, k[i]);
    return _mm_aesenclast_si128(x, k[10]);
}

QV_AES_TARGET inline __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

QV_AES_TARGET inline void Store(std::uint8_t* p, __m128i x) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x);
}

} // namespace

QV_AES_TARGET void AESEncryptBlock(const std::uint32_t roundKeys[44], std::uint8_t block[16]) {
    __m128i k[11];
    LoadRoundKeys(roundKeys, k);
    Store(block, Encrypt(Load(block), k));
}

QV_AES_TARGET void CFBEncryptBlocks(const std::uint32_t roundKeys[44], std::uint8_t keyStream[16],
                                    const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
    __m128i k[11];
    LoadRoundKeys(roundKeys, k);
    __m128i stream = Load(keyStream);
    for (std::size_t i = 0; i < blocks; ++i, in += 16, out += 16) {
        const __m128i cipher = _mm_xor_si128(Load(in), stream);
        Store(out, cipher);
        stream = Encrypt(cipher, k);
    }
    Store(keyStream, stream);
}

QV_AES_TARGET void CFBDecryptBlocks(const std::uint32_t roundKeys[44], std::uint8_t keyStream[16],
                                    const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) {
    __m128i k[11];
    LoadRoundKeys(roundKeys, k);
    __m128i stream = Load(keyStream);
    constexpr std::size_t Lanes = 8;
    for (; blocks >= Lanes; blocks -= Lanes, in += 16 * Lanes, out += 16 * Lanes) {
        // The eight ciphertext blocks give the key streams of the eight blocks after them.
        __m128i c[Lanes], s[Lanes];
#pragma GCC unroll 8
        for (std::size_t j = 0; j < Lanes; ++j) {
            c[j] = Load(in + 16 * j);
            s[j] = _mm_xor_si128(c[j], k[0]);
        }
#pragma GCC unroll 9
        for (int r = 1; r < 10; ++r)
#pragma GCC unroll 8
            for (std::size_t j = 0; j < Lanes; ++j)
                s[j] = _mm_aesenc_si128(s[j], k[r]);
#pragma GCC unroll 8
        for (std::size_t j = 0; j < Lanes; ++j)
            s[j] = _mm_aesenclast_si128(s[j], k[10]);
        Store(out, _mm_xor_si128(c[0], stream));
#pragma GCC unroll 8
        for (std::size_t j = 1; j < Lanes; ++j)
            Store(out + 16 * j, _mm_xor_si128(c[j], s[j - 1]));
        stream = s[Lanes - 1];
    }
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        const __m128i cipher = Load(in);
        Store(out, _mm_xor_si128(cipher, stream));
        stream = Encrypt(cipher, k);
    }
    Store(keyStream, stream);
}

} // namespace QVCryptoHardware

#else

#include <cstdlib>

// Never called: QVCpu reports no AES-NI on other processors.
namespace QVCryptoHardware {
void AESEncryptBlock(const std::uint32_t*, std::uint8_t*) {
    std::abort();
}
void CFBEncryptBlocks(const std::uint32_t*, std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                      std::size_t) {
    std::abort();
}
void CFBDecryptBlocks(const std::uint32_t*, std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                      std::size_t) {
    std::abort();
}
} // namespace QVCryptoHardware

#endif
