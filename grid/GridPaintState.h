#pragma once
// Everything one paint of the grid needs, built by the grid and handed to
// the painter: the layout, colours resolved under the scheme in force, the
// fonts, the focus, the rows and a cell-text callback. The painter reads
// nothing else.

#include "grid/GridLayout.h"
#include "query/DataSet.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>
#include <vector>

// The column-drop marks reach this far either side of the insertion edge.
inline constexpr int kDropMarkHalfWidth = 4;

struct TPaintColors {
    QColor window, fontColor, header, highlight, highlightText, hideSel, hideSelText, gridLine;
    QColor btnHighlight, btnShadow, dkShadow;
    QColor arrows;                 // column-drag marks
};

// A visible column as painted. `background` is invalid when the column uses
// the grid's Color.
struct TPaintColumn {
    int absoluteIndex = -1;
    QString caption;               // empty with DisableCaption
    TAlignment headerAlignment = taLeftJustify;
    TAlignment alignment = taLeftJustify;
    QColor background;
};

struct TGridPaintState {
    TGridLayout layout;
    // The shown columns, layout.FirstShownColumn() .. EndShownColumn() - 1.
    int firstShown = 0;
    std::vector<TPaintColumn> shown;
    TPaintColors colors;
    QFont font;
    QFont headerFont;

    int nodeCount = 1;
    int partialRowCount = 1;       // rows painted at most
    int focusedNode = -1;
    int focusedColumn = -1;        // absolute index
    bool focused = false;          // the grid has the keyboard focus
    bool hideSelection = false;
    bool hideFocusRect = false;
    int pressedColumn = -1;        // absolute index of the header drawn pressed

    // Overlays of mouse operations; -1 when absent. The sizing line is an
    // inverted one-pixel column from the header's top to the data bottom;
    // the drop mark stands at an insertion edge of the header row.
    int sizingLineX = -1;
    int dropMarkX = -1;

    // Text of (node, absolute column). `beginRow` / `endRow` bracket the
    // reads of one row (either may be empty); the painter pairs them also
    // when a read raises.
    std::function<QString(int node, int column)> cellText;
    std::function<void(int node)> beginRow;
    std::function<void()> endRow;
};
