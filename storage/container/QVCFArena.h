#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The memory of one item tree: its items and the folders' child lists. Blocks come from large
// chunks and go back to free lists by size, so building a tree of half a million items costs a few
// hundred allocations instead of a million, and dropping the tree hands the chunks back in one
// sweep.
class TQVCFArena {
public:
    TQVCFArena() = default;
    ~TQVCFArena();
    TQVCFArena(const TQVCFArena&) = delete;
    TQVCFArena& operator=(const TQVCFArena&) = delete;

    // A block of at least `size` bytes, aligned for any item; give it back with the same size.
    void* Allocate(std::size_t size);
    void Release(void* block, std::size_t size);

    // Frees every chunk; every block handed out so far is gone.
    void Reset();

private:
    static constexpr std::size_t Granule = 16;
    static constexpr std::size_t MaxPooled = 4096;
    static constexpr std::size_t FirstChunk = 4096;
    static constexpr std::size_t LastChunk = 1u << 20;

    struct TFreeBlock {
        TFreeBlock* Next;
    };

    void* NewChunk(std::size_t size);

    TFreeBlock* FFree[MaxPooled / Granule + 1] = {};
    std::vector<void*> FChunks;
    std::uint8_t* FNext = nullptr;
    std::uint8_t* FEnd = nullptr;
    std::size_t FChunkSize = FirstChunk;
};
