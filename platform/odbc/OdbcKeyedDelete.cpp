#include "platform/odbc/OdbcKeyedDelete.h"

#include "platform/odbc/DriverDefaults.h"
#include "platform/odbc/OdbcCatalog.h"
#include "platform/odbc/OdbcChars.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/odbc/OdbcDiagnostics.h"

#include <QDate>
#include <QDateTime>
#include <QScopeGuard>
#include <QTime>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <optional>
#include <type_traits>

namespace {

constexpr std::size_t kNameUnits = 1024;

template <class Ch>
QString ColumnText(SQLHSTMT stmt, SQLUSMALLINT col, SQLUSMALLINT field)
{
    Ch buf[kNameUnits] = {};
    SQLSMALLINT bytes = 0;
    SQLRETURN rc;
    if constexpr (std::is_same_v<Ch, SQLWCHAR>)
        rc = SQLColAttributeW(stmt, col, field, buf, sizeof buf, &bytes, nullptr);
    else
        rc = SQLColAttribute(stmt, col, field, buf, sizeof buf, &bytes, nullptr);
    if (!OdbcSucceeded(rc) || bytes <= 0)
        return {};
    const std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(bytes) / sizeof(Ch), kNameUnits - 1);
    return TOdbcChars<Ch>::ToQString(buf, units);
}

// A text column of the current row of a catalog result; empty for NULL.
template <class Ch>
QString RowText(SQLHSTMT stmt, SQLUSMALLINT col)
{
    Ch buf[kNameUnits] = {};
    SQLLEN ind = 0;
    constexpr SQLSMALLINT cType = std::is_same_v<Ch, SQLWCHAR> ? SQL_C_WCHAR : SQL_C_CHAR;
    if (!OdbcSucceeded(SQLGetData(stmt, col, cType, buf, sizeof buf, &ind)) || ind == SQL_NULL_DATA || ind < 0)
        return {};
    const std::size_t units = std::min<std::size_t>(static_cast<std::size_t>(ind) / sizeof(Ch), kNameUnits - 1);
    return TOdbcChars<Ch>::ToQString(buf, units);
}

SQLINTEGER RowInt(SQLHSTMT stmt, SQLUSMALLINT col, SQLINTEGER ifNull)
{
    SQLINTEGER v = 0;
    SQLLEN ind = 0;
    if (!OdbcSucceeded(SQLGetData(stmt, col, SQL_C_SLONG, &v, sizeof v, &ind)) || ind == SQL_NULL_DATA)
        return ifNull;
    return v;
}

QString DbmsName(const TOdbcConnection& conn)
{
    char dbms[256] = {};
    SQLSMALLINT len = 0;
    if (!OdbcSucceeded(SQLGetInfo(conn.Handle(), SQL_DBMS_NAME, dbms, sizeof dbms, &len)))
        return {};
    return QString::fromUtf8(dbms);
}

bool IsSqlServer(const TOdbcConnection& conn)
{
    return DbmsName(conn).contains(QLatin1String("SQL Server"));
}

TOdbcStmt NewStatement(TOdbcConnection& conn, int commandTimeout)
{
    TOdbcStmt stmt;
    if (!OdbcSucceeded(stmt.Allocate(conn.Handle()))) {
        stmt.Reset();
        conn.RaiseFrom(SQL_HANDLE_DBC, conn.Handle(), QStringLiteral("Cannot allocate a statement"));
    }
    const SQLULEN timeout = static_cast<SQLULEN>(std::max(0, commandTimeout));
    SQLSetStmtAttrW(stmt.Get(), SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(timeout), 0);
    return stmt;
}

// Makes `stmt` the one a cancel stops for the scope.
class TWatched {
public:
    TWatched(const TDeleteWatch& watch, SQLHSTMT stmt, bool mayStop = true) : m_watch(watch)
    {
        if (m_watch.running)
            m_watch.running(stmt, mayStop);
    }
    ~TWatched()
    {
        if (m_watch.running)
            m_watch.running(SQL_NULL_HSTMT, false);
    }
    TWatched(const TWatched&) = delete;
    TWatched& operator=(const TWatched&) = delete;

private:
    const TDeleteWatch& m_watch;
};

SQLRETURN ExecText(TOdbcConnection& conn, SQLHSTMT stmt, const QString& sql)
{
    return WithOdbcChars(conn.WideDriver(), [&]<class Ch>() {
        std::vector<Ch> text = TOdbcChars<Ch>::FromQString(sql);
        return TOdbcChars<Ch>::ExecDirect(stmt, text.data(), static_cast<SQLINTEGER>(text.size() - 1));
    });
}

// The primary key of the table, then its unique indexes, each in key order.
template <class Ch>
std::vector<TTableKey> CatalogKeys(TOdbcConnection& conn, const TColumnSource& table, int commandTimeout,
                                   const TDeleteWatch& watch)
{
    std::vector<Ch> catalog = TOdbcChars<Ch>::FromQString(table.catalog);
    std::vector<Ch> schema = TOdbcChars<Ch>::FromQString(table.schema);
    std::vector<Ch> name = TOdbcChars<Ch>::FromQString(table.table);
    Ch* catalogArg = table.catalog.isEmpty() ? nullptr : catalog.data();
    const SQLSMALLINT catalogLen = table.catalog.isEmpty() ? 0 : SQL_NTS;
    Ch* schemaArg = table.schema.isEmpty() ? nullptr : schema.data();
    const SQLSMALLINT schemaLen = table.schema.isEmpty() ? 0 : SQL_NTS;
    std::vector<TTableKey> keys;

    TOdbcStmt pk = NewStatement(conn, commandTimeout);
    SQLRETURN rc;
    {
        const TWatched watched(watch, pk.Get());
        if constexpr (std::is_same_v<Ch, SQLWCHAR>)
            rc = SQLPrimaryKeysW(pk.Get(), catalogArg, catalogLen, schemaArg, schemaLen, name.data(), SQL_NTS);
        else
            rc = SQLPrimaryKeys(pk.Get(), catalogArg, catalogLen, schemaArg, schemaLen, name.data(), SQL_NTS);
        if (!OdbcSucceeded(rc))
            conn.RaiseFrom(SQL_HANDLE_STMT, pk.Get(), QStringLiteral("Cannot read the primary key"));
    }
    std::map<SQLINTEGER, QString> primary; // KEY_SEQ -> COLUMN_NAME
    while (OdbcSucceeded(SQLFetch(pk.Get())))
        primary.emplace(RowInt(pk.Get(), 5, 0), RowText<Ch>(pk.Get(), 4));
    if (!primary.empty()) {
        TTableKey key;
        for (const auto& [seq, column] : primary)
            key.push_back(column);
        keys.push_back(std::move(key));
    }

    TOdbcStmt st = NewStatement(conn, commandTimeout);
    {
        const TWatched watched(watch, st.Get());
        if constexpr (std::is_same_v<Ch, SQLWCHAR>)
            rc = SQLStatisticsW(st.Get(), catalogArg, catalogLen, schemaArg, schemaLen, name.data(), SQL_NTS,
                                SQL_INDEX_UNIQUE, SQL_QUICK);
        else
            rc = SQLStatistics(st.Get(), catalogArg, catalogLen, schemaArg, schemaLen, name.data(), SQL_NTS,
                               SQL_INDEX_UNIQUE, SQL_QUICK);
        if (!OdbcSucceeded(rc))
            conn.RaiseFrom(SQL_HANDLE_STMT, st.Get(), QStringLiteral("Cannot read the indexes"));
    }
    // Index name -> ORDINAL_POSITION -> COLUMN_NAME; an index over an
    // expression names no column and never matches a result column.
    std::map<QString, std::map<SQLINTEGER, QString>> unique;
    while (OdbcSucceeded(SQLFetch(st.Get()))) {
        if (RowInt(st.Get(), 7, SQL_TABLE_STAT) == SQL_TABLE_STAT || RowInt(st.Get(), 4, 1) != SQL_FALSE)
            continue;
        unique[RowText<Ch>(st.Get(), 6)].emplace(RowInt(st.Get(), 8, 0), RowText<Ch>(st.Get(), 9));
    }
    for (const auto& [index, columns] : unique) {
        TTableKey key;
        for (const auto& [pos, column] : columns)
            key.push_back(column);
        if (std::find(key.begin(), key.end(), QString()) == key.end() && key != (keys.empty() ? TTableKey{} : keys[0]))
            keys.push_back(std::move(key));
    }
    return keys;
}

// The server's description of the result of `sql`, read by column name.
template <class Ch>
std::vector<TDescribedResultColumn> DescribeResult(TOdbcConnection& conn, const QString& sql, int commandTimeout,
                                                   const TDeleteWatch& watch)
{
    TOdbcStmt stmt = NewStatement(conn, commandTimeout);
    {
        const TWatched watched(watch, stmt.Get());
        const SQLRETURN rc = ExecText(conn, stmt.Get(), DescribeFirstResultSetStatement(sql));
        if (!OdbcSucceeded(rc))
            conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("Cannot describe the result"));
    }
    SQLSMALLINT ncols = 0;
    if (!OdbcSucceeded(SQLNumResultCols(stmt.Get(), &ncols)))
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("Cannot describe the result"));
    enum Want { Hidden, Database, Schema, Table, Column, UniqueKey, WantCount };
    static const char* const kNames[WantCount] = {"is_hidden", "source_database", "source_schema",
                                                  "source_table", "source_column", "is_part_of_unique_key"};
    SQLUSMALLINT at[WantCount] = {};
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(ncols, 0)); ++i) {
        const QString name = ColumnText<Ch>(stmt.Get(), i, SQL_DESC_NAME);
        for (int w = 0; w < WantCount; ++w)
            if (name.compare(QLatin1String(kNames[w]), Qt::CaseInsensitive) == 0)
                at[w] = i;
    }
    // SQLGetData in increasing column order, as every driver takes it.
    std::vector<int> order(WantCount);
    for (int w = 0; w < WantCount; ++w)
        order[static_cast<std::size_t>(w)] = w;
    std::sort(order.begin(), order.end(), [&](int a, int b) { return at[a] < at[b]; });
    std::vector<TDescribedResultColumn> rows;
    while (OdbcSucceeded(SQLFetch(stmt.Get()))) {
        TDescribedResultColumn r;
        for (const int w : order) {
            if (at[w] == 0)
                continue;
            switch (w) {
            case Hidden: r.isHidden = RowInt(stmt.Get(), at[w], 0) != 0; break;
            case Database: r.sourceDatabase = RowText<Ch>(stmt.Get(), at[w]); break;
            case Schema: r.sourceSchema = RowText<Ch>(stmt.Get(), at[w]); break;
            case Table: r.sourceTable = RowText<Ch>(stmt.Get(), at[w]); break;
            case Column: r.sourceColumn = RowText<Ch>(stmt.Get(), at[w]); break;
            case UniqueKey: r.isPartOfUniqueKey = RowInt(stmt.Get(), at[w], 0) != 0; break;
            }
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

// One bound parameter; the statement keeps pointers into it.
struct TBoundParam {
    std::vector<char> data;
    SQLLEN ind = 0;
};

void BindKey(TOdbcConnection& conn, SQLHSTMT stmt, SQLUSMALLINT number, const TKeyValue& key, TBoundParam& p)
{
    const QVariant& v = key.value;
    SQLSMALLINT cType = SQL_C_WCHAR;
    SQLSMALLINT sqlType = SQL_WVARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    auto put = [&p](const void* data, std::size_t bytes) {
        p.data.assign(static_cast<const char*>(data), static_cast<const char*>(data) + bytes);
        p.ind = static_cast<SQLLEN>(bytes);
    };
    switch (v.metaType().id()) {
    case QMetaType::Bool: {
        const unsigned char b = v.toBool() ? 1 : 0;
        cType = SQL_C_BIT, sqlType = SQL_BIT, size = 1;
        put(&b, sizeof b);
        break;
    }
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong: case QMetaType::Short:
    case QMetaType::UShort: case QMetaType::Long: {
        const SQLBIGINT n = v.toLongLong();
        cType = SQL_C_SBIGINT, sqlType = SQL_BIGINT, size = 19;
        put(&n, sizeof n);
        break;
    }
    case QMetaType::Double: case QMetaType::Float: {
        const double d = v.toDouble();
        cType = SQL_C_DOUBLE, sqlType = SQL_DOUBLE, size = 15;
        put(&d, sizeof d);
        break;
    }
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        cType = SQL_C_BINARY, sqlType = b.size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY;
        size = static_cast<SQLULEN>(std::max<qsizetype>(b.size(), 1));
        put(b.constData(), static_cast<std::size_t>(b.size()));
        break;
    }
    case QMetaType::QDate: {
        const QDate d = v.toDate();
        const SQL_DATE_STRUCT s{static_cast<SQLSMALLINT>(d.year()), static_cast<SQLUSMALLINT>(d.month()),
                                static_cast<SQLUSMALLINT>(d.day())};
        cType = SQL_C_TYPE_DATE, sqlType = SQL_TYPE_DATE, size = 10;
        put(&s, sizeof s);
        break;
    }
    case QMetaType::QDateTime: {
        const QDateTime t = v.toDateTime();
        const QDate d = t.date();
        const QTime tm = t.time();
        const SQL_TIMESTAMP_STRUCT s{static_cast<SQLSMALLINT>(d.year()), static_cast<SQLUSMALLINT>(d.month()),
                                     static_cast<SQLUSMALLINT>(d.day()), static_cast<SQLUSMALLINT>(tm.hour()),
                                     static_cast<SQLUSMALLINT>(tm.minute()), static_cast<SQLUSMALLINT>(tm.second()),
                                     static_cast<SQLUINTEGER>(tm.msec()) * 1000000u};
        cType = SQL_C_TYPE_TIMESTAMP, sqlType = SQL_TYPE_TIMESTAMP, size = 23, digits = 3;
        put(&s, sizeof s);
        break;
    }
    default: {
        // Text, and what the record holds as text: decimals, GUIDs, times.
        const QString text = v.toString();
        if (key.type == ftBCD || key.type == ftCurrency) {
            const qsizetype dot = text.indexOf(QLatin1Char('.'));
            digits = static_cast<SQLSMALLINT>(dot < 0 ? 0 : text.size() - dot - 1);
            sqlType = SQL_DECIMAL;
        } else if (key.type == ftGuid) {
            sqlType = SQL_GUID;
        } else if (key.type == ftTime) {
            sqlType = SQL_TYPE_TIME;
        }
        if (conn.WideDriver()) {
            const std::vector<SQLWCHAR> w = TOdbcChars<SQLWCHAR>::FromQString(text);
            put(w.data(), (w.size() - 1) * sizeof(SQLWCHAR));
        } else {
            const QByteArray u = text.toUtf8();
            cType = SQL_C_CHAR;
            if (sqlType == SQL_WVARCHAR)
                sqlType = SQL_VARCHAR;
            put(u.constData(), static_cast<std::size_t>(u.size()));
        }
        size = static_cast<SQLULEN>(std::max<qsizetype>(text.size(), 1));
        if (sqlType == SQL_WVARCHAR && size > 4000)
            sqlType = SQL_WLONGVARCHAR;
        break;
    }
    }
    if (p.data.empty())
        p.data.push_back(0); // a valid pointer for an empty value
    const SQLRETURN rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, cType, sqlType, size, digits,
                                          p.data.data(), static_cast<SQLLEN>(p.data.size()), &p.ind);
    if (!OdbcSucceeded(rc))
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt, QStringLiteral("Cannot bind the key value"));
}

} // namespace

namespace {

// The driver's own lock wait when the connection string sets none.
constexpr int kSqliteDefaultLockWaitMs = 100000;
constexpr int kLockSliceMs = 100;

bool MetALock(const std::vector<TDbError>& errors)
{
    return std::any_of(errors.begin(), errors.end(), [](const TDbError& e) {
        return e.NativeError == 5 || e.NativeError == 6 || e.Message.contains(QLatin1String("locked"));
    });
}

void ExecPragma(TOdbcConnection& conn, const QString& sql)
{
    TOdbcStmt stmt;
    if (OdbcSucceeded(stmt.Allocate(conn.Handle())))
        (void)ExecText(conn, stmt.Get(), sql);
}

} // namespace

void RunRetryingLocks(TOdbcConnection& conn, int commandTimeout, const std::function<bool()>& stopped,
                      const std::function<void()>& step)
{
    if (conn.DriverFamily() != TDriverFamily::SQLite3) {
        step();
        return;
    }
    int wait = kSqliteDefaultLockWaitMs;
    try {
        const std::optional<QString> timeout =
            FindConnectionKeyword(ParseConnectionString(conn.ConnectionString()), QStringLiteral("Timeout"));
        bool ok = false;
        if (const int ms = timeout ? timeout->toInt(&ok) : 0; ok && ms >= 0)
            wait = ms;
    } catch (const Exception&) {
        // The driver read the string; its default stands.
    }
    ExecPragma(conn, QStringLiteral("PRAGMA busy_timeout = %1").arg(kLockSliceMs));
    const auto restore = qScopeGuard([&] { ExecPragma(conn, QStringLiteral("PRAGMA busy_timeout = %1").arg(wait)); });
    const auto start = std::chrono::steady_clock::now();
    const auto limit = std::chrono::seconds(std::max(0, commandTimeout));
    for (;;) {
        try {
            step();
            return;
        } catch (const EDatabaseError&) {
            if (stopped() || !MetALock(conn.Errors())
                || (commandTimeout > 0 && std::chrono::steady_clock::now() - start >= limit))
                throw;
        }
    }
}

std::vector<TColumnSource> ReadOdbcColumnSources(const TOdbcConnection& conn, SQLHSTMT stmt, SQLSMALLINT ncols)
{
    std::vector<TColumnSource> sources;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(ncols, 0)); ++i)
        sources.push_back(WithOdbcChars(conn.WideDriver(), [&]<class Ch>() {
            return TColumnSource{ColumnText<Ch>(stmt, i, SQL_DESC_SCHEMA_NAME),
                                 ColumnText<Ch>(stmt, i, SQL_DESC_BASE_TABLE_NAME),
                                 ColumnText<Ch>(stmt, i, SQL_DESC_BASE_COLUMN_NAME),
                                 ColumnText<Ch>(stmt, i, SQL_DESC_CATALOG_NAME)};
        }));
    return sources;
}

TDeleteDecision PlanOdbcDelete(TOdbcConnection& conn, const QString& sql, const std::vector<TColumnSource>& sources,
                               const std::vector<TFieldType>& types, int commandTimeout, const TDeleteWatch& watch)
{
    if (IsSqlServer(conn)) {
        const std::vector<TDescribedResultColumn> rows = WithOdbcChars(
            conn.WideDriver(), [&]<class Ch>() { return DescribeResult<Ch>(conn, sql, commandTimeout, watch); });
        return PlanKeyedDeleteFromDescription(rows, types);
    }
    const std::optional<TColumnSource> table = SingleSourceTable(sources);
    std::vector<TTableKey> keys;
    if (table)
        keys = WithOdbcChars(conn.WideDriver(),
                             [&]<class Ch>() { return CatalogKeys<Ch>(conn, *table, commandTimeout, watch); });
    return PlanKeyedDelete(sources, keys, TNameQuoting::DoubleQuotes, types);
}

namespace {

// How a delete gets a transaction of its own.
enum class TTransactionWay {
    Autocommit,   // autocommit off, SQLEndTran, autocommit on again
    Statements,   // BEGIN, then COMMIT or ROLLBACK as statements (SQLite3)
};

bool HasSqlState(const std::vector<TDbError>& errors, const char* state)
{
    return std::any_of(errors.begin(), errors.end(),
                       [&](const TDbError& e) { return e.SqlState == QLatin1String(state); });
}

// Whether the connection is inside a transaction the user opened in the
// editor. Ours are never left open, so any open one is the user's.
bool UserTransactionOpen(TOdbcConnection& conn, int commandTimeout, const TDeleteWatch& watch)
{
    if (IsSqlServer(conn)) {
        TOdbcStmt stmt = NewStatement(conn, commandTimeout);
        {
            const TWatched watched(watch, stmt.Get());
            if (!OdbcSucceeded(ExecText(conn, stmt.Get(), QStringLiteral("select @@TRANCOUNT"))))
                conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("Cannot read the transaction count"));
        }
        if (!OdbcSucceeded(SQLFetch(stmt.Get())))
            conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("Cannot read the transaction count"));
        return RowInt(stmt.Get(), 1, 0) > 0;
    }
    if (conn.DriverFamily() == TDriverFamily::PostgreSQL) {
        // A savepoint outside a transaction block fails with 25P01; inside
        // one it is taken and released again, leaving the block as it was.
        TOdbcStmt stmt = NewStatement(conn, commandTimeout);
        const TWatched watched(watch, stmt.Get());
        const SQLRETURN rc = ExecText(conn, stmt.Get(), QStringLiteral("SAVEPOINT bqa_delete_probe"));
        if (OdbcSucceeded(rc)) {
            TOdbcStmt release = NewStatement(conn, commandTimeout);
            (void)ExecText(conn, release.Get(), QStringLiteral("RELEASE SAVEPOINT bqa_delete_probe"));
            return true;
        }
        const std::vector<TDbError> errors = ReadOdbcDiagnostics(SQL_HANDLE_STMT, stmt.Get(), conn.WideDriver());
        if (HasSqlState(errors, "25P01"))
            return false;
        if (HasSqlState(errors, "25P02"))   // a failed transaction block
            return true;
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("Cannot read the transaction state"));
    }
    // Elsewhere the driver's own state is all there is to go by.
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
    if (OdbcSucceeded(SQLGetConnectAttr(conn.Handle(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)))
        return autocommit != SQL_AUTOCOMMIT_ON;
    return false;
}

// Runs one statement that ends or starts a transaction; raises its failure.
void ExecTransactionStatement(TOdbcConnection& conn, const QString& sql, int commandTimeout,
                              const TDeleteWatch& watch, bool mayStop)
{
    TOdbcStmt stmt = NewStatement(conn, commandTimeout);
    const TWatched watched(watch, stmt.Get(), mayStop);
    const SQLRETURN rc = ExecText(conn, stmt.Get(), sql);
    if (rc != SQL_NO_DATA && !OdbcSucceeded(rc))
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), sql);
}

void SetAutocommit(TOdbcConnection& conn, bool on)
{
    const SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
    if (!OdbcSucceeded(SQLSetConnectAttrW(conn.Handle(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0)))
        conn.RaiseFrom(SQL_HANDLE_DBC, conn.Handle(),
                       on ? QStringLiteral("Cannot switch autocommit on") : QStringLiteral("Cannot start a transaction"));
}

// A transaction of the delete's own: begun on construction, rolled back on
// destruction unless Commit() ran. Raises EConnectionSpoilt when autocommit
// cannot be restored after an Autocommit transaction.
class TOwnTransaction {
public:
    TOwnTransaction(TOdbcConnection& conn, TTransactionWay way, int commandTimeout, const TDeleteWatch& watch)
        : m_conn(conn), m_way(way), m_timeout(commandTimeout), m_watch(watch)
    {
        if (m_way == TTransactionWay::Autocommit)
            SetAutocommit(m_conn, false);
        else
            ExecTransactionStatement(m_conn, QStringLiteral("BEGIN"), m_timeout, m_watch, true);
        m_open = true;
    }
    ~TOwnTransaction()
    {
        if (!m_open)
            return;
        if (m_way == TTransactionWay::Autocommit) {
            SQLEndTran(SQL_HANDLE_DBC, m_conn.Handle(), SQL_ROLLBACK);
            SQLSetConnectAttrW(m_conn.Handle(), SQL_ATTR_AUTOCOMMIT,
                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON)), 0);
        } else {
            try {
                ExecTransactionStatement(m_conn, QStringLiteral("ROLLBACK"), m_timeout, m_watch, false);
            } catch (const EDatabaseError&) {
                // Already unwinding a failure, whose words the user gets.
            }
        }
    }
    TOwnTransaction(const TOwnTransaction&) = delete;
    TOwnTransaction& operator=(const TOwnTransaction&) = delete;

    // Ends the transaction; a failed commit rolls back and raises.
    void End(bool commit)
    {
        if (m_way == TTransactionWay::Statements) {
            ExecTransactionStatement(m_conn, commit ? QStringLiteral("COMMIT") : QStringLiteral("ROLLBACK"), m_timeout,
                                     m_watch, false);
            m_open = false;
            return;
        }
        const SQLHDBC dbc = m_conn.Handle();
        if (!OdbcSucceeded(SQLEndTran(SQL_HANDLE_DBC, dbc, commit ? SQL_COMMIT : SQL_ROLLBACK))) {
            std::vector<TDbError> errors = ReadOdbcDiagnostics(SQL_HANDLE_DBC, dbc, m_conn.WideDriver());
            // A failed commit leaves the transaction open: the destructor
            // rolls it back, so the row stays.
            m_conn.Raise(errors.empty() ? std::vector<TDbError>{TDbError{0, QString(), QStringLiteral(
                                              "Cannot end the transaction")}}
                                        : std::move(errors));
        }
        m_open = false;
        if (!OdbcSucceeded(SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT,
                                              reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON)),
                                              0))) {
            const QString driver = JoinDiagnosticMessages(ReadOdbcDiagnostics(SQL_HANDLE_DBC, dbc, m_conn.WideDriver()));
            throw EConnectionSpoilt(QStringLiteral(
                "После удаления соединение не удалось вернуть в режим автоматической фиксации; "
                "соединение будет закрыто, следующий запрос подключится заново.")
                + (driver.isEmpty() ? QString() : QLatin1Char('\n') + driver));
        }
    }

private:
    TOdbcConnection& m_conn;
    TTransactionWay m_way;
    int m_timeout;
    const TDeleteWatch& m_watch;
    bool m_open = false;
};

} // namespace

std::optional<TDeleteRefusal> RunKeyedDelete(TOdbcConnection& conn, const TKeyedDeletePlan& plan,
                                             const std::vector<TKeyValue>& termValues, int commandTimeout,
                                             const TDeleteWatch& watch)
{
    std::vector<bool> isNull;
    for (const TKeyValue& v : termValues)
        isNull.push_back(!v.value.isValid() || v.value.isNull());
    const QString statement = DeleteStatement(plan, isNull);

    // SQLite3 has no state to ask; BEGIN itself fails inside a transaction.
    const TTransactionWay way = conn.DriverFamily() == TDriverFamily::SQLite3 ? TTransactionWay::Statements
                                                                              : TTransactionWay::Autocommit;
    if (way == TTransactionWay::Autocommit && UserTransactionOpen(conn, commandTimeout, watch))
        return UserTransactionRefusal();
    std::optional<TOwnTransaction> transaction;
    try {
        transaction.emplace(conn, way, commandTimeout, watch);
    } catch (const EDatabaseError&) {
        if (way == TTransactionWay::Statements
            && JoinDiagnosticMessages(conn.Errors()).contains(QLatin1String("within a transaction")))
            return UserTransactionRefusal();
        throw;
    }

    TOdbcStmt stmt = NewStatement(conn, commandTimeout);
    std::vector<TBoundParam> params;
    params.reserve(termValues.size());
    SQLUSMALLINT number = 0;
    for (std::size_t i = 0; i < termValues.size(); ++i) {
        if (isNull[i])
            continue;
        params.emplace_back();
        BindKey(conn, stmt.Get(), ++number, termValues[i], params.back());
    }
    SQLLEN rows = 0;
    {
        const TWatched watched(watch, stmt.Get());
        const SQLRETURN rc = ExecText(conn, stmt.Get(), statement);
        if (rc == SQL_NO_DATA)
            rows = 0;
        else if (!OdbcSucceeded(rc))
            conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("The statement failed"));
        else if (!OdbcSucceeded(SQLRowCount(stmt.Get(), &rows)))
            conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("Cannot read the number of deleted rows"));
    }
    stmt.Reset();
    // A stop asked while the statement ran keeps the row.
    if (watch.running) {
        watch.running(SQL_NULL_HSTMT, true);
    }
    transaction->End(rows == 1);
    if (rows != 1)
        return rows < 1 ? NoRowDeletedRefusal() : ManyRowsDeletedRefusal(rows);
    return std::nullopt;
}
