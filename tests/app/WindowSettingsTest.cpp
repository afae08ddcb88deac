// The main window's stored geometry, its colours, its status bar and the
// password window it opens.

#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "app/wRegForm.h"
#include "platform/colors/SysColors.h"
#include "platform/settings/Registry.h"
#include "query/untPwd.h"
#include "tests/support/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr QSize kDesignSize{693, 587};
constexpr int kDesignEditorHeight = 265;
const QString kKey = QStringLiteral("\\SOFTWARE\\Norlet System\\frmQA");

class WindowSettings : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        TRegistry::SetStorePath(m_dir.filePath(QStringLiteral("registry")));
    }
    void TearDown() override
    {
        form.reset();
        TRegistry::SetStorePath(QString());
    }

    void Store(std::initializer_list<std::pair<const char16_t*, QString>> values)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        for (const auto& [name, value] : values)
            reg.WriteString(QString::fromUtf16(name), value);
    }
    [[nodiscard]] QString Stored(const char16_t* name) const
    {
        TRegistry reg;
        EXPECT_TRUE(reg.OpenKey(kKey, false));
        return reg.ReadString(QString::fromUtf16(name));
    }
    [[nodiscard]] QRect StoredBounds() const
    {
        return QRect(Stored(kLeftFormValue).toInt(), Stored(kTopFormValue).toInt(), Stored(kWidthFormValue).toInt(),
                     Stored(kHeightFormValue).toInt());
    }
    TfrmQA& Open()
    {
        form = std::make_unique<TfrmQA>();
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        return *form;
    }
    void Close()
    {
        form->close();
        form.reset();
    }
    [[nodiscard]] bool Centred() const
    {
        const QRect screen = form->screen()->geometry();
        const QPoint centre = form->frameGeometry().center();
        return std::abs(centre.x() - screen.center().x()) <= 1 && std::abs(centre.y() - screen.center().y()) <= 1;
    }

    QTemporaryDir m_dir;
    TScopedDialogs dialogs;
    std::unique_ptr<TfrmQA> form;
};

TEST(StoredInteger, DecimalDigitsWithAnOptionalSignInThe32BitRange)
{
    EXPECT_EQ(StoredInteger(QStringLiteral("693")), 693);
    EXPECT_EQ(StoredInteger(QStringLiteral("-1920")), -1920);
    EXPECT_EQ(StoredInteger(QStringLiteral("2147483647")), 2147483647);
    for (const char* bad : {"abc", "12px", " 12", "+", "-", "0x10", "2147483648", "1.5"}) {
        SCOPED_TRACE(bad);
        try {
            (void)StoredInteger(QString::fromLatin1(bad));
            ADD_FAILURE() << "accepted";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("'%1' is not a valid integer value").arg(QString::fromLatin1(bad)));
        }
    }
}

TEST(IsOnSomeScreen, APartlyVisibleRectangleCountsAndOneOffEveryScreenDoesNot)
{
    const QList<QRect> screens = {QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
    EXPECT_TRUE(IsOnSomeScreen(QRect(100, 100, 600, 500), screens));
    EXPECT_TRUE(IsOnSomeScreen(QRect(-590, -490, 600, 500), screens));    // a corner on screen
    EXPECT_TRUE(IsOnSomeScreen(QRect(3000, 900, 600, 500), screens));     // on the second one
    EXPECT_FALSE(IsOnSomeScreen(QRect(3300, 100, 600, 500), screens));    // right of both
    EXPECT_FALSE(IsOnSomeScreen(QRect(2000, 1100, 600, 500), screens));   // below the second
    EXPECT_FALSE(IsOnSomeScreen(QRect(-700, 0, 600, 500), screens));
}

TEST_F(WindowSettings, FirstRunCreatesTheEmptyKeyAndOpensCentredAtTheDesignSize)
{
    EXPECT_FALSE(TRegistry().KeyExists(kKey));
    TfrmQA& w = Open();
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKey, false));
    EXPECT_TRUE(reg.GetValueNames().isEmpty());
    EXPECT_EQ(w.frameGeometry().size(), kDesignSize);
    EXPECT_EQ(w.reQuery->height(), kDesignEditorHeight);
    EXPECT_TRUE(Centred());
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(WindowSettings, OnlyLeftStoredAppliesTheSizesAndCentres)
{
    Store({{kWidthFormValue, QStringLiteral("600")}, {kHeightFormValue, QStringLiteral("450")},
           {kLeftFormValue, QStringLiteral("10")}});
    TfrmQA& w = Open();
    EXPECT_EQ(w.frameGeometry().size(), QSize(600, 450));
    EXPECT_TRUE(Centred());
}

TEST_F(WindowSettings, OnlyTheEditorHeightStored)
{
    Store({{kReQueryHeightValue, QStringLiteral("120")}});
    TfrmQA& w = Open();
    EXPECT_EQ(w.reQuery->height(), 120);
    EXPECT_EQ(w.frameGeometry().size(), kDesignSize);
    EXPECT_TRUE(Centred());
}

TEST_F(WindowSettings, CloseAndReopenReproducesTheBoundsAndTheEditorHeight)
{
    TfrmQA& first = Open();
    first.move(first.pos() + QPoint(-37, -21));
    first.resize(first.width() - 50, first.height() - 40);
    first.SetEditorHeight(150);
    QApplication::processEvents();
    const QRect bounds = first.frameGeometry();
    Close();
    EXPECT_EQ(StoredBounds(), bounds);
    EXPECT_EQ(Stored(kReQueryHeightValue), QStringLiteral("150"));

    TfrmQA& second = Open();
    EXPECT_EQ(second.frameGeometry(), bounds);
    EXPECT_EQ(second.reQuery->height(), 150);
    EXPECT_TRUE(dialogs->log.empty());
}

TEST_F(WindowSettings, ABadValueIsReportedAndTheValuesReadBeforeItStay)
{
    Store({{kWidthFormValue, QStringLiteral("abc")}, {kReQueryHeightValue, QStringLiteral("100")}});
    TfrmQA& w = Open();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error), QStringList{QStringLiteral("'abc' is not a valid integer value.")});
    EXPECT_EQ(w.frameGeometry().size(), kDesignSize);
    EXPECT_EQ(w.reQuery->height(), kDesignEditorHeight);   // read after the bad one
    EXPECT_TRUE(Centred());
    Close();

    Store({{kWidthFormValue, QStringLiteral("610")}, {kHeightFormValue, QStringLiteral("4x0")}});
    TfrmQA& again = Open();
    EXPECT_EQ(again.frameGeometry().width(), 610);
    EXPECT_EQ(again.frameGeometry().height(), kDesignSize.height());
    Close();

    // Left is converted and applied before top is read.
    Store({{kWidthFormValue, QStringLiteral("600")}, {kHeightFormValue, QStringLiteral("450")},
           {kLeftFormValue, QStringLiteral("abc")}, {kTopFormValue, QStringLiteral("xyz")}});
    Open();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error).back(), QStringLiteral("'abc' is not a valid integer value."));
    Close();
    const QPoint corner = QGuiApplication::primaryScreen()->geometry().topLeft() + QPoint(37, 0);
    Store({{kLeftFormValue, QString::number(corner.x())}, {kTopFormValue, QStringLiteral("xyz")}});
    TfrmQA& leftOnly = Open();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error).back(), QStringLiteral("'xyz' is not a valid integer value."));
    EXPECT_EQ(leftOnly.frameGeometry().left(), corner.x());
    EXPECT_EQ(leftOnly.frameGeometry().size(), QSize(600, 450));
}

TEST_F(WindowSettings, AValueOfAnotherTypeIsReported)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, true));
        reg.WriteInteger(QString::fromUtf16(kHeightFormValue), 400);
    }
    TfrmQA& w = Open();
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error), QStringList{QStringLiteral("Invalid data type for 'HeightForm'")});
    EXPECT_EQ(w.frameGeometry().size(), kDesignSize);
}

TEST_F(WindowSettings, AMaximisedCloseStoresTheMaximisedBounds)
{
    TfrmQA& w = Open();
    w.showMaximized();
    QTRY_VERIFY(w.isMaximized());
    QApplication::processEvents();
    const QRect maximised = w.frameGeometry();
    ASSERT_NE(maximised.size(), kDesignSize);
    Close();
    EXPECT_EQ(StoredBounds(), maximised);

    TfrmQA& next = Open();
    EXPECT_FALSE(next.isMaximized());
    EXPECT_EQ(next.frameGeometry(), maximised);
}

TEST_F(WindowSettings, AMinimisedCloseStoresTheRestoredRectangle)
{
    TfrmQA& w = Open();
    w.move(w.pos() + QPoint(12, 8));
    QApplication::processEvents();
    const QRect normal = w.frameGeometry();
    w.showMinimized();
    QTRY_VERIFY(w.isMinimized());
    Close();
    EXPECT_EQ(StoredBounds(), normal);
}

TEST_F(WindowSettings, ARectangleOffEveryScreenOpensCentredAtItsSize)
{
    Store({{kWidthFormValue, QStringLiteral("600")}, {kHeightFormValue, QStringLiteral("450")},
           {kLeftFormValue, QStringLiteral("9000")}, {kTopFormValue, QStringLiteral("7000")}});
    TfrmQA& w = Open();
    EXPECT_EQ(w.frameGeometry().size(), QSize(600, 450));
    EXPECT_TRUE(Centred());
    Close();

    // Partly visible, running off the right edge: as stored.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint corner = screen.topLeft() + QPoint(screen.width() - 150, 40);
    Store({{kLeftFormValue, QString::number(corner.x())}, {kTopFormValue, QString::number(corner.y())}});
    TfrmQA& partly = Open();
    EXPECT_EQ(partly.frameGeometry().topLeft(), corner);
}

TEST_F(WindowSettings, AFailingWriteIsReportedWhileTheWindowCloses)
{
    TfrmQA& w = Open();
    QSignalSpy closed(&w, &TfrmQA::Closed);
    // A store file under a plain file cannot be written.
    QFile blocker(m_dir.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    TRegistry::SetStorePath(m_dir.filePath(QStringLiteral("blocker/registry")));
    w.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(w.isVisible());
    ASSERT_EQ(dialogs->Count(TDialogKind::Error), 1u);
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error).front(), QStringLiteral("Failed to set data for 'WidthForm'"));
}

TEST_F(WindowSettings, ColoursFollowADesktopPaletteChange)
{
    InstallDesktopScheme();
    TfrmQA& w = Open();
    const QPalette saved = QApplication::palette();
    QPalette changed = saved;
    changed.setColor(QPalette::Window, QColor(0x12, 0x34, 0x56));
    changed.setColor(QPalette::Highlight, QColor(0xAA, 0x10, 0x20));
    changed.setColor(QPalette::Base, QColor(0xF0, 0xF0, 0xE0));
    QApplication::setPalette(changed);
    QApplication::processEvents();
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));
    EXPECT_EQ(w.palette().color(QPalette::Window), GetSysColor(COLOR_ACTIVEBORDER));
    EXPECT_EQ(w.MemoRes->palette().color(QPalette::Base), GetSysColor(COLOR_GRADIENTACTIVECAPTION));
    QApplication::setPalette(saved);
    QApplication::processEvents();
    EXPECT_EQ(w.palette().color(QPalette::Window), GetSysColor(COLOR_ACTIVEBORDER));
    EXPECT_NE(w.palette().color(QPalette::Window), QColor(0x12, 0x34, 0x56));
}

TEST_F(WindowSettings, TheStatusBarMasksPasswordsAndNothingElse)
{
    TfrmQA& w = Open();
    w.StatusBar1->SetStatusText(QStringLiteral("Driver={FreeTDS};Server=db;UID=Bqa_pass1;PWD={se;cret}"));
    EXPECT_EQ(w.StatusBar1->StatusText(), QStringLiteral("Driver={FreeTDS};Server=db;UID=Bqa_pass1;PWD=*****"));
    EXPECT_EQ(w.StatusBar1->height(), 19);
}

TEST_F(WindowSettings, PasswordMenuCreatesTheWindowOrBringsTheOpenOneForward)
{
    TfrmQA& w = Open();
    ASSERT_EQ(frmPwd, nullptr);
    w.N9->trigger();
    ASSERT_NE(frmPwd, nullptr);
    TfrmPwd* first = frmPwd;
    EXPECT_TRUE(first->isVisible());
    first->edPwd->setText(QStringLiteral("half typed"));
    w.N9->trigger();
    EXPECT_EQ(frmPwd, first);
    EXPECT_EQ(first->edPwd->text(), QStringLiteral("half typed"));

    first->bbNone->click();
    EXPECT_EQ(frmPwd, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    w.N9->trigger();
    ASSERT_NE(frmPwd, nullptr);
    EXPECT_EQ(frmPwd->edUser->text(), QStringLiteral("sa"));
    EXPECT_TRUE(frmPwd->edPwd->text().isEmpty());
    delete frmPwd;
}

TEST_F(WindowSettings, PasswordApplyPutsTheStatementIntoTheEditor)
{
    TfrmQA& w = Open();
    w.N9->trigger();
    ASSERT_NE(frmPwd, nullptr);
    frmPwd->edUser->setText(QStringLiteral("o'neil"));
    frmPwd->edPwd->setText(QStringLiteral(" it's "));
    // Nothing is stored: the reconnect fails, so the window stays open.
    frmPwd->bbOk->click();
    EXPECT_EQ(w.reQuery->toPlainText(),
              QStringLiteral("--Изменение пароля\nEXECUTE sp_password null, 'it''s','o''neil'"));
    ASSERT_NE(frmPwd, nullptr);
    EXPECT_TRUE(frmPwd->isVisible());
    EXPECT_EQ(dialogs->Count(TDialogKind::Error), 1u);
    delete frmPwd;
}

} // namespace
