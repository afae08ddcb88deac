#pragma once
// What the ODBC driver manager knows (installed drivers and data source
// names), and the keyword list of ODBC connection strings.
//
// The keyword functions are pure. The enumeration functions ask the driver
// manager each time they are called; they belong to no thread in particular
// and report a failing driver manager as an empty list.

#include <QString>

#include <optional>
#include <vector>

struct TOdbcDriver {
    QString Name;          // as it goes into "Driver={...}"
};

struct TOdbcDataSource {
    QString Name;          // as it goes into "DSN=..."
    QString Driver;        // the driver the data source uses (may be empty)
};

// Installed drivers, in the driver manager's order.
[[nodiscard]] std::vector<TOdbcDriver> OdbcDrivers();
// User and system data sources, in the driver manager's order.
[[nodiscard]] std::vector<TOdbcDataSource> OdbcDataSources();

// One "keyword=value" pair of a connection string; the value is unquoted.
struct TConnectionKeyword {
    QString Key;
    QString Value;
    friend bool operator==(const TConnectionKeyword&, const TConnectionKeyword&) = default;
};
using TConnectionKeywords = std::vector<TConnectionKeyword>;

// Splits "k=v;k2={v;2}" into its pairs, in order. Keys and unbraced values
// are trimmed of surrounding blanks; a braced value is taken verbatim, "}}"
// inside braces standing for one "}". Empty segments (";;") are skipped.
// A segment without "=" or a brace that is never closed raises Exception
// naming the keyword, so a garbled string is never half-applied.
[[nodiscard]] TConnectionKeywords ParseConnectionString(const QString& text);

// A key that survives a round trip: not empty after trimming, and without
// "=", ";", braces or surrounding blanks.
[[nodiscard]] bool IsValidConnectionKey(const QString& key);

// The inverse of ParseConnectionString: pairs joined with ";", each value
// braced only when it would not survive parsing otherwise (a ";", a leading
// "{", surrounding blanks), since some drivers read values verbatim. The key "Driver" always has its value braced, as
// driver names customarily are. An invalid key raises Exception rather than
// let it smuggle further pairs into the string.
[[nodiscard]] QString BuildConnectionString(const TConnectionKeywords& keywords);

// The value as it goes after "=": braced, with "}" doubled, when needed.
[[nodiscard]] QString QuoteConnectionValue(const QString& value, bool forceBraces = false);

// Case-insensitive keyword lookup (connection keywords ignore case); the
// first occurrence wins, as with the drivers.
[[nodiscard]] std::optional<QString> FindConnectionKeyword(const TConnectionKeywords& keywords, const QString& key);

// ---- the catalogue of a connected server, through the driver's catalogue
// functions (SQLTables), for servers that are not SQL Server

class TOdbcConnection;

// A table or view as the driver lists it.
struct TCatalogueTable {
    QString schema;   // empty where the engine has no schemas
    QString name;
    friend bool operator==(const TCatalogueTable&, const TCatalogueTable&) = default;
};

// True when the driver reports SQL Server as its DBMS (SQL_DBMS_NAME): the
// server takes Transact-SQL. False for any other engine, and when the
// connection is not open.
[[nodiscard]] bool ServerIsSqlServer(TOdbcConnection& connection);

// The database the connection is in: the driver's current catalogue, or for
// an engine without catalogues the database it names (for SQLite the file).
[[nodiscard]] QString CurrentCatalogue(TOdbcConnection& connection);
// The databases the driver lists, in its order; the current one alone for an
// engine without catalogues or a driver that lists none.
[[nodiscard]] std::vector<QString> CatalogueNames(TOdbcConnection& connection, int timeoutSeconds);
// The tables and views of the current database, every schema, sorted by name
// (case-insensitive first), then by schema.
[[nodiscard]] std::vector<TCatalogueTable> CatalogueTables(TOdbcConnection& connection, int timeoutSeconds);
// Makes `name` the current catalogue; the current one itself succeeds as it
// is. Failures raise EDatabaseError.
void SetCurrentCatalogue(TOdbcConnection& connection, const QString& name);

// How an engine asks for a table's first rows.
enum class TRowLimitStyle { Top, Limit, FetchFirst };
// The style for an SQL_DBMS_NAME: "top" for the engines that take it,
// "fetch first" for Oracle and DB2, "limit" for every other.
[[nodiscard]] TRowLimitStyle RowLimitStyleOf(const QString& dbmsName);

struct TFirstRowsShape {
    TRowLimitStyle style = TRowLimitStyle::Limit;
    QString quote;   // SQL_IDENTIFIER_QUOTE_CHAR; blank: names go unquoted
};
// The connected engine's style and quoting.
[[nodiscard]] TFirstRowsShape FirstRowsShapeOf(TOdbcConnection& connection);

// `part` between `quote`s, each `quote` inside doubled; as it is when `quote`
// is empty or blank (the driver quotes nothing).
[[nodiscard]] QString QuoteCatalogueName(const QString& part, const QString& quote);
// "select top N * from  <table>", "select * from <table> limit N" or
// "select * from <table> fetch first N rows only"; <table> is the quoted
// schema, ".", and the quoted name, or the quoted name alone.
[[nodiscard]] QString FirstRowsText(const TFirstRowsShape& shape, const TCatalogueTable& table, int rows);
