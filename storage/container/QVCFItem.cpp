#include "storage/container/QVCFItem.h"

#include <cstring>

#include "storage/QVException.h"
#include "storage/asn1/QVDER.h"
#include "storage/container/QVCFEncode.h"

using namespace QVDER;

// ---- Writing ----

std::string TQVCFItem::Encode() const {
    const std::uint64_t exact = MeasureItem();
    if (exact > CFMaxBodyLength)
        throw EPACFError(CFMessages::InternalError);
    std::string bytes(exact, '\0');
    WriteItem(reinterpret_cast<std::uint8_t*>(bytes.data()));
    return bytes;
}

std::uint64_t TQVCFItem::MeasureItem() const {
    FContentSize = MeasureContent();
    FItemSize = QVCFEncode::ItemSize(Name.size(), FContentSize);
    return FItemSize;
}

std::uint8_t* TQVCFItem::WriteItem(std::uint8_t* out) const {
    return WriteContent(QVCFEncode::WriteItemHead(out, IsFolder(), Name, FContentSize));
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

void TQVCFItem::LoadFromBuffer(const std::uint8_t* buffer, std::uint32_t size) {
    TASN1MemoryInput input(buffer, size);
    LoadParts(QVCFDecode::ReadItem(input, 0, size, false), buffer, 0);
}

// An empty name SEQUENCE leaves the name as it is.
void TQVCFItem::LoadParts(const QVCFDecode::TItem& parts, const std::uint8_t* buffer, int depth) {
    if (parts.HasName)
        Name = parts.Name;
    LoadContent(buffer + parts.Content, parts.ContentSize, depth);
}

std::unique_ptr<TQVCFItem> TQVCFItem::CreateFromBuffer(const std::uint8_t* buffer,
                                                       std::uint32_t size, int depth, bool sorted) {
    TASN1MemoryInput input(buffer, size);
    const QVCFDecode::TItem parts = QVCFDecode::ReadItem(input, 0, size, true);
    std::unique_ptr<TQVCFItem> item;
    if (parts.Folder) {
        auto folder = std::make_unique<TQVCFFolder>();
        folder->SetSorted(sorted);
        item = std::move(folder);
    } else {
        item = std::make_unique<TQVCFFile>();
    }
    item->LoadParts(parts, buffer, depth);
    return item;
}

void TQVCFFile::LoadContent(const std::uint8_t* buffer, std::uint64_t size, int) {
    TASN1MemoryInput input(buffer, static_cast<std::size_t>(size));
    std::uint64_t data, dataSize;
    QVCFDecode::ReadFileData(input, 0, size, data, dataSize);
    Data.assign(reinterpret_cast<const char*>(buffer + data), static_cast<std::size_t>(dataSize));
}
