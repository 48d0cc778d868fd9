#include "storage/container/QVCFArena.h"

#include <algorithm>
#include <new>

TQVCFArena::~TQVCFArena() {
    Reset();
}

void* TQVCFArena::Allocate(std::size_t size) {
    const std::size_t rounded = (std::max<std::size_t>(size, 1) + Granule - 1) & ~(Granule - 1);
    if (rounded > MaxPooled)
        return ::operator new(rounded);
    TFreeBlock*& free = FFree[rounded / Granule];
    if (free != nullptr) {
        TFreeBlock* block = free;
        free = block->Next;
        return block;
    }
    if (static_cast<std::size_t>(FEnd - FNext) < rounded) {
        FNext = static_cast<std::uint8_t*>(NewChunk(FChunkSize));
        FEnd = FNext + FChunkSize;
        FChunkSize = std::min(FChunkSize * 2, LastChunk);
    }
    void* block = FNext;
    FNext += rounded;
    return block;
}

void TQVCFArena::Release(void* block, std::size_t size) {
    if (block == nullptr)
        return;
    const std::size_t rounded = (std::max<std::size_t>(size, 1) + Granule - 1) & ~(Granule - 1);
    if (rounded > MaxPooled) {
        ::operator delete(block);
        return;
    }
    auto* free = static_cast<TFreeBlock*>(block);
    free->Next = FFree[rounded / Granule];
    FFree[rounded / Granule] = free;
}

void* TQVCFArena::NewChunk(std::size_t size) {
    FChunks.reserve(FChunks.size() + 1);
    void* chunk = ::operator new(size);
    FChunks.push_back(chunk);
    return chunk;
}

void TQVCFArena::Reset() {
    for (void* chunk : FChunks)
        ::operator delete(chunk);
    FChunks.clear();
    FChunks.shrink_to_fit();
    std::fill(std::begin(FFree), std::end(FFree), nullptr);
    FNext = FEnd = nullptr;
    FChunkSize = FirstChunk;
}
