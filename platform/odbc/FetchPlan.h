#pragma once
// How a result is fetched, decided from what the driver reports before any
// buffer exists: the field of each column, which columns are bound, the C
// type and buffer size of each, the rows per fetch, and how a bound value
// longer than its buffer is read whole. Pure: no handle, no driver call.

#include "platform/odbc/OdbcTypes.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <QString>

#include <cstddef>
#include <vector>

// Bound buffers of one block fetch stay near this size; the rows of a block
// are clamped to [kMinBlockRows, kMaxBlockRows].
inline constexpr std::size_t kBlockBufferBytes = 2u << 20;
inline constexpr std::size_t kMinBlockRows = 16;
inline constexpr std::size_t kMaxBlockRows = 2048;
// A column's bound buffers grow for values longer than described up to this
// size for the whole block.
inline constexpr std::size_t kMaxGrownBlockBytes = 16u << 20;
// The bound buffers of a statement (values and length indicators of every
// bound column of a block), as planned and as grown, stay within this size.
inline constexpr std::size_t kMaxStatementBufferBytes = 64u << 20;
// A row's bound buffers stay within this size, so that a block of the fewest
// rows fits kMaxStatementBufferBytes. Columns of a wider row are read in
// parts with SQLGetData instead of bound, the widest first.
inline constexpr std::size_t kMaxBoundRowBytes = kMaxStatementBufferBytes / kMinBlockRows;

// What the driver offers for the executed statement.
struct TOdbcDriverCaps {
    SQLUINTEGER getDataExtensions = 0; // SQL_GD_* bits of SQL_GETDATA_EXTENSIONS
    // A value never exceeds its column size (the server enforces sizes).
    bool exactColumnSizes = false;
    // The statement's cursor is static and the driver fetches a rowset at an
    // absolute row number on it, so a row can be fetched again.
    bool absoluteFetch = false;
    // The driver has W entry points; without them text is fetched as UTF-8.
    bool wide = true;
};

// A column as SQLDescribeCol reports it.
struct TOdbcDescribedColumn {
    QString name;
    TOdbcColumnDesc desc;
    bool nullable = true;
};

// How a column's values reach the store.
enum class TOdbcColumnRead {
    Bound,         // bound buffers, a block of rows per fetch
    GetDataChunks, // unbound; SQLGetData in chunks until the value ends
    GetDataValue,  // unbound fixed-size value; one SQLGetData
};

// How a bound value longer than its buffer (its length indicator says so) is
// read whole. The statement is never executed again.
enum class TOdbcCutValueRead {
    None,          // no bound column can be cut
    CurrentRow,    // one-row fetches: SQLGetData on the fetched row
    PositionedRow, // SQL_GD_BLOCK: SQLSetPos to the row, then SQLGetData
    // Columns unbound, the row fetched alone at its absolute number,
    // SQLGetData; the block fetch then resumes after the block.
    AbsoluteRow,
    // Block fetches where nothing above is possible, which the plan allows
    // only when sizes are exact: a longer value is a failure, not a cut.
    Fail,
};

struct TOdbcColumnPlan {
    TFieldDef field;
    TOdbcColumnDesc desc;
    TOdbcColumnFetch fetch;
    TOdbcColumnRead read = TOdbcColumnRead::Bound;
};

struct TFetchPlan {
    std::vector<TOdbcColumnPlan> columns;
    std::size_t rowsPerBlock = 1;
    TOdbcCutValueRead cutValues = TOdbcCutValueRead::None;
    TOdbcDriverCaps caps;
};

// The plan for a result of `columns` (0 columns: nothing bound, one row per
// fetch).
//
// Long columns, and the widest variable-length columns of a row whose bound
// buffers would pass kMaxBoundRowBytes, are read in chunks. Without
// SQL_GD_ANY_COLUMN SQLGetData reaches only columns after the last bound
// one, so columns from the first one read in chunks on stay unbound then (a
// row too wide is bound up to the column that passes the limit). Any
// unbound column makes the fetch one row at a time. Bound columns whose
// values can be cut are block-fetched only when a cut value can be read again
// (SQL_GD_BLOCK or an absolute fetch) or cannot happen (exact sizes).
[[nodiscard]] TFetchPlan PlanFetch(const std::vector<TOdbcDescribedColumn>& columns, const TOdbcDriverCaps& caps);

// Bytes of the bound buffers of one block of `plan`: values and length
// indicators.
[[nodiscard]] std::size_t BoundBlockBytes(const TFetchPlan& plan);

// `plan` with the rows per fetch the driver granted (>= 1; drivers may lower
// the row array size); the cut-value read follows the rows.
[[nodiscard]] TFetchPlan WithRowsPerBlock(TFetchPlan plan, std::size_t rows);

// The element size a bound column's buffers grow to after a block whose
// longest cut value needed `neededBytes` (terminator included), for `rows`
// rows per fetch: at least double the current size, within
// kMaxGrownBlockBytes for the column's block and adding at most `spareBytes`
// to the statement's buffers. `current` when no growth is needed or the value
// would not fit those limits (it is then read again each time).
[[nodiscard]] std::size_t GrownElementBytes(std::size_t current, std::size_t neededBytes, std::size_t rows,
                                            std::size_t spareBytes);

// Bytes of terminator the driver writes after a value of this C type.
[[nodiscard]] constexpr std::size_t TerminatorBytes(SQLSMALLINT cType)
{
    return cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : cType == SQL_C_CHAR ? 1 : 0;
}

// C types whose values vary in length: a bound buffer may cut them.
[[nodiscard]] constexpr bool IsVariableCType(SQLSMALLINT cType)
{
    return cType == SQL_C_WCHAR || cType == SQL_C_CHAR || cType == SQL_C_BINARY;
}
