// What a batch says besides its first row set, over the loopback TDS server
// and PostgreSQL: messages, row counts and later row sets, in order.

#include "tests/data/OdbcTestSupport.h"
#include "tests/support/FakeTdsServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <thread>

using namespace odbc_test;

namespace {

using Kind = TServerNote::Kind;

// The notes as one line each: "message: text", "count: n", "rows: n #k", ...
QStringList Lines(const std::vector<TServerNote>& notes)
{
    QStringList out;
    for (const TServerNote& n : notes) {
        switch (n.kind) {
        case Kind::Message: out << QStringLiteral("message: ") + n.text; break;
        case Kind::Error: out << QStringLiteral("error %1: %2").arg(n.nativeError).arg(n.text); break;
        case Kind::RowCount: out << QStringLiteral("count: %1").arg(n.rows); break;
        case Kind::RowSet: out << QStringLiteral("rows: %1 #%2").arg(n.rows).arg(n.result); break;
        case Kind::Dropped: out << QStringLiteral("dropped: %1").arg(n.rows); break;
        case Kind::Stopped: out << QStringLiteral("stopped"); break;
        }
    }
    return out;
}

} // namespace

QT_BEGIN_NAMESPACE
inline void PrintTo(const QStringList& list, std::ostream* os) { *os << list.join(u'|').toStdString(); }
QT_END_NAMESPACE

namespace {

class OdbcBatchTds : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(m_server.Port(), 0);
        m_conn = Connect(QString::fromStdString(m_server.ConnectionString()));
    }
    TFakeTdsServer m_server;
    std::unique_ptr<TOdbcConnection> m_conn;
};

} // namespace

TEST_F(OdbcBatchTds, MessagesCountsAndEveryRowSetInTheOrderTheyCame)
{
    auto q = OpenQuery(*m_conn, QStringLiteral("select batch"));
    EXPECT_EQ(Lines(q->ServerNotes()),
              (QStringList{QStringLiteral("message: first message"), QStringLiteral("rows: 1 #0"),
                           QStringLiteral("message: second message"), QStringLiteral("count: 153"),
                           QStringLiteral("rows: 2 #1")}));
    ASSERT_EQ(q->ResultSetCount(), 2);
    EXPECT_EQ(q->ResultSet(0), static_cast<TDataSet*>(q.get()));
    TDataSet* second = q->ResultSet(1);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Fields(0)->FieldName(), QStringLiteral("b"));
    second->First();
    EXPECT_EQ(second->Fields(0)->AsVariant().toInt(), 10);
    second->Next();
    EXPECT_EQ(second->Fields(0)->AsVariant().toInt(), 20);
    EXPECT_FALSE(second->CanModify());
    // The first row set is the result, as it always was.
    EXPECT_EQ(q->RecordCount(), 1);
    q->Close();
    EXPECT_EQ(q->ResultSetCount(), 0);
    EXPECT_EQ(q->ResultSet(1), nullptr);
}

TEST_F(OdbcBatchTds, AFailingLaterStatementIsAMessageAndTheFirstRowSetStays)
{
    auto q = OpenQuery(*m_conn, QStringLiteral("select batch error"));
    const QStringList lines = Lines(q->ServerNotes());
    ASSERT_GE(lines.size(), 5) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("count: 153"));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("error 208: Invalid object name 'nope'."))) << lines[4].toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("rows: 2 #1"));
    EXPECT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(q->ResultSetCount(), 2);
}

TEST_F(OdbcBatchTds, ACancelDuringTheSecondRowSetKeepsTheFirst)
{
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), m_conn.get());
    q.SetSQL(QStringLiteral("select batch slow 2000000"));
    // Now and then FreeTDS loses a cancel sent from another thread while it
    // reads (its reading thread waits for a wake-up that never comes) and
    // the statement ends at its own time-out instead, with the same outcome.
    // The window gives such a run up after a few seconds; here the time-out
    // is kept inside the bound below.
    q.SetCommandTimeout(6);
    std::thread cancel([&q] {
        while (q.RowsFetched() < 1000)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        q.CancelRunning();
    });
    QElapsedTimer clock;
    clock.start();
    const QString error = ErrorOf([&] { q.Open(); });
    cancel.join();
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(Lines(q.ServerNotes()).last(), QStringLiteral("stopped"));
    EXPECT_EQ(q.RecordCount(), 1);
    EXPECT_EQ(q.ResultSetCount(), 1);
}

TEST(OdbcBatchPostgres, NoticesCountsAndLaterRowSets)
{
    BQA_REQUIRE_PG();
    auto conn = ConnectPg();
    const QString t = QStringLiteral("bqa_batch_%1").arg(QCoreApplication::applicationPid());
    Exec(*conn, QStringLiteral("drop table if exists %1").arg(t));
    Exec(*conn, QStringLiteral("create table %1(id integer)").arg(t));
    Exec(*conn, QStringLiteral("insert into %1 values (1), (2), (3)").arg(t));
    auto q = OpenQuery(*conn, QStringLiteral("do $$ begin raise notice 'hello'; end $$; "
                                             "select id from %1 order by id; update %1 set id = id + 1; "
                                             "select 'x' as v").arg(t));
    const QStringList lines = Lines(q->ServerNotes());
    EXPECT_TRUE(lines.contains(QStringLiteral("message: hello")) || lines.join(u'|').contains(QStringLiteral("hello")))
        << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("rows: 3 #0"))) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("count: 3"))) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("rows: 1 #1"));
    ASSERT_EQ(q->ResultSetCount(), 2);
    q->ResultSet(1)->First();
    EXPECT_EQ(q->ResultSet(1)->Fields(0)->AsVariant().toString(), QStringLiteral("x"));
    Exec(*conn, QStringLiteral("drop table %1").arg(t));
}
