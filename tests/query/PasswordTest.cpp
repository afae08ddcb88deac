// The password window with a recording main window.

#include "platform/core/Failure.h"
#include "query/untPwd.h"
#include "tests/support/ScriptedDialogs.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

constexpr int kDesignWidth = 380;
constexpr int kDesignHeight = 187;

class Password : public ::testing::Test {
protected:
    TScopedDialogs dialogs;
    QStringList editorTexts;
    int runs = 0;
    // What the recorded run does: nothing, or raise.
    std::function<void()> runBehaviour = [] {};

    void TearDown() override
    {
        delete frmPwd;
        EXPECT_EQ(frmPwd, nullptr);
    }
    TPasswordHost Host()
    {
        return TPasswordHost{[this](const QString& text) { editorTexts << text; },
                             [this] { ++runs; runBehaviour(); }};
    }
    TfrmPwd& OpenNew()
    {
        frmPwd = new TfrmPwd(Host());
        frmPwd->ShowForward();
        return *frmPwd;
    }
};

TEST(PasswordStatement, TwoLinesJoinedByALoneCarriageReturn)
{
    EXPECT_EQ(PasswordStatement(QStringLiteral("sa"), QStringLiteral("P")),
              QStringLiteral("--Изменение пароля\rEXECUTE sp_password null, 'P','sa'"));
    EXPECT_EQ(PasswordStatement(QStringLiteral("sa"), QString()),
              QStringLiteral("--Изменение пароля\rEXECUTE sp_password null, '','sa'"));
}

TEST(PasswordStatement, AQuoteInEitherFieldStaysInsideItsLiteral)
{
    EXPECT_EQ(PasswordStatement(QStringLiteral("o'brien"), QStringLiteral("x');drop table t;--")),
              QStringLiteral("--Изменение пароля\rEXECUTE sp_password null, 'x'');drop table t;--','o''brien'"));
}

TEST(PasswordStatement, ThePasswordLosesBlanksAndControlCharactersAtItsEnds)
{
    EXPECT_EQ(TrimPassword(QStringLiteral(" \t secret word \r\n")), QStringLiteral("secret word"));
    EXPECT_EQ(TrimPassword(QStringLiteral("   ")), QString());
}

TEST_F(Password, TheWindowAsDesigned)
{
    TfrmPwd& w = OpenNew();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Изменить пароль"));
    EXPECT_TRUE(w.isWindow());
    EXPECT_FALSE(w.isModal());
    EXPECT_EQ(w.parentWidget(), nullptr);   // a taskbar entry of its own
    EXPECT_EQ(w.frameGeometry().size(), QSize(kDesignWidth, kDesignHeight));   // outer, frame included
    EXPECT_EQ(w.edUser->text(), QStringLiteral("sa"));
    EXPECT_TRUE(w.edPwd->text().isEmpty());
    EXPECT_EQ(w.edPwd->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(w.lbUser->text(), QStringLiteral("Пользователь"));
    EXPECT_EQ(w.lbPwd->text(), QStringLiteral("Новый пароль"));
    EXPECT_EQ(w.bbOk->text(), QStringLiteral("Применить"));
    EXPECT_EQ(w.bbNone->text(), QStringLiteral("Отмена"));
    EXPECT_LT(w.bbOk->x(), w.bbNone->x());
    const QRect screen = w.screen()->geometry();
    EXPECT_LE(std::abs(w.frameGeometry().center().x() - screen.center().x()), 1);
    // The edit boxes stretch with the window.
    const int editWidth = w.edUser->width();
    w.resize(w.width() + 120, w.height());
    QApplication::processEvents();
    EXPECT_EQ(w.edUser->width(), editWidth + 120);
    EXPECT_EQ(w.edPwd->width(), editWidth + 120);
}

TEST_F(Password, ApplySendsTheTrimmedPasswordAndTheLoginAsTypedThenCloses)
{
    TfrmPwd& w = OpenNew();
    QPointer<TfrmPwd> window = &w;
    w.edUser->setText(QStringLiteral(" sa "));
    w.edPwd->setText(QStringLiteral("  new pass  "));
    w.bbOk->click();
    EXPECT_EQ(runs, 1);
    ASSERT_EQ(editorTexts.size(), 1);
    EXPECT_EQ(editorTexts.front(), QStringLiteral("--Изменение пароля\rEXECUTE sp_password null, 'new pass',' sa '"));
    EXPECT_EQ(frmPwd, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(Password, AFailedRunKeepsTheWindowOpenWithItsContents)
{
    TfrmPwd& w = OpenNew();
    w.edUser->setText(QStringLiteral("nobody"));
    w.edPwd->setText(QStringLiteral("p"));
    runBehaviour = [] { throw EAbort(); };   // the run showed the failure in the memo
    w.bbOk->click();
    ASSERT_EQ(frmPwd, &w);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.edUser->text(), QStringLiteral("nobody"));
    EXPECT_EQ(w.edPwd->text(), QStringLiteral("p"));
    EXPECT_TRUE(dialogs->log.empty());

    // A failed reconnect reaches the error box; the window stays as well.
    runBehaviour = [] { throw Exception(QStringLiteral("Login failed")); };
    w.bbOk->click();
    ASSERT_EQ(frmPwd, &w);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error), QStringList{QStringLiteral("Login failed.")});
    EXPECT_EQ(runs, 2);
}

TEST_F(Password, CancelClosesSendsNothingAndTheNextWindowStartsAfresh)
{
    TfrmPwd& w = OpenNew();
    w.edUser->setText(QStringLiteral("other"));
    w.edPwd->setText(QStringLiteral("typed"));
    w.bbNone->click();
    EXPECT_EQ(frmPwd, nullptr);
    EXPECT_EQ(runs, 0);
    EXPECT_TRUE(editorTexts.empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    TfrmPwd& again = OpenNew();
    EXPECT_EQ(again.edUser->text(), QStringLiteral("sa"));
    EXPECT_TRUE(again.edPwd->text().isEmpty());
}

} // namespace

TEST_F(Password, AWindowClosedWhileItsRunWaitsOutlivesTheRunThenCloses)
{
    TfrmPwd& w = OpenNew();
    QPointer<TfrmPwd> window(&w);
    w.edPwd->setText(QStringLiteral("p"));
    bool visibleDuringRun = false;
    // The run lets the message loop go on, as the real one does while the
    // server works; the window's close box is pressed meanwhile.
    runBehaviour = [&] {
        QTimer::singleShot(0, &w, [&w] { w.close(); });
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        visibleDuringRun = window && window->isVisible();
    };
    QTest::mouseClick(w.bbOk, Qt::LeftButton);
    EXPECT_TRUE(visibleDuringRun);
    EXPECT_EQ(runs, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    EXPECT_EQ(frmPwd, nullptr);
}

TEST_F(Password, AFailedRunClosedMeanwhileStillCloses)
{
    TfrmPwd& w = OpenNew();
    QPointer<TfrmPwd> window(&w);
    runBehaviour = [&w] {
        w.close();
        throw EAbort();
    };
    QTest::mouseClick(w.bbOk, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), 2000);
    EXPECT_EQ(frmPwd, nullptr);
}
