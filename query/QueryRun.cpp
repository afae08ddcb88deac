#include "query/QueryRun.h"

#include "query/DbTask.h"

#include "grid/dxDBGrid.h"
#include "platform/ui/DialogService.h"
#include "platform/core/Failure.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QScopeGuard>
#include <QStringList>
#include <QScopedValueRollback>

#include <algorithm>

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

QString CancelSentText(qint64 elapsedMs)
{
    return QStringLiteral("Отмена отправлена, ждём ответа сервера (%1 с)").arg(ProgressSeconds(elapsedMs));
}

QString CancelledRunText(const QString& serverText)
{
    return serverText.isEmpty() ? kCancelledMemo : kCancelledMemo + QLatin1Char('\n') + serverText;
}

QString RowsText(long long rows)
{
    const long long tens = rows % 100;
    const long long ones = rows % 10;
    const char16_t* noun = u"строк";
    if (tens < 11 || tens > 14) {
        if (ones == 1)
            noun = u"строка";
        else if (ones >= 2 && ones <= 4)
            noun = u"строки";
    }
    return QStringLiteral("%1 %2").arg(rows).arg(QString::fromUtf16(noun));
}

int MessageCount(const std::vector<TServerNote>& notes)
{
    return static_cast<int>(std::count_if(notes.begin(), notes.end(), [](const TServerNote& n) {
        return n.kind == TServerNote::Kind::Message || n.kind == TServerNote::Kind::Error;
    }));
}

QString RunSummaryText(const TRunSummary& summary, int shown, long long shownRows)
{
    QStringList parts;
    const long long rows = shownRows >= 0 ? shownRows : summary.rows;
    if (summary.rowSet)
        parts << RowsText(std::max(0LL, rows));
    else if (rows >= 0)
        parts << QStringLiteral("Строк обработано: %1").arg(rows);
    parts << QLocale().toString(static_cast<double>(summary.elapsedMs) / 1000.0, 'f', 2) + QStringLiteral(" с");
    if (summary.resultSets > 1)
        parts << ResultPartText(shown, summary.resultSets);
    if (const int messages = MessageCount(summary.notes); messages > 0)
        parts << QStringLiteral("сообщений: %1").arg(messages);
    return parts.join(QStringLiteral(" · "));
}

QString ResultPartText(int shown, int count)
{
    return QStringLiteral("результат %1 из %2").arg(shown + 1).arg(count);
}

QString ServerNotesText(const std::vector<TServerNote>& notes)
{
    using Kind = TServerNote::Kind;
    QStringList lines;
    for (const TServerNote& n : notes) {
        switch (n.kind) {
        case Kind::Message:
            lines << n.text;
            break;
        case Kind::Error:
            lines << (n.nativeError != 0 ? QStringLiteral("Ошибка %1: %2").arg(n.nativeError).arg(n.text)
                                         : QStringLiteral("Ошибка: %1").arg(n.text));
            break;
        case Kind::RowCount:
        case Kind::RowSet:
            lines << QStringLiteral("(строк обработано: %1)").arg(n.rows);
            break;
        case Kind::Dropped:
            lines << QStringLiteral("Не показано результатов: %1 (хранится не больше %2).")
                         .arg(n.rows).arg(kMaxHeldResultSets);
            break;
        case Kind::Stopped:
            lines << QStringLiteral("Получение остальных результатов прервано пользователем.");
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
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
        view.ShowProgress(m_cancelled ? CancelSentText(elapsedMs) : RunProgressText(q.RowsFetched(), elapsedMs));
    };
    wait.cancelControl = view.CancelControl();
    const std::shared_ptr<TDbFetchJob> job = q.PrepareFetch();
    if (!job) {
        (void)RunDbTask([&q] { q.FetchResult(); }, wait);
        return;
    }
    // The job owns its statement and its share of the connection, so a
    // server that does not answer the cancel cannot keep the window.
    wait.abandonOnCancel = true;
    wait.abandonAfterCancelMs = kCancelAnswerMs;
    if (RunDbTask([job] { job->Run(); }, wait) == TDbTaskEnd::Finished) {
        q.FinishFetch(*job);
        return;
    }
    q.AbandonFetch();
    throw EDatabaseError(QString::fromUtf16(kCancelNotAnswered));
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

    QElapsedTimer clock;
    clock.start();
    try {
        m_ctx.view.BeforeNewResult();
        m_ctx.query.Close();
        m_ctx.query.SetSQL(JoinSqlLines(text));
        FetchInBackground();
        const std::vector<TServerNote> notes = m_ctx.query.ServerNotes();
        const bool laterStopped = std::any_of(notes.begin(), notes.end(), [](const TServerNote& n) {
            return n.kind == TServerNote::Kind::Stopped;
        });
        // A cancel that stopped the later results only keeps the first.
        if (m_cancelled && !laterStopped) {
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
            ReportSummary(clock, false);
            Dialogs().ShowMessage(kCommandDone);
            m_ctx.view.ShowMemoText(kNoDataMemo);
            return;
        }
        // A dead connection is closed, so the next action reconnects; nothing
        // is retried now.
        if (m_ctx.connection.ConnectionLost())
            m_ctx.connection.Close();
        m_ctx.view.ShowMemoText(m_cancelled ? CancelledRunText(message) : message);
        ReportSummary(clock, false);
        Abort();
    }

    const qint64 fetched = clock.elapsed();
    WalkToEnd();
    RebuildColumns();
    m_ctx.view.ShowGrid();
    TRunSummary summary;
    summary.elapsedMs = fetched;
    summary.rowSet = true;
    summary.rows = m_ctx.query.RecordCount();
    summary.resultSets = m_ctx.query.ResultSetCount();
    summary.notes = m_ctx.query.ServerNotes();
    m_ctx.view.ShowRunSummary(summary);
}

void TQueryRunner::ReportSummary(const QElapsedTimer& clock, bool rowSet)
{
    TRunSummary summary;
    summary.elapsedMs = clock.elapsed();
    summary.rowSet = rowSet;
    summary.notes = m_ctx.query.ServerNotes();
    for (const TServerNote& n : summary.notes)
        if (n.kind == TServerNote::Kind::RowCount)
            summary.rows = std::max(0LL, summary.rows) + n.rows;
    m_ctx.view.ShowRunSummary(summary);
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
    RebuildGridColumns(m_ctx.grid, m_ctx.query);
}

void RebuildGridColumns(TdxDBGrid& grid, const TDataSet& q)
{
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
    m_ctx.view.BeforeNewResult();
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
