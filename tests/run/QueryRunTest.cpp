// The run and command actions against real drivers: SQLite on a file
// database always, PostgreSQL when BQA_PG_CONN names one.

#include "grid/dxDBGrid.h"
#include "platform/core/Failure.h"
#include "tests/support/ScriptedDialogs.h"
#include "query/Database.h"
#include "query/QueryRun.h"
#include "tests/support/DesignValues.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

class TRecordingView : public TQueryRunView {
public:
    QString editor;
    QString status;
    QString memo;
    bool gridShown = false;
    int statusWrites = 0;
    int turns = 0;

    [[nodiscard]] QString EditorPlainText() const override { return editor; }
    void SetStatusText(const QString& text) override { status = text; ++statusWrites; }
    void ShowMemoText(const QString& text) override { memo = text; gridShown = false; }
    void ShowGrid() override { gridShown = true; }
    void ProcessMessages() override { ++turns; }
};

// One connection, the main query bound to a grid, and a runner over them.
class TRunRig {
public:
    explicit TRunRig(QString connectionString)
        : m_string(std::move(connectionString))
    {
        connection = CreateDbConnection(QStringLiteral("ADOConnection"));
        connection->SetLoginTimeout(10);
        query = CreateDbQuery(QStringLiteral("ADOQuerySql"), connection.get());
        query->SetCommandTimeout(design::kMainCommandTimeout);
        source.SetDataSet(query.get());
        grid = std::make_unique<TdxDBGrid>();
        grid->setObjectName(QStringLiteral("dxDBGridRes"));
        grid->resize(600, 300);
        grid->SetDataSource(&source);
        runner = std::make_unique<TQueryRunner>(TQueryRunContext{
            *connection, *query, *grid, view,
            [this] {
                ++reconnects;
                connection->Close();
                connection->SetConnectionString(m_string);
                connection->Open();
            },
            [this] { return m_string; }});
    }

    // Runs `sql` as a helper statement outside the runner.
    void Exec(const QString& sql)
    {
        if (!connection->Connected()) {
            connection->SetConnectionString(m_string);
            connection->Open();
        }
        auto q = CreateDbQuery(QStringLiteral("helper"), connection.get());
        q->SetSQL(sql);
        (void)q->ExecSQL();
    }

    QString Scalar(const QString& sql)
    {
        auto q = CreateDbQuery(QStringLiteral("helper"), connection.get());
        q->SetSQL(sql);
        q->Open();
        return q->Fields(0)->DisplayText();
    }

    std::unique_ptr<TDbConnection> connection;
    std::unique_ptr<TDbQuery> query;
    TDataSource source;
    std::unique_ptr<TdxDBGrid> grid;
    TRecordingView view;
    std::unique_ptr<TQueryRunner> runner;
    int reconnects = 0;

private:
    QString m_string;
};

QString PgString()
{
    return qEnvironmentVariable("BQA_PG_CONN");
}

// Runs against the server in BQA_PG_CONN; without one the test is skipped,
// or fails under CI=true.
class PgRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (PgString().isEmpty()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                FAIL() << "BQA_PG_CONN is not set under CI";
            GTEST_SKIP() << "BQA_PG_CONN not set";
        }
        rig = std::make_unique<TRunRig>(PgString());
    }
    TScopedDialogs dialogs;
    std::unique_ptr<TRunRig> rig;
};

class SqliteRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        rig = std::make_unique<TRunRig>(QStringLiteral("Driver=SQLite3;Database=%1").arg(m_dir.filePath("run.db")));
    }
    QTemporaryDir m_dir;
    TScopedDialogs dialogs;
    std::unique_ptr<TRunRig> rig;
};

} // namespace

TEST(CommandText, TrimsControlCharactersAndRejoinsLines)
{
    EXPECT_EQ(TrimCommandText(QStringLiteral(" \t\r\n select 1 \x01\r\n")), QStringLiteral("select 1"));
    EXPECT_EQ(TrimCommandText(QStringLiteral(" \r\n\t ")), QString());
    // Characters above 0x20 survive, also non-breaking and Cyrillic ones.
    EXPECT_EQ(TrimCommandText(QStringLiteral("\u00A0я\u00A0")), QStringLiteral("\u00A0я\u00A0"));

    EXPECT_EQ(JoinSqlLines(QStringLiteral("a\rb\nc\r\nd")), QStringLiteral("a\r\nb\r\nc\r\nd\r\n"));
    EXPECT_EQ(JoinSqlLines(QStringLiteral("a\n\nb")), QStringLiteral("a\r\n\r\nb\r\n"));
    EXPECT_EQ(JoinSqlLines(QStringLiteral("--c\rselect 1")), QStringLiteral("--c\r\nselect 1\r\n"));
    EXPECT_EQ(JoinSqlLines(QString()), QString());
}

TEST_F(SqliteRun, BlankEditorAsksForAQueryAndTouchesNothing)
{
    rig->view.editor = QStringLiteral("  \r\n\t \r ");
    rig->view.memo = QStringLiteral("old");
    rig->runner->Run();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Message), QStringList{QStringLiteral("Вы забыли написать запрос")});
    EXPECT_EQ(rig->reconnects, 0);
    EXPECT_FALSE(rig->connection->Connected());
    EXPECT_EQ(rig->view.statusWrites, 0);
    EXPECT_EQ(rig->view.memo, QStringLiteral("old"));
    EXPECT_FALSE(rig->view.gridShown);
}

TEST_F(SqliteRun, NotConnectedReconnectsAndShowsTheStringInTheStatusBar)
{
    rig->view.editor = QStringLiteral("select 7 as n");
    rig->runner->Run();
    EXPECT_EQ(rig->reconnects, 1);
    EXPECT_TRUE(rig->connection->Connected());
    EXPECT_TRUE(rig->view.status.startsWith(QStringLiteral("Driver=SQLite3;")));
    // A second run reuses the open connection.
    rig->runner->Run();
    EXPECT_EQ(rig->reconnects, 1);
}

TEST_F(SqliteRun, ResultRebuildsOneReadOnly200PixelColumnPerField)
{
    rig->view.editor = QStringLiteral("select 1 as a, 2 as a, 'x' as \"\"");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown);
    TdxDBGrid& grid = *rig->grid;
    ASSERT_EQ(grid.ColumnCount(), 3);
    const QStringList names{QStringLiteral("a"), QStringLiteral("a_1"), QStringLiteral("COLUMN1")};
    for (int i = 0; i < 3; ++i) {
        TdxDBGridColumn* c = grid.Columns(i);
        EXPECT_EQ(c->objectName(), QStringLiteral("dxDBGridResColumn%1").arg(i + 1));
        EXPECT_EQ(c->FieldName(), names[i]);
        EXPECT_EQ(c->Caption(), names[i]);
        EXPECT_EQ(c->Width(), design::kResultColumnWidth);
        EXPECT_TRUE(c->DisableEditor());
        EXPECT_EQ(c->Field(), rig->query->Fields(i));
    }
    EXPECT_FALSE(grid.OptionsDB().Contains(edgoLoadAllRecords));

    // Numbering restarts after the next run.
    rig->view.editor = QStringLiteral("select 5 as z");
    rig->runner->Run();
    ASSERT_EQ(grid.ColumnCount(), 1);
    EXPECT_EQ(grid.Columns(0)->objectName(), QStringLiteral("dxDBGridResColumn1"));
}

TEST_F(SqliteRun, StatementWithoutRowsRunsOnceAndSaysSo)
{
    rig->Exec(QStringLiteral("create table counter(n integer)"));
    rig->Exec(QStringLiteral("insert into counter values (0)"));
    rig->view.editor = QStringLiteral("update counter set n = n + 1");
    rig->runner->Run();   // ends normally
    EXPECT_EQ(dialogs->Texts(TDialogKind::Message), QStringList{QStringLiteral("Выполнение команды завершено")});
    EXPECT_EQ(rig->view.memo, QStringLiteral("Выполнен запрос не возвращающий данные."));
    EXPECT_FALSE(rig->view.gridShown);
    EXPECT_FALSE(rig->query->Active());
    EXPECT_EQ(rig->Scalar(QStringLiteral("select n from counter")), QStringLiteral("1"));
}

TEST_F(SqliteRun, ServerFailureGoesToTheMemoAndAbortsSilently)
{
    rig->view.editor = QStringLiteral("select 1 as keep");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown);

    rig->view.editor = QStringLiteral("select * from no_such_table");
    EXPECT_THROW(rig->runner->Run(), EAbort);
    EXPECT_FALSE(rig->view.gridShown);
    EXPECT_TRUE(rig->view.memo.contains(QStringLiteral("no_such_table"))) << rig->view.memo.toStdString();
    EXPECT_EQ(dialogs->Count(TDialogKind::Message), 0u);
    EXPECT_FALSE(rig->query->Active());
    // The columns of the last result stay behind the memo, unbound.
    ASSERT_EQ(rig->grid->ColumnCount(), 1);
    EXPECT_EQ(rig->grid->Columns(0)->Field(), nullptr);
}

TEST_F(SqliteRun, EmptyResultShowsColumnsAndOneEmptyRow)
{
    rig->Exec(QStringLiteral("create table t(id integer, name text)"));
    rig->view.editor = QStringLiteral("select * from t");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown);
    EXPECT_EQ(rig->grid->ColumnCount(), 2);
    EXPECT_EQ(rig->grid->NodeCount(), 1);
    EXPECT_EQ(rig->grid->NodeCellText(0, 0), QString());
}

TEST_F(SqliteRun, ManyRowsEndOnTheLastRecordFocused)
{
    rig->Exec(QStringLiteral("create table t(id integer)"));
    rig->Exec(QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c where x < 500) "
                             "insert into t select x from c"));
    rig->grid->resize(400, 200);
    rig->view.editor = QStringLiteral("select id from t order by id");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown);
    EXPECT_EQ(rig->query->RecNo(), 500);
    EXPECT_TRUE(rig->query->Eof());
    TdxDBGrid& grid = *rig->grid;
    ASSERT_GT(grid.NodeCount(), 1);
    EXPECT_EQ(grid.FocusedNode(), grid.NodeCount() - 1);
    EXPECT_EQ(grid.NodeCellText(grid.FocusedNode(), 0), QStringLiteral("500"));
    EXPECT_EQ(grid.NodeCellText(0, 0), QString::number(500 - grid.NodeCount() + 1));
}

TEST_F(SqliteRun, ColonsAndCommentsReachTheServerAsTyped)
{
    rig->view.editor = QStringLiteral("select ':' as a, 'x::y' as b -- note: y\r\n");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown);
    EXPECT_EQ(rig->query->SQL(), QStringLiteral("select ':' as a, 'x::y' as b -- note: y\r\n"));
    EXPECT_EQ(rig->query->FieldByName(QStringLiteral("a"))->DisplayText(), QStringLiteral(":"));
    EXPECT_EQ(rig->query->FieldByName(QStringLiteral("b"))->DisplayText(), QStringLiteral("x::y"));
}

TEST_F(SqliteRun, CommandActionExecutesWithoutTouchingMemoOrGrid)
{
    rig->Exec(QStringLiteral("create table t(id integer)"));
    rig->view.memo = QStringLiteral("before");
    rig->view.editor = QStringLiteral("insert into t values (1)");
    rig->runner->RunCommand();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Message), QStringList{QStringLiteral("Выполнение команды завершено")});
    EXPECT_EQ(rig->view.memo, QStringLiteral("before"));
    EXPECT_FALSE(rig->view.gridShown);
    EXPECT_EQ(rig->Scalar(QStringLiteral("select count(*) from t")), QStringLiteral("1"));

    rig->view.editor = QStringLiteral("insert into missing values (1)");
    EXPECT_THROW(rig->runner->RunCommand(), Exception);
    EXPECT_EQ(dialogs->Count(TDialogKind::Message), 1u);
}

TEST_F(PgRun, CastsAndColonsInCommentsAreNotRewritten)
{
    rig->view.editor = QStringLiteral("select 5::int as v, ':' as c -- note: y");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown) << rig->view.memo.toStdString();
    EXPECT_EQ(rig->query->FieldByName(QStringLiteral("v"))->DisplayText(), QStringLiteral("5"));
    EXPECT_EQ(rig->query->FieldByName(QStringLiteral("c"))->DisplayText(), QStringLiteral(":"));
}

TEST_F(PgRun, BatchShowsTheFirstRowSetAfterStatementsWithoutRows)
{
    rig->view.editor = QStringLiteral("create temp table run_b(x int);\ninsert into run_b values (3);\nselect x from run_b");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown) << rig->view.memo.toStdString();
    EXPECT_EQ(rig->query->Fields(0)->DisplayText(), QStringLiteral("3"));
    EXPECT_EQ(dialogs->Count(TDialogKind::Message), 0u);
}

TEST(RunReconnect, FailedReconnectPassesOutAndLeavesTheViewAlone)
{
    TScopedDialogs dialogs;
    TRunRig rig(QStringLiteral("Driver=NoSuchDriver;Server=x"));
    rig.view.editor = QStringLiteral("select 1");
    rig.view.memo = QStringLiteral("kept");
    EXPECT_THROW(rig.runner->Run(), EDatabaseError);
    EXPECT_EQ(rig.view.statusWrites, 0);
    EXPECT_EQ(rig.view.memo, QStringLiteral("kept"));
}
