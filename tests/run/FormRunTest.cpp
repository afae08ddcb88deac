// The run actions as the main window wires them: the stored connection
// string, the buttons, the memo and the grid.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "grid/dxDBGrid.h"
#include "platform/settings/Registry.h"
#include "tests/support/ScriptedDialogs.h"
#include "query/ConnectionManager.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class FormRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        TRegistry::SetStorePath(m_dir.filePath("registry"));
        m_string = QStringLiteral("Driver=SQLite3;Database=%1").arg(m_dir.filePath("form.db"));
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), m_string);
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

    QTemporaryDir m_dir;
    QString m_string;
    TScopedDialogs dialogs;
    std::unique_ptr<TfrmQA> form;
};

} // namespace

TEST_F(FormRun, RunButtonConnectsWithTheStoredStringAndShowsTheGrid)
{
    form->reQuery->setPlainText(QStringLiteral("select 1 as a, 'два' as b"));
    form->bQuery->click();
    EXPECT_TRUE(dialogs->log.empty());
    EXPECT_TRUE(form->ADOConnection->Connected());
    EXPECT_EQ(form->StatusBar1->StatusText(), m_string);
    EXPECT_TRUE(form->dxDBGridRes->isVisible());
    EXPECT_FALSE(form->MemoRes->isVisible());
    ASSERT_EQ(form->dxDBGridRes->ColumnCount(), 2);
    EXPECT_EQ(form->dxDBGridRes->NodeCellText(0, 1), QStringLiteral("два"));
}

TEST_F(FormRun, FailureShowsTheMemoAndTheGreenButtonDoesTheSame)
{
    form->reQuery->setPlainText(QStringLiteral("select 1"));
    form->ToolButton1->click();
    ASSERT_TRUE(form->dxDBGridRes->isVisible());

    form->reQuery->setPlainText(QStringLiteral("selec nonsense"));
    form->ToolButton1->click();   // the silent abort shows no box
    EXPECT_TRUE(dialogs->log.empty());
    EXPECT_FALSE(form->dxDBGridRes->isVisible());
    EXPECT_TRUE(form->MemoRes->isVisible());
    EXPECT_TRUE(form->MemoRes->toPlainText().contains(QStringLiteral("syntax error"))) << form->MemoRes->toPlainText().toStdString();
}

TEST_F(FormRun, NothingStoredShowsTheDriverManagersMessageAndLeavesTheStatusBarEmpty)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), QString());
    }
    form->reQuery->setPlainText(QStringLiteral("select 1"));
    form->bQuery->click();
    ASSERT_EQ(dialogs->Count(TDialogKind::Error), 1u);
    EXPECT_FALSE(dialogs->Texts(TDialogKind::Error).front().isEmpty());
    EXPECT_EQ(form->StatusBar1->StatusText(), QString());
    EXPECT_TRUE(form->MemoRes->isVisible());
}
