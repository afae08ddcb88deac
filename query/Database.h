#pragma once
// The database component: one connection and the queries on it. Abstract;
// the ODBC implementation lives in platform/odbc (platform/odbc/OdbcDatabase.h).
//
// Threading: one thread at a time per connection and its queries. Calls block
// until the driver answers or the time-out expires; the calls marked "any
// thread" may run on a worker while the user-interface thread waits, and
// CancelRunning() may be called from another thread while they run.

#include "query/DataSet.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

// One diagnostic record of the last failure.
struct TDbError {
    int NativeError = 0;
    QString SqlState;
    QString Message;   // vendor prefixes ("[unixODBC][FreeTDS]...") removed
};

// Time-outs of the window's connection and queries, in seconds.
inline constexpr int kLoginTimeoutSeconds = 300;
inline constexpr int kMainCommandTimeoutSeconds = 300;
inline constexpr int kAuxCommandTimeoutSeconds = 30;

// Native error number carried by the first error entry when a statement ran
// but returned no row set (the value of DB_S_NORESULT).
inline constexpr int kNoResultNativeError = 265929;

// One connect, prepared and taken over on the user-interface thread and run
// on any thread. It owns the handles it connects; one that is abandoned
// frees them when its last owner lets it go, after the driver returned.
class TDbConnectAttempt {
public:
    virtual ~TDbConnectAttempt() = default;
    // The driver's connect call. Any thread; failures are kept for Finish.
    virtual void Run() noexcept = 0;
};

class TDbConnection {
public:
    virtual ~TDbConnection() = default;

    [[nodiscard]] virtual QString Name() const = 0;
    virtual void SetConnectionString(const QString& connectionString) = 0;
    [[nodiscard]] virtual QString ConnectionString() const = 0;
    // Seconds; 0 means no limit.
    virtual void SetLoginTimeout(int seconds) = 0;
    [[nodiscard]] virtual int LoginTimeout() const = 0;

    // Connects without prompting. Raises EDatabaseError with the joined
    // diagnostic messages; Errors() then holds the records.
    virtual void Open() = 0;
    // Open() in three steps: PrepareOpen (null when connected already; raises
    // as Open does when no handle can be had), TDbConnectAttempt::Run on any
    // thread, then FinishOpen, which takes the attempt's handles over or
    // raises its failure as Open does.
    [[nodiscard]] virtual std::shared_ptr<TDbConnectAttempt> PrepareOpen() = 0;
    virtual void FinishOpen(TDbConnectAttempt& attempt) = 0;
    // Closes the connection and every open query on it; nothing happens when
    // it is closed already.
    virtual void Close() = 0;
    [[nodiscard]] virtual bool Connected() const = 0;
    // True when the last failure says the connection is gone (a connection
    // SQLSTATE of class "08", or the driver reports the connection dead).
    [[nodiscard]] virtual bool ConnectionLost() const { return false; }

    // The error list of the last failure (empty after a success).
    [[nodiscard]] virtual const std::vector<TDbError>& Errors() const = 0;
};

// One thing the server said while a batch ran, in the order it came.
struct TServerNote {
    enum class Kind {
        Message,    // an informational message (PRINT, a low-severity RAISERROR, a notice)
        Error,      // a statement after the first row set failed
        RowCount,   // `rows` rows affected by a statement without a row set
        RowSet,     // a row set of `rows` rows, held as result `result`
        Dropped,    // `rows` row sets came beyond the number held
        Stopped,    // the rest of the batch was cancelled
    };
    Kind kind = Kind::Message;
    QString sqlState;
    int nativeError = 0;
    QString text;
    long long rows = -1;
    int result = -1;
};

// Row sets a query holds from one batch, the first included.
inline constexpr int kMaxHeldResultSets = 16;

// One fetch prepared on the user-interface thread and run on any thread,
// with a statement and a share of the connection of its own: the query
// takes its result back only through FinishFetch. A job that is abandoned
// finishes alone and then frees its statement and its share.
class TDbFetchJob {
public:
    virtual ~TDbFetchJob() = default;
    // Runs the SQL and fetches its whole result. Any thread; failures are
    // kept for FinishFetch.
    virtual void Run() noexcept = 0;
};

// Runs `work` while the caller waits for the server: the window's way of
// waiting without freezing (query/DbTask.h). It may run `work` on another
// thread, cancelling through TDbQuery::CancelRunning(), and rethrows its
// exception on the caller's thread.
using TDbWaitRunner = std::function<void(const std::function<void()>& work)>;

// A query on a connection. Open() runs the SQL and fetches the whole result
// into memory; a statement without any row set fails with
// "<Name>: CommandText does not return a result set" and sets the first error
// entry's NativeError to kNoResultNativeError.
//
// TDataSet is a virtual base so that an implementation can take the dataset
// services from one class and the query services from another.
class TDbQuery : public virtual TDataSet {
public:
    virtual void SetConnection(TDbConnection* connection) = 0;
    [[nodiscard]] virtual TDbConnection* Connection() const = 0;

    // Setting the SQL closes nothing; the text is sent as given.
    virtual void SetSQL(const QString& sql) = 0;
    [[nodiscard]] virtual QString SQL() const = 0;
    // Seconds; 0 means no limit.
    virtual void SetCommandTimeout(int seconds) = 0;
    [[nodiscard]] virtual int CommandTimeout() const = 0;

    // Runs the SQL without a result; returns the rows affected (-1 unknown).
    virtual long long ExecSQL() = 0;

    // Open() in two halves. FetchResult (any thread) runs the SQL and keeps
    // the whole result detached, touching nothing the links see; it fails as
    // Open() does. OpenFetched (user-interface thread) opens the query over
    // that result and notifies the links; without one it raises. A query
    // that cannot fetch detached does the whole Open() in OpenFetched.
    virtual void FetchResult() {}
    virtual void OpenFetched() { Open(); }
    // Asks the driver to stop the statement running on this query now (any
    // thread, also while FetchResult or ExecSQL run on another). The running
    // call then fails; a fetch stops at its next block and raises with
    // SQLSTATE kCancelledSqlState. No effect when nothing runs.
    virtual void CancelRunning() {}
    // Rows fetched so far by the running or last fetch (any thread; relaxed).
    [[nodiscard]] virtual long long RowsFetched() const { return 0; }
    // FetchResult in three steps, so that a wait can be given up: PrepareFetch
    // (user-interface thread; null when the query cannot fetch apart, then
    // FetchResult is the way), TDbFetchJob::Run on any thread, then
    // FinishFetch (user-interface thread), which takes the job's result over
    // for OpenFetched or raises its failure as FetchResult would. While the
    // job runs, CancelRunning and RowsFetched reach it.
    [[nodiscard]] virtual std::shared_ptr<TDbFetchJob> PrepareFetch() { return nullptr; }
    virtual void FinishFetch(TDbFetchJob& job) { (void)job; }
    // Gives up the job that runs: it is left to finish alone, and the
    // connection counts as closed (its handles go with the job), so the next
    // action reconnects. User-interface thread.
    virtual void AbandonFetch() {}
    // What the server said while the last open ran, in order; kept also when
    // the open failed (a statement without a row set gives its row counts
    // and messages). Reset when the next open starts.
    [[nodiscard]] virtual std::vector<TServerNote> ServerNotes() const { return {}; }
    // The row sets of the open result: index 0 is the query itself; later
    // ones are read-only datasets the query owns until its next open or
    // close (a data source showing one is detached then).
    [[nodiscard]] virtual int ResultSetCount() const { return Active() ? 1 : 0; }
    [[nodiscard]] virtual TDataSet* ResultSet(int index) { return index == 0 && Active() ? this : nullptr; }
    // Where the server work of a record command (a delete written back)
    // waits; without one it runs in place on the calling thread.
    virtual void SetWaitRunner(TDbWaitRunner runner) { (void)runner; }
};

// SQLSTATE of a statement stopped by CancelRunning() (ODBC's "operation
// canceled"), and of one stopped by its command time-out.
inline constexpr char16_t kCancelledSqlState[] = u"HY008";
inline constexpr char16_t kTimeoutSqlState[] = u"HYT00";

// Creates the platform's implementations (defined in platform/).
[[nodiscard]] std::unique_ptr<TDbConnection> CreateDbConnection(const QString& name);
[[nodiscard]] std::unique_ptr<TDbQuery> CreateDbQuery(const QString& name, TDbConnection* connection);
