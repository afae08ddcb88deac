#pragma once
// Painting of the grid: header cells, data cells, the focused cell and the
// grid lines, limited to an update region.

#include <QString>

#include <vector>

class QFontMetrics;
class QPainter;
class QPoint;
class QRect;
class QRegion;
struct TGridPaintState;

// Paints the parts of the grid's viewport that `region` covers.
void PaintGrid(const TGridPaintState& state, QPainter& painter, const QRegion& region);

// `text` cut so that it fits `width` pixels, its cut tail replaced by "...";
// the text itself when it fits, "..." alone (or less) when nothing else does.
[[nodiscard]] QString ElideEnd(const QFontMetrics& metrics, const QString& text, int width);

// Cell text as drawn: a line break (CR LF, CR or LF) becomes one return
// mark, a tab an arrow, any other control character the replacement mark,
// so that a value never reads as different text. Text without control
// characters comes back as it is.
inline constexpr char16_t kLineBreakMark = u'\u21B5';   // ↵
inline constexpr char16_t kTabMark = u'\u2192';         // →
inline constexpr char16_t kControlMark = u'\uFFFD';
[[nodiscard]] QString VisibleCellText(const QString& text);

// x of a text of `textWidth` pixels in the data cell [cellLeft, cellRight)
// (cellRight exclusive, grid line excluded) for an alignment (TAlignment
// ordinal), with the 2-pixel margins of the data cells.
[[nodiscard]] int DataTextX(int cellLeft, int cellRight, int textWidth, int alignment);

// The pixels of a dotted focus frame on `rect`: every other pixel along the
// border, starting at the top-left corner.
[[nodiscard]] std::vector<QPoint> DottedFramePoints(const QRect& rect);
