#include "storage/QVCFBlockSink.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/QVAES.h"

// The thread that writes the full blocks, in the order given. Without a thread (the system
// would not start one) each block is written as it is handed on.
class TQVCFBlockSink::TWriter {
public:
    static constexpr std::size_t Blocks = 4;
    // A file's bytes are handed to the disk every few megabytes as they are written, so that
    // the flush at the end of a save has little left to wait for.
    static constexpr std::uint64_t WriteBackStep = 4 << 20;

    TWriter(TStream& stream, QVAES::TAESContext* cipher) : FStream(stream), FCipher(cipher) {
        for (std::size_t i = 0; i < Blocks; ++i) {
            FBlocks.push_back(std::make_unique<std::uint8_t[]>(BlockSize));
            FEmpty.push_back(FBlocks.back().get());
        }
        try {
            FThread = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            // Written on the caller's thread instead.
        }
    }
    ~TWriter() {
        if (FThread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(FLock);
                FAbandon = true;
            }
            FChanged.notify_all();
            FThread.join();
        }
    }
    TWriter(const TWriter&) = delete;
    TWriter& operator=(const TWriter&) = delete;

    // A block to fill.
    std::uint8_t* Take() {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this] { return !FEmpty.empty() || FError; });
        if (FError)
            std::rethrow_exception(FError);
        std::uint8_t* block = FEmpty.back();
        FEmpty.pop_back();
        return block;
    }
    // Queues `length` bytes of a block that Take gave.
    void Give(std::uint8_t* block, std::size_t length) {
        if (!FThread.joinable()) {
            Write(block, length);
            FEmpty.push_back(block);
            return;
        }
        {
            const std::lock_guard<std::mutex> lock(FLock);
            FFull.emplace_back(block, length);
        }
        FChanged.notify_all();
    }
    // Waits until every queued block is written.
    void Finish() {
        if (FThread.joinable()) {
            {
                const std::lock_guard<std::mutex> lock(FLock);
                FDone = true;
            }
            FChanged.notify_all();
            FThread.join();
        }
        if (FError)
            std::rethrow_exception(FError);
    }

private:
    void Write(std::uint8_t* block, std::size_t length) {
        if (FCipher != nullptr) {
            auto outLen = static_cast<std::uint32_t>(length);
            QVAES::Encrypt(*FCipher, block, static_cast<std::uint32_t>(length), block, outLen);
        }
        FStream.WriteBuffer(block, length);
        FWritten += length;
        if (FWritten - FWrittenBack >= WriteBackStep) {
            FileSystem::StartWriteBack(FStream, FWritten - FWrittenBack);
            FWrittenBack = FWritten;
        }
    }

    void Run() {
        for (;;) {
            std::pair<std::uint8_t*, std::size_t> block;
            {
                std::unique_lock<std::mutex> lock(FLock);
                FChanged.wait(lock, [this] { return !FFull.empty() || FDone || FAbandon; });
                if (FAbandon || FFull.empty())
                    return;
                block = FFull.front();
                FFull.pop_front();
            }
            try {
                Write(block.first, block.second);
            } catch (...) {
                // The first failure ends the writing; the caller meets it at its next block.
                {
                    const std::lock_guard<std::mutex> lock(FLock);
                    FError = std::current_exception();
                }
                FChanged.notify_all();
                return;
            }
            {
                const std::lock_guard<std::mutex> lock(FLock);
                FEmpty.push_back(block.first);
            }
            FChanged.notify_all();
        }
    }

    TStream& FStream;
    QVAES::TAESContext* FCipher;
    std::vector<std::unique_ptr<std::uint8_t[]>> FBlocks;
    std::uint64_t FWritten = 0;
    std::uint64_t FWrittenBack = 0;

    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::uint8_t*> FEmpty;
    std::deque<std::pair<std::uint8_t*, std::size_t>> FFull;
    std::exception_ptr FError;
    bool FDone = false;
    bool FAbandon = false;
    // Last: it starts once everything above is ready.
    std::thread FThread;
};

TQVCFBlockSink::TQVCFBlockSink(TStream& stream, QVAES::TAESContext* cipher)
    : FWriter(std::make_unique<TWriter>(stream, cipher)), FBlock(FWriter->Take()), FNext(FBlock),
      FEnd(FBlock + BlockSize) {}

TQVCFBlockSink::~TQVCFBlockSink() = default;

void TQVCFBlockSink::Put(const void* bytes, std::size_t count) {
    const auto* from = static_cast<const std::uint8_t*>(bytes);
    while (count > 0) {
        if (FNext == FEnd)
            Flush();
        const std::size_t step = std::min(count, static_cast<std::size_t>(FEnd - FNext));
        std::memcpy(FNext, from, step);
        FNext += step;
        from += step;
        count -= step;
    }
}

void TQVCFBlockSink::Flush() {
    const auto length = static_cast<std::size_t>(FNext - FBlock);
    if (length == 0)
        return;
    FWriter->Give(FBlock, length);
    FHanded += length;
    FBlock = FNext = FWriter->Take();
    FEnd = FBlock + BlockSize;
}

void TQVCFBlockSink::Finish() {
    Flush();
    FWriter->Finish();
}
