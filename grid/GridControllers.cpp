#include "grid/GridControllers.h"

#include "grid/GridAutoScroll.h"
#include "grid/dxDBGrid.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

// --- keys

bool TGridKeyController::KeyPress(const QKeyEvent& event)
{
    if (!m_grid.DataLink().Active())
        return false;
    return RecordKeys(event) || MoveKeys(event);
}

bool TGridKeyController::RecordKeys(const QKeyEvent& e)
{
    const bool ctrl = e.modifiers() & Qt::ControlModifier;
    const bool shift = e.modifiers() & Qt::ShiftModifier;
    switch (e.key()) {
    case Qt::Key_Delete:
        if (!ctrl)
            return false;
        m_grid.DeleteFocusedRecord();
        return true;
    case Qt::Key_Escape:
        m_grid.CancelRecord();
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!ctrl || shift)
            return false;
        m_grid.GotoRecord(e.key() == Qt::Key_Home ? TGotoRecord::First : TGotoRecord::Last);
        return true;
    default: break;
    }
    TDataSet* ds = m_grid.DataLink().DataSet();
    if (!ds->CanModify() || !m_grid.OptionsBehavior().Contains(edgoEditing))
        return false;
    switch (e.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        // Leaving a blank record drops it: it can never be filled here.
        return m_grid.CancelUntouchedInsert();
    case Qt::Key_Insert:
        if (ctrl)
            return false;
        m_grid.InsertRecord();
        return true;
    default: return false;
    }
}

bool TGridKeyController::MoveKeys(const QKeyEvent& e)
{
    const bool ctrl = e.modifiers() & Qt::ControlModifier;
    TDataSet* ds = m_grid.DataLink().DataSet();
    const int node = m_grid.FocusedNode();
    const int column = m_grid.FocusedVisibleColumn();
    const int last = m_grid.VisibleColumnCount() - 1;
    switch (e.key()) {
    case Qt::Key_Up:
        if (!ds->Bof())
            m_grid.MoveToRow(node - 1);
        return true;
    case Qt::Key_Down:
        m_grid.MoveToRow(node + 1);
        return true;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        const bool down = e.key() == Qt::Key_PageDown;
        if (!down && ds->Bof())
            return true;
        m_grid.MoveToRow(PageTargetRow(node, m_grid.VisibleRowCount(), m_grid.DataLink().RecordCount(), down));
        return true;
    }
    case Qt::Key_Left: m_grid.FocusColumn(ctrl ? 0 : column - 1); return true;
    case Qt::Key_Right: m_grid.FocusColumn(ctrl ? last : column + 1); return true;
    case Qt::Key_Home: m_grid.FocusColumn(0); return true;
    case Qt::Key_End: m_grid.FocusColumn(last); return true;
    case Qt::Key_Insert:
        if (!ctrl)
            return false;
        m_grid.CopyRowsToClipboard();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        return true;   // would open the editor; the columns have none
    case Qt::Key_Space:
        return ctrl;
    default: return false;
    }
}

// --- mouse

TGridMouseController::TGridMouseController(TdxDBGrid& grid) : m_grid(grid) {}
TGridMouseController::~TGridMouseController() = default;

bool TGridMouseController::Press(const QMouseEvent& e, bool doubleClick)
{
    const QPoint pos = e.position().toPoint();
    if (m_grid.focusPolicy() != Qt::NoFocus && !m_grid.hasFocus())
        m_grid.setFocus(Qt::MouseFocusReason);
    const TGridHitInfo hit = m_grid.HitTest(pos);

    if (e.button() == Qt::RightButton && m_state != gsIdle) {
        Cancel();
        return true;
    }
    if (e.button() == Qt::MiddleButton) {
        if (m_state == gsIdle)
            m_grid.AutoScroll().Start(e.globalPosition().toPoint());
        return true;
    }
    if (m_state != gsIdle)
        return true;
    if (e.button() == Qt::LeftButton) {
        if (hit.zone == hzColumnEdge) {
            if (doubleClick) {
                m_grid.FitColumnWidth(hit.column);
                return true;
            }
            const TColumnSpan span = m_grid.ComputeLayout().columns[static_cast<std::size_t>(hit.column)];
            m_state = gsColumnSizing;
            m_column = hit.column;
            m_columnLeft = span.left;
            m_startLine = m_line = span.right - 1;
            m_grid.SetSizingLine(m_line);
            m_grid.viewport()->setCursor(Qt::SplitHCursor);
            return true;
        }
        if (hit.zone == hzHeader) {
            m_state = gsHeaderPressed;
            m_column = hit.column;
            m_pressPoint = pos;
            m_grid.SetPressedColumn(m_grid.VisibleColumn(hit.column)->Index());
            return true;
        }
    }
    if (hit.zone == hzCell && (e.button() == Qt::LeftButton || e.button() == Qt::RightButton)) {
        if (e.button() == Qt::LeftButton && doubleClick) {
            m_grid.FireDblClick();   // and nothing else: no focus change
            return true;
        }
        if (e.button() == Qt::LeftButton)
            m_state = gsRowPressed;
        m_grid.FocusCell(hit.node, hit.column);
    }
    return true;
}

bool TGridMouseController::Move(const QMouseEvent& e)
{
    const QPoint pos = e.position().toPoint();
    if (m_state == gsRowPressed && !(e.buttons() & Qt::LeftButton))
        m_state = gsIdle;
    switch (m_state) {
    case gsIdle:
        if (SplitterCursorAt(pos))
            m_grid.viewport()->setCursor(Qt::SplitHCursor);
        else
            m_grid.viewport()->unsetCursor();
        return false;
    case gsColumnSizing: {
        const TdxDBGridColumn* column = m_grid.VisibleColumn(m_column);
        m_line = ClampSizingLine(pos.x(), m_columnLeft, column ? column->MinWidth() : 1, m_grid.viewport()->width());
        m_grid.SetSizingLine(m_line);
        return true;
    }
    case gsHeaderPressed: {
        const TGridHitInfo hit = m_grid.HitTest(pos);
        const bool over = hit.zone == hzHeader && hit.column == m_column;
        m_grid.SetPressedColumn(over ? m_grid.VisibleColumn(m_column)->Index() : -1);
        if (DragStarted(m_pressPoint, pos) && m_grid.OptionsCustomize().Contains(edgoColumnMoving))
            StartDrag(pos);
        return true;
    }
    case gsHeaderDragging:
        MoveDragImage(pos);
        m_grid.SetDropMark(ColumnDropAt(m_grid.ComputeLayout(), pos, m_column).markX);
        return true;
    default: return true;
    }
}

bool TGridMouseController::Release(const QMouseEvent& e)
{
    const QPoint pos = e.position().toPoint();
    const TGridState state = m_state;
    m_state = gsIdle;
    switch (state) {
    case gsColumnSizing: {
        // The line goes before any width is applied, so a failure leaves none.
        m_grid.SetSizingLine(-1);
        m_grid.viewport()->unsetCursor();
        TdxDBGridColumn* column = m_grid.VisibleColumn(m_column);
        // The line moves only with the mouse: a click without a move sizes nothing.
        if (column && m_line != m_startLine) {
            column->SetWidth(SizedWidth(m_line, m_columnLeft));
            m_grid.FireChangedColumnsWidth();
        }
        return true;
    }
    case gsHeaderPressed:
        m_grid.SetPressedColumn(-1);
        return true;   // a header click: it sorts nothing here
    case gsHeaderDragging: {
        EndDrag();
        const TColumnDrop drop = ColumnDropAt(m_grid.ComputeLayout(), pos, m_column);
        if (drop.position >= 0) {
            TdxDBGridColumn* focused = m_grid.VisibleColumn(m_grid.FocusedVisibleColumn());
            TdxDBGridColumn* moved = m_grid.VisibleColumn(m_column);
            moved->SetColIndex(drop.position);
            // The focus stays on the column it was on.
            for (int v = 0, n = m_grid.VisibleColumnCount(); v < n; ++v)
                if (m_grid.VisibleColumn(v) == focused)
                    m_grid.SetFocusedVisibleColumn(v);
            m_grid.MakeColumnVisible(drop.position);
        }
        return true;
    }
    case gsRowPressed:
        return true;
    default:
        return false;
    }
}

bool TGridMouseController::KeyPress(const QKeyEvent& e)
{
    if (e.key() != Qt::Key_Escape || (m_state != gsColumnSizing && m_state != gsHeaderDragging))
        return false;
    Cancel();
    return true;
}

void TGridMouseController::Cancel()
{
    switch (m_state) {
    case gsColumnSizing:
        m_grid.SetSizingLine(-1);
        m_grid.viewport()->unsetCursor();
        break;
    case gsHeaderPressed: m_grid.SetPressedColumn(-1); break;
    case gsHeaderDragging: EndDrag(); break;
    default: break;
    }
    m_state = gsIdle;
}

void TGridMouseController::FocusLost()
{
    if (m_state == gsRowPressed)
        m_state = gsIdle;
}

bool TGridMouseController::SplitterCursorAt(QPoint point) const
{
    return m_grid.HitTest(point).zone == hzColumnEdge;
}

void TGridMouseController::StartDrag(QPoint point)
{
    m_state = gsHeaderDragging;
    m_grid.SetPressedColumn(-1);
    const QRect cell = m_grid.ComputeLayout().HeaderCellRect(m_column);
    m_dragImage = std::make_unique<QLabel>(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    m_dragImage->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_dragImage->setAttribute(Qt::WA_ShowWithoutActivating);
    m_dragImage->setPixmap(m_grid.viewport()->grab(cell));
    m_dragImage->resize(cell.size());
    m_dragImage->setWindowOpacity(0.7);
    m_pressPoint -= cell.topLeft();   // from here: the grab offset inside the header
    MoveDragImage(point);
    m_dragImage->show();
}

void TGridMouseController::MoveDragImage(QPoint point)
{
    // Without a compositor the image is opaque: it follows the mouse below
    // the header panel, so it never covers the drop marks drawn there.
    if (!m_dragImage)
        return;
    const int below = m_grid.ComputeLayout().headerPanel.bottom() + 1;
    m_dragImage->move(m_grid.viewport()->mapToGlobal(QPoint(point.x() - m_pressPoint.x(), below)));
}

void TGridMouseController::EndDrag()
{
    m_dragImage.reset();
    m_grid.SetDropMark(-1);
}
