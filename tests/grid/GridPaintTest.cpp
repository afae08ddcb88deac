// Rendering the grid offscreen: metrics measured from real fonts, the focused
// cell, its frame, grid lines, text placement, header captions and clipping.

#include "tests/grid/GridTestSupport.h"
#include "grid/GridPainter.h"

#include <QScreen>
#include <QScrollBar>

#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Classic scheme colours, 0xRRGGBB.
const QRgb kNavy = 0x000080;
const QRgb kWhite = 0xFFFFFF;
const QRgb kFace = 0xC0C0C0;

QImage Render(TdxDBGrid& g)
{
    QImage img(g.viewport()->size(), QImage::Format_RGB32);
    img.fill(Qt::magenta);
    g.viewport()->render(&img);
    return img;
}

QRgb Px(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }
QRgb Invert(QRgb c) { return (~c) & 0xFFFFFF; }

void Focus(TdxDBGrid& g, bool on)
{
    if (on) {
        g.activateWindow();
        QApplication::setActiveWindow(&g);
        g.setFocus(Qt::OtherFocusReason);
        (void)QTest::qWaitForWindowActive(&g);
    } else {
        g.clearFocus();
    }
    QApplication::processEvents();
}

} // namespace

TEST(GridPaintMetrics, MeasuredFontsGiveTheDocumentedHeights)
{
    TGridFixture f(3);
    const std::optional<QFont> f13 = FontWithTextHeight(13);
    if (!f13)
        GTEST_SKIP() << "no font size with a 13-pixel line height";
    f.grid->setFont(*f13);
    EXPECT_EQ(QFontMetrics(f.grid->HeaderFont()).height(), 13);
    EXPECT_EQ(f.grid->Metrics().headerRowHeight, 19);
    EXPECT_EQ(f.grid->DefaultRowHeight(), 17);

    const std::optional<QFont> f10 = FontWithTextHeight(10);
    if (!f10)
        GTEST_SKIP() << "no font size with a 10-pixel line height";
    f.grid->setFont(*f10);
    EXPECT_EQ(f.grid->DefaultRowHeight(), 17);
    EXPECT_EQ(f.grid->Metrics().headerRowHeight, 16);

    // A larger font enlarges both.
    QFont big = *f13;
    big.setPixelSize(f13->pixelSize() * 2);
    f.grid->setFont(big);
    EXPECT_GT(f.grid->Metrics().headerRowHeight, 19);
    EXPECT_GT(f.grid->DefaultRowHeight(), 17);
}

class GridPaint : public ::testing::Test {
protected:
    GridPaint() : f(20, QSize(500, 250))
    {
        f.data.Open();
        f.Rebuild();
        QApplication::processEvents();
    }
    TGridFixture f;
};

TEST_F(GridPaint, FocusedCellKeepsItsColoursAndChangesItsFrame)
{
    TdxDBGrid& g = *f.grid;
    const TGridLayout l = g.ComputeLayout();
    const QRect cell = l.CellRect(0, 0);   // focused row 0, focused column 0

    Focus(g, true);
    ASSERT_TRUE(g.GridFocused());
    QImage img = Render(g);
    // Inside, left of the right-aligned number: the highlight colour.
    EXPECT_EQ(Px(img, cell.left() + 10, cell.top() + cell.height() / 2), kNavy);
    // Dotted frame: every other border pixel inverted.
    EXPECT_EQ(Px(img, cell.left(), cell.top()), Invert(kNavy));
    EXPECT_EQ(Px(img, cell.left() + 1, cell.top()), kNavy);
    EXPECT_EQ(Px(img, cell.left() + 2, cell.top()), Invert(kNavy));
    // Other cells are unselected.
    EXPECT_EQ(Px(img, l.CellRect(1, 0).left() + 10, l.CellRect(1, 0).top() + 5), kWhite);
    EXPECT_EQ(Px(img, l.CellRect(0, 1).right() - 5, l.CellRect(0, 1).top() + 5), kWhite);

    Focus(g, false);
    ASSERT_FALSE(g.GridFocused());
    img = Render(g);
    EXPECT_EQ(Px(img, cell.left() + 10, cell.top() + cell.height() / 2), kNavy);   // HideSelectionColor
    // Solid inverted frame on all four edges, the corners inverted once.
    for (int x = cell.left(); x <= cell.right(); ++x) {
        EXPECT_EQ(Px(img, x, cell.top()), Invert(kNavy)) << x;
        EXPECT_EQ(Px(img, x, cell.bottom()), Invert(kNavy)) << x;
    }
    for (int y = cell.top(); y <= cell.bottom(); ++y) {
        EXPECT_EQ(Px(img, cell.left(), y), Invert(kNavy)) << y;
        EXPECT_EQ(Px(img, cell.right(), y), Invert(kNavy)) << y;
    }
    EXPECT_EQ(Px(img, cell.left() + 1, cell.top() + 1), kNavy);

    g.SetHideFocusRect(true);
    img = Render(g);
    EXPECT_EQ(Px(img, cell.left(), cell.top()), kNavy);
}

TEST_F(GridPaint, GridLinesHeaderFaceAndEmptyArea)
{
    TdxDBGrid& g = *f.grid;
    const TGridLayout l = g.ComputeLayout();
    const QImage img = Render(g);
    const TColumnSpan& c0 = l.columns[0];
    const QRect row1 = l.RowRect(1);
    // Vertical line at the right of each cell, horizontal along each row bottom.
    EXPECT_EQ(Px(img, c0.right - 1, row1.top() + 5), kFace);
    EXPECT_EQ(Px(img, c0.left + 50, row1.bottom()), kFace);
    // Header face, inside the caption-free right part of the cell.
    const QRect h0 = l.HeaderCellRect(0);
    EXPECT_EQ(Px(img, h0.right() - 10, h0.center().y()), kFace);
    EXPECT_EQ(Px(img, h0.left(), h0.top()), kWhite);                   // lit edge
    EXPECT_EQ(Px(img, h0.right(), h0.center().y()), GetSysColor(COLOR_3DDKSHADOW).rgb() & 0xFFFFFF);   // dark outer edge

    // Right of the content: empty area in the window colour.
    if (l.ContentRight() < l.dataArea.right()) {
        EXPECT_EQ(Px(img, l.dataArea.right() - 1, row1.top() + 5), kWhite);
    }

    // A pure black button face draws the lines in the button shadow colour.
    SetSysColor(COLOR_BTNFACE, QColor(0, 0, 0));
    EXPECT_EQ(g.EffectiveGridLineColor(), QColor(0x80, 0x80, 0x80));
    const QImage dark = Render(g);
    EXPECT_EQ(Px(dark, c0.right - 1, row1.top() + 5), qRgb(0x80, 0x80, 0x80) & 0xFFFFFF);
    InstallClassicScheme();
    g.SetGridLineColor(TColor::Rgb(255, 0, 0));
    EXPECT_EQ(Px(Render(g), c0.right - 1, row1.top() + 5), qRgb(255, 0, 0) & 0xFFFFFF);
}

TEST_F(GridPaint, RightAlignedNumberSitsTwoPixelsFromTheLine)
{
    TdxDBGrid& g = *f.grid;
    const TGridLayout l = g.ComputeLayout();
    const QImage img = Render(g);
    const int row = 2;   // unfocused; shows "3" in the ID column
    const QRect cell = l.CellRect(row, 0);
    ASSERT_EQ(g.NodeCellText(row, 0), QStringLiteral("3"));

    // The same text drawn at the documented place on a blank cell.
    const QFontMetrics fm(g.font());
    QImage expected(img.size(), QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        QPainter p(&expected);
        p.setFont(g.font());
        p.setPen(Qt::black);
        const int lineX = l.columns[0].right - 1;
        p.drawText(lineX - 2 - fm.horizontalAdvance(QStringLiteral("3")), cell.top() + 1 + fm.ascent(), QStringLiteral("3"));
    }
    int inked = 0;
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x) {
            ASSERT_EQ(Px(img, x, y), Px(expected, x, y)) << x << "," << y;
            inked += Px(img, x, y) != kWhite;
        }
    EXPECT_GT(inked, 0);

    // Left-aligned text starts 2 pixels from the cell's left edge.
    const QRect nameCell = l.CellRect(row, 1);
    int leftmost = nameCell.right();
    for (int y = nameCell.top(); y <= nameCell.bottom(); ++y)
        for (int x = nameCell.left(); x <= nameCell.right(); ++x)
            if (Px(img, x, y) != kWhite)
                leftmost = std::min(leftmost, x);
    EXPECT_GE(leftmost, nameCell.left() + 2);
    EXPECT_LE(leftmost, nameCell.left() + 2 + fm.leftBearing(QLatin1Char('n')) + 2);
}

TEST_F(GridPaint, WideCaptionEndsInDotsWithinItsCell)
{
    TdxDBGrid& g = *f.grid;
    const QString wide = QStringLiteral("ThisCaptionIsWayTooLongToFitIntoTwoHundredPixelsOfHeader");
    ASSERT_GT(QFontMetrics(g.HeaderFont()).horizontalAdvance(wide), 200);
    g.Columns(0)->SetCaption(wide);
    const TGridLayout l = g.ComputeLayout();
    const QRect h0 = l.HeaderCellRect(0);
    const QRect h1 = l.HeaderCellRect(1);
    const QImage img = Render(g);

    // The shown text is the cut caption with dots; its ink ends where that
    // text ends, inside the content rectangle.
    const QFontMetrics fm(g.HeaderFont());
    const QRect content = h0.adjusted(1, 1, -1, -2);
    const QString shown = ElideEnd(fm, wide, content.width());
    ASSERT_TRUE(shown.endsWith(QStringLiteral("...")));
    const int textEnd = content.left() + fm.horizontalAdvance(shown);
    int rightmost = -1;
    for (int y = content.top(); y <= content.bottom(); ++y)
        for (int x = content.left() + 1; x < content.right(); ++x)
            if (qGray(img.pixel(x, y)) < 0x90)   // text ink, antialiased or not
                rightmost = std::max(rightmost, x);
    EXPECT_LE(rightmost, std::min(textEnd, content.right()));
    EXPECT_GE(rightmost, textEnd - 4);
    // Single line: no ink in the next header cell apart from its own caption.
    for (int y = h1.top() + 2; y < h1.bottom() - 2; ++y)
        EXPECT_NE(Px(img, h1.left() + 1, y), 0u);
}

TEST(GridPaintLayout, TenColumnsInA685PixelGridShowFour)
{
    TGridFixture f(20, QSize(685, 250));
    f.data.Open();
    f.Rebuild();
    // Ten columns of the program's width.
    f.grid->ClearColumns();
    for (int i = 0; i < 10; ++i) {
        TdxDBGridMaskColumn* c = f.grid->AddColumn();
        c->SetFieldName(i % 2 ? QStringLiteral("NAME") : QStringLiteral("ID"));
        c->SetWidth(200);
    }
    QApplication::processEvents();
    const TGridLayout l = f.grid->ComputeLayout();
    EXPECT_EQ(l.FirstShownColumn(), 0);
    EXPECT_EQ(l.EndShownColumn(), 4);
    EXPECT_LT(l.columns[3].left, l.dataArea.right());
    EXPECT_GT(l.columns[3].right, l.dataArea.right());
    EXPECT_EQ(l.contentWidth, 2000);
    EXPECT_TRUE(f.grid->horizontalScrollBar()->isVisible());
    EXPECT_EQ(f.grid->horizontalScrollBar()->maximum(), 2000 - l.dataArea.width());

    // The fourth column's cells are painted up to the edge.
    const QImage img = Render(*f.grid);
    const QRect header3 = l.HeaderCellRect(3);
    EXPECT_EQ(Px(img, l.dataArea.right(), header3.center().y()), kFace);

    // LeftCoord shifts the band.
    f.grid->SetLeftCoord(250);
    const TGridLayout s = f.grid->ComputeLayout();
    EXPECT_EQ(s.FirstShownColumn(), 1);
    EXPECT_EQ(s.columns[1].left, l.dataArea.left() - 50);
}

TEST_F(GridPaint, LineBreaksInACellArePaintedAsMarks)
{
    TdxDBGrid& g = *f.grid;
    TdxDBGridColumn* name = g.Columns(1);
    const QRect cell = g.ComputeLayout().CellRect(2, 1);
    auto paintedAs = [&](const QString& text) {
        name->SetOnGetText([text](TdxDBGridColumn*, int node, QString& t) {
            if (node == 2)
                t = text;
        });
        return Render(g).copy(cell);
    };
    const QImage broken = paintedAs(QStringLiteral("Line 1\nLine 2"));
    EXPECT_EQ(broken, paintedAs(QStringLiteral("Line 1") + QChar(kLineBreakMark) + QStringLiteral("Line 2")));
    EXPECT_NE(broken, paintedAs(QStringLiteral("Line 1Line 2")));
    name->SetOnGetText({});
}

TEST_F(GridPaint, SizingLineAndDropMarksArePaintedOverTheGrid)
{
    TdxDBGrid& g = *f.grid;
    const TGridLayout l = g.ComputeLayout();
    const int x = 150;                                  // inside column 0, on white cells
    const int y = l.CellRect(3, 0).top() + 3;
    ASSERT_EQ(Px(Render(g), x, y), kWhite);
    g.SetSizingLine(x);
    QImage img = Render(g);
    EXPECT_EQ(Px(img, x, y), Invert(kWhite));
    EXPECT_EQ(Px(img, x, l.headerPanel.center().y()), Invert(kFace));
    EXPECT_EQ(Px(img, x + 1, y), kWhite);
    g.SetSizingLine(-1);
    EXPECT_EQ(Px(Render(g), x, y), kWhite);

    const int edge = l.columns[1].left;
    g.SetDropMark(edge);
    img = Render(g);
    const QRgb green = 0x00FF00;
    EXPECT_EQ(Px(img, edge, l.headerPanel.top() + 1), green);
    EXPECT_EQ(Px(img, edge, l.headerPanel.bottom() - 1), green);
    g.SetDropMark(-1);
    EXPECT_NE(Px(Render(g), edge, l.headerPanel.top() + 1), green);
}

TEST(GridPaintLayout, EmptyResultShowsHeaderAndOneEmptyRow)
{
    TGridFixture f(0, QSize(500, 200));
    f.data.Open();
    f.Rebuild();
    QApplication::processEvents();
    TdxDBGrid& g = *f.grid;
    EXPECT_EQ(g.NodeCount(), 1);
    const TGridLayout l = g.ComputeLayout();
    const QImage img = Render(g);
    const QRect row0 = l.RowRect(0);
    // The one row has its grid line; nothing else in the data area.
    EXPECT_EQ(Px(img, l.columns[0].left + 100, row0.bottom()), kFace);
    EXPECT_EQ(Px(img, l.columns[0].left + 100, row0.bottom() + 5), kWhite);
    // Header caption drawn: some ink in the first header cell.
    const QRect h0 = l.HeaderCellRect(0);
    bool ink = false;
    for (int x = h0.left() + 2; x < h0.left() + 40 && !ink; ++x)
        for (int y = h0.top() + 2; y < h0.bottom() - 2 && !ink; ++y)
            ink = Px(img, x, y) == 0;
    EXPECT_TRUE(ink);
}

namespace {

// What the screen shows of the grid's viewport after pending paints ran.
QImage OnScreen(TdxDBGrid& g)
{
    QApplication::processEvents();
    QScreen* screen = g.screen();
    if (!screen)
        return {};
    const QPoint at = g.viewport()->mapTo(&g, QPoint(0, 0));
    return screen->grabWindow(g.winId(), at.x(), at.y(), g.viewport()->width(), g.viewport()->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// Empty when the screen can be compared with a full paint here; else why not.
QString WhyScreenUnusable(TdxDBGrid& g)
{
    const QImage start = OnScreen(g);
    if (start.isNull() || start.size() != g.viewport()->size())
        return QStringLiteral("this platform cannot grab the window");
    if (start != Render(g))
        return QStringLiteral("screen content is not the backing store here");
    return {};
}

} // namespace

// What the screen shows after incremental updates (scrolled rows, two focus
// rows repainted) equals a fresh full paint.
TEST(GridPaintIncremental, ScrolledUpdatesMatchAFullRepaint)
{
    TGridFixture f(200, QSize(400, 200));
    f.data.Open();
    f.Rebuild();
    TdxDBGrid& g = *f.grid;
    auto onScreen = [&] { return OnScreen(g); };
    if (const QString why = WhyScreenUnusable(g); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();

    // Forward past the window's bottom edge, one and several rows, then back.
    const int visible = g.VisibleRowCount();
    for (int step : {visible, 1, 1, 3, -1, -visible, -2, visible + 5}) {
        f.data.MoveBy(step);
        EXPECT_EQ(onScreen(), Render(g)) << "after MoveBy(" << step << ")";
    }
}

// A data area that is not a whole number of rows: the partly visible row
// below the window stays empty while the window scrolls either way.
TEST(GridPaintIncremental, PartlyVisibleRowStaysEmptyWhileScrolling)
{
    TGridFixture f(200, QSize(400, 210));
    f.data.Open();
    f.Rebuild();
    TdxDBGrid& g = *f.grid;
    auto onScreen = [&] { return OnScreen(g); };
    if (const QString why = WhyScreenUnusable(g); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const TGridLayout l = g.ComputeLayout();
    ASSERT_NE(l.dataArea.height() % l.rowHeight, 0) << "the test needs a partly visible row";
    ASSERT_GT(g.PartialRowCount(), g.VisibleRowCount());

    // Into the middle, to the window's top row, then back one row at a time
    // (the window moves down) and forward again.
    f.data.MoveBy(50);
    f.data.MoveBy(-(g.VisibleRowCount() - 1));
    (void)onScreen();
    for (int step : {-1, -1, -3, 1, 2}) {
        f.data.MoveBy(step);
        EXPECT_EQ(onScreen(), Render(g)) << "after MoveBy(" << step << ")";
    }
}

// Jumps to either end and by record number change the whole window: the
// data area is repainted, the header kept, and the screen equals a full
// paint, the partly visible row below the window included.
TEST(GridPaintIncremental, JumpsAcrossTheResultMatchAFullRepaint)
{
    TGridFixture f(500, QSize(400, 210));
    f.data.Open();
    f.Rebuild();
    TdxDBGrid& g = *f.grid;
    if (const QString why = WhyScreenUnusable(g); !why.isEmpty())
        GTEST_SKIP() << why.toStdString();
    const QRect header = g.ComputeLayout().headerPanel;
    const QImage headerBefore = OnScreen(g).copy(header);

    f.data.Last();
    EXPECT_EQ(OnScreen(g), Render(g)) << "after Last";
    f.data.SetRecNo(250);
    EXPECT_EQ(OnScreen(g), Render(g)) << "after SetRecNo(250)";
    f.data.First();
    EXPECT_EQ(OnScreen(g), Render(g)) << "after First";
    EXPECT_EQ(OnScreen(g).copy(header), headerBefore);
}
