#pragma once

#include <string>

// Keeps one copy of the program per user session. The guard is an advisory lock on a file in the
// user's runtime folder: the kernel drops it with the process, however the process ends, so a
// crashed copy never locks out the next start.
namespace QVSingleInstance {

// The lock file for `name`: a fixed prefix of the program followed by the name. Empty when there
// is no folder that only this user can write to; the program then runs unguarded.
std::string LockFileName(const std::string& name);

// True when another holder has the lock for `name` (another process, or another descriptor of
// this one). Any failure to test counts as no other instance.
bool InstanceExists(const std::string& name);

// Takes the lock for `name` and holds it until the process ends. False only when another holder
// got there first (two starts at the same moment); a failure to take it otherwise lets the program
// run unguarded and gives true.
bool RegisterInstance(const std::string& name);

} // namespace QVSingleInstance
