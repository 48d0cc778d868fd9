#include "storage/container/QVCFStream.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/ByteBuffer.h"
#include "platform/Workers.h"
#include "storage/QVException.h"
#include "storage/asn1/QVDER.h"
#include "storage/container/QVCFBlockSink.h"
#include "storage/container/QVCFDecode.h"
#include "storage/container/QVCFEncode.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFSizer.h"

using namespace QVDER;
using namespace QVCFEncode;
using namespace QVCFSizes;

namespace {

// The writer wrote other items than it did when measured.
[[noreturn]] void RaiseInternalError() {
    throw EPACFError(CFMessages::InternalError);
}

// One folder's items as they were written, kept until the folder is complete.
struct TPending {
    struct TEntry {
        std::size_t Name = 0; // in Names
        std::size_t NameUnits = 0;
        std::size_t Data = 0; // a file's, in Bytes
        std::uint64_t DataSize = 0;
        std::uint64_t ContentSize = 0;
        std::uint64_t ItemSize = 0;
        std::ptrdiff_t List = -1; // a folder's, in Lists
    };
    struct TList {
        TQVCFWriter::TWriteEach Write;
        int Count = 0;
        std::size_t Slot = 0;
    };

    std::u16string_view NameOf(const TEntry& entry) const {
        return std::u16string_view(Names).substr(entry.Name, entry.NameUnits);
    }
    // Empties the items; the orders found so far are kept for the folders to come.
    void Clear() {
        Entries.clear();
        Names.clear();
        Bytes.clear();
        Lists.clear();
    }
    // Sets Sequence to the order the items are encoded in: with `sorted`, folders first, then by
    // name, equal ones in the order they were written, as in a sorted folder of the item tree;
    // else as written.
    void Order(bool sorted) {
        if (!sorted) {
            Sequence.resize(Entries.size());
            for (std::size_t i = 0; i < Sequence.size(); ++i)
                Sequence[i] = i;
            return;
        }
        // Folders of one kind (a flow of each kind, say) come by the thousand with the same
        // names in the same order: an order found before holds again.
        for (TKnownOrder& known : FKnown) {
            if (known.Matches(*this)) {
                Sequence = known.Sequence;
                return;
            }
        }
        Sequence.resize(Entries.size());
        for (std::size_t i = 0; i < Sequence.size(); ++i)
            Sequence[i] = i;
        const auto less = [this](std::size_t a, std::size_t b) {
            const TEntry &ea = Entries[a], &eb = Entries[b];
            if ((ea.List >= 0) != (eb.List >= 0))
                return ea.List >= 0;
            return TQVCFFolder::CompareNames(NameOf(ea), NameOf(eb)) < 0;
        };
        if (Sequence.size() > 16) {
            std::stable_sort(Sequence.begin(), Sequence.end(), less);
        } else {
            for (std::size_t i = 1; i < Sequence.size(); ++i) {
                const std::size_t item = Sequence[i];
                std::size_t j = i;
                for (; j > 0 && less(item, Sequence[j - 1]); --j)
                    Sequence[j] = Sequence[j - 1];
                Sequence[j] = item;
            }
        }
        TKnownOrder& known = FKnown[FNextKnown];
        FNextKnown = (FNextKnown + 1) % KnownOrders;
        known.Names = Names;
        known.Shape.clear();
        for (const TEntry& entry : Entries)
            known.Shape.push_back(Shape(entry));
        known.Sequence = Sequence;
    }
    std::uint64_t Children() const {
        std::uint64_t children = 0;
        for (const TEntry& entry : Entries)
            children += ElementSize(entry.ItemSize);
        return children;
    }

    std::vector<TEntry> Entries;
    std::u16string Names;
    std::string Bytes;
    std::vector<TList> Lists;
    // The entries' indices in encoding order.
    std::vector<std::size_t> Sequence;

private:
    static std::size_t Shape(const TEntry& entry) {
        return entry.NameUnits << 1 | (entry.List >= 0 ? 1 : 0);
    }
    // The order found for a folder: its names, each entry's length and kind, and its sequence.
    struct TKnownOrder {
        std::u16string Names;
        std::vector<std::size_t> Shape;
        std::vector<std::size_t> Sequence;
        bool Matches(const TPending& pending) const {
            if (Shape.size() != pending.Entries.size() || Names.size() != pending.Names.size() ||
                std::memcmp(Names.data(), pending.Names.data(), 2 * Names.size()) != 0)
                return false;
            for (std::size_t i = 0; i < Shape.size(); ++i)
                if (Shape[i] != TPending::Shape(pending.Entries[i]))
                    return false;
            return true;
        }
    };
    static constexpr std::size_t KnownOrders = 4;
    TKnownOrder FKnown[KnownOrders];
    std::size_t FNextKnown = 0;
};

// The second run's writer: gathers a folder's items, each list with the size the first run
// measured. `cursor` is the slot of the next list written.
class TCollector final : public TQVCFWriter {
public:
    TCollector(TPending& pending, const std::vector<TSlot>& slots, std::size_t cursor)
        : FPending(pending), FSlots(slots), FCursor(cursor) {}

    std::size_t Cursor() const { return FCursor; }

    void File(std::u16string_view name, std::string_view data) override {
        Add(name, data.size());
        FPending.Bytes.append(data);
    }
    void Text(std::u16string_view name, std::u16string_view text) override {
        Add(name, 2 * std::uint64_t(text.size()));
        std::string& bytes = FPending.Bytes;
        const std::size_t at = bytes.size();
        bytes.resize(at + 2 * text.size());
        PutUnits(reinterpret_cast<std::uint8_t*>(bytes.data() + at), text);
    }
    void List(std::u16string_view name, int count, const TWriteEach& write) override {
        if (FCursor >= FSlots.size())
            RaiseInternalError();
        const std::size_t slot = FCursor;
        FCursor += 1 + FSlots[slot].Descendants;
        TPending::TEntry& entry = AddName(name);
        entry.ContentSize = ElementSize(FSlots[slot].Children);
        entry.ItemSize = ItemSize(name.size(), entry.ContentSize);
        entry.List = static_cast<std::ptrdiff_t>(FPending.Lists.size());
        FPending.Lists.push_back({write, count, slot});
    }

private:
    TPending::TEntry& AddName(std::u16string_view name) {
        TPending::TEntry& entry = FPending.Entries.emplace_back();
        entry.Name = FPending.Names.size();
        entry.NameUnits = name.size();
        FPending.Names.append(name);
        return entry;
    }
    void Add(std::u16string_view name, std::uint64_t dataSize) {
        TPending::TEntry& entry = AddName(name);
        entry.Data = FPending.Bytes.size();
        entry.DataSize = dataSize;
        entry.ContentSize = ElementSize(dataSize);
        entry.ItemSize = ItemSize(name.size(), entry.ContentSize);
    }

    TPending& FPending;
    const std::vector<TSlot>& FSlots;
    std::size_t FCursor;
};

// The bytes of a run of folders that a thread encodes, growing as needed.
class TMemorySink {
public:
    // Empty, with room for `size` bytes and the few a header asks for beyond what it writes.
    void Reset(std::size_t size) {
        FSize = 0;
        Room(size + 64);
    }
    std::uint8_t* Room(std::size_t count) {
        if (FData.Size() - FSize < count) {
            // Pages of their own, handed back to the system when the save is over.
            TByteBuffer data = TByteBuffer::Reserve(std::max(FData.Size() * 2, FSize + count));
            if (FSize > 0)
                std::memcpy(data.Data(), FData.Data(), FSize);
            FData = std::move(data);
        }
        return FData.Data() + FSize;
    }
    void Advance(std::uint8_t* end) { FSize = static_cast<std::size_t>(end - FData.Data()); }
    void Put(const void* bytes, std::size_t count) {
        if (count == 0)
            return;
        std::memcpy(Room(count), bytes, count);
        FSize += count;
    }
    std::uint64_t Count() const { return FSize; }
    const std::uint8_t* Data() const { return FData.Data(); }

private:
    TByteBuffer FData;
    std::size_t FSize = 0;
};

template <class TSink> class TEncoder {
public:
    TEncoder(const std::vector<TSlot>& slots, const std::vector<TRun>& runs, TSink& sink)
        : FSlots(slots), FRuns(runs), FSink(sink) {}

    // The pending items of the folders `depth` deep; each depth has its own, reused from one
    // folder to the next.
    TPending& Level(std::size_t depth) {
        while (FLevels.size() <= depth)
            FLevels.push_back(std::make_unique<TPending>());
        return *FLevels[depth];
    }

    void Header(std::uint8_t tag, std::uint64_t contentSize) {
        FSink.Advance(WriteHeader(FSink.Room(10), tag, contentSize));
    }

    void ItemHead(bool folder, std::u16string_view name, std::uint64_t contentSize) {
        constexpr std::size_t Fixed = 40; // every header octet of an item's head
        constexpr std::size_t Units = (TQVCFBlockSink::BlockSize - Fixed) / 2;
        if (name.size() <= Units) {
            FSink.Advance(
                WriteItemHead(FSink.Room(Fixed + 2 * name.size()), folder, name, contentSize));
            return;
        }
        // A name too long for one block, in pieces.
        std::uint8_t head[Fixed];
        FSink.Put(head, static_cast<std::size_t>(
                            WriteHeadBeforeName(head, folder, name.size(), contentSize) - head));
        for (; !name.empty(); name.remove_prefix(std::min(name.size(), Units))) {
            const std::u16string_view part = name.substr(0, Units);
            FSink.Advance(PutUnits(FSink.Room(2 * part.size()), part));
        }
        Header(TagOctets, contentSize);
    }

    // A complete folder's content, its items in the order of its Sequence; the lists' folders
    // are gathered one `depth` deeper.
    void Content(const TPending& pending, std::uint64_t children, std::size_t depth) {
        Header(TagSequence, children);
        for (const std::size_t index : pending.Sequence) {
            const TPending::TEntry& entry = pending.Entries[index];
            Header(TagOctets, entry.ItemSize);
            ItemHead(entry.List >= 0, pending.NameOf(entry), entry.ContentSize);
            if (entry.List >= 0) {
                ListContent(pending.Lists[static_cast<std::size_t>(entry.List)], depth);
            } else {
                Header(TagOctets, entry.DataSize);
                FSink.Put(pending.Bytes.data() + entry.Data, entry.DataSize);
            }
        }
    }

    // A list's content: each of its folders is written, put in order and encoded in turn, or,
    // when threads measured it, by threads run by run.
    void ListContent(const TPending::TList& list, std::size_t depth) {
        const TSlot& slot = FSlots[list.Slot];
        Header(TagSequence, slot.Children);
        const std::uint64_t start = FSink.Count();
        std::size_t cursor = list.Slot + 1;
        // Only the outermost shared list has runs: the lists inside its folders are written in
        // turn.
        if (slot.RunCount > 0)
            cursor = SharedFolders(list, slot, depth);
        else
            QVCFList::ForEachIndex(list.Count,
                                   [&](int index) { cursor = Folder(list, index, cursor, depth); });
        // Anything else would leave the lengths written before wrong.
        if (FSink.Count() - start != slot.Children || cursor != list.Slot + 1 + slot.Descendants)
            RaiseInternalError();
    }

    // Folder `index` of a list, its lists' slots from `cursor` on; returns the slot after them.
    std::size_t Folder(const TPending::TList& list, int index, std::size_t cursor,
                       std::size_t depth) {
        TPending& pending = Level(depth);
        pending.Clear();
        TCollector folder(pending, FSlots, cursor);
        list.Write(index, folder);
        pending.Order(true);
        const std::uint64_t children = pending.Children();
        char16_t units[QVCFList::MaxNameUnits];
        const std::u16string_view name(units, QVCFList::IndexName(index, units));
        const std::uint64_t itemSize = ItemSize(name.size(), ElementSize(children));
        if (pending.Lists.empty() && ElementSize(itemSize) <= TQVCFBlockSink::BlockSize) {
            SmallFolder(pending, name, itemSize, children);
        } else {
            Header(TagOctets, itemSize);
            ItemHead(true, name, ElementSize(children));
            Content(pending, children, depth + 1);
        }
        return folder.Cursor();
    }

    // A folder of files that fits in a block (an object's handful of values), in one piece.
    void SmallFolder(const TPending& pending, std::u16string_view name, std::uint64_t itemSize,
                     std::uint64_t children) {
        const std::uint64_t element = ElementSize(itemSize);
        std::uint8_t* const start = FSink.Room(element);
        std::uint8_t* out = WriteHeader(start, TagOctets, itemSize);
        out = WriteItemHead(out, true, name, ElementSize(children));
        out = WriteHeader(out, TagSequence, children);
        for (const std::size_t index : pending.Sequence) {
            const TPending::TEntry& entry = pending.Entries[index];
            out = WriteHeader(out, TagOctets, entry.ItemSize);
            out = WriteItemHead(out, false, pending.NameOf(entry), entry.ContentSize);
            out = WriteHeader(out, TagOctets, entry.DataSize);
            std::memcpy(out, pending.Bytes.data() + entry.Data, entry.DataSize);
            out += entry.DataSize;
        }
        if (static_cast<std::uint64_t>(out - start) != element)
            RaiseInternalError();
        FSink.Advance(out);
    }

private:
    // The runs of a list that threads measured: threads encode them into memory, a few ahead of
    // the one being written here, which takes them in order; a folder too large for a run is
    // encoded here, straight into the sink, when its turn comes. Returns the slot after the
    // list's.
    std::size_t SharedFolders(const TPending::TList& list, const TSlot& slot, std::size_t depth) {
        struct TEncoded {
            const TRun* Run = nullptr;
            std::size_t Cursor = 0; // the slot of its first folder's lists
            std::unique_ptr<TMemorySink> Bytes;
        };
        // The buffers of runs written out, for the next runs: each would otherwise be new memory
        // that the system clears page by page.
        std::vector<std::unique_ptr<TMemorySink>> spare;
        std::size_t next = 0;
        std::size_t cursor = list.Slot + 1;
        const auto encode = [&](const TRun& run, std::size_t at, auto& encoder) {
            int index = run.Index;
            for (int left = run.Folders; left > 0; --left) {
                at = encoder.Folder(list, index, at, depth);
                index = QVCFList::NextIndex(index, list.Count);
            }
            return at;
        };
        const unsigned workers = Workers::ThreadsBeside(MaxEncoders);
        Workers::RunOrdered<TEncoded>(
            workers, static_cast<std::size_t>(4 * slot.RunBytes),
            [&](TEncoded& item, std::size_t& bytes) {
                if (next == slot.RunCount)
                    return false;
                item.Run = &FRuns[slot.FirstRun + next++];
                item.Cursor = cursor;
                cursor += item.Run->Slots;
                if (item.Run->Bytes > slot.RunBytes) {
                    bytes = 0;
                    return true;
                }
                if (spare.empty()) {
                    item.Bytes = std::make_unique<TMemorySink>();
                } else {
                    item.Bytes = std::move(spare.back());
                    spare.pop_back();
                }
                bytes = static_cast<std::size_t>(item.Run->Bytes);
                return true;
            },
            [&](TEncoded& item) {
                if (!item.Bytes)
                    return;
                item.Bytes->Reset(static_cast<std::size_t>(item.Run->Bytes));
                TEncoder<TMemorySink> encoder(FSlots, FRuns, *item.Bytes);
                if (encode(*item.Run, item.Cursor, encoder) != item.Cursor + item.Run->Slots)
                    RaiseInternalError();
            },
            [&](TEncoded& item) {
                if (!item.Bytes) {
                    if (encode(*item.Run, item.Cursor, *this) != item.Cursor + item.Run->Slots)
                        RaiseInternalError();
                    return;
                }
                FSink.Put(item.Bytes->Data(), static_cast<std::size_t>(item.Bytes->Count()));
                spare.push_back(std::move(item.Bytes));
            });
        return cursor;
    }

    const std::vector<TSlot>& FSlots;
    const std::vector<TRun>& FRuns;
    TSink& FSink;
    std::vector<std::unique_ptr<TPending>> FLevels;
};

} // namespace

TQVCFStreamedBody::TQVCFStreamedBody(TWriteRoot writeRoot) : FWriteRoot(std::move(writeRoot)) {
    TQVCFSizer root(FSlots, &FRuns);
    FWriteRoot(root);
    const std::uint64_t size = ItemSize(0, ElementSize(root.Children()));
    if (size > CFMaxBodyLength)
        RaiseInternalError();
    FSize = static_cast<std::uint32_t>(size);
}

TQVCFStreamedBody::~TQVCFStreamedBody() = default;

void TQVCFStreamedBody::WriteTo(TQVCFBlockSink& sink) const {
    TEncoder<TQVCFBlockSink> encoder(FSlots, FRuns, sink);
    TPending& root = encoder.Level(0);
    TCollector collector(root, FSlots, 0);
    FWriteRoot(collector);
    if (collector.Cursor() != FSlots.size())
        RaiseInternalError();
    root.Order(false);
    const std::uint64_t children = root.Children();
    if (ItemSize(0, ElementSize(children)) != FSize)
        RaiseInternalError();
    const std::uint64_t start = sink.Count();
    encoder.ItemHead(true, {}, ElementSize(children));
    encoder.Content(root, children, 1);
    if (sink.Count() - start != FSize)
        RaiseInternalError();
}
