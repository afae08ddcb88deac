// Driver-free parts of the ODBC layer: message clean-up, UTF-16 decoding,
// the type mapping and the calendar helpers.

#include "platform/odbc/OdbcDiagnostics.h"
#include "platform/odbc/OdbcText.h"
#include "platform/odbc/OdbcTypes.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

TEST(OdbcDiagnostics, StripsEveryLeadingBracketGroup)
{
    EXPECT_EQ(StripVendorPrefixes(QStringLiteral("[unixODBC][FreeTDS][SQL Server]Invalid object name 'x'.")),
              QStringLiteral("Invalid object name 'x'."));
    EXPECT_EQ(StripVendorPrefixes(QStringLiteral("[unixODBC][Driver Manager] Data source name not found")),
              QStringLiteral("Data source name not found"));
    // Brackets after the text starts belong to the message.
    EXPECT_EQ(StripVendorPrefixes(QStringLiteral("[x]Column [a] is bad")), QStringLiteral("Column [a] is bad"));
    // An unclosed bracket is text.
    EXPECT_EQ(StripVendorPrefixes(QStringLiteral("[unixODBC][broken")), QStringLiteral("[broken"));
    EXPECT_EQ(StripVendorPrefixes(QStringLiteral("plain")), QStringLiteral("plain"));
    EXPECT_EQ(StripVendorPrefixes(QString()), QString());
}

TEST(OdbcDiagnostics, JoinsRecordsWithNewlinesSkippingEmptyAndRepeatedOnes)
{
    const std::vector<TDbError> errors{{1, QStringLiteral("42S02"), QStringLiteral("first")},
                                       {2, QStringLiteral("01000"), QString()},
                                       {1, QStringLiteral("42S02"), QStringLiteral("first")},
                                       {3, QStringLiteral("42000"), QStringLiteral("second")}};
    EXPECT_EQ(JoinDiagnosticMessages(errors), QStringLiteral("first\nsecond"));
    EXPECT_EQ(JoinDiagnosticMessages({}), QString());
}

namespace {
std::string Utf8Of(const std::u16string& s)
{
    std::string out = "prefix:";
    AppendUtf16AsUtf8(reinterpret_cast<const SQLWCHAR*>(s.data()), s.size(), out);
    return out;
}
} // namespace

TEST(OdbcText, Utf16ToUtf8KeepsEveryCharacterAndAppends)
{
    EXPECT_EQ(Utf8Of(u"abc"), "prefix:abc");
    EXPECT_EQ(Utf8Of(u""), "prefix:");
    const std::u16string mixed = u"a\u0436\u4e16\U0001F600z";   // Cyrillic, CJK, outside the BMP
    EXPECT_EQ(Utf8Of(mixed), "prefix:" + QString::fromStdU16String(mixed).toStdString());
    // NUL is data, not an end.
    EXPECT_EQ(Utf8Of(std::u16string(u"a\0b", 3)), std::string("prefix:a\0b", 10));
    // ASCII runs of every length and phase around other characters, as
    // converted a word of units at a time.
    std::mt19937 random(7);
    const char16_t pieces[] = {u'a', u'Z', u'0', u'\x7f', u'\x80', u'\u0436', u'\u4e16', u'\uffff', 0};
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        const int length = static_cast<int>(random() % 41);
        for (int i = 0; i < length; ++i)
            text += random() % 4 ? pieces[random() % 4] : pieces[random() % std::size(pieces)];
        if (random() % 5 == 0)
            text += u"\U0001F600";
        ASSERT_EQ(Utf8Of(text), "prefix:" + QString::fromStdU16String(text).toStdString()) << round;
    }
}

TEST(OdbcText, LoneSurrogatesBecomeReplacementCharacter)
{
    EXPECT_EQ(Utf8Of(std::u16string{0xD83D, u'x'}), "prefix:\xEF\xBF\xBDx");
    EXPECT_EQ(Utf8Of(std::u16string{u'x', 0xDE00}), "prefix:x\xEF\xBF\xBD");
    EXPECT_EQ(Utf8Of(std::u16string{0xD83D}), "prefix:\xEF\xBF\xBD");
}

TEST(OdbcText, WideStatementTextIsTerminated)
{
    const std::vector<SQLWCHAR> w = ToSqlWide(QStringLiteral("s\u0436"));
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[1], 0x0436);
    EXPECT_EQ(w[2], 0);
}

namespace {
TFieldType Map(SQLSMALLINT type, SQLULEN size = 10, SQLSMALLINT digits = 0, bool isUnsigned = false)
{
    return OdbcFieldType(TOdbcColumnDesc{type, size, digits, isUnsigned});
}
} // namespace

TEST(OdbcTypes, MapsEverySqlTypeToItsFieldType)
{
    EXPECT_EQ(Map(SQL_TINYINT, 3, 0, true), ftWord);
    EXPECT_EQ(Map(SQL_TINYINT, 3, 0, false), ftSmallint);
    EXPECT_EQ(Map(SQL_SMALLINT), ftSmallint);
    EXPECT_EQ(Map(SQL_INTEGER), ftInteger);
    EXPECT_EQ(Map(SQL_BIGINT), ftLargeint);
    EXPECT_EQ(Map(SQL_REAL), ftFloat);
    EXPECT_EQ(Map(SQL_FLOAT), ftFloat);
    EXPECT_EQ(Map(SQL_DOUBLE), ftFloat);
    EXPECT_EQ(Map(SQL_BIT), ftBoolean);
    EXPECT_EQ(Map(SQL_TYPE_TIMESTAMP), ftDateTime);
    EXPECT_EQ(Map(SQL_DATETIME), ftDateTime);
    EXPECT_EQ(Map(SQL_TIMESTAMP), ftDateTime);
    EXPECT_EQ(Map(SQL_TYPE_DATE), ftDate);
    EXPECT_EQ(Map(SQL_TYPE_TIME), ftTime);
    EXPECT_EQ(Map(kSqlSsTime2), ftTime);
    EXPECT_EQ(Map(SQL_CHAR), ftFixedChar);
    EXPECT_EQ(Map(SQL_VARCHAR), ftString);
    EXPECT_EQ(Map(SQL_WCHAR), ftWideString);
    EXPECT_EQ(Map(SQL_WVARCHAR), ftWideString);
    EXPECT_EQ(Map(SQL_LONGVARCHAR), ftMemo);
    EXPECT_EQ(Map(SQL_WLONGVARCHAR), ftMemo);
    EXPECT_EQ(Map(kSqlSsXml, 0), ftMemo);
    EXPECT_EQ(Map(SQL_BINARY), ftBytes);
    EXPECT_EQ(Map(SQL_VARBINARY), ftVarBytes);
    EXPECT_EQ(Map(SQL_LONGVARBINARY), ftBlob);
    EXPECT_EQ(Map(SQL_GUID, 36), ftGuid);
    EXPECT_EQ(Map(kSqlSsVariant, 8000), ftVariant);
}

TEST(OdbcTypes, MaxColumnsReportedWithSizeZeroAreLong)
{
    EXPECT_EQ(Map(SQL_VARCHAR, 0), ftMemo);
    EXPECT_EQ(Map(SQL_WVARCHAR, 0), ftMemo);
    EXPECT_EQ(Map(SQL_VARBINARY, 0), ftBlob);
    EXPECT_EQ(Map(SQL_WVARCHAR, kMaxBoundColumnSize), ftWideString);
    EXPECT_EQ(Map(SQL_WVARCHAR, kMaxBoundColumnSize + 1), ftMemo);
    const TOdbcColumnDesc memo{SQL_WLONGVARCHAR, 8190, 0, false};
    EXPECT_TRUE(OdbcColumnFetch(memo, ftMemo).isLong);
    const TOdbcColumnDesc shortText{SQL_WVARCHAR, 20, 0, false};
    const TOdbcColumnFetch p = OdbcColumnFetch(shortText, ftWideString);
    EXPECT_FALSE(p.isLong);
    EXPECT_EQ(p.cType, SQL_C_WCHAR);
    // Room for twenty characters outside the BMP and the terminator.
    EXPECT_GE(p.elementBytes, (20u * 2 + 1) * sizeof(SQLWCHAR));
}

TEST(OdbcTypes, NarrowTextPlansHoldFourUtf8BytesPerCharacter)
{
    const TOdbcColumnDesc shortText{SQL_VARCHAR, 20, 0, false};
    const TOdbcColumnFetch p = OdbcColumnFetch(shortText, ftString, true);
    EXPECT_EQ(p.cType, SQL_C_CHAR);
    EXPECT_GE(p.elementBytes, 20u * 4 + 1);
    // Long text stays long; non-text columns keep their C types.
    const TOdbcColumnFetch memo = OdbcColumnFetch(TOdbcColumnDesc{SQL_LONGVARCHAR, 0, 0, false}, ftMemo, true);
    EXPECT_TRUE(memo.isLong);
    EXPECT_EQ(memo.cType, SQL_C_CHAR);
    EXPECT_EQ(OdbcColumnFetch(TOdbcColumnDesc{SQL_VARBINARY, 16, 0, false}, ftVarBytes, true).cType, SQL_C_BINARY);
    EXPECT_EQ(OdbcColumnFetch(TOdbcColumnDesc{SQL_INTEGER, 10, 0, false}, ftInteger, true).cType, SQL_C_SLONG);
    EXPECT_EQ(OdbcColumnFetch(TOdbcColumnDesc{SQL_DECIMAL, 38, 10, false}, ftBCD, true).elementBytes,
              OdbcColumnFetch(TOdbcColumnDesc{SQL_DECIMAL, 38, 10, false}, ftBCD).elementBytes);
}

TEST(OdbcTypes, DecimalsOfScaleZeroAndFewDigitsAreIntegers)
{
    EXPECT_EQ(Map(SQL_NUMERIC, 9, 0), ftInteger);
    EXPECT_EQ(Map(SQL_NUMERIC, 10, 0), ftBCD);
    EXPECT_EQ(Map(SQL_NUMERIC, 5, 2), ftBCD);
    EXPECT_EQ(Map(SQL_DECIMAL, 38, 10), ftBCD);
    EXPECT_EQ(Map(SQL_DECIMAL, 0, 0), ftBCD);
    // Exact decimals travel as text, never through a double.
    EXPECT_EQ(OdbcColumnFetch(TOdbcColumnDesc{SQL_DECIMAL, 38, 10, false}, ftBCD).cType, SQL_C_CHAR);
}

TEST(OdbcTypes, UnsignedValuesThatOverflowTheStoreWiden)
{
    EXPECT_EQ(Map(SQL_SMALLINT, 5, 0, true), ftWord);
    EXPECT_EQ(Map(SQL_INTEGER, 10, 0, true), ftLargeint);
    EXPECT_EQ(Map(SQL_BIGINT, 20, 0, true), ftBCD);
}

TEST(OdbcTypes, UnknownTypesAreFetchedAsTextNotDropped)
{
    EXPECT_EQ(Map(kSqlSsTimestampOffset, 34), ftWideString);
    EXPECT_EQ(Map(SQL_INTERVAL_DAY_TO_SECOND, 20), ftWideString);
    EXPECT_EQ(Map(-9999, 10), ftWideString);
    EXPECT_EQ(OdbcColumnFetch(TOdbcColumnDesc{kSqlSsTimestampOffset, 34, 7, false}, ftWideString).cType, SQL_C_WCHAR);
}

TEST(OdbcTypes, DaysFromCivilCountsFromTheEpoch)
{
    EXPECT_EQ(DaysFromCivil(1970, 1, 1), 0);
    EXPECT_EQ(DaysFromCivil(1969, 12, 31), -1);
    EXPECT_EQ(DaysFromCivil(2000, 3, 1), 11017);
    EXPECT_EQ(DaysFromCivil(2024, 2, 29) + 1, DaysFromCivil(2024, 3, 1));
    EXPECT_EQ(DaysFromCivil(1, 1, 1), -719162);
    EXPECT_EQ(DaysFromCivil(9999, 12, 31), 2932896);
}

TEST(OdbcTypes, ParsesTimeOfDayWithFractions)
{
    EXPECT_EQ(ParseTimeOfDayMsecs("00:00:00"), 0);
    EXPECT_EQ(ParseTimeOfDayMsecs("23:59:59.9999999"), 86399999);
    EXPECT_EQ(ParseTimeOfDayMsecs("12:34:56.78"), ((12 * 60 + 34) * 60 + 56) * 1000 + 780);
    EXPECT_EQ(ParseTimeOfDayMsecs("01:02"), (62 * 60) * 1000);
    EXPECT_EQ(ParseTimeOfDayMsecs("nonsense"), -1);
    EXPECT_EQ(ParseTimeOfDayMsecs("25:00:00"), -1);
    EXPECT_EQ(ParseTimeOfDayMsecs(""), -1);
}

TEST(OdbcTypes, DecimalTextIsTrimmedAndGetsItsLeadingZero)
{
    auto norm = [](std::string s) { NormalizeDecimalText(s); return s; };
    EXPECT_EQ(norm(".50"), "0.50");
    EXPECT_EQ(norm("-.5"), "-0.5");
    EXPECT_EQ(norm("  12.30 "), "12.30");
    EXPECT_EQ(norm("12345678901234567890.1234567890"), "12345678901234567890.1234567890");
    EXPECT_EQ(norm("-"), "-");
    EXPECT_EQ(norm(""), "");
}
