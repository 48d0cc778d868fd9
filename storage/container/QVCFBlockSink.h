#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class TStream;
namespace QVAES {
struct TAESContext;
}

// Bytes on their way to a stream, gathered into a block of a fixed size that is written out
// whenever it is full. With a cipher each block is encrypted first, the CFB pass running on from
// one block to the next, so the bytes are those of one pass over the whole.
class TQVCFBlockSink {
public:
    static constexpr std::size_t BlockSize = 256 * 1024;

    // `cipher`, when given, is a context set up for encrypting that the sink then uses until
    // Finish.
    TQVCFBlockSink(TStream& stream, QVAES::TAESContext* cipher);
    // Without Finish, the bytes not yet written are dropped.
    ~TQVCFBlockSink();
    TQVCFBlockSink(const TQVCFBlockSink&) = delete;
    TQVCFBlockSink& operator=(const TQVCFBlockSink&) = delete;

    // Room for `count` bytes (at most BlockSize) at the returned place; Advance then says where
    // they ended.
    std::uint8_t* Room(std::size_t count) {
        if (static_cast<std::size_t>(FEnd - FNext) < count)
            Flush();
        return FNext;
    }
    void Advance(std::uint8_t* end) { FNext = end; }
    void Put(const void* bytes, std::size_t count);
    // Writes the gathered bytes; raises EWriteError when the stream takes fewer.
    void Flush();
    // Writes everything given; raises as Flush does.
    void Finish();
    // Bytes given so far, written or not.
    std::uint64_t Count() const {
        return FHanded + static_cast<std::uint64_t>(FNext - FBlock.get());
    }

private:
    static constexpr std::uint64_t WriteBackStep = 4 << 20;

    TStream& FStream;
    QVAES::TAESContext* FCipher;
    std::unique_ptr<std::uint8_t[]> FBlock;
    std::uint8_t* FNext;
    std::uint8_t* FEnd;
    std::uint64_t FHanded = 0;
    std::uint64_t FWrittenBack = 0;
};
