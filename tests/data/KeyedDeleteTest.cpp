// The delete decision for a fetched record, from column sources and keys,
// and from recorded answers of the server's result description.

#include "platform/odbc/KeyedDelete.h"

#include <gtest/gtest.h>

namespace {

TColumnSource Col(const char* schema, const char* table, const char* column, const char* catalog = "")
{
    return TColumnSource{QString::fromUtf8(schema), QString::fromUtf8(table), QString::fromUtf8(column),
                         QString::fromUtf8(catalog)};
}
TColumnSource Expr() { return TColumnSource{}; }

const TKeyedDeletePlan& PlanOf(const TDeleteDecision& d)
{
    static const TKeyedDeletePlan none;
    if (const auto* p = std::get_if<TKeyedDeletePlan>(&d))
        return *p;
    ADD_FAILURE() << "refused: " << std::get<TDeleteRefusal>(d).message.toStdString();
    return none;
}

QString RefusalOf(const TDeleteDecision& d)
{
    if (const auto* r = std::get_if<TDeleteRefusal>(&d))
        return r->message;
    ADD_FAILURE() << "planned: " << DeleteStatement(std::get<TKeyedDeletePlan>(d)).toStdString();
    return {};
}

const QString kRefusalPrefix = QStringLiteral("Запись нельзя удалить: ");

} // namespace

TEST(KeyedDelete, QuotesNamesDoublingTheClosingMark)
{
    EXPECT_EQ(QuoteSqlName(QStringLiteral("a]b c"), TNameQuoting::Brackets), QStringLiteral("[a]]b c]"));
    EXPECT_EQ(QuoteSqlName(QStringLiteral("]]"), TNameQuoting::Brackets), QStringLiteral("[]]]]]"));
    EXPECT_EQ(QuoteSqlName(QStringLiteral("a\"b]"), TNameQuoting::DoubleQuotes), QStringLiteral("\"a\"\"b]\""));
}

TEST(KeyedDelete, PlansByThePrimaryKeyBindingItsResultColumns)
{
    // Result: name, id2, id1 — the key (id1, id2) is bound in key order.
    const std::vector<TColumnSource> sources{Col("dbo", "t", "name"), Col("dbo", "t", "id2"),
                                             Col("dbo", "t", "id1")};
    const TDeleteDecision d = PlanKeyedDelete(sources, {{QStringLiteral("id1"), QStringLiteral("id2")}},
                                              TNameQuoting::Brackets);
    const TKeyedDeletePlan& p = PlanOf(d);
    EXPECT_EQ(p.schema, QStringLiteral("dbo"));
    EXPECT_EQ(p.table, QStringLiteral("t"));
    EXPECT_EQ(p.keyFields, (std::vector<int>{2, 1}));
    EXPECT_EQ(DeleteStatement(p), QStringLiteral("DELETE FROM [dbo].[t] WHERE [id1] = ? AND [id2] = ?"));
}

TEST(KeyedDelete, QuotesTableSchemaAndKeyAndOmitsAMissingSchema)
{
    const TDeleteDecision withSchema = PlanKeyedDelete({Col("my ]s", "t ]x", "k ]1")}, {{QStringLiteral("k ]1")}},
                                                       TNameQuoting::Brackets);
    EXPECT_EQ(DeleteStatement(PlanOf(withSchema)), QStringLiteral("DELETE FROM [my ]]s].[t ]]x] WHERE [k ]]1] = ?"));
    const TDeleteDecision noSchema = PlanKeyedDelete({Col("", "t \"q", "id")}, {{QStringLiteral("id")}},
                                                     TNameQuoting::DoubleQuotes);
    EXPECT_EQ(DeleteStatement(PlanOf(noSchema)), QStringLiteral("DELETE FROM \"t \"\"q\" WHERE \"id\" = ?"));
}

TEST(KeyedDelete, FallsBackToAUniqueIndexWhoseColumnsAreAllInTheResult)
{
    // The primary key column is not selected; the unique code is.
    const std::vector<TColumnSource> sources{Col("s", "t", "code"), Col("s", "t", "name")};
    const TDeleteDecision d = PlanKeyedDelete(sources, {{QStringLiteral("id")}, {QStringLiteral("code")}},
                                              TNameQuoting::Brackets);
    EXPECT_EQ(PlanOf(d).keyFields, (std::vector<int>{0}));
    EXPECT_EQ(DeleteStatement(PlanOf(d)), QStringLiteral("DELETE FROM [s].[t] WHERE [code] = ?"));
}

TEST(KeyedDelete, ExpressionColumnsOutsideTheKeyDoNotPreventTheDelete)
{
    const std::vector<TColumnSource> sources{Col("s", "t", "id"), Expr(), Col("s", "t", "v")};
    EXPECT_EQ(PlanOf(PlanKeyedDelete(sources, {{QStringLiteral("id")}}, TNameQuoting::Brackets)).keyFields,
              (std::vector<int>{0}));
}

TEST(KeyedDelete, RefusesResultsWithoutAUsableKey)
{
    const TTableKey id{QStringLiteral("id")};
    struct Case {
        const char* what;
        std::vector<TColumnSource> sources;
        std::vector<TTableKey> keys;
        const char* mentions;
    };
    const Case cases[] = {
        {"no source at all (the driver says nothing)", {Expr(), Expr()}, {id}, "из какой таблицы"},
        {"empty result description", {}, {id}, "из какой таблицы"},
        {"a join", {Col("s", "t", "id"), Col("s", "u", "w")}, {id}, "нескольких таблиц"},
        {"same table name, other schema", {Col("a", "t", "id"), Col("b", "t", "id")}, {id}, "нескольких таблиц"},
        {"no key", {Col("s", "t", "id"), Col("s", "t", "v")}, {}, "нет первичного ключа"},
        {"an empty key", {Col("s", "t", "id")}, {TTableKey{}}, "нет первичного ключа"},
        {"key not selected", {Col("s", "t", "v")}, {id}, "нет столбца ключа id"},
        {"only part of a compound key", {Col("s", "t", "id")}, {{QStringLiteral("id"), QStringLiteral("n")}},
         "нет столбца ключа n"},
        // "select id + 1 as id from t": the name is there, the column is not.
        {"an expression in the key's place", {TColumnSource{QString(), QString(), QStringLiteral("id"), QString()},
                                              Col("s", "t", "v")}, {id}, "нет столбца ключа id"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString message = RefusalOf(PlanKeyedDelete(c.sources, c.keys, TNameQuoting::Brackets));
        EXPECT_TRUE(message.startsWith(kRefusalPrefix)) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.mentions))) << message.toStdString();
    }
}

TEST(KeyedDelete, KeyMatchingIsExactAboutColumnNames)
{
    // A case-sensitive engine may hold both "ID" and "id": only the key column counts.
    const std::vector<TColumnSource> sources{Col("s", "t", "ID"), Col("s", "t", "id")};
    EXPECT_EQ(PlanOf(PlanKeyedDelete(sources, {{QStringLiteral("id")}}, TNameQuoting::Brackets)).keyFields,
              (std::vector<int>{1}));
}

TEST(KeyedDelete, ComparesEveryExactlyComparableShownColumnOfTheTable)
{
    // select id, name, price, at, memo, img, id2 = (key), note from t  plus an expression
    const std::vector<TColumnSource> sources{Col("s", "t", "name"), Col("s", "t", "id"), Col("s", "t", "price"),
                                             Col("s", "t", "at"), Col("s", "t", "memo"), Expr(),
                                             Col("s", "t", "name"), Col("s", "t", "d")};
    const std::vector<TFieldType> types{ftWideString, ftInteger, ftFloat, ftDateTime, ftMemo, ftInteger,
                                        ftWideString, ftDate};
    const TDeleteDecision d = PlanKeyedDelete(sources, {{QStringLiteral("id")}}, TNameQuoting::Brackets, types);
    const TKeyedDeletePlan& p = PlanOf(d);
    // The key first; floats, date-times, long text and expressions are left
    // out; a column shown twice is compared once.
    EXPECT_EQ(p.terms, (std::vector<TDeleteTerm>{{1, QStringLiteral("id")}, {0, QStringLiteral("name")},
                                                  {7, QStringLiteral("d")}}));
    EXPECT_EQ(DeleteStatement(p, {false, true, false}),
              QStringLiteral("DELETE FROM [s].[t] WHERE [id] = ? AND [name] IS NULL AND [d] = ?"));
}

TEST(KeyedDelete, NamesTheTableWithItsCatalog)
{
    const TTableKey id{QStringLiteral("id")};
    EXPECT_EQ(DeleteStatement(PlanOf(PlanKeyedDelete({Col("dbo", "t", "id", "other ]db")}, {id}, TNameQuoting::Brackets))),
              QStringLiteral("DELETE FROM [other ]]db].[dbo].[t] WHERE [id] = ?"));
    EXPECT_EQ(DeleteStatement(PlanOf(PlanKeyedDelete({Col("", "t", "id", "db")}, {id}, TNameQuoting::Brackets))),
              QStringLiteral("DELETE FROM [db]..[t] WHERE [id] = ?"));
    EXPECT_EQ(DeleteStatement(PlanOf(PlanKeyedDelete({Col("", "t", "id", "aux")}, {id}, TNameQuoting::DoubleQuotes))),
              QStringLiteral("DELETE FROM \"aux\".\"t\" WHERE \"id\" = ?"));
    // The same table name in two databases is two tables.
    const QString message = RefusalOf(
        PlanKeyedDelete({Col("dbo", "t", "id", "a"), Col("dbo", "t", "v", "b")}, {id}, TNameQuoting::Brackets));
    EXPECT_TRUE(message.contains(QStringLiteral("нескольких таблиц"))) << message.toStdString();
}

TEST(KeyedDelete, NullKeyValuesRefuse)
{
    EXPECT_FALSE(CheckKeyValues({QVariant(1), QVariant(QStringLiteral("x"))}).has_value());
    EXPECT_TRUE(CheckKeyValues({QVariant(1), QVariant()}).has_value());
    EXPECT_TRUE(CheckKeyValues({QVariant(QMetaType::fromType<int>())}).has_value());
}

TEST(KeyedDelete, DescribeStatementDoublesQuotesOfTheText)
{
    EXPECT_EQ(DescribeFirstResultSetStatement(QStringLiteral("select * from t where n = 'O''Hara'")),
              QStringLiteral("exec sp_describe_first_result_set @tsql = N'select * from t where n = ''O''''Hara''',"
                             " @params = NULL, @browse_information_mode = 1"));
}

// Rows as the server describes "select ..." in browse mode 1 (is_hidden,
// source_schema, source_table, source_column, is_part_of_unique_key).
namespace {
TDescribedResultColumn Row(bool hidden, const char* schema, const char* table, const char* column, bool key)
{
    return TDescribedResultColumn{hidden, QString::fromUtf8(schema), QString::fromUtf8(table),
                                  QString::fromUtf8(column), key, QString()};
}
} // namespace

TEST(KeyedDeleteDescribed, PlansFromTheServersKeyColumns)
{
    // select name, id from dbo.Orders  (id is the primary key)
    const TDeleteDecision d = PlanKeyedDeleteFromDescription(
        {Row(false, "dbo", "Orders", "name", false), Row(false, "dbo", "Orders", "id", true)});
    EXPECT_EQ(PlanOf(d).keyFields, (std::vector<int>{1}));
    EXPECT_EQ(DeleteStatement(PlanOf(d)), QStringLiteral("DELETE FROM [dbo].[Orders] WHERE [id] = ?"));
}

TEST(KeyedDeleteDescribed, CompoundKeyAndExpressionColumns)
{
    // select a, getdate() as now, b, note from [sales ]x].[Lines]  (key a, b)
    const TDeleteDecision d = PlanKeyedDeleteFromDescription(
        {Row(false, "sales ]x", "Lines", "a", true), Row(false, "", "", "", false),
         Row(false, "sales ]x", "Lines", "b", true), Row(false, "sales ]x", "Lines", "note", false)});
    EXPECT_EQ(PlanOf(d).keyFields, (std::vector<int>{0, 2}));
    EXPECT_EQ(DeleteStatement(PlanOf(d)), QStringLiteral("DELETE FROM [sales ]]x].[Lines] WHERE [a] = ? AND [b] = ?"));
}

TEST(KeyedDeleteDescribed, RefusesWhatTheServerCannotTieToOneKey)
{
    struct Case {
        const char* what;
        std::vector<TDescribedResultColumn> rows;
        const char* mentions;
    };
    const Case cases[] = {
        // A server that gives no sources (NULLs) for every column.
        {"NULL sources", {Row(false, "", "", "", false), Row(false, "", "", "", false)}, "из какой таблицы"},
        // select name from dbo.Orders: the server adds the key as a hidden column.
        {"key only hidden", {Row(false, "dbo", "Orders", "name", false), Row(true, "dbo", "Orders", "id", true)},
         "нет столбца ключа id"},
        // select o.id, c.name from dbo.Orders o join dbo.Customers c ...
        {"join", {Row(false, "dbo", "Orders", "id", true), Row(false, "dbo", "Customers", "name", false),
                  Row(true, "dbo", "Customers", "id", true)}, "нескольких таблиц"},
        // A heap table: nothing is part of a unique key.
        {"heap", {Row(false, "dbo", "Log", "at", false), Row(false, "dbo", "Log", "text", false)},
         "нет первичного ключа"},
        // select id + 0 as id from dbo.Orders
        {"expression key", {Row(false, "", "", "", false), Row(true, "dbo", "Orders", "id", true)},
         "из какой таблицы"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QString message = RefusalOf(PlanKeyedDeleteFromDescription(c.rows));
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.mentions))) << message.toStdString();
    }
}
