// bench_fetch [rows] [database file]
//
// Opens "select * from t" over a SQLite3 table of `rows` rows (default one
// million; the file is made once and reused) through TOdbcQuery, and times a
// bare ODBC block-fetch loop over the same query with the same C types bound
// (text as SQL_C_CHAR for drivers without W entry points, as the query binds
// it). The bare loop only counts rows: the difference is the cost of keeping
// the values.
// Prints the best of a few runs of each, their ratio, and the memory held for
// the result per row beside the result's display-text bytes per row.

#include "platform/OdbcDatabase.h"
#include "platform/OdbcHandle.h"
#include "platform/OdbcText.h"
#include "platform/OdbcTypes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

QString ConnectionString(const QString& path)
{
    return QStringLiteral("Driver=SQLite3;Database=%1").arg(path);
}

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
double BareFetch(TOdbcConnection& conn, SQLULEN rowArraySize, long long& rowsOut, QString* cTypes = nullptr)
{
    const auto t0 = Clock::now();
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
        const TOdbcFetchPlan p = OdbcFetchPlan(d, OdbcFieldType(d), !conn.WideDriver());
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
    const auto t1 = Clock::now();
    rowsOut = rows + (checksum == -12345 ? 1 : 0);
    return Seconds(t0, t1);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const QString path = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                  : QDir::temp().filePath(QStringLiteral("bqa-bench-fetch-%1.db").arg(rows));
    const int repeats = 3;

    try {
        {
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
        }
        TOdbcConnection conn(QStringLiteral("ADOConnection"));
        conn.SetConnectionString(ConnectionString(path));
        conn.Open();

        TOdbcQuery q(QStringLiteral("ADOQuerySql"), &conn);
        q.SetCommandTimeout(0);
        q.SetSQL(QStringLiteral("select * from t"));
        // The bare loop fetches kBareBlockRows rows per call, and also the
        // query's own row array size when the driver made that smaller.
        constexpr SQLULEN kBareBlockRows = 2048;
        double bestQuery = 1e99, bestBare = 1e99, bestBareSame = 1e99;
        long long bareRows = 0, bareSameRows = 0;
        QString cTypes;
        // One untimed run of each first: the first statement of the process
        // pays for growing the heap the driver keeps its result in.
        q.Open();
        BareFetch(conn, kBareBlockRows, bareRows);
        for (int i = 0; i < repeats; ++i) {
            q.Close();
            const auto t0 = Clock::now();
            q.Open();
            const auto t1 = Clock::now();
            bestQuery = std::min(bestQuery, Seconds(t0, t1));
            cTypes.clear();
            bestBare = std::min(bestBare, BareFetch(conn, kBareBlockRows, bareRows, &cTypes));
            if (static_cast<SQLULEN>(q.LastRowArraySize()) != kBareBlockRows)
                bestBareSame = std::min(bestBareSame,
                                        BareFetch(conn, static_cast<SQLULEN>(q.LastRowArraySize()), bareSameRows));
        }
        const long long n = q.RecordCount();
        if (n != rows || bareRows != rows) {
            std::fprintf(stderr, "row count mismatch: query %lld, bare %lld, expected %lld\n", n, bareRows, rows);
            return 1;
        }

        // Display text of the whole result, in UTF-8 bytes.
        std::size_t textBytes = 0;
        for (q.First(); !q.Eof(); q.Next())
            for (int f = 0; f < q.FieldCount(); ++f)
                textBytes += static_cast<std::size_t>(q.Fields(f)->DisplayText().toUtf8().size());
        const double memPerRow = static_cast<double>(q.MemoryBytes()) / static_cast<double>(n);
        const double textPerRow = static_cast<double>(textBytes) / static_cast<double>(n);

        std::printf("rows: %lld, columns: %d, rows per block fetch: %d\n", n, q.FieldCount(), q.LastRowArraySize());
        std::printf("C types bound by both: %s\n", qPrintable(cTypes));
        std::printf("TOdbcQuery open (best of %d): %.3f s\n", repeats, bestQuery);
        std::printf("bare block fetch, %d rows per fetch (best of %d): %.3f s\n",
                    static_cast<int>(kBareBlockRows), repeats, bestBare);
        if (bestBareSame < 1e99)
            std::printf("bare fetch, %d rows per fetch like the query (best of %d): %.3f s\n",
                        q.LastRowArraySize(), repeats, bestBareSame);
        std::printf("time ratio: %.3f (target <= 1.15)\n", bestQuery / bestBare);
        std::printf("memory per row: %.1f bytes; display text per row: %.1f bytes; ratio %.3f (target <= 1.3)\n",
                    memPerRow, textPerRow, memPerRow / textPerRow);
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
    return 0;
}
