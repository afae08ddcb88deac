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

} // namespace

TFetchPlan PlanFetch(const std::vector<TOdbcDescribedColumn>& columns, const TOdbcDriverCaps& caps)
{
    TFetchPlan plan;
    plan.caps = caps;
    plan.columns.reserve(columns.size());
    const bool anyColumn = (caps.getDataExtensions & SQL_GD_ANY_COLUMN) != 0;
    bool seenLong = false;
    bool hasUnbound = false;
    std::size_t rowBytes = 0;
    for (const TOdbcDescribedColumn& described : columns) {
        TOdbcColumnPlan c = PlanColumn(described, !caps.wide);
        seenLong = seenLong || c.fetch.isLong;
        if (!c.fetch.isLong && (anyColumn || !seenLong))
            c.read = TOdbcColumnRead::Bound;
        else if (c.fetch.isLong || IsVariableCType(c.fetch.cType))
            c.read = TOdbcColumnRead::GetDataChunks;
        else
            c.read = TOdbcColumnRead::GetDataValue;
        hasUnbound = hasUnbound || c.read != TOdbcColumnRead::Bound;
        if (c.read == TOdbcColumnRead::Bound)
            rowBytes += c.fetch.elementBytes + sizeof(SQLLEN);
        plan.columns.push_back(std::move(c));
    }
    const bool boundVariable = std::any_of(plan.columns.begin(), plan.columns.end(), IsBoundVariable);
    const bool cutReadable = (caps.getDataExtensions & SQL_GD_BLOCK) != 0 || caps.absoluteFetch;
    if (!plan.columns.empty() && !hasUnbound && (!boundVariable || cutReadable || caps.exactColumnSizes))
        plan.rowsPerBlock = std::clamp(kBlockBufferBytes / std::max<std::size_t>(rowBytes, 1), kMinBlockRows,
                                       kMaxBlockRows);
    plan.cutValues = CutValueRead(plan);
    return plan;
}

TFetchPlan WithRowsPerBlock(TFetchPlan plan, std::size_t rows)
{
    plan.rowsPerBlock = std::max<std::size_t>(rows, 1);
    plan.cutValues = CutValueRead(plan);
    return plan;
}

std::size_t GrownElementBytes(std::size_t current, std::size_t neededBytes, std::size_t rows)
{
    rows = std::max<std::size_t>(rows, 1);
    if (neededBytes <= current || neededBytes > kMaxGrownBlockBytes / rows)
        return current;
    const std::size_t doubled = current * 2;
    return std::max(neededBytes, doubled) <= kMaxGrownBlockBytes / rows ? std::max(neededBytes, doubled)
                                                                        : neededBytes;
}
