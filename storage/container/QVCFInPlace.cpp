#include "storage/container/QVCFInPlace.h"

#include <algorithm>
#include <optional>

#include "platform/Workers.h"
#include "storage/QVException.h"
#include "storage/asn1/QVDER.h"
#include "storage/container/QVCFBodySource.h"
#include "storage/container/QVCFItem.h"

using namespace QVDER;

namespace {

// Enough for the head of an item element as the writer puts it, name included.
constexpr std::size_t HeadBytes = 256;
// Read at once for a head with a longer name, and at most for the heads of many small children.
constexpr std::size_t HeadChunk = 16 * 1024;
// The step in which a run's children are read, past the last one known to fit.
constexpr std::size_t ReadStep = 32 * 1024;

[[noreturn]] void InvalidFile() {
    throw EPACFError(CFMessages::InvalidFile);
}

// The plain head of an item element of `size` bytes whose first `available` bytes are at `item`:
// its kind, its name and where its content lies (from the item's start). False for any other
// form, or when the head does not lie within what is available.
struct TItemHead {
    std::u16string Name;
    std::string_view Type;
    std::uint64_t Content = 0;
    std::uint64_t ContentSize = 0;
};

bool ReadItemHead(const std::uint8_t* item, std::size_t available, std::uint64_t size,
                  TItemHead& head) {
    const std::uint8_t* p = item;
    const std::uint8_t* end = item + std::min<std::uint64_t>(available, size);
    std::uint64_t length;
    if (!ReadHeader(p, end, TagSequence, length) ||
        static_cast<std::uint64_t>(p - item) + length != size)
        return false;
    const std::uint8_t *type, *names;
    std::size_t typeSize, namesSize;
    if (!ReadElement(p, end, TagType, type, typeSize) ||
        !ReadElement(p, end, TagSequence, names, namesSize))
        return false;
    if (namesSize > 0) {
        const std::uint8_t *r = names, *name;
        std::size_t nameSize;
        if (!ReadElement(r, names + namesSize, TagName, name, nameSize) || r != names + namesSize)
            return false;
        head.Name = QVCFPlain::DecodeName(name, nameSize);
    }
    if (!ReadHeader(p, end, TagOctets, head.ContentSize) ||
        static_cast<std::uint64_t>(p - item) + head.ContentSize != size)
        return false;
    head.Type = {reinterpret_cast<const char*>(type), typeSize};
    head.Content = static_cast<std::uint64_t>(p - item);
    return true;
}

// A child's type must name a file or a folder.
bool KnownType(std::string_view type) {
    if (type != "d" && type != "f")
        throw EPACFError(CFMessages::UnknownItemType);
    return type == "d";
}

// What the item tree says of an item element too large to read whole whose head is not in the
// plain form: one whose outer element runs past the item's end cannot be parsed, any other has
// not the shape of an item.
[[noreturn]] void BadItemHead(const std::uint8_t* item, std::size_t available, std::uint64_t size) {
    const std::uint8_t* p = item;
    std::uint64_t length;
    if (ReadHeader(p, item + available, TagSequence, length) &&
        static_cast<std::uint64_t>(p - item) + length > size)
        throw EPACFError(CFMessages::ItemReadError);
    throw EPACFError(CFMessages::InvalidItem);
}

// A root small enough to read whole.
class THeldRoot final : public TQVCFReader {
public:
    explicit THeldRoot(const TQVCFBodySource& source)
        : FBytes(static_cast<std::size_t>(source.Length())) {
        source.Read(0, FBytes.Size(), FBytes.Data());
        FItem = std::make_unique<TQVCFItemView>(FBytes.Data(), FBytes.Size(), 0);
    }

    bool File(std::u16string_view name, std::string_view& data) override {
        return FItem->Folder().File(name, data);
    }
    void Files(const TNameSet& names, std::string_view* data, bool* found) override {
        FItem->Folder().Files(names, data, found);
    }
    bool Folder(std::u16string_view name, const TVisit& visit) override {
        return FItem->Folder().Folder(name, visit);
    }
    void Folders(const TVisitEach& visit, bool concurrent) override {
        FItem->Folder().Folders(visit, concurrent);
    }

private:
    TByteBuffer FBytes;
    std::unique_ptr<TQVCFItemView> FItem;
};

// Body bytes read ahead in one request, for walking the heads of many children.
class TChunk {
public:
    TChunk(const TQVCFBodySource& source, std::uint64_t end)
        : FSource(source), FEnd(end), FBytes(HeadChunk) {}

    // Bytes from `offset` on, at least `count` of them (at most HeadChunk); `available` tells
    // how many lie in memory there. The reads grow from a head's size while a walk goes on, so
    // that the heads of a few large children cost little and those of many small ones few reads.
    const std::uint8_t* At(std::uint64_t offset, std::size_t count, std::size_t& available) {
        if (offset < FFrom || offset + count > FFrom + FHave) {
            FStep = std::min(std::max(2 * FStep, count), HeadChunk);
            FFrom = offset;
            FHave = static_cast<std::size_t>(std::min<std::uint64_t>(FEnd - offset, FStep));
            FSource.Read(offset, FHave, FBytes.Data());
        }
        available = static_cast<std::size_t>(FFrom + FHave - offset);
        return FBytes.Data() + (offset - FFrom);
    }

private:
    const TQVCFBodySource& FSource;
    std::uint64_t FEnd;
    TByteBuffer FBytes;
    std::uint64_t FFrom = 0;
    std::size_t FHave = 0;
    std::size_t FStep = HeadBytes / 2;
};

} // namespace

struct TQVCFInPlaceFolder::TRun {
    // The index of its first child.
    std::size_t Index = 0;
    // Its children's elements, read whole; or a child large enough to be read in place.
    TByteBuffer Bytes;
    std::size_t Size = 0;
    std::optional<THead> Large;
};

std::unique_ptr<TQVCFReader> TQVCFInPlaceFolder::Root(const TQVCFBodySource& source,
                                                      std::size_t runBytes) {
    const std::uint64_t length = source.Length();
    if (length <= runBytes)
        return std::make_unique<THeldRoot>(source);
    // The root's own type is never compared: a root that is no folder fails at its content.
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(length, HeadChunk));
    TByteBuffer head(count);
    source.Read(0, count, head.Data());
    TItemHead parts;
    if (!ReadItemHead(head.Data(), count, length, parts))
        BadItemHead(head.Data(), count, length);
    return std::make_unique<TQVCFInPlaceFolder>(source, parts.Content, parts.ContentSize, 0,
                                                runBytes);
}

TQVCFInPlaceFolder::TQVCFInPlaceFolder(const TQVCFBodySource& source, std::uint64_t content,
                                       std::uint64_t size, int depth, std::size_t runBytes)
    : FSource(source), FDepth(depth), FRunBytes(runBytes) {
    if (depth > CFMaxFolderDepth)
        InvalidFile();
    std::uint8_t head[8];
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof(head)));
    source.Read(content, count, head);
    const std::uint8_t* p = head;
    std::uint64_t length;
    if (!ReadHeader(p, head + count, TagSequence, length) ||
        static_cast<std::uint64_t>(p - head) + length != size)
        InvalidFile();
    FChildren = content + static_cast<std::uint64_t>(p - head);
    FEnd = content + size;
}

TQVCFInPlaceFolder::~TQVCFInPlaceFolder() = default;

void TQVCFInPlaceFolder::ListHeads() {
    if (FListed)
        return;
    TChunk chunk(FSource, FEnd);
    for (std::uint64_t position = FChildren; position < FEnd;) {
        std::size_t available;
        const std::uint8_t* element = chunk.At(
            position, static_cast<std::size_t>(std::min<std::uint64_t>(FEnd - position, 6)),
            available);
        const std::uint8_t* p = element;
        THead head;
        if (!ReadHeader(p, element + available, TagOctets, head.ItemSize) ||
            head.ItemSize > FEnd - position - static_cast<std::uint64_t>(p - element))
            InvalidFile();
        head.Item = position + static_cast<std::uint64_t>(p - element);
        // The head as the writer puts it, else one with a longer name.
        const std::uint8_t* item = nullptr;
        TItemHead parts;
        bool plain = false;
        for (const std::size_t want : {HeadBytes, HeadChunk}) {
            const auto count =
                static_cast<std::size_t>(std::min<std::uint64_t>(head.ItemSize, want));
            item = chunk.At(head.Item, count, available);
            plain = ReadItemHead(item, available, head.ItemSize, parts);
            if (plain || available >= head.ItemSize)
                break;
        }
        if (plain && (head.ItemSize > FRunBytes || parts.Type == "d" || parts.Type == "f")) {
            head.Name = std::move(parts.Name);
            head.Folder = KnownType(parts.Type);
            head.Content = head.Item + parts.Content;
            head.ContentSize = parts.ContentSize;
            FHeads.push_back(std::move(head));
        } else if (head.ItemSize <= FRunBytes) {
            // Another form: what the tree makes of it, kept.
            FHeads.push_back(std::move(head));
            TQVCFItemView& view = Keep(FHeads.size() - 1);
            FHeads.back().Name = view.Name();
            FHeads.back().Folder = view.IsFolder();
        } else {
            BadItemHead(item, available, head.ItemSize);
        }
        position = FHeads.back().Item + FHeads.back().ItemSize;
    }
    FListed = true;
}

const TQVCFInPlaceFolder::THead* TQVCFInPlaceFolder::Find(std::u16string_view name) {
    ListHeads();
    // Folders sort before files, and equal names keep the order stored.
    const THead* file = nullptr;
    for (const THead& head : FHeads) {
        if ((file != nullptr && !head.Folder) || TQVCFFolder::CompareNames(head.Name, name) != 0)
            continue;
        if (head.Folder)
            return &head;
        file = &head;
    }
    return file;
}

TQVCFItemView* TQVCFInPlaceFolder::Kept(std::size_t index) {
    for (TKept& kept : FKept)
        if (kept.Head == index)
            return kept.View.get();
    return nullptr;
}

TQVCFItemView& TQVCFInPlaceFolder::Keep(std::size_t index) {
    if (TQVCFItemView* view = Kept(index))
        return *view;
    const THead& head = FHeads[index];
    TKept kept{index, TByteBuffer(static_cast<std::size_t>(head.ItemSize)), nullptr};
    FSource.Read(head.Item, kept.Bytes.Size(), kept.Bytes.Data());
    kept.View = std::make_unique<TQVCFItemView>(kept.Bytes.Data(), kept.Bytes.Size(), FDepth + 1);
    FKept.push_back(std::move(kept));
    return *FKept.back().View;
}

bool TQVCFInPlaceFolder::File(std::u16string_view name, std::string_view& data) {
    const THead* head = Find(name);
    if (head == nullptr || head->Folder)
        return false;
    data = Keep(static_cast<std::size_t>(head - FHeads.data())).Data();
    return true;
}

void TQVCFInPlaceFolder::Files(const TNameSet& names, std::string_view* data, bool* found) {
    for (std::size_t i = 0; i < names.Size(); ++i)
        found[i] = File(names.Name(i), data[i]);
}

bool TQVCFInPlaceFolder::Folder(std::u16string_view name, const TVisit& visit) {
    const THead* head = Find(name);
    if (head == nullptr || !head->Folder)
        return false;
    if (TQVCFItemView* kept = Kept(static_cast<std::size_t>(head - FHeads.data()))) {
        visit(kept->Folder());
    } else if (head->ItemSize > FRunBytes) {
        TQVCFInPlaceFolder folder(FSource, head->Content, head->ContentSize, FDepth + 1, FRunBytes);
        visit(folder);
    } else {
        // Read for the visit alone: a folder is read once.
        TByteBuffer bytes(static_cast<std::size_t>(head->ItemSize));
        FSource.Read(head->Item, bytes.Size(), bytes.Data());
        TQVCFItemView view(bytes.Data(), bytes.Size(), FDepth + 1);
        visit(view.Folder());
    }
    return true;
}

// Where the next run starts, and the bytes read beyond the last run: the head of a child that
// did not fit in it, which the next run starts with instead of reading it again.
struct TQVCFInPlaceFolder::TRunCursor {
    std::uint64_t Position = 0;
    std::size_t Index = 0;
    std::vector<std::uint8_t> Carried;
    // The buffers of runs built, for the runs to come.
    std::vector<TByteBuffer> Spare;
};

void TQVCFInPlaceFolder::Folders(const TVisitEach& visit, bool concurrent) {
    TRunCursor cursor;
    cursor.Position = FChildren;
    const unsigned workers = concurrent ? Workers::Count(MaxBuilders) : 0;
    Workers::RunOrdered<TRun>(
        workers, (workers + 2) * FRunBytes,
        [&](TRun& run, std::size_t& bytes) {
            if (!MakeRun(cursor, run))
                return false;
            // A child read in place holds a run at a time while it is built.
            bytes = run.Large ? FRunBytes : run.Size;
            return true;
        },
        [&](TRun& run) { BuildRun(run, visit); },
        [&](TRun& run) {
            if (run.Bytes.Data() != nullptr)
                cursor.Spare.push_back(std::move(run.Bytes));
        });
}

bool TQVCFInPlaceFolder::MakeRun(TRunCursor& cursor, TRun& run) const {
    if (cursor.Position >= FEnd)
        return false;
    if (cursor.Spare.empty()) {
        // Pages only where bytes are written, handed back when the buffer goes.
        run.Bytes = TByteBuffer::Reserve(FRunBytes);
    } else {
        run.Bytes = std::move(cursor.Spare.back());
        cursor.Spare.pop_back();
    }
    std::uint8_t* base = run.Bytes.Data();
    const auto count =
        static_cast<std::size_t>(std::min<std::uint64_t>(FEnd - cursor.Position, FRunBytes));
    std::size_t have = std::min(cursor.Carried.size(), count);
    std::copy_n(cursor.Carried.begin(), have, base);
    cursor.Carried.clear();
    // The bytes [0, n) of the run in memory.
    const auto fill = [&](std::size_t n) {
        if (n > have) {
            FSource.Read(cursor.Position + have, n - have, base + have);
            have = n;
        }
    };
    // The first child's head tells whether it is read in place, before the rest is read.
    fill(std::min(count, HeadBytes));
    run.Index = cursor.Index;
    const std::uint8_t* p = base;
    std::uint64_t itemSize;
    if (!ReadHeader(p, base + have, TagOctets, itemSize))
        InvalidFile();
    std::uint64_t total = static_cast<std::uint64_t>(p - base) + itemSize;
    if (total > FEnd - cursor.Position)
        InvalidFile();
    if (total > FRunBytes) {
        TItemHead parts;
        std::size_t available = have - static_cast<std::size_t>(p - base);
        if (!ReadItemHead(p, available, itemSize, parts)) {
            // A longer name than the writer's heads have.
            fill(std::min(count, HeadChunk));
            available = have - static_cast<std::size_t>(p - base);
            if (!ReadItemHead(p, available, itemSize, parts))
                BadItemHead(p, available, itemSize);
        }
        const bool folder = KnownType(parts.Type);
        const std::uint64_t item = cursor.Position + static_cast<std::uint64_t>(p - base);
        run.Large = THead{std::move(parts.Name), folder,           item, itemSize,
                          item + parts.Content,  parts.ContentSize};
        cursor.Spare.push_back(std::move(run.Bytes));
        cursor.Position += total;
        ++cursor.Index;
        return true;
    }
    // The children that fit, read a step at a time, so that little is read of a child too
    // large for the run, which is read in place.
    std::size_t used = 0;
    for (;;) {
        fill(std::min(
            count, std::max<std::size_t>(used + static_cast<std::size_t>(total), have + ReadStep)));
        used += static_cast<std::size_t>(total);
        ++cursor.Index;
        if (used == count)
            break;
        fill(std::min(count, used + HeadBytes));
        p = base + used;
        // A child cut off by the end of the run, or too large for one, starts the next run.
        if (!ReadHeader(p, base + have, TagOctets, itemSize)) {
            if (have < FRunBytes)
                InvalidFile();
            break;
        }
        total = static_cast<std::uint64_t>(p - (base + used)) + itemSize;
        if (total > FEnd - cursor.Position - used)
            InvalidFile();
        if (total > count - used)
            break;
    }
    run.Size = used;
    cursor.Carried.assign(base + used, base + have);
    cursor.Position += used;
    return true;
}

void TQVCFInPlaceFolder::BuildRun(TRun& run, const TVisitEach& visit) const {
    if (run.Large) {
        if (run.Large->Folder) {
            TQVCFInPlaceFolder folder(FSource, run.Large->Content, run.Large->ContentSize,
                                      FDepth + 1, FRunBytes);
            visit(run.Index, run.Large->Name, folder);
        }
        return;
    }
    const std::uint8_t* p = run.Bytes.Data();
    const std::uint8_t* end = p + run.Size;
    for (std::size_t index = run.Index; p < end; ++index) {
        const std::uint8_t* item = nullptr;
        std::size_t itemSize = 0;
        ReadElement(p, end, TagOctets, item, itemSize);
        TQVCFItemView child(item, itemSize, FDepth + 1);
        if (child.IsFolder())
            visit(index, child.Name(), child.Folder());
    }
}
