// The connection dialog driven offscreen as a user would: provider choice,
// field entry, the All page, Test Connection and the database list.

#include "tests/query/ConnectionTestSupport.h"

#include "query/ConnectionDialog.h"
#include "query/ConnectionManager.h"
#include "tests/support/SilentListener.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QRegularExpression>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

std::vector<TProviderEntry> Providers()
{
    return OrderProviders({{QStringLiteral("PostgreSQL Unicode")}, {QStringLiteral("SQLite3")}, {QStringLiteral("FreeTDS")}}, {});
}

class ConnectionDialog : public TConnectionFixture {
protected:
    void SetUp() override
    {
        TConnectionFixture::SetUp();
        m_dialog = std::make_unique<TConnectionDialog>(Providers(), nullptr);
        m_dialog->show();
    }
    void TearDown() override
    {
        m_dialog.reset();
        TConnectionFixture::TearDown();
    }

    template <class W>
    W* Child(const char* name)
    {
        W* w = m_dialog->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    // Picks the provider row whose caption is `caption`, by clicking it.
    void PickProvider(const QString& caption)
    {
        auto* list = Child<QListWidget>("providerList");
        const auto items = list->findItems(caption, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << caption.toStdString();
        const QRect rect = list->visualItemRect(items.front());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        ASSERT_EQ(list->currentItem(), items.front());
    }

    void ShowPage(const char* title)
    {
        auto* tabs = Child<QTabWidget>("tabs");
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->tabText(i) == QString::fromUtf8(title)) {
                tabs->setCurrentIndex(i);
                return;
            }
        }
        ADD_FAILURE() << "no page " << title;
    }

    void ClickOk()
    {
        auto* buttons = Child<QDialogButtonBox>("buttons");
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }

    std::unique_ptr<TConnectionDialog> m_dialog;
};

TEST_F(ConnectionDialog, ItsTextsAreRussianLikeTheRestOfTheProgram)
{
    EXPECT_EQ(m_dialog->windowTitle(), QStringLiteral("Свойства подключения"));
    auto* tabs = Child<QTabWidget>("tabs");
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i)
        pages << tabs->tabText(i);
    EXPECT_EQ(pages, (QStringList{QStringLiteral("Поставщик"), QStringLiteral("Подключение"),
                                  QStringLiteral("Дополнительно"), QStringLiteral("Все")}));
    auto* buttons = Child<QDialogButtonBox>("buttons");
    EXPECT_EQ(buttons->button(QDialogButtonBox::Ok)->text(), QStringLiteral("ОК"));
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    // No visible text of the dialog is left in English.
    const QRegularExpression english(QStringLiteral("^[A-Za-z][a-z]+ [a-z]+"));
    for (const QLabel* label : m_dialog->findChildren<QLabel*>())
        EXPECT_FALSE(english.match(label->text()).hasMatch()) << label->text().toStdString();
    for (const QPushButton* button : m_dialog->findChildren<QPushButton*>())
        EXPECT_FALSE(english.match(button->text()).hasMatch()) << button->text().toStdString();
}

} // namespace

TEST_F(ConnectionDialog, StartsEmptyWithTheSqlServerDriverFirst)
{
    auto* list = Child<QListWidget>("providerList");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("FreeTDS"));
    EXPECT_EQ(list->currentRow(), -1);
    EXPECT_EQ(m_dialog->ConnectionString(), QString());
    EXPECT_FALSE(Child<QPushButton>("testConnection")->isEnabled());
}

TEST_F(ConnectionDialog, SqliteFileFromTheBrowseButtonGivesTheStringOnOk)
{
    PickProvider(QStringLiteral("SQLite3"));
    ShowPage("Подключение");
    EXPECT_FALSE(Child<QLineEdit>("server")->isVisible());
    EXPECT_TRUE(Child<QLineEdit>("databaseFile")->isVisible());

    const QString file = TempFile(QStringLiteral("a=b}.db"));
    RecordedDialogs().QueueOpenFile(file);
    QTest::mouseClick(Child<QPushButton>("browse"), Qt::LeftButton);
    EXPECT_EQ(Child<QLineEdit>("databaseFile")->text(), file);

    // A cancelled file dialog keeps the file.
    RecordedDialogs().QueueOpenFile(std::nullopt);
    QTest::mouseClick(Child<QPushButton>("browse"), Qt::LeftButton);

    ClickOk();
    EXPECT_EQ(m_dialog->result(), QDialog::Accepted);
    EXPECT_EQ(m_dialog->ConnectionString(), QStringLiteral("Driver={SQLite3};Database=%1").arg(file));
}

TEST_F(ConnectionDialog, TypedFieldsAndTheAllPageEditTheSameString)
{
    PickProvider(QStringLiteral("FreeTDS"));
    ShowPage("Подключение");
    QTest::keyClicks(Child<QLineEdit>("server"), QStringLiteral("db1"));
    QTest::keyClicks(Child<QLineEdit>("port"), QStringLiteral("14x33"));   // the x is refused
    QTest::keyClicks(Child<QComboBox>("database")->lineEdit(), QStringLiteral("master"));
    QTest::keyClicks(Child<QLineEdit>("user"), QStringLiteral("sa"));
    QTest::keyClicks(Child<QLineEdit>("password"), QStringLiteral("p;w=}"));
    ShowPage("Дополнительно");
    Child<QComboBox>("tdsVersion")->setCurrentText(QStringLiteral("7.4"));
    EXPECT_EQ(m_dialog->ConnectionString(),
              QStringLiteral("Driver={FreeTDS};Server=db1;Port=1433;Database=master;UID=sa;PWD={p;w=}}};"
                             "TDS_Version=7.4;ClientCharset=UTF-8"));

    ShowPage("Все");
    auto* table = Child<QTableWidget>("allTable");
    ASSERT_EQ(table->rowCount(), 8);
    EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("Server"));
    table->item(1, 1)->setText(QStringLiteral("db2"));
    EXPECT_TRUE(m_dialog->ConnectionString().contains(QStringLiteral(";Server=db2;")));
    ShowPage("Подключение");
    EXPECT_EQ(Child<QLineEdit>("server")->text(), QStringLiteral("db2"));

    // A key that would smuggle in another pair is refused and reported.
    ShowPage("Все");
    const QString before = m_dialog->ConnectionString();
    table->item(1, 0)->setText(QStringLiteral("Server;UID"));
    EXPECT_EQ(m_dialog->ConnectionString(), before);
    EXPECT_EQ(table->item(1, 0)->text(), QStringLiteral("Server"));
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0], QStringLiteral("Недопустимое имя параметра 'Server;UID'"));

    // Blank password: an empty PWD, the password entry disabled.
    ShowPage("Подключение");
    QTest::mouseClick(Child<QCheckBox>("blankPassword"), Qt::LeftButton);
    EXPECT_FALSE(Child<QLineEdit>("password")->isEnabled());
    EXPECT_TRUE(m_dialog->ConnectionString().contains(QStringLiteral(";PWD=;")));
}

TEST_F(ConnectionDialog, ANewProviderStartsAfresh)
{
    PickProvider(QStringLiteral("FreeTDS"));
    QTest::keyClicks(Child<QLineEdit>("server"), QStringLiteral("db1"));
    PickProvider(QStringLiteral("PostgreSQL Unicode"));
    EXPECT_EQ(m_dialog->ConnectionString(), QStringLiteral("Driver={PostgreSQL Unicode};BoolsAsChar=0"));
    EXPECT_EQ(Child<QLineEdit>("server")->text(), QString());
    ShowPage("Дополнительно");
    EXPECT_FALSE(Child<QComboBox>("tdsVersion")->isVisible());
}

TEST_F(ConnectionDialog, TestConnectionReportsSuccessAndTheDriversMessage)
{
    PickProvider(QStringLiteral("SQLite3"));
    // The driver reads the value verbatim, so the "=" must reach it unbraced.
    const QString file = TempFile(QStringLiteral("t=1}.db"));
    RecordedDialogs().QueueOpenFile(file);
    ShowPage("Подключение");
    QTest::mouseClick(Child<QPushButton>("browse"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>("testConnection"), Qt::LeftButton);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0], QStringLiteral("Проверка подключения прошла успешно."));
    EXPECT_TRUE(QFile::exists(file));

    PickProvider(QStringLiteral("FreeTDS"));
    QTest::keyClicks(Child<QLineEdit>("server"), QStringLiteral("127.0.0.1"));
    QTest::keyClicks(Child<QLineEdit>("port"), QStringLiteral("1"));
    ShowPage("Дополнительно");
    QTest::keyClicks(Child<QLineEdit>("loginTimeout"), QStringLiteral("5"));
    ShowPage("Подключение");
    QTest::mouseClick(Child<QPushButton>("testConnection"), Qt::LeftButton);
    ASSERT_EQ(Messages().size(), 2);
    EXPECT_NE(Messages()[1], QStringLiteral("Проверка подключения прошла успешно."));
    EXPECT_FALSE(Messages()[1].isEmpty());
    // The test leaves the string as it was.
    EXPECT_EQ(m_dialog->ConnectionString(),
              QStringLiteral("Driver={FreeTDS};Server=127.0.0.1;Port=1;Timeout=5;ClientCharset=UTF-8"));
}

TEST_F(ConnectionDialog, TheDatabaseListComesFromTheServer)
{
    BQA_REQUIRE_PG(pg);
    TConnectionSettings server;
    server.SetConnectionString(pg);
    PickProvider(QStringLiteral("PostgreSQL Unicode"));
    QTest::keyClicks(Child<QLineEdit>("server"), server.Field(TConnectionField::Server));
    QTest::keyClicks(Child<QLineEdit>("port"), server.Field(TConnectionField::Port));
    QTest::keyClicks(Child<QLineEdit>("user"), server.Field(TConnectionField::UserName));
    auto* database = Child<QComboBox>("database");
    QTest::keyClicks(database->lineEdit(), QStringLiteral("typed"));

    QTest::mouseClick(Child<QPushButton>("listDatabases"), Qt::LeftButton);
    EXPECT_TRUE(Messages().isEmpty()) << Messages().join(u'\n').toStdString();
    EXPECT_GE(database->findText(QStringLiteral("bqa_test")), 0);
    EXPECT_LT(database->findText(QStringLiteral("template0")), 0);
    EXPECT_EQ(database->currentText(), QStringLiteral("typed"));
    EXPECT_TRUE(m_dialog->ConnectionString().contains(QStringLiteral(";Database=typed;")));

    // Choosing from the list sets the database.
    database->setCurrentIndex(database->findText(QStringLiteral("bqa_test")));
    EXPECT_TRUE(m_dialog->ConnectionString().contains(QStringLiteral(";Database=bqa_test;")));
}

TEST_F(ConnectionDialog, AClosedDialogWaitsForItsTestConnectionAndClosesAfterIt)
{
    // A server that takes the connection and never answers: the test waits
    // until Esc gives it up.
    const TSilentListener silent;
    PickProvider(QStringLiteral("FreeTDS"));
    QTest::keyClicks(Child<QLineEdit>("server"), QStringLiteral("127.0.0.1"));
    QTest::keyClicks(Child<QLineEdit>("port"), QString::number(silent.Port()));
    bool visibleAfterClose = false;
    QTimer::singleShot(200, m_dialog.get(), [this, &visibleAfterClose] {
        m_dialog->close();   // the window manager's close box
        visibleAfterClose = m_dialog->isVisible();
        QTimer::singleShot(200, m_dialog.get(), [this] { QTest::keyClick(m_dialog.get(), Qt::Key_Escape); });
    });
    QTest::mouseClick(Child<QPushButton>("testConnection"), Qt::LeftButton);
    EXPECT_TRUE(visibleAfterClose);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0], QString::fromUtf16(kConnectCancelledText));
    // The close asked for meanwhile takes effect now.
    QTRY_VERIFY_WITH_TIMEOUT(!m_dialog->isVisible(), 2000);
    EXPECT_EQ(m_dialog->result(), QDialog::Rejected);
}
