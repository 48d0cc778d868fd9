#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Exception.h"

// Sequential byte streams, the small subset of a stream class that the storage code needs.
// Read and Write move the position and return the number of bytes actually transferred; a short
// count is how a stream reports its end or a failure, and callers check it.
class TStream {
public:
    virtual ~TStream() = default;

    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual std::uint64_t Position() const = 0;
    virtual std::uint64_t Size() const = 0;
    virtual void Seek(std::uint64_t position) = 0;
    // Reads up to `count` bytes from `position`, as Seek and Read do; where the position stays
    // afterwards is left open.
    virtual std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t count);

    // False for a stream that cannot tell how much it holds (a pipe, a FIFO, a terminal): its
    // Size and Remaining then mean nothing, and readers take what comes until it ends.
    virtual bool SizeKnown() const { return true; }
    // Bytes between the position and the end; readers use it to bound their allocations.
    std::uint64_t Remaining() const;

    // Writes all of `count` bytes or raises EWriteError.
    inline void WriteBuffer(const void* buffer, std::size_t count);

protected:
    // Raises the EWriteError of a write that fell short.
    [[noreturn]] virtual void RaiseWriteError() const;
};

// A stream that took fewer bytes than it was given: a full disk, a closed pipe, a failing device.
// A file's error names the file and gives the system's reason, as its other errors do.
class EWriteError : public Exception {
public:
    EWriteError() : Exception("Stream write error") {}
    // `errorCode` 0: the system gave no reason.
    EWriteError(const std::string& fileName, int errorCode);
};

inline void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (Write(buffer, count) != count)
        RaiseWriteError();
}

// A growing in-memory stream.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : FData(std::move(bytes)) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::uint64_t Position() const override { return FPosition; }
    std::uint64_t Size() const override { return FData.size(); }
    void Seek(std::uint64_t position) override;

    const std::string& Data() const { return FData; }

private:
    std::string FData;
    std::size_t FPosition = 0;
};

enum class TFileMode {
    OpenRead, // existing file, read only
    Create,   // new or truncated file, read and write
};

// A file on disk. Opening failures raise EOSError; read and write failures show as short counts.
// A file opened for reading is a regular file: anything else (a FIFO, a device, a folder) is
// refused at once, never waited on.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode, unsigned permissions = 0644);
    // Takes over an open descriptor, so that a file created or checked through it is the one
    // used, whatever its name points at by then; `fileName` is for messages only.
    TFileStream(int handle, std::string fileName);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::uint64_t Position() const override;
    std::uint64_t Size() const override;
    void Seek(std::uint64_t position) override;
    // One request to the system, leaving the position alone.
    std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t count) override;
    // Only a regular file knows its size; pipes, FIFOs and devices report none.
    bool SizeKnown() const override;

    // Flushes the file's data to the disk (fsync); raises EOSError when that fails.
    void Flush();
    int Handle() const { return FHandle; }

protected:
    [[noreturn]] void RaiseWriteError() const override;

private:
    void OpenRegularFile();

    std::string FFileName; // for the messages of later failures
    int FHandle = -1;
    int FWriteError = 0; // errno of the last write that fell short
};
