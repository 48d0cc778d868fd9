#pragma once

#include <string>

// Per-user folders and paths, from the XDG base directories. Every result is a path without a
// trailing "/", or empty when it cannot be determined; nothing here creates a folder.
namespace Folders {

std::string HomeFolder();        // $HOME, else the password database entry
std::string UserDataFolder();    // $XDG_DATA_HOME, else ~/.local/share
std::string UserConfigFolder();  // $XDG_CONFIG_HOME, else ~/.config
std::string UserRuntimeFolder(); // $XDG_RUNTIME_DIR, else the temporary folder
std::string DocumentsFolder(); // XDG_DOCUMENTS_DIR of user-dirs.dirs, else ~/Documents if it exists
std::string DesktopFolder();   // XDG_DESKTOP_DIR of user-dirs.dirs, else ~/Desktop if it exists

// The running program's full path (/proc/self/exe); empty when unknown.
std::string ExecutablePath();

// The absolute, lexically normalised form of `fileName` against the working folder, whatever its
// length; the file need not exist. Empty when the working folder cannot be read.
std::string FullPath(const std::string& fileName);

bool FolderExists(const std::string& path);

} // namespace Folders
