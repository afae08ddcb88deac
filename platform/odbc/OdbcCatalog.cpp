#include "platform/odbc/OdbcCatalog.h"

#include "platform/core/Failure.h"
#include "platform/odbc/OdbcHandle.h"
#include "platform/odbc/OdbcText.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
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
