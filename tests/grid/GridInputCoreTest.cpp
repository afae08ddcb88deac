// The pure arithmetic of grid input: hit zones, sizing and dropping columns,
// page keys, the horizontal offset and its bar, the wheel, auto-scroll and
// the clipboard rows.

#include "grid/GridHitTest.h"
#include "grid/GridNavigation.h"

#include <gtest/gtest.h>

namespace {

// The design values these rules are written in.
constexpr int kHeader = 19;        // header row with a 13-pixel font
constexpr int kRow = 17;           // data row, grid line included
constexpr int kMinWidth = 20;
constexpr int kNotch = 120;

TGridLayout Layout(std::vector<int> widths, int leftCoord = 0, QRect client = QRect(0, 0, 500, 200))
{
    TMetricsInput in;
    in.headerTextHeight = 13;
    in.dataTextHeight = 13;
    return ComputeGridLayout(client, ComputeGridMetrics(in), widths, leftCoord);
}

} // namespace

TEST(GridHitTest, ZonesOfHeaderRowsAndEmptyArea)
{
    const TGridLayout l = Layout({100, 100});
    ASSERT_EQ(l.rowHeight, kRow);
    const std::vector<bool> sizable{true, true};
    const int rows = 3;

    EXPECT_EQ(GridHitTest(l, {-1, 5}, rows, sizable).zone, hzOutside);
    EXPECT_EQ(GridHitTest(l, {500, 5}, rows, sizable).zone, hzOutside);

    TGridHitInfo h = GridHitTest(l, {50, 5}, rows, sizable);
    EXPECT_EQ(h.zone, hzHeader);
    EXPECT_EQ(h.column, 0);
    // The edge zone: four pixels either side of the right edge, the column
    // being the one whose edge it is.
    for (int x : {96, 99, 100, 103}) {
        h = GridHitTest(l, {x, 5}, rows, sizable);
        EXPECT_EQ(h.zone, hzColumnEdge) << x;
        EXPECT_EQ(h.column, 0) << x;
    }
    EXPECT_EQ(GridHitTest(l, {95, 5}, rows, sizable).zone, hzHeader);
    EXPECT_EQ(GridHitTest(l, {104, 5}, rows, sizable).column, 1);
    // Beyond the last column's end: still its edge, then nothing.
    EXPECT_EQ(GridHitTest(l, {202, 5}, rows, sizable).zone, hzColumnEdge);
    EXPECT_EQ(GridHitTest(l, {202, 5}, rows, sizable).column, 1);
    EXPECT_EQ(GridHitTest(l, {260, 5}, rows, sizable).zone, hzNowhere);
    // A column that may not be sized has no edge zone.
    EXPECT_EQ(GridHitTest(l, {99, 5}, rows, {false, true}).zone, hzHeader);

    h = GridHitTest(l, {150, kHeader + kRow + 3}, rows, sizable);
    EXPECT_EQ(h.zone, hzCell);
    EXPECT_EQ(h.node, 1);
    EXPECT_EQ(h.column, 1);
    h = GridHitTest(l, {300, kHeader + 3}, rows, sizable);
    EXPECT_EQ(h.zone, hzRowRest);
    EXPECT_EQ(h.node, 0);
    EXPECT_EQ(h.column, -1);
    // Below the last row holding a node.
    EXPECT_EQ(GridHitTest(l, {50, kHeader + rows * kRow + 1}, rows, sizable).zone, hzNowhere);
}

TEST(GridHitTest, ScrolledColumnsAreFoundWhereTheyArePainted)
{
    const TGridLayout l = Layout({200, 200, 200}, 250);
    const TGridHitInfo h = GridHitTest(l, {10, kHeader + 2}, 1, {true, true, true});
    EXPECT_EQ(h.zone, hzCell);
    EXPECT_EQ(h.column, 1);   // column 1 spans [-50, 150)
}

TEST(GridMouseRules, SizingStopsAtTheMinimumAndInsideTheClient)
{
    const int left = 100;
    EXPECT_EQ(SizedWidth(ClampSizingLine(0, left, kMinWidth, 500), left), kMinWidth);
    EXPECT_EQ(SizedWidth(ClampSizingLine(180, left, kMinWidth, 500), left), 81);
    EXPECT_EQ(ClampSizingLine(900, left, kMinWidth, 500), 499);
}

TEST(GridMouseRules, DragStartsBeyondFivePixels)
{
    EXPECT_FALSE(DragStarted({10, 10}, {15, 15}));
    EXPECT_TRUE(DragStarted({10, 10}, {16, 10}));
    EXPECT_TRUE(DragStarted({10, 10}, {10, 4}));
}

TEST(GridMouseRules, DropPositions)
{
    const TGridLayout l = Layout({100, 100, 100});
    const int y = 5;
    // Left half of column 2: before it, so column 0 lands at position 1.
    TColumnDrop d = ColumnDropAt(l, {240, y}, 0);
    EXPECT_EQ(d.position, 1);
    EXPECT_EQ(d.markX, 200);
    // Right half of column 2: after it.
    EXPECT_EQ(ColumnDropAt(l, {260, y}, 0).position, 2);
    // Right of the last header: last.
    EXPECT_EQ(ColumnDropAt(l, {400, y}, 0).position, 2);
    EXPECT_EQ(ColumnDropAt(l, {400, y}, 0).markX, 300);
    // Moving right to left.
    EXPECT_EQ(ColumnDropAt(l, {20, y}, 2).position, 0);
    // Its own header, or the touching side of a neighbour: the order stays.
    EXPECT_EQ(ColumnDropAt(l, {150, y}, 1).position, -1);
    EXPECT_EQ(ColumnDropAt(l, {80, y}, 1).position, -1);
    EXPECT_EQ(ColumnDropAt(l, {220, y}, 1).position, -1);
    EXPECT_EQ(ColumnDropAt(l, {400, y}, 2).position, -1);
    // Outside the header: nothing changes.
    EXPECT_EQ(ColumnDropAt(l, {240, kHeader + 5}, 0).position, -1);
}

TEST(GridMouseRules, FittingAddsTheCaptionRoomAndMargins)
{
    const int digit = 7;   // margins 2 * (7 div 2 + 1) = 8
    EXPECT_EQ(FitColumnWidth(120, 30, false, digit), 128);
    EXPECT_EQ(FitColumnWidth(20, 30, false, digit), 30 + kFitCaptionExtra + 8);
    EXPECT_EQ(FitColumnWidth(20, 30, true, digit), 38);
}

TEST(GridNavigation, PageKeysJumpToTheWindowEdgeFirst)
{
    const int visible = 10, rows = 10;
    EXPECT_EQ(PageTargetRow(4, visible, rows, true), 9);
    EXPECT_EQ(PageTargetRow(9, visible, rows, true), 18);    // then visible - 1 records
    EXPECT_EQ(PageTargetRow(4, visible, rows, false), 0);
    EXPECT_EQ(PageTargetRow(0, visible, rows, false), -9);
    // A short window: its last row is the edge.
    EXPECT_EQ(PageTargetRow(1, visible, 3, true), 2);
    // One visible row still moves.
    EXPECT_EQ(PageTargetRow(0, 1, 1, true), 1);
}

TEST(GridNavigation, LeftCoordClampAndBarCommands)
{
    const int content = 2000, page = 681, digit = 7;
    EXPECT_EQ(ClampLeftCoord(-5, content, page), 0);
    EXPECT_EQ(ClampLeftCoord(5000, content, page), content - page);
    EXPECT_EQ(ClampLeftCoord(300, 200, page), 0);   // content narrower than the page

    EXPECT_EQ(HorzScrollTarget(THorzCommand::LineRight, 100, digit, page, content, 0), 107);
    EXPECT_EQ(HorzScrollTarget(THorzCommand::PageLeft, 100, digit, page, content, 0), 100 - page);
    EXPECT_EQ(HorzScrollTarget(THorzCommand::RightEnd, 0, digit, page, content, 0), content);
    EXPECT_EQ(HorzScrollTarget(THorzCommand::LeftEnd, 900, digit, page, content, 0), 0);
    EXPECT_FALSE(HorzScrollTarget(THorzCommand::EndScroll, 900, digit, page, content, 0));
    // The thumb lands on multiples of 4, except near the right end.
    for (int p = 1; p < 1000; p += 37)
        EXPECT_EQ(*HorzScrollTarget(THorzCommand::ThumbTrack, 0, digit, page, content, p) % 4, 0) << p;
    EXPECT_EQ(HorzScrollTarget(THorzCommand::ThumbTrack, 0, digit, page, content, 1318), 1319);
    EXPECT_EQ(HorzScrollTarget(THorzCommand::ThumbPosition, 0, digit, page, content, 0), 0);
    EXPECT_EQ(HorzScrollTarget(THorzCommand::ThumbPosition, 0, digit, page, content, content), content);
}

TEST(GridNavigation, ScrollingAColumnIntoView)
{
    const int page = 500;
    EXPECT_FALSE(ScrollIntoView(100, 300, 0, page));
    EXPECT_EQ(ScrollIntoView(400, 600, 0, page), 100);     // sticks out right: its right end in view
    EXPECT_EQ(ScrollIntoView(400, 1200, 0, page), 400);    // wider than the page: its left end
    EXPECT_EQ(ScrollIntoView(0, 200, 300, page), 0);       // starts left of the view
}

TEST(GridNavigation, WheelNotchesAddUp)
{
    TWheelAccumulator w;
    EXPECT_EQ(w.Add(kNotch), 1);
    EXPECT_EQ(w.Add(-kNotch), -1);
    EXPECT_EQ(w.Add(2 * kNotch), 2);
    // Eight touchpad deltas of 15 make one notch: none before, one at the end.
    int moved = 0;
    for (int i = 0; i < 7; ++i)
        moved += w.Add(15);
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(w.Add(15), 1);
    // A reversed turn does not first have to undo what was left over.
    EXPECT_EQ(w.Add(100), 0);
    EXPECT_EQ(w.Add(-kNotch), -1);
}

TEST(GridNavigation, AutoScrollDirectionAndSpeed)
{
    const QPoint anchor(100, 100);
    TAutoScrollMotion m = AutoScrollMotion(anchor, {110, 114}, true, true);
    EXPECT_TRUE(m.inZone);
    EXPECT_EQ(m.direction, TAutoScrollDirection::None);
    m = AutoScrollMotion(anchor, {100, 140}, true, true);
    EXPECT_EQ(m.direction, TAutoScrollDirection::Down);
    EXPECT_EQ(m.speed, 6);   // (40 - 14) div 5 + 1
    m = AutoScrollMotion(anchor, {70, 110}, true, true);
    EXPECT_EQ(m.direction, TAutoScrollDirection::Left);
    EXPECT_EQ(m.speed, 4);
    EXPECT_EQ(AutoScrollMotion(anchor, {100, 15}, true, true).direction, TAutoScrollDirection::Up);
    EXPECT_EQ(AutoScrollMotion(anchor, {100, 900}, true, true).speed, kAutoScrollMaxSpeed);
    // Without a horizontal bar the zone spans the width: only y counts.
    m = AutoScrollMotion(anchor, {400, 105}, false, true);
    EXPECT_TRUE(m.inZone);
    m = AutoScrollMotion(anchor, {400, 130}, false, true);
    EXPECT_EQ(m.direction, TAutoScrollDirection::Down);
    EXPECT_EQ(m.speed, 4);
}

TEST(GridNavigation, AutoScrollTicks)
{
    TAutoScrollTicker t;
    const int speed = 6;
    std::vector<int> fired;
    for (int tick = 1; tick <= 21; ++tick)
        if (t.Tick(speed))
            fired.push_back(tick);
    EXPECT_EQ(fired, (std::vector<int>{7, 14, 21}));
    // Speed 12 scrolls on every tick, 0 never.
    EXPECT_TRUE(t.Tick(kAutoScrollMaxSpeed));
    EXPECT_TRUE(t.Tick(kAutoScrollMaxSpeed));
    EXPECT_FALSE(t.Tick(0));
}

TEST(GridNavigation, ClipboardRows)
{
    EXPECT_EQ(RowsClipboardText({QStringLiteral("A"), QStringLiteral("B")}, QStringList{QStringLiteral("1"), QStringLiteral("2")}),
              QStringLiteral("A\tB\r\n\r\n1\t2\r\n"));
    EXPECT_EQ(RowsClipboardText({QStringLiteral("A"), QString()}, std::nullopt), QStringLiteral("A\t\r\n\r\n"));
}
