#include "bench/common/BenchTable.h"

#include "platform/odbc/OdbcHandle.h"
#include "platform/odbc/OdbcText.h"
#include "platform/odbc/OdbcTypes.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <vector>

double Seconds(TBenchClock::time_point a, TBenchClock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

QString ConnectionString(const QString& path)
{
    return QStringLiteral("Driver=SQLite3;Database=%1").arg(path);
}

namespace {

long long CountRows(TOdbcConnection& conn)
{
    TOdbcQuery q(QStringLiteral("qryCount"), &conn);
    q.SetSQL(QStringLiteral("select count(*) from t"));
    try {
        q.Open();
    } catch (const EDatabaseError&) {
        return -1;
    }
    q.First();
    return q.Fields(0)->AsVariant().toLongLong();
}

void MakeTable(const QString& path, long long rows)
{
    const QString tmp = path + QStringLiteral(".part");
    QFile::remove(tmp);
    {
        TOdbcConnection conn(QStringLiteral("gen"));
        conn.SetConnectionString(ConnectionString(tmp));
        conn.Open();
        TOdbcQuery q(QStringLiteral("gen"), &conn);
        q.SetCommandTimeout(0);
        q.SetSQL(QStringLiteral(
            "create table t(id integer, name varchar(20), amount numeric(10,2), qty integer,"
            " created datetime, note varchar(60))"));
        q.ExecSQL();
        q.SetSQL(QStringLiteral(
            "insert into t with recursive c(x) as (select 1 union all select x + 1 from c where x < %1)"
            " select x, 'name ' || x, round((x * 37 % 10000000) / 100.0, 2), x % 1000,"
            " datetime(1500000000 + x * 61, 'unixepoch'),"
            " substr('The quick brown fox jumps over the lazy dog ' || printf('%016d', x * 7919), 1, 60)"
            " from c").arg(rows));
        q.ExecSQL();
    }
    QFile::remove(path);
    QFile::rename(tmp, path);
}

} // namespace

QString CTypeName(SQLSMALLINT cType)
{
    switch (cType) {
    case SQL_C_CHAR: return QStringLiteral("CHAR");
    case SQL_C_WCHAR: return QStringLiteral("WCHAR");
    case SQL_C_SLONG: return QStringLiteral("SLONG");
    case SQL_C_SBIGINT: return QStringLiteral("SBIGINT");
    case SQL_C_DOUBLE: return QStringLiteral("DOUBLE");
    case SQL_C_TYPE_TIMESTAMP: return QStringLiteral("TIMESTAMP");
    case SQL_C_TYPE_DATE: return QStringLiteral("DATE");
    case SQL_C_BINARY: return QStringLiteral("BINARY");
    default: return QString::number(cType);
    }
}

// The bare loop: the same statement, row array size and C types as the query.
double BareFetch(TOdbcConnection& conn, SQLULEN rowArraySize, long long& rowsOut, QString* cTypes)
{
    const auto t0 = TBenchClock::now();
    TOdbcStmt stmt;
    stmt.Allocate(conn.Handle());
    const SQLHSTMT h = stmt.Get();
    std::vector<SQLWCHAR> sql = ToSqlWide(QStringLiteral("select * from t"));
    if (!OdbcSucceeded(SQLExecDirectW(h, sql.data(), SQL_NTS)))
        std::abort();
    SQLSMALLINT ncols = 0;
    SQLNumResultCols(h, &ncols);
    struct Col { std::vector<char> data; std::vector<SQLLEN> ind; };
    std::vector<Col> cols(static_cast<std::size_t>(ncols));
    SQLULEN fetched = 0;
    SQLSetStmtAttrW(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_BIND_BY_COLUMN)), 0);
    SQLSetStmtAttrW(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rowArraySize), 0);
    SQLSetStmtAttrW(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(ncols); ++i) {
        SQLWCHAR name[256];
        SQLSMALLINT nameLen = 0, nullable = 0;
        TOdbcColumnDesc d;
        SQLDescribeColW(h, i, name, 256, &nameLen, &d.sqlType, &d.size, &d.digits, &nullable);
        const TOdbcColumnFetch p = OdbcColumnFetch(d, OdbcFieldType(d), !conn.WideDriver());
        if (cTypes)
            *cTypes += (i > 1 ? QStringLiteral(", ") : QString()) + CTypeName(p.cType);
        Col& c = cols[i - 1u];
        c.data.resize(p.elementBytes * rowArraySize);
        c.ind.resize(rowArraySize);
        SQLBindCol(h, i, p.cType, c.data.data(), static_cast<SQLLEN>(p.elementBytes), c.ind.data());
    }
    long long rows = 0;
    SQLLEN checksum = 0;
    while (OdbcSucceeded(SQLFetch(h))) {
        rows += static_cast<long long>(fetched);
        for (const Col& c : cols)
            checksum += c.ind[0];
    }
    SQLFreeStmt(h, SQL_CLOSE);
    const auto t1 = TBenchClock::now();
    rowsOut = rows + (checksum == -12345 ? 1 : 0);
    return Seconds(t0, t1);
}


QString EnsureBenchTable(long long rows, const QString& givenPath)
{
    const QString path = !givenPath.isEmpty()
        ? givenPath
        : QDir::temp().filePath(QStringLiteral("bqa-bench-fetch-%1.db").arg(rows));
    bool ok = QFile::exists(path);
    if (ok) {
        TOdbcConnection probe(QStringLiteral("probe"));
        probe.SetConnectionString(ConnectionString(path));
        probe.Open();
        ok = CountRows(probe) == rows;
    }
    if (!ok) {
        std::printf("generating %lld rows in %s\n", rows, qPrintable(path));
        MakeTable(path, rows);
    }
    return path;
}
