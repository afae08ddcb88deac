// The content viewer on a 1 MB and a 10 MB plain-text cell and a 1 MB RTF
// cell: time from the double-click's action to the text shown, and from
// there to the end of the text reached with Ctrl+End; the slowest page-down
// step while paging through. The baseline, measured in the same run, is the
// bare control given the decoded text (no field read, no RTF attempt, no
// window). Targets: 1 MB within 0.3 s, 10 MB within 2 s.

#include "app/RichEdit.h"
#include "bench/viewer/BenchText.h"
#include "platform/data/MemDataSet.h"
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
    const QString text = DecodePlainText(content);
    QPlainTextEdit box;
    box.resize(TfrmNotes::kDesignWidth, TfrmNotes::kDesignHeight - TfrmNotes::kPanelHeight);
    box.setReadOnly(true);
    box.setTextInteractionFlags(Qt::TextSelectableByKeyboard);
    box.show();
    bench::Settle();
    TFigures f;
    auto start = bench::Clock::now();
    box.setPlainText(text);
    bench::Settle();
    f.shownMs = bench::MsSince(start);
    start = bench::Clock::now();
    bench::Key(&box, Qt::Key_End, Qt::ControlModifier);
    bench::Settle();
    f.endMs = bench::MsSince(start);
    f.worstPageMs = WorstPageDown(&box);
    return f;
}

void Report(const char* name, const QByteArray& content, double targetMs)
{
    const TFigures base = Baseline(content);
    const TFigures ours = Viewer(content);
    std::printf("%-10s shown %8.1f ms (bare %8.1f, x%.2f)  Ctrl+End %7.1f ms (bare %7.1f)  "
                "worst page-down %6.1f ms (bare %6.1f)  shown+end %s the %.0f ms target\n",
                name, ours.shownMs, base.shownMs, ours.shownMs / std::max(base.shownMs, 0.001), ours.endMs, base.endMs,
                ours.worstPageMs, base.worstPageMs, ours.shownMs + ours.endMs <= targetMs ? "within" : "OVER", targetMs);
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
