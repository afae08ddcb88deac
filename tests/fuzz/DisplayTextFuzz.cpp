// Display text. The first byte picks what is tried, the rest is its input.
//   - floats read back as the same value as the C library's 15-digit
//     general format ("%.15g"), overflow near DBL_MAX included;
//   - exact decimals keep their value;
//   - dates and times through any pattern of the numeric fields, AM/PM and
//     literals give what QLocale gives for the same pattern and locale;
//   - strings are cut at the first NUL.

#include "platform/data/DisplayText.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct TInput {
    const std::uint8_t* data;
    std::size_t size;
    std::uint64_t Take(std::size_t bytes)
    {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < bytes && size > 0; ++i, ++data, --size)
            v |= std::uint64_t(*data) << (8 * i);
        return v;
    }
};

double ReadBack(const QString& text, QChar separator)
{
    QString t = text;
    t.replace(separator, u'.');
    const QByteArray latin = t.toLatin1();
    return std::strtod(latin.constData(), nullptr);
}

QString Pattern(TInput& in, std::size_t length)
{
    static constexpr char kAlphabet[] = "dMyhHmsaAP:/.- dMyhHmsaAPpx'";
    QString p;
    for (std::size_t i = 0; i < length && in.size > 0; ++i)
        p += QLatin1Char(kAlphabet[in.Take(1) % (sizeof kAlphabet - 1)]);
    return p;
}

const QLocale& LocaleOf(std::uint64_t pick)
{
    static const std::array<QLocale, 5> kLocales = {
        QLocale::c(), QLocale(QLocale::Russian, QLocale::Russia), QLocale(QLocale::English, QLocale::UnitedStates),
        QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::Arabic, QLocale::Egypt),
    };
    return kLocales[pick % kLocales.size()];
}

// Both "a" and "A" as AM/PM pieces: the casing of such patterns is the
// locale's own business, left out of the comparison.
bool MixesAmPmCasing(const QString& pattern)
{
    return pattern.contains(u'a') && pattern.contains(u'A');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TInput in{data, size};
    const int what = int(in.Take(1) % 4);
    const QChar separator = in.Take(1) % 2 ? QChar(u',') : QChar(u'.');

    if (what == 0) {
        const std::uint64_t bits = in.Take(8);
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        TFormatSettings fs;
        fs.decimalSeparator = separator;
        const QString text = ValueDisplayText(QVariant(v), ftFloat, fs);
        FUZZ_CHECK(text == FormatFloatGeneral(v, separator));
        FUZZ_CHECK(text.size() <= 22);
        if (std::isnan(v)) {
            FUZZ_CHECK(text == QLatin1String("NAN"));
        } else if (!std::isinf(v)) {
            char reference[40];
            std::snprintf(reference, sizeof reference, "%.15g", v);
            const double expected = std::strtod(reference, nullptr);
            const double got = ReadBack(text, separator);
            FUZZ_CHECK(got == expected || (std::isinf(got) && std::isinf(expected)));
        }
    } else if (what == 1) {
        const QString text = QString::fromLatin1(reinterpret_cast<const char*>(in.data), qsizetype(in.size));
        const QString out = FormatExactDecimal(text, separator);
        const QString t = text.trimmed();
        bool plain = !t.isEmpty();
        bool digit = false;
        int points = 0;
        for (qsizetype i = 0; i < t.size() && plain; ++i) {
            const char16_t c = t[i].unicode();
            if (c >= u'0' && c <= u'9')
                digit = true;
            else if (c == u'.')
                plain = ++points == 1;
            else
                plain = i == 0 && (c == u'-' || c == u'+');
        }
        if (plain && digit && t.size() < 300) {
            FUZZ_CHECK(ReadBack(out, separator) == std::strtod(t.toLatin1().constData(), nullptr));
            FUZZ_CHECK(out.size() <= t.size() + 1);
        }
    } else if (what == 2) {
        const QLocale& locale = LocaleOf(in.Take(1));
        TFormatSettings fs;
        fs.locale = locale;
        fs.shortDateFormat = Pattern(in, std::size_t(in.Take(1) % 16));
        fs.longTimeFormat = Pattern(in, std::size_t(in.Take(1) % 16));
        const QDate date = QDate::fromJulianDay(qint64(in.Take(3)) + 1'000'000);
        const QTime time = QTime::fromMSecsSinceStartOfDay(int(in.Take(4) % 86'400'000));
        const QString dateText = ValueDisplayText(QVariant(date), ftDate, fs);
        const QString timeText = ValueDisplayText(QVariant(time), ftTime, fs);
        const QString both = ValueDisplayText(QVariant(QDateTime(date, time, Qt::UTC)), ftDateTime, fs);
        const QString wantDate = locale.toString(date, fs.shortDateFormat);
        const QString wantTime = locale.toString(time, fs.longTimeFormat);
        if (!MixesAmPmCasing(fs.shortDateFormat))
            FUZZ_CHECK(dateText == wantDate);
        if (!MixesAmPmCasing(fs.longTimeFormat))
            FUZZ_CHECK(timeText == wantTime);
        if (!MixesAmPmCasing(fs.shortDateFormat) && !MixesAmPmCasing(fs.longTimeFormat))
            FUZZ_CHECK(both == (time == QTime(0, 0) ? wantDate : wantDate + u' ' + wantTime));
    } else {
        const QString text = QString::fromUtf8(reinterpret_cast<const char*>(in.data), qsizetype(in.size));
        const qsizetype nul = text.indexOf(QChar(0));
        FUZZ_CHECK(ValueDisplayText(QVariant(text), ftString) == (nul < 0 ? text : text.left(nul)));
        FUZZ_CHECK(ValueDisplayText(QVariant(text), ftMemo) == text);
        const QByteArray bytes(reinterpret_cast<const char*>(in.data), qsizetype(in.size));
        FUZZ_CHECK(ValueDisplayText(QVariant(bytes), ftBlob).size() == bytes.size());
    }
    return 0;
}
