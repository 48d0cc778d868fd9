#include "storage/container/QVCFItem.h"

#include <cstring>

#include "storage/asn1/QVASN1.h"
#include "storage/container/QVCFArena.h"
#include "storage/container/QVCFPlain.h"
#include "storage/asn1/QVDER.h"
#include "storage/QVException.h"

using namespace QVDER;

namespace {

std::uint64_t NameBytes(const std::u16string& name) {
    return 2 * std::uint64_t(name.size());
}

void CheckFits(std::uint64_t needed, std::uint32_t capacity) {
    if (needed > capacity)
        throw EPACFError(CFMessages::InternalError);
}

} // namespace

// ---- Writing ----

std::uint64_t TQVCFItem::ItemEstimate() const {
    return ContentEstimate() + GetTypeTag().size() + NameBytes(Name) + 32;
}

bool TQVCFItem::SaveContentToBuffer(std::uint8_t* buffer, std::uint32_t& size) const {
    if (size == 0) {
        size = static_cast<std::uint32_t>(ContentEstimate());
        return false;
    }
    const std::uint64_t exact = MeasureContent();
    CheckFits(exact, size);
    WriteContent(buffer);
    size = static_cast<std::uint32_t>(exact);
    return true;
}

bool TQVCFItem::SaveToBuffer(std::uint8_t* buffer, std::uint32_t& size) const {
    if (size == 0) {
        size = static_cast<std::uint32_t>(ItemEstimate());
        return false;
    }
    const std::uint64_t exact = MeasureItem();
    CheckFits(exact, size);
    WriteItem(buffer);
    size = static_cast<std::uint32_t>(exact);
    return true;
}

std::string TQVCFItem::Encode() const {
    const std::uint64_t exact = MeasureItem();
    // Stored sizes are 32-bit; a tree beyond that cannot be written.
    if (exact > UINT32_MAX)
        throw EPACFError(CFMessages::InternalError);
    std::string bytes(exact, '\0');
    WriteItem(reinterpret_cast<std::uint8_t*>(bytes.data()));
    return bytes;
}

std::uint64_t TQVCFItem::MeasureItem() const {
    FContentSize = MeasureContent();
    FItemSize = ElementSize(ElementSize(GetTypeTag().size()) +
                            ElementSize(ElementSize(NameBytes(Name))) + ElementSize(FContentSize));
    return FItemSize;
}

std::uint8_t* TQVCFItem::WriteItem(std::uint8_t* out) const {
    const std::string_view tag = GetTypeTag();
    const std::uint64_t nameElement = ElementSize(NameBytes(Name));
    out =
        WriteHeader(out, TagSequence,
                    ElementSize(tag.size()) + ElementSize(nameElement) + ElementSize(FContentSize));
    out = WriteHeader(out, TagType, tag.size());
    std::memcpy(out, tag.data(), tag.size());
    out += tag.size();
    out = WriteHeader(out, TagSequence, nameElement);
    out = WriteHeader(out, TagName, NameBytes(Name));
    for (char16_t unit : Name) {
        *out++ = static_cast<std::uint8_t>(unit & 0xFF);
        *out++ = static_cast<std::uint8_t>(unit >> 8);
    }
    out = WriteHeader(out, TagOctets, FContentSize);
    return WriteContent(out);
}

std::uint64_t TQVCFFile::ContentEstimate() const {
    return Data.size() + 16;
}

std::uint64_t TQVCFFile::MeasureContent() const {
    return ElementSize(Data.size());
}

std::uint8_t* TQVCFFile::WriteContent(std::uint8_t* out) const {
    out = WriteHeader(out, TagOctets, Data.size());
    std::memcpy(out, Data.data(), Data.size());
    return out + Data.size();
}

// ---- Reading ----

namespace {

using QVCFPlain::TItemParts;

// The tag tree of an item encoding: exactly one constructed SEQUENCE at the top.
const TASN1ConstrainedTag& ParseItem(TASN1ConstrainedTag& holder, const std::uint8_t* buffer,
                                     std::uint32_t size) {
    if (!holder.LoadFromBuffer(buffer, size))
        throw EPACFError(CFMessages::ItemReadError);
    if (holder.Count() != 1 || !holder.GetField(0)->CheckType(TagSequence, true))
        throw EPACFError(CFMessages::InvalidItem);
    return static_cast<const TASN1ConstrainedTag&>(*holder.GetField(0));
}

const std::string& ContentOf(const TASN1CustomTag* tag) {
    return static_cast<const TASN1SimpleTag&>(*tag).Content();
}

const std::uint8_t* Bytes(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

} // namespace

void TQVCFItem::LoadFromBuffer(const std::uint8_t* buffer, std::uint32_t size) {
    TItemParts parts;
    if (QVCFPlain::SplitItem(buffer, size, parts)) {
        LoadFromParts(parts.HasName, parts.Name, parts.NameSize, parts.Content, parts.ContentSize,
                      0);
        return;
    }
    TASN1ConstrainedTag holder;
    LoadFromTree(ParseItem(holder, buffer, size), 0);
}

void TQVCFItem::LoadContentFromBuffer(const std::uint8_t* buffer, std::uint32_t size) {
    LoadContent(buffer, size, 0);
}

// Checks the three parts of an item element, reads the name and decodes the content.
void TQVCFItem::LoadFromTree(const TASN1ConstrainedTag& item, int depth) {
    if (item.Count() != 3 || !item.GetField(0)->CheckType(TagType, false) ||
        !item.GetField(1)->CheckType(TagSequence, true) ||
        !item.GetField(2)->CheckType(TagOctets, false))
        throw EPACFError(CFMessages::InvalidItem);
    const auto& names = static_cast<const TASN1ConstrainedTag&>(*item.GetField(1));
    // Only the first element of the name SEQUENCE counts, and it must be a name.
    if (names.Count() > 0 && !names.GetField(0)->CheckType(TagName, false))
        throw EPACFError(CFMessages::InvalidItem);
    const std::string* name = names.Count() > 0 ? &ContentOf(names.GetField(0)) : nullptr;
    const std::string& content = ContentOf(item.GetField(2));
    LoadFromParts(name != nullptr, name ? Bytes(*name) : nullptr, name ? name->size() : 0,
                  Bytes(content), content.size(), depth);
}

// An empty name SEQUENCE leaves the name as it is.
void TQVCFItem::LoadFromParts(bool hasName, const std::uint8_t* name, std::size_t nameSize,
                              const std::uint8_t* content, std::size_t contentSize, int depth) {
    if (hasName)
        Name = QVCFPlain::DecodeName(name, nameSize);
    LoadContent(content, static_cast<std::uint32_t>(contentSize), depth);
}

std::unique_ptr<TQVCFItem> TQVCFItem::CreateFromBuffer(const std::uint8_t* buffer,
                                                       std::uint32_t size, int depth) {
    return std::unique_ptr<TQVCFItem>(CreateFromBufferAt(nullptr, buffer, size, depth));
}

namespace {

// A new item of the kind the type tag names, in `arena` (or made with new without one).
TQVCFItem* NewItemOfType(TQVCFArena* arena, std::string_view typeTag) {
    if (typeTag != "f" && typeTag != "d")
        throw EPACFError(CFMessages::UnknownItemType);
    const bool folder = typeTag == "d";
    if (arena == nullptr)
        return folder ? static_cast<TQVCFItem*>(new TQVCFFolder()) : new TQVCFFile();
    if (folder)
        return new (arena->Allocate(sizeof(TQVCFFolder))) TQVCFFolder();
    return new (arena->Allocate(sizeof(TQVCFFile))) TQVCFFile();
}

void DestroyItem(TQVCFArena* arena, TQVCFItem* item) {
    if (arena == nullptr) {
        delete item;
        return;
    }
    const std::size_t size = item->IsFolder() ? sizeof(TQVCFFolder) : sizeof(TQVCFFile);
    item->~TQVCFItem();
    arena->Release(item, size);
}

} // namespace

TQVCFItem* TQVCFItem::CreateFromBufferAt(TQVCFArena* arena, const std::uint8_t* buffer,
                                         std::uint32_t size, int depth) {
    TItemParts parts;
    TASN1ConstrainedTag holder;
    const TASN1ConstrainedTag* item = nullptr;
    if (!QVCFPlain::SplitItem(buffer, size, parts)) {
        item = &ParseItem(holder, buffer, size);
        // The kind is decided before the name element is looked at.
        if (item->Count() != 3 || !item->GetField(0)->CheckType(TagType, false) ||
            !item->GetField(2)->CheckType(TagOctets, false))
            throw EPACFError(CFMessages::InvalidItem);
        parts.Type = ContentOf(item->GetField(0));
    }
    TQVCFItem* result = NewItemOfType(arena, parts.Type);
    if (result->FIsFolder)
        static_cast<TQVCFFolder*>(result)->FArena = arena;
    try {
        if (item != nullptr)
            result->LoadFromTree(*item, depth);
        else
            result->LoadFromParts(parts.HasName, parts.Name, parts.NameSize, parts.Content,
                                  parts.ContentSize, depth);
    } catch (...) {
        DestroyItem(arena, result);
        throw;
    }
    return result;
}

void TQVCFFile::LoadContent(const std::uint8_t* buffer, std::uint32_t size, int) {
    const std::uint8_t* data;
    std::size_t dataSize;
    if (ReadWholeElement(buffer, size, TagOctets, data, dataSize)) {
        Data.assign(reinterpret_cast<const char*>(data), dataSize);
        return;
    }
    TASN1ConstrainedTag holder;
    if (!holder.LoadFromBuffer(buffer, size) || holder.Count() != 1 ||
        !holder.GetField(0)->CheckType(TagOctets, false))
        throw EPACFError(CFMessages::InvalidFile);
    Data = static_cast<const TASN1SimpleTag&>(*holder.GetField(0)).Content();
}
