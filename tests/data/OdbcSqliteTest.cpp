// The ODBC query over the SQLite3 driver, on a temporary file database.

#include "tests/data/OdbcTestSupport.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

using namespace odbc_test;

namespace {

class OdbcSqlite : public ::testing::Test {
protected:
    void SetUp() override { m_conn = Connect(m_db.ConnectionString()); }
    TOdbcConnection& Conn() { return *m_conn; }

    TSqliteDb m_db;
    std::unique_ptr<TOdbcConnection> m_conn;
};

QString Text(const TDataSet& ds, int field) { return ds.Fields(field)->AsVariant().toString(); }

} // namespace

TEST_F(OdbcSqlite, MapsDeclaredTypesAndReadsTheirValues)
{
    Exec(Conn(), QStringLiteral(
        "create table t(i integer, r real, s text, b blob, n numeric(10,2), d datetime, dd date,"
        " tt time, v varchar(10), bi bigint, bo boolean)"));
    Exec(Conn(), QStringLiteral(
        "insert into t values(42, 1.5, 'abc', x'00ff0041', 12.25, '2020-01-02 03:04:05.250',"
        " '2021-12-31', '13:14:15', 'hello', 9000000000, 1)"));
    auto q = OpenQuery(Conn(), QStringLiteral("select * from t"));
    ASSERT_EQ(q->FieldCount(), 11);
    ASSERT_EQ(q->RecordCount(), 1);
    q->First();

    struct Expect { const char* name; TFieldType type; };
    const Expect expected[] = {{"i", ftInteger}, {"r", ftFloat}, {"s", ftMemo}, {"b", ftBytes},
                               {"n", ftFloat}, {"d", ftDateTime}, {"dd", ftDate}, {"tt", ftTime},
                               {"v", ftString}, {"bi", ftLargeint}, {"bo", ftBoolean}};
    for (int i = 0; i < 11; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(q->Fields(i)->FieldName(), QString::fromLatin1(expected[i].name));
        EXPECT_EQ(q->Fields(i)->DataType(), expected[i].type);
    }
    EXPECT_EQ(q->FieldByName("i")->AsVariant().toLongLong(), 42);
    EXPECT_DOUBLE_EQ(q->FieldByName("r")->AsVariant().toDouble(), 1.5);
    EXPECT_EQ(q->FieldByName("s")->AsVariant().toString(), QStringLiteral("abc"));
    EXPECT_EQ(q->FieldByName("b")->AsVariant().toByteArray(), QByteArray("\x00\xff\x00\x41", 4));
    EXPECT_DOUBLE_EQ(q->FieldByName("n")->AsVariant().toDouble(), 12.25);
    const QDateTime dt = q->FieldByName("d")->AsVariant().toDateTime();
    EXPECT_EQ(dt.date(), QDate(2020, 1, 2));
    EXPECT_EQ(dt.time(), QTime(3, 4, 5, 250));
    EXPECT_EQ(q->FieldByName("dd")->AsVariant().toDate(), QDate(2021, 12, 31));
    EXPECT_EQ(q->FieldByName("tt")->AsVariant().toTime(), QTime(13, 14, 15));
    EXPECT_EQ(q->FieldByName("v")->AsVariant().toString(), QStringLiteral("hello"));
    EXPECT_EQ(q->FieldByName("bi")->AsVariant().toLongLong(), 9000000000LL);
    EXPECT_TRUE(q->FieldByName("bo")->AsVariant().toBool());
}

TEST_F(OdbcSqlite, NamesUnnamedAndDuplicateColumns)
{
    auto q = OpenQuery(Conn(), QStringLiteral("select 1 as \"\", 2 as a, 3 as a, 4 as \"\""));
    ASSERT_EQ(q->FieldCount(), 4);
    EXPECT_EQ(q->Fields(0)->FieldName(), QStringLiteral("COLUMN1"));
    EXPECT_EQ(q->Fields(1)->FieldName(), QStringLiteral("a"));
    EXPECT_EQ(q->Fields(2)->FieldName(), QStringLiteral("a_1"));
    EXPECT_EQ(q->Fields(3)->FieldName(), QStringLiteral("COLUMN2"));
    q->First();
    EXPECT_EQ(q->Fields(2)->AsVariant().toInt(), 3);
}

TEST_F(OdbcSqlite, NullsAndEmptyStringsStayDistinct)
{
    Exec(Conn(), QStringLiteral("create table t(v varchar(10), s text, b blob, i integer)"));
    Exec(Conn(), QStringLiteral("insert into t values(null, null, null, null)"));
    Exec(Conn(), QStringLiteral("insert into t values('', '', x'', 0)"));
    auto q = OpenQuery(Conn(), QStringLiteral("select v, s, b, i from t order by rowid"));
    ASSERT_EQ(q->RecordCount(), 2);
    q->First();
    for (int f = 0; f < 4; ++f) {
        EXPECT_TRUE(q->Fields(f)->IsNull()) << f;
        EXPECT_FALSE(q->Fields(f)->AsVariant().isValid()) << f;
    }
    q->Next();
    for (int f = 0; f < 4; ++f)
        EXPECT_FALSE(q->Fields(f)->IsNull()) << f;
    EXPECT_EQ(Text(*q, 0), QString());
    EXPECT_EQ(Text(*q, 1), QString());
    EXPECT_EQ(q->Fields(3)->AsVariant().toInt(), 0);
}

TEST_F(OdbcSqlite, ManyRowsArriveInOrderThroughBlockFetches)
{
    Exec(Conn(), QStringLiteral("create table t(i integer, v varchar(20))"));
    Exec(Conn(), QStringLiteral(
        "with recursive c(x) as (select 1 union all select x + 1 from c where x < 5000)"
        " insert into t select x, 'row ' || x from c"));
    // Fixed-size columns only: several blocks of many rows.
    auto fixed = OpenQuery(Conn(), QStringLiteral("select i, i * 0.5 as h from t order by i"));
    EXPECT_GT(fixed->LastRowArraySize(), 1);
    EXPECT_LT(fixed->LastRowArraySize(), 5000);
    ASSERT_EQ(fixed->RecordCount(), 5000);
    int expected = 1;
    for (fixed->First(); !fixed->Eof(); fixed->Next(), ++expected) {
        ASSERT_EQ(fixed->Fields(0)->AsVariant().toInt(), expected);
        ASSERT_DOUBLE_EQ(fixed->Fields(1)->AsVariant().toDouble(), expected * 0.5);
    }
    EXPECT_EQ(expected, 5001);

    auto q = OpenQuery(Conn(), QStringLiteral("select i, v from t order by i"));
    ASSERT_EQ(q->RecordCount(), 5000);
    expected = 1;
    for (q->First(); !q->Eof(); q->Next(), ++expected) {
        ASSERT_EQ(q->Fields(0)->AsVariant().toInt(), expected);
        ASSERT_EQ(Text(*q, 1), QStringLiteral("row %1").arg(expected));
    }
    EXPECT_EQ(expected, 5001);
}

TEST_F(OdbcSqlite, ValuesLongerThanTheReportedSizeAreReadWhole)
{
    // The driver reports expressions as varchar(255); the value is 1.2 MB.
    auto q = OpenQuery(Conn(), QStringLiteral(
        "select replace(hex(zeroblob(600000)), '00', '\u0436') as big, 7 as k"));
    q->First();
    const QString big = q->FieldByName("big")->AsVariant().toString();
    EXPECT_EQ(big.size(), 600000);
    EXPECT_EQ(big.count(QChar(0x0436)), 600000);
    EXPECT_EQ(q->FieldByName("big")->SaveToBytes().size(), 1200000);
    EXPECT_EQ(q->FieldByName("k")->AsVariant().toInt(), 7);
}

TEST_F(OdbcSqlite, LongValuesInsideBlockFetchesAreReadWhole)
{
    // The driver reports varchar(n) and blob as n and 255 and hands back
    // longer values: those are cut in the bound block buffers and must be
    // read again at their own rows, the rows after them still in order.
    // Some are longer than the grown buffers ever get.
    Exec(Conn(), QStringLiteral("create table t(i integer, v varchar(5), w varchar(8), b blob)"));
    Exec(Conn(), QStringLiteral(
        "with recursive c(x) as (select 1 union all select x + 1 from c where x < 6000)"
        " insert into t select x,"
        " case when x % 1000 = 500 then replace(hex(zeroblob(20000)), '00', 'ю') || x"
        "      when x % 97 = 0 then replace(hex(zeroblob(40)), '00', 'ж') || x"
        "      else 'v' || (x % 100) end,"
        " case when x % 250 = 0 then 'wide ' || replace(hex(zeroblob(30)), '00', '字') || x"
        "      when x % 3 = 0 then null else 'w' end,"
        " case when x % 777 = 0 then zeroblob(300 + x) else x'0102' end"
        " from c"));
    auto expectedV = [](int x) {
        if (x % 1000 == 500)
            return QString(20000, QChar(0x044E)) + QString::number(x);
        if (x % 97 == 0)
            return QString(40, QChar(0x0436)) + QString::number(x);
        return QStringLiteral("v%1").arg(x % 100);
    };
    auto q = OpenQuery(Conn(), QStringLiteral("select i, v, w, b from t order by i"));
    EXPECT_GT(q->LastRowArraySize(), 1);
    ASSERT_EQ(q->RecordCount(), 6000);
    int x = 1;
    for (q->First(); !q->Eof(); q->Next(), ++x) {
        SCOPED_TRACE(x);
        ASSERT_EQ(q->Fields(0)->AsVariant().toInt(), x);
        ASSERT_EQ(Text(*q, 1), expectedV(x));
        if (x % 250 == 0)
            ASSERT_EQ(Text(*q, 2), QStringLiteral("wide ") + QString(30, QChar(0x5B57)) + QString::number(x));
        else if (x % 3 == 0)
            ASSERT_TRUE(q->Fields(2)->IsNull());
        else
            ASSERT_EQ(Text(*q, 2), QStringLiteral("w"));
        ASSERT_EQ(q->Fields(3)->SaveToBytes(), x % 777 == 0 ? QByteArray(300 + x, '\0') : QByteArray("\x01\x02", 2));
    }
    EXPECT_EQ(x, 6001);

    // A cut value in the last row of a result that is one block.
    auto last = OpenQuery(Conn(), QStringLiteral("select v from t where i in (1, 2, 97) order by i"));
    ASSERT_EQ(last->RecordCount(), 3);
    last->Last();
    EXPECT_EQ(Text(*last, 0), expectedV(97));
}

TEST_F(OdbcSqlite, LongTextAndBinaryRoundTrip)
{
    // The driver describes blob as binary(255); the second blob is larger.
    Exec(Conn(), QStringLiteral("create table t(s text, b blob, v varchar(5))"));
    Exec(Conn(), QStringLiteral(
        "insert into t values(replace(hex(zeroblob(1100000)), '00', 'x'), x'000102000304', 'short')"));
    Exec(Conn(), QStringLiteral("insert into t values('', zeroblob(70000), 'more than five')"));
    auto q = OpenQuery(Conn(), QStringLiteral("select s, b, v from t order by rowid"));
    ASSERT_EQ(q->RecordCount(), 2);
    q->First();
    EXPECT_EQ(q->Fields(0)->DataType(), ftMemo);
    EXPECT_EQ(q->Fields(0)->SaveToBytes(), QByteArray(1100000, 'x'));
    EXPECT_EQ(q->Fields(1)->SaveToBytes(), QByteArray("\x00\x01\x02\x00\x03\x04", 6));
    EXPECT_EQ(Text(*q, 2), QStringLiteral("short"));
    q->Next();
    EXPECT_EQ(q->Fields(1)->SaveToBytes(), QByteArray(70000, '\0'));
    EXPECT_EQ(Text(*q, 2), QStringLiteral("more than five"));
}

TEST_F(OdbcSqlite, CyrillicCjkAndNonBmpTextRoundTrips)
{
    const QString text = QStringLiteral("Привет, 世界 \U0001F600!");
    Exec(Conn(), QStringLiteral("create table t(v varchar(40), s text)"));
    Exec(Conn(), QStringLiteral("insert into t values('%1', '%1')").arg(text));
    auto q = OpenQuery(Conn(), QStringLiteral("select v, s, '%1' as lit from t").arg(text));
    q->First();
    EXPECT_EQ(Text(*q, 0), text);
    EXPECT_EQ(Text(*q, 1), text);
    EXPECT_EQ(Text(*q, 2), text);
    EXPECT_EQ(q->Fields(1)->SaveToBytes(), text.toUtf8());

    // Names and server messages keep their characters too.
    auto named = OpenQuery(Conn(), QStringLiteral("select 1 as \"Сумма 合計\""));
    EXPECT_EQ(named->Fields(0)->FieldName(), QStringLiteral("Сумма 合計"));
    const QString message = ErrorOf([&] { OpenQuery(Conn(), QStringLiteral("select * from таблица")); });
    EXPECT_TRUE(message.contains(QStringLiteral("таблица"))) << message.toStdString();
}

TEST_F(OdbcSqlite, StatementWithoutRowSetSetsTheNoResultError)
{
    Exec(Conn(), QStringLiteral("create table t(i integer)"));
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), &Conn());
    q.SetSQL(QStringLiteral("insert into t values(1)"));
    EXPECT_EQ(ErrorOf([&] { q.Open(); }), QStringLiteral("ADOQuerySql: CommandText does not return a result set"));
    EXPECT_FALSE(q.Active());
    ASSERT_FALSE(Conn().Errors().empty());
    EXPECT_EQ(Conn().Errors().front().NativeError, kNoResultNativeError);
    // The statement ran once.
    auto check = OpenQuery(Conn(), QStringLiteral("select count(*) from t"));
    check->First();
    EXPECT_EQ(check->Fields(0)->AsVariant().toInt(), 1);
    // A later success clears the error list.
    EXPECT_TRUE(Conn().Errors().empty());
}

TEST_F(OdbcSqlite, ALaterFailureNeverCarriesAnEarlierNoResultEntry)
{
    // The run action tells "no row set" from a failure by the first error
    // entry; a failure without diagnostics of its own must not inherit it.
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), &Conn());
    q.SetSQL(QStringLiteral("create table t(i integer)"));
    EXPECT_THROW(q.Open(), EDatabaseError);
    ASSERT_FALSE(Conn().Errors().empty());
    ASSERT_EQ(Conn().Errors().front().NativeError, kNoResultNativeError);
    Conn().Close();
    q.SetSQL(QStringLiteral("select 1"));
    EXPECT_EQ(ErrorOf([&] { q.Open(); }), QStringLiteral("ADOQuerySql: Connection is not open"));
    EXPECT_TRUE(Conn().Errors().empty() || Conn().Errors().front().NativeError != kNoResultNativeError);
}

TEST_F(OdbcSqlite, ServerErrorCarriesTheDriverMessageWithoutPrefixes)
{
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), &Conn());
    q.SetSQL(QStringLiteral("select * from missing_table"));
    const QString message = ErrorOf([&] { q.Open(); });
    EXPECT_TRUE(message.contains(QStringLiteral("missing_table"))) << message.toStdString();
    EXPECT_FALSE(message.startsWith(QLatin1Char('['))) << message.toStdString();
    EXPECT_FALSE(q.Active());
    ASSERT_FALSE(Conn().Errors().empty());
    EXPECT_NE(Conn().Errors().front().NativeError, kNoResultNativeError);
}

TEST_F(OdbcSqlite, OpenCloseReopenAndConnectionCloseClosesQueries)
{
    Exec(Conn(), QStringLiteral("create table t(i integer)"));
    EXPECT_EQ(Exec(Conn(), QStringLiteral("insert into t values(1),(2),(3)")), 3);
    auto q = OpenQuery(Conn(), QStringLiteral("select i from t order by i"));
    EXPECT_EQ(q->RecordCount(), 3);
    q->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(Exec(Conn(), QStringLiteral("delete from t where i = 2")), 1);
    q->Open();
    EXPECT_EQ(q->RecordCount(), 2);

    Conn().Close();
    EXPECT_FALSE(Conn().Connected());
    EXPECT_FALSE(q->Active());
    // Not connected: a clear failure naming the query.
    const QString message = ErrorOf([&] { q->Open(); });
    EXPECT_TRUE(message.startsWith(QStringLiteral("ADOQuerySql: "))) << message.toStdString();
    Conn().Open();
    q->Open();
    EXPECT_EQ(q->RecordCount(), 2);
}

TEST_F(OdbcSqlite, EmptyResultKeepsItsFields)
{
    Exec(Conn(), QStringLiteral("create table t(i integer, v varchar(5))"));
    auto q = OpenQuery(Conn(), QStringLiteral("select i, v from t"));
    EXPECT_TRUE(q->Active());
    EXPECT_EQ(q->RecordCount(), 0);
    EXPECT_EQ(q->FieldCount(), 2);
    EXPECT_TRUE(q->Eof());
}

TEST_F(OdbcSqlite, QueryOutlivingItsConnectionIsDetached)
{
    auto q = OpenQuery(Conn(), QStringLiteral("select 1 as x"));
    m_conn.reset();
    EXPECT_EQ(q->Connection(), nullptr);
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(ErrorOf([&] { q->Open(); }).isEmpty());
}
