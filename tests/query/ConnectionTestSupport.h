#pragma once
// Shared by the connection tests: a dialog service that records messages and
// answers file dialogs from a queue, a per-test store file, SQLite files.

#include "platform/DialogService.h"
#include "platform/Registry.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <stdexcept>

class TRecordingDialogs : public TDialogService {
public:
    QStringList Messages;
    QStringList Errors;
    std::deque<std::optional<QString>> OpenFileAnswers;

    void ShowMessage(const QString& text) override { Messages << text; }
    void ShowError(const QString& text) override { Errors << text; }
    bool Confirm(QWidget*, const QString&, const QString&) override { throw std::logic_error("unexpected Confirm"); }
    std::optional<QString> OpenFile(QWidget*, const QString&) override
    {
        if (OpenFileAnswers.empty())
            throw std::logic_error("unexpected OpenFile");
        auto answer = OpenFileAnswers.front();
        OpenFileAnswers.pop_front();
        return answer;
    }
    std::optional<QString> SaveFile(QWidget*, const QString&) override { throw std::logic_error("unexpected SaveFile"); }
    std::optional<TFontChoice> ChooseFont(QWidget*, const TFontChoice&) override { throw std::logic_error("unexpected ChooseFont"); }
};

// Installs a TRecordingDialogs and a store file in a fresh temporary
// directory for one test; both are undone afterwards.
class TConnectionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        auto dialogs = std::make_unique<TRecordingDialogs>();
        m_dialogs = dialogs.get();
        SetDialogService(std::move(dialogs));
        TRegistry::SetStorePath(StorePath());
    }
    void TearDown() override
    {
        TRegistry::SetStorePath(QString());
        SetDialogService(nullptr);
    }

    [[nodiscard]] QString StorePath() const { return m_dir.filePath(QStringLiteral("registry")); }
    [[nodiscard]] QString TempFile(const QString& name) const { return m_dir.filePath(name); }
    [[nodiscard]] TRecordingDialogs& RecordedDialogs() { return *m_dialogs; }

    // "Driver={SQLite3};Database=<file>", the file created by the driver.
    [[nodiscard]] QString SqliteString(const QString& name = QStringLiteral("test.db")) const
    {
        return QStringLiteral("Driver={SQLite3};Database=%1").arg(TempFile(name));
    }

    QTemporaryDir m_dir;
    TRecordingDialogs* m_dialogs = nullptr;
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
