#include "storage/container/QVCFInPlace.h"

#include <optional>

#include "platform/Workers.h"
#include "storage/QVException.h"
#include "storage/container/QVCFBodySource.h"
#include "storage/container/QVCFDecode.h"
#include "storage/container/QVCFNames.h"

struct TQVCFInPlaceFolder::TChildRun {
    // The index of its first child.
    std::size_t Index = 0;
    // Its children's OCTET STRINGs as stored, read whole; or a child too large for a run.
    TByteBuffer Bytes;
    std::size_t Size = 0;
    std::optional<THead> Large;
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
    const QVCFDecode::TItem parts = QVCFDecode::ReadItem(window, 0, length, false);
    TQVCFInPlaceFolder root(source, parts.Content, parts.ContentSize, 0, runBytes);
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

void TQVCFInPlaceFolder::ListHeads() {
    if (FListed)
        return;
    TQVCFBodyWindow window(FSource);
    QVCFDecode::TChildren children(window, FContent, FEnd);
    for (std::uint64_t start, item, size; children.Next(start, item, size);) {
        QVCFDecode::TItem parts = QVCFDecode::ReadItem(window, item, item + size, true);
        FHeads.push_back({std::move(parts.Name), parts.Folder, false, item, size, parts.Content,
                          parts.ContentSize});
    }
    FListed = true;
}

TQVCFInPlaceFolder::THead* TQVCFInPlaceFolder::Find(std::u16string_view name) {
    ListHeads();
    // Folders sort before files, and equal names keep the order stored.
    THead* file = nullptr;
    for (THead& head : FHeads) {
        if ((file != nullptr && !head.Folder) || !QVCFNames::Same(head.Name, name))
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
    THead& head = FHeads[index];
    head.Read = true;
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
    THead* head = Find(name);
    if (head == nullptr || !head->Folder)
        return false;
    head->Read = true;
    if (head->ItemSize > FRunBytes) {
        ReadLarge(*head, visit);
        return true;
    }
    // Read for the visit alone: a folder is read once.
    TByteBuffer bytes(static_cast<std::size_t>(head->ItemSize));
    FSource.Read(head->Item, bytes.Size(), bytes.Data());
    TQVCFItemView view(bytes.Data(), bytes.Size(), FDepth + 1);
    visit(view.Folder());
    return true;
}

void TQVCFInPlaceFolder::ReadLarge(const THead& head, const TVisit& visit) const {
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
    TRunCursor cursor(FSource, FContent, FEnd);
    const unsigned workers = concurrent ? Workers::ThreadsBeside(MaxBuilders) : 0;
    Workers::RunOrdered<TChildRun>(
        workers, (workers + 2) * FRunBytes,
        [&](TChildRun& run, std::size_t& bytes) {
            if (!MakeRun(cursor, run))
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

bool TQVCFInPlaceFolder::MakeRun(TRunCursor& cursor, TChildRun& run) const {
    if (!cursor.Next())
        return false;
    run.Index = cursor.Index++;
    const std::uint64_t first = cursor.Start;
    std::uint64_t end = cursor.Item + cursor.Size;
    if (end - first > FRunBytes) {
        QVCFDecode::TItem parts = QVCFDecode::ReadItem(cursor.Window, cursor.Item, end, true);
        run.Large = THead{std::move(parts.Name), parts.Folder,     true, cursor.Item, cursor.Size,
                          parts.Content,         parts.ContentSize};
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
        if (next - first > FRunBytes) {
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
                  [&](TQVCFReader& folder) { visit(run.Index, run.Large->Name, folder); });
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

void TQVCFInPlaceFolder::CheckUnread() {
    if (FAllRead)
        return;
    if (!FListed) {
        // Nothing was looked up: a visit of every sub-folder reads every child once.
        Folders([](std::size_t, std::u16string_view, TQVCFReader&) {});
        return;
    }
    for (THead& head : FHeads) {
        if (head.Read)
            continue;
        head.Read = true;
        if (head.ItemSize > FRunBytes) {
            ReadLarge(head, [](TQVCFReader&) {});
            continue;
        }
        TByteBuffer bytes(static_cast<std::size_t>(head.ItemSize));
        FSource.Read(head.Item, bytes.Size(), bytes.Data());
        const TQVCFItemView view(bytes.Data(), bytes.Size(), FDepth + 1);
    }
}
