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

#include "bench/common/BenchTable.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const int repeats = 3;

    try {
        const QString path = EnsureBenchTable(rows, argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
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
            const auto t0 = TBenchClock::now();
            q.Open();
            const auto t1 = TBenchClock::now();
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
