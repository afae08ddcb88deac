// Connecting: failures keep the driver's text and leave the connection closed.

#include "tests/data/OdbcTestSupport.h"
#include "tests/support/SilentListener.h"

#include <QElapsedTimer>
#include <QSet>

#include <chrono>
#include <future>
#include <thread>

using namespace odbc_test;

TEST(OdbcConnection, EmptyConnectionStringFailsWithTheDriverManagerMessage)
{
    TOdbcConnection c(QStringLiteral("ADOConnection"));
    EXPECT_EQ(c.LoginTimeout(), 300);
    const QString message = ErrorOf([&] { c.Open(); });
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(message.startsWith(QLatin1Char('['))) << message.toStdString();
    EXPECT_FALSE(c.Connected());
    ASSERT_FALSE(c.Errors().empty());
    EXPECT_EQ(c.Errors().front().SqlState, QStringLiteral("IM002"));
}

TEST(OdbcConnection, UnknownDriverFails)
{
    TOdbcConnection c(QStringLiteral("ADOConnection"));
    c.SetConnectionString(QStringLiteral("Driver=No Such Driver;Server=x"));
    EXPECT_FALSE(ErrorOf([&] { c.Open(); }).isEmpty());
    EXPECT_FALSE(c.Connected());
}

TEST(OdbcConnection, UnreachableServerFailsWithTheDriverText)
{
    TOdbcConnection c(QStringLiteral("ADOConnection"));
    c.SetConnectionString(QStringLiteral("Driver=FreeTDS;Server=127.0.0.1;Port=1;Database=x;UID=u;PWD=p"));
    c.SetLoginTimeout(2);
    const QString message = ErrorOf([&] { c.Open(); });
    EXPECT_FALSE(message.isEmpty());
    EXPECT_FALSE(message.contains(QStringLiteral("[FreeTDS]"))) << message.toStdString();
    EXPECT_FALSE(message.contains(QStringLiteral("[unixODBC]"))) << message.toStdString();
    // Every line once, though the driver posts some records twice.
    const QStringList lines = message.split(QLatin1Char('\n'));
    EXPECT_EQ(lines.size(), QSet<QString>(lines.begin(), lines.end()).size()) << message.toStdString();
    EXPECT_FALSE(c.Connected());
    EXPECT_FALSE(c.Errors().empty());
    // Closing a connection that never opened is harmless; a retry fails again.
    c.Close();
    EXPECT_FALSE(ErrorOf([&] { c.Open(); }).isEmpty());
}

// A server that takes the connection and never answers the login: the
// driver left to pick its protocol version retries with another one after
// the first time-out and never gives up on that one.
TEST(OdbcConnection, ALoginThatIsNeverAnsweredGivesUpAtTheLoginTimeout)
{
    const TSilentListener silent;
    ASSERT_NE(silent.Port(), 0);
    struct TOutcome {
        QString message;
        qint64 ms = -1;
    };
    auto connect = std::make_shared<std::packaged_task<TOutcome()>>([string = silent.FreeTdsString()] {
        TOdbcConnection c(QStringLiteral("ADOConnection"));
        c.SetConnectionString(string);
        c.SetLoginTimeout(2);
        QElapsedTimer clock;
        clock.start();
        TOutcome outcome;
        outcome.message = ErrorOf([&] { c.Open(); });
        outcome.ms = clock.elapsed();
        return outcome;
    });
    std::future<TOutcome> done = connect->get_future();
    // Detached, so a driver that never returns fails the test rather than hang it.
    std::thread([connect] { (*connect)(); }).detach();
    ASSERT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready) << "the login never gave up";
    const TOutcome outcome = done.get();
    EXPECT_FALSE(outcome.message.isEmpty());
    EXPECT_GE(outcome.ms, 1500);
    EXPECT_LT(outcome.ms, 10000);
}

TEST(OdbcConnection, SuccessClearsTheErrorsAndOpenIsIdempotent)
{
    TSqliteDb db;
    TOdbcConnection c(QStringLiteral("ADOConnection"));
    EXPECT_FALSE(ErrorOf([&] { c.Open(); }).isEmpty());
    EXPECT_FALSE(c.Errors().empty());
    c.SetConnectionString(db.ConnectionString());
    c.Open();
    EXPECT_TRUE(c.Connected());
    EXPECT_TRUE(c.Errors().empty());
    c.Open();
    EXPECT_TRUE(c.Connected());
    c.Close();
    c.Close();
    EXPECT_FALSE(c.Connected());
}

TEST(OdbcConnection, FactoriesMakeOdbcObjects)
{
    auto c = CreateDbConnection(QStringLiteral("ADOConnection"));
    ASSERT_NE(dynamic_cast<TOdbcConnection*>(c.get()), nullptr);
    auto q = CreateDbQuery(QStringLiteral("ADOQuerySql"), c.get());
    EXPECT_EQ(q->Connection(), c.get());
    EXPECT_EQ(q->Name(), QStringLiteral("ADOQuerySql"));
    EXPECT_EQ(q->CommandTimeout(), 30);
    // Not connected: a clear failure, not a crash.
    q->SetSQL(QStringLiteral("select 1"));
    EXPECT_TRUE(ErrorOf([&] { q->Open(); }).startsWith(QStringLiteral("ADOQuerySql: ")));
}
