#pragma once
// UTF-16 (SQLWCHAR) to UTF-8 for values fetched through SQL_C_WCHAR, and
// QString to a NUL-terminated SQLWCHAR buffer for statement text.

#include <sql.h>

#include <QString>

#include <cstddef>
#include <string>
#include <vector>

// Appends the UTF-8 form of `units` UTF-16 code units to `out`. A lone
// surrogate becomes U+FFFD; nothing else is changed (NULs included). ASCII
// runs are copied without decoding.
void AppendUtf16AsUtf8(const SQLWCHAR* data, std::size_t units, std::string& out);

// Writes the UTF-8 form of `units` code units to `dst`, which must have room
// for 3 * units bytes; returns the bytes written.
std::size_t Utf16ToUtf8(const SQLWCHAR* data, std::size_t units, char* dst);

// The text as NUL-terminated UTF-16 for the W entry points.
[[nodiscard]] std::vector<SQLWCHAR> ToSqlWide(const QString& text);

[[nodiscard]] inline QString FromSqlWide(const SQLWCHAR* data, std::size_t units)
{
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(data), static_cast<qsizetype>(units));
}
