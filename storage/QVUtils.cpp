#include "storage/QVUtils.h"

#include <cstring>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "platform/Exception.h"
#include "platform/Folders.h"
#include "platform/Guid.h"
#include "platform/SystemInfo.h"
#include "platform/TextConv.h"

namespace QVUtils {

const std::u16string MonthNames[13] = {
    u"",     u"January", u"February",  u"March",   u"April",    u"May",      u"June",
    u"July", u"August",  u"September", u"October", u"November", u"December",
};

namespace {

// Seeded once when the library is first used; the state is process-wide and unlocked, as the
// program runs its model on one thread.
std::uint32_t GeneratorState = [] {
    return static_cast<std::uint32_t>(QueryPerformanceCounter());
}();

} // namespace

int WideCompareStr(std::u16string_view a, std::u16string_view b) {
    return TextConv::LocaleCompare(std::u16string(a), std::u16string(b));
}

bool WideSameStr(std::u16string_view a, std::u16string_view b) {
    return a == b || WideCompareStr(a, b) == 0;
}

std::string WideToAnsi(std::u16string_view text) {
    return TextConv::WideToUtf8(std::u16string(text.substr(0, text.find(u'\0'))));
}

std::string BoolToBytes(bool value) {
    return std::string(1, value ? '\x01' : '\x00');
}

bool BytesToBool(std::string_view bytes) {
    return bytes.size() == 1 && bytes[0] == '\x01';
}

std::string IntToBytes(std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    return {static_cast<char>(u >> 24), static_cast<char>(u >> 16), static_cast<char>(u >> 8),
            static_cast<char>(u)};
}

std::int32_t BytesToInt(std::string_view bytes, std::int32_t defaultValue) {
    if (bytes.size() != 4)
        return defaultValue;
    std::uint32_t u = 0;
    for (char c : bytes)
        u = u << 8 | static_cast<unsigned char>(c);
    return static_cast<std::int32_t>(u);
}

std::string DoubleToBytes(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i)
        bytes[i] = static_cast<char>(bits >> (8 * i));
    return bytes;
}

double BytesToDouble(std::string_view bytes) {
    if (bytes.size() != 8)
        return 0.0;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | static_cast<unsigned char>(bytes[i]);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

void Wipe(void* bytes, std::size_t count) {
    ::explicit_bzero(bytes, count);
}

void RandomBytes(void* buffer, int count) {
    if (count <= 0)
        return;
    if (!SystemRandomBytes(buffer, static_cast<std::size_t>(count)))
        RaiseLastOSError("Cannot read the system's random generator");
}

void Randomize() {
    std::uint64_t counter = QueryPerformanceCounter();
    GeneratorState = counter != 0 ? static_cast<std::uint32_t>(counter) : GetTickCount();
}

std::uint32_t Random(std::uint32_t n) {
    GeneratorState = GeneratorState * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(GeneratorState) * n) >> 32);
}

std::string GetUserName() {
    std::string name = GetLoginName();
    name.push_back('\0');
    return name;
}

std::string GetHardwareString() {
    const TSystemInfo info = GetSystemInfo();
    return std::to_string(info.ProcessorArchitecture) + std::to_string(info.NumberOfProcessors) +
           std::to_string(info.ProcessorType) + std::to_string(info.ProcessorLevel) +
           std::to_string(info.ProcessorRevision);
}

std::string GetFullPath(const std::string& fileName) {
    return Folders::FullPath(fileName);
}

void ReleaseFreeMemory() {
#if defined(__GLIBC__)
    ::malloc_trim(0);
#endif
}

} // namespace QVUtils
