// Export benchmark: the 1,000,000-row table exported to HTML from the grid
// (SaveToHTML, from the call to the file closed), against the sqlite3
// shell's own HTML output of the same query (from its start to its exit),
// in alternating pairs from the same state: no output file, the free heap
// handed back (Pairs.h). Also the display texts alone per field, and the
// peak resident memory the export adds, sampled during one export.
//
// Usage: bench_export [rows]   (not a test; prints times and their ratio)
//        bench_export rows file  (exports once to `file` and stops, to compare
//                                 the bytes of two builds; prints the time
//                                 with its user and system split)

#include "bench/common/BenchTable.h"
#include "bench/common/Pairs.h"
#include "export/dxDBGridExport.h"
#include "grid/dxDBGrid.h"
#include "platform/colors/SysColors.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <sys/resource.h>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kColumnWidth = 200;
constexpr int kPairs = 5;
constexpr double kMiB = 1024.0 * 1024.0;

double SqliteHtml(const QString& db, const QString& out)
{
    QProcess shell;
    shell.setStandardOutputFile(out, QIODevice::Truncate);
    const auto t0 = TBenchClock::now();
    shell.start(QStringLiteral("sqlite3"), {QStringLiteral("-html"), db, QStringLiteral("select * from t")});
    if (!shell.waitForFinished(-1) || shell.exitCode() != 0)
        throw std::runtime_error("sqlite3 failed: " + shell.errorString().toStdString());
    return Seconds(t0, TBenchClock::now());
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    return bench::Guarded([&]() -> int {
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
        if (argc > 2) {
            // The export alone, with the processor time it took in the
            // program and in the system (the file's writes).
            rusage r0{}, r1{};
            getrusage(RUSAGE_SELF, &r0);
            const auto t0 = TBenchClock::now();
            SaveToHTML(grid, QString::fromLocal8Bit(argv[2]));
            const double wall = Seconds(t0, TBenchClock::now());
            getrusage(RUSAGE_SELF, &r1);
            auto cpu = [](const timeval& a, const timeval& b) {
                return static_cast<double>(b.tv_sec - a.tv_sec) + static_cast<double>(b.tv_usec - a.tv_usec) / 1e6;
            };
            std::printf("SaveToHTML %.3f s: user %.3f s, system %.3f s\n", wall, cpu(r0.ru_utime, r1.ru_utime),
                        cpu(r0.ru_stime, r1.ru_stime));
            return 0;
        }

        // The display texts alone, per field: what the export spends before
        // any markup.
        std::vector<double> perField;
        qsizetype chars = 0;
        for (int i = 0; i < query.FieldCount(); ++i) {
            query.DisableControls();
            const auto f0 = TBenchClock::now();
            for (query.First(); !query.Eof(); query.Next())
                chars += query.Fields(i)->DisplayText().size();
            perField.push_back(Seconds(f0, TBenchClock::now()));
            query.EnableControls();
        }

        const bench::TPairs pairs = bench::RunPairs(
            kPairs,
            [&] {
                QFile::remove(ours);
                QFile::remove(theirs);
                bench::ReturnFreeHeap();
            },
            [&] {
                const auto t0 = TBenchClock::now();
                SaveToHTML(grid, ours);
                return Seconds(t0, TBenchClock::now());
            },
            [&] { return SqliteHtml(db, theirs); });

        // One more export with its resident memory sampled.
        QFile::remove(ours);
        bench::ReturnFreeHeap();
        double added = 0, before = 0;
        {
            bench::TResidentSampler sampler;
            SaveToHTML(grid, ours);
            before = sampler.Start();
            added = sampler.Stop() - before;
        }
        const auto oursBytes = static_cast<long long>(QFileInfo(ours).size());
        SqliteHtml(db, theirs);
        const auto theirBytes = static_cast<long long>(QFileInfo(theirs).size());

        std::printf("rows: %lld; export %lld bytes, sqlite3 -html %lld bytes (%.2f x)\n", rows, oursBytes, theirBytes,
                    static_cast<double>(oursBytes) / static_cast<double>(theirBytes));
        double texts = 0;
        for (int i = 0; i < query.FieldCount(); ++i) {
            texts += perField[static_cast<std::size_t>(i)];
            std::printf("  display texts of %-8s %.3f s\n", qPrintable(query.Fields(i)->FieldName()),
                        perField[static_cast<std::size_t>(i)]);
        }
        std::printf("  display texts, all fields: %.3f s, %lld characters\n", texts, static_cast<long long>(chars));
        bench::PrintPairs("HTML export", "SaveToHTML", "sqlite3 -html", pairs, 1.0);
        std::printf("resident memory the export adds (sampled every ms): %.1f MiB above %.1f MiB (target <= 10 MiB)\n",
                    added / kMiB, before / kMiB);
        QFile::remove(ours);
        QFile::remove(theirs);
        return 0;
    });
}
