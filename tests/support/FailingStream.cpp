#include "support/FailingStream.h"

#include <algorithm>

TFailingStream::TFailingStream(std::string data, std::size_t writeLimit, std::size_t readLimit)
    : FInner(std::move(data)), FWriteLimit(writeLimit), FReadLimit(readLimit) {}

std::size_t TFailingStream::Read(void* buffer, std::size_t count) {
    std::size_t allowed = std::min(count, FReadLimit - FRead);
    std::size_t done = FInner.Read(buffer, allowed);
    FRead += done;
    return done;
}

std::size_t TFailingStream::Write(const void* buffer, std::size_t count) {
    std::size_t allowed = std::min(count, FWriteLimit - FWritten);
    std::size_t done = FInner.Write(buffer, allowed);
    FWritten += done;
    return done;
}
