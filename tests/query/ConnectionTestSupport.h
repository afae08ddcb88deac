#pragma once
// Shared by the connection tests: scripted dialogs, a per-test store file, SQLite files.

#include "tests/support/ScriptedDialogs.h"
#include "platform/settings/Registry.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

// Installs scripted dialogs and a store file in a fresh temporary
// directory for one test; both are undone afterwards.
class TConnectionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        TRegistry::SetStorePath(StorePath());
    }
    void TearDown() override
    {
        TRegistry::SetStorePath(QString());
    }

    [[nodiscard]] QString StorePath() const { return m_dir.filePath(QStringLiteral("registry")); }
    [[nodiscard]] QString TempFile(const QString& name) const { return m_dir.filePath(name); }
    [[nodiscard]] TScriptedDialogs& RecordedDialogs() { return *m_dialogs; }
    [[nodiscard]] QStringList Messages() const { return m_dialogs->Texts(TDialogKind::Message); }

    // "Driver={SQLite3};Database=<file>", the file created by the driver.
    [[nodiscard]] QString SqliteString(const QString& name = QStringLiteral("test.db")) const
    {
        return QStringLiteral("Driver={SQLite3};Database=%1").arg(TempFile(name));
    }

    QTemporaryDir m_dir;
    TScopedDialogs m_dialogs;
};

// The FreeTDS driver aimed at a loopback port nothing listens on.
inline QString UnreachableServerString()
{
    return QStringLiteral("Driver={FreeTDS};Server=127.0.0.1;Port=1;Database=x;UID=u;PWD=p;Timeout=5");
}

// BQA_PG_CONN, or "" (the caller skips; under CI=true it fails instead).
inline QString PgConnectionString()
{
    const char* s = std::getenv("BQA_PG_CONN");
    return s ? QString::fromUtf8(s) : QString();
}

#define BQA_REQUIRE_PG(conn)                                                    \
    const QString conn = PgConnectionString();                                  \
    if (conn.isEmpty()) {                                                       \
        const char* ci = std::getenv("CI");                                     \
        if (ci && std::string(ci) == "true")                                    \
            FAIL() << "BQA_PG_CONN is not set";                                 \
        GTEST_SKIP() << "BQA_PG_CONN is not set";                               \
    }
