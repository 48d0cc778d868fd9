#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ByteBuffer.h"
#include "storage/QVCFItem.h"
#include "storage/QVCFPlain.h"

class TQVCFBodySource;

// Reads the sub-folders of a folder left unread in its file, in the order they are stored, on a
// thread of its own: each is read, decrypted and checked while the one before it is built from.
// Two buffers are used in turn, so what is held is two sub-folders, whatever the folder's size.
class TQVCFFolderReader {
public:
    struct TRead {
        TByteBuffer Bytes;
        QVCFPlain::TShape Shape;
    };

    // `folders` lie in the body at their Content - `base`; `stored` lists them in the order to
    // read. All must outlive the reader.
    TQVCFFolderReader(const TQVCFBodySource& source, const std::uint8_t* base,
                      const std::vector<TQVCFFolder::TPackedFolder>& folders,
                      const std::vector<std::size_t>& stored);
    // Stops the thread, at once if the folders are not all read.
    ~TQVCFFolderReader();
    TQVCFFolderReader(const TQVCFFolderReader&) = delete;
    TQVCFFolderReader& operator=(const TQVCFFolderReader&) = delete;

    // The `k`-th folder to read, once it is read: valid until Done(k). Raises what reading it
    // raised: EPACFReadAgain when it is not in the plain form.
    const TRead& Take(std::size_t k);
    // The reader's buffer of the `k`-th folder is free again.
    void Done(std::size_t k);

private:
    struct TSlot {
        TRead Read;
        std::size_t Index = SIZE_MAX; // the folder it holds, once read
        std::exception_ptr Error;
    };

    void Run();
    void ReadInto(std::size_t k, TSlot& slot) const;

    const TQVCFBodySource& FSource;
    const std::uint8_t* FBase;
    const std::vector<TQVCFFolder::TPackedFolder>& FFolders;
    const std::vector<std::size_t>& FStored;
    TSlot FSlots[2];
    std::mutex FLock;
    std::condition_variable FChanged;
    std::size_t FDone = 0; // folders the caller is done with
    bool FStop = false;
    std::thread FThread;
};
