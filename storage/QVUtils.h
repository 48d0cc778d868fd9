#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Date-time values count days since 30 December 1899 00:00 local time; the fraction is the time
// of day.
using TDateTime = double;

// Shared helpers: value encodings, text comparison and conversion, random bytes, dates and the
// facts about this user and machine that the password binding uses.
namespace QVUtils {

// Long English month names, indexed 1 to 12 (index 0 is empty).
extern const std::u16string MonthNames[13];

// Text comparison by the user's locale: -1, 0 or 1; and equality under it.
int WideCompareStr(std::u16string_view a, std::u16string_view b);
bool WideSameStr(std::u16string_view a, std::u16string_view b);

// The text in the platform's narrow encoding (UTF-8), up to its first U+0000.
std::string WideToAnsi(std::u16string_view text);

// One byte, 0x01 or 0x00; only exactly the one byte 0x01 reads as true.
std::string BoolToBytes(bool value);
bool BytesToBool(std::string_view bytes);

// 4 bytes, most significant first; any other length reads as `defaultValue`.
std::string IntToBytes(std::int32_t value);
std::int32_t BytesToInt(std::string_view bytes, std::int32_t defaultValue);

// The 8 bytes of the IEEE double, least significant first; any other length reads as 0.0.
std::string DoubleToBytes(double value);
double BytesToDouble(std::string_view bytes);

// Unsigned 32-bit numbers as 4 bytes, least significant first (file headers and records).
inline void PutUInt32LE(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline std::uint32_t GetUInt32LE(const std::uint8_t* in) {
    return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
           static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

// Fills `count` bytes from the operating system's cryptographic generator; raises EOSError when
// it cannot be read. These bytes become keys, IVs and ids, so no weaker source stands in.
void RandomBytes(void* buffer, int count);
// Overwrites `count` bytes with zeros in a way the compiler keeps: for keys and cipher states
// that go out of use.
void Wipe(void* bytes, std::size_t count);

// The process-wide congruential generator: seeding from the high-resolution counter, and a draw
// below n. Only identifiers fall back on it.
void Randomize();
std::uint32_t Random(std::uint32_t n);

// The login name followed by one zero byte; the password binding uses these exact bytes.
std::string GetUserName();
// Architecture, processor count, type, level and revision as decimal texts run together.
std::string GetHardwareString();
// The absolute path of `fileName`, whatever its length; empty when it cannot be formed.
std::string GetFullPath(const std::string& fileName);

// Hands the heap's free pages back to the system. After a large transient structure is gone the
// C library would otherwise keep its memory, and the process would stay as large as at its peak.
void ReleaseFreeMemory();

// Calendar helpers over the local date.
struct TDateParts {
    int Year;
    int Month;
    int Day;
};
TDateParts DecodeDate(TDateTime value);
TDateTime EncodeDate(int year, int month, int day);
int DaysInMonth(int year, int month);
bool IsLeapYear(int year);
TDateTime Now();
TDateTime Today();

bool IsInCurrentMonth(TDateTime value);
bool IsInSameMonth(TDateTime a, TDateTime b);
TDateTime EndOfMonth(TDateTime value);
// One calendar month before today (or `today`), on the same day or the shorter month's last.
TDateTime PrevMonthSameDay();
TDateTime PrevMonthSameDay(TDateTime today);
int CurrentYear();
// "September 2008": the English month name, a blank and the year.
std::u16string FormatMonthYear(TDateTime value);

} // namespace QVUtils
