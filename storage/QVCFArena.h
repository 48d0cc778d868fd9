#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteBuffer.h"
#include "storage/QVCFPlain.h"

// The memory of one item tree: its items, the folders' child lists and the encoded bytes that
// folders read from a file refer to. Blocks come from large chunks and go back to free lists by
// size, so building a tree of half a million items costs a few hundred allocations instead of a
// million, and dropping the tree hands the chunks back in one sweep.
class TQVCFBodySource;

class TQVCFArena {
public:
    TQVCFArena() = default;
    ~TQVCFArena();
    TQVCFArena(const TQVCFArena&) = delete;
    TQVCFArena& operator=(const TQVCFArena&) = delete;

    // A block of at least `size` bytes, aligned for any item; give it back with the same size.
    void* Allocate(std::size_t size);
    void Release(void* block, std::size_t size);

    // Holds `bytes` for the arena's lifetime and returns where they now are.
    const std::uint8_t* Keep(TByteBuffer bytes);

    // TByteBuffer::Release for kept bytes [from, to), which lie in one kept buffer; returns where
    // the bytes still held start (`from` when they are in none).
    const std::uint8_t* ReleaseKept(const std::uint8_t* from, const std::uint8_t* to);

    // Frees every chunk and kept buffer; every block handed out so far is gone.
    void Reset();

    // The children of the packed folder content looked up last (Key is where that content
    // starts). A reader asks several values of one folder in a row; each then costs a pass over a
    // handful of names instead of over the encoding.
    struct TLookup {
        const std::uint8_t* Key = nullptr;
        // The children's PlainUnits are set (QVCFPlain::SetPlainUnits); simple content does
        // without them.
        bool Measured = false;
        std::vector<QVCFPlain::TChild> Children;
    };
    TLookup Lookup;

    // A tree read in place from its file (TQVCFFolder::LoadInPlace): the body's reserved run,
    // where only what has been read holds its bytes, and the contents of the large folders whose
    // sub-folders are still unread.
    struct TInPlace {
        const TQVCFBodySource* Source = nullptr;
        std::uint8_t* Base = nullptr;
        std::vector<const std::uint8_t*> Unread;
        bool IsUnread(const std::uint8_t* content) const {
            return Source != nullptr &&
                   std::find(Unread.begin(), Unread.end(), content) != Unread.end();
        }
    };
    TInPlace InPlace;

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
    // A buffer's bytes stay where they are when the buffer itself moves.
    std::vector<TByteBuffer> FKept;
};
