#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The names of container items: how they are stored and how they compare. Names compare as the
// narrow (UTF-8) forms compare under CompareText: bytes unsigned, ASCII letters without regard to
// case; a narrow form ends at the name's first zero unit.
namespace QVCFNames {

// A stored name: UTF-16LE up to its first zero code unit; an odd last byte is a code unit of its
// own.
std::u16string Decode(const std::uint8_t* name, std::size_t size);

// A code unit as names compare it: the letters a to z made capitals.
inline char16_t Fold(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
}

// <0, 0 or >0.
int Compare(std::u16string_view a, std::u16string_view b);

// Compare(a, b) == 0, told without the narrow forms wherever both names are plain text.
bool Same(std::u16string_view a, std::u16string_view b);

} // namespace QVCFNames
