#include <algorithm>
#include <cstring>

#include "storage/QVASN1.h"
#include "storage/QVCFItem.h"
#include "storage/QVDER.h"
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

} // namespace

TQVCFFolder::~TQVCFFolder() = default;

TQVCFItem* TQVCFFolder::GetItem(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FItems[static_cast<std::size_t>(index)].get();
}

int TQVCFFolder::Insert(std::unique_ptr<TQVCFItem> item) {
    item->FParent = this;
    auto position = FItems.end();
    // Inserting behind every item that compares equal keeps the order a stable sort would give.
    if (FSorted)
        position =
            std::upper_bound(FItems.begin(), FItems.end(), item,
                             [](const auto& a, const auto& b) { return CompareItems(*a, *b) < 0; });
    position = FItems.insert(position, std::move(item));
    return static_cast<int>(position - FItems.begin());
}

int TQVCFFolder::AddFile(std::u16string_view name) {
    auto file = std::make_unique<TQVCFFile>();
    file->Name = name;
    return Insert(std::move(file));
}

int TQVCFFolder::AddFolder(std::u16string_view name) {
    auto folder = std::make_unique<TQVCFFolder>();
    folder->Name = name;
    return Insert(std::move(folder));
}

TQVCFFile& TQVCFFolder::NewFile(std::u16string_view name) {
    return static_cast<TQVCFFile&>(*GetItem(AddFile(name)));
}

TQVCFFolder& TQVCFFolder::NewFolder(std::u16string_view name) {
    return static_cast<TQVCFFolder&>(*GetItem(AddFolder(name)));
}

void TQVCFFolder::Clear() {
    FItems.clear();
}

void TQVCFFolder::Sort() {
    const auto less = [](const auto& a, const auto& b) { return CompareItems(*a, *b) < 0; };
    // Folders read from a file are nearly always in order already.
    if (!std::is_sorted(FItems.begin(), FItems.end(), less))
        std::stable_sort(FItems.begin(), FItems.end(), less);
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
    for (const auto& item : FItems) {
        if (foldersOnly && !item->IsFolder())
            continue;
        if (CompareNames(item->Name, name) == 0)
            return item.get();
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
    for (const auto& item : FItems)
        estimate += item->ItemEstimate() + 8;
    return estimate;
}

std::uint64_t TQVCFFolder::MeasureContent() const {
    std::uint64_t children = 0;
    for (const auto& item : FItems)
        children += ElementSize(item->MeasureItem());
    return ElementSize(children);
}

std::uint8_t* TQVCFFolder::WriteContent(std::uint8_t* out) const {
    // The children's sizes were cached by the measure that preceded this write.
    std::uint64_t children = 0;
    for (const auto& item : FItems)
        children += ElementSize(item->CachedItemSize());
    out = WriteHeader(out, TagSequence, children);
    for (const auto& item : FItems) {
        out = WriteHeader(out, TagOctets, item->CachedItemSize());
        out = item->WriteItem(out);
    }
    return out;
}

// ---- Decoding ----

void TQVCFFolder::LoadContent(const std::uint8_t* buffer, std::uint32_t size, int depth) {
    Clear();
    if (depth > CFMaxFolderDepth)
        throw EPACFError(CFMessages::InvalidFile);
    if (!LoadPlainContent(buffer, size, depth)) {
        TASN1ConstrainedTag holder;
        if (!holder.LoadFromBuffer(buffer, size) || holder.Count() != 1 ||
            !holder.GetField(0)->CheckType(TagSequence, true))
            throw EPACFError(CFMessages::InvalidFile);
        const auto& sequence = static_cast<const TASN1ConstrainedTag&>(*holder.GetField(0));
        FItems.reserve(static_cast<std::size_t>(sequence.Count()));
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
    const std::uint8_t* p = buffer;
    const std::uint8_t* children;
    std::size_t childrenSize;
    if (!ReadElement(p, buffer + size, TagSequence, children, childrenSize) || p != buffer + size)
        return false;
    const std::uint8_t* end = children + childrenSize;
    std::size_t count = 0;
    const std::uint8_t* item;
    std::size_t itemSize;
    for (p = children; p != end; ++count)
        if (!ReadElement(p, end, TagOctets, item, itemSize))
            return false;
    FItems.reserve(count);
    for (p = children; p != end;) {
        ReadElement(p, end, TagOctets, item, itemSize);
        AppendLoaded(item, itemSize, depth);
    }
    return true;
}

void TQVCFFolder::AppendLoaded(const std::uint8_t* encoding, std::size_t size, int depth) {
    auto item = CreateFromBufferAt(encoding, static_cast<std::uint32_t>(size), depth + 1);
    item->FParent = this;
    FItems.push_back(std::move(item));
}
