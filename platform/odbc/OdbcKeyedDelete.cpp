#include "platform/odbc/OdbcKeyedDelete.h"

#include "platform/odbc/OdbcChars.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/odbc/OdbcDiagnostics.h"

#include <QDate>
#include <QDateTime>
#include <QScopeGuard>
#include <QTime>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
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

// The primary key of the table, then its unique indexes, each in key order.
template <class Ch>
std::vector<TTableKey> CatalogKeys(TOdbcConnection& conn, const TColumnSource& table, int commandTimeout)
{
    std::vector<Ch> schema = TOdbcChars<Ch>::FromQString(table.schema);
    std::vector<Ch> name = TOdbcChars<Ch>::FromQString(table.table);
    Ch* schemaArg = table.schema.isEmpty() ? nullptr : schema.data();
    const SQLSMALLINT schemaLen = table.schema.isEmpty() ? 0 : SQL_NTS;
    std::vector<TTableKey> keys;

    TOdbcStmt pk = NewStatement(conn, commandTimeout);
    SQLRETURN rc;
    if constexpr (std::is_same_v<Ch, SQLWCHAR>)
        rc = SQLPrimaryKeysW(pk.Get(), nullptr, 0, schemaArg, schemaLen, name.data(), SQL_NTS);
    else
        rc = SQLPrimaryKeys(pk.Get(), nullptr, 0, schemaArg, schemaLen, name.data(), SQL_NTS);
    if (!OdbcSucceeded(rc))
        conn.RaiseFrom(SQL_HANDLE_STMT, pk.Get(), QStringLiteral("Cannot read the primary key"));
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
    if constexpr (std::is_same_v<Ch, SQLWCHAR>)
        rc = SQLStatisticsW(st.Get(), nullptr, 0, schemaArg, schemaLen, name.data(), SQL_NTS, SQL_INDEX_UNIQUE,
                            SQL_QUICK);
    else
        rc = SQLStatistics(st.Get(), nullptr, 0, schemaArg, schemaLen, name.data(), SQL_NTS, SQL_INDEX_UNIQUE,
                           SQL_QUICK);
    if (!OdbcSucceeded(rc))
        conn.RaiseFrom(SQL_HANDLE_STMT, st.Get(), QStringLiteral("Cannot read the indexes"));
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

TDeleteDecision PlanFromServerDescription(TOdbcConnection& conn, const QString& sql, int commandTimeout)
{
    TOdbcQuery describe(QStringLiteral("qryDescribe"), &conn);
    describe.SetCommandTimeout(commandTimeout);
    describe.SetSQL(DescribeFirstResultSetStatement(sql));
    describe.Open();
    const auto text = [&](const char* name) {
        const TField* f = describe.FindField(QString::fromLatin1(name));
        return f ? f->AsVariant().toString() : QString();
    };
    const auto flag = [&](const char* name) {
        const TField* f = describe.FindField(QString::fromLatin1(name));
        return f && f->AsVariant().toBool();
    };
    std::vector<TDescribedResultColumn> rows;
    for (describe.First(); !describe.Eof(); describe.Next())
        rows.push_back(TDescribedResultColumn{flag("is_hidden"), text("source_schema"), text("source_table"),
                                              text("source_column"), flag("is_part_of_unique_key")});
    describe.Close();
    return PlanKeyedDeleteFromDescription(rows);
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

std::vector<TColumnSource> ReadOdbcColumnSources(const TOdbcConnection& conn, SQLHSTMT stmt, SQLSMALLINT ncols)
{
    std::vector<TColumnSource> sources;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(ncols, 0)); ++i)
        sources.push_back(WithOdbcChars(conn.WideDriver(), [&]<class Ch>() {
            return TColumnSource{ColumnText<Ch>(stmt, i, SQL_DESC_SCHEMA_NAME),
                                 ColumnText<Ch>(stmt, i, SQL_DESC_BASE_TABLE_NAME),
                                 ColumnText<Ch>(stmt, i, SQL_DESC_BASE_COLUMN_NAME)};
        }));
    return sources;
}

TDeleteDecision PlanOdbcDelete(TOdbcConnection& conn, const QString& sql, const std::vector<TColumnSource>& sources,
                               int commandTimeout)
{
    if (IsSqlServer(conn))
        return PlanFromServerDescription(conn, sql, commandTimeout);
    const std::optional<TColumnSource> table = SingleSourceTable(sources);
    std::vector<TTableKey> keys;
    if (table)
        keys = WithOdbcChars(conn.WideDriver(),
                             [&]<class Ch>() { return CatalogKeys<Ch>(conn, *table, commandTimeout); });
    return PlanKeyedDelete(sources, keys, TNameQuoting::DoubleQuotes);
}

std::optional<TDeleteRefusal> RunKeyedDelete(TOdbcConnection& conn, const TKeyedDeletePlan& plan,
                                             const std::vector<TKeyValue>& keyValues, int commandTimeout)
{
    SQLHDBC dbc = conn.Handle();
    if (!OdbcSucceeded(SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT,
                                          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_OFF)), 0)))
        conn.RaiseFrom(SQL_HANDLE_DBC, dbc, QStringLiteral("Cannot start a transaction"));
    bool open = true; // a transaction that has not ended yet
    const auto restore = qScopeGuard([&] {
        if (open)
            SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON)), 0);
    });

    TOdbcStmt stmt = NewStatement(conn, commandTimeout);
    std::vector<TBoundParam> params(keyValues.size());
    for (std::size_t i = 0; i < keyValues.size(); ++i)
        BindKey(conn, stmt.Get(), static_cast<SQLUSMALLINT>(i + 1), keyValues[i], params[i]);
    const SQLRETURN rc = WithOdbcChars(conn.WideDriver(), [&]<class Ch>() {
        std::vector<Ch> text = TOdbcChars<Ch>::FromQString(plan.statement);
        return TOdbcChars<Ch>::ExecDirect(stmt.Get(), text.data(), static_cast<SQLINTEGER>(text.size() - 1));
    });
    SQLLEN rows = 0;
    if (rc == SQL_NO_DATA)
        rows = 0;
    else if (!OdbcSucceeded(rc))
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("The statement failed"));
    else if (!OdbcSucceeded(SQLRowCount(stmt.Get(), &rows)))
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("Cannot read the number of deleted rows"));
    stmt.Reset();

    if (rows != 1) {
        open = false;
        if (!OdbcSucceeded(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK)))
            conn.RaiseFrom(SQL_HANDLE_DBC, dbc, QStringLiteral("Cannot roll the delete back"));
        return rows < 1 ? NoRowDeletedRefusal() : ManyRowsDeletedRefusal(rows);
    }
    open = false;
    if (!OdbcSucceeded(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT))) {
        // A failed commit leaves the transaction open: end it so the row stays.
        open = true;
        conn.RaiseFrom(SQL_HANDLE_DBC, dbc, QStringLiteral("Cannot commit the delete"));
    }
    return std::nullopt;
}
