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
