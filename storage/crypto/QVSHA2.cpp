#include "storage/crypto/QVSHA2.h"

#include <algorithm>
#include <cstring>

#include "storage/crypto/QVCpuFeatures.h"
#include "storage/crypto/QVCryptoHardware.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace QVSHA2 {

namespace {

constexpr std::uint64_t K512[80] = {
    0x428a2f98d728ae22, 0x7137449123ef65cd, 0xb5c0fbcfec4d3b2f, 0xe9b5dba58189dbbc,
    0x3956c25bf348b538, 0x59f111f1b605d019, 0x923f82a4af194f9b, 0xab1c5ed5da6d8118,
    0xd807aa98a3030242, 0x12835b0145706fbe, 0x243185be4ee4b28c, 0x550c7dc3d5ffb4e2,
    0x72be5d74f27b896f, 0x80deb1fe3b1696b1, 0x9bdc06a725c71235, 0xc19bf174cf692694,
    0xe49b69c19ef14ad2, 0xefbe4786384f25e3, 0x0fc19dc68b8cd5b5, 0x240ca1cc77ac9c65,
    0x2de92c6f592b0275, 0x4a7484aa6ea6e483, 0x5cb0a9dcbd41fbd4, 0x76f988da831153b5,
    0x983e5152ee66dfab, 0xa831c66d2db43210, 0xb00327c898fb213f, 0xbf597fc7beef0ee4,
    0xc6e00bf33da88fc2, 0xd5a79147930aa725, 0x06ca6351e003826f, 0x142929670a0e6e70,
    0x27b70a8546d22ffc, 0x2e1b21385c26c926, 0x4d2c6dfc5ac42aed, 0x53380d139d95b3df,
    0x650a73548baf63de, 0x766a0abb3c77b2a8, 0x81c2c92e47edaee6, 0x92722c851482353b,
    0xa2bfe8a14cf10364, 0xa81a664bbc423001, 0xc24b8b70d0f89791, 0xc76c51a30654be30,
    0xd192e819d6ef5218, 0xd69906245565a910, 0xf40e35855771202a, 0x106aa07032bbd1b8,
    0x19a4c116b8d2d0c8, 0x1e376c085141ab53, 0x2748774cdf8eeb99, 0x34b0bcb5e19b48a8,
    0x391c0cb3c5c95a63, 0x4ed8aa4ae3418acb, 0x5b9cca4f7763e373, 0x682e6ff3d6b2b8a3,
    0x748f82ee5defb2fc, 0x78a5636f43172f60, 0x84c87814a1f0ab72, 0x8cc702081a6439ec,
    0x90befffa23631e28, 0xa4506cebde82bde9, 0xbef9a3f7b2c67915, 0xc67178f2e372532b,
    0xca273eceea26619c, 0xd186b8c721c0c207, 0xeada7dd6cde0eb1e, 0xf57d4f7fee6ed178,
    0x06f067aa72176fba, 0x0a637dc5a2c898a6, 0x113f9804bef90dae, 0x1b710b35131c471b,
    0x28db77f523047d84, 0x32caab7b40c72493, 0x3c9ebe0a15c9bebc, 0x431d67c49c100d4c,
    0x4cc5d4becb3e42b6, 0x597f299cfc657e2a, 0x5fcb6fab3ad6faec, 0x6c44198c4a475817,
};

constexpr std::uint32_t H256[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint64_t H512[8] = {0x6a09e667f3bcc908, 0xbb67ae8584caa73b, 0x3c6ef372fe94f82b,
                                   0xa54ff53a5f1d36f1, 0x510e527fade682d1, 0x9b05688c2b3e6c1f,
                                   0x1f83d9abfb41bd6b, 0x5be0cd19137e2179};

inline std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return __builtin_bswap32(w);
}

inline std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    return __builtin_bswap64(w);
}

inline void Store32(std::uint8_t* p, std::uint32_t w) {
    w = __builtin_bswap32(w);
    std::memcpy(p, &w, 4);
}

inline void Store64(std::uint8_t* p, std::uint64_t w) {
    w = __builtin_bswap64(w);
    std::memcpy(p, &w, 8);
}

inline std::uint32_t Rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}
inline std::uint64_t Rotr(std::uint64_t x, int n) {
    return (x >> n) | (x << (64 - n));
}

// Ch in the form with the fewest operations. Maj(a, b, c) is taken as b ^ ((a ^ b) & (b ^ c)):
// the b ^ c of one round is the a ^ b of the round before, so each round computes one XOR for
// it and hands it on (x and y below swap roles from round to round).
#define QV_CH(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))

// The working variables are not shifted: each of 8 consecutive rounds names them in a rotated
// order instead, so a round writes only d and h. The sums off the path through e and a are
// formed first, so they overlap with the previous round.
#define QV_ROUND(S0, S1, a, b, c, d, e, f, g, h, ab, bc, k, w)                                     \
    do {                                                                                           \
        (h) += (k) + (w);                                                                          \
        (h) += QV_CH(e, f, g) + S1(e);                                                             \
        (ab) = (a) ^ (b);                                                                          \
        (d) += (h);                                                                                \
        (h) += ((b) ^ ((ab) & (bc))) + S0(a);                                                      \
    } while (false)

// Message schedule kept in a ring of 16 words: W[j] becomes W[j + 16].
#define QV_SCHEDULE(s0, s1, W, j)                                                                  \
    ((W)[(j)&15] += s1((W)[((j) + 14) & 15]) + (W)[((j) + 9) & 15] + s0((W)[((j) + 1) & 15]))

#define QV_EIGHT(R, i, j)                                                                          \
    R(a, b, c, d, e, f, g, h, x, y, (i) + (j) + 0, (j) + 0);                                       \
    R(h, a, b, c, d, e, f, g, y, x, (i) + (j) + 1, (j) + 1);                                       \
    R(g, h, a, b, c, d, e, f, x, y, (i) + (j) + 2, (j) + 2);                                       \
    R(f, g, h, a, b, c, d, e, y, x, (i) + (j) + 3, (j) + 3);                                       \
    R(e, f, g, h, a, b, c, d, x, y, (i) + (j) + 4, (j) + 4);                                       \
    R(d, e, f, g, h, a, b, c, y, x, (i) + (j) + 5, (j) + 5);                                       \
    R(c, d, e, f, g, h, a, b, x, y, (i) + (j) + 6, (j) + 6);                                       \
    R(b, c, d, e, f, g, h, a, y, x, (i) + (j) + 7, (j) + 7)

inline std::uint32_t Sum0_256(std::uint32_t x) {
    return Rotr(x, 2) ^ Rotr(x, 13) ^ Rotr(x, 22);
}
inline std::uint32_t Sum1_256(std::uint32_t x) {
    return Rotr(x, 6) ^ Rotr(x, 11) ^ Rotr(x, 25);
}
inline std::uint32_t Sig0_256(std::uint32_t x) {
    return Rotr(x, 7) ^ Rotr(x, 18) ^ (x >> 3);
}
inline std::uint32_t Sig1_256(std::uint32_t x) {
    return Rotr(x, 17) ^ Rotr(x, 19) ^ (x >> 10);
}

inline std::uint64_t Sum0_512(std::uint64_t x) {
    return Rotr(x, 28) ^ Rotr(x, 34) ^ Rotr(x, 39);
}
inline std::uint64_t Sum1_512(std::uint64_t x) {
    return Rotr(x, 14) ^ Rotr(x, 18) ^ Rotr(x, 41);
}
inline std::uint64_t Sig0_512(std::uint64_t x) {
    return Rotr(x, 1) ^ Rotr(x, 8) ^ (x >> 7);
}
inline std::uint64_t Sig1_512(std::uint64_t x) {
    return Rotr(x, 19) ^ Rotr(x, 61) ^ (x >> 6);
}

// The compression loops are inlined into each caller, so the BMI2 build of SHA-512 gets rotates
// of its own from the same source.
#define QV_ALWAYS_INLINE inline __attribute__((always_inline))

// A block's working variables added into the chaining state.
template <typename T>
QV_ALWAYS_INLINE void AddInto(T state[8], T a, T b, T c, T d, T e, T f, T g, T h) {
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

QV_ALWAYS_INLINE void SHA256Compress(std::uint32_t state[8], const std::uint8_t* block) {
    std::uint32_t W[16];
    for (int j = 0; j < 16; ++j)
        W[j] = Load32(block + 4 * j);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    std::uint32_t x, y = b ^ c;

#define R0(a, b, c, d, e, f, g, h, ab, bc, n, j)                                                   \
    QV_ROUND(Sum0_256, Sum1_256, a, b, c, d, e, f, g, h, ab, bc, K256[n], W[j])
#define RS(a, b, c, d, e, f, g, h, ab, bc, n, j)                                                   \
    QV_ROUND(Sum0_256, Sum1_256, a, b, c, d, e, f, g, h, ab, bc, K256[n],                          \
             QV_SCHEDULE(Sig0_256, Sig1_256, W, j))

    QV_EIGHT(R0, 0, 0);
    QV_EIGHT(R0, 0, 8);
    for (int i = 16; i < 64; i += 16) {
        QV_EIGHT(RS, i, 0);
        QV_EIGHT(RS, i, 8);
    }
#undef R0
#undef RS

    AddInto(state, a, b, c, d, e, f, g, h);
}

QV_ALWAYS_INLINE void SHA512Compress(std::uint64_t state[8], const std::uint8_t* block) {
    std::uint64_t W[16];
    for (int j = 0; j < 16; ++j)
        W[j] = Load64(block + 8 * j);
    std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
    std::uint64_t x, y = b ^ c;

#define R0(a, b, c, d, e, f, g, h, ab, bc, n, j)                                                   \
    QV_ROUND(Sum0_512, Sum1_512, a, b, c, d, e, f, g, h, ab, bc, K512[n], W[j])
#define RS(a, b, c, d, e, f, g, h, ab, bc, n, j)                                                   \
    QV_ROUND(Sum0_512, Sum1_512, a, b, c, d, e, f, g, h, ab, bc, K512[n],                          \
             QV_SCHEDULE(Sig0_512, Sig1_512, W, j))

    QV_EIGHT(R0, 0, 0);
    QV_EIGHT(R0, 0, 8);
    for (int i = 16; i < 80; i += 16) {
        QV_EIGHT(RS, i, 0);
        QV_EIGHT(RS, i, 8);
    }
#undef R0
#undef RS

    AddInto(state, a, b, c, d, e, f, g, h);
}

void SHA256BlocksPortable(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
    for (; blocks > 0; --blocks, data += 64)
        SHA256Compress(state, data);
}

void SHA512BlocksPortable(std::uint64_t state[8], const std::uint8_t* data, std::size_t blocks) {
    for (; blocks > 0; --blocks, data += 128)
        SHA512Compress(state, data);
}

// The path is looked up per call, so a test can force the portable code at any time.
void SHA256Blocks(std::uint32_t state[8], const std::uint8_t* data, std::size_t blocks) {
    if (QVCpu::UseSHANI())
        QVCryptoHardware::SHA256Blocks(state, data, blocks);
    else
        SHA256BlocksPortable(state, data, blocks);
}

void SHA512Blocks(std::uint64_t state[8], const std::uint8_t* data, std::size_t blocks) {
#if defined(__x86_64__)
    if (QVCpu::UseBMI2()) {
        QVCryptoHardware::SHA512BlocksBMI2(state, data, blocks);
        return;
    }
#endif
    SHA512BlocksPortable(state, data, blocks);
}

// Update for both sizes; Transform compresses a run of whole blocks of BlockSize bytes.
template <std::uint32_t BlockSize, typename Context, typename Transform>
void Update(Context& context, const void* buffer, std::uint32_t length, Transform transform) {
    if (length == 0)
        return;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    context.Count += length;
    if (context.Waiting > 0) {
        const std::uint32_t take = std::min(length, BlockSize - context.Waiting);
        std::memcpy(context.Buffer + context.Waiting, p, take);
        context.Waiting += take;
        if (context.Waiting < BlockSize)
            return;
        transform(context.State, context.Buffer, 1);
        context.Waiting = 0;
        p += take;
        length -= take;
    }
    if (length >= BlockSize) {
        const std::uint32_t blocks = length / BlockSize;
        transform(context.State, p, blocks);
        p += blocks * BlockSize;
        length -= blocks * BlockSize;
    }
    if (length > 0) {
        std::memcpy(context.Buffer, p, length);
        context.Waiting = length;
    }
}

// Pads the waiting bytes with 0x80, zeros and the bit length (LengthBytes wide, big-endian) and
// processes the one or two blocks that makes.
template <std::uint32_t BlockSize, std::uint32_t LengthBytes, typename Context, typename Transform>
void Pad(Context& context, Transform transform) {
    std::uint32_t n = context.Waiting;
    context.Buffer[n++] = 0x80;
    if (n > BlockSize - LengthBytes) {
        std::memset(context.Buffer + n, 0, BlockSize - n);
        transform(context.State, context.Buffer, 1);
        n = 0;
    }
    std::memset(context.Buffer + n, 0, BlockSize - 8 - n);
    // Bits above the low 64 of a 128-bit length field are the top bits of the byte count.
    if constexpr (LengthBytes > 8)
        context.Buffer[BlockSize - 9] = static_cast<std::uint8_t>(context.Count >> 61);
    Store64(context.Buffer + BlockSize - 8, context.Count << 3);
    transform(context.State, context.Buffer, 1);
}

// Feeds a byte string of any size through the 32-bit length of Update.
template <typename Context, typename UpdateFn>
void UpdateLong(Context& context, const std::string& bytes, UpdateFn update) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(left, 0x40000000));
        update(context, p, n);
        p += n;
        left -= n;
    }
}

} // namespace

void SHA256Init(TSHA256Context& context) {
    context.Count = 0;
    std::memset(context.Buffer, 0, sizeof(context.Buffer));
    context.Waiting = 0;
    std::memcpy(context.State, H256, sizeof(H256));
}

void SHA256Update(TSHA256Context& context, const void* buffer, std::uint32_t length) {
    Update<64>(context, buffer, length, SHA256Blocks);
}

void SHA256Final(TSHA256Context& context, std::uint8_t digest[32]) {
    Pad<64, 8>(context, SHA256Blocks);
    for (int i = 0; i < 8; ++i)
        Store32(digest + 4 * i, context.State[i]);
}

void SHA256Buffer(const void* buffer, std::uint32_t length, std::uint8_t digest[32]) {
    TSHA256Context context;
    SHA256Init(context);
    SHA256Update(context, buffer, length);
    SHA256Final(context, digest);
}

void SHA256String(const std::string& bytes, std::uint8_t digest[32]) {
    TSHA256Context context;
    SHA256Init(context);
    UpdateLong(context, bytes, SHA256Update);
    SHA256Final(context, digest);
}

void SHA512Init(TSHA512Context& context) {
    context.Count = 0;
    std::memset(context.Buffer, 0, sizeof(context.Buffer));
    context.Waiting = 0;
    std::memcpy(context.State, H512, sizeof(H512));
}

void SHA512Update(TSHA512Context& context, const void* buffer, std::uint32_t length) {
    Update<128>(context, buffer, length, SHA512Blocks);
}

void SHA512Final(TSHA512Context& context, std::uint8_t digest[64]) {
    Pad<128, 16>(context, SHA512Blocks);
    for (int i = 0; i < 8; ++i)
        Store64(digest + 8 * i, context.State[i]);
}

void SHA512Buffer(const void* buffer, std::uint32_t length, std::uint8_t digest[64]) {
    TSHA512Context context;
    SHA512Init(context);
    SHA512Update(context, buffer, length);
    SHA512Final(context, digest);
}

void SHA512String(const std::string& bytes, std::uint8_t digest[64]) {
    TSHA512Context context;
    SHA512Init(context);
    UpdateLong(context, bytes, SHA512Update);
    SHA512Final(context, digest);
}

} // namespace QVSHA2

#if defined(__x86_64__)
namespace {

// The message schedule two words to a vector: for W[t], W[t + 1] it needs W[t - 2], W[t - 1]
// (one vector), W[t - 7], W[t - 6] and W[t - 15], W[t - 14] (two straddling pairs) and
// W[t - 16], W[t - 15]. Done in vectors, it runs beside the rounds on the scalar units instead of
// taking half their instructions.
#define QV_SIMD __attribute__((target("bmi2,ssse3"), always_inline)) inline

QV_SIMD __m128i RotrV(__m128i x, int n) {
    return _mm_or_si128(_mm_srli_epi64(x, n), _mm_slli_epi64(x, 64 - n));
}

QV_SIMD __m128i Sig0V(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(RotrV(x, 1), RotrV(x, 8)), _mm_srli_epi64(x, 7));
}

QV_SIMD __m128i Sig1V(__m128i x) {
    return _mm_xor_si128(_mm_xor_si128(RotrV(x, 19), RotrV(x, 61)), _mm_srli_epi64(x, 6));
}

// Pair p of the next sixteen words from the ring of eight pairs, which it replaces.
QV_SIMD void ScheduleV(__m128i v[8], int p) {
    const __m128i w15 = _mm_alignr_epi8(v[(p + 1) & 7], v[p], 8);
    const __m128i w7 = _mm_alignr_epi8(v[(p + 5) & 7], v[(p + 4) & 7], 8);
    v[p] = _mm_add_epi64(_mm_add_epi64(v[p], Sig0V(w15)), _mm_add_epi64(w7, Sig1V(v[(p + 7) & 7])));
}

#undef QV_SIMD

} // namespace

__attribute__((target("bmi2,ssse3"))) void
QVCryptoHardware::SHA512BlocksBMI2(std::uint64_t state[8], const std::uint8_t* data,
                                   std::size_t blocks) {
    using namespace QVSHA2;
    const __m128i swap = _mm_set_epi8(8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4, 5, 6, 7);
    alignas(16) std::uint64_t WK[16];
    __m128i v[8];
    // Pair p of the schedule ring plus its round constants, into its slots of WK.
#define QV_STORE(p, n)                                                                             \
    _mm_store_si128(                                                                               \
        reinterpret_cast<__m128i*>(WK + 2 * (p)),                                                  \
        _mm_add_epi64(v[p], _mm_loadu_si128(reinterpret_cast<const __m128i*>(K512 + (n)))))
#define QV_LOAD(p)                                                                                 \
    v[p] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * (p))),    \
                            swap);                                                                 \
    QV_STORE(p, 2 * (p))
#define QV_NEXT(p, i)                                                                              \
    ScheduleV(v, p);                                                                               \
    QV_STORE(p, (i) + 16 + 2 * (p))
#define QV_NEXT4(p, i)                                                                             \
    QV_NEXT((p) + 0, i);                                                                           \
    QV_NEXT((p) + 1, i);                                                                           \
    QV_NEXT((p) + 2, i);                                                                           \
    QV_NEXT((p) + 3, i)
    for (; blocks > 0; --blocks, data += 128) {
        QV_LOAD(0);
        QV_LOAD(1);
        QV_LOAD(2);
        QV_LOAD(3);
        QV_LOAD(4);
        QV_LOAD(5);
        QV_LOAD(6);
        QV_LOAD(7);
        std::uint64_t a = state[0], b = state[1], c = state[2], d = state[3];
        std::uint64_t e = state[4], f = state[5], g = state[6], h = state[7];
        std::uint64_t x, y = b ^ c;

        // Eight rounds take the sums of W and K for their words from WK; the words sixteen
        // rounds on are scheduled into the same slots as soon as these eight have read them.
#define RK(a, b, c, d, e, f, g, h, ab, bc, n, j)                                                   \
    QV_ROUND(Sum0_512, Sum1_512, a, b, c, d, e, f, g, h, ab, bc, WK[j], 0)
        for (int i = 0; i < 64; i += 16) {
            QV_EIGHT(RK, i, 0);
            QV_NEXT4(0, i);
            QV_EIGHT(RK, i, 8);
            QV_NEXT4(4, i);
        }
        QV_EIGHT(RK, 64, 0);
        QV_EIGHT(RK, 64, 8);
#undef RK

        AddInto(state, a, b, c, d, e, f, g, h);
    }
#undef QV_NEXT4
#undef QV_NEXT
#undef QV_LOAD
#undef QV_STORE
}
#endif

#undef QV_CH
#undef QV_ROUND
#undef QV_SCHEDULE
#undef QV_EIGHT
