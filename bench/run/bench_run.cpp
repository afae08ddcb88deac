// bench_run [rows]
//
// The whole run action on the benchmark table: "select * from t" typed into
// the main window's editor and run with the run button's handler, up to the
// grid shown and painted (fetch, walk to the last record, column rebuild,
// first paint), against the bare ODBC block-fetch loop over the same query
// in the same process. Prints the best of a few runs of each, their ratio,
// the memory held after the query and the peak resident memory during one
// run, and the peak of a run over FreeTDS from a loopback server. With
// BQA_PG_CONN set it also prints the peak of a PostgreSQL run and the time
// from Esc to the run ended, with a 5,000,000-row PostgreSQL fetch under way.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "bench/common/BenchTable.h"
#include "bench/common/ProcessMemory.h"
#include "grid/dxDBGrid.h"
#include "platform/ui/Application.h"
#include "platform/settings/Registry.h"
#include "tests/support/FakeTdsServer.h"
#include "query/ConnectionManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>

namespace {

// Stores `connection` as the one to use and connects `form` with a first run.
void ConnectForm(TfrmQA& form, const QString& connection)
{
    {
        TRegistry reg;
        reg.OpenKey(QString::fromUtf16(kConnectionKey), true);
        reg.WriteString(QString::fromUtf16(kConnectionValue), connection);
    }
    ProcessConnectionString().clear();
    form.show();
    form.reQuery->setPlainText(QStringLiteral("select 1"));
    form.bQueryClick(form.bQuery);
}

// Milliseconds from Esc to the end of a run of `sql` against `pgString`,
// Esc pressed `afterMs` into the run; -1 when the run was not cancelled.
double CancelLatencyMs(const QString& pgString, const QString& sql, int afterMs)
{
    TfrmQA form;
    ConnectForm(form, pgString);
    form.reQuery->setPlainText(sql);
    QElapsedTimer clock;
    qint64 pressedNs = -1;
    QTimer::singleShot(afterMs, &form, [&] {
        pressedNs = clock.nsecsElapsed();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(form.reQuery, &press);
    });
    clock.start();
    try {
        form.bQueryClick(form.bQuery);
    } catch (const EAbort&) {
    }
    const qint64 endNs = clock.nsecsElapsed();
    if (pressedNs < 0 || !form.MemoRes->toPlainText().startsWith(QStringLiteral("Запрос прерван пользователем.")))
        return -1;
    return static_cast<double>(endNs - pressedNs) / 1e6;
}

struct TPeak {
    double held = 0;       // bytes the result holds
    double aboveClosed = 0;  // peak resident bytes above the state with no result open
    double seconds = 0;      // the run, to the grid painted
};

// The peak resident memory of one run of `sql` against `connection`.
TPeak PeakOfRun(const QString& connection, const QString& sql, int expectedRows);

// One press of "Запрос" with `sql` in the editor, until the grid is painted.
double RunOnce(TfrmQA& form, const QString& sql)
{
    form.reQuery->setPlainText(sql);
    const auto t0 = TBenchClock::now();
    form.bQueryClick(form.bQuery);
    form.dxDBGridRes->viewport()->repaint();
    const auto t1 = TBenchClock::now();
    return Seconds(t0, t1);
}

TPeak PeakOfRun(const QString& connection, const QString& sql, int expectedRows)
{
    TfrmQA form;
    ConnectForm(form, connection);
    malloc_trim(0);
    const long long closed = bench::ResidentBytes();
    bench::ResetPeakResident();
    double seconds = 0;
    try {
        seconds = RunOnce(form, sql);
    } catch (const EAbort&) {
        throw Exception(QStringLiteral("the run failed: ") + form.MemoRes->toPlainText());
    }
    const long long peak = bench::PeakResidentBytes();
    auto& q = static_cast<TOdbcQuery&>(*form.ADOQuerySql);
    if (q.RecordCount() != expectedRows)
        throw Exception(QStringLiteral("the run ended with %1 rows, not %2").arg(q.RecordCount()).arg(expectedRows));
    return {static_cast<double>(q.MemoryBytes()), static_cast<double>(peak - closed), seconds};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const int repeats = 3;

    try {
        const QString path = EnsureBenchTable(rows);
        QTemporaryDir store;
        TRegistry::SetStorePath(store.filePath(QStringLiteral("registry")));
        {
            TRegistry reg;
            reg.OpenKey(QString::fromUtf16(kConnectionKey), true);
            reg.WriteString(QString::fromUtf16(kConnectionValue), ConnectionString(path));
        }

        TfrmQA form;
        form.show();
        QCoreApplication::processEvents();
        RunOnce(form, QStringLiteral("select 1"));   // connects
        const long long rssBefore = bench::ResidentBytes();

        TOdbcConnection bare(QStringLiteral("bare"));
        bare.SetConnectionString(ConnectionString(path));
        bare.Open();
        long long bareRows = 0;
        constexpr SQLULEN kBareBlockRows = 2048;
        // Untimed first runs: the first statement pays for the driver's heap.
        RunOnce(form, QStringLiteral("select * from t"));
        BareFetch(bare, kBareBlockRows, bareRows);

        double bestRun = 1e99, bestBare = 1e99;
        for (int i = 0; i < repeats; ++i) {
            bestRun = std::min(bestRun, RunOnce(form, QStringLiteral("select * from t")));
            bestBare = std::min(bestBare, BareFetch(bare, kBareBlockRows, bareRows));
        }
        malloc_trim(0);   // what the bare loops left behind
        form.ADOQuerySql->Close();
        malloc_trim(0);
        const long long rssClosed = bench::ResidentBytes();
        bench::ResetPeakResident();
        RunOnce(form, QStringLiteral("select * from t"));
        const long long peak = bench::PeakResidentBytes();
        const long long rssAfter = bench::ResidentBytes();

        TDbQuery& q = *form.ADOQuerySql;
        if (!form.dxDBGridRes->isVisible() || q.RecordCount() != rows || q.RecNo() != rows || bareRows != rows) {
            std::fprintf(stderr, "run did not end on the last of %lld rows (grid %d, records %d, at %d, bare %lld)\n",
                         rows, int(form.dxDBGridRes->isVisible()), q.RecordCount(), q.RecNo(), bareRows);
            return 1;
        }
        const auto held = static_cast<double>(static_cast<TOdbcQuery&>(q).MemoryBytes());
        std::printf("rows: %lld, columns: %d, grid rows on screen: %d\n", rows, q.FieldCount(),
                    form.dxDBGridRes->VisibleRowCount());
        std::printf("run action to the grid painted (best of %d): %.3f s\n", repeats, bestRun);
        std::printf("bare block fetch, %d rows per fetch (best of %d): %.3f s\n",
                    static_cast<int>(kBareBlockRows), repeats, bestBare);
        std::printf("time ratio: %.3f (target <= 1.15)\n", bestRun / bestBare);
        std::printf("memory held by the result: %.1f MB (%.1f bytes per row); the process's resident memory is "
                    "%.1f MB above what it was with no result open\n",
                    held / 1e6, held / static_cast<double>(rows), static_cast<double>(rssAfter - rssBefore) / 1e6);
        if (peak > 0)
            std::printf("peak resident memory during the run: %.1f MB above the closed state (%.2f x the held result)\n",
                        static_cast<double>(peak - rssClosed) / 1e6, static_cast<double>(peak - rssClosed) / held);

        {
            // FreeTDS against a loopback server of the benchmark's own that
            // streams the rows as it makes them (it holds none of them).
            const TFakeTdsServer tds;
            const TPeak p = PeakOfRun(QString::fromStdString(tds.ConnectionString()),
                                      QStringLiteral("select rows %1").arg(rows), static_cast<int>(rows));
            std::printf("FreeTDS, an int and an nvarchar(60): %.3f s, %.1f MB held, peak %.1f MB above the closed "
                        "state (%.2f x the held result, target <= 1.5)\n", p.seconds, p.held / 1e6,
                        p.aboveClosed / 1e6, p.aboveClosed / p.held);
        }

        const QString pg = qEnvironmentVariable("BQA_PG_CONN");
        if (pg.isEmpty()) {
            std::printf("Esc to run ended: skipped (BQA_PG_CONN not set)\n");
        } else {
            // The benchmark table's shape, made by the server.
            const TPeak p = PeakOfRun(pg, QStringLiteral(
                "select g as id, 'name ' || g as name, round((g * 37 % 10000000) / 100.0, 2)::numeric(10,2) as amount,"
                " g % 1000 as qty, timestamp '2017-07-14 02:40:00' + g * interval '61 seconds' as created,"
                " substr('The quick brown fox jumps over the lazy dog ' || lpad((g::bigint * 7919)::text, 16, '0'), 1, 60)"
                "::varchar(60) as note from generate_series(1, %1) g").arg(rows), static_cast<int>(rows));
            std::printf("PostgreSQL, the same shape: %.3f s, %.1f MB held, peak %.1f MB above the closed state "
                        "(%.2f x the held result, target <= 1.5)\n", p.seconds, p.held / 1e6, p.aboveClosed / 1e6,
                        p.aboveClosed / p.held);
            constexpr int kEscAfterMs = 1000;
            const double ms = CancelLatencyMs(pg, QStringLiteral("select g, md5(g::text) from generate_series(1, 5000000) g"),
                                              kEscAfterMs);
            if (ms < 0)
                std::printf("Esc to run ended: the run was not cancelled\n");
            else
                std::printf("Esc to run ended, 5,000,000-row PostgreSQL fetch: %.1f ms (target <= 200)\n", ms);
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.Message()));
        return 1;
    }
    return 0;
}
