#pragma once
// Running the editor's text: the run action (a result into the grid, or a
// message into the memo) and the command action (no result).
//
// Threading: user-interface thread only. The statement runs and its result
// is fetched on a worker (query/DbTask.h) while the message loop runs with
// user input held except a cancel; progress shows after a short while. The
// record walk lets the message loop run (repaints, timers) and holds user
// input too. A run asked for while another is in progress is ignored, so the
// walk always ends with the last record current.

#include "query/Database.h"
#include "query/DbTask.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>

#include <vector>

class TdxDBGrid;

// What a run leaves for the status bar and the messages view: how long it
// took, what it showed, and what the server said besides.
struct TRunSummary {
    qint64 elapsedMs = 0;
    bool rowSet = false;          // the grid shows a row set
    long long rows = -1;          // its rows, or the rows the batch affected; -1 unknown
    int resultSets = 0;           // row sets held
    std::vector<TServerNote> notes;
};

// "200 строк", "1 строка", "3 строки": a count with the Russian noun form.
[[nodiscard]] QString RowsText(long long rows);
// The status panel's text: the rows of row set `shown` (0-based) or the rows
// affected, the time in the user's locale, then which result of how many and
// the number of messages when there is more than one result or any message.
// With `shownRows` < 0 the summary's own rows are shown.
[[nodiscard]] QString RunSummaryText(const TRunSummary& summary, int shown = 0, long long shownRows = -1);
// "результат 2 из 4": which row set of how many is shown (0-based `shown`).
[[nodiscard]] QString ResultPartText(int shown, int count);
// The messages view: one line per message, error, row count and note.
[[nodiscard]] QString ServerNotesText(const std::vector<TServerNote>& notes);
// Informational and error messages among `notes`.
[[nodiscard]] int MessageCount(const std::vector<TServerNote>& notes);

// The grid's columns for `dataSet`: one per field, 200 pixels, not editable.
void RebuildGridColumns(TdxDBGrid& grid, const TDataSet& dataSet);

// The command text: `text` with every leading and trailing character of code
// 0x20 and below removed.
[[nodiscard]] QString TrimCommandText(const QString& text);

// The SQL as the server receives it: `text` split into lines at CR LF, lone
// CR and lone LF, joined with CR LF, with a CR LF after the last line. An
// empty text stays empty.
[[nodiscard]] QString JoinSqlLines(const QString& text);

// What a run touches on the main window; the progress note shows while the
// statement runs.
class TQueryRunView : public TProgressView {
public:
    [[nodiscard]] virtual QString EditorPlainText() const = 0;
    virtual void SetStatusText(const QString& text) = 0;
    // Message state: grid hidden, memo showing `text`.
    virtual void ShowMemoText(const QString& text) = 0;
    // Grid state: grid shown, memo hidden (it keeps its text).
    virtual void ShowGrid() = 0;
    // Lets the message loop run once (repaints, timers; user input is held).
    virtual void ProcessMessages() = 0;
    // Before the run or command closes the result: the grid goes back to
    // the main query if it showed a later row set.
    virtual void BeforeNewResult() {}
    // After every run that reached the server, whatever its outcome.
    virtual void ShowRunSummary(const TRunSummary& summary) { (void)summary; }
};

// What the progress note says after `elapsedMs`: executing, or the rows
// fetched so far when there are some, and how to cancel.
[[nodiscard]] QString RunProgressText(long long rowsFetched, qint64 elapsedMs);

// The progress note of a delete written back to the server.
[[nodiscard]] QString DeleteProgressText(qint64 elapsedMs);

// Waits for the server work of a record command (the grid's delete) as a run
// waits: the progress note after a short while, Esc or the cancel control
// stopping the statement on the server through `query`.
[[nodiscard]] TDbWaitRunner RecordCommandWaitRunner(TDbQuery& query, TProgressView& view);

// How long a run waits for the server to answer a cancel before it gives
// the statement and its connection up (they finish alone on the worker).
inline constexpr qint64 kCancelAnswerMs = 3000;
inline constexpr char16_t kCancelNotAnswered[] =
    u"Соединение закрыто: сервер не ответил на отмену запроса. Следующий запрос подключится заново.";

// The progress note once a cancel is on its way.
[[nodiscard]] QString CancelSentText(qint64 elapsedMs);

// The memo text of a run the user cancelled: our words, then the server's
// on the next line when it gave any.
[[nodiscard]] QString CancelledRunText(const QString& serverText);

struct TQueryRunContext {
    TDbConnection& connection;
    TDbQuery& query;           // ADOQuerySql
    TdxDBGrid& grid;           // dxDBGridRes, bound to the query
    TQueryRunView& view;
    std::function<void()> reconnect;                 // Button3Click
    std::function<QString()> connectionString;       // the process-wide string
};

class TQueryRunner {
public:
    explicit TQueryRunner(TQueryRunContext context) : m_ctx(std::move(context)) {}

    // The run action. Ends normally, or with EAbort after a failure it has
    // shown in the memo. Failures of the reconnect, the walk and the column
    // rebuild pass to the caller.
    void Run();
    // The command action: runs the text without a result; nothing is caught.
    void RunCommand();

    [[nodiscard]] bool Walking() const { return m_walking; }
    // True from the reconnect of a run up to the end of its walk.
    [[nodiscard]] bool Busy() const { return m_busy; }
    // Stops the running statement (as Esc does); nothing when none runs.
    void CancelRun();

private:
    // Runs the SQL through FetchResult on a worker; the UI thread waits.
    void FetchInBackground();
    void WalkToEnd();
    void RebuildColumns();
    void ReportSummary(const QElapsedTimer& clock, bool rowSet);

    TQueryRunContext m_ctx;
    bool m_walking = false;
    bool m_busy = false;
    bool m_cancelled = false;
};
