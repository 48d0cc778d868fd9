#include "storage/container/QVCFBlockSink.h"

#include <algorithm>
#include <cstring>

#include "platform/FileSystem.h"
#include "platform/Stream.h"
#include "storage/crypto/QVAES.h"

TQVCFBlockSink::TQVCFBlockSink(TStream& stream, QVAES::TAESContext* cipher)
    : FStream(stream), FCipher(cipher), FBlock(std::make_unique<std::uint8_t[]>(BlockSize)),
      FNext(FBlock.get()), FEnd(FBlock.get() + BlockSize) {}

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
    const auto length = static_cast<std::size_t>(FNext - FBlock.get());
    if (length == 0)
        return;
    if (FCipher != nullptr) {
        auto outLen = static_cast<std::uint32_t>(length);
        QVAES::Encrypt(*FCipher, FBlock.get(), static_cast<std::uint32_t>(length), FBlock.get(),
                       outLen);
    }
    FStream.WriteBuffer(FBlock.get(), length);
    FHanded += length;
    FNext = FBlock.get();
    // A file's bytes are handed to the disk every few megabytes as they are written, so that
    // the flush at the end of a save has little left to wait for.
    if (FHanded - FWrittenBack >= WriteBackStep) {
        FileSystem::StartWriteBack(FStream, FHanded - FWrittenBack);
        FWrittenBack = FHanded;
    }
}

void TQVCFBlockSink::Finish() {
    Flush();
}
