// The run and command actions against real drivers: SQLite on a file
// database always, PostgreSQL when BQA_PG_CONN names one.

#include "grid/dxDBGrid.h"
#include "platform/core/Failure.h"
#include "tests/support/ScriptedDialogs.h"
#include "query/Database.h"
#include "query/QueryRun.h"
#include "tests/support/DesignValues.h"
#include "tests/support/SilentListener.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QLocale>
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
    void ShowProgress(const QString& text) override { progress.push_back(text); progressShown = true; }
    void HideProgress() override { progressShown = false; }
    [[nodiscard]] QObject* CancelControl() override { return nullptr; }

    QStringList progress;
    bool progressShown = false;
};

// How long a test lets a statement run before pressing Esc, and how long the
// run may take from there to its end.
constexpr int kCancelAfterMs = 500;
constexpr qint64 kCancelBoundMs = 1000;
const QString kCancelledText = QStringLiteral("Запрос прерван пользователем.");

// Presses Esc at the main thread's message loop after `ms`; records when.
class TEscLater {
public:
    TEscLater(QObject* target, int ms)
    {
        m_clock.start();
        QTimer::singleShot(ms, target, [this, target] {
            m_pressedAt = m_clock.elapsed();
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QCoreApplication::sendEvent(target, &press);
        });
    }
    // Milliseconds from the press to now; -1 when it was never pressed.
    [[nodiscard]] qint64 SincePress() const { return m_pressedAt < 0 ? -1 : m_clock.elapsed() - m_pressedAt; }

private:
    QElapsedTimer m_clock;
    qint64 m_pressedAt = -1;
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

// ---- long statements: the wait, the cancel, and the connection after it

namespace {

// A SQLite statement that runs for minutes: the sum over a long recursive
// series, one row at the end.
const QString kLongSqlite = QStringLiteral(
    "with recursive c(x) as (select 1 union all select x + 1 from c where x < 2000000000) select sum(x) from c");

// Runs `rig`'s editor text with Esc pressed after kCancelAfterMs; checks the
// run ended through the failure branch with the cancel text within the bound.
void ExpectCancelledRun(TRunRig& rig)
{
    const TEscLater esc(rig.grid.get(), kCancelAfterMs);
    EXPECT_THROW(rig.runner->Run(), EAbort);
    EXPECT_GE(esc.SincePress(), 0);
    EXPECT_LT(esc.SincePress(), kCancelBoundMs);
    EXPECT_TRUE(rig.view.memo.startsWith(kCancelledText)) << rig.view.memo.toStdString();
    EXPECT_FALSE(rig.view.gridShown);
    EXPECT_FALSE(rig.query->Active());
    EXPECT_EQ(rig.query->RecordCount(), 0);
    // The progress note was shown while the statement ran, and is gone.
    // After Esc it says the cancel is on its way.
    ASSERT_FALSE(rig.view.progress.isEmpty());
    EXPECT_TRUE(rig.view.progress.front().contains(QStringLiteral("Esc"))) << rig.view.progress.front().toStdString();
    const QString last = rig.view.progress.back();
    EXPECT_TRUE(last.contains(QStringLiteral("Esc")) || last.startsWith(QStringLiteral("Отмена отправлена")))
        << last.toStdString();
    EXPECT_FALSE(rig.view.progressShown);
    EXPECT_FALSE(rig.runner->Busy());
}

} // namespace

TEST(RunProgress, TextsSayWhatRunsAndHowToStop)
{
    // Seconds in the user's locale, as the grid shows numbers.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QString running = RunProgressText(0, 1240);
    const QString fetched = RunProgressText(4096, 300);
    const QString deleting = DeleteProgressText(2080);
    QLocale::setDefault(QLocale::c());
    const QString runningC = RunProgressText(0, 1240);
    QLocale::setDefault(saved);
    EXPECT_EQ(running, QStringLiteral("Выполняется запрос (1,2 с). Esc — отмена"));
    EXPECT_EQ(fetched, QStringLiteral("Получено строк: 4096 (0,3 с). Esc — отмена"));
    EXPECT_EQ(deleting, QStringLiteral("Удаление записи (2,1 с). Esc — отмена"));
    EXPECT_EQ(runningC, QStringLiteral("Выполняется запрос (1.2 с). Esc — отмена"));
    EXPECT_EQ(CancelledRunText(QString()), kCancelledText);
    EXPECT_EQ(CancelledRunText(QStringLiteral("ERROR: canceling statement")),
              kCancelledText + QStringLiteral("\nERROR: canceling statement"));
}

TEST_F(SqliteRun, EscStopsALongQueryAndTheNextRunUsesTheSameConnection)
{
    rig->view.editor = kLongSqlite;
    ExpectCancelledRun(*rig);
    EXPECT_EQ(rig->reconnects, 1);
    EXPECT_TRUE(rig->connection->Connected());

    rig->view.editor = QStringLiteral("select 42 as v");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown) << rig->view.memo.toStdString();
    EXPECT_EQ(rig->query->Fields(0)->DisplayText(), QStringLiteral("42"));
    EXPECT_EQ(rig->reconnects, 1);
}

TEST_F(SqliteRun, TimersRunAndInputIsHeldWhileTheStatementRuns)
{
    rig->view.editor = kLongSqlite;
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(20);
    // A key other than Esc neither reaches the grid nor stops the run.
    int keysSeen = 0;
    struct TKeyCounter : QObject {
        int* seen;
        explicit TKeyCounter(int* s) : seen(s) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::KeyPress)
                ++*seen;
            return false;
        }
    } counter(&keysSeen);
    rig->grid->installEventFilter(&counter);
    QTimer::singleShot(200, rig->grid.get(), [this] {
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(rig->grid.get(), &down);
    });
    ExpectCancelledRun(*rig);
    EXPECT_GT(ticks, 10);
    EXPECT_EQ(keysSeen, 0);
}

TEST_F(SqliteRun, TimeoutStopsAStatementTheDriverLetsRun)
{
    constexpr int kShortTimeout = 1;
    rig->query->SetCommandTimeout(kShortTimeout);
    rig->view.editor = kLongSqlite;
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(rig->runner->Run(), EAbort);
    EXPECT_LT(clock.elapsed(), kShortTimeout * 1000 + kCancelBoundMs);
    EXPECT_TRUE(rig->view.memo.startsWith(QStringLiteral("Query timeout expired"))) << rig->view.memo.toStdString();
    EXPECT_EQ(rig->connection->Errors().front().SqlState, QStringLiteral("HYT00"));

    // The auxiliary path without the runner times out the same way.
    auto aux = CreateDbQuery(QStringLiteral("qrySqlDop"), rig->connection.get());
    aux->SetCommandTimeout(kShortTimeout);
    aux->SetSQL(kLongSqlite);
    EXPECT_THROW(aux->Open(), EDatabaseError);
    EXPECT_EQ(rig->connection->Errors().front().SqlState, QStringLiteral("HYT00"));
}

namespace {

// The backend of `rig`'s connection as the server lists it, seen from a
// second connection.
QString BackendState(const QString& pid)
{
    TRunRig watcher(PgString());
    watcher.Exec(QStringLiteral("select 1"));
    return watcher.Scalar(QStringLiteral("select coalesce(state, '') from pg_stat_activity where pid = %1").arg(pid));
}

} // namespace

TEST_F(PgRun, EscStopsASleepOnTheServerAndTheConnectionStaysUsable)
{
    rig->Exec(QStringLiteral("select 1"));
    const QString pid = rig->Scalar(QStringLiteral("select pg_backend_pid()"));
    rig->view.editor = QStringLiteral("select pg_sleep(30)");
    ExpectCancelledRun(*rig);
    EXPECT_EQ(BackendState(pid), QStringLiteral("idle"));

    rig->view.editor = QStringLiteral("select 7 as v");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown) << rig->view.memo.toStdString();
    EXPECT_EQ(rig->query->Fields(0)->DisplayText(), QStringLiteral("7"));
    EXPECT_EQ(rig->reconnects, 0);
}

TEST_F(PgRun, EscStopsAFiveMillionRowFetch)
{
    rig->Exec(QStringLiteral("select 1"));
    const QString pid = rig->Scalar(QStringLiteral("select pg_backend_pid()"));
    rig->view.editor = QStringLiteral("select g, md5(g::text) from generate_series(1, 5000000) g");
    ExpectCancelledRun(*rig);
    EXPECT_EQ(BackendState(pid), QStringLiteral("idle"));

    rig->view.editor = QStringLiteral("select 8 as v");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown) << rig->view.memo.toStdString();
    EXPECT_EQ(rig->reconnects, 0);
}

TEST_F(PgRun, TimeoutStopsASleep)
{
    constexpr int kShortTimeout = 1;
    rig->query->SetCommandTimeout(kShortTimeout);
    rig->view.editor = QStringLiteral("select pg_sleep(30)");
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(rig->runner->Run(), EAbort);
    EXPECT_LT(clock.elapsed(), kShortTimeout * 1000 + kCancelBoundMs);
    EXPECT_FALSE(rig->view.memo.startsWith(kCancelledText)) << rig->view.memo.toStdString();
    EXPECT_FALSE(rig->view.memo.isEmpty());
}

TEST_F(PgRun, KilledBackendEndsTheRunAndTheNextRunReconnects)
{
    rig->Exec(QStringLiteral("select 1"));
    const QString pid = rig->Scalar(QStringLiteral("select pg_backend_pid()"));
    TRunRig killer(PgString());
    killer.Exec(QStringLiteral("select 1"));
    QTimer::singleShot(kCancelAfterMs, [&killer, &pid] {
        killer.Exec(QStringLiteral("select pg_terminate_backend(%1)").arg(pid));
    });
    rig->view.editor = QStringLiteral("select g, md5(g::text) from generate_series(1, 5000000) g");
    EXPECT_THROW(rig->runner->Run(), EAbort);
    EXPECT_FALSE(rig->view.memo.isEmpty());
    EXPECT_FALSE(rig->view.memo.startsWith(kCancelledText)) << rig->view.memo.toStdString();
    EXPECT_FALSE(rig->connection->Connected());

    rig->view.editor = QStringLiteral("select 9 as v");
    rig->runner->Run();
    ASSERT_TRUE(rig->view.gridShown) << rig->view.memo.toStdString();
    EXPECT_EQ(rig->query->Fields(0)->DisplayText(), QStringLiteral("9"));
    EXPECT_EQ(rig->reconnects, 1);
}

namespace {

// A PostgreSQL server of this test's own, on a free port, driven by the
// test-server script: it can be crashed and started again without touching
// the server the other tests share.
class TOwnPgServer {
public:
    TOwnPgServer()
    {
        m_port = static_cast<quint16>(TSilentListener().Port());   // a port free a moment ago
        m_started = m_port != 0 && Script(QStringLiteral("start"));
    }
    ~TOwnPgServer() { (void)Script(QStringLiteral("stop")); }
    TOwnPgServer(const TOwnPgServer&) = delete;
    TOwnPgServer& operator=(const TOwnPgServer&) = delete;

    [[nodiscard]] bool Started() const { return m_started; }
    [[nodiscard]] QString ConnectionString() const
    {
        return QStringLiteral("Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=%1;Database=bqa_test;UID=bqa;PWD=")
            .arg(m_port);
    }
    // Runs the script with `command`; true when it succeeded.
    bool Script(const QString& command) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("BQA_PG_PORT"), QString::number(m_port));
        env.remove(QStringLiteral("BQA_PG_DIR"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(BQA_SOURCE_DIR "/scripts/pg-test-server.sh"), {command});
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private:
    quint16 m_port = 0;
    bool m_started = false;
};

} // namespace

// The server goes down in the middle of a fetch and comes back, 20 times, at
// a different moment of the fetch each time: the run ends with the driver's
// words, a run while it is down says so, and the first run after it is back
// reconnects by itself.
TEST_F(PgRun, AServerCrashedMidFetchIsReconnectedToOnceItIsBack)
{
    constexpr int kCrashes = 20;
    const TOwnPgServer server;
    ASSERT_TRUE(server.Started());
    TRunRig own(server.ConnectionString());
    own.Exec(QStringLiteral("select 1"));
    for (int i = 0; i < kCrashes; ++i) {
        SCOPED_TRACE(i);
        QTimer::singleShot(100 + (i * 137) % 600, [&server] { EXPECT_TRUE(server.Script(QStringLiteral("crash"))); });
        own.view.editor = i % 2 == 0 ? QStringLiteral("select g, md5(g::text) from generate_series(1, 5000000) g")
                                     : QStringLiteral("select g, md5(g::text)::varchar(32) from generate_series(1, 5000000) g");
        EXPECT_THROW(own.runner->Run(), EAbort);
        EXPECT_FALSE(own.view.gridShown);
        EXPECT_FALSE(own.view.memo.isEmpty());
        EXPECT_FALSE(own.view.memo.startsWith(kCancelledText)) << own.view.memo.toStdString();
        EXPECT_FALSE(own.connection->Connected());

        own.view.editor = QStringLiteral("select 9 as v");
        // Still down: the reconnect fails, and its error goes out as a failed connect does.
        EXPECT_THROW(own.runner->Run(), EDatabaseError);
        EXPECT_FALSE(own.connection->Connected());

        ASSERT_TRUE(server.Script(QStringLiteral("resume")));
        own.runner->Run();
        ASSERT_TRUE(own.view.gridShown) << own.view.memo.toStdString();
        EXPECT_EQ(own.query->Fields(0)->DisplayText(), QStringLiteral("9"));
        EXPECT_EQ(own.reconnects, 2 * (i + 1));
    }
}
