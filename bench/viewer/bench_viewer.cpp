// The content viewer on a 1 MB and a 10 MB plain-text cell and a 1 MB RTF
// cell: time from the double-click's action to the text shown plus the end
// of the text reached with Ctrl+End; the slowest page-down step while paging
// through. The baseline is the bare control given the same content shown the
// same way: plain text decoded, RTF parsed and written by the same reader
// into the control's document (no field read, no window), so the ratio is
// the cost of the viewer around it. The two alternate from the same state
// (Pairs.h). Targets: 1 MB within 0.3 s, 10 MB within 2 s.

#include "app/RichEdit.h"
#include "bench/common/Pairs.h"
#include "bench/viewer/BenchText.h"
#include "platform/data/MemDataSet.h"
#include "platform/text/RtfDocument.h"
#include "query/untNotes.h"

#include <QPlainTextEdit>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>

namespace {

struct TFigures {
    double shownMs = 0;
    double endMs = 0;
    double worstPageMs = 0;
};

constexpr int kPageSteps = 40;

// Pages down from the start; the slowest step.
double WorstPageDown(QWidget* box)
{
    bench::Key(box, Qt::Key_Home, Qt::ControlModifier);
    bench::Settle();
    double worst = 0;
    for (int i = 0; i < kPageSteps; ++i) {
        const auto start = bench::Clock::now();
        bench::Key(box, Qt::Key_PageDown);
        bench::Settle();
        worst = std::max(worst, bench::MsSince(start));
    }
    return worst;
}

TFigures Viewer(const QByteArray& content)
{
    TMemDataSet data(QStringLiteral("ADOQuerySql"));
    TColumnStore store;
    store.Reset({{QStringLiteral("NOTE"), ftMemo, 0, 0, 0, false}});
    store.Column(0).AppendBytes(std::string_view(content.constData(), std::size_t(content.size())));
    data.SetData(std::move(store));
    data.Open();

    TFigures f;
    auto start = bench::Clock::now();
    OpenNotes(data, *data.Fields(0));
    bench::Settle();
    f.shownMs = bench::MsSince(start);
    start = bench::Clock::now();
    bench::Key(frmNotes->reRes, Qt::Key_End, Qt::ControlModifier);
    bench::Settle();
    f.endMs = bench::MsSince(start);
    if (frmNotes->reRes->textCursor().position() != frmNotes->reRes->document()->characterCount() - 1)
        std::fprintf(stderr, "Ctrl+End did not reach the end\n");
    f.worstPageMs = WorstPageDown(frmNotes->reRes);
    delete frmNotes;
    return f;
}

TFigures Baseline(const QByteArray& content)
{
    QPlainTextEdit box;
    box.resize(TfrmNotes::kDesignWidth, TfrmNotes::kDesignHeight - TfrmNotes::kPanelHeight);
    box.setReadOnly(true);
    box.setTextInteractionFlags(Qt::TextSelectableByKeyboard);
    box.show();
    bench::Settle();
    TFigures f;
    auto start = bench::Clock::now();
    if (!ReadRtf(QByteArrayView(content), *box.document()))
        box.setPlainText(DecodePlainText(content));
    bench::Settle();
    f.shownMs = bench::MsSince(start);
    start = bench::Clock::now();
    bench::Key(&box, Qt::Key_End, Qt::ControlModifier);
    bench::Settle();
    f.endMs = bench::MsSince(start);
    f.worstPageMs = WorstPageDown(&box);
    return f;
}

constexpr int kPairs = 5;

void Report(const char* name, const QByteArray& content, double targetMs)
{
    TFigures ours, base;
    double worstOurs = 0, worstBase = 0;
    const bench::TPairs pairs = bench::RunPairs(
        kPairs,
        [] {
            bench::ReturnFreeHeap();
            bench::Settle();
        },
        [&] {
            ours = Viewer(content);
            worstOurs = std::max(worstOurs, ours.worstPageMs);
            return (ours.shownMs + ours.endMs) / 1000.0;
        },
        [&] {
            base = Baseline(content);
            worstBase = std::max(worstBase, base.worstPageMs);
            return (base.shownMs + base.endMs) / 1000.0;
        });
    const bench::TSpread shown = bench::SpreadOf(pairs.a);
    std::printf("%s: shown + Ctrl+End median %.1f ms (%.1f-%.1f), %s the %.0f ms target; worst page-down %.1f ms "
                "(bare %.1f)\n", name, shown.median * 1000, shown.min * 1000, shown.max * 1000,
                shown.median * 1000 <= targetMs ? "within" : "OVER", targetMs, worstOurs, worstBase);
    bench::PrintPairs(name, "viewer", "bare control", pairs);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Warm-up: fonts and the first window.
    Viewer(bench::TextOfSize(10000));
    Report("1 MB text", bench::TextOfSize(1000000), 300);
    Report("10 MB text", bench::TextOfSize(10000000), 2000);
    Report("1 MB RTF", bench::RtfOfSize(1000000), 300);
    return 0;
}
