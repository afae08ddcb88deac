#include "platform/odbc/OdbcCatalog.h"

#include "platform/core/Failure.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Owns an environment handle set to ODBC 3; invalid when allocation failed.
class TEnvHandle {
public:
    TEnvHandle()
    {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_handle))) {
            m_handle = SQL_NULL_HENV;
            return;
        }
        SQLSetEnvAttr(m_handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~TEnvHandle()
    {
        if (m_handle != SQL_NULL_HENV)
            SQLFreeHandle(SQL_HANDLE_ENV, m_handle);
    }
    TEnvHandle(const TEnvHandle&) = delete;
    TEnvHandle& operator=(const TEnvHandle&) = delete;

    [[nodiscard]] bool Valid() const { return m_handle != SQL_NULL_HENV; }
    [[nodiscard]] SQLHENV Get() const { return m_handle; }

private:
    SQLHENV m_handle = SQL_NULL_HENV;
};

QString FromSqlWChar(const SQLWCHAR* text, SQLSMALLINT length)
{
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16");
    if (length < 0)
        length = 0;
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(text), length);
}

bool IsBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

} // namespace

std::vector<TOdbcDriver> OdbcDrivers()
{
    std::vector<TOdbcDriver> result;
    TEnvHandle env;
    if (!env.Valid())
        return result;
    SQLWCHAR name[512];
    SQLWCHAR attributes[2048];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        const SQLRETURN rc = SQLDriversW(env.Get(), direction, name, SQLSMALLINT(std::size(name)), &nameLength,
                                         attributes, SQLSMALLINT(std::size(attributes)), &attributesLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        direction = SQL_FETCH_NEXT;
        const SQLSMALLINT shown = std::min<SQLSMALLINT>(nameLength, SQLSMALLINT(std::size(name) - 1));
        result.push_back(TOdbcDriver{FromSqlWChar(name, shown)});
    }
    return result;
}

std::vector<TOdbcDataSource> OdbcDataSources()
{
    std::vector<TOdbcDataSource> result;
    TEnvHandle env;
    if (!env.Valid())
        return result;
    SQLWCHAR name[SQL_MAX_DSN_LENGTH * 4 + 1];
    SQLWCHAR description[1024];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        const SQLRETURN rc = SQLDataSourcesW(env.Get(), direction, name, SQLSMALLINT(std::size(name)), &nameLength,
                                             description, SQLSMALLINT(std::size(description)), &descriptionLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        direction = SQL_FETCH_NEXT;
        const SQLSMALLINT nameShown = std::min<SQLSMALLINT>(nameLength, SQLSMALLINT(std::size(name) - 1));
        const SQLSMALLINT descriptionShown = std::min<SQLSMALLINT>(descriptionLength, SQLSMALLINT(std::size(description) - 1));
        result.push_back(TOdbcDataSource{FromSqlWChar(name, nameShown), FromSqlWChar(description, descriptionShown)});
    }
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
