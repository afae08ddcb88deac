#pragma once
// The model behind the connection dialog: an ordered ODBC keyword list plus
// the per-driver view of it (which fields a driver has and which keyword
// each field edits). Widget-free; the dialog only mirrors it.
//
// The keyword list is the single source of truth: every field reads from it
// and writes into it, so the "All" page and the field pages never disagree.

#include "platform/odbc/OdbcCatalog.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

enum class TDriverKind { SqlServer, PostgreSql, SQLite, Other };

// Classifies a driver by its registered name ("FreeTDS", "PostgreSQL
// Unicode", "SQLite3", ...); unknown names are Other.
[[nodiscard]] TDriverKind DriverKindOf(const QString& driverName);

enum class TConnectionField {
    Server, Port, Database, UserName, Password,   // server drivers
    DatabaseFile,                                 // file drivers
    LoginTimeout, TdsVersion, Encryption, ClientCharset   // advanced
};

// One line of the "Provider" page.
struct TProviderEntry {
    enum class TKind { Driver, DataSource };
    TKind Kind = TKind::Driver;
    QString Name;     // driver name or data source name
    QString Driver;   // the driver (for a data source: the one it uses)
    [[nodiscard]] TDriverKind DriverKind() const { return DriverKindOf(Driver); }
    [[nodiscard]] QString Caption() const;
};

// Drivers first, then data sources; within each group the SQL Server ones
// lead and the rest keep the driver manager's order.
[[nodiscard]] std::vector<TProviderEntry> OrderProviders(const std::vector<TOdbcDriver>& drivers,
                                                         const std::vector<TOdbcDataSource>& dataSources);

// Choices offered for the FreeTDS protocol version; "auto" is the keyword's
// absence.
[[nodiscard]] const QStringList& TdsVersionChoices();
// Choices for FreeTDS encryption; "" is the keyword's absence (the driver's
// default).
[[nodiscard]] const QStringList& EncryptionChoices();

class TConnectionSettings {
public:
    // Starts afresh with a driver: "Driver={name}" and that driver's
    // defaults (FreeTDS: ClientCharset=UTF-8). Everything else is dropped.
    void SelectDriver(const QString& driverName);
    // Starts afresh with a data source: "DSN=name"; `driverName` (may be
    // empty) decides which fields are offered.
    void SelectDataSource(const QString& dataSourceName, const QString& driverName);
    void Select(const TProviderEntry& entry);

    [[nodiscard]] TDriverKind Kind() const;
    [[nodiscard]] bool HasProvider() const;

    // The fields offered for the current driver, in page order.
    [[nodiscard]] std::vector<TConnectionField> Fields() const;
    [[nodiscard]] bool HasField(TConnectionField field) const;
    // The keyword a field edits for the current driver ("" when the driver
    // has no such field).
    [[nodiscard]] QString KeywordOf(TConnectionField field) const;
    // A field the driver lacks reads as "" and ignores writes. Writing ""
    // removes the keyword (Password: unless the blank password is set).
    [[nodiscard]] QString Field(TConnectionField field) const;
    void SetField(TConnectionField field, const QString& value);

    // "Blank password": PWD present and empty. Setting it clears the
    // password; clearing it removes the empty PWD.
    [[nodiscard]] bool BlankPassword() const;
    void SetBlankPassword(bool blank);

    [[nodiscard]] const TConnectionKeywords& Keywords() const { return m_keywords; }
    // Replaces the list wholesale (the "All" page). Invalid keys raise
    // Exception and leave the settings unchanged.
    void SetKeywords(TConnectionKeywords keywords);
    [[nodiscard]] std::optional<QString> Keyword(const QString& key) const;
    // Sets the first occurrence (case-insensitive) or inserts the keyword at
    // its customary place for the driver.
    void SetKeyword(const QString& key, const QString& value);
    void RemoveKeyword(const QString& key);

    // The ODBC connection string, password included; "" without a provider.
    [[nodiscard]] QString ConnectionString() const;
    // Parses and adopts `text` (Exception on a malformed string, settings
    // unchanged).
    void SetConnectionString(const QString& text);

    // Listing the server's databases: the statement ("" when the driver has
    // none) and the string to connect with for it (the entered values, with
    // the database replaced by one that always exists).
    [[nodiscard]] QString DatabaseListQuery() const;
    [[nodiscard]] QString DatabaseListConnectionString() const;

private:
    [[nodiscard]] int RankOf(const QString& key) const;

    TConnectionKeywords m_keywords;
    QString m_dataSourceDriver;   // driver behind a DSN, from the catalogue
};
