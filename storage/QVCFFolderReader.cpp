#include "storage/QVCFFolderReader.h"

#include <algorithm>
#include <system_error>

#include "storage/QVCFBodySource.h"

TQVCFFolderReader::TQVCFFolderReader(const TQVCFBodySource& source, const std::uint8_t* base,
                                     const std::vector<TQVCFFolder::TPackedFolder>& folders,
                                     const std::vector<std::size_t>& stored, std::size_t slots)
    : FSource(source), FBase(base), FFolders(folders), FStored(stored),
      FSlots(std::max<std::size_t>(slots, 2)) {
    try {
        FThread = std::thread(&TQVCFFolderReader::Run, this);
    } catch (const std::system_error&) {
        // No thread to be had: Take reads each folder itself.
    }
}

TQVCFFolderReader::~TQVCFFolderReader() {
    Stop();
    if (FThread.joinable())
        FThread.join();
}

void TQVCFFolderReader::Stop() {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
    }
    FChanged.notify_all();
}

void TQVCFFolderReader::ReadInto(std::size_t k, TSlot& slot) const {
    const TQVCFFolder::TPackedFolder& folder = FFolders[FStored[k]];
    TRead& read = slot.Read;
    try {
        // Pages of their own, not the heap of this thread's allocator, which would keep them
        // once the reader has ended.
        if (read.Bytes.Size() < folder.Size)
            read.Bytes =
                TByteBuffer::Reserve(std::max<std::size_t>(folder.Size, 2 * read.Bytes.Size()));
        FSource.Read(static_cast<std::uint64_t>(folder.Content - FBase), folder.Size,
                     read.Bytes.Data());
        // The sub-folders of a child of the root, at depth 2.
        read.Shape = QVCFPlain::TShape();
        if (!QVCFPlain::CheckFolderContent(read.Bytes.Data(), folder.Size, 2, read.Shape))
            throw EPACFReadAgain();
        slot.Error = nullptr;
    } catch (...) {
        slot.Error = std::current_exception();
    }
}

void TQVCFFolderReader::Run() {
    for (std::size_t k = 0; k < FStored.size(); ++k) {
        TSlot& slot = FSlots[k % FSlots.size()];
        {
            // The slot is free once its caller is done with the folder read into it before.
            std::unique_lock<std::mutex> lock(FLock);
            FChanged.wait(lock, [this, &slot] { return FStop || slot.Free; });
            if (FStop)
                return;
            slot.Free = false;
        }
        ReadInto(k, slot);
        const bool failed = slot.Error != nullptr;
        {
            const std::lock_guard<std::mutex> lock(FLock);
            slot.Index = k;
            if (failed)
                FFailed = k;
        }
        FChanged.notify_all();
        if (failed)
            return;
    }
}

const TQVCFFolderReader::TRead* TQVCFFolderReader::Take(std::size_t k) {
    TSlot& slot = FSlots[k % FSlots.size()];
    if (!FThread.joinable()) {
        // Read here: with one caller taking the folders in order, as DrainFolders does then.
        ReadInto(k, slot);
    } else {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this, &slot, k] { return FStop || slot.Index == k || FFailed < k; });
        if (slot.Index != k)
            return nullptr;
    }
    if (slot.Error != nullptr)
        std::rethrow_exception(slot.Error);
    return &slot.Read;
}

void TQVCFFolderReader::Done(std::size_t k) {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        TSlot& slot = FSlots[k % FSlots.size()];
        slot.Index = SIZE_MAX;
        slot.Free = true;
    }
    FChanged.notify_all();
}
