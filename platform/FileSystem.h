#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Stream.h"

// Files and folders: listing, deleting, creating folders, and replacing a file safely.
namespace FileSystem {

struct TDirEntry {
    std::string Name;
    bool IsFolder = false;
    std::uint64_t Size = 0;
};

bool FileExists(const std::string& path);
// The entries of `folder` whose names match the shell pattern (fnmatch; "*" for all), in the
// order the directory lists them, "." and ".." left out. A missing folder gives none; other
// failures raise EOSError.
std::vector<TDirEntry> FindFiles(const std::string& folder, const std::string& pattern);
// Deletes a file; false when that failed.
bool DeleteFile(const std::string& path);
// Creates the folder and its missing parents with `mode`; false when that failed.
bool ForceFolders(const std::string& path, unsigned mode = 0700);
// The whole content of a file; raises EOSError when it cannot be read.
std::string ReadFile(const std::string& path);

// Between two looks of WaitUntilStill, and how long it looks at most.
constexpr std::chrono::milliseconds StillStep{10}, StillLimit{3000};
// Waits until the file that `path` names now (a link followed) is still, so that a read of it
// sees one version: two looks StillStep apart see the same stamp, and it is not Recent. False
// when it is still changing after `limit`; true at once when there is no file to look at (its
// open says why).
bool WaitUntilStill(const std::string& path, std::chrono::milliseconds limit = StillLimit);

// Writes a new version of a file without ever leaving a damaged one: the bytes go to a temporary
// file beside it (".<name>.save-XXXXXX"), which Commit flushes to the disk and renames over the
// target. Without Commit (an error on the way) the temporary file is removed and the target is
// untouched; copies that a killed save left behind are removed by the next successful one.
class TAtomicFile {
public:
    // `mode` sets the new file's permissions; without it an existing target keeps its own and a
    // new one gets 0666 less the umask. An existing target that the user may not write, or has
    // made read-only, is refused with EOSError (EACCES) and left as it is; so is a target that is
    // no regular file (a device, a FIFO, a folder).
    explicit TAtomicFile(std::string path, std::optional<unsigned> mode = std::nullopt);
    ~TAtomicFile();
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    TFileStream& Stream() { return *FStream; }
    void Commit();

private:
    std::string FPath;
    std::string FTempPath;
    std::unique_ptr<TFileStream> FStream;
    unsigned FMode = 0;
    bool FCommitted = false;
};

// Asks the system to start writing the last `count` bytes before the position of `stream` to the
// disk, without waiting for them, when the stream is a file: a long write then goes to the disk
// while the rest is being made, and its Flush waits only for the last part. Does nothing for
// other streams, nor when the system cannot.
void StartWriteBack(TStream& stream, std::uint64_t count);

// Writes `bytes` to `path` through a TAtomicFile.
void WriteFileAtomic(const std::string& path, const std::string& bytes,
                     std::optional<unsigned> mode = std::nullopt);

} // namespace FileSystem
