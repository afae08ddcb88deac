// The run actions as the main window wires them: the stored connection
// string, the buttons, the memo and the grid.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "grid/dxDBGrid.h"
#include "platform/settings/Registry.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/SilentListener.h"
#include "tests/support/FakeTdsServer.h"
#include "query/ConnectionManager.h"
#include "query/Database.h"
#include "query/QueryRun.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
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

// ---- the window during a long statement or connect

namespace {

// The SQLite statement of the tests below: minutes of work, one row.
const QString kLongQuery = QStringLiteral(
    "with recursive c(x) as (select 1 union all select x + 1 from c where x < 2000000000) select sum(x) from c");
constexpr qint64 kEndBoundMs = 1000;   // from a cancel or close to the run ended

// Counts the paint events of every widget while it lives.
class TPaintCounter : public QObject {
public:
    TPaintCounter() { QCoreApplication::instance()->installEventFilter(this); }
    ~TPaintCounter() override { QCoreApplication::instance()->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

} // namespace

TEST_F(FormRun, TheWindowPaintsDuringALongQueryAndTheCancelButtonStopsIt)
{
    form->reQuery->setPlainText(QStringLiteral("select 1"));
    form->bQuery->click();   // connected
    form->reQuery->setPlainText(kLongQuery);

    constexpr int kQueryMs = 3000;
    TPaintCounter counter;
    QElapsedTimer clock;
    clock.start();
    qint64 clickedAt = -1;
    QTimer::singleShot(kQueryMs / 2, form.get(), [this] { form->resize(form->width() + 40, form->height() + 30); });
    QTimer::singleShot(kQueryMs, form.get(), [this, &clock, &clickedAt] {
        auto* cancel = form->findChild<QPushButton*>(QStringLiteral("btnCancelRun"));
        ASSERT_NE(cancel, nullptr);
        EXPECT_TRUE(cancel->isVisible());
        clickedAt = clock.elapsed();
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    form->bQuery->click();
    ASSERT_GE(clickedAt, 0);
    EXPECT_LT(clock.elapsed() - clickedAt, kEndBoundMs);
    EXPECT_GT(counter.paints, 10);
    EXPECT_TRUE(form->MemoRes->isVisible());
    EXPECT_TRUE(form->MemoRes->toPlainText().startsWith(QStringLiteral("Запрос прерван пользователем.")))
        << form->MemoRes->toPlainText().toStdString();
    EXPECT_FALSE(form->findChild<QPushButton*>(QStringLiteral("btnCancelRun"))->isVisible());
    EXPECT_EQ(form->StatusBar1->StatusText(), m_string);
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(FormRun, ClosingTheWindowDuringARunCancelsItAndCloses)
{
    form->reQuery->setPlainText(kLongQuery);
    QElapsedTimer clock;
    clock.start();
    qint64 closedAt = -1;
    QTimer::singleShot(500, form.get(), [this, &clock, &closedAt] {
        closedAt = clock.elapsed();
        form->close();
    });
    form->bQuery->click();
    ASSERT_GE(closedAt, 0);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, static_cast<int>(kEndBoundMs)));
    EXPECT_LT(clock.elapsed() - closedAt, kEndBoundMs);
}

TEST_F(FormRun, AConnectToAServerThatNeverAnswersCanBeCancelledAtOnce)
{
    const TSilentListener silent;
    ASSERT_GT(silent.Port(), 0);
    const QString string = silent.FreeTdsString();
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), string);
    }
    form->reQuery->setPlainText(QStringLiteral("select 1"));
    QElapsedTimer clock;
    clock.start();
    qint64 pressedAt = -1;
    QTimer::singleShot(500, form.get(), [this, &clock, &pressedAt] {
        pressedAt = clock.elapsed();
        QTest::keyClick(form->reQuery, Qt::Key_Escape);
    });
    form->bQuery->click();
    ASSERT_GE(pressedAt, 0);
    EXPECT_LT(clock.elapsed() - pressedAt, kEndBoundMs);
    EXPECT_FALSE(form->ADOConnection->Connected());
    ASSERT_EQ(dialogs->Count(TDialogKind::Error), 1u);
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error).front(), QStringLiteral("Подключение прервано пользователем."));

    // The window is usable at once: a good string connects and runs.
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), m_string);
    }
    form->bQuery->click();
    EXPECT_TRUE(form->dxDBGridRes->isVisible());
}

TEST(ConnectTimeout, ALoginToAServerThatNeverAnswersGivesUpAtTheTimeout)
{
    const TSilentListener silent;
    ASSERT_GT(silent.Port(), 0);
    auto connection = CreateDbConnection(QStringLiteral("ADOConnection"));
    constexpr int kShortLogin = 1;
    connection->SetLoginTimeout(kShortLogin);
    connection->SetConnectionString(silent.FreeTdsString());
    QElapsedTimer clock;
    clock.start();
    EXPECT_THROW(OpenInBackground(*connection), EDatabaseError);
    EXPECT_LT(clock.elapsed(), kShortLogin * 1000 + kEndBoundMs);
    EXPECT_FALSE(connection->Connected());
}

TEST_F(FormRun, TheEditorTextReachesTheServerWithEveryCharacterAsTyped)
{
    // A no-break space and a line separator inside a literal.
    const QString value = QStringLiteral("a") + QChar(0x00A0) + QStringLiteral("b") + QChar(0x2028) + QStringLiteral("c");
    form->reQuery->setPlainText(QStringLiteral("select '%1' as v").arg(value));
    form->bQuery->click();
    ASSERT_TRUE(form->dxDBGridRes->isVisible()) << form->MemoRes->toPlainText().toStdString();
    EXPECT_EQ(form->ADOQuerySql->Fields(0)->AsVariant().toString(), value);
}

TEST_F(FormRun, ADeleteWaitingForALockKeepsTheWindowPaintingAndEscEndsIt)
{
    std::unique_ptr<TDbConnection> other = CreateDbConnection(QStringLiteral("other"));
    other->SetConnectionString(m_string);
    other->Open();
    std::unique_ptr<TDbQuery> exec = CreateDbQuery(QStringLiteral("exec"), other.get());
    const auto run = [&](const char* sql) {
        exec->SetSQL(QString::fromUtf8(sql));
        (void)exec->ExecSQL();
    };
    run("create table t(id integer primary key, v varchar(10))");
    run("insert into t values (1, 'a'), (2, 'b')");
    form->reQuery->setPlainText(QStringLiteral("select id, v from t"));
    form->bQuery->click();
    ASSERT_TRUE(form->dxDBGridRes->isVisible());
    run("begin exclusive");

    struct TPaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    qApp->installEventFilter(&counter);
    constexpr int kEscAfterMs = 700;
    QTimer::singleShot(kEscAfterMs, form.get(), [this] {
        form->dxDBGridRes->update();   // something to paint meanwhile
        QTest::keyClick(form->dxDBGridRes, Qt::Key_Escape);
    });
    dialogs->QueueConfirm(true);
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(form->dxDBGridRes, Qt::Key_Delete, Qt::ControlModifier);
    const qint64 elapsed = clock.elapsed();
    qApp->removeEventFilter(&counter);
    run("rollback");

    EXPECT_GT(counter.paints, 0);
    EXPECT_LT(elapsed, kEscAfterMs + 1000);
    const QStringList errors = dialogs->Texts(TDialogKind::Error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].startsWith(QStringLiteral("Удаление прервано пользователем"))) << errors[0].toStdString();
    EXPECT_EQ(form->ADOQuerySql->RecordCount(), 2);
    EXPECT_TRUE(form->StatusBar1->RunText().startsWith(QStringLiteral("2 строки · ")));
    // Without the lock the delete goes through, and the panel counts what is left.
    dialogs->QueueConfirm(true);
    QTest::keyClick(form->dxDBGridRes, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(form->ADOQuerySql->RecordCount(), 1) << dialogs->Texts(TDialogKind::Error).join(u'|').toStdString();
    EXPECT_TRUE(form->StatusBar1->RunText().startsWith(QStringLiteral("1 строка · "))) << form->StatusBar1->RunText().toStdString();
    exec->SetSQL(QStringLiteral("select count(*) from t"));
    exec->Open();
    EXPECT_EQ(exec->Fields(0)->AsVariant().toInt(), 1);
}

TEST_F(FormRun, ABatchShowsItsFirstRowSetItsMessagesOnRequestAndItsOtherRowSetsByKey)
{
    TFakeTdsServer server;
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), QString::fromStdString(server.ConnectionString()));
    }
    form->reQuery->setPlainText(QStringLiteral("select batch"));
    form->bQuery->click();
    ASSERT_TRUE(form->dxDBGridRes->isVisible()) << form->MemoRes->toPlainText().toStdString();
    EXPECT_EQ(form->dxDBGridRes->Columns(0)->Caption(), QStringLiteral("a"));
    const QString panel = form->StatusBar1->RunText();
    EXPECT_TRUE(panel.startsWith(QStringLiteral("1 строка · "))) << panel.toStdString();
    EXPECT_TRUE(panel.endsWith(QStringLiteral(" с · результат 1 из 2 · сообщений: 2"))) << panel.toStdString();
    EXPECT_EQ(form->StatusBar1->StatusText(), QString::fromStdString(server.ConnectionString()).replace(
                                                 QStringLiteral("PWD=p"), QStringLiteral("PWD=*****")));

    // The second row set, and back.
    form->dxDBGridRes->setFocus();
    QTest::keyClick(form->dxDBGridRes, Qt::Key_PageDown, Qt::ControlModifier);
    ASSERT_EQ(form->ShownResultSet(), 1);
    EXPECT_EQ(form->dxDBGridRes->Columns(0)->Caption(), QStringLiteral("b"));
    EXPECT_EQ(form->ShownDataSet()->RecordCount(), 2);
    EXPECT_TRUE(form->StatusBar1->RunText().startsWith(QStringLiteral("2 строки · ")));
    QTest::keyClick(form->dxDBGridRes, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("b\r\n\r\n20\r\n"));
    QTest::keyClick(form->dxDBGridRes, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(form->ShownResultSet(), 0);
    EXPECT_EQ(form->dxDBGridRes->Columns(0)->Caption(), QStringLiteral("a"));

    // The messages, one per line, and Esc closes them.
    QTest::keyClick(form.get(), Qt::Key_M, Qt::ControlModifier);
    ASSERT_TRUE(form->MemoMessages->isVisible());
    EXPECT_EQ(form->MemoMessages->toPlainText(),
              QStringLiteral("first message\n(строк обработано: 1)\nsecond message\n(строк обработано: 153)\n"
                             "(строк обработано: 2)"));
    QTest::keyClick(form->MemoMessages, Qt::Key_Escape);
    EXPECT_FALSE(form->MemoMessages->isVisible());

    // A new run starts again at the first row set, with the grid on it.
    QTest::keyClick(form->dxDBGridRes, Qt::Key_PageDown, Qt::ControlModifier);
    ASSERT_EQ(form->ShownResultSet(), 1);
    form->bQuery->click();
    EXPECT_EQ(form->ShownResultSet(), 0);
    EXPECT_EQ(form->ShownDataSet(), form->ADOQuerySql->ResultSet(0));
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(FormRun, ACancelTheServerDoesNotAnswerGivesTheWindowBackAndTheNextRunReconnects)
{
    TFakeTdsServer server;
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(QString::fromUtf16(kConnectionKey), true));
        reg.WriteString(QString::fromUtf16(kConnectionValue), QString::fromStdString(server.ConnectionString()));
    }
    constexpr int kEscAfterMs = 300;
    constexpr int kServerAnswersAfterMs = 8000;
    form->reQuery->setPlainText(QStringLiteral("waitfor late %1").arg(kServerAnswersAfterMs));
    QTimer::singleShot(kEscAfterMs, form.get(), [this] { QTest::keyClick(form->reQuery, Qt::Key_Escape); });
    QElapsedTimer clock;
    clock.start();
    form->bQuery->click();
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, kEscAfterMs + kCancelAnswerMs);
    EXPECT_LT(elapsed, kEscAfterMs + kCancelAnswerMs + 1500);
    EXPECT_EQ(form->MemoRes->toPlainText(),
              QStringLiteral("Запрос прерван пользователем.\n") + QString::fromUtf16(kCancelNotAnswered));
    EXPECT_FALSE(form->ADOConnection->Connected());
    EXPECT_EQ(server.Attentions(), 1);

    form->reQuery->setPlainText(QStringLiteral("select 1"));
    form->bQuery->click();
    ASSERT_TRUE(form->dxDBGridRes->isVisible()) << form->MemoRes->toPlainText().toStdString();
    EXPECT_EQ(form->dxDBGridRes->NodeCellText(0, 0), QStringLiteral("1"));
    EXPECT_EQ(server.Logins(), 2);
}
