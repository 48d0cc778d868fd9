#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ByteBuffer.h"
#include "storage/QVSecret.h"
#include "storage/asn1/QVASN1Reader.h"

class TStream;

// A container's body read where it lies in its file, any part of it at any time. With CFB the
// feedback for a block is the ciphertext block before it, so a part decrypts from the block it
// starts in and the 16 stored bytes before that, without the rest of the body.
class TQVCFBodySource {
public:
    // The body is `length` bytes from `start` of `stream`, which must be seekable, lie within it
    // and stay open as long as this. `key` null: the body is stored plain.
    TQVCFBodySource(TStream& stream, std::uint64_t start, std::uint64_t length,
                    const std::uint8_t* key, const std::uint8_t* iv);
    TQVCFBodySource(const TQVCFBodySource&) = delete;
    TQVCFBodySource& operator=(const TQVCFBodySource&) = delete;

    std::uint64_t Length() const { return FLength; }

    // Body bytes [offset, offset + size), decrypted, into `out`; any thread may read. Raises
    // EPACFError "Internal error" for bytes outside the body, and the stream's read error when
    // they cannot be read (a file that is shorter now than when its head was read has changed).
    void Read(std::uint64_t offset, std::size_t size, std::uint8_t* out) const;
    // The whole body from its start, decrypted in place: what reading it at once gives.
    void Decrypt(std::uint8_t* body, std::size_t size) const;

private:
    const std::uint8_t* Key() const { return reinterpret_cast<const std::uint8_t*>(FKey.data()); }
    void ReadStored(std::uint64_t offset, std::size_t size, std::uint8_t* out) const;

    TStream& FStream;
    std::uint64_t FStart;
    std::uint64_t FLength;
    // Empty for a body stored plain.
    TSecret FKey;
    std::uint8_t FIV[16] = {};
};

// A body read a window at a time, for walking the heads of its items: each read takes the next
// few kilobytes from where it is asked, so the heads of many small items cost few reads, and the
// windows grow as a walk goes on, so a few large items cost little more than their heads. One
// thread's.
class TQVCFBodyWindow final : public TASN1Input {
public:
    explicit TQVCFBodyWindow(const TQVCFBodySource& source) : FSource(source) {}

    const std::uint8_t* At(std::uint64_t offset, std::size_t count,
                           std::size_t& available) override;
    // Body bytes [offset, offset + size) into `out`: what the window holds is copied, the rest
    // read, so that a walk that copies what it has read reads each byte once.
    void Copy(std::uint64_t offset, std::size_t size, std::uint8_t* out) const;

private:
    const TQVCFBodySource& FSource;
    TByteBuffer FBytes;
    std::uint64_t FFrom = 0;
    std::size_t FHave = 0;
    std::size_t FStep = 0;
};
