#include "storage/container/QVCompoundFile.h"

#include <algorithm>
#include <cstring>

#include "platform/Stream.h"
#include "storage/QVException.h"
#include "storage/QVUtils.h"
#include "storage/container/QVCFBlockSink.h"
#include "storage/container/QVCFBodySource.h"
#include "storage/container/QVCFStream.h"
#include "storage/crypto/QVAES.h"
#include "storage/crypto/QVCRC.h"

namespace {

// Zero bytes, then the first min(length, 16) bytes of `bytes` over them; a key in a holder that
// wipes it.
TSecret MakeBlock(const void* bytes, std::uint32_t length) {
    TSecret block(16);
    if (bytes != nullptr)
        std::memcpy(block.data(), bytes, std::min<std::uint32_t>(length, 16));
    return block;
}

const std::uint8_t* Bytes(const TSecret& secret) {
    return reinterpret_cast<const std::uint8_t*>(secret.data());
}

// A read of the head that fell short: a file too short to be a container (the system's errors
// are raised by the read itself).
[[noreturn]] void ShortRead() {
    throw EPACFError(CFMessages::InvalidFile);
}

TSecret MakeKey(const TSecret& password) {
    return MakeBlock(password.data(), static_cast<std::uint32_t>(password.size()));
}

// Reads up to `count` bytes, never allocating much more than the stream really delivers: a
// stored length may claim anything. A stream that knows its size caps the read by what is left;
// one that does not (a pipe) is read in steps until it ends.
std::string ReadAtMost(TStream& stream, std::uint64_t count) {
    if (stream.SizeKnown()) {
        std::string bytes(static_cast<std::size_t>(std::min(count, stream.Remaining())), '\0');
        bytes.resize(stream.Read(bytes.data(), bytes.size()));
        return bytes;
    }
    constexpr std::uint64_t Step = 64 * 1024;
    std::string bytes;
    while (bytes.size() < count) {
        const auto step =
            static_cast<std::size_t>(std::min<std::uint64_t>(Step, count - bytes.size()));
        const std::size_t done = bytes.size();
        bytes.resize(done + step);
        const std::size_t read = stream.Read(bytes.data() + done, step);
        bytes.resize(done + read);
        if (read < step)
            break;
    }
    return bytes;
}

// ReadAtMost into a buffer of its own pages: a body is most of what an open holds at its peak.
TByteBuffer ReadBodyBytes(TStream& stream, std::uint64_t count) {
    if (!stream.SizeKnown())
        return TByteBuffer(ReadAtMost(stream, count));
    TByteBuffer bytes(static_cast<std::size_t>(std::min(count, stream.Remaining())));
    bytes.Truncate(stream.Read(bytes.Data(), bytes.Size()));
    return bytes;
}

} // namespace

TQVCompoundFile::TQVCompoundFile() : FRoot(std::make_unique<TQVCFFolder>()) {}

TQVCompoundFile::~TQVCompoundFile() = default;

bool TQVCompoundFile::EncryptBuffer(const void* inBuf, std::uint32_t len, void* outBuf,
                                    std::uint32_t& outLen, const void* key, std::uint32_t keyLen,
                                    const void* iv, std::uint32_t ivLen) {
    QVAES::TAESContext context;
    QVAES::InitEncrypt(context, Bytes(MakeBlock(key, keyLen)), Bytes(MakeBlock(iv, ivLen)));
    QVAES::Encrypt(context, inBuf, len, outBuf, outLen);
    return true;
}

bool TQVCompoundFile::DecryptBuffer(const void* inBuf, std::uint32_t len, void* outBuf,
                                    std::uint32_t& outLen, const void* key, std::uint32_t keyLen,
                                    const void* iv, std::uint32_t ivLen) {
    QVAES::TAESContext context;
    QVAES::InitDecrypt(context, Bytes(MakeBlock(key, keyLen)), Bytes(MakeBlock(iv, ivLen)));
    return QVAES::Decrypt(context, inBuf, len, outBuf, outLen);
}

TSecret TQVCompoundFile::Protect(std::uint8_t (&protection)[ProtectionSize]) {
    TSecret password;
    bool cancel = false;
    if (OnPassword)
        OnPassword(*this, password, cancel);
    if (cancel)
        throw EPACFError(CFMessages::InvalidKey);
    TSecret key = MakeKey(password);

    std::uint8_t* iv = protection + 1;
    std::uint8_t check[16];
    protection[0] = ProtectionAES128CFB;
    QVUtils::RandomBytes(iv, 16); // the IV is drawn first, then the check block
    QVUtils::RandomBytes(check, 16);
    std::uint32_t outLen = 16;
    EncryptBuffer(check, 16, protection + 17, outLen, key.data(), 16, iv, 16);
    QVUtils::PutUInt32LE(protection + 36, QVCRC::CRC32(check, 16));
    return key;
}

void TQVCompoundFile::WriteHead(TStream& stream, std::uint32_t bodyLength,
                                const std::uint8_t* protection) {
    if (Info.size() > UINT32_MAX - 4)
        throw EPACFError(CFMessages::InternalError);
    std::string head(HeaderSize + 4, '\0');
    auto* h = reinterpret_cast<std::uint8_t*>(head.data());
    QVUtils::PutUInt32LE(h, Magic);
    QVUtils::PutUInt32LE(h + 4, Version);
    QVUtils::PutUInt32LE(h + 8, static_cast<std::uint32_t>(4 + Info.size()));
    QVUtils::PutUInt32LE(h + 12, Protected ? ProtectionSize : 0);
    QVUtils::PutUInt32LE(h + 16, bodyLength);
    QVUtils::PutUInt32LE(h + 20, InfoMarker);
    head += Info;
    if (Protected)
        head.append(reinterpret_cast<const char*>(protection), ProtectionSize);
    stream.WriteBuffer(head.data(), head.size());
}

void TQVCompoundFile::SaveToStream(TStream& stream) {
    std::string body = FRoot->Encode();
    const auto bodyLength = static_cast<std::uint32_t>(body.size());

    std::uint8_t protection[ProtectionSize] = {};
    if (Protected) {
        const TSecret key = Protect(protection);
        // The body is a second pass that starts afresh from the same key and IV, in place.
        std::uint32_t outLen = bodyLength;
        EncryptBuffer(body.data(), bodyLength, body.data(), outLen, key.data(), 16, protection + 1,
                      16);
    }
    WriteHead(stream, bodyLength, protection);
    stream.WriteBuffer(body.data(), body.size());
}

void TQVCompoundFile::SaveToStream(TStream& stream, const TQVCFStreamedBody& body) {
    std::uint8_t protection[ProtectionSize] = {};
    QVAES::TAESContext cipher;
    if (Protected) {
        // The same second pass as above, run on through the blocks of the body.
        QVAES::InitEncrypt(cipher, Bytes(Protect(protection)), protection + 1);
    }
    WriteHead(stream, body.Size(), protection);
    TQVCFBlockSink sink(stream, Protected ? &cipher : nullptr);
    body.WriteTo(sink);
    sink.Finish();
}

std::uint32_t TQVCompoundFile::ReadInfoBlock(TStream& stream) {
    std::uint8_t header[HeaderSize];
    if (stream.Read(header, HeaderSize) != HeaderSize)
        ShortRead();
    if (QVUtils::GetUInt32LE(header) != Magic)
        throw EPACFError(CFMessages::InvalidFile);
    const std::uint32_t infoLength = QVUtils::GetUInt32LE(header + 8);
    const std::uint32_t protectionLength = QVUtils::GetUInt32LE(header + 12);
    const std::uint32_t bodyLength = QVUtils::GetUInt32LE(header + 16);

    // The info block starts with a marker number that nobody reads.
    const std::string infoBlock = ReadAtMost(stream, infoLength);
    Info = infoBlock.size() > 4 ? infoBlock.substr(4) : std::string();

    if (protectionLength != 0 && protectionLength != ProtectionSize)
        throw EPACFError(CFMessages::InvalidFile);
    Protected = protectionLength > 0;
    // Longer than any writer writes: refused before a byte of it is read.
    if (bodyLength > CFMaxBodyLength)
        throw EPACFError(CFMessages::InvalidFile);
    return bodyLength;
}

void TQVCompoundFile::ReadInfo(TStream& stream) {
    ReadInfoBlock(stream);
}

std::unique_ptr<TQVCFBodySource> TQVCompoundFile::ReadHead(TStream& stream) {
    const std::uint32_t bodyLength = ReadInfoBlock(stream);
    if (OnInfo)
        OnInfo(*this);

    // A stored length may claim more than the file holds: the body is what there is.
    const auto bodyFrom = [&stream, bodyLength](const std::uint8_t* key, const std::uint8_t* iv) {
        const std::uint64_t length = stream.SizeKnown()
                                         ? std::min<std::uint64_t>(bodyLength, stream.Remaining())
                                         : bodyLength;
        return std::make_unique<TQVCFBodySource>(stream, stream.Position(), length, key, iv);
    };
    if (!Protected)
        return bodyFrom(nullptr, nullptr);

    std::uint8_t protection[ProtectionSize];
    if (stream.Read(protection, ProtectionSize) != ProtectionSize)
        ShortRead();
    if (protection[0] != ProtectionAES128CFB)
        throw EPACFError(CFMessages::UnsupportedProtection);
    const std::uint8_t* iv = protection + 1;
    const std::uint32_t storedCRC = QVUtils::GetUInt32LE(protection + 36);

    // Ask until the check block decrypts to its checksum or the handler gives up. Without a
    // handler the empty password is the one attempt.
    TSecret password, key;
    for (bool first = true;; first = false) {
        bool cancel = false;
        if (OnPassword)
            OnPassword(*this, password, cancel);
        else if (!first)
            cancel = true;
        if (cancel)
            throw EPACFError(CFMessages::InvalidKey);
        // A handler that leaves the password alone is given the padded key back next time.
        key = MakeKey(password);
        password = key;
        std::uint8_t check[16];
        std::uint32_t outLen = 16;
        DecryptBuffer(protection + 17, 16, check, outLen, key.data(), 16, iv, 16);
        if (QVCRC::CRC32(check, 16) == storedCRC)
            break;
    }

    return bodyFrom(Bytes(key), iv);
}

TByteBuffer TQVCompoundFile::ReadBody(TStream& stream) {
    const std::unique_ptr<TQVCFBodySource> source = ReadHead(stream);
    // Decrypted in place, for the same reason.
    TByteBuffer body = ReadBodyBytes(stream, source->Length());
    source->Decrypt(body.Data(), body.Size());
    return body;
}

void TQVCompoundFile::LoadFromStream(TStream& stream) {
    if (FOpened)
        throw EPACFError(CFMessages::AlreadyOpened);
    FRoot->Clear();
    const TByteBuffer body = ReadBody(stream);
    FRoot->LoadFromBuffer(body.Data(), static_cast<std::uint32_t>(body.Size()));
    FFileName.clear();
    FOpened = true;
}

void TQVCompoundFile::ReadInPlace(TStream& stream, const TQVCFReader::TVisit& read,
                                  std::size_t runBytes) {
    if (FOpened)
        throw EPACFError(CFMessages::AlreadyOpened);
    if (!stream.SizeKnown())
        throw EPACFError(CFMessages::InternalError);
    FRoot->Clear();
    const TStream::TStamp before = stream.StillStamp();
    try {
        const std::unique_ptr<TQVCFBodySource> source = ReadHead(stream);
        TQVCFInPlaceFolder::ReadRoot(*source, read, runBytes);
    } catch (...) {
        // A file another program wrote meanwhile reads as damaged as often as not: that, not
        // the damage, is the cause to tell.
        stream.CheckUnchanged(before);
        throw;
    }
    stream.CheckUnchanged(before);
    FFileName.clear();
    FOpened = true;
}

void TQVCompoundFile::LoadFromFile(const std::string& fileName, bool ignoreErrors) {
    FRoot->Clear();
    try {
        TByteBuffer body;
        {
            TFileStream file(fileName, TFileMode::OpenRead);
            body = ReadBody(file);
        }
        FRoot->LoadFromBuffer(body.Data(), static_cast<std::uint32_t>(body.Size()));
    } catch (const Exception&) {
        if (!ignoreErrors)
            throw;
    }
    FFileName = fileName;
    FOpened = true;
}
