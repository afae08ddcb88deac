// The database and table pickers on the main window. The auxiliary query is
// a recording one, so the statements the menus build can be read back; the
// connection is a real one (SQLite), opened from the stored string. One
// test reads real tables from PostgreSQL.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "grid/dxDBGrid.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionManager.h"
#include "query/DbPickers.h"
#include "query/QueryRun.h"
#include "tests/data/OdbcTestSupport.h"
#include "tests/support/RecordingQuery.h"
#include "tests/support/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kCurrent = QString::fromUtf16(kCurrentDbSql);
const QString kDatabases = QString::fromUtf16(kDatabasesSql);
const QString kTables = QString::fromUtf16(kTablesSql);

QStringList Captions(const QMenu* menu)
{
    QStringList out;
    for (const QAction* a : menu->actions())
        out << a->text();
    return out;
}

QAction* ItemNamed(const QMenu* menu, const QString& caption)
{
    for (QAction* a : menu->actions())
        if (a->text() == caption)
            return a;
    return nullptr;
}

class PickerForm : public ::testing::Test {
protected:
    void SetUp() override { Start(QStringLiteral("Driver=SQLite3;Database=%1").arg(m_dir.filePath("pick.db"))); }
    void Start(const QString& connectionString)
    {
        ASSERT_TRUE(m_dir.isValid());
        TRegistry::SetStorePath(m_dir.filePath("registry"));
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), connectionString);
        ProcessConnectionString().clear();
        form = std::make_unique<TfrmQA>();
        form->show();
    }
    void UseRecordingAux()
    {
        aux = new TRecordingQuery;
        form->qrySqlDop.reset(aux);
    }
    void TearDown() override
    {
        form.reset();
        ProcessConnectionString().clear();
        TRegistry::SetStorePath(QString());
    }
    void ScriptDatabases(const QString& current, const QStringList& names)
    {
        std::vector<QStringList> rows;
        for (const QString& n : names)
            rows.push_back({n});
        aux->Answer(kCurrent, TextRows({QStringLiteral("CurDb")}, {{current}}));
        aux->Answer(kDatabases, TextRows({QStringLiteral("name")}, rows));
    }

    QTemporaryDir m_dir;
    TScopedDialogs dialogs;
    std::unique_ptr<TfrmQA> form;
    TRecordingQuery* aux = nullptr;   // owned by the form
};

TEST_F(PickerForm, OpenedTwiceEachDatabaseShowsOnceAndTheTickFollowsTheCurrentOne)
{
    UseRecordingAux();
    ScriptDatabases(QStringLiteral("Sales"), {QStringLiteral("master"), QStringLiteral("sales"), QStringLiteral("Sales"), QStringLiteral("R&D")});
    emit form->pmDB->aboutToShow();
    emit form->pmDB->aboutToShow();
    EXPECT_EQ(Captions(form->pmDB), QStringList({QStringLiteral("master"), QStringLiteral("sales"), QStringLiteral("Sales"), QStringLiteral("R&&D")}));
    // Only the current one has a check box at all, and it is ticked.
    std::vector<bool> ticks;
    std::vector<bool> boxes;
    for (const QAction* a : form->pmDB->actions()) {
        ticks.push_back(a->isChecked());
        boxes.push_back(a->isCheckable());
    }
    EXPECT_EQ(ticks, std::vector<bool>({false, false, true, false}));
    EXPECT_EQ(boxes, ticks);

    ScriptDatabases(QStringLiteral("master"), {QStringLiteral("master"), QStringLiteral("Sales")});
    emit form->pmDB->aboutToShow();
    ASSERT_EQ(form->pmDB->actions().size(), 2);
    EXPECT_TRUE(form->pmDB->actions()[0]->isChecked());
    EXPECT_FALSE(form->pmDB->actions()[1]->isChecked());
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(PickerForm, NotConnectedTheMenuConnectsFirstWithTheStoredString)
{
    UseRecordingAux();
    ScriptDatabases(QStringLiteral("main"), {QStringLiteral("main")});
    ASSERT_FALSE(form->ADOConnection->Connected());
    emit form->pmDB->aboutToShow();
    EXPECT_TRUE(form->ADOConnection->Connected());
    EXPECT_EQ(form->pmDB->actions().size(), 1);
}

TEST_F(PickerForm, ChoosingADatabaseRunsTheQuotedUseOnTheRealNameAndSaysSo)
{
    UseRecordingAux();
    const QStringList names = {QStringLiteral("R&D"), QStringLiteral("a]b"), QStringLiteral("it's; drop database x"), QStringLiteral("two  blanks")};
    ScriptDatabases(QStringLiteral("none"), names);
    for (const QString& n : names)
        aux->Accept(UseDatabaseStatement(n));
    emit form->pmDB->aboutToShow();
    ASSERT_EQ(form->pmDB->actions().size(), names.size());
    const QStringList expected = {QStringLiteral("exec use [R&D]"), QStringLiteral("exec use [a]]b]"),
                                  QStringLiteral("exec use [it's; drop database x]"), QStringLiteral("exec use [two  blanks]")};
    for (qsizetype i = 0; i < names.size(); ++i) {
        form->pmDB->actions()[i]->trigger();
        EXPECT_EQ(aux->log.back(), expected[i]);
        EXPECT_EQ(dialogs->log.back().text, QStringLiteral("Перешли к базе: ") + names[i]);
    }
    EXPECT_EQ(dialogs->Count(TDialogKind::Message), static_cast<std::size_t>(names.size()));
}

TEST_F(PickerForm, AFailingUseIsSwallowedWithoutAMessage)
{
    UseRecordingAux();
    ScriptDatabases(QStringLiteral("main"), {QStringLiteral("offline")});
    aux->Refuse(QStringLiteral("use [offline]"), QStringLiteral("Database 'offline' cannot be opened"));
    emit form->pmDB->aboutToShow();
    form->pmDB->actions()[0]->trigger();
    EXPECT_EQ(aux->log.back(), QStringLiteral("exec use [offline]"));
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(PickerForm, AFailureWhileFillingIsShownAndTheMenuDoesNotOpen)
{
    auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QApplication::processEvents();
    };
    UseRecordingAux();
    aux->Answer(kCurrent, TextRows({QStringLiteral("CurDb")}, {{QStringLiteral("main")}}));
    aux->Refuse(kDatabases, QStringLiteral("Invalid object name 'master..sysdatabases'"));
    form->pmDB->popup(form->mapToGlobal(QPoint(20, 20)));
    settle();
    ASSERT_EQ(dialogs->Count(TDialogKind::Error), 1u);
    EXPECT_TRUE(dialogs->Texts(TDialogKind::Error).front().startsWith(QStringLiteral("Invalid object name")));
    EXPECT_FALSE(form->pmDB->isVisible());

    // A fill that works opens the menu.
    UseRecordingAux();
    ScriptDatabases(QStringLiteral("main"), {QStringLiteral("main")});
    form->pmDB->popup(form->mapToGlobal(QPoint(20, 20)));
    settle();
    EXPECT_TRUE(form->pmDB->isVisible());
    EXPECT_EQ(Captions(form->pmDB), QStringList({QStringLiteral("main")}));
    form->pmDB->hide();
}

TEST_F(PickerForm, TablesKeepTheirSchemaAndTheQueryAddressesThemQuoted)
{
    UseRecordingAux();
    aux->Answer(kTables, TextRows({QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")},
                                  {{QStringLiteral("dbo"), QStringLiteral("a&b")},
                                   {QStringLiteral("sales"), QStringLiteral("x; drop table y")},
                                   {QStringLiteral("o'neil"), QStringLiteral("a]b")}}));
    const int fixedItems = form->pmSize->actions().size();
    emit form->pmSize->aboutToShow();
    emit form->pmSize->aboutToShow();
    EXPECT_EQ(form->pmSize->actions().size(), fixedItems);
    EXPECT_EQ(Captions(form->pmSizeList), QStringList({QStringLiteral("a&&b"), QStringLiteral("x; drop table y"), QStringLiteral("a]b")}));

    const QStringList expected = {QStringLiteral("select top 100 * from  [dbo].[a&b]"),
                                  QStringLiteral("select top 100 * from  [sales].[x; drop table y]"),
                                  QStringLiteral("select top 100 * from  [o'neil].[a]]b]")};
    for (qsizetype i = 0; i < expected.size(); ++i) {
        form->pmSizeList->actions()[i]->trigger();
        EXPECT_EQ(form->reQuery->toPlainText(), expected[i]);
        EXPECT_EQ(form->ADOQuerySql->SQL(), expected[i] + QStringLiteral("\r\n"));   // sent through the run action
        EXPECT_TRUE(form->MemoRes->isVisible());   // SQLite knows no "top"
    }
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(PickerForm, AnEmptyDatabaseGivesAnEmptySubMenu)
{
    UseRecordingAux();
    aux->Answer(kTables, TextRows({QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")}, {{QStringLiteral("dbo"), QStringLiteral("t")}}));
    emit form->pmSize->aboutToShow();
    ASSERT_EQ(form->pmSizeList->actions().size(), 1);
    aux->Answer(kTables, TextRows({QStringLiteral("TABLE_SCHEMA"), QStringLiteral("TABLE_NAME")}, {}));
    emit form->pmSize->aboutToShow();
    EXPECT_TRUE(form->pmSizeList->actions().isEmpty());
}

// The demo's engine: no Transact-SQL, so the driver's catalogue fills the
// menus through the form's own auxiliary query.
TEST_F(PickerForm, OnSqliteTheOneDatabaseIsTickedAndATableShowsItsFirstRows)
{
    emit form->pmDB->aboutToShow();
    ASSERT_EQ(form->pmDB->actions().size(), 1);
    QAction* db = form->pmDB->actions()[0];
    EXPECT_EQ(db->text(), MenuCaption(m_dir.filePath("pick.db")));
    EXPECT_TRUE(db->isCheckable() && db->isChecked());
    db->trigger();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Message),
              QStringList{QStringLiteral("Перешли к базе: ") + m_dir.filePath("pick.db")});

    const QString rows = QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n where i < 150) "
                                        "select i from n");
    for (const QString& sql : {QStringLiteral("create table \"x; drop table y\" as ") + rows,
                               QStringLiteral("create table \"R&D\"(a)"), QStringLiteral("create view v as select 1 as one")}) {
        form->qrySqlDop->SetSQL(sql);
        (void)form->qrySqlDop->ExecSQL();
    }
    emit form->pmSize->aboutToShow();
    EXPECT_EQ(Captions(form->pmSizeList), QStringList({QStringLiteral("R&&D"), QStringLiteral("v"), QStringLiteral("x; drop table y")}));
    ItemNamed(form->pmSizeList, QStringLiteral("x; drop table y"))->trigger();
    EXPECT_EQ(form->reQuery->toPlainText(), QStringLiteral("select * from \"x; drop table y\" limit 100"));
    EXPECT_TRUE(form->dxDBGridRes->isVisible());
    EXPECT_EQ(form->ADOQuerySql->RecordCount(), kFirstRowsCount);
    EXPECT_EQ(dialogs->Count(TDialogKind::Error), 0u);
}

class PickerFormPostgres : public PickerForm {
protected:
    void SetUp() override
    {
        BQA_REQUIRE_PG();
        m_admin = odbc_test::ConnectPg();
        odbc_test::Exec(*m_admin, QStringLiteral("drop schema if exists \"bqa_export_pick\" cascade"));
        odbc_test::Exec(*m_admin, QStringLiteral("create schema \"bqa_export_pick\""));
        for (const char* t : {"x; drop table y", "a]b", "r&d", "it's", "two  blanks"})
            odbc_test::Exec(*m_admin, QStringLiteral("create table \"bqa_export_pick\".\"%1\"(id int)").arg(QString::fromUtf8(t)));
        Start(odbc_test::PgConnectionString());
    }
    void TearDown() override
    {
        PickerForm::TearDown();
        if (m_admin)
            odbc_test::Exec(*m_admin, QStringLiteral("drop schema if exists \"bqa_export_pick\" cascade"));
    }
    std::unique_ptr<TOdbcConnection> m_admin;
};

TEST_F(PickerFormPostgres, TheServersTablesWithTheirSchemaInNameOrder)
{
    emit form->pmSize->aboutToShow();
    EXPECT_TRUE(dialogs->log.empty());
    const QString prefix = QStringLiteral("select * from \"bqa_export_pick\".");
    QStringList mine;
    for (const QAction* a : form->pmSizeList->actions())
        if (a->data().toString().startsWith(prefix))
            mine << a->text();
    EXPECT_EQ(mine, QStringList({QStringLiteral("a]b"), QStringLiteral("it's"), QStringLiteral("r&&d"),
                                 QStringLiteral("two  blanks"), QStringLiteral("x; drop table y")}));
    QAction* item = ItemNamed(form->pmSizeList, QStringLiteral("x; drop table y"));
    ASSERT_NE(item, nullptr);
    item->trigger();
    EXPECT_EQ(form->reQuery->toPlainText(), prefix + QStringLiteral("\"x; drop table y\" limit 100"));
    EXPECT_TRUE(form->dxDBGridRes->isVisible());   // the empty table's columns
    // The table is still there: nothing of its name ran as SQL.
    EXPECT_NO_THROW(odbc_test::OpenQuery(*m_admin, QStringLiteral("select * from \"bqa_export_pick\".\"x; drop table y\"")));

    // The database menu: the connection's own database, ticked.
    emit form->pmDB->aboutToShow();
    const QString current = odbc_test::OpenQuery(*m_admin, QStringLiteral("select current_database()"))->Fields(0)->AsString();
    QAction* db = ItemNamed(form->pmDB, MenuCaption(current));
    ASSERT_NE(db, nullptr);
    EXPECT_TRUE(db->isChecked());
}

} // namespace
