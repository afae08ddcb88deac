// "Save as HTML" as the main window runs it.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionManager.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kNoResult = QStringLiteral("Нет результатов запроса.");

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class ExportCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(QDir().mkpath(Out()));
        TRegistry::SetStorePath(m_dir.filePath("registry"));
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue),
                        QStringLiteral("Driver=SQLite3;Database=%1").arg(m_dir.filePath("export.db")));
        ProcessConnectionString().clear();
        form = std::make_unique<TfrmQA>();
        form->show();
    }
    void TearDown() override
    {
        form.reset();
        ProcessConnectionString().clear();
        TRegistry::SetStorePath(QString());
    }
    QString Out() const { return m_dir.filePath(QStringLiteral("out")); }
    void RunQuery()
    {
        form->reQuery->setPlainText(QStringLiteral("select 1 as id, 'Привет <b>' as name"));
        form->bQuery->click();
        ASSERT_TRUE(form->ADOQuerySql->Active());
    }

    QTemporaryDir m_dir;
    TScopedDialogs dialogs;
    std::unique_ptr<TfrmQA> form;
};

TEST_F(ExportCommand, WithoutAResultOnlyTheMessageShowsAndNoFileIsMade)
{
    form->Button5->click();
    ASSERT_EQ(dialogs->log.size(), 1u);
    EXPECT_EQ(dialogs->log.front().kind, TDialogKind::Message);
    EXPECT_EQ(dialogs->log.front().text, kNoResult);
    EXPECT_TRUE(QDir(Out()).entryList(QDir::Files).isEmpty());
}

TEST_F(ExportCommand, TheChosenNameGetsHtmlAppendedAndAnOldFileIsReplaced)
{
    RunQuery();
    const QString chosen = QDir(Out()).filePath(QStringLiteral("report.html"));
    {
        QFile old(chosen + QStringLiteral(".HTML"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old content that is longer than nothing");
    }
    dialogs->QueueSaveFile(chosen);
    form->Button5->click();
    ASSERT_EQ(dialogs->Count(TDialogKind::SaveFile), 1u);
    EXPECT_EQ(dialogs->log.back().filter, form->SaveDialogFilter);
    EXPECT_EQ(dialogs->log.size(), 1u);   // no message, no error
    EXPECT_FALSE(QFile::exists(chosen));
    const QByteArray doc = ReadAll(chosen + QStringLiteral(".HTML"));
    EXPECT_TRUE(doc.startsWith("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">\r\n"));
    EXPECT_TRUE(doc.contains("<TITLE>dxDBGridRes</TITLE> \r\n"));
    EXPECT_TRUE(doc.contains(QStringLiteral("Привет &lt;b&gt;").toUtf8()));
    EXPECT_FALSE(doc.contains("old content"));

    dialogs->QueueSaveFile(QDir(Out()).filePath(QStringLiteral("report")));
    form->Button5->click();
    EXPECT_TRUE(QFile::exists(QDir(Out()).filePath(QStringLiteral("report.HTML"))));
}

TEST_F(ExportCommand, ACancelledDialogWritesNothing)
{
    RunQuery();
    dialogs->QueueSaveFile(std::nullopt);
    form->Button5->click();
    EXPECT_EQ(dialogs->log.size(), 1u);
    EXPECT_TRUE(QDir(Out()).entryList(QDir::Files).isEmpty());
}

TEST_F(ExportCommand, AFileThatCannotBeCreatedIsReportedInTheErrorBox)
{
    RunQuery();
    const QString chosen = QDir(Out()).filePath(QStringLiteral("missing/report"));
    dialogs->QueueSaveFile(chosen);
    form->Button5->click();
    ASSERT_EQ(dialogs->Count(TDialogKind::Error), 1u);
    EXPECT_TRUE(dialogs->Texts(TDialogKind::Error).front().startsWith(
        QStringLiteral("Cannot create file \"%1.HTML\". ").arg(chosen)));
}

} // namespace
