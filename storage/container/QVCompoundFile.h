#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/ByteBuffer.h"
#include "platform/Stream.h"
#include "storage/QVSecret.h"
#include "storage/container/QVCFInPlace.h"
#include "storage/container/QVCFItem.h"

class TQVCFBodySource;
class TQVCFStreamedBody;

// The container of every data file: a 20-byte header, an info block carrying one byte string,
// an optional 40-byte protection block, and the root folder's item encoding as the body,
// AES-128-CFB encrypted when protected.
class TQVCompoundFile {
public:
    // Asked for the password when a protected container is written or read. Setting `cancel`
    // ends the operation with "Invalid key".
    using TPasswordEvent =
        std::function<void(TQVCompoundFile& sender, TSecret& password, bool& cancel)>;
    using TInfoEvent = std::function<void(TQVCompoundFile& sender)>;

    static constexpr std::uint32_t Magic = 0x1E0334F8;
    static constexpr std::uint32_t Version = 0x00010001;
    static constexpr std::uint32_t InfoMarker = 1000000;
    static constexpr std::uint32_t HeaderSize = 20;
    static constexpr std::uint32_t ProtectionSize = 40;
    static constexpr std::uint8_t ProtectionAES128CFB = 1;

    TQVCompoundFile();
    ~TQVCompoundFile();
    TQVCompoundFile(const TQVCompoundFile&) = delete;
    TQVCompoundFile& operator=(const TQVCompoundFile&) = delete;

    TQVCFFolder& Root() { return *FRoot; }
    const std::string& FileName() const { return FFileName; }

    bool Protected = false;
    std::string Info; // a budget keeps its 32-byte id here
    TPasswordEvent OnPassword;
    TInfoEvent OnInfo;

    // Writes the whole container at the stream's position. Raises EWriteError when the stream
    // takes fewer bytes than given, and "Invalid key" (before writing anything) when the
    // password handler cancels.
    void SaveToStream(TStream& stream);
    // The same container with the body that `body` writes in place of Root's, encoded (and
    // encrypted) block by block into the stream as it is written, never held whole.
    void SaveToStream(TStream& stream, const TQVCFStreamedBody& body);
    // Reads a container from the stream's position; raises "File already opened" on a second
    // read.
    void LoadFromStream(TStream& stream);
    // Reads the header, the info and protection blocks (asking for the password) from `stream`,
    // which must be seekable, and calls `read` with the root folder of the body, which is read
    // where it lies in the stream, part by part as the reader asks for them (TQVCFInPlaceFolder,
    // with runs of up to `runBytes`), never held whole; then reads what `read` left unread, so
    // that the body is checked to its end as LoadFromStream checks it. Raises EFileChanged, and
    // reads nothing, when the stream changed so lately that it may still be being written; and
    // when it was not one version from its first byte read to its last: another program wrote it
    // meanwhile, and what was read may mix two versions. Raises "File already opened" on a
    // second read.
    void ReadInPlace(TStream& stream, const TQVCFReader::TVisit& read,
                     std::size_t runBytes = TQVCFInPlaceFolder::RunBytes);
    // Reads the header and the info block from the stream's position and no more: Info and
    // Protected then tell what a read would find, and no password is asked for. Raises "Invalid
    // CF file" where a read would.
    void ReadInfo(TStream& stream);
    // Opens the named file and reads a container from it; with `ignoreErrors` a failure leaves
    // what was read so far and is not reported.
    void LoadFromFile(const std::string& fileName, bool ignoreErrors);

    // One CFB pass with a key and an IV padded with zero bytes (or cut) to 16 bytes.
    static bool EncryptBuffer(const void* inBuf, std::uint32_t len, void* outBuf,
                              std::uint32_t& outLen, const void* key, std::uint32_t keyLen,
                              const void* iv, std::uint32_t ivLen);
    static bool DecryptBuffer(const void* inBuf, std::uint32_t len, void* outBuf,
                              std::uint32_t& outLen, const void* key, std::uint32_t keyLen,
                              const void* iv, std::uint32_t ivLen);

private:
    // Header, info and protection block (asking for the password), up to the body: where it
    // lies and its key.
    std::unique_ptr<TQVCFBodySource> ReadHead(TStream& stream);
    // The header and the info block, setting Info and Protected; gives the body's stored length.
    std::uint32_t ReadInfoBlock(TStream& stream);
    // ReadHead and the body's bytes (decrypted); the body is decoded by the caller, after a file
    // has been closed.
    TByteBuffer ReadBody(TStream& stream);
    // Asks for the password and fills the protection block; gives the key the body is encrypted
    // with.
    TSecret Protect(std::uint8_t (&protection)[ProtectionSize]);
    // The header, the info block and, when protected, the protection block.
    void WriteHead(TStream& stream, std::uint32_t bodyLength, const std::uint8_t* protection);

    std::unique_ptr<TQVCFFolder> FRoot;
    bool FOpened = false;
    std::string FFileName;
};
