// The fetch plan for the three driver profiles the tool meets: which columns
// are bound, their C types and buffers, the rows per fetch and how a value
// longer than its buffer is read again. No driver is loaded.

#include "platform/odbc/FetchPlan.h"
#include "platform/odbc/OdbcFetcher.h"

#include <gtest/gtest.h>

#include <sqlucode.h>

#include <algorithm>
#include <climits>
#include <limits>

namespace {

// SQL_GETDATA_EXTENSIONS as the drivers report them.
constexpr SQLUINTEGER kSqliteGetData = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND;
constexpr SQLUINTEGER kPsqlGetData = SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BLOCK | SQL_GD_BOUND;

// SQLite3: no W entry points, nominal sizes, static cursor with absolute
// fetches, no SQL_GD_BLOCK.
constexpr TOdbcDriverCaps kSqlite{kSqliteGetData, false, true, false};
// psqlODBC: wide, nominal sizes (an unbounded varchar is reported as 255),
// forward-only cursor, SQL_GD_BLOCK.
constexpr TOdbcDriverCaps kPsql{kPsqlGetData, false, false, true};
// FreeTDS to the server this tool is for: wide, exact sizes, forward-only
// cursor, no SQL_GD_BLOCK. With and without SQL_GD_ANY_COLUMN.
constexpr TOdbcDriverCaps kFreeTds{SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND, true, false, true};
constexpr TOdbcDriverCaps kFreeTdsStrictOrder{0, true, false, true};

// Sizes as the drivers describe them.
constexpr SQLULEN kUnboundedVarcharSize = 255; // psqlODBC, SQLite3 expressions
constexpr SQLULEN kMaxTypeSize = 0;            // varchar(max), nvarchar(max), varbinary(max)
constexpr SQLULEN kPsqlTextSize = 8190;        // text, as SQL_LONGVARCHAR

TOdbcDescribedColumn Col(const char* name, SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits = 0)
{
    return TOdbcDescribedColumn{QString::fromLatin1(name), TOdbcColumnDesc{sqlType, size, digits, false}, true};
}

TOdbcDescribedColumn IntCol(const char* name = "id") { return Col(name, SQL_INTEGER, 10); }

// The benchmark's row: integer, short text, decimal, integer, datetime, text.
std::vector<TOdbcDescribedColumn> TypicalRow()
{
    return {IntCol(), Col("name", SQL_VARCHAR, 20), Col("amount", SQL_DECIMAL, 10, 2), IntCol("qty"),
            Col("created", SQL_TYPE_TIMESTAMP, 23, 3), Col("note", SQL_VARCHAR, 60)};
}

} // namespace

TEST(FetchPlan, EachProfileBlockFetchesARowOfShortColumnsAndSaysHowCutValuesAreRead)
{
    struct Case {
        const char* profile;
        TOdbcDriverCaps caps;
        SQLSMALLINT textCType;
        TOdbcCutValueRead cut;
    };
    for (const Case& k : {Case{"SQLite3", kSqlite, SQL_C_CHAR, TOdbcCutValueRead::AbsoluteRow},
                          Case{"psqlODBC", kPsql, SQL_C_WCHAR, TOdbcCutValueRead::PositionedRow},
                          Case{"FreeTDS", kFreeTds, SQL_C_WCHAR, TOdbcCutValueRead::Fail}}) {
        SCOPED_TRACE(k.profile);
        const TFetchPlan plan = PlanFetch(TypicalRow(), k.caps);
        ASSERT_EQ(plan.columns.size(), 6u);
        for (const TOdbcColumnPlan& c : plan.columns)
            EXPECT_EQ(c.read, TOdbcColumnRead::Bound) << qPrintable(c.field.name);
        EXPECT_EQ(plan.columns[0].fetch.cType, SQL_C_SLONG);
        EXPECT_EQ(plan.columns[1].fetch.cType, k.textCType);
        EXPECT_EQ(plan.columns[2].fetch.cType, SQL_C_CHAR); // exact decimal text
        EXPECT_EQ(plan.columns[4].fetch.cType, SQL_C_TYPE_TIMESTAMP);
        EXPECT_EQ(plan.columns[5].fetch.cType, k.textCType);
        EXPECT_GT(plan.rowsPerBlock, kMinBlockRows);
        EXPECT_LE(plan.rowsPerBlock, kMaxBlockRows);
        EXPECT_LE(BoundBlockBytes(plan), kBlockBufferBytes);
        EXPECT_EQ(plan.cutValues, k.cut);
        EXPECT_EQ(plan.columns[1].field.name, QStringLiteral("name"));
        EXPECT_EQ(plan.columns[1].field.type, ftString);
        EXPECT_EQ(plan.columns[1].field.size, 20);
    }
}

TEST(FetchPlan, TextBuffersHoldTheLongestEncodingOfTheDeclaredCharacters)
{
    // An unbounded varchar is described as 255 characters: a buffer for 255
    // characters outside the BMP (UTF-16) or of four UTF-8 bytes, plus the
    // terminator.
    const std::vector<TOdbcDescribedColumn> cols{Col("v", SQL_VARCHAR, kUnboundedVarcharSize)};
    const TOdbcColumnFetch wide = PlanFetch(cols, kPsql).columns[0].fetch;
    EXPECT_EQ(wide.cType, SQL_C_WCHAR);
    EXPECT_GE(wide.elementBytes, (kUnboundedVarcharSize * 2 + 1) * sizeof(SQLWCHAR));
    const TOdbcColumnFetch narrow = PlanFetch(cols, kSqlite).columns[0].fetch;
    EXPECT_EQ(narrow.cType, SQL_C_CHAR);
    EXPECT_GE(narrow.elementBytes, kUnboundedVarcharSize * 4 + 1);
}

TEST(FetchPlan, LongColumnsAreReadInChunksOneRowAtATime)
{
    // psqlODBC's text and bytea, the server's varchar(max), nvarchar(max),
    // varbinary(max) and xml.
    struct Case {
        const char* what;
        TOdbcDriverCaps caps;
        TOdbcDescribedColumn col;
        TFieldType type;
    };
    for (const Case& k : {Case{"text", kPsql, Col("t", SQL_LONGVARCHAR, kPsqlTextSize), ftMemo},
                          Case{"bytea", kPsql, Col("b", SQL_LONGVARBINARY, kMaxTypeSize), ftBlob},
                          Case{"varchar(max)", kFreeTds, Col("v", SQL_VARCHAR, kMaxTypeSize), ftMemo},
                          Case{"nvarchar(max)", kFreeTds, Col("n", SQL_WVARCHAR, kMaxTypeSize), ftMemo},
                          Case{"varbinary(max)", kFreeTds, Col("b", SQL_VARBINARY, kMaxTypeSize), ftBlob},
                          Case{"xml", kFreeTds, Col("x", kSqlSsXml, kMaxTypeSize), ftMemo}}) {
        SCOPED_TRACE(k.what);
        const TFetchPlan plan = PlanFetch({IntCol(), k.col}, k.caps);
        EXPECT_EQ(plan.columns[1].field.type, k.type);
        EXPECT_EQ(plan.columns[1].field.size, 0);
        EXPECT_TRUE(plan.columns[1].fetch.isLong);
        EXPECT_EQ(plan.columns[1].read, TOdbcColumnRead::GetDataChunks);
        EXPECT_EQ(plan.columns[0].read, TOdbcColumnRead::Bound);
        EXPECT_EQ(plan.rowsPerBlock, 1u);
        // The bound integer cannot be cut.
        EXPECT_EQ(plan.cutValues, TOdbcCutValueRead::None);
    }
    // A short text bound beside a long column is read again on the current row.
    const TFetchPlan mixed = PlanFetch({Col("v", SQL_VARCHAR, 5), Col("t", SQL_LONGVARCHAR, kPsqlTextSize)}, kPsql);
    EXPECT_EQ(mixed.rowsPerBlock, 1u);
    EXPECT_EQ(mixed.cutValues, TOdbcCutValueRead::CurrentRow);
}

TEST(FetchPlan, ColumnsAfterALongOneStayUnboundWithoutGetDataOnAnyColumn)
{
    const std::vector<TOdbcDescribedColumn> longFirst{Col("body", SQL_VARCHAR, kMaxTypeSize), IntCol(),
                                                      Col("code", SQL_VARCHAR, 10)};
    // SQLGetData reaches only columns after the last bound one: the long
    // column comes first, so nothing after it is bound.
    const TFetchPlan strict = PlanFetch(longFirst, kFreeTdsStrictOrder);
    EXPECT_EQ(strict.columns[0].read, TOdbcColumnRead::GetDataChunks);
    EXPECT_EQ(strict.columns[1].read, TOdbcColumnRead::GetDataValue);
    EXPECT_EQ(strict.columns[2].read, TOdbcColumnRead::GetDataChunks);
    EXPECT_EQ(strict.rowsPerBlock, 1u);
    EXPECT_EQ(strict.cutValues, TOdbcCutValueRead::None);

    // With SQL_GD_ANY_COLUMN the short columns after it are bound.
    const TFetchPlan any = PlanFetch(longFirst, kFreeTds);
    EXPECT_EQ(any.columns[0].read, TOdbcColumnRead::GetDataChunks);
    EXPECT_EQ(any.columns[1].read, TOdbcColumnRead::Bound);
    EXPECT_EQ(any.columns[2].read, TOdbcColumnRead::Bound);
    EXPECT_EQ(any.rowsPerBlock, 1u);
    EXPECT_EQ(any.cutValues, TOdbcCutValueRead::CurrentRow);

    // Columns before the long one are bound either way.
    const TFetchPlan longLast = PlanFetch({IntCol(), Col("code", SQL_VARCHAR, 10),
                                           Col("body", SQL_VARCHAR, kMaxTypeSize), IntCol("after")},
                                          kFreeTdsStrictOrder);
    EXPECT_EQ(longLast.columns[0].read, TOdbcColumnRead::Bound);
    EXPECT_EQ(longLast.columns[1].read, TOdbcColumnRead::Bound);
    EXPECT_EQ(longLast.columns[2].read, TOdbcColumnRead::GetDataChunks);
    EXPECT_EQ(longLast.columns[3].read, TOdbcColumnRead::GetDataValue);
}

TEST(FetchPlan, BinaryColumnsAreBoundAsBytesOfTheirDeclaredSize)
{
    // SQLite3 describes a blob as binary(255) and hands back longer ones.
    const TFetchPlan blob = PlanFetch({IntCol(), Col("b", SQL_BINARY, kUnboundedVarcharSize)}, kSqlite);
    const TOdbcColumnPlan& b = blob.columns[1];
    EXPECT_EQ(b.field.type, ftBytes);
    EXPECT_EQ(b.fetch.cType, SQL_C_BINARY);
    EXPECT_EQ(b.fetch.elementBytes, kUnboundedVarcharSize); // no terminator
    EXPECT_EQ(b.read, TOdbcColumnRead::Bound);
    EXPECT_GT(blob.rowsPerBlock, 1u);
    EXPECT_EQ(blob.cutValues, TOdbcCutValueRead::AbsoluteRow);

    const TFetchPlan varbinary = PlanFetch({Col("b", SQL_VARBINARY, 16)}, kFreeTds);
    EXPECT_EQ(varbinary.columns[0].field.type, ftVarBytes);
    EXPECT_EQ(varbinary.columns[0].field.size, 16);
    EXPECT_EQ(varbinary.columns[0].fetch.elementBytes, 16u);
}

TEST(FetchPlan, DecimalsTravelAsTextWithTheirPrecisionAndScale)
{
    const TFetchPlan plan = PlanFetch({Col("money", SQL_DECIMAL, 38, 10), Col("small", SQL_NUMERIC, 9, 0),
                                       Col("unbounded", SQL_NUMERIC, 28, 1)},
                                      kFreeTds);
    const TOdbcColumnPlan& money = plan.columns[0];
    EXPECT_EQ(money.field.type, ftBCD);
    EXPECT_EQ(money.field.precision, 38);
    EXPECT_EQ(money.field.scale, 10);
    EXPECT_EQ(money.fetch.cType, SQL_C_CHAR);
    // Digits, sign, point, a leading zero and the terminator.
    EXPECT_GE(money.fetch.elementBytes, 38u + 4);
    // Scale 0 and fewer than ten digits: an integer.
    EXPECT_EQ(plan.columns[1].field.type, ftInteger);
    EXPECT_EQ(plan.columns[1].fetch.cType, SQL_C_SLONG);
    EXPECT_EQ(plan.columns[2].field.type, ftBCD);
    EXPECT_EQ(plan.columns[2].field.scale, 1);
}

TEST(FetchPlan, HugeDeclaredSizesNeverMakeHugeBuffers)
{
    constexpr SQLULEN kHuge = static_cast<SQLULEN>(INT_MAX) + 1;
    constexpr SQLULEN kAllOnes = std::numeric_limits<SQLULEN>::max();
    for (const SQLULEN size : {kHuge, kAllOnes}) {
        SCOPED_TRACE(size);
        const TFetchPlan text = PlanFetch({Col("v", SQL_WVARCHAR, size), Col("b", SQL_VARBINARY, size)}, kFreeTds);
        EXPECT_EQ(text.columns[0].field.type, ftMemo);
        EXPECT_EQ(text.columns[1].field.type, ftBlob);
        EXPECT_EQ(text.columns[0].read, TOdbcColumnRead::GetDataChunks);
        EXPECT_EQ(text.columns[1].read, TOdbcColumnRead::GetDataChunks);

        // A decimal of absurd precision keeps a buffer that a block can
        // afford; a longer value is cut and read again like any other.
        const TFetchPlan decimal = PlanFetch({Col("d", SQL_DECIMAL, size, 2)}, kPsql);
        const TOdbcColumnPlan& d = decimal.columns[0];
        EXPECT_EQ(d.field.type, ftBCD);
        EXPECT_EQ(d.read, TOdbcColumnRead::Bound);
        EXPECT_GE(d.fetch.elementBytes, 48u);
        EXPECT_LE(d.fetch.elementBytes, kMaxBoundColumnSize + 4);
        EXPECT_LE(BoundBlockBytes(decimal), kBlockBufferBytes);
        EXPECT_EQ(decimal.cutValues, TOdbcCutValueRead::PositionedRow);
        EXPECT_GT(d.field.precision, 0);
    }
}

TEST(FetchPlan, ZeroColumnsBindNothing)
{
    for (const TOdbcDriverCaps& caps : {kSqlite, kPsql, kFreeTds}) {
        const TFetchPlan plan = PlanFetch({}, caps);
        EXPECT_TRUE(plan.columns.empty());
        EXPECT_EQ(plan.rowsPerBlock, 1u);
        EXPECT_EQ(plan.cutValues, TOdbcCutValueRead::None);
    }
}

TEST(FetchPlan, CutValuesDecideBetweenBlocksAndSingleRows)
{
    // A driver that can neither position in a block nor fetch a row again,
    // with nominal sizes: text that may be cut is fetched row by row.
    constexpr TOdbcDriverCaps kForwardOnlyNominal{kSqliteGetData, false, false, false};
    const TFetchPlan text = PlanFetch({IntCol(), Col("v", SQL_VARCHAR, 20)}, kForwardOnlyNominal);
    EXPECT_EQ(text.rowsPerBlock, 1u);
    EXPECT_EQ(text.cutValues, TOdbcCutValueRead::CurrentRow);
    // Fixed-size values cannot be cut: blocks of the most rows.
    const TFetchPlan fixed = PlanFetch({IntCol(), Col("f", SQL_DOUBLE, 15), Col("d", SQL_TYPE_DATE, 10)},
                                       kForwardOnlyNominal);
    EXPECT_EQ(fixed.rowsPerBlock, kMaxBlockRows);
    EXPECT_EQ(fixed.cutValues, TOdbcCutValueRead::None);
    // Wide rows get fewer rows per block, never fewer than the minimum.
    std::vector<TOdbcDescribedColumn> wideRow;
    for (int i = 0; i < 64; ++i)
        wideRow.push_back(Col("w", SQL_WVARCHAR, kMaxBoundColumnSize));
    const TFetchPlan wide = PlanFetch(wideRow, kFreeTds);
    EXPECT_EQ(wide.rowsPerBlock, kMinBlockRows);
}

TEST(FetchPlan, TheRowsTheDriverGrantsDecideTheCutValueRead)
{
    const TFetchPlan plan = PlanFetch(TypicalRow(), kSqlite);
    ASSERT_GT(plan.rowsPerBlock, 2u);
    const TFetchPlan fewer = WithRowsPerBlock(plan, 2);
    EXPECT_EQ(fewer.rowsPerBlock, 2u);
    EXPECT_EQ(fewer.cutValues, TOdbcCutValueRead::AbsoluteRow);
    // One row per fetch: the fetched row is the current one.
    EXPECT_EQ(WithRowsPerBlock(plan, 1).cutValues, TOdbcCutValueRead::CurrentRow);
    EXPECT_EQ(WithRowsPerBlock(plan, 0).rowsPerBlock, 1u);
}

TEST(FetchPlan, GrownBuffersAtLeastDoubleAndStayWithinTheBlockAndStatementLimits)
{
    constexpr std::size_t kRows = 64;
    constexpr std::size_t kLimitPerRow = kMaxGrownBlockBytes / kRows;
    constexpr std::size_t kSpare = kMaxStatementBufferBytes;
    EXPECT_EQ(GrownElementBytes(100, 80, kRows, kSpare), 100u);   // fits: unchanged
    EXPECT_EQ(GrownElementBytes(100, 100, kRows, kSpare), 100u);
    EXPECT_EQ(GrownElementBytes(100, 130, kRows, kSpare), 200u);  // doubled
    EXPECT_EQ(GrownElementBytes(100, 900, kRows, kSpare), 900u);  // as needed
    // Doubling would pass the limit: just what is needed.
    EXPECT_EQ(GrownElementBytes(kLimitPerRow - 10, kLimitPerRow - 5, kRows, kSpare), kLimitPerRow - 5);
    EXPECT_EQ(GrownElementBytes(100, kLimitPerRow, kRows, kSpare), kLimitPerRow);
    // Past the limit: unchanged, the value is read again instead.
    EXPECT_EQ(GrownElementBytes(100, kLimitPerRow + 1, kRows, kSpare), 100u);
    EXPECT_EQ(GrownElementBytes(100, std::numeric_limits<std::size_t>::max(), kRows, kSpare), 100u);
    // The statement's other buffers leave room for 50 more bytes a row.
    EXPECT_EQ(GrownElementBytes(100, 120, kRows, 50 * kRows), 120u);
    EXPECT_EQ(GrownElementBytes(100, 150, kRows, 50 * kRows), 150u);
    EXPECT_EQ(GrownElementBytes(100, 151, kRows, 50 * kRows), 100u);
    EXPECT_EQ(GrownElementBytes(100, 130, kRows, 0), 100u);
}

TEST(FetchPlan, ARowTooWideForTheStatementLimitIsPartlyReadInChunks)
{
    // 4,096 varchar(8000) columns: bound in full, a block of the fewest rows
    // would take gigabytes.
    std::vector<TOdbcDescribedColumn> wide;
    for (int i = 0; i < 4096; ++i)
        wide.push_back(Col("w", SQL_VARCHAR, kMaxBoundColumnSize));
    for (const TOdbcDriverCaps& caps : {kSqlite, kPsql, kFreeTds, kFreeTdsStrictOrder}) {
        SCOPED_TRACE(caps.getDataExtensions);
        const TFetchPlan plan = PlanFetch(wide, caps);
        EXPECT_LE(BoundBlockBytes(plan), kMaxStatementBufferBytes);
        EXPECT_GT(BoundBlockBytes(plan), kMaxBoundRowBytes / 2); // still binds what fits
        EXPECT_EQ(plan.rowsPerBlock, 1u);
        EXPECT_EQ(plan.cutValues, TOdbcCutValueRead::CurrentRow);
        // The bound columns come first, the rest is read in chunks.
        const auto firstUnbound = std::find_if(plan.columns.begin(), plan.columns.end(), [](const TOdbcColumnPlan& c) {
            return c.read != TOdbcColumnRead::Bound;
        });
        ASSERT_NE(firstUnbound, plan.columns.end());
        EXPECT_TRUE(std::all_of(firstUnbound, plan.columns.end(), [](const TOdbcColumnPlan& c) {
            return c.read == TOdbcColumnRead::GetDataChunks && !c.fetch.isLong && c.field.size == 8000;
        }));
    }

    // With SQLGetData on any column the widest are read in chunks and the
    // narrow ones, wherever they stand, stay bound.
    std::vector<TOdbcDescribedColumn> mixed;
    for (int i = 0; i < 600; ++i) {
        mixed.push_back(Col("w", SQL_VARCHAR, kMaxBoundColumnSize));
        mixed.push_back(Col("n", SQL_VARCHAR, 10));
        mixed.push_back(IntCol());
    }
    const TFetchPlan any = PlanFetch(mixed, kPsql);
    EXPECT_LE(BoundBlockBytes(any), kMaxStatementBufferBytes);
    for (const TOdbcColumnPlan& c : any.columns) {
        if (c.field.size != 8000) {
            EXPECT_EQ(c.read, TOdbcColumnRead::Bound);
        }
    }
    // Without it, columns after the first one read in chunks are unbound too.
    const TFetchPlan strict = PlanFetch(mixed, kFreeTdsStrictOrder);
    EXPECT_LE(BoundBlockBytes(strict), kMaxStatementBufferBytes);
    EXPECT_EQ(strict.columns.back().read, TOdbcColumnRead::GetDataValue);

    // A row within the limit is bound whole, in blocks of the fewest rows.
    const std::vector<TOdbcDescribedColumn> fits(wide.begin(), wide.begin() + 64);
    const TFetchPlan blocks = PlanFetch(fits, kPsql);
    EXPECT_EQ(blocks.rowsPerBlock, kMinBlockRows);
    EXPECT_LE(BoundBlockBytes(blocks), kMaxStatementBufferBytes);
}

TEST(ServerCursorQuery, OnlyOneQueryThatWritesNothingGoesThroughACursor)
{
    for (const char* sql : {"select 1", "  -- note\n/* block */ ((select 1))", "SELECT * FROM t;", "select 1 ; ;  \n",
                            "with c as (select 1) select * from c", "values (1), (2)", "table t", "Select 'x' -- end"}) {
        EXPECT_TRUE(IsServerCursorQuery(QString::fromUtf8(sql))) << sql;
    }
    for (const char* sql : {"", "show all", "explain select 1", "select 1; select 2", "select i into w2 from w",
                            "with q as (delete from w returning i) select * from q", "insert into t values (1)",
                            "select ';'", "/* unterminated select 1", "begin", "selector"}) {
        EXPECT_FALSE(IsServerCursorQuery(QString::fromUtf8(sql))) << sql;
    }
}
