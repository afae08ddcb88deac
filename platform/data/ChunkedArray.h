#pragma once
// Append-only storage that grows without moving what it holds: values live in
// fixed-size chunks, so growing never copies the whole array and never holds
// an old and a new copy at once. A fetch of a million rows therefore peaks at
// about what it finally holds. Widget-free.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// An array of trivially copyable values in chunks of 2^16. Only the first
// chunk grows geometrically (small results stay small); later chunks are
// allocated whole.
template <typename T> class TChunkedArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    static constexpr unsigned kShift = 16;
    static constexpr std::size_t kChunk = std::size_t{1} << kShift;
    static constexpr std::size_t kMask = kChunk - 1;

    TChunkedArray() = default;
    TChunkedArray(TChunkedArray&& other) noexcept
        : m_chunks(std::move(other.m_chunks)), m_size(std::exchange(other.m_size, 0)),
          m_capacity(std::exchange(other.m_capacity, 0))
    {
    }
    TChunkedArray(const TChunkedArray& other)
    {
        reserve(other.m_size);
        for (std::size_t i = 0; i < other.m_size; ++i)
            push_back(other[i]);
    }
    TChunkedArray& operator=(TChunkedArray other) noexcept
    {
        std::swap(m_chunks, other.m_chunks);
        std::swap(m_size, other.m_size);
        std::swap(m_capacity, other.m_capacity);
        return *this;
    }

    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] bool empty() const { return m_size == 0; }

    // i < size().
    [[nodiscard]] T& operator[](std::size_t i) { return m_chunks[i >> kShift][i & kMask]; }
    [[nodiscard]] const T& operator[](std::size_t i) const { return m_chunks[i >> kShift][i & kMask]; }

    void push_back(T v)
    {
        if (m_size == m_capacity)
            Grow(m_size + 1);
        (*this)[m_size++] = v;
    }

    // Makes room for `n` values in all without allocating on the way there.
    void reserve(std::size_t n)
    {
        if (n > m_capacity)
            Grow(n);
    }

    void clear()
    {
        std::vector<std::unique_ptr<T[]>>().swap(m_chunks);
        m_size = m_capacity = 0;
    }

    // Gives back the unused tail of the last chunk (copies at most one chunk).
    void shrink_to_fit()
    {
        if (m_capacity == m_size)
            return;
        const std::size_t used = m_size - ((m_chunks.size() - 1) << kShift);
        if (used == 0) {
            m_chunks.pop_back();
        } else {
            Reallocate(m_chunks.back(), used, used);
        }
        m_chunks.shrink_to_fit();
        m_capacity = m_size;
    }

    // Bytes allocated, chunks and chunk table.
    [[nodiscard]] std::size_t MemoryBytes() const
    {
        return m_capacity * sizeof(T) + m_chunks.capacity() * sizeof(std::unique_ptr<T[]>);
    }

private:
    static void Reallocate(std::unique_ptr<T[]>& chunk, std::size_t keep, std::size_t capacity)
    {
        auto grown = std::make_unique_for_overwrite<T[]>(capacity);
        if (keep > 0)
            std::memcpy(grown.get(), chunk.get(), keep * sizeof(T));
        chunk = std::move(grown);
    }

    void Grow(std::size_t needed)
    {
        while (m_capacity < needed) {
            const std::size_t inLast = m_capacity & kMask;
            if (inLast != 0) {
                // The last chunk is short: the first one while small, or one
                // given back by shrink_to_fit. It grows in place of itself.
                const std::size_t used = m_size - (m_capacity - inLast);
                std::size_t capacity = kChunk;
                if (m_chunks.size() == 1)
                    capacity = std::min(kChunk, std::max({inLast * 2, needed, std::size_t{16}}));
                Reallocate(m_chunks.back(), used, capacity);
                m_capacity += capacity - inLast;
            } else {
                const std::size_t capacity =
                    m_chunks.empty() ? std::min(kChunk, std::max(needed, std::size_t{16})) : kChunk;
                m_chunks.push_back(std::make_unique_for_overwrite<T[]>(capacity));
                m_capacity += capacity;
            }
        }
    }

    std::vector<std::unique_ptr<T[]>> m_chunks;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;   // values addressable without allocating
};

// Bytes of text and binary values, appended one value at a time, each value
// contiguous. Offsets are logical: a value that does not fit in the rest of
// the current 1-MiB chunk starts the next chunk, and one larger than a chunk
// gets an allocation of its own spanning as many chunk slots as it needs.
// Value i of a column runs from Begin(end(i - 1), end(i)) to end(i).
class TByteArena {
public:
    static constexpr unsigned kShift = 20;
    static constexpr std::uint64_t kChunk = std::uint64_t{1} << kShift;

    TByteArena() = default;
    TByteArena(TByteArena&& other) noexcept;
    TByteArena(const TByteArena& other);
    TByteArena& operator=(TByteArena other) noexcept;
    ~TByteArena() = default;

    // The logical end of the last value appended.
    [[nodiscard]] std::uint64_t size() const { return m_size; }

    // Appends one value; returns its logical end.
    std::uint64_t Append(std::string_view bytes)
    {
        const std::size_t n = bytes.size();
        if (n == 0 || m_size + n > m_blockBase + m_blockCapacity)
            return AppendSlow(bytes);
        std::memcpy(m_slots[static_cast<std::size_t>(m_size >> kShift)] + (m_size & (kChunk - 1)), bytes.data(), n);
        m_size += n;
        return m_size;
    }

    // Where the value that ends at `end` begins, given the end of the value
    // before it (0 for the first).
    [[nodiscard]] static std::uint64_t Begin(std::uint64_t previousEnd, std::uint64_t end)
    {
        const std::uint64_t chunkEnd = ((previousEnd >> kShift) + 1) << kShift;
        if (end <= chunkEnd || (previousEnd & (kChunk - 1)) == 0)
            return previousEnd;
        return chunkEnd;
    }

    // The bytes [begin, begin + length); they lie in one allocation.
    [[nodiscard]] const char* Data(std::uint64_t begin) const
    {
        if (m_slots.empty())
            return nullptr;
        return m_slots[static_cast<std::size_t>(begin >> kShift)] + (begin & (kChunk - 1));
    }

    // Makes room for `bytes` more in the first chunk while the arena is small.
    void Reserve(std::size_t bytes);
    void clear();
    // Gives back the unused tail of the current chunk.
    void shrink_to_fit();
    [[nodiscard]] std::size_t MemoryBytes() const;

private:
    std::uint64_t AppendSlow(std::string_view bytes);

    struct TFreeBytes {
        void operator()(char* p) const { std::free(p); }
    };
    using TBlock = std::unique_ptr<char, TFreeBytes>;

    struct TBlockEntry {
        TBlock bytes;
        std::uint64_t base = 0;       // logical offset of its first byte
        std::size_t capacity = 0;
    };

    void Swap(TByteArena& other) noexcept;
    void Resize(std::size_t capacity);
    void StartBlock(std::uint64_t at, std::size_t capacity);

    std::vector<TBlockEntry> m_blocks;  // allocations, in offset order
    std::vector<char*> m_slots;       // chunk slot -> its address
    std::uint64_t m_size = 0;         // logical end of the last value
    std::uint64_t m_blockBase = 0;    // of the current (last) block
    std::size_t m_blockCapacity = 0;  // of the current block
    std::size_t m_allocated = 0;      // bytes allocated in all
};
