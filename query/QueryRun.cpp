#include "query/QueryRun.h"

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

void TQueryRunner::Run()
{
    if (m_walking)
        return;

    const QString text = TrimCommandText(m_ctx.view.EditorPlainText());
    if (text.isEmpty()) {
        Dialogs().ShowMessage(kForgotQuery);
        return;
    }

    if (!m_ctx.connection.Connected())
        m_ctx.reconnect();

    m_ctx.view.SetStatusText(m_ctx.connectionString());

    try {
        m_ctx.query.Close();
        m_ctx.query.SetSQL(JoinSqlLines(text));
        m_ctx.query.Open();
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception& e) {
        const auto& errors = m_ctx.connection.Errors();
        if (!errors.empty() && errors.front().NativeError == kNoResultNativeError) {
            Dialogs().ShowMessage(kCommandDone);
            m_ctx.view.ShowMemoText(kNoDataMemo);
            return;
        }
        const auto* failure = dynamic_cast<const Exception*>(&e);
        m_ctx.view.ShowMemoText(failure ? failure->Message() : QString::fromLocal8Bit(e.what()));
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
    if (m_walking)
        return;
    if (!m_ctx.connection.Connected())
        m_ctx.reconnect();
    m_ctx.view.SetStatusText(m_ctx.connectionString());
    m_ctx.query.Close();
    m_ctx.query.SetSQL(JoinSqlLines(TrimCommandText(m_ctx.view.EditorPlainText())));
    (void)m_ctx.query.ExecSQL();
    Dialogs().ShowMessage(kCommandDone);
}
