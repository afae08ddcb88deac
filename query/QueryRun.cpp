#include "query/QueryRun.h"

#include "query/DbTask.h"

#include "grid/dxDBGrid.h"
#include "platform/ui/DialogService.h"
#include "platform/core/Failure.h"

#include <QElapsedTimer>
#include <QScopeGuard>
#include <QScopedValueRollback>

namespace {

const QString kForgotQuery = QStringLiteral("Вы забыли написать запрос");
const QString kCommandDone = QStringLiteral("Выполнение команды завершено");
const QString kNoDataMemo = QStringLiteral("Выполнен запрос не возвращающий данные.");
const QString kCancelledMemo = QStringLiteral("Запрос прерван пользователем.");
constexpr int kColumnWidth = 200;
// The walk hands the loop a turn at most this often; a turn per record
// would cost more than the fetch itself on large results.
constexpr qint64 kWalkTurnMs = 15;

} // namespace

QString TrimCommandText(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

QString JoinSqlLines(const QString& text)
{
    if (text.isEmpty())
        return {};
    QString out;
    out.reserve(text.size() + text.size() / 16 + 2);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < n && text.at(i + 1) == u'\n')
                ++i;
            out += QStringLiteral("\r\n");
        } else if (c == u'\n') {
            out += QStringLiteral("\r\n");
        } else {
            out += c;
        }
    }
    if (!out.endsWith(QStringLiteral("\r\n")))
        out += QStringLiteral("\r\n");
    return out;
}

QString RunProgressText(long long rowsFetched, qint64 elapsedMs)
{
    const QString seconds = ProgressSeconds(elapsedMs);
    const QString what = rowsFetched > 0
        ? QStringLiteral("Получено строк: %1").arg(rowsFetched)
        : QStringLiteral("Выполняется запрос");
    return QStringLiteral("%1 (%2 с). Esc — отмена").arg(what, seconds);
}

QString DeleteProgressText(qint64 elapsedMs)
{
    return QStringLiteral("Удаление записи (%1 с). Esc — отмена").arg(ProgressSeconds(elapsedMs));
}

TDbWaitRunner RecordCommandWaitRunner(TDbQuery& query, TProgressView& view)
{
    return [&query, &view](const std::function<void()>& work) {
        const auto hide = qScopeGuard([&view] { view.HideProgress(); });
        bool cancelled = false;
        TDbWait wait;
        wait.cancel = [&] {
            cancelled = true;
            query.CancelRunning();
        };
        wait.progress = [&](qint64 elapsedMs) {
            // A cancel that came between two statements is repeated.
            if (cancelled)
                query.CancelRunning();
            view.ShowProgress(DeleteProgressText(elapsedMs));
        };
        wait.cancelControl = view.CancelControl();
        (void)RunDbTask(work, wait);
    };
}

QString CancelledRunText(const QString& serverText)
{
    return serverText.isEmpty() ? kCancelledMemo : kCancelledMemo + QLatin1Char('\n') + serverText;
}

void TQueryRunner::CancelRun()
{
    if (!m_busy)
        return;
    m_cancelled = true;
    m_ctx.query.CancelRunning();
}

void TQueryRunner::FetchInBackground()
{
    TDbQuery& q = m_ctx.query;
    TQueryRunView& view = m_ctx.view;
    const auto hide = qScopeGuard([&view] { view.HideProgress(); });
    TDbWait wait;
    wait.cancel = [this] { CancelRun(); };
    wait.progress = [this, &q, &view](qint64 elapsedMs) {
        // A cancel that came before the driver had the statement is repeated.
        if (m_cancelled)
            q.CancelRunning();
        view.ShowProgress(RunProgressText(q.RowsFetched(), elapsedMs));
    };
    wait.cancelControl = view.CancelControl();
    (void)RunDbTask([&q] { q.FetchResult(); }, wait);
}

void TQueryRunner::Run()
{
    if (m_walking || m_busy)
        return;

    const QString text = TrimCommandText(m_ctx.view.EditorPlainText());
    if (text.isEmpty()) {
        Dialogs().ShowMessage(kForgotQuery);
        return;
    }

    const QScopedValueRollback<bool> busy(m_busy, true);
    m_cancelled = false;
    if (!m_ctx.connection.Connected())
        m_ctx.reconnect();

    m_ctx.view.SetStatusText(m_ctx.connectionString());

    try {
        m_ctx.query.Close();
        m_ctx.query.SetSQL(JoinSqlLines(text));
        FetchInBackground();
        if (m_cancelled) {
            // Stopped too late to fail: the whole result came, yet the user
            // asked for none.
            m_ctx.query.Close();
            m_ctx.view.ShowMemoText(kCancelledMemo);
            Abort();
        }
        m_ctx.query.OpenFetched();
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        m_ctx.query.Close();
        const auto* failure = dynamic_cast<const Exception*>(&e);
        const QString message = failure ? failure->Message() : QString::fromLocal8Bit(e.what());
        const auto& errors = m_ctx.connection.Errors();
        if (!m_cancelled && !errors.empty() && errors.front().NativeError == kNoResultNativeError) {
            Dialogs().ShowMessage(kCommandDone);
            m_ctx.view.ShowMemoText(kNoDataMemo);
            return;
        }
        // A dead connection is closed, so the next action reconnects; nothing
        // is retried now.
        if (m_ctx.connection.ConnectionLost())
            m_ctx.connection.Close();
        m_ctx.view.ShowMemoText(m_cancelled ? CancelledRunText(message) : message);
        Abort();
    }

    WalkToEnd();
    RebuildColumns();
    m_ctx.view.ShowGrid();
}

void TQueryRunner::WalkToEnd()
{
    const QScopedValueRollback<bool> walking(m_walking, true);
    TDbQuery& q = m_ctx.query;
    // Notifications are held during the walk; the grid catches up at every turn.
    q.DisableControls();
    const auto enable = qScopeGuard([&q] { q.EnableControls(); });
    QElapsedTimer turn;
    turn.start();
    q.First();
    while (!q.Eof()) {
        q.Next();
        if (turn.elapsed() >= kWalkTurnMs) {
            q.EnableControls();
            q.DisableControls();
            m_ctx.view.ProcessMessages();
            turn.restart();
        }
    }
}

void TQueryRunner::RebuildColumns()
{
    TdxDBGrid& grid = m_ctx.grid;
    TDbQuery& q = m_ctx.query;
    grid.ClearColumns();
    grid.SetOptionsDB(grid.OptionsDB() - edgoLoadAllRecords);
    const int count = q.FieldCount();
    for (int i = 0; i < count; ++i) {
        const TField* field = q.Fields(i);
        TdxDBGridMaskColumn* column = grid.AddColumn();
        column->SetFieldName(field->FieldName());
        column->SetColIndex(i);
        column->SetCaption(field->FieldName());
        column->SetDisableEditor(true);
        column->SetWidth(kColumnWidth);
    }
}

void TQueryRunner::RunCommand()
{
    if (m_walking || m_busy)
        return;
    if (!m_ctx.connection.Connected())
        m_ctx.reconnect();
    m_ctx.view.SetStatusText(m_ctx.connectionString());
    m_ctx.query.Close();
    m_ctx.query.SetSQL(JoinSqlLines(TrimCommandText(m_ctx.view.EditorPlainText())));
    try {
        (void)m_ctx.query.ExecSQL();
    } catch (const EDatabaseError&) {
        if (m_ctx.connection.ConnectionLost())
            m_ctx.connection.Close();
        throw;
    }
    Dialogs().ShowMessage(kCommandDone);
}
