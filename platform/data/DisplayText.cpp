#include "platform/data/DisplayText.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

// Walks a QLocale format pattern, calling f(run, quoted) for each run of one
// repeated letter outside quotes and for every other piece verbatim.
template <typename F> void ForEachPatternPiece(const QString& pattern, F&& f)
{
    qsizetype i = 0;
    const qsizetype n = pattern.size();
    while (i < n) {
        const QChar c = pattern[i];
        if (c == u'\'') {
            qsizetype j = i + 1;
            while (j < n && pattern[j] != u'\'')
                ++j;
            j = std::min(j + 1, n);
            f(pattern.mid(i, j - i), true);
            i = j;
        } else if (c.isLetter()) {
            qsizetype j = i;
            while (j < n && pattern[j] == c)
                ++j;
            f(pattern.mid(i, j - i), false);
            i = j;
        } else {
            f(QString(c), true);
            ++i;
        }
    }
}

QString WidenTwoDigitYear(const QString& pattern)
{
    QString out;
    ForEachPatternPiece(pattern, [&](const QString& piece, bool literal) {
        out += (!literal && piece == QLatin1String("yy")) ? QStringLiteral("yyyy") : piece;
    });
    return out;
}

QString DropTimeZone(const QString& pattern)
{
    QString out;
    ForEachPatternPiece(pattern, [&](const QString& piece, bool literal) {
        if (literal || piece[0] != u't')
            out += piece;
    });
    return out.simplified();
}

std::optional<TFormatSettings>& CurrentSlot()
{
    static std::optional<TFormatSettings> current;
    return current;
}

QString CutAtNul(QString s)
{
    const qsizetype nul = s.indexOf(QChar(0));
    if (nul >= 0)
        s.truncate(nul);
    return s;
}

// A date or time pattern compiled once for a locale: the pieces in order.
// Patterns that use anything beyond the numeric fields and AM/PM (names,
// quotes, fractions of a second, unusual run lengths) and locales with other
// digits than ASCII are left to QLocale, which re-parses the pattern on every
// call: about 8 us a value, against well under 1 us here (bench_export).
struct TPatternPiece {
    enum Kind : std::uint8_t { Literal, Day, Month, Year2, Year4, Hour12, Hour24, Minute, Second, AmPm };
    Kind kind = Literal;
    bool padded = false;   // two digits for the numeric fields
    QString text;          // Literal; AmPm: unused
};

struct TCompiledPattern {
    QString pattern;
    QLocale locale = QLocale::c();
    bool valid = false;    // compiled for pattern + locale
    bool fast = false;     // false: leave the pattern to QLocale
    QString am, pm;        // as the pattern shows them (upper or lower case)
    std::vector<TPatternPiece> pieces;
};

void Compile(TCompiledPattern& c)
{
    c.pieces.clear();
    c.fast = c.locale.zeroDigit() == QLatin1String("0");
    bool twelveHour = false;
    bool upperAmPm = true;
    const QString& p = c.pattern;
    const qsizetype n = p.size();
    for (qsizetype i = 0; i < n && c.fast;) {
        const QChar ch = p[i];
        qsizetype run = 1;
        while (i + run < n && p[i + run] == ch)
            ++run;
        TPatternPiece piece;
        if (!ch.isLetter() && ch != u'\'') {
            piece.text = p.mid(i, run);
        } else if ((ch == u'A' || ch == u'a') && run == 1) {
            piece.kind = TPatternPiece::AmPm;
            twelveHour = true;
            upperAmPm = ch == u'A';
            if (i + 1 < n && (p[i + 1] == u'P' || p[i + 1] == u'p')) {
                if ((p[i + 1] == u'P') != upperAmPm)
                    c.fast = false; // mixed case means the locale's own casing
                run = 2;
            }
        } else if (run <= 2 && (ch == u'd' || ch == u'M' || ch == u'h' || ch == u'H' || ch == u'm' || ch == u's')) {
            piece.padded = run == 2;
            piece.kind = ch == u'd' ? TPatternPiece::Day
                : ch == u'M'        ? TPatternPiece::Month
                : ch == u'h'        ? TPatternPiece::Hour12
                : ch == u'H'        ? TPatternPiece::Hour24
                : ch == u'm'        ? TPatternPiece::Minute
                                    : TPatternPiece::Second;
        } else if (ch == u'y' && (run == 2 || run == 4)) {
            piece.kind = run == 2 ? TPatternPiece::Year2 : TPatternPiece::Year4;
        } else {
            c.fast = false;
        }
        c.pieces.push_back(std::move(piece));
        i += run;
    }
    if (!twelveHour)
        for (TPatternPiece& piece : c.pieces)
            if (piece.kind == TPatternPiece::Hour12)
                piece.kind = TPatternPiece::Hour24;
    c.am = upperAmPm ? c.locale.amText().toUpper() : c.locale.amText().toLower();
    c.pm = upperAmPm ? c.locale.pmText().toUpper() : c.locale.pmText().toLower();
    c.valid = true;
}

// The compiled form of `pattern` for `locale`; one slot per kind of value
// (date, time) and thread, recompiled when either changes.
const TCompiledPattern& Compiled(int slot, const QString& pattern, const QLocale& locale)
{
    thread_local std::array<TCompiledPattern, 2> cache;
    TCompiledPattern& c = cache[std::size_t(slot)];
    if (!c.valid || c.pattern != pattern || c.locale != locale) {
        c.pattern = pattern;
        c.locale = locale;
        Compile(c);
    }
    return c;
}

void AppendNumber(QString& out, int value, bool padded)
{
    if (padded && value < 10)
        out += u'0';
    if (value >= 10)
        AppendNumber(out, value / 10, false);
    out += QChar(u'0' + value % 10);
}

// Appends the pieces for a date and/or a time; false when a value lies
// outside what the pieces can show as QLocale would (years before 1000 or
// after 9999).
bool AppendPieces(QString& out, const TCompiledPattern& c, const QDate* d, const QTime* t)
{
    for (const TPatternPiece& piece : c.pieces) {
        switch (piece.kind) {
        case TPatternPiece::Literal: out += piece.text; break;
        case TPatternPiece::Day: if (!d) return false; AppendNumber(out, d->day(), piece.padded); break;
        case TPatternPiece::Month: if (!d) return false; AppendNumber(out, d->month(), piece.padded); break;
        case TPatternPiece::Year2:
        case TPatternPiece::Year4:
            if (!d || d->year() < 1000 || d->year() > 9999)
                return false;
            AppendNumber(out, piece.kind == TPatternPiece::Year2 ? d->year() % 100 : d->year(), true);
            break;
        case TPatternPiece::Hour12: {
            if (!t) return false;
            const int h = t->hour() % 12;
            AppendNumber(out, h == 0 ? 12 : h, piece.padded);
            break;
        }
        case TPatternPiece::Hour24: if (!t) return false; AppendNumber(out, t->hour(), piece.padded); break;
        case TPatternPiece::Minute: if (!t) return false; AppendNumber(out, t->minute(), piece.padded); break;
        case TPatternPiece::Second: if (!t) return false; AppendNumber(out, t->second(), piece.padded); break;
        case TPatternPiece::AmPm: if (!t) return false; out += t->hour() < 12 ? c.am : c.pm; break;
        }
    }
    return true;
}

QString DateText(const QDate& d, const TFormatSettings& fs)
{
    if (!d.isValid())
        return {};
    const TCompiledPattern& c = Compiled(0, fs.shortDateFormat, fs.locale);
    QString out;
    if (c.fast) {
        out.reserve(c.pattern.size() + 4);
        if (AppendPieces(out, c, &d, nullptr))
            return out;
    }
    return fs.locale.toString(d, fs.shortDateFormat);
}

QString TimeText(const QTime& t, const TFormatSettings& fs)
{
    if (!t.isValid())
        return {};
    const TCompiledPattern& c = Compiled(1, fs.longTimeFormat, fs.locale);
    QString out;
    if (c.fast) {
        out.reserve(c.pattern.size() + 4);
        if (AppendPieces(out, c, nullptr, &t))
            return out;
    }
    return fs.locale.toString(t, fs.longTimeFormat);
}

} // namespace

TFormatSettings TFormatSettings::FromLocale(const QLocale& locale)
{
    TFormatSettings fs;
    fs.locale = locale;
    const QString point = locale.decimalPoint();
    fs.decimalSeparator = point.isEmpty() ? QChar(u'.') : point[0];
    fs.shortDateFormat = WidenTwoDigitYear(locale.dateFormat(QLocale::ShortFormat));
    fs.longTimeFormat = DropTimeZone(locale.timeFormat(QLocale::LongFormat));
    return fs;
}

const TFormatSettings& CurrentFormatSettings()
{
    auto& slot = CurrentSlot();
    if (!slot)
        slot = TFormatSettings::FromLocale(QLocale::system());
    return *slot;
}

void SetCurrentFormatSettings(const TFormatSettings& settings)
{
    CurrentSlot() = settings;
}

QString FormatFloatGeneral(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0.0)
        return QStringLiteral("0");

    // "-d.dddddddddddddde+xxx": the value rounded to 15 significant digits.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    QString digits;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9')
            digits += QLatin1Char(*p);
    const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    while (digits.size() > 1 && digits.endsWith(u'0'))
        digits.chop(1);

    QString out;
    if (negative)
        out += u'-';
    if (exponent >= -5 && exponent < 15) {
        if (exponent >= 0) {
            const qsizetype intDigits = exponent + 1;
            if (digits.size() <= intDigits) {
                out += digits;
                out += QString(intDigits - digits.size(), u'0');
            } else {
                out += digits.left(intDigits);
                out += decimalSeparator;
                out += digits.mid(intDigits);
            }
        } else {
            out += u'0';
            out += decimalSeparator;
            out += QString(-exponent - 1, u'0');
            out += digits;
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out += digits.mid(1);
        }
        out += u'E';
        out += QString::number(exponent);
    }
    return out;
}

QString FormatExactDecimal(QStringView text, QChar decimalSeparator)
{
    const QStringView t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        negative = t[i] == u'-';
        ++i;
    }
    const qsizetype intStart = i;
    while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128)
        ++i;
    QStringView intPart = t.mid(intStart, i - intStart);
    QStringView fracPart;
    if (i < t.size() && t[i] == u'.') {
        const qsizetype fracStart = ++i;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128)
            ++i;
        fracPart = t.mid(fracStart, i - fracStart);
    }
    if (i != t.size() || (intPart.isEmpty() && fracPart.isEmpty())) {
        QString raw = t.toString();
        raw.replace(u'.', decimalSeparator);
        return raw;
    }
    while (intPart.size() > 1 && intPart[0] == u'0')
        intPart = intPart.mid(1);
    while (!fracPart.isEmpty() && fracPart.back() == u'0')
        fracPart.chop(1);
    if (intPart.isEmpty())
        intPart = u"0";
    const bool zero = intPart == u"0" && fracPart.isEmpty();

    QString out;
    out.reserve(intPart.size() + fracPart.size() + 2);
    if (negative && !zero)
        out += u'-';
    out += intPart;
    if (!fracPart.isEmpty()) {
        out += decimalSeparator;
        out += fracPart;
    }
    return out;
}

QString ValueDisplayText(const QVariant& value, TFieldType type, const TFormatSettings& fs)
{
    if (!value.isValid() || value.isNull())
        return {};
    if (IsBinaryType(type)) {
        const QByteArray bytes = value.toByteArray();
        return QString::fromLatin1(bytes.constData(), bytes.size());
    }
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint:
        return QString::number(value.toLongLong());
    case ftFloat:
    case ftCurrency:
        return FormatFloatGeneral(value.toDouble(), fs.decimalSeparator);
    case ftBCD:
        return FormatExactDecimal(value.toString(), fs.decimalSeparator);
    case ftBoolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case ftDate:
        return DateText(value.toDate(), fs);
    case ftTime:
        return TimeText(value.toTime(), fs);
    case ftDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return {};
        QString out = DateText(dt.date(), fs);
        if (dt.time() != QTime(0, 0)) {
            out += u' ';
            out += TimeText(dt.time(), fs);
        }
        return out;
    }
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
        return value.toString();
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
        return CutAtNul(value.toString());
    default:
        return value.toString();
    }
}
