#include "storage/container/QVCFDecode.h"

#include <algorithm>

#include "storage/QVException.h"
#include "storage/asn1/QVDER.h"
#include "storage/container/QVCFNames.h"

using namespace QVDER;

namespace QVCFDecode {

namespace {

// The item element's tags that its checks look at: the outermost tags, the first one's
// children, and the first tag inside its second child (the name). The rest is read only to know
// that it parses.
struct TItemTags {
    int Tops = 0;
    TASN1Tag Top;
    int Parts = 0;
    TASN1Tag Part[3];
    int Names = 0;
    TASN1Tag Name;
};

// The reader's next tag; a fault of the tags raises the container's error `message`.
bool NextTag(TASN1Reader& reader, TASN1Tag& tag, const char* message) {
    try {
        return reader.Next(tag);
    } catch (const EASN1Error&) {
        throw EPACFError(message);
    } catch (const EASN1ReadError&) {
        throw EPACFError(message);
    }
}

TItemTags ReadItemTags(TASN1Input& input, std::uint64_t begin, std::uint64_t end) {
    TItemTags tags;
    TASN1Reader reader(input, begin, end);
    for (TASN1Tag tag; NextTag(reader, tag, CFMessages::ItemReadError);) {
        if (tag.Depth == 0) {
            if (tags.Tops++ == 0)
                tags.Top = tag;
        } else if (tags.Tops == 1 && tag.Depth == 1) {
            if (tags.Parts < 3)
                tags.Part[tags.Parts] = tag;
            ++tags.Parts;
        } else if (tags.Tops == 1 && tag.Depth == 2 && tags.Parts == 2) {
            // Depth 2 right after the second part: inside it.
            if (tags.Names++ == 0)
                tags.Name = tag;
        }
    }
    return tags;
}

// A stored name, read a piece at a time up to its first zero unit: however long it is, the
// name alone is held.
std::u16string NameOf(TASN1Input& input, const TASN1Tag& tag) {
    constexpr std::size_t Piece = 64 * 1024; // even, so that no unit is cut in two
    std::u16string name;
    for (std::uint64_t at = 0; at < tag.Header.Size;) {
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(Piece, tag.Header.Size - at));
        std::size_t available = 0;
        const std::uint8_t* bytes = input.At(tag.Content + at, count, available);
        const std::u16string piece = QVCFNames::Decode(bytes, count);
        name += piece;
        if (2 * piece.size() < count - 1)
            break; // it ended at a zero unit
        at += count;
    }
    return name;
}

[[noreturn]] void InvalidItem() {
    throw EPACFError(CFMessages::InvalidItem);
}

[[noreturn]] void InvalidFile() {
    throw EPACFError(CFMessages::InvalidFile);
}

} // namespace

TItem ReadItem(TASN1Input& input, std::uint64_t begin, std::uint64_t end, bool child) {
    const TItemTags tags = ReadItemTags(input, begin, end);
    if (tags.Tops != 1 || !tags.Top.Is(TagSequence, true) || tags.Parts != 3 ||
        !tags.Part[0].Is(TagType, false) || !tags.Part[2].Is(TagOctets, false))
        InvalidItem();
    TItem item;
    // A child's kind is settled before its name is looked at.
    if (child) {
        const std::uint64_t typeSize = tags.Part[0].Header.Size;
        std::size_t available = 0;
        const char type =
            typeSize == 1 ? static_cast<char>(*input.At(tags.Part[0].Content, 1, available)) : 0;
        if (type != 'f' && type != 'd')
            throw EPACFError(CFMessages::UnknownItemType);
        item.Folder = type == 'd';
    }
    if (!tags.Part[1].Is(TagSequence, true))
        InvalidItem();
    // Only the first element of the name SEQUENCE counts, and it must be a name.
    if (tags.Names > 0) {
        if (!tags.Name.Is(TagName, false))
            InvalidItem();
        item.HasName = true;
        item.Name = NameOf(input, tags.Name);
    }
    item.Content = tags.Part[2].Content;
    item.ContentSize = tags.Part[2].Header.Size;
    return item;
}

bool TChildren::Next(std::uint64_t& start, std::uint64_t& item, std::uint64_t& size) {
    for (TASN1Tag tag; NextTag(FReader, tag, CFMessages::InvalidFile);) {
        // One SEQUENCE at the top, holding nothing but OCTET STRINGs.
        if (tag.Depth == 0) {
            if (FSequence || !tag.Is(TagSequence, true))
                InvalidFile();
            FSequence = true;
            continue;
        }
        if (!tag.Is(TagOctets, false))
            InvalidFile();
        start = tag.Start;
        item = tag.Content;
        size = tag.Header.Size;
        return true;
    }
    if (!FSequence)
        InvalidFile();
    return false;
}

void ReadFileData(TASN1Input& input, std::uint64_t begin, std::uint64_t end, std::uint64_t& data,
                  std::uint64_t& size) {
    TASN1Reader reader(input, begin, end);
    bool found = false;
    for (TASN1Tag tag; NextTag(reader, tag, CFMessages::InvalidFile);) {
        if (found || !tag.Is(TagOctets, false))
            InvalidFile();
        found = true;
        data = tag.Content;
        size = tag.Header.Size;
    }
    if (!found)
        InvalidFile();
}

} // namespace QVCFDecode
