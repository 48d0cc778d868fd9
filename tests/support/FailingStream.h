#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/Stream.h"

// A memory stream that gives out after a set number of bytes, so tests can prove that a short
// write or read reaches the caller. The limits count all bytes transferred over the stream's
// life, wherever the position stands.
class TFailingStream : public TStream {
public:
    static constexpr std::size_t Unlimited = std::numeric_limits<std::size_t>::max();

    // `data` is the initial content; at most `writeLimit` bytes are accepted by Write and at most
    // `readLimit` bytes are delivered by Read, after which both return short counts.
    explicit TFailingStream(std::string data = {}, std::size_t writeLimit = Unlimited,
                            std::size_t readLimit = Unlimited);

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::uint64_t Position() const override { return FInner.Position(); }
    std::uint64_t Size() const override { return FInner.Size(); }
    void Seek(std::uint64_t position) override { FInner.Seek(position); }

    // What was accepted so far.
    const std::string& Data() const { return FInner.Data(); }
    std::size_t BytesWritten() const { return FWritten; }
    std::size_t BytesRead() const { return FRead; }

private:
    TMemoryStream FInner;
    std::size_t FWriteLimit;
    std::size_t FReadLimit;
    std::size_t FWritten = 0;
    std::size_t FRead = 0;
};
