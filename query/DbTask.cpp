#include "query/DbTask.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLocale>
#include <QScopedValueRollback>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// What the worker and the waiting thread share; the worker may outlive the
// wait when it is abandoned.
struct TTaskState {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::exception_ptr error;
    QEventLoop* loop = nullptr;   // null once the wait has ended
};

// Swallows user input other than Esc and clicks on the cancel control.
class TInputHold : public QObject {
public:
    TInputHold(QObject* cancelControl, std::function<void()> onCancel)
        : m_control(cancelControl), m_onCancel(std::move(onCancel))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~TInputHold() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_onCancel)
                m_onCancel();
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::MouseButtonDblClick:
            return true;
        case QEvent::MouseButtonRelease:
            if (!OnControl(watched))
                return true;
            if (auto* w = qobject_cast<QWidget*>(watched);
                w && w->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint()) && m_onCancel)
                m_onCancel();
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
            return !OnControl(watched);
        default:
            return false;
        }
    }

private:
    [[nodiscard]] bool OnControl(const QObject* watched) const
    {
        for (const QObject* o = watched; o; o = o->parent())
            if (o == m_control)
                return true;
        return false;
    }

    QObject* m_control;
    std::function<void()> m_onCancel;
};

// The cancel of the innermost wait in progress; its argument: give an
// abandonable wait up at once.
std::function<void(bool)>* g_activeCancel = nullptr;

} // namespace

QString ProgressSeconds(qint64 elapsedMs)
{
    return QLocale().toString(static_cast<double>(elapsedMs) / 1000.0, 'f', 1);
}

bool DbTaskInProgress()
{
    return g_activeCancel != nullptr;
}

void CancelDbTask(bool abandonNow)
{
    if (g_activeCancel)
        (*g_activeCancel)(abandonNow);
}

TDbTaskEnd RunDbTask(std::function<void()> work, const TDbWait& wait)
{
    auto state = std::make_shared<TTaskState>();
    QEventLoop loop;
    state->loop = &loop;
    std::thread([state, work = std::move(work)] {
        std::exception_ptr error;
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(state->mutex);
        state->error = error;
        state->done = true;
        state->ended.notify_all();
        // A posted quit is dropped with the loop if the wait has ended.
        if (state->loop)
            QMetaObject::invokeMethod(state->loop, &QEventLoop::quit, Qt::QueuedConnection);
    }).detach();

    TDbTaskEnd end = TDbTaskEnd::Finished;
    const auto finished = [&state] {
        const std::lock_guard lock(state->mutex);
        return state->done;
    };
    QElapsedTimer clock;
    clock.start();
    qint64 cancelledAt = -1;
    qint64 notedAt = -1;   // when progress was last shown
    std::function<void(bool)> cancel = [&](bool abandonNow) {
        if (wait.cancel)
            wait.cancel();
        notedAt = -1;
        if (cancelledAt < 0)
            cancelledAt = clock.elapsed();
        if (wait.abandonOnCancel && (abandonNow || wait.abandonAfterCancelMs <= 0)) {
            end = TDbTaskEnd::Cancelled;
            loop.quit();
        }
    };
    const QScopedValueRollback<std::function<void(bool)>*> active(g_activeCancel, &cancel);
    bool quitting = QCoreApplication::closingDown();
    {
        const TInputHold hold(wait.cancelControl, [&] { cancel(false); });
        QTimer frame;
        frame.setInterval(kProgressFrameMs);
        QObject::connect(&frame, &QTimer::timeout, &loop, [&] {
            const qint64 elapsed = clock.elapsed();
            if (wait.abandonOnCancel && wait.giveUpAfterMs > 0 && elapsed >= wait.giveUpAfterMs) {
                end = TDbTaskEnd::GaveUp;
                loop.quit();
                return;
            }
            if (wait.abandonOnCancel && cancelledAt >= 0 && elapsed - cancelledAt >= wait.abandonAfterCancelMs) {
                end = TDbTaskEnd::Cancelled;
                loop.quit();
                return;
            }
            if (elapsed >= kProgressDelayMs && wait.progress && (notedAt < 0 || elapsed - notedAt >= kProgressNoteMs)) {
                notedAt = elapsed;
                wait.progress(elapsed);
            }
        });
        frame.start();
        // A loop quit from outside is entered again: the work may still use
        // what the caller owns. Once the application quits, the loop would
        // return at once; the wait blocks on the work instead.
        while (end == TDbTaskEnd::Finished && !finished()) {
            if (quitting) {
                cancel(true);
                if (end != TDbTaskEnd::Finished)
                    break;
                std::unique_lock lock(state->mutex);
                state->ended.wait(lock, [&] { return state->done; });
                break;
            }
            // -1: the application quits, and every loop returns at once.
            if (loop.exec() == -1)
                quitting = true;
        }
    }
    std::exception_ptr error;
    {
        const std::lock_guard lock(state->mutex);
        state->loop = nullptr;
        error = state->error;
    }
    if (end != TDbTaskEnd::Finished)
        return end;
    if (error)
        std::rethrow_exception(error);
    return end;
}
