#include "platform/odbc/DriverDefaults.h"

#include <gtest/gtest.h>

namespace {

QString With(const char* s) { return WithDriverDefaults(QString::fromUtf8(s)); }

} // namespace

TEST(DriverDefaults, DriverNamedStringsGetTheirDriversDefaultsOnce)
{
    EXPECT_EQ(With("Driver={PostgreSQL Unicode};Server=h;Database=d"),
              QStringLiteral("Driver={PostgreSQL Unicode};Server=h;Database=d;UseDeclareFetch=1;Fetch=16384"));
    EXPECT_EQ(With("Driver=FreeTDS;Server=h;Port=1433;"), QStringLiteral("Driver=FreeTDS;Server=h;Port=1433;TDS_Version=7.4"));
    // By the library's file name too.
    EXPECT_EQ(With("Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;Server=h"),
              QStringLiteral("Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;Server=h;TDS_Version=7.4"));
    EXPECT_EQ(With("driver=psqlodbcw.so;server=h"), QStringLiteral("driver=psqlodbcw.so;server=h;UseDeclareFetch=1;Fetch=16384"));
    // Applying them again adds nothing.
    const QString once = With("Driver=FreeTDS;Server=h");
    EXPECT_EQ(WithDriverDefaults(once), once);
}

TEST(DriverDefaults, WhatTheUserSetOrASourceMaySetIsLeftAlone)
{
    // A keyword the user set, in any case, keeps its value; the others still come.
    EXPECT_EQ(With("Driver=PostgreSQL Unicode;usedeclarefetch=0"),
              QStringLiteral("Driver=PostgreSQL Unicode;usedeclarefetch=0;Fetch=16384"));
    EXPECT_EQ(With("Driver=FreeTDS;Server=h;tds_version=7.1"), QStringLiteral("Driver=FreeTDS;Server=h;tds_version=7.1"));
    // Data sources and FreeTDS server sections carry settings of their own.
    for (const char* s : {"DSN=pg;Driver=PostgreSQL Unicode", "FILEDSN=/x.dsn;Driver=FreeTDS",
                          "Driver=FreeTDS;Servername=prod"})
        EXPECT_EQ(With(s), QString::fromUtf8(s)) << s;
    // Drivers we do not know, strings without a driver, and strings that do
    // not parse go to the driver as they are.
    for (const char* s : {"Driver=SQLite3;Database=/tmp/a.db", "Driver={ODBC Driver 18 for SQL Server};Server=h",
                          "Server=h", "", "Driver={FreeTDS;Server=h", "Driver=FreeTDS;Server"})
        EXPECT_EQ(With(s), QString::fromUtf8(s)) << s;
}

TEST(DriverDefaults, OnlyStatementsWithoutAWritingWordRunInACursor)
{
    for (const char* sql : {"select * from t", "  /* c */ select 2", "with c as (select 1) select * from c",
                            "select deleted_at, updated_by, inserted from t", "values (1), (2)", "table t",
                            "select 'intolerable' as x"})
        EXPECT_TRUE(MayRunInACursor(QString::fromUtf8(sql))) << sql;
    for (const char* sql : {"with c as (select 1) insert into t select * from c",
                            "WITH q AS (DELETE FROM t RETURNING *) SELECT count(*) FROM q",
                            "select 1 as a into t2", "select * from t for update", "Merge into t using s on true",
                            "select 1;\nupdate t set a = 1", "select 'insert' as word"})
        EXPECT_FALSE(MayRunInACursor(QString::fromUtf8(sql))) << sql;
}
