#include "storage/crypto/QVAES.h"

#include <array>
#include <cstring>

#include "storage/crypto/QVCpuFeatures.h"
#include "storage/crypto/QVCryptoHardware.h"

namespace QVAES {

namespace {

// Words are handled in the cipher's own byte order: the first byte of a column is the most
// significant byte of its word, as in the round keys of the standard.

constexpr std::array<std::uint8_t, 256> SBox = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

constexpr std::uint32_t Rotr8(std::uint32_t x) {
    return (x >> 8) | (x << 24);
}

// T0[x] is the column that SubBytes and MixColumns make of byte x standing in the first row:
// (2s, s, s, 3s) with s = S(x). T1..T3 are the same column rotated for the other rows.
constexpr std::array<std::uint32_t, 256> MakeT0() {
    std::array<std::uint32_t, 256> t{};
    for (unsigned x = 0; x < 256; ++x) {
        const std::uint32_t s = SBox[x];
        const std::uint32_t s2 = ((s << 1) ^ ((s & 0x80) ? 0x1b : 0)) & 0xff;
        const std::uint32_t s3 = s2 ^ s;
        t[x] = (s2 << 24) | (s << 16) | (s << 8) | s3;
    }
    return t;
}

template <unsigned N> constexpr std::array<std::uint32_t, 256> MakeRotated() {
    std::array<std::uint32_t, 256> t = MakeT0();
    for (std::uint32_t& w : t)
        for (unsigned i = 0; i < N; ++i)
            w = Rotr8(w);
    return t;
}

// The last round has no MixColumns: it takes the S-box byte itself, shifted into its row.
// Keeping it as words saves the widening of a byte load on the critical path.
constexpr std::array<std::uint32_t, 256> MakeLast() {
    std::array<std::uint32_t, 256> t{};
    for (unsigned x = 0; x < 256; ++x)
        t[x] = SBox[x];
    return t;
}

alignas(64) constexpr std::array<std::uint32_t, 256> T0 = MakeT0();
alignas(64) constexpr std::array<std::uint32_t, 256> T1 = MakeRotated<1>();
alignas(64) constexpr std::array<std::uint32_t, 256> T2 = MakeRotated<2>();
alignas(64) constexpr std::array<std::uint32_t, 256> T3 = MakeRotated<3>();
alignas(64) constexpr std::array<std::uint32_t, 256> TLast = MakeLast();

static_assert(T0[0x00] == 0xc66363a5 && T1[0x00] == 0xa5c66363 && T3[0x01] == 0x7c7c84f8);

constexpr std::uint32_t RCon[10] = {0x01000000, 0x02000000, 0x04000000, 0x08000000, 0x10000000,
                                    0x20000000, 0x40000000, 0x80000000, 0x1b000000, 0x36000000};

inline std::uint32_t LoadBE(const std::uint8_t* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return __builtin_bswap32(w);
}

inline void StoreBE(std::uint8_t* p, std::uint32_t w) {
    w = __builtin_bswap32(w);
    std::memcpy(p, &w, 4);
}

inline std::uint32_t B0(std::uint32_t w) {
    return w >> 24;
}
inline std::uint32_t B1(std::uint32_t w) {
    return (w >> 16) & 0xff;
}
inline std::uint32_t B2(std::uint32_t w) {
    return (w >> 8) & 0xff;
}
inline std::uint32_t B3(std::uint32_t w) {
    return w & 0xff;
}

// One full round: every output column takes row r from input column (c + r) mod 4 (ShiftRows).
#define QV_AES_ROUND(o0, o1, o2, o3, i0, i1, i2, i3, rk)                                           \
    do {                                                                                           \
        o0 = T0[B0(i0)] ^ T1[B1(i1)] ^ T2[B2(i2)] ^ T3[B3(i3)] ^ (rk)[0];                          \
        o1 = T0[B0(i1)] ^ T1[B1(i2)] ^ T2[B2(i3)] ^ T3[B3(i0)] ^ (rk)[1];                          \
        o2 = T0[B0(i2)] ^ T1[B1(i3)] ^ T2[B2(i0)] ^ T3[B3(i1)] ^ (rk)[2];                          \
        o3 = T0[B0(i3)] ^ T1[B1(i0)] ^ T2[B2(i1)] ^ T3[B3(i2)] ^ (rk)[3];                          \
    } while (false)

#define QV_AES_LAST(o, i0, i1, i2, i3, rk)                                                         \
    o = ((TLast[B0(i0)] << 24) | (TLast[B1(i1)] << 16) | (TLast[B2(i2)] << 8) | TLast[B3(i3)]) ^   \
        (rk)

// Encrypts the four columns in place.
inline void Cipher(std::uint32_t& c0, std::uint32_t& c1, std::uint32_t& c2, std::uint32_t& c3,
                   const std::uint32_t* rk) {
    std::uint32_t s0 = c0 ^ rk[0], s1 = c1 ^ rk[1], s2 = c2 ^ rk[2], s3 = c3 ^ rk[3];
    std::uint32_t t0, t1, t2, t3;
    QV_AES_ROUND(t0, t1, t2, t3, s0, s1, s2, s3, rk + 4);
    QV_AES_ROUND(s0, s1, s2, s3, t0, t1, t2, t3, rk + 8);
    QV_AES_ROUND(t0, t1, t2, t3, s0, s1, s2, s3, rk + 12);
    QV_AES_ROUND(s0, s1, s2, s3, t0, t1, t2, t3, rk + 16);
    QV_AES_ROUND(t0, t1, t2, t3, s0, s1, s2, s3, rk + 20);
    QV_AES_ROUND(s0, s1, s2, s3, t0, t1, t2, t3, rk + 24);
    QV_AES_ROUND(t0, t1, t2, t3, s0, s1, s2, s3, rk + 28);
    QV_AES_ROUND(s0, s1, s2, s3, t0, t1, t2, t3, rk + 32);
    QV_AES_ROUND(t0, t1, t2, t3, s0, s1, s2, s3, rk + 36);
    QV_AES_LAST(c0, t0, t1, t2, t3, rk[40]);
    QV_AES_LAST(c1, t1, t2, t3, t0, rk[41]);
    QV_AES_LAST(c2, t2, t3, t0, t1, rk[42]);
    QV_AES_LAST(c3, t3, t0, t1, t2, rk[43]);
}

#undef QV_AES_ROUND
#undef QV_AES_LAST

inline void EncryptRegister(TAESContext& context) {
    if (QVCpu::UseAESNI()) {
        QVCryptoHardware::AESEncryptBlock(context.RoundKeys, context.Register);
        return;
    }
    std::uint32_t c0 = LoadBE(context.Register), c1 = LoadBE(context.Register + 4),
                  c2 = LoadBE(context.Register + 8), c3 = LoadBE(context.Register + 12);
    Cipher(c0, c1, c2, c3, context.RoundKeys);
    StoreBE(context.Register, c0);
    StoreBE(context.Register + 4, c1);
    StoreBE(context.Register + 8, c2);
    StoreBE(context.Register + 12, c3);
}

// The register holds the current key-stream block; each byte used is replaced by the ciphertext
// byte made with it, so once all 16 are used the register is the last ciphertext block and is
// encrypted into the next key-stream block. This is the shifting feedback register of CFB-128
// without the shifting. `Decrypting` selects which side of the XOR is the ciphertext.
template <bool Decrypting>
bool Process(TAESContext& context, const void* inBuf, std::uint32_t len, void* outBuf,
             std::uint32_t& outLen) {
    if (outLen < len) {
        outLen = 0;
        return false;
    }
    const auto* in = static_cast<const std::uint8_t*>(inBuf);
    auto* out = static_cast<std::uint8_t*>(outBuf);
    std::uint8_t* reg = context.Register;
    std::uint32_t left = len;

    // Leading bytes until the register is used up.
    while (left > 0 && context.Remaining < 16) {
        const std::uint32_t pos = 16 - context.Remaining;
        const std::uint8_t x = *in++;
        const std::uint8_t y = x ^ reg[pos];
        *out++ = y;
        reg[pos] = Decrypting ? x : y;
        if (--context.Remaining == 0) {
            EncryptRegister(context);
            context.Remaining = 16;
        }
        --left;
    }

    // Whole blocks: the register is a fresh key-stream block here. Input is read in full before
    // output is written, so in place works too.
    if (left >= 16 && QVCpu::UseAESNI()) {
        const std::uint32_t blocks = left / 16;
        if constexpr (Decrypting)
            QVCryptoHardware::CFBDecryptBlocks(context.RoundKeys, reg, in, out, blocks);
        else
            QVCryptoHardware::CFBEncryptBlocks(context.RoundKeys, reg, in, out, blocks);
        in += 16 * blocks;
        out += 16 * blocks;
        left -= 16 * blocks;
    }
    for (; left >= 16; left -= 16, in += 16, out += 16) {
        std::uint64_t k0, k1, x0, x1;
        std::memcpy(&k0, reg, 8);
        std::memcpy(&k1, reg + 8, 8);
        std::memcpy(&x0, in, 8);
        std::memcpy(&x1, in + 8, 8);
        const std::uint64_t y0 = x0 ^ k0, y1 = x1 ^ k1;
        std::memcpy(out, &y0, 8);
        std::memcpy(out + 8, &y1, 8);
        if constexpr (Decrypting) {
            std::memcpy(reg, &x0, 8);
            std::memcpy(reg + 8, &x1, 8);
        } else {
            std::memcpy(reg, &y0, 8);
            std::memcpy(reg + 8, &y1, 8);
        }
        EncryptRegister(context);
    }

    // A trailing partial block: Remaining is 16 here and stays above 0.
    for (std::uint32_t pos = 0; pos < left; ++pos) {
        const std::uint8_t x = in[pos];
        const std::uint8_t y = x ^ reg[pos];
        out[pos] = y;
        reg[pos] = Decrypting ? x : y;
    }
    context.Remaining -= left;

    outLen = len;
    return true;
}

} // namespace

void ExpandKey(const std::uint8_t key[16], std::uint32_t roundKeys[44]) {
    for (int i = 0; i < 4; ++i)
        roundKeys[i] = LoadBE(key + 4 * i);
    for (int i = 4; i < 44; i += 4) {
        const std::uint32_t t = roundKeys[i - 1];
        // SubWord(RotWord(t)) XOR Rcon
        const std::uint32_t sub =
            (TLast[B1(t)] << 24) | (TLast[B2(t)] << 16) | (TLast[B3(t)] << 8) | TLast[B0(t)];
        roundKeys[i] = roundKeys[i - 4] ^ sub ^ RCon[i / 4 - 1];
        roundKeys[i + 1] = roundKeys[i - 3] ^ roundKeys[i];
        roundKeys[i + 2] = roundKeys[i - 2] ^ roundKeys[i + 1];
        roundKeys[i + 3] = roundKeys[i - 1] ^ roundKeys[i + 2];
    }
}

void EncryptBlock(const std::uint8_t in[16], const std::uint32_t roundKeys[44],
                  std::uint8_t out[16]) {
    if (QVCpu::UseAESNI()) {
        std::memmove(out, in, 16);
        QVCryptoHardware::AESEncryptBlock(roundKeys, out);
        return;
    }
    std::uint32_t c0 = LoadBE(in), c1 = LoadBE(in + 4), c2 = LoadBE(in + 8), c3 = LoadBE(in + 12);
    Cipher(c0, c1, c2, c3, roundKeys);
    StoreBE(out, c0);
    StoreBE(out + 4, c1);
    StoreBE(out + 8, c2);
    StoreBE(out + 12, c3);
}

void Init(TAESContext& context, const std::uint8_t key[16], const std::uint8_t iv[16]) {
    ExpandKey(key, context.RoundKeys);
    std::memcpy(context.Register, iv, 16);
    context.Remaining = 16;
}

bool InitEncrypt(TAESContext& context, const std::uint8_t key[16], const std::uint8_t iv[16]) {
    Init(context, key, iv);
    EncryptRegister(context);
    return true;
}

bool InitDecrypt(TAESContext& context, const std::uint8_t key[16], const std::uint8_t iv[16]) {
    return InitEncrypt(context, key, iv);
}

bool Encrypt(TAESContext& context, const void* inBuf, std::uint32_t len, void* outBuf,
             std::uint32_t& outLen) {
    return Process<false>(context, inBuf, len, outBuf, outLen);
}

bool Decrypt(TAESContext& context, const void* inBuf, std::uint32_t len, void* outBuf,
             std::uint32_t& outLen) {
    return Process<true>(context, inBuf, len, outBuf, outLen);
}

} // namespace QVAES
