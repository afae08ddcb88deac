#pragma once
// The connection dialog: a property sheet (Provider, Connection, Advanced,
// All) over a TConnectionSettings. It always starts empty and yields the ODBC
// connection string with the password, or "" when cancelled.
//
// User-interface thread only. Test Connection and the database list connect
// on a worker while the dialog keeps painting (query/DbTask.h), bounded by a
// short login timeout; Esc gives up the wait. A close of the dialog asked for
// meanwhile is held until the wait has ended.

#include "query/ConnectionSettings.h"

#include <QComboBox>
#include <QDialog>

#include <functional>
#include <optional>
#include <vector>

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTableWidget;

// An editable combo box that asks for its list when it is about to drop down.
class TDatabaseCombo : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;
    std::function<void()> OnPopup;
    void showPopup() override;
};

class TConnectionDialog : public QDialog {
    Q_OBJECT
public:
    // The provider list as the driver manager reports it, ordered.
    explicit TConnectionDialog(QWidget* owner = nullptr);
    TConnectionDialog(std::vector<TProviderEntry> providers, QWidget* owner);

    // Shows the dialog modally; the string on OK, "" on Cancel.
    [[nodiscard]] static QString Execute(QWidget* owner = nullptr);

    [[nodiscard]] const TConnectionSettings& Settings() const { return m_settings; }
    [[nodiscard]] QString ConnectionString() const { return m_settings.ConnectionString(); }
    [[nodiscard]] const std::vector<TProviderEntry>& Providers() const { return m_providers; }

    // Selects the provider row `index` (as the user would).
    void SelectProvider(int index);
    // Tries the current string and reports the outcome in a message box.
    void TestConnection();
    // Fills the database list from the server; failures go to a message box.
    void ListDatabases();

    void done(int result) override;

    // Seconds Test Connection and the database list wait for a login when
    // the Advanced page leaves it open.
    static constexpr int kDefaultTestTimeout = 15;

private:
    void BuildProviderPage();
    void BuildConnectionPage();
    void BuildAdvancedPage();
    void BuildAllPage();

    void FieldEdited(TConnectionField field, const QString& value);
    void AllTableEdited();
    void BrowseDatabaseFile();
    void AddKeywordRow();
    void RemoveKeywordRow();

    // Refill widgets from the settings; m_updating keeps the fills from echoing.
    void RefreshFields();
    void RefreshAllTable();
    void RefreshAll();
    [[nodiscard]] int TestTimeout() const;
    // Runs `work` (which owns what it touches) on a worker while the dialog
    // waits; false when the user gave the wait up.
    bool WaitFor(std::function<void()> work);

    TConnectionSettings m_settings;
    std::vector<TProviderEntry> m_providers;
    bool m_updating = false;
    bool m_waiting = false;
    std::optional<int> m_doneAfterWait;   // a close asked for during a wait

    QTabWidget* m_tabs = nullptr;
    QListWidget* m_providerList = nullptr;

    QFormLayout* m_connectionForm = nullptr;
    QLineEdit* m_serverEdit = nullptr;
    QLineEdit* m_portEdit = nullptr;
    TDatabaseCombo* m_databaseCombo = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QCheckBox* m_blankPassword = nullptr;
    QLineEdit* m_fileEdit = nullptr;
    QPushButton* m_browseButton = nullptr;
    QWidget* m_fileRow = nullptr;
    QWidget* m_databaseRow = nullptr;
    QWidget* m_passwordRow = nullptr;
    QPushButton* m_testButton = nullptr;

    QFormLayout* m_advancedForm = nullptr;
    QLineEdit* m_timeoutEdit = nullptr;
    QComboBox* m_tdsVersionCombo = nullptr;
    QComboBox* m_encryptionCombo = nullptr;
    QLineEdit* m_charsetEdit = nullptr;

    QTableWidget* m_allTable = nullptr;
};
