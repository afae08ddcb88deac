#pragma once
// The dialog service of tests: every request is logged, answers come from
// queues filled beforehand, and a request without a queued answer throws
// TUnscriptedDialog. Since a guarded handler may swallow that throw, the
// scripted service also remembers it, and TScopedDialogs ends the process
// with a message when it goes out of scope with such a request left
// unacknowledged, so a forgotten answer can never pass silently.

#include "platform/ui/DialogService.h"

#include <QStringList>

#include <cstddef>
#include <deque>
#include <optional>
#include <stdexcept>
#include <vector>

enum class TDialogKind { Message, Error, Confirm, OpenFile, SaveFile, Font };

[[nodiscard]] const char* DialogKindName(TDialogKind kind);

struct TDialogCall {
    TDialogKind kind;
    QString text;     // Message, Error, Confirm
    QString caption;  // Confirm
    QString filter;   // OpenFile, SaveFile
    QWidget* owner = nullptr;
    std::optional<TFontChoice> initialFont; // Font
};

class TUnscriptedDialog : public std::logic_error {
public:
    explicit TUnscriptedDialog(const QString& what) : std::logic_error(what.toStdString()) {}
};

class TScriptedDialogs : public TDialogService {
public:
    void QueueConfirm(bool answer) { m_confirms.push_back(answer); }
    void QueueOpenFile(std::optional<QString> answer) { m_openFiles.push_back(std::move(answer)); }
    void QueueSaveFile(std::optional<QString> answer) { m_saveFiles.push_back(std::move(answer)); }
    void QueueFont(std::optional<TFontChoice> answer) { m_fonts.push_back(std::move(answer)); }

    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    [[nodiscard]] bool Confirm(QWidget* owner, const QString& caption, const QString& text) override;
    [[nodiscard]] std::optional<QString> OpenFile(QWidget* owner, const QString& filter) override;
    [[nodiscard]] std::optional<QString> SaveFile(QWidget* owner, const QString& filter) override;
    [[nodiscard]] std::optional<TFontChoice> ChooseFont(QWidget* owner, const TFontChoice& initial) override;

    // Every request in order, answered or not.
    std::vector<TDialogCall> log;

    // Texts of the logged requests of one kind, in order.
    [[nodiscard]] QStringList Texts(TDialogKind kind) const;
    [[nodiscard]] std::size_t Count(TDialogKind kind) const;
    // Queued answers not yet used.
    [[nodiscard]] std::size_t PendingAnswers() const;
    // Descriptions of requests that found no answer.
    [[nodiscard]] const QStringList& Unanswered() const { return m_unanswered; }
    // Declares the unanswered requests expected (a test of this very rule).
    void AcknowledgeUnanswered() { m_unanswered.clear(); }

private:
    template <class T>
    T Take(std::deque<T>& queue, const TDialogCall& call);

    std::deque<bool> m_confirms;
    std::deque<std::optional<QString>> m_openFiles;
    std::deque<std::optional<QString>> m_saveFiles;
    std::deque<std::optional<TFontChoice>> m_fonts;
    QStringList m_unanswered;
};

// Installs a fresh TScriptedDialogs for its lifetime, then puts back the
// service that was in force before.
class TScopedDialogs {
public:
    TScopedDialogs();
    ~TScopedDialogs();
    TScopedDialogs(const TScopedDialogs&) = delete;
    TScopedDialogs& operator=(const TScopedDialogs&) = delete;

    [[nodiscard]] TScriptedDialogs& operator*() const { return *m_scripted; }
    [[nodiscard]] TScriptedDialogs* operator->() const { return m_scripted; }

private:
    TScriptedDialogs* m_scripted = nullptr; // owned by the installed service slot
    std::unique_ptr<TDialogService> m_previous;
};
