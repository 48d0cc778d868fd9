#include "storage/container/QVCFBodySource.h"

#include <algorithm>
#include <cstring>

#include "platform/Stream.h"
#include "storage/QVException.h"
#include "storage/crypto/QVAES.h"

TQVCFBodySource::TQVCFBodySource(TStream& stream, std::uint64_t start, std::uint64_t length,
                                 const std::uint8_t* key, const std::uint8_t* iv)
    : FStream(stream), FStart(start), FLength(length) {
    if (key != nullptr) {
        FKey = TSecret::View(reinterpret_cast<const char*>(key), 16);
        std::memcpy(FIV, iv, 16);
    }
}

void TQVCFBodySource::ReadStored(std::uint64_t offset, std::size_t size, std::uint8_t* out) const {
    if (offset > FLength || size > FLength - offset)
        throw EPACFError(CFMessages::InternalError);
    FStream.ReadBufferAt(FStart + offset, out, size);
}

void TQVCFBodySource::Read(std::uint64_t offset, std::size_t size, std::uint8_t* out) const {
    if (size == 0)
        return;
    if (FKey.empty()) {
        ReadStored(offset, size, out);
        return;
    }
    // The feedback register for the block the part starts in, and the bytes of that block
    // before the part, which run the register up to the part's first byte.
    const std::uint64_t block = offset & ~std::uint64_t{15};
    const auto lead = static_cast<std::size_t>(offset - block);
    std::uint8_t head[32];
    const std::size_t feedback = block == 0 ? 0 : 16;
    ReadStored(block - feedback, feedback + lead, head);
    QVAES::TAESContext context;
    QVAES::InitDecrypt(context, Key(), block == 0 ? FIV : head);
    std::uint32_t outLen = 16;
    std::uint8_t skipped[16];
    QVAES::Decrypt(context, head + feedback, static_cast<std::uint32_t>(lead), skipped, outLen);
    ReadStored(offset, size, out);
    outLen = static_cast<std::uint32_t>(size);
    QVAES::Decrypt(context, out, outLen, out, outLen);
}

void TQVCFBodySource::Decrypt(std::uint8_t* body, std::size_t size) const {
    if (FKey.empty())
        return;
    QVAES::TAESContext context;
    QVAES::InitDecrypt(context, Key(), FIV);
    auto outLen = static_cast<std::uint32_t>(size);
    QVAES::Decrypt(context, body, outLen, body, outLen);
}

namespace {

// A window's first read, and its largest.
constexpr std::size_t FirstWindow = 512;
constexpr std::size_t LastWindow = 64 * 1024;

} // namespace

const std::uint8_t* TQVCFBodyWindow::At(std::uint64_t offset, std::size_t count,
                                        std::size_t& available) {
    const std::uint64_t length = FSource.Length();
    if (offset < FFrom || offset + count > FFrom + FHave) {
        FStep = std::min(std::max({2 * FStep, FirstWindow, count}), std::max(LastWindow, count));
        FHave = static_cast<std::size_t>(std::min<std::uint64_t>(FStep, length - offset));
        if (FBytes.Size() < FHave)
            FBytes = TByteBuffer(std::max(FHave, LastWindow));
        FFrom = offset;
        FSource.Read(offset, FHave, FBytes.Data());
    }
    available = static_cast<std::size_t>(FFrom + FHave - offset);
    return FBytes.Data() + (offset - FFrom);
}

void TQVCFBodyWindow::Copy(std::uint64_t offset, std::size_t size, std::uint8_t* out) const {
    if (offset >= FFrom && offset < FFrom + FHave) {
        const std::size_t held = std::min(size, static_cast<std::size_t>(FFrom + FHave - offset));
        std::memcpy(out, FBytes.Data() + (offset - FFrom), held);
        offset += held;
        out += held;
        size -= held;
    }
    FSource.Read(offset, size, out);
}
