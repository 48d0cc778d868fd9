#pragma once

#include <string>
#include <string_view>

#include "platform/Registry.h"

// The values of the Run key as XDG autostart entries, one desktop entry file each in
// AutostartFolder(). An entry is ours when it carries the stored command line in the key
// X-Quillvane-Value; its Name is the value name, its Exec the command line in the Exec syntax.
namespace Registry::Detail {

// ERROR_FILE_NOT_FOUND when no entry of ours has the name (compared without regard to case).
LONG QueryEntry(std::string_view name, std::string& commandLine);
// Writes the entry, over the one of that name or under a file name made from it (creating the
// folder), never over another program's file.
LONG SetEntry(std::string_view name, std::string_view commandLine);
LONG DeleteEntry(std::string_view name);

} // namespace Registry::Detail
