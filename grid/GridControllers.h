#pragma once
// Keys and mouse of the result grid: small controllers, each handling a few
// events and returning whether it used them. They take their state from the
// grid and call its commands; painting stays with the grid.
//
// Threading: user-interface thread only.

#include "grid/GridHitTest.h"

#include <QPoint>

#include <memory>

class QKeyEvent;
class QLabel;
class QMouseEvent;
class TdxDBGrid;

// The key table, in its order: record commands, Ctrl+Home/End, the
// untouched-insert rules, then the moves of the focused cell and Ctrl+Insert.
class TGridKeyController {
public:
    explicit TGridKeyController(TdxDBGrid& grid) : m_grid(grid) {}
    [[nodiscard]] bool KeyPress(const QKeyEvent& event);

private:
    [[nodiscard]] bool RecordKeys(const QKeyEvent& event);
    [[nodiscard]] bool MoveKeys(const QKeyEvent& event);

    TdxDBGrid& m_grid;
};

// Column sizing, header press and drag, and row press. Points are in the
// grid's viewport coordinates.
class TGridMouseController {
public:
    explicit TGridMouseController(TdxDBGrid& grid);
    ~TGridMouseController();

    [[nodiscard]] bool Press(const QMouseEvent& event, bool doubleClick);
    [[nodiscard]] bool Move(const QMouseEvent& event);
    [[nodiscard]] bool Release(const QMouseEvent& event);
    // Esc during sizing or dragging.
    [[nodiscard]] bool KeyPress(const QKeyEvent& event);
    // Back to gsIdle, erasing the sizing line and the drag image.
    void Cancel();
    // The row press ends when the grid loses the focus.
    void FocusLost();

    [[nodiscard]] TGridState State() const { return m_state; }
    [[nodiscard]] bool SplitterCursorAt(QPoint point) const;

private:
    void StartDrag(QPoint point);
    void MoveDragImage(QPoint point);
    void EndDrag();

    TdxDBGrid& m_grid;
    TGridState m_state = gsIdle;
    QPoint m_pressPoint;
    int m_column = -1;             // visible position of the sized or pressed column
    int m_columnLeft = 0;          // its left edge when sizing started
    int m_startLine = -1;
    int m_line = -1;
    std::unique_ptr<QLabel> m_dragImage;
};
