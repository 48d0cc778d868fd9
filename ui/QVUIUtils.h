#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QDateTime>
#include <QLocale>
#include <QString>

#include "storage/QVUtils.h"

class QItemSelectionModel;

// Texts of the windows: language look-ups, month names, and amounts and dates in the user's
// locale (QLocale::system()).
namespace QVUIUtils {

QString ToQ(std::u16string_view text);
std::u16string FromQ(const QString& text);

// The current language's text of `key`; empty when the key or the table is missing.
QString Lang(std::u16string_view key);

// The long name of month 1..12 from the language table (MONTH_LONG_JAN ...); empty otherwise.
QString GetMonthName(int month);
// The month's name of `date`, and with `withYear` a blank and the year ("April 2007").
QString GetMonthCaption(bool withYear, TDateTime date);

// Fixed notation with exactly two decimals and at most `precision` significant digits (12 in
// grid cells, 10 in totals), the locale's decimal separator and no grouping; an amount whose
// integer part needs more than `precision` digits comes out in scientific notation.
QString FormatMoney(long double value, int precision);
QString FormatMoney(long double value, int precision, const QLocale& locale);
// The locale's short date format.
QString FormatDate(TDateTime date);
QString FormatDate(TDateTime date, const QLocale& locale);

// Reads an amount typed by the user: optional sign, digits, the locale's decimal separator and
// digits, and an exponent ("1.5E11") so that every amount FormatMoney shows reads back. Group
// separators, blanks and anything else raise EConvertError
// "'<text>' is not a valid floating point value".
long double ParseMoney(const QString& text);
long double ParseMoney(const QString& text, const QLocale& locale);

QDateTime ToQDateTime(TDateTime value);
TDateTime FromQDateTime(const QDateTime& value);

// The rows that hold a selected cell, each once, in ascending order (the grid's order when the
// view shows its model unsorted).
std::vector<int> SelectedRows(const QItemSelectionModel& selection);

} // namespace QVUIUtils
