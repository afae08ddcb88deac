// The grid against an in-memory dataset: columns, binding, the record window
// and the vertical scroll bar.

#include "tests/grid/GridTestSupport.h"

#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

// Window rows must show consecutive records ending/starting around the cursor.
void ExpectWindowShowsRecords(TGridFixture& f)
{
    TdxDBGrid& g = *f.grid;
    const int active = g.DataLink().ActiveRecord();
    const int firstRecNo = f.data.RecNo() - active;
    ASSERT_EQ(g.FocusedNode(), active);
    for (int node = 0; node < g.NodeCount(); ++node)
        EXPECT_EQ(g.NodeCellText(node, 0), QString::number(firstRecNo + node)) << "node " << node;
}

} // namespace

// --- columns

TEST(GridColumns, NamesRestartAfterClearAndSkipTakenNames)
{
    TGridFixture f(5);
    TdxDBGrid& g = *f.grid;
    EXPECT_EQ(g.AddColumn()->objectName(), QStringLiteral("dxDBGridResColumn1"));
    EXPECT_EQ(g.AddColumn()->objectName(), QStringLiteral("dxDBGridResColumn2"));
    g.ClearColumns();
    EXPECT_EQ(g.ColumnCount(), 0);
    EXPECT_EQ(g.AddColumn()->objectName(), QStringLiteral("dxDBGridResColumn1"));

    g.ClearColumns();
    QObject squatter(&g);
    squatter.setObjectName(QStringLiteral("dxDBGridResColumn1"));
    EXPECT_EQ(g.AddColumn()->objectName(), QStringLiteral("dxDBGridResColumn2"));
    // The next number follows the count, then skips the taken ones.
    EXPECT_EQ(g.AddColumn()->objectName(), QStringLiteral("dxDBGridResColumn3"));

    // A grid name no column name can be made from ends the search unnamed.
    g.setObjectName(QStringLiteral("bad name"));
    EXPECT_EQ(g.AddColumn()->objectName(), QString());
    EXPECT_EQ(g.ColumnCount(), 3);
}

TEST(GridColumns, WidthsAreExplicitAndClamped)
{
    TGridFixture f(5);
    TdxDBGridMaskColumn* c = f.grid->AddColumn();
    c->SetCaption(QStringLiteral("ID"));
    const int caption = QFontMetrics(f.grid->HeaderFont()).horizontalAdvance(QStringLiteral("ID"));
    EXPECT_EQ(c->Width(), caption + 6);   // the caption rule replaces the 64
    EXPECT_FALSE(c->IsExplicit(evWidth));

    c->SetWidth(200);
    EXPECT_EQ(c->Width(), 200);
    EXPECT_TRUE(c->IsExplicit(evWidth));
    c->SetWidth(5);
    EXPECT_EQ(c->Width(), 20);
    c->SetWidth(-100);
    EXPECT_EQ(c->Width(), 20);
}

TEST(GridColumns, DefaultFieldsRefusesColumnChanges)
{
    TGridFixture f(5);
    f.grid->AddColumn();
    f.grid->SetDefaultFields(true);
    try {
        f.grid->AddColumn();
        FAIL() << "AddColumn accepted";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("DefaultFields property should be set to False"));
    }
    EXPECT_THROW(f.grid->ClearColumns(), Exception);
    EXPECT_EQ(f.grid->ColumnCount(), 1);
}

TEST(GridColumns, BindByNameAndRebindAcrossReopen)
{
    TGridFixture f(5);
    TdxDBGrid& g = *f.grid;
    f.data.Open();
    TdxDBGridMaskColumn* id = g.AddColumn();
    TdxDBGridMaskColumn* name = g.AddColumn();
    TdxDBGridMaskColumn* gone = g.AddColumn();
    id->SetFieldName(QStringLiteral("id"));   // case-insensitive
    name->SetFieldName(QStringLiteral("NAME"));
    gone->SetFieldName(QStringLiteral("MISSING"));
    ASSERT_NE(id->Field(), nullptr);
    EXPECT_EQ(id->Field()->FieldName(), QStringLiteral("ID"));
    EXPECT_EQ(gone->Field(), nullptr);
    EXPECT_EQ(gone->Caption(), QStringLiteral("MISSING"));
    EXPECT_EQ(id->Caption(), QStringLiteral("ID"));
    EXPECT_EQ(id->Alignment(), taRightJustify);
    EXPECT_EQ(name->MaxLength(), 20);
    EXPECT_EQ(g.NodeCellText(0, 1), QStringLiteral("name1"));
    EXPECT_EQ(g.NodeCellText(0, 2), QString());

    f.data.Close();
    EXPECT_EQ(id->Field(), nullptr);
    EXPECT_EQ(g.NodeCount(), 1);
    EXPECT_EQ(g.NodeCellText(0, 0), QString());

    // Reopen with a result that lacks NAME.
    f.data.SetData(MakeStore(3, false));
    f.data.Open();
    ASSERT_NE(id->Field(), nullptr);
    EXPECT_EQ(name->Field(), nullptr);
    EXPECT_EQ(g.NodeCellText(0, 0), QStringLiteral("1"));
    EXPECT_EQ(g.NodeCellText(0, 1), QString());
    EXPECT_EQ(g.DataLink().ColumnFieldMap(), (std::vector<int>{0, -1, -1}));
}

TEST(GridColumns, FocusedColumnField)
{
    TGridFixture f(5);
    TdxDBGrid& g = *f.grid;
    f.data.Open();
    EXPECT_EQ(g.FocusedColumnIndex(), -1);
    EXPECT_EQ(g.FocusedColumnField(), nullptr);

    TdxDBGridMaskColumn* unbound = g.AddColumn();
    unbound->SetCaption(QString());
    EXPECT_EQ(g.FocusedColumnIndex(), 0);
    EXPECT_EQ(g.FocusedColumnField(), nullptr);

    TdxDBGridMaskColumn* name = g.AddColumn();
    name->SetFieldName(QStringLiteral("NAME"));
    g.SetFocusedVisibleColumn(1);
    EXPECT_EQ(g.FocusedColumnField(), f.data.FindField(QStringLiteral("NAME")));
    // Out of range falls back to the first visible column.
    g.SetFocusedVisibleColumn(7);
    EXPECT_EQ(g.FocusedVisibleColumn(), 0);
    EXPECT_EQ(g.FocusedColumnField(), nullptr);
    // Hidden columns are skipped.
    unbound->SetVisible(false);
    EXPECT_EQ(g.FocusedColumnIndex(), 1);
}

TEST(GridColumns, ColIndexMovesAmongVisibleColumns)
{
    TGridFixture f(5);
    TdxDBGrid& g = *f.grid;
    TdxDBGridMaskColumn* a = g.AddColumn();
    TdxDBGridMaskColumn* b = g.AddColumn();
    TdxDBGridMaskColumn* c = g.AddColumn();
    c->SetColIndex(0);
    EXPECT_EQ(g.Columns(0), c);
    EXPECT_EQ(a->ColIndex(), 1);
    a->SetColIndex(99);   // clamped to the last position
    EXPECT_EQ(g.Columns(2), a);
    EXPECT_EQ(b->ColIndex(), 1);
    b->SetColIndex(1);    // already there: nothing moves
    EXPECT_EQ(g.Columns(1), b);
}

TEST(GridColumns, CellReadRestoresTheActiveRecordAlsoWhenItRaises)
{
    TGridFixture f(30);
    TdxDBGrid& g = *f.grid;
    f.data.Open();
    f.Rebuild();
    f.data.MoveBy(2);
    ASSERT_GE(g.NodeCount(), 4);
    const int active = g.DataLink().ActiveRecord();
    EXPECT_EQ(g.NodeCellText(3, 0), QStringLiteral("4"));
    EXPECT_EQ(g.DataLink().ActiveRecord(), active);

    g.Columns(1)->SetOnGetText([](TdxDBGridColumn*, int, QString&) { throw Exception(QStringLiteral("boom")); });
    EXPECT_THROW((void)g.NodeCellText(0, 1), Exception);
    EXPECT_EQ(g.DataLink().ActiveRecord(), active);
    // Nested reads: only the outermost restores.
    g.BeginNodeRead(1);
    EXPECT_EQ(g.NodeCellText(3, 0), QStringLiteral("4"));
    g.EndNodeRead();
    EXPECT_EQ(g.DataLink().ActiveRecord(), active);

    g.Columns(1)->SetOnGetText([](TdxDBGridColumn*, int node, QString& t) { t = QStringLiteral("%1:%2").arg(node).arg(t); });
    EXPECT_EQ(g.NodeCellText(2, 1), QStringLiteral("2:name3"));
    EXPECT_EQ(g.ColumnCurrentText(1), QStringLiteral("name3"));   // no handler for the current record
}

// --- record window

TEST(GridWindow, BufferFollowsVisibleRowsAndTheWindowFollowsTheCursor)
{
    TGridFixture f(100);
    TdxDBGrid& g = *f.grid;
    f.data.Open();
    f.Rebuild();
    const int visible = g.VisibleRowCount();
    ASSERT_GT(visible, 3);
    EXPECT_EQ(g.DataLink().BufferCount(), visible);
    EXPECT_EQ(f.data.WindowBufferCount(), visible);
    EXPECT_EQ(g.NodeCount(), visible);
    ExpectWindowShowsRecords(f);

    // The program's walk: every step is a scroll notification.
    f.data.First();
    while (!f.data.Eof()) {
        f.data.Next();
        ASSERT_NO_FATAL_FAILURE(ExpectWindowShowsRecords(f));
    }
    EXPECT_EQ(g.FocusedNode(), visible - 1);
    EXPECT_EQ(g.NodeCellText(visible - 1, 0), QStringLiteral("100"));

    // Line up on the bar: to the record just above the window.
    const int top = 100 - visible + 1;
    g.ScrollVertical(TScrollCommand::LineUp);
    EXPECT_EQ(f.data.RecNo(), top - 1);
    EXPECT_EQ(g.FocusedNode(), 0);
    ExpectWindowShowsRecords(f);

    // A jump further than a window.
    f.data.SetRecNo(10);
    ExpectWindowShowsRecords(f);
    f.data.First();
    ExpectWindowShowsRecords(f);
}

TEST(GridWindow, GrowingTheGridGrowsTheBuffer)
{
    TGridFixture f(100);
    TdxDBGrid& g = *f.grid;
    f.data.Open();
    f.Rebuild();
    const int before = g.VisibleRowCount();
    g.resize(g.width(), g.height() + 5 * g.DefaultRowHeight() + 3);
    QApplication::processEvents();
    EXPECT_EQ(g.VisibleRowCount(), before + 5);
    EXPECT_EQ(g.DataLink().BufferCount(), before + 5);
    EXPECT_EQ(g.NodeCount(), before + 5);
    // The cut last row is counted only as partial.
    EXPECT_EQ(g.PartialRowCount(), g.VisibleRowCount() + (g.ComputeLayout().dataArea.height() % g.DefaultRowHeight() ? 1 : 0));
    ExpectWindowShowsRecords(f);
}

TEST(GridWindow, ShortAndEmptyResults)
{
    TGridFixture f(3);
    TdxDBGrid& g = *f.grid;
    EXPECT_EQ(g.NodeCount(), 1);   // closed
    f.data.Open();
    f.Rebuild();
    EXPECT_EQ(g.NodeCount(), 3);
    EXPECT_EQ(g.NodeCellText(2, 0), QStringLiteral("3"));
    EXPECT_EQ(g.NodeCellText(3, 0), QString());

    f.data.Close();
    f.data.SetData(MakeStore(0));
    f.data.Open();
    EXPECT_EQ(g.NodeCount(), 1);
    EXPECT_EQ(g.NodeCellText(0, 0), QString());
    const TScrollInfo info = g.WindowScrollInfo();
    EXPECT_EQ(info.min, 1);
    EXPECT_EQ(info.page, g.VisibleRowCount());
    EXPECT_EQ(info.max, g.VisibleRowCount() - 1);
}

TEST(GridWindow, ScrollBarShowsTheDataset)
{
    TGridFixture f(1000);
    TdxDBGrid& g = *f.grid;
    QScrollBar* bar = g.verticalScrollBar();
    EXPECT_EQ(g.WindowScrollInfo(), (TScrollInfo{0, 4, 0, 0}));   // closed
    f.data.Open();
    f.Rebuild();
    const int page = g.VisibleRowCount();
    EXPECT_EQ(g.WindowScrollInfo(), (TScrollInfo{1, 1000 + page - 1, page, 1}));
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 1000);
    EXPECT_EQ(bar->pageStep(), page);
    EXPECT_EQ(bar->value(), 1);

    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(f.data.RecNo(), 1 + page);
    EXPECT_EQ(bar->value(), 1 + page);
    const int below = f.data.RecNo() - g.DataLink().ActiveRecord() + g.NodeCount();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);   // to the record below the window
    EXPECT_EQ(f.data.RecNo(), below);
    EXPECT_EQ(bar->value(), below);
    ExpectWindowShowsRecords(f);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(f.data.RecNo(), below - page);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(f.data.RecNo(), 1000);
    EXPECT_EQ(bar->value(), 1000);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(f.data.RecNo(), 1);

    // Dragging the thumb moves nothing until it is released.
    bar->setSliderDown(true);
    bar->setSliderPosition(500);
    EXPECT_EQ(f.data.RecNo(), 1);
    bar->setSliderDown(false);
    EXPECT_EQ(f.data.RecNo(), 500);
    ExpectWindowShowsRecords(f);

    g.ScrollVertical(TScrollCommand::ThumbPosition, 1000);
    EXPECT_EQ(f.data.RecNo(), 1000);
    g.ScrollVertical(TScrollCommand::ThumbPosition, 0);
    EXPECT_EQ(f.data.RecNo(), 1);
    ExpectWindowShowsRecords(f);
}

TEST(GridWindow, GotoRecordReportsTheEnds)
{
    TGridFixture f(5);
    TdxDBGrid& g = *f.grid;
    f.data.Open();
    f.Rebuild();
    EXPECT_EQ(g.GotoRecord(TGotoRecord::Prior), -1);
    EXPECT_EQ(g.GotoRecord(TGotoRecord::Last), 4);
    EXPECT_EQ(g.GotoRecord(TGotoRecord::Next), -1);
    EXPECT_EQ(g.GotoRecord(TGotoRecord::Prior), 3);
    EXPECT_EQ(g.GotoRecord(TGotoRecord::First), 0);
    g.MoveToRow(2);
    EXPECT_EQ(f.data.RecNo(), 3);
    EXPECT_EQ(g.FocusedNode(), 2);
}
