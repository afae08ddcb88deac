#include "app/ImageList.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A database cylinder spanning x in [x0, x0 + w), y in [y0, y0 + h).
void DrawCylinder(QPainter& p, qreal x0, qreal y0, qreal w, qreal h, QColor body, QColor top)
{
    const qreal ry = 2.0;
    QPainterPath side;
    side.moveTo(x0, y0 + ry);
    side.lineTo(x0, y0 + h - ry);
    side.arcTo(QRectF(x0, y0 + h - 2 * ry, w, 2 * ry), 180, 180);
    side.lineTo(x0 + w, y0 + ry);
    side.closeSubpath();
    p.setPen(QPen(body.darker(170), 1));
    p.setBrush(body);
    p.drawPath(side);
    p.setBrush(top);
    p.drawEllipse(QRectF(x0, y0, w, 2 * ry));
    p.setPen(QPen(body.lighter(140), 1));
    p.drawLine(QPointF(x0 + 2, y0 + 2 * ry + 1.5), QPointF(x0 + 2, y0 + h - ry - 1));
}

QPixmap OpenFolder()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor back(0xC8, 0x9B, 0x2E), front(0xF5, 0xD0, 0x62), line(0x7A, 0x55, 0x10);
    p.setPen(line);
    p.setBrush(back);
    p.drawPolygon(QPolygon({QPoint(1, 3), QPoint(5, 3), QPoint(6, 4), QPoint(12, 4), QPoint(12, 13), QPoint(1, 13)}));
    p.setBrush(front);
    p.drawPolygon(QPolygon({QPoint(3, 7), QPoint(15, 7), QPoint(12, 13), QPoint(1, 13)}));
    return pm;
}

QPixmap CurrentBase()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    DrawCylinder(p, 0.5, 1.5, 10, 12, QColor(0x9A, 0xA4, 0xB0), QColor(0xD8, 0xDE, 0xE6));
    // A small label: the current database's name.
    p.setPen(QPen(QColor(0x20, 0x50, 0x90), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(7.5, 7.5, 8, 8), 1.5, 1.5);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(0x20, 0x50, 0x90));
    p.drawPoint(11, 9);
    p.drawLine(11, 11, 11, 13);
    return pm;
}

QPixmap Database()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    DrawCylinder(p, 2.5, 1.5, 11, 13, QColor(0x2E, 0x6C, 0xD0), QColor(0x8C, 0xB8, 0xF0));
    return pm;
}

QPixmap DatabaseList()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    DrawCylinder(p, 5.5, 0.5, 9, 9, QColor(0xC9, 0xA2, 0x27), QColor(0xF2, 0xD9, 0x7C));
    DrawCylinder(p, 1.5, 5.5, 9, 10, QColor(0xC9, 0xA2, 0x27), QColor(0xF2, 0xD9, 0x7C));
    return pm;
}

QPixmap Font()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    // The palette.
    p.setPen(QPen(QColor(0x80, 0x5A, 0x2A), 1));
    p.setBrush(QColor(0xE8, 0xC8, 0x90));
    p.drawEllipse(QRectF(5.5, 6.5, 10, 8.5));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xD0, 0x20, 0x20));
    p.drawEllipse(QRectF(8, 8, 2.5, 2.5));
    p.setBrush(QColor(0x20, 0x90, 0x20));
    p.drawEllipse(QRectF(11.5, 8.5, 2.5, 2.5));
    p.setBrush(QColor(0x20, 0x40, 0xD0));
    p.drawEllipse(QRectF(11, 11.5, 2.5, 2.5));
    // The letter, as an outline: a font loaded for one icon cost start-up
    // more than the rest of the image list.
    QPainterPath letter;
    letter.setFillRule(Qt::OddEvenFill);
    letter.addPolygon(QPolygonF({QPointF(0.5, 11.5), QPointF(4, 0.5), QPointF(6, 0.5), QPointF(9.5, 11.5),
                                 QPointF(7.3, 11.5), QPointF(6.6, 9), QPointF(3.4, 9), QPointF(2.7, 11.5)}));
    letter.closeSubpath();
    letter.addPolygon(QPolygonF({QPointF(3.9, 7.2), QPointF(6.1, 7.2), QPointF(5, 3.3)}));
    letter.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x10, 0x60));
    p.drawPath(letter);
    return pm;
}

QPixmap Run()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x0E, 0x6A, 0x12), 1));
    p.setBrush(QColor(0x2C, 0xB8, 0x34));
    p.drawPolygon(QPolygonF({QPointF(4.5, 2.5), QPointF(13.5, 8), QPointF(4.5, 13.5)}));
    return pm;
}

} // namespace

QIcon TImageList::Icon(int index) const
{
    switch (index) {
    case kOpenFolder: return QIcon(OpenFolder());
    case kCurrentBase: return QIcon(CurrentBase());
    case kDatabase: return QIcon(Database());
    case kDatabaseList: return QIcon(DatabaseList());
    case kFont: return QIcon(Font());
    case kRun: return QIcon(Run());
    default: return QIcon();
    }
}
