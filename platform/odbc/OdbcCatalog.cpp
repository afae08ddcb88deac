#include "platform/odbc/OdbcCatalog.h"

#include "platform/core/Failure.h"
#include "platform/odbc/OdbcChars.h"
#include "platform/odbc/OdbcDatabase.h"
#include "platform/odbc/OdbcHandle.h"
#include "platform/odbc/OdbcText.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <utility>

namespace {

// An environment set to ODBC 3; empty when allocation failed.
TOdbcEnv OpenEnvironment()
{
    TOdbcEnv env;
    if (!OdbcSucceeded(env.Allocate(SQL_NULL_HANDLE))) {
        env.Reset();
        return env;
    }
    SQLSetEnvAttr(env.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    return env;
}

QString Shown(const SQLWCHAR* text, SQLSMALLINT length, std::size_t capacity)
{
    return FromSqlWide(text, std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)),
                                                   capacity - 1));
}

// Calls the driver manager's enumeration `list` (SQLDriversW or
// SQLDataSourcesW) from the first entry to the last; `add` gets the two texts
// of each entry.
template <class List, class Add>
void EnumeratePairs(List list, Add add)
{
    const TOdbcEnv env = OpenEnvironment();
    if (!env)
        return;
    SQLWCHAR first[512]; // a driver or data source name
    SQLWCHAR second[2048]; // its attributes or driver
    SQLSMALLINT firstLength = 0;
    SQLSMALLINT secondLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        const SQLRETURN rc = list(env.Get(), direction, first, SQLSMALLINT(std::size(first)), &firstLength, second,
                                  SQLSMALLINT(std::size(second)), &secondLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        add(Shown(first, firstLength, std::size(first)), Shown(second, secondLength, std::size(second)));
    }
}

bool IsBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

} // namespace

std::vector<TOdbcDriver> OdbcDrivers()
{
    std::vector<TOdbcDriver> result;
    EnumeratePairs(SQLDriversW, [&](QString name, QString) { result.push_back(TOdbcDriver{std::move(name)}); });
    return result;
}

std::vector<TOdbcDataSource> OdbcDataSources()
{
    std::vector<TOdbcDataSource> result;
    EnumeratePairs(SQLDataSourcesW, [&](QString name, QString driver) {
        result.push_back(TOdbcDataSource{std::move(name), std::move(driver)});
    });
    return result;
}

TConnectionKeywords ParseConnectionString(const QString& text)
{
    TConnectionKeywords result;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // One segment: [blanks] key "=" value [blanks] (";" | end).
        const qsizetype segmentStart = i;
        while (i < n && text[i] != u'=' && text[i] != u';')
            ++i;
        const QString key = text.mid(segmentStart, i - segmentStart).trimmed();
        if (i >= n || text[i] == u';') {
            if (!key.isEmpty())
                throw Exception(QStringLiteral("Missing '=' after connection keyword '%1'").arg(key));
            ++i;
            continue;
        }
        if (key.isEmpty())
            throw Exception(QStringLiteral("Missing connection keyword before '='"));
        ++i; // '='
        while (i < n && IsBlank(text[i]))
            ++i;
        QString value;
        if (i < n && text[i] == u'{') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == u'}') {
                    if (i + 1 < n && text[i + 1] == u'}') {
                        value += u'}';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text[i];
                ++i;
            }
            if (!closed)
                throw Exception(QStringLiteral("Unterminated braced value of connection keyword '%1'").arg(key));
            while (i < n && IsBlank(text[i]))
                ++i;
            if (i < n && text[i] != u';')
                throw Exception(QStringLiteral("Unexpected text after the braced value of connection keyword '%1'").arg(key));
        } else {
            const qsizetype valueStart = i;
            while (i < n && text[i] != u';')
                ++i;
            value = text.mid(valueStart, i - valueStart).trimmed();
        }
        result.push_back(TConnectionKeyword{key, value});
        if (i < n)
            ++i; // ';'
    }
    return result;
}

bool IsValidConnectionKey(const QString& key)
{
    if (key.isEmpty() || key.trimmed() != key)
        return false;
    for (const QChar c : key) {
        if (c == u'=' || c == u';' || c == u'{' || c == u'}')
            return false;
    }
    return true;
}

QString QuoteConnectionValue(const QString& value, bool forceBraces)
{
    // Braces only where parsing needs them: several drivers take values
    // verbatim and do not understand braces at all.
    const bool braces = forceBraces || value.trimmed() != value || value.startsWith(u'{') || value.contains(u';');
    if (!braces)
        return value;
    QString quoted;
    quoted.reserve(value.size() + 2);
    quoted += u'{';
    for (const QChar c : value) {
        quoted += c;
        if (c == u'}')
            quoted += u'}';
    }
    quoted += u'}';
    return quoted;
}

QString BuildConnectionString(const TConnectionKeywords& keywords)
{
    QString result;
    for (const TConnectionKeyword& keyword : keywords) {
        if (!IsValidConnectionKey(keyword.Key))
            throw Exception(QStringLiteral("Invalid connection keyword '%1'").arg(keyword.Key));
        if (!result.isEmpty())
            result += u';';
        result += keyword.Key;
        result += u'=';
        result += QuoteConnectionValue(keyword.Value, keyword.Key.compare(u"Driver", Qt::CaseInsensitive) == 0);
    }
    return result;
}

std::optional<QString> FindConnectionKeyword(const TConnectionKeywords& keywords, const QString& key)
{
    for (const TConnectionKeyword& keyword : keywords) {
        if (keyword.Key.compare(key, Qt::CaseInsensitive) == 0)
            return keyword.Value;
    }
    return std::nullopt;
}

// ------------------------------------------------- catalogue of a connection

namespace {

// The catalogue calls over one character type, as in OdbcChars.h.
template <class Ch>
struct TCatalogueCalls;

template <>
struct TCatalogueCalls<SQLCHAR> {
    static constexpr SQLSMALLINT kTextType = SQL_C_CHAR;
    static SQLRETURN Tables(SQLHSTMT stmt, SQLCHAR* cat, SQLCHAR* schema, SQLCHAR* table, SQLCHAR* types)
    {
        return SQLTables(stmt, cat, SQL_NTS, schema, SQL_NTS, table, SQL_NTS, types, SQL_NTS);
    }
    static SQLRETURN GetInfo(SQLHDBC dbc, SQLUSMALLINT what, SQLCHAR* out, SQLSMALLINT bytes, SQLSMALLINT* length)
    {
        return SQLGetInfo(dbc, what, out, bytes, length);
    }
    static SQLRETURN GetCatalogue(SQLHDBC dbc, SQLCHAR* out, SQLINTEGER bytes, SQLINTEGER* length)
    {
        return SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, out, bytes, length);
    }
    static SQLRETURN SetCatalogue(SQLHDBC dbc, SQLCHAR* name)
    {
        return SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, name, SQL_NTS);
    }
};

template <>
struct TCatalogueCalls<SQLWCHAR> {
    static constexpr SQLSMALLINT kTextType = SQL_C_WCHAR;
    static SQLRETURN Tables(SQLHSTMT stmt, SQLWCHAR* cat, SQLWCHAR* schema, SQLWCHAR* table, SQLWCHAR* types)
    {
        return SQLTablesW(stmt, cat, SQL_NTS, schema, SQL_NTS, table, SQL_NTS, types, SQL_NTS);
    }
    static SQLRETURN GetInfo(SQLHDBC dbc, SQLUSMALLINT what, SQLWCHAR* out, SQLSMALLINT bytes, SQLSMALLINT* length)
    {
        return SQLGetInfoW(dbc, what, out, bytes, length);
    }
    static SQLRETURN GetCatalogue(SQLHDBC dbc, SQLWCHAR* out, SQLINTEGER bytes, SQLINTEGER* length)
    {
        return SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, out, bytes, length);
    }
    static SQLRETURN SetCatalogue(SQLHDBC dbc, SQLWCHAR* name)
    {
        return SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, name, SQL_NTS);
    }
};

constexpr std::size_t kNameUnits = 1024;   // longer names are cut

// A text out of a buffer of `units` characters that holds `bytes` bytes of
// text (the length an ODBC call reports, possibly more than fit).
template <class Ch>
QString FromBuffer(const Ch* buffer, std::size_t units, long long bytes)
{
    const auto have = static_cast<std::size_t>(std::max<long long>(bytes, 0)) / sizeof(Ch);
    return TOdbcChars<Ch>::ToQString(buffer, std::min(have, units - 1));
}

// SQLGetInfo of a text item; empty when the driver does not answer.
QString InfoText(TOdbcConnection& conn, SQLUSMALLINT what)
{
    return WithOdbcChars(conn.WideDriver(), [&]<class Ch>() {
        Ch buffer[kNameUnits] = {};
        SQLSMALLINT bytes = 0;
        if (!OdbcSucceeded(TCatalogueCalls<Ch>::GetInfo(conn.Handle(), what, buffer, SQLSMALLINT(sizeof buffer), &bytes)))
            return QString();
        return FromBuffer(buffer, kNameUnits, bytes);
    });
}

void RequireOpen(TOdbcConnection& conn)
{
    conn.ClearErrors();
    if (!conn.Connected())
        conn.Raise({TDbError{0, QString(), QStringLiteral("Connection is not open")}});
}

// Runs SQLTables with the four arguments (a null QString passes NULL, which
// restricts nothing) and hands `row` each row's column texts `columns`
// (1-based; NULL reads as empty).
template <class Row>
void ListTables(TOdbcConnection& conn, int timeoutSeconds, const QString& catalogue, const QString& schema,
                const QString& table, const QString& types, std::initializer_list<SQLUSMALLINT> columns, Row row)
{
    RequireOpen(conn);
    TOdbcStmt stmt;
    if (!OdbcSucceeded(stmt.Allocate(conn.Handle()))) {
        stmt.Reset();
        conn.RaiseFrom(SQL_HANDLE_DBC, conn.Handle(), QStringLiteral("Cannot allocate a statement"));
    }
    SQLSetStmtAttr(stmt.Get(), SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(std::max(0, timeoutSeconds))), 0);
    WithOdbcChars(conn.WideDriver(), [&]<class Ch>() {
        using Calls = TCatalogueCalls<Ch>;
        std::vector<Ch> cat = TOdbcChars<Ch>::FromQString(catalogue);
        std::vector<Ch> sch = TOdbcChars<Ch>::FromQString(schema);
        std::vector<Ch> tab = TOdbcChars<Ch>::FromQString(table);
        std::vector<Ch> typ = TOdbcChars<Ch>::FromQString(types);
        // A null text is no restriction; an empty one is the empty value.
        const auto arg = [](const QString& text, std::vector<Ch>& chars) { return text.isNull() ? nullptr : chars.data(); };
        if (!OdbcSucceeded(Calls::Tables(stmt.Get(), arg(catalogue, cat), arg(schema, sch), arg(table, tab),
                                         arg(types, typ))))
            conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("The catalogue cannot be read"));
        std::vector<QString> values;
        for (;;) {
            const SQLRETURN rc = SQLFetch(stmt.Get());
            if (rc == SQL_NO_DATA)
                break;
            if (!OdbcSucceeded(rc))
                conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("The catalogue cannot be read"));
            values.clear();
            for (const SQLUSMALLINT column : columns) {
                Ch buffer[kNameUnits] = {};
                SQLLEN bytes = 0;
                const SQLRETURN got = SQLGetData(stmt.Get(), column, Calls::kTextType, buffer, sizeof buffer, &bytes);
                if (!OdbcSucceeded(got))
                    conn.RaiseFrom(SQL_HANDLE_STMT, stmt.Get(), QStringLiteral("The catalogue cannot be read"));
                values.push_back(bytes == SQL_NULL_DATA ? QString() : FromBuffer(buffer, kNameUnits, bytes));
            }
            row(values);
        }
    });
    conn.ClearErrors();
}

} // namespace

bool ServerIsSqlServer(TOdbcConnection& connection)
{
    return connection.Connected() && InfoText(connection, SQL_DBMS_NAME).contains(u"SQL Server");
}

QString CurrentCatalogue(TOdbcConnection& connection)
{
    RequireOpen(connection);
    QString name = WithOdbcChars(connection.WideDriver(), [&]<class Ch>() {
        Ch buffer[kNameUnits] = {};
        SQLINTEGER bytes = 0;
        if (!OdbcSucceeded(TCatalogueCalls<Ch>::GetCatalogue(connection.Handle(), buffer, SQLINTEGER(sizeof buffer), &bytes)))
            return QString();
        return FromBuffer(buffer, kNameUnits, bytes);
    });
    return name.isEmpty() ? InfoText(connection, SQL_DATABASE_NAME) : name;
}

std::vector<QString> CatalogueNames(TOdbcConnection& connection, int timeoutSeconds)
{
    const QString current = CurrentCatalogue(connection);
    std::vector<QString> names;
    // "N": the engine has no catalogues; asked for them anyway, some drivers
    // list their tables instead.
    if (InfoText(connection, SQL_CATALOG_NAME) != u"N") {
        const QString none = QStringLiteral("");
        ListTables(connection, timeoutSeconds, QStringLiteral(SQL_ALL_CATALOGS), none, none, none, {1},
                   [&](const std::vector<QString>& row) {
                       if (!row[0].isEmpty())
                           names.push_back(row[0]);
                   });
    }
    if (names.empty() && !current.isEmpty())
        names.push_back(current);
    return names;
}

std::vector<TCatalogueTable> CatalogueTables(TOdbcConnection& connection, int timeoutSeconds)
{
    std::vector<TCatalogueTable> tables;
    // Every schema ("%"): without it some drivers list only the search path.
    ListTables(connection, timeoutSeconds, QString(), QStringLiteral("%"), QStringLiteral("%"),
               QStringLiteral("TABLE,VIEW"), {2, 3},
               [&](const std::vector<QString>& row) { tables.push_back(TCatalogueTable{row[0], row[1]}); });
    std::stable_sort(tables.begin(), tables.end(), [](const TCatalogueTable& a, const TCatalogueTable& b) {
        if (const int c = a.name.compare(b.name, Qt::CaseInsensitive))
            return c < 0;
        if (const int c = a.name.compare(b.name))
            return c < 0;
        return a.schema < b.schema;
    });
    return tables;
}

void SetCurrentCatalogue(TOdbcConnection& connection, const QString& name)
{
    if (name == CurrentCatalogue(connection))
        return;
    WithOdbcChars(connection.WideDriver(), [&]<class Ch>() {
        std::vector<Ch> text = TOdbcChars<Ch>::FromQString(name);
        if (!OdbcSucceeded(TCatalogueCalls<Ch>::SetCatalogue(connection.Handle(), text.data())))
            connection.RaiseFrom(SQL_HANDLE_DBC, connection.Handle(),
                                 QStringLiteral("Cannot change to the database %1").arg(name));
    });
    connection.ClearErrors();
}

TRowLimitStyle RowLimitStyleOf(const QString& dbmsName)
{
    const QString name = dbmsName.toLower();
    for (const char16_t* top : {u"sql server", u"access", u"adaptive server", u"sql anywhere", u"teradata"})
        if (name.contains(top))
            return TRowLimitStyle::Top;
    if (name.contains(u"oracle") || name.contains(u"db2"))
        return TRowLimitStyle::FetchFirst;
    return TRowLimitStyle::Limit;
}

QString QuoteCatalogueName(const QString& part, const QString& quote)
{
    if (quote.trimmed().isEmpty())
        return part;
    QString inner = part;
    return quote + inner.replace(quote, quote + quote) + quote;
}

QString FirstRowsText(const TFirstRowsShape& shape, const TCatalogueTable& table, int rows)
{
    QString name = QuoteCatalogueName(table.name, shape.quote);
    if (!table.schema.isEmpty())
        name = QuoteCatalogueName(table.schema, shape.quote) + u'.' + name;
    switch (shape.style) {
    case TRowLimitStyle::Top:
        return QStringLiteral("select top %1 * from  ").arg(rows) + name;
    case TRowLimitStyle::FetchFirst:
        return QStringLiteral("select * from ") + name + QStringLiteral(" fetch first %1 rows only").arg(rows);
    case TRowLimitStyle::Limit:
        break;
    }
    return QStringLiteral("select * from ") + name + QStringLiteral(" limit %1").arg(rows);
}

TFirstRowsShape FirstRowsShapeOf(TOdbcConnection& connection)
{
    RequireOpen(connection);
    return TFirstRowsShape{RowLimitStyleOf(InfoText(connection, SQL_DBMS_NAME)),
                           InfoText(connection, SQL_IDENTIFIER_QUOTE_CHAR)};
}
