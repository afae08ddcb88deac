#include "platform/data/ColumnStore.h"

#include <algorithm>
#include <limits>

TStorageKind StorageKindOf(TFieldType type)
{
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
        return TStorageKind::Int32;
    case ftLargeint:
        return TStorageKind::Int64;
    case ftFloat:
    case ftCurrency:
        return TStorageKind::Float64;
    case ftBoolean:
        return TStorageKind::Bool;
    case ftDate:
        return TStorageKind::Date;
    case ftTime:
        return TStorageKind::Time;
    case ftDateTime:
        return TStorageKind::DateTime;
    default:
        return IsBinaryType(type) ? TStorageKind::Bytes : TStorageKind::Text;
    }
}

namespace {

[[nodiscard]] bool FitsInt32(std::int64_t v)
{
    return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

template <typename T> std::size_t CapacityBytes(const std::vector<T>& v) { return v.capacity() * sizeof(T); }

template <typename To, typename From> void CopyInto(TChunkedArray<To>& to, TChunkedArray<From>& from)
{
    to.reserve(from.size());
    for (std::size_t i = 0; i < from.size(); ++i)
        to.push_back(from[i]);
    from.clear();
}

} // namespace

// ---------------------------------------------------------------- TColumnData

std::uint64_t TColumnData::End(std::size_t row) const
{
    return m_wideEnds ? m_end64[row] : m_end32[row];
}

void TColumnData::PushWideEnd(std::uint64_t end)
{
    if (!m_wideEnds) {
        CopyInto(m_end64, m_end32);
        m_wideEnds = true;
    }
    m_end64.push_back(end);
}

void TColumnData::WidenInt32()
{
    if (m_wide)
        return;
    CopyInto(m_i64, m_i32);
    m_wide = true;
}

void TColumnData::AppendNull()
{
    PushNullBit(true);
    switch (m_kind) {
    case TStorageKind::Int32:
        if (m_wide)
            m_i64.push_back(0);
        else
            m_i32.push_back(0);
        break;
    case TStorageKind::Date:
    case TStorageKind::Time:
        m_i32.push_back(0);
        break;
    case TStorageKind::Int64:
    case TStorageKind::DateTime:
        m_i64.push_back(0);
        break;
    case TStorageKind::Float64:
        m_f64.push_back(0.0);
        break;
    case TStorageKind::Bool:
        m_u8.push_back(0);
        break;
    case TStorageKind::Text:
    case TStorageKind::Bytes:
        PushEnd();
        break;
    }
    ++m_length;
}

void TColumnData::AppendInt(std::int64_t v)
{
    PushNullBit(false);
    switch (m_kind) {
    case TStorageKind::Int32:
        if (!m_wide && !FitsInt32(v))
            WidenInt32();
        if (m_wide)
            m_i64.push_back(v);
        else
            m_i32.push_back(static_cast<std::int32_t>(v));
        break;
    case TStorageKind::Bool:
        m_u8.push_back(v != 0 ? 1 : 0);
        break;
    default:
        m_i64.push_back(v);
        break;
    }
    ++m_length;
}

void TColumnData::AppendDouble(double v)
{
    PushNullBit(false);
    m_f64.push_back(v);
    ++m_length;
}

void TColumnData::AppendDays(std::int32_t days)
{
    PushNullBit(false);
    m_i32.push_back(days);
    ++m_length;
}

void TColumnData::AppendMsecs(std::int64_t msecs)
{
    PushNullBit(false);
    if (m_kind == TStorageKind::Time)
        m_i32.push_back(static_cast<std::int32_t>(msecs));
    else
        m_i64.push_back(msecs);
    ++m_length;
}

void TColumnData::AppendBytes(std::string_view bytes)
{
    PushNullBit(false);
    m_arena.Append(bytes);
    PushEnd();
    ++m_length;
}

void TColumnData::Reserve(std::size_t rows, std::size_t bytes)
{
    const std::size_t total = m_length + rows;
    m_nullBits.reserve((total + 63) / 64);
    switch (m_kind) {
    case TStorageKind::Int32:
        if (m_wide)
            m_i64.reserve(total);
        else
            m_i32.reserve(total);
        break;
    case TStorageKind::Date:
    case TStorageKind::Time:
        m_i32.reserve(total);
        break;
    case TStorageKind::Int64:
    case TStorageKind::DateTime:
        m_i64.reserve(total);
        break;
    case TStorageKind::Float64:
        m_f64.reserve(total);
        break;
    case TStorageKind::Bool:
        m_u8.reserve(total);
        break;
    case TStorageKind::Text:
    case TStorageKind::Bytes:
        if (m_wideEnds)
            m_end64.reserve(total);
        else
            m_end32.reserve(total);
        m_arena.Reserve(bytes);
        break;
    }
}

bool TColumnData::IsNull(std::size_t row) const
{
    return row >= m_length || ((m_nullBits[row / 64] >> (row % 64)) & 1u) != 0;
}

std::int64_t TColumnData::Int(std::size_t row) const
{
    switch (m_kind) {
    case TStorageKind::Int32:
        return m_wide ? m_i64[row] : m_i32[row];
    case TStorageKind::Bool:
        return m_u8[row];
    case TStorageKind::Int64:
    case TStorageKind::DateTime:
        return m_i64[row];
    case TStorageKind::Date:
    case TStorageKind::Time:
        return m_i32[row];
    default:
        return 0;
    }
}

double TColumnData::Double(std::size_t row) const
{
    return m_kind == TStorageKind::Float64 ? m_f64[row] : static_cast<double>(Int(row));
}

std::int64_t TColumnData::Msecs(std::size_t row) const
{
    if (m_kind == TStorageKind::Time)
        return m_i32[row];
    if (m_kind == TStorageKind::DateTime)
        return m_i64[row];
    return 0;
}

std::int32_t TColumnData::Days(std::size_t row) const
{
    return m_kind == TStorageKind::Date ? m_i32[row] : 0;
}

std::string_view TColumnData::Bytes(std::size_t row) const
{
    if (m_kind != TStorageKind::Text && m_kind != TStorageKind::Bytes)
        return {};
    if (!m_replaced.empty()) {
        if (auto it = m_replaced.find(row); it != m_replaced.end())
            return {m_editArena.data() + it->second.first, static_cast<std::size_t>(it->second.second)};
    }
    const std::uint64_t end = End(row);
    const std::uint64_t begin = TByteArena::Begin(row == 0 ? 0 : End(row - 1), end);
    if (begin == end)
        return {};
    return {m_arena.Data(begin), static_cast<std::size_t>(end - begin)};
}

void TColumnData::SetNull(std::size_t row, bool null)
{
    if (row >= m_length)
        return;
    const std::uint64_t bit = std::uint64_t{1} << (row % 64);
    if (null)
        m_nullBits[row / 64] |= bit;
    else
        m_nullBits[row / 64] &= ~bit;
}

void TColumnData::SetInt(std::size_t row, std::int64_t v)
{
    if (row >= m_length)
        return;
    switch (m_kind) {
    case TStorageKind::Int32:
        if (!m_wide && !FitsInt32(v))
            WidenInt32();
        if (m_wide)
            m_i64[row] = v;
        else
            m_i32[row] = static_cast<std::int32_t>(v);
        break;
    case TStorageKind::Bool:
        m_u8[row] = v != 0 ? 1 : 0;
        break;
    case TStorageKind::Int64:
    case TStorageKind::DateTime:
        m_i64[row] = v;
        break;
    default:
        return;
    }
    SetNull(row, false);
}

void TColumnData::SetDouble(std::size_t row, double v)
{
    if (row >= m_length || m_kind != TStorageKind::Float64)
        return;
    m_f64[row] = v;
    SetNull(row, false);
}

void TColumnData::SetMsecs(std::size_t row, std::int64_t v)
{
    if (row >= m_length)
        return;
    if (m_kind == TStorageKind::Time)
        m_i32[row] = static_cast<std::int32_t>(v);
    else if (m_kind == TStorageKind::DateTime)
        m_i64[row] = v;
    else
        return;
    SetNull(row, false);
}

void TColumnData::SetDays(std::size_t row, std::int32_t v)
{
    if (row >= m_length || m_kind != TStorageKind::Date)
        return;
    m_i32[row] = v;
    SetNull(row, false);
}

void TColumnData::SetBytes(std::size_t row, std::string_view bytes)
{
    if (row >= m_length || (m_kind != TStorageKind::Text && m_kind != TStorageKind::Bytes))
        return;
    const std::uint64_t start = m_editArena.size();
    m_editArena.insert(m_editArena.end(), bytes.begin(), bytes.end());
    m_replaced[row] = {start, bytes.size()};
    SetNull(row, false);
}

std::size_t TColumnData::MemoryBytes() const
{
    // An unordered_map node holds the pair and a next pointer; the bucket
    // array holds one pointer per bucket.
    const std::size_t replaced = m_replaced.size() * (sizeof(std::size_t) * 2 + 2 * sizeof(std::uint64_t))
        + m_replaced.bucket_count() * sizeof(void*);
    return CapacityBytes(m_nullBits) + m_i32.MemoryBytes() + m_i64.MemoryBytes() + m_f64.MemoryBytes()
        + m_u8.MemoryBytes() + m_arena.MemoryBytes() + m_end32.MemoryBytes() + m_end64.MemoryBytes()
        + CapacityBytes(m_editArena) + replaced;
}

void TColumnData::Shrink()
{
    m_nullBits.shrink_to_fit();
    m_i32.shrink_to_fit();
    m_i64.shrink_to_fit();
    m_f64.shrink_to_fit();
    m_u8.shrink_to_fit();
    m_arena.shrink_to_fit();
    m_end32.shrink_to_fit();
    m_end64.shrink_to_fit();
    m_editArena.shrink_to_fit();
}

// --------------------------------------------------------------- TColumnStore

void TColumnStore::Reset(std::vector<TFieldDef> defs)
{
    m_defs = std::move(defs);
    m_columns.clear();
    m_columns.reserve(m_defs.size());
    for (const TFieldDef& def : m_defs)
        m_columns.emplace_back(StorageKindOf(def.type));
}

void TColumnStore::Clear()
{
    m_defs.clear();
    m_columns.clear();
}

std::size_t TColumnStore::RowCount() const
{
    if (m_columns.empty())
        return 0;
    std::size_t n = m_columns.front().Length();
    for (const TColumnData& c : m_columns)
        n = std::min(n, c.Length());
    return n;
}

std::size_t TColumnStore::AppendBlankRow()
{
    const std::size_t row = RowCount();
    for (TColumnData& c : m_columns) {
        // A column left longer by an unfinished block fetch already holds
        // a stray value at `row`; it is nulled rather than kept.
        if (c.Length() == row)
            c.AppendNull();
        else
            c.SetNull(row, true);
    }
    return row;
}

std::size_t TColumnStore::MemoryBytes() const
{
    std::size_t n = m_defs.capacity() * sizeof(TFieldDef) + m_columns.capacity() * sizeof(TColumnData);
    for (const TFieldDef& d : m_defs)
        n += static_cast<std::size_t>(d.name.capacity()) * sizeof(QChar);
    for (const TColumnData& c : m_columns)
        n += c.MemoryBytes();
    return n;
}

void TColumnStore::Shrink()
{
    for (TColumnData& c : m_columns)
        c.Shrink();
}
