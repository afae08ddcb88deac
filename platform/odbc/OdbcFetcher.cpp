#include "platform/odbc/OdbcFetcher.h"

#include "platform/data/ColumnStore.h"
#include "platform/odbc/DriverDefaults.h"
#include "platform/odbc/OdbcChars.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/odbc/OdbcDiagnostics.h"

#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

// Chunk of a long value read per SQLGetData call, in bytes (even).
constexpr SQLLEN kChunkBytes = 64 * 1024;
// Room reserved up front for a value read in chunks, at most: its length as
// the driver announces it is only a hint.
constexpr std::size_t kMaxReservedValueBytes = 16u << 20;

std::int64_t TimestampMsecs(const SQL_TIMESTAMP_STRUCT& ts)
{
    const std::int64_t days = DaysFromCivil(ts.year, ts.month, ts.day);
    return days * kMsecsPerDay
        + ((static_cast<std::int64_t>(ts.hour) * 60 + ts.minute) * 60 + ts.second) * 1000
        + ts.fraction / 1000000;
}

template <class Ch>
TOdbcDescribedColumn DescribeColumn(TOdbcConnection& conn, SQLHSTMT stmt, SQLUSMALLINT col)
{
    constexpr std::size_t kNameUnits = 1024 / sizeof(Ch);
    Ch name[kNameUnits];
    SQLSMALLINT nameLen = 0, nullable = SQL_NULLABLE_UNKNOWN;
    TOdbcDescribedColumn c;
    if (!OdbcSucceeded(TOdbcChars<Ch>::DescribeCol(stmt, col, name, static_cast<SQLSMALLINT>(kNameUnits), &nameLen,
                                                   &c.desc.sqlType, &c.desc.size, &c.desc.digits, &nullable)))
        conn.RaiseFrom(SQL_HANDLE_STMT, stmt, QStringLiteral("Cannot describe column %1").arg(col));
    c.name = TOdbcChars<Ch>::ToQString(
        name, static_cast<std::size_t>(std::clamp<int>(nameLen, 0, static_cast<int>(kNameUnits) - 1)));
    c.nullable = nullable != SQL_NO_NULLS;
    SQLLEN isUnsigned = SQL_FALSE;
    SQLColAttributeW(stmt, col, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
    c.desc.isUnsigned = isUnsigned == SQL_TRUE;
    return c;
}

// Whether the executed statement's cursor is static and the driver fetches a
// rowset at an absolute row number on it. A static cursor's rows keep their
// numbers, so a row can be fetched again.
bool CanFetchAbsolute(const TOdbcConnection& conn, SQLHSTMT stmt)
{
    SQLULEN cursorType = SQL_CURSOR_FORWARD_ONLY;
    if (!OdbcSucceeded(SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &cursorType, 0, nullptr))
        || cursorType != SQL_CURSOR_STATIC)
        return false;
    SQLUINTEGER attrs = 0;
    return OdbcSucceeded(SQLGetInfo(conn.Handle(), SQL_STATIC_CURSOR_ATTRIBUTES1, &attrs, sizeof attrs, nullptr))
        && (attrs & SQL_CA1_ABSOLUTE) != 0;
}

// Whether exact decimal text as a driver wrote it is already in the form
// NormalizeDecimalText gives: no padding, and a digit before a leading point.
bool IsNormalDecimalText(std::string_view t)
{
    if (t.empty() || t.front() == ' ' || t.back() == ' ' || t.front() == '.')
        return false;
    return !(t.size() > 1 && (t[0] == '-' || t[0] == '+') && t[1] == '.');
}

// Appends text fetched as SQL_C_CHAR: a time of day, exact decimal text, or
// (drivers without W entry points) UTF-8 taken as is. `scratch` must not hold
// `text`.
void AppendText(TColumnData& out, TFieldType type, std::string_view text, std::string& scratch)
{
    if (type == ftTime) {
        const std::int64_t ms = ParseTimeOfDayMsecs(text);
        if (ms < 0)
            out.AppendNull();
        else
            out.AppendMsecs(ms);
    } else if (type == ftBCD && !IsNormalDecimalText(text)) {
        scratch.assign(text);
        NormalizeDecimalText(scratch);
        out.AppendBytes(scratch);
    } else {
        out.AppendBytes(text);
    }
}

// Appends a whole value read by SQLGetData as `c` is fetched.
void AppendWhole(TColumnData& out, const TOdbcColumnPlan& c, std::string_view value, std::string& scratch)
{
    if (c.fetch.cType == SQL_C_CHAR)
        AppendText(out, c.field.type, value, scratch);
    else
        out.AppendBytes(value);
}

// A length the driver reported for a buffer of `room` bytes, within it; an
// unknown or invalid length reads as 0.
std::size_t ClampedLength(SQLLEN ind, std::size_t room)
{
    return ind <= 0 ? 0 : std::min(static_cast<std::size_t>(ind), room);
}

template <class T>
T Load(const char* buf)
{
    T v;
    std::memcpy(&v, buf, sizeof v);
    return v;
}

// Bytes of the text in `buf` before its terminator, within `room`.
std::size_t TerminatedBytes(const char* buf, std::size_t room, bool wide)
{
    if (!wide)
        return static_cast<std::size_t>(std::find(buf, buf + room, '\0') - buf);
    std::size_t bytes = 0;
    for (; bytes + sizeof(SQLWCHAR) <= room && Load<SQLWCHAR>(buf + bytes) != 0; bytes += sizeof(SQLWCHAR)) {
    }
    return bytes;
}

// How a column's fetched values become stored ones, chosen once per column.
enum class TValueKind : std::uint8_t {
    Int32, Int64, Double, Bit, Date, Timestamp, Text, TextAsIs, Wide, Binary, Other
};

TValueKind ValueKindOf(const TOdbcColumnPlan& c)
{
    switch (c.fetch.cType) {
    case SQL_C_SLONG:
        return TValueKind::Int32;
    case SQL_C_SBIGINT:
        return TValueKind::Int64;
    case SQL_C_DOUBLE:
        return TValueKind::Double;
    case SQL_C_BIT:
        return TValueKind::Bit;
    case SQL_C_TYPE_DATE:
        return TValueKind::Date;
    case SQL_C_TYPE_TIMESTAMP:
        return TValueKind::Timestamp;
    case SQL_C_CHAR:
        return c.field.type == ftTime || c.field.type == ftBCD ? TValueKind::Text : TValueKind::TextAsIs;
    case SQL_C_WCHAR:
        return TValueKind::Wide;
    case SQL_C_BINARY:
        return TValueKind::Binary;
    default:
        return TValueKind::Other;
    }
}

// Appends a value held in `buf` (as the driver wrote it for `c.fetch.cType`,
// of kind K, with length indicator `ind`) to `out`. `utf8` and `scratch` are
// reused between calls.
template <TValueKind K>
void AppendOne(TColumnData& out, const TOdbcColumnPlan& c, const char* buf, SQLLEN ind, std::string& utf8,
               std::string& scratch)
{
    if (ind == SQL_NULL_DATA) {
        out.AppendNull();
    } else if constexpr (K == TValueKind::Int32) {
        out.AppendInt(Load<SQLINTEGER>(buf));
    } else if constexpr (K == TValueKind::Int64) {
        out.AppendInt(Load<SQLBIGINT>(buf));
    } else if constexpr (K == TValueKind::Double) {
        out.AppendDouble(Load<SQLDOUBLE>(buf));
    } else if constexpr (K == TValueKind::Bit) {
        out.AppendInt(*reinterpret_cast<const unsigned char*>(buf) != 0 ? 1 : 0);
    } else if constexpr (K == TValueKind::Date) {
        const auto d = Load<SQL_DATE_STRUCT>(buf);
        out.AppendDays(DaysFromCivil(d.year, d.month, d.day));
    } else if constexpr (K == TValueKind::Timestamp) {
        out.AppendMsecs(TimestampMsecs(Load<SQL_TIMESTAMP_STRUCT>(buf)));
    } else if constexpr (K == TValueKind::Text) {
        AppendText(out, c.field.type, std::string_view(buf, ClampedLength(ind, c.fetch.elementBytes - 1)), scratch);
    } else if constexpr (K == TValueKind::TextAsIs) {
        out.AppendBytes(std::string_view(buf, ClampedLength(ind, c.fetch.elementBytes - 1)));
    } else if constexpr (K == TValueKind::Wide) {
        const std::size_t units = ClampedLength(ind, c.fetch.elementBytes - sizeof(SQLWCHAR)) / sizeof(SQLWCHAR);
        // `utf8` only grows, so its bytes are not cleared for every value.
        if (utf8.size() < units * 3)
            utf8.resize(units * 3);
        const std::size_t bytes = Utf16ToUtf8(reinterpret_cast<const SQLWCHAR*>(buf), units, utf8.data());
        out.AppendBytes(std::string_view(utf8.data(), bytes));
    } else if constexpr (K == TValueKind::Binary) {
        out.AppendBytes(std::string_view(buf, ClampedLength(ind, c.fetch.elementBytes)));
    } else {
        out.AppendNull();
    }
}

// Appends rows [0, n) of a bound column of kind K whose values all fit their
// buffers.
template <TValueKind K>
void AppendBlockOf(TColumnData& out, const TOdbcColumnPlan& c, const char* base, const SQLLEN* ind, std::size_t n,
                   std::string& utf8, std::string& scratch)
{
    const std::size_t step = c.fetch.elementBytes;
    for (std::size_t r = 0; r < n; ++r, base += step)
        AppendOne<K>(out, c, base, ind[r], utf8, scratch);
}

// Calls f.template operator()<K>() for `kind`.
template <class F>
decltype(auto) WithValueKind(TValueKind kind, F&& f)
{
    switch (kind) {
    case TValueKind::Int32: return f.template operator()<TValueKind::Int32>();
    case TValueKind::Int64: return f.template operator()<TValueKind::Int64>();
    case TValueKind::Double: return f.template operator()<TValueKind::Double>();
    case TValueKind::Bit: return f.template operator()<TValueKind::Bit>();
    case TValueKind::Date: return f.template operator()<TValueKind::Date>();
    case TValueKind::Timestamp: return f.template operator()<TValueKind::Timestamp>();
    case TValueKind::Text: return f.template operator()<TValueKind::Text>();
    case TValueKind::TextAsIs: return f.template operator()<TValueKind::TextAsIs>();
    case TValueKind::Wide: return f.template operator()<TValueKind::Wide>();
    case TValueKind::Binary: return f.template operator()<TValueKind::Binary>();
    case TValueKind::Other: break;
    }
    return f.template operator()<TValueKind::Other>();
}

void AppendValue(TColumnData& out, const TOdbcColumnPlan& c, TValueKind kind, const char* buf, SQLLEN ind,
                 std::string& utf8, std::string& scratch)
{
    WithValueKind(kind, [&]<TValueKind K>() { AppendOne<K>(out, c, buf, ind, utf8, scratch); });
}

void AppendBlock(TColumnData& out, const TOdbcColumnPlan& c, TValueKind kind, const char* base, const SQLLEN* ind,
                 std::size_t n, std::string& utf8, std::string& scratch)
{
    WithValueKind(kind, [&]<TValueKind K>() { AppendBlockOf<K>(out, c, base, ind, n, utf8, scratch); });
}

} // namespace

std::vector<TOdbcDescribedColumn> DescribeOdbcColumns(TOdbcConnection& conn, SQLHSTMT stmt, SQLSMALLINT ncols)
{
    std::vector<TOdbcDescribedColumn> columns;
    columns.reserve(static_cast<std::size_t>(std::max<SQLSMALLINT>(ncols, 0)));
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(std::max<SQLSMALLINT>(ncols, 0)); ++i)
        columns.push_back(
            WithOdbcChars(conn.WideDriver(), [&]<class Ch>() { return DescribeColumn<Ch>(conn, stmt, i); }));
    return columns;
}

TOdbcDriverCaps OdbcDriverCaps(const TOdbcConnection& conn, SQLHSTMT stmt)
{
    TOdbcDriverCaps caps;
    caps.getDataExtensions = conn.GetDataExtensions();
    caps.exactColumnSizes = conn.ExactColumnSizes();
    caps.absoluteFetch = CanFetchAbsolute(conn, stmt);
    caps.wide = conn.WideDriver();
    return caps;
}

// ------------------------------------------------------------------ fetcher

TOdbcBlockFetcher::~TOdbcBlockFetcher()
{
    SQLFreeStmt(m_stmt, SQL_UNBIND);
    SQLSetStmtAttrW(m_stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttrW(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)), 0);
}

TOdbcBlockFetcher::TOdbcBlockFetcher(TOdbcConnection& conn, SQLHSTMT stmt, const TFetchPlan& plan)
    : m_conn(conn), m_stmt(stmt), m_plan(plan), m_buffers(plan.columns.size()),
      m_neededBytes(plan.columns.size(), 0)
{
    const auto set = [this](SQLINTEGER attr, SQLPOINTER value) {
        if (!OdbcSucceeded(SQLSetStmtAttrW(m_stmt, attr, value, 0)))
            m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("Cannot set up the fetch"));
    };
    set(SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_BIND_BY_COLUMN)));
    SQLULEN rows = plan.rowsPerBlock;
    if (rows > 1) {
        // A driver may grant fewer rows; it says so in the size read back.
        if (!OdbcSucceeded(SQLSetStmtAttrW(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0)))
            rows = 1;
        SQLULEN granted = 1;
        if (!OdbcSucceeded(SQLGetStmtAttrW(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)))
            m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("Cannot set up the fetch"));
        // More than asked for would overrun the buffers.
        if (granted < 1 || granted > rows) {
            set(SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(1)));
            rows = 1;
        } else {
            rows = granted;
        }
    }
    m_plan = WithRowsPerBlock(m_plan, rows);
    set(SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched);
    for (std::size_t ci = 0; ci < m_plan.columns.size(); ++ci) {
        const TOdbcColumnPlan& c = m_plan.columns[ci];
        if (c.read == TOdbcColumnRead::GetDataChunks)
            continue;
        const std::size_t rowSlots = c.read == TOdbcColumnRead::Bound ? rows : 1;
        m_buffers[ci].data.assign(std::max<std::size_t>(c.fetch.elementBytes, 1) * rowSlots, 0);
        m_buffers[ci].ind.assign(rowSlots, 0);
        Bind(ci);
        if (c.read == TOdbcColumnRead::Bound && IsVariableCType(c.fetch.cType))
            m_variableBound.push_back(ci);
    }
    for (const TOdbcColumnPlan& c : m_plan.columns)
        m_valueKinds.push_back(static_cast<std::uint8_t>(ValueKindOf(c)));
}

std::size_t TOdbcBlockFetcher::BufferBytes() const
{
    std::size_t bytes = m_utf8.capacity() + m_whole.capacity() + m_scratch.capacity() + m_chunk.capacity()
        + m_wide.capacity() * sizeof(SQLWCHAR);
    for (const TBuffers& b : m_buffers)
        bytes += b.data.capacity() + b.ind.capacity() * sizeof(SQLLEN);
    return bytes;
}

bool TOdbcBlockFetcher::Run(TColumnStore& store)
{
    std::vector<TFieldDef> fields;
    fields.reserve(m_plan.columns.size());
    for (const TOdbcColumnPlan& c : m_plan.columns)
        fields.push_back(c.field);
    store.Reset(fields);
    const auto stopped = [this] { return m_stop && m_stop->load(std::memory_order_relaxed); };
    if (stopped())
        return false;
    for (long long before = 0;;) {
        while (const std::optional<std::size_t> rows = FetchBlock()) {
            FindCutValues(*rows);
            RereadCutValues();
            AppendRows(store, *rows);
            m_blockStart += static_cast<SQLLEN>(*rows);
            if (m_rowsOut)
                m_rowsOut->store(before + static_cast<long long>(m_blockStart - 1), std::memory_order_relaxed);
            if (stopped())
                return false;
            // A short block is the last (an ODBC rule). Fetching once more would
            // make some drivers (FreeTDS) read on into the next result of the
            // batch, whose row count and messages would then be lost.
            if (m_plan.rowsPerBlock > 1 && *rows < m_plan.rowsPerBlock)
                break;
            Grow();
        }
        const auto rows = static_cast<std::size_t>(m_blockStart - 1);
        if (!m_nextResult || !m_nextResult(rows))
            return true;
        // The next result is fetched into the same bound buffers.
        before += static_cast<long long>(rows);
        m_blockStart = 1;
        if (std::exchange(m_resume, false)) {
            SetRowArraySize(m_plan.rowsPerBlock);
            for (std::size_t ci = 0; ci < m_plan.columns.size(); ++ci)
                Bind(ci);
        }
    }
}

void TOdbcBlockFetcher::SetRowArraySize(std::size_t rows)
{
    if (!OdbcSucceeded(SQLSetStmtAttrW(m_stmt, SQL_ATTR_ROW_ARRAY_SIZE,
                                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(rows)), 0)))
        m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("Fetch failed"));
}

void TOdbcBlockFetcher::Bind(std::size_t col)
{
    const TOdbcColumnPlan& c = m_plan.columns[col];
    if (c.read != TOdbcColumnRead::Bound)
        return;
    TBuffers& b = m_buffers[col];
    if (!OdbcSucceeded(SQLBindCol(m_stmt, static_cast<SQLUSMALLINT>(col + 1), c.fetch.cType, b.data.data(),
                                  static_cast<SQLLEN>(c.fetch.elementBytes), b.ind.data())))
        m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("Cannot bind column %1").arg(col + 1));
}

std::optional<std::size_t> TOdbcBlockFetcher::FetchBlock()
{
    m_fetched = 0;
    const bool resume = std::exchange(m_resume, false);
    if (resume) {
        SetRowArraySize(m_plan.rowsPerBlock);
        for (std::size_t ci = 0; ci < m_plan.columns.size(); ++ci)
            Bind(ci);
    }
    const SQLRETURN rc = resume ? SQLFetchScroll(m_stmt, SQL_FETCH_ABSOLUTE, m_blockStart) : SQLFetch(m_stmt);
    if (rc == SQL_NO_DATA)
        return std::nullopt;
    if (!OdbcSucceeded(rc))
        m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("Fetch failed"));
    if (m_plan.rowsPerBlock == 1)
        return 1;
    // The buffers hold rowsPerBlock rows; a fetch that is not the end has one.
    if (m_fetched < 1)
        m_conn.Raise({TDbError{0, QString(), QStringLiteral("Fetch failed: the driver fetched no rows")}});
    return std::min<std::size_t>(m_fetched, m_plan.rowsPerBlock);
}

// Bound values of rows [0, rows) whose length indicator exceeds their buffer
// (or is unknown), in (row, column) order.
void TOdbcBlockFetcher::FindCutValues(std::size_t rows)
{
    m_cuts.clear();
    for (const std::size_t ci : m_variableBound) {
        const TOdbcColumnPlan& c = m_plan.columns[ci];
        const std::size_t term = TerminatorBytes(c.fetch.cType);
        const std::size_t room = c.fetch.elementBytes - term;
        const SQLLEN* ind = m_buffers[ci].ind.data();
        for (std::size_t r = 0; r < rows; ++r) {
            if (ind[r] == SQL_NULL_DATA || (ind[r] != SQL_NO_TOTAL && static_cast<std::size_t>(ind[r]) <= room))
                continue;
            m_cuts.push_back(TCutValue{r, ci, false, {}});
            if (ind[r] != SQL_NO_TOTAL) {
                m_neededBytes[ci] = std::max(m_neededBytes[ci], static_cast<std::size_t>(ind[r]) + term);
                m_outgrown = true;
            }
        }
    }
    // Rows are positioned on in order.
    if (m_cuts.size() > 1) {
        std::sort(m_cuts.begin(), m_cuts.end(), [](const TCutValue& a, const TCutValue& b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
    }
}

// Reads the block's cut values whole where that needs the rowset moved.
// One-row fetches read them while the row is appended, in column order with
// the unbound columns (drivers without SQL_GD_ANY_ORDER need that).
void TOdbcBlockFetcher::RereadCutValues()
{
    if (m_cuts.empty())
        return;
    const TOdbcCutValueRead how = m_plan.cutValues;
    if (how == TOdbcCutValueRead::CurrentRow)
        return;
    if (how != TOdbcCutValueRead::PositionedRow && how != TOdbcCutValueRead::AbsoluteRow)
        RaiseTooLong(m_cuts.front().col);
    const bool absolute = how == TOdbcCutValueRead::AbsoluteRow;
    if (absolute) {
        // The bound buffers keep the block while single rows are read. They
        // are bound again only once the block is appended: a driver may write
        // to the first row's buffers when a column is bound.
        SQLFreeStmt(m_stmt, SQL_UNBIND);
        SetRowArraySize(1);
        m_resume = true;
    }
    std::size_t positioned = static_cast<std::size_t>(-1);
    for (TCutValue& cut : m_cuts) {
        if (cut.row != positioned) {
            const SQLRETURN rc = absolute
                ? SQLFetchScroll(m_stmt, SQL_FETCH_ABSOLUTE, m_blockStart + static_cast<SQLLEN>(cut.row))
                : SQLSetPos(m_stmt, static_cast<SQLSETPOSIROW>(cut.row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE);
            if (!OdbcSucceeded(rc))
                RaiseTooLong(cut.col);
            positioned = cut.row;
        }
        ReadCutValue(cut);
    }
}

void TOdbcBlockFetcher::ReadCutValue(TCutValue& cut)
{
    bool whole = false;
    try {
        whole = ReadWhole(cut.col, cut.value);
    } catch (const EDatabaseError&) {
        RaiseTooLong(cut.col);
    }
    // The value was not NULL when fetched: NULL now means the read went astray.
    if (!whole)
        RaiseTooLong(cut.col);
    cut.read = true;
}

void TOdbcBlockFetcher::AppendRows(TColumnStore& store, std::size_t rows)
{
    if (m_cuts.size() > 1) {
        std::sort(m_cuts.begin(), m_cuts.end(), [](const TCutValue& a, const TCutValue& b) {
            return a.col != b.col ? a.col < b.col : a.row < b.row;
        });
    }
    auto cut = m_cuts.begin();
    for (std::size_t ci = 0; ci < m_plan.columns.size(); ++ci) {
        TColumnData& out = store.Column(static_cast<int>(ci));
        const TOdbcColumnPlan& c = m_plan.columns[ci];
        TBuffers& b = m_buffers[ci];
        if (c.read != TOdbcColumnRead::Bound)
            AppendUnbound(out, ci);
        else if (cut != m_cuts.end() && cut->col == ci)
            AppendCutColumn(out, ci, rows, cut);
        else
            AppendBlock(out, c, static_cast<TValueKind>(m_valueKinds[ci]), b.data.data(), b.ind.data(), rows, m_utf8,
                        m_scratch);
    }
}

// Appends rows [0, rows) of bound column `col`, taking the cut values of the
// column, from `cut` on, whole.
void TOdbcBlockFetcher::AppendCutColumn(TColumnData& out, std::size_t col, std::size_t rows,
                                        std::vector<TCutValue>::iterator& cut)
{
    const TOdbcColumnPlan& c = m_plan.columns[col];
    TBuffers& b = m_buffers[col];
    for (std::size_t r = 0; r < rows; ++r) {
        if (cut != m_cuts.end() && cut->col == col && cut->row == r) {
            if (!cut->read)
                ReadCutValue(*cut);
            AppendWhole(out, c, cut->value, m_scratch);
            ++cut;
        } else {
            AppendValue(out, c, static_cast<TValueKind>(m_valueKinds[col]), b.data.data() + r * c.fetch.elementBytes,
                        b.ind[r], m_utf8, m_scratch);
        }
    }
}

// Appends the current row's value of unbound column `col`, read by SQLGetData.
void TOdbcBlockFetcher::AppendUnbound(TColumnData& out, std::size_t col)
{
    const TOdbcColumnPlan& c = m_plan.columns[col];
    if (c.read == TOdbcColumnRead::GetDataChunks) {
        if (ReadWhole(col, m_whole))
            AppendWhole(out, c, m_whole, m_scratch);
        else
            out.AppendNull();
        return;
    }
    TBuffers& b = m_buffers[col];
    SQLLEN ind = 0;
    if (!OdbcSucceeded(SQLGetData(m_stmt, static_cast<SQLUSMALLINT>(col + 1), c.fetch.cType, b.data.data(),
                                  static_cast<SQLLEN>(c.fetch.elementBytes), &ind)))
        m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("Cannot read column %1").arg(col + 1));
    AppendValue(out, c, static_cast<TValueKind>(m_valueKinds[col]), b.data.data(), ind, m_utf8, m_scratch);
}

// Columns whose values outgrew their buffers get larger ones (see
// GrownElementBytes); longer values are still read again.
void TOdbcBlockFetcher::Grow()
{
    if (!std::exchange(m_outgrown, false))
        return;
    const std::size_t rows = m_plan.rowsPerBlock;
    std::size_t blockBytes = BoundBlockBytes(m_plan);
    for (std::size_t ci = 0; ci < m_plan.columns.size(); ++ci) {
        std::size_t& elementBytes = m_plan.columns[ci].fetch.elementBytes;
        const std::size_t spare = kMaxStatementBufferBytes - std::min(blockBytes, kMaxStatementBufferBytes);
        const std::size_t grown = GrownElementBytes(elementBytes, std::exchange(m_neededBytes[ci], 0), rows, spare);
        if (grown == elementBytes)
            continue;
        blockBytes += (grown - elementBytes) * rows;
        elementBytes = grown;
        m_buffers[ci].data.assign(grown * rows, 0);
        Bind(ci);
    }
}

bool TOdbcBlockFetcher::ReadWhole(std::size_t col, std::string& out)
{
    const SQLSMALLINT cType = m_plan.columns[col].fetch.cType;
    const auto colNo = static_cast<SQLUSMALLINT>(col + 1);
    const bool wide = cType == SQL_C_WCHAR;
    out.clear();
    m_wide.clear();
    m_chunk.resize(static_cast<std::size_t>(kChunkBytes));
    // Bytes of a chunk the value may fill: the rest is its terminator.
    const std::size_t room = static_cast<std::size_t>(kChunkBytes) - TerminatorBytes(cType);
    for (bool first = true;; first = false) {
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(m_stmt, colNo, cType, m_chunk.data(), kChunkBytes, &ind);
        if (rc == SQL_NO_DATA)
            break;
        if (!OdbcSucceeded(rc))
            m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("Cannot read column %1").arg(colNo));
        if (ind == SQL_NULL_DATA)
            return false;
        const bool known = ind >= 0;
        // SQL_SUCCESS_WITH_INFO is a cut chunk (01004), or a warning on a
        // chunk that the length says is whole.
        const bool more = rc == SQL_SUCCESS_WITH_INFO && (!known || static_cast<std::size_t>(ind) > room);
        std::size_t got = room;
        if (!more && known)
            got = std::min(static_cast<std::size_t>(ind), room);
        else if (!more && cType != SQL_C_BINARY)
            got = TerminatedBytes(m_chunk.data(), room, wide);
        if (first && known && ind > 0) {
            const std::size_t hint = std::min(static_cast<std::size_t>(ind), kMaxReservedValueBytes);
            if (wide)
                m_wide.reserve(hint / sizeof(SQLWCHAR));
            else
                out.reserve(hint);
        }
        if (wide) {
            const auto* w = reinterpret_cast<const SQLWCHAR*>(m_chunk.data());
            m_wide.insert(m_wide.end(), w, w + got / sizeof(SQLWCHAR));
        } else {
            out.append(m_chunk.data(), got);
        }
        if (!more)
            break;
    }
    if (wide)
        AppendUtf16AsUtf8(m_wide.data(), m_wide.size(), out);
    return true;
}

void TOdbcBlockFetcher::RaiseTooLong(std::size_t col)
{
    const TOdbcColumnPlan& c = m_plan.columns[col];
    m_conn.Raise({TDbError{0, QString(),
                           QStringLiteral("Field '%1': a value is longer than the driver's column size %2")
                               .arg(c.field.name, QString::number(c.desc.size))}});
}

// ------------------------------------------------------------ server cursor

namespace {

constexpr auto kCursorName = QLatin1StringView("bqa_fetch");
// SQLSTATE of PostgreSQL's warning for a BEGIN inside a transaction.
constexpr auto kActiveTransactionState = QLatin1StringView("25001");

bool IsSpace(QChar c) { return c.isSpace(); }

} // namespace

bool IsServerCursorQuery(QStringView sql)
{
    qsizetype i = 0;
    const qsizetype n = sql.size();
    // Blanks, comments and opening parentheses before the first word.
    while (i < n) {
        if (IsSpace(sql[i]) || sql[i] == u'(') {
            ++i;
        } else if (sql.mid(i).startsWith(u"--")) {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (sql.mid(i).startsWith(u"/*")) {
            const qsizetype end = sql.indexOf(u"*/", i + 2);
            if (end < 0)
                return false;
            i = end + 2;
        } else {
            break;
        }
    }
    qsizetype end = i;
    while (end < n && sql[end].isLetter())
        ++end;
    const QStringView word = sql.mid(i, end - i);
    bool query = false;
    for (const char16_t* w : {u"select", u"with", u"values", u"table"})
        query = query || word.compare(QStringView(w), Qt::CaseInsensitive) == 0;
    if (!query || !MayRunInACursor(sql))
        return false;
    const qsizetype semicolon = sql.indexOf(u';');
    if (semicolon < 0)
        return true;
    for (qsizetype k = semicolon; k < n; ++k)
        if (sql[k] != u';' && !IsSpace(sql[k]))
            return false;
    return true;
}

TOdbcServerCursor::TOdbcServerCursor(TOdbcConnection& conn, SQLHSTMT stmt, const QString& sql,
                                     std::size_t rowsPerFetch)
    : m_conn(conn), m_stmt(stmt), m_rowsPerFetch(std::max<std::size_t>(rowsPerFetch, 1))
{
    SQLULEN autocommit = SQL_AUTOCOMMIT_ON;
    if (!OdbcSucceeded(SQLGetConnectAttr(conn.Handle(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr)))
        conn.RaiseFrom(SQL_HANDLE_DBC, conn.Handle(), QStringLiteral("Cannot read the transaction mode"));
    if (autocommit == SQL_AUTOCOMMIT_ON) {
        const bool warned = Exec(QStringLiteral("begin")) == SQL_SUCCESS_WITH_INFO;
        const std::vector<TDbError> notes =
            warned ? ReadOdbcDiagnostics(SQL_HANDLE_STMT, stmt, conn.WideDriver()) : std::vector<TDbError>{};
        m_ownTransaction = std::none_of(notes.begin(), notes.end(), [](const TDbError& e) {
            return e.SqlState == kActiveTransactionState;
        });
    }
    QString query = sql;
    while (!query.isEmpty() && (query.back() == u';' || query.back().isSpace()))
        query.chop(1);
    m_open = true;
    try {
        // The line break ends a line comment at the end of the query.
        Exec(QStringLiteral("declare %1 no scroll cursor for %2\n").arg(kCursorName, query));
        (void)FetchNext(m_rowsPerFetch);
    } catch (const EDatabaseError&) {
        Abandon();
        throw;
    }
}

TOdbcServerCursor::~TOdbcServerCursor() { Abandon(); }

void TOdbcServerCursor::Abandon() noexcept
{
    if (!std::exchange(m_open, false) || m_conn.ConnectionLost())
        return;
    // A failure here leaves the error the caller is raising as it is.
    const std::vector<TDbError> errors = m_conn.Errors();
    try {
        Exec(m_ownTransaction ? QStringLiteral("rollback") : QStringLiteral("close %1").arg(kCursorName));
    } catch (const EDatabaseError&) {
    }
    m_conn.SetErrors(errors);
}

bool TOdbcServerCursor::FetchNext(std::size_t rows)
{
    if (rows < m_rowsPerFetch)
        return false;
    Exec(QStringLiteral("fetch forward %1 from %2").arg(m_rowsPerFetch).arg(kCursorName));
    return true;
}

void TOdbcServerCursor::Close()
{
    Exec(QStringLiteral("close %1").arg(kCursorName));
    if (m_ownTransaction)
        Exec(QStringLiteral("commit"));
    m_open = false;
}

SQLRETURN TOdbcServerCursor::Exec(const QString& text)
{
    SQLFreeStmt(m_stmt, SQL_CLOSE);
    const SQLRETURN rc = WithOdbcChars(m_conn.WideDriver(), [&]<class Ch>() {
        std::vector<Ch> chars = TOdbcChars<Ch>::FromQString(text);
        return TOdbcChars<Ch>::ExecDirect(m_stmt, chars.data(), static_cast<SQLINTEGER>(chars.size() - 1));
    });
    if (!OdbcSucceeded(rc))
        m_conn.RaiseFrom(SQL_HANDLE_STMT, m_stmt, QStringLiteral("The statement failed"));
    return rc;
}
