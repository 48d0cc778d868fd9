#include "platform/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/Exception.h"

namespace {

// Calls `call` again for as long as a signal interrupts it (EINTR) before it has done anything.
template <class TCall> auto Retry(TCall call) {
    for (;;) {
        const auto result = call();
        if (result >= 0 || errno != EINTR)
            return result;
    }
}

// Moves `count` bytes by calling `step(done)` (one read or write of the rest, after `done` bytes)
// until all are moved or a call moves none; the bytes moved, with `error` the errno that stopped
// it short, 0 when the stream ended.
template <class TStep> std::size_t Transfer(std::size_t count, int& error, TStep step) {
    std::size_t done = 0;
    error = 0;
    while (done < count) {
        const ssize_t n = Retry([&] { return step(done); });
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

} // namespace

EWriteError::EWriteError(const std::string& fileName, int errorCode)
    : Exception("Stream write error in file \"" + fileName + "\"" +
                (errorCode != 0 ? ": " + SystemErrorMessage(errorCode) : std::string())) {}

EReadError::EReadError(const std::string& fileName, int errorCode)
    : EOSError(errorCode, "Stream read error in file \"" + fileName + "\"") {}

EFileChanged::EFileChanged(const std::string& fileName)
    : Exception("Cannot open file \"" + fileName +
                "\": another program changed it while it was being read") {}

void TStream::RaiseWriteError() const {
    throw EWriteError();
}

void TStream::RaiseChanged() const {
    throw EFileChanged("stream");
}

namespace {

constexpr std::int64_t Second = 1'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
    return time.tv_sec * Second + time.tv_nsec;
}

} // namespace

TStream::TStamp TStream::TStamp::Of(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size), Nanoseconds(info.st_mtim),
            Nanoseconds(info.st_ctim)};
}

bool TStream::TStamp::Recent() const {
    // The clock the system sets file times by.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t at = Nanoseconds(now);
    // A file system that keeps whole seconds (or two, as FAT does) shows a change up to that
    // long before it was made.
    constexpr std::int64_t Second = 1'000'000'000;
    const std::int64_t window =
        Modified % Second == 0 && Changed % Second == 0 ? CoarseRecentWindow : RecentWindow;
    auto near = [at, window](std::int64_t time) {
        return time > at - window && time < at + RecentWindow;
    };
    return near(Modified) || near(Changed);
}

TStream::TStamp TStream::StillStamp() const {
    const TStamp stamp = Stamp();
    if (stamp.Recent())
        RaiseChanged();
    return stamp;
}

void TStream::CheckUnchanged(const TStamp& before) const {
    if (Stamp() != before)
        RaiseChanged();
}

std::size_t TStream::ReadAt(std::uint64_t position, void* buffer, std::size_t count) {
    Seek(position);
    return Read(buffer, count);
}

void TStream::ReadBufferAt(std::uint64_t position, void* buffer, std::size_t count) {
    if (ReadAt(position, buffer, count) != count)
        RaiseChanged();
}

std::uint64_t TStream::Remaining() const {
    std::uint64_t size = Size();
    std::uint64_t position = Position();
    return position < size ? size - position : 0;
}

// --- TMemoryStream ---

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    // An empty read may come with no buffer at all.
    if (FPosition >= FData.size() || count == 0) {
        return 0;
    }
    std::size_t done = std::min(count, FData.size() - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, done);
    FPosition += done;
    return done;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) {
        return 0;
    }
    // A position beyond the end (after Seek) leaves a gap of zero bytes, as a file would. Memory
    // that cannot be had shows as a short count, like any other failed write.
    if (FPosition > FData.max_size() || count > FData.max_size() - FPosition) {
        return 0;
    }
    std::size_t end = FPosition + count;
    if (end > FData.size()) {
        try {
            FData.resize(end);
        } catch (const std::exception&) {
            return 0;
        }
    }
    std::memcpy(FData.data() + FPosition, buffer, count);
    FPosition = end;
    return count;
}

std::size_t TMemoryStream::ReadAt(std::uint64_t position, void* buffer, std::size_t count) {
    if (position >= FData.size() || count == 0)
        return 0;
    const std::size_t done = std::min<std::uint64_t>(count, FData.size() - position);
    std::memcpy(buffer, FData.data() + position, done);
    return done;
}

void TMemoryStream::Seek(std::uint64_t position) {
    FPosition = static_cast<std::size_t>(
        std::min<std::uint64_t>(position, std::numeric_limits<std::size_t>::max()));
}

// --- TFileStream ---

TFileStream::TFileStream(const std::string& fileName, TFileMode mode, unsigned permissions)
    : FFileName(fileName) {
    if (mode == TFileMode::Create) {
        FHandle = Retry([&] {
            return ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC,
                          static_cast<mode_t>(permissions));
        });
        if (FHandle < 0) {
            RaiseLastOSError("Cannot create file \"" + fileName + "\"");
        }
    } else {
        OpenRegularFile();
    }
}

void TFileStream::OpenRegularFile() {
    // Not blocking: a FIFO would hold open() until some writer came, and the program with it.
    FHandle = Retry([&] { return ::open(FFileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC); });
    const std::string context = "Cannot open file \"" + FFileName + "\"";
    if (FHandle < 0) {
        RaiseLastOSError(context);
    }
    // The constructor does not finish, so no destructor closes the handle.
    auto refuse = [&](int errorCode, const std::string& reason) {
        ::close(FHandle);
        FHandle = -1;
        throw EOSError(errorCode, context, reason);
    };
    struct stat info {};
    if (::fstat(FHandle, &info) != 0) {
        const int error = errno;
        refuse(error, SystemErrorMessage(error));
    }
    if (S_ISDIR(info.st_mode)) {
        refuse(EISDIR, SystemErrorMessage(EISDIR));
    }
    if (!S_ISREG(info.st_mode)) {
        refuse(EINVAL, "Not a regular file");
    }
    // Reads of a regular file never wait anyway; the flag goes so they behave as usual.
    const int flags = ::fcntl(FHandle, F_GETFL);
    if (flags < 0 || ::fcntl(FHandle, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        refuse(error, SystemErrorMessage(error));
    }
}

TFileStream::TFileStream(int handle, std::string fileName)
    : FFileName(std::move(fileName)), FHandle(handle) {}

TFileStream::~TFileStream() {
    if (FHandle >= 0) {
        // Not retried on EINTR: on Linux the descriptor is gone either way.
        ::close(FHandle);
    }
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    int error = 0;
    const std::size_t done = Transfer(
        count, error, [&](std::size_t at) { return ::read(FHandle, bytes + at, count - at); });
    if (error != 0)
        throw EReadError(FFileName, error);
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    return Transfer(count, FWriteError,
                    [&](std::size_t at) { return ::write(FHandle, bytes + at, count - at); });
}

void TFileStream::RaiseWriteError() const {
    throw EWriteError(FFileName, FWriteError);
}

void TFileStream::RaiseChanged() const {
    throw EFileChanged(FFileName);
}

TStream::TStamp TFileStream::Stamp() const {
    struct stat info {};
    if (::fstat(FHandle, &info) != 0) {
        RaiseLastOSError("Cannot read file \"" + FFileName + "\"");
    }
    return TStamp::Of(info);
}

std::size_t TFileStream::ReadAt(std::uint64_t position, void* buffer, std::size_t count) {
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(buffer);
    int error = 0;
    const std::size_t done = Transfer(count, error, [&](std::size_t at) {
        return ::pread(FHandle, bytes + at, count - at, static_cast<off_t>(position + at));
    });
    if (error != 0)
        throw EReadError(FFileName, error);
    return done;
}

std::uint64_t TFileStream::Position() const {
    off_t position = ::lseek(FHandle, 0, SEEK_CUR);
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

std::uint64_t TFileStream::Size() const {
    struct stat info {};
    if (::fstat(FHandle, &info) != 0 || info.st_size < 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

bool TFileStream::SizeKnown() const {
    struct stat info {};
    return ::fstat(FHandle, &info) == 0 && S_ISREG(info.st_mode);
}

void TFileStream::Seek(std::uint64_t position) {
    // Positions past the end are allowed, as for memory streams; only ones that the file offset
    // cannot represent fail.
    if (position > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
        throw EOSError(EINVAL, "Cannot seek in file \"" + FFileName + "\"");
    }
    if (::lseek(FHandle, static_cast<off_t>(position), SEEK_SET) < 0) {
        RaiseLastOSError("Cannot seek in file \"" + FFileName + "\"");
    }
}

void TFileStream::Flush() {
    if (::fsync(FHandle) != 0) {
        RaiseLastOSError("Cannot flush file \"" + FFileName + "\"");
    }
}
