#pragma once
// The one connection's string and how it is chosen and reopened: the
// "connection string" button (ChooseConnection) and the reconnect every
// server action makes when the connection is closed (Reconnect).
//
// User-interface thread only; both block while the connection opens.

#include <QString>

#include <memory>

class TDbConnection;

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

// Asks for a new string. A cancelled dialog changes nothing. Otherwise the
// string becomes the process-wide one and is stored as "A" before the
// connection is reopened with it; a failed open is shown in a message box
// and ends with EAbort (string and stored value keep the new string). A
// failing store write raises its Exception with the connection untouched.
void ChooseConnection(TDbConnection& connection);

// Closes the connection, adopts the stored "A" when it is not empty, and
// opens the connection with the process-wide string. Failures propagate.
void Reconnect(TDbConnection& connection);
