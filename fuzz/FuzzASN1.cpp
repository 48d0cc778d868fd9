// Loads arbitrary bytes as a tag tree; whatever loads must save and reload consistently.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "storage/asn1/QVASN1.h"

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

std::string Save(const TASN1CustomTag& tag) {
    std::uint32_t size = 0;
    const bool empty = tag.SaveToBuffer(nullptr, size);
    Check(size == tag.TagSize());
    Check(empty == (size == 0));
    std::string out(size, '\0');
    if (size > 0) {
        std::uint32_t shortCapacity = size - 1;
        Check(!tag.SaveToBuffer(out.data(), shortCapacity) && shortCapacity == size);
    }
    std::uint32_t written = size;
    Check(tag.SaveToBuffer(out.data(), written) && written == size);
    return out;
}

// Whether every TagId in the subtree comes back unchanged as the identifier octet it is written
// as. A TagId formed from a long-form tag number may not: its low five bits may read as the
// long-form marker, 0x00 reads as an end-of-contents marker, and a primitive tag may carry the
// constructed bit. Only trees of such plain TagIds must reload exactly.
bool PlainTagIds(const TASN1CustomTag& tag) {
    if ((tag.TagId & 0x1F) == 0x1F || tag.TagId == 0x00)
        return false;
    if (!tag.IsConstrained())
        return (tag.TagId & 0x20) == 0;
    const auto& seq = static_cast<const TASN1ConstrainedTag&>(tag);
    for (int i = 0; i < seq.Count(); ++i)
        if (!PlainTagIds(*seq.GetField(i)))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TASN1ConstrainedTag holder;
    if (!holder.LoadFromBuffer(data, static_cast<std::uint32_t>(size)))
        return 0;
    for (int i = 0; i < holder.Count(); ++i) {
        const TASN1CustomTag& child = *holder.GetField(i);
        // The first generation normalises lengths (shortest definite forms; the end-of-contents
        // markers of indefinite tags are kept, stray ones dropped); from then on the encoding
        // must be a fixed point.
        const std::string first = Save(child);
        TASN1ConstrainedTag reloaded;
        const bool loaded =
            reloaded.LoadFromBuffer(first.data(), static_cast<std::uint32_t>(first.size()));
        if (!PlainTagIds(child)) {
            if (loaded && reloaded.Count() == 1)
                Save(*reloaded.GetField(0));
            continue;
        }
        Check(loaded && reloaded.Count() == 1);
        Check(Save(*reloaded.GetField(0)) == first);
    }
    return 0;
}
