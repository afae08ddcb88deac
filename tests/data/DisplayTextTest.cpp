#include "platform/data/DisplayText.h"
#include "platform/data/ColumnStore.h"
#include "platform/data/FieldValue.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace {

const TFormatSettings& EnUs()
{
    static const TFormatSettings fs = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    return fs;
}
const TFormatSettings& RuRu()
{
    static const TFormatSettings fs = TFormatSettings::FromLocale(QLocale(QLocale::Russian, QLocale::Russia));
    return fs;
}
const TFormatSettings& DeDe()
{
    static const TFormatSettings fs = TFormatSettings::FromLocale(QLocale(QLocale::German, QLocale::Germany));
    return fs;
}

QString Float(double v) { return FormatFloatGeneral(v, u'.'); }

// The general float format as it was first written, through printf's "%.14e":
// what the fast path must match character for character.
QString PrintfFloatGeneral(double value, QChar decimalSeparator)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    if (value == 0.0)
        return QStringLiteral("0");
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
                out += digits.left(intDigits) + decimalSeparator + digits.mid(intDigits);
            }
        } else {
            out += u'0';
            out += decimalSeparator;
            out += QString(-exponent - 1, u'0');
            out += digits;
        }
    } else {
        out += digits[0];
        if (digits.size() > 1)
            out += decimalSeparator + digits.mid(1);
        out += u'E' + QString::number(exponent);
    }
    return out;
}

// Doubles of every kind: any bit pattern, short decimals, integers, values
// at the edges of the fixed notation and ones that round up a digit.
std::vector<double> RandomDoubles(std::mt19937_64& random, int count)
{
    std::vector<double> values = {1e15, 999999999999999.4, 999999999999999.5, 0.00001, 0.0000099999999999999995,
                                  9.999999999999995, 0.95, -1e-5, 5e-324, std::numeric_limits<double>::max()};
    std::uniform_int_distribution<int> kind(0, 3), exponent(-8, 17);
    while (static_cast<int>(values.size()) < count) {
        const std::uint64_t bits = random();
        double v = 0;
        switch (kind(random)) {
        case 0: std::memcpy(&v, &bits, sizeof v); break;
        case 1: v = static_cast<double>(static_cast<std::int64_t>(bits % 2000000001) - 1000000000) / 100.0; break;
        case 2: v = static_cast<double>(static_cast<std::int64_t>(bits)) / std::pow(10.0, exponent(random)); break;
        default: v = std::ldexp(static_cast<double>(bits >> 11), exponent(random) * 4 - 53); break;
        }
        if (std::isfinite(v))
            values.push_back(v);
    }
    return values;
}
QString Decimal(const char* text) { return FormatExactDecimal(QString::fromLatin1(text), u'.'); }

} // namespace

TEST(DisplayText, FloatsUseGeneralFormatWithFifteenDigits)
{
    EXPECT_EQ(Float(0.1), "0.1");
    EXPECT_EQ(Float(1.5), "1.5");
    EXPECT_EQ(Float(-2.0), "-2");
    EXPECT_EQ(Float(0.0), "0");
    EXPECT_EQ(Float(-0.0), "0");
    EXPECT_EQ(Float(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(Float(2.0 / 3.0), "0.666666666666667");
    EXPECT_EQ(Float(123456789012345.0), "123456789012345");
    EXPECT_EQ(Float(999999999999999.0), "999999999999999");
    EXPECT_EQ(Float(1e15), "1E15");
    EXPECT_EQ(Float(1e20), "1E20");
    EXPECT_EQ(Float(123456789012345678.0), "1.23456789012346E17");
    EXPECT_EQ(Float(0.00001), "0.00001");
    EXPECT_EQ(Float(-0.000001), "-1E-6");
    EXPECT_EQ(Float(1.25e-300), "1.25E-300");
    EXPECT_EQ(Float(std::numeric_limits<double>::infinity()), "INF");
    EXPECT_EQ(Float(-std::numeric_limits<double>::infinity()), "-INF");
    EXPECT_EQ(Float(std::nan("")), "NAN");
    EXPECT_EQ(FormatFloatGeneral(1234.5, u','), "1234,5");
    EXPECT_EQ(FormatFloatGeneral(2.5e-7, u','), "2,5E-7");
}

// Exact decimals are shown exactly: never rounded, never an overflow text.
TEST(DisplayText, ExactDecimalsDropOnlyTheirPadding)
{
    EXPECT_EQ(Decimal("12.50"), "12.5");
    EXPECT_EQ(Decimal("3.000"), "3");
    EXPECT_EQ(Decimal("-0.10"), "-0.1");
    EXPECT_EQ(Decimal("-0.00"), "0");
    EXPECT_EQ(Decimal("0"), "0");
    EXPECT_EQ(Decimal("007.5"), "7.5");
    EXPECT_EQ(Decimal(".5"), "0.5");
    EXPECT_EQ(Decimal("-.5"), "-0.5");
    EXPECT_EQ(Decimal("+4."), "4");
    EXPECT_EQ(Decimal(" 12 "), "12");
    EXPECT_EQ(Decimal("1200"), "1200");
    EXPECT_EQ(Decimal("12345678901234567890123456789012345678"), "12345678901234567890123456789012345678");
    EXPECT_EQ(Decimal("-922337203685477.5808"), "-922337203685477.5808");
    EXPECT_EQ(Decimal("99999999999999999999.0000000001"), "99999999999999999999.0000000001");
    EXPECT_EQ(Decimal("0.00000000000000000001"), "0.00000000000000000001");
    EXPECT_EQ(FormatExactDecimal(u"12345.67", u','), "12345,67");
    EXPECT_EQ(Decimal("1e5"), "1e5");           // not a plain decimal: left as it is
}

TEST(DisplayText, ValuesByFieldType)
{
    const TFormatSettings& fs = EnUs();
    EXPECT_EQ(ValueDisplayText(QVariant(), ftInteger, fs), "");
    EXPECT_EQ(ValueDisplayText(QVariant(QMetaType(QMetaType::QString)), ftString, fs), "");
    EXPECT_EQ(ValueDisplayText(qlonglong{-42}, ftInteger, fs), "-42");
    EXPECT_EQ(ValueDisplayText(qlonglong{9'000'000'000'000'000'000LL}, ftLargeint, fs), "9000000000000000000");
    EXPECT_EQ(ValueDisplayText(true, ftBoolean, fs), "True");
    EXPECT_EQ(ValueDisplayText(false, ftBoolean, fs), "False");
    EXPECT_EQ(ValueDisplayText(QStringLiteral("12345.670"), ftBCD, fs), "12345.67");
    EXPECT_EQ(ValueDisplayText(0.5, ftFloat, fs), "0.5");
    // strings keep trailing blanks and end at their first NUL
    EXPECT_EQ(ValueDisplayText(QStringLiteral("ab  "), ftFixedChar, fs), "ab  ");
    EXPECT_EQ(ValueDisplayText(QString::fromUtf8("ab\0cd", 5), ftWideString, fs), "ab");
    EXPECT_EQ(ValueDisplayText(QString::fromUtf8("Жук"), ftString, fs), QString::fromUtf8("Жук"));
    EXPECT_EQ(ValueDisplayText(QStringLiteral("line 1\r\nline 2"), ftMemo, fs), "line 1\r\nline 2");
    // binary: one character per byte
    const QByteArray bytes("\x00\x7f\x80\xff", 4);
    const QString text = ValueDisplayText(bytes, ftVarBytes, fs);
    ASSERT_EQ(text.size(), 4);
    EXPECT_EQ(text[0].unicode(), 0x00);
    EXPECT_EQ(text[2].unicode(), 0x80);
    EXPECT_EQ(text[3].unicode(), 0xff);
    EXPECT_EQ(ValueDisplayText(QByteArray("GIF89a"), ftBlob, fs), "GIF89a");
}

TEST(DisplayText, DatesAndTimesFollowTheLocale)
{
    const QDateTime afternoon(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::UTC);
    const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC);
    const QDateTime justAfter(QDate(2024, 3, 5), QTime(0, 0, 0, 1), Qt::UTC);

    EXPECT_EQ(ValueDisplayText(afternoon, ftDateTime, EnUs()), "3/5/2024 2:07:09 PM");
    EXPECT_EQ(ValueDisplayText(midnight, ftDateTime, EnUs()), "3/5/2024");
    EXPECT_EQ(ValueDisplayText(justAfter, ftDateTime, EnUs()), "3/5/2024 12:00:00 AM");
    EXPECT_EQ(ValueDisplayText(QDate(1999, 12, 31), ftDate, EnUs()), "12/31/1999");
    EXPECT_EQ(ValueDisplayText(QTime(9, 5, 0), ftTime, EnUs()), "9:05:00 AM");

    EXPECT_EQ(ValueDisplayText(afternoon, ftDateTime, RuRu()), "05.03.2024 14:07:09");
    EXPECT_EQ(ValueDisplayText(midnight, ftDateTime, RuRu()), "05.03.2024");
    EXPECT_EQ(ValueDisplayText(QTime(0, 0), ftTime, RuRu()), "00:00:00");

    // a two-digit year in the locale's short format is shown with four digits
    EXPECT_EQ(ValueDisplayText(QDate(1925, 1, 2), ftDate, DeDe()), "02.01.1925");
    EXPECT_EQ(ValueDisplayText(afternoon, ftDateTime, DeDe()), "05.03.2024 14:07:09");
}

TEST(DisplayText, DatesAndTimesReadAsTheLocaleWritesThemInEveryLocale)
{
    // The compiled patterns must agree with QLocale for every locale and
    // every kind of value, including the ones they leave to it (names,
    // quotes, other digits, years outside 1000..9999).
    const QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyCountry);
    ASSERT_GT(locales.size(), 100);
    const QDate dates[] = {QDate(2024, 3, 5), QDate(1999, 12, 31), QDate(2000, 1, 1), QDate(1000, 10, 10),
                           QDate(999, 5, 6), QDate(12345, 6, 7), QDate(2005, 11, 30)};
    const QTime times[] = {QTime(14, 7, 9), QTime(0, 0, 1), QTime(12, 0, 0), QTime(11, 59, 59), QTime(23, 5, 0),
                           QTime(9, 5, 0, 250)};
    int checked = 0;
    for (const QLocale& locale : locales) {
        TFormatSettings fs = TFormatSettings::FromLocale(locale);
        for (const QDate& d : dates)
            ASSERT_EQ(ValueDisplayText(d, ftDate, fs), locale.toString(d, fs.shortDateFormat))
                << locale.name().toStdString() << " " << fs.shortDateFormat.toStdString();
        for (const QTime& t : times)
            ASSERT_EQ(ValueDisplayText(t, ftTime, fs), locale.toString(t, fs.longTimeFormat))
                << locale.name().toStdString() << " " << fs.longTimeFormat.toStdString();
        const QDateTime dt(dates[0], times[0], Qt::UTC);
        ASSERT_EQ(ValueDisplayText(dt, ftDateTime, fs),
                  locale.toString(dates[0], fs.shortDateFormat) + u' ' + locale.toString(times[0], fs.longTimeFormat));
        ++checked;
    }
    // Hand-written patterns with every piece, and ones with quotes and names.
    TFormatSettings fs = EnUs();
    for (const char* pattern : {"d.M.yy h:m:s ap", "dd/MM/yyyy HH:mm:ss", "yyyy-MM-dd'T'HH", "ddd d MMM yyyy", "h 'o''clock' A",
                                "hh:mm AP", "H:mm a", "yyy y", "h:mm A a AP ap"}) {
        fs.shortDateFormat = fs.longTimeFormat = QString::fromLatin1(pattern);
        for (const QDate& d : dates)
            EXPECT_EQ(ValueDisplayText(d, ftDate, fs), fs.locale.toString(d, fs.shortDateFormat)) << pattern;
        for (const QTime& t : times)
            EXPECT_EQ(ValueDisplayText(t, ftTime, fs), fs.locale.toString(t, fs.longTimeFormat)) << pattern;
    }
    EXPECT_EQ(checked, locales.size());
}

TEST(DisplayText, FloatsMatchThePrintfFormatOnRandomValuesInEveryLocale)
{
    std::mt19937_64 random(20261209);
    const std::vector<double> values = RandomDoubles(random, 2000);
    const QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyCountry);
    ASSERT_GT(locales.size(), 100);
    for (const QLocale& locale : locales) {
        const TFormatSettings fs = TFormatSettings::FromLocale(locale);
        for (std::size_t i = 0; i < values.size(); i += locale == locales.front() ? 1 : 7)
            ASSERT_EQ(ValueDisplayText(values[i], ftFloat, fs), PrintfFloatGeneral(values[i], fs.decimalSeparator))
                << locale.name().toStdString() << " " << values[i];
    }
}

TEST(DisplayText, FloatsMatchThePrintfFormatOnManyRandomValuesAndAtTheEdgesOfTheDigits)
{
    // The shortest round-trip text stands for the 15-digit rounding only when
    // it is that rounding: short decimals, values with 15, 16 and 17 digits,
    // neighbours of powers of ten and of halfway cases, and the smallest
    // normal and subnormal values.
    std::mt19937_64 random(151209);
    std::vector<double> values = RandomDoubles(random, 300000);
    std::uniform_int_distribution<int> exponent(-320, 308);
    for (int i = 0; i < 2000; ++i) {
        const double ten = std::pow(10.0, exponent(random));
        for (const double v : {ten, std::nextafter(ten, 0.0), std::nextafter(ten, std::numeric_limits<double>::infinity())})
            values.push_back(v);
    }
    for (int i = 0; i < 20000; ++i) {
        // 15 to 17 significant digits, and 15 digits with a 5 after them.
        const auto mantissa = static_cast<double>(random() % 900'000'000'000'000'000ull + 100'000'000'000'000'000ull);
        const double scale = std::pow(10.0, exponent(random) / 4);
        values.push_back(mantissa / 1e2 * scale);
        values.push_back(mantissa / 1e3 * scale);
        values.push_back((std::floor(mantissa / 1e3) + 0.5) * scale);
        values.push_back(std::nextafter((std::floor(mantissa / 1e3) + 0.5) * scale, 0.0));
    }
    const double smallest = std::numeric_limits<double>::min();
    for (const double v : {smallest, std::nextafter(smallest, 0.0), std::nextafter(smallest, 1.0),
                           std::numeric_limits<double>::denorm_min(), 2.2250738585072011e-308, 1e-310, 123456789e-320})
        values.push_back(v);
    for (const double v : values) {
        ASSERT_EQ(FormatFloatGeneral(v, u'.'), PrintfFloatGeneral(v, u'.')) << v;
        ASSERT_EQ(FormatFloatGeneral(-v, u','), PrintfFloatGeneral(-v, u',')) << -v;
    }
}

TEST(DisplayText, DatesOfEveryEraReadAsTheLocaleWritesThem)
{
    // Patterns without a year show any date the compiled way, far before
    // year 1 and far after 9999 too: day, month, their names and the weekday.
    std::mt19937_64 random(30209);
    std::uniform_int_distribution<qint64> day(QDate(-40000, 1, 1).toJulianDay(), QDate(40000, 12, 31).toJulianDay());
    std::vector<QDate> dates;
    for (const QDate& d : {QDate(-1, 12, 31), QDate(1, 1, 1), QDate(-4713, 1, 1), QDate(1582, 10, 15), QDate(1600, 2, 29),
                           QDate(1900, 2, 28), QDate(2000, 2, 29), QDate(2100, 3, 1), QDate(-400, 2, 29)})
        dates.push_back(d);
    for (int i = 0; i < 20000; ++i)
        dates.push_back(QDate::fromJulianDay(day(random)));
    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::Russian, QLocale::Russia),
                                  QLocale(QLocale::Arabic, QLocale::Egypt)}) {
        TFormatSettings fs = TFormatSettings::FromLocale(locale);
        for (const char* pattern : {"dddd d MMMM", "ddd dd/MM", "d.M"}) {
            fs.shortDateFormat = QString::fromLatin1(pattern);
            for (const QDate& d : dates)
                ASSERT_EQ(ValueDisplayText(d, ftDate, fs), locale.toString(d, fs.shortDateFormat))
                    << locale.name().toStdString() << " " << pattern << " " << d.toJulianDay();
        }
    }
}

TEST(DisplayText, RandomDatesAndTimesReadAsTheLocaleWritesThemInEveryLocale)
{
    std::mt19937 random(1209);
    std::uniform_int_distribution<qint64> day(QDate(1000, 1, 1).toJulianDay(), QDate(9999, 12, 31).toJulianDay());
    std::uniform_int_distribution<int> msecs(0, 86400 * 1000 - 1);
    const QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyCountry);
    for (const QLocale& locale : locales) {
        const TFormatSettings fs = TFormatSettings::FromLocale(locale);
        for (int i = 0; i < 40; ++i) {
            const QDate d = QDate::fromJulianDay(day(random));
            const QTime t = QTime::fromMSecsSinceStartOfDay(msecs(random));
            ASSERT_EQ(ValueDisplayText(d, ftDate, fs), locale.toString(d, fs.shortDateFormat))
                << locale.name().toStdString() << " " << fs.shortDateFormat.toStdString();
            ASSERT_EQ(ValueDisplayText(t, ftTime, fs), locale.toString(t, fs.longTimeFormat))
                << locale.name().toStdString() << " " << fs.longTimeFormat.toStdString();
        }
    }
}

TEST(DisplayText, DecimalSeparatorFollowsTheLocale)
{
    EXPECT_EQ(ValueDisplayText(1.5, ftFloat, RuRu()), "1,5");
    EXPECT_EQ(ValueDisplayText(QStringLiteral("-1234.50"), ftBCD, DeDe()), "-1234,5");
    EXPECT_EQ(ValueDisplayText(QStringLiteral("-1234.50"), ftBCD, EnUs()), "-1234.5");
    EXPECT_EQ(ValueDisplayText(qlonglong{1234567}, ftInteger, DeDe()), "1234567");   // no grouping
}

TEST(DisplayText, CurrentSettingsAreReplaceableForAScope)
{
    {
        TFormatSettingsScope scope(RuRu());
        EXPECT_EQ(CurrentFormatSettings().decimalSeparator, QChar(u','));
        EXPECT_EQ(ValueDisplayText(0.25, ftFloat), "0,25");
        {
            TFormatSettingsScope inner(EnUs());
            EXPECT_EQ(ValueDisplayText(0.25, ftFloat), "0.25");
        }
        EXPECT_EQ(ValueDisplayText(0.25, ftFloat), "0,25");
    }
    TFormatSettingsScope outer(DeDe());
    EXPECT_EQ(CurrentFormatSettings().shortDateFormat, "dd.MM.yyyy");
}

namespace {

// One column of `type` holding random stored values of every kind a fetch
// or an edit leaves, NULLs and the values the fast forms leave alone.
TColumnData RandomColumn(TFieldType type, std::mt19937_64& random, int count)
{
    TColumnData column(StorageKindOf(type));
    std::uniform_int_distribution<int> pick(0, 9);
    const std::int64_t msecsPerDay = 86'400'000;
    const std::int64_t year1000 = QDate(1970, 1, 1).daysTo(QDate(1000, 1, 1)) * msecsPerDay;
    const std::int64_t year10000 = QDate(1970, 1, 1).daysTo(QDate(10000, 1, 1)) * msecsPerDay;
    const std::vector<double> doubles = RandomDoubles(random, count);
    const char* texts[] = {"", " ", "name 1", "a & b <c> \"d\"", "tail   ", "12.50", "-0012.3400", ".5", "+7", "1e5",
                           " 3.25 ", "0.000", "-0", "abc", "x\xC3\xA9y", "\xF0\x9F\x98\x80", "\xFF\xFE bad",
                           "before\0after"};
    for (int i = 0; i < count; ++i) {
        if (pick(random) == 0) {
            column.AppendNull();
            continue;
        }
        switch (column.Kind()) {
        case TStorageKind::Int32:
            column.AppendInt(static_cast<std::int32_t>(random()));
            break;
        case TStorageKind::Int64:
        case TStorageKind::Bool:
            column.AppendInt(pick(random) < 5 ? static_cast<std::int64_t>(random()) : static_cast<std::int64_t>(random() % 3));
            break;
        case TStorageKind::Float64:
            column.AppendDouble(doubles[static_cast<std::size_t>(i)]);
            break;
        case TStorageKind::Date:
            column.AppendDays(pick(random) == 1 ? static_cast<std::int32_t>(random())
                                                : static_cast<std::int32_t>(random() % 2'000'000) - 1'000'000);
            break;
        case TStorageKind::Time:
            column.AppendMsecs(pick(random) == 1 ? static_cast<std::int64_t>(random() % 3) * 1000 * 3600 * 24
                                                 : static_cast<std::int64_t>(random() % msecsPerDay));
            break;
        case TStorageKind::DateTime: {
            const auto r = pick(random);
            std::int64_t ms = year1000 + static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(year10000 - year1000));
            if (r == 1)
                ms -= ms % msecsPerDay;   // midnight
            else if (r == 2)
                ms = static_cast<std::int64_t>(random() % 4'000'000'000'000'000) - 2'000'000'000'000'000;
            else if (r == 3)
                ms = year1000 - 1 - static_cast<std::int64_t>(random() % 1000);
            column.AppendMsecs(ms);
            break;
        }
        case TStorageKind::Text:
        case TStorageKind::Bytes: {
            const char* text = texts[random() % std::size(texts)];
            const std::size_t length = std::strcmp(text, "before") == 0 ? 12 : std::strlen(text);
            column.AppendBytes(std::string_view(text, length));
            break;
        }
        }
    }
    return column;
}

} // namespace

TEST(DisplayText, StoredValuesWithoutAVariantReadAsTheGeneralPathInEveryLocale)
{
    std::mt19937_64 random(91209);
    const TFieldType types[] = {ftSmallint, ftInteger, ftWord, ftAutoInc, ftLargeint, ftFloat, ftCurrency, ftBCD,
                                ftBoolean, ftDate, ftTime, ftDateTime, ftString, ftFixedChar, ftWideString,
                                ftGuid, ftMemo, ftFmtMemo, ftOraClob, ftVariant, ftBytes, ftBlob};
    std::vector<std::pair<TFieldType, TColumnData>> columns;
    for (const TFieldType type : types)
        columns.emplace_back(type, RandomColumn(type, random, 400));
    const QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyCountry);
    ASSERT_GT(locales.size(), 100);
    // Hand-written patterns beside the locales' own: names, quotes, 12-hour
    // clocks, two-digit years.
    std::vector<TFormatSettings> settings;
    for (const QLocale& locale : locales)
        settings.push_back(TFormatSettings::FromLocale(locale));
    for (const char* pattern : {"ddd d MMMM yy|h 'o''clock' a", "dd/MM/yyyy|hh:mm:ss AP", "yyyy-MM-dd'T'|H:m:s", "dddd d MMM|h:mm"}) {
        TFormatSettings fs = TFormatSettings::FromLocale(QLocale(QLocale::French, QLocale::France));
        const QStringList parts = QString::fromLatin1(pattern).split(u'|');
        fs.shortDateFormat = parts[0];
        fs.longTimeFormat = parts[1];
        settings.push_back(fs);
    }
    TDisplayBuffer buffer;
    int formed = 0, general = 0;
    for (std::size_t s = 0; s < settings.size(); ++s) {
        const TFormatSettings& fs = settings[s];
        // Every value in the first locale and the last ones, a sample elsewhere.
        const std::size_t step = s == 0 || s + 3 >= settings.size() ? 1 : 13;
        for (const auto& [type, column] : columns) {
            for (std::size_t row = s % step; row < column.Length(); row += step) {
                const QString expected = ValueDisplayText(StoredValue(column, row), type, fs);
                switch (StoredDisplayText(column, row, type, buffer, fs)) {
                case TStoredText::General:
                    ++general;
                    EXPECT_TRUE(buffer.units.isEmpty() && buffer.ascii.empty());
                    continue;
                case TStoredText::Units:
                    ++formed;
                    ASSERT_EQ(QStringView(buffer.units.constData(), buffer.units.size()).toString(), expected)
                        << fs.locale.name().toStdString() << " type " << type << " row " << row;
                    break;
                case TStoredText::Ascii:
                    ++formed;
                    ASSERT_EQ(QString::fromLatin1(buffer.ascii.data(), static_cast<qsizetype>(buffer.ascii.size())), expected)
                        << fs.locale.name().toStdString() << " type " << type << " row " << row;
                    break;
                }
            }
        }
    }
    // The usual values take the fast forms: all but the binary and variant
    // columns, the odd texts and the dates and times out of range.
    EXPECT_GT(formed, 3 * general);
}

TEST(DisplayText, StoredTextsTakeTheFastFormOnlyWhenTheyReadBackUnchanged)
{
    TColumnData column(TStorageKind::Text);
    column.AppendBytes("plain <b> & \"q\"");
    column.AppendBytes(std::string_view("cut\0here", 8));
    column.AppendBytes("caf\xC3\xA9");
    column.AppendNull();
    TDisplayBuffer buffer;
    ASSERT_EQ(StoredDisplayText(column, 0, ftString, buffer, EnUs()), TStoredText::Ascii);
    EXPECT_EQ(buffer.ascii, "plain <b> & \"q\"");
    EXPECT_EQ(StoredDisplayText(column, 1, ftString, buffer, EnUs()), TStoredText::General);
    EXPECT_EQ(StoredDisplayText(column, 2, ftMemo, buffer, EnUs()), TStoredText::General);
    ASSERT_EQ(StoredDisplayText(column, 3, ftString, buffer, EnUs()), TStoredText::Units);
    EXPECT_TRUE(buffer.units.isEmpty());
    // A column whose kind is not the type's own is left alone.
    EXPECT_EQ(StoredDisplayText(column, 0, ftInteger, buffer, EnUs()), TStoredText::General);
}
