#pragma once
// Connections to the test drivers: SQLite3 on a temporary file, PostgreSQL
// from BQA_PG_CONN (skipped when unset, failed when CI=true).

#include "platform/odbc/OdbcDatabase.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace odbc_test {

inline QString PgConnectionString()
{
    const char* s = std::getenv("BQA_PG_CONN");
    return s ? QString::fromUtf8(s) : QString();
}

inline bool RunningInCi()
{
    const char* ci = std::getenv("CI");
    return ci && QByteArray(ci) == "true";
}

// Skips the calling test when PostgreSQL is not configured (fails on CI).
#define BQA_REQUIRE_PG()                                                              \
    do {                                                                              \
        if (odbc_test::PgConnectionString().isEmpty()) {                              \
            if (odbc_test::RunningInCi())                                             \
                FAIL() << "BQA_PG_CONN is not set";                                   \
            GTEST_SKIP() << "BQA_PG_CONN is not set";                                 \
        }                                                                             \
    } while (0)

// A SQLite3 database in a fresh temporary directory.
class TSqliteDb {
public:
    TSqliteDb() : m_path(m_dir.filePath(QStringLiteral("test.db"))) {}
    [[nodiscard]] QString ConnectionString() const
    {
        return QStringLiteral("Driver=SQLite3;Database=%1").arg(m_path);
    }
private:
    QTemporaryDir m_dir;
    QString m_path;
};

// Opens a connection; raises on failure.
inline std::unique_ptr<TOdbcConnection> Connect(const QString& connectionString, int loginTimeout = 10)
{
    auto c = std::make_unique<TOdbcConnection>(QStringLiteral("ADOConnection"));
    c->SetConnectionString(connectionString);
    c->SetLoginTimeout(loginTimeout);
    c->Open();
    return c;
}

// Bools as SQL_BIT rather than as "1"/"0" text.
inline std::unique_ptr<TOdbcConnection> ConnectPg()
{
    return Connect(PgConnectionString() + QStringLiteral(";BoolsAsChar=0"));
}

inline std::unique_ptr<TOdbcQuery> OpenQuery(TOdbcConnection& c, const QString& sql, int timeout = 30)
{
    auto q = std::make_unique<TOdbcQuery>(QStringLiteral("ADOQuerySql"), &c);
    q->SetCommandTimeout(timeout);
    q->SetSQL(sql);
    q->Open();
    return q;
}

inline long long Exec(TOdbcConnection& c, const QString& sql)
{
    TOdbcQuery q(QStringLiteral("qrySqlDop"), &c);
    q.SetSQL(sql);
    return q.ExecSQL();
}

// The message of the EDatabaseError `f` raises ("" when nothing is raised).
template <typename F>
QString ErrorOf(F&& f)
{
    try {
        f();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return {};
}

} // namespace odbc_test
