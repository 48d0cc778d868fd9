#pragma once

#include <cstddef>
#include <cstdint>

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
    ~TQVCFBodySource();
    TQVCFBodySource(const TQVCFBodySource&) = delete;
    TQVCFBodySource& operator=(const TQVCFBodySource&) = delete;

    std::uint64_t Length() const { return FLength; }
    bool Protected() const { return FProtected; }
    TStream& Stream() const { return FStream; }

    // Body bytes [offset, offset + size), decrypted, into `out`; any thread may read. Raises
    // EPACFError "Internal error" for bytes outside the body, and the stream's read error when
    // they cannot be read (a file that is shorter now than when its head was read has changed).
    void Read(std::uint64_t offset, std::size_t size, std::uint8_t* out) const;
    // The whole body from its start, decrypted in place: what reading it at once gives.
    void Decrypt(std::uint8_t* body, std::size_t size) const;

private:
    void ReadStored(std::uint64_t offset, std::size_t size, std::uint8_t* out) const;

    TStream& FStream;
    std::uint64_t FStart;
    std::uint64_t FLength;
    bool FProtected;
    std::uint8_t FKey[16] = {};
    std::uint8_t FIV[16] = {};
};
