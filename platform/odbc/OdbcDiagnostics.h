#pragma once
// Diagnostic records of an ODBC handle, as the user is shown them.

#include "query/Database.h"

#include <sql.h>

#include <QString>

#include <vector>

// Every diagnostic record of `handle` (record 1 upward), with the vendor
// prefixes of each message removed. Empty when there is none. `wide`: read
// through SQLGetDiagRecW; otherwise through SQLGetDiagRec, the text taken as
// UTF-8 (drivers without the W entry points).
[[nodiscard]] std::vector<TDbError> ReadOdbcDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle, bool wide = true);

// Removes every leading "[...]" group ("[unixODBC][FreeTDS][SQL Server]"),
// and the blanks after them, from a driver message.
[[nodiscard]] QString StripVendorPrefixes(const QString& message);

// The messages of `errors` joined with "\n"; empty records and repeats of an
// earlier message (some drivers post a record twice) are skipped.
[[nodiscard]] QString JoinDiagnosticMessages(const std::vector<TDbError>& errors);
