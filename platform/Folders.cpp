#include "platform/Folders.h"

#include "platform/SystemInfo.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace Folders {

namespace {

std::string StripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// `folder` + "/" + `name`, or empty when the folder is unknown.
std::string Join(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return {};
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// An XDG base-directory variable counts only when it holds an absolute path; anything else is
// to be ignored, as if it were unset.
std::string XdgVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return StripTrailingSlashes(value);
}

std::string PasswordHome() {
    return CurrentUserEntry().Home;
}

// The value of `key` (e.g. "XDG_DOCUMENTS_DIR") in user-dirs.dirs, which xdg-user-dirs writes
// as shell assignments: KEY="$HOME/Name" or KEY="/absolute/path". Other forms are ignored, and
// the last assignment wins, as when the file is sourced.
std::string UserDirsEntry(const std::string& key) {
    std::string config = UserConfigFolder();
    std::string home = HomeFolder();
    if (config.empty()) {
        return {};
    }
    std::ifstream file(Join(config, "user-dirs.dirs"));
    std::string result;
    std::string line;
    while (std::getline(file, line)) {
        std::size_t p = line.find_first_not_of(" \t");
        if (p == std::string::npos || line[p] == '#' || line.compare(p, key.size(), key) != 0) {
            continue;
        }
        p = line.find_first_not_of(" \t", p + key.size());
        if (p == std::string::npos || line[p] != '=') {
            continue;
        }
        p = line.find_first_not_of(" \t", p + 1);
        if (p == std::string::npos) {
            continue;
        }
        bool quoted = line[p] == '"';
        if (quoted) {
            ++p;
        }
        std::string value;
        bool closed = !quoted;
        for (; p < line.size(); ++p) {
            char c = line[p];
            if (quoted && c == '"') {
                closed = true;
                break;
            }
            if (!quoted && (c == ' ' || c == '\t' || c == '#')) {
                break;
            }
            if (c == '\\' && p + 1 < line.size()) {
                c = line[++p];
            }
            value += c;
        }
        if (!closed) {
            continue;
        }
        std::string path;
        if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
            if (home.empty()) {
                continue;
            }
            path = (home == "/" ? std::string() : home) + value.substr(5);
            if (path.empty()) {
                path = "/";
            }
        } else if (!value.empty() && value[0] == '/') {
            path = value;
        } else {
            continue;
        }
        result = StripTrailingSlashes(path);
    }
    return result;
}

std::string UserDirOrDefault(const std::string& key, const char* defaultName) {
    std::string configured = UserDirsEntry(key);
    if (!configured.empty()) {
        return configured;
    }
    std::string fallback = Join(HomeFolder(), defaultName);
    return !fallback.empty() && FolderExists(fallback) ? fallback : std::string();
}

std::string WorkingFolder() {
    std::vector<char> buffer(256);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
    return buffer.data();
}

} // namespace

std::string HomeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') {
        return StripTrailingSlashes(home);
    }
    return StripTrailingSlashes(PasswordHome());
}

std::string UserDataFolder() {
    std::string folder = XdgVariable("XDG_DATA_HOME");
    return folder.empty() ? Join(HomeFolder(), ".local/share") : folder;
}

std::string UserConfigFolder() {
    std::string folder = XdgVariable("XDG_CONFIG_HOME");
    return folder.empty() ? Join(HomeFolder(), ".config") : folder;
}

std::string UserRuntimeFolder() {
    std::string folder = XdgVariable("XDG_RUNTIME_DIR");
    if (folder.empty()) {
        folder = XdgVariable("TMPDIR");
    }
    return folder.empty() ? "/tmp" : folder;
}

std::string DocumentsFolder() {
    return UserDirOrDefault("XDG_DOCUMENTS_DIR", "Documents");
}

std::string DesktopFolder() {
    return UserDirOrDefault("XDG_DESKTOP_DIR", "Desktop");
}

std::string ExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        // Filled to the brim: the name may have been cut, so try again with more room.
        buffer.resize(buffer.size() * 2);
    }
}

std::string FullPath(const std::string& fileName) {
    if (fileName.empty()) {
        return {};
    }
    std::string path = fileName;
    if (path[0] != '/') {
        std::string working = WorkingFolder();
        if (working.empty()) {
            return {};
        }
        path = working + "/" + path;
    }
    // Lexical only: symbolic links are left alone, and ".." above the root stays at the root.
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    return result.empty() ? "/" : result;
}

bool FolderExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace Folders
