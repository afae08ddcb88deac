#pragma once
// Every modal box and every file or font dialog goes through the current
// dialog service, so tests can script the answers instead of blocking.

#include <QFont>
#include <QColor>
#include <QString>

#include <memory>
#include <optional>

class QWidget;

struct TFontChoice {
    QFont font;
    QColor color;
};

class TDialogService {
public:
    virtual ~TDialogService() = default;

    // Plain message box: the text, no icon, one OK button, under the
    // application's title.
    virtual void ShowMessage(const QString& text) = 0;
    // Error box under the application's title (the text as given).
    virtual void ShowError(const QString& text) = 0;
    // OK/Cancel question with a question icon; true for OK.
    [[nodiscard]] virtual bool Confirm(QWidget* owner, const QString& caption, const QString& text) = 0;
    // File dialogs; std::nullopt when cancelled. `filter` is a Qt name filter.
    [[nodiscard]] virtual std::optional<QString> OpenFile(QWidget* owner, const QString& filter) = 0;
    [[nodiscard]] virtual std::optional<QString> SaveFile(QWidget* owner, const QString& filter) = 0;
    // Font dialog starting from `initial`; std::nullopt when cancelled.
    [[nodiscard]] virtual std::optional<TFontChoice> ChooseFont(QWidget* owner, const TFontChoice& initial) = 0;
};

// The process-wide service; a Qt implementation unless a test installs one.
[[nodiscard]] TDialogService& Dialogs();
// Installs `service` (nullptr restores the Qt implementation); returns the
// previous one's ownership to the caller when it was installed by a caller
// (nullptr when the Qt implementation was in force).
std::unique_ptr<TDialogService> SetDialogService(std::unique_ptr<TDialogService> service);
