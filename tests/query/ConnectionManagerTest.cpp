// Choosing and reopening the connection against real drivers, with a
// scripted connection dialog, recorded message boxes and a private store.

#include "tests/query/ConnectionTestSupport.h"

#include "platform/core/Failure.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionManager.h"
#include "query/Database.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class TScriptedProvider : public TConnectionDialogProvider {
public:
    TScriptedProvider(QString answer, int* calls) : m_answer(std::move(answer)), m_calls(calls) {}
    QString Execute() override
    {
        ++*m_calls;
        return m_answer;
    }
private:
    QString m_answer;
    int* m_calls;
};

class ConnectionManager : public TConnectionFixture {
protected:
    void SetUp() override
    {
        TConnectionFixture::SetUp();
        ProcessConnectionString().clear();
    }
    void TearDown() override
    {
        SetConnectionDialogProvider(nullptr);
        ProcessConnectionString().clear();
        TConnectionFixture::TearDown();
    }

    // The next dialog answers `answer` ("" = cancelled).
    void ScriptDialog(const QString& answer)
    {
        SetConnectionDialogProvider(std::make_unique<TScriptedProvider>(answer, &m_dialogCalls));
    }

    [[nodiscard]] static std::unique_ptr<TDbConnection> NewConnection()
    {
        auto connection = CreateDbConnection(QStringLiteral("ADOConnection"));
        connection->SetLoginTimeout(5);
        return connection;
    }

    [[nodiscard]] static QString StoredValue()
    {
        TRegistry registry;
        if (!registry.OpenKey(QString::fromUtf16(kConnectionKey), false))
            return QStringLiteral("<no key>");
        if (!registry.ValueExists(QString::fromUtf16(kConnectionValue)))
            return QStringLiteral("<no value>");
        return registry.ReadString(QString::fromUtf16(kConnectionValue));
    }

    static void Store(const QString& value)
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(QString::fromUtf16(kConnectionKey), true));
        registry.WriteString(QString::fromUtf16(kConnectionValue), value);
    }

    int m_dialogCalls = 0;
};

} // namespace

TEST_F(ConnectionManager, FirstStartWithNothingStoredFailsWithTheDriverManagersMessage)
{
    auto connection = NewConnection();
    try {
        Reconnect(*connection);
        FAIL() << "connected with an empty string";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Data source name not found"))) << e.Message().toStdString();
    }
    EXPECT_FALSE(connection->Connected());
    EXPECT_TRUE(ProcessConnectionString().isEmpty());
    EXPECT_EQ(connection->ConnectionString(), QString());
    // The key is created on the way, the value is not.
    EXPECT_EQ(StoredValue(), QStringLiteral("<no value>"));
}

TEST_F(ConnectionManager, UnreachableServerIsReportedAbortedAndStoredAnyway)
{
    const QString unreachable = UnreachableServerString();
    ScriptDialog(unreachable);
    auto connection = NewConnection();
    EXPECT_THROW(ChooseConnection(*connection), EAbort);

    EXPECT_EQ(m_dialogCalls, 1);
    ASSERT_EQ(Messages().size(), 1);
    ASSERT_FALSE(connection->Errors().empty());
    EXPECT_TRUE(Messages()[0].contains(connection->Errors().front().Message))
        << Messages()[0].toStdString();
    EXPECT_TRUE(RecordedDialogs().Texts(TDialogKind::Error).isEmpty());
    EXPECT_FALSE(connection->Connected());
    EXPECT_EQ(ProcessConnectionString(), unreachable);
    EXPECT_EQ(StoredValue(), unreachable);

    // The next action that needs the server tries the same string again.
    auto next = NewConnection();
    EXPECT_THROW(Reconnect(*next), EDatabaseError);
    EXPECT_EQ(next->ConnectionString(), unreachable);
    EXPECT_EQ(m_dialogCalls, 1);
}

TEST_F(ConnectionManager, AfterARestartTheStoredStringConnectsWithoutAnyDialog)
{
    ScriptDialog(SqliteString());
    auto first = NewConnection();
    ChooseConnection(*first);
    EXPECT_TRUE(first->Connected());
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(StoredValue(), SqliteString());

    // A new process: nothing in memory, the stored value only.
    ProcessConnectionString().clear();
    first.reset();
    auto connection = NewConnection();
    Reconnect(*connection);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(ProcessConnectionString(), SqliteString());
    EXPECT_EQ(m_dialogCalls, 1);
}

TEST_F(ConnectionManager, AnEmptyStoredValueKeepsTheProcessString)
{
    Store(QString());
    ProcessConnectionString() = SqliteString();
    auto connection = NewConnection();
    Reconnect(*connection);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(ProcessConnectionString(), SqliteString());
    EXPECT_EQ(StoredValue(), QString());
}

TEST_F(ConnectionManager, ReconnectClosesFirstAndAdoptsTheStoredString)
{
    auto connection = NewConnection();
    connection->SetConnectionString(SqliteString(QStringLiteral("old.db")));
    connection->Open();
    ProcessConnectionString() = SqliteString(QStringLiteral("old.db"));
    Store(SqliteString(QStringLiteral("new.db")));

    Reconnect(*connection);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(connection->ConnectionString(), SqliteString(QStringLiteral("new.db")));
    EXPECT_EQ(ProcessConnectionString(), SqliteString(QStringLiteral("new.db")));
}

TEST_F(ConnectionManager, ACancelledDialogChangesNothing)
{
    auto connection = NewConnection();
    connection->SetConnectionString(SqliteString());
    connection->Open();
    ProcessConnectionString() = SqliteString();
    ScriptDialog(QString());

    ChooseConnection(*connection);
    EXPECT_EQ(m_dialogCalls, 1);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(connection->ConnectionString(), SqliteString());
    EXPECT_EQ(ProcessConnectionString(), SqliteString());
    EXPECT_FALSE(QFile::exists(StorePath())) << "the store was touched";
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(ConnectionManager, ANewStringReplacesAnOpenConnection)
{
    auto connection = NewConnection();
    connection->SetConnectionString(SqliteString(QStringLiteral("old.db")));
    connection->Open();
    ScriptDialog(SqliteString(QStringLiteral("new.db")));

    ChooseConnection(*connection);
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(connection->ConnectionString(), SqliteString(QStringLiteral("new.db")));
    EXPECT_EQ(StoredValue(), SqliteString(QStringLiteral("new.db")));
}

TEST_F(ConnectionManager, StoreFailuresNameTheValue)
{
    // A stored value of another type fails the read, after the close.
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(QString::fromUtf16(kConnectionKey), true));
        registry.WriteInteger(QString::fromUtf16(kConnectionValue), 7);
    }
    auto connection = NewConnection();
    connection->SetConnectionString(SqliteString());
    connection->Open();
    try {
        Reconnect(*connection);
        FAIL() << "read a non-string value";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Invalid data type for 'A'"));
    }
    EXPECT_FALSE(connection->Connected());

    // A store that cannot be written: the confirmed string is used all the
    // same, and the message names the file that could not be written.
    QFile blocker(TempFile(QStringLiteral("not-a-directory")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unwritable = TempFile(QStringLiteral("not-a-directory/registry"));
    TRegistry::SetStorePath(unwritable);
    connection->Open();
    ScriptDialog(SqliteString(QStringLiteral("other.db")));
    try {
        ChooseConnection(*connection);
        FAIL() << "wrote to an unwritable store";
    } catch (const EAbort&) {
        FAIL() << "the write failure was taken for a connection failure";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Failed to set data for 'A'"))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("could not be saved"))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(unwritable)) << e.Message().toStdString();
    }
    EXPECT_TRUE(connection->Connected());
    EXPECT_EQ(connection->ConnectionString(), SqliteString(QStringLiteral("other.db")));
    EXPECT_EQ(ProcessConnectionString(), SqliteString(QStringLiteral("other.db")));

    // The next reconnect keeps the choice; the older stored string does not
    // come back once the store is readable again.
    TRegistry::SetStorePath(TempFile(QStringLiteral("registry")));
    Store(SqliteString(QStringLiteral("old.db")));
    Reconnect(*connection);
    EXPECT_EQ(connection->ConnectionString(), SqliteString(QStringLiteral("other.db")));
    EXPECT_TRUE(Messages().isEmpty());
}
