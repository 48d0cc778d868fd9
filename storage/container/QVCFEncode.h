#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The item encoding as the writers put it: shortest definite lengths, a one-octet type ("f" or
// "d"), the name as UTF-16LE. What the item tree and the streamed body both write.
namespace QVCFEncode {

// An item element's size, from its name's length and its content's size.
std::uint64_t ItemSize(std::size_t nameUnits, std::uint64_t contentSize);
// A file's content is its data in an OCTET STRING; a folder's a SEQUENCE of its children, each
// an item in an OCTET STRING. These are the whole elements of such items.
std::uint64_t FileItemElement(std::size_t nameUnits, std::uint64_t dataSize);
std::uint64_t FolderItemElement(std::size_t nameUnits, std::uint64_t children);
// The length of the decimal name of a list index.
std::size_t IndexNameUnits(int index);

// The headers of an item element that come before its name's units: the item's SEQUENCE, the
// type, the name's SEQUENCE and the name's own header. Returns the end.
std::uint8_t* WriteHeadBeforeName(std::uint8_t* out, bool folder, std::size_t nameUnits,
                                  std::uint64_t contentSize);
// The item element up to its content: those headers, the name and the content's header.
std::uint8_t* WriteItemHead(std::uint8_t* out, bool folder, std::u16string_view name,
                            std::uint64_t contentSize);

// A text's UTF-16 code units as bytes at `out`, low byte first, as files hold texts; returns the
// end.
inline std::uint8_t* PutUnits(std::uint8_t* out, std::u16string_view units) {
    if constexpr (std::endian::native == std::endian::little) {
        if (!units.empty())
            std::memcpy(out, units.data(), 2 * units.size());
        return out + 2 * units.size();
    }
    for (const char16_t unit : units) {
        *out++ = static_cast<std::uint8_t>(unit & 0xFF);
        *out++ = static_cast<std::uint8_t>(unit >> 8);
    }
    return out;
}

} // namespace QVCFEncode
