#include "app/QVSingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Folders.h"

namespace QVSingleInstance {

namespace {

// The program's own GUID, the same in every build, so every copy finds the same lock.
constexpr const char* LockPrefix = "4EC085EC-4224-4BDF-BAA1-F6CC18FF43BF-";

// The session's runtime folder when the session has one. Without it the temporary folder is shared
// by all users, so the lock lives in a folder of our own there; one that someone else made or
// opened up could let another user hold our lock or plant a link, and is not used.
std::string LockFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/')
        return Folders::UserRuntimeFolder();

    const std::string folder =
        Folders::UserRuntimeFolder() + "/quillvane-" + std::to_string(getuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    struct stat info {};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid() ||
        (info.st_mode & 07777) != 0700)
        return {};
    return folder;
}

// A new descriptor on the lock file, or -1.
int OpenLockFile(const std::string& name) {
    const std::string path = LockFileName(name);
    if (path.empty())
        return -1;
    return open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

bool TryLock(int fd) {
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

std::string LockFileName(const std::string& name) {
    const std::string folder = LockFolder();
    return folder.empty() ? std::string() : folder + "/" + LockPrefix + name;
}

bool InstanceExists(const std::string& name) {
    const int fd = OpenLockFile(name);
    if (fd < 0)
        return false;
    const bool locked = TryLock(fd);
    const bool heldElsewhere = !locked && errno == EWOULDBLOCK;
    // Closing the descriptor releases the lock that the test may have taken.
    close(fd);
    return heldElsewhere;
}

bool RegisterInstance(const std::string& name) {
    // Descriptors that hold a lock; never closed, so the locks last as long as the process.
    static std::vector<int> held;
    const int fd = OpenLockFile(name);
    if (fd < 0)
        return true;
    if (TryLock(fd)) {
        held.push_back(fd);
        return true;
    }
    const bool heldElsewhere = errno == EWOULDBLOCK;
    close(fd);
    return !heldElsewhere;
}

} // namespace QVSingleInstance
