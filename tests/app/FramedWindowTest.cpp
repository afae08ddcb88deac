// The three windows under a real window manager, whose frame arrives after
// the first show: each opens at its design outer size, centred. Run through
// tests/support/with-window-manager.sh; without an X server and a window
// manager the tests skip (and fail under CI=true, which installs both).

#include "app/Unit1.h"
#include "platform/settings/Registry.h"
#include "query/untNotes.h"
#include "query/untPwd.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int kFrameWaitMs = 5000;

bool RunningInCi()
{
    const char* ci = std::getenv("CI");
    return ci && QByteArray(ci) == "true";
}

// Skips (fails on CI, which installs both) without an X server or without
// a window manager that frames windows; `why` says which.
#define BQA_SKIP_WITHOUT_FRAMES(why)                                                  \
    do {                                                                              \
        if (RunningInCi())                                                            \
            FAIL() << why << ": run through tests/support/with-window-manager.sh";   \
        GTEST_SKIP() << why;                                                          \
    } while (0)
#define BQA_REQUIRE_FRAMES()                                                          \
    do {                                                                              \
        if (QGuiApplication::platformName() != QLatin1String("xcb"))                  \
            BQA_SKIP_WITHOUT_FRAMES("no X server");                                   \
    } while (0)

// Runs the event loop until `done()` holds; false after `ms` without.
template <class Done>
bool WaitFor(Done done, int ms = kFrameWaitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QTest::qWait(10);
    }
    return true;
}

std::string Shown(const QRect& r)
{
    return QStringLiteral("%1x%2 at (%3, %4)").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()).toStdString();
}

// Waits for the frame, then for the window to settle at `outer`, centred.
void ExpectOpensAt(QWidget& window, QSize outer)
{
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    if (!WaitFor([&] { return window.frameGeometry().size() != window.geometry().size(); }))
        BQA_SKIP_WITHOUT_FRAMES("no window manager framed the window");
    const QPoint centre = window.screen()->geometry().center();
    const auto placed = [&] {
        const QRect frame = window.frameGeometry();
        return frame.size() == outer && std::abs(frame.center().x() - centre.x()) <= 1
            && std::abs(frame.center().y() - centre.y()) <= 1;
    };
    EXPECT_TRUE(WaitFor(placed)) << "outer " << Shown(window.frameGeometry()) << ", wanted "
                                 << Shown(QRect(QPoint(), outer).translated(centre - QRect(QPoint(), outer).center()));
}

TEST(FramedWindows, TheViewerOpensAtItsDesignSizeCentred)
{
    BQA_REQUIRE_FRAMES();
    auto* viewer = new TfrmNotes();
    viewer->ShowForward();
    ExpectOpensAt(*viewer, QSize(TfrmNotes::kDesignWidth, TfrmNotes::kDesignHeight));
    delete viewer;
}

TEST(FramedWindows, ThePasswordWindowOpensAtItsDesignSizeCentred)
{
    BQA_REQUIRE_FRAMES();
    auto* pwd = new TfrmPwd();
    pwd->ShowForward();
    ExpectOpensAt(*pwd, QSize(TfrmPwd::kDesignWidth, TfrmPwd::kDesignHeight));
    delete pwd;
}

TEST(FramedWindows, TheMainWindowOpensAtItsDesignSizeCentred)
{
    BQA_REQUIRE_FRAMES();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TRegistry::SetStorePath(dir.filePath(QStringLiteral("registry")));
    TScopedDialogs dialogs;
    {
        TfrmQA form;
        form.show();
        ExpectOpensAt(form, QSize(TfrmQA::kDesignWidth, TfrmQA::kDesignHeight));
    }
    TRegistry::SetStorePath(QString());
}

} // namespace

int main(int argc, char** argv)
{
    // An X server when there is one, else the offscreen platform (and skips).
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
