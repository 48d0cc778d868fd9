#include "storage/QVCFSizer.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "storage/QVDER.h"
#include "storage/QVException.h"

using namespace QVDER;

namespace QVCFSizes {

unsigned SharingThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 2u, 8u);
}

void InternalError() {
    throw EPACFError(CFMessages::InternalError);
}

std::uint64_t ItemSize(std::size_t nameUnits, std::uint64_t contentSize) {
    return ElementSize(ElementSize(1) + ElementSize(ElementSize(2 * std::uint64_t(nameUnits))) +
                       ElementSize(contentSize));
}

std::uint64_t FileItemElement(std::size_t nameUnits, std::uint64_t dataSize) {
    return ElementSize(ItemSize(nameUnits, ElementSize(dataSize)));
}

std::uint64_t FolderItemElement(std::size_t nameUnits, std::uint64_t children) {
    return ElementSize(ItemSize(nameUnits, ElementSize(children)));
}

std::size_t IndexNameUnits(int index) {
    std::size_t units = 1;
    for (auto value = static_cast<std::uint32_t>(index); value >= 10; value /= 10)
        ++units;
    return units;
}

} // namespace QVCFSizes

using namespace QVCFSizes;

void TQVCFSizer::Measure(std::u16string_view name, int count, const TWriteEach& write, bool share) {
    const std::size_t slot = FSlots.size();
    FSlots.emplace_back();
    std::uint64_t children = 0;
    if (share) {
        FSlots[slot].FirstRun = FRuns->size();
        children = MeasureShared(count, write);
        FSlots[slot].RunCount = FRuns->size() - FSlots[slot].FirstRun;
    } else {
        TMeasuredRun run{0, count, {}, 0, nullptr};
        MeasureRun(run, count, write, FSlots, FShared ? nullptr : FRuns);
        children = run.Children;
    }
    FSlots[slot].Children = children;
    FSlots[slot].Descendants = FSlots.size() - slot - 1;
    FChildren += FolderItemElement(name.size(), children);
}

void TQVCFSizer::MeasureRun(TMeasuredRun& run, int count, const TWriteEach& write,
                            std::vector<TSlot>& slots, std::vector<TRun>* runs) {
    int index = run.Index;
    for (int left = run.Folders; left > 0; --left, index = QVCFList::NextIndex(index, count)) {
        TQVCFSizer folder(slots, runs);
        write(index, folder);
        run.Children += FolderItemElement(IndexNameUnits(index), folder.Children());
    }
}

std::uint64_t TQVCFSizer::MeasureShared(int count, const TWriteEach& write) {
    const unsigned threads = SharingThreads();
    // Runs small enough that the encoder, which holds a few of them encoded at a time,
    // stays small beside the budget, and many enough to keep every thread busy.
    const int runCount = std::min(count, static_cast<int>(threads) * 32);
    std::vector<TMeasuredRun> runs(static_cast<std::size_t>(runCount));
    int index = 0;
    for (int r = 0; r < runCount; ++r) {
        TMeasuredRun& run = runs[static_cast<std::size_t>(r)];
        run.Index = index;
        run.Folders = static_cast<int>(std::int64_t{count} * (r + 1) / runCount -
                                       std::int64_t{count} * r / runCount);
        for (int i = 0; i < run.Folders; ++i)
            index = QVCFList::NextIndex(index, count);
    }
    std::atomic<int> next{0};
    const auto work = [&] {
        for (int r; (r = next++) < runCount;) {
            TMeasuredRun& run = runs[static_cast<std::size_t>(r)];
            try {
                MeasureRun(run, count, write, run.Slots, nullptr);
            } catch (...) {
                run.Error = std::current_exception();
            }
        }
    };
    std::vector<std::thread> helpers;
    try {
        for (unsigned t = 1; t < threads && static_cast<int>(t) < runCount; ++t)
            helpers.emplace_back(work);
    } catch (...) {
        // Fewer threads then; this one works through whatever is left.
    }
    work();
    for (std::thread& helper : helpers)
        helper.join();
    // The error a measure in turn would have met first.
    for (const TMeasuredRun& run : runs)
        if (run.Error)
            std::rethrow_exception(run.Error);
    std::uint64_t children = 0;
    for (const TMeasuredRun& run : runs) {
        FRuns->push_back({run.Index, run.Folders, run.Slots.size(), run.Children});
        FSlots.insert(FSlots.end(), run.Slots.begin(), run.Slots.end());
        children += run.Children;
    }
    return children;
}
