// The grid's pure core: option words, metrics, layout and record-window
// arithmetic.

#include "grid/GridLayout.h"
#include "grid/GridMetrics.h"
#include "grid/GridOptions.h"
#include "grid/RecordWindow.h"

#include <gtest/gtest.h>

// --- option words

TEST(GridOptions, DefaultsMatchTheDocumentedMembers)
{
    const TGridOptions o;
    EXPECT_EQ(o.OptionsBehavior().Word(), 402929672u);
    EXPECT_EQ(o.OptionsCustomize().Word(), 29u);
    EXPECT_EQ(o.OptionsDB().Word(), 4158u);
    EXPECT_EQ(o.OptionsView().Word(), 8200u);
    EXPECT_EQ(o.Options(), 15255u);
    EXPECT_EQ(o.OptionsEx(), 2102454u);

    TdxDBGridOptionsBehavior b;
    for (auto m : {edgoAutoSort, edgoDragScroll, edgoEditing, edgoEnterShowEditor, edgoImmediateEditor, edgoTabThrough, edgoVertThrough})
        b += m;
    EXPECT_EQ(b, o.OptionsBehavior());
    TdxDBGridOptionsCustomize c;
    for (auto m : {edgoBandMoving, edgoBandSizing, edgoColumnMoving, edgoColumnSizing})
        c += m;
    EXPECT_EQ(c, o.OptionsCustomize());
    TdxDBGridOptionsDB d;
    for (auto m : {edgoCancelOnExit, edgoCanDelete, edgoCanInsert, edgoCanNavigation, edgoConfirmDelete, edgoUseBookmarks})
        d += m;
    EXPECT_EQ(d, o.OptionsDB());
    EXPECT_EQ((TdxDBGridOptionsView() + edgoBandHeaderWidth + edgoUseBitmap), o.OptionsView());

    for (auto m : {edgoCanAppend, edgoLoadAllRecords, edgoPartialLoad})
        EXPECT_FALSE(o.OptionsDB().Contains(m));
    for (auto m : {edgoMultiSelect, edgoMultiSort, edgoCaseInsensitive})
        EXPECT_FALSE(o.OptionsBehavior().Contains(m));
    for (auto m : {edgoRowSelect, edgoIndicator, edgoAutoWidth})
        EXPECT_FALSE(o.OptionsView().Contains(m));
}

TEST(GridOptions, CombinedWordsFollowEverySetter)
{
    TGridOptions o;
    // The program's change: removing a member that is not set changes nothing.
    EXPECT_FALSE(o.SetOptionsDB(o.OptionsDB() - edgoLoadAllRecords));
    EXPECT_EQ(o.Options(), 15255u);

    EXPECT_TRUE(o.SetOptionsDB(o.OptionsDB() + edgoLoadAllRecords));
    EXPECT_EQ(o.Options(), 15255u | (1u << egoLoadAllRecords));
    EXPECT_TRUE(o.SetOptionsDB(o.OptionsDB() - edgoCanDelete - edgoLoadAllRecords));
    EXPECT_EQ(o.Options(), 15255u & ~(1u << egoCanDelete));

    EXPECT_TRUE(o.SetOptionsBehavior(o.OptionsBehavior() - edgoAutoSort + edgoMultiSelect));
    EXPECT_EQ(o.OptionsEx(), 2102454u & ~(1u << egoAutoSort));
    EXPECT_TRUE(o.Options() & (1u << egoMultiSelect));

    EXPECT_TRUE(o.SetOptionsView(o.OptionsView() - edgoUseBitmap + edgoRowSelect));
    EXPECT_FALSE(o.OptionsEx() & (1u << egoUseBitmap));
    EXPECT_TRUE(o.Options() & (1u << egoRowSelect));

    EXPECT_TRUE(o.SetOptionsCustomize(TdxDBGridOptionsCustomize()));
    for (auto m : {egoColumnSizing, egoColumnMoving})
        EXPECT_FALSE(o.Options() & (1u << m));
    for (auto m : {egoBandSizing, egoBandMoving})
        EXPECT_FALSE(o.OptionsEx() & (1u << m));

    // Back to the defaults restores the default combined words.
    const TGridOptions fresh;
    o.SetOptionsBehavior(fresh.OptionsBehavior());
    o.SetOptionsCustomize(fresh.OptionsCustomize());
    o.SetOptionsDB(fresh.OptionsDB());
    o.SetOptionsView(fresh.OptionsView());
    EXPECT_EQ(o.Options(), 15255u);
    EXPECT_EQ(o.OptionsEx(), 2102454u);
}

TEST(GridOptions, WordsKeepTheirWidth)
{
    EXPECT_EQ(TdxDBGridOptionsDB::FromWord(0xFFFFFFFFu).Word(), (1u << 14) - 1);
    EXPECT_EQ(TdxDBGridOptionsCustomize::FromWord(0xFFFFFFFFu).Word(), (1u << 11) - 1);
    EXPECT_EQ(TdxDBGridOptionsBehavior::FromWord(0xFFFFFFFFu).Word(), (1u << 29) - 1);
}

// --- metrics

TEST(GridMetrics, HeaderAndRowHeights)
{
    TMetricsInput in;
    in.headerTextHeight = 13;
    in.dataTextHeight = 13;
    TGridMetrics m = ComputeGridMetrics(in);
    EXPECT_EQ(m.headerRowHeight, 19);
    EXPECT_EQ(m.headerPanelHeight, 19);
    EXPECT_EQ(m.defaultRowHeight, 17);

    in.dataTextHeight = 10;   // 16 is the floor, plus the grid line
    EXPECT_EQ(ComputeGridMetrics(in).defaultRowHeight, 17);
    in.dataTextHeight = 20;
    EXPECT_EQ(ComputeGridMetrics(in).defaultRowHeight, 24);

    in.showGrid = false;
    EXPECT_EQ(ComputeGridMetrics(in).defaultRowHeight, 23);
    in.showGrid = true;
    in.columnTextHeights = {30};
    EXPECT_EQ(ComputeGridMetrics(in).defaultRowHeight, 34);
    in.columnTextHeights.clear();

    in.explicitRowHeight = 10;   // below the base: raised
    EXPECT_EQ(ComputeGridMetrics(in).defaultRowHeight, 24);
    in.explicitRowHeight = 40;
    EXPECT_EQ(ComputeGridMetrics(in).defaultRowHeight, 40);

    in.showHeader = false;
    EXPECT_EQ(ComputeGridMetrics(in).headerPanelHeight, 0);
    in.showHeader = true;
    in.standardLook = false;
    in.headerLineCount = 2;
    EXPECT_EQ(ComputeGridMetrics(in).headerRowHeight, 31);
}

// --- layout

TEST(GridLayout, TenWideColumnsInANarrowGridShowFour)
{
    TMetricsInput in;
    in.headerTextHeight = 13;
    in.dataTextHeight = 13;
    const TGridMetrics m = ComputeGridMetrics(in);
    const std::vector<int> widths(10, 200);
    const TGridLayout l = ComputeGridLayout(QRect(0, 0, 681, 300), m, widths, 0);
    EXPECT_EQ(l.headerPanel, QRect(0, 0, 681, 19));
    EXPECT_EQ(l.dataArea, QRect(0, 19, 681, 281));
    EXPECT_EQ(l.contentWidth, 2000);
    EXPECT_EQ(l.FirstShownColumn(), 0);
    EXPECT_EQ(l.EndShownColumn(), 4);
    EXPECT_EQ(l.columns[3].left, 600);
    EXPECT_EQ(l.columns[3].right, 800);   // clipped when painted, never squeezed

    const TGridLayout scrolled = ComputeGridLayout(QRect(0, 0, 681, 300), m, widths, 250);
    EXPECT_EQ(scrolled.FirstShownColumn(), 1);
    EXPECT_EQ(scrolled.EndShownColumn(), 5);
    EXPECT_EQ(scrolled.columns[1].left, -50);
}

TEST(GridLayout, CellsLeaveRoomForGridLinesAndAreasNeverGoNegative)
{
    TMetricsInput in;
    in.headerTextHeight = 13;
    in.dataTextHeight = 13;
    const TGridMetrics m = ComputeGridMetrics(in);
    const TGridLayout l = ComputeGridLayout(QRect(0, 0, 500, 100), m, {200, 100}, 0);
    EXPECT_EQ(l.CellRect(0, 0), QRect(0, 19, 199, 16));
    EXPECT_EQ(l.CellRect(2, 1), QRect(200, 19 + 34, 99, 16));
    EXPECT_EQ(l.RowRect(1), QRect(0, 36, 500, 17));

    const TGridLayout tiny = ComputeGridLayout(QRect(0, 0, 500, 10), m, {200}, 0);
    EXPECT_EQ(tiny.dataArea.height(), 0);
    EXPECT_GE(tiny.dataArea.top(), tiny.headerPanel.top());

    const TGridLayout none = ComputeGridLayout(QRect(0, 0, 500, 100), m, {}, 0);
    EXPECT_EQ(none.FirstShownColumn(), 0);
    EXPECT_EQ(none.EndShownColumn(), 0);
}

// --- record window arithmetic

TEST(RecordWindow, RowCounts)
{
    EXPECT_EQ(MeasureRows(170, 17).visible, 10);
    EXPECT_EQ(MeasureRows(170, 17).partial, 10);
    EXPECT_EQ(MeasureRows(180, 17).visible, 10);
    EXPECT_EQ(MeasureRows(180, 17).partial, 11);
    EXPECT_EQ(MeasureRows(5, 17).visible, 1);
    EXPECT_EQ(MeasureRows(5, 17).partial, 1);
    EXPECT_EQ(MeasureRows(0, 17).visible, 1);
}

TEST(RecordWindow, ScrollInfo)
{
    TScrollSource s;
    EXPECT_EQ(ComputeWindowScrollInfo(s), (TScrollInfo{0, 4, 0, 0}));   // not usable

    s.usable = true;
    s.sequenced = true;
    s.visibleRowCount = 10;
    s.recordCount = 0;
    EXPECT_EQ(ComputeWindowScrollInfo(s), (TScrollInfo{1, 9, 10, 0}));

    s.recordCount = 1000;
    s.recNo = 1000;
    EXPECT_EQ(ComputeWindowScrollInfo(s), (TScrollInfo{1, 1009, 10, 1000}));
    s.recNo = -1;   // insert state, or the dataset raised
    EXPECT_EQ(ComputeWindowScrollInfo(s).position, 0);

    s.sequenced = false;
    s.bof = true;
    EXPECT_EQ(ComputeWindowScrollInfo(s), (TScrollInfo{0, 4, 0, 0}));
    s.bof = false;
    EXPECT_EQ(ComputeWindowScrollInfo(s).position, 2);
    s.eof = true;
    EXPECT_EQ(ComputeWindowScrollInfo(s).position, 4);
}

TEST(RecordWindow, ScrollCommands)
{
    using K = TDataSetMove;
    TScrollCommandSource s;
    s.activeRecord = 3;
    s.windowRecordCount = 10;
    s.visibleRowCount = 10;
    s.sequenced = true;
    s.recordCount = 500;
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::LineUp, s), (K{K::By, -4}));
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::LineDown, s), (K{K::By, 7}));
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::PageUp, s), (K{K::By, -10}));
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::PageDown, s), (K{K::By, 10}));
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::Top, s), (K{K::First, 0}));
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::Bottom, s), (K{K::Last, 0}));
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::ThumbTrack, s), K{});
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::EndScroll, s), K{});

    for (int p : {0, 1}) {
        s.thumbPosition = p;
        EXPECT_EQ(ScrollCommandMove(TScrollCommand::ThumbPosition, s), (K{K::First, 0}));
    }
    s.thumbPosition = 250;
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::ThumbPosition, s), (K{K::RecNo, 250}));
    s.thumbPosition = 500;
    EXPECT_EQ(ScrollCommandMove(TScrollCommand::ThumbPosition, s), (K{K::Last, 0}));

    s.sequenced = false;
    const K expected[] = {{K::First, 0}, {K::By, -10}, {}, {K::By, 10}, {K::Last, 0}};
    for (int p = 0; p <= 4; ++p) {
        s.thumbPosition = p;
        EXPECT_EQ(ScrollCommandMove(TScrollCommand::ThumbPosition, s), expected[p]) << p;
    }
}

TEST(RecordWindow, ScrolledRepaint)
{
    EXPECT_FALSE(ScrolledRepaint(0, 10, 17).repaintAll);
    EXPECT_EQ(ScrolledRepaint(0, 10, 17).scrollPixels, 0);
    EXPECT_EQ(ScrolledRepaint(-1, 10, 17).scrollPixels, -17);
    EXPECT_EQ(ScrolledRepaint(10, 10, 17).scrollPixels, 170);
    EXPECT_TRUE(ScrolledRepaint(-11, 10, 17).repaintAll);
}
