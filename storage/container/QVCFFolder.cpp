#include <algorithm>
#include <utility>

#include "storage/QVException.h"
#include "storage/QVUtils.h"
#include "storage/asn1/QVDER.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFNames.h"

using namespace QVDER;

TQVCFItem* TQVCFFolder::GetItem(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return FItems[static_cast<std::size_t>(index)].get();
}

// The new item goes to its sorted place, behind every item that compares equal (the order a
// stable sort gives). Writers mostly add in order, so the place is nearly always the end.
template <class T> T& TQVCFFolder::NewChild(std::u16string_view name) {
    auto owned = std::make_unique<T>();
    T& item = *owned;
    item.Name = name;
    item.FParent = this;
    auto position = FItems.end();
    if (FSorted && !FItems.empty() && CompareItems(*FItems.back(), item) > 0)
        position = std::upper_bound(FItems.begin(), FItems.end(), item,
                                    [](const TQVCFItem& a, const std::unique_ptr<TQVCFItem>& b) {
                                        return CompareItems(a, *b) < 0;
                                    });
    FItems.insert(position, std::move(owned));
    return item;
}

TQVCFFile& TQVCFFolder::NewFile(std::u16string_view name) {
    return NewChild<TQVCFFile>(name);
}

TQVCFFolder& TQVCFFolder::NewFolder(std::u16string_view name) {
    return NewChild<TQVCFFolder>(name);
}

void TQVCFFolder::Sort() {
    const auto less = [](const std::unique_ptr<TQVCFItem>& a, const std::unique_ptr<TQVCFItem>& b) {
        return CompareItems(*a, *b) < 0;
    };
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
    return QVCFNames::Compare(a, b);
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
    for (const std::unique_ptr<TQVCFItem>& item : FItems) {
        if ((!foldersOnly || item->IsFolder()) && QVCFNames::Same(item->Name, name))
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
            return create ? &folder->NewFile(path) : nullptr;
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

std::uint64_t TQVCFFolder::MeasureContent() const {
    std::uint64_t children = 0;
    for (const std::unique_ptr<TQVCFItem>& item : FItems)
        children += ElementSize(item->MeasureItem());
    return ElementSize(children);
}

std::uint8_t* TQVCFFolder::WriteContent(std::uint8_t* out) const {
    // The children's sizes were cached by the measure that preceded this write.
    std::uint64_t children = 0;
    for (const std::unique_ptr<TQVCFItem>& item : FItems)
        children += ElementSize(item->FItemSize);
    out = WriteHeader(out, TagSequence, children);
    for (const std::unique_ptr<TQVCFItem>& item : FItems) {
        out = WriteHeader(out, TagOctets, item->FItemSize);
        out = item->WriteItem(out);
    }
    return out;
}

// ---- Decoding ----

// The whole level is read before any child is made, as its faults come before theirs. A failed
// read leaves the children made before the fault, in the file's order.
void TQVCFFolder::LoadContent(const std::uint8_t* buffer, std::uint64_t size, int depth) {
    Clear();
    if (depth > CFMaxFolderDepth)
        throw EPACFError(CFMessages::InvalidFile);
    TASN1MemoryInput input(buffer, static_cast<std::size_t>(size));
    QVCFDecode::TChildren children(input, 0, size);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> items;
    for (std::uint64_t start, item, itemSize; children.Next(start, item, itemSize);)
        items.emplace_back(item, itemSize);
    FItems.reserve(items.size());
    for (const auto& [item, itemSize] : items) {
        FItems.push_back(CreateFromBuffer(buffer + item, static_cast<std::uint32_t>(itemSize),
                                          depth + 1, FSorted));
        FItems.back()->FParent = this;
    }
    if (FSorted)
        Sort();
}
