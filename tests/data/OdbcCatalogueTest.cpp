// The driver's catalogue of a connected server: SQLite3, PostgreSQL, and
// FreeTDS against the loopback server, which must count as SQL Server.

#include "platform/odbc/OdbcCatalog.h"
#include "tests/data/OdbcTestSupport.h"
#include "tests/support/FakeTdsServer.h"

using namespace odbc_test;

namespace {

constexpr int kTimeout = 30;
constexpr int kRows = 100;

const TFirstRowsShape kDoubleQuotes{TRowLimitStyle::Limit, QStringLiteral("\"")};

TEST(FirstRowsText, EachStyleWithItsQuotingAndSchema)
{
    const TCatalogueTable plain{QString(), QStringLiteral("about")};
    const TCatalogueTable odd{QStringLiteral("my \"s\""), QStringLiteral("x; drop table y")};
    EXPECT_EQ(FirstRowsText(kDoubleQuotes, plain, kRows), QStringLiteral("select * from \"about\" limit 100"));
    EXPECT_EQ(FirstRowsText(kDoubleQuotes, odd, kRows),
              QStringLiteral("select * from \"my \"\"s\"\"\".\"x; drop table y\" limit 100"));
    EXPECT_EQ(FirstRowsText({TRowLimitStyle::Top, QStringLiteral("\"")}, plain, kRows),
              QStringLiteral("select top 100 * from  \"about\""));
    EXPECT_EQ(FirstRowsText({TRowLimitStyle::FetchFirst, QStringLiteral("\"")}, odd, 5),
              QStringLiteral("select * from \"my \"\"s\"\"\".\"x; drop table y\" fetch first 5 rows only"));
    EXPECT_EQ(FirstRowsText({TRowLimitStyle::Limit, QStringLiteral("`")}, TCatalogueTable{QString(), QStringLiteral("a`b")}, kRows),
              QStringLiteral("select * from `a``b` limit 100"));
    // A driver that quotes nothing reports a blank.
    EXPECT_EQ(FirstRowsText({TRowLimitStyle::Limit, QStringLiteral(" ")}, plain, kRows),
              QStringLiteral("select * from about limit 100"));
}

TEST(FirstRowsText, TheStyleFollowsTheEngine)
{
    EXPECT_EQ(RowLimitStyleOf(QStringLiteral("SQLite")), TRowLimitStyle::Limit);
    EXPECT_EQ(RowLimitStyleOf(QStringLiteral("PostgreSQL")), TRowLimitStyle::Limit);
    EXPECT_EQ(RowLimitStyleOf(QStringLiteral("MySQL")), TRowLimitStyle::Limit);
    EXPECT_EQ(RowLimitStyleOf(QStringLiteral("Microsoft SQL Server")), TRowLimitStyle::Top);
    EXPECT_EQ(RowLimitStyleOf(QStringLiteral("ACCESS")), TRowLimitStyle::Top);
    EXPECT_EQ(RowLimitStyleOf(QStringLiteral("Oracle")), TRowLimitStyle::FetchFirst);
    EXPECT_EQ(RowLimitStyleOf(QStringLiteral("DB2/LINUXX8664")), TRowLimitStyle::FetchFirst);
}

TEST(OdbcCatalogue, SqliteHasOneDatabaseItsFileAndListsTablesAndViewsByName)
{
    const TSqliteDb db;
    auto conn = Connect(db.ConnectionString());
    Exec(*conn, QStringLiteral("create table \"Zeta\"(i integer)"));
    Exec(*conn, QStringLiteral("create table \"alpha beta\"(i integer)"));
    Exec(*conn, QStringLiteral("create table \"сотрудники\"(i integer)"));
    Exec(*conn, QStringLiteral("create view \"b\"\"view\" as select 1 as one"));
    EXPECT_FALSE(ServerIsSqlServer(*conn));

    const QString file = CurrentCatalogue(*conn);
    EXPECT_TRUE(file.endsWith(QStringLiteral("test.db"))) << file.toStdString();
    EXPECT_EQ(CatalogueNames(*conn, kTimeout), std::vector<QString>({file}));
    // Switching to the current database is no change and no failure.
    EXPECT_NO_THROW(SetCurrentCatalogue(*conn, file));

    const std::vector<TCatalogueTable> tables = CatalogueTables(*conn, kTimeout);
    std::vector<QString> names;
    for (const TCatalogueTable& t : tables) {
        EXPECT_TRUE(t.schema.isEmpty());
        names.push_back(t.name);
    }
    EXPECT_EQ(names, std::vector<QString>({QStringLiteral("alpha beta"), QStringLiteral("b\"view"),
                                           QStringLiteral("Zeta"), QStringLiteral("сотрудники")}));
}

TEST(OdbcCatalogue, SqliteRunsTheFirstRowsQueryOfEveryTable)
{
    const TSqliteDb db;
    auto conn = Connect(db.ConnectionString());
    Exec(*conn, QStringLiteral("create table \"x; drop table y\"(i integer)"));
    Exec(*conn, QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 150) "
                               "insert into \"x; drop table y\" select i from n"));
    Exec(*conn, QStringLiteral("create view \"b\"\"view\" as select 1 as one"));
    const TFirstRowsShape shape = FirstRowsShapeOf(*conn);
    EXPECT_EQ(shape.style, TRowLimitStyle::Limit);
    std::vector<int> counts;
    for (const TCatalogueTable& t : CatalogueTables(*conn, kTimeout))
        counts.push_back(OpenQuery(*conn, FirstRowsText(shape, t, kRows))->RecordCount());
    EXPECT_EQ(counts, std::vector<int>({1, kRows}));
}

TEST(OdbcCatalogue, PostgresListsItsDatabaseAndTheTablesOfEverySchema)
{
    BQA_REQUIRE_PG();
    auto conn = ConnectPg();
    const auto drop = [&] { Exec(*conn, QStringLiteral("drop schema if exists \"bqa cat\" cascade")); };
    drop();
    Exec(*conn, QStringLiteral("create schema \"bqa cat\""));
    Exec(*conn, QStringLiteral("create table \"bqa cat\".\"Orders\" as select generate_series(1, 150) as i"));
    Exec(*conn, QStringLiteral("create view \"bqa cat\".\"a\"\"view\" as select 1 as one"));
    EXPECT_FALSE(ServerIsSqlServer(*conn));
    const QString current = CurrentCatalogue(*conn);
    EXPECT_EQ(current, OpenQuery(*conn, QStringLiteral("select current_database()"))->Fields(0)->AsString());
    const std::vector<QString> databases = CatalogueNames(*conn, kTimeout);
    EXPECT_NE(std::find(databases.begin(), databases.end(), current), databases.end());

    std::vector<TCatalogueTable> mine;
    for (const TCatalogueTable& t : CatalogueTables(*conn, kTimeout))
        if (t.schema == QStringLiteral("bqa cat"))
            mine.push_back(t);
    ASSERT_EQ(mine, std::vector<TCatalogueTable>({{QStringLiteral("bqa cat"), QStringLiteral("a\"view")},
                                                  {QStringLiteral("bqa cat"), QStringLiteral("Orders")}}));
    const TFirstRowsShape shape = FirstRowsShapeOf(*conn);
    EXPECT_EQ(OpenQuery(*conn, FirstRowsText(shape, mine[1], kRows))->RecordCount(), kRows);
    EXPECT_EQ(OpenQuery(*conn, FirstRowsText(shape, mine[0], kRows))->RecordCount(), 1);
    drop();
}

TEST(OdbcCatalogue, FreeTdsToTheLoopbackServerIsSqlServer)
{
    TFakeTdsServer server;
    ASSERT_NE(server.Port(), 0);
    auto conn = Connect(QString::fromStdString(server.ConnectionString()));
    EXPECT_TRUE(ServerIsSqlServer(*conn));
    conn->Close();
    EXPECT_FALSE(ServerIsSqlServer(*conn));
}

} // namespace
