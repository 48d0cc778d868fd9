#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

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
    // Not blocking: opening a FIFO would otherwise wait for a writer that may never come. Only a
    // regular file is read; anything else is as unreadable as a file without the right to it.
    int handle;
    do {
        handle = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (handle < 0 && errno == EINTR);
    if (handle < 0)
        RaiseLastOSError("Cannot open file \"" + path + "\"");
    TFileStream file(handle, path);
    struct stat st {};
    if (::fstat(handle, &st) != 0)
        RaiseLastOSError("Cannot open file \"" + path + "\"");
    if (!S_ISREG(st.st_mode))
        throw EOSError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL,
                       "Cannot open file \"" + path + "\": not a regular file");
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    bytes.resize(file.Read(bytes.data(), bytes.size()));
    return bytes;
}

TAtomicFile::TAtomicFile(std::string path, std::optional<unsigned> mode) : FPath(std::move(path)) {
    // A link to the file stays a link: the new version replaces the file it points at.
    if (char* target = ::realpath(FPath.c_str(), nullptr)) {
        FPath = target;
        std::free(target);
    }
    struct stat st {};
    if (mode)
        FMode = *mode;
    else if (::stat(FPath.c_str(), &st) == 0)
        FMode = st.st_mode & 07777;
    else
        FMode = 0666 & ~CurrentUmask();

    std::string pattern = FPath + ".XXXXXX";
    const int handle = ::mkstemp(pattern.data());
    if (handle < 0)
        RaiseLastOSError("Cannot create file \"" + FPath + "\"");
    ::close(handle);
    FTempPath = pattern;
    try {
        FStream = std::make_unique<TFileStream>(FTempPath, TFileMode::Create, 0600);
    } catch (...) {
        ::unlink(FTempPath.c_str());
        throw;
    }
}

TAtomicFile::~TAtomicFile() {
    FStream.reset();
    if (!FCommitted)
        ::unlink(FTempPath.c_str());
}

void TAtomicFile::Commit() {
    if (::fchmod(FStream->Handle(), static_cast<mode_t>(FMode)) != 0)
        RaiseLastOSError("Cannot set the permissions of \"" + FPath + "\"");
    FStream->Flush();
    FStream.reset();
    if (::rename(FTempPath.c_str(), FPath.c_str()) != 0)
        RaiseLastOSError("Cannot replace file \"" + FPath + "\"");
    FCommitted = true;
    // Make the rename itself durable.
    const int folder = ::open(FolderOf(FPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
}

void WriteFileAtomic(const std::string& path, const std::string& bytes,
                     std::optional<unsigned> mode) {
    TAtomicFile file(path, mode);
    file.Stream().WriteBuffer(bytes.data(), bytes.size());
    file.Commit();
}

} // namespace FileSystem
