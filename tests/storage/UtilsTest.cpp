#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <tuple>

#include "platform/SystemInfo.h"
#include "storage/QVUtils.h"

using namespace std::string_literals;
using namespace QVUtils;

namespace {

// The calendar date as one number, 20080915 for 15 September 2008.
int Ymd(TDateTime value) {
    const TDateParts d = DecodeDate(value);
    return d.Year * 10000 + d.Month * 100 + d.Day;
}

} // namespace

TEST(UtilsTest, CalendarDates) {
    const std::pair<int, double> dates[] = {
        {18991230, 0.0},    {18991229, -1.0},      {19000101, 2.0},       {20080915, 39706.0},
        {10101, -693593.0}, {99991231, 2958465.0}, {16000229, -109512.0}, {18000301, -36463.0}};
    for (const auto& [ymd, value] : dates) {
        EXPECT_EQ(EncodeDate(ymd / 10000, ymd / 100 % 100, ymd % 100), value) << ymd;
        EXPECT_EQ(Ymd(value), ymd);
    }
    // The date is the value truncated toward zero; the fraction is the time of day either side.
    for (const auto& [value, ymd] : {std::pair{0.99, 18991230},
                                     {1.0, 18991231},
                                     {-0.5, 18991230},
                                     {-1.25, 18991229},
                                     {-36463.5, 18000301}})
        EXPECT_EQ(Ymd(value), ymd) << value;
    for (double day = -693593; day <= 2958465; day += 997) {
        const TDateParts d = DecodeDate(day + 0.5 * (day >= 0 ? 1 : -1));
        EXPECT_EQ(EncodeDate(d.Year, d.Month, d.Day), day);
    }
    // Values outside the calendar must not reach an overflowing conversion.
    EXPECT_EQ(DecodeDate(1e300).Year, 9999);
    EXPECT_EQ(DecodeDate(-1e300).Year, 1);
    EXPECT_EQ(DecodeDate(std::numeric_limits<double>::quiet_NaN()).Year, 1899);
}

TEST(UtilsTest, MonthNamesAndHelpers) {
    const std::u16string names[] = {u"January",   u"February", u"March",    u"April",
                                    u"May",       u"June",     u"July",     u"August",
                                    u"September", u"October",  u"November", u"December"};
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(MonthNames[month], names[month - 1]);
        EXPECT_EQ(FormatMonthYear(EncodeDate(2008, month, 28) + 0.99), names[month - 1] + u" 2008");
    }
    EXPECT_EQ(FormatMonthYear(EncodeDate(1, 1, 1)), u"January 1");
    EXPECT_EQ(FormatMonthYear(0.0), u"December 1899");
    for (int day = 1; day <= 29; ++day)
        EXPECT_EQ(EndOfMonth(EncodeDate(2008, 2, day) + 0.75), EncodeDate(2008, 2, 29));
    const std::tuple<TDateTime, TDateTime, TDateTime> months[] = {
        // a day, the end of its month, the same day a month before
        {EncodeDate(1900, 2, 1), EncodeDate(1900, 2, 28), EncodeDate(1900, 1, 1)},
        {EncodeDate(2000, 2, 10), EncodeDate(2000, 2, 29), EncodeDate(2000, 1, 10)},
        {EncodeDate(2008, 12, 31), EncodeDate(2008, 12, 31), EncodeDate(2008, 11, 30)},
        {EncodeDate(2009, 3, 31) + 0.6, EncodeDate(2009, 3, 31), EncodeDate(2009, 2, 28)},
        {EncodeDate(2009, 1, 15), EncodeDate(2009, 1, 31), EncodeDate(2008, 12, 15)},
        {EncodeDate(2008, 3, 30), EncodeDate(2008, 3, 31), EncodeDate(2008, 2, 29)},
        {-1.25, EncodeDate(1899, 12, 31), EncodeDate(1899, 11, 29)}};
    for (const auto& [day, end, before] : months) {
        EXPECT_EQ(EndOfMonth(day), end) << Ymd(day);
        EXPECT_EQ(PrevMonthSameDay(day), before) << Ymd(day);
    }
    EXPECT_TRUE(IsInCurrentMonth(Now()));
    EXPECT_FALSE(IsInCurrentMonth(Now() - 32));
}

TEST(UtilsTest, WideToAnsiIsUtf8UpToTheFirstZero) {
    EXPECT_EQ(WideToAnsi(u"ab\0cd"s), "ab");
    EXPECT_EQ(WideToAnsi(u"\0x"s), "");
    EXPECT_EQ(WideToAnsi(u"caf\u00E9 \u20AC"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(WideToAnsi(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

// The machine binding of the stored password record uses these exact bytes.
TEST(UtilsTest, UserNameAndHardwareString) {
    EXPECT_EQ(GetUserName(), GetLoginName() + '\0');
    const TSystemInfo info = GetSystemInfo();
    EXPECT_EQ(GetHardwareString(),
              std::to_string(info.ProcessorArchitecture) + std::to_string(info.NumberOfProcessors) +
                  std::to_string(info.ProcessorType) + std::to_string(info.ProcessorLevel) +
                  std::to_string(info.ProcessorRevision));
}

// Each draw steps the state (state * 0x08088405 + 1) and returns the upper half of state * n. A
// draw below 2^32 - 1 gives the state less one, so the draws that follow can be foretold.
TEST(UtilsTest, CongruentialGenerator) {
    std::uint32_t state = 1;
    while (state == 1) // a draw of 0 leaves open whether the state was 0 or 1
        state = Random(0xFFFFFFFFu) + 1;
    for (std::uint32_t n : {0u, 1u, 2u, 256u, 1000u, 0x80000000u, 0xFFFFFFFFu, 7u}) {
        state = state * 134775813u + 1u;
        EXPECT_EQ(Random(n), static_cast<std::uint32_t>(std::uint64_t(state) * n >> 32)) << n;
    }
}
