#pragma once
// The application object's share of failure handling: its title, the default
// failure handler that turns an uncaught failure into an error box, and the
// guard that keeps every failure inside the handler that raised it.

#include <QApplication>
#include <QString>

#include <exception>

class QWidget;

// The executable's file name without directory, cut at its first ".", every
// character after the first lower-cased and the first kept as it is:
// "/usr/bin/BRENVO-QA" gives "Brenvo-qa", "project1.Exe" gives "project1".
[[nodiscard]] QString ApplicationTitle(const QString& executablePath);

// The title boxes are shown under: the application name when one is set,
// else the title rule applied to the running executable.
[[nodiscard]] QString BoxTitle();

// The text of the default error box: `message` with "." appended when its
// last UTF-16 code unit is greater than '.'; an empty message stays empty.
[[nodiscard]] QString FailureBoxText(const QString& message);

// The default failure handler: EAbort shows nothing, an Exception shows an
// error box with FailureBoxText(Message()), any other std::exception with
// FailureBoxText of its what() (UTF-8). Never throws: a failure of the box
// itself is written to standard error.
void HandleFailure(const std::exception& e) noexcept;
// The same for a failure that is not a std::exception.
void HandleUnknownFailure() noexcept;

// Runs `f`; whatever it throws goes to the default failure handler and never
// further. For every Qt event handler, slot and lambda that may fail.
template <class F>
void Guarded(F&& f) noexcept
{
    try {
        static_cast<F&&>(f)();
    } catch (const std::exception& e) {
        HandleFailure(e);
    } catch (...) {
        HandleUnknownFailure();
    }
}

// Connects `signal` of `sender` to the form handler `handler`, called with
// `sender` as its sender and run through Guarded. The connection ends with
// `form` or `sender`.
template <class Sender, class Signal, class Form>
void ConnectGuarded(Sender* sender, Signal signal, Form* form, void (Form::*handler)(QObject*))
{
    QObject::connect(sender, signal, form, [sender, form, handler] { Guarded([&] { (form->*handler)(sender); }); });
}

// Moves `window` so that its outer frame is centred on the screen it is on;
// nothing happens while it has no screen.
void CentreOnItsScreen(QWidget& window);

// Shows `window` (restored when minimised) and brings it to the front.
void BringForward(QWidget& window);

// Sets the application name (and so every box's title) to the title rule of
// the running executable.
void InstallApplication(QApplication& application);

// An application object whose event delivery runs guarded, so a failure
// thrown by any event handler or slot reaches the default failure handler
// and the message loop goes on. Installs itself as InstallApplication does.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};
