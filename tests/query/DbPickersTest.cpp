// The pickers' statements and reads, against a recording query.

#include "query/DbPickers.h"
#include "tests/support/RecordingQuery.h"

#include <gtest/gtest.h>

namespace {

const QString kCurrent = QString::fromUtf16(kCurrentDbSql);
const QString kDatabases = QString::fromUtf16(kDatabasesSql);
const QString kTables = QString::fromUtf16(kTablesSql);

TEST(DbPickerStatements, TheServerTextsAreTheProgramsOwn)
{
    EXPECT_EQ(kCurrent, QStringLiteral("select db_name() as CurDb"));
    EXPECT_EQ(kDatabases, QStringLiteral("SELECT [name] FROM master..sysdatabases"));
    EXPECT_EQ(kTables, QStringLiteral("select TABLE_SCHEMA, TABLE_NAME from INFORMATION_SCHEMA.TABLES order by Table_Name asc"));
}

TEST(DbPickerStatements, NamesAreQuotedWithClosingBracketsDoubled)
{
    EXPECT_EQ(UseDatabaseStatement(QStringLiteral("sales")), QStringLiteral("use [sales]"));
    EXPECT_EQ(UseDatabaseStatement(QStringLiteral("a]b")), QStringLiteral("use [a]]b]"));
    EXPECT_EQ(UseDatabaseStatement(QStringLiteral("R&D; drop database x")), QStringLiteral("use [R&D; drop database x]"));
    EXPECT_EQ(UseDatabaseStatement(QStringLiteral("it's [old]")), QStringLiteral("use [it's [old]]]"));
    EXPECT_EQ(TableQueryText(QStringLiteral("dbo"), QStringLiteral("x; drop table y")),
              QStringLiteral("select top 100 * from  [dbo].[x; drop table y]"));
    EXPECT_EQ(TableQueryText(QStringLiteral("sa]les"), QStringLiteral("order details")),
              QStringLiteral("select top 100 * from  [sa]]les].[order details]"));
}

TEST(DbPickerStatements, CaptionsShowAmpersandsAsThemselves)
{
    EXPECT_EQ(MenuCaption(QStringLiteral("R&D")), QStringLiteral("R&&D"));
    EXPECT_EQ(MenuCaption(QStringLiteral("&&x&")), QStringLiteral("&&&&x&&"));
    EXPECT_EQ(MenuCaption(QStringLiteral("plain")), QStringLiteral("plain"));
}

TEST(DbPickerReads, DatabasesInServerOrderWithTheCurrentOneByExactName)
{
    TRecordingQuery aux;
    aux.Answer(kCurrent, TextRows({QStringLiteral("CurDb")}, {{QStringLiteral("Sales")}}));
    aux.Answer(kDatabases, TextRows({QStringLiteral("name")}, {{QStringLiteral("master")}, {QStringLiteral("sales")}, {QStringLiteral("Sales")}, {QStringLiteral("R&D")}}));
    std::vector<TDatabaseEntry> seen;
    ReadDatabases(aux, [&](const TDatabaseEntry& e) { seen.push_back(e); });
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].name, QStringLiteral("master"));
    EXPECT_EQ(seen[3].name, QStringLiteral("R&D"));
    EXPECT_FALSE(seen[1].current);   // case matters
    EXPECT_TRUE(seen[2].current);
    EXPECT_EQ(aux.log, QStringList({QStringLiteral("open ") + kCurrent, QStringLiteral("open ") + kDatabases}));
    EXPECT_TRUE(aux.Active());       // left open on its last result
}

TEST(DbPickerReads, AFailingListKeepsWhatWasHandedOverAndPassesTheErrorOn)
{
    TRecordingQuery aux;
    aux.Answer(kCurrent, TextRows({QStringLiteral("CurDb")}, {{QStringLiteral("x")}}));
    aux.Refuse(kDatabases, QStringLiteral("permission denied"));
    int handed = 0;
    EXPECT_THROW(ReadDatabases(aux, [&](const TDatabaseEntry&) { ++handed; }), EDatabaseError);
    EXPECT_EQ(handed, 0);
}

TEST(DbPickerReads, TablesCarryTheirSchemaAndAnEmptyDatabaseGivesNone)
{
    TRecordingQuery aux;
    aux.Answer(kTables, TextRows({QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")},
                                 {{QStringLiteral("dbo"), QStringLiteral("a&b")}, {QStringLiteral("sales"), QStringLiteral("orders")}}));
    std::vector<TTableEntry> seen;
    ReadTables(aux, [&](const TTableEntry& t) { seen.push_back(t); });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].schema, QStringLiteral("dbo"));
    EXPECT_EQ(seen[0].name, QStringLiteral("a&b"));
    EXPECT_EQ(seen[1].schema, QStringLiteral("sales"));

    TRecordingQuery empty;
    empty.Answer(kTables, TextRows({QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")}, {}));
    int handed = 0;
    ReadTables(empty, [&](const TTableEntry&) { ++handed; });
    EXPECT_EQ(handed, 0);
}

TEST(DbPickerReads, UseRunsTheQuotedStatementWithoutAResult)
{
    TRecordingQuery aux;
    aux.Accept(QStringLiteral("use [a]]b]"));
    UseDatabase(aux, QStringLiteral("a]b"));
    EXPECT_EQ(aux.log, QStringList({QStringLiteral("exec use [a]]b]")}));
}

} // namespace
