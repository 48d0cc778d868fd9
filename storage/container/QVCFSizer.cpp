#include "storage/container/QVCFSizer.h"

#include <algorithm>
#include <utility>

#include "platform/Workers.h"

using namespace QVCFEncode;
using namespace QVCFSizes;

void TQVCFSizer::Measure(std::u16string_view name, int count, const TWriteEach& write, bool share) {
    const std::size_t slot = FSlots.size();
    FSlots.emplace_back();
    std::uint64_t children = 0;
    if (share) {
        TSlot shared;
        shared.FirstRun = FRuns->size();
        children = MeasureShared(count, write, shared);
        shared.RunCount = FRuns->size() - shared.FirstRun;
        FSlots[slot].FirstRun = shared.FirstRun;
        FSlots[slot].RunCount = shared.RunCount;
        FSlots[slot].RunBytes = shared.RunBytes;
    } else {
        for (int index = 0; index < count; index = QVCFList::NextIndex(index, count)) {
            TQVCFSizer folder(FSlots, FRuns);
            write(index, folder);
            children += FolderItemElement(IndexNameUnits(index), folder.Children());
        }
    }
    FSlots[slot].Children = children;
    FSlots[slot].Descendants = FSlots.size() - slot - 1;
    FChildren += FolderItemElement(name.size(), children);
}

std::uint64_t TQVCFSizer::MeasureShared(int count, const TWriteEach& write, TSlot& slot) {
    // Consecutive folders in the list's order, with the lists below them and each one's size.
    struct TChunk {
        int Index = 0;
        int Folders = 0;
        std::vector<TSlot> Slots;
        std::vector<std::pair<std::uint64_t, std::size_t>> Sizes; // bytes and lists of each
    };
    const unsigned workers = Workers::ThreadsBeside(MaxEncoders);
    // Enough chunks to keep every thread busy, each measured at once.
    const int chunks = std::min(count, static_cast<int>(workers + 1) * 16);
    int made = 0, next = 0;
    std::vector<std::pair<std::uint64_t, std::size_t>> sizes;
    sizes.reserve(static_cast<std::size_t>(count));
    Workers::RunOrdered<TChunk>(
        workers, std::size_t{1} << 20,
        [&](TChunk& chunk, std::size_t& bytes) {
            if (made == chunks)
                return false;
            chunk.Index = next;
            chunk.Folders = static_cast<int>(std::int64_t{count} * (made + 1) / chunks -
                                             std::int64_t{count} * made / chunks);
            for (int i = 0; i < chunk.Folders; ++i)
                next = QVCFList::NextIndex(next, count);
            ++made;
            bytes = static_cast<std::size_t>(chunk.Folders) * sizeof(TSlot);
            return true;
        },
        [&](TChunk& chunk) {
            int index = chunk.Index;
            for (int i = 0; i < chunk.Folders; ++i, index = QVCFList::NextIndex(index, count)) {
                const std::size_t before = chunk.Slots.size();
                TQVCFSizer folder(chunk.Slots, nullptr);
                write(index, folder);
                chunk.Sizes.emplace_back(
                    FolderItemElement(IndexNameUnits(index), folder.Children()),
                    chunk.Slots.size() - before);
            }
        },
        [&](TChunk& chunk) {
            FSlots.insert(FSlots.end(), chunk.Slots.begin(), chunk.Slots.end());
            sizes.insert(sizes.end(), chunk.Sizes.begin(), chunk.Sizes.end());
        });

    // Runs of a sixty-fourth of the list: enough to share among the threads and few enough bytes
    // to hold a few of them beside a small budget.
    std::uint64_t children = 0;
    for (const auto& [bytes, slots] : sizes)
        children += bytes;
    slot.RunBytes = std::clamp(children / 64, MinRunBytes, MaxRunBytes);
    TRun run;
    const auto close = [this, &run] {
        if (run.Folders > 0)
            FRuns->push_back(run);
        run = TRun();
    };
    int index = 0;
    for (const auto& [bytes, slots] : sizes) {
        // A folder larger than a run is a run of its own; the others fill runs in turn.
        if (bytes > slot.RunBytes || run.Bytes + bytes > slot.RunBytes)
            close();
        if (run.Folders == 0)
            run.Index = index;
        ++run.Folders;
        run.Slots += slots;
        run.Bytes += bytes;
        if (bytes > slot.RunBytes)
            close();
        index = QVCFList::NextIndex(index, count);
    }
    close();
    return children;
}
