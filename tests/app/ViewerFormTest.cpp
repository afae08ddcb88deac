// Cell copy and the content viewer as the main window wires them, over
// PostgreSQL results.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "grid/dxDBGrid.h"
#include "platform/data/MemDataSet.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionManager.h"
#include "query/untNotes.h"
#include "tests/data/OdbcTestSupport.h"
#include "tests/support/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class ViewerForm : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (odbc_test::PgConnectionString().isEmpty())
            return;
        ASSERT_TRUE(m_dir.isValid());
        TRegistry::SetStorePath(m_dir.filePath(QStringLiteral("registry")));
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), odbc_test::PgConnectionString());
        ProcessConnectionString().clear();
        form = std::make_unique<TfrmQA>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    void TearDown() override
    {
        delete frmNotes;
        form.reset();
        ProcessConnectionString().clear();
        TRegistry::SetStorePath(QString());
    }

    void Run(const QString& sql)
    {
        form->reQuery->setPlainText(sql);
        form->bQuery->click();
        ASSERT_TRUE(form->dxDBGridRes->isVisible()) << form->MemoRes->toPlainText().toStdString();
    }
    // Focuses the cell of record `recNo` (1-based), visible column `column`.
    void Focus(int recNo, int column)
    {
        form->ADOQuerySql->SetRecNo(recNo);
        form->dxDBGridRes->SetFocusedVisibleColumn(column);
    }
    void DoubleClickGrid()
    {
        QTest::mouseDClick(form->dxDBGridRes->viewport(), Qt::LeftButton, {}, QPoint(20, 30));
    }

    QTemporaryDir m_dir;
    TScopedDialogs dialogs;
    std::unique_ptr<TfrmQA> form;
};

// Four columns: a number, a short string, a date and a long text.
const QString kMixed = QStringLiteral(
    "select 7 as n, 'short'::varchar(10) as s, date '2024-03-05' as d, E'one\\ttab\\ntwo'::text as t "
    "union all select 8, 'other', date '2024-03-06', null::text");

TEST_F(ViewerForm, CopyPutsTheFocusedCellsDisplayTextOnTheClipboard)
{
    BQA_REQUIRE_PG();
    Run(kMixed);
    Focus(1, 1);
    form->N11->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("short"));
    Focus(2, 3);   // NULL
    QApplication::clipboard()->setText(QStringLiteral("before"));
    form->N11->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QString());
    Focus(1, 3);
    form->N11->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("one\ttab\ntwo"));
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(ViewerForm, CopyOfARightClickedCellInAnotherRow)
{
    BQA_REQUIRE_PG();
    Run(kMixed);
    ASSERT_EQ(form->ADOQuerySql->RecNo(), 2);   // the run ends on the last record
    // Right-click the first row's string cell: it takes the focus, and the
    // menu's copy takes that cell.
    const QRect cell = form->dxDBGridRes->ComputeLayout().CellRect(0, 1);
    QWidget* viewport = form->dxDBGridRes->viewport();
    QTest::mousePress(viewport, Qt::RightButton, {}, cell.center());
    QContextMenuEvent menu(QContextMenuEvent::Mouse, cell.center(), viewport->mapToGlobal(cell.center()));
    QApplication::sendEvent(viewport, &menu);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, cell.center());
    ASSERT_TRUE(form->pmCopy->isVisible());
    form->N11->trigger();
    form->pmCopy->close();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("short"));
    EXPECT_EQ(form->ADOQuerySql->RecNo(), 1);
}

TEST_F(ViewerForm, DoubleClickOpensOnlyANonNullLongTextCell)
{
    BQA_REQUIRE_PG();
    Run(kMixed);
    for (const auto& [recNo, column] : {std::pair{1, 0}, {1, 1}, {1, 2}, {2, 3}}) {
        SCOPED_TRACE(column);
        Focus(recNo, column);
        DoubleClickGrid();
        EXPECT_EQ(frmNotes, nullptr);
    }
    Focus(1, 3);
    DoubleClickGrid();
    ASSERT_NE(frmNotes, nullptr);
    EXPECT_TRUE(frmNotes->isVisible());
    EXPECT_EQ(frmNotes->reRes->toPlainText(), QStringLiteral("one\ttab\ntwo"));
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(ViewerForm, AReadOnlyResultOpensTheViewer)
{
    BQA_REQUIRE_PG();
    Run(QStringLiteral("select repeat('ab', 40000)::text as t"));
    auto* result = dynamic_cast<TMemDataSet*>(form->ADOQuerySql.get());
    ASSERT_NE(result, nullptr);
    result->SetReadOnly(true);
    ASSERT_FALSE(form->ADOQuerySql->CanModify());
    Focus(1, 0);
    DoubleClickGrid();
    EXPECT_TRUE(dialogs->log.empty()) << dialogs->log.front().text.toStdString();
    ASSERT_NE(frmNotes, nullptr);
    EXPECT_TRUE(frmNotes->isVisible());
    EXPECT_EQ(frmNotes->reRes->TextLength(), 80000);
    EXPECT_EQ(form->ADOQuerySql->State(), dsBrowse);
}

TEST_F(ViewerForm, TheStatusBarMasksThePasswordTheConnectionKeepsIt)
{
    BQA_REQUIRE_PG();
    Run(QStringLiteral("select 1"));
    const QString real = odbc_test::PgConnectionString();
    ASSERT_TRUE(real.contains(QStringLiteral("PWD="), Qt::CaseInsensitive));
    EXPECT_FALSE(form->StatusBar1->StatusText().contains(QStringLiteral("PWD=;"), Qt::CaseInsensitive));
    EXPECT_TRUE(form->StatusBar1->StatusText().contains(QStringLiteral("*****")));
    EXPECT_EQ(ProcessConnectionString(), real);
    EXPECT_EQ(form->ADOConnection->ConnectionString(), real);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), false));
    EXPECT_EQ(reg.ReadString(QString::fromUtf16(kConnectionValue)), real);
}

TEST_F(ViewerForm, AServerErrorKeepsThePasswordWindowOpenWithItsContents)
{
    BQA_REQUIRE_PG();
    // The server does not take the statement: the run shows its error in
    // the memo and ends with the silent abort.
    form->N9->trigger();
    ASSERT_NE(frmPwd, nullptr);
    frmPwd->edUser->setText(QStringLiteral("bqa"));
    frmPwd->edPwd->setText(QStringLiteral("new"));
    frmPwd->bbOk->click();
    ASSERT_NE(frmPwd, nullptr);
    EXPECT_TRUE(frmPwd->isVisible());
    EXPECT_EQ(frmPwd->edUser->text(), QStringLiteral("bqa"));
    EXPECT_EQ(frmPwd->edPwd->text(), QStringLiteral("new"));
    EXPECT_TRUE(form->MemoRes->isVisible());
    EXPECT_TRUE(form->MemoRes->toPlainText().contains(QStringLiteral("syntax error"))) << form->MemoRes->toPlainText().toStdString();
    EXPECT_EQ(form->reQuery->toPlainText(), QStringLiteral("--Изменение пароля\nEXECUTE sp_password null, 'new','bqa'"));
    EXPECT_TRUE(dialogs->log.empty());
    delete frmPwd;
}

} // namespace
