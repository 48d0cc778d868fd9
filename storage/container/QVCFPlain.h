#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The item encoding in the plain definite-length form the writer produces, read straight from
// the bytes. False from these means "not that form", never "invalid": the general tag tree then
// reads the input and reports what is wrong with it.
namespace QVCFPlain {

// The parts of one item element, as views into the encoding.
struct TItemParts {
    std::string_view Type;
    const std::uint8_t* Name = nullptr;
    std::size_t NameSize = 0;
    bool HasName = false;
    const std::uint8_t* Content = nullptr;
    std::size_t ContentSize = 0;
};

// Splits an item element with nothing around it.
bool SplitItem(const std::uint8_t* buffer, std::size_t size, TItemParts& parts);

// How the names of checked content lie. The writer stores simple names (plain text, not empty,
// no "/") and puts a folder's sub-folders before its files (all but the root, which keeps its
// writing order); then looking a name up compares units (SameSimpleName).
struct TShape {
    // Every name in the content, at any depth, is simple.
    bool SimpleNames = true;
    // The content's own sub-folders come before its files.
    bool FoldersFirst = true;
    // So do those of every folder below it.
    bool InnerFoldersFirst = true;
};

// Whether a folder's content read at `depth` is plain all the way down, and readable: every
// item a file or a folder, no folder deeper than the reader accepts. Such content can be read
// level by level later without a fault showing up then. `shape` tells how its names lie.
bool CheckFolderContent(const std::uint8_t* buffer, std::size_t size, int depth, TShape& shape);

// One child of checked plain folder content, as views into it.
struct TChild {
    const std::uint8_t* Name = nullptr;
    // A file's data, or a folder's content.
    const std::uint8_t* Content = nullptr;
    // The name's NameKey: most names differ there already.
    std::uint64_t Key = 0;
    std::uint32_t NameSize = 0;
    std::uint32_t ContentSize = 0;
    bool Folder = false;
};

// Walks the children of folder content that CheckFolderContent accepted; it reads the bytes
// without checking them again.
class TChildReader {
public:
    TChildReader(const std::uint8_t* content, std::uint32_t size);
    bool Next(TChild& child);

private:
    const std::uint8_t* FNext = nullptr;
    const std::uint8_t* FEnd = nullptr;
};

// Plain text: neither the end of a name nor half of a surrogate pair, so that two plain names
// are the same exactly when their units are, letters folded.
inline bool PlainUnit(char16_t unit) {
    return unit != 0 && (unit < 0xD800 || unit > 0xDFFF);
}

// Four UTF-16 units to a 64-bit word, the first in the lowest 16 bits, worked on together.
constexpr std::uint64_t Lanes = 0x0001000100010001;

// Letters a to z made capitals, in each unit.
inline std::uint64_t FoldUnits(std::uint64_t x) {
    const std::uint64_t high = Lanes << 15;
    const std::uint64_t low = x & ~high;
    // Bit 15 of a unit, of each: it is at least "a", at most "z", and below 0x8000. No unit's
    // sum or difference reaches into the next one.
    const std::uint64_t letter =
        ((low | high) - Lanes * u'a') & (Lanes * (0x8000 + u'z') - low) & ~x & high;
    return x - (letter >> 10);
}

// A name's first four units, letters folded, one to each 16 bits from the lowest; zero past its
// end. A child's Key is its stored name's.
inline std::uint64_t NameKey(std::u16string_view name) {
    std::uint64_t units = 0;
    switch (name.size()) {
    default:
        units |= std::uint64_t{name[3]} << 48;
        [[fallthrough]];
    case 3:
        units |= std::uint64_t{name[2]} << 32;
        [[fallthrough]];
    case 2:
        units |= std::uint64_t{name[1]} << 16;
        [[fallthrough]];
    case 1:
        units |= name[0];
        [[fallthrough]];
    case 0:
        break;
    }
    return FoldUnits(units);
}

// Past the key: whether units 4 and on of a stored name are those of `name`, letters folded.
bool SameTail(const TChild& child, std::u16string_view name);

// Whether a child's simple stored name has the units of `name` (whose NameKey is `key`), letters
// folded. When it has, the two are the same name (CompareNames gives 0) and `name` is simple
// too; when not, `name` may still be the same as the stored one (cut at a zero unit, say), or be
// a path.
inline bool SameSimpleName(const TChild& child, std::u16string_view name, std::uint64_t key) {
    return child.Key == key && child.NameSize == 2 * name.size() &&
           (name.size() <= 4 || SameTail(child, name));
}

} // namespace QVCFPlain
