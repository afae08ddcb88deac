#include "grid/GridHitTest.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Visible column at x, or -1 (x left of the band or right of its end).
int ColumnAt(const TGridLayout& l, int x)
{
    auto it = std::upper_bound(l.columns.begin(), l.columns.end(), x, [](int v, const TColumnSpan& c) { return v < c.right; });
    if (it == l.columns.end() || x < it->left)
        return -1;
    return it->visibleIndex;
}

} // namespace

TGridHitInfo GridHitTest(const TGridLayout& l, QPoint p, int rowsShown, const std::vector<bool>& sizable)
{
    TGridHitInfo hit;
    hit.point = p;
    if (!l.client.contains(p))
        return hit;
    hit.zone = hzNowhere;
    if (l.headerPanel.contains(p)) {
        // The later column wins where two edge zones overlap.
        for (int i = static_cast<int>(l.columns.size()) - 1; i >= 0; --i) {
            const int edge = l.columns[static_cast<std::size_t>(i)].right;
            if (p.x() >= edge - kColumnEdgeZone && p.x() < edge + kColumnEdgeZone
                && i < static_cast<int>(sizable.size()) && sizable[static_cast<std::size_t>(i)]) {
                hit.zone = hzColumnEdge;
                hit.column = i;
                return hit;
            }
        }
        hit.column = ColumnAt(l, p.x());
        if (hit.column >= 0)
            hit.zone = hzHeader;
        return hit;
    }
    if (l.dataArea.contains(p)) {
        const int row = (p.y() - l.dataArea.top()) / l.rowHeight;
        if (row >= rowsShown)
            return hit;
        hit.node = row;
        hit.column = ColumnAt(l, p.x());
        hit.zone = hit.column >= 0 ? hzCell : hzRowRest;
    }
    return hit;
}

int ClampSizingLine(int x, int columnLeft, int minWidth, int clientRight)
{
    const int lowest = columnLeft + std::max(1, minWidth) - 1;
    return std::max(lowest, std::min(x, clientRight - 1));
}

bool DragStarted(QPoint press, QPoint now)
{
    return std::abs(now.x() - press.x()) > kDragStartDistance || std::abs(now.y() - press.y()) > kDragStartDistance;
}

TColumnDrop ColumnDropAt(const TGridLayout& l, QPoint p, int dragged)
{
    const int count = static_cast<int>(l.columns.size());
    if (!l.headerPanel.contains(p) || dragged < 0 || dragged >= count)
        return {};
    int slot;                       // insertion slot, 0 .. count
    if (p.x() >= l.ContentRight()) {
        slot = count;
    } else {
        const int c = ColumnAt(l, p.x());
        if (c < 0 || c == dragged)
            return {};
        const TColumnSpan& s = l.columns[static_cast<std::size_t>(c)];
        slot = p.x() <= s.left + (s.right - s.left) / 2 ? c : c + 1;
    }
    if (slot == dragged || slot == dragged + 1)
        return {};
    TColumnDrop drop;
    drop.position = slot > dragged ? slot - 1 : slot;
    drop.markX = slot == count ? l.ContentRight() : l.columns[static_cast<std::size_t>(slot)].left;
    return drop;
}

int FitColumnWidth(int widestText, int captionWidth, bool disableFilter, int digitWidth)
{
    const int caption = captionWidth + (disableFilter ? 0 : kFitCaptionExtra);
    return std::max(widestText, caption) + 2 * (digitWidth / 2 + 1);
}
