#include <limits>

#include <gtest/gtest.h>

#include "model/QVMoneyText.h"

using QVMoneyText::MoneyToText;
using QVMoneyText::TextToMoney;

// Two decimals after twelve significant digits: the twelfth digit is rounded first, the
// hundredths after it, halves away from zero on the decimal digits whichever side of them the
// binary value lies; scientific beyond twelve integer digits.
TEST(MoneyText, WritesAndReadsBack) {
    const std::pair<long double, const char*> cases[] = {
        {12.5L, "12.50"},
        {1234567.891L, "1234567.89"},
        {-3.0L, "-3.00"},
        {0.0L, "0.00"},
        {123456789012.34L, "123456789012.00"},
        {99.995L, "100.00"},
        {0.005L, "0.01"},
        {1.005, "1.01"},
        {-0.005L, "-0.01"},
        {0.004L, "0.00"},
        {-0.001L, "0.00"}, // no "-0.00"
        {1234567890123456.0L, "1.23456789012E15"},
        {1e20L, "1E20"},
        {-1.5e20L, "-1.5E20"},
        {999999999999.9L, "1E12"}, // rounding carries into a 13th digit
        {1e4000L, "1E4000"},
        {-9.87654321012e25L, "-9.87654321012E25"}};
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(MoneyToText(value), text);
        EXPECT_EQ(MoneyToText(TextToMoney(text)), text);
    }
    EXPECT_THROW(MoneyToText(std::numeric_limits<long double>::infinity()), EConvertError);
    EXPECT_THROW(MoneyToText(std::numeric_limits<long double>::quiet_NaN()), EConvertError);
    EXPECT_EQ(TextToMoney("+4"), 4.0L);
    EXPECT_EQ(TextToMoney("1.5E-10"), 1.5e-10L);
    EXPECT_EQ(TextToMoney("2e+3"), 2000.0L);
    EXPECT_NEAR(static_cast<double>(TextToMoney(MoneyToText(1.5e300L)) / 1.5e300L), 1.0, 1e-11);
}

TEST(MoneyText, RefusesEverythingElse) {
    for (const char* text : {"12,50", "1,234.00", "1 234", "", " 1", "1 ", "abc", "1.", ".5", "-",
                             "INF", "NAN", "1E", "--1", "0x10", "1e99999"})
        EXPECT_THROW(TextToMoney(text), EConvertError) << '"' << text << '"';
}
