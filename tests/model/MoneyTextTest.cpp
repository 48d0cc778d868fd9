#include <limits>

#include <gtest/gtest.h>

#include "model/QVMoneyText.h"

using QVMoneyText::MoneyToText;
using QVMoneyText::TextToMoney;

TEST(MoneyText, WritesTwoDecimalsAfterTwelveSignificantDigits) {
    EXPECT_EQ(MoneyToText(12.5L), "12.50");
    EXPECT_EQ(MoneyToText(1234567.891L), "1234567.89");
    EXPECT_EQ(MoneyToText(-3.0L), "-3.00");
    EXPECT_EQ(MoneyToText(0.0L), "0.00");
    // The twelfth digit is rounded first, the hundredths after it; halves go away from zero on
    // the decimal digits, whichever side of them the binary value lies.
    EXPECT_EQ(MoneyToText(123456789012.34L), "123456789012.00");
    EXPECT_EQ(MoneyToText(99.995L), "100.00");
    EXPECT_EQ(MoneyToText(0.005L), "0.01");
    EXPECT_EQ(MoneyToText(1.005), "1.01");
    EXPECT_EQ(MoneyToText(-0.005L), "-0.01");
    EXPECT_EQ(MoneyToText(0.004L), "0.00");
    EXPECT_EQ(MoneyToText(-0.001L), "0.00"); // no "-0.00"
}

TEST(MoneyText, WritesScientificBeyondTwelveIntegerDigits) {
    EXPECT_EQ(MoneyToText(1234567890123456.0L), "1.23456789012E15");
    EXPECT_EQ(MoneyToText(1e20L), "1E20");
    EXPECT_EQ(MoneyToText(-1.5e20L), "-1.5E20");
    EXPECT_EQ(MoneyToText(999999999999.9L), "1E12"); // rounding carries into a 13th digit
    EXPECT_EQ(MoneyToText(1e4000L), "1E4000");
    EXPECT_THROW(MoneyToText(std::numeric_limits<long double>::infinity()), EConvertError);
    EXPECT_THROW(MoneyToText(std::numeric_limits<long double>::quiet_NaN()), EConvertError);
}

TEST(MoneyText, ReadsWhatTheWriterProduces) {
    EXPECT_EQ(TextToMoney("12.50"), 12.5L);
    EXPECT_EQ(TextToMoney("-3.00"), -3.0L);
    EXPECT_EQ(TextToMoney("+4"), 4.0L);
    EXPECT_EQ(TextToMoney("1.5E-10"), 1.5e-10L);
    EXPECT_EQ(TextToMoney("2e+3"), 2000.0L);
    for (long double value : {1234567890123456.0L, -9.87654321012e25L, 1.5e300L, 1e4000L}) {
        const std::string text = MoneyToText(value);
        EXPECT_EQ(MoneyToText(TextToMoney(text)), text);
        EXPECT_NEAR(static_cast<double>(TextToMoney(text) / value), 1.0, 1e-11) << text;
    }
}

TEST(MoneyText, RefusesEverythingElse) {
    for (const char* text : {"12,50", "1,234.00", "1 234", "", " 1", "1 ", "abc", "1.", ".5", "-",
                             "INF", "NAN", "1E", "--1", "0x10", "1e99999"}) {
        EXPECT_THROW(TextToMoney(text), EConvertError) << '"' << text << '"';
    }
    try {
        TextToMoney("12,50");
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "'12,50' is not a valid floating point value");
    }
}
