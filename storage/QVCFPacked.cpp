// Folders read from a file keep their children encoded until something needs them as items. A
// budget reads thousands of folders, each for a handful of values: those are looked up in the
// encoding itself, and the folders' items are never built.
#include <algorithm>
#include <numeric>
#include <span>

#include "storage/QVCFArena.h"
#include "storage/QVCFItem.h"
#include "storage/QVCFPlain.h"
#include "storage/QVException.h"

bool TQVCFFolder::LoadPacked(const std::uint8_t* buffer, std::uint32_t size, bool isItem,
                             TByteBuffer* owned) {
    QVCFPlain::TItemParts parts;
    if (isItem) {
        if (!QVCFPlain::SplitItem(buffer, size, parts))
            return false;
    } else {
        parts.Content = buffer;
        parts.ContentSize = size;
    }
    // Everything below is checked now, so that a fault is reported by the load, as it would be
    // had every item been read at once.
    QVCFPlain::TShape shape;
    if (!QVCFPlain::CheckFolderContent(parts.Content, parts.ContentSize, 0, shape))
        return false;
    std::u16string name;
    if (parts.HasName)
        name = QVCFPlain::DecodeName(parts.Name, parts.NameSize);

    // The caller's bytes may be gone after the call (or be part of this very tree), so what is
    // kept is the moved string or a copy of the content, taken before the folder is cleared.
    std::size_t offset = 0;
    TByteBuffer bytes;
    if (owned != nullptr) {
        offset = static_cast<std::size_t>(parts.Content - buffer);
        bytes = std::move(*owned);
    } else {
        bytes = TByteBuffer(
            std::string_view(reinterpret_cast<const char*>(parts.Content), parts.ContentSize));
    }
    KeepPacked(std::move(bytes), offset, static_cast<std::uint32_t>(parts.ContentSize), shape);
    if (parts.HasName)
        Name = std::move(name);
    return true;
}

const std::uint8_t* TQVCFFolder::KeepPacked(TByteBuffer bytes, std::size_t offset,
                                            std::uint32_t size, const QVCFPlain::TShape& shape) {
    Clear();
    const std::uint8_t* kept = Arena().Keep(std::move(bytes));
    FPacked = kept + offset;
    FPackedSize = size;
    FPackedSimple = shape.SimpleNames && shape.FoldersFirst;
    FPackedInnerSimple = shape.SimpleNames && shape.InnerFoldersFirst;
    return kept;
}

void TQVCFFolder::Unpack() const {
    if (FUnread)
        ReadUnread();
    auto& self = const_cast<TQVCFFolder&>(*this);
    const std::uint8_t* packed = FPacked;
    const std::uint32_t packedSize = FPackedSize;
    const bool simple = FPackedInnerSimple;
    QVCFPlain::TChildReader children(packed, packedSize);
    FPacked = nullptr;
    FPackedSize = 0;
    try {
        QVCFPlain::TChild child;
        while (children.Next(child)) {
            const std::u16string name = QVCFPlain::DecodeName(child.Name, child.NameSize);
            if (child.Folder) {
                TQVCFFolder& folder = self.NewChild<TQVCFFolder>(name);
                folder.FUnread = Arena().InPlace.IsUnread(child.Content);
                folder.FPacked = child.Content;
                folder.FPackedSize = child.ContentSize;
                folder.FPackedSimple = simple;
                folder.FPackedInnerSimple = simple;
            } else {
                self.NewChild<TQVCFFile>(name).Data.assign(
                    reinterpret_cast<const char*>(child.Content), child.ContentSize);
            }
        }
    } catch (...) {
        self.DestroyChildren();
        FPacked = packed;
        FPackedSize = packedSize;
        throw;
    }
}

std::vector<QVCFPlain::TChild>& TQVCFFolder::PackedChildren() const {
    if (FUnread)
        ReadUnread();
    TQVCFArena::TLookup& lookup = Arena().Lookup;
    if (lookup.Key != FPacked) {
        lookup.Key = nullptr;
        lookup.Children.clear();
        lookup.Measured = false;
        QVCFPlain::ReadChildren(FPacked, lookup.Children);
        lookup.Key = FPacked;
    }
    return lookup.Children;
}

// FindChild's answer read from the encoding: the first folder of that name if there is one
// (folders sort first), else the first file, as a stable sort leaves equal names in file order.
bool TQVCFFolder::FindPacked(std::u16string_view name, std::string_view& data) const {
    std::vector<QVCFPlain::TChild>& children = PackedChildren();
    TQVCFArena::TLookup& lookup = Arena().Lookup;
    if (!lookup.Measured) {
        for (QVCFPlain::TChild& child : children)
            QVCFPlain::SetPlainUnits(child);
        lookup.Measured = true;
    }
    bool folders = false;
    for (const QVCFPlain::TChild& child : children)
        folders = folders || child.Folder;
    const QVCFPlain::TWanted wanted(name);
    const QVCFPlain::TChild* file = nullptr;
    for (const QVCFPlain::TChild& child : children) {
        if (file != nullptr && !child.Folder)
            continue;
        if (!QVCFPlain::SameName(child, wanted))
            continue;
        if (child.Folder)
            return false;
        file = &child;
        // With no folder among the children the first match stands.
        if (!folders)
            break;
    }
    if (file == nullptr)
        return false;
    data = {reinterpret_cast<const char*>(file->Content), file->ContentSize};
    return true;
}

bool TQVCFFolder::FindFileData(std::u16string_view name, std::string_view& data) const {
    if (FPacked != nullptr && FPackedSimple) {
        // The look-up a reader of values makes thousands of times. With folders first, the first
        // child with the same units, letters folded, is FindChild's answer.
        const std::uint64_t key = QVCFPlain::NameKey(name);
        for (const QVCFPlain::TChild& child : PackedChildren()) {
            if (QVCFPlain::SameSimpleName(child, name, key)) {
                if (child.Folder)
                    return false;
                data = {reinterpret_cast<const char*>(child.Content), child.ContentSize};
                return true;
            }
        }
    }
    const TQVCFItem* item;
    if (name.empty() || name.find(u'/') != std::u16string_view::npos)
        item = const_cast<TQVCFFolder*>(this)->FindItem(name, false);
    else if (FPacked != nullptr)
        return FindPacked(name, data);
    else
        item = FindChild(name, false);
    if (item == nullptr || item->IsFolder())
        return false;
    data = static_cast<const TQVCFFile*>(item)->Data;
    return true;
}

TQVCFFolder::TNameSet::TNameSet(const std::u16string_view* names, std::size_t count) {
    if (count > MaxNames)
        throw EPACFError(CFMessages::InternalError);
    for (const std::u16string_view name : std::span(names, count)) {
        FNames[FCount] = name;
        FKeys[FCount] = QVCFPlain::NameKey(name);
        FSimple[FCount] = !name.empty() && name.find(u'/') == std::u16string_view::npos &&
                          std::all_of(name.begin(), name.end(), QVCFPlain::PlainUnit);
        ++FCount;
    }
}

void TQVCFFolder::FindFilesData(const TNameSet& names, std::string_view* data, bool* found) const {
    if (FUnread)
        ReadUnread();
    // The simple names are looked up in one pass over the packed children; any other alone,
    // afterwards, since a path may build the folder's items.
    std::size_t waiting[TNameSet::MaxNames], alone[TNameSet::MaxNames];
    std::size_t count = 0, others = 0;
    for (std::size_t i = 0; i < names.FCount; ++i) {
        found[i] = false;
        if (FPacked != nullptr && FPackedSimple && names.FSimple[i])
            waiting[count++] = i;
        else
            alone[others++] = i;
    }
    // As in FindFileData: with simple stored names and folders first, the first child with the
    // same units, letters folded, is the one; a folder there means no file. A simple wanted name
    // that matches no child by its units matches none by any rule.
    if (count > 0) {
        QVCFPlain::TChildReader children(FPacked, FPackedSize);
        QVCFPlain::TChild child;
        while (count > 0 && children.Next(child)) {
            for (std::size_t j = 0; j < count;) {
                const std::size_t i = waiting[j];
                if (!QVCFPlain::SameSimpleName(child, names.FNames[i], names.FKeys[i])) {
                    ++j;
                    continue;
                }
                if (!child.Folder) {
                    found[i] = true;
                    data[i] = {reinterpret_cast<const char*>(child.Content), child.ContentSize};
                }
                // Settled: the last waiting name takes its place.
                waiting[j] = waiting[--count];
            }
        }
    }
    for (std::size_t j = 0; j < others; ++j)
        found[alone[j]] = FindFileData(names.FNames[alone[j]], data[alone[j]]);
}

bool TQVCFFolder::PackedFolders(std::vector<TPackedFolder>& folders) const {
    folders.clear();
    if (FPacked == nullptr)
        return false;
    QVCFPlain::TChildReader children(FPacked, FPackedSize);
    QVCFPlain::TChild child;
    while (children.Next(child)) {
        if (child.Folder)
            folders.push_back({QVCFPlain::DecodeName(child.Name, child.NameSize), child.Content,
                               child.ContentSize});
    }
    // The order the folder's items would have: read order, sorted stably by name.
    const auto less = [](const TPackedFolder& a, const TPackedFolder& b) {
        return CompareNames(a.Name, b.Name) < 0;
    };
    if (!std::is_sorted(folders.begin(), folders.end(), less))
        std::stable_sort(folders.begin(), folders.end(), less);
    return true;
}

void TQVCFFolder::ViewFolder(const TPackedFolder& folder, TQVCFFolder& view) const {
    if (FUnread)
        ReadUnread();
    MakeView(folder.Name, folder.Content, folder.Size, FPackedInnerSimple, FPackedInnerSimple,
             Arena(), view);
    view.FUnread = Arena().InPlace.IsUnread(folder.Content);
}

void TQVCFFolder::MakeView(const std::u16string& name, const std::uint8_t* content,
                           std::uint32_t size, bool simple, bool innerSimple, TQVCFArena& arena,
                           TQVCFFolder& view) const {
    view.Clear();
    if (view.FOwnsArena) {
        delete view.FArena;
        view.FOwnsArena = false;
    }
    view.FArena = &arena;
    view.FParent = const_cast<TQVCFFolder*>(this);
    view.Name = name;
    view.FSorted = true;
    view.FPacked = content;
    view.FPackedSize = size;
    view.FPackedSimple = simple;
    view.FPackedInnerSimple = innerSimple;
}

void TQVCFFolder::DrainFolders(
    const std::vector<TPackedFolder>& folders,
    const std::function<void(std::size_t index, TQVCFFolder& view)>& visit, bool concurrent) {
    if (FPacked == nullptr)
        throw EPACFError(CFMessages::InternalError);
    const std::uint8_t* const end = FPacked + FPackedSize;
    for (const TPackedFolder& folder : folders) {
        if (folder.Content < FPacked ||
            folder.Size > static_cast<std::size_t>(end - folder.Content))
            throw EPACFError(CFMessages::InternalError);
    }
    // In the order of the bytes, so that everything before the next folder to read is done with.
    std::vector<std::size_t> stored(folders.size());
    std::iota(stored.begin(), stored.end(), std::size_t{0});
    std::stable_sort(stored.begin(), stored.end(), [&folders](std::size_t a, std::size_t b) {
        return folders[a].Content < folders[b].Content;
    });
    TQVCFArena& arena = Arena();
    const std::uint8_t* held = FPacked;
    try {
        TQVCFFolder view;
        // Sub-folders left unread are not in this folder's memory: each is read as it comes.
        const bool unread = FUnread;
        if (unread) {
            DrainUnread(folders, stored, visit, concurrent);
            held = end;
        }
        for (std::size_t k = 0; k < stored.size() && !unread; ++k) {
            const TPackedFolder* next = k + 1 < stored.size() ? &folders[stored[k + 1]] : nullptr;
            if (next != nullptr)
                Prefetch(*next);
            ViewFolder(folders[stored[k]], view);
            visit(stored[k], view);
            view.Clear();
            held = arena.ReleaseKept(held, next != nullptr ? next->Content : end);
        }
    } catch (...) {
        Clear();
        arena.Lookup = TQVCFArena::TLookup();
        throw;
    }
    // What is left of the content (files among the folders) goes too: nothing may read bytes
    // that are partly handed back.
    arena.ReleaseKept(held, end);
    Clear();
    arena.Lookup = TQVCFArena::TLookup();
}

void TQVCFFolder::Prefetch(const TPackedFolder& folder) {
    constexpr std::uint32_t Line = 64;
    for (std::uint32_t offset = 0; offset < folder.Size; offset += Line)
        __builtin_prefetch(folder.Content + offset);
}
