#include "model/QVMoneyText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace QVMoneyText {

namespace {

constexpr int SignificantDigits = 12;
constexpr int Decimals = 2;

// Adds one unit in the last place of a string of decimal digits; returns true when the carry
// ran out of the front (the digits were all 9 and are now all 0).
bool IncrementDigits(std::string& digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return false;
        }
        *it = '0';
    }
    return true;
}

// 10^0 .. 10^26, all exact in a long double's 64-bit mantissa.
constexpr auto PowersOfTen = [] {
    std::array<long double, 27> powers{};
    long double p = 1.0L;
    for (auto& power : powers) {
        power = p;
        p *= 10.0L;
    }
    return powers;
}();

// The common case without a decimal conversion: |value| between 1e-15 and 1e12 is scaled to a
// number of twelve integer digits. The scaling is off by at most a few units of the last binary
// place, which only matters when the value lies next to a rounding tie; then the result is
// false and the exact conversion decides.
bool FastSignificant(long double value, std::uint64_t& digits, int& exponent) {
    const long double magnitude = std::fabs(value);
    if (!(magnitude >= 1e-15L && magnitude < 1e12L))
        return false;
    int e = 11;
    while (e > -15 && magnitude < PowersOfTen[static_cast<std::size_t>(e + 15)] * 1e-15L)
        --e;
    const long double scaled = magnitude * PowersOfTen[static_cast<std::size_t>(11 - e)];
    if (scaled < 1e11L - 1.0L || scaled >= 1e12L)
        return false;
    // The floor through a conversion in the present rounding mode: floor and a truncating
    // conversion each switch the x87 unit's mode, which costs more than the rest of the work.
    auto n = static_cast<std::uint64_t>(std::llrint(scaled));
    if (static_cast<long double>(n) > scaled)
        --n;
    const long double fraction = scaled - static_cast<long double>(n);
    if (std::fabs(fraction - 0.5L) < 1e-4L)
        return false;
    n += fraction > 0.5L ? 1 : 0;
    if (n == 1000000000000ULL) {
        n = 100000000000ULL;
        ++e;
    }
    digits = n;
    exponent = e;
    return n >= 100000000000ULL && n < 1000000000000ULL;
}

bool FastSignificantDecimal(long double value, std::string& digits, int& exponent) {
    std::uint64_t n;
    if (!FastSignificant(value, n, exponent))
        return false;
    digits = std::to_string(n);
    return true;
}

// 10^0 .. 10^14: the scales of twelve digits down to the hundredths.
constexpr std::uint64_t IntegerPowers[] = {
    1,           10,           100,           1000,           10000,
    100000,      1000000,      10000000,      100000000,      1000000000,
    10000000000, 100000000000, 1000000000000, 10000000000000, 100000000000000};

// Fixed (below) for the twelve digits of the fast case, held in an integer: a save writes
// hundreds of thousands of amounts, twice each. `exponent` is below 12.
std::string FixedFromInteger(bool negative, std::uint64_t digits, int exponent) {
    const int keep = exponent + 1 + Decimals;
    std::uint64_t hundredths = 0;
    if (keep <= 0) {
        hundredths = keep == 0 && digits >= 5 * IntegerPowers[SignificantDigits - 1] ? 1 : 0;
    } else if (keep >= SignificantDigits) {
        hundredths = digits * IntegerPowers[keep - SignificantDigits];
    } else {
        const std::uint64_t next = IntegerPowers[SignificantDigits - 1 - keep];
        hundredths = digits / (next * 10) + (digits / next % 10 >= 5 ? 1 : 0);
    }
    if (hundredths == 0)
        return "0.00"; // no "-0.00" for amounts that round to nothing
    char text[32];
    char* out = text;
    if (negative)
        *out++ = '-';
    out = std::to_chars(out, text + sizeof text, hundredths / 100).ptr;
    *out++ = '.';
    *out++ = static_cast<char>('0' + hundredths / 10 % 10);
    *out++ = static_cast<char>('0' + hundredths % 10);
    return std::string(text, out);
}

// The decimal digits of |value| rounded half away from zero to `precision` digits, and the
// decimal exponent of the first one. `value` is finite and not zero.
void SignificantDecimal(long double value, int precision, std::string& digits, int& exponent) {
    if (precision == SignificantDigits && FastSignificantDecimal(value, digits, exponent))
        return;
    // 40 digits show every long double that ties at the 12th digit as an exact tie, so the
    // rounding below sees the true decimal value and not a binary neighbour of it.
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%.39Le", std::fabs(value));
    digits.clear();
    const char* p = buffer;
    // Skip whatever the locale uses as decimal point: only digits and the exponent matter.
    for (; *p != '\0' && *p != 'e' && *p != 'E'; ++p) {
        if (*p >= '0' && *p <= '9')
            digits += *p;
    }
    exponent = 0;
    if (*p != '\0') {
        ++p;
        if (*p == '+')
            ++p;
        std::from_chars(p, buffer + sizeof buffer, exponent);
    }
    const auto size = static_cast<std::size_t>(precision);
    const bool roundUp = digits[size] >= '5';
    digits.resize(size);
    if (roundUp && IncrementDigits(digits)) {
        digits[0] = '1';
        ++exponent;
    }
}

std::string Scientific(bool negative, std::string digits, int exponent) {
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string text = negative ? "-" : "";
    text += digits[0];
    if (digits.size() > 1) {
        text += '.';
        text.append(digits, 1);
    }
    text += 'E';
    text += std::to_string(exponent);
    return text;
}

std::string Fixed(bool negative, const std::string& digits, int exponent) {
    const int precision = static_cast<int>(digits.size());
    // `keep` digits reach down to the last decimal place.
    const int keep = exponent + 1 + Decimals;
    std::string hundredths; // the amount times 100, as digits
    if (keep <= 0) {
        if (keep == 0 && digits[0] >= '5')
            hundredths = "1";
    } else if (keep >= precision) {
        hundredths = digits + std::string(static_cast<std::size_t>(keep - precision), '0');
    } else {
        hundredths = digits.substr(0, static_cast<std::size_t>(keep));
        if (digits[static_cast<std::size_t>(keep)] >= '5' && IncrementDigits(hundredths))
            hundredths.insert(hundredths.begin(), '1');
    }
    if (hundredths.find_first_not_of('0') == std::string::npos)
        return "0.00"; // no "-0.00" for amounts that round to nothing
    if (hundredths.size() < Decimals + 1)
        hundredths.insert(0, Decimals + 1 - hundredths.size(), '0');
    std::string text = negative ? "-" : "";
    text.append(hundredths, 0, hundredths.size() - Decimals);
    text += '.';
    text.append(hundredths, hundredths.size() - Decimals);
    return text;
}

[[noreturn]] void RaiseInvalid(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the run of digits at `pos`.
std::size_t DigitRun(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && IsDigit(text[end]))
        ++end;
    return end - pos;
}

} // namespace

std::string MoneyToText(long double value) {
    if (!std::isfinite(value))
        throw EConvertError("Amount cannot be stored: it is not a finite number");
    return FormatAmount(value, SignificantDigits);
}

std::string FormatAmount(long double value, int precision) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0.0L)
        return "0.00";
    precision = precision < 1 ? 1 : precision > 18 ? 18 : precision;
    if (precision == SignificantDigits) {
        std::uint64_t n;
        int e;
        if (FastSignificant(value, n, e) && e < SignificantDigits)
            return FixedFromInteger(std::signbit(value), n, e);
    }
    std::string digits;
    int exponent = 0;
    SignificantDecimal(value, precision, digits, exponent);
    const bool negative = std::signbit(value);
    if (exponent >= precision)
        return Scientific(negative, std::move(digits), exponent);
    return Fixed(negative, digits, exponent);
}

long double TextToMoney(std::string_view text) {
    std::size_t pos = 0;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        ++pos;
    std::size_t run = DigitRun(text, pos);
    if (run == 0)
        RaiseInvalid(text);
    pos += run;
    if (pos < text.size() && text[pos] == '.') {
        run = DigitRun(text, ++pos);
        if (run == 0)
            RaiseInvalid(text);
        pos += run;
    }
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
            ++pos;
        run = DigitRun(text, pos);
        if (run == 0)
            RaiseInvalid(text);
        pos += run;
    }
    if (pos != text.size())
        RaiseInvalid(text);

    // Up to 19 digits and a power of ten that a long double holds exactly: one division or
    // multiplication of two exact values rounds once, to the same value as the decimal
    // conversion, at a fraction of its cost. A budget holds thousands of amounts like "1234.56".
    if constexpr (std::numeric_limits<long double>::digits >= 64) {
        std::uint64_t mantissa = 0;
        int digits = 0, scale = 0, exponent = 0;
        std::size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
        for (bool fraction = false; i < text.size() && text[i] != 'E' && text[i] != 'e'; ++i) {
            if (text[i] == '.') {
                fraction = true;
                continue;
            }
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(text[i] - '0');
            ++digits;
            scale -= fraction ? 1 : 0;
        }
        bool small = digits <= 19;
        if (i < text.size()) {
            const bool negative = text[++i] == '-';
            i += text[i] == '-' || text[i] == '+' ? 1 : 0;
            small = small && text.size() - i <= 3;
            for (; small && i < text.size(); ++i)
                exponent = exponent * 10 + (text[i] - '0');
            exponent = negative ? -exponent : exponent;
        }
        const int power = scale + exponent;
        if (small && power > -static_cast<int>(PowersOfTen.size()) &&
            power < static_cast<int>(PowersOfTen.size())) {
            auto value = static_cast<long double>(mantissa);
            value = power < 0 ? value / PowersOfTen[static_cast<std::size_t>(-power)]
                              : value * PowersOfTen[static_cast<std::size_t>(power)];
            return text[0] == '-' ? -value : value;
        }
    }

    // from_chars takes no "+" of its own; it is locale-independent and rounds correctly.
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+')
        ++first;
    long double value = 0.0L;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last)
        RaiseInvalid(text);
    return value;
}

} // namespace QVMoneyText
