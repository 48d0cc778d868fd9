#include <cmath>
#include <ctime>

#include "storage/QVUtils.h"

namespace QVUtils {

namespace {

// Days from 30 December 1899 to 1 January 1970.
constexpr long long UnixEpochDays = 25569;

// Proleptic Gregorian conversions between a day count from 1 January 1970 and a civil date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

TDateParts CivilFromDays(long long z) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

TDateParts CurrentDate() {
    return DecodeDate(Now());
}
} // namespace

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : Days[month - 1];
}

// The date part is the value truncated toward zero, so -1.25 is 29 December 1899, 06:00.
// Values outside years 1 to 9999 (and NaN) are pinned to the nearest end of that range.
TDateParts DecodeDate(TDateTime value) {
    constexpr double First = -693593.0; // 1 January 0001
    constexpr double Last = 2958465.0;  // 31 December 9999
    if (std::isnan(value))
        value = 0.0;
    value = value < First ? First : value > Last ? Last : value;
    return CivilFromDays(static_cast<long long>(std::trunc(value)) - UnixEpochDays);
}

TDateTime EncodeDate(int year, int month, int day) {
    return static_cast<TDateTime>(
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
        UnixEpochDays);
}

TDateTime Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm local{};
    localtime_r(&ts.tv_sec, &local);
    const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
                           static_cast<double>(ts.tv_nsec / 1000000) / 1000.0;
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) + seconds / 86400.0;
}

TDateTime Today() {
    return std::trunc(Now());
}

bool IsInCurrentMonth(TDateTime value) {
    return IsInSameMonth(value, Now());
}

bool IsInSameMonth(TDateTime a, TDateTime b) {
    const TDateParts da = DecodeDate(a);
    const TDateParts db = DecodeDate(b);
    return da.Year == db.Year && da.Month == db.Month;
}

TDateTime EndOfMonth(TDateTime value) {
    const TDateParts d = DecodeDate(value);
    return EncodeDate(d.Year, d.Month, DaysInMonth(d.Year, d.Month));
}

TDateTime PrevMonthSameDay() {
    return PrevMonthSameDay(Today());
}

TDateTime PrevMonthSameDay(TDateTime today) {
    TDateParts d = DecodeDate(today);
    if (--d.Month == 0) {
        d.Month = 12;
        --d.Year;
    }
    const int last = DaysInMonth(d.Year, d.Month);
    return EncodeDate(d.Year, d.Month, d.Day > last ? last : d.Day);
}

int CurrentYear() {
    return CurrentDate().Year;
}

std::u16string FormatMonthYear(TDateTime value) {
    const TDateParts d = DecodeDate(value);
    std::u16string text = MonthNames[d.Month];
    text += u' ';
    for (char c : std::to_string(d.Year))
        text += static_cast<char16_t>(c);
    return text;
}

} // namespace QVUtils
