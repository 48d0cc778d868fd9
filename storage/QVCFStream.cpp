#include "storage/QVCFStream.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVAES.h"
#include "storage/QVCFItem.h"
#include "storage/QVDER.h"
#include "storage/QVException.h"

using namespace QVDER;

// ---- The sink

// The thread that writes the full blocks, in the order given. Without a thread (the system
// would not start one) each block is written as it is handed on.
class TQVCFBlockSink::TWriter {
public:
    static constexpr std::size_t Blocks = 4;
    // A file's bytes are handed to the disk every few megabytes as they are written, so that
    // the flush at the end of a save has little left to wait for.
    static constexpr std::uint64_t WriteBackStep = 4 << 20;

    TWriter(TStream& stream, QVAES::TAESContext* cipher) : FStream(stream), FCipher(cipher) {
        for (std::size_t i = 0; i < Blocks; ++i) {
            FBlocks.push_back(std::make_unique<std::uint8_t[]>(BlockSize));
            FEmpty.push_back(FBlocks.back().get());
        }
        try {
            FThread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // Written on the caller's thread instead.
        }
    }
    ~TWriter() {
        if (FThread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(FLock);
                FAbandon = true;
            }
            FChanged.notify_all();
            FThread.join();
        }
    }
    TWriter(const TWriter&) = delete;
    TWriter& operator=(const TWriter&) = delete;

    // A block to fill.
    std::uint8_t* Take() {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this] { return !FEmpty.empty() || FError; });
        if (FError)
            std::rethrow_exception(FError);
        std::uint8_t* block = FEmpty.back();
        FEmpty.pop_back();
        return block;
    }
    // Queues `length` bytes of a block that Take gave.
    void Give(std::uint8_t* block, std::size_t length) {
        if (!FThread.joinable()) {
            Write(block, length);
            FEmpty.push_back(block);
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(FLock);
            FFull.emplace_back(block, length);
        }
        FChanged.notify_all();
    }
    // Waits until every queued block is written.
    void Finish() {
        if (FThread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(FLock);
                FDone = true;
            }
            FChanged.notify_all();
            FThread.join();
        }
        if (FError)
            std::rethrow_exception(FError);
    }

private:
    void Write(std::uint8_t* block, std::size_t length) {
        if (FCipher != nullptr) {
            auto outLen = static_cast<std::uint32_t>(length);
            QVAES::Encrypt(*FCipher, block, static_cast<std::uint32_t>(length), block, outLen);
        }
        FStream.WriteBuffer(block, length);
        FWritten += length;
        if (FWritten - FWrittenBack >= WriteBackStep) {
            FileSystem::StartWriteBack(FStream, FWritten - FWrittenBack);
            FWrittenBack = FWritten;
        }
    }

    void Run() {
        for (;;) {
            std::pair<std::uint8_t*, std::size_t> block;
            {
                std::unique_lock<std::mutex> lock(FLock);
                FChanged.wait(lock, [this] { return !FFull.empty() || FDone || FAbandon; });
                if (FAbandon || FFull.empty())
                    return;
                block = FFull.front();
                FFull.pop_front();
            }
            try {
                Write(block.first, block.second);
            } catch (...) {
                // The first failure ends the writing; the caller meets it at its next block.
                {
                    const std::lock_guard<std::mutex> lock(FLock);
                    FError = std::current_exception();
                }
                FChanged.notify_all();
                return;
            }
            {
                const std::lock_guard<std::mutex> lock(FLock);
                FEmpty.push_back(block.first);
            }
            FChanged.notify_all();
        }
    }

    TStream& FStream;
    QVAES::TAESContext* FCipher;
    std::vector<std::unique_ptr<std::uint8_t[]>> FBlocks;
    std::uint64_t FWritten = 0;
    std::uint64_t FWrittenBack = 0;

    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::uint8_t*> FEmpty;
    std::deque<std::pair<std::uint8_t*, std::size_t>> FFull;
    std::exception_ptr FError;
    bool FDone = false;
    bool FAbandon = false;
    // Last: it starts once everything above is ready.
    std::thread FThread;
};

TQVCFBlockSink::TQVCFBlockSink(TStream& stream, QVAES::TAESContext* cipher)
    : FWriter(std::make_unique<TWriter>(stream, cipher)), FBlock(FWriter->Take()), FNext(FBlock),
      FEnd(FBlock + BlockSize) {}

TQVCFBlockSink::~TQVCFBlockSink() = default;

void TQVCFBlockSink::Put(const void* bytes, std::size_t count) {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    while (count > 0) {
        if (FNext == FEnd)
            Flush();
        const std::size_t step = std::min(count, static_cast<std::size_t>(FEnd - FNext));
        std::memcpy(FNext, from, step);
        FNext += step;
        from += step;
        count -= step;
    }
}

void TQVCFBlockSink::Flush() {
    const auto length = static_cast<std::size_t>(FNext - FBlock);
    if (length == 0)
        return;
    FWriter->Give(FBlock, length);
    FHanded += length;
    FBlock = FNext = FWriter->Take();
    FEnd = FBlock + BlockSize;
}

void TQVCFBlockSink::Finish() {
    Flush();
    FWriter->Finish();
}

// ---- Sizes

namespace {

using TSlot = TQVCFStreamedBody::TSlot;
using TRun = TQVCFStreamedBody::TRun;

// The threads that share a list's folders.
unsigned SharingThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 2u, 8u);
}

void InternalError() {
    throw EPACFError(CFMessages::InternalError);
}

// An item element: the one-octet type, the name as UTF-16LE and the content.
std::uint64_t ItemSize(std::size_t nameUnits, std::uint64_t contentSize) {
    return ElementSize(ElementSize(1) + ElementSize(ElementSize(2 * std::uint64_t(nameUnits))) +
                       ElementSize(contentSize));
}

// A file's content is its data in an OCTET STRING; a folder's a SEQUENCE of its children, each
// an item in an OCTET STRING.
std::uint64_t FileItemElement(std::size_t nameUnits, std::uint64_t dataSize) {
    return ElementSize(ItemSize(nameUnits, ElementSize(dataSize)));
}
std::uint64_t FolderItemElement(std::size_t nameUnits, std::uint64_t children) {
    return ElementSize(ItemSize(nameUnits, ElementSize(children)));
}

std::size_t IndexNameUnits(int index) {
    std::size_t units = 1;
    for (auto value = static_cast<std::uint32_t>(index); value >= 10; value /= 10)
        ++units;
    return units;
}

// The first run: adds up a folder's children and notes the lists' in order. The outermost list
// whose folders may be measured at the same time is shared out among threads; the lists inside
// those are measured in turn.
class TSizer final : public TQVCFWriter {
public:
    // `runs`, for the sizer of the root, keeps the runs of the list it shares out.
    TSizer(std::vector<TSlot>& slots, std::vector<TRun>* runs)
        : FSlots(slots), FRuns(runs), FShared(runs == nullptr) {}

    std::uint64_t Children() const { return FChildren; }

    void File(std::u16string_view name, std::string_view data) override {
        FChildren += FileItemElement(name.size(), data.size());
    }
    void Text(std::u16string_view name, std::u16string_view text) override {
        FChildren += FileItemElement(name.size(), 2 * std::uint64_t(text.size()));
    }
    void List(std::u16string_view name, int count, const TWriteEach& write) override {
        Measure(name, count, write, false);
    }
    void ConcurrentList(std::u16string_view name, int count, const TWriteEach& write) override {
        Measure(name, count, write, !FShared && count >= 2);
    }

private:
    // The folders in `count`'s order from `index` on, `folders` of them.
    struct TMeasuredRun {
        int Index = 0;
        int Folders = 0;
        std::vector<TSlot> Slots;
        std::uint64_t Children = 0;
        std::exception_ptr Error;
    };

    void Measure(std::u16string_view name, int count, const TWriteEach& write, bool share) {
        const std::size_t slot = FSlots.size();
        FSlots.emplace_back();
        std::uint64_t children = 0;
        if (share) {
            FSlots[slot].FirstRun = FRuns->size();
            children = MeasureShared(count, write);
            FSlots[slot].RunCount = FRuns->size() - FSlots[slot].FirstRun;
        } else {
            TMeasuredRun run{0, count, {}, 0, nullptr};
            MeasureRun(run, count, write, FSlots, FShared ? nullptr : FRuns);
            children = run.Children;
        }
        FSlots[slot].Children = children;
        FSlots[slot].Descendants = FSlots.size() - slot - 1;
        FChildren += FolderItemElement(name.size(), children);
    }

    static void MeasureRun(TMeasuredRun& run, int count, const TWriteEach& write,
                           std::vector<TSlot>& slots, std::vector<TRun>* runs) {
        int index = run.Index;
        for (int left = run.Folders; left > 0; --left, index = QVCFList::NextIndex(index, count)) {
            TSizer folder(slots, runs);
            write(index, folder);
            run.Children += FolderItemElement(IndexNameUnits(index), folder.Children());
        }
    }

    // The folders in runs of consecutive ones, taken by the threads in turn; the runs' lists
    // then follow one another in order, as measured in one go.
    std::uint64_t MeasureShared(int count, const TWriteEach& write) {
        const unsigned threads = SharingThreads();
        // Runs small enough that the encoder, which holds a few of them encoded at a time,
        // stays small beside the budget, and many enough to keep every thread busy.
        const int runCount = std::min(count, static_cast<int>(threads) * 32);
        std::vector<TMeasuredRun> runs(static_cast<std::size_t>(runCount));
        int index = 0;
        for (int r = 0; r < runCount; ++r) {
            TMeasuredRun& run = runs[static_cast<std::size_t>(r)];
            run.Index = index;
            run.Folders = static_cast<int>(std::int64_t{count} * (r + 1) / runCount -
                                           std::int64_t{count} * r / runCount);
            for (int i = 0; i < run.Folders; ++i)
                index = QVCFList::NextIndex(index, count);
        }
        std::atomic<int> next{0};
        const auto work = [&] {
            for (int r; (r = next++) < runCount;) {
                TMeasuredRun& run = runs[static_cast<std::size_t>(r)];
                try {
                    MeasureRun(run, count, write, run.Slots, nullptr);
                } catch (...) {
                    run.Error = std::current_exception();
                }
            }
        };
        std::vector<std::thread> helpers;
        try {
            for (unsigned t = 1; t < threads && static_cast<int>(t) < runCount; ++t)
                helpers.emplace_back(work);
        } catch (...) {
            // Fewer threads then; this one works through whatever is left.
        }
        work();
        for (std::thread& helper : helpers)
            helper.join();
        // The error a measure in turn would have met first.
        for (const TMeasuredRun& run : runs)
            if (run.Error)
                std::rethrow_exception(run.Error);
        std::uint64_t children = 0;
        for (const TMeasuredRun& run : runs) {
            FRuns->push_back({run.Index, run.Folders, run.Slots.size(), run.Children});
            FSlots.insert(FSlots.end(), run.Slots.begin(), run.Slots.end());
            children += run.Children;
        }
        return children;
    }

    std::vector<TSlot>& FSlots;
    std::vector<TRun>* FRuns;
    // Inside a list that threads share: its lists are measured in turn.
    bool FShared;
    std::uint64_t FChildren = 0;
};

// ---- Encoding

// UTF-16 code units as bytes, low byte first.
std::uint8_t* PutUnits(std::uint8_t* out, std::u16string_view units) {
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

// The item element up to its content, at `out`: the type, the name and the content's header.
std::uint8_t* WriteItemHead(std::uint8_t* out, bool folder, std::u16string_view name,
                            std::uint64_t contentSize) {
    const std::uint64_t nameBytes = 2 * std::uint64_t(name.size());
    const std::uint64_t nameElement = ElementSize(nameBytes);
    out = WriteHeader(out, TagSequence,
                      ElementSize(1) + ElementSize(nameElement) + ElementSize(contentSize));
    out = WriteHeader(out, TagType, 1);
    *out++ = folder ? 'd' : 'f';
    out = WriteHeader(out, TagSequence, nameElement);
    out = WriteHeader(out, TagName, nameBytes);
    out = PutUnits(out, name);
    return WriteHeader(out, TagOctets, contentSize);
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
            InternalError();
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
    // Empty, with room for `size` bytes.
    void Reset(std::size_t size) {
        FSize = 0;
        Room(size);
    }
    std::uint8_t* Room(std::size_t count) {
        if (FCapacity - FSize < count) {
            const std::size_t capacity = std::max(FCapacity * 2, FSize + count);
            auto data = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
            if (FSize > 0)
                std::memcpy(data.get(), FData.get(), FSize);
            FData = std::move(data);
            FCapacity = capacity;
        }
        return FData.get() + FSize;
    }
    void Advance(std::uint8_t* end) { FSize = static_cast<std::size_t>(end - FData.get()); }
    void Put(const void* bytes, std::size_t count) {
        if (count == 0)
            return;
        std::memcpy(Room(count), bytes, count);
        FSize += count;
    }
    std::uint64_t Count() const { return FSize; }
    const std::uint8_t* Data() const { return FData.get(); }

private:
    std::unique_ptr<std::uint8_t[]> FData;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

template <class TSink> class TEncoder {
public:
    // `shared`: the encoder of one run of a shared list, whose lists are encoded in turn.
    TEncoder(const std::vector<TSlot>& slots, const std::vector<TRun>& runs, TSink& sink,
             bool shared)
        : FSlots(slots), FRuns(runs), FSink(sink), FShared(shared) {}

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
        // A name too long for one block, in pieces: the head of an empty name shows where.
        std::uint8_t head[Fixed];
        const std::uint64_t nameBytes = 2 * std::uint64_t(name.size());
        const std::uint64_t nameElement = ElementSize(nameBytes);
        std::uint8_t* out =
            WriteHeader(head, TagSequence,
                        ElementSize(1) + ElementSize(nameElement) + ElementSize(contentSize));
        out = WriteHeader(out, TagType, 1);
        *out++ = folder ? 'd' : 'f';
        out = WriteHeader(out, TagSequence, nameElement);
        out = WriteHeader(out, TagName, nameBytes);
        FSink.Put(head, static_cast<std::size_t>(out - head));
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
        if (slot.RunCount > 0 && !FShared)
            cursor = SharedFolders(list, slot, depth);
        else
            QVCFList::ForEachIndex(list.Count,
                                   [&](int index) { cursor = Folder(list, index, cursor, depth); });
        // Anything else would leave the lengths written before wrong.
        if (FSink.Count() - start != slot.Children || cursor != list.Slot + 1 + slot.Descendants)
            InternalError();
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
            InternalError();
        FSink.Advance(out);
    }

private:
    // The runs of a list that threads measured: threads encode them into memory, a few ahead
    // of the one being written here, which takes them in order. Returns the slot after the
    // list's.
    std::size_t SharedFolders(const TPending::TList& list, const TSlot& slot, std::size_t depth) {
        struct TEncoded {
            std::unique_ptr<TMemorySink> Bytes;
            std::exception_ptr Error;
            bool Done = false;
        };
        // The buffers of runs written out, for the next runs: each would otherwise be new memory
        // that the system clears page by page.
        std::vector<std::unique_ptr<TMemorySink>> spare;
        const std::size_t count = slot.RunCount;
        std::vector<std::size_t> cursors(count);
        std::size_t cursor = list.Slot + 1;
        for (std::size_t r = 0; r < count; ++r) {
            cursors[r] = cursor;
            cursor += FRuns[slot.FirstRun + r].Slots;
        }
        std::vector<TEncoded> encoded(count);
        const std::size_t threads = SharingThreads();
        const std::size_t ahead = threads + 2;
        std::mutex lock;
        std::condition_variable changed;
        std::size_t next = 0, written = 0;
        bool stop = false;
        // Encodes run `r` into a buffer of its own; an error is kept for the caller.
        const auto encode = [&](std::size_t r) {
            TEncoded& run = encoded[r];
            try {
                const TRun& mark = FRuns[slot.FirstRun + r];
                {
                    const std::lock_guard<std::mutex> guard(lock);
                    if (!spare.empty()) {
                        run.Bytes = std::move(spare.back());
                        spare.pop_back();
                    }
                }
                if (!run.Bytes)
                    run.Bytes = std::make_unique<TMemorySink>();
                run.Bytes->Reset(static_cast<std::size_t>(mark.Bytes));
                TEncoder<TMemorySink> encoder(FSlots, FRuns, *run.Bytes, true);
                std::size_t at = cursors[r];
                int index = mark.Index;
                for (int left = mark.Folders; left > 0; --left) {
                    at = encoder.Folder(list, index, at, depth);
                    index = QVCFList::NextIndex(index, list.Count);
                }
                if (at != (r + 1 < count ? cursors[r + 1] : cursor))
                    InternalError();
            } catch (...) {
                run.Error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> guard(lock);
                run.Done = true;
            }
            changed.notify_all();
        };
        const auto work = [&] {
            for (;;) {
                std::size_t r;
                {
                    std::unique_lock<std::mutex> guard(lock);
                    changed.wait(guard,
                                 [&] { return stop || next >= count || next < written + ahead; });
                    if (stop || next >= count)
                        return;
                    r = next++;
                }
                encode(r);
            }
        };
        std::vector<std::thread> helpers;
        // However this ends, the helpers stop and are waited for before the runs go.
        struct TStop {
            std::mutex& Lock;
            std::condition_variable& Changed;
            bool& Stop;
            std::vector<std::thread>& Helpers;
            ~TStop() {
                {
                    const std::lock_guard<std::mutex> guard(Lock);
                    Stop = true;
                }
                Changed.notify_all();
                for (std::thread& helper : Helpers)
                    helper.join();
            }
        } stopper{lock, changed, stop, helpers};
        try {
            for (std::size_t t = 0; t < threads && t < count; ++t)
                helpers.emplace_back(work);
        } catch (...) {
            // Fewer threads then; without any, this one encodes each run as it comes.
        }
        for (std::size_t r = 0; r < count; ++r) {
            TEncoded& run = encoded[r];
            if (helpers.empty()) {
                encode(r);
            } else {
                std::unique_lock<std::mutex> guard(lock);
                changed.wait(guard, [&] { return run.Done; });
            }
            if (run.Error)
                std::rethrow_exception(run.Error);
            FSink.Put(run.Bytes->Data(), static_cast<std::size_t>(run.Bytes->Count()));
            {
                const std::lock_guard<std::mutex> guard(lock);
                spare.push_back(std::move(run.Bytes));
                written = r + 1;
            }
            changed.notify_all();
        }
        return cursor;
    }

    const std::vector<TSlot>& FSlots;
    const std::vector<TRun>& FRuns;
    TSink& FSink;
    bool FShared;
    std::vector<std::unique_ptr<TPending>> FLevels;
};

} // namespace

TQVCFStreamedBody::TQVCFStreamedBody(TWriteRoot writeRoot) : FWriteRoot(std::move(writeRoot)) {
    TSizer root(FSlots, &FRuns);
    FWriteRoot(root);
    const std::uint64_t size = ItemSize(0, ElementSize(root.Children()));
    // Stored sizes are 32-bit; a body beyond that cannot be written.
    if (size > UINT32_MAX)
        InternalError();
    FSize = static_cast<std::uint32_t>(size);
}

TQVCFStreamedBody::~TQVCFStreamedBody() = default;

void TQVCFStreamedBody::WriteTo(TQVCFBlockSink& sink) const {
    TEncoder<TQVCFBlockSink> encoder(FSlots, FRuns, sink, false);
    TPending& root = encoder.Level(0);
    TCollector collector(root, FSlots, 0);
    FWriteRoot(collector);
    if (collector.Cursor() != FSlots.size())
        InternalError();
    root.Order(false);
    const std::uint64_t children = root.Children();
    if (ItemSize(0, ElementSize(children)) != FSize)
        InternalError();
    const std::uint64_t start = sink.Count();
    encoder.ItemHead(true, {}, ElementSize(children));
    encoder.Content(root, children, 1);
    if (sink.Count() - start != FSize)
        InternalError();
}
