#include "query/ConnectionSettings.h"

#include "platform/core/Failure.h"

#include <algorithm>
#include <utility>

namespace {

const QString kDriver = QStringLiteral("Driver");
const QString kDsn = QStringLiteral("DSN");

bool SameKey(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Customary keyword order of a string for each driver kind; keywords not
// listed go after these, in the order they were added.
const QStringList& CanonicalOrder(TDriverKind kind)
{
    static const QStringList sqlServer = {kDriver, kDsn, QStringLiteral("Server"), QStringLiteral("Port"),
                                          QStringLiteral("Database"), QStringLiteral("UID"), QStringLiteral("PWD"),
                                          QStringLiteral("Timeout"), QStringLiteral("TDS_Version"),
                                          QStringLiteral("Encryption"), QStringLiteral("ClientCharset")};
    static const QStringList postgres = {kDriver, kDsn, QStringLiteral("Server"), QStringLiteral("Port"),
                                         QStringLiteral("Database"), QStringLiteral("UID"), QStringLiteral("PWD"),
                                         QStringLiteral("BoolsAsChar")};
    static const QStringList sqlite = {kDriver, kDsn, QStringLiteral("Database")};
    static const QStringList other = {kDriver, kDsn};
    switch (kind) {
    case TDriverKind::SqlServer: return sqlServer;
    case TDriverKind::PostgreSql: return postgres;
    case TDriverKind::SQLite: return sqlite;
    case TDriverKind::Other: break;
    }
    return other;
}

} // namespace

TDriverKind DriverKindOf(const QString& driverName)
{
    const QString name = driverName.toLower();
    if (name.contains(u"freetds") || name.contains(u"sql server") || name.contains(u"tds"))
        return TDriverKind::SqlServer;
    if (name.contains(u"postgres") || name.contains(u"psql"))
        return TDriverKind::PostgreSql;
    if (name.contains(u"sqlite"))
        return TDriverKind::SQLite;
    return TDriverKind::Other;
}

QString TProviderEntry::Caption() const
{
    if (Kind == TKind::Driver)
        return Name;
    return Driver.isEmpty() ? QStringLiteral("DSN: %1").arg(Name) : QStringLiteral("DSN: %1 (%2)").arg(Name, Driver);
}

std::vector<TProviderEntry> OrderProviders(const std::vector<TOdbcDriver>& drivers,
                                           const std::vector<TOdbcDataSource>& dataSources)
{
    std::vector<TProviderEntry> result;
    result.reserve(drivers.size() + dataSources.size());
    for (const TOdbcDriver& d : drivers)
        result.push_back(TProviderEntry{TProviderEntry::TKind::Driver, d.Name, d.Name});
    for (const TOdbcDataSource& s : dataSources)
        result.push_back(TProviderEntry{TProviderEntry::TKind::DataSource, s.Name, s.Driver});
    const auto group = [](const TProviderEntry& e) {
        const int kindRank = e.Kind == TProviderEntry::TKind::Driver ? 0 : 2;
        return kindRank + (e.DriverKind() == TDriverKind::SqlServer ? 0 : 1);
    };
    std::stable_sort(result.begin(), result.end(),
                     [&](const TProviderEntry& a, const TProviderEntry& b) { return group(a) < group(b); });
    return result;
}

const QStringList& TdsVersionChoices()
{
    static const QStringList choices = {QStringLiteral("auto"), QStringLiteral("7.0"), QStringLiteral("7.1"),
                                        QStringLiteral("7.2"), QStringLiteral("7.3"), QStringLiteral("7.4")};
    return choices;
}

const QStringList& EncryptionChoices()
{
    static const QStringList choices = {QString(), QStringLiteral("request"), QStringLiteral("require"),
                                        QStringLiteral("off")};
    return choices;
}

void TConnectionSettings::SelectDriver(const QString& driverName)
{
    m_keywords = {TConnectionKeyword{kDriver, driverName}};
    m_dataSourceDriver.clear();
    if (Kind() == TDriverKind::SqlServer)
        SetField(TConnectionField::ClientCharset, QStringLiteral("UTF-8"));
    // psqlODBC hands booleans over as text unless told otherwise; as
    // booleans they show as True/False like every other engine's.
    if (Kind() == TDriverKind::PostgreSql)
        SetKeyword(QStringLiteral("BoolsAsChar"), QStringLiteral("0"));
}

void TConnectionSettings::SelectDataSource(const QString& dataSourceName, const QString& driverName)
{
    m_keywords = {TConnectionKeyword{kDsn, dataSourceName}};
    m_dataSourceDriver = driverName;
}

void TConnectionSettings::Select(const TProviderEntry& entry)
{
    if (entry.Kind == TProviderEntry::TKind::Driver)
        SelectDriver(entry.Name);
    else
        SelectDataSource(entry.Name, entry.Driver);
}

TDriverKind TConnectionSettings::Kind() const
{
    if (const auto driver = Keyword(kDriver))
        return DriverKindOf(*driver);
    if (Keyword(kDsn))
        return DriverKindOf(m_dataSourceDriver);
    return TDriverKind::Other;
}

bool TConnectionSettings::HasProvider() const
{
    return Keyword(kDriver).has_value() || Keyword(kDsn).has_value();
}

std::vector<TConnectionField> TConnectionSettings::Fields() const
{
    switch (Kind()) {
    case TDriverKind::SqlServer:
        return {TConnectionField::Server, TConnectionField::Port, TConnectionField::Database, TConnectionField::UserName,
                TConnectionField::Password, TConnectionField::LoginTimeout, TConnectionField::TdsVersion,
                TConnectionField::Encryption, TConnectionField::ClientCharset};
    case TDriverKind::PostgreSql:
        return {TConnectionField::Server, TConnectionField::Port, TConnectionField::Database, TConnectionField::UserName,
                TConnectionField::Password};
    case TDriverKind::SQLite:
        return {TConnectionField::DatabaseFile};
    case TDriverKind::Other:
        break;
    }
    return {};
}

bool TConnectionSettings::HasField(TConnectionField field) const
{
    const std::vector<TConnectionField> fields = Fields();
    return std::find(fields.begin(), fields.end(), field) != fields.end();
}

QString TConnectionSettings::KeywordOf(TConnectionField field) const
{
    if (!HasField(field))
        return {};
    switch (field) {
    case TConnectionField::Server: return QStringLiteral("Server");
    case TConnectionField::Port: return QStringLiteral("Port");
    case TConnectionField::Database: return QStringLiteral("Database");
    case TConnectionField::UserName: return QStringLiteral("UID");
    case TConnectionField::Password: return QStringLiteral("PWD");
    case TConnectionField::DatabaseFile: return QStringLiteral("Database");
    case TConnectionField::LoginTimeout: return QStringLiteral("Timeout");
    case TConnectionField::TdsVersion: return QStringLiteral("TDS_Version");
    case TConnectionField::Encryption: return QStringLiteral("Encryption");
    case TConnectionField::ClientCharset: return QStringLiteral("ClientCharset");
    }
    return {};
}

QString TConnectionSettings::Field(TConnectionField field) const
{
    const QString key = KeywordOf(field);
    if (key.isEmpty())
        return {};
    const std::optional<QString> value = Keyword(key);
    if (field == TConnectionField::TdsVersion && (!value || value->isEmpty()))
        return QStringLiteral("auto");
    return value.value_or(QString());
}

void TConnectionSettings::SetField(TConnectionField field, const QString& value)
{
    const QString key = KeywordOf(field);
    if (key.isEmpty())
        return;
    if (field == TConnectionField::TdsVersion && value.compare(u"auto", Qt::CaseInsensitive) == 0) {
        RemoveKeyword(key);
        return;
    }
    if (value.isEmpty()) {
        if (field == TConnectionField::Password && BlankPassword())
            return;
        RemoveKeyword(key);
        return;
    }
    SetKeyword(key, value);
}

bool TConnectionSettings::BlankPassword() const
{
    const QString key = KeywordOf(TConnectionField::Password);
    if (key.isEmpty())
        return false;
    const std::optional<QString> value = Keyword(key);
    return value && value->isEmpty();
}

void TConnectionSettings::SetBlankPassword(bool blank)
{
    const QString key = KeywordOf(TConnectionField::Password);
    if (key.isEmpty())
        return;
    if (blank)
        SetKeyword(key, QString());
    else if (BlankPassword())
        RemoveKeyword(key);
}

void TConnectionSettings::SetKeywords(TConnectionKeywords keywords)
{
    for (const TConnectionKeyword& k : keywords) {
        if (!IsValidConnectionKey(k.Key))
            throw Exception(QStringLiteral("Invalid connection keyword '%1'").arg(k.Key));
    }
    m_keywords = std::move(keywords);
}

std::optional<QString> TConnectionSettings::Keyword(const QString& key) const
{
    return FindConnectionKeyword(m_keywords, key);
}

int TConnectionSettings::RankOf(const QString& key) const
{
    const QStringList& order = CanonicalOrder(Kind());
    for (int i = 0; i < order.size(); ++i) {
        if (SameKey(order[i], key))
            return i;
    }
    return int(order.size());
}

void TConnectionSettings::SetKeyword(const QString& key, const QString& value)
{
    if (!IsValidConnectionKey(key))
        throw Exception(QStringLiteral("Invalid connection keyword '%1'").arg(key));
    for (TConnectionKeyword& k : m_keywords) {
        if (SameKey(k.Key, key)) {
            k.Value = value;
            return;
        }
    }
    const int rank = RankOf(key);
    auto at = std::find_if(m_keywords.begin(), m_keywords.end(),
                           [&](const TConnectionKeyword& k) { return RankOf(k.Key) > rank; });
    m_keywords.insert(at, TConnectionKeyword{key, value});
}

void TConnectionSettings::RemoveKeyword(const QString& key)
{
    std::erase_if(m_keywords, [&](const TConnectionKeyword& k) { return SameKey(k.Key, key); });
}

QString TConnectionSettings::ConnectionString() const
{
    if (!HasProvider())
        return {};
    return BuildConnectionString(m_keywords);
}

void TConnectionSettings::SetConnectionString(const QString& text)
{
    SetKeywords(ParseConnectionString(text));
}

QString TConnectionSettings::DatabaseListQuery() const
{
    switch (Kind()) {
    case TDriverKind::SqlServer: return QStringLiteral("select name from sys.databases");
    case TDriverKind::PostgreSql: return QStringLiteral("select datname from pg_database where not datistemplate");
    case TDriverKind::SQLite:
    case TDriverKind::Other:
        break;
    }
    return {};
}

QString TConnectionSettings::DatabaseListConnectionString() const
{
    TConnectionSettings copy = *this;
    switch (Kind()) {
    case TDriverKind::SqlServer:
        // Without a database the login's default one is used.
        copy.RemoveKeyword(QStringLiteral("Database"));
        break;
    case TDriverKind::PostgreSql:
        copy.SetKeyword(QStringLiteral("Database"), QStringLiteral("postgres"));
        break;
    case TDriverKind::SQLite:
    case TDriverKind::Other:
        return {};
    }
    return copy.ConnectionString();
}
