#pragma once
// Carries out the delete of one fetched record by key on an ODBC connection:
// where the result's columns come from, the table's keys from the catalog,
// and the delete itself in a transaction of its own.
//
// Threading: the connection's thread.

#include "platform/odbc/KeyedDelete.h"
#include "query/DataSet.h"

#include <sql.h>

#include <vector>

class TOdbcConnection;

// The base schema, table and column the driver reports for columns [1, ncols]
// of the current result set; empty parts where it reports none.
[[nodiscard]] std::vector<TColumnSource> ReadOdbcColumnSources(const TOdbcConnection& conn, SQLHSTMT stmt,
                                                               SQLSMALLINT ncols);

// The delete for a record of the result of `sql`, whose columns the driver
// described as `sources`. Servers of the SQL Server kind describe the result
// themselves (sp_describe_first_result_set); other engines give the keys of
// the source table from SQLPrimaryKeys, then SQLStatistics. Driver failures
// raise EDatabaseError.
[[nodiscard]] TDeleteDecision PlanOdbcDelete(TOdbcConnection& conn, const QString& sql,
                                             const std::vector<TColumnSource>& sources, int commandTimeout);

// A key value as the record holds it, and the type of its field (decimals
// and GUIDs held as text are sent as such).
struct TKeyValue {
    QVariant value;
    TFieldType type = ftUnknown;
};

// Runs `plan` with `keyValues` bound to its marks, with autocommit off, and
// commits only when exactly one row was deleted; otherwise rolls back and
// returns the refusal. Autocommit is on again on every path. A driver failure
// rolls back and raises EDatabaseError.
[[nodiscard]] std::optional<TDeleteRefusal> RunKeyedDelete(TOdbcConnection& conn, const TKeyedDeletePlan& plan,
                                                           const std::vector<TKeyValue>& keyValues,
                                                           int commandTimeout);
