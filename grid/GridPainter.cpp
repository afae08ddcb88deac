#include "grid/GridPainter.h"

#include "grid/GridPaintState.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QRegion>
#include <QScopeGuard>

#include <algorithm>
#include <memory>

QString ElideEnd(const QFontMetrics& metrics, const QString& text, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    static const QString kDots = QStringLiteral("...");
    // Longest prefix whose width with the dots still fits: binary search over
    // the prefix length (widths grow with length).
    int lo = 0, hi = static_cast<int>(text.size());
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (metrics.horizontalAdvance(text.left(mid) + kDots) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return text.left(lo) + kDots;
}

QString VisibleCellText(const QString& text)
{
    const auto control = [](QChar ch) { return ch.unicode() < 0x20 || ch.unicode() == 0x7F; };
    if (std::none_of(text.begin(), text.end(), control))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (!control(ch)) {
            out += ch;
        } else if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;   // CR LF is one break
            out += kLineBreakMark;
        } else if (ch == u'\t') {
            out += kTabMark;
        } else {
            out += kControlMark;
        }
    }
    return out;
}

int DataTextX(int cellLeft, int cellRight, int textWidth, int alignment)
{
    const int boxRight = cellRight - 2;
    switch (alignment) {
    case taRightJustify: return boxRight - textWidth;
    case taCenter: {
        const int boxLeft = cellLeft + 2;
        return boxLeft + ((boxRight - boxLeft) / 2 - textWidth / 2);
    }
    default: return cellLeft + 2;
    }
}

std::vector<QPoint> DottedFramePoints(const QRect& rect)
{
    std::vector<QPoint> pts;
    if (rect.width() <= 0 || rect.height() <= 0)
        return pts;
    const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
    // Walk the border once, clockwise, taking every other pixel.
    int step = 0;
    auto take = [&](int x, int y) {
        if ((step++ & 1) == 0)
            pts.emplace_back(x, y);
    };
    for (int x = l; x <= r; ++x) take(x, t);
    for (int y = t + 1; y <= b; ++y) take(r, y);
    if (b > t)
        for (int x = r - 1; x >= l; --x) take(x, b);
    if (r > l)
        for (int y = b - 1; y > t; --y) take(l, y);
    return pts;
}

namespace {

// Cell text without shaping: for text made only of characters that need no
// shaping (Latin, Greek, Cyrillic without combining marks) and that the
// font itself has, glyphs and advances come from a per-font table and the
// text is drawn as one glyph run. Anything else goes through the shaper.
class TFastText {
public:
    explicit TFastText(const QFont& font) : m_raw(QRawFont::fromFont(font)), m_table(kLimit) {}

    // False when `text` needs the shaper; else keeps its glyphs and
    // positions (from x 0 on the baseline) and gives its width.
    bool Prepare(const QString& text, int& width)
    {
        if (!m_raw.isValid())
            return false;
        // Sized once and written in place: a text has at most one glyph per
        // UTF-16 unit here.
        m_glyphs.resize(text.size());
        m_positions.resize(text.size());
        quint32* glyphOut = m_glyphs.data();
        QPointF* positionOut = m_positions.data();
        qreal x = 0;
        for (QChar ch : text) {
            const char16_t u = ch.unicode();
            if (u >= kLimit || (u >= 0x0300 && u < 0x0370) || u < 0x20)
                return false;
            TEntry& e = m_table[u];
            if (!e.known) {
                quint32 glyph = 0;
                int n = 1;
                m_raw.glyphIndexesForChars(&ch, 1, &glyph, &n);
                e.glyph = glyph;
                if (glyph != 0) {
                    const QList<QPointF> adv = m_raw.advancesForGlyphIndexes(QList<quint32>{glyph}, QRawFont::UseDesignMetrics);
                    e.advance = adv.isEmpty() ? 0 : qRound(adv.front().x());
                }
                e.known = true;
            }
            if (e.glyph == 0)
                return false;   // not in this font: the shaper finds a fallback
            *glyphOut++ = e.glyph;
            *positionOut++ = QPointF(x, 0);
            x += e.advance;
        }
        width = static_cast<int>(x);
        return true;
    }

    // The last prepared text as a run of its own. The run shares the glyph
    // lists, so the next Prepare copies them: only texts drawn alone pay it.
    void FillRun(QGlyphRun& run) const
    {
        run.setRawFont(m_raw);
        run.setGlyphIndexes(m_glyphs);
        run.setPositions(m_positions);
    }

    [[nodiscard]] const QRawFont& RawFont() const { return m_raw; }

    // The glyphs of the last prepared text, placed at `origin`, appended to
    // a batch drawn as one run.
    void AppendLastTo(QList<quint32>& glyphs, QList<QPointF>& positions, QPointF origin) const
    {
        glyphs.append(m_glyphs);
        const qsizetype at = positions.size();
        positions.resize(at + m_positions.size());
        QPointF* out = positions.data() + at;
        for (const QPointF& position : m_positions)
            *out++ = position + origin;
    }

private:
    static constexpr char16_t kLimit = 0x0590;
    struct TEntry {
        quint32 glyph = 0;
        int advance = 0;
        bool known = false;
    };
    QRawFont m_raw;
    std::vector<TEntry> m_table;
    QList<quint32> m_glyphs;
    QList<QPointF> m_positions;
};

// The glyph table of the last font painted with, kept from frame to frame:
// building it (a raw font, a lookup per character) cost more than a key's
// whole repaint budget when it was done for every frame.
TFastText& FastTextFor(const QFont& font)
{
    thread_local QFont cachedFont;
    thread_local std::unique_ptr<TFastText> cached;
    if (!cached || cachedFont != font || cachedFont.resolveMask() != font.resolveMask()) {
        cached = std::make_unique<TFastText>(font);
        cachedFont = font;
    }
    return *cached;
}

// Inverts the pixels under `points` (or `rects`) on the painter's device.
void InvertPoints(QPainter& p, const std::vector<QPoint>& points)
{
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(Qt::white, 0));
    // A few dozen points a call: the raster engine hands a call of about a
    // hundred spans or more to its thread pool, and for single pixels the
    // hand-over (a wake-up and a wait a piece) costs far more than the
    // pixels. The points are distinct, so the order of the calls does not
    // matter to the inverted pixels.
    constexpr std::size_t kPointsPerCall = 64;
    for (std::size_t at = 0; at < points.size(); at += kPointsPerCall)
        p.drawPoints(points.data() + at, static_cast<int>(std::min(kPointsPerCall, points.size() - at)));
    p.restore();
}

void InvertRects(QPainter& p, const std::vector<QRect>& rects)
{
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    for (const QRect& r : rects)
        if (r.width() > 0 && r.height() > 0)
            p.fillRect(r, Qt::white);
    p.restore();
}

void PaintHeaderCell(QPainter& p, const QRect& cell, const QRect& clip, const TPaintColumn& column,
                     bool pressed, const TPaintColors& c, const QFontMetrics& fm)
{
    p.save();
    p.setClipRect(clip, Qt::IntersectClip);
    const int l = cell.left(), t = cell.top(), r = cell.right(), b = cell.bottom();
    p.fillRect(cell, c.header);
    // Raised outer edge, right and bottom.
    p.setPen(c.dkShadow);
    p.drawLine(r, t, r, b);
    p.drawLine(l, b, r, b);
    if (pressed) {
        // Sunken outer edge, left and top.
        p.setPen(c.btnShadow);
        p.drawLine(l, t, r - 1, t);
        p.drawLine(l, t, l, b - 1);
    } else {
        // Raised inner edge: right and bottom shadow, left and top light.
        p.setPen(c.btnShadow);
        p.drawLine(r - 1, t + 1, r - 1, b - 1);
        p.drawLine(l + 1, b - 1, r - 1, b - 1);
        p.setPen(c.btnHighlight);
        p.drawLine(l, t, r - 2, t);
        p.drawLine(l, t, l, b - 2);
    }

    QRect content = cell.adjusted(1, 1, -1, -1);
    if (pressed)
        content.translate(2, 2);
    content.setBottom(content.bottom() - 1);

    const QString& caption = column.caption;
    if (!caption.isEmpty() && content.width() > 0) {
        const QString shown = ElideEnd(fm, caption, content.width());
        int flags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextExpandTabs;
        switch (column.headerAlignment) {
        case taRightJustify: flags |= Qt::AlignRight; break;
        case taCenter: flags |= Qt::AlignHCenter; break;
        default: flags |= Qt::AlignLeft; break;
        }
        p.setPen(c.fontColor);
        p.setClipRect(content, Qt::IntersectClip);
        p.drawText(content, flags, shown);
    }
    p.restore();
}

} // namespace

void PaintGrid(const TGridPaintState& state, QPainter& p, const QRegion& region)
{
    const TGridLayout& layout = state.layout;
    const TPaintColors& c = state.colors;
    const int firstCol = state.firstShown;
    const int endCol = firstCol + static_cast<int>(state.shown.size());
    const std::vector<TPaintColumn>& shown = state.shown;

    const QRect bounds = region.boundingRect();

    // Header panel.
    if (layout.headerPanel.height() > 0 && region.intersects(layout.headerPanel)) {
        p.setFont(state.headerFont);
        const QFontMetrics fm(state.headerFont);
        for (int i = firstCol; i < endCol; ++i) {
            const QRect cell = layout.HeaderCellRect(i);
            const QRect clip = cell.intersected(layout.headerPanel);
            if (!clip.isValid() || !bounds.intersects(clip))
                continue;
            const TPaintColumn& column = shown[static_cast<std::size_t>(i - firstCol)];
            PaintHeaderCell(p, cell, clip, column, column.absoluteIndex == state.pressedColumn, c, fm);
        }
        const int right = std::max(layout.ContentRight(), layout.headerPanel.left());
        const QRect rest(right, layout.headerPanel.top(), layout.headerPanel.right() + 1 - right, layout.headerPanel.height());
        if (rest.width() > 0)
            p.fillRect(rest, c.window);
    }

    // Data rows.
    const QRect& area = layout.dataArea;
    if (area.height() > 0 && region.intersects(area)) {
        p.save();
        p.setClipRect(area, Qt::IntersectClip);
        const QFont& font = state.font;
        p.setFont(font);
        const QFontMetrics fm(font);
        const int ascent = fm.ascent();
        TFastText& fast = FastTextFor(font);
        QGlyphRun run;
        const int rh = layout.rowHeight;
        const int focusedNode = state.focusedNode;
        const int focusedColumn = state.focusedColumn;
        const bool focused = state.focused;
        const int rowsShown = std::min(state.nodeCount, state.partialRowCount);

        const int firstRow = std::max(0, (bounds.top() - area.top()) / rh);
        const int lastRow = std::min(rowsShown - 1, (bounds.bottom() - area.top()) / rh);
        QRect focusCell;
        std::vector<QRect> lines;   // one-pixel grid lines, filled in one call
        // Texts in the grid's text colour that need no clip, drawn as one
        // glyph run per row: a run per cell costs a call each, and one run
        // per frame was slower at 3840x2160 pixels, its rows no longer in
        // the cache when their text came (bench_grid).
        thread_local QList<quint32> batchGlyphs;
        thread_local QList<QPointF> batchPositions;
        batchGlyphs.clear();
        batchPositions.clear();
        const auto drawBatch = [&] {
            if (batchGlyphs.isEmpty())
                return;
            QGlyphRun batch;
            batch.setRawFont(fast.RawFont());
            batch.setGlyphIndexes(batchGlyphs);
            batch.setPositions(batchPositions);
            p.setPen(c.fontColor);
            p.drawGlyphRun(QPointF(0, 0), batch);
            batchGlyphs.clear();
            batchPositions.clear();
        };
        // Neighbouring cells of one background filled as one rectangle, the
        // grid line pixels between them included: the lines are drawn over
        // them after every text. A text drawn alone ends the rectangle first,
        // so that the next cell's fill still covers whatever of it spills.
        QRect fill;
        QColor fillColor;
        const auto flushFill = [&] {
            if (!fill.isEmpty())
                p.fillRect(fill, fillColor);
            fill = QRect();
        };
        // The shown columns the update touches: the same for every row.
        int firstInBounds = endCol, endInBounds = firstCol;
        for (int i = firstCol; i < endCol; ++i) {
            const TColumnSpan& span = layout.columns[static_cast<std::size_t>(i)];
            if (span.right <= bounds.left() || span.left > bounds.right())
                continue;
            firstInBounds = std::min(firstInBounds, i);
            endInBounds = i + 1;
        }
        for (int row = firstRow; row <= lastRow; ++row) {
            const QRect rowRect = layout.RowRect(row);
            if (!region.intersects(rowRect))
                continue;
            if (state.beginRow)
                state.beginRow(row);
            const auto endRow = qScopeGuard([&] {
                if (state.endRow)
                    state.endRow();
            });
            for (int i = firstInBounds; i < endInBounds; ++i) {
                const TPaintColumn& column = shown[static_cast<std::size_t>(i - firstCol)];
                const TColumnSpan& span = layout.columns[static_cast<std::size_t>(i)];
                const QRect cell = layout.CellRect(row, i);
                const int absolute = column.absoluteIndex;
                const bool selected = row == focusedNode && absolute == focusedColumn;
                QColor bg = c.window, fg = c.fontColor;
                if (selected && focused) {
                    bg = c.highlight;
                    fg = c.highlightText;
                } else if (selected && !state.hideSelection) {
                    bg = c.hideSel;
                    fg = c.hideSelText;
                } else if (column.background.isValid()) {
                    // A column's own font carries no colour here: the grid's
                    // text colour applies.
                    bg = column.background;
                }
                // A colour that lets the pixels below show through fills its
                // cell alone, the line pixel left out.
                const bool merge = bg.alpha() == 255 && c.gridLine.alpha() == 255;
                if (merge && !fill.isEmpty() && fill.left() + fill.width() == span.left && fillColor == bg) {
                    fill.setRight(span.right - 1);
                } else {
                    flushFill();
                    if (merge) {
                        fill = QRect(span.left, cell.top(), span.right - span.left, cell.height());
                        fillColor = bg;
                    } else {
                        p.fillRect(cell, bg);
                    }
                }
                const QString text = VisibleCellText(state.cellText ? state.cellText(row, absolute) : QString());
                if (!text.isEmpty()) {
                    int w = 0;
                    const bool glyphs = fast.Prepare(text, w);
                    if (!glyphs)
                        w = fm.horizontalAdvance(text);
                    const int alignment = column.alignment;
                    const int x = DataTextX(cell.left(), cell.left() + cell.width(), w, alignment);
                    const int boxLeft = alignment == taLeftJustify ? cell.left() : cell.left() + 2;
                    const int boxRight = cell.left() + cell.width() - 2;   // exclusive
                    const int baseline = cell.top() + 1 + ascent;
                    const bool clip = x < boxLeft || x + w > boxRight;
                    if (glyphs && !clip && fg == c.fontColor) {
                        fast.AppendLastTo(batchGlyphs, batchPositions, QPointF(x, baseline));
                    } else {
                        flushFill();
                        p.setPen(fg);
                        if (clip) {
                            p.save();
                            p.setClipRect(QRect(boxLeft, cell.top(), std::max(0, boxRight - boxLeft), cell.height()),
                                          Qt::IntersectClip);
                        }
                        if (glyphs) {
                            fast.FillRun(run);
                            p.drawGlyphRun(QPointF(x, baseline), run);
                        } else {
                            p.drawText(x, baseline, text);
                        }
                        if (clip)
                            p.restore();
                    }
                }
                if (selected)
                    focusCell = cell;
                // Grid line at the right of the cell, down to the row's bottom
                // line. One per row, not one per column down the rows: a
                // rectangle of about a hundred device rows or more that the
                // clip cuts goes to the raster engine's thread pool.
                lines.emplace_back(span.right - 1, rowRect.top(), 1, rh);
            }
            flushFill();
            drawBatch();
            const int y = rowRect.top() + rh - 1;
            lines.emplace_back(layout.bandLeft, y, layout.contentWidth, 1);
            lines.emplace_back(layout.ContentRight() - 1, rowRect.top(), 1, rh);
            // Empty area right of the content.
            const int right = std::max(layout.ContentRight(), area.left());
            if (right <= area.right())
                p.fillRect(QRect(right, rowRect.top(), area.right() + 1 - right, rh), c.window);
        }
        // Empty area below the rows.
        const int rowsBottom = area.top() + rowsShown * rh;
        if (rowsBottom <= area.bottom())
            p.fillRect(QRect(area.left(), rowsBottom, area.width(), area.bottom() + 1 - rowsBottom), c.window);

        if (!lines.empty()) {
            p.setPen(Qt::NoPen);
            p.setBrush(c.gridLine);
            p.drawRects(lines.data(), static_cast<int>(lines.size()));
            p.setBrush(Qt::NoBrush);
        }
        if (focusCell.isValid()) {
            if (focused) {
                InvertPoints(p, DottedFramePoints(focusCell));
            } else if (!state.hideFocusRect) {
                const int l = focusCell.left(), t = focusCell.top(), r = focusCell.right(), b = focusCell.bottom();
                std::vector<QRect> edges{QRect(l, t, r - l + 1, 1)};
                if (b > t) {
                    edges.emplace_back(r, t + 1, 1, b - t);
                    if (r > l) {
                        edges.emplace_back(l, t + 1, 1, b - t);
                        if (r - l > 1)
                            edges.emplace_back(l + 1, b, r - l - 1, 1);
                    }
                }
                InvertRects(p, edges);
            }
        }
        p.restore();
    }

    // Overlays of the mouse operations.
    if (state.sizingLineX >= 0) {
        const int top = layout.headerPanel.top();
        const QRect line(state.sizingLineX, top, 1, area.bottom() + 1 - top);
        if (region.intersects(line))
            InvertRects(p, {line});
    }
    if (state.dropMarkX >= 0) {
        const QRect& h = layout.headerPanel;
        const int x = state.dropMarkX;
        const int a = kDropMarkHalfWidth;
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrush(c.arrows);
        const QPoint down[3] = {QPoint(x - a, h.top()), QPoint(x + a, h.top()), QPoint(x, h.top() + a)};
        const QPoint up[3] = {QPoint(x - a, h.bottom()), QPoint(x + a, h.bottom()), QPoint(x, h.bottom() - a)};
        p.drawPolygon(down, 3);
        p.drawPolygon(up, 3);
        p.restore();
    }
}
