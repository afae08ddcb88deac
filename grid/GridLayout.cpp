#include "grid/GridLayout.h"

#include <algorithm>

TGridLayout ComputeGridLayout(const QRect& client, const TGridMetrics& metrics,
                              const std::vector<int>& visibleWidths, int leftCoord)
{
    TGridLayout l;
    l.client = client;
    l.rowHeight = std::max(1, metrics.defaultRowHeight);
    const int left = client.left() + metrics.indicatorWidth;
    const int right = client.left() + client.width();   // exclusive
    const int headerTop = client.top() + metrics.bandPanelHeight;
    const int headerHeight = std::min(metrics.headerPanelHeight, std::max(0, client.height() - metrics.bandPanelHeight));
    l.headerPanel = QRect(left, headerTop, std::max(0, right - left), headerHeight);
    const int dataTop = headerTop + headerHeight;
    const int dataBottom = client.top() + client.height();    // exclusive, no footers
    l.dataArea = QRect(left, dataTop, std::max(0, right - left), std::max(0, dataBottom - dataTop));

    l.bandLeft = left - leftCoord;
    int x = l.bandLeft;
    l.columns.reserve(visibleWidths.size());
    for (std::size_t i = 0; i < visibleWidths.size(); ++i) {
        const int w = std::max(0, visibleWidths[i]);
        l.columns.push_back({static_cast<int>(i), x, x + w});
        x += w;
    }
    l.contentWidth = x - l.bandLeft;
    return l;
}

int TGridLayout::FirstShownColumn() const
{
    const int areaLeft = dataArea.left();
    auto it = std::find_if(columns.begin(), columns.end(), [&](const TColumnSpan& c) { return c.right > areaLeft; });
    return static_cast<int>(it - columns.begin());
}

int TGridLayout::EndShownColumn() const
{
    const int areaRight = dataArea.left() + dataArea.width();
    int end = static_cast<int>(columns.size());
    while (end > 0 && columns[static_cast<std::size_t>(end - 1)].left >= areaRight)
        --end;
    return std::max(end, FirstShownColumn());
}

QRect TGridLayout::RowRect(int row) const
{
    return QRect(dataArea.left(), dataArea.top() + row * rowHeight, dataArea.width(), rowHeight);
}

QRect TGridLayout::HeaderCellRect(int i) const
{
    const TColumnSpan& c = columns[static_cast<std::size_t>(i)];
    return QRect(c.left, headerPanel.top(), c.right - c.left, headerPanel.height());
}

QRect TGridLayout::CellRect(int row, int i) const
{
    const TColumnSpan& c = columns[static_cast<std::size_t>(i)];
    return QRect(c.left, dataArea.top() + row * rowHeight, std::max(0, c.right - c.left - 1), std::max(0, rowHeight - 1));
}
