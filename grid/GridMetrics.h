#pragma once
// Pixel metrics of the grid, computed from font measurements given as
// numbers. Widget-free.
//
// A text height is the height of "Wg" as the font's line height
// (QFontMetrics::height(): ascent + descent), the cell height a text-extent
// measurement reports, not the ink box of the two glyphs.

#include <vector>

struct TMetricsInput {
    int headerTextHeight = 0;      // "Wg" in the header font
    int dataTextHeight = 0;        // "Wg" in the grid font
    int digitWidth = 0;            // "0" in the grid font
    int headerLineCount = 1;       // raised to at least 1
    int headerPanelRowCount = 1;
    bool showHeader = true;
    bool standardLook = true;      // lfStandard: the header gets one more pixel
    bool showGrid = true;
    bool showPreviewGrid = true;
    int explicitRowHeight = 0;     // 0: none set
    // "Wg" heights of visible columns that have their own font.
    std::vector<int> columnTextHeights;
    bool showIndicator = false;
    int indicatorWidth = 12;
};

struct TGridMetrics {
    // Until the first computation (no window yet).
    int headerTextHeight = 0;
    int headerRowHeight = 18;
    int headerPanelHeight = 18;
    int bandPanelHeight = 0;
    int dataTextHeight = 0;
    int baseRowHeight = 18;
    int defaultRowHeight = 18;     // DefaultRowHeight: grid line included
    int digitWidth = 0;
    int indicatorWidth = 0;
};

[[nodiscard]] TGridMetrics ComputeGridMetrics(const TMetricsInput& in);
