// bench_tds [rows]
//
// The path SQL Server users take: the run button's action, up to the grid
// painted, over the FreeTDS driver, against a bare ODBC loop over the same
// driver and the same server in the same process. The server is the
// loopback TDS server of the tests (tests/support/FakeTdsServer.h), which
// streams "select table N": rows (default 1,000,000) of twelve columns of the
// common SQL Server types, the last an nvarchar(max) NULL in most rows.
//
// The bare loop executes the same statement, binds what the query's fetch
// plan binds with the same C types and rows per fetch, reads the unbound
// columns with SQLGetData, and only counts rows. The two alternate from the
// same state (Pairs.h). Prints the median and spread of the per-pair ratios,
// the peak of each side measured in a child process against what the result
// holds, and the bytes held per row against the display text; also the data
// access layer's open alone against the same loop, to tell its share of the
// run's cost from the window's.
//
// bench_tds --peak run|bare <rows>: one side once, in this process.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "bench/common/BenchTable.h"
#include "bench/common/FormRun.h"
#include "bench/common/Pairs.h"
#include "bench/common/ProcessMemory.h"
#include "grid/dxDBGrid.h"
#include "platform/odbc/OdbcFetcher.h"
#include "platform/odbc/OdbcHandle.h"
#include "platform/odbc/OdbcText.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionManager.h"
#include "tests/support/FakeTdsServer.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kPairs = 5;

QString TableSql(long long rows) { return QStringLiteral("select table %1").arg(rows); }




struct TBareFetch {
    long long rows = 0;
    std::size_t rowsPerFetch = 0;
    int unbound = 0;
};

// The bare loop: the query's plan carried out with nothing kept. Returns
// seconds from execute to the statement closed.
double BareFetch(TOdbcConnection& conn, const QString& sql, TBareFetch& out)
{
    const auto t0 = TBenchClock::now();
    TOdbcStmt stmt;
    stmt.Allocate(conn.Handle());
    const SQLHSTMT h = stmt.Get();
    std::vector<SQLWCHAR> text = ToSqlWide(sql);
    if (!OdbcSucceeded(SQLExecDirectW(h, text.data(), SQL_NTS)))
        throw std::runtime_error("the bare loop's statement failed");
    SQLSMALLINT ncols = 0;
    SQLNumResultCols(h, &ncols);
    const TFetchPlan plan = PlanFetch(DescribeOdbcColumns(conn, h, ncols), OdbcDriverCaps(conn, h));
    SQLULEN fetched = 0;
    SQLSetStmtAttrW(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_BIND_BY_COLUMN)), 0);
    SQLSetStmtAttrW(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(plan.rowsPerBlock)), 0);
    SQLSetStmtAttrW(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    struct TCol { std::vector<char> data; std::vector<SQLLEN> ind; };
    std::vector<TCol> cols(plan.columns.size());
    std::vector<SQLUSMALLINT> unbound;
    for (std::size_t i = 0; i < plan.columns.size(); ++i) {
        const TOdbcColumnPlan& p = plan.columns[i];
        const auto number = static_cast<SQLUSMALLINT>(i + 1);
        if (p.read != TOdbcColumnRead::Bound) {
            unbound.push_back(number);
            continue;
        }
        cols[i].data.resize(p.fetch.elementBytes * plan.rowsPerBlock);
        cols[i].ind.resize(plan.rowsPerBlock);
        SQLBindCol(h, number, p.fetch.cType, cols[i].data.data(), static_cast<SQLLEN>(p.fetch.elementBytes),
                   cols[i].ind.data());
    }
    std::vector<char> chunk(64 * 1024);
    long long rows = 0;
    SQLLEN checksum = 0;
    while (OdbcSucceeded(SQLFetch(h))) {
        rows += static_cast<long long>(fetched);
        for (const SQLUSMALLINT c : unbound) {
            const SQLSMALLINT cType = plan.columns[c - 1u].fetch.cType;
            SQLLEN ind = 0;
            SQLRETURN rc;
            while ((rc = SQLGetData(h, c, cType, chunk.data(), static_cast<SQLLEN>(chunk.size()), &ind))
                   == SQL_SUCCESS_WITH_INFO)
                checksum += ind;
            checksum += ind;
        }
    }
    SQLFreeStmt(h, SQL_CLOSE);
    const double seconds = Seconds(t0, TBenchClock::now());
    out = {rows + (checksum == -12345 ? 1 : 0), plan.rowsPerBlock, static_cast<int>(unbound.size())};
    return seconds;
}

int PeakChild(const char* side, long long rows)
{
    const TFakeTdsServer server;
    const QString connection = QString::fromStdString(server.ConnectionString());
    return RunSideForPeak(side, rows, connection, connection, TableSql(rows),
                          [&rows](TOdbcConnection& bare) {
                              TBareFetch b;
                              BareFetch(bare, TableSql(rows), b);
                              return b.rows;
                          });
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return bench::Guarded([&]() -> int {
        if (argc > 3 && std::strcmp(argv[1], "--peak") == 0)
            return PeakChild(argv[2], std::atoll(argv[3]));

        const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
        const TFakeTdsServer server;
        if (server.Port() == 0)
            throw std::runtime_error("the loopback TDS server could not listen");
        QTemporaryDir store;
        TRegistry::SetStorePath(store.filePath(QStringLiteral("registry")));
        const QString connection = QString::fromStdString(server.ConnectionString());
        TfrmQA form;
        ConnectForm(form, connection);
        TOdbcConnection bare(QStringLiteral("bare"));
        bare.SetConnectionString(connection);
        bare.Open();
        const QString sql = TableSql(rows);

        TBareFetch b;
        const bench::TPairs pairs = bench::RunPairs(
            kPairs,
            [&] { ResetForm(form); },
            [&] { return RunOnce(form, sql); },
            [&] { return BareFetch(bare, sql, b); });

        // The data-access layer alone (no window, no worker thread) against
        // the same bare loop: what of the run's cost is the fetch itself.
        TOdbcQuery alone(QStringLiteral("qryAlone"), &bare);
        alone.SetCommandTimeout(0);
        alone.SetSQL(sql);
        const bench::TPairs openPairs = bench::RunPairs(
            kPairs,
            [&] {
                alone.Close();
                form.ADOQuerySql->Close();
                bench::ReturnFreeHeap();
            },
            [&] {
                const auto t0 = TBenchClock::now();
                alone.Open();
                return Seconds(t0, TBenchClock::now());
            },
            [&] { return BareFetch(bare, sql, b); });

        RunOnce(form, sql);
        TOdbcQuery& q = QueryOf(form);
        if (q.RecordCount() != rows || q.RecNo() != rows || b.rows != rows) {
            std::fprintf(stderr, "run did not end on the last of %lld rows (records %d, at %d, bare %lld)\n", rows,
                         q.RecordCount(), q.RecNo(), b.rows);
            return 1;
        }
        std::size_t textBytes = 0;
        q.DisableControls();
        for (q.First(); !q.Eof(); q.Next())
            for (int f = 0; f < q.FieldCount(); ++f)
                textBytes += static_cast<std::size_t>(q.Fields(f)->DisplayText().toUtf8().size());
        q.EnableControls();
        QString first;
        q.First();
        for (int f = 0; f < q.FieldCount(); ++f)
            first += (f ? QStringLiteral(" | ") : QString()) + q.Fields(f)->DisplayText();
        const double held = static_cast<double>(q.MemoryBytes());
        form.ADOQuerySql->Close();
        bench::ReturnFreeHeap();

        const QStringList rowsArg = {QString::number(rows)};
        const bench::TChildPeak ours = bench::PeakInChild(QStringList{QStringLiteral("--peak"), QStringLiteral("run")} + rowsArg);
        const bench::TChildPeak base = bench::PeakInChild(QStringList{QStringLiteral("--peak"), QStringLiteral("bare")} + rowsArg);

        std::printf("FreeTDS, loopback server: %lld rows of 12 columns, rows per fetch (both): %zu, columns read "
                    "with SQLGetData (both): %d\n", rows, b.rowsPerFetch, b.unbound);
        std::printf("first row: %s\n", qPrintable(first));
        bench::PrintPairs("run over FreeTDS", "run action to the grid painted", "bare loop", pairs, 1.10);
        bench::PrintCpuPairs("run over FreeTDS", pairs);
        bench::PrintPairs("open over FreeTDS", "TOdbcQuery::Open alone", "bare loop", openPairs);
        bench::PrintCpuPairs("open over FreeTDS", openPairs);
        std::printf("peak above the settled start, each side in a child process: run %.1f MB = %.2f x the held "
                    "result (%.1f MB; target <= 1.3), bare loop %.1f MB\n", ours.Above() / 1e6,
                    ours.Above() / ours.held, ours.held / 1e6, base.Above() / 1e6);
        std::printf("held per row: %.1f bytes; display text per row: %.1f bytes (UTF-8); ratio %.3f\n",
                    held / static_cast<double>(rows), static_cast<double>(textBytes) / static_cast<double>(rows),
                    held / static_cast<double>(textBytes));
        return 0;
    });
}
