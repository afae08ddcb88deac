#pragma once
// Where a point of the grid lies, and the arithmetic of the mouse
// operations (column sizing, header dragging, fitting). Widget-free: works
// on a GridLayout in client coordinates.

#include "grid/GridLayout.h"

#include <QPoint>

#include <vector>

enum TGridHitZone : int { hzOutside = 0, hzNowhere, hzHeader, hzColumnEdge, hzCell, hzRowRest };

enum TGridState : int { gsIdle = 0, gsColumnSizing, gsHeaderPressed, gsHeaderDragging, gsRowPressed, gsEditing };

struct TGridHitInfo {
    QPoint point;
    int column = -1;               // visible column position
    int node = -1;                 // window row
    TGridHitZone zone = hzOutside;
};

// Half-width of a column edge's zone: [right - 4, right + 4).
inline constexpr int kColumnEdgeZone = 4;
// A pressed header starts a drag after the mouse moved more than this far
// from the press point, in x or in y.
inline constexpr int kDragStartDistance = 5;
// Fitting adds this to the caption unless the column has DisableFilter.
inline constexpr int kFitCaptionExtra = 15;

// `rowsShown`: rows holding a node (the rest of the data area is empty);
// `sizable[i]`: visible column i may be sized (its edge zone exists).
[[nodiscard]] TGridHitInfo GridHitTest(const TGridLayout& layout, QPoint point, int rowsShown,
                                       const std::vector<bool>& sizable);

// The sizing line's x for the mouse at `x`, clamped so that the column keeps
// at least `minWidth` pixels and the line stays inside the client area.
[[nodiscard]] int ClampSizingLine(int x, int columnLeft, int minWidth, int clientRight);
// The width a sizing line at `lineX` gives (the line is the column's last pixel).
[[nodiscard]] inline int SizedWidth(int lineX, int columnLeft) { return lineX - columnLeft + 1; }

[[nodiscard]] bool DragStarted(QPoint press, QPoint now);

// Where a header dragged from visible position `dragged` lands when dropped
// at `point`: the new visible position, or -1 when the order stays. `markX`
// is the insertion edge for the arrow marks (-1 with no drop).
struct TColumnDrop {
    int position = -1;
    int markX = -1;
};
[[nodiscard]] TColumnDrop ColumnDropAt(const TGridLayout& layout, QPoint point, int dragged);

// Width that fits the widest cell text and the caption (plus its filter
// button room), with the margins of the data cells.
[[nodiscard]] int FitColumnWidth(int widestText, int captionWidth, bool disableFilter, int digitWidth);
