// bench_fetch [rows] [database file]
//
// Opens "select * from t" over a SQLite3 table of `rows` rows (default one
// million; the file is made once and reused) through TOdbcQuery, against a
// bare ODBC block-fetch loop over the same query with the same C types and
// rows per fetch bound (text as SQL_C_CHAR for drivers without W entry
// points, as the query binds it). The bare loop only counts rows: the
// difference is the cost of keeping the values.
// Prints the median and spread of the per-pair time ratios (Pairs.h), the
// peak of each side measured in a child process, and the memory held for the
// result per row beside the result's display-text bytes per row.
//
// bench_fetch --peak query|bare <rows> <file>: one side once, in this process
// (what the parent runs to read a side's peak).

#include "bench/common/BenchTable.h"
#include "bench/common/Pairs.h"
#include "bench/common/ProcessMemory.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace {

constexpr int kPairs = 5;

void Connect(TOdbcConnection& conn, const QString& path)
{
    conn.SetConnectionString(ConnectionString(path));
    conn.Open();
}

// The child's side: one open or one bare loop from a settled heap.
int PeakChild(const char* side, long long rows, const QString& path)
{
    TOdbcConnection conn(QStringLiteral("ADOConnection"));
    Connect(conn, path);
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), &conn);
    q.SetCommandTimeout(0);
    q.SetSQL(QStringLiteral("select * from t"));
    bench::ReturnFreeHeap();
    const double base = static_cast<double>(bench::ResidentBytes());
    long long got = 0;
    if (std::strcmp(side, "query") == 0) {
        q.Open();
        got = q.RecordCount();
    } else {
        BareFetch(conn, 2048, got);
    }
    if (got != rows)
        return 1;
    bench::PrintChildPeak(base, static_cast<double>(q.Active() ? q.MemoryBytes() : 0));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return bench::Guarded([&]() -> int {
        if (argc > 4 && std::strcmp(argv[1], "--peak") == 0)
            return PeakChild(argv[2], std::atoll(argv[3]), QString::fromLocal8Bit(argv[4]));

        const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
        const QString path = EnsureBenchTable(rows, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
        TOdbcConnection conn(QStringLiteral("ADOConnection"));
        Connect(conn, path);
        TOdbcQuery q(QStringLiteral("ADOQuerySql"), &conn);
        q.SetCommandTimeout(0);
        q.SetSQL(QStringLiteral("select * from t"));
        q.Open();
        const auto rowsPerFetch = static_cast<SQLULEN>(q.LastRowArraySize());
        long long bareRows = 0;
        QString cTypes;
        const bench::TPairs pairs = bench::RunPairs(
            kPairs,
            [&] {
                q.Close();
                bench::ReturnFreeHeap();
            },
            [&] {
                const auto t0 = TBenchClock::now();
                q.Open();
                return Seconds(t0, TBenchClock::now());
            },
            [&] {
                cTypes.clear();
                return BareFetch(conn, rowsPerFetch, bareRows, &cTypes);
            });
        q.Open();
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
        const double held = static_cast<double>(q.MemoryBytes());
        const int columns = q.FieldCount();
        const double memPerRow = held / static_cast<double>(n);
        const double textPerRow = static_cast<double>(textBytes) / static_cast<double>(n);
        q.Close();
        bench::ReturnFreeHeap();

        const QStringList childArgs = {QString::number(rows), path};
        const bench::TChildPeak ours = bench::PeakInChild(QStringList{QStringLiteral("--peak"), QStringLiteral("query")} + childArgs);
        const bench::TChildPeak bare = bench::PeakInChild(QStringList{QStringLiteral("--peak"), QStringLiteral("bare")} + childArgs);

        std::printf("rows: %lld, columns: %d, rows per block fetch (both): %d\n", n, columns,
                    static_cast<int>(rowsPerFetch));
        std::printf("C types bound by both: %s\n", qPrintable(cTypes));
        bench::PrintPairs("open", "TOdbcQuery::Open", "bare loop", pairs, 1.15);
        bench::PrintCpuPairs("open", pairs);
        std::printf("memory per row: %.1f bytes; display text per row: %.1f bytes; ratio %.3f (target <= 1.3)\n",
                    memPerRow, textPerRow, memPerRow / textPerRow);
        std::printf("peak above the settled start, each side in a child process: query %.1f MB (%.2f x the held "
                    "result), bare loop %.1f MB\n", ours.Above() / 1e6, ours.Above() / ours.held, bare.Above() / 1e6);
        return 0;
    });
}
