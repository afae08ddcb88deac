#pragma once
// frmPwd, the password change window: a login and a new password become a
// call of sp_password in the main window's editor, run by the ordinary run
// action. One instance at most, owned by the application through the
// process-wide pointer below; closing it destroys it.
//
// Threading: user-interface thread only.

#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

// The main window as this window uses it.
struct TPasswordHost {
    // Replaces the whole text of the query editor.
    std::function<void(const QString&)> setEditorText;
    // The run action; returns normally only when the statement ran.
    std::function<void()> runQuery;
};

// The new password as sent: leading and trailing characters of code 0x20
// and below removed.
[[nodiscard]] QString TrimPassword(const QString& password);

// The two lines, joined by a lone CR, that change `login`'s password to
// `password` (both sent as given). A single quote in either is doubled, so
// it stays inside its literal.
[[nodiscard]] QString PasswordStatement(const QString& login, const QString& password);

class TfrmPwd : public QWidget {
    Q_OBJECT
public:
    // Design outer size, frame included; the window opens at it, centred,
    // and grows where its content needs more.
    static constexpr int kDesignWidth = 380;
    static constexpr int kDesignHeight = 187;
    static constexpr int kPanelHeight = 41;

    explicit TfrmPwd(TPasswordHost host = {}, QWidget* parent = nullptr);
    // Clears frmPwd when it points here.
    ~TfrmPwd() override;

    QWidget* pnlClient = nullptr;
    QLabel* lbUser = nullptr;
    QLineEdit* edUser = nullptr;
    QLabel* lbPwd = nullptr;
    QLineEdit* edPwd = nullptr;
    QWidget* pnlBottom = nullptr;
    QPushButton* bbOk = nullptr;
    QPushButton* bbNone = nullptr;

    // Puts the statement into the editor and runs it; closes the window only
    // when the run returns normally, so a failure leaves it open as it was.
    // A close asked for while the run waits (the window's close box) is held
    // until the run has ended: the window is never destroyed under it.
    void bbOkClick(QObject* Sender);
    void bbNoneClick(QObject* Sender);
    void FormClose(QObject* Sender);

    // Shows the window modeless and brings it to the front.
    void ShowForward();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TPasswordHost m_host;
    bool m_running = false;        // bbOkClick waits for the run
    bool m_closePending = false;   // a close came meanwhile
};

// The one password window; nullptr when none is open.
extern TfrmPwd* frmPwd;
