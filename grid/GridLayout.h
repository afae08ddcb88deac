#pragma once
// Where the grid's regions, columns and rows stand in the client area.
// Widget-free: rectangles in client coordinates.

#include "grid/GridMetrics.h"

#include <QRect>

#include <vector>

// A visible column's horizontal span, [left, right) in client coordinates,
// not clipped: a column cut off by the data area's edges keeps its full span.
struct TColumnSpan {
    int visibleIndex = 0;          // position among the visible columns
    int left = 0;
    int right = 0;
};

struct TGridLayout {
    QRect client;
    QRect headerPanel;             // empty height when the header is hidden
    QRect dataArea;                // never of negative height
    int bandLeft = 0;              // data area left - LeftCoord
    int contentWidth = 0;          // sum of the visible column widths
    int rowHeight = 18;
    // Every visible column, in layout order.
    std::vector<TColumnSpan> columns;

    // Columns overlapping the data area horizontally: [first, last).
    [[nodiscard]] int FirstShownColumn() const;
    [[nodiscard]] int EndShownColumn() const;
    // Row `row` (0-based from the data area's top), full width, grid line
    // included.
    [[nodiscard]] QRect RowRect(int row) const;
    // Header cell of visible column `i`, full span.
    [[nodiscard]] QRect HeaderCellRect(int i) const;
    // Data cell of row `row`, visible column `i`: the span minus the grid
    // line at the right and at the bottom.
    [[nodiscard]] QRect CellRect(int row, int i) const;
    // Right end of the content (the band's right edge).
    [[nodiscard]] int ContentRight() const { return bandLeft + contentWidth; }
};

// `visibleWidths`: widths of the visible columns in layout order.
[[nodiscard]] TGridLayout ComputeGridLayout(const QRect& client, const TGridMetrics& metrics,
                                            const std::vector<int>& visibleWidths, int leftCoord);
