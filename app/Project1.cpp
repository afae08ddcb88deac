#include "app/HandlerGuard.h"
#include "app/Unit1.h"
#include "query/untPwd.h"

#include <QApplication>

#include <memory>

namespace {

// The application object: every event handler runs through the guard, so a
// failure never leaves a Qt event handler and the message loop goes on.
class TGuardedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        bool result = false;
        Guard([&] { result = QApplication::notify(receiver, event); });
        return result;
    }
};

} // namespace

int main(int argc, char** argv)
{
    TGuardedApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);

    auto form = std::make_unique<TfrmQA>();
    QObject::connect(form.get(), &TfrmQA::Closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    auto password = std::make_unique<TfrmPwd>();
    frmPwd = password.get();

    form->show();
    const int code = application.exec();

    frmPwd = nullptr;
    return code;
}
