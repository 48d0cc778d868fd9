#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "storage/asn1/QVASN1.h"
#include "storage/asn1/QVASN1Parser.h"

// Bytes a tag reader reads: a buffer in memory, or a file read a piece at a time.
class TASN1Input {
public:
    virtual ~TASN1Input() = default;
    // At least min(`count`, the bytes left) bytes from `offset` on, in one piece; `available`
    // tells how many there are.
    virtual const std::uint8_t* At(std::uint64_t offset, std::size_t count,
                                   std::size_t& available) = 0;
};

class TASN1MemoryInput final : public TASN1Input {
public:
    TASN1MemoryInput(const std::uint8_t* data, std::size_t size) : FData(data), FSize(size) {}
    const std::uint8_t* At(std::uint64_t offset, std::size_t, std::size_t& available) override {
        available = FSize - static_cast<std::size_t>(offset);
        return FData + offset;
    }

private:
    const std::uint8_t* FData;
    std::size_t FSize;
};

// One tag as the reader meets it.
struct TASN1Tag {
    TASN1Header Header;
    // (class shl 6) or (0x20 when constructed) or the lowest octet of the tag number.
    std::uint8_t TagId = 0;
    // The constructed tags around it; 0 at the top of the input.
    int Depth = 0;
    // Where its identifier octet and its content lie; a primitive tag's content is Header.Size
    // octets.
    std::uint64_t Start = 0;
    std::uint64_t Content = 0;

    bool Is(std::uint8_t tagId, bool constructed) const {
        return TagId == tagId && Header.Constructed == constructed;
    }
};

// Reads the tags of bytes [begin, end) of an input in the order they stand, as a tag tree loads
// them. The content of a definite-length constructed tag is a region of its own, whose end closes
// the indefinite-length tags opened in it; an end-of-contents marker closes the innermost of those
// and is ignored where none is open; a tag that runs past its region fails (a constructed one is
// still returned, and the next call fails). Constructed tags nest
// at most ASN1MaxDepth deep. Primitive contents are passed over, never read, so a tag of any size
// costs the reading of its header alone. Faults raise EASN1Error or EASN1ReadError.
class TASN1Reader {
public:
    TASN1Reader(TASN1Input& input, std::uint64_t begin, std::uint64_t end)
        : FInput(input), FRegionEnd(end), FPos(begin) {}

    // The next tag; false once the input has ended.
    bool Next(TASN1Tag& tag);

private:
    // Where the zero bytes from `from` on end, at most at the region's end.
    std::uint64_t ZerosEnd(std::uint64_t from);

    // What the end of a definite-length tag's region returns to.
    struct TRegion {
        std::uint64_t OuterEnd = 0;
        int OuterBase = 0;
    };

    TASN1Input& FInput;
    std::array<TRegion, ASN1MaxDepth> FOpen;
    int FDepth = 0; // constructed tags open at the position
    int FBase = 0;  // of those, the ones that belong to enclosing regions
    std::uint64_t FRegionEnd;
    std::uint64_t FPos;
    // The last tag was constructed and runs past its region.
    bool FOverrun = false;
};
