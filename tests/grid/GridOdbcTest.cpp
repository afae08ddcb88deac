// The grid's keys and wheel over real results: SQLite3 on a temporary file
// and PostgreSQL (BQA_PG_CONN), walked to their end as the run action does.

#include "grid/dxDBGrid.h"
#include "platform/colors/SysColors.h"
#include "tests/data/OdbcTestSupport.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>

using namespace odbc_test;

namespace {

constexpr int kRows = 100;
constexpr int kNotch = 120;

void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &release);
}

enum class TEngine { Sqlite, Postgres };

class GridOdbc : public ::testing::TestWithParam<TEngine> {
protected:
    void SetUp() override
    {
        if (GetParam() == TEngine::Postgres) {
            BQA_REQUIRE_PG();
            m_conn = ConnectPg();
        } else {
            m_conn = Connect(m_sqlite.ConnectionString());
        }
        m_table = QStringLiteral("grid_input_%1").arg(QCoreApplication::applicationPid());
        Exec(*m_conn, QStringLiteral("drop table if exists %1").arg(m_table));
        Exec(*m_conn, QStringLiteral("create table %1(id integer primary key, name varchar(20))").arg(m_table));
        QString insert = QStringLiteral("insert into %1 values ").arg(m_table);
        for (int i = 1; i <= kRows; ++i)
            insert += QStringLiteral("%1(%2, 'name%2')").arg(i > 1 ? QStringLiteral(",") : QString()).arg(i);
        Exec(*m_conn, insert);

        InstallClassicScheme();
        m_query = OpenQuery(*m_conn, QStringLiteral("select id, name from %1 order by id").arg(m_table));
        m_source.SetDataSet(m_query.get());
        m_grid = std::make_unique<TdxDBGrid>();
        m_grid->resize(400, 250);
        m_grid->SetDataSource(&m_source);
        m_grid->show();
        // The run action's walk, then its columns.
        m_query->First();
        while (!m_query->Eof())
            m_query->Next();
        for (int i = 0; i < m_query->FieldCount(); ++i) {
            TdxDBGridMaskColumn* c = m_grid->AddColumn();
            c->SetFieldName(m_query->Fields(i)->FieldName());
            c->SetCaption(m_query->Fields(i)->FieldName());
            c->SetDisableEditor(true);
            c->SetWidth(200);
        }
        m_grid->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
    }
    void TearDown() override
    {
        m_grid.reset();
        m_source.SetDataSet(nullptr);
        m_query.reset();
        if (m_conn)
            Exec(*m_conn, QStringLiteral("drop table if exists %1").arg(m_table));
    }
    [[nodiscard]] long long TableRows()
    {
        auto q = OpenQuery(*m_conn, QStringLiteral("select count(*) from %1").arg(m_table));
        q->First();
        return q->Fields(0)->AsVariant().toLongLong();
    }

    TSqliteDb m_sqlite;
    std::unique_ptr<TOdbcConnection> m_conn;
    QString m_table;
    std::unique_ptr<TOdbcQuery> m_query;
    TDataSource m_source;
    std::unique_ptr<TdxDBGrid> m_grid;
};

} // namespace

TEST_P(GridOdbc, KeysMoveThroughTheResult)
{
    TdxDBGrid& g = *m_grid;
    TDataSet& q = *m_query;
    ASSERT_EQ(q.RecNo(), kRows);
    Key(&g, Qt::Key_Down);
    EXPECT_EQ(q.RecordCount(), kRows);   // nothing appended
    Key(&g, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(q.RecNo(), 1);
    Key(&g, Qt::Key_Down);
    const int v = g.VisibleRowCount();
    ASSERT_GT(v, 3);
    Key(&g, Qt::Key_PageDown);
    EXPECT_EQ(q.RecNo(), v);
    Key(&g, Qt::Key_PageDown);
    EXPECT_EQ(q.RecNo(), 2 * v - 1);
    Key(&g, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(q.RecNo(), kRows);
    EXPECT_EQ(g.NodeCellText(g.FocusedNode(), 1), QStringLiteral("name%1").arg(kRows));

    QWheelEvent wheel(QPointF(10, 30), QPointF(10, 30), QPoint(), QPoint(0, kNotch), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(g.viewport(), &wheel);
    EXPECT_EQ(q.RecNo(), kRows - 1);

    Key(&g, Qt::Key_Insert, Qt::ControlModifier);
    const QString id = q.Fields(0)->FieldName(), name = q.Fields(1)->FieldName();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("%1\t%2\r\n\r\n%3\tname%3\r\n").arg(id, name).arg(kRows - 1));
}

TEST_P(GridOdbc, BlankRecordAndCancelledDeleteLeaveResultAndTableAlone)
{
    TScopedDialogs dialogs;
    TdxDBGrid& g = *m_grid;
    TDataSet& q = *m_query;
    q.SetRecNo(10);
    for (int key : {Qt::Key_Escape, Qt::Key_Down, Qt::Key_Up}) {
        Key(&g, Qt::Key_Insert);
        if (q.State() != dsInsert)
            GTEST_SKIP() << "this result cannot be modified";
        Key(&g, key);
        EXPECT_EQ(q.State(), dsBrowse) << key;
        EXPECT_EQ(q.RecordCount(), kRows) << key;
    }
    Key(&g, Qt::Key_Insert);
    g.clearFocus();
    EXPECT_EQ(q.RecordCount(), kRows);

    dialogs->QueueConfirm(false);
    g.setFocus(Qt::OtherFocusReason);
    Key(&g, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(dialogs->Count(TDialogKind::Confirm), 1u);
    EXPECT_EQ(q.RecordCount(), kRows);
    EXPECT_EQ(TableRows(), kRows);   // seen through a query of its own
}

TEST_P(GridOdbc, ConfirmedDeleteLeavesTheTableAndARowGoneMeanwhileStays)
{
    TScopedDialogs dialogs;
    TdxDBGrid& g = *m_grid;
    TDataSet& q = *m_query;
    auto other = GetParam() == TEngine::Postgres ? ConnectPg() : Connect(m_sqlite.ConnectionString());
    auto otherRows = [&](const QString& where) {
        auto c = OpenQuery(*other, QStringLiteral("select count(*) from %1 where %2").arg(m_table, where));
        c->First();
        return c->Fields(0)->AsVariant().toLongLong();
    };
    q.SetRecNo(10);
    dialogs->QueueConfirm(true);
    Key(&g, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(q.RecordCount(), kRows - 1);
    EXPECT_EQ(q.Fields(0)->AsVariant().toInt(), 11);
    EXPECT_EQ(otherRows(QStringLiteral("id = 10")), 0);
    EXPECT_EQ(otherRows(QStringLiteral("1 = 1")), kRows - 1);
    EXPECT_TRUE(dialogs->Texts(TDialogKind::Error).isEmpty());

    Exec(*other, QStringLiteral("delete from %1 where id = 11").arg(m_table));
    dialogs->QueueConfirm(true);
    Key(&g, Qt::Key_Delete, Qt::ControlModifier);
    const QStringList errors = dialogs->Texts(TDialogKind::Error);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("отличается от показанной"))) << errors[0].toStdString();
    EXPECT_EQ(q.RecordCount(), kRows - 1);
    EXPECT_EQ(q.Fields(0)->AsVariant().toInt(), 11);
}

// Answers the next real message box with `button` once it is on screen.
void AnswerNextBox(QMessageBox::StandardButton button)
{
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            box->button(button)->click();
        }
    });
    poll->start();
}

TEST_P(GridOdbc, TheRealQuestionBorrowsTheFocusWithoutLosingTheBlankRowOrAnotherRecord)
{
    // The real dialog service: the box is a window that takes the focus.
    TdxDBGrid& g = *m_grid;
    TDataSet& q = *m_query;
    g.activateWindow();
    g.setFocus(Qt::OtherFocusReason);
    QApplication::processEvents();
    q.SetRecNo(10);
    Key(&g, Qt::Key_Insert);
    ASSERT_EQ(q.State(), dsInsert);

    AnswerNextBox(QMessageBox::Cancel);
    Key(&g, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(q.State(), dsInsert);   // Cancel changes nothing
    EXPECT_EQ(q.RecordCount(), kRows + 1);

    AnswerNextBox(QMessageBox::Ok);
    Key(&g, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(q.State(), dsBrowse);   // the blank row went, and only it
    EXPECT_EQ(q.RecordCount(), kRows);
    EXPECT_EQ(q.Fields(0)->AsVariant().toInt(), 10);
    EXPECT_EQ(TableRows(), kRows);
}

INSTANTIATE_TEST_SUITE_P(Engines, GridOdbc, ::testing::Values(TEngine::Sqlite, TEngine::Postgres),
                         [](const ::testing::TestParamInfo<TEngine>& i) {
                             return i.param == TEngine::Sqlite ? std::string("SQLite") : std::string("PostgreSQL");
                         });
