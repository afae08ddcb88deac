// The fetch buffers of a result too wide to bind whole, over the PostgreSQL
// driver told to describe varchar(8000) as such (MaxVarcharSize).

#include "platform/data/ColumnStore.h"
#include "platform/odbc/OdbcFetcher.h"
#include "platform/odbc/OdbcText.h"
#include "tests/data/OdbcTestSupport.h"

using namespace odbc_test;

// 1,200 varchar(8000) columns, 38 MB a row if every one were bound: the
// buffers stay within the statement's limit before the first row and after
// the last, and values of full length come whole from the bound columns and
// from those read in chunks.
TEST(OdbcFetchBuffers, AResultTooWideToBindWhollyStaysWithinTheLimit)
{
    BQA_REQUIRE_PG();
    constexpr int kColumns = 1200;
    auto conn = Connect(PgConnectionString() + QStringLiteral(";MaxVarcharSize=8000"));
    const QString full = QStringLiteral("repeat('\u044f', 8000)");
    QString sql = QStringLiteral("select ");
    for (int i = 0; i < kColumns; ++i) {
        const QString value = i == 0 || i == kColumns - 1 ? full : QStringLiteral("'c%1-' || g").arg(i);
        sql += QStringLiteral("%1(%2)::varchar(8000) as c%3").arg(i ? QStringLiteral(", ") : QString(), value).arg(i);
    }
    sql += QStringLiteral(" from generate_series(1, 3) g");

    TOdbcStmt stmt;
    ASSERT_TRUE(OdbcSucceeded(stmt.Allocate(conn->Handle())));
    std::vector<SQLWCHAR> text = ToSqlWide(sql);
    ASSERT_TRUE(OdbcSucceeded(SQLExecDirectW(stmt.Get(), text.data(), SQL_NTS)));
    const TFetchPlan plan = PlanFetch(DescribeOdbcColumns(*conn, stmt.Get(), kColumns),
                                      OdbcDriverCaps(*conn, stmt.Get()));
    TOdbcBlockFetcher fetcher(*conn, stmt.Get(), plan);
    EXPECT_LE(fetcher.BufferBytes(), kMaxStatementBufferBytes);
    EXPECT_EQ(fetcher.Plan().columns.front().read, TOdbcColumnRead::Bound);
    EXPECT_EQ(fetcher.Plan().columns.back().read, TOdbcColumnRead::GetDataChunks);

    TColumnStore store;
    ASSERT_TRUE(fetcher.Run(store));
    EXPECT_LE(fetcher.BufferBytes(), kMaxStatementBufferBytes);
    ASSERT_EQ(store.RowCount(), 3u);
    const std::string fullUtf8 = QString(8000, u'\u044f').toStdString();
    for (std::size_t row = 0; row < 3; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(store.Column(0).Bytes(row), fullUtf8);
        EXPECT_EQ(store.Column(kColumns - 1).Bytes(row), fullUtf8);
        EXPECT_EQ(store.Column(kColumns / 2).Bytes(row),
                  QStringLiteral("c%1-%2").arg(kColumns / 2).arg(row + 1).toStdString());
    }
}
