#include "query/WindowPlacement.h"

#include "platform/ui/Application.h"

#include <QEvent>
#include <QWidget>

namespace {

// Watches `window` until its frame is known, then places it and goes.
class TOuterPlacement final : public QObject {
public:
    TOuterPlacement(QWidget& window, QSize outer) : QObject(&window), m_window(window), m_outer(outer)
    {
        m_window.resize(m_outer.expandedTo(m_window.minimumSizeHint()));
        m_unframed = m_window.size();
        CentreOnItsScreen(m_window);
        m_window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_window)
            return false;
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
            Place();
            break;
        default:
            break;
        }
        return false;
    }

private:
    void Place()
    {
        if (m_done || !m_window.isVisible())
            return;
        const QSize frame = m_window.frameGeometry().size() - m_window.geometry().size();
        if (frame.width() <= 0 && frame.height() <= 0)
            return;
        m_done = true;   // the resize and move below come back here
        if (m_window.size() == m_unframed)
            m_window.resize((m_outer - frame).expandedTo(m_window.minimumSizeHint()));
        CentreOnItsScreen(m_window);
        m_window.removeEventFilter(this);
        deleteLater();
    }

    QWidget& m_window;
    const QSize m_outer;
    QSize m_unframed;
    bool m_done = false;
};

} // namespace

void PlaceAtOuterSize(QWidget& window, QSize outer)
{
    new TOuterPlacement(window, outer);   // owned by the window
}
