#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/Exception.h"

struct stat;

// Sequential byte streams, the small subset of a stream class that the storage code needs.
// Read and Write move the position and return the number of bytes actually transferred. A short
// read means the stream ended; a read that the system fails raises EReadError at once, from the
// call that met it, so each of several threads reading one stream is told its own failure. A
// short write is how a write fails (WriteBuffer raises it).
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
    // Reads all of `count` bytes from `position`, planned from a size the caller knew: a stream
    // that ends first has become shorter meanwhile, and raises EFileChanged.
    void ReadBufferAt(std::uint64_t position, void* buffer, std::size_t count);

    // False for a stream that cannot tell how much it holds (a pipe, a FIFO, a terminal): its
    // Size and Remaining then mean nothing, and readers take what comes until it ends.
    virtual bool SizeKnown() const { return true; }
    // Bytes between the position and the end; readers use it to bound their allocations.
    std::uint64_t Remaining() const;

    // Writes all of `count` bytes or raises EWriteError.
    inline void WriteBuffer(const void* buffer, std::size_t count);

    // What tells one version of the stream's bytes from another; the same stamp before and after
    // a read means the read saw one version, unless it is Recent. A stream in memory never
    // changes under its reader.
    struct TStamp {
        std::uint64_t Device = 0, Inode = 0, Size = 0;
        std::int64_t Modified = 0, Changed = 0; // in nanoseconds since 1970, as the system's clock
        bool operator==(const TStamp&) const = default;

        // A file's, from what stat tells of it.
        static TStamp Of(const struct stat& info);
        // Whether the last change (Modified or Changed) lies within RecentWindow of now. A write
        // sets the times as it goes, so one still under way can go on writing under the times a
        // reader sees before and after its read: only once the times are older than the file
        // times' granularity, with some room, do equal stamps mean one version. A time further
        // ahead of the clock was set on purpose or by another machine's clock, not by a write
        // under way, and would never age.
        bool Recent() const;
    };
    static constexpr std::int64_t RecentWindow = 50'000'000; // ns; file times tick every few ms
    // For times in whole seconds: a file system that keeps no finer ones.
    static constexpr std::int64_t CoarseRecentWindow = 2'000'000'000;
    virtual TStamp Stamp() const { return {}; }
    // The stamp to read one version under: raises EFileChanged when the last change is Recent,
    // as a write may still be under way.
    TStamp StillStamp() const;
    // Raises EFileChanged when the stream's stamp is no longer `before`.
    void CheckUnchanged(const TStamp& before) const;

protected:
    // Raises the EWriteError of a write that fell short.
    [[noreturn]] virtual void RaiseWriteError() const;
    // Raises EFileChanged.
    [[noreturn]] virtual void RaiseChanged() const;
};

// A stream that took fewer bytes than it was given: a full disk, a closed pipe, a failing device.
// A file's error names the file and gives the system's reason, as its other errors do.
class EWriteError : public Exception {
public:
    EWriteError() : Exception("Stream write error") {}
    // `errorCode` 0: the system gave no reason.
    EWriteError(const std::string& fileName, int errorCode);
};

// A read that the system failed: a failing disk or a lost network folder. It names the file and
// gives the system's reason; as any failed system call, it is an EOSError, so that those who
// take an unreadable file as absent do so whether its open or a read failed.
class EReadError : public EOSError {
public:
    EReadError(const std::string& fileName, int errorCode);
};

// A file that another program wrote while it was being read: what was read is of no one version.
class EFileChanged : public Exception {
public:
    explicit EFileChanged(const std::string& fileName);
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
    // Leaves the position alone, so that readers on several threads may share the stream.
    std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t count) override;

    const std::string& Data() const { return FData; }

private:
    std::string FData;
    std::size_t FPosition = 0;
};

enum class TFileMode {
    OpenRead, // existing file, read only
    Create,   // new or truncated file, read and write
};

// A file on disk. Opening failures raise EOSError, read failures EReadError; write failures show
// as short counts.
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
    // One request to the system, leaving the position alone; readers on several threads may
    // share the stream.
    std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t count) override;
    // Only a regular file knows its size; pipes, FIFOs and devices report none.
    bool SizeKnown() const override;
    // The file's device, inode, size and modification and change times; raises EOSError when
    // the system cannot tell them.
    TStamp Stamp() const override;

    // Flushes the file's data to the disk (fsync); raises EOSError when that fails.
    void Flush();
    int Handle() const { return FHandle; }

protected:
    [[noreturn]] void RaiseWriteError() const override;
    [[noreturn]] void RaiseChanged() const override;

private:
    void OpenRegularFile();

    std::string FFileName; // for the messages of later failures
    int FHandle = -1;
    int FWriteError = 0; // errno of the last write that fell short
};
