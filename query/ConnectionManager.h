#pragma once
// The one connection's string and how it is chosen and reopened: the
// "connection string" button (ChooseConnection) and the reconnect every
// server action makes when the connection is closed (Reconnect).
//
// User-interface thread only; both block while the connection opens.

#include <QString>

#include <memory>

class TDbConnection;
class TProgressView;

// The process-wide connection string: empty at start, written only by
// ChooseConnection and Reconnect, read by whoever shows it.
[[nodiscard]] QString& ProcessConnectionString();

// Registry key and value that keep the string between runs.
inline constexpr char16_t kConnectionKey[] = u"\\SOFTWARE\\Norlet System\\";
inline constexpr char16_t kConnectionValue[] = u"A";

// Where ChooseConnection gets a new string from.
class TConnectionDialogProvider {
public:
    virtual ~TConnectionDialogProvider();
    // Shows the dialog without owner, starting empty; "" when cancelled.
    [[nodiscard]] virtual QString Execute() = 0;
};

// Installs `provider`; nullptr restores the connection dialog.
void SetConnectionDialogProvider(std::unique_ptr<TConnectionDialogProvider> provider);
[[nodiscard]] TConnectionDialogProvider& ConnectionDialogProvider();

// Where connects show their progress (the main window's note); nullptr for
// none. Connects run on a worker while the message loop runs (query/DbTask.h):
// Esc or the cancel control returns at once with EDatabaseError
// kConnectCancelledText, and the login time-out holds even where the driver
// lets it pass ("Login timeout expired").
void SetConnectProgressView(TProgressView* view);
[[nodiscard]] TProgressView* ConnectProgressView();
inline constexpr char16_t kConnectCancelledText[] = u"Подключение прервано пользователем.";

// What a connect names as its target: the Server, else the Database, else
// the DSN, else the Driver keyword's value of `connectionString`.
[[nodiscard]] QString ConnectTarget(const QString& connectionString);
// The progress note of a connect to `target` after `elapsedMs`.
[[nodiscard]] QString ConnectProgressText(const QString& target, qint64 elapsedMs);

// Opens `connection` with its string as described above.
void OpenInBackground(TDbConnection& connection);

// Asks for a new string. A cancelled dialog changes nothing. Otherwise the
// string becomes the process-wide one and is stored as "A" before the
// connection is reopened with it; a failed open is shown in a message box
// and ends with EAbort (string and stored value keep the new string). When
// the store cannot be written the connection is reopened with the new string
// all the same, then an Exception says the settings could not be saved and
// names the store's file.
void ChooseConnection(TDbConnection& connection);

// Closes the connection, adopts the stored "A" when it is not empty (unless
// the user's last choice could not be stored: the stored value is older),
// and opens the connection with the process-wide string. Failures propagate.
void Reconnect(TDbConnection& connection);
