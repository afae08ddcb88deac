#pragma once
// The middle-button auto-scroll of the grid: an anchor window at the press
// point, direction and speed from the mouse's distance to it, one line
// scroll every (13 - speed) ticks of 20 ms. While it runs it sees every
// mouse and key event of the application first; Esc, another button, the
// wheel or a middle release after the mouse left the neutral zone end it.
// At the end the capture, the timer and the anchor window are released.
//
// Threading: user-interface thread only.

#include "grid/GridNavigation.h"

#include <QBasicTimer>
#include <QObject>
#include <QPoint>

#include <memory>

class QWidget;
class TdxDBGrid;

class TGridAutoScroll : public QObject {
public:
    explicit TGridAutoScroll(TdxDBGrid& grid);
    ~TGridAutoScroll() override;

    // `anchor` in global coordinates. Nothing when already running.
    void Start(QPoint anchor);
    void End();
    [[nodiscard]] bool Active() const { return m_active; }

    // One 20-ms tick (the timer's; tests call it directly).
    void Tick();
    // The mouse at global `point`.
    void MouseAt(QPoint point);

    [[nodiscard]] const TAutoScrollMotion& Motion() const { return m_motion; }
    [[nodiscard]] bool LeftZone() const { return m_leftZone; }
    [[nodiscard]] QWidget* AnchorWindow() const { return m_anchor.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void ShowCursor();

    TdxDBGrid& m_grid;
    bool m_active = false;
    bool m_horizontal = true;
    bool m_vertical = true;
    bool m_leftZone = false;
    QPoint m_anchorPoint;
    TAutoScrollMotion m_motion;
    TAutoScrollTicker m_ticker;
    QBasicTimer m_timer;
    std::unique_ptr<QWidget> m_anchor;
};
