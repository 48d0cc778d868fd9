#include "platform/ByteBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Below this the heap serves as well, and a mapping would waste the rest of its last page.
constexpr std::size_t MapThreshold = 256 * 1024;
constexpr std::size_t HugePage = 2 * 1024 * 1024;

} // namespace

TByteBuffer::TByteBuffer(std::size_t size) : FSize(size), FCapacity(size) {
    if (size == 0)
        return;
    if (size >= MapThreshold) {
        // Huge pages where the system lends them: a few faults instead of thousands, and fewer
        // misses of the address cache while the bytes are parsed. The run starts on a huge-page
        // boundary, so none of it falls back to small pages at the edges.
        const std::size_t length = (size + HugePage - 1) & ~(HugePage - 1);
        void* pages = ::mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages == MAP_FAILED)
            throw std::bad_alloc();
        auto* base = static_cast<std::uint8_t*>(pages);
        auto* aligned = reinterpret_cast<std::uint8_t*>(
            (reinterpret_cast<std::uintptr_t>(base) + HugePage - 1) & ~(HugePage - 1));
        if (aligned != base)
            ::munmap(base, static_cast<std::size_t>(aligned - base));
        ::munmap(aligned + length, static_cast<std::size_t>(base + HugePage - aligned));
        FData = aligned;
        FCapacity = length;
        FMapped = true;
        // Both are hints: without them the pages come one fault at a time, as from the heap.
        ::madvise(FData, length, MADV_HUGEPAGE);
        ::madvise(FData, length, MADV_POPULATE_WRITE);
    } else {
        FData = static_cast<std::uint8_t*>(::operator new(size));
    }
}

TByteBuffer TByteBuffer::Reserve(std::size_t size) {
    TByteBuffer buffer;
    if (size == 0)
        return buffer;
    void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (pages == MAP_FAILED)
        throw std::bad_alloc();
    buffer.FData = static_cast<std::uint8_t*>(pages);
    buffer.FSize = buffer.FCapacity = size;
    buffer.FMapped = true;
    // A huge page would bring in 2 MiB around every small part written. A hint only.
    ::madvise(pages, size, MADV_NOHUGEPAGE);
    return buffer;
}

TByteBuffer::TByteBuffer(std::string_view bytes) : TByteBuffer(bytes.size()) {
    if (!bytes.empty())
        std::memcpy(FData, bytes.data(), bytes.size());
}

TByteBuffer::~TByteBuffer() {
    Free();
}

TByteBuffer::TByteBuffer(TByteBuffer&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)),
      FCapacity(std::exchange(other.FCapacity, 0)), FMapped(std::exchange(other.FMapped, false)) {}

TByteBuffer& TByteBuffer::operator=(TByteBuffer&& other) noexcept {
    if (this != &other) {
        Free();
        FData = std::exchange(other.FData, nullptr);
        FSize = std::exchange(other.FSize, 0);
        FCapacity = std::exchange(other.FCapacity, 0);
        FMapped = std::exchange(other.FMapped, false);
    }
    return *this;
}

void TByteBuffer::Truncate(std::size_t size) {
    FSize = std::min(FSize, size);
}

void TByteBuffer::Free() {
    if (FData == nullptr)
        return;
    if (FMapped)
        ::munmap(FData, FCapacity);
    else
        ::operator delete(FData);
    FData = nullptr;
    FSize = FCapacity = 0;
    FMapped = false;
}
