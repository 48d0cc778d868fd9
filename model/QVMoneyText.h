#pragma once

#include <string>
#include <string_view>

#include "platform/Exception.h"

// Text that does not convert to a number, or a number that cannot be written as text.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Money amounts as they stand inside budget files. The form never depends on the user's locale.
namespace QVMoneyText {

// Rounded to 12 significant digits, then written with exactly two decimals and "." ("12.50",
// "-3.00", "1234567.89"). When the integer part needs more than 12 digits the amount is written
// in scientific form instead ("1.23456789012E15", "1E20"). Both roundings go half away from zero
// on the decimal digits, so 0.005 is written "0.01". Raises EConvertError for an infinite or
// NaN amount, which could never be read back.
std::string MoneyToText(long double value);

// The same form rounded to `precision` significant digits (1 to 18) instead of 12, as amounts are
// shown: 12 digits in grid cells, 10 in totals. Infinite and NaN amounts read "INF", "-INF" and
// "NAN".
std::string FormatAmount(long double value, int precision);

// Accepts exactly: optional sign, digits, optionally "." and digits, optionally "E" or "e" with an
// optional sign and digits. Anything else (",", grouping, blanks, letters, an empty text, INF,
// NAN, or a value beyond the range of long double) raises EConvertError.
long double TextToMoney(std::string_view text);

} // namespace QVMoneyText
