#include "grid/GridAutoScroll.h"

#include "grid/GridColors.h"
#include "grid/dxDBGrid.h"
#include "platform/ui/Application.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTimerEvent>

#include <array>

namespace {

// Arrows of the pictures: which of up, down, left, right to draw.
struct TArrows {
    bool up = false, down = false, left = false, right = false;
};

TArrows ArrowsFor(bool horizontal, bool vertical)
{
    return {vertical, vertical, horizontal, horizontal};
}

void DrawArrows(QPainter& p, QPointF centre, qreal reach, qreal size, const TArrows& a, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    auto tri = [&](QPointF tip, QPointF dir) {
        const QPointF side(-dir.y(), dir.x());
        const QPointF base = tip - dir * size;
        const QPointF pts[3] = {tip, base + side * size, base - side * size};
        p.drawPolygon(pts, 3);
    };
    if (a.up) tri(centre + QPointF(0, -reach), QPointF(0, -1));
    if (a.down) tri(centre + QPointF(0, reach), QPointF(0, 1));
    if (a.left) tri(centre + QPointF(-reach, 0), QPointF(-1, 0));
    if (a.right) tri(centre + QPointF(reach, 0), QPointF(1, 0));
}

// The anchor: a round window with the arrows of the directions it can go.
class TAnchorWindow : public QWidget {
public:
    TAnchorWindow(QWidget* owner, const TArrows& arrows) : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint), m_arrows(arrows)
    {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setFocusPolicy(Qt::NoFocus);
        resize(kAutoScrollZone, kAutoScrollZone);
        setMask(QRegion(0, 0, kAutoScrollZone + 1, kAutoScrollZone + 1, QRegion::Ellipse));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), GridSysColor(gridcolor::kWindow));
        const QPointF c(kAutoScrollZone / 2.0, kAutoScrollZone / 2.0);
        DrawArrows(p, c, 11, 4, m_arrows, GridSysColor(gridcolor::kWindowText));
        p.setBrush(GridSysColor(gridcolor::kWindowText));
        p.drawEllipse(c, 2, 2);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(GridSysColor(gridcolor::kWindowText), 1));
        p.drawEllipse(QRectF(0.5, 0.5, kAutoScrollZone - 1, kAutoScrollZone - 1));
    }

private:
    TArrows m_arrows;
};

// Seven cursors: three neutral ones (both, horizontal, vertical) and four
// directions, drawn here once.
QCursor MakeCursor(const TArrows& arrows, bool neutral)
{
    constexpr int kSize = 32;
    QPixmap pm(kSize, kSize);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(kSize / 2.0, kSize / 2.0);
    // A white rim under black arrows shows on any background.
    for (int pass = 0; pass < 2; ++pass) {
        const QColor color = pass == 0 ? Qt::white : Qt::black;
        const qreal grow = pass == 0 ? 1.5 : 0;
        DrawArrows(p, c, 12 + grow / 2, 5 + grow, arrows, color);
        if (neutral) {
            p.setBrush(color);
            p.drawEllipse(c, 2.5 + grow, 2.5 + grow);
        }
    }
    p.end();
    return QCursor(pm, kSize / 2, kSize / 2);
}

const QCursor& AutoScrollCursor(TAutoScrollDirection direction, bool horizontal, bool vertical)
{
    static const std::array<QCursor, 7> cursors = {
        MakeCursor({true, true, true, true}, true),
        MakeCursor({false, false, true, true}, true),
        MakeCursor({true, true, false, false}, true),
        MakeCursor({true, false, false, false}, false),
        MakeCursor({false, true, false, false}, false),
        MakeCursor({false, false, true, false}, false),
        MakeCursor({false, false, false, true}, false),
    };
    switch (direction) {
    case TAutoScrollDirection::Up: return cursors[3];
    case TAutoScrollDirection::Down: return cursors[4];
    case TAutoScrollDirection::Left: return cursors[5];
    case TAutoScrollDirection::Right: return cursors[6];
    case TAutoScrollDirection::None: break;
    }
    if (horizontal && vertical)
        return cursors[0];
    return horizontal ? cursors[1] : cursors[2];
}

} // namespace

TGridAutoScroll::TGridAutoScroll(TdxDBGrid& grid) : m_grid(grid) {}

TGridAutoScroll::~TGridAutoScroll()
{
    End();
}

void TGridAutoScroll::Start(QPoint anchor)
{
    if (m_active)
        return;
    m_active = true;
    m_anchorPoint = anchor;
    m_horizontal = m_grid.horizontalScrollBar()->isVisible();
    m_vertical = m_grid.verticalScrollBar()->isVisible();
    m_leftZone = false;
    m_motion = {};
    m_ticker = {};

    m_anchor = std::make_unique<TAnchorWindow>(&m_grid, ArrowsFor(m_horizontal, m_vertical));
    m_anchor->move(anchor - QPoint(kAutoScrollZone / 2, kAutoScrollZone / 2));
    m_anchor->show();

    m_grid.viewport()->grabMouse();
    ShowCursor();
    qApp->installEventFilter(this);
    m_timer.start(kAutoScrollTickMs, this);
}

void TGridAutoScroll::End()
{
    if (!m_active)
        return;
    m_active = false;
    qApp->removeEventFilter(this);
    m_timer.stop();
    if (QWidget::mouseGrabber() == m_grid.viewport())
        m_grid.viewport()->releaseMouse();
    m_grid.viewport()->unsetCursor();
    m_anchor.reset();
    m_motion = {};
}

void TGridAutoScroll::Tick()
{
    if (!m_active || !m_ticker.Tick(m_motion.speed))
        return;
    switch (m_motion.direction) {
    case TAutoScrollDirection::Up: m_grid.ScrollVertical(TScrollCommand::LineUp); break;
    case TAutoScrollDirection::Down: m_grid.ScrollVertical(TScrollCommand::LineDown); break;
    case TAutoScrollDirection::Left: m_grid.ScrollHorizontal(THorzCommand::LineLeft); break;
    case TAutoScrollDirection::Right: m_grid.ScrollHorizontal(THorzCommand::LineRight); break;
    case TAutoScrollDirection::None: break;
    }
}

void TGridAutoScroll::MouseAt(QPoint point)
{
    m_motion = AutoScrollMotion(m_anchorPoint, point, m_horizontal, m_vertical);
    if (!m_motion.inZone)
        m_leftZone = true;
    ShowCursor();
}

void TGridAutoScroll::ShowCursor()
{
    m_grid.viewport()->setCursor(AutoScrollCursor(m_motion.direction, m_horizontal, m_vertical));
}

void TGridAutoScroll::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId())
        Guarded([this] { Tick(); });
}

bool TGridAutoScroll::eventFilter(QObject* /*watched*/, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        MouseAt(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
        return true;
    case QEvent::MouseButtonRelease:
        // A plain middle click leaves the mode running; a drag ends it, and
        // so does any other button.
        if (static_cast<QMouseEvent*>(event)->button() != Qt::MiddleButton || m_leftZone)
            End();
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        End();
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            End();
        return true;
    case QEvent::UngrabMouse:
    case QEvent::ApplicationDeactivate:
        End();
        return false;
    default:
        return false;
    }
}
