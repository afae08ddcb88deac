#pragma once
// Deciding how one fetched record is deleted on the server: by the unique key
// of the single table the result comes from, never by matching every value.
// Pure: the sources of the columns and the table's keys come in as values,
// the plan or the reason for refusing goes out.
//
// Sources come from the driver's base-column descriptors or from the
// server's own description of the result (sp_describe_first_result_set).
// A driver that reports neither gets the refusal: the statement text is not
// guessed at.

#include <QString>
#include <QVariant>

#include <optional>
#include <variant>
#include <vector>

// Where a result column comes from. An empty table or column: an expression,
// a constant, or a driver that does not say.
struct TColumnSource {
    QString schema;
    QString table;
    QString column;
    friend bool operator==(const TColumnSource&, const TColumnSource&) = default;
};

// How the server quotes names: [a]]b] or "a""b".
enum class TNameQuoting { Brackets, DoubleQuotes };

[[nodiscard]] QString QuoteSqlName(const QString& name, TNameQuoting quoting);

// A unique key of a table: its column names in key order.
using TTableKey = std::vector<QString>;

struct TKeyedDeletePlan {
    QString schema;              // empty when the engine has none (SQLite)
    QString table;
    std::vector<int> keyFields;  // result columns bound to the "?" marks, in order
    QString statement;           // DELETE FROM ... WHERE k1 = ? AND ...
};

struct TDeleteRefusal {
    QString message;             // shown to the user as is
};

using TDeleteDecision = std::variant<TKeyedDeletePlan, TDeleteRefusal>;

// The delete for a result whose columns come from `sources` (one per result
// column), given the unique keys of that table, the primary key first.
// The first key whose every column is a plain column of the result wins.
// Refuses a result with no known table, one with columns of two tables, a
// table without a unique key, and a result that lacks a key column.
[[nodiscard]] TDeleteDecision PlanKeyedDelete(const std::vector<TColumnSource>& sources,
                                              const std::vector<TTableKey>& keys, TNameQuoting quoting);

// The single table of `sources`, or none when no column names a table or two
// tables are named. Columns without a table (expressions) are passed over.
[[nodiscard]] std::optional<TColumnSource> SingleSourceTable(const std::vector<TColumnSource>& sources);

// Refuses key values that cannot select the record: a NULL never equals "?".
[[nodiscard]] std::optional<TDeleteRefusal> CheckKeyValues(const std::vector<QVariant>& values);

// The refusals after the statement ran and was rolled back.
[[nodiscard]] TDeleteRefusal NoRowDeletedRefusal();
[[nodiscard]] TDeleteRefusal ManyRowsDeletedRefusal(long long rows);

// --- the server's description of a result (sp_describe_first_result_set)

// One row of the description in browse mode 1, as far as keys go.
struct TDescribedResultColumn {
    bool isHidden = false;           // added by the server for browsing, not in the result
    QString sourceSchema;            // NULL is given as empty
    QString sourceTable;
    QString sourceColumn;
    bool isPartOfUniqueKey = false;
};

// The batch asking the server to describe `sql` with browse information;
// the text goes in as an N'...' literal with quotes doubled.
[[nodiscard]] QString DescribeFirstResultSetStatement(const QString& sql);

// The delete decided from the server's description: visible rows are the
// result columns in order; rows marked part of the unique key (hidden ones
// included) make the key of the source table.
[[nodiscard]] TDeleteDecision PlanKeyedDeleteFromDescription(const std::vector<TDescribedResultColumn>& rows);
