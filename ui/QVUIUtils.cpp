#include "ui/QVUIUtils.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include <QItemSelectionModel>

#include "model/QVEnvironment.h"
#include "model/QVMoneyText.h"
#include "model/QVStringKeeper.h"

namespace QVUIUtils {

namespace {

constexpr int Decimals = 2;
constexpr qint64 MSecsPerDay = 86400000;

// Day 0 of the model's date values.
const QDate& Epoch() {
    static const QDate epoch(1899, 12, 30);
    return epoch;
}

// Adds one unit in the last place of a string of decimal digits; true when the carry ran out of
// the front (the digits were all 9 and are now all 0).
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

// |value| rounded half away from zero to `precision` significant digits, and the decimal exponent
// of the first digit. The forty digits printed first show a binary value that ties at the
// rounding place as an exact tie, so the tie is decided on the true decimal value; amounts thus
// round exactly as the budget file writes them.
void SignificantDecimal(long double value, int precision, std::string& digits, int& exponent) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%.39Le", std::fabs(value));
    digits.clear();
    const char* p = buffer;
    // The C library prints the decimal point of the process locale; only digits matter here.
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
        return "0.00"; // an amount that rounds to nothing has no sign
    if (hundredths.size() < Decimals + 1)
        hundredths.insert(0, Decimals + 1 - hundredths.size(), '0');
    std::string text = negative ? "-" : "";
    text.append(hundredths, 0, hundredths.size() - Decimals);
    text += '.';
    text.append(hundredths, hundredths.size() - Decimals);
    return text;
}

// The amount with "." as decimal point.
std::string MoneyText(long double value, int precision) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0.0L)
        return "0.00";
    precision = precision < 1 ? 1 : precision > 18 ? 18 : precision;
    std::string digits;
    int exponent = 0;
    SignificantDecimal(value, precision, digits, exponent);
    const bool negative = std::signbit(value);
    if (exponent >= precision)
        return Scientific(negative, std::move(digits), exponent);
    return Fixed(negative, digits, exponent);
}

[[noreturn]] void RaiseInvalid(const QString& text) {
    throw EConvertError("'" + text.toStdString() + "' is not a valid floating point value");
}

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Copies the run of ASCII digits at `pos` into `out`; false when there is none.
bool TakeDigits(const QString& text, qsizetype& pos, std::string& out) {
    const qsizetype start = pos;
    while (pos < text.size() && IsDigit(text[pos]))
        out += static_cast<char>(text[pos++].unicode());
    return pos > start;
}

} // namespace

QString ToQ(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string FromQ(const QString& text) {
    return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

QString Lang(std::u16string_view key) {
    if (Environment == nullptr || Environment->CurrentLanguage == nullptr)
        return {};
    std::u16string text;
    Environment->CurrentLanguage->GetString(key, u"", text);
    return ToQ(text);
}

QString GetMonthName(int month) {
    static constexpr std::u16string_view Keys[12] = {
        u"MONTH_LONG_JAN", u"MONTH_LONG_FEB", u"MONTH_LONG_MAR", u"MONTH_LONG_APR",
        u"MONTH_LONG_MAY", u"MONTH_LONG_JUN", u"MONTH_LONG_JUL", u"MONTH_LONG_AUG",
        u"MONTH_LONG_SEP", u"MONTH_LONG_OCT", u"MONTH_LONG_NOV", u"MONTH_LONG_DEC"};
    if (month < 1 || month > 12)
        return {};
    return Lang(Keys[month - 1]);
}

QString GetMonthCaption(bool withYear, TDateTime date) {
    const QVUtils::TDateParts parts = QVUtils::DecodeDate(date);
    QString caption = GetMonthName(parts.Month);
    if (withYear)
        caption += u' ' + QString::number(parts.Year);
    return caption;
}

QString FormatMoney(long double value, int precision) {
    return FormatMoney(value, precision, QLocale::system());
}

QString FormatMoney(long double value, int precision, const QLocale& locale) {
    QString text = QString::fromLatin1(MoneyText(value, precision));
    return text.replace(u'.', locale.decimalPoint());
}

QString FormatDate(TDateTime date) {
    return FormatDate(date, QLocale::system());
}

QString FormatDate(TDateTime date, const QLocale& locale) {
    return locale.toString(ToQDateTime(date).date(), QLocale::ShortFormat);
}

long double ParseMoney(const QString& text) {
    return ParseMoney(text, QLocale::system());
}

long double ParseMoney(const QString& text, const QLocale& locale) {
    const QString separator = locale.decimalPoint();
    const QString minus = locale.negativeSign();
    std::string number; // the same amount in the form from_chars reads
    qsizetype pos = 0;
    if (text.startsWith(u'+')) {
        pos = 1;
    } else if (text.startsWith(u'-')) {
        number += '-';
        pos = 1;
    } else if (!minus.isEmpty() && text.startsWith(minus)) {
        number += '-';
        pos = minus.size();
    }
    if (!TakeDigits(text, pos, number))
        RaiseInvalid(text);
    if (!separator.isEmpty() && QStringView(text).mid(pos).startsWith(separator)) {
        pos += separator.size();
        number += '.';
        if (!TakeDigits(text, pos, number))
            RaiseInvalid(text);
    }
    if (pos < text.size() && (text[pos] == u'E' || text[pos] == u'e')) {
        number += 'e';
        ++pos;
        if (pos < text.size() && (text[pos] == u'-' || text[pos] == u'+'))
            number += static_cast<char>(text[pos++].unicode());
        if (!TakeDigits(text, pos, number))
            RaiseInvalid(text);
    }
    if (pos != text.size())
        RaiseInvalid(text);

    long double value = 0.0L;
    const char* last = number.data() + number.size();
    const auto [end, error] = std::from_chars(number.data(), last, value);
    if (error != std::errc() || end != last)
        RaiseInvalid(text);
    return value;
}

QDateTime ToQDateTime(TDateTime value) {
    if (!std::isfinite(value))
        return {};
    // Before day 0 the fraction still counts forward from midnight: -1.25 is 29 Dec 1899, 06:00.
    const double days = std::trunc(value);
    qint64 msecs = std::llround(std::fabs(value - days) * MSecsPerDay);
    QDate date = Epoch().addDays(static_cast<qint64>(days));
    if (msecs >= MSecsPerDay) {
        msecs -= MSecsPerDay;
        date = date.addDays(1);
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)));
}

TDateTime FromQDateTime(const QDateTime& value) {
    if (!value.isValid())
        return 0.0;
    const QDateTime local = value.toLocalTime();
    const auto days = static_cast<double>(Epoch().daysTo(local.date()));
    const double fraction = local.time().msecsSinceStartOfDay() / static_cast<double>(MSecsPerDay);
    return days >= 0 ? days + fraction : days - fraction;
}

std::vector<int> SelectedRows(const QItemSelectionModel& selection) {
    std::set<int> rows;
    for (const QModelIndex& index : selection.selectedIndexes()) {
        if (!index.parent().isValid())
            rows.insert(index.row());
    }
    return {rows.begin(), rows.end()};
}

} // namespace QVUIUtils
