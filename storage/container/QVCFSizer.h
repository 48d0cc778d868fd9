#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "storage/container/QVCFStream.h"
#include "storage/container/QVCFWriter.h"

// The sizes of the item encoding, shared by the two runs of a streamed body's writer.
namespace QVCFSizes {

// Raises EPACFError "Internal error": the writer wrote other items than it did when measured.
[[noreturn]] void InternalError();

// An item element: the one-octet type, the name as UTF-16LE and the content.
std::uint64_t ItemSize(std::size_t nameUnits, std::uint64_t contentSize);
// A file's content is its data in an OCTET STRING; a folder's a SEQUENCE of its children, each
// an item in an OCTET STRING. These are the whole elements of such items.
std::uint64_t FileItemElement(std::size_t nameUnits, std::uint64_t dataSize);
std::uint64_t FolderItemElement(std::size_t nameUnits, std::uint64_t children);
// The length of the decimal name of a list index.
std::size_t IndexNameUnits(int index);

} // namespace QVCFSizes

// The first run of a streamed body's writer: adds up a folder's children and notes the lists'
// sizes in the order they are written. The outermost list whose folders may be measured at the
// same time is shared out among threads, and its folders are cut into runs (TQVCFStreamedBody::
// TRun); the lists inside those are measured in turn.
class TQVCFSizer final : public TQVCFWriter {
public:
    using TSlot = TQVCFStreamedBody::TSlot;
    using TRun = TQVCFStreamedBody::TRun;

    // `runs`, for the sizer of the root, keeps the runs of the list it shares out.
    TQVCFSizer(std::vector<TSlot>& slots, std::vector<TRun>* runs)
        : FSlots(slots), FRuns(runs), FShared(runs == nullptr) {}

    std::uint64_t Children() const { return FChildren; }

    void File(std::u16string_view name, std::string_view data) override {
        FChildren += QVCFSizes::FileItemElement(name.size(), data.size());
    }
    void Text(std::u16string_view name, std::u16string_view text) override {
        FChildren += QVCFSizes::FileItemElement(name.size(), 2 * std::uint64_t(text.size()));
    }
    void List(std::u16string_view name, int count, const TWriteEach& write) override {
        Measure(name, count, write, false);
    }
    void ConcurrentList(std::u16string_view name, int count, const TWriteEach& write) override {
        Measure(name, count, write, !FShared && count >= 2);
    }

private:
    void Measure(std::u16string_view name, int count, const TWriteEach& write, bool share);
    // The folders measured in chunks by the threads and taken back in order, as measured in one
    // go; the runs are cut from their sizes, into `slot`.
    std::uint64_t MeasureShared(int count, const TWriteEach& write, TSlot& slot);

    std::vector<TSlot>& FSlots;
    std::vector<TRun>* FRuns;
    // Inside a list that threads share: its lists are measured in turn.
    bool FShared;
    std::uint64_t FChildren = 0;
};
