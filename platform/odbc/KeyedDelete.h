#pragma once
// Deciding how one fetched record is deleted on the server: by the unique key
// of the single table the result comes from, never by matching every value.
// Pure: the sources of the columns, their field types and the table's keys
// come in as values, the plan or the reason for refusing goes out.
//
// A plan deletes the one row shown or nothing: besides the key, its WHERE
// clause holds every shown column of the table whose values compare exactly
// (integers, exact decimals, booleans, dates, short text, GUIDs), with the
// values as fetched. A row that another statement of the result joined in
// (a self-join), a made-up row that happens to carry a real key, or a row
// changed since the fetch then matches nothing, and the delete is rolled
// back. Floating point, date-times (fractions of a second may not survive
// the fetch), long text and binary are left out; the key decides alone
// for them.
//
// Sources come from the driver's base-column descriptors or from the
// server's own description of the result (sp_describe_first_result_set).
// A driver that reports neither gets the refusal: the statement text is not
// guessed at.

#include "query/DataSet.h"

#include <QString>
#include <QVariant>

#include <optional>
#include <variant>
#include <vector>

// Where a result column comes from. An empty table or column: an expression,
// a constant, or a driver that does not say. The catalog is the database;
// empty when the driver names none.
struct TColumnSource {
    QString schema;
    QString table;
    QString column;
    QString catalog;
    friend bool operator==(const TColumnSource&, const TColumnSource&) = default;
};

// How the server quotes names: [a]]b] or "a""b".
enum class TNameQuoting { Brackets, DoubleQuotes };

[[nodiscard]] QString QuoteSqlName(const QString& name, TNameQuoting quoting);

// A unique key of a table: its column names in key order.
using TTableKey = std::vector<QString>;

// Whether a value of `type` can be sent back and compared with "=" without
// changing it: what the compared columns of a plan are made of.
[[nodiscard]] bool ComparesExactly(TFieldType type);

// One condition of the WHERE clause: result column `field` against the
// table's `column`.
struct TDeleteTerm {
    int field = -1;
    QString column;
    friend bool operator==(const TDeleteTerm&, const TDeleteTerm&) = default;
};

struct TKeyedDeletePlan {
    QString catalog;             // empty when the driver names none
    QString schema;              // empty when the engine has none (SQLite)
    QString table;
    QString target;              // catalog.schema.table, each part quoted
    std::vector<int> keyFields;  // result columns of the key, in key order
    // The key's terms first (in key order), then the compared columns.
    std::vector<TDeleteTerm> terms;
    TNameQuoting quoting = TNameQuoting::Brackets;
};

// The DELETE for one record: "col = ?" for each term whose value is not
// NULL, "col IS NULL" for one that is (`isNull` runs along plan.terms; a
// short or empty vector means not NULL). The "?" marks take the non-NULL
// values in term order.
[[nodiscard]] QString DeleteStatement(const TKeyedDeletePlan& plan, const std::vector<bool>& isNull = {});

struct TDeleteRefusal {
    QString message;             // shown to the user as is
};

using TDeleteDecision = std::variant<TKeyedDeletePlan, TDeleteRefusal>;

// The delete for a result whose columns come from `sources` (one per result
// column) with field types `types` (one per column; missing ones compare
// nothing), given the unique keys of that table, the primary key first.
// The first key whose every column is a plain column of the result wins.
// Refuses a result with no known table, one with columns of two tables, a
// table without a unique key, and a result that lacks a key column.
[[nodiscard]] TDeleteDecision PlanKeyedDelete(const std::vector<TColumnSource>& sources,
                                              const std::vector<TTableKey>& keys, TNameQuoting quoting,
                                              const std::vector<TFieldType>& types = {});

// The single table of `sources`, or none when no column names a table or two
// tables are named. Columns without a table (expressions) are passed over.
[[nodiscard]] std::optional<TColumnSource> SingleSourceTable(const std::vector<TColumnSource>& sources);

// Refuses key values that cannot select the record: a NULL never equals "?".
[[nodiscard]] std::optional<TDeleteRefusal> CheckKeyValues(const std::vector<QVariant>& values);

// Refusals decided before anything is sent.
[[nodiscard]] TDeleteRefusal RepeatedKeyRefusal();
[[nodiscard]] TDeleteRefusal UserTransactionRefusal();
// The refusals after the statement ran and was rolled back.
[[nodiscard]] TDeleteRefusal NoRowDeletedRefusal();
[[nodiscard]] TDeleteRefusal ManyRowsDeletedRefusal(long long rows);

// The user's words for a failure of the delete path: ours first, the
// driver's after them.
[[nodiscard]] QString DeleteFailureText(const QString& driverText);
[[nodiscard]] QString DeleteCancelledText();
[[nodiscard]] QString DeleteTimedOutText();

// --- the server's description of a result (sp_describe_first_result_set)

// One row of the description in browse mode 1, as far as keys go.
struct TDescribedResultColumn {
    bool isHidden = false;           // added by the server for browsing, not in the result
    QString sourceSchema;            // NULL is given as empty
    QString sourceTable;
    QString sourceColumn;
    bool isPartOfUniqueKey = false;
    QString sourceDatabase;
};

// The batch asking the server to describe `sql` with browse information;
// the text goes in as an N'...' literal with quotes doubled.
[[nodiscard]] QString DescribeFirstResultSetStatement(const QString& sql);

// The delete decided from the server's description: visible rows are the
// result columns in order (with `types` as for PlanKeyedDelete); rows marked
// part of the unique key (hidden ones included) make the key of the source
// table.
[[nodiscard]] TDeleteDecision PlanKeyedDeleteFromDescription(const std::vector<TDescribedResultColumn>& rows,
                                                             const std::vector<TFieldType>& types = {});
