#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

// Byte strings in tests: written as hex ("30 0E 06" or "300e06"; anything but hex digits is
// ignored) and shown as escaped text.
inline std::string Hex(std::string_view text) {
    std::string bytes;
    int high = -1;
    for (const char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0)
            continue;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    return bytes;
}

inline std::string ToHex(std::string_view bytes) {
    static const char Digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += Digits[c >> 4];
        out += Digits[c & 15];
    }
    return out;
}

// Printable ASCII as it is; blanks, "\" and every other byte as \xHH.
inline std::string Escaped(std::string_view bytes) {
    std::string out;
    for (const unsigned char c : bytes) {
        if (c > 0x20 && c < 0x7F && c != '\\')
            out += static_cast<char>(c);
        else
            out += "\\x" + ToHex(std::string(1, static_cast<char>(c)));
    }
    return out;
}

inline std::string LE32(std::uint32_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
}

inline const std::uint8_t* U8(std::string_view bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

inline std::string Noise(std::mt19937& rng, std::size_t n) {
    std::string bytes(n, '\0');
    for (char& c : bytes)
        c = static_cast<char>(rng());
    return bytes;
}
