#include "query/untPwd.h"

TfrmPwd* frmPwd = nullptr;

TfrmPwd::TfrmPwd(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPwd"));
    // Closing this window never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);
}
