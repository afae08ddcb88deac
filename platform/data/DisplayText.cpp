#include "platform/data/DisplayText.h"

#include "platform/data/ColumnStore.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
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

// A date or time pattern compiled once for a locale: the pieces in order,
// with the locale's month and day names, AM/PM texts and digits looked up at
// compile time, so a value costs no QLocale call (QLocale re-parses the
// pattern on every call: about 8 us a value, against well under 1 us here,
// bench_export). What the pieces cannot show as QLocale::toString would
// (fractions of a second, unusual run lengths, letters outside the kind of
// value, years outside 1000..9999) is left to
// QLocale; DisplayTextTest compares both in every locale.
struct TPatternPiece {
    enum Kind : std::uint8_t {
        Literal, Day, Month, Year2, Year4, Hour12, Hour24, Minute, Second, AmPm, DayName, MonthName
    };
    Kind kind = Literal;
    bool padded = false;   // two digits for the numeric fields
    bool longName = false; // DayName, MonthName: the long form; AmPm: upper case
    QString text;          // Literal
};

struct TCompiledPattern {
    QString pattern;
    QLocale locale = QLocale::c();
    bool valid = false;    // compiled for pattern + locale
    bool fast = false;     // false: leave the pattern to QLocale
    // The locale's zero digit, one code unit or a surrogate pair; the other
    // digits follow it in the last unit.
    std::array<char16_t, 2> zero{u'0', 0};
    QString am[2], pm[2];  // [upper] lower case, upper case
    std::array<QString, 12> months[2];   // [long] short, long names
    std::array<QString, 7> days[2];      // [long] Monday first
    std::vector<TPatternPiece> pieces;
    // The last date formed (dates only): results repeat a day for many rows.
    qint64 lastJd = std::numeric_limits<qint64>::min();
    qsizetype lastSize = 0;
    std::array<char16_t, 64> lastText{};
};

// The quoted text at p[i] (a quote) as QLocale reads it: "''" is a quote,
// inside quotes too; an unclosed quote runs to the end. Moves i past it.
QString ReadQuoted(const QString& p, qsizetype& i)
{
    ++i;
    if (i == p.size())
        return {};
    if (p[i] == u'\'') {
        ++i;
        return QStringLiteral("'");
    }
    QString text;
    while (i < p.size()) {
        if (p[i] == u'\'') {
            if (i + 1 < p.size() && p[i + 1] == u'\'') {
                text += u'\'';
                i += 2;
                continue;
            }
            break;
        }
        text += p[i++];
    }
    if (i < p.size())
        ++i;
    return text;
}

// `date`: the pattern formats dates (else times); letters of the other kind
// are left to QLocale.
void Compile(TCompiledPattern& c, bool date)
{
    c.pieces.clear();
    c.lastJd = std::numeric_limits<qint64>::min();
    const QString zero = c.locale.zeroDigit();
    c.fast = (zero.size() == 1 && !zero[0].isSurrogate())
        || (zero.size() == 2 && zero[0].isHighSurrogate() && zero[1].isLowSurrogate()
            && (zero[1].unicode() & 0x3FF) + 9 <= 0x3FF);
    c.zero = {c.fast ? zero[0].unicode() : u'0', c.fast && zero.size() == 2 ? zero[1].unicode() : char16_t(0)};
    bool twelveHour = false;
    const QString& p = c.pattern;
    const qsizetype n = p.size();
    auto literal = [&c](const QString& text) {
        if (!c.pieces.empty() && c.pieces.back().kind == TPatternPiece::Literal)
            c.pieces.back().text += text;
        else
            c.pieces.push_back({TPatternPiece::Literal, false, false, text});
    };
    for (qsizetype i = 0; i < n && c.fast;) {
        const QChar ch = p[i];
        if (ch == u'\'') {
            literal(ReadQuoted(p, i));
            continue;
        }
        qsizetype run = 1;
        while (i + run < n && p[i + run] == ch)
            ++run;
        TPatternPiece piece;
        const bool dateLetter = ch == u'd' || ch == u'M' || ch == u'y';
        const bool timeLetter = ch == u'h' || ch == u'H' || ch == u'm' || ch == u's' || ch == u'z' || ch == u'a'
            || ch == u'A' || ch == u't';
        if (!dateLetter && !timeLetter) {
            literal(p.mid(i, run));
            i += run;
            continue;
        }
        if (dateLetter != date) {
            c.fast = false;
        } else if ((ch == u'A' || ch == u'a') && run == 1) {
            // Each piece has its own casing, as QLocale gives it.
            piece.kind = TPatternPiece::AmPm;
            piece.longName = ch == u'A';
            twelveHour = true;
            if (i + 1 < n && (p[i + 1] == u'P' || p[i + 1] == u'p')) {
                if ((p[i + 1] == u'P') != piece.longName)
                    c.fast = false; // mixed case means the locale's own casing
                run = 2;
            }
        } else if ((ch == u'd' || ch == u'M') && (run == 3 || run == 4)) {
            piece.kind = ch == u'd' ? TPatternPiece::DayName : TPatternPiece::MonthName;
            piece.longName = run == 4;
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
    c.am[0] = c.locale.amText().toLower();
    c.am[1] = c.locale.amText().toUpper();
    c.pm[0] = c.locale.pmText().toLower();
    c.pm[1] = c.locale.pmText().toUpper();
    for (int form = 0; form < 2; ++form) {
        const QLocale::FormatType type = form ? QLocale::LongFormat : QLocale::ShortFormat;
        for (int m = 0; m < 12; ++m)
            c.months[form][std::size_t(m)] = c.locale.monthName(m + 1, type);
        for (int d = 0; d < 7; ++d)
            c.days[form][std::size_t(d)] = c.locale.dayName(d + 1, type);
    }
    c.valid = true;
}

// The compiled form of `pattern` for `locale`; one slot per kind of value
// (0 date, 1 time) and thread, recompiled when either changes.
TCompiledPattern& Compiled(int slot, const QString& pattern, const QLocale& locale)
{
    thread_local std::array<TCompiledPattern, 2> cache;
    TCompiledPattern& c = cache[std::size_t(slot)];
    // The same shared text is the same pattern: a shared QString is copied
    // before it changes.
    const bool samePattern = c.pattern.constData() == pattern.constData() && c.pattern.size() == pattern.size();
    if (!c.valid || !(samePattern || c.pattern == pattern) || c.locale != locale) {
        c.pattern = pattern;
        c.locale = locale;
        Compile(c, slot == 0);
    }
    return c;
}

using TZero = std::array<char16_t, 2>;
using TUnits = TUnitBuffer;

void Add(TUnits& out, QStringView text) { out.append(text.utf16(), text.size()); }

void AppendDigit(TUnits& out, int digit, const TZero& zero)
{
    if (zero[1] == 0) {
        out.append(char16_t(zero[0] + digit));
    } else {
        out.append(zero[0]);
        out.append(char16_t(zero[1] + digit));
    }
}

// `value` >= 0 in the locale's digits; at least two digits when `padded`.
void AppendNumber(TUnits& out, int value, bool padded, const TZero& zero)
{
    if (zero[1] == 0) {
        char16_t units[12];
        char16_t* p = units + 12;
        auto v = static_cast<unsigned>(value);
        do {
            *--p = char16_t(zero[0] + v % 10);
            v /= 10;
        } while (v != 0);
        if (padded && p == units + 11)
            *--p = zero[0];
        out.append(p, units + 12 - p);
        return;
    }
    int digits[12];
    int n = 0;
    auto v = static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<int>(v % 10);
        v /= 10;
    } while (v != 0);
    if (padded && n < 2)
        digits[n++] = 0;
    while (n > 0)
        AppendDigit(out, digits[--n], zero);
}

// A date's fields in the proleptic Gregorian calendar as QDate gives them
// (no year 0: the year before 1 is -1), from its Julian day in one step.
struct TDateParts {
    int year = 0, month = 0, day = 0, dayOfWeek = 0;   // dayOfWeek: Monday 1 .. Sunday 7
    explicit TDateParts(const QDate& date)
    {
        const qint64 jd = date.toJulianDay();
        dayOfWeek = static_cast<int>(((jd % 7) + 7) % 7) + 1;
        // Days since 0000-03-01, counted in eras of 400 years.
        const qint64 z = jd - kStoredEpochJulianDay + 719468;
        const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
        const qint64 doe = z - era * 146097;                                   // [0, 146096]
        const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365; // [0, 399]
        const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);            // [0, 365]
        const qint64 mp = (5 * doy + 2) / 153;                                 // March 0 .. February 11
        day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        qint64 y = yoe + era * 400 + (month <= 2 ? 1 : 0);
        if (y <= 0)
            --y;
        year = y < INT_MIN ? INT_MIN : y > INT_MAX ? INT_MAX : static_cast<int>(y);
    }
};

// Appends the pieces for a date and/or a time; false when a value lies
// outside what the pieces can show as QLocale would (years before 1000 or
// after 9999).
bool AppendPieces(TUnits& out, const TCompiledPattern& c, const TDateParts* d, const QTime* t)
{
    const TZero& z = c.zero;
    for (const TPatternPiece& piece : c.pieces) {
        switch (piece.kind) {
        case TPatternPiece::Literal: Add(out, piece.text); break;
        case TPatternPiece::Day: if (!d) return false; AppendNumber(out, d->day, piece.padded, z); break;
        case TPatternPiece::Month: if (!d) return false; AppendNumber(out, d->month, piece.padded, z); break;
        case TPatternPiece::DayName:
            if (!d) return false;
            Add(out, c.days[piece.longName][std::size_t(d->dayOfWeek - 1)]);
            break;
        case TPatternPiece::MonthName:
            if (!d) return false;
            Add(out, c.months[piece.longName][std::size_t(d->month - 1)]);
            break;
        case TPatternPiece::Year2:
        case TPatternPiece::Year4:
            if (!d || d->year < 1000 || d->year > 9999)
                return false;
            AppendNumber(out, piece.kind == TPatternPiece::Year2 ? d->year % 100 : d->year, true, z);
            break;
        case TPatternPiece::Hour12: {
            if (!t) return false;
            const int h = t->hour() % 12;
            AppendNumber(out, h == 0 ? 12 : h, piece.padded, z);
            break;
        }
        case TPatternPiece::Hour24: if (!t) return false; AppendNumber(out, t->hour(), piece.padded, z); break;
        case TPatternPiece::Minute: if (!t) return false; AppendNumber(out, t->minute(), piece.padded, z); break;
        case TPatternPiece::Second: if (!t) return false; AppendNumber(out, t->second(), piece.padded, z); break;
        case TPatternPiece::AmPm:
            if (!t)
                return false;
            Add(out, t->hour() < 12 ? c.am[piece.longName] : c.pm[piece.longName]);
            break;
        }
    }
    return true;
}

// Appends the text of a valid date or time.
void AppendDate(TUnits& out, const QDate& d, const TFormatSettings& fs)
{
    TCompiledPattern& c = Compiled(0, fs.shortDateFormat, fs.locale);
    if (c.fast) {
        const qint64 jd = d.toJulianDay();
        if (jd == c.lastJd) {
            out.append(c.lastText.data(), c.lastSize);
            return;
        }
        const qsizetype at = out.size();
        const TDateParts parts(d);
        if (AppendPieces(out, c, &parts, nullptr)) {
            const qsizetype n = out.size() - at;
            if (n <= static_cast<qsizetype>(c.lastText.size())) {
                std::memcpy(c.lastText.data(), out.constData() + at, static_cast<std::size_t>(n) * sizeof(char16_t));
                c.lastSize = n;
                c.lastJd = jd;
            }
            return;
        }
        out.resize(at);
    }
    Add(out, fs.locale.toString(d, fs.shortDateFormat));
}

void AppendTime(TUnits& out, const QTime& t, const TFormatSettings& fs)
{
    const TCompiledPattern& c = Compiled(1, fs.longTimeFormat, fs.locale);
    if (c.fast) {
        const qsizetype at = out.size();
        if (AppendPieces(out, c, nullptr, &t))
            return;
        out.resize(at);
    }
    Add(out, fs.locale.toString(t, fs.longTimeFormat));
}

// A date and, unless it is midnight, a blank and the time.
void AppendDateTime(TUnits& out, const QDate& d, const QTime& t, const TFormatSettings& fs)
{
    AppendDate(out, d, fs);
    if (t != QTime(0, 0)) {
        out.append(u' ');
        AppendTime(out, t, fs);
    }
}

QString ToString(const TUnits& units)
{
    return QString(reinterpret_cast<const QChar*>(units.constData()), units.size());
}

// The general format of FormatFloatGeneral into `out` (room for 48 units);
// returns the length.
int FloatUnits(double value, char16_t point, char16_t* out)
{
    auto literal = [out](const char* text) {
        int n = 0;
        for (; text[n]; ++n)
            out[n] = char16_t(text[n]);
        return n;
    };
    if (std::isnan(value))
        return literal("NAN");
    if (std::isinf(value))
        return literal(value > 0 ? "INF" : "-INF");
    if (value == 0.0)
        return literal("0");

    // The value rounded to 15 significant digits, as printf's "%.14e"
    // rounds it, without the C locale. The shortest text that reads back as
    // the value comes first: when it has at most 15 digits it lies within
    // half a unit of the 15th digit of the exact value, so it is that
    // rounding (for normal values: a subnormal's unit is far wider than a
    // 15th digit); else "-d.dddddddddddddde+xxx" gives it.
    char buf[40];
    char digits[24];
    int nd = 0;
    int exponent = 0;
    bool negative = false;
    auto parse = [&](const char* end) {
        const char* p = buf;
        negative = *p == '-';
        if (negative)
            ++p;
        nd = 0;
        for (; p < end && *p != 'e'; ++p)
            if (*p != '.')
                digits[nd++] = *p;
        exponent = 0;
        if (p + 1 < end) {
            const bool minus = p[1] == '-';
            std::from_chars(p + 2, end, exponent);
            if (minus)
                exponent = -exponent;
        }
    };
    const bool normal = std::fabs(value) >= std::numeric_limits<double>::min();
    // A value that is a decimal m / 10^k with |m| below 10^15 (k <= 6) is
    // that decimal's nearest double, so the decimal is its 15-digit rounding
    // too; found without the general conversion.
    bool found = false;
    if (normal && std::fabs(value) < 1e15) {
        double scale = 1;
        for (int k = 0; k <= 6 && std::fabs(value) * scale < 1e15; ++k, scale *= 10) {
            const double m = std::nearbyint(value * scale);
            if (m / scale != value)
                continue;
            negative = m < 0;
            auto digitsOf = static_cast<std::uint64_t>(std::fabs(m));
            char tmp[20];
            int len = 0;
            do {
                tmp[len++] = char('0' + digitsOf % 10);
                digitsOf /= 10;
            } while (digitsOf != 0);
            nd = 0;
            while (len > 0)
                digits[nd++] = tmp[--len];
            exponent = nd - 1 - k;
            found = true;
            break;
        }
    }
    if (normal && !found)
        parse(std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific).ptr);
    if (!normal || nd > 15)
        parse(std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14).ptr);
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;

    int n = 0;
    if (negative)
        out[n++] = u'-';
    if (exponent >= -5 && exponent < 15) {
        if (exponent >= 0) {
            const int intDigits = exponent + 1;
            for (int i = 0; i < intDigits; ++i)
                out[n++] = i < nd ? char16_t(digits[i]) : u'0';
            if (nd > intDigits) {
                out[n++] = point;
                for (int i = intDigits; i < nd; ++i)
                    out[n++] = char16_t(digits[i]);
            }
        } else {
            out[n++] = u'0';
            out[n++] = point;
            for (int i = 0; i < -exponent - 1; ++i)
                out[n++] = u'0';
            for (int i = 0; i < nd; ++i)
                out[n++] = char16_t(digits[i]);
        }
    } else {
        out[n++] = char16_t(digits[0]);
        if (nd > 1) {
            out[n++] = point;
            for (int i = 1; i < nd; ++i)
                out[n++] = char16_t(digits[i]);
        }
        out[n++] = u'E';
        char exp[8];
        const char* const expEnd = std::to_chars(exp, exp + sizeof exp, exponent).ptr;
        for (const char* e = exp; e < expEnd; ++e)
            out[n++] = char16_t(*e);
    }
    return n;
}

// FormatExactDecimal into `out`.
void AppendExactDecimal(TUnits& out, QStringView text, QChar decimalSeparator)
{
    const QStringView t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == u'-' || t[i] == u'+')) {
        negative = t[i] == u'-';
        ++i;
    }
    const qsizetype intStart = i;
    auto digit = [&t](qsizetype at) { return t[at].unicode() >= u'0' && t[at].unicode() <= u'9'; };
    while (i < t.size() && digit(i))
        ++i;
    QStringView intPart = t.mid(intStart, i - intStart);
    QStringView fracPart;
    if (i < t.size() && t[i] == u'.') {
        const qsizetype fracStart = ++i;
        while (i < t.size() && digit(i))
            ++i;
        fracPart = t.mid(fracStart, i - fracStart);
    }
    if (i != t.size() || (intPart.isEmpty() && fracPart.isEmpty())) {
        for (const QChar c : t)
            out.append(c == u'.' ? decimalSeparator.unicode() : c.unicode());
        return;
    }
    while (intPart.size() > 1 && intPart[0] == u'0')
        intPart = intPart.mid(1);
    while (!fracPart.isEmpty() && fracPart.back() == u'0')
        fracPart.chop(1);
    if (intPart.isEmpty())
        intPart = u"0";
    const bool zero = intPart == u"0" && fracPart.isEmpty();

    if (negative && !zero)
        out.append(u'-');
    Add(out, intPart);
    if (!fracPart.isEmpty()) {
        out.append(decimalSeparator.unicode());
        Add(out, fracPart);
    }
}

} // namespace

void TUnitBuffer::Grow(qsizetype more)
{
    const qsizetype capacity = std::max(m_capacity * 2, m_size + more);
    auto heap = std::make_unique<char16_t[]>(static_cast<std::size_t>(capacity));
    std::memcpy(heap.get(), m_data, static_cast<std::size_t>(m_size) * sizeof(char16_t));
    m_heap = std::move(heap);
    m_data = m_heap.get();
    m_capacity = capacity;
}

namespace {

// Whether `bytes` are all ASCII and none is NUL.
[[nodiscard]] bool PlainAscii(std::string_view bytes)
{
    const char* p = bytes.data();
    std::size_t n = bytes.size();
    constexpr std::uint64_t kHigh = 0x8080808080808080ull, kOnes = 0x0101010101010101ull;
    while (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        // A byte with its top bit set, or a zero byte.
        if (((w | ((w - kOnes) & ~w)) & kHigh) != 0)
            return false;
        p += 8;
        n -= 8;
    }
    for (; n > 0; ++p, --n)
        if (*p == 0 || (static_cast<unsigned char>(*p) & 0x80))
            return false;
    return true;
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
    char16_t out[48];
    const int n = FloatUnits(value, decimalSeparator.unicode(), out);
    return QString(reinterpret_cast<const QChar*>(out), n);
}

QString FormatExactDecimal(QStringView text, QChar decimalSeparator)
{
    TUnits out;
    AppendExactDecimal(out, text, decimalSeparator);
    return ToString(out);
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
    case ftDate: {
        const QDate d = value.toDate();
        TUnits out;
        if (d.isValid())
            AppendDate(out, d, fs);
        return ToString(out);
    }
    case ftTime: {
        const QTime t = value.toTime();
        TUnits out;
        if (t.isValid())
            AppendTime(out, t, fs);
        return ToString(out);
    }
    case ftDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid())
            return {};
        TUnits out;
        AppendDateTime(out, dt.date(), dt.time(), fs);
        return ToString(out);
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

TStoredText StoredDisplayText(const TColumnData& column, std::size_t row, TFieldType type, TDisplayBuffer& out,
                              const TFormatSettings& fs)
{
    out.units.clear();
    out.ascii = {};
    if (column.IsNull(row))
        return TStoredText::Units;
    const TStorageKind kind = column.Kind();
    if (kind != StorageKindOf(type))
        return TStoredText::General;
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
    case ftLargeint: {
        const char* const end = std::to_chars(out.digits, out.digits + sizeof out.digits, column.Int(row)).ptr;
        out.ascii = std::string_view(out.digits, static_cast<std::size_t>(end - out.digits));
        return TStoredText::Ascii;
    }
    case ftFloat:
    case ftCurrency: {
        char16_t units[48];
        const int n = FloatUnits(column.Double(row), fs.decimalSeparator.unicode(), units);
        out.units.append(units, n);
        return TStoredText::Units;
    }
    case ftBoolean:
        out.ascii = column.Int(row) != 0 ? std::string_view("True") : std::string_view("False");
        return TStoredText::Ascii;
    case ftBCD: {
        const std::string_view bytes = column.Bytes(row);
        if (!PlainAscii(bytes) || bytes.size() > 256)
            return TStoredText::General;
        char16_t wide[256];
        for (std::size_t i = 0; i < bytes.size(); ++i)
            wide[i] = char16_t(bytes[i]);
        AppendExactDecimal(out.units, QStringView(wide, static_cast<qsizetype>(bytes.size())), fs.decimalSeparator);
        return TStoredText::Units;
    }
    case ftDate: {
        const QDate d = QDate::fromJulianDay(kStoredEpochJulianDay + column.Days(row));
        if (d.isValid())
            AppendDate(out.units, d, fs);
        return TStoredText::Units;
    }
    case ftTime: {
        const std::int64_t ms = column.Msecs(row);
        if (ms < 0 || ms >= kMsecsPerDay)
            return TStoredText::General;
        AppendTime(out.units, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)), fs);
        return TStoredText::Units;
    }
    case ftDateTime: {
        // Years 1000..9999 keep the day count far inside what a QDateTime holds.
        const TStoredDayTime at = SplitStoredMsecs(column.Msecs(row));
        const qint64 jd = kStoredEpochJulianDay + at.days;
        static const qint64 first = QDate(1000, 1, 1).toJulianDay(), last = QDate(9999, 12, 31).toJulianDay();
        if (jd < first || jd > last)
            return TStoredText::General;
        AppendDateTime(out.units, QDate::fromJulianDay(jd), QTime::fromMSecsSinceStartOfDay(static_cast<int>(at.msecs)),
                       fs);
        return TStoredText::Units;
    }
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftGuid:
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob: {
        // ASCII without a NUL reads back as the same characters, uncut.
        const std::string_view bytes = column.Bytes(row);
        if (!PlainAscii(bytes))
            return TStoredText::General;
        out.ascii = bytes;
        return TStoredText::Ascii;
    }
    default:
        return TStoredText::General;
    }
}
