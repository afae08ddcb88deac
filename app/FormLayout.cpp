#include "app/FormLayout.h"

#include <algorithm>

TFormRects TFormLayout::Compute(QSize client, int editorHeight)
{
    const int w = client.width();
    const int h = client.height();
    TFormRects r;
    int top = 0;
    r.toolBar = QRect(0, top, w, kToolBarHeight);
    top += kToolBarHeight;
    r.editor = QRect(0, top, w, std::max(0, editorHeight));
    top += r.editor.height();
    r.splitter = QRect(0, top, w, kSplitterHeight);
    top += kSplitterHeight;

    int bottom = h;
    bottom -= kStatusBarHeight;
    r.statusBar = QRect(0, bottom, w, kStatusBarHeight);
    bottom -= kPanelHeight;
    r.panel = QRect(0, bottom, w, kPanelHeight);

    r.result = QRect(0, top, w, std::max(0, bottom - top));
    return r;
}

QRect TPanelLayout::Place(const TPanelButtonDesign& button, int panelWidth)
{
    const int left = button.anchorRight ? button.left + (panelWidth - kDesignWidth) : button.left;
    return QRect(left, button.top, button.width, button.height);
}
