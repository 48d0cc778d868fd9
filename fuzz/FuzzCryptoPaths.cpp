// The cipher and digests on their instruction-set paths and on the portable code: any input, cut
// into any pieces, must give the same bytes both ways. Where the processor has no fast path the
// portable code is compared with itself.
//
// Input: 16 key bytes, 16 IV bytes, one byte of piece lengths' seed, then the message.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/crypto/QVAES.h"
#include "storage/crypto/QVCpuFeatures.h"
#include "storage/crypto/QVSHA2.h"

namespace {

struct TResult {
    std::string Sealed, Opened, Digest256, Digest512;
    bool operator==(const TResult&) const = default;
};

// The pieces' lengths follow from the seed, so both runs cut alike.
TResult Run(const std::uint8_t* key, const std::uint8_t* iv, std::uint8_t seed,
            const std::uint8_t* data, std::size_t size) {
    TResult result;
    result.Sealed.assign(size, '\0');
    result.Opened.assign(size, '\0');
    QVAES::TAESContext sealing, opening;
    QVAES::InitEncrypt(sealing, key, iv);
    QVAES::InitDecrypt(opening, key, iv);
    QVSHA2::TSHA256Context c256;
    QVSHA2::TSHA512Context c512;
    QVSHA2::SHA256Init(c256);
    QVSHA2::SHA512Init(c512);
    std::uint32_t state = seed | 1u;
    for (std::size_t pos = 0; pos < size;) {
        state = state * 1103515245u + 12345u;
        const std::size_t wanted = (state >> 16) % 300;
        const auto n = static_cast<std::uint32_t>(wanted < size - pos ? wanted : size - pos);
        std::uint32_t outLen = n;
        QVAES::Encrypt(sealing, data + pos, n, result.Sealed.data() + pos, outLen);
        outLen = n;
        QVAES::Decrypt(opening, data + pos, n, result.Opened.data() + pos, outLen);
        QVSHA2::SHA256Update(c256, data + pos, n);
        QVSHA2::SHA512Update(c512, data + pos, n);
        pos += n;
    }
    std::uint8_t digest[64];
    QVSHA2::SHA256Final(c256, digest);
    result.Digest256.assign(reinterpret_cast<char*>(digest), 32);
    QVSHA2::SHA512Final(c512, digest);
    result.Digest512.assign(reinterpret_cast<char*>(digest), 64);
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 33)
        return 0;
    const std::uint8_t* key = data;
    const std::uint8_t* iv = data + 16;
    const std::uint8_t seed = data[32];
    QVCpu::ForcePortable(false);
    const TResult fast = Run(key, iv, seed, data + 33, size - 33);
    QVCpu::ForcePortable(true);
    const TResult portable = Run(key, iv, seed, data + 33, size - 33);
    QVCpu::ForcePortable(false);
    if (!(fast == portable))
        std::abort();
    return 0;
}
