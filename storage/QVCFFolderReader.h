#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ByteBuffer.h"
#include "storage/QVCFItem.h"
#include "storage/QVCFPlain.h"

class TQVCFBodySource;

// Reads the sub-folders of a folder left unread in its file, in the order they are stored, on a
// thread of its own: each is read, decrypted and checked while those before it are built from.
// A few buffers are used in turn, so what is held is a few sub-folders, whatever the folder's
// size. Its callers may take the folders on several threads at once.
class TQVCFFolderReader {
public:
    struct TRead {
        TByteBuffer Bytes;
        QVCFPlain::TShape Shape;
    };

    // `folders` lie in the body at their Content - `base`; `stored` lists them in the order to
    // read; `slots` (at least 2) of them may be read and not yet done with. All must outlive the
    // reader.
    TQVCFFolderReader(const TQVCFBodySource& source, const std::uint8_t* base,
                      const std::vector<TQVCFFolder::TPackedFolder>& folders,
                      const std::vector<std::size_t>& stored, std::size_t slots);
    // Stops the thread, at once if the folders are not all read.
    ~TQVCFFolderReader();
    TQVCFFolderReader(const TQVCFFolderReader&) = delete;
    TQVCFFolderReader& operator=(const TQVCFFolderReader&) = delete;

    // The `k`-th folder to read, once it is read: valid until Done(k). Raises what reading it
    // raised: EPACFReadAgain when it is not in the plain form. Null once Stop was called, or
    // when a folder before it failed: the caller that took that one reports it.
    const TRead* Take(std::size_t k);
    // The reader's buffer of the `k`-th folder is free again.
    void Done(std::size_t k);
    // Ends the reading; every Take waiting or to come gives null.
    void Stop();
    // False when no thread was to be had: Take then reads, and the folders must be taken in
    // order by one caller.
    bool Threaded() const { return FThread.joinable(); }

private:
    struct TSlot {
        TRead Read;
        std::size_t Index = SIZE_MAX; // the folder it holds, once read
        bool Free = true;
        std::exception_ptr Error;
    };

    void Run();
    void ReadInto(std::size_t k, TSlot& slot) const;

    const TQVCFBodySource& FSource;
    const std::uint8_t* FBase;
    const std::vector<TQVCFFolder::TPackedFolder>& FFolders;
    const std::vector<std::size_t>& FStored;
    std::vector<TSlot> FSlots;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::size_t FFailed = SIZE_MAX; // the first folder whose reading failed
    bool FStop = false;
    std::thread FThread;
};
