#pragma once
// Placement of the main window's controls, widget-free. Top-aligned controls
// stack downwards from the top, bottom-aligned ones upwards from the bottom,
// and the result area takes what is left (never a negative height; when the
// window is too small the bottom controls overlap the top ones).

#include <QRect>
#include <QSize>

struct TFormRects {
    QRect toolBar;
    QRect editor;
    QRect splitter;
    QRect result;
    QRect panel;
    QRect statusBar;
};

struct TFormLayout {
    static constexpr int kToolBarHeight = 26;
    static constexpr int kSplitterHeight = 3;
    static constexpr int kPanelHeight = 37;
    static constexpr int kStatusBarHeight = 19;

    [[nodiscard]] static TFormRects Compute(QSize client, int editorHeight);
};

// One button of Panel1: design left and width (at the design panel width),
// top and height, and whether it keeps its distance to the right edge.
struct TPanelButtonDesign {
    int left;
    int top;
    int width;
    int height;
    bool anchorRight;
};

struct TPanelLayout {
    // The panel width at which the design lefts hold: the client width of the
    // window at its design size, 693 pixels outer less a 4-pixel sizing frame
    // on each side.
    static constexpr int kDesignWidth = 685;

    // The button's rectangle inside a panel `panelWidth` pixels wide. Right
    // anchored buttons keep their design distance to the right edge.
    [[nodiscard]] static QRect Place(const TPanelButtonDesign& button, int panelWidth);
};
