// Driving the grid with keys, mouse and wheel offscreen over the in-memory
// dataset: the key table, the record commands, the mouse operations, the
// horizontal offset and its bar, the wheel and the middle-button auto-scroll.

#include "tests/grid/GridTestSupport.h"
#include "grid/GridAutoScroll.h"
#include "grid/GridHitTest.h"
#include "grid/GridPainter.h"
#include "tests/support/ScriptedDialogs.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

constexpr int kColumnWidth = 200;
constexpr int kMinWidth = 20;
constexpr int kNotch = 120;
constexpr int kAutoScrollSpeed6Distance = 40;   // (40 - 14) div 5 + 1 = 6
constexpr int kTicksAtSpeed6 = 7;

void Mouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, buttons, mods);
    QApplication::sendEvent(w, &e);
}

void Click(QWidget* w, QPoint p, Qt::MouseButton b = Qt::LeftButton)
{
    Mouse(w, QEvent::MouseButtonPress, p, b, b);
    Mouse(w, QEvent::MouseButtonRelease, p, b, Qt::NoButton);
}

// The second click of a double click, as the platform delivers it.
void DoubleClick(QWidget* w, QPoint p)
{
    Click(w, p);
    Mouse(w, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

void Drag(QWidget* w, QPoint from, QPoint to)
{
    Mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    Mouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
}

void Wheel(QWidget* w, int delta)
{
    const QPoint p(10, 30);
    QWheelEvent e(QPointF(p), QPointF(w->mapToGlobal(p)), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &release);
}

// `fields` columns (integer, then text), `rows` records.
TColumnStore WideStore(int fields, int rows)
{
    std::vector<TFieldDef> defs;
    for (int i = 0; i < fields; ++i)
        defs.push_back({QStringLiteral("F%1").arg(i), ftInteger, 4, 0, 0, false});
    TColumnStore store;
    store.Reset(defs);
    for (int r = 1; r <= rows; ++r)
        for (int i = 0; i < fields; ++i)
            store.Column(i).AppendInt(r * 100 + i);
    return store;
}

class GridInput : public ::testing::Test {
protected:
    explicit GridInput(int rows = 50, QSize size = QSize(320, 250)) : f(rows, size)
    {
        f.data.Open();
        f.Rebuild();
        f.grid->activateWindow();
        QApplication::setActiveWindow(f.grid.get());
        f.grid->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
    }
    [[nodiscard]] TdxDBGrid& G() { return *f.grid; }
    [[nodiscard]] QWidget* V() { return f.grid->viewport(); }
    // Centre of data cell (row, visible column) in viewport coordinates.
    [[nodiscard]] QPoint Cell(int row, int column) { return G().ComputeLayout().CellRect(row, column).center(); }
    [[nodiscard]] QPoint Header(int column) { return G().ComputeLayout().HeaderCellRect(column).center(); }
    [[nodiscard]] QPoint Edge(int column)
    {
        const TGridLayout l = G().ComputeLayout();
        return QPoint(l.columns[static_cast<std::size_t>(column)].right - 1, l.headerPanel.center().y());
    }
    void Reload(TColumnStore store)
    {
        f.data.Close();
        f.data.SetData(std::move(store));
        f.data.Open();
        f.Rebuild();
        QApplication::processEvents();
    }
    TGridFixture f;
};

} // namespace

// --- the three faults of the grid as it stood

TEST_F(GridInput, NarrowerContentPullsTheOffsetBack)
{
    Reload(WideStore(10, 5));
    G().ScrollHorizontal(THorzCommand::RightEnd);
    const TGridLayout wide = G().ComputeLayout();
    ASSERT_EQ(G().LeftCoord(), wide.contentWidth - wide.dataArea.width());

    // A one-column result: the column stands at the left edge again.
    Reload(WideStore(1, 5));
    EXPECT_EQ(G().LeftCoord(), 0);
    EXPECT_EQ(G().ComputeLayout().columns[0].left, 0);
    EXPECT_EQ(G().horizontalScrollBar()->value(), 0);

    // Widening the window after a scroll: the offset shrinks with the page.
    Reload(WideStore(3, 5));
    G().ScrollHorizontal(THorzCommand::RightEnd);
    ASSERT_GT(G().LeftCoord(), 0);
    G().resize(3 * kColumnWidth + 100, G().height());
    QApplication::processEvents();
    EXPECT_EQ(G().LeftCoord(), 0);

    // A narrower column does the same.
    G().resize(320, G().height());
    G().ScrollHorizontal(THorzCommand::RightEnd);
    ASSERT_GT(G().LeftCoord(), 0);
    for (int i = 0; i < 3; ++i)
        G().Columns(i)->SetWidth(kMinWidth + 10);
    EXPECT_EQ(G().LeftCoord(), 0);
}

TEST_F(GridInput, BarsStayAndAreDisabledWithNothingToScroll)
{
    const QSize withTwo = V()->size();
    Reload(WideStore(1, 2));
    QScrollBar* h = G().horizontalScrollBar();
    QScrollBar* v = G().verticalScrollBar();
    EXPECT_TRUE(h->isVisible());
    EXPECT_FALSE(h->isEnabled());
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(V()->size(), withTwo);   // the data area keeps its size

    Reload(WideStore(5, 200));
    EXPECT_TRUE(h->isEnabled());
    EXPECT_TRUE(v->isEnabled());
    EXPECT_EQ(V()->size(), withTwo);
}

// --- keys

TEST_F(GridInput, TabLeavesTheGrid)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    f.grid->setParent(&window);
    layout->addWidget(f.grid.get());
    auto* next = new QLineEdit(&window);
    layout->addWidget(next);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    (void)QTest::qWaitForWindowActive(&window);
    f.grid->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(f.grid->hasFocus());
    QTest::keyClick(f.grid.get(), Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
    layout->removeWidget(f.grid.get());
    f.grid->setParent(nullptr);
}

TEST_F(GridInput, LeftAndRightStopAtTheEndsHomeAndEndScrollSideways)
{
    ASSERT_EQ(G().FocusedVisibleColumn(), 0);
    Key(&G(), Qt::Key_Left);
    EXPECT_EQ(G().FocusedVisibleColumn(), 0);
    Key(&G(), Qt::Key_Right);
    EXPECT_EQ(G().FocusedVisibleColumn(), 1);
    Key(&G(), Qt::Key_Right);
    EXPECT_EQ(G().FocusedVisibleColumn(), 1);

    Key(&G(), Qt::Key_Home);
    EXPECT_EQ(G().LeftCoord(), 0);
    Key(&G(), Qt::Key_End);
    const TGridLayout l = G().ComputeLayout();
    EXPECT_EQ(G().FocusedVisibleColumn(), 1);
    // The last column is wholly in view: its right end at the area's right.
    EXPECT_EQ(l.columns[1].right, l.dataArea.left() + l.dataArea.width());
    Key(&G(), Qt::Key_Home);
    EXPECT_EQ(G().FocusedVisibleColumn(), 0);
    EXPECT_EQ(G().LeftCoord(), 0);
    Key(&G(), Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(G().FocusedVisibleColumn(), 1);
    Key(&G(), Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(G().FocusedVisibleColumn(), 0);
}

TEST_F(GridInput, PageDownJumpsToTheEdgeFirst)
{
    const int v = G().VisibleRowCount();
    ASSERT_GT(v, 4);
    f.data.First();
    Key(&G(), Qt::Key_Down);
    Key(&G(), Qt::Key_Down);
    ASSERT_EQ(f.data.RecNo(), 3);
    Key(&G(), Qt::Key_PageDown);
    EXPECT_EQ(G().FocusedNode(), v - 1);
    EXPECT_EQ(f.data.RecNo(), v);
    Key(&G(), Qt::Key_PageDown);
    EXPECT_EQ(f.data.RecNo(), v + v - 1);
    // From the bottom edge PgUp moves a page at once.
    Key(&G(), Qt::Key_PageUp);
    EXPECT_EQ(f.data.RecNo(), v);
    // From the middle it jumps to the top row first.
    Key(&G(), Qt::Key_Down);
    Key(&G(), Qt::Key_Down);
    const int top = f.data.RecNo() - G().FocusedNode();
    ASSERT_GT(G().FocusedNode(), 0);
    ASSERT_LT(G().FocusedNode(), v - 1);
    Key(&G(), Qt::Key_PageUp);
    EXPECT_EQ(G().FocusedNode(), 0);
    EXPECT_EQ(f.data.RecNo(), top);
}

TEST_F(GridInput, CtrlHomeCtrlEndAndDownOnTheLastRecord)
{
    Key(&G(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(f.data.RecNo(), 50);
    Key(&G(), Qt::Key_Down);
    EXPECT_EQ(f.data.RecordCount(), 50);   // nothing appended
    EXPECT_EQ(f.data.State(), dsBrowse);
    Key(&G(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(f.data.RecNo(), 1);
}

TEST_F(GridInput, BlankRecordGoesAwayOnEscDownUpAndFocusOut)
{
    f.data.SetRecNo(5);
    auto insert = [&] {
        Key(&G(), Qt::Key_Insert);
        ASSERT_EQ(f.data.State(), dsInsert);
        ASSERT_EQ(f.data.RecordCount(), 51);
    };
    for (int key : {Qt::Key_Escape, Qt::Key_Down, Qt::Key_Up}) {
        insert();
        Key(&G(), key);
        EXPECT_EQ(f.data.State(), dsBrowse) << key;
        EXPECT_EQ(f.data.RecordCount(), 50) << key;
        EXPECT_EQ(f.data.RecNo(), 5) << key;   // the key did nothing else
    }
    // At the end of the result, where the walk leaves it.
    f.data.Last();
    f.data.Next();
    ASSERT_TRUE(f.data.Eof());
    for (int key : {Qt::Key_Down, Qt::Key_Up}) {
        insert();
        Key(&G(), key);
        EXPECT_EQ(f.data.RecordCount(), 50) << key;
    }
    insert();
    f.grid->clearFocus();
    EXPECT_EQ(f.data.State(), dsBrowse);
    EXPECT_EQ(f.data.RecordCount(), 50);
}

TEST_F(GridInput, ClickAnotherRowDropsTheBlankRecordAndFocusesTheClickedOne)
{
    f.data.SetRecNo(3);
    const int node = G().FocusedNode();
    Key(&G(), Qt::Key_Insert);
    ASSERT_EQ(f.data.State(), dsInsert);
    const QString below = G().NodeCellText(node + 2, 0);
    Click(V(), Cell(node + 2, 0));
    EXPECT_EQ(f.data.State(), dsBrowse);
    EXPECT_EQ(G().NodeCellText(G().FocusedNode(), 0), below);
}

TEST_F(GridInput, CtrlDeleteAsksAndCancelKeepsTheRecord)
{
    TScopedDialogs dialogs;
    f.data.SetRecNo(4);
    const QString focused = G().NodeCellText(G().FocusedNode(), 0);
    Key(&G(), Qt::Key_Delete);   // without Ctrl: nothing
    EXPECT_EQ(dialogs->log.size(), 0u);

    dialogs->QueueConfirm(false);
    Key(&G(), Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(dialogs->Count(TDialogKind::Confirm), 1u);
    EXPECT_EQ(dialogs->log[0].caption, QStringLiteral("Confirm"));
    EXPECT_EQ(dialogs->log[0].text, QStringLiteral("Delete record?"));
    EXPECT_EQ(f.data.RecordCount(), 50);
    EXPECT_EQ(G().NodeCellText(G().FocusedNode(), 0), focused);

    dialogs->QueueConfirm(true);
    Key(&G(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(f.data.RecordCount(), 49);
    EXPECT_NE(G().NodeCellText(G().FocusedNode(), 0), focused);
}

TEST_F(GridInput, CtrlDeleteOnAnEmptyOrReadOnlyResultAsksNothing)
{
    TScopedDialogs dialogs;
    Reload(MakeStore(0));
    Key(&G(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(dialogs->log.size(), 0u);

    Reload(MakeStore(3));
    f.data.SetReadOnly(true);
    Key(&G(), Qt::Key_Delete, Qt::ControlModifier);
    Key(&G(), Qt::Key_Insert);
    EXPECT_EQ(dialogs->log.size(), 0u);
    EXPECT_EQ(f.data.RecordCount(), 3);
    EXPECT_EQ(f.data.State(), dsBrowse);
}

TEST_F(GridInput, CtrlInsertCopiesCaptionsAndTheFocusedRow)
{
    f.data.SetRecNo(7);
    Key(&G(), Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("ID\tNAME\r\n\r\n7\tname7\r\n"));
    EXPECT_EQ(f.data.RecordCount(), 50);   // Ctrl+Insert inserts nothing
}

// --- mouse

TEST_F(GridInput, ClicksFocusCellsButNotTheRowRest)
{
    Click(V(), Cell(3, 1));
    EXPECT_EQ(G().FocusedNode(), 3);
    EXPECT_EQ(G().FocusedVisibleColumn(), 1);
    // Widen the grid so that the rows have space right of the last column.
    G().resize(3 * kColumnWidth, G().height());
    QApplication::processEvents();
    const TGridLayout l = G().ComputeLayout();
    Click(V(), QPoint(l.ContentRight() + 20, Cell(5, 0).y()));
    EXPECT_EQ(G().FocusedNode(), 3);
    // A right click focuses like a left one.
    Click(V(), Cell(6, 0), Qt::RightButton);
    EXPECT_EQ(G().FocusedNode(), 6);
    EXPECT_EQ(G().FocusedVisibleColumn(), 0);
    EXPECT_EQ(G().State(), gsIdle);
}

TEST_F(GridInput, DoubleClickCallsTheHandlerOnCellsOnly)
{
    int calls = 0;
    G().SetOnDblClick([&] { ++calls; });
    G().resize(3 * kColumnWidth, G().height());
    QApplication::processEvents();
    Click(V(), Cell(2, 0));
    const int focused = G().FocusedNode();

    Mouse(V(), QEvent::MouseButtonDblClick, Cell(2, 0), Qt::LeftButton, Qt::LeftButton);
    Mouse(V(), QEvent::MouseButtonRelease, Cell(2, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(calls, 1);
    // The second click of a double click on another cell moves nothing.
    Mouse(V(), QEvent::MouseButtonDblClick, Cell(4, 1), Qt::LeftButton, Qt::LeftButton);
    Mouse(V(), QEvent::MouseButtonRelease, Cell(4, 1), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(G().FocusedNode(), focused);

    const TGridLayout l = G().ComputeLayout();
    DoubleClick(V(), Header(0));
    DoubleClick(V(), QPoint(l.ContentRight() + 30, Cell(1, 0).y()));   // row rest
    Reload(MakeStore(2));
    DoubleClick(V(), QPoint(20, G().ComputeLayout().dataArea.bottom() - 2));   // empty area
    EXPECT_EQ(calls, 2);
}

TEST_F(GridInput, DoubleClickOnAnEdgeFitsTheColumn)
{
    int changed = 0;
    G().SetOnChangedColumnsWidth([&] { ++changed; });
    G().resize(3 * kColumnWidth, G().height());
    QApplication::processEvents();
    DoubleClick(V(), Edge(1));
    const QFontMetrics data(G().font());
    int widest = 0;
    for (int node = 0; node < G().DataLink().RecordCount(); ++node)
        widest = std::max(widest, data.horizontalAdvance(G().NodeCellText(node, 1)));
    const int caption = QFontMetrics(G().HeaderFont()).horizontalAdvance(QStringLiteral("NAME"));
    EXPECT_EQ(G().Columns(1)->Width(), FitColumnWidth(widest, caption, false, data.horizontalAdvance(QLatin1Char('0'))));
    EXPECT_LT(G().Columns(1)->Width(), kColumnWidth);
    EXPECT_EQ(changed, 1);
}

TEST_F(GridInput, SizingStopsAtTheMinimumWidth)
{
    int changed = 0;
    G().SetOnChangedColumnsWidth([&] { ++changed; });
    const QPoint edge = Edge(0);
    Mouse(V(), QEvent::MouseButtonPress, edge, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(G().State(), gsColumnSizing);
    Mouse(V(), QEvent::MouseMove, QPoint(0, edge.y()), Qt::NoButton, Qt::LeftButton);
    Mouse(V(), QEvent::MouseButtonRelease, QPoint(0, edge.y()), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(G().State(), gsIdle);
    EXPECT_EQ(G().Columns(0)->Width(), kMinWidth);
    EXPECT_EQ(changed, 1);

    Drag(V(), Edge(0), Edge(0) + QPoint(50, 0));
    EXPECT_EQ(G().Columns(0)->Width(), kMinWidth + 50);

    // Esc during sizing leaves the width alone.
    Mouse(V(), QEvent::MouseButtonPress, Edge(0), Qt::LeftButton, Qt::LeftButton);
    Mouse(V(), QEvent::MouseMove, Edge(0) + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
    Key(&G(), Qt::Key_Escape);
    EXPECT_EQ(G().State(), gsIdle);
    Mouse(V(), QEvent::MouseButtonRelease, Edge(0) + QPoint(40, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(G().Columns(0)->Width(), kMinWidth + 50);
}

TEST_F(GridInput, LosingActivationCancelsSizingAndAutoScroll)
{
    Mouse(V(), QEvent::MouseButtonPress, Edge(0), Qt::LeftButton, Qt::LeftButton);
    ASSERT_EQ(G().State(), gsColumnSizing);
    Mouse(V(), QEvent::MouseButtonPress, Cell(1, 0), Qt::MiddleButton, Qt::MiddleButton);
    EXPECT_FALSE(G().AutoScroll().Active());   // only from gsIdle
    G().setEnabled(false);
    EXPECT_EQ(G().State(), gsIdle);
    G().setEnabled(true);
    Mouse(V(), QEvent::MouseButtonRelease, Edge(0) + QPoint(40, 0), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(G().Columns(0)->Width(), kColumnWidth);

    Mouse(V(), QEvent::MouseButtonPress, Cell(1, 0), Qt::MiddleButton, Qt::MiddleButton);
    ASSERT_TRUE(G().AutoScroll().Active());
    G().setEnabled(false);
    EXPECT_FALSE(G().AutoScroll().Active());
    G().setEnabled(true);
}

TEST_F(GridInput, HeaderDragMovesAColumnAndAShortPressIsAClick)
{
    G().Columns(0)->SetWidth(100);
    G().Columns(1)->SetWidth(100);
    const TdxDBGridColumn* id = G().VisibleColumn(0);
    // A short press: a header click, nothing moves.
    Mouse(V(), QEvent::MouseButtonPress, Header(0), Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(G().State(), gsHeaderPressed);
    EXPECT_EQ(G().PressedColumn(), id->Index());
    Mouse(V(), QEvent::MouseMove, Header(0) + QPoint(3, 2), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(G().State(), gsHeaderPressed);
    Mouse(V(), QEvent::MouseButtonRelease, Header(0) + QPoint(3, 2), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(G().State(), gsIdle);
    EXPECT_EQ(G().PressedColumn(), -1);
    EXPECT_EQ(G().VisibleColumn(0), id);

    // Released outside the header: nothing changes.
    Drag(V(), Header(0), Cell(3, 1));
    EXPECT_EQ(G().VisibleColumn(0), id);

    // Released on the right half of the other header: after it.
    const TGridLayout l = G().ComputeLayout();
    Drag(V(), Header(0), QPoint(l.columns[1].right - 10, Header(1).y()));
    EXPECT_EQ(G().VisibleColumn(1), id);
    EXPECT_EQ(G().State(), gsIdle);
}

TEST_F(GridInput, SplitterCursorOverAnEdge)
{
    Mouse(V(), QEvent::MouseMove, Edge(0), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(V()->cursor().shape(), Qt::SplitHCursor);
    Mouse(V(), QEvent::MouseMove, Header(0), Qt::NoButton, Qt::NoButton);
    EXPECT_NE(V()->cursor().shape(), Qt::SplitHCursor);
}

// --- horizontal bar, wheel, auto-scroll

TEST_F(GridInput, ThumbLandsOnMultiplesOfFour)
{
    QScrollBar* h = G().horizontalScrollBar();
    ASSERT_TRUE(h->isEnabled());
    for (int p : {1, 10, 37, 57}) {
        h->setSliderPosition(p);
        EXPECT_EQ(G().LeftCoord() % 4, 0) << p;
        EXPECT_EQ(G().LeftCoord(), (p + 1) / 4 * 4) << p;
        EXPECT_EQ(h->value(), G().LeftCoord());
    }
    h->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(G().LeftCoord(), 0);
    h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(G().LeftCoord(), G().Metrics().digitWidth);
}

TEST_F(GridInput, OneNotchOneRecordAndTouchpadDeltasAddUp)
{
    f.data.SetRecNo(20);
    Wheel(V(), -kNotch);
    EXPECT_EQ(f.data.RecNo(), 21);
    Wheel(V(), kNotch);
    EXPECT_EQ(f.data.RecNo(), 20);
    for (int i = 0; i < 7; ++i)
        Wheel(V(), -15);
    EXPECT_EQ(f.data.RecNo(), 20);
    Wheel(V(), -15);
    EXPECT_EQ(f.data.RecNo(), 21);
    EXPECT_EQ(G().horizontalScrollBar()->value(), 0);   // the bars stay put
}

TEST_F(GridInput, AutoScrollRunsUntilEscOrAnotherButton)
{
    TGridAutoScroll& a = G().AutoScroll();
    f.data.SetRecNo(10);
    const QPoint at = Cell(2, 0);
    Mouse(V(), QEvent::MouseButtonPress, at, Qt::MiddleButton, Qt::MiddleButton);
    ASSERT_TRUE(a.Active());
    ASSERT_NE(a.AnchorWindow(), nullptr);
    EXPECT_TRUE(a.AnchorWindow()->isVisible());
    EXPECT_EQ(a.AnchorWindow()->size(), QSize(kAutoScrollZone, kAutoScrollZone));
    // Releasing the middle button right away does not end it.
    Mouse(V(), QEvent::MouseButtonRelease, at, Qt::MiddleButton, Qt::NoButton);
    EXPECT_TRUE(a.Active());

    // 40 pixels down: speed 6, a line every 7th tick.
    Mouse(V(), QEvent::MouseMove, at + QPoint(0, kAutoScrollSpeed6Distance), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(a.Motion().speed, 6);
    EXPECT_EQ(a.Motion().direction, TAutoScrollDirection::Down);
    const int before = f.data.RecNo();
    for (int i = 1; i < kTicksAtSpeed6; ++i)
        a.Tick();
    EXPECT_EQ(f.data.RecNo(), before);
    a.Tick();
    EXPECT_GT(f.data.RecNo(), before);

    // Keys are swallowed, Esc ends it and releases everything.
    Key(&G(), Qt::Key_Down);
    EXPECT_TRUE(a.Active());
    Key(&G(), Qt::Key_Escape);
    EXPECT_FALSE(a.Active());
    EXPECT_EQ(a.AnchorWindow(), nullptr);
    EXPECT_EQ(QWidget::mouseGrabber(), nullptr);

    // A left click ends it too, and so does a middle release after a drag.
    Mouse(V(), QEvent::MouseButtonPress, at, Qt::MiddleButton, Qt::MiddleButton);
    ASSERT_TRUE(a.Active());
    Mouse(V(), QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(a.Active());
    Mouse(V(), QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
    Mouse(V(), QEvent::MouseButtonPress, at, Qt::MiddleButton, Qt::MiddleButton);
    Mouse(V(), QEvent::MouseMove, at + QPoint(kAutoScrollSpeed6Distance, 0), Qt::NoButton, Qt::MiddleButton);
    EXPECT_EQ(a.Motion().direction, TAutoScrollDirection::Right);
    Mouse(V(), QEvent::MouseButtonRelease, at + QPoint(kAutoScrollSpeed6Distance, 0), Qt::MiddleButton, Qt::NoButton);
    EXPECT_FALSE(a.Active());
}

// --- departures found in a real window

TEST_F(GridInput, AClickOnAColumnEdgeWithoutAMoveSizesNothing)
{
    int changed = 0;
    G().SetOnChangedColumnsWidth([&] { ++changed; });
    const QPoint right = Edge(0) + QPoint(kColumnEdgeZone - 1, 0);   // inside the zone, right of the line
    Click(V(), right);
    EXPECT_EQ(G().Columns(0)->Width(), kColumnWidth);
    EXPECT_EQ(changed, 0);
}

TEST_F(GridInput, TheWheelOverEitherBarMovesOneRecordAndTheBarsFollowTheRecord)
{
    f.data.SetRecNo(20);
    for (QScrollBar* bar : {G().verticalScrollBar(), G().horizontalScrollBar()}) {
        const int before = f.data.RecNo();
        const int horizontal = G().horizontalScrollBar()->value();
        Wheel(bar, -kNotch);
        EXPECT_EQ(f.data.RecNo(), before + 1);
        EXPECT_EQ(G().horizontalScrollBar()->value(), horizontal);
    }
    EXPECT_EQ(G().verticalScrollBar()->value(), G().WindowScrollInfo().position);
}

TEST_F(GridInput, TheContextMenuComesFromTheMouseTheKeyboardAndTheBars)
{
    std::vector<QPoint> asked;
    G().SetOnContextPopup([&](QPoint at) { asked.push_back(at); });
    const QPoint cell = Cell(1, 0);
    QContextMenuEvent mouse(QContextMenuEvent::Mouse, cell, V()->mapToGlobal(cell));
    QApplication::sendEvent(V(), &mouse);
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1), G().mapToGlobal(QPoint(1, 1)));
    QApplication::sendEvent(&G(), &key);
    for (QScrollBar* bar : {G().verticalScrollBar(), G().horizontalScrollBar()}) {
        QContextMenuEvent onBar(QContextMenuEvent::Mouse, QPoint(2, 2), bar->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(bar, &onBar);
        EXPECT_TRUE(onBar.isAccepted());
    }
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0], V()->mapToGlobal(cell));
    EXPECT_EQ(asked[1], QCursor::pos());   // the keyboard's menu opens at the mouse
}

TEST_F(GridInput, CtrlInsertOnAnEmptyResultCopiesItsOneRowOfEmptyCells)
{
    Reload(MakeStore(0));
    Key(&G(), Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("ID\tNAME\r\n\r\n\t\r\n"));
}

TEST_F(GridInput, FittingMeasuresTheTextAsPainted)
{
    TColumnStore store = MakeStore(0);
    store.Column(0).AppendInt(1);
    store.Column(1).AppendBytes(std::string("a\tb\tc\r\nd"));
    Reload(std::move(store));
    G().resize(3 * kColumnWidth, G().height());
    QApplication::processEvents();
    DoubleClick(V(), Edge(1));
    const QFontMetrics data(G().font());
    const int painted = data.horizontalAdvance(VisibleCellText(QStringLiteral("a\tb\tc\r\nd")));
    const int caption = QFontMetrics(G().HeaderFont()).horizontalAdvance(QStringLiteral("NAME"));
    EXPECT_EQ(G().Columns(1)->Width(), FitColumnWidth(painted, caption, false, data.horizontalAdvance(QLatin1Char('0'))));
}

TEST_F(GridInput, TheDragImageNeverCoversTheDropMarks)
{
    Mouse(V(), QEvent::MouseButtonPress, Header(0), Qt::LeftButton, Qt::LeftButton);
    const QPoint over = Header(1);
    Mouse(V(), QEvent::MouseMove, over, Qt::NoButton, Qt::LeftButton);
    ASSERT_EQ(G().State(), gsHeaderDragging);
    QLabel* image = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* label = qobject_cast<QLabel*>(w); label && label->isVisible() && (label->windowFlags() & Qt::ToolTip))
            image = label;
    ASSERT_NE(image, nullptr);
    const QRect header = G().ComputeLayout().headerPanel;
    const QRect headerOnScreen(V()->mapToGlobal(header.topLeft()), header.size());
    EXPECT_FALSE(image->geometry().intersects(headerOnScreen));
    Mouse(V(), QEvent::MouseButtonRelease, over, Qt::LeftButton, Qt::NoButton);
}

TEST_F(GridInput, AutoScrollEndsOnTheReleaseOfAnotherButton)
{
    TGridAutoScroll& a = G().AutoScroll();
    const QPoint at = Cell(2, 0);
    Mouse(V(), QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
    Mouse(V(), QEvent::MouseButtonPress, at, Qt::MiddleButton, Qt::RightButton | Qt::MiddleButton);
    ASSERT_TRUE(a.Active());
    Mouse(V(), QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::MiddleButton);
    EXPECT_FALSE(a.Active());
}

TEST_F(GridInput, LeavingTheBlankRecordByPageOrBarDropsItAndMoves)
{
    for (int way = 0; way < 2; ++way) {
        f.data.SetRecNo(5);
        Key(&G(), Qt::Key_Insert);
        ASSERT_EQ(f.data.State(), dsInsert);
        if (way == 0)
            Key(&G(), Qt::Key_PageDown);
        else
            G().ScrollVertical(TScrollCommand::PageDown);
        EXPECT_EQ(f.data.State(), dsBrowse) << way;
        EXPECT_EQ(f.data.RecordCount(), 50) << way;
        EXPECT_GT(f.data.RecNo(), 5) << way;   // and the page moved
    }
}
