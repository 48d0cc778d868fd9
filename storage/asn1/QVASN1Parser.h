#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "storage/asn1/QVASN1.h"

// The identifier and length octets of one tag (and the unused-bits octet of a universal BIT
// STRING), as decoded by TASN1Parser::ReadHeader.
struct TASN1Header {
    std::uint8_t Identifier = 0;
    int TagClass = 0; // 0-3, or 4 for an end-of-contents marker
    bool Constructed = false;
    bool Indefinite = false;
    // The tag number: the low five bits of the identifier, or, in the long form, the base-128
    // octets that follow it (most significant group first).
    const std::uint8_t* LongTagNumber = nullptr; // null for the one-octet form
    std::size_t LongTagNumberLength = 0;
    std::uint8_t TagNumberLow = 0; // lowest octet of the tag number
    std::uint64_t Size = 0;        // content length without BitRest; 0 for the indefinite form
    int HeaderSize = 0;            // identifier octet plus length octets
    std::uint8_t BitRest = 0;
};

// Reads BER tags from a byte span and reports them through its events. Every failure raises
// EASN1Error, or EASN1ReadError when the input ends inside a tag. Contents are reported as views
// into the input, which must outlive the parser; nothing is allocated from a claimed length.
class TASN1Parser {
public:
    // TagClass is 0-3, or 4 for an end-of-contents marker (then the tag number is 0 and nothing
    // else is given). TagNumber holds the number least significant byte first. Size is the content
    // length (0 for the indefinite form); Data points at the content of a primitive tag, null for
    // a constructed tag or an empty content. BitRest is the unused-bits octet of a universal BIT
    // STRING. Clearing Continue makes the parser read the tag's children without reporting them.
    using TagHandler =
        std::function<void(TASN1Parser& sender, int tagClass, bool constructed,
                           const std::uint8_t* tagNumber, int tagNumberLength, std::uint64_t size,
                           const std::uint8_t* data, std::uint8_t bitRest, bool& continueChildren)>;
    // HeaderSize counts the identifier octet and the length octets.
    using TagHeaderHandler =
        std::function<void(TASN1Parser& sender, std::uint8_t identifier, std::uint64_t size,
                           int headerSize, bool indefinite)>;

    explicit TASN1Parser(std::span<const std::uint8_t> input) : FInput(input) {}

    TagHandler OnTag;
    TagHeaderHandler OnTagHeader;

    // Reads one tag, with the children of a definite-length constructed tag. Returns the number of
    // bytes it took, -1 when the input has ended before it, or 2 for an end-of-contents marker.
    // The children of an indefinite-length tag are left to the caller's loop.
    std::int64_t ParseTag(bool report);
    // Reads and reports tags until the input ends.
    void Parse();

    std::size_t Position() const { return FPos; }

    // Decodes the header of the tag at `pos` (which must lie before `end`) and advances `pos` past
    // it. Reads never go beyond `end`. The tree loader shares this with the parser.
    static void ReadHeader(const std::uint8_t* data, std::size_t end, std::size_t& pos,
                           TASN1Header& header);

private:
    struct ReadResult {
        std::uint64_t Consumed = 0;
        std::uint64_t ChildrenSize = 0; // content a definite constructed tag still has to read
        bool Continue = false;
    };

    ReadResult ReadOne(bool report);

    std::span<const std::uint8_t> FInput;
    std::size_t FPos = 0;
};
