#include "platform/odbc/OdbcTypes.h"

#include <sqlucode.h>

#include <algorithm>

TFieldType OdbcFieldType(const TOdbcColumnDesc& d)
{
    switch (d.sqlType) {
    case SQL_TINYINT:
        return d.isUnsigned ? ftWord : ftSmallint;
    case SQL_SMALLINT:
        return d.isUnsigned ? ftWord : ftSmallint;
    case SQL_INTEGER:
        // Unsigned values above 2^31 do not fit the 32-bit store.
        return d.isUnsigned ? ftLargeint : ftInteger;
    case SQL_BIGINT:
        // Unsigned values above 2^63 do not fit the 64-bit store: exact text.
        return d.isUnsigned ? ftBCD : ftLargeint;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
        return ftFloat;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return d.digits == 0 && d.size > 0 && d.size < 10 ? ftInteger : ftBCD;
    case SQL_BIT:
        return ftBoolean;
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME: // also the older SQL_DATE
    case SQL_TIMESTAMP:
        return ftDateTime;
    case SQL_TYPE_DATE:
        return ftDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case kSqlSsTime2:
        return ftTime;
    case SQL_CHAR:
        return IsLongColumnSize(d.size) ? ftMemo : ftFixedChar;
    case SQL_VARCHAR:
        return IsLongColumnSize(d.size) ? ftMemo : ftString;
    case SQL_WCHAR:
    case SQL_WVARCHAR:
        return IsLongColumnSize(d.size) ? ftMemo : ftWideString;
    case SQL_LONGVARCHAR:
    case SQL_WLONGVARCHAR:
    case kSqlSsXml:
        return ftMemo;
    case SQL_BINARY:
        return IsLongColumnSize(d.size) ? ftBlob : ftBytes;
    case SQL_VARBINARY:
        return IsLongColumnSize(d.size) ? ftBlob : ftVarBytes;
    case SQL_LONGVARBINARY:
        return ftBlob;
    case SQL_GUID:
        return ftGuid;
    case kSqlSsVariant:
        return ftVariant;
    default:
        return ftWideString;
    }
}

bool OdbcIsLongColumn(const TOdbcColumnDesc& desc, TFieldType type)
{
    if (type == ftMemo || type == ftBlob)
        return true;
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
    case ftVariant:
        return IsLongColumnSize(desc.size);
    default:
        return false;
    }
}

TOdbcColumnFetch OdbcColumnFetch(const TOdbcColumnDesc& desc, TFieldType type, bool narrowText)
{
    const bool isLong = OdbcIsLongColumn(desc, type);
    const std::size_t size = std::max<SQLULEN>(desc.size, 1);
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
        return {SQL_C_SLONG, sizeof(SQLINTEGER), false};
    case ftLargeint:
        return {SQL_C_SBIGINT, sizeof(SQLBIGINT), false};
    case ftFloat:
        return {SQL_C_DOUBLE, sizeof(SQLDOUBLE), false};
    case ftBoolean:
        return {SQL_C_BIT, sizeof(SQLCHAR), false};
    case ftDate:
        return {SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT), false};
    case ftDateTime:
        return {SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT), false};
    case ftTime:
        // As text: SQL_TIME_STRUCT has no fraction of a second.
        return {SQL_C_CHAR, 40, false};
    case ftBCD:
        // Exact decimal text: digits, sign, point, leading zero, terminator.
        // The digits are bounded: a driver may describe an unconstrained
        // numeric with any precision, and a longer value is read again.
        return {SQL_C_CHAR, std::max<std::size_t>(std::min(desc.size, kMaxBoundColumnSize) + 4, 48), false};
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
        return {SQL_C_BINARY, isLong ? 0 : size, isLong};
    default:
        // Text of every kind. UTF-8 takes up to four bytes per character;
        // two UTF-16 code units per character leave room for characters
        // outside the BMP.
        if (narrowText)
            return {SQL_C_CHAR, isLong ? 0 : size * 4 + 1, isLong};
        return {SQL_C_WCHAR, isLong ? 0 : (size * 2 + 1) * sizeof(SQLWCHAR), isLong};
    }
}

int OdbcFieldSize(const TOdbcColumnDesc& desc, TFieldType type)
{
    switch (type) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftBytes:
    case ftVarBytes:
    case ftVariant:
        return OdbcIsLongColumn(desc, type) ? 0 : static_cast<int>(desc.size);
    case ftGuid:
        return 38;
    case ftBCD:
        return desc.digits;
    default:
        return 0;
    }
}

std::int32_t DaysFromCivil(int year, unsigned month, unsigned day)
{
    // Eras of 400 years, years starting in March so the leap day ends them.
    const int y = year - (month <= 2 ? 1 : 0);
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int>(doe) - 719468;
}

std::int64_t ParseTimeOfDayMsecs(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    auto num = [&](std::size_t& pos, int digitsMax, int& value) {
        value = 0;
        int n = 0;
        while (pos < s.size() && n < digitsMax && s[pos] >= '0' && s[pos] <= '9') {
            value = value * 10 + (s[pos] - '0');
            ++pos;
            ++n;
        }
        return n > 0;
    };
    std::size_t pos = 0;
    int h = 0, m = 0, sec = 0;
    if (!num(pos, 2, h) || pos >= s.size() || s[pos++] != ':' || !num(pos, 2, m))
        return -1;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!num(pos, 2, sec))
            return -1;
    }
    int ms = 0;
    if (pos < s.size() && s[pos] == '.') {
        ++pos;
        int scale = 100;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            ms += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
    }
    if (h > 23 || m > 59 || sec > 59)
        return -1;
    return ((static_cast<std::int64_t>(h) * 60 + m) * 60 + sec) * 1000 + ms;
}

void NormalizeDecimalText(std::string& t)
{
    std::size_t b = 0;
    while (b < t.size() && t[b] == ' ')
        ++b;
    std::size_t e = t.size();
    while (e > b && t[e - 1] == ' ')
        --e;
    if (b > 0 || e < t.size())
        t = t.substr(b, e - b);
    if (!t.empty() && t[0] == '.')
        t.insert(t.begin(), '0');
    else if (t.size() > 1 && (t[0] == '-' || t[0] == '+') && t[1] == '.')
        t.insert(t.begin() + 1, '0');
}
