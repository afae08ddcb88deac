#include "platform/data/ChunkedArray.h"

#include <new>

namespace {

constexpr std::size_t kFirstBlockBytes = 4096;

[[nodiscard]] std::uint64_t RoundUpToChunk(std::uint64_t offset)
{
    return (offset + TByteArena::kChunk - 1) & ~(TByteArena::kChunk - 1);
}

} // namespace

TByteArena::TByteArena(TByteArena&& other) noexcept
{
    Swap(other);
}

TByteArena::TByteArena(const TByteArena& other)
{
    for (const TBlockEntry& block : other.m_blocks) {
        StartBlock(block.base, block.capacity);
        const std::uint64_t used = std::min<std::uint64_t>(block.capacity, other.m_size - block.base);
        std::memcpy(m_blocks.back().bytes.get(), block.bytes.get(), static_cast<std::size_t>(used));
    }
    m_size = other.m_size;
}

TByteArena& TByteArena::operator=(TByteArena other) noexcept
{
    Swap(other);
    return *this;
}

void TByteArena::Swap(TByteArena& other) noexcept
{
    std::swap(m_blocks, other.m_blocks);
    std::swap(m_slots, other.m_slots);
    std::swap(m_size, other.m_size);
    std::swap(m_blockBase, other.m_blockBase);
    std::swap(m_blockCapacity, other.m_blockCapacity);
    std::swap(m_allocated, other.m_allocated);
}

void TByteArena::Resize(std::size_t capacity)
{
    TBlockEntry& block = m_blocks.back();
    char* p = static_cast<char*>(std::realloc(block.bytes.get(), capacity));
    if (!p)
        throw std::bad_alloc();
    (void)block.bytes.release();
    block.bytes.reset(p);
    block.capacity = capacity;
    m_allocated = m_allocated - m_blockCapacity + capacity;
    m_blockCapacity = capacity;
    const std::size_t first = static_cast<std::size_t>(m_blockBase >> kShift);
    for (std::size_t slot = first; slot < m_slots.size(); ++slot)
        m_slots[slot] = p + ((slot - first) << kShift);
}

void TByteArena::StartBlock(std::uint64_t at, std::size_t capacity)
{
    char* p = static_cast<char*>(std::malloc(capacity));
    if (!p)
        throw std::bad_alloc();
    m_blocks.push_back(TBlockEntry{TBlock(p), at, capacity});
    m_blockBase = at;
    m_blockCapacity = capacity;
    m_allocated += capacity;
    const std::size_t first = static_cast<std::size_t>(at >> kShift);
    const std::size_t last = static_cast<std::size_t>((at + capacity - 1) >> kShift);
    m_slots.resize(first);
    for (std::size_t slot = first; slot <= last; ++slot)
        m_slots.push_back(p + ((slot - first) << kShift));
}

std::uint64_t TByteArena::AppendSlow(std::string_view bytes)
{
    const std::size_t n = bytes.size();
    if (n == 0)
        return m_size;
    if (m_size + n > m_blockBase + m_blockCapacity) {
        const bool firstBlock = m_blockBase == 0 && m_blocks.size() <= 1;
        if (firstBlock && m_size + n <= kChunk) {
            const auto grown = std::min<std::uint64_t>(kChunk, std::max<std::uint64_t>(
                {m_blockCapacity * 2, m_size + n, kFirstBlockBytes}));
            if (m_blocks.empty())
                StartBlock(0, static_cast<std::size_t>(grown));
            else
                Resize(static_cast<std::size_t>(grown));
        } else {
            // The current block keeps only what it holds; the value starts
            // the next chunk slot.
            if (!m_blocks.empty()) {
                if (m_size == m_blockBase) {
                    m_allocated -= m_blockCapacity;
                    m_blocks.pop_back();
                } else {
                    Resize(static_cast<std::size_t>(m_size - m_blockBase));
                }
            }
            StartBlock(RoundUpToChunk(m_size), std::max<std::size_t>(static_cast<std::size_t>(kChunk), n));
            m_size = m_blockBase;
        }
    }
    std::memcpy(m_slots[static_cast<std::size_t>(m_size >> kShift)] + (m_size & (kChunk - 1)), bytes.data(), n);
    m_size += n;
    return m_size;
}

void TByteArena::Reserve(std::size_t bytes)
{
    if (m_blockBase != 0 || m_blocks.size() > 1 || m_size + bytes <= m_blockCapacity)
        return;
    const auto capacity = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, m_size + bytes));
    if (capacity <= m_blockCapacity)
        return;
    if (m_blocks.empty())
        StartBlock(0, capacity);
    else
        Resize(capacity);
}

void TByteArena::clear()
{
    std::vector<TBlockEntry>().swap(m_blocks);
    std::vector<char*>().swap(m_slots);
    m_size = m_blockBase = 0;
    m_blockCapacity = m_allocated = 0;
}

void TByteArena::shrink_to_fit()
{
    // Only the first block can be empty (a reservation nothing used).
    if (m_size == 0) {
        clear();
        return;
    }
    if (m_size - m_blockBase != m_blockCapacity)
        Resize(static_cast<std::size_t>(m_size - m_blockBase));
    m_blocks.shrink_to_fit();
    m_slots.shrink_to_fit();
}

std::size_t TByteArena::MemoryBytes() const
{
    return m_allocated + m_blocks.capacity() * sizeof(TBlockEntry) + m_slots.capacity() * sizeof(char*);
}
