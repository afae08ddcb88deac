// The steps of the program's start-up (app/Project1.cpp) timed one by one,
// up to the main window's first expose; run it under the same display as
// bench_startup. Prints milliseconds per step since the process started (as
// fine as the kernel's start time, 10 ms ticks) and since main() was entered.

#include "app/FontPreload.h"
#include "app/QtTranslations.h"
#include "app/Unit1.h"
#include "platform/ui/Application.h"
#include "query/untNotes.h"
#include "query/untPwd.h"

#include <QLocale>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <string>

namespace {

// Milliseconds since the process started (its start time in /proc).
double SinceStartMs()
{
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && stat >> field; ++i) {
    }
    const double startTicks = std::stod(field);
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9) * 1e3
        - startTicks * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

const auto g_mainEntered = std::chrono::steady_clock::now();

void Step(const char* name)
{
    const std::chrono::duration<double, std::milli> inMain = std::chrono::steady_clock::now() - g_mainEntered;
    std::printf("%8.1f ms  %8.2f ms in main  %s\n", SinceStartMs(), inMain.count(), name);
}

class TExposeWatch : public QObject {
protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Expose) {
            Step("main window exposed");
            QTimer::singleShot(0, qApp, [] {
                Step("first frame painted");
                QCoreApplication::exit(0);
            });
        }
        return false;
    }
};

} // namespace

int main(int argc, char** argv)
{
    Step("main entered (libraries loaded and relocated)");
    TFontPreload fonts;
    TApplication application(argc, argv);
    fonts.FillFontDatabase();
    Step("application object");
    InstallQtTranslations(application, QLocale::system());
    Step("Qt translations");
    application.setQuitOnLastWindowClosed(false);
    InstallDesignFontSubstitutions();
    fonts.WaitForConfiguration();
    Step("fontconfig read");
    auto form = std::make_unique<TfrmQA>();
    fonts.Wait();
    Step("main window built");
    TExposeWatch watch;
    form->winId();
    form->windowHandle()->installEventFilter(&watch);
    form->show();
    Step("main window shown");
    const int code = application.exec();
    delete frmPwd;
    delete frmNotes;
    return code;
}
