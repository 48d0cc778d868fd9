#include "storage/asn1/QVASN1.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "storage/asn1/QVASN1Reader.h"

namespace {

// Number of octets in the shortest definite length form of n.
int LengthOctets(std::uint64_t n) {
    if (n < 0x80)
        return 1;
    int count = 1;
    while (n != 0) {
        ++count;
        n >>= 8;
    }
    return count;
}

// Size of the identifier and length octets, plus the end-of-contents marker when indefinite.
std::uint64_t Overhead(const TASN1CustomTag& tag, std::uint64_t contentSize) {
    if (!tag.WriteHeader)
        return 0;
    if (tag.UndefSize)
        return 1 + 1 + 2;
    return 1 + static_cast<std::uint64_t>(LengthOctets(contentSize));
}

std::uint8_t* WriteLengthBackward(std::uint8_t* p, std::uint64_t n) {
    if (n < 0x80) {
        *--p = static_cast<std::uint8_t>(n);
        return p;
    }
    std::uint8_t count = 0;
    while (n != 0) {
        *--p = static_cast<std::uint8_t>(n);
        n >>= 8;
        ++count;
    }
    *--p = static_cast<std::uint8_t>(0x80 | count);
    return p;
}

// Writes the header (and trailer) around contents that already occupy [contentStart, end).
std::uint8_t* WrapBackward(const TASN1CustomTag& tag, std::uint8_t* contentStart,
                           std::uint8_t* end) {
    if (!tag.WriteHeader)
        return contentStart;
    std::uint8_t* p = contentStart;
    if (tag.UndefSize) {
        // The contents were written two bytes early to leave room for the marker.
        end[-2] = 0x00;
        end[-1] = 0x00;
        *--p = 0x80;
    } else {
        p = WriteLengthBackward(p, static_cast<std::uint64_t>(end - contentStart));
    }
    *--p = tag.TagId;
    return p;
}

} // namespace

std::size_t TASN1DataSource::Read(std::size_t offset, void* buffer, std::size_t count) const {
    if (offset >= FBytes.size())
        return 0;
    const std::size_t n = std::min(count, FBytes.size() - offset);
    std::memcpy(buffer, FBytes.data() + offset, n);
    return n;
}

// ---- TASN1CustomTag

bool TASN1CustomTag::LoadFromBuffer(const void*, std::uint32_t) {
    return false;
}

bool TASN1CustomTag::SaveToBuffer(void*, std::uint32_t&) const {
    return false;
}

bool TASN1CustomTag::SaveEncoding(void* buffer, std::uint32_t& size) const {
    const std::uint64_t needed = TagSize();
    if (needed > size || (buffer == nullptr && needed > 0)) {
        size = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(needed, std::numeric_limits<std::uint32_t>::max()));
        return false;
    }
    if (needed > 0) {
        auto* end = static_cast<std::uint8_t*>(buffer) + needed;
        WriteBackward(end);
    }
    size = static_cast<std::uint32_t>(needed);
    return true;
}

// ---- TASN1SimpleTag

std::uint64_t TASN1SimpleTag::TagSize() const {
    const std::uint64_t content = FData.Size();
    return Overhead(*this, content) + content;
}

bool TASN1SimpleTag::SaveToBuffer(void* buffer, std::uint32_t& size) const {
    return SaveEncoding(buffer, size);
}

std::uint8_t* TASN1SimpleTag::WriteBackward(std::uint8_t* end) const {
    std::uint8_t* contentEnd = (WriteHeader && UndefSize) ? end - 2 : end;
    const std::string& bytes = FData.Value();
    std::uint8_t* p = contentEnd - bytes.size();
    if (!bytes.empty())
        std::memcpy(p, bytes.data(), bytes.size());
    return WrapBackward(*this, p, end);
}

// ---- TASN1ConstrainedTag

TASN1ConstrainedTag::~TASN1ConstrainedTag() = default;

std::uint64_t TASN1ConstrainedTag::TagSize() const {
    std::uint64_t content = 0;
    for (const auto& child : FChildren)
        content += child->TagSize();
    return Overhead(*this, content) + content;
}

bool TASN1ConstrainedTag::SaveToBuffer(void* buffer, std::uint32_t& size) const {
    return SaveEncoding(buffer, size);
}

std::uint8_t* TASN1ConstrainedTag::WriteBackward(std::uint8_t* end) const {
    std::uint8_t* p = (WriteHeader && UndefSize) ? end - 2 : end;
    for (auto it = FChildren.rbegin(); it != FChildren.rend(); ++it)
        p = (*it)->WriteBackward(p);
    return WrapBackward(*this, p, end);
}

int TASN1ConstrainedTag::AddField(bool constrained) {
    if (constrained)
        FChildren.push_back(std::make_unique<TASN1ConstrainedTag>());
    else
        FChildren.push_back(std::make_unique<TASN1SimpleTag>());
    return Count() - 1;
}

TASN1CustomTag* TASN1ConstrainedTag::GetField(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return FChildren[static_cast<std::size_t>(index)].get();
}

bool TASN1ConstrainedTag::LoadFromBuffer(const void* buffer, std::uint32_t size) {
    if (size == 0)
        return true;
    if (buffer == nullptr)
        return false;
    try {
        LoadTags(static_cast<const std::uint8_t*>(buffer), size);
        return true;
    } catch (...) {
        return false;
    }
}

// The reader walks the input as the tree is made of it; each tag becomes a child of the
// constructed tag open around it, or of this holder at the top.
void TASN1ConstrainedTag::LoadTags(const std::uint8_t* data, std::size_t size) {
    TASN1MemoryInput input(data, size);
    TASN1Reader reader(input, 0, size);
    std::array<TASN1ConstrainedTag*, ASN1MaxDepth> open{};
    TASN1Tag tag;
    while (reader.Next(tag)) {
        TASN1ConstrainedTag* parent =
            tag.Depth > 0 ? open[static_cast<std::size_t>(tag.Depth - 1)] : this;
        if (tag.Header.Constructed) {
            auto child = std::make_unique<TASN1ConstrainedTag>();
            child->TagId = tag.TagId;
            child->UndefSize = tag.Header.Indefinite;
            open[static_cast<std::size_t>(tag.Depth)] = child.get();
            parent->FChildren.push_back(std::move(child));
            continue;
        }
        const auto n = static_cast<std::size_t>(tag.Header.Size);
        const auto* bytes = reinterpret_cast<const char*>(data + tag.Content);
        // The tree keeps a BIT STRING as 0x00 followed by its data and gives an empty INTEGER the
        // value zero; both rules go by the TagId.
        std::string content;
        if (tag.TagId == 0x03) {
            content.reserve(n + 1);
            content.push_back('\0');
            content.append(bytes, n);
        } else if (tag.TagId == 0x02 && n == 0) {
            content.assign(1, '\0');
        } else {
            content.assign(bytes, n);
        }
        auto child = std::make_unique<TASN1SimpleTag>();
        child->TagId = tag.TagId;
        child->SetContent(std::move(content));
        parent->FChildren.push_back(std::move(child));
    }
}
