// The ODBC query over the FreeTDS driver, against a loopback server that
// speaks just enough of the protocol to log in and run statements.

#include "tests/data/OdbcTestSupport.h"
#include "tests/support/FakeTdsServer.h"

#include <QElapsedTimer>

#include <thread>

using namespace odbc_test;

namespace {

class OdbcTds : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(m_server.Port(), 0);
        m_conn = Connect(QString::fromStdString(m_server.ConnectionString()));
        ASSERT_TRUE(m_conn->Connected());
    }

    // Runs `sql` with `timeout`; the error message, and the time taken in `ms`.
    QString Run(const QString& sql, int timeout, qint64& ms)
    {
        TOdbcQuery q(QStringLiteral("ADOQuerySql"), m_conn.get());
        q.SetCommandTimeout(timeout);
        q.SetSQL(sql);
        QElapsedTimer clock;
        clock.start();
        const QString message = ErrorOf([&] { q.Open(); });
        ms = clock.elapsed();
        return message;
    }

    // The connection still runs statements: "select 1" comes back as 1.
    void ExpectUsable()
    {
        auto q = OpenQuery(*m_conn, QStringLiteral("select 1 as v"));
        ASSERT_EQ(q->RecordCount(), 1);
        EXPECT_EQ(q->Fields(0)->AsVariant().toInt(), 1);
    }

    TFakeTdsServer m_server;
    std::unique_ptr<TOdbcConnection> m_conn;
};

} // namespace

TEST_F(OdbcTds, CommandTimeoutStopsAStatementTheServerNeverEnds)
{
    ExpectUsable();
    qint64 ms = 0;
    const QString message = Run(QStringLiteral("waitfor delay '00:10:00'"), 1, ms);
    EXPECT_FALSE(message.isEmpty());
    ASSERT_FALSE(m_conn->Errors().empty());
    EXPECT_EQ(m_conn->Errors().front().SqlState, QStringLiteral("HYT00")) << message.toStdString();
    // The watchdog's cancel is not reported as if the user had cancelled.
    EXPECT_FALSE(message.contains(QStringLiteral("cancel"), Qt::CaseInsensitive)) << message.toStdString();
    EXPECT_GE(ms, 900);
    EXPECT_LT(ms, 5000);
    // The server was told to stop, and the connection goes on.
    EXPECT_GE(m_server.Attentions(), 1);
    ExpectUsable();
    EXPECT_EQ(m_server.Logins(), 1);
}

TEST_F(OdbcTds, CancelFromAnotherThreadSendsTheServerAnAttention)
{
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), m_conn.get());
    q.SetSQL(QStringLiteral("waitfor delay '00:10:00'"));
    std::thread canceller([&q] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        q.CancelRunning();
    });
    QElapsedTimer clock;
    clock.start();
    const QString message = ErrorOf([&] { q.Open(); });
    canceller.join();
    EXPECT_LT(clock.elapsed(), 3000);
    ASSERT_FALSE(m_conn->Errors().empty());
    EXPECT_EQ(m_conn->Errors().front().SqlState, QString::fromUtf16(kCancelledSqlState)) << message.toStdString();
    EXPECT_EQ(m_server.Attentions(), 1);
    ExpectUsable();
}

TEST_F(OdbcTds, ManyRowsStreamInWholeAndInOrder)
{
    auto q = OpenQuery(*m_conn, QStringLiteral("select rows 20000"));
    ASSERT_EQ(q->RecordCount(), 20000);
    ASSERT_EQ(q->FieldCount(), 2);
    q->Last();
    EXPECT_EQ(q->Fields(0)->AsVariant().toInt(), 20000);
    EXPECT_EQ(q->Fields(1)->AsVariant().toString(),
              QStringLiteral("The quick brown fox jumps over the lazy dog 0000000158380000"));
    ExpectUsable();
}

// A result shaped like a real table, its last column an nvarchar(max):
// fetched a row at a time, each row's values whole and in order.
TEST_F(OdbcTds, ATableWithALongColumnArrivesWholeAndInOrder)
{
    constexpr int kRows = 2500;
    auto q = OpenQuery(*m_conn, QStringLiteral("select table %1").arg(kRows));
    EXPECT_EQ(q->LastRowArraySize(), 1);
    ASSERT_EQ(q->RecordCount(), kRows);
    ASSERT_EQ(q->FieldCount(), 12);
    int r = 1;
    for (q->First(); !q->Eof(); q->Next(), ++r) {
        SCOPED_TRACE(r);
        ASSERT_EQ(q->Fields(0)->AsVariant().toInt(), r);
        ASSERT_EQ(q->Fields(1)->AsVariant().toLongLong(), r * 1000003LL);
        ASSERT_EQ(q->Fields(2)->AsVariant().toString(), QStringLiteral("Клиент %1").arg(r));
        ASSERT_TRUE(q->Fields(3)->AsVariant().toString().endsWith(QString::number(r * 7919)));
        const double amount = static_cast<double>(r * 3711LL % 1000000000000LL) / 10000;
        ASSERT_DOUBLE_EQ(q->Fields(4)->AsVariant().toDouble(), r % 7 == 0 ? -amount : amount);
        ASSERT_DOUBLE_EQ(q->Fields(6)->AsVariant().toDouble(), r / 7.0);
        ASSERT_EQ(q->Fields(9)->AsVariant().toBool(), r % 3 == 0);
        if (r % 20 == 0)
            ASSERT_EQ(q->Fields(11)->AsVariant().toString(), QStringLiteral("memo %1").arg(r));
        else
            ASSERT_TRUE(q->Fields(11)->IsNull());
    }
    EXPECT_EQ(r, kRows + 1);
    ExpectUsable();
}
