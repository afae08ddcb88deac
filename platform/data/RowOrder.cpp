#include "platform/data/RowOrder.h"

#include "platform/core/Failure.h"

#include <algorithm>
#include <numeric>

void TRowOrder::Reset(std::size_t count)
{
    m_count = count;
    m_identity = true;
    std::vector<Index>().swap(m_order);
    std::vector<Index>().swap(m_inverse);
}

std::size_t TRowOrder::Logical(std::size_t physical) const
{
    if (Identity())
        return physical < m_count ? physical : npos;
    if (physical >= m_inverse.size() || m_inverse[physical] == kAbsent)
        return npos;
    return m_inverse[physical];
}

void TRowOrder::Insert(std::size_t logical, std::size_t physical)
{
    if (physical >= kAbsent)
        throw Exception(QStringLiteral("Too many rows"));
    if (Logical(physical) != npos)
        throw Exception(QStringLiteral("Row %1 is in the order already").arg(physical));
    logical = std::min(logical, m_count);
    // Appending the next physical row keeps the identity.
    if (Identity() && logical == m_count && physical == m_count) {
        ++m_count;
        return;
    }
    Materialize();
    m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(logical), static_cast<Index>(physical));
    if (physical >= m_inverse.size())
        m_inverse.resize(physical + 1, kAbsent);
    ++m_count;
    Renumber(logical);
}

std::size_t TRowOrder::Erase(std::size_t logical)
{
    if (Identity() && logical + 1 == m_count) {
        --m_count;
        return logical;
    }
    Materialize();
    const std::size_t physical = m_order[logical];
    m_order.erase(m_order.begin() + static_cast<std::ptrdiff_t>(logical));
    m_inverse[physical] = kAbsent;
    --m_count;
    Renumber(logical);
    return physical;
}

std::size_t TRowOrder::MemoryBytes() const
{
    return (m_order.capacity() + m_inverse.capacity()) * sizeof(Index);
}

void TRowOrder::Materialize()
{
    if (!Identity())
        return;
    if (m_count >= kAbsent)
        throw Exception(QStringLiteral("Too many rows"));
    m_identity = false;
    m_order.resize(m_count);
    std::iota(m_order.begin(), m_order.end(), Index{0});
    m_inverse = m_order;
}

void TRowOrder::Renumber(std::size_t from)
{
    for (std::size_t i = from; i < m_count; ++i)
        m_inverse[m_order[i]] = static_cast<Index>(i);
}
