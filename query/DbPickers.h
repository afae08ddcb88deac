#pragma once
// The database and table pickers' talk with the server, through the
// auxiliary query: the current database, the list of databases, the list of
// tables, and the switch to another database. Names go into statements
// quoted, never as bare text, and are carried beside the menu captions
// rather than taken back from them.
//
// SQL Server is asked in Transact-SQL (the statements below). On an ODBC
// connection to any other engine the driver's catalogue answers instead
// (platform/odbc/OdbcCatalog.h): its catalogues are the databases, its
// tables and views the tables, and a table's first rows are asked for in
// the engine's own words ("limit 100" where "top" is unknown).
//
// User-interface thread only; every call blocks until the server answers.

#include "query/Database.h"

#include <QString>

#include <functional>

inline constexpr char16_t kCurrentDbSql[] = u"select db_name() as CurDb";
inline constexpr char16_t kDatabasesSql[] = u"SELECT [name] FROM master..sysdatabases";
// The schema is read beside the name so that a table outside the login's
// default schema can be addressed.
inline constexpr char16_t kTablesSql[] =
    u"select TABLE_SCHEMA, TABLE_NAME from INFORMATION_SCHEMA.TABLES order by Table_Name asc";
inline constexpr char16_t kUseDatabaseMessage[] = u"Перешли к базе: ";

struct TDatabaseEntry {
    QString name;
    bool current = false;   // exact, case-sensitive match with db_name()
};

// Rows a table's first-rows query asks for.
inline constexpr int kFirstRowsCount = 100;

struct TTableEntry {
    QString schema;
    QString name;
    QString query;   // the statement that shows its first rows
};

// A caption that shows `name` as itself: every "&" doubled, so the menu
// takes none of them for an accelerator mark.
[[nodiscard]] QString MenuCaption(const QString& name);
// "[" + `part` with every "]" doubled + "]".
[[nodiscard]] QString QuoteIdentifier(const QString& part);
// "use [name]".
[[nodiscard]] QString UseDatabaseStatement(const QString& name);
// "select top 100 * from  [schema].[name]" (two blanks before the name).
[[nodiscard]] QString TableQueryText(const QString& schema, const QString& name);

// Reads the current database, then every database in the server's order,
// handing each to `add` as it is read (entries handed over before a failure
// stay with the caller). Failures of the queries propagate.
void ReadDatabases(TDbQuery& aux, const std::function<void(const TDatabaseEntry&)>& add);
// Every table and view of the current database, sorted by name, each with
// its first-rows query.
void ReadTables(TDbQuery& aux, const std::function<void(const TTableEntry&)>& add);
// Makes `name` the current database of the auxiliary query's connection:
// "use" on SQL Server, the driver's current catalogue elsewhere.
void UseDatabase(TDbQuery& aux, const QString& name);
