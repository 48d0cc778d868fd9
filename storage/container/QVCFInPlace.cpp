#include "storage/container/QVCFInPlace.h"

#include <algorithm>
#include <optional>

#include "platform/Workers.h"
#include "storage/QVException.h"
#include "storage/container/QVCFBodySource.h"
#include "storage/container/QVCFNames.h"

struct TQVCFInPlaceFolder::TChildRun {
    // The index of its first child.
    std::size_t Index = 0;
    // Its children's OCTET STRINGs as stored, read whole; or a child too large for a run.
    TByteBuffer Bytes;
    std::size_t Size = 0;
    std::optional<TChild> Large;
};

// The walk over a folder's children, run after run.
struct TQVCFInPlaceFolder::TRunCursor {
    TRunCursor(const TQVCFBodySource& source, std::uint64_t content, std::uint64_t end)
        : Window(source), Children(Window, content, end) {}

    // The next child into Start, Item and Size: the one the last run had no room for, if any.
    bool Next() {
        if (Pending) {
            Pending = false;
            return true;
        }
        return Children.Next(Start, Item, Size);
    }

    TQVCFBodyWindow Window;
    QVCFDecode::TChildren Children;
    std::size_t Index = 0;
    bool Pending = false;
    std::uint64_t Start = 0, Item = 0, Size = 0;
    // The buffers of runs built, for the runs to come.
    std::vector<TByteBuffer> Spare;
};

void TQVCFInPlaceFolder::ReadRoot(const TQVCFBodySource& source, const TVisit& visit,
                                  std::size_t runBytes) {
    const std::uint64_t length = source.Length();
    if (length <= runBytes) {
        TByteBuffer bytes(static_cast<std::size_t>(length));
        source.Read(0, bytes.Size(), bytes.Data());
        TQVCFItemView root(bytes.Data(), bytes.Size(), 0);
        visit(root.Folder());
        return;
    }
    // The root's own type is never compared: a root that is no folder fails at its content.
    TQVCFBodyWindow window(source);
    const QVCFDecode::TItem head = QVCFDecode::ReadItem(window, 0, length, false);
    TQVCFInPlaceFolder root(source, head.Content, head.ContentSize, 0, runBytes);
    visit(root);
    root.CheckUnread();
}

TQVCFInPlaceFolder::TQVCFInPlaceFolder(const TQVCFBodySource& source, std::uint64_t content,
                                       std::uint64_t size, int depth, std::size_t runBytes)
    : FSource(source), FContent(content), FEnd(content + size), FDepth(depth), FRunBytes(runBytes) {
    if (depth > CFMaxFolderDepth)
        throw EPACFError(CFMessages::InvalidFile);
}

TQVCFInPlaceFolder::~TQVCFInPlaceFolder() = default;

template <class Each> void TQVCFInPlaceFolder::Walk(Each&& each) const {
    TQVCFBodyWindow window(FSource);
    QVCFDecode::TChildren children(window, FContent, FEnd);
    TChild child;
    for (std::uint64_t start; children.Next(start, child.Item, child.ItemSize);) {
        child.Head = QVCFDecode::ReadItem(window, child.Item, child.Item + child.ItemSize, true);
        if (!each(child))
            return;
    }
}

bool TQVCFInPlaceFolder::Find(std::u16string_view name, TChild& found) const {
    // Folders sort before files, and equal names keep the order stored.
    bool file = false, folder = false;
    Walk([&](const TChild& child) {
        if ((file && !child.Head.Folder) || !QVCFNames::Same(child.Head.Name, name))
            return true;
        found = child;
        file = !child.Head.Folder;
        folder = child.Head.Folder;
        return !folder;
    });
    return file || folder;
}

bool TQVCFInPlaceFolder::WasRead(std::uint64_t item) const {
    return std::find(FRead.begin(), FRead.end(), item) != FRead.end();
}

std::unique_ptr<TQVCFItemView> TQVCFInPlaceFolder::ReadWhole(const TChild& child,
                                                             TByteBuffer& bytes) const {
    bytes = TByteBuffer(static_cast<std::size_t>(child.ItemSize));
    FSource.Read(child.Item, bytes.Size(), bytes.Data());
    return std::make_unique<TQVCFItemView>(bytes.Data(), bytes.Size(), FDepth + 1);
}

std::string_view TQVCFInPlaceFolder::Keep(const TChild& child) {
    for (const TKept& kept : FKept)
        if (kept.Item == child.Item)
            return kept.View->Data();
    FRead.push_back(child.Item);
    TKept kept;
    kept.Item = child.Item;
    kept.View = ReadWhole(child, kept.Bytes);
    FKept.push_back(std::move(kept));
    return FKept.back().View->Data();
}

bool TQVCFInPlaceFolder::File(std::u16string_view name, std::string_view& data) {
    TChild child;
    if (!Find(name, child) || child.Head.Folder)
        return false;
    data = Keep(child);
    return true;
}

void TQVCFInPlaceFolder::Files(const TNameSet& names, std::string_view* data, bool* found) {
    // One walk for every name: the first file of each, unless a folder has that name.
    std::optional<TChild> files[TNameSet::MaxNames];
    bool folders[TNameSet::MaxNames] = {};
    Walk([&](const TChild& child) {
        for (std::size_t i = 0; i < names.Size(); ++i) {
            if (folders[i] || (files[i] && !child.Head.Folder) ||
                !QVCFNames::Same(child.Head.Name, names.Name(i)))
                continue;
            if (child.Head.Folder)
                folders[i] = true;
            else
                files[i] = child;
        }
        return true;
    });
    for (std::size_t i = 0; i < names.Size(); ++i) {
        found[i] = files[i] && !folders[i];
        if (found[i])
            data[i] = Keep(*files[i]);
    }
}

bool TQVCFInPlaceFolder::Folder(std::u16string_view name, const TVisit& visit) {
    TChild child;
    if (!Find(name, child) || !child.Head.Folder)
        return false;
    FRead.push_back(child.Item);
    if (child.ItemSize > FRunBytes) {
        ReadLarge(child, visit);
        return true;
    }
    // Read for the visit alone: a folder is read once.
    TByteBuffer bytes;
    visit(ReadWhole(child, bytes)->Folder());
    return true;
}

void TQVCFInPlaceFolder::ReadLarge(const TChild& child, const TVisit& visit) const {
    const QVCFDecode::TItem& head = child.Head;
    if (head.Folder) {
        TQVCFInPlaceFolder folder(FSource, head.Content, head.ContentSize, FDepth + 1, FRunBytes);
        visit(folder);
        folder.CheckUnread();
        return;
    }
    TQVCFBodyWindow window(FSource);
    std::uint64_t data, size;
    QVCFDecode::ReadFileData(window, head.Content, head.Content + head.ContentSize, data, size);
}

void TQVCFInPlaceFolder::Folders(const TVisitEach& visit, bool concurrent) {
    ReadRuns(visit, concurrent, false);
}

void TQVCFInPlaceFolder::CheckUnread() {
    if (!FAllRead)
        ReadRuns([](std::size_t, std::u16string_view, TQVCFReader&) {}, false, true);
}

void TQVCFInPlaceFolder::ReadRuns(const TVisitEach& visit, bool concurrent, bool unreadOnly) {
    TRunCursor cursor(FSource, FContent, FEnd);
    const unsigned workers = concurrent ? Workers::ThreadsBeside(MaxBuilders) : 0;
    Workers::RunOrdered<TChildRun>(
        workers, (workers + 2) * FRunBytes,
        [&](TChildRun& run, std::size_t& bytes) {
            if (!MakeRun(cursor, run, unreadOnly))
                return false;
            // A child read in place holds a run at a time while it is built.
            bytes = run.Large ? FRunBytes : run.Size;
            return true;
        },
        [&](TChildRun& run) { BuildRun(run, visit); },
        [&](TChildRun& run) {
            if (run.Bytes.Data() != nullptr)
                cursor.Spare.push_back(std::move(run.Bytes));
        });
    FAllRead = true;
}

bool TQVCFInPlaceFolder::MakeRun(TRunCursor& cursor, TChildRun& run, bool unreadOnly) const {
    // A child read already is passed over, unread again.
    for (;; ++cursor.Index) {
        if (!cursor.Next())
            return false;
        if (!unreadOnly || !WasRead(cursor.Item))
            break;
    }
    run.Index = cursor.Index++;
    const std::uint64_t first = cursor.Start;
    std::uint64_t end = cursor.Item + cursor.Size;
    if (end - first > FRunBytes) {
        run.Large = TChild{cursor.Item, cursor.Size,
                           QVCFDecode::ReadItem(cursor.Window, cursor.Item, end, true)};
        return true;
    }
    if (cursor.Spare.empty()) {
        // Pages only where bytes are written, handed back when the buffer goes.
        run.Bytes = TByteBuffer::Reserve(FRunBytes);
    } else {
        run.Bytes = std::move(cursor.Spare.back());
        cursor.Spare.pop_back();
    }
    // Each child is copied while the window holds its head, so that its bytes are read once.
    std::uint8_t* out = run.Bytes.Data();
    cursor.Window.Copy(first, static_cast<std::size_t>(end - first), out);
    while (cursor.Children.Next(cursor.Start, cursor.Item, cursor.Size)) {
        const std::uint64_t next = cursor.Item + cursor.Size;
        if (next - first > FRunBytes || (unreadOnly && WasRead(cursor.Item))) {
            cursor.Pending = true;
            break;
        }
        cursor.Window.Copy(end, static_cast<std::size_t>(next - end), out + (end - first));
        end = next;
        ++cursor.Index;
    }
    run.Size = static_cast<std::size_t>(end - first);
    return true;
}

void TQVCFInPlaceFolder::BuildRun(TChildRun& run, const TVisitEach& visit) const {
    if (run.Large) {
        ReadLarge(*run.Large,
                  [&](TQVCFReader& folder) { visit(run.Index, run.Large->Head.Name, folder); });
        return;
    }
    // The children's OCTET STRINGs, with nothing but end-of-contents markers between them.
    TASN1MemoryInput input(run.Bytes.Data(), run.Size);
    TASN1Reader reader(input, 0, run.Size);
    TASN1Tag tag;
    for (std::size_t index = run.Index; reader.Next(tag); ++index) {
        TQVCFItemView child(run.Bytes.Data() + tag.Content,
                            static_cast<std::size_t>(tag.Header.Size), FDepth + 1);
        if (child.IsFolder())
            visit(index, child.Name(), child.Folder());
    }
}
