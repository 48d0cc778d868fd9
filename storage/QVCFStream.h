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

// Bytes on their way to a stream, gathered into blocks of a fixed size. A thread of the sink's
// own writes the full blocks while the next ones are being filled. With a cipher each block is
// encrypted first, the CFB pass running on from one block to the next, so the bytes are those of
// one pass over the whole.
class TQVCFBlockSink {
public:
    static constexpr std::size_t BlockSize = 256 * 1024;

    // `cipher`, when given, is a context set up for encrypting that the sink's writer then uses
    // until Finish.
    TQVCFBlockSink(TStream& stream, QVAES::TAESContext* cipher);
    // Without Finish, the blocks not yet written are dropped.
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
    // Hands the gathered bytes on to be written. Raises the error that ended the writing
    // (EWriteError when the stream took fewer bytes), if one has.
    void Flush();
    // Writes everything given and waits for it; raises as Flush does.
    void Finish();
    // Bytes given so far, written or not.
    std::uint64_t Count() const { return FHanded + static_cast<std::uint64_t>(FNext - FBlock); }

private:
    class TWriter;

    std::unique_ptr<TWriter> FWriter;
    std::uint8_t* FBlock;
    std::uint8_t* FNext;
    std::uint8_t* FEnd;
    std::uint64_t FHanded = 0;
};

// A container body (the root folder's item encoding) written straight from the objects, never
// held as an item tree or as a whole: the same bytes as a tree that the writer had filled would
// encode to. The writer runs twice. The first run measures: it keeps only the content size of
// each list, in the order the lists are written. The second encodes: each folder's own items are
// gathered until the folder is complete, then put in their order and written out, the lists'
// folders one after another as they come. The root keeps its items in the order they are
// written, as an unsorted folder does.
//
// The folders of the outermost ConcurrentList (a budget's months) are shared out among threads
// in runs of consecutive folders, in both runs of the writer: the first keeps each run's sizes,
// and the second encodes the runs into memory a few ahead of the one being written out, so that
// what is held beside the budget stays a few runs' bytes.
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
        // A list whose folders threads measured at once: its runs, FirstRun and those after it.
        std::size_t FirstRun = 0;
        std::size_t RunCount = 0;
    };
    // A run of such a list: its first folder's index, how many folders, how many lists below
    // them and how many bytes they take.
    struct TRun {
        int Index = 0;
        int Folders = 0;
        std::size_t Slots = 0;
        std::uint64_t Bytes = 0;
    };

private:
    TWriteRoot FWriteRoot;
    std::vector<TSlot> FSlots;
    std::vector<TRun> FRuns;
    std::uint32_t FSize = 0;
};
