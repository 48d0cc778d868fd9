#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/Stream.h"

// A memory stream that takes at most `limit` bytes in all, as a full disk would.
class TFullStream : public TMemoryStream {
public:
    explicit TFullStream(std::size_t limit) : FLeft(limit) {}
    std::size_t Write(const void* buffer, std::size_t count) override {
        const std::size_t done = TMemoryStream::Write(buffer, std::min(count, FLeft));
        FLeft -= done;
        return done;
    }

private:
    std::size_t FLeft;
};
