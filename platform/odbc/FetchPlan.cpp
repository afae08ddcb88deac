#include "platform/odbc/FetchPlan.h"

#include <algorithm>
#include <climits>

namespace {

TOdbcColumnPlan PlanColumn(const TOdbcDescribedColumn& described, bool narrowText)
{
    TOdbcColumnPlan c;
    c.desc = described.desc;
    const TFieldType type = OdbcFieldType(c.desc);
    c.fetch = OdbcColumnFetch(c.desc, type, narrowText);
    c.field.name = described.name;
    c.field.type = type;
    c.field.size = OdbcFieldSize(c.desc, type);
    if (type == ftBCD) {
        c.field.precision = static_cast<int>(std::min<SQLULEN>(c.desc.size, INT_MAX));
        c.field.scale = c.desc.digits;
    }
    return c;
}

bool IsBoundVariable(const TOdbcColumnPlan& c)
{
    return c.read == TOdbcColumnRead::Bound && IsVariableCType(c.fetch.cType);
}

TOdbcCutValueRead CutValueRead(const TFetchPlan& plan)
{
    if (std::none_of(plan.columns.begin(), plan.columns.end(), IsBoundVariable))
        return TOdbcCutValueRead::None;
    if (plan.rowsPerBlock <= 1)
        return TOdbcCutValueRead::CurrentRow;
    if ((plan.caps.getDataExtensions & SQL_GD_BLOCK) != 0)
        return TOdbcCutValueRead::PositionedRow;
    if (plan.caps.absoluteFetch)
        return TOdbcCutValueRead::AbsoluteRow;
    return TOdbcCutValueRead::Fail;
}

std::size_t BoundBytes(const TOdbcColumnPlan& c) { return c.fetch.elementBytes + sizeof(SQLLEN); }

// Which columns are unbound: long ones, with `anyColumn` false every column
// after one, and the widest variable-length ones of a row whose bound
// buffers would pass kMaxBoundRowBytes.
std::vector<bool> UnboundColumns(const std::vector<TOdbcColumnPlan>& columns, bool anyColumn)
{
    const std::size_t n = columns.size();
    std::vector<bool> unbound(n, false);
    bool seenLong = false;
    std::size_t rowBytes = 0;
    for (std::size_t i = 0; i < n; ++i) {
        seenLong = seenLong || columns[i].fetch.isLong;
        unbound[i] = columns[i].fetch.isLong || (!anyColumn && seenLong);
        if (!unbound[i])
            rowBytes += BoundBytes(columns[i]);
    }
    if (rowBytes <= kMaxBoundRowBytes)
        return unbound;
    if (!anyColumn) {
        // Bound columns come first: bind them up to the one that passes.
        std::size_t bytes = 0;
        for (std::size_t i = 0; i < n && !unbound[i]; ++i) {
            bytes += BoundBytes(columns[i]);
            if (bytes > kMaxBoundRowBytes)
                std::fill(unbound.begin() + static_cast<std::ptrdiff_t>(i), unbound.end(), true);
        }
        return unbound;
    }
    std::vector<std::size_t> wide;
    for (std::size_t i = 0; i < n; ++i)
        if (!unbound[i] && IsVariableCType(columns[i].fetch.cType))
            wide.push_back(i);
    // Widest first; of equal ones the last first.
    std::sort(wide.begin(), wide.end(), [&](std::size_t a, std::size_t b) {
        const std::size_t wa = columns[a].fetch.elementBytes, wb = columns[b].fetch.elementBytes;
        return wa != wb ? wa > wb : a > b;
    });
    for (std::size_t i : wide) {
        if (rowBytes <= kMaxBoundRowBytes)
            break;
        unbound[i] = true;
        rowBytes -= BoundBytes(columns[i]);
    }
    return unbound;
}

} // namespace

TFetchPlan PlanFetch(const std::vector<TOdbcDescribedColumn>& columns, const TOdbcDriverCaps& caps)
{
    TFetchPlan plan;
    plan.caps = caps;
    plan.columns.reserve(columns.size());
    for (const TOdbcDescribedColumn& described : columns)
        plan.columns.push_back(PlanColumn(described, !caps.wide));
    const std::vector<bool> unbound = UnboundColumns(plan.columns, (caps.getDataExtensions & SQL_GD_ANY_COLUMN) != 0);
    bool hasUnbound = false;
    std::size_t rowBytes = 0;
    for (std::size_t i = 0; i < plan.columns.size(); ++i) {
        TOdbcColumnPlan& c = plan.columns[i];
        if (!unbound[i])
            c.read = TOdbcColumnRead::Bound;
        else if (c.fetch.isLong || IsVariableCType(c.fetch.cType))
            c.read = TOdbcColumnRead::GetDataChunks;
        else
            c.read = TOdbcColumnRead::GetDataValue;
        hasUnbound = hasUnbound || unbound[i];
        if (!unbound[i])
            rowBytes += BoundBytes(c);
    }
    const bool boundVariable = std::any_of(plan.columns.begin(), plan.columns.end(), IsBoundVariable);
    const bool cutReadable = (caps.getDataExtensions & SQL_GD_BLOCK) != 0 || caps.absoluteFetch;
    if (!plan.columns.empty() && !hasUnbound && (!boundVariable || cutReadable || caps.exactColumnSizes))
        plan.rowsPerBlock = std::clamp(kBlockBufferBytes / std::max<std::size_t>(rowBytes, 1), kMinBlockRows,
                                       kMaxBlockRows);
    plan.cutValues = CutValueRead(plan);
    return plan;
}

std::size_t BoundBlockBytes(const TFetchPlan& plan)
{
    std::size_t rowBytes = 0;
    for (const TOdbcColumnPlan& c : plan.columns)
        if (c.read == TOdbcColumnRead::Bound)
            rowBytes += BoundBytes(c);
    return rowBytes * plan.rowsPerBlock;
}

TFetchPlan WithRowsPerBlock(TFetchPlan plan, std::size_t rows)
{
    plan.rowsPerBlock = std::max<std::size_t>(rows, 1);
    plan.cutValues = CutValueRead(plan);
    return plan;
}

std::size_t GrownElementBytes(std::size_t current, std::size_t neededBytes, std::size_t rows, std::size_t spareBytes)
{
    rows = std::max<std::size_t>(rows, 1);
    const std::size_t limit = std::min(kMaxGrownBlockBytes / rows, current + spareBytes / rows);
    if (neededBytes <= current || neededBytes > limit)
        return current;
    const std::size_t doubled = current * 2;
    return std::max(neededBytes, doubled) <= limit ? std::max(neededBytes, doubled) : neededBytes;
}
