// bench_run [rows]
//
// The whole run action on the benchmark table: "select * from t" typed into
// the main window's editor and run with the run button's handler, up to the
// grid shown and painted (fetch, walk to the last record, column rebuild,
// first paint), against the bare ODBC block-fetch loop over the same query
// with the query's C types and rows per fetch, in the same process. The two
// alternate from the same state (Pairs.h): the result closed and the free
// heap handed back before every side. Prints the median and spread of the
// per-pair ratios, the memory held, and the peak of each side measured in a
// child process. With BQA_PG_CONN set it also prints the peak of a
// PostgreSQL run of the same shape and the time from Esc to the run ended,
// with a 5,000,000-row PostgreSQL fetch under way.
//
// bench_run --peak run|bare|pg <rows> <file>: one side once, in this process.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "bench/common/BenchTable.h"
#include "bench/common/FormRun.h"
#include "bench/common/Pairs.h"
#include "bench/common/ProcessMemory.h"
#include "grid/dxDBGrid.h"
#include "platform/ui/Application.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace {

constexpr int kPairs = 5;

QString PgTableSql(long long rows)
{
    // The benchmark table's shape, made by the server.
    return QStringLiteral(
        "select g as id, 'name ' || g as name, round((g * 37 % 10000000) / 100.0, 2)::numeric(10,2) as amount,"
        " g % 1000 as qty, timestamp '2017-07-14 02:40:00' + g * interval '61 seconds' as created,"
        " substr('The quick brown fox jumps over the lazy dog ' || lpad((g::bigint * 7919)::text, 16, '0'), 1, 60)"
        "::varchar(60) as note from generate_series(1, %1) g").arg(rows);
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

// The child's side, once, from a settled heap: "run" (the run action over
// SQLite), "bare" (the bare loop beside a connected window), "pg" (the run
// action over BQA_PG_CONN).
int PeakChild(const char* side, long long rows, const QString& path)
{
    const bool pg = std::strcmp(side, "pg") == 0;
    return RunSideForPeak(side, rows,
                          pg ? qEnvironmentVariable("BQA_PG_CONN") : ConnectionString(path), ConnectionString(path),
                          pg ? PgTableSql(rows) : QStringLiteral("select * from t"), [](TOdbcConnection& bare) {
                              long long got = 0;
                              BareFetch(bare, 2048, got);
                              return got;
                          });
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    return bench::Guarded([&]() -> int {
        if (argc > 4 && std::strcmp(argv[1], "--peak") == 0)
            return PeakChild(argv[2], std::atoll(argv[3]), QString::fromLocal8Bit(argv[4]));

        const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
        const QString path = EnsureBenchTable(rows);
        QTemporaryDir store;
        TRegistry::SetStorePath(store.filePath(QStringLiteral("registry")));

        TfrmQA form;
        ConnectForm(form, ConnectionString(path));
        TOdbcConnection bare(QStringLiteral("bare"));
        bare.SetConnectionString(ConnectionString(path));
        bare.Open();
        const QString sql = QStringLiteral("select * from t");
        RunOnce(form, sql);
        const auto rowsPerFetch = static_cast<SQLULEN>(QueryOf(form).LastRowArraySize());
        form.ADOQuerySql->Close();
        bench::ReturnFreeHeap();
        const long long rssClosed = bench::ResidentBytes();

        long long bareRows = 0;
        const bench::TPairs pairs = bench::RunPairs(
            kPairs,
            [&] { ResetForm(form); },
            [&] { return RunOnce(form, sql); },
            [&] { return BareFetch(bare, rowsPerFetch, bareRows); });

        RunOnce(form, sql);
        const long long rssAfter = bench::ResidentBytes();
        TDbQuery& q = *form.ADOQuerySql;
        if (!form.dxDBGridRes->isVisible() || q.RecordCount() != rows || q.RecNo() != rows || bareRows != rows) {
            std::fprintf(stderr, "run did not end on the last of %lld rows (grid %d, records %d, at %d, bare %lld)\n",
                         rows, int(form.dxDBGridRes->isVisible()), q.RecordCount(), q.RecNo(), bareRows);
            return 1;
        }
        const auto held = static_cast<double>(QueryOf(form).MemoryBytes());
        std::printf("rows: %lld, columns: %d, rows per fetch (both): %d, grid rows on screen: %d\n", rows,
                    q.FieldCount(), static_cast<int>(rowsPerFetch), form.dxDBGridRes->VisibleRowCount());
        bench::PrintPairs("run", "run action to the grid painted", "bare loop", pairs, 1.15);
        bench::PrintCpuPairs("run", pairs);
        std::printf("memory held by the result: %.1f MB (%.1f bytes per row); the process's resident memory is "
                    "%.1f MB above the closed state\n", held / 1e6, held / static_cast<double>(rows),
                    static_cast<double>(rssAfter - rssClosed) / 1e6);
        form.ADOQuerySql->Close();
        bench::ReturnFreeHeap();

        const QStringList childArgs = {QString::number(rows), path};
        auto peak = [&](const char* side) {
            return bench::PeakInChild(QStringList{QStringLiteral("--peak"), QString::fromLatin1(side)} + childArgs);
        };
        const bench::TChildPeak ours = peak("run"), base = peak("bare");
        std::printf("peak above the settled start, each side in a child process: run %.1f MB (%.2f x the held "
                    "result, target <= 1.5), bare loop %.1f MB\n", ours.Above() / 1e6, ours.Above() / ours.held,
                    base.Above() / 1e6);

        const QString pg = qEnvironmentVariable("BQA_PG_CONN");
        if (pg.isEmpty()) {
            std::printf("PostgreSQL: skipped (BQA_PG_CONN not set)\n");
        } else {
            const bench::TChildPeak p = peak("pg");
            std::printf("PostgreSQL, the same shape: %.1f MB held, peak %.1f MB above the settled start "
                        "(%.2f x the held result, target <= 1.5)\n", p.held / 1e6, p.Above() / 1e6,
                        p.Above() / p.held);
            constexpr int kEscAfterMs = 1000;
            const double ms = CancelLatencyMs(pg, QStringLiteral("select g, md5(g::text) from generate_series(1, 5000000) g"),
                                              kEscAfterMs);
            if (ms < 0)
                std::printf("Esc to run ended: the run was not cancelled\n");
            else
                std::printf("Esc to run ended, 5,000,000-row PostgreSQL fetch: %.1f ms (target <= 200)\n", ms);
        }
        return 0;
    });
}
