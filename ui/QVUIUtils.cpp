#include "ui/QVUIUtils.h"

#include <algorithm>
#include <charconv>

#include <QComboBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QItemSelectionModel>
#include <QScreen>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QToolTip>

#include "model/QVEnvironment.h"
#include "model/QVMoneyText.h"
#include "model/QVStringKeeper.h"

namespace QVUIUtils {

namespace {

constexpr qint64 MSecsPerDay = 86400000;

// Day 0 of the model's date values.
const QDate& Epoch() {
    static const QDate epoch(1899, 12, 30);
    return epoch;
}

[[noreturn]] void RaiseInvalid(const QString& text) {
    throw EConvertError("'" + Quote(text).toStdString() + "' is not a valid floating point value");
}

bool IsLineBreak(QChar c) {
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == QChar(0x85) ||
           c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

bool IsBlankedOnOneLine(QChar c) {
    return c == u'\t' || IsLineBreak(c);
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
    QString text = QString::fromLatin1(QVMoneyText::FormatAmount(value, precision));
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
    // Blanks around the number come with pasted text and mean nothing; blanks inside it would be
    // digit grouping, which stays refused.
    const QString trimmed = text.trimmed();
    const QString separator = locale.decimalPoint();
    const QString minus = locale.negativeSign();
    std::string number; // the same amount in the form from_chars reads
    qsizetype pos = 0;
    if (trimmed.startsWith(u'+')) {
        pos = 1;
    } else if (trimmed.startsWith(u'-')) {
        number += '-';
        pos = 1;
    } else if (!minus.isEmpty() && trimmed.startsWith(minus)) {
        number += '-';
        pos = minus.size();
    }
    // Either side of the decimal separator may be left out ("5." and ".5"), not both.
    number += '0';
    const bool whole = TakeDigits(trimmed, pos, number);
    bool fraction = false;
    if (!separator.isEmpty() && QStringView(trimmed).mid(pos).startsWith(separator)) {
        pos += separator.size();
        number += '.';
        fraction = TakeDigits(trimmed, pos, number);
        if (!fraction)
            number.pop_back();
    }
    if (!whole && !fraction)
        RaiseInvalid(text);
    if (pos < trimmed.size() && (trimmed[pos] == u'E' || trimmed[pos] == u'e')) {
        number += 'e';
        ++pos;
        if (pos < trimmed.size() && (trimmed[pos] == u'-' || trimmed[pos] == u'+'))
            number += static_cast<char>(trimmed[pos++].unicode());
        if (!TakeDigits(trimmed, pos, number))
            RaiseInvalid(text);
    }
    if (pos != trimmed.size())
        RaiseInvalid(text);

    long double value = 0.0L;
    const char* last = number.data() + number.size();
    const auto [end, error] = std::from_chars(number.data(), last, value);
    if (error != std::errc() || end != last)
        RaiseInvalid(text);
    return value;
}

int MatchingEntry(const QComboBox& box, const QString& text) {
    const int current = box.currentIndex();
    if (current >= 0 && box.itemText(current) == text)
        return current;
    // A name that differs only in case still picks the entry: the completers offer entries
    // without regard to case, and two accounts whose names differ only in case are a slip, not
    // an intent.
    for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (int i = 0; i < box.count(); ++i) {
            if (box.itemText(i).compare(text, sensitivity) == 0)
                return i;
        }
    }
    return -1;
}

QString OneLine(const QString& text) {
    if (std::none_of(text.begin(), text.end(), IsBlankedOnOneLine))
        return text;
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        // The LF of a CR LF pair stands for both.
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue;
        line += IsBlankedOnOneLine(text[i]) ? QChar(u' ') : text[i];
    }
    return line;
}

QString ShownName(std::u16string_view name) {
    return OneLine(ToQ(name));
}

QString FitLines(const QString& text, const QFont& font, int width, int lines) {
    width = std::max(width, 1);
    lines = std::max(lines, 1);
    // No character is narrower than a pixel, so what lies beyond this cannot fit; a long text
    // is not laid out whole only to be cut.
    const qsizetype most = static_cast<qsizetype>(width) * lines;
    QString laid = text.left(most + 1);
    for (QChar& c : laid) {
        if (IsLineBreak(c))
            c = QChar::LineSeparator; // a text layout breaks lines only at its own separator
    }
    const QString ellipsis = QStringLiteral("…");
    QTextLayout layout(laid, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qsizetype end = 0;
    int count = 0;
    bool cut = false;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        if (count == lines) {
            cut = true;
            break;
        }
        // The last line keeps room for the ellipsis.
        ++count;
        line.setLineWidth(count == lines ? width - QFontMetrics(font).horizontalAdvance(ellipsis)
                                         : width);
        end = line.textStart() + line.textLength();
    }
    layout.endLayout();
    if (!cut && end >= text.size())
        return text;
    while (end > 0 && laid[end - 1].isSpace())
        --end;
    return text.left(end) + ellipsis;
}

QString BreakLongWords(const QString& text, qsizetype longWord) {
    constexpr QChar BreakHere(0x200B);
    QString result;
    result.reserve(text.size());
    qsizetype wordStart = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !text.at(i).isSpace())
            continue;
        const QStringView word = QStringView(text).mid(wordStart, i - wordStart);
        if (word.size() > longWord) {
            for (qsizetype j = 0; j < word.size(); ++j) {
                result += word.at(j);
                // Never inside a character made of two code units, nor before an accent.
                if (j + 1 < word.size() && !word.at(j).isHighSurrogate() &&
                    !word.at(j + 1).isMark())
                    result += BreakHere;
            }
        } else {
            result += word;
        }
        if (i < text.size())
            result += text.at(i);
        wordStart = i + 1;
    }
    return result;
}

QString WholeTextToolTip(const QString& whole) {
    // A tooltip wraps its text at about eighty "x" wide, and some lines end short of that where
    // the next word does not fit: three quarters of it is what a line surely holds.
    const QFont font = QToolTip::font();
    const QFontMetrics metrics(font);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int height = screen != nullptr ? screen->availableGeometry().height() : 480;
    const QString text = FitLines(whole, font, metrics.horizontalAdvance(u'x') * 60,
                                  height / metrics.lineSpacing() - 2);
    // Rich text, which a tooltip wraps.
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") +
           BreakLongWords(text).toHtmlEscaped().replace(u'\n', QStringLiteral("<br/>")) +
           QStringLiteral("</p>");
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
    // Range by range rather than cell by cell: a selection of every row of a long list is one
    // range, and its cells would be millions of indexes.
    std::vector<int> rows;
    const QAbstractItemModel* model = selection.model();
    for (const QItemSelectionRange& range : selection.selection()) {
        if (!range.isValid() || range.parent().isValid())
            continue;
        for (int row = range.top(); row <= range.bottom(); ++row) {
            // A row counts when one of its cells in the range can be selected, as for the cells.
            for (int column = range.left(); column <= range.right(); ++column) {
                const Qt::ItemFlags flags = model->index(row, column).flags();
                if (flags.testFlag(Qt::ItemIsSelectable) && flags.testFlag(Qt::ItemIsEnabled)) {
                    rows.push_back(row);
                    break;
                }
            }
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

namespace {

// The nearest boundary between whole characters at or before `at` (`forward`: at or after).
qsizetype CharacterBoundary(const QString& text, qsizetype at, bool forward) {
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.setPosition(at);
    if (!characters.isAtBoundary()) {
        forward ? characters.toNextBoundary() : characters.toPreviousBoundary();
    }
    return characters.position() < 0 ? at : characters.position();
}

} // namespace

QString Quote(const QString& text, Qt::TextElideMode mode) {
    const QString line = QVUIUtils::OneLine(text);
    if (line.size() <= QuotedChars) {
        return line;
    }
    const QString ellipsis = QStringLiteral("…");
    if (mode == Qt::ElideMiddle) {
        const qsizetype half = (QuotedChars - 1) / 2;
        // Only the ends are looked at for their characters' boundaries.
        const QString head = line.left(half + 8);
        const QString tail = line.right(QuotedChars - 1 - half + 8);
        return head.left(CharacterBoundary(head, half, false)) + ellipsis +
               tail.mid(CharacterBoundary(tail, 8, true));
    }
    const QString head = line.left(QuotedChars + 8);
    return head.left(CharacterBoundary(head, QuotedChars - 1, false)) + ellipsis;
}

} // namespace QVUIUtils
