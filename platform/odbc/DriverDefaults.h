#pragma once
// Connection keywords added for the drivers we ship, when the user's string
// leaves them unset, and what a statement needs of them. Pure: strings are
// only parsed and rebuilt.
//
// - psqlODBC: UseDeclareFetch=1 with Fetch=<kPostgresFetchRows>. Without a
//   cursor the driver holds the whole result in memory before the first row
//   is handed over, so a large fetch holds the result twice. The keyword asks
//   for fetching through a cursor; the connection then switches the driver's
//   own cursor fetch off (it crashes when the server dies during one of its
//   FETCHes) and runs each query in a cursor of its own (TOdbcServerCursor).
//   The server refuses a cursor for SELECT ... INTO and for data-modifying
//   WITH statements: those run without one (MayRunInACursor).
// - FreeTDS: TDS_Version=7.4. Left to detect the version, the driver falls
//   back to a Sybase login after the first attempt times out, and that
//   attempt never gives up on a server that accepts but does not answer.
//
// The SQLite3 driver has a mode that does not hold its own copy of a result
// (StepAPI), but in it a statement beginning with WITH that modifies data is
// never run, without an error; it is not turned on.
//
// Only strings that name their driver and take their settings from nowhere
// else get defaults: a DSN, a file DSN or a FreeTDS server section may set
// these keywords themselves, and a keyword in the string would override them.

#include <QString>

enum class TDriverFamily { Other, SQLite3, PostgreSQL, FreeTDS };

// The family of the driver a "Driver=" value or SQL_DRIVER_NAME names, by
// its name or the file name of its library.
[[nodiscard]] TDriverFamily DriverFamilyOf(const QString& driver);

inline constexpr int kPostgresFetchRows = 16384;
// psqlODBC's connection attribute for UseDeclareFetch (0 or 1).
inline constexpr int kPostgresDeclareFetchAttribute = 65539;

// `connectionString` with the defaults of its driver appended; unchanged
// when it names no driver we know, takes its settings from a data source,
// sets the keywords itself, or does not parse.
[[nodiscard]] QString WithDriverDefaults(const QString& connectionString);

// False when `sql` may write: it holds one of the words INTO, INSERT,
// UPDATE, DELETE or MERGE (any case, anywhere, so a word in a literal or a
// comment counts too). A server cursor takes only statements that do not.
[[nodiscard]] bool MayRunInACursor(QStringView sql);
