#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include <unistd.h>

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
    EXPECT_EQ(BytesToDouble(""), 0.0);
    EXPECT_EQ(BytesToDouble("\x00\x00\x00\x00\x00\x00\xF0\x3F\x00"s), 0.0);
    for (double value : {39706.75, -1.25, 1e-300, -0.0})
        EXPECT_EQ(DoubleToBytes(BytesToDouble(DoubleToBytes(value))), DoubleToBytes(value));
}

TEST(UtilsTest, DateEncoding) {
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

TEST(UtilsTest, MonthHelpers) {
    EXPECT_EQ(FormatMonthYear(EncodeDate(2008, 9, 15)), u"September 2008");
    EXPECT_EQ(FormatMonthYear(EncodeDate(2008, 5, 31) + 0.99), u"May 2008");
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
}

TEST(UtilsTest, WideToAnsiIsUtf8UpToTheFirstZero) {
    EXPECT_EQ(WideToAnsi(u"ab\0cd"s), "ab");
    EXPECT_EQ(WideToAnsi(u"\0x"s), "");
    EXPECT_EQ(WideToAnsi(u""), "");
    EXPECT_EQ(WideToAnsi(u"caf\u00E9 \u20AC"), "caf\xC3\xA9 \xE2\x82\xAC");
    EXPECT_EQ(WideToAnsi(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(UtilsTest, UserAndMachine) {
    const std::string user = GetUserName();
    ASSERT_FALSE(user.empty());
    EXPECT_EQ(user.back(), '\0');
    EXPECT_EQ(user.find('\0'), user.size() - 1);
    EXPECT_EQ(user.substr(0, user.size() - 1), GetLoginName());

    const std::string hardware = GetHardwareString();
    EXPECT_GE(hardware.size(), 5u);
    EXPECT_EQ(hardware.find_first_not_of("0123456789"), std::string::npos) << hardware;
}

TEST(UtilsTest, FullPathHasNoLengthLimit) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string base = cwd == std::string("/") ? "" : cwd;

    std::string relative;
    for (int i = 0; i < 40; ++i)
        relative += "folder" + std::to_string(i) + "/";
    relative += "budget.qvb";
    ASSERT_GT(relative.size(), 260u);
    EXPECT_EQ(GetFullPath(relative), base + "/" + relative);
    EXPECT_EQ(GetFullPath("/" + relative), "/" + relative);
    EXPECT_EQ(GetFullPath("a/./b/../" + relative), base + "/a/" + relative);
}

TEST(UtilsTest, RandomBytes) {
    std::uint8_t buffer[64] = {};
    RandomBytes(buffer, 0);
    RandomBytes(buffer, -5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 64), std::string(64, '\0'));
    RandomBytes(buffer, 32);
    EXPECT_NE(std::string(reinterpret_cast<char*>(buffer), 32), std::string(32, '\0'));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer) + 32, 32), std::string(32, '\0'));
}
