// The connection-string keyword functions and the connection dialog's model.

#include "platform/odbc/OdbcCatalog.h"
#include "platform/core/Failure.h"
#include "query/ConnectionSettings.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TConnectionKeywords Kw(std::initializer_list<std::pair<const char*, const char*>> pairs)
{
    TConnectionKeywords result;
    for (const auto& [k, v] : pairs)
        result.push_back(TConnectionKeyword{QString::fromUtf8(k), QString::fromUtf8(v)});
    return result;
}

} // namespace

TEST(ConnectionStringParse, SplitsPairsTrimsBlanksAndSkipsEmptySegments)
{
    EXPECT_EQ(ParseConnectionString(QStringLiteral(" Driver = {FreeTDS} ;;Server= host ;Port=1433;")),
              Kw({{"Driver", "FreeTDS"}, {"Server", "host"}, {"Port", "1433"}}));
    EXPECT_TRUE(ParseConnectionString(QString()).empty());
    EXPECT_TRUE(ParseConnectionString(QStringLiteral(" ; ;")).empty());
    // An unbraced value keeps inner "=" and braces; only ";" ends it.
    EXPECT_EQ(ParseConnectionString(QStringLiteral("PWD=a=b{c")), Kw({{"PWD", "a=b{c"}}));
    EXPECT_EQ(ParseConnectionString(QStringLiteral("PWD=")), Kw({{"PWD", ""}}));
}

TEST(ConnectionStringParse, BracedValuesAreVerbatimWithDoubledClosingBrace)
{
    EXPECT_EQ(ParseConnectionString(QStringLiteral("k={v;2};k2={ a=b }")),
              Kw({{"k", "v;2"}, {"k2", " a=b "}}));
    EXPECT_EQ(ParseConnectionString(QStringLiteral("PWD={x}}y{z}}}")), Kw({{"PWD", "x}y{z}"}}));
    EXPECT_EQ(ParseConnectionString(QStringLiteral("PWD={}")), Kw({{"PWD", ""}}));
}

TEST(ConnectionStringParse, MalformedStringsFailNamingTheKeyword)
{
    const auto message = [](const char* text) {
        try {
            (void)ParseConnectionString(QString::fromUtf8(text));
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("<no failure>");
    };
    EXPECT_EQ(message("Server=h;Oops;PWD=x"), QStringLiteral("Missing '=' after connection keyword 'Oops'"));
    EXPECT_EQ(message("Server=h;PWD={abc;def"), QStringLiteral("Unterminated braced value of connection keyword 'PWD'"));
    EXPECT_EQ(message("PWD={abc}def;x=1"), QStringLiteral("Unexpected text after the braced value of connection keyword 'PWD'"));
    EXPECT_EQ(message("=v"), QStringLiteral("Missing connection keyword before '='"));
}

TEST(ConnectionStringBuild, BracesOnlyWhatNeedsThemAndRoundTrips)
{
    EXPECT_EQ(BuildConnectionString(Kw({{"Driver", "FreeTDS"}, {"Server", "h"}, {"PWD", ""}})),
              QStringLiteral("Driver={FreeTDS};Server=h;PWD="));
    EXPECT_EQ(QuoteConnectionValue(QStringLiteral("a;b")), QStringLiteral("{a;b}"));
    // The SQLite3 driver reads values verbatim: "=" and inner braces stay bare.
    EXPECT_EQ(QuoteConnectionValue(QStringLiteral("/tmp/p=w}.db")), QStringLiteral("/tmp/p=w}.db"));
    EXPECT_EQ(QuoteConnectionValue(QStringLiteral("{x")), QStringLiteral("{{x}"));
    EXPECT_EQ(QuoteConnectionValue(QStringLiteral("};")), QStringLiteral("{}};}"));
    EXPECT_EQ(QuoteConnectionValue(QStringLiteral("plain")), QStringLiteral("plain"));

    const QStringList values = {
        QString(), QStringLiteral("plain"), QStringLiteral("semi;colon"), QStringLiteral("eq=uals=="),
        QStringLiteral("{braced}"), QStringLiteral("}}{{"), QStringLiteral(" lead"), QStringLiteral("trail "),
        QStringLiteral("\u041f\u0430\u0440\u043e\u043b\u044c;}=x"), QStringLiteral("a}b;c={d}"),
    };
    for (const QString& value : values) {
        const TConnectionKeywords original = {TConnectionKeyword{QStringLiteral("Driver"), QStringLiteral("X")},
                                              TConnectionKeyword{QStringLiteral("PWD"), value},
                                              TConnectionKeyword{QStringLiteral("UID"), QStringLiteral("u")}};
        EXPECT_EQ(ParseConnectionString(BuildConnectionString(original)), original) << value.toStdString();
    }
}

TEST(ConnectionStringBuild, RejectsKeysThatWouldInjectPairs)
{
    for (const char* key : {"", "a=b", "PWD;UID", "{x}", " lead"}) {
        EXPECT_FALSE(IsValidConnectionKey(QString::fromUtf8(key))) << key;
        EXPECT_THROW((void)BuildConnectionString({TConnectionKeyword{QString::fromUtf8(key), QStringLiteral("v")}}), Exception) << key;
    }
    EXPECT_TRUE(IsValidConnectionKey(QStringLiteral("TDS_Version")));
}

TEST(ConnectionStringLookup, IgnoresCaseAndTheFirstOccurrenceWins)
{
    const TConnectionKeywords k = Kw({{"Server", "a"}, {"SERVER", "b"}});
    EXPECT_EQ(FindConnectionKeyword(k, QStringLiteral("server")), QStringLiteral("a"));
    EXPECT_FALSE(FindConnectionKeyword(k, QStringLiteral("Port")).has_value());
}

TEST(ProviderList, DriverKindsAndSqlServerFirst)
{
    EXPECT_EQ(DriverKindOf(QStringLiteral("FreeTDS")), TDriverKind::SqlServer);
    EXPECT_EQ(DriverKindOf(QStringLiteral("ODBC Driver 18 for SQL Server")), TDriverKind::SqlServer);
    EXPECT_EQ(DriverKindOf(QStringLiteral("PostgreSQL Unicode")), TDriverKind::PostgreSql);
    EXPECT_EQ(DriverKindOf(QStringLiteral("SQLite3")), TDriverKind::SQLite);
    EXPECT_EQ(DriverKindOf(QStringLiteral("MySQL")), TDriverKind::Other);

    const auto entries = OrderProviders(
        {{QStringLiteral("PostgreSQL ANSI")}, {QStringLiteral("SQLite3")}, {QStringLiteral("FreeTDS")},
         {QStringLiteral("MySQL")}},
        {{QStringLiteral("pgdsn"), QStringLiteral("PostgreSQL Unicode")},
         {QStringLiteral("mssql"), QStringLiteral("FreeTDS")}});
    QStringList captions;
    for (const auto& e : entries)
        captions << e.Caption();
    EXPECT_EQ(captions, (QStringList{QStringLiteral("FreeTDS"), QStringLiteral("PostgreSQL ANSI"),
                                     QStringLiteral("SQLite3"), QStringLiteral("MySQL"),
                                     QStringLiteral("DSN: mssql (FreeTDS)"),
                                     QStringLiteral("DSN: pgdsn (PostgreSQL Unicode)")}));
}

TEST(ProviderList, TheInstalledCatalogueLeadsWithFreeTds)
{
    const auto drivers = OdbcDrivers();
    const bool hasFreeTds = std::any_of(drivers.begin(), drivers.end(),
                                        [](const TOdbcDriver& d) { return d.Name == QStringLiteral("FreeTDS"); });
    const bool hasSqlite = std::any_of(drivers.begin(), drivers.end(),
                                       [](const TOdbcDriver& d) { return d.Name == QStringLiteral("SQLite3"); });
    ASSERT_TRUE(hasFreeTds && hasSqlite) << "the test machine registers FreeTDS and SQLite3 with the driver manager";
    const auto entries = OrderProviders(drivers, OdbcDataSources());
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().DriverKind(), TDriverKind::SqlServer);
}

TEST(ConnectionSettings, FreeTdsFieldsBuildTheCustomaryStringWhateverTheEntryOrder)
{
    TConnectionSettings settings;
    EXPECT_EQ(settings.ConnectionString(), QString());
    settings.SelectDriver(QStringLiteral("FreeTDS"));
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("Driver={FreeTDS};ClientCharset=UTF-8"));
    EXPECT_EQ(settings.Field(TConnectionField::TdsVersion), QStringLiteral("auto"));

    settings.SetField(TConnectionField::TdsVersion, QStringLiteral("7.4"));
    settings.SetField(TConnectionField::Password, QStringLiteral("p=1;x"));
    settings.SetField(TConnectionField::UserName, QStringLiteral("sa"));
    settings.SetField(TConnectionField::Database, QStringLiteral("master"));
    settings.SetField(TConnectionField::Port, QStringLiteral("1433"));
    settings.SetField(TConnectionField::Server, QStringLiteral("db1"));
    settings.SetField(TConnectionField::Encryption, QStringLiteral("require"));
    settings.SetField(TConnectionField::LoginTimeout, QStringLiteral("15"));
    EXPECT_EQ(settings.ConnectionString(),
              QStringLiteral("Driver={FreeTDS};Server=db1;Port=1433;Database=master;UID=sa;PWD={p=1;x};"
                             "Timeout=15;TDS_Version=7.4;Encryption=require;ClientCharset=UTF-8"));
    EXPECT_EQ(settings.Field(TConnectionField::Password), QStringLiteral("p=1;x"));

    // Clearing a field removes its keyword; "auto" is the version's absence.
    settings.SetField(TConnectionField::Port, QString());
    settings.SetField(TConnectionField::TdsVersion, QStringLiteral("auto"));
    settings.SetField(TConnectionField::Encryption, QString());
    settings.SetField(TConnectionField::LoginTimeout, QString());
    EXPECT_EQ(settings.ConnectionString(),
              QStringLiteral("Driver={FreeTDS};Server=db1;Database=master;UID=sa;PWD={p=1;x};ClientCharset=UTF-8"));

    // A new provider starts afresh.
    settings.SelectDriver(QStringLiteral("PostgreSQL Unicode"));
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("Driver={PostgreSQL Unicode};BoolsAsChar=0"));
}

TEST(ConnectionSettings, FieldSetsFollowTheDriver)
{
    TConnectionSettings settings;
    EXPECT_TRUE(settings.Fields().empty());
    settings.SelectDriver(QStringLiteral("PostgreSQL Unicode"));
    EXPECT_TRUE(settings.HasField(TConnectionField::Database));
    EXPECT_FALSE(settings.HasField(TConnectionField::TdsVersion));
    EXPECT_FALSE(settings.HasField(TConnectionField::DatabaseFile));
    // A field the driver lacks neither reads nor writes.
    settings.SetField(TConnectionField::TdsVersion, QStringLiteral("7.4"));
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("Driver={PostgreSQL Unicode};BoolsAsChar=0"));

    settings.SelectDriver(QStringLiteral("SQLite3"));
    EXPECT_EQ(settings.Fields(), std::vector<TConnectionField>{TConnectionField::DatabaseFile});
    settings.SetField(TConnectionField::DatabaseFile, QStringLiteral("/tmp/a;b.db"));
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("Driver={SQLite3};Database={/tmp/a;b.db}"));
    EXPECT_TRUE(settings.DatabaseListQuery().isEmpty());

    settings.SelectDriver(QStringLiteral("MySQL"));
    EXPECT_TRUE(settings.Fields().empty());

    // A data source offers the fields of the driver behind it.
    settings.SelectDataSource(QStringLiteral("mssql"), QStringLiteral("FreeTDS"));
    EXPECT_EQ(settings.Kind(), TDriverKind::SqlServer);
    settings.SetField(TConnectionField::Database, QStringLiteral("db"));
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("DSN=mssql;Database=db"));
}

TEST(ConnectionSettings, BlankPasswordWritesAnEmptyPwd)
{
    TConnectionSettings settings;
    settings.SelectDriver(QStringLiteral("FreeTDS"));
    settings.SetField(TConnectionField::UserName, QStringLiteral("sa"));
    settings.SetField(TConnectionField::Password, QStringLiteral("secret"));
    settings.SetBlankPassword(true);
    EXPECT_TRUE(settings.BlankPassword());
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("Driver={FreeTDS};UID=sa;PWD=;ClientCharset=UTF-8"));
    // An empty password entry keeps the blank password.
    settings.SetField(TConnectionField::Password, QString());
    EXPECT_TRUE(settings.BlankPassword());
    settings.SetBlankPassword(false);
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("Driver={FreeTDS};UID=sa;ClientCharset=UTF-8"));
    settings.SetField(TConnectionField::Password, QStringLiteral("x"));
    EXPECT_FALSE(settings.BlankPassword());
}

TEST(ConnectionSettings, AllPageEditsAndParsedStringsFeedTheFields)
{
    TConnectionSettings settings;
    settings.SetConnectionString(QStringLiteral("Driver={FreeTDS};server=h;PWD={a}}b};Extra=1"));
    EXPECT_EQ(settings.Kind(), TDriverKind::SqlServer);
    EXPECT_EQ(settings.Field(TConnectionField::Server), QStringLiteral("h"));
    EXPECT_EQ(settings.Field(TConnectionField::Password), QStringLiteral("a}b"));
    // A field edit replaces the existing keyword in place, whatever its case.
    settings.SetField(TConnectionField::Server, QStringLiteral("h2"));
    settings.SetField(TConnectionField::Port, QStringLiteral("1"));
    EXPECT_EQ(settings.ConnectionString(), QStringLiteral("Driver={FreeTDS};server=h2;Port=1;PWD=a}b;Extra=1"));

    const TConnectionKeywords before = settings.Keywords();
    EXPECT_THROW(settings.SetKeywords(Kw({{"Driver", "FreeTDS"}, {"bad;key", "x"}})), Exception);
    EXPECT_EQ(settings.Keywords(), before);
    EXPECT_THROW(settings.SetConnectionString(QStringLiteral("Driver={FreeTDS")), Exception);
    EXPECT_EQ(settings.Keywords(), before);

    settings.SetKeywords(Kw({{"Driver", "SQLite3"}, {"Database", "/x.db"}}));
    EXPECT_EQ(settings.Kind(), TDriverKind::SQLite);
    EXPECT_EQ(settings.Field(TConnectionField::DatabaseFile), QStringLiteral("/x.db"));
}

TEST(ConnectionSettings, DatabaseListingConnectsWithoutTheEnteredDatabase)
{
    TConnectionSettings settings;
    settings.SelectDriver(QStringLiteral("FreeTDS"));
    settings.SetField(TConnectionField::Server, QStringLiteral("h"));
    settings.SetField(TConnectionField::Database, QStringLiteral("missing"));
    EXPECT_EQ(settings.DatabaseListQuery(), QStringLiteral("select name from sys.databases"));
    EXPECT_EQ(settings.DatabaseListConnectionString(), QStringLiteral("Driver={FreeTDS};Server=h;ClientCharset=UTF-8"));
    EXPECT_EQ(settings.Field(TConnectionField::Database), QStringLiteral("missing"));

    settings.SelectDriver(QStringLiteral("PostgreSQL Unicode"));
    settings.SetField(TConnectionField::Server, QStringLiteral("h"));
    EXPECT_EQ(settings.DatabaseListQuery(), QStringLiteral("select datname from pg_database where not datistemplate"));
    EXPECT_EQ(settings.DatabaseListConnectionString(), QStringLiteral("Driver={PostgreSQL Unicode};Server=h;Database=postgres;BoolsAsChar=0"));
}
