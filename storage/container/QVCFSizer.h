#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "storage/container/QVCFEncode.h"
#include "storage/container/QVCFWriter.h"

// What the two runs of a streamed body's writer share: the lists' measures and the runs that
// threads encode.
namespace QVCFSizes {

// A list's children, measured: the size of its content's SEQUENCE content and how many lists
// lie below it, which the encoder steps over to reach the list's next sibling.
struct TSlot {
    std::uint64_t Children = 0;
    std::size_t Descendants = 0;
    // A list whose folders threads measured at once: its runs, FirstRun and those after it, and
    // their size, past which a folder is a run of its own.
    std::size_t FirstRun = 0;
    std::size_t RunCount = 0;
    std::uint64_t RunBytes = 0;
};
// A run of such a list: its first folder's index, how many folders, how many lists below them
// and how many bytes they take.
struct TRun {
    int Index = 0;
    int Folders = 0;
    std::size_t Slots = 0;
    std::uint64_t Bytes = 0;
};
constexpr std::uint64_t MinRunBytes = 256 << 10;
constexpr std::uint64_t MaxRunBytes = 2 << 20;
// Threads that measure and encode a list's folders at once, at most.
constexpr unsigned MaxEncoders = 8;

} // namespace QVCFSizes

// The first run of a streamed body's writer: adds up a folder's children and notes the lists'
// sizes in the order they are written. The outermost list whose folders may be measured at the
// same time is shared out among threads, and its folders are cut into runs (QVCFSizes::TRun);
// the lists inside those are measured in turn.
class TQVCFSizer final : public TQVCFWriter {
public:
    using TSlot = QVCFSizes::TSlot;
    using TRun = QVCFSizes::TRun;

    // `runs`, for the sizer of the root, keeps the runs of the list it shares out; null inside a
    // list that threads share, whose lists are measured in turn.
    TQVCFSizer(std::vector<TSlot>& slots, std::vector<TRun>* runs) : FSlots(slots), FRuns(runs) {}

    std::uint64_t Children() const { return FChildren; }

    void File(std::u16string_view name, std::string_view data) override {
        FChildren += QVCFEncode::FileItemElement(name.size(), data.size());
    }
    void Text(std::u16string_view name, std::u16string_view text) override {
        FChildren += QVCFEncode::FileItemElement(name.size(), 2 * std::uint64_t(text.size()));
    }
    void List(std::u16string_view name, int count, const TWriteEach& write) override {
        Measure(name, count, write, false);
    }
    void ConcurrentList(std::u16string_view name, int count, const TWriteEach& write) override {
        Measure(name, count, write, FRuns != nullptr && count >= 2);
    }

private:
    void Measure(std::u16string_view name, int count, const TWriteEach& write, bool share);
    // The folders measured in chunks by the threads and taken back in order, as measured in one
    // go; the runs are cut from their sizes, into `slot`.
    std::uint64_t MeasureShared(int count, const TWriteEach& write, TSlot& slot);

    std::vector<TSlot>& FSlots;
    std::vector<TRun>* FRuns;
    std::uint64_t FChildren = 0;
};
