#include "grid/GridMetrics.h"

#include <algorithm>

TGridMetrics ComputeGridMetrics(const TMetricsInput& in)
{
    TGridMetrics m;
    m.headerTextHeight = in.headerTextHeight;
    const int lines = std::max(1, in.headerLineCount);
    m.headerRowHeight = in.headerTextHeight * lines + (in.standardLook ? 1 : 0) + 5;
    m.headerPanelHeight = in.showHeader ? m.headerRowHeight * std::max(1, in.headerPanelRowCount) : 0;
    m.bandPanelHeight = 0;
    m.dataTextHeight = in.dataTextHeight;

    int base = std::max(in.dataTextHeight + 3, 16);
    for (int h : in.columnTextHeights)
        base = std::max(base, h + 3);
    if (in.showGrid && in.showPreviewGrid)
        base += 1;
    m.baseRowHeight = base;
    m.defaultRowHeight = std::max(base, in.explicitRowHeight);
    m.digitWidth = in.digitWidth;
    m.indicatorWidth = in.showIndicator ? in.indicatorWidth : 0;
    return m;
}
