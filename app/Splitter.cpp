#include "app/Splitter.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

TSplitterDrag::TSplitterDrag(int controlSize, int restSize, int minSize)
    : m_startSize(controlSize), m_minSize(minSize),
      m_maxSize(std::max(0, controlSize + restSize - minSize))
{
}

int TSplitterDrag::SizeFor(int delta) const
{
    const int size = std::min(m_startSize + delta, m_maxSize);
    return size <= m_minSize ? 0 : size;
}

namespace {

// The pattern line: a checker of black pixels over whatever lies below.
class TSplitterBand : public QWidget {
public:
    explicit TSplitterBand(QWidget* parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setObjectName(QStringLiteral("Splitter1Band"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
    }
};

} // namespace

TSplitter::TSplitter(QWidget* parent, QWidget* control, std::function<int()> rest)
    : QWidget(parent), m_control(control), m_rest(std::move(rest))
{
    setCursor(Qt::SizeVerCursor);
    setFixedHeight(3);
}

void TSplitter::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || Dragging())
        return;
    m_pressY = event->position().toPoint().y();
    m_drag = TSplitterDrag(m_control->height(), m_rest());
    m_newSize = m_control->height();
    m_band = new TSplitterBand(parentWidget());
    MoveBand(m_newSize);
    m_band->show();
    m_band->raise();
}

void TSplitter::mouseMoveEvent(QMouseEvent* event)
{
    if (!Dragging())
        return;
    m_newSize = m_drag.SizeFor(event->position().toPoint().y() - m_pressY);
    MoveBand(m_newSize);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !Dragging())
        return;
    m_newSize = m_drag.SizeFor(event->position().toPoint().y() - m_pressY);
    const bool changed = m_newSize != m_control->height();
    EndDrag();
    if (changed && m_onResize)
        m_onResize(m_newSize);
}

void TSplitter::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().button());
}

void TSplitter::MoveBand(int size)
{
    m_band->setGeometry(x(), m_control->y() + size, width(), height());
}

void TSplitter::EndDrag()
{
    delete m_band;
    m_band = nullptr;
}
