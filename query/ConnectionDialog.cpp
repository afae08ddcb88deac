#include "query/ConnectionDialog.h"

#include "platform/ui/DialogService.h"
#include "platform/core/Failure.h"
#include "query/ConnectionManager.h"
#include "query/Database.h"
#include "query/DbTask.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <utility>

namespace {

// Busy cursor for the lifetime of the object.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

QWidget* Row(QWidget* parent, std::initializer_list<QWidget*> widgets)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* w : widgets)
        layout->addWidget(w);
    return row;
}

} // namespace

void TDatabaseCombo::showPopup()
{
    if (OnPopup)
        OnPopup();
    QComboBox::showPopup();
}

TConnectionDialog::TConnectionDialog(QWidget* owner)
    : TConnectionDialog(OrderProviders(OdbcDrivers(), OdbcDataSources()), owner)
{
}

TConnectionDialog::TConnectionDialog(std::vector<TProviderEntry> providers, QWidget* owner)
    : QDialog(owner), m_providers(std::move(providers))
{
    setWindowTitle(QStringLiteral("Свойства подключения"));
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    BuildProviderPage();
    BuildConnectionPage();
    BuildAdvancedPage();
    BuildAllPage();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("ОК"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);

    // Every page shows the settings as it is when the page comes up.
    connect(m_tabs, &QTabWidget::currentChanged, this, [this] { RefreshAll(); });
    RefreshAll();
    resize(460, 420);
}

QString TConnectionDialog::Execute(QWidget* owner)
{
    TConnectionDialog dialog(owner);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.ConnectionString();
}

void TConnectionDialog::BuildProviderPage()
{
    auto* page = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Выберите источник данных для подключения:"), page));
    m_providerList = new QListWidget(page);
    m_providerList->setObjectName(QStringLiteral("providerList"));
    for (const TProviderEntry& entry : m_providers)
        m_providerList->addItem(entry.Caption());
    layout->addWidget(m_providerList);
    connect(m_providerList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_updating)
            SelectProvider(row);
    });
    m_tabs->addTab(page, QStringLiteral("Поставщик"));
}

void TConnectionDialog::BuildConnectionPage()
{
    auto* page = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(page);
    m_connectionForm = new QFormLayout();
    layout->addLayout(m_connectionForm);

    const auto lineEdit = [&](const char* name, TConnectionField field) {
        auto* edit = new QLineEdit(page);
        edit->setObjectName(QString::fromLatin1(name));
        connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& text) { FieldEdited(field, text); });
        return edit;
    };

    m_serverEdit = lineEdit("server", TConnectionField::Server);
    m_portEdit = lineEdit("port", TConnectionField::Port);
    m_portEdit->setValidator(new QIntValidator(1, 65535, m_portEdit));

    m_databaseCombo = new TDatabaseCombo(page);
    m_databaseCombo->setObjectName(QStringLiteral("database"));
    m_databaseCombo->setEditable(true);
    m_databaseCombo->setInsertPolicy(QComboBox::NoInsert);
    m_databaseCombo->OnPopup = [this] { ListDatabases(); };
    connect(m_databaseCombo, &QComboBox::editTextChanged, this, [this](const QString& text) {
        if (!m_updating)
            FieldEdited(TConnectionField::Database, text);
    });
    auto* listButton = new QPushButton(QStringLiteral("Обновить"), page);
    listButton->setObjectName(QStringLiteral("listDatabases"));
    connect(listButton, &QPushButton::clicked, this, [this] { ListDatabases(); });
    m_databaseRow = Row(page, {m_databaseCombo, listButton});
    static_cast<QHBoxLayout*>(m_databaseRow->layout())->setStretch(0, 1);

    m_userEdit = lineEdit("user", TConnectionField::UserName);
    m_passwordEdit = lineEdit("password", TConnectionField::Password);
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_blankPassword = new QCheckBox(QStringLiteral("Пустой пароль"), page);
    m_blankPassword->setObjectName(QStringLiteral("blankPassword"));
    connect(m_blankPassword, &QCheckBox::toggled, this, [this](bool checked) {
        if (m_updating)
            return;
        m_settings.SetBlankPassword(checked);
        RefreshAll();
    });
    m_passwordRow = Row(page, {m_passwordEdit, m_blankPassword});

    m_fileEdit = lineEdit("databaseFile", TConnectionField::DatabaseFile);
    m_browseButton = new QPushButton(QStringLiteral("Обзор..."), page);
    m_browseButton->setObjectName(QStringLiteral("browse"));
    connect(m_browseButton, &QPushButton::clicked, this, [this] { BrowseDatabaseFile(); });
    m_fileRow = Row(page, {m_fileEdit, m_browseButton});

    m_connectionForm->addRow(QStringLiteral("Имя сервера:"), m_serverEdit);
    m_connectionForm->addRow(QStringLiteral("Порт:"), m_portEdit);
    m_connectionForm->addRow(QStringLiteral("База данных:"), m_databaseRow);
    m_connectionForm->addRow(QStringLiteral("Пользователь:"), m_userEdit);
    m_connectionForm->addRow(QStringLiteral("Пароль:"), m_passwordRow);
    m_connectionForm->addRow(QStringLiteral("Файл базы данных:"), m_fileRow);

    layout->addStretch(1);
    m_testButton = new QPushButton(QStringLiteral("Проверить подключение"), page);
    m_testButton->setObjectName(QStringLiteral("testConnection"));
    connect(m_testButton, &QPushButton::clicked, this, [this] { TestConnection(); });
    layout->addWidget(m_testButton, 0, Qt::AlignRight);
    m_tabs->addTab(page, QStringLiteral("Подключение"));
}

void TConnectionDialog::BuildAdvancedPage()
{
    auto* page = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(page);
    m_advancedForm = new QFormLayout();
    layout->addLayout(m_advancedForm);

    m_timeoutEdit = new QLineEdit(page);
    m_timeoutEdit->setObjectName(QStringLiteral("loginTimeout"));
    m_timeoutEdit->setValidator(new QIntValidator(0, 86400, m_timeoutEdit));
    connect(m_timeoutEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { FieldEdited(TConnectionField::LoginTimeout, text); });

    m_tdsVersionCombo = new QComboBox(page);
    m_tdsVersionCombo->setObjectName(QStringLiteral("tdsVersion"));
    m_tdsVersionCombo->addItems(TdsVersionChoices());
    connect(m_tdsVersionCombo, &QComboBox::currentTextChanged, this, [this](const QString& text) {
        if (!m_updating)
            FieldEdited(TConnectionField::TdsVersion, text);
    });

    m_encryptionCombo = new QComboBox(page);
    m_encryptionCombo->setObjectName(QStringLiteral("encryption"));
    for (const QString& choice : EncryptionChoices())
        m_encryptionCombo->addItem(choice.isEmpty() ? QStringLiteral("(как в драйвере)") : choice, choice);
    connect(m_encryptionCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!m_updating && index >= 0)
            FieldEdited(TConnectionField::Encryption, m_encryptionCombo->itemData(index).toString());
    });

    m_charsetEdit = new QLineEdit(page);
    m_charsetEdit->setObjectName(QStringLiteral("clientCharset"));
    connect(m_charsetEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { FieldEdited(TConnectionField::ClientCharset, text); });

    m_advancedForm->addRow(QStringLiteral("Время ожидания входа (секунд):"), m_timeoutEdit);
    m_advancedForm->addRow(QStringLiteral("Версия протокола TDS:"), m_tdsVersionCombo);
    m_advancedForm->addRow(QStringLiteral("Шифрование:"), m_encryptionCombo);
    m_advancedForm->addRow(QStringLiteral("Кодировка клиента:"), m_charsetEdit);
    layout->addStretch(1);
    m_tabs->addTab(page, QStringLiteral("Дополнительно"));
}

void TConnectionDialog::BuildAllPage()
{
    auto* page = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(QStringLiteral("Все значения строки подключения; двойной щелчок по ячейке изменяет её."), page));
    m_allTable = new QTableWidget(0, 2, page);
    m_allTable->setObjectName(QStringLiteral("allTable"));
    m_allTable->setHorizontalHeaderLabels({QStringLiteral("Имя"), QStringLiteral("Значение")});
    m_allTable->horizontalHeader()->setStretchLastSection(true);
    m_allTable->verticalHeader()->hide();
    m_allTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_allTable->setSelectionMode(QAbstractItemView::SingleSelection);
    connect(m_allTable, &QTableWidget::itemChanged, this, [this] {
        if (!m_updating)
            AllTableEdited();
    });
    layout->addWidget(m_allTable);

    auto* add = new QPushButton(QStringLiteral("Добавить"), page);
    add->setObjectName(QStringLiteral("addKeyword"));
    connect(add, &QPushButton::clicked, this, [this] { AddKeywordRow(); });
    auto* remove = new QPushButton(QStringLiteral("Удалить"), page);
    remove->setObjectName(QStringLiteral("removeKeyword"));
    connect(remove, &QPushButton::clicked, this, [this] { RemoveKeywordRow(); });
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    layout->addLayout(buttons);
    m_tabs->addTab(page, QStringLiteral("Все"));
}

void TConnectionDialog::SelectProvider(int index)
{
    if (index < 0 || index >= int(m_providers.size()))
        return;
    m_settings.Select(m_providers[size_t(index)]);
    RefreshAll();
}

void TConnectionDialog::FieldEdited(TConnectionField field, const QString& value)
{
    if (m_updating)
        return;
    m_settings.SetField(field, value);
    // The edited widget keeps its text and cursor; the rest follow the settings.
    RefreshAllTable();
    const bool blank = m_settings.BlankPassword();
    if (m_blankPassword->isChecked() != blank) {
        m_updating = true;
        m_blankPassword->setChecked(blank);
        m_passwordEdit->setEnabled(!blank);
        m_updating = false;
    }
}

void TConnectionDialog::AllTableEdited()
{
    TConnectionKeywords keywords;
    for (int row = 0; row < m_allTable->rowCount(); ++row) {
        const QTableWidgetItem* keyItem = m_allTable->item(row, 0);
        const QTableWidgetItem* valueItem = m_allTable->item(row, 1);
        const QString key = keyItem ? keyItem->text().trimmed() : QString();
        const QString value = valueItem ? valueItem->text() : QString();
        if (key.isEmpty() && value.isEmpty())
            continue;   // a row just added and not filled in yet
        if (!IsValidConnectionKey(key)) {
            Dialogs().ShowMessage(QStringLiteral("Недопустимое имя параметра '%1'").arg(key));
            RefreshAll();
            return;
        }
        keywords.push_back(TConnectionKeyword{key, value});
    }
    try {
        m_settings.SetKeywords(std::move(keywords));
    } catch (const Exception& e) {
        Dialogs().ShowMessage(e.Message());
    }
    RefreshAll();
}

void TConnectionDialog::AddKeywordRow()
{
    m_updating = true;
    const int row = m_allTable->rowCount();
    m_allTable->insertRow(row);
    m_allTable->setItem(row, 0, new QTableWidgetItem());
    m_allTable->setItem(row, 1, new QTableWidgetItem());
    m_updating = false;
    m_allTable->setCurrentCell(row, 0);
    m_allTable->editItem(m_allTable->item(row, 0));
}

void TConnectionDialog::RemoveKeywordRow()
{
    const int row = m_allTable->currentRow();
    if (row < 0)
        return;
    m_updating = true;
    m_allTable->removeRow(row);
    m_updating = false;
    AllTableEdited();
}

void TConnectionDialog::BrowseDatabaseFile()
{
    const std::optional<QString> file =
        Dialogs().OpenFile(this, QStringLiteral("Базы SQLite (*.db *.sqlite *.sqlite3);;Все файлы (*)"));
    if (!file)
        return;
    m_settings.SetField(TConnectionField::DatabaseFile, *file);
    RefreshAll();
}

int TConnectionDialog::TestTimeout() const
{
    bool ok = false;
    const int seconds = m_settings.Field(TConnectionField::LoginTimeout).toInt(&ok);
    return ok && seconds > 0 ? seconds : kDefaultTestTimeout;
}

void TConnectionDialog::done(int result)
{
    if (m_waiting) {
        m_doneAfterWait = result;
        return;
    }
    QDialog::done(result);
}

bool TConnectionDialog::WaitFor(std::function<void()> work)
{
    TDbTaskEnd end = TDbTaskEnd::Finished;
    {
        const TWaitCursor cursor;
        const QScopedValueRollback<bool> waiting(m_waiting, true);
        TDbWait wait;
        wait.abandonOnCancel = true;
        // The driver's own login time-out ends the work first; this is the
        // bound for a driver that lets it pass.
        wait.giveUpAfterMs = (static_cast<qint64>(TestTimeout()) + 5) * 1000;
        end = RunDbTask(std::move(work), wait);
    }
    if (const std::optional<int> result = std::exchange(m_doneAfterWait, std::nullopt))
        QTimer::singleShot(0, this, [this, r = *result] { done(r); });
    return end == TDbTaskEnd::Finished;
}

void TConnectionDialog::TestConnection()
{
    // Shared with the worker, which may outlive a wait given up.
    struct TOutcome {
        QString text;
    };
    auto outcome = std::make_shared<TOutcome>();
    const QString connectionString = m_settings.ConnectionString();
    const int timeout = TestTimeout();
    const bool finished = WaitFor([outcome, connectionString, timeout] {
        try {
            std::unique_ptr<TDbConnection> connection = CreateDbConnection(QStringLiteral("TestConnection"));
            connection->SetLoginTimeout(timeout);
            connection->SetConnectionString(connectionString);
            connection->Open();
            connection->Close();
            outcome->text = QStringLiteral("Проверка подключения прошла успешно.");
        } catch (const Exception& e) {
            outcome->text = e.Message();
        }
    });
    Dialogs().ShowMessage(finished ? outcome->text : QString::fromUtf16(kConnectCancelledText));
}

void TConnectionDialog::ListDatabases()
{
    const QString sql = m_settings.DatabaseListQuery();
    if (sql.isEmpty())
        return;
    struct TListing {
        QStringList names;
        QString error;
    };
    auto listing = std::make_shared<TListing>();
    const QString connectionString = m_settings.DatabaseListConnectionString();
    const int timeout = TestTimeout();
    const bool finished = WaitFor([listing, connectionString, sql, timeout] {
        try {
            std::unique_ptr<TDbConnection> connection = CreateDbConnection(QStringLiteral("DatabaseList"));
            connection->SetLoginTimeout(timeout);
            connection->SetConnectionString(connectionString);
            connection->Open();
            std::unique_ptr<TDbQuery> query = CreateDbQuery(QStringLiteral("qryDatabases"), connection.get());
            query->SetSQL(sql);
            query->Open();
            for (query->First(); !query->Eof(); query->Next())
                listing->names << query->Fields(0)->AsVariant().toString();
            query->Close();
            connection->Close();
        } catch (const Exception& e) {
            listing->error = e.Message();
        }
    });
    if (!finished || !listing->error.isEmpty()) {
        Dialogs().ShowMessage(finished ? listing->error : QString::fromUtf16(kConnectCancelledText));
        return;
    }
    // The entered text stays; only the list below it changes.
    m_updating = true;
    const QString entered = m_databaseCombo->currentText();
    m_databaseCombo->clear();
    m_databaseCombo->addItems(listing->names);
    m_databaseCombo->setEditText(entered);
    m_updating = false;
}

void TConnectionDialog::RefreshFields()
{
    m_updating = true;
    const TDriverKind kind = m_settings.Kind();
    const auto show = [&](QFormLayout* form, QWidget* field, TConnectionField f) {
        form->setRowVisible(field, m_settings.HasField(f));
    };
    show(m_connectionForm, m_serverEdit, TConnectionField::Server);
    show(m_connectionForm, m_portEdit, TConnectionField::Port);
    show(m_connectionForm, m_databaseRow, TConnectionField::Database);
    show(m_connectionForm, m_userEdit, TConnectionField::UserName);
    show(m_connectionForm, m_passwordRow, TConnectionField::Password);
    show(m_connectionForm, m_fileRow, TConnectionField::DatabaseFile);
    show(m_advancedForm, m_timeoutEdit, TConnectionField::LoginTimeout);
    show(m_advancedForm, m_tdsVersionCombo, TConnectionField::TdsVersion);
    show(m_advancedForm, m_encryptionCombo, TConnectionField::Encryption);
    show(m_advancedForm, m_charsetEdit, TConnectionField::ClientCharset);
    m_testButton->setEnabled(m_settings.HasProvider());

    const auto setText = [](QLineEdit* edit, const QString& text) {
        if (edit->text() != text)
            edit->setText(text);
    };
    setText(m_serverEdit, m_settings.Field(TConnectionField::Server));
    setText(m_portEdit, m_settings.Field(TConnectionField::Port));
    if (m_databaseCombo->currentText() != m_settings.Field(TConnectionField::Database))
        m_databaseCombo->setEditText(m_settings.Field(TConnectionField::Database));
    setText(m_userEdit, m_settings.Field(TConnectionField::UserName));
    setText(m_passwordEdit, m_settings.Field(TConnectionField::Password));
    m_blankPassword->setChecked(m_settings.BlankPassword());
    m_passwordEdit->setEnabled(!m_settings.BlankPassword());
    setText(m_fileEdit, m_settings.Field(TConnectionField::DatabaseFile));
    setText(m_timeoutEdit, m_settings.Field(TConnectionField::LoginTimeout));

    const QString version = m_settings.Field(TConnectionField::TdsVersion);
    if (m_tdsVersionCombo->findText(version) < 0 && !version.isEmpty())
        m_tdsVersionCombo->addItem(version);   // a value typed on the All page
    m_tdsVersionCombo->setCurrentText(kind == TDriverKind::SqlServer ? version : QStringLiteral("auto"));
    const QString encryption = m_settings.Field(TConnectionField::Encryption);
    int encryptionIndex = m_encryptionCombo->findData(encryption);
    if (encryptionIndex < 0) {
        m_encryptionCombo->addItem(encryption, encryption);
        encryptionIndex = m_encryptionCombo->count() - 1;
    }
    m_encryptionCombo->setCurrentIndex(encryptionIndex);
    setText(m_charsetEdit, m_settings.Field(TConnectionField::ClientCharset));
    m_updating = false;
}

void TConnectionDialog::RefreshAllTable()
{
    m_updating = true;
    const TConnectionKeywords& keywords = m_settings.Keywords();
    m_allTable->setRowCount(int(keywords.size()));
    // Items are reused: this runs inside the table's own itemChanged.
    const auto put = [this](int row, int column, const QString& text) {
        if (QTableWidgetItem* item = m_allTable->item(row, column))
            item->setText(text);
        else
            m_allTable->setItem(row, column, new QTableWidgetItem(text));
    };
    for (int row = 0; row < int(keywords.size()); ++row) {
        put(row, 0, keywords[size_t(row)].Key);
        put(row, 1, keywords[size_t(row)].Value);
    }
    m_updating = false;
}

void TConnectionDialog::RefreshAll()
{
    RefreshFields();
    RefreshAllTable();
}
