#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// An owned run of bytes that is not cleared before use. Large runs take pages of their own,
// mapped at once and handed back to the system as soon as the buffer goes, so reading a file of
// many megabytes into one costs neither a pass of zeroing nor a page fault for every page it
// touches, and leaves no hole in the heap.
class TByteBuffer {
public:
    TByteBuffer() = default;
    // `size` bytes of unspecified content; raises std::bad_alloc when the memory is not there.
    explicit TByteBuffer(std::size_t size);
    // A copy of `bytes`.
    TByteBuffer(std::string_view bytes);
    TByteBuffer(const std::string& bytes) : TByteBuffer(std::string_view(bytes)) {}
    // Address room for `size` bytes whose pages come, small ones, only where bytes are written:
    // a reader that fills a few parts of a large run holds those parts alone. Parts not written
    // read as zero bytes.
    static TByteBuffer Reserve(std::size_t size);
    ~TByteBuffer();
    TByteBuffer(TByteBuffer&& other) noexcept;
    TByteBuffer& operator=(TByteBuffer&& other) noexcept;
    TByteBuffer(const TByteBuffer&) = delete;
    TByteBuffer& operator=(const TByteBuffer&) = delete;

    std::uint8_t* Data() { return FData; }
    const std::uint8_t* Data() const { return FData; }
    std::size_t Size() const { return FSize; }
    std::string_view View() const { return {reinterpret_cast<const char*>(FData), FSize}; }

    // Drops the bytes from `size` on; the memory stays the buffer's until it goes.
    void Truncate(std::size_t size);

private:
    void Free();

    std::uint8_t* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
    bool FMapped = false;
};
