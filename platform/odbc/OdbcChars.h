#pragma once
// The narrow and wide ODBC entry points over one character type, so that
// code calling them is written once as a template over SQLCHAR or SQLWCHAR.
// Narrow text is UTF-8 (drivers without W entry points take and give the
// engine's UTF-8); wide text is UTF-16.

#include "platform/odbc/OdbcText.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <vector>

template <class Ch>
struct TOdbcChars;

template <>
struct TOdbcChars<SQLCHAR> {
    [[nodiscard]] static QString ToQString(const SQLCHAR* text, std::size_t units)
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(text), static_cast<qsizetype>(units));
    }
    // NUL-terminated.
    [[nodiscard]] static std::vector<SQLCHAR> FromQString(const QString& text)
    {
        const QByteArray utf8 = text.toUtf8();
        std::vector<SQLCHAR> out(static_cast<std::size_t>(utf8.size()) + 1, 0);
        std::copy(utf8.begin(), utf8.end(), out.begin());
        return out;
    }
    static SQLRETURN ExecDirect(SQLHSTMT stmt, SQLCHAR* text, SQLINTEGER length)
    {
        return SQLExecDirect(stmt, text, length);
    }
    static SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLCHAR* name, SQLSMALLINT nameMax,
                                 SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable)
    {
        return SQLDescribeCol(stmt, col, name, nameMax, nameLen, type, size, digits, nullable);
    }
    static SQLRETURN GetDiagRec(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT rec, SQLCHAR* state,
                                SQLINTEGER* native, SQLCHAR* text, SQLSMALLINT textMax, SQLSMALLINT* textLen)
    {
        return SQLGetDiagRec(handleType, handle, rec, state, native, text, textMax, textLen);
    }
};

template <>
struct TOdbcChars<SQLWCHAR> {
    [[nodiscard]] static QString ToQString(const SQLWCHAR* text, std::size_t units)
    {
        return FromSqlWide(text, units);
    }
    [[nodiscard]] static std::vector<SQLWCHAR> FromQString(const QString& text) { return ToSqlWide(text); }
    static SQLRETURN ExecDirect(SQLHSTMT stmt, SQLWCHAR* text, SQLINTEGER length)
    {
        return SQLExecDirectW(stmt, text, length);
    }
    static SQLRETURN DescribeCol(SQLHSTMT stmt, SQLUSMALLINT col, SQLWCHAR* name, SQLSMALLINT nameMax,
                                 SQLSMALLINT* nameLen, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                 SQLSMALLINT* nullable)
    {
        return SQLDescribeColW(stmt, col, name, nameMax, nameLen, type, size, digits, nullable);
    }
    static SQLRETURN GetDiagRec(SQLSMALLINT handleType, SQLHANDLE handle, SQLSMALLINT rec, SQLWCHAR* state,
                                SQLINTEGER* native, SQLWCHAR* text, SQLSMALLINT textMax, SQLSMALLINT* textLen)
    {
        return SQLGetDiagRecW(handleType, handle, rec, state, native, text, textMax, textLen);
    }
};

// Calls `f.template operator()<Ch>()` with the character type of the driver's
// entry points: SQLWCHAR when `wide`, SQLCHAR otherwise.
template <class F>
decltype(auto) WithOdbcChars(bool wide, F&& f)
{
    if (wide)
        return f.template operator()<SQLWCHAR>();
    return f.template operator()<SQLCHAR>();
}
