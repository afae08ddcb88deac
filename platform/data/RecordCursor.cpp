#include "platform/data/RecordCursor.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

void TRecordCursor::Reset(std::size_t count)
{
    m_count = count;
    m_cur = 0;
    m_top = 0;
    m_bof = true;
    m_eof = count == 0;
    m_activeRow = -1;
    Fit();
}

int TRecordCursor::WindowRecords() const
{
    if (m_count == 0)
        return 0;
    return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(m_size), m_count - m_top));
}

void TRecordCursor::SetActiveRow(int row)
{
    if (row < 0 || row >= WindowRecords())
        return;
    m_activeRow = row == CursorRow() ? -1 : row;
}

bool TRecordCursor::SetWindowSize(int size)
{
    size = std::max(size, 1);
    if (size == m_size)
        return false;
    m_size = size;
    m_activeRow = -1;
    Fit();
    return true;
}

TWindowNotice TRecordCursor::First()
{
    if (m_count == 0) {
        m_bof = m_eof = true;
        return {};
    }
    return Go(0, true, false);
}

TWindowNotice TRecordCursor::Last()
{
    if (m_count == 0) {
        m_bof = m_eof = true;
        return {};
    }
    return Go(m_count - 1, false, true);
}

TCursorStep TRecordCursor::MoveBy(int distance)
{
    if (distance == 0)
        return {};
    if (m_count == 0) {
        m_bof = m_eof = true;
        return {};
    }
    if (distance > 0) {
        if (m_eof)
            return {};
        const std::size_t avail = m_count - 1 - m_cur;
        const auto want = static_cast<std::size_t>(distance);
        const std::size_t moved = std::min(want, avail);
        return {static_cast<int>(moved), Go(m_cur + moved, false, want > avail)};
    }
    if (m_bof)
        return {};
    const auto want = static_cast<std::size_t>(-static_cast<std::int64_t>(distance));
    const std::size_t moved = std::min(want, m_cur);
    return {-static_cast<int>(moved), Go(m_cur - moved, want > m_cur, false)};
}

TWindowNotice TRecordCursor::MoveToRecNo(int recNo)
{
    if (m_count == 0)
        return {};
    const auto last = static_cast<std::int64_t>(m_count);
    return Go(static_cast<std::size_t>(std::clamp<std::int64_t>(recNo, 1, last) - 1), false, false);
}

TWindowNotice TRecordCursor::MoveTo(std::size_t logical)
{
    if (m_count == 0)
        return {};
    return Go(std::min(logical, m_count - 1), false, false);
}

void TRecordCursor::Inserted(std::size_t logical)
{
    ++m_count;
    m_cur = std::min(logical, m_count - 1);
    m_activeRow = -1;
    Fit();
}

void TRecordCursor::Appended()
{
    Inserted(m_count);
    m_bof = false;
    m_eof = true;
}

void TRecordCursor::Removed()
{
    if (m_count == 0)
        return;
    --m_count;
    m_bof = m_eof = m_count == 0;
    m_activeRow = -1;
    Fit();
}

TWindowNotice TRecordCursor::Go(std::size_t logical, bool bof, bool eof)
{
    const std::size_t oldTop = m_top;
    const std::size_t oldCur = m_cur;
    const bool wasReadingCursor = m_activeRow < 0;
    m_cur = logical;
    m_activeRow = -1;
    m_bof = bof;
    m_eof = eof;
    Fit();
    if (m_top == oldTop && m_cur == oldCur && wasReadingCursor)
        return {};
    const auto distance = static_cast<std::int64_t>(oldTop) - static_cast<std::int64_t>(m_top);
    if (std::llabs(distance) <= m_size)
        return {TWindowNotice::Scrolled, static_cast<int>(distance)};
    return {TWindowNotice::Changed, 0};
}

void TRecordCursor::Fit()
{
    if (m_count == 0) {
        m_top = 0;
        m_cur = 0;
        return;
    }
    m_cur = std::min(m_cur, m_count - 1);
    const auto size = static_cast<std::size_t>(m_size);
    if (m_cur < m_top)
        m_top = m_cur;
    else if (m_cur >= m_top + size)
        m_top = m_cur - size + 1;
    const std::size_t maxTop = m_count > size ? m_count - size : 0;
    m_top = std::min(m_top, maxTop);
}
