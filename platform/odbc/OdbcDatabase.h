#pragma once
// The database component over unixODBC: one connection (an environment and a
// connection handle) and in-memory queries that fetch their whole result.
//
// Threading: user-interface thread only; every call blocks until the driver
// answers or the time-out expires.

#include "platform/data/MemDataSet.h"
#include "platform/odbc/DriverDefaults.h"
#include "platform/odbc/OdbcHandle.h"
#include "platform/odbc/KeyedDelete.h"
#include "query/Database.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <vector>

class TOdbcQuery;
class TOdbcFetchJob;

// The environment and connection handles of one open connection. Shared with
// a fetch job on a worker, so that a job given up frees them when it ends;
// the connection handle goes first.
struct TOdbcLink {
    TOdbcEnv env;
    TOdbcDbc dbc;
};

class TOdbcConnection : public TDbConnection {
public:
    explicit TOdbcConnection(QString name);
    ~TOdbcConnection() override;
    TOdbcConnection(const TOdbcConnection&) = delete;
    TOdbcConnection& operator=(const TOdbcConnection&) = delete;

    [[nodiscard]] QString Name() const override { return m_name; }
    void SetConnectionString(const QString& connectionString) override { m_connectionString = connectionString; }
    [[nodiscard]] QString ConnectionString() const override { return m_connectionString; }
    void SetLoginTimeout(int seconds) override { m_loginTimeout = seconds; }
    [[nodiscard]] int LoginTimeout() const override { return m_loginTimeout; }

    void Open() override;
    [[nodiscard]] std::shared_ptr<TDbConnectAttempt> PrepareOpen() override;
    void FinishOpen(TDbConnectAttempt& attempt) override;
    void Close() override;
    [[nodiscard]] bool Connected() const override { return m_connected; }
    [[nodiscard]] bool ConnectionLost() const override;
    [[nodiscard]] const std::vector<TDbError>& Errors() const override { return m_errors; }

    // --- for the queries on this connection
    [[nodiscard]] SQLHDBC Handle() const { return m_link ? m_link->dbc.Get() : SQL_NULL_HDBC; }
    // A connection object of its own for a worker, over the same handles
    // and with the same settings; its errors and driver state are its own.
    [[nodiscard]] std::unique_ptr<TOdbcConnection> ShareForWorker() const;
    // Takes the errors and driver state a worker's share ended with.
    void TakeStateFrom(const TOdbcConnection& worker);
    void SetErrors(std::vector<TDbError> errors) { m_errors = std::move(errors); }
    void ClearErrors() { m_errors.clear(); }
    void Register(TOdbcQuery* query);
    void Unregister(TOdbcQuery* query);
    // SQLGetInfo(SQL_GETDATA_EXTENSIONS) of the open connection.
    [[nodiscard]] SQLUINTEGER GetDataExtensions() const { return m_getDataExtensions; }
    // False when the driver has no W entry points: the driver manager would
    // narrow UTF-16 text code unit by code unit, so statement text goes
    // through the narrow calls as UTF-8 instead.
    [[nodiscard]] bool WideDriver() const { return m_wideDriver; }
    // True when the server's column sizes bound its values (a varchar(n)
    // value never exceeds n): the server this tool is for. Engines without
    // enforced sizes (typeless ones, unbounded varchar) report nominal sizes.
    [[nodiscard]] bool ExactColumnSizes() const { return m_exactColumnSizes; }
    // The family of the connected driver (SQL_DRIVER_NAME).
    [[nodiscard]] TDriverFamily DriverFamily() const { return m_family; }
    // Frees the connection handle without closing the queries, whose results
    // are held in memory and need none: for a connection left in a state
    // nobody can trust. The next action reconnects.
    void Discard();
    // Whether the rows of `sql` are fetched through a server cursor of ours:
    // the connection was opened with psqlODBC's cursor fetch on
    // (UseDeclareFetch), which is then switched off, and the statement is one
    // query a cursor takes.
    [[nodiscard]] bool FetchesThroughCursor(const QString& sql) const;
    // Makes `errors` the error list and raises EDatabaseError with their
    // joined messages.
    [[noreturn]] void Raise(std::vector<TDbError> errors);
    // Raises the diagnostics of `handle`, or `fallback` when they hold no
    // message.
    [[noreturn]] void RaiseFrom(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback);

private:

    QString m_name;
    QString m_connectionString;
    int m_loginTimeout = kLoginTimeoutSeconds;
    std::shared_ptr<TOdbcLink> m_link;
    bool m_connected = false;
    SQLUINTEGER m_getDataExtensions = 0;
    bool m_wideDriver = true;
    bool m_exactColumnSizes = false;
    TDriverFamily m_family = TDriverFamily::Other;
    bool m_cursorFetch = false;     // opened with cursor fetch on
    bool m_cursorFetchNow = false;  // the driver's own is still on
    std::vector<TDbError> m_errors;
    std::vector<TOdbcQuery*> m_queries;
};

// A query whose Open() runs its SQL on the connection and fetches the whole
// result into the in-memory dataset. The SQL text is sent exactly as given.
class TOdbcQuery : public TMemDataSet, public TDbQuery {
public:
    explicit TOdbcQuery(QString name, TDbConnection* connection = nullptr);
    ~TOdbcQuery() override;

    void SetConnection(TDbConnection* connection) override;
    [[nodiscard]] TDbConnection* Connection() const override { return m_connection; }
    void SetSQL(const QString& sql) override { m_sql = sql; }
    [[nodiscard]] QString SQL() const override { return m_sql; }
    void SetCommandTimeout(int seconds) override { m_commandTimeout = seconds; }
    [[nodiscard]] int CommandTimeout() const override { return m_commandTimeout; }
    long long ExecSQL() override;
    // FetchResult, then OpenFetched: the later row sets come with it.
    void Open() override;
    void FetchResult() override;
    [[nodiscard]] std::shared_ptr<TDbFetchJob> PrepareFetch() override;
    void FinishFetch(TDbFetchJob& job) override;
    void AbandonFetch() override;
    void OpenFetched() override;
    // Also drops a fetched result not yet opened.
    void Close() override;
    void CancelRunning() override;
    [[nodiscard]] long long RowsFetched() const override;
    // Deletes the current record on the server by the unique key of the one
    // table the result comes from, with every exactly comparable shown
    // column of it as fetched, in a transaction of its own, and only then
    // from the result. A result without a usable key, a key that another
    // record of the result repeats, a transaction the user has open, or a
    // delete that does not hit exactly one row raises EDatabaseError and
    // keeps the record. The server work waits through the wait runner;
    // CancelRunning() stops it, and the record stays.
    void Delete() override;
    void SetWaitRunner(TDbWaitRunner runner) override { m_waitRunner = std::move(runner); }

    [[nodiscard]] std::vector<TServerNote> ServerNotes() const override { return m_notes; }
    [[nodiscard]] int ResultSetCount() const override;
    [[nodiscard]] TDataSet* ResultSet(int index) override;

    // Rows per block fetch of the last open (for tests and measurements).
    [[nodiscard]] int LastRowArraySize() const { return m_lastRowArraySize; }

protected:
    void InternalOpen(TColumnStore& store) override;

private:
    friend class TOdbcConnection;
    class TRunningStatement;
    TOdbcConnection& RequireConnection() const;
    // Runs the SQL on `stmt`, registered as running; informational messages
    // go to the notes.
    void Execute(TOdbcConnection& connection, SQLHSTMT stmt);
    // The messages of a call that returned with information.
    void NoteMessages(TOdbcConnection& connection, SQLHSTMT stmt, TServerNote::Kind kind);
    // After the first row set: every later result of the batch into the
    // notes and the later stores, until the batch ends or is stopped.
    void CollectLaterResults(TOdbcConnection& connection, SQLHSTMT stmt);
    // Raises the stop of the running statement: its time-out or a cancel.
    [[noreturn]] void RaiseStopped(TOdbcConnection& connection, std::vector<TDbError> driverErrors);
    // In a failure's handler: raises the stop instead when the statement was
    // stopped, or the time-out alone when the driver reported both.
    void RaiseIfStopped(TOdbcConnection& connection);
    [[nodiscard]] SQLSMALLINT SkipToRowSet(TOdbcConnection& connection, SQLHSTMT stmt);
    // Runs the server work of a delete through the wait runner, with its
    // failures in the user's words.
    void RunDeleteWork(TOdbcConnection& connection, const std::function<void()>& work);

    TDbConnection* m_connection = nullptr;
    QString m_sql;
    int m_commandTimeout = 30;
    int m_lastRowArraySize = 0;
    std::optional<TColumnStore> m_fetched;   // FetchResult's result until OpenFetched
    // The SQL and column sources of the last result fetched; written by the
    // fetching thread at the end of a successful fetch.
    QString m_fetchedSql;
    std::vector<TColumnSource> m_fetchedSources;
    TDbWaitRunner m_waitRunner;
    // The fetch job on a worker; guarded by m_runMutex.
    std::shared_ptr<TOdbcFetchJob> m_job;
    // Written by the fetching thread during a fetch, read after it.
    std::vector<TServerNote> m_notes;
    std::vector<TColumnStore> m_laterStores;
    // The later row sets as datasets, made when the result is opened.
    std::vector<std::unique_ptr<TMemDataSet>> m_laterSets;

    // The statement that CancelRunning() stops; m_runMutex keeps it from
    // being freed while the driver is asked to cancel it.
    mutable std::mutex m_runMutex;
    SQLHSTMT m_running = SQL_NULL_HSTMT;
    std::atomic<bool> m_stop{false};       // set by a cancel or the time-out
    std::atomic<bool> m_timedOut{false};   // the time-out set m_stop
    std::atomic<long long> m_rowsFetched{0};
};
