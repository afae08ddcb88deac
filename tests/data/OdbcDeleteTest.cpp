// Deleting a fetched record on the server by key, over SQLite3 and
// PostgreSQL. Every check of the table goes through a second connection, so
// that what the user's connection has not committed does not count.

#include "tests/data/OdbcTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <thread>

using namespace odbc_test;

namespace {

enum class TEngine { Sqlite, Postgres };

std::string EngineName(const ::testing::TestParamInfo<TEngine>& info)
{
    return info.param == TEngine::Sqlite ? "Sqlite" : "Postgres";
}

class OdbcDelete : public ::testing::TestWithParam<TEngine> {
protected:
    void SetUp() override
    {
        if (GetParam() == TEngine::Postgres) {
            BQA_REQUIRE_PG();
            m_conn = ConnectPg();
            m_other = ConnectPg();
        } else {
            m_conn = Connect(m_sqlite.ConnectionString());
            m_other = Connect(m_sqlite.ConnectionString());
        }
    }
    void TearDown() override
    {
        for (const QString& t : m_tables)
            ErrorOf([&] { Exec(*m_other, QStringLiteral("drop table ") + t); });
    }

    // A table name of this process (the PostgreSQL database is shared), as
    // quoted SQL text; dropped at the end.
    QString Table(const QString& stem)
    {
        const QString quoted = QLatin1Char('"')
            + QStringLiteral("bqa_del_%1_%2").arg(QCoreApplication::applicationPid()).arg(stem).replace(
                QLatin1Char('"'), QLatin1String("\"\""))
            + QLatin1Char('"');
        ErrorOf([&] { Exec(*m_other, QStringLiteral("drop table ") + quoted); });
        m_tables.push_back(quoted);
        return quoted;
    }

    // A table (id integer primary key, v varchar(20)) holding (1, 'a'), (2, 'b').
    QString KeyedTable(const QString& stem)
    {
        const QString t = Table(stem);
        Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, v varchar(20))").arg(t));
        Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'a'), (2, 'b')").arg(t));
        return t;
    }

    // Rows of `table` matching `where`, as the other connection sees them.
    long long CountOther(const QString& table, const QString& where = QStringLiteral("1=1"))
    {
        auto q = OpenQuery(*m_other, QStringLiteral("select count(*) from %1 where %2").arg(table, where));
        q->First();
        return q->Fields(0)->AsVariant().toLongLong();
    }

    // Opens `sql` and moves to the record whose first field is `firstValue`.
    std::unique_ptr<TOdbcQuery> OpenAt(const QString& sql, int firstValue)
    {
        auto q = OpenQuery(*m_conn, sql);
        for (q->First(); !q->Eof(); q->Next())
            if (q->Fields(0)->AsVariant().toInt() == firstValue)
                return q;
        ADD_FAILURE() << "no record " << firstValue;
        return q;
    }

    TSqliteDb m_sqlite;
    std::unique_ptr<TOdbcConnection> m_conn;
    std::unique_ptr<TOdbcConnection> m_other;
    std::vector<QString> m_tables;
};

QString DeleteError(TOdbcQuery& q)
{
    return ErrorOf([&] { q.Delete(); });
}

const QString kRefused = QStringLiteral("Запись нельзя удалить: ");

} // namespace

TEST_P(OdbcDelete, RemovesExactlyTheRowFromTheTableAndThenFromTheResult)
{
    const QString t = Table(QStringLiteral("plain"));
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, v varchar(20))").arg(t));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'a'), (2, 'b'), (3, 'c')").arg(t));
    auto q = OpenQuery(*m_conn, QStringLiteral("select v, id from %1 order by id").arg(t));
    q->First();
    q->Next(); // 'b'
    ASSERT_EQ(q->FieldByName(QStringLiteral("id"))->AsVariant().toInt(), 2);

    EXPECT_EQ(DeleteError(*q), QString());
    EXPECT_EQ(q->RecordCount(), 2);
    EXPECT_EQ(q->FieldByName(QStringLiteral("id"))->AsVariant().toInt(), 3);
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 2")), 0);
    EXPECT_EQ(CountOther(t), 2);
    EXPECT_TRUE(m_conn->Errors().empty());

    // Autocommit is back on: a later statement is seen by others at once.
    Exec(*m_conn, QStringLiteral("insert into %1 values (4, 'd')").arg(t));
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 4")), 1);
}

TEST_P(OdbcDelete, DeletesByTheKeyAsFetchedAfterTheRecordWasEdited)
{
    const QString t = KeyedTable(QStringLiteral("edited"));
    auto q = OpenAt(QStringLiteral("select id, v from %1").arg(t), 1);
    q->Edit();
    q->Fields(0)->SetValue(2); // the key of the other row, in the view only
    q->Post();
    EXPECT_EQ(DeleteError(*q), QString());
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 1")), 0);
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 2")), 1);
}

TEST_P(OdbcDelete, ARowDeletedMeanwhileIsRolledBackReportedAndKept)
{
    const QString t = KeyedTable(QStringLiteral("gone"));
    auto q = OpenAt(QStringLiteral("select id, v from %1").arg(t), 2);
    Exec(*m_other, QStringLiteral("delete from %1 where id = 2").arg(t));

    const QString message = DeleteError(*q);
    EXPECT_TRUE(message.contains(QStringLiteral("отличается от показанной"))) << message.toStdString();
    EXPECT_EQ(q->RecordCount(), 2);
    EXPECT_EQ(q->Fields(0)->AsVariant().toInt(), 2);
    EXPECT_FALSE(m_conn->Errors().empty());
    Exec(*m_conn, QStringLiteral("insert into %1 values (5, 'e')").arg(t));
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 5")), 1);
}

TEST_P(OdbcDelete, AFailingDeleteIsRolledBackAndKeepsTheRecord)
{
    const QString child = Table(QStringLiteral("child")); // dropped first
    const QString parent = Table(QStringLiteral("parent"));
    if (GetParam() == TEngine::Sqlite)
        Exec(*m_conn, QStringLiteral("pragma foreign_keys = on"));
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key)").arg(parent));
    Exec(*m_conn, QStringLiteral("create table %1(pid integer references %2(id))").arg(child, parent));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1)").arg(parent));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1)").arg(child));
    auto q = OpenAt(QStringLiteral("select id from %1").arg(parent), 1);

    const QString message = DeleteError(*q);
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(message.startsWith(kRefused)) << "the server's own words: " << message.toStdString();
    EXPECT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(CountOther(parent), 1);
    Exec(*m_conn, QStringLiteral("insert into %1 values (2)").arg(parent));
    EXPECT_EQ(CountOther(parent, QStringLiteral("id = 2")), 1);
}

TEST_P(OdbcDelete, ResultsWithoutAUsableKeyRefuseAndKeepTheRow)
{
    const QString t = Table(QStringLiteral("keyed"));
    const QString u = Table(QStringLiteral("other"));
    const QString n = Table(QStringLiteral("nokey"));
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, v varchar(20))").arg(t));
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, w varchar(20))").arg(u));
    Exec(*m_conn, QStringLiteral("create table %1(a integer, b varchar(20))").arg(n));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'a'), (2, 'b')").arg(t));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'x'), (2, 'y')").arg(u));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'a'), (2, 'b')").arg(n));

    struct Case {
        const char* what;
        QString sql;
        QString table;
        const char* mentions;
    };
    const Case cases[] = {
        {"join", QStringLiteral("select %1.id, %2.w from %1 join %2 on %2.id = %1.id").arg(t, u), t,
         "нескольких таблиц"},
        {"expression in the key", QStringLiteral("select id + 0 as id, v from %1").arg(t), t, "ключа"},
        {"key not selected", QStringLiteral("select v from %1 where v = 'b' or v = 'a'").arg(t), t, "ключа"},
        {"no key", QStringLiteral("select a, b from %1").arg(n), n, "нет первичного ключа"},
        {"no table", QStringLiteral("select 1 as a, 'b' as b"), t, "из какой таблицы"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto q = OpenQuery(*m_conn, c.sql);
        q->Last();
        const int records = q->RecordCount();
        const QString message = DeleteError(*q);
        EXPECT_TRUE(message.startsWith(kRefused)) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.mentions))) << message.toStdString();
        EXPECT_EQ(q->RecordCount(), records);
        EXPECT_EQ(CountOther(c.table), 2);
    }
}

TEST_P(OdbcDelete, QuotesNamesWithClosingMarksAndBlanks)
{
    const QString t = Table(QStringLiteral("a ]b \"c"));
    Exec(*m_conn, QStringLiteral("create table %1(\"k ]1\" integer primary key, \"v \"\"x\" varchar(20))").arg(t));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'a'), (2, 'b')").arg(t));
    auto q = OpenAt(QStringLiteral("select \"k ]1\", \"v \"\"x\" from %1").arg(t), 1);
    EXPECT_EQ(DeleteError(*q), QString());
    EXPECT_EQ(CountOther(t), 1);
    EXPECT_EQ(CountOther(t, QStringLiteral("\"k ]1\" = 2")), 1);
}

TEST_P(OdbcDelete, UsesAUniqueIndexWhenThePrimaryKeyIsNotSelected)
{
    const QString t = Table(QStringLiteral("uniq"));
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, code varchar(10) not null, v integer)").arg(t));
    Exec(*m_conn, QStringLiteral("create unique index %1 on %2(code, v)")
                      .arg(QStringLiteral("bqa_del_%1_ix").arg(QCoreApplication::applicationPid()), t));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'x', 1), (2, 'x', 2), (3, 'y', 1)").arg(t));
    auto q = OpenAt(QStringLiteral("select v, code from %1").arg(t), 2);
    ASSERT_EQ(q->Fields(1)->AsVariant().toString(), QStringLiteral("x"));
    EXPECT_EQ(DeleteError(*q), QString());
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 2")), 0);
    EXPECT_EQ(CountOther(t), 2);
}

TEST_P(OdbcDelete, AKeyThatHitsSeveralRowsIsRolledBack)
{
    // A unique index over part of the table only: the value repeats outside it.
    const QString t = Table(QStringLiteral("partial"));
    Exec(*m_conn, QStringLiteral("create table %1(code integer not null, v varchar(10))").arg(t));
    Exec(*m_conn, QStringLiteral("create unique index %1 on %2(code) where v = 'a'")
                      .arg(QStringLiteral("bqa_del_%1_px").arg(QCoreApplication::applicationPid()), t));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'a'), (1, 'b')").arg(t));
    // Only the key is shown, so nothing else narrows the statement down.
    auto q = OpenAt(QStringLiteral("select code from %1 where v = 'a'").arg(t), 1);
    const QString message = DeleteError(*q);
    EXPECT_TRUE(message.contains(QStringLiteral("не уникален"))) << message.toStdString();
    EXPECT_EQ(q->RecordCount(), 1);
    EXPECT_EQ(CountOther(t), 2);
}

TEST_P(OdbcDelete, RowsThatAreNotExactlyOneTableRowAreRefusedAndNothingIsDeleted)
{
    const QString t = Table(QStringLiteral("shown"));
    const QString u = Table(QStringLiteral("link"));
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, name varchar(20))").arg(t));
    Exec(*m_conn, QStringLiteral("create table %1(tid integer)").arg(u));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'name1'), (2, 'name2'), (3, 'name3'), "
                                 "(101, 'name101'), (102, 'name102')").arg(t));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1), (1), (2)").arg(u));
    struct Case {
        const char* what;
        QString sql;
        int first;   // the first value of the record deleted
    };
    const Case cases[] = {
        // (1, name101): a key of one row with the name of another.
        {"self-join", QStringLiteral("select a.id, b.name from %1 a join %1 b on b.id = a.id + 100 where a.id <= 3")
                          .arg(t), 1},
        // (1, name1) twice.
        {"one table of a join", QStringLiteral("select %1.id, %1.name from %1 join %2 on %2.tid = %1.id").arg(t, u), 1},
        {"union all of one table", QStringLiteral("select id, name from %1 union all select id, name from %1").arg(t), 2},
        // A made-up row carrying the key of a real one.
        {"made-up row", QStringLiteral("select id, name from %1 where id = 1 union all select 3, 'not a real row'")
                            .arg(t), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString error = ErrorOf([&] {
            auto q = OpenAt(c.sql, c.first);
            const int records = q->RecordCount();
            const QString message = DeleteError(*q);
            EXPECT_FALSE(message.isEmpty());
            EXPECT_EQ(q->RecordCount(), records);
        });
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(CountOther(t), 5);
    }
}

TEST_P(OdbcDelete, ARowChangedSinceTheFetchIsRefusedAndNullsCompareAsNull)
{
    const QString t = Table(QStringLiteral("changed"));
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, v varchar(20), n integer)").arg(t));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, 'a', null), (2, null, 5)").arg(t));
    auto q = OpenAt(QStringLiteral("select id, v, n from %1 order by id").arg(t), 1);
    Exec(*m_other, QStringLiteral("update %1 set v = 'changed' where id = 1").arg(t));
    EXPECT_TRUE(DeleteError(*q).contains(QStringLiteral("отличается от показанной")));
    EXPECT_EQ(CountOther(t), 2);
    // The other row holds a NULL where it was fetched with one: it goes.
    q->Next();
    EXPECT_EQ(DeleteError(*q), QString());
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 2")), 0);
}

TEST_P(OdbcDelete, ComparedColumnsOfEveryTypeMatchTheirOwnRow)
{
    const QString t = Table(QStringLiteral("types"));
    const bool pg = GetParam() == TEngine::Postgres;
    Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, b boolean, d date, n numeric(10, 2), "
                                 "c char(5), v varchar(10), big bigint, f float, ts timestamp, u %2)")
                      .arg(t, pg ? QStringLiteral("uuid") : QStringLiteral("varchar(36)")));
    Exec(*m_conn, QStringLiteral("insert into %1 values (1, true, '2024-02-29', 12.5, 'ab', 'x y', "
                                 "9007199254740993, 0.1, '2024-01-02 03:04:05.678', "
                                 "'0f8fad5b-d9cb-469f-a165-70867728950e'), "
                                 "(2, false, null, -0.01, null, '', -1, null, null, null)").arg(t));
    auto q = OpenAt(QStringLiteral("select * from %1 order by id").arg(t), 1);
    EXPECT_EQ(DeleteError(*q), QString());
    EXPECT_EQ(DeleteError(*q), QString());   // the second row, NULLs and all
    EXPECT_EQ(CountOther(t), 0);
}

TEST_P(OdbcDelete, ATransactionOfTheUsersIsNeverEnded)
{
    const QString t = KeyedTable(QStringLiteral("usertx"));
    Exec(*m_conn, QStringLiteral("begin transaction"));
    Exec(*m_conn, QStringLiteral("insert into %1 values (3, 'c')").arg(t));
    auto q = OpenAt(QStringLiteral("select id, v from %1").arg(t), 1);
    const QString message = DeleteError(*q);
    EXPECT_TRUE(message.startsWith(kRefused) && message.contains(QStringLiteral("транзакция")))
        << message.toStdString();
    EXPECT_EQ(q->RecordCount(), 3);
    // The user's own commit still stores the insert, and the row is there.
    Exec(*m_conn, QStringLiteral("commit"));
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 3")), 1);
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 1")), 1);
    // Outside the transaction the delete goes through.
    EXPECT_EQ(DeleteError(*q), QString());
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 1")), 0);
}

TEST_P(OdbcDelete, ADeleteWaitingForALockEndsOnCancelAndKeepsTheRecord)
{
    const QString t = KeyedTable(QStringLiteral("locked"));
    auto q = OpenAt(QStringLiteral("select id, v from %1").arg(t), 1);
    if (GetParam() == TEngine::Postgres) {
        Exec(*m_other, QStringLiteral("begin"));
        Exec(*m_other, QStringLiteral("lock table %1 in access exclusive mode").arg(t));
    } else {
        Exec(*m_other, QStringLiteral("begin exclusive"));
    }
    constexpr int kCancelAfterMs = 500;
    std::thread cancel([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(kCancelAfterMs));
        q->CancelRunning();
    });
    QElapsedTimer clock;
    clock.start();
    const QString message = DeleteError(*q);
    const qint64 elapsed = clock.elapsed();
    cancel.join();
    Exec(*m_other, QStringLiteral("rollback"));
    EXPECT_EQ(message, DeleteCancelledText());
    EXPECT_LT(elapsed, kCancelAfterMs + 1000);
    EXPECT_EQ(q->RecordCount(), 2);
    EXPECT_EQ(CountOther(t), 2);
    // The connection is usable and back in autocommit.
    Exec(*m_conn, QStringLiteral("insert into %1 values (3, 'c')").arg(t));
    EXPECT_EQ(CountOther(t, QStringLiteral("id = 3")), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, OdbcDelete, ::testing::Values(TEngine::Sqlite, TEngine::Postgres), EngineName);
