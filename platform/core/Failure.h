#pragma once
// Failures are exceptions that carry a message. EAbort is the silent abort:
// it ends a chain of handlers and is never shown.

#include <QString>

#include <stdexcept>

class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    [[nodiscard]] const QString& Message() const { return m_message; }
private:
    QString m_message;
};

class EAbort : public Exception {
public:
    EAbort() : Exception(QStringLiteral("Operation aborted")) {}
};

// Raises the silent abort.
[[noreturn]] inline void Abort() { throw EAbort(); }
