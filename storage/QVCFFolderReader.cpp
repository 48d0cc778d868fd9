#include "storage/QVCFFolderReader.h"

#include <algorithm>
#include <system_error>

#include "storage/QVCFBodySource.h"

TQVCFFolderReader::TQVCFFolderReader(const TQVCFBodySource& source, const std::uint8_t* base,
                                     const std::vector<TQVCFFolder::TPackedFolder>& folders,
                                     const std::vector<std::size_t>& stored)
    : FSource(source), FBase(base), FFolders(folders), FStored(stored) {
    try {
        FThread = std::thread(&TQVCFFolderReader::Run, this);
    } catch (const std::system_error&) {
        // No thread to be had: Take reads each folder itself.
    }
}

TQVCFFolderReader::~TQVCFFolderReader() {
    if (!FThread.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    FThread.join();
}

void TQVCFFolderReader::ReadInto(std::size_t k, TSlot& slot) const {
    const TQVCFFolder::TPackedFolder& folder = FFolders[FStored[k]];
    TRead& read = slot.Read;
    try {
        if (read.Bytes.Size() < folder.Size)
            read.Bytes = TByteBuffer(std::max<std::size_t>(folder.Size, 2 * read.Bytes.Size()));
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
        TSlot& slot = FSlots[k % 2];
        {
            // The slot is free once the caller is done with the folder read into it before.
            std::unique_lock<std::mutex> lock(FLock);
            FChanged.wait(lock, [this, k] { return FStop || k < FDone + 2; });
            if (FStop)
                return;
        }
        ReadInto(k, slot);
        const bool failed = slot.Error != nullptr;
        {
            const std::lock_guard<std::mutex> lock(FLock);
            slot.Index = k;
        }
        FChanged.notify_all();
        if (failed)
            return;
    }
}

const TQVCFFolderReader::TRead& TQVCFFolderReader::Take(std::size_t k) {
    TSlot& slot = FSlots[k % 2];
    if (!FThread.joinable()) {
        ReadInto(k, slot);
    } else {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [&slot, k] { return slot.Index == k; });
    }
    if (slot.Error != nullptr)
        std::rethrow_exception(slot.Error);
    return slot.Read;
}

void TQVCFFolderReader::Done(std::size_t k) {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FDone = k + 1;
    }
    FChanged.notify_all();
}
