#pragma once
// frmPwd, the password change window. Created hidden at start-up and owned
// by the application through the process-wide pointer below.

#include <QDialog>

class TfrmPwd : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPwd(QWidget* parent = nullptr);
};

// The one password window; nullptr before start-up and after shut-down.
extern TfrmPwd* frmPwd;
