#pragma once
// Splitter1: a 3-pixel bar between the editor above it and the result area
// below it. The drag is shown as a pattern line and applied on release.

#include <QWidget>

#include <functional>

// Size arithmetic of one drag, widget-free. The controlled control (the
// editor) is above the bar; `restSize` is the height of the area below it.
// A size at or below the minimum snaps to 0; the area below keeps at least
// the minimum (unless it started smaller, then the control cannot grow).
class TSplitterDrag {
public:
    static constexpr int kMinSize = 30;

    TSplitterDrag(int controlSize, int restSize, int minSize = kMinSize);

    // Largest size the control may reach; never below 0.
    [[nodiscard]] int MaxSize() const { return m_maxSize; }
    // The control's size for a mouse displacement of `delta` pixels (positive
    // downwards) from the press point.
    [[nodiscard]] int SizeFor(int delta) const;

private:
    int m_startSize;
    int m_minSize;
    int m_maxSize;
};

class TSplitter : public QWidget {
    Q_OBJECT
public:
    // `control` is the widget above the bar whose height the drag changes;
    // `rest` reports the current height of the area below the bar.
    TSplitter(QWidget* parent, QWidget* control, std::function<int()> rest);

    // Called on release with the new size of the control, only when it changed.
    void SetOnResize(std::function<void(int)> onResize) { m_onResize = std::move(onResize); }
    // True while the pattern line is shown.
    [[nodiscard]] bool Dragging() const { return m_band != nullptr; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void MoveBand(int size);
    void EndDrag();

    QWidget* m_control;
    std::function<int()> m_rest;
    std::function<void(int)> m_onResize;
    QWidget* m_band = nullptr;  // owned by the parent while it exists
    int m_pressY = 0;
    int m_newSize = 0;
    TSplitterDrag m_drag{0, 0};
};
