// The canned queries as the main window runs them: each text reaches the
// server byte for byte, stays in the editor, and the run button repeats it.
// What the server received is read back from PostgreSQL's own record of the
// window's session (pg_stat_activity), from a second connection.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "grid/dxDBGrid.h"
#include "platform/settings/Registry.h"
#include "query/CannedQueries.h"
#include "query/ConnectionManager.h"
#include "query/untPwd.h"
#include "tests/data/OdbcTestSupport.h"
#include "tests/support/ScriptedDialogs.h"

#include <QAction>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

// The SQL texts, line by line, written out independently of the catalogue.
struct TExpected {
    const char* trigger;
    QStringList lines;
};

const QString kSeven = QStringLiteral("       ");

std::vector<TExpected> ExpectedCatalogue()
{
    return {
        {"tbName", {QStringLiteral("--Текущие сервер и база"), QStringLiteral("select db_name() as DB_NAME, serverproperty('servername') as SERVER")}},
        {"tbSize", {QStringLiteral("--Размер базы"), QStringLiteral("exec sp_helpfile")}},
        {"N1", {QStringLiteral("--Текущий сервер"), QStringLiteral("select serverproperty('servername') as SERVER")}},
        {"Collate1", {QStringLiteral("--collation for the server"), QStringLiteral("declare @CollateName varchar(250)"),
                      QStringLiteral("set @CollateName=(select cast(serverproperty('Collation') as varchar(250)))"),
                      QStringLiteral("SELECT @CollateName as Collate_Name, COLLATIONPROPERTY(@CollateName,'CodePage') as CodePage,"),
                      kSeven + QStringLiteral("COLLATIONPROPERTY(@CollateName,'LCID') as LCID")}},
        {"N2", {QStringLiteral("--The edition of the Microsoft\u00AE SQL Server\u2122"), QStringLiteral("select serverproperty('Edition') as Edition")}},
        {"N3", {QStringLiteral("--IntegratedSecurity"),
                QStringLiteral("select case serverproperty('IsIntegratedSecurityOnly')") + kSeven
                    + QStringLiteral("when 0 then 'Not Integrated Security'") + kSeven
                    + QStringLiteral("when 1 then 'Integrated Security'") + kSeven + QStringLiteral("end as IntegratedSecurity")}},
        {"N4", {QStringLiteral("--Single/Not Single User"),
                QStringLiteral("select case serverproperty('IsSingleUser')") + kSeven + QStringLiteral("when 0 then 'Not Single User'")
                    + kSeven + QStringLiteral("when 1 then 'Single User'") + kSeven + QStringLiteral("end as 'Single/Not Single'")}},
        {"N5", {QStringLiteral("--MachineName"), QStringLiteral("select serverproperty('MachineName') as MachineName")}},
        {"N6", {QStringLiteral("--ProcessID"), QStringLiteral("select serverproperty('ProcessID') as ProcessID")}},
        {"N7", {QStringLiteral("--Цифровая версия сервера"), QStringLiteral("select serverproperty('ProductVersion') as 'Цифровая версия сервера'")}},
        {"N8", {QStringLiteral("--Подробности ОС"), QStringLiteral("select serverproperty('ProductLevel') as 'Подробности ОС'")}},
        {"N10", {QStringLiteral("--Текущая база"), QStringLiteral("select db_name() as DB_NAME")}},
        {"Collation1", {QStringLiteral("--Collation базы"), QStringLiteral("SELECT DATABASEPROPERTYEX(db_name(),'Collation') as Collation")}},
        {"mmSizeD", {QStringLiteral("--Файлы базы и из размер "), QStringLiteral("sp_helpfile")}},
    };
}

TEST(CannedQueryCatalogue, EveryEntryHoldsItsLinesSeparatedByALoneCarriageReturn)
{
    const std::vector<TExpected> expected = ExpectedCatalogue();
    ASSERT_EQ(CannedQueries().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const TCannedQuery& entry = CannedQueries()[i];
        EXPECT_STREQ(entry.trigger, expected[i].trigger);   // menu order
        EXPECT_EQ(entry.Text(), expected[i].lines.join(u'\r')) << entry.trigger;
        EXPECT_FALSE(entry.Text().contains(u'\n')) << entry.trigger;
    }
    EXPECT_THROW((void)CannedQuery("N9"), Exception);   // the password window has no SQL
}

class CannedQueryForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        BQA_REQUIRE_PG();
        ASSERT_TRUE(m_dir.isValid());
        TRegistry::SetStorePath(m_dir.filePath("registry"));
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        // Without the fetch cursor, which would send the text inside a
        // DECLARE: what reaches the server is then the text alone.
        reg.WriteString(QString::fromUtf16(kConnectionValue),
                        odbc_test::PgConnectionString() + QStringLiteral(";UseDeclareFetch=0"));
        ProcessConnectionString().clear();
        form = std::make_unique<TfrmQA>();
        form->show();
        m_monitor = odbc_test::ConnectPg();
    }
    void TearDown() override
    {
        form.reset();
        ProcessConnectionString().clear();
        TRegistry::SetStorePath(QString());
    }

    // The session of the window's connection, asked from the window itself.
    QString WindowBackendPid()
    {
        form->reQuery->setPlainText(QStringLiteral("select pg_backend_pid() as pid"));
        form->bQuery->click();
        return form->dxDBGridRes->NodeCellText(0, 0);
    }

    // The last statement the server received on that session, and when.
    std::pair<QString, QString> LastStatement(const QString& pid)
    {
        auto q = odbc_test::OpenQuery(*m_monitor, QStringLiteral(
            "select query, cast(query_start as varchar) as started from pg_stat_activity where pid = %1").arg(pid));
        q->First();
        return {q->FieldByName(QStringLiteral("query"))->DisplayText(), q->FieldByName(QStringLiteral("started"))->DisplayText()};
    }

    void Trigger(const char* name)
    {
        const QString objectName = QString::fromLatin1(name);
        if (auto* button = form->findChild<QToolButton*>(objectName)) {
            button->click();
            return;
        }
        QAction* action = form->findChild<QAction*>(objectName);
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }

    QTemporaryDir m_dir;
    TScopedDialogs dialogs;
    std::unique_ptr<TfrmQA> form;
    std::unique_ptr<TOdbcConnection> m_monitor;
};

TEST_F(CannedQueryForm, EveryTextReachesTheServerByteForByteStaysInTheEditorAndRunsAgain)
{
    const QString pid = WindowBackendPid();
    ASSERT_FALSE(pid.isEmpty());
    for (const TExpected& e : ExpectedCatalogue()) {
        form->reQuery->setPlainText(QStringLiteral("unsaved text"));
        Trigger(e.trigger);
        const QString sent = e.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
        const auto first = LastStatement(pid);
        EXPECT_EQ(first.first, sent) << e.trigger;
        EXPECT_EQ(form->reQuery->toPlainText(), e.lines.join(u'\n')) << e.trigger;
        // The server knows none of the T-SQL: its message is in the memo.
        EXPECT_TRUE(form->MemoRes->isVisible()) << e.trigger;

        form->bQuery->click();
        const auto again = LastStatement(pid);
        EXPECT_EQ(again.first, sent) << e.trigger;
        EXPECT_NE(again.second, first.second) << e.trigger << ": not run again";
    }
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(CannedQueryForm, NotConnectedTheEntryConnectsFirstWithTheStoredString)
{
    ASSERT_FALSE(form->ADOConnection->Connected());
    form->N10->trigger();
    EXPECT_TRUE(form->ADOConnection->Connected());
    EXPECT_EQ(form->reQuery->toPlainText(), QStringLiteral("--Текущая база\nselect db_name() as DB_NAME"));
}

TEST(CannedQueryPassword, N9ShowsTheExistingHiddenPasswordWindow)
{
    TScopedDialogs dialogs;
    TfrmQA form;
    TfrmPwd password;
    frmPwd = &password;
    ASSERT_FALSE(password.isVisible());
    form.N9->trigger();
    EXPECT_TRUE(password.isVisible());
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("--тут писать запросы"));
    frmPwd = nullptr;
}

} // namespace
