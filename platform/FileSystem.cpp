#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "platform/Exception.h"

namespace FileSystem {

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

unsigned CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

std::string BaseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The temporary copies of "folder/name" are "folder/.name.save-" and six characters from
// mkstemp: hidden, and telling whose copy they are should one outlive its save.
constexpr std::size_t TempSuffixSize = 6;

std::string TempPrefix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    // A name near the longest allowed is cut, so that the copy's name stays within it too.
    constexpr std::size_t MaxBase = NAME_MAX - 1 - (sizeof ".save-" - 1) - TempSuffixSize;
    return folder + "." + BaseNameOf(path).substr(0, MaxBase) + ".save-";
}

bool IsTempNameFor(std::string_view name, std::string_view prefix) {
    if (name.size() != prefix.size() + TempSuffixSize || name.substr(0, prefix.size()) != prefix)
        return false;
    return std::all_of(
        name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        });
}

// Writing the file in place would fail without the right to write it, so its replacement does
// too; and a file its owner has made read-only stays as it is even for the superuser.
void RefuseReadOnly(const std::string& path, const struct stat& st) {
    int error = 0;
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0)
        error = errno;
    else if (st.st_uid == ::geteuid() && (st.st_mode & S_IWUSR) == 0)
        error = EACCES;
    if (error != 0)
        throw EOSError(error, "Cannot write file \"" + path + "\"");
}

// Creates the temporary file exclusively and keeps its descriptor: reopening it by name would
// follow whatever link another user swapped in meanwhile. The file stays locked while it is
// written, which is how RemoveStaleTempFiles tells a live save from one that was killed.
// The stream bears the target's name, which is what the user knows and what its write errors
// should name.
std::unique_ptr<TFileStream> CreateTempFile(const std::string& prefix, const std::string& target,
                                            std::string& tempPath) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name = prefix + std::string(TempSuffixSize, 'X');
        const int handle = ::mkostemp(name.data(), O_CLOEXEC);
        if (handle < 0)
            RaiseLastOSError("Cannot create a temporary file \"" + name + "\"");
        struct stat st {};
        // Another save may have found it unlocked in the moment before the lock and removed it.
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0 && ::fstat(handle, &st) == 0 &&
            st.st_nlink > 0) {
            tempPath = name;
            return std::make_unique<TFileStream>(handle, target);
        }
        ::close(handle);
    }
    throw EOSError(EBUSY, "Cannot create a temporary file \"" + prefix + "\"");
}

// Removes the copies a killed save of the same file left behind: only the user's own regular
// files of that exact name form that no live save holds locked. Failures are of no consequence:
// a copy left is tried again on the next save.
void RemoveStaleTempFiles(const std::string& folder, const std::string& prefix) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const int dirHandle = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsTempNameFor(entry->d_name, prefix))
            continue;
        const int handle =
            ::openat(dirHandle, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (handle < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        // Checked again by name once locked, so that nothing swapped in meanwhile is removed.
        if (::fstat(handle, &opened) == 0 && S_ISREG(opened.st_mode) &&
            opened.st_uid == ::geteuid() && ::flock(handle, LOCK_EX | LOCK_NB) == 0 &&
            ::fstatat(dirHandle, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            ::unlinkat(dirHandle, entry->d_name, 0);
        ::close(handle);
    }
    ::closedir(dir);
}

} // namespace

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::vector<TDirEntry> FindFiles(const std::string& folder, const std::string& pattern) {
    std::vector<TDirEntry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR)
            return entries;
        RaiseLastOSError("Cannot list folder \"" + folder + "\"");
    }
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || ::fnmatch(pattern.c_str(), name.c_str(), 0) != 0)
            continue;
        TDirEntry result;
        result.Name = name;
        struct stat st {};
        if (::stat((folder + "/" + name).c_str(), &st) == 0) {
            result.IsFolder = S_ISDIR(st.st_mode);
            result.Size = static_cast<std::uint64_t>(st.st_size);
        }
        entries.push_back(std::move(result));
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        RaiseLastOSError("Cannot list folder \"" + folder + "\"");
    }
    return entries;
}

bool DeleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool ForceFolders(const std::string& path, unsigned mode) {
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const std::string parent = FolderOf(path);
    if (parent != path && !ForceFolders(parent, mode))
        return false;
    return ::mkdir(path.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST;
}

std::string ReadFile(const std::string& path) {
    // Only a regular file is read, and opening never waits on a FIFO (see TFileStream).
    TFileStream file(path, TFileMode::OpenRead);
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

bool WaitUntilStill(const std::string& path, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return true;
    for (TStream::TStamp last = TStream::TStamp::Of(info);;) {
        if (std::chrono::steady_clock::now() + StillStep > end)
            return false;
        std::this_thread::sleep_for(StillStep);
        if (::stat(path.c_str(), &info) != 0)
            return true;
        const TStream::TStamp now = TStream::TStamp::Of(info);
        if (now == last && !now.Recent())
            return true;
        last = now;
    }
}

TAtomicFile::TAtomicFile(std::string path, std::optional<unsigned> mode) : FPath(std::move(path)) {
    // A link to the file stays a link: the new version replaces the file it points at.
    if (char* target = ::realpath(FPath.c_str(), nullptr)) {
        FPath = target;
        std::free(target);
    }
    struct stat st {};
    const bool exists = ::stat(FPath.c_str(), &st) == 0;
    // A device, a FIFO or a folder of that name would be replaced by a file, or block the save.
    if (exists && !S_ISREG(st.st_mode))
        throw EOSError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, "Cannot write file \"" + FPath + "\"",
                       S_ISDIR(st.st_mode) ? SystemErrorMessage(EISDIR) : "Not a regular file");
    if (exists)
        RefuseReadOnly(FPath, st);
    if (mode)
        FMode = *mode;
    else if (exists)
        FMode = st.st_mode & 07777;
    else
        FMode = 0666 & ~CurrentUmask();
    FStream = CreateTempFile(TempPrefix(FPath), FPath, FTempPath);
}

TAtomicFile::~TAtomicFile() {
    // Removed while still locked, for the same reason Commit renames before closing.
    if (!FCommitted)
        ::unlink(FTempPath.c_str());
    FStream.reset();
}

void TAtomicFile::Commit() {
    if (::fchmod(FStream->Handle(), static_cast<mode_t>(FMode)) != 0)
        RaiseLastOSError("Cannot set the permissions of \"" + FPath + "\"");
    FStream->Flush();
    // Renamed while still open and locked, so that no other save takes it for a stale one.
    if (::rename(FTempPath.c_str(), FPath.c_str()) != 0)
        RaiseLastOSError("Cannot replace file \"" + FPath + "\"");
    FCommitted = true;
    FStream.reset();
    // Make the rename itself durable.
    const int folder = ::open(FolderOf(FPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    RemoveStaleTempFiles(FolderOf(FPath), BaseNameOf(TempPrefix(FPath)));
}

void StartWriteBack(TStream& stream, std::uint64_t count) {
    auto* file = dynamic_cast<TFileStream*>(&stream);
    if (file == nullptr)
        return;
    const std::uint64_t to = file->Position();
    const std::uint64_t from = to - std::min(count, to);
    // Only a hint: a failure here shows, if it matters, in the Flush that follows.
    ::sync_file_range(file->Handle(), static_cast<off_t>(from), static_cast<off_t>(to - from),
                      SYNC_FILE_RANGE_WRITE);
}

void WriteFileAtomic(const std::string& path, const std::string& bytes,
                     std::optional<unsigned> mode) {
    TAtomicFile file(path, mode);
    file.Stream().WriteBuffer(bytes.data(), bytes.size());
    file.Commit();
}

} // namespace FileSystem
