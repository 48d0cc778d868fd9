#pragma once

#include <cstddef>
#include <cstdint>

// Direct DER writing and reading for the container's item encoding: identifier octet, definite
// length, content. The item tree measures exact sizes first and then writes in place, which
// spares it a tag object and a copy per element. Reading takes the plain definite-length form
// that the writer produces straight from the bytes; anything else goes through the general tag
// tree, which accepts every BER form and reports the faults.
namespace QVDER {

inline constexpr std::uint8_t TagOctets = 0x04;
inline constexpr std::uint8_t TagType = 0x06;
inline constexpr std::uint8_t TagName = 0x1E;
inline constexpr std::uint8_t TagSequence = 0x30;

// Size of a whole element with `contentSize` content bytes.
inline std::uint64_t ElementSize(std::uint64_t contentSize) {
    std::uint64_t lengthOctets = 1;
    if (contentSize >= 128)
        for (std::uint64_t n = contentSize; n > 0; n >>= 8)
            ++lengthOctets;
    return 1 + lengthOctets + contentSize;
}

// Writes identifier and length octets at `out`; returns where the content goes.
inline std::uint8_t* WriteHeader(std::uint8_t* out, std::uint8_t tag, std::uint64_t contentSize) {
    *out++ = tag;
    if (contentSize < 128) {
        *out++ = static_cast<std::uint8_t>(contentSize);
        return out;
    }
    int octets = 0;
    for (std::uint64_t n = contentSize; n > 0; n >>= 8)
        ++octets;
    *out++ = static_cast<std::uint8_t>(0x80 + octets);
    for (int i = octets - 1; i >= 0; --i)
        *out++ = static_cast<std::uint8_t>(contentSize >> (8 * i));
    return out;
}

// Reads the identifier octet `tag` and a definite length (at most 4 length octets) at `p`, the
// content not looked at: it may lie beyond `end`, which bounds the header alone. On success `p`
// moves to the content and `size` gives its length; on any other form the result is false.
inline bool ReadHeader(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t tag,
                       std::uint64_t& size) {
    if (end - p < 2 || p[0] != tag)
        return false;
    const std::uint8_t* q = p + 2;
    std::uint64_t length = p[1];
    if (length >= 0x80) {
        const std::size_t octets = static_cast<std::size_t>(length - 0x80);
        if (octets == 0 || octets > 4 || static_cast<std::size_t>(end - q) < octets)
            return false;
        length = 0;
        for (std::size_t i = 0; i < octets; ++i)
            length = length << 8 | *q++;
    }
    size = length;
    p = q;
    return true;
}

// Reads one element with identifier `tag` and a definite length (at most 4 length octets) that
// fits before `end`. On success `p` moves past it and `content`/`size` give its content; on any
// other form the result is false.
inline bool ReadElement(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t tag,
                        const std::uint8_t*& content, std::size_t& size) {
    const std::uint8_t* q = p;
    std::uint64_t length;
    if (!ReadHeader(q, end, tag, length) || static_cast<std::uint64_t>(end - q) < length)
        return false;
    content = q;
    size = static_cast<std::size_t>(length);
    p = q + length;
    return true;
}

// ReadElement for an element that must fill the whole of `buffer`, nothing before or after it.
inline bool ReadWholeElement(const std::uint8_t* buffer, std::size_t size, std::uint8_t tag,
                             const std::uint8_t*& content, std::size_t& contentSize) {
    const std::uint8_t* p = buffer;
    return ReadElement(p, buffer + size, tag, content, contentSize) && p == buffer + size;
}

} // namespace QVDER
