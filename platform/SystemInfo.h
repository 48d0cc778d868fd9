#pragma once

#include <cstdint>
#include <string>

// Processor facts in the shape of the Windows SYSTEM_INFO fields that the password binding uses.
struct TSystemInfo {
    std::uint16_t ProcessorArchitecture = 0; // 0 x86, 5 ARM, 9 x64, 12 ARM64, 0xFFFF unknown
    std::uint32_t NumberOfProcessors = 0;
    std::uint32_t ProcessorType = 0;     // 386, 486, 586, 8664, ... as Windows reports it
    std::uint16_t ProcessorLevel = 0;    // the CPU family
    std::uint16_t ProcessorRevision = 0; // model << 8 | stepping
};

// Reads the facts from uname, sysconf and /proc/cpuinfo. Never fails: unknown facts are zero.
TSystemInfo GetSystemInfo();

// The same from given facts: the uname machine name, the text of /proc/cpuinfo and the count of
// configured processors (negative when unknown).
TSystemInfo SystemInfoFromFacts(const std::string& machine, const std::string& cpuInfo,
                                long processorCount);

// The password database's entry of the user running the program; empty fields when it has none.
struct TUserEntry {
    std::string Name;
    std::string Home;
};
TUserEntry CurrentUserEntry();

// The login name of the user running the program (getpwuid, then $USER, then $LOGNAME);
// empty when none of them is known.
std::string GetLoginName();

// A monotonic high-resolution counter, and a millisecond tick count, for seeding.
std::uint64_t QueryPerformanceCounter();
std::uint32_t GetTickCount();
