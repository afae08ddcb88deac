#pragma once
// How an ODBC result column becomes a field, and how it is fetched.

#include "platform/data/ColumnStore.h"

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Driver-specific SQL types of the server's native client.
inline constexpr SQLSMALLINT kSqlSsVariant = -150;
inline constexpr SQLSMALLINT kSqlSsXml = -152;
inline constexpr SQLSMALLINT kSqlSsTime2 = -154;
inline constexpr SQLSMALLINT kSqlSsTimestampOffset = -155;

// Columns larger than this (characters or bytes), or of unknown size, are
// long: read with SQLGetData in chunks instead of bound buffers.
inline constexpr SQLULEN kMaxBoundColumnSize = 8000;

// Whether a column size makes a column of a sized type (text, binary,
// variant) long. Size 0 is how drivers describe varchar(max) and its kin.
[[nodiscard]] constexpr bool IsLongColumnSize(SQLULEN size)
{
    return size == 0 || size > kMaxBoundColumnSize;
}

// A column as SQLDescribeCol/SQLColAttribute report it.
struct TOdbcColumnDesc {
    SQLSMALLINT sqlType = SQL_UNKNOWN_TYPE;
    SQLULEN size = 0;          // column size: characters, bytes or digits
    SQLSMALLINT digits = 0;    // decimal digits (scale)
    bool isUnsigned = false;
};

// The field type of a column. Types without a closer counterpart (intervals,
// datetimeoffset, driver-specific types) are ftWideString: they are fetched
// as text rather than dropped.
[[nodiscard]] TFieldType OdbcFieldType(const TOdbcColumnDesc& desc);

// Whether a column is long: read with SQLGetData in chunks, never bound
// (ftMemo, ftBlob, or a sized type whose size IsLongColumnSize).
[[nodiscard]] bool OdbcIsLongColumn(const TOdbcColumnDesc& desc, TFieldType type);

// The C type a field type is fetched as, and the bound buffer size per row in
// bytes (for text: room for the value in UTF-16, or in UTF-8 when
// `narrowText`, and a terminator; for exact decimals: text of at most
// kMaxBoundColumnSize digits, longer ones are cut). `narrowText` is for
// drivers without W entry points: their SQL_C_CHAR is the engine's UTF-8 as
// stored, so text is taken as is instead of going UTF-8 -> UTF-16 -> UTF-8.
struct TOdbcColumnFetch {
    SQLSMALLINT cType = SQL_C_WCHAR;
    std::size_t elementBytes = 0; // 0 for long columns
    bool isLong = false;
};

[[nodiscard]] TOdbcColumnFetch OdbcColumnFetch(const TOdbcColumnDesc& desc, TFieldType type, bool narrowText = false);

// The field definition's size for a column (0 for long data).
[[nodiscard]] int OdbcFieldSize(const TOdbcColumnDesc& desc, TFieldType type);

// Calendar helpers: days since 1970-01-01 of a proleptic Gregorian date, and
// the parse of "hh:mm:ss[.fffffff]" into milliseconds since midnight
// (-1 when the text is not a time).
[[nodiscard]] std::int32_t DaysFromCivil(int year, unsigned month, unsigned day);
[[nodiscard]] std::int64_t ParseTimeOfDayMsecs(std::string_view text);

// Exact decimal text as the driver gave it, made canonical: blanks trimmed,
// a missing leading zero added (".5" -> "0.5", "-.5" -> "-0.5").
void NormalizeDecimalText(std::string& text);
