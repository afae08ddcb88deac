#pragma once
// Carries out the delete of one fetched record by key on an ODBC connection:
// where the result's columns come from, the table's keys from the catalog,
// and the delete itself in a transaction of its own.
//
// Threading: any one thread at a time for the connection (the delete runs on
// a worker while the window waits); TDeleteWatch lets another thread stop it.

#include "platform/odbc/KeyedDelete.h"
#include "query/DataSet.h"

#include <sql.h>

#include <functional>
#include <vector>

class TOdbcConnection;

// Raised when the connection could not be put back into autocommit after a
// delete: it may sit inside a transaction nobody ends, so the caller closes
// it before anything else runs there.
class EConnectionSpoilt : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// How a cancel from another thread reaches the statements of a delete.
struct TDeleteWatch {
    // Called with each statement before it runs and with SQL_NULL_HSTMT
    // after it. With `mayStop`, raises when a stop was asked already; the
    // statements that end a transaction pass false, so they always run.
    std::function<void(SQLHSTMT stmt, bool mayStop)> running;
};

// Runs `step`, which may raise EDatabaseError. On SQLite3, whose driver
// waits for another connection's lock where no cancel reaches, the wait is
// cut into short slices for the duration, and a step that met a lock is run
// again (it must be repeatable: the delete's steps read, or roll back what
// they did) until it passes, `stopped()` says so, or `commandTimeout`
// seconds have gone by. Other drivers run `step` once.
void RunRetryingLocks(TOdbcConnection& conn, int commandTimeout, const std::function<bool()>& stopped,
                      const std::function<void()>& step);

// The base catalog, schema, table and column the driver reports for columns
// [1, ncols] of the current result set; empty parts where it reports none.
[[nodiscard]] std::vector<TColumnSource> ReadOdbcColumnSources(const TOdbcConnection& conn, SQLHSTMT stmt,
                                                               SQLSMALLINT ncols);

// The delete for a record of the result of `sql`, whose columns the driver
// described as `sources`, of field types `types`. Servers of the SQL Server
// kind describe the result themselves (sp_describe_first_result_set); other
// engines give the keys of the source table from SQLPrimaryKeys, then
// SQLStatistics. Driver failures raise EDatabaseError.
[[nodiscard]] TDeleteDecision PlanOdbcDelete(TOdbcConnection& conn, const QString& sql,
                                             const std::vector<TColumnSource>& sources,
                                             const std::vector<TFieldType>& types, int commandTimeout,
                                             const TDeleteWatch& watch);

// A value of the record as it was fetched, and the type of its field
// (decimals and GUIDs held as text are sent as such).
struct TKeyValue {
    QVariant value;
    TFieldType type = ftUnknown;
};

// Runs `plan` for the record whose values along plan.terms are `termValues`
// (NULLs become IS NULL), in a transaction of its own, and commits only when
// exactly one row was deleted; otherwise rolls back and returns the refusal.
// A transaction the user opened on the connection is never touched: the
// delete is refused before anything is sent. A driver failure rolls back and
// raises EDatabaseError; a connection left outside autocommit raises
// EConnectionSpoilt.
[[nodiscard]] std::optional<TDeleteRefusal> RunKeyedDelete(TOdbcConnection& conn, const TKeyedDeletePlan& plan,
                                                           const std::vector<TKeyValue>& termValues,
                                                           int commandTimeout, const TDeleteWatch& watch);
