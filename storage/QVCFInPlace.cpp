// A budget's tree read in place from its file: the root's look-ups are answered from the few
// parts of the body read at once, and the large folder of months is read one month at a time,
// into memory that the next month reuses, while the reader builds from it.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "storage/QVCFArena.h"
#include "storage/QVCFBodySource.h"
#include "storage/QVCFFolderReader.h"
#include "storage/QVCFItem.h"
#include "storage/QVCFPlain.h"
#include "storage/QVDER.h"
#include "storage/QVException.h"

using namespace QVDER;

namespace {

// Enough for the head of an item as the writer puts it, name included: read with one request.
constexpr std::size_t HeadBytes = 256;
// Identifier octet, length octet and up to four more.
constexpr std::size_t HeaderBytes = 6;
// Threads that build from sub-folders read in place at once, at most: the one reader of the
// file keeps about this many busy, and each more keeps memory of its own allocator.
constexpr std::size_t MaxBuilders = 3;

// Reads the parts of the body that the checks and the look-ups will read, before they do.
class THeads {
public:
    THeads(const TQVCFBodySource& source, std::uint8_t* base, std::size_t size)
        : FSource(source), FBase(base), FEnd(base + size) {}

    // Reads [from, to) unless the last part read holds it: the head of an item is read at
    // once, and then element by element.
    void Fill(const std::uint8_t* from, const std::uint8_t* to) const {
        to = std::min(to, FEnd);
        if (from >= FFilledFrom && to <= FFilledTo)
            return;
        FSource.Fill(FBase, from, to);
        FFilledFrom = from;
        FFilledTo = to;
    }
    bool Element(const std::uint8_t*& p, const std::uint8_t* end, std::uint8_t tag,
                 const std::uint8_t*& content, std::size_t& size) const {
        Fill(p, p + std::min<std::size_t>(HeaderBytes, static_cast<std::size_t>(end - p)));
        return ReadElement(p, end, tag, content, size);
    }
    // The head of the item [item, item + size): its type, name and where its content lies.
    bool Item(const std::uint8_t* item, std::size_t size, bool& folder,
              const std::uint8_t*& content, std::size_t& contentSize) const {
        const std::uint8_t* end = item + size;
        Fill(item, item + std::min(size, HeadBytes));
        const std::uint8_t *p = item, *parts, *type, *names;
        std::size_t partsSize, typeSize, namesSize;
        if (!Element(p, end, TagSequence, parts, partsSize) || p != end)
            return false;
        p = parts;
        if (!Element(p, end, TagType, type, typeSize) || typeSize != 1)
            return false;
        Fill(type, type + 1);
        if (!Element(p, end, TagSequence, names, namesSize))
            return false;
        Fill(names, names + namesSize);
        if (!Element(p, end, TagOctets, content, contentSize) || p != end)
            return false;
        folder = *type == 'd';
        return true;
    }
    // A folder's content, its sub-folders' left unread: their heads only, and its files whole.
    bool Heads(const std::uint8_t* content, std::size_t size) const {
        const std::uint8_t* end = content + size;
        const std::uint8_t *p = content, *children;
        std::size_t childrenSize;
        if (!Element(p, end, TagSequence, children, childrenSize) || p != end)
            return false;
        end = children + childrenSize;
        for (p = children; p != end;) {
            const std::uint8_t *item, *inner;
            std::size_t itemSize, innerSize;
            bool folder;
            if (!Element(p, end, TagOctets, item, itemSize) ||
                !Item(item, itemSize, folder, inner, innerSize))
                return false;
            if (!folder)
                Fill(inner, inner + innerSize);
        }
        return true;
    }

private:
    const TQVCFBodySource& FSource;
    std::uint8_t* FBase;
    const std::uint8_t* FEnd;
    mutable const std::uint8_t* FFilledFrom = nullptr;
    mutable const std::uint8_t* FFilledTo = nullptr;
};

} // namespace

bool TQVCFFolder::LoadInPlace(const TQVCFBodySource& source, TByteBuffer& bytes,
                              std::size_t largeFolder) {
    const THeads heads(source, bytes.Data(), bytes.Size());
    const std::uint8_t* body = bytes.Data();
    const auto size = static_cast<std::uint32_t>(bytes.Size());
    bool folder;
    const std::uint8_t* content;
    std::size_t contentSize;
    QVCFPlain::TItemParts parts;
    if (!heads.Item(body, size, folder, content, contentSize) ||
        !QVCFPlain::SplitItem(body, size, parts))
        return false;

    // The root's children: small ones read whole, large folders down to their children's heads.
    std::vector<const std::uint8_t*> unread;
    const std::uint8_t* end = content + contentSize;
    const std::uint8_t *p = content, *children;
    std::size_t childrenSize;
    if (!heads.Element(p, end, TagSequence, children, childrenSize) || p != end)
        return false;
    end = children + childrenSize;
    for (p = children; p != end;) {
        const std::uint8_t *item, *inner;
        std::size_t itemSize, innerSize;
        if (!heads.Element(p, end, TagOctets, item, itemSize))
            return false;
        if (itemSize <= largeFolder || !heads.Item(item, itemSize, folder, inner, innerSize) ||
            !folder) {
            heads.Fill(item, item + itemSize);
        } else if (heads.Heads(inner, innerSize)) {
            unread.push_back(inner);
        } else {
            return false;
        }
    }
    // Everything read is checked now, as LoadPacked checks a body read whole; what is unread is
    // checked as it is read.
    QVCFPlain::TShape shape;
    if (!QVCFPlain::CheckFolderContent(parts.Content, parts.ContentSize, 0, shape, &unread))
        return false;

    std::u16string name;
    if (parts.HasName)
        name = QVCFPlain::DecodeName(parts.Name, parts.NameSize);
    // The bytes stay where they are, and are written to as the unread parts are read.
    auto* kept = const_cast<std::uint8_t*>(
        KeepPacked(std::move(bytes), static_cast<std::size_t>(parts.Content - body),
                   static_cast<std::uint32_t>(parts.ContentSize), shape));
    if (parts.HasName)
        Name = std::move(name);
    TQVCFArena::TInPlace& inPlace = Arena().InPlace;
    inPlace.Source = &source;
    inPlace.Base = kept;
    inPlace.Unread = std::move(unread);
    return true;
}

void TQVCFFolder::ReadUnread() const {
    // Only the root's children are left unread, so their content is at depth 1.
    const TQVCFArena::TInPlace& inPlace = Arena().InPlace;
    inPlace.Source->Fill(inPlace.Base, FPacked, FPacked + FPackedSize);
    QVCFPlain::TShape shape;
    if (!QVCFPlain::CheckFolderContent(FPacked, FPackedSize, 1, shape))
        throw EPACFReadAgain();
    FPackedSimple = shape.SimpleNames && shape.FoldersFirst;
    FPackedInnerSimple = shape.SimpleNames && shape.InnerFoldersFirst;
    FUnread = false;
}

void TQVCFFolder::DrainUnread(
    const std::vector<TPackedFolder>& folders, const std::vector<std::size_t>& stored,
    const std::function<void(std::size_t index, TQVCFFolder& view)>& visit, bool concurrent) {
    // Builders beside the reader's thread and a caller that may be busy with other work; two at
    // least, so that a concurrent drain is one on every machine.
    const unsigned cores = std::thread::hardware_concurrency();
    const std::size_t builders =
        concurrent ? std::clamp<std::size_t>(cores > 2 ? cores - 2 : 2, 2, MaxBuilders) : 1;
    TQVCFFolderReader reader(*Arena().InPlace.Source, Arena().InPlace.Base, folders, stored,
                             builders + 1);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex errorLock;
    const auto build = [&](TQVCFArena& arena) {
        TQVCFFolder view;
        try {
            for (std::size_t k; !failed && (k = next++) < stored.size();) {
                const TQVCFFolderReader::TRead* read = reader.Take(k);
                if (read == nullptr)
                    break;
                const TPackedFolder& folder = folders[stored[k]];
                // The same memory serves folder after folder: a look-up remembered for one
                // would answer for the next.
                arena.Lookup = TQVCFArena::TLookup();
                MakeView(folder.Name, read->Bytes.Data(), folder.Size,
                         read->Shape.SimpleNames && read->Shape.FoldersFirst,
                         read->Shape.SimpleNames && read->Shape.InnerFoldersFirst, arena, view);
                visit(stored[k], view);
                view.Clear();
                reader.Done(k);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> lock(errorLock);
            if (error == nullptr)
                error = std::current_exception();
            failed = true;
            reader.Stop();
        }
    };

    std::vector<std::thread> helpers;
    std::vector<std::unique_ptr<TQVCFArena>> arenas;
    if (reader.Threaded()) {
        for (std::size_t i = 1; i < builders; ++i) {
            arenas.push_back(std::make_unique<TQVCFArena>());
            try {
                helpers.emplace_back(build, std::ref(*arenas.back()));
            } catch (const std::system_error&) {
                break; // fewer builders
            }
        }
    }
    build(Arena());
    for (std::thread& helper : helpers)
        helper.join();
    if (error != nullptr)
        std::rethrow_exception(error);
}
