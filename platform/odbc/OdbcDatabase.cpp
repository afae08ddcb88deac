#include "platform/odbc/OdbcDatabase.h"

#include "platform/odbc/DriverDefaults.h"
#include "platform/odbc/OdbcChars.h"
#include "platform/odbc/OdbcDiagnostics.h"
#include "platform/odbc/OdbcFetcher.h"
#include "platform/odbc/OdbcKeyedDelete.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sqlucode.h>

#include <dlfcn.h>
#include <link.h>

#include <QScopeGuard>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <string>
#include <thread>

namespace {

std::vector<TDbError> DiagnosticsOr(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback,
                                    bool wide = true)
{
    std::vector<TDbError> errors = ReadOdbcDiagnostics(handleType, handle, wide);
    if (JoinDiagnosticMessages(errors).isEmpty())
        errors.insert(errors.begin(), TDbError{0, QString(), fallback});
    return errors;
}

// Whether the driver library named `name` (what SQL_DRIVER_NAME reports)
// exports the W entry points. The driver manager has loaded it already; it is
// found among the loaded objects by that file name (a suffix of the path).
// Unknown counts as wide.
bool DriverHasWideEntryPoints(const std::string& name)
{
    if (name.empty())
        return true;
    struct Search {
        std::string name;
        std::string path;
    } search{name, {}};
    dl_iterate_phdr([](dl_phdr_info* info, size_t, void* data) -> int {
        auto* s = static_cast<Search*>(data);
        const std::string_view path = info->dlpi_name ? info->dlpi_name : "";
        const std::size_t slash = path.rfind('/');
        const std::string_view base = slash == std::string_view::npos ? path : path.substr(slash + 1);
        // The reported name may lack the "lib" prefix of the file name.
        if (base.size() >= s->name.size() && base.substr(base.size() - s->name.size()) == s->name) {
            s->path = std::string(path);
            return 1;
        }
        return 0;
    }, &search);
    if (search.path.empty())
        return true;
    void* lib = dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!lib)
        return true;
    bool wide = false;
    if (void* sym = dlsym(lib, "SQLExecDirectW")) {
        Dl_info where{};
        wide = dladdr(sym, &where) != 0 && where.dli_fname && search.path == where.dli_fname;
    }
    dlclose(lib);
    return wide;
}

} // namespace

// ---------------------------------------------------------------- connection

TOdbcConnection::TOdbcConnection(QString name) : m_name(std::move(name)) {}

TOdbcConnection::~TOdbcConnection()
{
    Close();
    for (TOdbcQuery* q : std::vector<TOdbcQuery*>(m_queries))
        q->SetConnection(nullptr);
}

void TOdbcConnection::Register(TOdbcQuery* query)
{
    if (std::find(m_queries.begin(), m_queries.end(), query) == m_queries.end())
        m_queries.push_back(query);
}

void TOdbcConnection::Unregister(TOdbcQuery* query)
{
    m_queries.erase(std::remove(m_queries.begin(), m_queries.end(), query), m_queries.end());
}

void TOdbcConnection::Raise(std::vector<TDbError> errors)
{
    const QString text = JoinDiagnosticMessages(errors);
    m_errors = std::move(errors);
    throw EDatabaseError(text);
}

void TOdbcConnection::RaiseFrom(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback)
{
    Raise(DiagnosticsOr(handleType, handle, fallback, m_wideDriver));
}

namespace {

// A connect over its own environment and connection handles: abandoned, it
// frees them in order (connection first) once the driver has returned.
class TOdbcConnectAttempt : public TDbConnectAttempt {
public:
    TOdbcEnv env;
    TOdbcDbc dbc;
    std::vector<SQLWCHAR> in;
    SQLRETURN rc = SQL_ERROR;

    void Run() noexcept override
    {
        SQLWCHAR out[1024];
        SQLSMALLINT outLen = 0;
        rc = SQLDriverConnectW(dbc.Get(), nullptr, in.data(), SQL_NTS, out, static_cast<SQLSMALLINT>(std::size(out)),
                               &outLen, SQL_DRIVER_NOPROMPT);
    }
};

} // namespace

void TOdbcConnection::Open()
{
    const std::shared_ptr<TDbConnectAttempt> attempt = PrepareOpen();
    if (!attempt)
        return;
    attempt->Run();
    FinishOpen(*attempt);
}

std::shared_ptr<TDbConnectAttempt> TOdbcConnection::PrepareOpen()
{
    if (m_connected)
        return nullptr;
    auto attempt = std::make_shared<TOdbcConnectAttempt>();
    if (!OdbcSucceeded(attempt->env.Allocate(SQL_NULL_HANDLE))) {
        attempt->env.Reset();
        Raise({TDbError{0, QString(), QStringLiteral("Cannot allocate the ODBC environment")}});
    }
    SQLSetEnvAttr(attempt->env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!OdbcSucceeded(attempt->dbc.Allocate(attempt->env.Get()))) {
        attempt->dbc.Reset();
        RaiseFrom(SQL_HANDLE_ENV, attempt->env.Get(), QStringLiteral("Cannot allocate an ODBC connection"));
    }
    SQLSetConnectAttrW(attempt->dbc.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(std::max(0, m_loginTimeout))), 0);
    attempt->in = ToSqlWide(WithDriverDefaults(m_connectionString));
    return attempt;
}

void TOdbcConnection::FinishOpen(TDbConnectAttempt& base)
{
    auto& attempt = static_cast<TOdbcConnectAttempt&>(base);
    if (!OdbcSucceeded(attempt.rc)) {
        std::vector<TDbError> errors = DiagnosticsOr(SQL_HANDLE_DBC, attempt.dbc.Get(),
                                                     QStringLiteral("Cannot connect"));
        attempt.dbc.Reset();
        Raise(std::move(errors));
    }
    m_link = std::make_shared<TOdbcLink>();
    m_link->env = std::move(attempt.env);
    m_link->dbc = std::move(attempt.dbc);
    m_connected = true;
    char driver[512] = {};
    SQLSMALLINT driverLen = 0;
    if (!OdbcSucceeded(SQLGetInfo(Handle(), SQL_DRIVER_NAME, driver, sizeof driver, &driverLen)))
        driver[0] = 0;
    m_wideDriver = DriverHasWideEntryPoints(driver);
    m_getDataExtensions = 0;
    SQLGetInfoW(Handle(), SQL_GETDATA_EXTENSIONS, &m_getDataExtensions, sizeof m_getDataExtensions, nullptr);
    char dbms[256] = {};
    SQLSMALLINT dbmsLen = 0;
    m_exactColumnSizes = OdbcSucceeded(SQLGetInfo(Handle(), SQL_DBMS_NAME, dbms, sizeof dbms, &dbmsLen))
        && QByteArray(dbms).contains("SQL Server");
    SQLINTEGER declareFetch = 0;
    m_family = DriverFamilyOf(QString::fromLocal8Bit(driver));
    m_cursorFetch = m_family == TDriverFamily::PostgreSQL
        && OdbcSucceeded(SQLGetConnectAttr(Handle(), kPostgresDeclareFetchAttribute, &declareFetch, 0, nullptr))
        && declareFetch == 1;
    // Queries go through a cursor of ours instead (TOdbcServerCursor).
    m_cursorFetchNow = m_cursorFetch
        && !OdbcSucceeded(SQLSetConnectAttr(Handle(), kPostgresDeclareFetchAttribute, nullptr, 0));
    m_errors.clear();
}

bool TOdbcConnection::FetchesThroughCursor(const QString& sql) const
{
    return m_cursorFetch && !m_cursorFetchNow && IsServerCursorQuery(sql);
}

bool TOdbcConnection::ConnectionLost() const
{
    if (std::any_of(m_errors.begin(), m_errors.end(),
                    [](const TDbError& e) { return e.SqlState.startsWith(QLatin1String("08")); }))
        return true;
    if (!m_connected || !m_link)
        return false;
    SQLUINTEGER dead = SQL_CD_FALSE;
    return OdbcSucceeded(SQLGetConnectAttr(Handle(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr))
        && dead == SQL_CD_TRUE;
}

void TOdbcConnection::Discard()
{
    m_link.reset();
    m_connected = false;
}

void TOdbcConnection::Close()
{
    for (TOdbcQuery* q : std::vector<TOdbcQuery*>(m_queries))
        q->Close();
    m_link.reset();
    m_connected = false;
}

std::unique_ptr<TOdbcConnection> TOdbcConnection::ShareForWorker() const
{
    auto share = std::make_unique<TOdbcConnection>(m_name);
    share->m_connectionString = m_connectionString;
    share->m_loginTimeout = m_loginTimeout;
    share->m_link = m_link;
    share->m_connected = m_connected;
    share->m_getDataExtensions = m_getDataExtensions;
    share->m_wideDriver = m_wideDriver;
    share->m_exactColumnSizes = m_exactColumnSizes;
    share->m_family = m_family;
    share->m_cursorFetch = m_cursorFetch;
    share->m_cursorFetchNow = m_cursorFetchNow;
    return share;
}

void TOdbcConnection::TakeStateFrom(const TOdbcConnection& worker)
{
    m_errors = worker.m_errors;
    m_cursorFetchNow = worker.m_cursorFetchNow;
}

// --------------------------------------------------------------------- query

// A fetch with a connection object and a query of its own over the shared
// handles. Member order: the query goes before its connection.
class TOdbcFetchJob : public TDbFetchJob {
public:
    std::unique_ptr<TOdbcConnection> connection;
    std::unique_ptr<TOdbcQuery> query;
    std::exception_ptr error;

    void Run() noexcept override
    {
        try {
            query->FetchResult();
        } catch (...) {
            error = std::current_exception();
        }
    }
};


TOdbcQuery::TOdbcQuery(QString name, TDbConnection* connection) : TMemDataSet(std::move(name))
{
    SetConnection(connection);
}

TOdbcQuery::~TOdbcQuery()
{
    if (auto* c = dynamic_cast<TOdbcConnection*>(Connection()))
        c->Unregister(this);
}

void TOdbcQuery::SetConnection(TDbConnection* connection)
{
    if (auto* old = dynamic_cast<TOdbcConnection*>(Connection()))
        old->Unregister(this);
    m_connection = connection;
    if (auto* c = dynamic_cast<TOdbcConnection*>(connection))
        c->Register(this);
}

TOdbcConnection& TOdbcQuery::RequireConnection() const
{
    auto* c = dynamic_cast<TOdbcConnection*>(Connection());
    if (!c)
        DatabaseError(QStringLiteral("Missing connection"));
    // The error list describes this statement only, whatever ends it.
    c->ClearErrors();
    if (!c->Connected())
        DatabaseError(QStringLiteral("Connection is not open"));
    return *c;
}

// Allocates the statement of one call and makes it the running one until the
// call ends; the handle is unregistered before it is freed (declare this after
// the TOdbcStmt). A watchdog thread cancels the statement at the command
// time-out, for drivers that let SQL_ATTR_QUERY_TIMEOUT pass.
constexpr std::chrono::milliseconds kWatchdogGrace{250};

class TOdbcQuery::TRunningStatement {
public:
    TRunningStatement(TOdbcQuery& query, TOdbcConnection& conn, TOdbcStmt& stmt) : m_query(query)
    {
        if (!OdbcSucceeded(stmt.Allocate(conn.Handle()))) {
            stmt.Reset();
            conn.Raise(DiagnosticsOr(SQL_HANDLE_DBC, conn.Handle(), QStringLiteral("Cannot allocate a statement")));
        }
        query.m_stop = false;
        query.m_timedOut = false;
        query.m_rowsFetched.store(0, std::memory_order_relaxed);
        {
            const std::lock_guard lock(query.m_runMutex);
            query.m_running = stmt.Get();
        }
        if (const int seconds = query.CommandTimeout(); seconds > 0) {
            m_watchdog = std::thread([this, seconds] {
                std::unique_lock lock(m_mutex);
                // A driver that honours the statement's time-out ends it
                // itself first: a second cancel on top of its own can leave
                // its connection unusable (FreeTDS).
                const auto limit = std::chrono::seconds(seconds) + kWatchdogGrace;
                if (!m_ended.wait_for(lock, limit, [this] { return m_done; })) {
                    m_query.m_timedOut = true;
                    m_query.CancelRunning();
                }
            });
        }
    }
    ~TRunningStatement()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_ended.notify_all();
        if (m_watchdog.joinable())
            m_watchdog.join();
        const std::lock_guard lock(m_query.m_runMutex);
        m_query.m_running = SQL_NULL_HSTMT;
    }
    TRunningStatement(const TRunningStatement&) = delete;
    TRunningStatement& operator=(const TRunningStatement&) = delete;

private:
    TOdbcQuery& m_query;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_done = false;
    std::thread m_watchdog;
};

void TOdbcQuery::CancelRunning()
{
    m_stop = true;
    const std::lock_guard lock(m_runMutex);
    if (m_job)
        m_job->query->CancelRunning();
    if (m_running != SQL_NULL_HSTMT)
        SQLCancel(m_running);
}

void TOdbcQuery::RaiseIfStopped(TOdbcConnection& conn)
{
    if (m_stop)
        RaiseStopped(conn, conn.Errors());
    // A driver that timed the statement out itself may also report the
    // watchdog's cancel that came a moment later: the time-out is what the
    // user meets, not a cancel.
    const auto has = [&](const char16_t* state) {
        return std::any_of(conn.Errors().begin(), conn.Errors().end(),
                           [state](const TDbError& e) { return e.SqlState == QString::fromUtf16(state); });
    };
    if (has(kTimeoutSqlState) && has(kCancelledSqlState)) {
        std::vector<TDbError> errors = conn.Errors();
        std::erase_if(errors, [](const TDbError& e) { return e.SqlState == QString::fromUtf16(kCancelledSqlState); });
        conn.Raise(std::move(errors));
    }
}

void TOdbcQuery::RaiseStopped(TOdbcConnection& conn, std::vector<TDbError> driverErrors)
{
    // The server's words stay after ours; a stop between blocks has none. A
    // driver's own cancelled or timed-out record only echoes the stop (and
    // after a time-out our cancel would read as the user's), so it goes.
    std::erase_if(driverErrors, [](const TDbError& e) {
        return e.SqlState == QString::fromUtf16(kCancelledSqlState) || e.SqlState == QString::fromUtf16(kTimeoutSqlState);
    });
    if (m_timedOut)
        driverErrors.insert(driverErrors.begin(),
                            TDbError{0, QString::fromUtf16(kTimeoutSqlState), QStringLiteral("Query timeout expired")});
    else
        driverErrors.insert(driverErrors.begin(), TDbError{0, QString::fromUtf16(kCancelledSqlState), QString()});
    conn.Raise(std::move(driverErrors));
}

void TOdbcQuery::Execute(TOdbcConnection& conn, SQLHSTMT stmt)
{
    m_notes.clear();
    const SQLULEN timeout = static_cast<SQLULEN>(std::max(0, CommandTimeout()));
    SQLSetStmtAttrW(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
    const SQLRETURN rc = WithOdbcChars(conn.WideDriver(), [&]<class Ch>() {
        std::vector<Ch> text = TOdbcChars<Ch>::FromQString(SQL());
        return TOdbcChars<Ch>::ExecDirect(stmt, text.data(), static_cast<SQLINTEGER>(text.size() - 1));
    });
    if (rc != SQL_NO_DATA && !OdbcSucceeded(rc))
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt, QStringLiteral("The statement failed"));
    if (rc == SQL_SUCCESS_WITH_INFO)
        NoteMessages(conn, stmt, TServerNote::Kind::Message);
}

void TOdbcQuery::NoteMessages(TOdbcConnection& conn, SQLHSTMT stmt, TServerNote::Kind kind)
{
    for (const TDbError& d : ReadOdbcDiagnostics(SQL_HANDLE_STMT, stmt, conn.WideDriver()))
        if (!d.Message.isEmpty())
            m_notes.push_back(TServerNote{kind, d.SqlState, d.NativeError, d.Message, -1, -1});
}

namespace {

// The rows a statement without a row set affected, when the driver knows.
std::optional<long long> AffectedRows(SQLHSTMT stmt)
{
    SQLLEN n = -1;
    if (OdbcSucceeded(SQLRowCount(stmt, &n)) && n >= 0)
        return static_cast<long long>(n);
    return std::nullopt;
}

TServerNote Note(TServerNote::Kind kind, long long rows = -1, int result = -1, QString text = QString())
{
    return TServerNote{kind, QString(), 0, std::move(text), rows, result};
}

} // namespace

void TOdbcQuery::CollectLaterResults(TOdbcConnection& conn, SQLHSTMT stmt)
{
    using Kind = TServerNote::Kind;
    int held = 1;
    long long dropped = 0;
    const auto noteDropped = qScopeGuard([&] {
        if (dropped > 0)
            m_notes.push_back(Note(Kind::Dropped, dropped));
    });
    // The end of the row set before may have brought messages of its own.
    NoteMessages(conn, stmt, Kind::Message);
    for (;;) {
        if (m_stop) {
            m_notes.push_back(Note(Kind::Stopped));
            return;
        }
        const SQLRETURN rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA)
            return;
        if (rc == SQL_ERROR) {
            // A failed statement of the batch: its words, then the rest.
            const std::size_t before = m_notes.size();
            NoteMessages(conn, stmt, Kind::Error);
            if (m_notes.size() == before || m_stop || conn.ConnectionLost())
                return;   // nothing says where the batch stands
            continue;
        }
        if (!OdbcSucceeded(rc))
            return;
        // Some drivers keep the messages of a result without saying so.
        NoteMessages(conn, stmt, Kind::Message);
        SQLSMALLINT ncols = 0;
        if (!OdbcSucceeded(SQLNumResultCols(stmt, &ncols)))
            return;
        if (ncols <= 0) {
            if (const std::optional<long long> rows = AffectedRows(stmt))
                m_notes.push_back(Note(Kind::RowCount, *rows));
            continue;
        }
        if (held >= kMaxHeldResultSets) {
            ++dropped;   // its rows go with the next SQLMoreResults
            continue;
        }
        TColumnStore more;
        try {
            const TFetchPlan plan = PlanFetch(DescribeOdbcColumns(conn, stmt, ncols), OdbcDriverCaps(conn, stmt));
            TOdbcBlockFetcher fetcher(conn, stmt, plan);
            fetcher.SetProgress(&m_rowsFetched, &m_stop);
            if (!fetcher.Run(more)) {
                m_notes.push_back(Note(Kind::Stopped));
                return;
            }
        } catch (const EDatabaseError& e) {
            if (m_stop) {
                m_notes.push_back(Note(Kind::Stopped));
                return;
            }
            m_notes.push_back(Note(Kind::Error, -1, -1, e.Message()));
            if (conn.ConnectionLost())
                return;
            continue;
        }
        m_notes.push_back(Note(Kind::RowSet, static_cast<long long>(more.RowCount()), held));
        m_laterStores.push_back(std::move(more));
        ++held;
    }
}

int TOdbcQuery::ResultSetCount() const
{
    return Active() ? 1 + static_cast<int>(m_laterSets.size()) : 0;
}

TDataSet* TOdbcQuery::ResultSet(int index)
{
    if (!Active() || index < 0 || index > static_cast<int>(m_laterSets.size()))
        return nullptr;
    if (index == 0)
        return this;
    return m_laterSets[static_cast<std::size_t>(index - 1)].get();
}

long long TOdbcQuery::ExecSQL()
{
    TOdbcConnection& conn = RequireConnection();
    TOdbcStmt stmt;
    const TRunningStatement running(*this, conn, stmt);
    try {
        Execute(conn, stmt.Get());
        long long total = -1;
        for (;;) {
            SQLLEN n = -1;
            if (OdbcSucceeded(SQLRowCount(stmt.Get(), &n)) && n >= 0)
                total = (total < 0 ? 0 : total) + n;
            const SQLRETURN rc = SQLMoreResults(stmt.Get());
            if (rc == SQL_NO_DATA)
                break;
            if (!OdbcSucceeded(rc))
                conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("The statement failed"));
        }
        conn.ClearErrors();
        return total;
    } catch (const EDatabaseError&) {
        RaiseIfStopped(conn);
        throw;
    }
}

namespace {

// Hands the free heap pages back to the system when a result closes: drivers
// that hold a whole result while it is fetched otherwise leave the process
// several times larger than what it keeps. A fetch never trims, so its time
// is the driver's and the store's alone.
void ReturnFreePages()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

// Moves past results that are not row sets; returns the columns of the first
// row set. None raises the no-result error.
SQLSMALLINT TOdbcQuery::SkipToRowSet(TOdbcConnection& conn, SQLHSTMT stmt)
{
    for (;;) {
        SQLSMALLINT ncols = 0;
        if (!OdbcSucceeded(SQLNumResultCols(stmt, &ncols)))
            conn.RaiseFrom(SQL_HANDLE_STMT, stmt, QStringLiteral("The statement failed"));
        if (ncols > 0)
            return ncols;
        if (const std::optional<long long> rows = AffectedRows(stmt))
            m_notes.push_back(Note(TServerNote::Kind::RowCount, *rows));
        const SQLRETURN rc = SQLMoreResults(stmt);
        if (rc == SQL_SUCCESS_WITH_INFO)
            NoteMessages(conn, stmt, TServerNote::Kind::Message);
        if (rc == SQL_NO_DATA) {
            const QString text = QStringLiteral("CommandText does not return a result set");
            conn.SetErrors({TDbError{kNoResultNativeError, QString(), Name() + QStringLiteral(": ") + text}});
            DatabaseError(text);
        }
        if (!OdbcSucceeded(rc))
            conn.RaiseFrom(SQL_HANDLE_STMT, stmt, QStringLiteral("The statement failed"));
    }
}

void TOdbcQuery::InternalOpen(TColumnStore& store)
{
    TOdbcConnection& conn = RequireConnection();
    TOdbcStmt stmt;
    const TRunningStatement running(*this, conn, stmt);
    try {
        std::optional<TOdbcServerCursor> cursor;
        if (conn.FetchesThroughCursor(SQL())) {
            m_notes.clear();
            SQLSetStmtAttrW(stmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(std::max(0, CommandTimeout()))), 0);
            cursor.emplace(conn, stmt.Get(), SQL(), kPostgresFetchRows);
        } else {
            Execute(conn, stmt.Get());
        }
        const SQLSMALLINT ncols = SkipToRowSet(conn, stmt.Get());
        std::vector<TColumnSource> sources = ReadOdbcColumnSources(conn, stmt.Get(), ncols);
        const TFetchPlan plan = PlanFetch(DescribeOdbcColumns(conn, stmt.Get(), ncols),
                                          OdbcDriverCaps(conn, stmt.Get()));
        TOdbcBlockFetcher fetcher(conn, stmt.Get(), plan);
        m_lastRowArraySize = static_cast<int>(fetcher.Plan().rowsPerBlock);
        fetcher.SetProgress(&m_rowsFetched, &m_stop);
        if (cursor)
            fetcher.SetNextResult([&cursor](std::size_t rows) { return cursor->FetchNext(rows); });
        if (!fetcher.Run(store)) {
            store.Clear();
            RaiseStopped(conn, {});
        }
        if (cursor)
            cursor->Close();
        m_notes.push_back(Note(TServerNote::Kind::RowSet, static_cast<long long>(store.RowCount()), 0));
        const std::lock_guard lock(m_runMutex);
        m_fetchedSql = SQL();
        m_fetchedSources = std::move(sources);
    } catch (const EDatabaseError&) {
        RaiseIfStopped(conn);
        throw;
    }
    // The first row set is the result; what follows never fails the open.
    CollectLaterResults(conn, stmt.Get());
    SQLFreeStmt(stmt.Get(), SQL_CLOSE);
    conn.ClearErrors();
}

std::shared_ptr<TDbFetchJob> TOdbcQuery::PrepareFetch()
{
    TOdbcConnection& conn = RequireConnection();
    auto job = std::make_shared<TOdbcFetchJob>();
    job->connection = conn.ShareForWorker();
    job->query = std::make_unique<TOdbcQuery>(Name(), job->connection.get());
    job->query->SetSQL(SQL());
    job->query->SetCommandTimeout(CommandTimeout());
    m_fetched.reset();
    m_laterStores.clear();
    m_notes.clear();
    const std::lock_guard lock(m_runMutex);
    m_job = job;
    return job;
}

void TOdbcQuery::FinishFetch(TDbFetchJob& base)
{
    auto& job = static_cast<TOdbcFetchJob&>(base);
    {
        const std::lock_guard lock(m_runMutex);
        if (m_job.get() == &job)
            m_job.reset();
    }
    auto* conn = dynamic_cast<TOdbcConnection*>(Connection());
    if (conn)
        conn->TakeStateFrom(*job.connection);
    TOdbcQuery& done = *job.query;
    m_notes = std::move(done.m_notes);
    m_lastRowArraySize = done.m_lastRowArraySize;
    if (job.error)
        std::rethrow_exception(job.error);
    m_fetched = std::move(done.m_fetched);
    m_laterStores = std::move(done.m_laterStores);
    const std::lock_guard lock(m_runMutex);
    m_fetchedSql = done.m_fetchedSql;
    m_fetchedSources = std::move(done.m_fetchedSources);
}

void TOdbcQuery::AbandonFetch()
{
    {
        const std::lock_guard lock(m_runMutex);
        if (m_job)
            m_job->query->CancelRunning();
        m_job.reset();
    }
    // The job holds the handles now; they are freed when it ends.
    if (auto* conn = dynamic_cast<TOdbcConnection*>(Connection()))
        conn->Discard();
}

long long TOdbcQuery::RowsFetched() const
{
    {
        const std::lock_guard lock(m_runMutex);
        if (m_job)
            return m_job->query->RowsFetched();
    }
    return m_rowsFetched.load(std::memory_order_relaxed);
}

void TOdbcQuery::Open()
{
    if (Active())
        return;
    FetchResult();
    OpenFetched();
}

void TOdbcQuery::FetchResult()
{
    m_fetched.reset();
    m_laterStores.clear();
    m_fetched = Fetch();
}

void TOdbcQuery::OpenFetched()
{
    if (!m_fetched)
        DatabaseError(QStringLiteral("No fetched result to open"));
    TColumnStore store = std::move(*m_fetched);
    m_fetched.reset();
    Adopt(std::move(store));
    m_laterSets.clear();
    for (TColumnStore& later : m_laterStores) {
        auto set = std::make_unique<TMemDataSet>(Name());
        set->SetData(std::move(later));
        // Nothing traces a later row set's columns to a table: it is shown,
        // copied and exported, never written back.
        set->SetReadOnly(true);
        set->Open();
        m_laterSets.push_back(std::move(set));
    }
    m_laterStores.clear();
}

void TOdbcQuery::Close()
{
    m_fetched.reset();
    m_laterStores.clear();
    m_laterSets.clear();
    TMemDataSet::Close();
    ReturnFreePages();
}

// ------------------------------------------------------------------- delete

void TOdbcQuery::RunDeleteWork(TOdbcConnection& conn, const std::function<void()>& work)
{
    try {
        if (m_waitRunner)
            m_waitRunner(work);
        else
            work();
    } catch (const EConnectionSpoilt& e) {
        conn.Discard();
        conn.SetErrors({TDbError{0, QString(), e.Message()}});
        throw;
    } catch (const EDatabaseError& e) {
        // Our words first; the server's after them.
        const bool cancelled = m_stop && !m_timedOut;
        std::vector<TDbError> errors = conn.Errors();
        const bool timedOut = m_timedOut || std::any_of(errors.begin(), errors.end(), [](const TDbError& d) {
            return d.SqlState == QString::fromUtf16(kTimeoutSqlState);
        });
        const QString text = cancelled ? DeleteCancelledText()
            : timedOut                 ? DeleteTimedOutText()
                                       : DeleteFailureText(e.Message());
        errors.insert(errors.begin(), TDbError{0, QString(), text});
        const bool lost = conn.ConnectionLost();
        conn.SetErrors(std::move(errors));
        if (lost)
            conn.Discard();
        throw EDatabaseError(text);
    }
}

void TOdbcQuery::Delete()
{
    // What the base class refuses (closed, read-only, empty) or does alone
    // (cancelling an insert) never reaches the server.
    if (!Active() || !CanModify() || State() == dsInsert || RecordCount() == 0) {
        TMemDataSet::Delete();
        return;
    }
    auto* connection = dynamic_cast<TOdbcConnection*>(Connection());
    if (!connection || !connection->Connected())
        throw EDatabaseError(QStringLiteral(
            "Запись нельзя удалить: соединение с сервером закрыто. Выполните запрос заново."));
    TOdbcConnection& conn = RequireConnection();
    const auto refuse = [&](const QString& message) {
        conn.SetErrors({TDbError{0, QString(), message}});
        throw EDatabaseError(message);
    };
    QString sql;
    std::vector<TColumnSource> sources;
    {
        const std::lock_guard lock(m_runMutex);
        if (m_running != SQL_NULL_HSTMT || m_fetched || m_job)
            refuse(QStringLiteral("Запись нельзя удалить, пока выполняется запрос."));
        sql = m_fetchedSql;
        sources = m_fetchedSources;
    }
    // The record as fetched: an edit of it changes nothing on the server.
    const TBookmark record = GetBookmark();
    std::vector<TKeyValue> row;
    std::vector<TFieldType> types;
    for (int i = 0; i < FieldCount(); ++i) {
        const std::optional<QVariant> original = OriginalValue(record, i);
        types.push_back(Fields(i)->DataType());
        row.push_back(TKeyValue{original ? *original : Fields(i)->AsVariant(), types.back()});
    }

    m_stop = false;
    m_timedOut = false;
    // Each statement of the delete becomes the one a cancel stops.
    TDeleteWatch watch;
    watch.running = [this](SQLHSTMT stmt, bool mayStop) {
        const std::lock_guard lock(m_runMutex);
        if (mayStop && m_stop)
            throw EDatabaseError(DeleteCancelledText());
        m_running = stmt;
    };
    const int timeout = CommandTimeout();

    std::optional<TDeleteDecision> decision;
    const auto stopped = [this] { return m_stop.load(); };
    RunDeleteWork(conn, [&] {
        RunRetryingLocks(conn, timeout, stopped,
                         [&] { decision = PlanOdbcDelete(conn, sql, sources, types, timeout, watch); });
    });
    if (const auto* refusal = std::get_if<TDeleteRefusal>(&*decision))
        refuse(refusal->message);
    const TKeyedDeletePlan& plan = std::get<TKeyedDeletePlan>(*decision);

    std::vector<QVariant> keyValues;
    for (const int field : plan.keyFields)
        keyValues.push_back(row[static_cast<std::size_t>(field)].value);
    if (const std::optional<TDeleteRefusal> refusal = CheckKeyValues(keyValues))
        refuse(refusal->message);
    // Two records of one key: the row the table holds is at most one of them.
    if (OriginalValuesRepeat(record, plan.keyFields))
        refuse(RepeatedKeyRefusal().message);

    std::vector<TKeyValue> termValues;
    for (const TDeleteTerm& term : plan.terms)
        termValues.push_back(row[static_cast<std::size_t>(term.field)]);
    std::optional<TDeleteRefusal> refusal;
    RunDeleteWork(conn, [&] {
        RunRetryingLocks(conn, timeout, stopped,
                         [&] { refusal = RunKeyedDelete(conn, plan, termValues, timeout, watch); });
    });
    if (refusal)
        refuse(refusal->message);
    conn.ClearErrors();
    TMemDataSet::Delete();
}

// ------------------------------------------------------------------ factories

std::unique_ptr<TDbConnection> CreateDbConnection(const QString& name)
{
    return std::make_unique<TOdbcConnection>(name);
}

std::unique_ptr<TDbQuery> CreateDbQuery(const QString& name, TDbConnection* connection)
{
    return std::make_unique<TOdbcQuery>(name, connection);
}
