#include "storage/QVCFPlain.h"

#include "storage/QVCFItem.h"
#include "storage/QVDER.h"

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

bool CheckFolderContent(const std::uint8_t* buffer, std::size_t size, int depth) {
    if (depth > CFMaxFolderDepth)
        return false;
    const std::uint8_t* children;
    std::size_t childrenSize;
    if (!ReadWholeElement(buffer, size, TagSequence, children, childrenSize))
        return false;
    const std::uint8_t* end = children + childrenSize;
    for (const std::uint8_t* p = children; p != end;) {
        const std::uint8_t* item;
        std::size_t itemSize;
        TItemParts parts;
        if (!ReadElement(p, end, TagOctets, item, itemSize) || !SplitItem(item, itemSize, parts) ||
            parts.Type.size() != 1)
            return false;
        if (parts.Type[0] == 'd') {
            if (!CheckFolderContent(parts.Content, parts.ContentSize, depth + 1))
                return false;
        } else if (parts.Type[0] == 'f') {
            const std::uint8_t* data;
            std::size_t dataSize;
            if (!ReadWholeElement(parts.Content, parts.ContentSize, TagOctets, data, dataSize))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

std::u16string DecodeName(const std::uint8_t* name, std::size_t size) {
    std::u16string text;
    text.reserve((size + 1) / 2);
    for (std::size_t i = 0; i < size; i += 2) {
        const unsigned high = i + 1 < size ? name[i + 1] : 0u;
        const auto unit = static_cast<char16_t>(name[i] | high << 8);
        if (unit == 0)
            break;
        text.push_back(unit);
    }
    return text;
}

namespace {

// Neither the end of a narrow form nor half of a pair: compared as itself, letters folded.
bool Plain(char16_t unit) {
    return unit != 0 && (unit < 0xD800 || unit > 0xDFFF);
}

char16_t Fold(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
}

} // namespace

bool SameName(const std::uint8_t* stored, std::size_t size, std::u16string_view name) {
    std::size_t i = 0;
    for (std::size_t byte = 0; byte < size; byte += 2, ++i) {
        const unsigned high = byte + 1 < size ? stored[byte + 1] : 0u;
        const auto unit = static_cast<char16_t>(stored[byte] | high << 8);
        if (unit == 0)
            break;
        if (i == name.size() || !Plain(unit) || !Plain(name[i]))
            return i < name.size() || !Plain(unit)
                       ? TQVCFFolder::CompareNames(DecodeName(stored, size), name) == 0
                       : false;
        if (Fold(unit) != Fold(name[i]))
            return false;
    }
    // The stored name has ended; the wanted one is the same only if its rest is cut off too.
    if (i == name.size())
        return true;
    return !Plain(name[i]) && TQVCFFolder::CompareNames(DecodeName(stored, size), name) == 0;
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

} // namespace

TChildReader::TChildReader(const std::uint8_t* content, std::uint32_t) {
    std::uint32_t size;
    FNext = Element(content, size);
    FEnd = FNext + size;
}

bool TChildReader::Next(TChild& child) {
    if (FNext == FEnd)
        return false;
    std::uint32_t size;
    const std::uint8_t* p = Element(FNext, size); // OCTET STRING around the item
    p = Element(p, size);                         // the item SEQUENCE: now at its type
    const std::uint8_t* type = Element(p, size);
    child.Folder = *type == 'd';
    std::uint32_t namesSize;
    const std::uint8_t* names = Element(p, namesSize);
    child.Name = nullptr;
    child.NameSize = 0;
    if (namesSize > 0)
        child.Name = Element(names, child.NameSize);
    std::uint32_t contentSize;
    const std::uint8_t* content = Element(p, contentSize);
    if (child.Folder) {
        child.Content = content;
        child.ContentSize = contentSize;
    } else {
        child.Content = Element(content, child.ContentSize);
    }

    child.PlainUnits = child.NameSize / 2;
    child.Key = 0;
    bool plain = child.NameSize % 2 == 0;
    for (std::uint32_t i = 0; i < child.NameSize / 2; ++i) {
        const auto unit = static_cast<char16_t>(child.Name[2 * i] | child.Name[2 * i + 1] << 8);
        plain = plain && Plain(unit);
        if (i < 4)
            child.Key |= std::uint64_t{Fold(unit)} << (16 * i);
    }
    if (!plain)
        child.PlainUnits = UINT32_MAX;
    return true;
}

TWanted::TWanted(std::u16string_view name)
    : Name(name), PlainUnits(static_cast<std::uint32_t>(name.size())) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (!Plain(name[i])) {
            PlainUnits = UINT32_MAX;
            return;
        }
        if (i < 4)
            Key |= std::uint64_t{Fold(name[i])} << (16 * i);
    }
}

bool SameRest(const TChild& child, const TWanted& wanted) {
    for (std::uint32_t i = 4; i < wanted.PlainUnits; ++i) {
        const auto unit = static_cast<char16_t>(child.Name[2 * i] | child.Name[2 * i + 1] << 8);
        if (Fold(unit) != Fold(wanted.Name[i]))
            return false;
    }
    return true;
}

} // namespace QVCFPlain
