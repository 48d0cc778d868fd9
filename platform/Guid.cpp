#include "platform/Guid.h"

#include <cerrno>

#include <sys/random.h>

bool SystemRandomBytes(void* buffer, std::size_t count) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = getrandom(bytes + done, count - done, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::int32_t CoCreateGuid(TGUID& guid) {
    std::uint8_t bytes[16];
    if (!SystemRandomBytes(bytes, sizeof bytes)) {
        return static_cast<std::int32_t>(0x80004005u); // E_FAIL
    }
    guid.D1 = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
              static_cast<std::uint32_t>(bytes[2]) << 16 |
              static_cast<std::uint32_t>(bytes[3]) << 24;
    guid.D2 = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
    guid.D3 = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
    for (int i = 0; i < 8; ++i) {
        guid.D4[i] = bytes[8 + i];
    }
    // Version 4 (random) in the top nibble of the third field, RFC 4122 variant (binary 10) in
    // the top bits of the fourth.
    guid.D3 = static_cast<std::uint16_t>((guid.D3 & 0x0FFF) | 0x4000);
    guid.D4[0] = static_cast<std::uint8_t>((guid.D4[0] & 0x3F) | 0x80);
    return 0;
}

void GuidToBytes(const TGUID& guid, std::uint8_t (&bytes)[16]) {
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(guid.D1 >> (8 * i));
    }
    bytes[4] = static_cast<std::uint8_t>(guid.D2);
    bytes[5] = static_cast<std::uint8_t>(guid.D2 >> 8);
    bytes[6] = static_cast<std::uint8_t>(guid.D3);
    bytes[7] = static_cast<std::uint8_t>(guid.D3 >> 8);
    for (int i = 0; i < 8; ++i) {
        bytes[8 + i] = guid.D4[i];
    }
}
