// SHA-256 with the SHA extensions. The state is kept as the instructions want it, ABEF and CDGH,
// across all blocks of a call; the message schedule runs four words ahead of the rounds.
#include "storage/crypto/QVCryptoHardware.h"
#include "storage/crypto/QVSHA2.h"

#if defined(__x86_64__)

#include <immintrin.h>

#define QV_SHA_TARGET __attribute__((target("sha,sse4.1")))

namespace QVCryptoHardware {

namespace {

// Four rounds on the message words `w` (W[4g..4g+3]).
QV_SHA_TARGET inline void Rounds(__m128i& abef, __m128i& cdgh, __m128i w, int g) {
    __m128i m =
        _mm_add_epi32(w, _mm_load_si128(reinterpret_cast<const __m128i*>(QVSHA2::K256 + 4 * g)));
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, m);
    m = _mm_shuffle_epi32(m, 0x0E);
    abef = _mm_sha256rnds2_epu32(abef, cdgh, m);
}

// W[4g+4..4g+7] from the four groups before it: `next` arrives holding the sigma0 part that
// sha256msg1 added three groups earlier.
QV_SHA_TARGET inline void Schedule(__m128i& next, __m128i current, __m128i previous) {
    next = _mm_add_epi32(next, _mm_alignr_epi8(current, previous, 4));
    next = _mm_sha256msg2_epu32(next, current);
}

} // namespace

QV_SHA_TARGET void SHA256Blocks(std::uint32_t state[8], const std::uint8_t* data,
                                std::size_t blocks) {
    const __m128i swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
    const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefSaved = abef, cdghSaved = cdgh;
        __m128i w[4];
#pragma GCC unroll 4
        for (int i = 0; i < 4; ++i)
            w[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), swap);
            // Group g uses w[g % 4]; the schedule fills w[(g + 1) % 4] with group g + 4's words
            // (groups 3 to 14) and starts sigma0 for group g + 3 (groups 1 to 12).
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            __m128i& current = w[g % 4];
            Rounds(abef, cdgh, current, g);
            if (g >= 3 && g <= 14)
                Schedule(w[(g + 1) % 4], current, w[(g + 3) % 4]);
            if (g >= 1 && g <= 12)
                w[(g + 3) % 4] = _mm_sha256msg1_epu32(w[(g + 3) % 4], current);
        }
        abef = _mm_add_epi32(abef, abefSaved);
        cdgh = _mm_add_epi32(cdgh, cdghSaved);
    }

    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), hgfe);
}

} // namespace QVCryptoHardware

#else

#include <cstdlib>

namespace QVCryptoHardware {
// Never called: QVCpu reports no SHA extensions on other processors.
void SHA256Blocks(std::uint32_t*, const std::uint8_t*, std::size_t) {
    std::abort();
}
} // namespace QVCryptoHardware

#endif
