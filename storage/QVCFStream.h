#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "storage/QVCFWriter.h"

class TStream;
namespace QVAES {
struct TAESContext;
}

// Bytes on their way to a stream, gathered into blocks of a fixed size. With a cipher each block
// is encrypted before it is written, the CFB pass running on from one block to the next, so the
// bytes are those of one pass over the whole.
class TQVCFBlockSink {
public:
    static constexpr std::size_t BlockSize = 64 * 1024;

    // `cipher`, when given, is a context set up for encrypting that the sink then uses.
    TQVCFBlockSink(TStream& stream, QVAES::TAESContext* cipher);
    ~TQVCFBlockSink();
    TQVCFBlockSink(const TQVCFBlockSink&) = delete;
    TQVCFBlockSink& operator=(const TQVCFBlockSink&) = delete;

    // Room for `count` bytes (at most BlockSize) at the returned place; Advance then says where
    // they ended.
    std::uint8_t* Room(std::size_t count) {
        if (static_cast<std::size_t>(FEnd - FNext) < count)
            Flush();
        return FNext;
    }
    void Advance(std::uint8_t* end) { FNext = end; }
    void Put(const void* bytes, std::size_t count);
    // Writes the gathered bytes; raises EWriteError when the stream takes fewer.
    void Flush();
    // Bytes given so far, written or not.
    std::uint64_t Count() const { return FFlushed + static_cast<std::uint64_t>(FNext - FBlock); }

private:
    TStream& FStream;
    QVAES::TAESContext* FCipher;
    std::uint8_t* FBlock;
    std::uint8_t* FNext;
    std::uint8_t* FEnd;
    std::uint64_t FFlushed = 0;
    // A file's bytes are handed to the disk every few megabytes as they are written, so that
    // the flush at the end of a save has little left to wait for.
    static constexpr std::uint64_t WriteBackStep = 4 << 20;
    std::uint64_t FWrittenBack = 0;
};

// A container body (the root folder's item encoding) written straight from the objects, never
// held as an item tree or as a whole: the same bytes as a tree that the writer had filled would
// encode to. The writer runs twice. The first run measures: it keeps only the content size of
// each list, in the order the lists are written. The second encodes: each folder's own items are
// gathered until the folder is complete, then put in their order and written out, the lists'
// folders one after another as they come. The root keeps its items in the order they are
// written, as an unsorted folder does.
class TQVCFStreamedBody {
public:
    using TWriteRoot = std::function<void(TQVCFWriter& root)>;

    // Measures the body: `writeRoot` runs once here, and what it raises passes on. It must write
    // the same items on its second run.
    explicit TQVCFStreamedBody(TWriteRoot writeRoot);
    ~TQVCFStreamedBody();

    std::uint32_t Size() const { return FSize; }
    // Runs the writer again and puts the body's bytes into `sink`. Raises EPACFError "Internal
    // error" when the writer wrote other items than it did when measured.
    void WriteTo(TQVCFBlockSink& sink) const;

    // A list's children, measured: the size of its content's SEQUENCE content and how many lists
    // lie below it, which the encoder steps over to reach the list's next sibling.
    struct TSlot {
        std::uint64_t Children = 0;
        std::size_t Descendants = 0;
    };

private:
    TWriteRoot FWriteRoot;
    std::vector<TSlot> FSlots;
    std::uint32_t FSize = 0;
};
