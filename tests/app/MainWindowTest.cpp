#include "app/FormLayout.h"
#include "app/RichEdit.h"
#include "app/Splitter.h"
#include "app/Unit1.h"
#include "grid/dxDBGrid.h"
#include "platform/colors/SysColors.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempStore.h"
#include "tests/support/DesignValues.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class MainWindow : public ::testing::Test {
protected:
    TTempStore store;
    TScopedDialogs dialogs;
    TfrmQA form;

    [[nodiscard]] std::vector<TFontChoice> FontInitials() const
    {
        std::vector<TFontChoice> initials;
        for (const TDialogCall& call : dialogs->log)
            if (call.kind == TDialogKind::Font && call.initialFont)
                initials.push_back(*call.initialFont);
        return initials;
    }
};

TEST_F(MainWindow, FirstStartState)
{
    EXPECT_EQ(form.objectName(), QStringLiteral("frmQA"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Brenvo QA"));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.frameGeometry().size(), design::kWindowSize);
    const QRect screen = form.screen()->geometry();
    EXPECT_LE(std::abs(form.frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(form.frameGeometry().center().y() - screen.center().y()), 1);

    EXPECT_EQ(form.reQuery->height(), design::kEditorHeight);
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("--тут писать запросы"));
    EXPECT_TRUE(form.MemoRes->isVisible());
    EXPECT_TRUE(form.MemoRes->toPlainText().isEmpty());
    EXPECT_TRUE(form.MemoRes->isReadOnly());
    EXPECT_EQ(form.MemoRes->palette().color(QPalette::Base), GetSysColor(COLOR_GRADIENTACTIVECAPTION));
    EXPECT_EQ(form.MemoRes->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(form.dxDBGridRes->isVisible());
    EXPECT_EQ(form.MemoRes->geometry(), form.dxDBGridRes->geometry());
    EXPECT_TRUE(form.StatusBar1->StatusText().isEmpty());
    EXPECT_EQ(form.StatusBar1->height(), design::kStatusBarHeight);
    EXPECT_EQ(form.StatusBar1->geometry().bottom(), form.height() - 1);
    EXPECT_EQ(form.Panel1->height(), design::kPanelHeight);
    EXPECT_EQ(form.Panel1->geometry().bottom() + 1, form.StatusBar1->y());
    EXPECT_EQ(form.ToolBar1->height(), design::kToolBarHeight);
    EXPECT_EQ(form.Splitter1->geometry(), QRect(0, design::kToolBarHeight + design::kEditorHeight, form.width(), design::kSplitterHeight));
    EXPECT_EQ(form.MemoRes->y(), design::kToolBarHeight + design::kEditorHeight + design::kSplitterHeight);
    EXPECT_EQ(form.MemoRes->geometry().bottom() + 1, form.Panel1->y());

    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), form.Button1);
    EXPECT_TRUE((dialogs->Count(TDialogKind::Error) == 0));
}

TEST_F(MainWindow, ComponentsAreSetUpAndNothingConnects)
{
    ASSERT_TRUE(form.ADOConnection && form.ADOQuerySql && form.qrySqlDop && form.DataSource1);
    EXPECT_EQ(form.ADOConnection->Name(), QStringLiteral("ADOConnection"));
    EXPECT_EQ(form.ADOConnection->LoginTimeout(), design::kLoginTimeout);
    EXPECT_FALSE(form.ADOConnection->Connected());
    EXPECT_TRUE(form.ADOConnection->ConnectionString().isEmpty());
    EXPECT_EQ(form.ADOQuerySql->CommandTimeout(), design::kMainCommandTimeout);
    EXPECT_EQ(form.ADOQuerySql->Connection(), form.ADOConnection.get());
    EXPECT_EQ(form.qrySqlDop->CommandTimeout(), design::kAuxCommandTimeout);
    EXPECT_EQ(form.qrySqlDop->Connection(), form.ADOConnection.get());
    EXPECT_EQ(form.DataSource1->DataSet(), form.ADOQuerySql.get());
    EXPECT_FALSE(form.ADOQuerySql->Active());
}

TEST_F(MainWindow, ToolbarButtonsNamesHintsAndMenus)
{
    struct Expect {
        QToolButton* button;
        const char* name;
        QString hint;
        QMenu* menu;
    };
    const Expect expected[] = {
        {form.tbOpenFile, "tbOpenFile", QString(), nullptr},
        {form.tbName, "tbName", QStringLiteral("Текущая база"), form.PopupMenu1},
        {form.tbSize, "tbSize", QStringLiteral("размер базы"), form.pmSize},
        {form.tbDB, "tbDB", QString(), form.pmDB},
        {form.tbFontDialogRichEdit, "tbFontDialogRichEdit", QStringLiteral("Font"), nullptr},
        {form.ToolButton1, "ToolButton1", QString(), nullptr},
    };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    int lastX = -1;
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_NE(e.button, nullptr);
        EXPECT_EQ(e.button->objectName(), QLatin1String(e.name));
        EXPECT_EQ(e.button->toolTip(), e.hint);
        EXPECT_EQ(e.button->menu(), e.menu);
        EXPECT_FALSE(e.button->icon().isNull());
        EXPECT_EQ(e.button->focusPolicy(), Qt::NoFocus);
        if (e.menu)
            EXPECT_EQ(e.button->popupMode(), QToolButton::MenuButtonPopup);
        else
            EXPECT_EQ(e.button->width(), 25);
        EXPECT_GT(e.button->x(), lastX);
        lastX = e.button->x();
    }
    EXPECT_EQ(form.ToolButton3->width(), 8);
    EXPECT_EQ(form.ToolButton2->width(), 18);
    EXPECT_LT(form.ToolButton3->x(), form.tbFontDialogRichEdit->x());
    EXPECT_GT(form.ToolButton3->x(), form.tbDB->x());
    EXPECT_LT(form.ToolButton2->x(), form.ToolButton1->x());
    EXPECT_GT(form.ToolButton2->x(), form.tbFontDialogRichEdit->x());
}

TEST_F(MainWindow, ToolbarArrowsOpenTheirMenusAndTheMainPartOfTbDBDoesNothing)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    {
        QSignalSpy shown(form.PopupMenu1, &QMenu::aboutToShow);
        QWidget* popup = nullptr;
        QTimer::singleShot(0, form.PopupMenu1, [&popup, this] {
            popup = QApplication::activePopupWidget();
            form.PopupMenu1->close();
        });
        form.tbName->showMenu();
        EXPECT_EQ(shown.count(), 1);
        EXPECT_EQ(popup, form.PopupMenu1);
    }
    // The database and table menus are filled from the server before they
    // open; with no connection string stored the fill fails, which is shown,
    // and the menu stays closed.
    for (const auto& [button, menu] : {std::pair{form.tbSize, form.pmSize}, std::pair{form.tbDB, form.pmDB}}) {
        SCOPED_TRACE(button->objectName().toStdString());
        const std::size_t errorsBefore = dialogs->Count(TDialogKind::Error);
        QSignalSpy shown(menu, &QMenu::aboutToShow);
        QTimer::singleShot(50, menu, [menu] { menu->close(); });
        button->showMenu();
        QApplication::processEvents();
        EXPECT_EQ(shown.count(), 1);
        EXPECT_EQ(dialogs->Count(TDialogKind::Error), errorsBefore + 1);
        EXPECT_FALSE(menu->isVisible());
    }

    const std::size_t errorsBefore = dialogs->Count(TDialogKind::Error);
    QSignalSpy dbShown(form.pmDB, &QMenu::aboutToShow);
    form.tbDB->click();
    QApplication::processEvents();
    EXPECT_EQ(dbShown.count(), 0);
    EXPECT_FALSE(form.pmDB->isVisible());
    EXPECT_EQ(dialogs->Count(TDialogKind::Error), errorsBefore);
}

TEST_F(MainWindow, MenuItemsInOrderWithNamesAndCaptions)
{
    using Items = std::vector<std::pair<const char*, QString>>;
    const std::vector<std::pair<QMenu*, Items>> menus = {
        {form.PopupMenu1,
         {{"N1", QStringLiteral("Сервер")},
          {"Collate1", QStringLiteral("Collate-сервера")},
          {"N2", QStringLiteral("Редакция сервера")},
          {"N3", QStringLiteral("Тип безопасности")},
          {"N4", QStringLiteral("Режим (одно-много пользовательский)")},
          {"N5", QStringLiteral("Имя компьютера")},
          {"N6", QStringLiteral("Процесс сервера")},
          {"N7", QStringLiteral("Цифровая версия сервера")},
          {"N8", QStringLiteral("Подробности ОС")},
          {"N9", QStringLiteral("Изменить пароль сервера")}}},
        {form.pmSize,
         {{"N10", QStringLiteral("Текущая база")},
          {"pmSizeList", QStringLiteral("Список таблиц базы")},
          {"Collation1", QStringLiteral("Collation текущей базы")},
          {"mmSizeD", QStringLiteral("Размер текущей базы")}}},
        {form.pmDB, {}},
        {form.pmCopyPaste,
         {{"N12", QStringLiteral("Копировать")},
          {"N13", QStringLiteral("Вставить")},
          {"N14", QStringLiteral("Выделить всё")},
          {"N15", QStringLiteral("Вырезать")}}},
        {form.pmCopy, {{"N11", QStringLiteral("Копировать")}}},
    };
    for (const auto& [menu, items] : menus) {
        ASSERT_NE(menu, nullptr);
        SCOPED_TRACE(menu->objectName().toStdString());
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), qsizetype(items.size()));
        for (std::size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(actions[i]->objectName(), QLatin1String(items[i].first));
            EXPECT_EQ(actions[i]->text(), items[i].second);
            EXPECT_TRUE(actions[i]->shortcut().isEmpty());
        }
    }
    EXPECT_EQ(form.pmSize->actions().at(1)->menu(), form.pmSizeList);
    EXPECT_EQ(form.findChild<QMenu*>(QStringLiteral("PopupMenu1")), form.PopupMenu1);
    EXPECT_EQ(form.findChild<QAction*>(QStringLiteral("N9")), form.N9);
    EXPECT_EQ(form.reQuery->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(MainWindow, PanelButtonsGeometryVisibilityAndRightAnchors)
{
    struct Expect {
        QPushButton* button;
        const char* name;
        QString caption;
        QRect rect;
        bool visible;
        bool right;
    };
    const Expect expected[] = {
        {form.bQuery, "bQuery", QStringLiteral("Запрос"), QRect(16, 8, 89, 25), true, false},
        {form.Button5, "Button5", QStringLiteral("Save as HTML"), QRect(120, 8, 89, 25), true, false},
        {form.Button3, "Button3", QStringLiteral("соединение"), QRect(280, 8, 25, 17), false, false},
        {form.Button6, "Button6", QStringLiteral("Команда"), QRect(336, 8, 89, 25), false, false},
        {form.Button1, "Button1", QStringLiteral("Строка подключения"), QRect(445, 8, 121, 25), true, true},
        {form.Button4, "Button4", QStringLiteral("Выход"), QRect(581, 8, 75, 25), true, true},
    };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    // The design positions hold at the design client width.
    form.resize(TPanelLayout::kDesignWidth, form.height());
    QApplication::processEvents();
    ASSERT_EQ(form.Panel1->width(), TPanelLayout::kDesignWidth);
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.button->objectName(), QLatin1String(e.name));
        EXPECT_EQ(e.button->parentWidget(), form.Panel1);
        EXPECT_EQ(e.button->text(), e.caption);
        EXPECT_EQ(e.button->geometry(), e.rect);
        EXPECT_EQ(e.button->isVisible(), e.visible);
        EXPECT_FALSE(e.button->isDefault());
        EXPECT_FALSE(e.button->autoDefault());
    }
    form.resize(900, 650);
    QApplication::processEvents();
    ASSERT_EQ(form.Panel1->width(), 900);
    EXPECT_EQ(form.Panel1->y(), 650 - design::kStatusBarHeight - design::kPanelHeight);
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(e.button->geometry(), e.rect.translated(e.right ? 900 - TPanelLayout::kDesignWidth : 0, 0));
    }
    EXPECT_EQ(form.reQuery->height(), design::kEditorHeight);  // the result area takes the growth
    EXPECT_EQ(form.MemoRes->height(), 650 - design::kToolBarHeight - design::kEditorHeight - design::kSplitterHeight
                                          - design::kPanelHeight - design::kStatusBarHeight);
}

TEST_F(MainWindow, TabOrderRunsThroughThePanelThenTheEditorAndMemo)
{
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    ASSERT_EQ(QApplication::focusWidget(), form.Button1);
    // Hidden buttons and the hidden grid are skipped; the toolbar takes no focus.
    const QWidget* expected[] = {form.bQuery, form.Button4, form.Button5, form.reQuery, form.MemoRes, form.Button1};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
    // Full chain, hidden controls included.
    std::vector<QString> chain;
    QWidget* w = form.Button1;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            chain.push_back(w->objectName());
        w = w->nextInFocusChain();
    } while (w != form.Button1);
    const std::vector<QString> wanted = {"Button1", "bQuery", "Button3", "Button4", "Button5",
                                         "Button6", "reQuery", "MemoRes", "dxDBGridRes"};
    std::vector<QString> named;
    for (const QString& name : chain)
        if (std::find(wanted.begin(), wanted.end(), name) != wanted.end())
            named.push_back(name);
    EXPECT_EQ(named, wanted);
}

TEST_F(MainWindow, ClipboardCommandsOfTheEditor)
{
    form.reQuery->setPlainText(QStringLiteral("select 1"));
    QApplication::clipboard()->setText(QStringLiteral("unchanged"));

    // An empty selection makes copy and cut do nothing.
    QTextCursor c = form.reQuery->textCursor();
    c.clearSelection();
    form.reQuery->setTextCursor(c);
    form.N12->trigger();
    form.N15->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("unchanged"));
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("select 1"));

    form.N14->trigger();
    EXPECT_EQ(form.reQuery->textCursor().selectedText(), QStringLiteral("select 1"));
    form.N12->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("select 1"));
    form.N15->trigger();
    EXPECT_TRUE(form.reQuery->toPlainText().isEmpty());
    form.N13->trigger();
    form.N13->trigger();
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("select 1select 1"));

    // Paste replaces the selection.
    QApplication::clipboard()->setText(QStringLiteral("X"));
    form.N14->trigger();
    form.N13->trigger();
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("X"));
}

TEST_F(MainWindow, FontDialogKeepsItsOwnFontAndSetsTheEditorsDefaultFormat)
{
    QFont chosen(QStringLiteral("DejaVu Sans Mono"));
    chosen.setPointSize(14);
    chosen.setBold(true);
    chosen.setUnderline(true);
    dialogs->QueueFont(TFontChoice{chosen, QColor(Qt::darkRed)});
    dialogs->QueueFont(std::nullopt);

    form.reQuery->document()->setDefaultFont(QFont(QStringLiteral("Courier")));  // not read by the dialog
    form.tbFontDialogRichEdit->click();
    ASSERT_EQ(FontInitials().size(), 1u);
    EXPECT_EQ(FontInitials()[0].font.family(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(FontInitials()[0].font.pixelSize(), 11);
    EXPECT_FALSE(FontInitials()[0].font.bold());
    EXPECT_EQ(form.reQuery->document()->defaultFont(), chosen);
    EXPECT_EQ(form.reQuery->palette().color(QPalette::Text), QColor(Qt::darkRed));
    // Plain text has no format of its own and takes the default.
    QTextCursor cursor(form.reQuery->document());
    cursor.movePosition(QTextCursor::NextCharacter);
    EXPECT_FALSE(cursor.charFormat().hasProperty(QTextFormat::FontFamilies));

    // Cancel changes nothing; the dialog opened with the last choice.
    form.tbFontDialogRichEdit->click();
    ASSERT_EQ(FontInitials().size(), 2u);
    EXPECT_EQ(FontInitials()[1].font, chosen);
    EXPECT_EQ(FontInitials()[1].color, QColor(Qt::darkRed));
    EXPECT_EQ(form.reQuery->document()->defaultFont(), chosen);
    EXPECT_TRUE((dialogs->Count(TDialogKind::Error) == 0));
}

TEST_F(MainWindow, SplitterDragResizesTheEditorAgainstTheResultArea)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const int resultHeight = form.MemoRes->height();
    QTest::mousePress(form.Splitter1, Qt::LeftButton, {}, QPoint(50, 1));
    QTest::mouseMove(form.Splitter1, QPoint(50, 1 + 1000));
    QTest::mouseRelease(form.Splitter1, Qt::LeftButton, {}, QPoint(50, 1 + 1000));
    EXPECT_EQ(form.MemoRes->height(), design::kMinResultHeight);
    EXPECT_EQ(form.reQuery->height(), design::kEditorHeight + resultHeight - design::kMinResultHeight);

    QTest::mousePress(form.Splitter1, Qt::LeftButton, {}, QPoint(50, 1));
    QTest::mouseMove(form.Splitter1, QPoint(50, 1 - form.reQuery->height() + 30));
    QTest::mouseRelease(form.Splitter1, Qt::LeftButton, {}, QPoint(50, 1 - form.reQuery->height() + 30));
    EXPECT_EQ(form.reQuery->height(), 0);
    EXPECT_EQ(form.Splitter1->y(), 26);
    EXPECT_EQ(form.EditorHeight(), 0);
}

TEST_F(MainWindow, EnterInTheEditorInsertsALineBreak)
{
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.reQuery->setFocus();
    form.reQuery->moveCursor(QTextCursor::End);
    QSignalSpy closed(&form, &TfrmQA::Closed);
    QTest::keyClick(form.reQuery, Qt::Key_Return);
    QTest::keyClicks(form.reQuery, QStringLiteral("select 1"));
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("--тут писать запросы\nselect 1"));
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(dialogs->log.size(), 0u);
}

TEST_F(MainWindow, ExitClosesTheWindow)
{
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QSignalSpy closed(&form, &TfrmQA::Closed);
    form.Button4->click();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(form.isVisible());
}

} // namespace
