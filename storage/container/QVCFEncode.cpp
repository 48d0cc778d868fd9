#include "storage/container/QVCFEncode.h"

#include "storage/asn1/QVDER.h"

using namespace QVDER;

namespace QVCFEncode {

std::uint64_t ItemSize(std::size_t nameUnits, std::uint64_t contentSize) {
    return ElementSize(ElementSize(1) + ElementSize(ElementSize(2 * std::uint64_t(nameUnits))) +
                       ElementSize(contentSize));
}

std::uint64_t FileItemElement(std::size_t nameUnits, std::uint64_t dataSize) {
    return ElementSize(ItemSize(nameUnits, ElementSize(dataSize)));
}

std::uint64_t FolderItemElement(std::size_t nameUnits, std::uint64_t children) {
    return ElementSize(ItemSize(nameUnits, ElementSize(children)));
}

std::size_t IndexNameUnits(int index) {
    std::size_t units = 1;
    for (auto value = static_cast<std::uint32_t>(index); value >= 10; value /= 10)
        ++units;
    return units;
}

std::uint8_t* WriteHeadBeforeName(std::uint8_t* out, bool folder, std::size_t nameUnits,
                                  std::uint64_t contentSize) {
    const std::uint64_t nameBytes = 2 * std::uint64_t(nameUnits);
    const std::uint64_t nameElement = ElementSize(nameBytes);
    out = WriteHeader(out, TagSequence,
                      ElementSize(1) + ElementSize(nameElement) + ElementSize(contentSize));
    out = WriteHeader(out, TagType, 1);
    *out++ = folder ? 'd' : 'f';
    out = WriteHeader(out, TagSequence, nameElement);
    return WriteHeader(out, TagName, nameBytes);
}

std::uint8_t* WriteItemHead(std::uint8_t* out, bool folder, std::u16string_view name,
                            std::uint64_t contentSize) {
    out = WriteHeadBeforeName(out, folder, name.size(), contentSize);
    out = PutUnits(out, name);
    return WriteHeader(out, TagOctets, contentSize);
}

} // namespace QVCFEncode
