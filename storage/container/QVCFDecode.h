#pragma once

#include <cstdint>
#include <string>

#include "storage/asn1/QVASN1Reader.h"

// Deepest nesting of folders below the root that a reader accepts; stored budgets use three or
// four levels.
constexpr int CFMaxFolderDepth = 64;
// Longest body a container holds, a thousand times a large budget's: a reader refuses a longer
// one at its head, before reading it, and a writer does not write one, so whatever is written
// reads back.
constexpr std::uint64_t CFMaxBodyLength = std::uint64_t{1} << 30;

// The item encoding in every form the tag tree reads (any length form, indefinite lengths,
// long-form tag numbers, end-of-contents markers where the tree ignores them), read from any
// input, in memory or in a file: the one place where its structure is checked and its faults are
// named. Only the headers, the type and the name are read: an item costs its head and its name,
// whatever the size of its content.
namespace QVCFDecode {

// The parts of one item element.
struct TItem {
    bool Folder = false; // a child's type is "d" (else "f"); a root's is not looked at
    bool HasName = false;
    std::u16string Name;
    // Its content element.
    std::uint64_t Content = 0;
    std::uint64_t ContentSize = 0;
};

// The item element that fills bytes [begin, end) of `input`. Raises EPACFError "CF item read
// error" when they do not parse, "Invalid CF item" for another structure and, for a child
// (`child`), "Unknown CF item type" for a type other than "f" and "d", each where the item tree
// finds it first.
TItem ReadItem(TASN1Input& input, std::uint64_t begin, std::uint64_t end, bool child);

// The children of the folder content element that fills bytes [begin, end) of `input`, in the
// order stored. Whatever is not one SEQUENCE of OCTET STRINGs raises EPACFError "Invalid CF file"
// when the walk reaches it.
class TChildren {
public:
    TChildren(TASN1Input& input, std::uint64_t begin, std::uint64_t end)
        : FReader(input, begin, end) {}

    // The next child's item element, [item, item + size), whose OCTET STRING starts at `start`;
    // false after the last one, the content read to its end.
    bool Next(std::uint64_t& start, std::uint64_t& item, std::uint64_t& size);

private:
    TASN1Reader FReader;
    bool FSequence = false;
};

// Where a file's data lies in its content element, bytes [begin, end) of `input`: one OCTET
// STRING, else EPACFError "Invalid CF file".
void ReadFileData(TASN1Input& input, std::uint64_t begin, std::uint64_t end, std::uint64_t& data,
                  std::uint64_t& size);

} // namespace QVCFDecode
