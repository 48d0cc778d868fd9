#include "platform/SystemInfo.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace {

enum : std::uint16_t {
    ArchitectureIntel = 0,
    ArchitectureArm = 5,
    ArchitectureAmd64 = 9,
    ArchitectureArm64 = 12,
    ArchitectureUnknown = 0xFFFF,
};

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The "key : value" lines of the first processor's block; later blocks repeat the same keys
// for the other processors.
std::map<std::string, std::string> FirstProcessorBlock(const std::string& cpuInfo) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(cpuInfo);
    std::string line;
    while (std::getline(lines, line)) {
        if (Trim(line).empty()) {
            if (!fields.empty()) {
                break;
            }
            continue;
        }
        std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        fields.emplace(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    return fields;
}

// A decimal or "0x" hexadecimal field; 0 when missing or not a number.
unsigned long NumberField(const std::map<std::string, std::string>& fields, const char* key) {
    auto found = fields.find(key);
    if (found == fields.end() || found->second.empty()) {
        return 0;
    }
    const std::string& text = found->second;
    int base = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10;
    errno = 0;
    char* end = nullptr;
    unsigned long value = std::strtoul(text.c_str(), &end, base);
    if (errno != 0 || end == text.c_str()) {
        return 0;
    }
    return value;
}

bool IsX86_32(const std::string& machine) {
    return machine.size() == 4 && machine[0] == 'i' && machine[1] >= '3' && machine[1] <= '9' &&
           machine.compare(2, 2, "86") == 0;
}

std::string ReadCpuInfo() {
    std::ifstream file("/proc/cpuinfo");
    std::ostringstream text;
    if (file) {
        text << file.rdbuf();
    }
    return text.str();
}

} // namespace

TSystemInfo SystemInfoFromFacts(const std::string& machine, const std::string& cpuInfo,
                                long processorCount) {
    TSystemInfo info;
    info.NumberOfProcessors = processorCount > 0 ? static_cast<std::uint32_t>(processorCount) : 0;
    auto fields = FirstProcessorBlock(cpuInfo);

    bool x86 = false;
    if (machine == "x86_64" || machine == "amd64") {
        info.ProcessorArchitecture = ArchitectureAmd64;
        info.ProcessorType = 8664;
        x86 = true;
    } else if (IsX86_32(machine)) {
        info.ProcessorArchitecture = ArchitectureIntel;
        x86 = true;
    } else if (machine == "aarch64" || machine == "arm64") {
        info.ProcessorArchitecture = ArchitectureArm64;
    } else if (machine.compare(0, 3, "arm") == 0) {
        info.ProcessorArchitecture = ArchitectureArm;
    } else {
        info.ProcessorArchitecture = ArchitectureUnknown;
    }

    if (x86) {
        unsigned long family = NumberField(fields, "cpu family");
        unsigned long model = NumberField(fields, "model");
        unsigned long stepping = NumberField(fields, "stepping");
        info.ProcessorLevel = static_cast<std::uint16_t>(family);
        info.ProcessorRevision =
            static_cast<std::uint16_t>((model & 0xFF) << 8 | (stepping & 0xFF));
        if (info.ProcessorArchitecture == ArchitectureIntel) {
            // Windows names 32-bit processors after the family: 386, 486, and 586 from the
            // Pentium on.
            info.ProcessorType = family == 3 ? 386 : family == 4 ? 486 : 586;
        }
    } else if (info.ProcessorArchitecture != ArchitectureUnknown) {
        unsigned long variant = NumberField(fields, "CPU variant");
        unsigned long revision = NumberField(fields, "CPU revision");
        info.ProcessorLevel = static_cast<std::uint16_t>(NumberField(fields, "CPU architecture"));
        info.ProcessorRevision =
            static_cast<std::uint16_t>((variant & 0xFF) << 8 | (revision & 0xFF));
    }
    return info;
}

TSystemInfo GetSystemInfo() {
    try {
        struct utsname names {};
        std::string machine;
        if (uname(&names) == 0) {
            machine = names.machine;
        }
        return SystemInfoFromFacts(machine, ReadCpuInfo(), sysconf(_SC_NPROCESSORS_CONF));
    } catch (...) {
        return {};
    }
}

TUserEntry CurrentUserEntry() {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 1024);
    struct passwd entry {};
    struct passwd* found = nullptr;
    int error;
    while ((error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found)) ==
               ERANGE &&
           buffer.size() < (1u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    TUserEntry result;
    if (error == 0 && found != nullptr) {
        result.Name = found->pw_name != nullptr ? found->pw_name : "";
        result.Home = found->pw_dir != nullptr ? found->pw_dir : "";
    }
    return result;
}

std::string GetLoginName() {
    std::string login = CurrentUserEntry().Name;
    if (!login.empty()) {
        return login;
    }
    for (const char* variable : {"USER", "LOGNAME"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return value;
        }
    }
    return {};
}

std::uint64_t QueryPerformanceCounter() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
           static_cast<std::uint64_t>(now.tv_nsec);
}

std::uint32_t GetTickCount() {
    return static_cast<std::uint32_t>(QueryPerformanceCounter() / 1000000u);
}
