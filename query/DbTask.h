#pragma once
// Database work off the user-interface thread: RunDbTask runs one callable on
// a worker thread while the calling (user-interface) thread runs the message
// loop, so the window repaints, resizes and runs its timers. User input is
// held meanwhile, except a cancel: Esc, or a click on the cancel control.
//
// The callable's result reaches the caller through what it captures (written
// on the worker, read after RunDbTask returns) or as its exception, rethrown
// on the calling thread. Nothing on the worker may touch a widget.

#include <QObject>
#include <QString>

#include <functional>

// Where a wait shows its progress: a note over the window's result area that
// carries the cancel control.
class TProgressView {
public:
    virtual ~TProgressView() = default;
    // Shown or updated with `text`, then hidden.
    virtual void ShowProgress(const QString& text) = 0;
    virtual void HideProgress() = 0;
    // The control whose clicks cancel the wait; may be null.
    [[nodiscard]] virtual QObject* CancelControl() = 0;
};

// The elapsed time as progress notes show it: seconds with one decimal, the
// separator of the user's locale (QLocale(), the system's unless a default
// was set).
[[nodiscard]] QString ProgressSeconds(qint64 elapsedMs);

// How long a wait runs before progress is shown, how often it is polled,
// and how often its note is written again (the note shows tenths of a
// second; a cancel asked for is shown at the next frame).
inline constexpr int kProgressDelayMs = 300;
inline constexpr int kProgressFrameMs = 16;
inline constexpr int kProgressNoteMs = 100;

struct TDbWait {
    // User-interface thread, when the user asks to stop (may be asked again).
    std::function<void()> cancel;
    // User-interface thread, every kProgressNoteMs once kProgressDelayMs
    // have passed, and at the first frame after a cancel; the argument is
    // the milliseconds since the start.
    std::function<void(qint64 elapsedMs)> progress;
    // Clicks on this object (and its children) pass the input hold; a
    // release inside it is a cancel.
    QObject* cancelControl = nullptr;
    // When set, a cancel (after abandonAfterCancelMs) or the give-up time
    // ends the wait and the work is left to finish alone: it must own
    // everything it touches.
    bool abandonOnCancel = false;
    // How long after the first cancel an abandonable wait still waits for
    // the work to end by itself; 0 gives it up at once.
    qint64 abandonAfterCancelMs = 0;
    // Milliseconds after which an abandonable wait gives up; 0 never.
    qint64 giveUpAfterMs = 0;
};

enum class TDbTaskEnd {
    Finished,    // the work returned (or its exception has been rethrown)
    Cancelled,   // abandoned after a cancel
    GaveUp,      // abandoned at giveUpAfterMs
};

// Runs `work` on a new thread and waits as described above. Not re-entrant
// from inside `wait`'s callbacks. When the application is quitting, the wait
// cancels the work and gives it up at once when it may, and otherwise blocks
// until it ends, without turning the event loop.
TDbTaskEnd RunDbTask(std::function<void()> work, const TDbWait& wait);

// Cancels the wait in progress as Esc would (a close of the main window asks
// this); nothing when none runs. With `abandonNow`, an abandonable wait is
// given up at once. User-interface thread.
void CancelDbTask(bool abandonNow = false);
// Whether a wait is in progress. User-interface thread.
[[nodiscard]] bool DbTaskInProgress();
