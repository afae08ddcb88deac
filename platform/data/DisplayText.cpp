#include "platform/data/DisplayText.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

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

QString DateText(const QDate& d, const TFormatSettings& fs)
{
    return d.isValid() ? fs.locale.toString(d, fs.shortDateFormat) : QString();
}

QString TimeText(const QTime& t, const TFormatSettings& fs)
{
    return t.isValid() ? fs.locale.toString(t, fs.longTimeFormat) : QString();
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
