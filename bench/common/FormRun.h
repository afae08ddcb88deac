#pragma once
// The main window driven as a user runs a query, for the benchmarks that
// time the run action (bench_run, bench_tds). Header-only: its users link
// the app library, bench_common does not.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "bench/common/Pairs.h"
#include "bench/common/ProcessMemory.h"
#include "grid/dxDBGrid.h"
#include "platform/core/Failure.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionManager.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>

// Stores `connection` as the program's string and runs "select 1", so the
// window is connected before anything is timed.
inline void ConnectForm(TfrmQA& form, const QString& connection)
{
    {
        TRegistry reg;
        reg.OpenKey(QString::fromUtf16(kConnectionKey), true);
        reg.WriteString(QString::fromUtf16(kConnectionValue), connection);
    }
    ProcessConnectionString().clear();
    form.show();
    QCoreApplication::processEvents();
    form.reQuery->setPlainText(QStringLiteral("select 1"));
    form.bQueryClick(form.bQuery);
}

// One press of "Запрос" with `sql` in the editor, until the grid is painted;
// seconds. A failed run raises with the memo's text.
inline double RunOnce(TfrmQA& form, const QString& sql)
{
    form.reQuery->setPlainText(sql);
    const auto t0 = TBenchClock::now();
    try {
        form.bQueryClick(form.bQuery);
    } catch (const EAbort&) {
        throw std::runtime_error("the run failed: " + form.MemoRes->toPlainText().toStdString());
    }
    form.dxDBGridRes->viewport()->repaint();
    return Seconds(t0, TBenchClock::now());
}

// The state every side of a pair starts from: no result open, the free heap
// handed back.
inline void ResetForm(TfrmQA& form)
{
    form.ADOQuerySql->Close();
    bench::ReturnFreeHeap();
}

inline TOdbcQuery& QueryOf(TfrmQA& form)
{
    return static_cast<TOdbcQuery&>(*form.ADOQuerySql);
}

// A run benchmark's side ("bare" for the bare loop) once, in its child
// process (Pairs.h): a window connected to `windowConnection`, beside a
// connection to `bareConnection` that only the bare side opens; from a settled heap, either
// `bareFetch(connection)` (returns the rows it read) or one run of `sql` in
// the window. Prints the child's peak line; returns the exit status, 1 when
// the side did not read `rows` rows.
inline int RunSideForPeak(const char* side, long long rows, const QString& windowConnection,
                          const QString& bareConnection, const QString& sql,
                          const std::function<long long(TOdbcConnection&)>& bareFetch)
{
    const bool bareSide = std::strcmp(side, "bare") == 0;
    QTemporaryDir store;
    TRegistry::SetStorePath(store.filePath(QStringLiteral("registry")));
    TfrmQA form;
    ConnectForm(form, windowConnection);
    TOdbcConnection bare(QStringLiteral("bare"));
    if (bareSide) {
        bare.SetConnectionString(bareConnection);
        bare.Open();
    }
    bench::ReturnFreeHeap();
    const double base = static_cast<double>(bench::ResidentBytes());
    long long got = 0;
    double held = 0;
    if (bareSide) {
        got = bareFetch(bare);
    } else {
        RunOnce(form, sql);
        got = QueryOf(form).RecordCount();
        held = static_cast<double>(QueryOf(form).MemoryBytes());
    }
    if (got != rows) {
        std::fprintf(stderr, "%s: %lld rows, not %lld\n", side, got, rows);
        return 1;
    }
    bench::PrintChildPeak(base, held);
    return 0;
}
