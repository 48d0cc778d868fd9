#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "storage/container/QVCFSizer.h"
#include "storage/container/QVCFWriter.h"

class TQVCFBlockSink;

// A container body (the root folder's item encoding) written straight from the objects, never
// held as an item tree or as a whole: the same bytes as a tree that the writer had filled would
// encode to. The writer runs twice. The first run measures: it keeps only the content size of
// each list, in the order the lists are written. The second encodes: each folder's own items are
// gathered until the folder is complete, then put in their order and written out, the lists'
// folders one after another as they come. The root keeps its items in the order they are
// written, as an unsorted folder does.
//
// The folders of the outermost ConcurrentList (a budget's months) are shared out among threads
// in both runs of the writer: the first measures them in chunks and cuts them into runs of
// consecutive folders, a sixty-fourth of the list each (QVCFSizes::MinRunBytes to MaxRunBytes),
// and the second encodes the runs into memory a few ahead of the one being written out, at most
// a few runs' bytes at a time. A folder larger than a run is encoded straight into the file when
// its turn comes, so that what a save holds beside the budget stays a few runs' bytes whatever
// the budget's shape.
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

private:
    TWriteRoot FWriteRoot;
    std::vector<QVCFSizes::TSlot> FSlots;
    std::vector<QVCFSizes::TRun> FRuns;
    std::uint32_t FSize = 0;
};
