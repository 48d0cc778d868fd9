#include "storage/asn1/QVASN1Parser.h"

#include <array>
#include <vector>

namespace {

// More octets than this in a long-form tag number are refused.
constexpr std::size_t MaxTagNumberOctets = 100;
// A 64-bit length needs at most 8 octets.
constexpr unsigned MaxLengthOctets = 8;
// Bytes needed for the longest tag number once it is regrouped from 7-bit into 8-bit units.
constexpr std::size_t MaxTagNumberBytes = (MaxTagNumberOctets * 7 + 7) / 8;

[[noreturn]] void RaiseShortRead() {
    throw EASN1ReadError("Invalid ASN1 sequence");
}

// Regroups the base-128 octets of a long-form tag number into bytes, least significant first,
// without leading zero bytes (at least one byte). Returns the number of bytes.
int TagNumberBytes(const std::uint8_t* octets, std::size_t count,
                   std::array<std::uint8_t, MaxTagNumberBytes>& out) {
    std::uint32_t acc = 0;
    int bits = 0;
    int length = 0;
    for (std::size_t i = count; i-- > 0;) {
        acc |= static_cast<std::uint32_t>(octets[i] & 0x7F) << bits;
        bits += 7;
        while (bits >= 8) {
            out[length++] = static_cast<std::uint8_t>(acc);
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits > 0)
        out[length++] = static_cast<std::uint8_t>(acc);
    while (length > 1 && out[length - 1] == 0)
        --length;
    return length;
}

} // namespace

void TASN1Parser::ReadHeader(const std::uint8_t* data, std::size_t end, std::size_t& pos,
                             TASN1Header& header) {
    header = TASN1Header{};
    const std::uint8_t id = data[pos++];
    header.Identifier = id;

    if (id == 0x00) {
        if (pos == end)
            RaiseShortRead();
        if (data[pos++] != 0x00)
            throw EASN1Error("Invalid ASN1 Sequence");
        header.TagClass = 4;
        header.HeaderSize = 2;
        return;
    }

    header.TagClass = id >> 6;
    header.Constructed = (id & 0x20) != 0;
    if ((id & 0x1F) == 0x1F) {
        const std::size_t start = pos;
        for (;;) {
            if (pos == end)
                RaiseShortRead();
            if ((data[pos++] & 0x80) == 0)
                break;
            if (pos - start == MaxTagNumberOctets)
                throw EASN1Error("Tag size too large");
        }
        header.LongTagNumber = data + start;
        header.LongTagNumberLength = pos - start;
        std::uint8_t low = data[pos - 1] & 0x7F;
        if (pos - start > 1)
            low |= static_cast<std::uint8_t>((data[pos - 2] & 0x01) << 7);
        header.TagNumberLow = low;
    } else {
        header.TagNumberLow = id & 0x1F;
    }

    if (pos == end)
        RaiseShortRead();
    const std::uint8_t first = data[pos++];
    int lengthOctets = 1;
    if (first == 0x80) {
        if (!header.Constructed)
            throw EASN1Error("Invalid ASN1 sequence");
        header.Indefinite = true;
    } else if (first > 0x80) {
        const unsigned count = first & 0x7Fu;
        if (count > MaxLengthOctets)
            throw EASN1Error("Block size too large");
        if (end - pos < count)
            RaiseShortRead();
        std::uint64_t size = 0;
        for (unsigned i = 0; i < count; ++i)
            size = (size << 8) | data[pos++];
        header.Size = size;
        lengthOctets += static_cast<int>(count);
    } else {
        header.Size = first;
    }
    header.HeaderSize = 1 + lengthOctets;

    // The unused-bits octet of a universal BIT STRING is not part of its data.
    if (id == 0x03) {
        if (header.Size == 0)
            throw EASN1Error("Invalid ASN1 sequence");
        if (pos == end)
            RaiseShortRead();
        header.BitRest = data[pos++];
        --header.Size;
    }
}

TASN1Parser::ReadResult TASN1Parser::ReadOne(bool report) {
    const std::uint8_t* data = FInput.data();
    const std::size_t end = FInput.size();
    const std::size_t start = FPos;
    TASN1Header header;
    ReadHeader(data, end, FPos, header);

    ReadResult result;
    if (header.TagClass == 4) {
        if (report && OnTag) {
            const std::uint8_t zero = 0;
            bool ignored = true;
            OnTag(*this, 4, false, &zero, 1, 0, nullptr, 0, ignored);
        }
        result.Consumed = FPos - start;
        return result;
    }

    if (OnTagHeader)
        OnTagHeader(*this, header.Identifier, header.Size, header.HeaderSize, header.Indefinite);

    const std::uint8_t* content = nullptr;
    if (!header.Constructed && header.Size > 0) {
        if (header.Size > end - FPos)
            RaiseShortRead();
        content = data + FPos;
        FPos += static_cast<std::size_t>(header.Size);
    }

    result.Continue = report;
    if (report && OnTag) {
        std::array<std::uint8_t, MaxTagNumberBytes> number;
        int numberLength = 1;
        if (header.LongTagNumber)
            numberLength = TagNumberBytes(header.LongTagNumber, header.LongTagNumberLength, number);
        else
            number[0] = header.TagNumberLow;
        OnTag(*this, header.TagClass, header.Constructed, number.data(), numberLength, header.Size,
              content, header.BitRest, result.Continue);
    }

    result.Consumed = FPos - start;
    if (header.Constructed)
        result.ChildrenSize = header.Size;
    return result;
}

std::int64_t TASN1Parser::ParseTag(bool report) {
    if (FPos >= FInput.size())
        return -1;
    const ReadResult top = ReadOne(report);
    if (top.ChildrenSize == 0)
        return static_cast<std::int64_t>(top.Consumed);

    // Definite-length constructed tags nest without bound in hostile input, so their children are
    // walked with an explicit stack rather than by recursion.
    struct Frame {
        std::uint64_t Size;
        std::uint64_t Used;
        std::uint64_t HeaderConsumed;
        bool Continue;
    };
    std::vector<Frame> frames;
    frames.push_back({top.ChildrenSize, 0, top.Consumed, top.Continue});
    for (;;) {
        Frame& frame = frames.back();
        if (frame.Used == frame.Size) {
            const std::uint64_t total = frame.HeaderConsumed + frame.Used;
            frames.pop_back();
            if (frames.empty())
                return static_cast<std::int64_t>(total);
            frames.back().Used += total;
            continue;
        }
        if (frame.Used > frame.Size)
            throw EASN1Error("Invalid stream data");
        if (FPos >= FInput.size())
            throw EASN1Error("Unexpected stream end");
        const ReadResult child = ReadOne(frame.Continue);
        if (child.ChildrenSize == 0)
            frame.Used += child.Consumed;
        else
            frames.push_back({child.ChildrenSize, 0, child.Consumed, child.Continue});
    }
}

void TASN1Parser::Parse() {
    while (ParseTag(true) >= 0) {
    }
}
