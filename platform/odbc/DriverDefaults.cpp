#include "platform/odbc/DriverDefaults.h"

#include "platform/core/Failure.h"
#include "platform/odbc/OdbcCatalog.h"

#include <initializer_list>
#include <string_view>

TDriverFamily DriverFamilyOf(const QString& driver)
{
    const QString name = driver.toLower();
    if (name.contains(u"sqlite3"))
        return TDriverFamily::SQLite3;
    if (name.contains(u"postgres") || name.contains(u"psqlodbc"))
        return TDriverFamily::PostgreSQL;
    if (name.contains(u"freetds") || name.contains(u"tdsodbc"))
        return TDriverFamily::FreeTDS;
    return TDriverFamily::Other;
}

namespace {

struct TDefault {
    const char16_t* key;
    QString value;
};

std::vector<TDefault> DefaultsOf(TDriverFamily family)
{
    switch (family) {
    case TDriverFamily::PostgreSQL:
        return {{u"UseDeclareFetch", QStringLiteral("1")}, {u"Fetch", QString::number(kPostgresFetchRows)}};
    case TDriverFamily::FreeTDS:
        return {{u"TDS_Version", QStringLiteral("7.4")}};
    case TDriverFamily::SQLite3:
    case TDriverFamily::Other:
        break;
    }
    return {};
}

bool TakesSettingsFromElsewhere(const TConnectionKeywords& keywords)
{
    for (const char16_t* key : {u"DSN", u"FILEDSN", u"Servername"}) {
        if (FindConnectionKeyword(keywords, QString::fromUtf16(key)))
            return true;
    }
    return false;
}

} // namespace

QString WithDriverDefaults(const QString& connectionString)
{
    TConnectionKeywords keywords;
    try {
        keywords = ParseConnectionString(connectionString);
    } catch (const Exception&) {
        return connectionString;   // the driver reports what is wrong with it
    }
    const std::optional<QString> driver = FindConnectionKeyword(keywords, QStringLiteral("Driver"));
    if (!driver || TakesSettingsFromElsewhere(keywords))
        return connectionString;
    QString result = connectionString;
    for (const TDefault& d : DefaultsOf(DriverFamilyOf(*driver))) {
        const QString key = QString::fromUtf16(d.key);
        if (FindConnectionKeyword(keywords, key))
            continue;
        if (!result.isEmpty() && !result.endsWith(u';'))
            result += u';';
        result += key + u'=' + d.value;
    }
    return result;
}

bool MayRunInACursor(QStringView sql)
{
    static constexpr std::u16string_view kWriting[] = {u"into", u"insert", u"update", u"delete", u"merge"};
    const auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'$'; };
    qsizetype i = 0;
    const qsizetype n = sql.size();
    while (i < n) {
        if (!isWordChar(sql[i])) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < n && isWordChar(sql[i]))
            ++i;
        const QStringView word = sql.mid(start, i - start);
        for (const std::u16string_view w : kWriting) {
            if (word.compare(QStringView(w.data(), static_cast<qsizetype>(w.size())), Qt::CaseInsensitive) == 0)
                return false;
        }
    }
    return true;
}
