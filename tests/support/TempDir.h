#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. Creation failure fails the test that asked for it.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    // The folder's path, without a trailing "/".
    const std::string& Path() const { return FPath; }
    // The path of `name` inside the folder; nothing is created.
    std::string File(const std::string& name) const { return FPath + "/" + name; }

private:
    std::string FPath;
};

// Sets an environment variable (or removes it, given no value) for the object's lifetime, then
// puts the previous state back.
class TScopedEnv {
public:
    TScopedEnv(std::string name, std::optional<std::string> value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    std::string FName;
    std::optional<std::string> FSaved;
};

// The permission bits of `path`, or 0 when it cannot be reached.
inline unsigned FileMode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0u;
}
