#include "storage/asn1/QVASN1Reader.h"

#include <algorithm>
#include <cstring>

namespace {

// The longest header: the identifier octet, 100 octets of tag number, a length octet, 8 octets
// of length and the unused-bits octet of a BIT STRING.
constexpr std::size_t MaxHeaderBytes = 128;
// Bytes looked at in one piece while passing over zero bytes.
constexpr std::size_t ZeroStep = 64 * 1024;

// The count of zero bytes at the start of `bytes`.
std::size_t LeadingZeros(const std::uint8_t* bytes, std::size_t size) {
    std::size_t i = 0;
    for (std::uint64_t word; i + 8 <= size; i += 8) {
        std::memcpy(&word, bytes + i, 8);
        if (word != 0)
            break;
    }
    while (i < size && bytes[i] == 0)
        ++i;
    return i;
}

} // namespace

std::uint64_t TASN1Reader::ZerosEnd(std::uint64_t from) {
    while (from < FRegionEnd) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(ZeroStep, FRegionEnd - from));
        std::size_t available = 0;
        const std::uint8_t* bytes = FInput.At(from, want, available);
        const std::size_t zeros = LeadingZeros(bytes, std::min(available, want));
        from += zeros;
        if (zeros < std::min(available, want))
            break;
    }
    return from;
}

bool TASN1Reader::Next(TASN1Tag& tag) {
    if (FOverrun)
        throw EASN1ReadError("Invalid ASN1 sequence");
    for (;;) {
        if (FPos == FRegionEnd) {
            if (FBase == 0)
                return false; // unclosed indefinite-length tags at the top level are fine
            const TRegion& region = FOpen[static_cast<std::size_t>(FBase - 1)];
            FDepth = FBase - 1;
            FRegionEnd = region.OuterEnd;
            FBase = region.OuterBase;
            continue;
        }

        const std::uint64_t left = FRegionEnd - FPos;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(MaxHeaderBytes, left));
        std::size_t available = 0;
        const std::uint8_t* bytes = FInput.At(FPos, want, available);
        // Where no indefinite-length tag is open, end-of-contents markers are ignored, and a run
        // of them is passed over at once: a body of zero bytes costs its reading alone.
        if (FDepth == FBase && std::min(available, want) >= 2 && bytes[0] == 0 && bytes[1] == 0) {
            FPos += (ZerosEnd(FPos) - FPos) & ~std::uint64_t{1};
            continue;
        }
        std::size_t at = 0;
        TASN1Parser::ReadHeader(bytes, std::min(available, want), at, tag.Header);
        tag.Start = FPos;
        FPos += at;
        if (tag.Header.TagClass == 4) {
            if (FDepth > FBase)
                --FDepth;
            continue;
        }

        tag.TagId = static_cast<std::uint8_t>((tag.Header.TagClass << 6) |
                                              (tag.Header.Constructed ? 0x20 : 0) |
                                              tag.Header.TagNumberLow);
        tag.Depth = FDepth;
        tag.Content = FPos;
        const std::uint64_t rest = FRegionEnd - FPos;
        if (!tag.Header.Constructed) {
            if (tag.Header.Size > rest)
                throw EASN1ReadError("Invalid ASN1 sequence");
            FPos += tag.Header.Size;
            return true;
        }
        if (FDepth == ASN1MaxDepth)
            throw EASN1Error("Tags nested too deeply");
        if (tag.Header.Indefinite) {
            FOpen[static_cast<std::size_t>(FDepth++)] = {};
            return true;
        }
        // Reported all the same, as the tree keeps what it built before a fault; the next call
        // raises it.
        FOverrun = tag.Header.Size > rest;
        FOpen[static_cast<std::size_t>(FDepth++)] = {FRegionEnd, FBase};
        FBase = FDepth;
        FRegionEnd = FPos + tag.Header.Size;
        return true;
    }
}
