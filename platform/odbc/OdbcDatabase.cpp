#include "platform/odbc/OdbcDatabase.h"

#include "platform/odbc/OdbcDiagnostics.h"
#include "platform/odbc/OdbcText.h"
#include "platform/odbc/OdbcTypes.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sqlucode.h>

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

// Bound buffers of one block fetch stay near this size; the row count of a
// block is clamped to [kMinBlockRows, kMaxBlockRows].
constexpr std::size_t kBlockBufferBytes = 2u << 20;
constexpr SQLULEN kMinBlockRows = 16;
constexpr SQLULEN kMaxBlockRows = 2048;
// Chunk of a long value read per SQLGetData call, in bytes (even).
constexpr SQLLEN kChunkBytes = 64 * 1024;
// A column's bound buffers grow for values longer than described up to this
// size for the whole block.
constexpr std::size_t kMaxGrownBlockBytes = 16u << 20;

std::vector<TDbError> DiagnosticsOr(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback,
                                    bool wide = true)
{
    std::vector<TDbError> errors = ReadOdbcDiagnostics(handleType, handle, wide);
    if (JoinDiagnosticMessages(errors).isEmpty())
        errors.insert(errors.begin(), TDbError{0, QString(), fallback});
    return errors;
}

[[noreturn]] void Raise(TOdbcConnection& connection, std::vector<TDbError> errors)
{
    const QString text = JoinDiagnosticMessages(errors);
    connection.SetErrors(std::move(errors));
    throw EDatabaseError(text);
}

[[noreturn]] void RaiseStmt(TOdbcConnection& connection, SQLHSTMT stmt, const QString& fallback)
{
    Raise(connection, DiagnosticsOr(SQL_HANDLE_STMT, stmt, fallback, connection.WideDriver()));
}

// Whether the driver library of `dbc` exports the W entry points. The driver
// manager has loaded it already; it is found among the loaded objects by the
// file name SQL_DRIVER_NAME reports (a suffix of the path). Unknown counts as
// wide.
bool DriverHasWideEntryPoints(SQLHDBC dbc)
{
    char name[512] = {};
    SQLSMALLINT len = 0;
    if (!OdbcSucceeded(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &len)) || name[0] == 0)
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

// One result column while it is fetched.
struct TFetchColumn {
    TOdbcColumnDesc desc;
    TFieldType type = ftUnknown;
    TOdbcFetchPlan plan;
    bool bound = false;
    std::vector<char> data;      // elementBytes per row
    std::vector<SQLLEN> ind;     // length/indicator per row
    std::string utf8;            // conversion buffer; only grows
};

constexpr std::int64_t kMsecsPerDay = 86400000;

std::int64_t TimestampMsecs(const SQL_TIMESTAMP_STRUCT& ts)
{
    const std::int64_t days = DaysFromCivil(ts.year, ts.month, ts.day);
    return days * kMsecsPerDay
        + ((static_cast<std::int64_t>(ts.hour) * 60 + ts.minute) * 60 + ts.second) * 1000
        + ts.fraction / 1000000;
}

// Bytes of terminator the driver writes after a value of this C type.
std::size_t TerminatorBytes(SQLSMALLINT cType)
{
    return cType == SQL_C_WCHAR ? sizeof(SQLWCHAR) : cType == SQL_C_CHAR ? 1 : 0;
}

// C types whose values vary in length: a bound buffer may cut them.
bool IsVariableCType(SQLSMALLINT cType)
{
    return cType == SQL_C_WCHAR || cType == SQL_C_CHAR || cType == SQL_C_BINARY;
}

// Whether the executed statement's cursor is static and the driver fetches a
// rowset at an absolute row number on it. A static cursor's rows keep their
// numbers, so a row can be fetched again.
bool CanFetchAbsolute(const TOdbcConnection& conn, SQLHSTMT stmt)
{
    SQLULEN cursorType = SQL_CURSOR_FORWARD_ONLY;
    if (!OdbcSucceeded(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &cursorType, 0, nullptr))
        || cursorType != SQL_CURSOR_STATIC)
        return false;
    SQLUINTEGER attrs = 0;
    return OdbcSucceeded(SQLGetInfo(conn.Handle(), SQL_STATIC_CURSOR_ATTRIBUTES1, &attrs, sizeof attrs, nullptr))
        && (attrs & SQL_CA1_ABSOLUTE) != 0;
}

// Appends text fetched as SQL_C_CHAR: a time of day, exact decimal text, or
// (drivers without W entry points) UTF-8 taken as is. `scratch` must not hold
// `text`.
void AppendText(TColumnData& out, const TFetchColumn& c, std::string_view text, std::string& scratch)
{
    if (c.type == ftTime) {
        const std::int64_t ms = ParseTimeOfDayMsecs(text);
        if (ms < 0)
            out.AppendNull();
        else
            out.AppendMsecs(ms);
    } else if (c.type == ftBCD) {
        scratch.assign(text);
        NormalizeDecimalText(scratch);
        out.AppendBytes(scratch);
    } else {
        out.AppendBytes(text);
    }
}

// Appends a value held in `buf` (as the driver wrote it for `c.plan.cType`,
// with length indicator `ind`) to `out`. `scratch` is reused between calls.
void AppendValue(TColumnData& out, TFetchColumn& c, const char* buf, SQLLEN ind, std::string& scratch)
{
    if (ind == SQL_NULL_DATA) {
        out.AppendNull();
        return;
    }
    switch (c.plan.cType) {
    case SQL_C_SLONG: {
        SQLINTEGER v;
        std::memcpy(&v, buf, sizeof v);
        out.AppendInt(v);
        return;
    }
    case SQL_C_SBIGINT: {
        SQLBIGINT v;
        std::memcpy(&v, buf, sizeof v);
        out.AppendInt(v);
        return;
    }
    case SQL_C_DOUBLE: {
        SQLDOUBLE v;
        std::memcpy(&v, buf, sizeof v);
        out.AppendDouble(v);
        return;
    }
    case SQL_C_BIT:
        out.AppendInt(*reinterpret_cast<const unsigned char*>(buf) != 0 ? 1 : 0);
        return;
    case SQL_C_TYPE_DATE: {
        SQL_DATE_STRUCT d;
        std::memcpy(&d, buf, sizeof d);
        out.AppendDays(DaysFromCivil(d.year, d.month, d.day));
        return;
    }
    case SQL_C_TYPE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT ts;
        std::memcpy(&ts, buf, sizeof ts);
        out.AppendMsecs(TimestampMsecs(ts));
        return;
    }
    case SQL_C_CHAR:
        AppendText(out, c, std::string_view(buf, std::min<std::size_t>(static_cast<std::size_t>(ind), c.plan.elementBytes - 1)),
                   scratch);
        return;
    case SQL_C_WCHAR: {
        const std::size_t units = static_cast<std::size_t>(ind) / sizeof(SQLWCHAR);
        // c.utf8 only grows, so its bytes are not cleared for every value.
        if (c.utf8.size() < units * 3)
            c.utf8.resize(units * 3);
        const std::size_t bytes = Utf16ToUtf8(reinterpret_cast<const SQLWCHAR*>(buf), units, c.utf8.data());
        out.AppendBytes(std::string_view(c.utf8.data(), bytes));
        return;
    }
    case SQL_C_BINARY:
        out.AppendBytes(std::string_view(buf, static_cast<std::size_t>(ind)));
        return;
    default:
        out.AppendNull();
        return;
    }
}

// Appends rows [0, n) of a bound fixed-size column: NULL or append(value).
template <class T, class F>
void AppendFixed(TColumnData& out, const char* base, std::size_t step, const SQLLEN* ind, std::size_t n, F append)
{
    for (std::size_t r = 0; r < n; ++r, base += step) {
        if (ind[r] == SQL_NULL_DATA) {
            out.AppendNull();
        } else {
            T v;
            std::memcpy(&v, base, sizeof v);
            append(v);
        }
    }
}

// Appends rows [0, n) of a bound column whose values all fit their buffers.
void AppendBlock(TColumnData& out, TFetchColumn& c, std::size_t n, std::string& scratch)
{
    const char* base = c.data.data();
    const std::size_t step = c.plan.elementBytes;
    const SQLLEN* ind = c.ind.data();
    switch (c.plan.cType) {
    case SQL_C_CHAR:
        if (c.type != ftTime && c.type != ftBCD) {
            for (std::size_t r = 0; r < n; ++r, base += step) {
                if (ind[r] == SQL_NULL_DATA)
                    out.AppendNull();
                else
                    out.AppendBytes(std::string_view(base, static_cast<std::size_t>(ind[r])));
            }
            return;
        }
        break;
    case SQL_C_SLONG:
        AppendFixed<SQLINTEGER>(out, base, step, ind, n, [&](SQLINTEGER v) { out.AppendInt(v); });
        return;
    case SQL_C_DOUBLE:
        AppendFixed<SQLDOUBLE>(out, base, step, ind, n, [&](SQLDOUBLE v) { out.AppendDouble(v); });
        return;
    case SQL_C_TYPE_TIMESTAMP:
        AppendFixed<SQL_TIMESTAMP_STRUCT>(out, base, step, ind, n,
                                          [&](const SQL_TIMESTAMP_STRUCT& ts) { out.AppendMsecs(TimestampMsecs(ts)); });
        return;
    default:
        break;
    }
    for (std::size_t r = 0; r < n; ++r, base += step)
        AppendValue(out, c, base, ind[r], scratch);
}

// Reads the whole value of column `col` of the current row with SQLGetData
// in chunks. Returns false for NULL. Text comes back as UTF-8.
bool ReadLongValue(TOdbcConnection& conn, SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType,
                   std::vector<char>& chunk, std::string& out)
{
    out.clear();
    std::vector<SQLWCHAR> wide;
    chunk.resize(static_cast<std::size_t>(kChunkBytes));
    const SQLLEN term = static_cast<SQLLEN>(TerminatorBytes(cType));
    bool first = true;
    for (;;) {
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, cType, chunk.data(), kChunkBytes, &ind);
        if (rc == SQL_NO_DATA)
            break;
        if (!OdbcSucceeded(rc))
            RaiseStmt(conn, stmt, QStringLiteral("Cannot read column %1").arg(col));
        if (ind == SQL_NULL_DATA)
            return false;
        const bool more = rc == SQL_SUCCESS_WITH_INFO && (ind == SQL_NO_TOTAL || ind > kChunkBytes - term);
        const std::size_t got = static_cast<std::size_t>(more ? kChunkBytes - term : ind);
        if (first && ind != SQL_NO_TOTAL && ind > 0) {
            if (cType == SQL_C_WCHAR)
                wide.reserve(static_cast<std::size_t>(ind) / sizeof(SQLWCHAR));
            else
                out.reserve(static_cast<std::size_t>(ind));
        }
        first = false;
        if (cType == SQL_C_WCHAR) {
            const auto* w = reinterpret_cast<const SQLWCHAR*>(chunk.data());
            wide.insert(wide.end(), w, w + got / sizeof(SQLWCHAR));
        } else {
            out.append(chunk.data(), got);
        }
        if (!more)
            break;
    }
    if (cType == SQL_C_WCHAR)
        AppendUtf16AsUtf8(wide.data(), wide.size(), out);
    return true;
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

void TOdbcConnection::RaiseFrom(SQLSMALLINT handleType, SQLHANDLE handle, const QString& fallback)
{
    Raise(*this, DiagnosticsOr(handleType, handle, fallback, m_wideDriver));
}

void TOdbcConnection::Open()
{
    if (m_connected)
        return;
    if (!m_env) {
        if (!OdbcSucceeded(m_env.Allocate(SQL_NULL_HANDLE))) {
            m_env.Reset();
            Raise(*this, {TDbError{0, QString(), QStringLiteral("Cannot allocate the ODBC environment")}});
        }
        SQLSetEnvAttr(m_env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    if (!OdbcSucceeded(m_dbc.Allocate(m_env.Get()))) {
        m_dbc.Reset();
        RaiseFrom(SQL_HANDLE_ENV, m_env.Get(), QStringLiteral("Cannot allocate an ODBC connection"));
    }
    SQLSetConnectAttrW(m_dbc.Get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<std::intptr_t>(std::max(0, m_loginTimeout))), 0);

    std::vector<SQLWCHAR> in = ToSqlWide(m_connectionString);
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    const SQLRETURN rc = SQLDriverConnectW(m_dbc.Get(), nullptr, in.data(), SQL_NTS, out,
                                           static_cast<SQLSMALLINT>(std::size(out)), &outLen,
                                           SQL_DRIVER_NOPROMPT);
    if (!OdbcSucceeded(rc)) {
        std::vector<TDbError> errors = DiagnosticsOr(SQL_HANDLE_DBC, m_dbc.Get(),
                                                     QStringLiteral("Cannot connect"));
        m_dbc.Reset();
        Raise(*this, std::move(errors));
    }
    m_connected = true;
    m_wideDriver = DriverHasWideEntryPoints(m_dbc.Get());
    m_getDataExtensions = 0;
    SQLGetInfoW(m_dbc.Get(), SQL_GETDATA_EXTENSIONS, &m_getDataExtensions, sizeof m_getDataExtensions, nullptr);
    char dbms[256] = {};
    SQLSMALLINT dbmsLen = 0;
    m_exactColumnSizes = OdbcSucceeded(SQLGetInfo(m_dbc.Get(), SQL_DBMS_NAME, dbms, sizeof dbms, &dbmsLen))
        && QByteArray(dbms).contains("SQL Server");
    m_errors.clear();
}

void TOdbcConnection::Close()
{
    for (TOdbcQuery* q : std::vector<TOdbcQuery*>(m_queries))
        q->Close();
    m_dbc.Reset();
    m_connected = false;
}

// --------------------------------------------------------------------- query

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

TOdbcStmt TOdbcQuery::Execute(TOdbcConnection& conn)
{
    TOdbcStmt stmt;
    if (!OdbcSucceeded(stmt.Allocate(conn.Handle()))) {
        stmt.Reset();
        Raise(conn, DiagnosticsOr(SQL_HANDLE_DBC, conn.Handle(), QStringLiteral("Cannot allocate a statement")));
    }
    const SQLULEN timeout = static_cast<SQLULEN>(std::max(0, CommandTimeout()));
    SQLSetStmtAttrW(stmt.Get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
    SQLRETURN rc;
    if (conn.WideDriver()) {
        std::vector<SQLWCHAR> text = ToSqlWide(SQL());
        rc = SQLExecDirectW(stmt.Get(), text.data(), static_cast<SQLINTEGER>(text.size() - 1));
    } else {
        QByteArray text = SQL().toUtf8();
        rc = SQLExecDirect(stmt.Get(), reinterpret_cast<SQLCHAR*>(text.data()), static_cast<SQLINTEGER>(text.size()));
    }
    if (rc != SQL_NO_DATA && !OdbcSucceeded(rc))
        RaiseStmt(conn, stmt.Get(), QStringLiteral("The statement failed"));
    return stmt;
}

long long TOdbcQuery::ExecSQL()
{
    TOdbcConnection& conn = RequireConnection();
    TOdbcStmt stmt = Execute(conn);
    long long total = -1;
    for (;;) {
        SQLLEN n = -1;
        if (OdbcSucceeded(SQLRowCount(stmt.Get(), &n)) && n >= 0)
            total = (total < 0 ? 0 : total) + n;
        const SQLRETURN rc = SQLMoreResults(stmt.Get());
        if (rc == SQL_NO_DATA)
            break;
        if (!OdbcSucceeded(rc))
            RaiseStmt(conn, stmt.Get(), QStringLiteral("The statement failed"));
    }
    conn.ClearErrors();
    return total;
}

namespace {

// Hands the heap pages freed while a result was fetched back to the system
// on every exit path: drivers that hold a whole result while it is fetched
// otherwise leave the process several times larger than what it keeps.
class TReturnFreePages {
public:
    TReturnFreePages() = default;
    TReturnFreePages(const TReturnFreePages&) = delete;
    TReturnFreePages& operator=(const TReturnFreePages&) = delete;
    ~TReturnFreePages()
    {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    }
};

} // namespace

void TOdbcQuery::InternalOpen(TColumnStore& store)
{
    const TReturnFreePages returnFreePages; // runs after the statement is freed
    TOdbcConnection& conn = RequireConnection();
    TOdbcStmt stmtHandle = Execute(conn);
    const SQLHSTMT stmt = stmtHandle.Get();

    // Skip results that are not row sets.
    SQLSMALLINT ncols = 0;
    for (;;) {
        if (!OdbcSucceeded(SQLNumResultCols(stmt, &ncols)))
            RaiseStmt(conn, stmt, QStringLiteral("The statement failed"));
        if (ncols > 0)
            break;
        const SQLRETURN rc = SQLMoreResults(stmt);
        if (rc == SQL_NO_DATA) {
            const QString text = QStringLiteral("CommandText does not return a result set");
            conn.SetErrors({TDbError{kNoResultNativeError, QString(), Name() + QStringLiteral(": ") + text}});
            DatabaseError(text);
        }
        if (!OdbcSucceeded(rc))
            RaiseStmt(conn, stmt, QStringLiteral("The statement failed"));
    }

    // Describe the columns.
    std::vector<TFieldDef> defs;
    std::vector<TFetchColumn> cols(static_cast<std::size_t>(ncols));
    defs.reserve(cols.size());
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(ncols); ++i) {
        TFetchColumn& c = cols[i - 1u];
        SQLSMALLINT nameLen = 0, nullable = 0;
        QString columnName;
        SQLRETURN drc;
        if (conn.WideDriver()) {
            SQLWCHAR name[512];
            drc = SQLDescribeColW(stmt, i, name, static_cast<SQLSMALLINT>(std::size(name)), &nameLen,
                                  &c.desc.sqlType, &c.desc.size, &c.desc.digits, &nullable);
            columnName = FromSqlWide(name, static_cast<std::size_t>(std::clamp<int>(nameLen, 0, static_cast<int>(std::size(name)) - 1)));
        } else {
            SQLCHAR name[1024];
            drc = SQLDescribeCol(stmt, i, name, static_cast<SQLSMALLINT>(std::size(name)), &nameLen,
                                 &c.desc.sqlType, &c.desc.size, &c.desc.digits, &nullable);
            columnName = QString::fromUtf8(reinterpret_cast<const char*>(name),
                                           std::clamp<int>(nameLen, 0, static_cast<int>(std::size(name)) - 1));
        }
        if (!OdbcSucceeded(drc))
            RaiseStmt(conn, stmt, QStringLiteral("Cannot describe column %1").arg(i));
        SQLLEN isUnsigned = SQL_FALSE;
        SQLColAttributeW(stmt, i, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
        c.desc.isUnsigned = isUnsigned == SQL_TRUE;
        c.type = OdbcFieldType(c.desc);
        c.plan = OdbcFetchPlan(c.desc, c.type, !conn.WideDriver());

        TFieldDef def;
        def.name = columnName;
        def.type = c.type;
        def.size = OdbcFieldSize(c.desc, c.type);
        if (c.type == ftBCD) {
            def.precision = static_cast<int>(c.desc.size);
            def.scale = c.desc.digits;
        }
        defs.push_back(std::move(def));
    }

    // Bind what can be bound. Without SQL_GD_ANY_COLUMN, SQLGetData only
    // reaches columns after the last bound one: bind only the columns before
    // the first long column then.
    const SQLUINTEGER ext = conn.GetDataExtensions();
    const bool anyColumn = (ext & SQL_GD_ANY_COLUMN) != 0;
    bool seenLong = false;
    bool hasUnbound = false;
    std::size_t rowBytes = 0;
    for (TFetchColumn& c : cols) {
        seenLong = seenLong || c.plan.isLong;
        c.bound = !c.plan.isLong && (anyColumn || !seenLong);
        hasUnbound = hasUnbound || !c.bound;
        if (c.bound)
            rowBytes += c.plan.elementBytes + sizeof(SQLLEN);
    }
    // A bound value longer than the driver described its column (drivers of
    // typeless engines report nominal sizes) is read again whole at its row:
    //  - one-row fetches: SQLGetData on the current row;
    //  - SQL_GD_BLOCK: SQLSetPos to the row, then SQLGetData;
    //  - a scrollable cursor with SQL_FETCH_ABSOLUTE (the statement's own
    //    cursor; none is requested, a server cursor would cost every query):
    //    columns unbound, a one-row rowset fetched at the row's absolute
    //    number, SQLGetData, then the block fetch resumes after the block.
    //    The statement is never executed again.
    // With none of these, block fetches only where the server's sizes are
    // exact (then a longer value is a failure, not a cut).
    bool boundVariable = false;
    for (const TFetchColumn& c : cols)
        boundVariable = boundVariable || (c.bound && IsVariableCType(c.plan.cType));
    const bool absoluteReread = !hasUnbound && (ext & SQL_GD_BLOCK) == 0 && CanFetchAbsolute(conn, stmt);
    SQLULEN rows = 1;
    if (!hasUnbound && (!boundVariable || (ext & SQL_GD_BLOCK) != 0 || conn.ExactColumnSizes() || absoluteReread))
        rows = std::clamp<SQLULEN>(kBlockBufferBytes / std::max<std::size_t>(rowBytes, 1), kMinBlockRows, kMaxBlockRows);

    SQLULEN fetched = 0;
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_BIND_BY_COLUMN)), 0);
    if (rows > 1) {
        SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
        SQLULEN actual = 1;
        if (OdbcSucceeded(SQLGetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &actual, 0, nullptr)) && actual >= 1)
            rows = actual;
        else
            rows = 1;
    }
    m_lastRowArraySize = static_cast<int>(rows);
    SQLSetStmtAttrW(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);

    auto bind = [&](SQLUSMALLINT i) {
        TFetchColumn& c = cols[i - 1u];
        if (c.bound
            && !OdbcSucceeded(SQLBindCol(stmt, i, c.plan.cType, c.data.data(),
                                         static_cast<SQLLEN>(c.plan.elementBytes), c.ind.data())))
            RaiseStmt(conn, stmt, QStringLiteral("Cannot bind column %1").arg(i));
    };
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(ncols); ++i) {
        TFetchColumn& c = cols[i - 1u];
        const std::size_t nSlots = c.bound ? rows : 1;
        c.data.assign(std::max<std::size_t>(c.plan.elementBytes, 1) * nSlots, 0);
        c.ind.assign(nSlots, 0);
        bind(i);
    }

    auto tooLong = [&](std::size_t ci) {
        Raise(conn, {TDbError{0, QString(),
                              QStringLiteral("Field '%1': a value is longer than the driver's column size %2")
                                  .arg(defs[ci].name, QString::number(cols[ci].desc.size))}});
    };
    auto setRowArraySize = [&](SQLULEN size) {
        if (!OdbcSucceeded(SQLSetStmtAttrW(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(size), 0)))
            RaiseStmt(conn, stmt, QStringLiteral("Fetch failed"));
    };

    // Fetch everything.
    store.Reset(defs);
    std::string scratch;
    std::vector<char> chunk;
    // Values of the current block that were read again whole, in (row,
    // column) order; `value` is empty for NULL.
    struct TReread {
        std::size_t row;
        std::size_t col;
        bool null;
        std::string value;
    };
    std::vector<TReread> rereads;
    std::vector<std::size_t> needBytes(cols.size(), 0); // longest cut value of the block, with terminator
    SQLLEN blockStart = 1;                              // absolute number of the block's first row
    bool resume = false;                                // the next block starts at blockStart
    for (;;) {
        fetched = 0;
        if (resume) {
            setRowArraySize(rows);
            for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(ncols); ++i)
                bind(i);
        }
        const SQLRETURN rc = resume ? SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, blockStart) : SQLFetch(stmt);
        resume = false;
        if (rc == SQL_NO_DATA)
            break;
        if (!OdbcSucceeded(rc))
            RaiseStmt(conn, stmt, QStringLiteral("Fetch failed"));
        const std::size_t n = rows == 1 ? 1 : static_cast<std::size_t>(fetched);

        // Cut values of bound columns, row by row.
        rereads.clear();
        for (std::size_t r = 0; r < n; ++r) {
            for (std::size_t ci = 0; ci < cols.size(); ++ci) {
                const TFetchColumn& c = cols[ci];
                if (!c.bound || !IsVariableCType(c.plan.cType))
                    continue;
                const SQLLEN ind = c.ind[r];
                const std::size_t term = TerminatorBytes(c.plan.cType);
                if (ind == SQL_NULL_DATA
                    || (ind != SQL_NO_TOTAL && static_cast<std::size_t>(ind) <= c.plan.elementBytes - term))
                    continue;
                rereads.push_back(TReread{r, ci, false, {}});
                if (ind != SQL_NO_TOTAL)
                    needBytes[ci] = std::max(needBytes[ci], static_cast<std::size_t>(ind) + term);
            }
        }
        if (!rereads.empty()) {
            const bool single = rows > 1 && (ext & SQL_GD_BLOCK) == 0;
            if (single) {
                if (!absoluteReread)
                    tooLong(rereads.front().col);
                // The bound buffers keep the block while single rows are read.
                SQLFreeStmt(stmt, SQL_UNBIND);
                setRowArraySize(1);
            }
            std::size_t positionedRow = static_cast<std::size_t>(-1);
            for (TReread& rr : rereads) {
                if (rr.row != positionedRow && rows > 1) {
                    const SQLRETURN prc = single
                        ? SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, blockStart + static_cast<SQLLEN>(rr.row))
                        : SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(rr.row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE);
                    if (!OdbcSucceeded(prc))
                        tooLong(rr.col);
                    positionedRow = rr.row;
                }
                bool ok = false;
                try {
                    ok = ReadLongValue(conn, stmt, static_cast<SQLUSMALLINT>(rr.col + 1), cols[rr.col].plan.cType,
                                       chunk, rr.value);
                } catch (const EDatabaseError&) {
                    tooLong(rr.col);
                }
                // The value was not NULL when fetched: NULL now means the
                // re-read went astray.
                if (!ok)
                    tooLong(rr.col);
            }
            // Columns are bound again only once the block is appended: a
            // driver may write to the first row's buffers when a column is
            // bound.
            resume = single;
            std::sort(rereads.begin(), rereads.end(), [](const TReread& a, const TReread& b) {
                return a.col != b.col ? a.col < b.col : a.row < b.row;
            });
        }

        auto reread = rereads.cbegin();
        for (std::size_t ci = 0; ci < cols.size(); ++ci) {
            TFetchColumn& c = cols[ci];
            TColumnData& out = store.Column(static_cast<int>(ci));
            const auto colNo = static_cast<SQLUSMALLINT>(ci + 1);
            if (!c.bound) {
                // One row: read through SQLGetData.
                const bool chunked = c.plan.isLong || IsVariableCType(c.plan.cType);
                if (chunked) {
                    if (!ReadLongValue(conn, stmt, colNo, c.plan.cType, chunk, c.utf8))
                        out.AppendNull();
                    else if (c.plan.cType == SQL_C_CHAR)
                        AppendText(out, c, c.utf8, scratch);
                    else
                        out.AppendBytes(c.utf8);
                } else {
                    SQLLEN ind = 0;
                    const SQLRETURN g = SQLGetData(stmt, colNo, c.plan.cType, c.data.data(),
                                                   static_cast<SQLLEN>(c.plan.elementBytes), &ind);
                    if (!OdbcSucceeded(g))
                        RaiseStmt(conn, stmt, QStringLiteral("Cannot read column %1").arg(colNo));
                    AppendValue(out, c, c.data.data(), ind, scratch);
                }
                continue;
            }
            if (reread == rereads.cend() || reread->col != ci) {
                AppendBlock(out, c, n, scratch);
                continue;
            }
            for (std::size_t r = 0; r < n; ++r) {
                if (reread != rereads.cend() && reread->col == ci && reread->row == r) {
                    if (c.plan.cType == SQL_C_CHAR)
                        AppendText(out, c, reread->value, scratch);
                    else
                        out.AppendBytes(reread->value);
                    ++reread;
                } else {
                    AppendValue(out, c, c.data.data() + r * c.plan.elementBytes, c.ind[r], scratch);
                }
            }
        }
        blockStart += static_cast<SQLLEN>(n);

        // Columns whose values outgrew their buffers get larger ones, within
        // kMaxGrownBlockBytes per column; longer values are still read again.
        for (std::size_t ci = 0; ci < cols.size(); ++ci) {
            TFetchColumn& c = cols[ci];
            const std::size_t need = needBytes[ci];
            needBytes[ci] = 0;
            if (need <= c.plan.elementBytes || need * rows > kMaxGrownBlockBytes)
                continue;
            c.plan.elementBytes = std::max(need, c.plan.elementBytes * 2);
            if (c.plan.elementBytes * rows > kMaxGrownBlockBytes)
                c.plan.elementBytes = need;
            c.data.assign(c.plan.elementBytes * rows, 0);
            bind(static_cast<SQLUSMALLINT>(ci + 1));
        }
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    conn.ClearErrors();
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
