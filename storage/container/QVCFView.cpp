#include "storage/container/QVCFView.h"

#include <algorithm>
#include <span>

#include "storage/QVException.h"
#include "storage/asn1/QVDER.h"
#include "storage/container/QVCFItem.h"
#include "storage/container/QVCFNames.h"

using QVCFPlain::TChild;
using QVCFPlain::TChildReader;

TQVCFReader::TNameSet::TNameSet(const std::u16string_view* names, std::size_t count) {
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

namespace {

bool IsPlain(std::u16string_view name) {
    return std::all_of(name.begin(), name.end(), QVCFPlain::PlainUnit);
}

std::string_view DataOf(const TChild& child) {
    return {reinterpret_cast<const char*>(child.Content), child.ContentSize};
}

} // namespace

TQVCFView::TQVCFView(const std::uint8_t* content, std::size_t, const QVCFPlain::TShape& shape)
    : TQVCFView(content, shape.SimpleNames && shape.FoldersFirst,
                shape.SimpleNames && shape.InnerFoldersFirst) {}

TQVCFView::TQVCFView(const std::uint8_t* content, bool simple, bool innerSimple)
    : FContent(content), FSimple(simple), FInnerSimple(innerSimple) {}

bool TQVCFView::Find(std::u16string_view name, TChild& found) const {
    if (name.empty())
        return false;
    TChildReader children(FContent, 0);
    TChild child;
    if (FSimple && IsPlain(name)) {
        // The look-up a reader of values makes thousands of times. With simple stored names and
        // folders first, the first child with the same units, letters folded, is FindItem's
        // answer, and a plain name that matches no child by its units matches none at all.
        const std::uint64_t key = QVCFPlain::NameKey(name);
        while (children.Next(child)) {
            if (QVCFPlain::SameSimpleName(child, name, key)) {
                found = child;
                return true;
            }
        }
        return false;
    }
    // Any other names: the first folder of that name if there is one (folders sort first),
    // else the first file, as a stable sort leaves equal names in the order stored.
    bool file = false;
    while (children.Next(child)) {
        if ((file && !child.Folder) ||
            !QVCFNames::Same(QVCFNames::Decode(child.Name, child.NameSize), name))
            continue;
        found = child;
        if (child.Folder)
            return true;
        file = true;
    }
    return file;
}

bool TQVCFView::File(std::u16string_view name, std::string_view& data) {
    TChild child;
    if (!Find(name, child) || child.Folder)
        return false;
    data = DataOf(child);
    return true;
}

void TQVCFView::Files(const TNameSet& names, std::string_view* data, bool* found) {
    // The simple names are looked up in one pass over the children; any other alone.
    std::size_t waiting[TNameSet::MaxNames], alone[TNameSet::MaxNames];
    std::size_t count = 0, others = 0;
    for (std::size_t i = 0; i < names.Size(); ++i) {
        found[i] = false;
        if (FSimple && names.Simple(i))
            waiting[count++] = i;
        else
            alone[others++] = i;
    }
    // As in Find: the first child with the same units is the one, and a folder there means no
    // file.
    TChildReader children(FContent, 0);
    TChild child;
    while (count > 0 && children.Next(child)) {
        for (std::size_t j = 0; j < count;) {
            const std::size_t i = waiting[j];
            if (!QVCFPlain::SameSimpleName(child, names.Name(i), names.Key(i))) {
                ++j;
                continue;
            }
            if (!child.Folder) {
                found[i] = true;
                data[i] = DataOf(child);
            }
            // Settled: the last waiting name takes its place.
            waiting[j] = waiting[--count];
        }
    }
    for (std::size_t j = 0; j < others; ++j)
        found[alone[j]] = File(names.Name(alone[j]), data[alone[j]]);
}

bool TQVCFView::Folder(std::u16string_view name, const TVisit& visit) {
    TChild child;
    if (!Find(name, child) || !child.Folder)
        return false;
    TQVCFView folder(child.Content, FInnerSimple, FInnerSimple);
    visit(folder);
    return true;
}

void TQVCFView::Folders(const TVisitEach& visit, bool) {
    TChildReader children(FContent, 0);
    TChild child;
    for (std::size_t index = 0; children.Next(child); ++index) {
        if (!child.Folder)
            continue;
        TQVCFView folder(child.Content, FInnerSimple, FInnerSimple);
        visit(index, QVCFNames::Decode(child.Name, child.NameSize), folder);
    }
}

void TQVCFView::Read(const TQVCFFolder& folder, const TVisit& visit) {
    const std::string item = folder.Encode();
    TQVCFItemView view(reinterpret_cast<const std::uint8_t*>(item.data()), item.size(), 0);
    visit(view.Folder());
}

// ---- TQVCFItemView

TQVCFItemView::TQVCFItemView(const std::uint8_t* item, std::size_t size, int depth) {
    QVCFPlain::TItemParts parts;
    if (QVCFPlain::SplitItem(item, size, parts)) {
        if (parts.HasName)
            FName = QVCFNames::Decode(parts.Name, parts.NameSize);
        QVCFPlain::TShape shape;
        const bool folder = depth == 0 || parts.Type == "d";
        if (folder && CheckFolderContent(parts.Content, parts.ContentSize, depth, shape)) {
            FView.emplace(parts.Content, parts.ContentSize, shape);
            return;
        }
        const std::uint8_t* data;
        std::size_t dataSize;
        if (parts.Type == "f" && depth > 0 &&
            QVDER::ReadWholeElement(parts.Content, parts.ContentSize, QVDER::TagOctets, data,
                                    dataSize)) {
            FData = {reinterpret_cast<const char*>(data), dataSize};
            return;
        }
    }
    ReadTree(item, size, depth);
}

// The tree keeps the order stored, in which a reader visits the folders.
void TQVCFItemView::ReadTree(const std::uint8_t* item, std::size_t size, int depth) {
    std::unique_ptr<TQVCFItem> tree;
    if (depth == 0) {
        auto root = std::make_unique<TQVCFFolder>();
        root->SetSorted(false);
        root->LoadFromBuffer(item, static_cast<std::uint32_t>(size));
        tree = std::move(root);
    } else {
        tree = TQVCFItem::CreateFromBuffer(item, static_cast<std::uint32_t>(size), depth, false);
    }
    FName = tree->Name;
    if (!tree->IsFolder()) {
        FTreeData = static_cast<const TQVCFFile&>(*tree).Data;
        FData = FTreeData;
        return;
    }
    FPlain = TByteBuffer(tree->Encode());
    QVCFPlain::TItemParts parts;
    QVCFPlain::TShape shape;
    if (!QVCFPlain::SplitItem(FPlain.Data(), FPlain.Size(), parts) ||
        !CheckFolderContent(parts.Content, parts.ContentSize, depth, shape))
        throw EPACFError(CFMessages::InternalError);
    FView.emplace(parts.Content, parts.ContentSize, shape);
}
