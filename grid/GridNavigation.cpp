#include "grid/GridNavigation.h"

#include <algorithm>
#include <cstdlib>

int PageTargetRow(int current, int visible, int rowCount, bool down)
{
    const int top = 0;
    const int bottom = std::max(top, std::min(top + visible - 1, rowCount - 1));
    if (top < current && current < bottom)
        return down ? bottom : top;
    const int step = visible < 2 ? 1 : visible - 1;
    return down ? current + step : current - step;
}

int ClampLeftCoord(int x, int contentWidth, int page)
{
    return std::clamp(x, 0, std::max(0, contentWidth - page));
}

std::optional<int> HorzScrollTarget(THorzCommand command, int current, int digitWidth, int page, int contentWidth, int track)
{
    switch (command) {
    case THorzCommand::LineLeft: return current - digitWidth;
    case THorzCommand::LineRight: return current + digitWidth;
    case THorzCommand::PageLeft: return current - page;
    case THorzCommand::PageRight: return current + page;
    case THorzCommand::LeftEnd: return 0;
    case THorzCommand::RightEnd: return contentWidth;
    case THorzCommand::ThumbTrack:
    case THorzCommand::ThumbPosition:
        if (track <= 0)
            return 0;
        if (track >= contentWidth)
            return contentWidth;
        // Thumb positions land on multiples of 4, except near the right end.
        if (track + 1 + page < contentWidth)
            return (track + 1) / 4 * 4;
        return track + 1;
    case THorzCommand::EndScroll: break;
    }
    return std::nullopt;
}

std::optional<int> ScrollIntoView(int left, int right, int current, int page)
{
    if (left >= current && right <= current + page)
        return std::nullopt;
    if (left >= current)
        return std::min(left, right - page);
    return left;
}

int TWheelAccumulator::Add(int angleDelta)
{
    if ((angleDelta > 0 && m_rest < 0) || (angleDelta < 0 && m_rest > 0))
        m_rest = 0;
    m_rest += angleDelta;
    const int notches = m_rest / kNotch;
    m_rest -= notches * kNotch;
    return notches;
}

TAutoScrollMotion AutoScrollMotion(QPoint anchor, QPoint point, bool horizontalBar, bool verticalBar)
{
    const int half = kAutoScrollZone / 2;
    const int dx = point.x() - anchor.x();
    const int dy = point.y() - anchor.y();
    const bool inX = !horizontalBar || std::abs(dx) <= half;
    const bool inY = !verticalBar || std::abs(dy) <= half;
    TAutoScrollMotion m;
    if (inX && inY)
        return m;
    m.inZone = false;
    int distance;
    if (!horizontalBar || (verticalBar && std::abs(dy) >= std::abs(dx))) {
        m.direction = dy < 0 ? TAutoScrollDirection::Up : TAutoScrollDirection::Down;
        distance = std::abs(dy);
    } else {
        m.direction = dx < 0 ? TAutoScrollDirection::Left : TAutoScrollDirection::Right;
        distance = std::abs(dx);
    }
    m.speed = std::clamp((distance - half) / 5 + 1, 0, kAutoScrollMaxSpeed);
    return m;
}

bool TAutoScrollTicker::Tick(int speed)
{
    if (speed <= 0) {
        m_ticks = 0;
        return false;
    }
    if (++m_ticks >= kAutoScrollMaxSpeed + 1 - speed) {
        m_ticks = 0;
        return true;
    }
    return false;
}

QString RowsClipboardText(const QStringList& captions, const std::optional<QStringList>& values)
{
    const QString crlf = QStringLiteral("\r\n");
    const QChar tab(u'\t');
    QString text = captions.join(tab) + crlf + crlf;
    if (values)
        text += values->join(tab) + crlf;
    return text;
}
