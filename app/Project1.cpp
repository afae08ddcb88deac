#include "app/FontPreload.h"
#include "app/QtTranslations.h"
#include "app/Unit1.h"
#include "platform/ui/Application.h"
#include "query/untNotes.h"
#include "query/untPwd.h"

#include <QLocale>

#include <memory>

int main(int argc, char** argv)
{
    // The fonts' start-up work runs alongside until the main window is built.
    TFontPreload fonts;
    // Event delivery runs guarded: no failure leaves a Qt event handler.
    TApplication application(argc, argv);
    fonts.FillFontDatabase();
    // Qt's own dialogs and buttons speak the user's language.
    InstallQtTranslations(application, QLocale::system());
    // The program ends when frmQA closes, whatever other window is open.
    application.setQuitOnLastWindowClosed(false);
    InstallDesignFontSubstitutions();

    fonts.WaitForConfiguration();
    auto form = std::make_unique<TfrmQA>();
    fonts.Wait();
    QObject::connect(form.get(), &TfrmQA::Closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    // The secondary windows belong to the application: each is built when
    // first shown, frees itself when closed, and whichever is still open goes
    // before the main window.

    form->show();
    const int code = application.exec();

    delete frmPwd;
    delete frmNotes;
    return code;
}
