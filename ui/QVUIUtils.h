#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QDateTime>
#include <QFont>
#include <QLocale>
#include <QString>

#include "storage/QVUtils.h"

class QComboBox;
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
// digits (either side may be left out, "5." and ".5"), and an exponent ("1.5E11") so that every
// amount FormatMoney shows reads back. Blanks around the number are ignored. Group separators,
// blanks inside and anything else raise EConvertError
// "'<text>' is not a valid floating point value".
long double ParseMoney(const QString& text);
long double ParseMoney(const QString& text, const QLocale& locale);

// The entry of `box` that a typed `text` names: the current entry when its text is `text`, else
// the first entry of exactly that text, else the first that differs from it only in case; -1
// when none does. Typing in an editable box leaves the last picked index in place, so the text
// decides.
int MatchingEntry(const QComboBox& box, const QString& text);

// `text` on one line: every line break (a CR LF pair counting as one) and every tab becomes a
// blank. A one-line field takes what is pasted into it this way.
QString OneLine(const QString& text);
// A name of the budget (an account, a category, a title) as the windows show it: on one line,
// also when an older file or another program stored it with line breaks.
QString ShownName(std::u16string_view name);

// How much of a text of the user's a message quotes, in characters.
constexpr qsizetype QuotedChars = 60;
// A text of the user's as a message quotes it: on one line, and no longer than a line of the box
// (about 60 characters), cut with "…" at its end, or with ElideMiddle in its middle (a path,
// whose start and end both tell where it leads).
QString Quote(const QString& text, Qt::TextElideMode mode = Qt::ElideRight);

// `text` cut short enough that, laid out in `font` and wrapped at `width` pixels, it takes at
// most `lines` lines; a text that has to be cut ends in "…". Breaks fall between words where
// they can, else anywhere, and the text's own line breaks count.
QString FitLines(const QString& text, const QFont& font, int width, int lines);

// `text` with a break offered after each character of a word longer than `longWord` characters
// (a zero-width space there), so that a box or a tooltip that wraps it never runs wider than its
// room. Shorter words wrap where the text's own rules allow (at blanks, after "/").
QString BreakLongWords(const QString& text, qsizetype longWord = 20);

// A tooltip that shows `text` whole, however long: tooltips keep plain text on one line, so a
// long name would run off the screen. This one wraps into lines of a readable width, keeps the
// text's own line breaks, and lets a word too long for a line break anywhere. Only a text too
// long for the screen's height is cut, with "…", so that the tooltip never covers more than the
// screen.
QString WholeTextToolTip(const QString& text);

QDateTime ToQDateTime(TDateTime value);
TDateTime FromQDateTime(const QDateTime& value);

// The rows that hold a selected cell, each once, in ascending order (the grid's order when the
// view shows its model unsorted).
std::vector<int> SelectedRows(const QItemSelectionModel& selection);

} // namespace QVUIUtils
