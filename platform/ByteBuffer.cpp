#include "platform/ByteBuffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Below this the heap serves as well, and a mapping would waste the rest of its last page.
constexpr std::size_t MapThreshold = 256 * 1024;

} // namespace

TByteBuffer::TByteBuffer(std::size_t size) : FSize(size), FCapacity(size) {
    if (size == 0)
        return;
    if (size >= MapThreshold) {
        // Populated in one call: the kernel fills the pages in a batch instead of one fault each.
        void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (pages == MAP_FAILED)
            throw std::bad_alloc();
        FData = static_cast<std::uint8_t*>(pages);
        FMapped = true;
    } else {
        FData = static_cast<std::uint8_t*>(::operator new(size));
    }
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
