#pragma once
// Running the editor's text: the run action (a result into the grid, or a
// message into the memo) and the command action (no result).
//
// Threading: user-interface thread only. The record walk lets the message
// loop run (repaints, timers) but holds user input until it ends, and a run
// asked for while a walk is in progress is ignored, so the walk always ends
// with the last record current.

#include "query/Database.h"

#include <QString>

#include <functional>

class TdxDBGrid;

// The command text: `text` with every leading and trailing character of code
// 0x20 and below removed.
[[nodiscard]] QString TrimCommandText(const QString& text);

// The SQL as the server receives it: `text` split into lines at CR LF, lone
// CR and lone LF, joined with CR LF, with a CR LF after the last line. An
// empty text stays empty.
[[nodiscard]] QString JoinSqlLines(const QString& text);

// What a run touches on the main window.
class TQueryRunView {
public:
    virtual ~TQueryRunView() = default;
    [[nodiscard]] virtual QString EditorPlainText() const = 0;
    virtual void SetStatusText(const QString& text) = 0;
    // Message state: grid hidden, memo showing `text`.
    virtual void ShowMemoText(const QString& text) = 0;
    // Grid state: grid shown, memo hidden (it keeps its text).
    virtual void ShowGrid() = 0;
    // Lets the message loop run once (repaints, timers; user input is held).
    virtual void ProcessMessages() = 0;
};

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

private:
    void WalkToEnd();
    void RebuildColumns();

    TQueryRunContext m_ctx;
    bool m_walking = false;
};
