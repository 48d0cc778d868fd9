#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>

#include "storage/asn1/QVASN1.h"
#include "storage/container/QVCFArena.h"
#include "storage/container/QVCFItem.h"
#include "storage/asn1/QVDER.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"

using namespace QVDER;

namespace {

bool IsSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

int FoldAscii(unsigned c) {
    return static_cast<int>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
}

// CompareText over the narrow (UTF-8) forms: bytes compared unsigned, ASCII letters folded.
int CompareNarrow(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = FoldAscii(static_cast<unsigned char>(a[i]));
        const int cb = FoldAscii(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// The same order straight from the code units, which holds while no surrogate (UTF-16 and UTF-8
// order differ there) and no U+0000 (the narrow form ends at it) is involved. Returns false when
// the narrow forms must be compared instead.
bool CompareWide(std::u16string_view a, std::u16string_view b, int& result) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t ua = a[i], ub = b[i];
        if (ua == 0 || ub == 0 || IsSurrogate(ua) || IsSurrogate(ub))
            return false;
        const int ca = FoldAscii(ua), cb = FoldAscii(ub);
        if (ca != cb) {
            result = ca < cb ? -1 : 1;
            return true;
        }
    }
    // A zero in the longer name's rest would cut its narrow form back to the common part.
    const std::u16string_view rest = a.size() > n ? a.substr(n) : b.substr(n);
    if (rest.find(u'\0') != std::u16string_view::npos)
        return false;
    result = a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
    return true;
}

bool Plain(char16_t unit) {
    return unit != 0 && !IsSurrogate(unit);
}

// CompareNames(a, b) == 0, deciding plain text without the narrow forms.
bool SameName(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t ua = a[i], ub = b[i];
        if (ua == ub && Plain(ua))
            continue;
        if (!Plain(ua) || !Plain(ub))
            return TQVCFFolder::CompareNames(a, b) == 0;
        if (FoldAscii(ua) != FoldAscii(ub))
            return false;
    }
    if (a.size() == b.size())
        return true;
    // A zero or a surrogate in the longer name's rest could still end or change its narrow form.
    const std::u16string_view rest = a.size() > n ? a.substr(n) : b.substr(n);
    return !Plain(rest[0]) && TQVCFFolder::CompareNames(a, b) == 0;
}

} // namespace

TQVCFFolder::~TQVCFFolder() {
    DestroyChildren();
    if (FOwnsArena)
        delete FArena;
}

TQVCFArena& TQVCFFolder::Arena() {
    if (FArena == nullptr) {
        FArena = new TQVCFArena();
        FOwnsArena = true;
    }
    return *FArena;
}

void TQVCFFolder::DestroyChildren() {
    if (FItems == nullptr)
        return;
    TQVCFArena& arena = *FArena;
    for (std::uint32_t i = 0; i < FCount; ++i) {
        TQVCFItem* item = FItems[i];
        const std::size_t size = item->IsFolder() ? sizeof(TQVCFFolder) : sizeof(TQVCFFile);
        item->~TQVCFItem();
        arena.Release(item, size);
    }
    arena.Release(FItems, FCapacity * sizeof(TQVCFItem*));
    FItems = nullptr;
    FCount = FCapacity = 0;
}

TQVCFItem* TQVCFFolder::GetItem(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FItems[static_cast<std::size_t>(index)];
}

// Room for one more child; the list grows by doubling inside the arena.
void TQVCFFolder::Append(TQVCFItem* item) {
    item->FParent = this;
    if (FCount == FCapacity) {
        TQVCFArena& arena = Arena();
        const std::uint32_t capacity = FCapacity == 0 ? 4 : FCapacity * 2;
        auto** items = static_cast<TQVCFItem**>(arena.Allocate(capacity * sizeof(TQVCFItem*)));
        if (FCount > 0)
            std::memcpy(items, FItems, FCount * sizeof(TQVCFItem*));
        arena.Release(FItems, FCapacity * sizeof(TQVCFItem*));
        FItems = items;
        FCapacity = capacity;
    }
    FItems[FCount++] = item;
}

template <class T> T& TQVCFFolder::NewChild(std::u16string_view name) {
    TQVCFArena& arena = Arena();
    T* item = new (arena.Allocate(sizeof(T))) T();
    if constexpr (std::is_same_v<T, TQVCFFolder>)
        item->FArena = &arena;
    try {
        item->Name = name;
        Append(item);
    } catch (...) {
        item->~T();
        arena.Release(item, sizeof(T));
        throw;
    }
    Insert(item);
    return *item;
}

// The item was just appended; moves it to its sorted place (behind every item that compares
// equal, the order a stable sort gives) and returns its index. Writers mostly add in order, so
// the place is nearly always the end.
int TQVCFFolder::Insert(TQVCFItem* item) {
    TQVCFItem** end = FItems + FCount - 1;
    if (!FSorted || end == FItems || CompareItems(*end[-1], *item) <= 0)
        return static_cast<int>(FCount - 1);
    TQVCFItem** position =
        std::upper_bound(FItems, end, item, [](const TQVCFItem* a, const TQVCFItem* b) {
            return CompareItems(*a, *b) < 0;
        });
    std::memmove(position + 1, position, static_cast<std::size_t>(end - position) * sizeof(*end));
    *position = item;
    return static_cast<int>(position - FItems);
}

int TQVCFFolder::AddFile(std::u16string_view name) {
    TQVCFFile& file = NewChild<TQVCFFile>(name);
    return static_cast<int>(std::find(FItems, FItems + FCount, &file) - FItems);
}

int TQVCFFolder::AddFolder(std::u16string_view name) {
    TQVCFFolder& folder = NewChild<TQVCFFolder>(name);
    return static_cast<int>(std::find(FItems, FItems + FCount, &folder) - FItems);
}

TQVCFFile& TQVCFFolder::NewFile(std::u16string_view name) {
    return NewChild<TQVCFFile>(name);
}

TQVCFFolder& TQVCFFolder::NewFolder(std::u16string_view name) {
    return NewChild<TQVCFFolder>(name);
}

void TQVCFFolder::Clear() {
    DestroyChildren();
    // Nothing of the tree is left, so its memory goes back in one piece.
    if (FOwnsArena)
        FArena->Reset();
}

void TQVCFFolder::Sort() {
    const auto less = [](const TQVCFItem* a, const TQVCFItem* b) {
        return CompareItems(*a, *b) < 0;
    };
    // Folders read from a file are nearly always in order already.
    if (!std::is_sorted(FItems, FItems + FCount, less))
        std::stable_sort(FItems, FItems + FCount, less);
}

void TQVCFFolder::SetSorted(bool value) {
    FSorted = value;
    if (value)
        Sort();
}

int TQVCFFolder::CompareNames(std::u16string_view a, std::u16string_view b) {
    int result;
    if (CompareWide(a, b, result))
        return result;
    return CompareNarrow(QVUtils::WideToAnsi(a), QVUtils::WideToAnsi(b));
}

int TQVCFFolder::CompareItems(const TQVCFItem& a, const TQVCFItem& b) {
    if (a.IsFolder() != b.IsFolder())
        return a.IsFolder() ? -1 : 1;
    return CompareNames(a.Name, b.Name);
}

TQVCFFolder& TQVCFFolder::Root() {
    TQVCFFolder* folder = this;
    while (folder->Parent() != nullptr)
        folder = folder->Parent();
    return *folder;
}

TQVCFItem* TQVCFFolder::FindChild(std::u16string_view name, bool foldersOnly) const {
    for (std::uint32_t i = 0; i < FCount; ++i) {
        TQVCFItem* item = FItems[i];
        if (foldersOnly && !item->IsFolder())
            continue;
        if (SameName(item->Name, name))
            return item;
    }
    return nullptr;
}

TQVCFItem* TQVCFFolder::FindItem(std::u16string_view path, bool create) {
    // Walk the path component by component instead of recursing, so a long path cannot exhaust
    // the stack.
    TQVCFFolder* folder = this;
    for (;;) {
        const std::size_t slash = path.find(u'/');
        if (slash == std::u16string_view::npos) {
            if (path.empty())
                return create ? folder : nullptr;
            if (TQVCFItem* item = folder->FindChild(path, false))
                return item;
            return create ? folder->GetItem(folder->AddFile(path)) : nullptr;
        }
        const std::u16string_view head = path.substr(0, slash);
        path = path.substr(slash + 1);
        if (head.empty()) {
            folder = &folder->Root();
        } else if (QVUtils::WideSameStr(head, u"..")) {
            if (folder->Parent() != nullptr)
                folder = folder->Parent();
        } else if (head == u".") {
            // stays in this folder
        } else if (auto* child = static_cast<TQVCFFolder*>(folder->FindChild(head, true))) {
            if (path.empty())
                return child;
            folder = child;
        } else if (create) {
            folder = &folder->NewFolder(head);
        } else {
            return nullptr;
        }
    }
}

// ---- Encoding ----

std::uint64_t TQVCFFolder::ContentEstimate() const {
    std::uint64_t estimate = 16;
    for (std::uint32_t i = 0; i < FCount; ++i)
        estimate += FItems[i]->ItemEstimate() + 8;
    return estimate;
}

std::uint64_t TQVCFFolder::MeasureContent() const {
    std::uint64_t children = 0;
    for (std::uint32_t i = 0; i < FCount; ++i)
        children += ElementSize(FItems[i]->MeasureItem());
    return ElementSize(children);
}

std::uint8_t* TQVCFFolder::WriteContent(std::uint8_t* out) const {
    // The children's sizes were cached by the measure that preceded this write.
    std::uint64_t children = 0;
    for (std::uint32_t i = 0; i < FCount; ++i)
        children += ElementSize(FItems[i]->CachedItemSize());
    out = WriteHeader(out, TagSequence, children);
    for (std::uint32_t i = 0; i < FCount; ++i) {
        out = WriteHeader(out, TagOctets, FItems[i]->CachedItemSize());
        out = FItems[i]->WriteItem(out);
    }
    return out;
}

// ---- Decoding ----

void TQVCFFolder::LoadContent(const std::uint8_t* buffer, std::uint32_t size, int depth) {
    Clear();
    if (depth > CFMaxFolderDepth)
        throw EPACFError(CFMessages::InvalidFile);
    // A failed read leaves the children read before the fault, in the file's order.
    if (!LoadPlainContent(buffer, size, depth)) {
        TASN1ConstrainedTag holder;
        if (!holder.LoadFromBuffer(buffer, size) || holder.Count() != 1 ||
            !holder.GetField(0)->CheckType(TagSequence, true))
            throw EPACFError(CFMessages::InvalidFile);
        const auto& sequence = static_cast<const TASN1ConstrainedTag&>(*holder.GetField(0));
        for (int i = 0; i < sequence.Count(); ++i) {
            const TASN1CustomTag* element = sequence.GetField(i);
            if (!element->CheckType(TagOctets, false))
                throw EPACFError(CFMessages::InvalidFile);
            const std::string& bytes = static_cast<const TASN1SimpleTag&>(*element).Content();
            AppendLoaded(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), depth);
        }
    }
    if (FSorted)
        Sort();
}

// The plain definite-length form, read straight from the bytes. The whole level is checked
// before any child is made, so a false result leaves the folder empty for the general reader.
bool TQVCFFolder::LoadPlainContent(const std::uint8_t* buffer, std::uint32_t size, int depth) {
    const std::uint8_t* children;
    std::size_t childrenSize;
    if (!ReadWholeElement(buffer, size, TagSequence, children, childrenSize))
        return false;
    const std::uint8_t* end = children + childrenSize;
    const std::uint8_t* p;
    const std::uint8_t* item;
    std::size_t itemSize;
    for (p = children; p != end;)
        if (!ReadElement(p, end, TagOctets, item, itemSize))
            return false;
    for (p = children; p != end;) {
        ReadElement(p, end, TagOctets, item, itemSize);
        AppendLoaded(item, itemSize, depth);
    }
    return true;
}

void TQVCFFolder::AppendLoaded(const std::uint8_t* encoding, std::size_t size, int depth) {
    TQVCFArena& arena = Arena();
    TQVCFItem* item =
        CreateFromBufferAt(&arena, encoding, static_cast<std::uint32_t>(size), depth + 1);
    try {
        Append(item);
    } catch (...) {
        const std::size_t itemSize = item->IsFolder() ? sizeof(TQVCFFolder) : sizeof(TQVCFFile);
        item->~TQVCFItem();
        arena.Release(item, itemSize);
        throw;
    }
}
