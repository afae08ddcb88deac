#pragma once
// The logical order of the stored rows of a result: logical positions
// [0, Count()) map to physical rows of the column store, and back.
//
// While it is the identity over [0, Count()) the order holds no index at all
// (the state right after a fetch, kept by appends of the next physical row
// and by removing the last row). The first other insert or erase builds both
// directions; from then on an insert or erase shifts them in O(n) and both
// lookups stay O(1). Widget-free.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

class TRowOrder {
public:
    static constexpr std::size_t npos = std::numeric_limits<std::size_t>::max();

    // The identity over [0, count); releases any index.
    void Reset(std::size_t count);

    [[nodiscard]] std::size_t Count() const { return m_count; }
    // Precondition: logical < Count().
    [[nodiscard]] std::size_t Physical(std::size_t logical) const
    {
        return m_identity ? logical : m_order[logical];
    }
    // The logical position of a physical row; npos when the row is not in the
    // order (erased, never inserted, or out of range).
    [[nodiscard]] std::size_t Logical(std::size_t physical) const;

    // Puts `physical` at `logical` (clamped to Count()); the rows at
    // [logical, Count()) move one on. Raises when `physical` is in the order
    // already or does not fit the index.
    void Insert(std::size_t logical, std::size_t physical);
    // Removes the row at `logical` (precondition: < Count()) and returns its
    // physical row; the rows after it move one back.
    std::size_t Erase(std::size_t logical);

    [[nodiscard]] std::size_t MemoryBytes() const;

private:
    using Index = std::uint32_t;
    static constexpr Index kAbsent = std::numeric_limits<Index>::max();

    [[nodiscard]] bool Identity() const { return m_identity; }
    void Materialize();
    // Renumbers m_inverse for the logical positions [from, Count()).
    void Renumber(std::size_t from);

    std::size_t m_count = 0;
    bool m_identity = true;         // no index: logical == physical
    std::vector<Index> m_order;     // logical -> physical
    std::vector<Index> m_inverse;   // physical -> logical or kAbsent
};
