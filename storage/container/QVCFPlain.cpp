#include "storage/container/QVCFPlain.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "storage/asn1/QVDER.h"
#include "storage/container/QVCFDecode.h"
#include "storage/container/QVCFNames.h"

using namespace QVDER;

namespace QVCFPlain {

bool SplitItem(const std::uint8_t* buffer, std::size_t size, TItemParts& parts) {
    const std::uint8_t* item;
    std::size_t itemSize;
    if (!ReadWholeElement(buffer, size, TagSequence, item, itemSize))
        return false;
    const std::uint8_t* end = item + itemSize;
    const std::uint8_t *type, *names;
    std::size_t typeSize, namesSize;
    const std::uint8_t* p = item;
    if (!ReadElement(p, end, TagType, type, typeSize) ||
        !ReadElement(p, end, TagSequence, names, namesSize) ||
        !ReadElement(p, end, TagOctets, parts.Content, parts.ContentSize) || p != end)
        return false;
    parts.Type = {reinterpret_cast<const char*>(type), typeSize};
    parts.HasName = namesSize > 0;
    if (parts.HasName) {
        p = names;
        if (!ReadElement(p, names + namesSize, TagName, parts.Name, parts.NameSize) ||
            p != names + namesSize)
            return false;
    }
    return true;
}

namespace {

// Eight bytes of a stored name, as four units.
inline std::uint64_t LoadUnits(const std::uint8_t* bytes) {
    std::uint64_t units;
    std::memcpy(&units, bytes, 8);
    if constexpr (std::endian::native == std::endian::big)
        units = __builtin_bswap64(units);
    return units;
}

// Whether any of the four units in `x` is zero, half of a surrogate pair or "/".
inline bool HasOddUnit(std::uint64_t x) {
    const auto zero = [](std::uint64_t v) { return (v - Lanes) & ~v & (Lanes << 15); };
    return (zero(x) | zero((x & (Lanes * 0xF800)) ^ (Lanes * 0xD800)) | zero(x ^ (Lanes * u'/'))) !=
           0;
}

// A simple name: plain text, not empty, no "/" in it. Looked up by such a name a child is found
// by comparing units; any other wanted name takes the general way. The name is read eight bytes
// at a time, the last eight overlapping the ones before; a name shorter than that is read as the
// end of eight bytes, which the item's header bytes before the name fill.
bool SimpleName(const std::uint8_t* name, std::size_t size) {
    if (size == 0 || size % 2 != 0)
        return false;
    if (size < 8) {
        const std::uint64_t own = ~std::uint64_t{0} << (64 - 8 * size);
        return !HasOddUnit((LoadUnits(name + size - 8) & own) | (Lanes * u'A' & ~own));
    }
    for (std::size_t i = 0; i + 8 <= size; i += 8)
        if (HasOddUnit(LoadUnits(name + i)))
            return false;
    return size % 8 == 0 || !HasOddUnit(LoadUnits(name + size - 8));
}

// One child of folder content: an item in an OCTET STRING, with a one-octet type. Kept in locals
// and inlined into the walk below, which reads every item of a file.
struct TCheckedChild {
    char Type = 0;
    const std::uint8_t* Name = nullptr;
    std::size_t NameSize = 0;
    const std::uint8_t* Content = nullptr;
    std::size_t ContentSize = 0;
};

inline bool CheckChild(const std::uint8_t*& p, const std::uint8_t* end, TCheckedChild& child) {
    const std::uint8_t *item, *sequence, *type, *names, *content, *name = nullptr;
    std::size_t itemSize, sequenceSize, typeSize, namesSize, contentSize, nameSize = 0;
    if (!ReadElement(p, end, TagOctets, item, itemSize))
        return false;
    const std::uint8_t* itemEnd = item + itemSize;
    const std::uint8_t* q = item;
    if (!ReadElement(q, itemEnd, TagSequence, sequence, sequenceSize) || q != itemEnd)
        return false;
    q = sequence;
    if (!ReadElement(q, itemEnd, TagType, type, typeSize) || typeSize != 1 ||
        !ReadElement(q, itemEnd, TagSequence, names, namesSize) ||
        !ReadElement(q, itemEnd, TagOctets, content, contentSize) || q != itemEnd)
        return false;
    if (namesSize > 0) {
        const std::uint8_t* r = names;
        if (!ReadElement(r, names + namesSize, TagName, name, nameSize) || r != names + namesSize)
            return false;
    }
    child.Type = static_cast<char>(*type);
    child.Name = name;
    child.NameSize = nameSize;
    child.Content = content;
    child.ContentSize = contentSize;
    return true;
}

} // namespace

bool CheckFolderContent(const std::uint8_t* buffer, std::size_t size, int depth, TShape& shape) {
    if (depth > CFMaxFolderDepth)
        return false;
    const std::uint8_t* children;
    std::size_t childrenSize;
    if (!ReadWholeElement(buffer, size, TagSequence, children, childrenSize))
        return false;
    const std::uint8_t* end = children + childrenSize;
    bool files = false;
    for (const std::uint8_t* p = children; p != end;) {
        TCheckedChild child;
        if (!CheckChild(p, end, child))
            return false;
        if (shape.SimpleNames && !SimpleName(child.Name, child.NameSize))
            shape.SimpleNames = false;
        if (child.Type == 'd') {
            TShape inner;
            if (!CheckFolderContent(child.Content, child.ContentSize, depth + 1, inner))
                return false;
            shape.SimpleNames = shape.SimpleNames && inner.SimpleNames;
            shape.InnerFoldersFirst =
                shape.InnerFoldersFirst && inner.FoldersFirst && inner.InnerFoldersFirst;
            shape.FoldersFirst = shape.FoldersFirst && !files;
        } else if (child.Type == 'f') {
            files = true;
            const std::uint8_t* data;
            std::size_t dataSize;
            if (!ReadWholeElement(child.Content, child.ContentSize, TagOctets, data, dataSize))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

namespace {

// The length octets at `p` of an element already checked; moves `p` past them.
inline std::uint32_t Length(const std::uint8_t*& p) {
    std::uint32_t n = *p++;
    if (n < 0x80)
        return n;
    std::uint32_t octets = n - 0x80;
    for (n = 0; octets > 0; --octets)
        n = n << 8 | *p++;
    return n;
}

// The element at `p` (identifier octet, length, content): returns its content and moves `p`
// past the element.
inline const std::uint8_t* Element(const std::uint8_t*& p, std::uint32_t& size) {
    ++p;
    size = Length(p);
    const std::uint8_t* content = p;
    p += size;
    return content;
}

// The parts of a child that a look-up needs, in locals: stores through a TChild could alias the
// bytes read, and would make the compiler read them again.
struct TChildParts {
    const std::uint8_t* Name = nullptr;
    std::uint32_t NameSize = 0;
    const std::uint8_t* Content = nullptr;
    std::uint32_t Size = 0;
    bool Folder = false;
};

// An item of fewer than 128 bytes whose lengths all take one octet (as the writer puts them)
// lies at fixed places: OCTET STRING, SEQUENCE, the type (06 01 t), the names SEQUENCE with the
// name element, the content OCTET STRING and, in a file's, the data's. Every place read is inside
// the item, which is at least eleven bytes long, whatever the lengths' forms; false, with `next`
// unmoved, when a length has another form.
[[gnu::always_inline]] inline bool ReadShortChild(const std::uint8_t*& next, TChildParts& parts) {
    const std::uint8_t* p = next;
    const unsigned names = p[8];
    if ((p[1] | p[3] | names) >= 0x80 || p[5] != 1)
        return false;
    const std::uint8_t* q = p + 9 + names;
    const bool folder = p[6] == 'd';
    const unsigned nameSize = names > 0 ? p[10] : 0;
    const unsigned contentSize = q[1];
    const unsigned dataSize = folder ? 0 : q[3];
    if ((nameSize | contentSize | dataSize) >= 0x80)
        return false;
    parts.Name = names > 0 ? p + 11 : nullptr;
    parts.NameSize = nameSize;
    parts.Folder = folder;
    parts.Content = folder ? q + 2 : q + 4;
    parts.Size = folder ? contentSize : dataSize;
    next = p + 2 + p[1];
    return true;
}

// The same for any length forms.
[[gnu::always_inline]] inline void ReadAnyChild(const std::uint8_t*& next, TChildParts& parts) {
    std::uint32_t size;
    const std::uint8_t* p = Element(next, size); // OCTET STRING around the item
    p = Element(p, size);                        // the item SEQUENCE: now at its type
    parts.Folder = *Element(p, size) == 'd';
    std::uint32_t namesSize;
    const std::uint8_t* names = Element(p, namesSize);
    if (namesSize > 0)
        parts.Name = Element(names, parts.NameSize);
    parts.Content = Element(p, parts.Size);
    if (!parts.Folder)
        parts.Content = Element(parts.Content, parts.Size);
}

// Reads the child at `next` and moves `next` past it; inlined into the loops over thousands of
// children.
[[gnu::always_inline]] inline void ReadChild(const std::uint8_t*& next, TChild& child) {
    TChildParts parts;
    if (!ReadShortChild(next, parts))
        ReadAnyChild(next, parts);
    const std::uint8_t* name = parts.Name;
    const std::uint32_t nameSize = parts.NameSize;
    // The key's units: the first four, or a shorter name's all, read as the last bytes of eight
    // that end with the name. The item's header bytes come before it, so all eight are the
    // item's.
    const std::uint32_t units = nameSize / 2;
    std::uint64_t key = 0;
    if (units >= 4)
        key = LoadUnits(name);
    else if (units > 0)
        key = LoadUnits(name + 2 * units - 8) >> (64 - 16 * units);
    child.Key = FoldUnits(key);
    child.Name = name;
    child.NameSize = nameSize;
    child.Folder = parts.Folder;
    child.Content = parts.Content;
    child.ContentSize = parts.Size;
}

} // namespace

TChildReader::TChildReader(const std::uint8_t* content, std::uint32_t) {
    std::uint32_t size;
    FNext = Element(content, size);
    FEnd = FNext + size;
}

bool TChildReader::Next(TChild& child) {
    if (FNext == FEnd)
        return false;
    ReadChild(FNext, child);
    return true;
}

bool SameTail(const TChild& child, std::u16string_view name) {
    for (std::size_t i = 4; i < name.size(); ++i) {
        const auto unit = static_cast<char16_t>(child.Name[2 * i] | child.Name[2 * i + 1] << 8);
        if (QVCFNames::Fold(unit) != QVCFNames::Fold(name[i]))
            return false;
    }
    return true;
}

} // namespace QVCFPlain
