// Export benchmark: the 1,000,000-row table exported to HTML from the grid,
// against the sqlite3 shell's own HTML output of the same query, timed in
// the same run. Also reports the peak resident memory the export adds.
//
// Usage: bench_export [rows]   (not a test; prints times and their ratio)

#include "bench/common/BenchTable.h"
#include "bench/common/ProcessMemory.h"
#include "export/dxDBGridExport.h"
#include "grid/dxDBGrid.h"
#include "platform/colors/SysColors.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kColumnWidth = 200;
constexpr double kMiB = 1024.0 * 1024.0;

double SqliteHtml(const QString& db, const QString& out)
{
    QProcess shell;
    shell.setStandardOutputFile(out, QIODevice::Truncate);
    const auto t0 = TBenchClock::now();
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-html"), db, QStringLiteral("select * from t")});
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", qPrintable(shell.errorString()));
        std::exit(1);
    }
    return Seconds(t0, TBenchClock::now());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const long long rows = argc > 1 ? std::atoll(argv[1]) : 1000000;
    const QString db = EnsureBenchTable(rows);
    const QString ours = QDir::temp().filePath(QStringLiteral("bqa-bench-export.HTML"));
    const QString theirs = QDir::temp().filePath(QStringLiteral("bqa-bench-export-sqlite3.html"));

    InstallClassicScheme();
    TOdbcConnection conn(QStringLiteral("ADOConnection"));
    conn.SetConnectionString(ConnectionString(db));
    conn.Open();
    TOdbcQuery query(QStringLiteral("ADOQuerySql"), &conn);
    query.SetCommandTimeout(0);
    query.SetSQL(QStringLiteral("select * from t"));
    query.Open();
    query.Last();

    TDataSource source;
    source.SetDataSet(&query);
    TdxDBGrid grid;
    grid.setObjectName(QStringLiteral("dxDBGridRes"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    grid.setFont(font);
    grid.resize(685, 240);
    grid.SetDataSource(&source);
    for (int i = 0; i < query.FieldCount(); ++i) {
        TdxDBGridMaskColumn* c = grid.AddColumn();
        c->SetFieldName(query.Fields(i)->FieldName());
        c->SetCaption(query.Fields(i)->FieldName());
        c->SetWidth(kColumnWidth);
    }
    grid.show();
    QApplication::processEvents();

    // Warm-up of both sides (file cache, code paths), then the timed runs.
    SqliteHtml(db, theirs);
    const double shell = SqliteHtml(db, theirs);

    // The display texts alone: what the export spends before any markup.
    const auto d0 = TBenchClock::now();
    qsizetype chars = 0;
    query.DisableControls();
    for (query.First(); !query.Eof(); query.Next())
        for (int i = 0; i < query.FieldCount(); ++i)
            chars += query.Fields(i)->DisplayText().size();
    query.EnableControls();
    const double texts = Seconds(d0, TBenchClock::now());
    std::vector<double> perField;
    for (int i = 0; i < query.FieldCount(); ++i) {
        query.DisableControls();
        const auto f0 = TBenchClock::now();
        for (query.First(); !query.Eof(); query.Next())
            chars += query.Fields(i)->DisplayText().size();
        perField.push_back(Seconds(f0, TBenchClock::now()));
        query.EnableControls();
    }

    const double rssBefore = static_cast<double>(bench::ResidentBytes());
    bench::ResetPeakResident();
    const auto t0 = TBenchClock::now();
    SaveToHTML(grid, ours);
    const double exported = Seconds(t0, TBenchClock::now());
    const double peak = static_cast<double>(bench::PeakResidentBytes());

    std::printf("rows:                 %lld\n", rows);
    std::printf("export (SaveToHTML):  %.3f s, %lld bytes\n", exported, static_cast<long long>(QFileInfo(ours).size()));
    std::printf("display texts alone:  %.3f s, %lld characters\n", texts, static_cast<long long>(chars));
    for (int i = 0; i < query.FieldCount(); ++i)
        std::printf("  field %-8s       %.3f s\n", qPrintable(query.Fields(i)->FieldName()), perField[static_cast<std::size_t>(i)]);
    std::printf("sqlite3 -html:        %.3f s, %lld bytes\n", shell, static_cast<long long>(QFileInfo(theirs).size()));
    std::printf("ratio export/sqlite3: %.2fx (target <= 1.00x)\n", exported / shell);
    std::printf("peak RSS added:       %.1f MiB (before %.1f MiB, peak %.1f MiB; target <= 10 MiB)\n",
                (peak - rssBefore) / kMiB, rssBefore / kMiB, peak / kMiB);
    QFile::remove(ours);
    QFile::remove(theirs);
    return 0;
}
