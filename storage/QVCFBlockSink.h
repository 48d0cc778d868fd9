#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class TStream;
namespace QVAES {
struct TAESContext;
}

// Bytes on their way to a stream, gathered into blocks of a fixed size. A thread of the sink's
// own writes the full blocks while the next ones are being filled. With a cipher each block is
// encrypted first, the CFB pass running on from one block to the next, so the bytes are those of
// one pass over the whole.
class TQVCFBlockSink {
public:
    static constexpr std::size_t BlockSize = 256 * 1024;

    // `cipher`, when given, is a context set up for encrypting that the sink's writer then uses
    // until Finish.
    TQVCFBlockSink(TStream& stream, QVAES::TAESContext* cipher);
    // Without Finish, the blocks not yet written are dropped.
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
    // Hands the gathered bytes on to be written. Raises the error that ended the writing
    // (EWriteError when the stream took fewer bytes), if one has.
    void Flush();
    // Writes everything given and waits for it; raises as Flush does.
    void Finish();
    // Bytes given so far, written or not.
    std::uint64_t Count() const { return FHanded + static_cast<std::uint64_t>(FNext - FBlock); }

private:
    class TWriter;

    std::unique_ptr<TWriter> FWriter;
    std::uint8_t* FBlock;
    std::uint8_t* FNext;
    std::uint8_t* FEnd;
    std::uint64_t FHanded = 0;
};
