// The ODBC query over the PostgreSQL Unicode driver (BQA_PG_CONN).

#include "platform/odbc/DriverDefaults.h"
#include "tests/data/OdbcTestSupport.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

using namespace odbc_test;

namespace {

class OdbcPg : public ::testing::Test {
protected:
    void SetUp() override
    {
        BQA_REQUIRE_PG();
        m_conn = ConnectPg();
    }
    TOdbcConnection& Conn() { return *m_conn; }
    std::unique_ptr<TOdbcConnection> m_conn;
};

QVariant Value(const TDataSet& ds, const char* name) { return ds.FieldByName(QString::fromLatin1(name))->AsVariant(); }
TFieldType Type(const TDataSet& ds, const char* name) { return ds.FieldByName(QString::fromLatin1(name))->DataType(); }

} // namespace

TEST_F(OdbcPg, NumericTypesMapAndKeepTheirValues)
{
    auto q = OpenQuery(Conn(), QStringLiteral(
        "select 32767::smallint as sm, (-2147483648)::int as i, 9223372036854775807::bigint as bi,"
        " 1.5::real as r, 0.1::double precision as d,"
        " 12345678901234567890.1234567890::numeric(38,10) as n38, (-99999)::numeric(5,0) as n5,"
        " 0.5::numeric(10,4) as half, 123.456::numeric as nfree, true as t, false as f"));
    q->First();
    EXPECT_EQ(Type(*q, "sm"), ftSmallint);
    EXPECT_EQ(Value(*q, "sm").toLongLong(), 32767);
    EXPECT_EQ(Type(*q, "i"), ftInteger);
    EXPECT_EQ(Value(*q, "i").toLongLong(), -2147483648LL);
    EXPECT_EQ(Type(*q, "bi"), ftLargeint);
    EXPECT_EQ(Value(*q, "bi").toLongLong(), 9223372036854775807LL);
    EXPECT_EQ(Type(*q, "r"), ftFloat);
    EXPECT_DOUBLE_EQ(Value(*q, "r").toDouble(), 1.5);
    EXPECT_EQ(Type(*q, "d"), ftFloat);
    EXPECT_DOUBLE_EQ(Value(*q, "d").toDouble(), 0.1);
    // Exact decimals: text, never through a double.
    EXPECT_EQ(Type(*q, "n38"), ftBCD);
    EXPECT_EQ(Value(*q, "n38").toString(), QStringLiteral("12345678901234567890.1234567890"));
    EXPECT_EQ(Type(*q, "n5"), ftInteger);
    EXPECT_EQ(Value(*q, "n5").toLongLong(), -99999);
    EXPECT_EQ(Type(*q, "half"), ftBCD);
    EXPECT_EQ(Value(*q, "half").toString(), QStringLiteral("0.5000"));
    EXPECT_EQ(Type(*q, "nfree"), ftBCD);
    EXPECT_EQ(Value(*q, "nfree").toString(), QStringLiteral("123.456"));
    EXPECT_EQ(Type(*q, "t"), ftBoolean);
    EXPECT_TRUE(Value(*q, "t").toBool());
    EXPECT_FALSE(Value(*q, "f").toBool());
}

TEST_F(OdbcPg, DateAndTimeTypesMapAndKeepTheirValues)
{
    auto q = OpenQuery(Conn(), QStringLiteral(
        "select date '1999-12-31' as d, time '23:59:58.125' as tm,"
        " timestamp '2020-02-29 12:34:56.789' as ts, timestamp '1960-01-01 00:00:00' as old,"
        " timestamptz '2020-02-29 12:34:56+00' as tz"));
    q->First();
    EXPECT_EQ(Type(*q, "d"), ftDate);
    EXPECT_EQ(Value(*q, "d").toDate(), QDate(1999, 12, 31));
    EXPECT_EQ(Type(*q, "tm"), ftTime);
    EXPECT_EQ(Value(*q, "tm").toTime(), QTime(23, 59, 58, 125));
    EXPECT_EQ(Type(*q, "ts"), ftDateTime);
    EXPECT_EQ(Value(*q, "ts").toDateTime().date(), QDate(2020, 2, 29));
    EXPECT_EQ(Value(*q, "ts").toDateTime().time(), QTime(12, 34, 56, 789));
    EXPECT_EQ(Value(*q, "old").toDateTime().date(), QDate(1960, 1, 1));
    EXPECT_EQ(Type(*q, "tz"), ftDateTime);
    EXPECT_TRUE(Value(*q, "tz").toDateTime().isValid());
}

TEST_F(OdbcPg, TextBinaryGuidAndOtherTypes)
{
    auto q = OpenQuery(Conn(), QStringLiteral(
        "select 'ab'::char(4) as c, 'xyz'::varchar(10) as v, 'long'::text as t,"
        " '\\x00ff0041'::bytea as b, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid as g,"
        " '{\"k\": [1, 2]}'::json as j, '{\"k\": 1}'::jsonb as jb, interval '1 day 02:00' as iv,"
        " '10.1.2.3'::inet as ip, 'x'::varchar as vfree"));
    ASSERT_EQ(q->FieldCount(), 10);   // nothing dropped
    q->First();
    EXPECT_EQ(Type(*q, "c"), ftWideString);
    EXPECT_EQ(Value(*q, "c").toString(), QStringLiteral("ab  "));
    EXPECT_EQ(Type(*q, "v"), ftWideString);
    EXPECT_EQ(Value(*q, "v").toString(), QStringLiteral("xyz"));
    EXPECT_EQ(Type(*q, "t"), ftMemo);
    EXPECT_EQ(Value(*q, "t").toString(), QStringLiteral("long"));
    EXPECT_EQ(Type(*q, "b"), ftBlob);
    EXPECT_EQ(q->FieldByName("b")->SaveToBytes(), QByteArray("\x00\xff\x00\x41", 4));
    EXPECT_EQ(Type(*q, "g"), ftGuid);
    EXPECT_EQ(Value(*q, "g").toString().toLower().remove(QLatin1Char('{')).remove(QLatin1Char('}')),
              QStringLiteral("a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"));
    EXPECT_TRUE(Value(*q, "j").toString().contains(QStringLiteral("[1, 2]")));
    EXPECT_TRUE(Value(*q, "jb").toString().contains(QStringLiteral("\"k\"")));
    EXPECT_TRUE(Value(*q, "iv").toString().contains(QStringLiteral("1 day")));
    EXPECT_EQ(Value(*q, "ip").toString(), QStringLiteral("10.1.2.3"));
    EXPECT_EQ(Value(*q, "vfree").toString(), QStringLiteral("x"));

    auto named = OpenQuery(Conn(), QStringLiteral("select 1 as \"Сумма 合計\""));
    EXPECT_EQ(named->Fields(0)->FieldName(), QStringLiteral("Сумма 合計"));
}

TEST_F(OdbcPg, NamesDuplicateColumns)
{
    auto q = OpenQuery(Conn(), QStringLiteral("select 1 as a, 2 as a, 3 as \"A\", 4 as a_1"));
    ASSERT_EQ(q->FieldCount(), 4);
    EXPECT_EQ(q->Fields(0)->FieldName(), QStringLiteral("a"));
    EXPECT_EQ(q->Fields(1)->FieldName(), QStringLiteral("a_1"));
    EXPECT_EQ(q->Fields(2)->FieldName(), QStringLiteral("A_2"));
    EXPECT_EQ(q->Fields(3)->FieldName(), QStringLiteral("a_1_1"));
}

TEST_F(OdbcPg, NullsEmptyStringsAndUnicodeRoundTrip)
{
    const QString text = QStringLiteral("Ёжик 中文字 \U0001F680 end");
    Exec(Conn(), QStringLiteral("create temp table u(id int, v varchar(20), t text, b bytea)"));
    Exec(Conn(), QStringLiteral("insert into u values (1, null, null, null), (2, '', '', ''::bytea),"
                                " (3, '%1', '%1', '\\x0000'::bytea)").arg(text));
    auto q = OpenQuery(Conn(), QStringLiteral("select v, t, b from u order by id"));
    ASSERT_EQ(q->RecordCount(), 3);
    q->First();
    for (int f = 0; f < 3; ++f)
        EXPECT_TRUE(q->Fields(f)->IsNull()) << f;
    q->Next();
    for (int f = 0; f < 3; ++f) {
        EXPECT_FALSE(q->Fields(f)->IsNull()) << f;
        EXPECT_TRUE(q->Fields(f)->SaveToBytes().isEmpty()) << f;
    }
    q->Next();
    EXPECT_EQ(q->Fields(0)->AsVariant().toString(), text);
    EXPECT_EQ(q->Fields(1)->AsVariant().toString(), text);
    EXPECT_EQ(q->Fields(2)->SaveToBytes(), QByteArray(2, '\0'));
}

TEST_F(OdbcPg, TextOverOneMegabyteRoundTrips)
{
    Exec(Conn(), QStringLiteral("create temp table big(t text, v varchar)"));
    Exec(Conn(), QStringLiteral("insert into big select repeat('я€', 400000), repeat('q', 300000)"));
    auto q = OpenQuery(Conn(), QStringLiteral("select t, v, length(t) as n from big"));
    q->First();
    const QByteArray expected = QStringLiteral("я€").toUtf8().repeated(400000);
    EXPECT_EQ(q->FieldByName("t")->SaveToBytes().size(), expected.size());
    EXPECT_EQ(q->FieldByName("t")->SaveToBytes(), expected);
    // varchar without a length is described as 255 characters wide.
    EXPECT_EQ(q->FieldByName("v")->SaveToBytes(), QByteArray(300000, 'q'));
    EXPECT_EQ(q->FieldByName("n")->AsVariant().toInt(), 800000);
}

TEST_F(OdbcPg, CutValuesInsideBlockFetchesAreReadWholeAtTheirRows)
{
    // varchar without a length is described as 255 characters and numeric
    // without a precision as 28 digits. No long column: the result comes in
    // blocks, and longer values are read again at their rows within the block.
    auto q = OpenQuery(Conn(), QStringLiteral(
        "select x,"
        " (case when x % 1000 = 500 then repeat('q', 40000) || x"
        "       when x % 97 = 0 then repeat('\u0436', 300) || x else 'v' || x end)::varchar as v,"
        " (case when x % 333 = 0 then repeat('9', 70) || '.5' else x || '.25' end)::numeric as d"
        " from generate_series(1, 5000) x order by x"));
    EXPECT_GT(q->LastRowArraySize(), 1);
    ASSERT_EQ(q->RecordCount(), 5000);
    int x = 1;
    for (q->First(); !q->Eof(); q->Next(), ++x) {
        SCOPED_TRACE(x);
        ASSERT_EQ(q->Fields(0)->AsVariant().toInt(), x);
        const QString v = x % 1000 == 500 ? QString(40000, u'q') + QString::number(x)
            : x % 97 == 0                ? QString(300, QChar(0x0436)) + QString::number(x)
                                         : QStringLiteral("v%1").arg(x);
        ASSERT_EQ(q->Fields(1)->AsVariant().toString(), v);
        const QString d = x % 333 == 0 ? QString(70, u'9') + QStringLiteral(".5") : QStringLiteral("%1.25").arg(x);
        ASSERT_EQ(q->Fields(2)->AsVariant().toString(), d);
    }
    EXPECT_EQ(x, 5001);
}

TEST_F(OdbcPg, StatementsWithoutRowSetAndBatches)
{
    Exec(Conn(), QStringLiteral("create temp table z(i int)"));
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), &Conn());
    q.SetSQL(QStringLiteral("insert into z values (1), (2)"));
    EXPECT_EQ(ErrorOf([&] { q.Open(); }), QStringLiteral("ADOQuerySql: CommandText does not return a result set"));
    ASSERT_FALSE(Conn().Errors().empty());
    EXPECT_EQ(Conn().Errors().front().NativeError, kNoResultNativeError);

    // A searched statement that touches no row is still no row set.
    q.SetSQL(QStringLiteral("delete from z where i = 12345"));
    EXPECT_EQ(ErrorOf([&] { q.Open(); }), QStringLiteral("ADOQuerySql: CommandText does not return a result set"));
    EXPECT_EQ(Conn().Errors().front().NativeError, kNoResultNativeError);

    // The first statements return no rows, a later one does.
    q.SetSQL(QStringLiteral("update z set i = i * 10; insert into z values (3); select i from z order by i"));
    q.Open();
    EXPECT_TRUE(Conn().Errors().empty());
    ASSERT_EQ(q.RecordCount(), 3);
    q.Last();
    EXPECT_EQ(q.Fields(0)->AsVariant().toInt(), 20);

    TOdbcQuery cmd(QStringLiteral("qrySqlDop"), &Conn());
    cmd.SetSQL(QStringLiteral("update z set i = 0 where i >= 10"));
    EXPECT_EQ(cmd.ExecSQL(), 2);
    cmd.SetSQL(QStringLiteral("delete from z where i = 12345"));
    EXPECT_EQ(cmd.ExecSQL(), 0);
}

// Results come through a server cursor of ours a group of rows at a time, so
// the driver never holds the whole of one; the driver's own cursor fetch is
// off. Statements a cursor cannot take still run, and a transaction the user
// began is neither committed nor ended.
TEST_F(OdbcPg, QueriesFetchThroughACursorAndWritingStatementsStillRun)
{
    const auto driverCursorFetch = [&] {
        SQLINTEGER v = -1;
        SQLGetConnectAttr(Conn().Handle(), kPostgresDeclareFetchAttribute, &v, 0, nullptr);
        return v;
    };
    EXPECT_EQ(driverCursorFetch(), 0);
    const auto inCursor = [&] {
        auto q = OpenQuery(Conn(), QStringLiteral("select name from pg_cursors"));
        return q->RecordCount() == 1 && Value(*q, "name").toString() == QStringLiteral("bqa_fetch");
    };
    EXPECT_TRUE(inCursor());

    // Several FETCHes, with values longer than described read again inside them.
    auto big = OpenQuery(Conn(), QStringLiteral(
        "select g, (case when g % 9999 = 0 then repeat('q', 700) || g else 'v' || g end)::varchar as v"
        " from generate_series(1, 40000) g order by g"));
    EXPECT_GT(big->LastRowArraySize(), 1);
    ASSERT_EQ(big->RecordCount(), 40000);
    int g = 1;
    for (big->First(); !big->Eof(); big->Next(), ++g) {
        ASSERT_EQ(big->Fields(0)->AsVariant().toInt(), g);
        ASSERT_EQ(big->Fields(1)->AsVariant().toString(),
                  g % 9999 == 0 ? QString(700, u'q') + QString::number(g) : QStringLiteral("v%1").arg(g));
    }

    Exec(Conn(), QStringLiteral("create temp table w(i int)"));
    EXPECT_EQ(Exec(Conn(), QStringLiteral("with c as (select g from generate_series(1, 5) g) insert into w select g from c")), 5);
    auto deleted = OpenQuery(Conn(), QStringLiteral(
        "with q as (delete from w where i <= 2 returning i) select count(*) as n from q"));
    EXPECT_EQ(Value(*deleted, "n").toInt(), 2);
    Exec(Conn(), QStringLiteral("select i into temp w2 from w"));
    EXPECT_EQ(Value(*OpenQuery(Conn(), QStringLiteral("select count(*) as n from w2")), "n").toInt(), 3);

    Exec(Conn(), QStringLiteral("begin"));
    Exec(Conn(), QStringLiteral("insert into w values (99)"));
    EXPECT_EQ(Value(*OpenQuery(Conn(), QStringLiteral("select count(*) as n from w")), "n").toInt(), 4);
    EXPECT_TRUE(inCursor());
    Exec(Conn(), QStringLiteral("rollback"));
    EXPECT_EQ(Value(*OpenQuery(Conn(), QStringLiteral("select count(*) as n from w")), "n").toInt(), 3);

    // With autocommit off the driver's transaction is left to the user too.
    ASSERT_TRUE(OdbcSucceeded(SQLSetConnectAttr(Conn().Handle(), SQL_ATTR_AUTOCOMMIT,
                                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0)));
    Exec(Conn(), QStringLiteral("insert into w values (99)"));
    EXPECT_TRUE(inCursor());
    EXPECT_EQ(Value(*OpenQuery(Conn(), QStringLiteral("select count(*) as n from w")), "n").toInt(), 4);
    ASSERT_TRUE(OdbcSucceeded(SQLEndTran(SQL_HANDLE_DBC, Conn().Handle(), SQL_ROLLBACK)));
    EXPECT_EQ(Value(*OpenQuery(Conn(), QStringLiteral("select count(*) as n from w")), "n").toInt(), 3);
}

TEST_F(OdbcPg, ServerErrorsCarryTheServerText)
{
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), &Conn());
    q.SetSQL(QStringLiteral("select * from missing_table"));
    const QString message = ErrorOf([&] { q.Open(); });
    EXPECT_TRUE(message.contains(QStringLiteral("relation \"missing_table\" does not exist"))) << message.toStdString();
    EXPECT_FALSE(message.startsWith(QLatin1Char('[')));
    ASSERT_FALSE(Conn().Errors().empty());
    EXPECT_EQ(Conn().Errors().front().SqlState, QStringLiteral("42P01"));

    // A failing statement later in a batch fails the open too.
    q.SetSQL(QStringLiteral("select 1; select * from missing_table"));
    EXPECT_FALSE(ErrorOf([&] { q.Open(); }).isEmpty());
    TOdbcQuery cmd(QStringLiteral("qrySqlDop"), &Conn());
    cmd.SetSQL(QStringLiteral("update missing_table set x = 1"));
    EXPECT_TRUE(ErrorOf([&] { cmd.ExecSQL(); }).contains(QStringLiteral("missing_table")));
    // The connection is still usable.
    EXPECT_EQ(OpenQuery(Conn(), QStringLiteral("select 1 as x"))->RecordCount(), 1);
}

TEST_F(OdbcPg, CommandTimeoutThatFiresRaises)
{
    TOdbcQuery q(QStringLiteral("qrySqlDop"), &Conn());
    q.SetCommandTimeout(1);
    q.SetSQL(QStringLiteral("select pg_sleep(5)"));
    EXPECT_FALSE(ErrorOf([&] { q.Open(); }).isEmpty());
    EXPECT_FALSE(q.Active());
    EXPECT_FALSE(Conn().Errors().empty());
}
