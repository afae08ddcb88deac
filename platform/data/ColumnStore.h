#pragma once
// Compact in-memory storage of a result: one typed array per column, a null
// bit per cell, and one byte arena per text/binary column. No per-cell
// objects. Widget-free.
//
// Rows are appended column by column (a block fetch appends n values to each
// column in turn); a row exists once every column holds it: RowCount() is the
// smallest column length.

#include "platform/data/ChunkedArray.h"
#include "query/DataSet.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <vector>

// A result column as the driver described it.
struct TFieldDef {
    QString name;              // after the naming rule (COLUMN%d, %s_%d)
    TFieldType type = ftUnknown;
    int size = 0;              // characters or bytes; 0 for long data
    int precision = 0;         // decimals: digits
    int scale = 0;             // decimals: digits after the point
    bool readOnly = false;
};

// How a column's values are held.
enum class TStorageKind : std::uint8_t {
    Int32,      // ftSmallint, ftInteger, ftWord
    Int64,      // ftLargeint
    Float64,    // ftFloat, ftCurrency
    Bool,       // ftBoolean
    Date,       // ftDate: days since 1970-01-01
    Time,       // ftTime: milliseconds since midnight
    DateTime,   // ftDateTime: milliseconds since 1970-01-01T00:00 (local wall clock, no zone)
    Text,       // string types, ftMemo, ftGuid, ftVariant, ftBCD (exact decimal text): UTF-8
    Bytes       // ftBytes, ftVarBytes, ftBlob: raw bytes
};

[[nodiscard]] TStorageKind StorageKindOf(TFieldType type);

// Stored dates and date-times count from 1970-01-01, Julian day 2440588.
inline constexpr std::int64_t kStoredEpochJulianDay = 2'440'588;
inline constexpr std::int64_t kMsecsPerDay = 86'400'000;

// A stored date-time's day (rounded down, so before 1970 too) and its
// milliseconds since that day's midnight, in [0, kMsecsPerDay).
struct TStoredDayTime {
    std::int64_t days = 0;
    std::int64_t msecs = 0;
};
[[nodiscard]] constexpr TStoredDayTime SplitStoredMsecs(std::int64_t msecs)
{
    std::int64_t days = msecs / kMsecsPerDay;
    if (msecs % kMsecsPerDay < 0)
        --days;
    return {days, msecs - days * kMsecsPerDay};
}

class TColumnStore;

// One column. Values are appended in row order.
class TColumnData {
public:
    explicit TColumnData(TStorageKind kind) : m_kind(kind) {}

    [[nodiscard]] TStorageKind Kind() const { return m_kind; }
    [[nodiscard]] std::size_t Length() const { return m_length; }

    void AppendNull();
    void AppendInt(std::int64_t v);          // Int32, Int64, Bool
    void AppendDouble(double v);             // Float64
    void AppendDays(std::int32_t days);      // Date
    void AppendMsecs(std::int64_t msecs);    // Time, DateTime
    void AppendBytes(std::string_view bytes);// Text (UTF-8), Bytes
    // Reserves room for `rows` more values and `bytes` more arena bytes.
    void Reserve(std::size_t rows, std::size_t bytes = 0);

    [[nodiscard]] bool IsNull(std::size_t row) const;
    [[nodiscard]] std::int64_t Int(std::size_t row) const;
    [[nodiscard]] double Double(std::size_t row) const;
    [[nodiscard]] std::int64_t Msecs(std::size_t row) const;   // Time, DateTime
    [[nodiscard]] std::int32_t Days(std::size_t row) const;    // Date
    [[nodiscard]] std::string_view Bytes(std::size_t row) const; // Text, Bytes

    // Replaces a value (edits). Text/Bytes replacements go to a separate
    // edit arena; the fetched bytes stay where they are.
    void SetNull(std::size_t row, bool null);
    void SetInt(std::size_t row, std::int64_t v);
    void SetDouble(std::size_t row, double v);
    void SetMsecs(std::size_t row, std::int64_t v);
    void SetDays(std::size_t row, std::int32_t v);
    void SetBytes(std::size_t row, std::string_view bytes);

    // Bytes held by this column (arrays, null bits, arena, offsets).
    [[nodiscard]] std::size_t MemoryBytes() const;
    // Gives back spare capacity (call when a fetch is complete).
    void Shrink();

private:
    void WidenInt32();
    void PushNullBit(bool null)
    {
        const std::size_t word = m_length / 64;
        if (word >= m_nullBits.size())
            m_nullBits.push_back(0);
        if (null)
            m_nullBits[word] |= std::uint64_t{1} << (m_length % 64);
    }
    void PushEnd()
    {
        const std::uint64_t end = m_arena.size();
        if (!m_wideEnds && end <= std::numeric_limits<std::uint32_t>::max())
            m_end32.push_back(static_cast<std::uint32_t>(end));
        else
            PushWideEnd(end);
    }
    void PushWideEnd(std::uint64_t end);
    [[nodiscard]] std::uint64_t End(std::size_t row) const;

    TStorageKind m_kind;
    std::size_t m_length = 0;
    std::vector<std::uint64_t> m_nullBits;
    TChunkedArray<std::int32_t> m_i32;      // Int32, Date, Time
    TChunkedArray<std::int64_t> m_i64;      // Int64, DateTime, Int32 once widened
    TChunkedArray<double> m_f64;
    TChunkedArray<std::uint8_t> m_u8;       // Bool
    // An Int32 column that met a value outside 32 bits moves to m_i64.
    bool m_wide = false;
    // Text/Bytes: value i ends at logical offset end(i) of m_arena and begins
    // at TByteArena::Begin(end(i - 1), end(i)), end(-1) = 0. The end offsets
    // are 32-bit while the arena is below 4 GiB, then 64-bit.
    TByteArena m_arena;
    TChunkedArray<std::uint32_t> m_end32;
    TChunkedArray<std::uint64_t> m_end64;
    bool m_wideEnds = false;
    // Values replaced by SetBytes: row -> [start, start + length) in m_editArena.
    std::vector<char> m_editArena;
    std::unordered_map<std::size_t, std::pair<std::uint64_t, std::uint64_t>> m_replaced;
};

// The whole result: field definitions and one TColumnData per field.
class TColumnStore {
public:
    void Reset(std::vector<TFieldDef> defs);
    void Clear();

    [[nodiscard]] const std::vector<TFieldDef>& Defs() const { return m_defs; }
    // Renames field i (the naming rule runs on the names the driver gave).
    void SetFieldName(int i, const QString& name) { m_defs[static_cast<std::size_t>(i)].name = name; }
    [[nodiscard]] int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    [[nodiscard]] TColumnData& Column(int i) { return m_columns[static_cast<std::size_t>(i)]; }
    [[nodiscard]] const TColumnData& Column(int i) const { return m_columns[static_cast<std::size_t>(i)]; }
    [[nodiscard]] std::size_t RowCount() const;

    // Appends one row of NULLs (an inserted record) and returns its index.
    std::size_t AppendBlankRow();

    [[nodiscard]] std::size_t MemoryBytes() const;
    // Gives back spare capacity of every column.
    void Shrink();

private:
    std::vector<TFieldDef> m_defs;
    std::vector<TColumnData> m_columns;
};
