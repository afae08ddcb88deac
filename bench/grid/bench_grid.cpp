// Repaint and page-down cost of a full-HD result grid over an in-memory
// result, at 1,000 and at 1,000,000 rows. Renders offscreen into a QImage.

#include "grid/dxDBGrid.h"
#include "platform/data/MemDataSet.h"
#include "platform/colors/SysColors.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kFields = 10;

// Cell texts have the same length at every size (7-digit numbers), so the
// two sizes differ only in how many rows stand behind the window.
TColumnStore MakeStore(int rows)
{
    std::vector<TFieldDef> defs;
    for (int i = 0; i < kFields; ++i) {
        if (i % 2 == 0)
            defs.push_back({QStringLiteral("N%1").arg(i), ftInteger, 4, 0, 0, false});
        else
            defs.push_back({QStringLiteral("S%1").arg(i), ftString, 30, 0, 0, false});
    }
    TColumnStore store;
    store.Reset(defs);
    for (int i = 0; i < kFields; ++i)
        store.Column(i).Reserve(static_cast<std::size_t>(rows), i % 2 ? static_cast<std::size_t>(rows) * 16 : 0);
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < kFields; ++i) {
            if (i % 2 == 0)
                store.Column(i).AppendInt(1000000 + (r * 7 + i) % 9000000);
            else
                store.Column(i).AppendBytes(QStringLiteral("value %1/%2").arg(r, 7, 10, QLatin1Char('0')).arg(i).toStdString());
        }
    return store;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct TFigures {
    double repaintMs = 0;
    double pageDownMs = 0;
};

TFigures Measure(int rows)
{
    TMemDataSet data(QStringLiteral("ADOQuerySql"));
    data.SetData(MakeStore(rows));
    TDataSource source;
    source.SetDataSet(&data);
    TdxDBGrid grid;
    grid.setObjectName(QStringLiteral("dxDBGridRes"));
    grid.resize(1920, 1080);
    grid.SetDataSource(&source);
    grid.show();
    data.Open();
    for (int i = 0; i < data.FieldCount(); ++i) {
        TdxDBGridMaskColumn* c = grid.AddColumn();
        c->SetFieldName(data.Fields(i)->FieldName());
        c->SetCaption(data.Fields(i)->FieldName());
        c->SetDisableEditor(true);
        c->SetWidth(200);
    }
    QApplication::processEvents();
    data.SetRecNo(rows / 2);
    QApplication::processEvents();

    QImage img(grid.viewport()->size(), QImage::Format_RGB32);
    using Clock = std::chrono::steady_clock;
    auto ms = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); };

    // Full repaint: the whole viewport invalidated and painted through the
    // window's backing store, as the windowing system would have it done.
    auto paintPending = [] { QApplication::processEvents(); };
    for (int i = 0; i < 5; ++i) {   // warm-up: glyph caches
        grid.viewport()->update();
        paintPending();
    }
    std::vector<double> repaint, page, rendered;
    for (int i = 0; i < 50; ++i) {
        const auto a = Clock::now();
        grid.viewport()->update();
        paintPending();
        repaint.push_back(ms(a, Clock::now()));
    }
    // Page-down: the dataset move, the window scroll and the paint of what
    // it left invalid.
    for (int i = 0; i < 50; ++i) {
        const auto a = Clock::now();
        grid.ScrollVertical(i % 2 ? TScrollCommand::PageUp : TScrollCommand::PageDown);
        paintPending();
        page.push_back(ms(a, Clock::now()));
    }
    // For comparison: painting the whole viewport into an image.
    for (int i = 0; i < 50; ++i) {
        const auto a = Clock::now();
        grid.viewport()->render(&img);
        rendered.push_back(ms(a, Clock::now()));
    }
    std::printf("rows %8d: visible rows %d, full repaint %.3f ms, page down %.3f ms (render into an image %.3f ms)\n",
                rows, grid.VisibleRowCount(), Median(repaint), Median(page), Median(rendered));
    return {Median(repaint), Median(page)};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallClassicScheme();
    if (argc > 1) {   // one size only, for profiling
        Measure(std::max(1, std::atoi(argv[1])));
        return 0;
    }
    const TFigures small = Measure(1000);
    const TFigures large = Measure(1000000);
    std::printf("ratio 1,000,000 / 1,000: repaint %.2f, page down %.2f (target: <= 2 ms and equal at both sizes)\n",
                large.repaintMs / small.repaintMs, large.pageDownMs / small.pageDownMs);
    return 0;
}
