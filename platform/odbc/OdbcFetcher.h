#pragma once
// Carries out a fetch plan on an executed statement, in short steps: describe
// the columns, bind, fetch a block, read cut values again, append, grow.
//
// Threading: the thread that executed the statement.

#include "platform/odbc/FetchPlan.h"

#include <QString>
#include <QStringView>

#include <sql.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TColumnData;
class TColumnStore;
class TOdbcConnection;

// Columns [1, ncols] of the current result set of `stmt`, through the
// driver's narrow or wide entry points.
[[nodiscard]] std::vector<TOdbcDescribedColumn> DescribeOdbcColumns(TOdbcConnection& conn, SQLHSTMT stmt,
                                                                    SQLSMALLINT ncols);

// What the connection's driver offers for the executed statement.
[[nodiscard]] TOdbcDriverCaps OdbcDriverCaps(const TOdbcConnection& conn, SQLHSTMT stmt);

class TOdbcBlockFetcher {
public:
    // Sets the statement's row array to the plan's rows (the driver may grant
    // fewer; Plan() then says so) and binds the bound columns. A setup call
    // the driver refuses raises EDatabaseError.
    TOdbcBlockFetcher(TOdbcConnection& conn, SQLHSTMT stmt, const TFetchPlan& plan);
    // Unbinds the buffers and the rows-fetched count from the statement:
    // a driver may write to them while it moves to the statement's next
    // result (psqlODBC does), after this object is gone.
    ~TOdbcBlockFetcher();
    // The statement keeps pointers into this object: it neither moves nor copies.
    TOdbcBlockFetcher(const TOdbcBlockFetcher&) = delete;
    TOdbcBlockFetcher& operator=(const TOdbcBlockFetcher&) = delete;

    [[nodiscard]] const TFetchPlan& Plan() const { return m_plan; }
    // Bytes held by the fetch buffers: bound values and indicators, unbound
    // fixed-size values, and the buffers values are read and converted in.
    [[nodiscard]] std::size_t BufferBytes() const;

    // Where Run() publishes the rows appended so far (after every block,
    // relaxed) and what stops it between blocks; either may be null.
    void SetProgress(std::atomic<long long>* rows, const std::atomic<bool>* stop)
    {
        m_rowsOut = rows;
        m_stop = stop;
    }

    // Called at the end of each result with its rows: true when it has made
    // the statement's current result the next part of the same rows (of the
    // plan's columns, which stay bound), false when there is none.
    void SetNextResult(std::function<bool(std::size_t rows)> next) { m_nextResult = std::move(next); }

    // Resets `store` to the plan's fields and appends every row of the result
    // set, in order; false when the stop flag ended it early (the store then
    // holds the blocks before). Failures raise EDatabaseError and set the
    // connection's error list.
    [[nodiscard]] bool Run(TColumnStore& store);

private:
    // A column's buffers: a block of rows when bound, one fixed-size value
    // when unbound and read whole, none when read in chunks.
    struct TBuffers {
        std::vector<char> data;  // elementBytes per row
        std::vector<SQLLEN> ind; // length/indicator per row
    };
    // A bound value cut in the block; `value` holds it whole once read.
    struct TCutValue {
        std::size_t row = 0;
        std::size_t col = 0;
        bool read = false;
        std::string value;
    };

    std::atomic<long long>* m_rowsOut = nullptr;
    const std::atomic<bool>* m_stop = nullptr;
    std::function<bool(std::size_t)> m_nextResult;

    void SetRowArraySize(std::size_t rows);
    void Bind(std::size_t col);
    // Rows of the next block, none at the end of the result set.
    [[nodiscard]] std::optional<std::size_t> FetchBlock();
    void FindCutValues(std::size_t rows);
    void RereadCutValues();
    void ReadCutValue(TCutValue& cut);
    void AppendRows(TColumnStore& store, std::size_t rows);
    void AppendCutColumn(TColumnData& out, std::size_t col, std::size_t rows,
                         std::vector<TCutValue>::iterator& cut);
    void AppendUnbound(TColumnData& out, std::size_t col);
    void Grow();
    // Reads the whole value of `col` (0-based) of the current row in chunks;
    // false for NULL. Text comes back as UTF-8.
    [[nodiscard]] bool ReadWhole(std::size_t col, std::string& out);
    [[noreturn]] void RaiseTooLong(std::size_t col);

    TOdbcConnection& m_conn;
    SQLHSTMT m_stmt;
    TFetchPlan m_plan;
    std::vector<TBuffers> m_buffers;
    std::vector<TCutValue> m_cuts;          // in (row, column) order until appended
    std::vector<std::size_t> m_neededBytes; // longest cut value of the block, with terminator
    bool m_outgrown = false;                // some m_neededBytes is set
    std::vector<std::size_t> m_variableBound; // bound columns of variable-length C types
    std::vector<std::uint8_t> m_valueKinds;   // per column: how its values are stored
    SQLULEN m_fetched = 0;                  // SQL_ATTR_ROWS_FETCHED_PTR
    SQLLEN m_blockStart = 1;                // absolute number of the block's first row
    bool m_resume = false;                  // the next block is fetched at m_blockStart
    std::string m_utf8;           // UTF-16 converted to UTF-8; only grows
    std::string m_whole;          // an unbound value read in chunks
    std::string m_scratch;
    std::vector<char> m_chunk;    // one chunk of SQLGetData
    std::vector<SQLWCHAR> m_wide; // a UTF-16 value read in chunks
};

// Whether `sql` is one query a server cursor takes: a SELECT, WITH, VALUES or
// TABLE statement that writes nothing (MayRunInACursor). A ';' anywhere but
// at the end says no.
[[nodiscard]] bool IsServerCursorQuery(QStringView sql);

// A PostgreSQL cursor over one query, fetched in groups of rows with a FETCH
// statement each, so the driver never fetches from a cursor of its own.
// psqlODBC's own cursor fetch (UseDeclareFetch) dereferences a null
// connection when the server dies in the middle of one of its later
// FETCHes; a FETCH of ours is a statement like any other, and its failure
// comes back as an error.
class TOdbcServerCursor {
public:
    // Begins a transaction unless one is open (autocommit off, or one the
    // user began), declares the cursor for `sql` and executes its first FETCH
    // on `stmt`, which then holds its rows.
    TOdbcServerCursor(TOdbcConnection& conn, SQLHSTMT stmt, const QString& sql, std::size_t rowsPerFetch);
    // Unless Close() ran: rolls back the transaction it began, or closes the
    // cursor in the user's, when the connection still lives.
    ~TOdbcServerCursor();
    TOdbcServerCursor(const TOdbcServerCursor&) = delete;
    TOdbcServerCursor& operator=(const TOdbcServerCursor&) = delete;

    // After a FETCH that gave `rows`: executes the next FETCH when that one
    // was full; false when the rows have ended.
    [[nodiscard]] bool FetchNext(std::size_t rows);
    // Closes the cursor and commits the transaction it began.
    void Close();

private:
    // Rolls back the transaction it began, or closes the cursor in the
    // user's, unless closed already or the connection is lost.
    void Abandon() noexcept;
    // Executes `text` on the statement after closing its result; raises.
    SQLRETURN Exec(const QString& text);

    TOdbcConnection& m_conn;
    SQLHSTMT m_stmt;
    std::size_t m_rowsPerFetch;
    bool m_ownTransaction = false;
    bool m_open = false;
};
