#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// Whether a folder's content read at `depth` is plain all the way down, and readable: every
// item a file or a folder, no folder deeper than the reader accepts. Such content can be read
// level by level later without a fault showing up then.
bool CheckFolderContent(const std::uint8_t* buffer, std::size_t size, int depth);

// A stored name: UTF-16LE up to its first zero code unit; an odd last byte is a code unit of its
// own.
std::u16string DecodeName(const std::uint8_t* name, std::size_t size);

// One child of checked plain folder content, as views into it.
struct TChild {
    const std::uint8_t* Name = nullptr;
    std::uint32_t NameSize = 0;
    // The name's code units when it is plain text (no zero unit, no surrogate, even size); else
    // UINT32_MAX, and names are compared through their narrow forms.
    std::uint32_t PlainUnits = 0;
    // A plain name's first four units, letters folded: most names differ there already.
    std::uint64_t Key = 0;
    bool Folder = false;
    // A file's data, or a folder's content.
    const std::uint8_t* Content = nullptr;
    std::uint32_t ContentSize = 0;
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

// Whether a stored name is the same name as `name` (CompareNames gives 0), without decoding it
// where both are plain text.
bool SameName(const std::uint8_t* stored, std::size_t size, std::u16string_view name);
// A name prepared for SameName: its plain units (UINT32_MAX when it is not plain) and key.
struct TWanted {
    explicit TWanted(std::u16string_view name);
    std::u16string_view Name;
    std::uint32_t PlainUnits;
    std::uint64_t Key = 0;
};
// Past the key, for plain names of more than four units.
bool SameRest(const TChild& child, const TWanted& wanted);

inline bool SameName(const TChild& child, const TWanted& wanted) {
    if (child.PlainUnits == UINT32_MAX || wanted.PlainUnits == UINT32_MAX)
        return SameName(child.Name, child.NameSize, wanted.Name);
    return child.Key == wanted.Key && child.PlainUnits == wanted.PlainUnits &&
           (wanted.PlainUnits <= 4 || SameRest(child, wanted));
}

} // namespace QVCFPlain
