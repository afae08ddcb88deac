#pragma once
// Shared by the benchmarks: the 1,000,000-row SQLite table (integer, short
// text, decimal, integer, datetime, 60-character text) and the bare ODBC
// block-fetch loop every measurement is compared with.

#include "platform/odbc/OdbcDatabase.h"

#include <QString>

#include <sql.h>

#include <chrono>

using TBenchClock = std::chrono::steady_clock;

[[nodiscard]] double Seconds(TBenchClock::time_point a, TBenchClock::time_point b);
// "Driver=SQLite3;Database=<path>".
[[nodiscard]] QString ConnectionString(const QString& path);
// The table t of `rows` rows in `path` (default: a file in the temporary
// directory named after the row count), made once and reused; returns the
// path.
QString EnsureBenchTable(long long rows, const QString& path = QString());
[[nodiscard]] QString CTypeName(SQLSMALLINT cType);
// "select * from t" fetched `rowArraySize` rows per call with the same C
// types the query binds; the values are only counted. Returns seconds;
// `rowsOut` gets the row count, `cTypes` (optional) the bound C types.
double BareFetch(TOdbcConnection& conn, SQLULEN rowArraySize, long long& rowsOut, QString* cTypes = nullptr);
