#include "platform/ui/Application.h"
#include "platform/core/Failure.h"
#include "tests/support/ScriptedDialogs.h"

#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(ApplicationTitle, FileNameCutAtFirstDotRestLowerCased)
{
    EXPECT_EQ(ApplicationTitle(QStringLiteral("/usr/bin/BRENVO-QA")), QStringLiteral("Brenvo-qa"));
    EXPECT_EQ(ApplicationTitle(QStringLiteral("/opt/x.y/Project1.EXE")), QStringLiteral("Project1")) << "dot in a directory does not count";
    EXPECT_EQ(ApplicationTitle(QStringLiteral("brenvoQA.tar.gz")), QStringLiteral("brenvoqa")) << "first character kept as it is";
    EXPECT_EQ(ApplicationTitle(QStringLiteral("/bin/ЗАПРОС.exe")), QStringLiteral("Запрос"));
    EXPECT_EQ(ApplicationTitle(QStringLiteral("/bin/.hidden")), QString());
    EXPECT_EQ(ApplicationTitle(QStringLiteral("/bin/")), QString());
    EXPECT_EQ(ApplicationTitle(QString()), QString());
    EXPECT_EQ(ApplicationTitle(QStringLiteral("q")), QStringLiteral("q"));
}

TEST(FailureBoxText, DotAppendedOnlyAfterCharactersAboveDot)
{
    EXPECT_EQ(FailureBoxText(QStringLiteral("Failed to Load Stream")), QStringLiteral("Failed to Load Stream."));
    EXPECT_EQ(FailureBoxText(QStringLiteral("done.")), QStringLiteral("done.")) << "'.' itself does not sort after '.'";
    EXPECT_EQ(FailureBoxText(QStringLiteral("Why?")), QStringLiteral("Why?.")) << "'?' sorts after '.'";
    EXPECT_EQ(FailureBoxText(QStringLiteral("Stop!")), QStringLiteral("Stop!"));
    EXPECT_EQ(FailureBoxText(QStringLiteral("(x)")), QStringLiteral("(x)"));
    EXPECT_EQ(FailureBoxText(QStringLiteral("a-")), QStringLiteral("a-"));
    EXPECT_EQ(FailureBoxText(QStringLiteral("a/")), QStringLiteral("a/.")) << "'/' is the code right after '.'";
    EXPECT_EQ(FailureBoxText(QStringLiteral("value 7")), QStringLiteral("value 7."));
    EXPECT_EQ(FailureBoxText(QStringLiteral("line\n")), QStringLiteral("line\n"));
    EXPECT_EQ(FailureBoxText(QStringLiteral("Ошибка")), QStringLiteral("Ошибка."));
    EXPECT_EQ(FailureBoxText(QString()), QString());
}

TEST(HandleFailure, RoutesEachKindOfFailure)
{
    TScopedDialogs dialogs;
    HandleFailure(EAbort());
    EXPECT_TRUE(dialogs->log.empty()) << "the silent abort shows nothing";

    HandleFailure(Exception(QStringLiteral("'abc' is not a valid integer value")));
    HandleFailure(std::runtime_error("plain std failure"));
    HandleFailure(Exception(QString()));
    HandleUnknownFailure();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error),
              (QStringList{QStringLiteral("'abc' is not a valid integer value."), QStringLiteral("plain std failure."),
                           QString(), QStringLiteral("Unknown failure.")}));
    EXPECT_EQ(dialogs->Count(TDialogKind::Message), 0u);
}

TEST(Guarded, NothingEscapesAndOnlyTheFailureIsShown)
{
    TScopedDialogs dialogs;
    int ran = 0;
    Guarded([&] { ++ran; });
    Guarded([&] { ++ran; Abort(); });
    Guarded([&] { ++ran; throw Exception(QStringLiteral("Cannot open file \"x\". No such file or directory")); });
    Guarded([&] { ++ran; throw 42; });
    Guarded([&] { ++ran; throw std::out_of_range("index"); });
    EXPECT_EQ(ran, 5);
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error),
              (QStringList{QStringLiteral("Cannot open file \"x\". No such file or directory."), QStringLiteral("Unknown failure."),
                           QStringLiteral("index.")}));
}

TEST(Guarded, EventHandlerFailureStaysInsideTheApplication)
{
    // A failure thrown by an event delivered through TApplication::notify is
    // the same path; here the guard is driven the way notify drives it.
    TScopedDialogs dialogs;
    bool delivered = false;
    QObject target;
    QObject::connect(&target, &QObject::objectNameChanged, [&] { delivered = true; throw Exception(QStringLiteral("in a slot")); });
    Guarded([&] { target.setObjectName(QStringLiteral("x")); });
    EXPECT_TRUE(delivered);
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error), QStringList{QStringLiteral("in a slot.")});
}

TEST(ScriptedDialogs, AnswersInOrderAndLogsEveryRequest)
{
    TScopedDialogs dialogs;
    dialogs->QueueConfirm(true);
    dialogs->QueueConfirm(false);
    dialogs->QueueOpenFile(QStringLiteral("/tmp/a.sql"));
    dialogs->QueueOpenFile(std::nullopt);
    dialogs->QueueSaveFile(QStringLiteral("/tmp/out"));
    QFont font(QStringLiteral("Courier"), 10);
    dialogs->QueueFont(TFontChoice{font, Qt::red});
    EXPECT_EQ(dialogs->PendingAnswers(), 6u);

    EXPECT_TRUE(Dialogs().Confirm(nullptr, QStringLiteral("Caption"), QStringLiteral("Sure?")));
    EXPECT_FALSE(Dialogs().Confirm(nullptr, QStringLiteral("Caption"), QStringLiteral("Really?")));
    EXPECT_EQ(Dialogs().OpenFile(nullptr, QStringLiteral("*.* (*.*)")), QStringLiteral("/tmp/a.sql"));
    EXPECT_EQ(Dialogs().OpenFile(nullptr, QStringLiteral("*.* (*.*)")), std::nullopt);
    EXPECT_EQ(Dialogs().SaveFile(nullptr, QStringLiteral("HTML (HTML)")), QStringLiteral("/tmp/out"));
    const auto chosen = Dialogs().ChooseFont(nullptr, TFontChoice{QFont(QStringLiteral("MS Sans Serif")), Qt::black});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->font, font);
    EXPECT_EQ(chosen->color, QColor(Qt::red));
    Dialogs().ShowMessage(QStringLiteral("Нет результатов запроса."));
    EXPECT_EQ(dialogs->PendingAnswers(), 0u);

    ASSERT_EQ(dialogs->log.size(), 7u);
    EXPECT_EQ(dialogs->log[1].caption, QStringLiteral("Caption"));
    EXPECT_EQ(dialogs->log[1].text, QStringLiteral("Really?"));
    EXPECT_EQ(dialogs->log[4].kind, TDialogKind::SaveFile);
    EXPECT_EQ(dialogs->log[4].filter, QStringLiteral("HTML (HTML)"));
    ASSERT_TRUE(dialogs->log[5].initialFont.has_value());
    EXPECT_EQ(dialogs->log[5].initialFont->font.family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(dialogs->Texts(TDialogKind::Message), QStringList{QStringLiteral("Нет результатов запроса.")});
}

TEST(ScriptedDialogs, MissingAnswerFailsLoudlyEvenWhenSwallowed)
{
    TScopedDialogs dialogs;
    EXPECT_THROW((void)Dialogs().SaveFile(nullptr, QStringLiteral("HTML")), TUnscriptedDialog);
    // A guarded handler swallows the throw, but the request stays recorded
    // for the scope's end to report.
    Guarded([] { (void)Dialogs().Confirm(nullptr, QStringLiteral("C"), QStringLiteral("T")); });
    ASSERT_EQ(dialogs->Unanswered().size(), 2);
    EXPECT_TRUE(dialogs->Unanswered()[1].contains(QStringLiteral("confirm")));
    dialogs->AcknowledgeUnanswered();
}

TEST(ScriptedDialogs, ScopeRestoresThePreviousService)
{
    TDialogService* const outer = &Dialogs();
    {
        TScopedDialogs first;
        EXPECT_EQ(&Dialogs(), &*first);
        {
            TScopedDialogs second;
            EXPECT_EQ(&Dialogs(), &*second);
        }
        EXPECT_EQ(&Dialogs(), &*first);
    }
    EXPECT_EQ(&Dialogs(), outer);
}

TEST(ScriptedDialogsDeathTest, ForgottenAnswerEndsTheTest)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            TScopedDialogs dialogs;
            Guarded([] { (void)Dialogs().OpenFile(nullptr, QStringLiteral("*.*")); });
        },
        "unscripted open file dialog");
}

TEST(QtDialogs, BoxesArePlainTextUnderTheApplicationTitle)
{
    const QString savedName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("Brenvo-qa"));
    QString title;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::Question;
    // Runs inside the box's own event loop and closes it.
    QTimer::singleShot(0, [&] {
        QMessageBox* box = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* b = qobject_cast<QMessageBox*>(w); b && b->isVisible())
                box = b;
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        format = box->textFormat();
        icon = box->icon();
        box->accept();
    });
    Dialogs().ShowError(QStringLiteral("<b>Invalid column name</b>"));
    EXPECT_EQ(title, QStringLiteral("Brenvo-qa"));
    EXPECT_EQ(text, QStringLiteral("<b>Invalid column name</b>"));
    EXPECT_EQ(format, Qt::PlainText) << "server messages are never markup";
    EXPECT_EQ(icon, QMessageBox::Critical);
    QCoreApplication::setApplicationName(savedName);
}

} // namespace
