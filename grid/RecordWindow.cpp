#include "grid/RecordWindow.h"

#include <algorithm>
#include <cstdlib>

TWindowRows MeasureRows(int dataAreaHeight, int rowHeight)
{
    TWindowRows r;
    if (rowHeight <= 0 || dataAreaHeight <= 0)
        return r;
    r.visible = std::max(1, dataAreaHeight / rowHeight);
    r.partial = std::max(1, dataAreaHeight / rowHeight + (dataAreaHeight % rowHeight != 0 ? 1 : 0));
    return r;
}

TScrollInfo ComputeWindowScrollInfo(const TScrollSource& s)
{
    TScrollInfo info;
    if (!s.usable)
        return info;
    if (!s.sequenced) {
        info.position = s.bof ? 0 : s.eof ? 4 : 2;
        return info;
    }
    info.min = 1;
    info.page = std::max(1, s.visibleRowCount);
    info.max = s.recordCount + info.page - 1;
    info.position = s.recNo >= 0 ? s.recNo : 0;
    return info;
}

TDataSetMove ScrollCommandMove(TScrollCommand command, const TScrollCommandSource& s)
{
    using K = TDataSetMove;
    switch (command) {
    case TScrollCommand::LineUp: return {K::By, -(s.activeRecord + 1)};
    case TScrollCommand::LineDown: return {K::By, s.windowRecordCount - s.activeRecord};
    case TScrollCommand::PageUp: return {K::By, -s.visibleRowCount};
    case TScrollCommand::PageDown: return {K::By, s.visibleRowCount};
    case TScrollCommand::Top: return {K::First, 0};
    case TScrollCommand::Bottom: return {K::Last, 0};
    case TScrollCommand::ThumbPosition:
        if (!s.sequenced) {
            switch (s.thumbPosition) {
            case 0: return {K::First, 0};
            case 1: return {K::By, -s.visibleRowCount};
            case 3: return {K::By, s.visibleRowCount};
            case 4: return {K::Last, 0};
            default: return {};
            }
        }
        if (s.thumbPosition <= 1)
            return {K::First, 0};
        if (s.thumbPosition < s.recordCount)
            return {K::RecNo, s.thumbPosition};
        return {K::Last, 0};
    case TScrollCommand::ThumbTrack:
    case TScrollCommand::EndScroll:
        break;
    }
    return {};
}

TScrolledRepaint ScrolledRepaint(int distance, int visibleRowCount, int rowHeight)
{
    TScrolledRepaint r;
    if (distance == 0)
        return r;
    if (std::abs(distance) > visibleRowCount) {
        r.repaintAll = true;
        return r;
    }
    r.scrollPixels = distance * rowHeight;
    return r;
}
