#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

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

TEST(UtilsTest, ValueEncodings) {
    EXPECT_EQ(BoolToBytes(true), "\x01"s);
    EXPECT_EQ(BoolToBytes(false), "\x00"s);
    EXPECT_TRUE(BytesToBool("\x01"s));
    for (const std::string& other : {""s, "\x00"s, "\x02"s, "\x01\x00"s, "\x00\x01"s})
        EXPECT_FALSE(BytesToBool(other));

    EXPECT_EQ(IntToBytes(256), "\x00\x00\x01\x00"s);
    EXPECT_EQ(IntToBytes(-1), "\xFF\xFF\xFF\xFF"s);
    EXPECT_EQ(IntToBytes(std::numeric_limits<std::int32_t>::min()), "\x80\x00\x00\x00"s);
    EXPECT_EQ(BytesToInt("\x00\x00\x01\x00"s, 7), 256);
    EXPECT_EQ(BytesToInt("\xFF\xFF\xFF\xFF"s, 7), -1);
    EXPECT_EQ(BytesToInt("\x00\x01\x00"s, 7), 7);
    EXPECT_EQ(BytesToInt("\x00\x00\x00\x01\x00"s, 7), 7);

    EXPECT_EQ(DoubleToBytes(1.0), "\x00\x00\x00\x00\x00\x00\xF0\x3F"s);
    EXPECT_EQ(DoubleToBytes(39706.75), "\x00\x00\x00\x00\x58\x63\xE3\x40"s);
    EXPECT_EQ(BytesToDouble("\x00\x00\x00\x00\x58\x63\xE3\x40"s), 39706.75);
    EXPECT_EQ(BytesToDouble(""), 0.0);
    EXPECT_EQ(BytesToDouble("\x00\x00\x00\x00\x00\x00\xF0\x3F\x00"s), 0.0);
}

TEST(UtilsTest, CalendarDates) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(2008, 9, 15), 39706.0);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
    // The date is the value truncated toward zero; the fraction is the time of day either side.
    EXPECT_EQ(Ymd(0.99), 18991230);
    EXPECT_EQ(Ymd(1.0), 18991231);
    EXPECT_EQ(Ymd(-0.5), 18991230);
    EXPECT_EQ(Ymd(-1.25), 18991229);
    for (double day = -693593; day <= 2958465; day += 997) {
        const TDateParts d = DecodeDate(day + 0.5 * (day >= 0 ? 1 : -1));
        EXPECT_EQ(EncodeDate(d.Year, d.Month, d.Day), day);
    }
    EXPECT_EQ(Ymd(-109512), 16000229);
    EXPECT_EQ(Ymd(-36463.5), 18000301);
    // Values outside the calendar must not reach an overflowing conversion.
    EXPECT_EQ(DecodeDate(1e300).Year, 9999);
    EXPECT_EQ(DecodeDate(-1e300).Year, 1);
    EXPECT_EQ(DecodeDate(std::numeric_limits<double>::quiet_NaN()).Year, 1899);
}

TEST(UtilsTest, MonthNamesAndHelpers) {
    const char16_t* names[] = {u"January",   u"February", u"March",    u"April",
                               u"May",       u"June",     u"July",     u"August",
                               u"September", u"October",  u"November", u"December"};
    for (int month = 1; month <= 12; ++month) {
        EXPECT_EQ(MonthNames[month], names[month - 1]);
        EXPECT_EQ(FormatMonthYear(EncodeDate(2008, month, 28) + 0.99),
                  names[month - 1] + std::u16string(u" 2008"));
    }
    EXPECT_EQ(FormatMonthYear(EncodeDate(1, 1, 1)), u"January 1");
    EXPECT_EQ(FormatMonthYear(0.0), u"December 1899");

    for (int day = 1; day <= 29; ++day)
        EXPECT_EQ(EndOfMonth(EncodeDate(2008, 2, day) + 0.75), EncodeDate(2008, 2, 29));
    EXPECT_EQ(EndOfMonth(EncodeDate(1900, 2, 1)), EncodeDate(1900, 2, 28));
    EXPECT_EQ(EndOfMonth(EncodeDate(2000, 2, 10)), EncodeDate(2000, 2, 29));
    EXPECT_EQ(EndOfMonth(EncodeDate(2008, 12, 31)), EncodeDate(2008, 12, 31));
    EXPECT_EQ(EndOfMonth(-1.25), EncodeDate(1899, 12, 31));
    EXPECT_EQ(PrevMonthSameDay(EncodeDate(2009, 3, 31) + 0.6), EncodeDate(2009, 2, 28));
    EXPECT_EQ(PrevMonthSameDay(EncodeDate(2009, 1, 15)), EncodeDate(2008, 12, 15));
    EXPECT_EQ(PrevMonthSameDay(EncodeDate(2008, 3, 30)), EncodeDate(2008, 2, 29));
    EXPECT_EQ(PrevMonthSameDay(EncodeDate(2009, 5, 31)), EncodeDate(2009, 4, 30));
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

TEST(UtilsTest, RandomBytesFillExactlyTheCount) {
    std::string buffer(64, '\0');
    RandomBytes(buffer.data(), 0);
    RandomBytes(buffer.data(), -5);
    EXPECT_EQ(buffer, std::string(64, '\0'));
    RandomBytes(buffer.data(), 32);
    EXPECT_NE(buffer.substr(0, 32), std::string(32, '\0'));
    EXPECT_EQ(buffer.substr(32), std::string(32, '\0'));
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
