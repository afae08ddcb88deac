#include "query/ConnectionManager.h"

#include "platform/ui/DialogService.h"
#include "platform/core/Failure.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionDialog.h"
#include "query/DataSet.h"
#include "query/Database.h"
#include "query/DbTask.h"

#include <QScopeGuard>

#include <memory>

namespace {

class TQtConnectionDialogProvider : public TConnectionDialogProvider {
public:
    QString Execute() override { return TConnectionDialog::Execute(nullptr); }
};

std::unique_ptr<TConnectionDialogProvider>& ProviderSlot()
{
    static std::unique_ptr<TConnectionDialogProvider> provider;
    return provider;
}

// Opens (creating it if missing) the connection key; closes it on every way
// out.
class TConnectionKey {
public:
    TConnectionKey() : m_opened(m_registry.OpenKey(QString::fromUtf16(kConnectionKey), true)) {}
    ~TConnectionKey() { m_registry.CloseKey(); }
    TConnectionKey(const TConnectionKey&) = delete;
    TConnectionKey& operator=(const TConnectionKey&) = delete;

    [[nodiscard]] bool Opened() const { return m_opened; }
    [[nodiscard]] TRegistry& Registry() { return m_registry; }

private:
    TRegistry m_registry;
    bool m_opened;
};


TProgressView*& ProgressSlot()
{
    static TProgressView* view = nullptr;
    return view;
}

} // namespace

void SetConnectProgressView(TProgressView* view) { ProgressSlot() = view; }
TProgressView* ConnectProgressView() { return ProgressSlot(); }

QString ConnectTarget(const QString& connectionString)
{
    QString server, database, dsn, driver;
    for (const QString& part : connectionString.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const qsizetype eq = part.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        const QString key = part.left(eq).trimmed().toUpper();
        QString value = part.mid(eq + 1).trimmed();
        if (value.startsWith(QLatin1Char('{')) && value.endsWith(QLatin1Char('}')))
            value = value.mid(1, value.size() - 2);
        if (key == QLatin1String("SERVER") || key == QLatin1String("SERVERNAME"))
            server = value;
        else if (key == QLatin1String("DATABASE"))
            database = value;
        else if (key == QLatin1String("DSN"))
            dsn = value;
        else if (key == QLatin1String("DRIVER"))
            driver = value;
    }
    for (const QString* v : {&server, &database, &dsn, &driver})
        if (!v->isEmpty())
            return *v;
    return {};
}

QString ConnectProgressText(const QString& target, qint64 elapsedMs)
{
    return QStringLiteral("Подключение к %1 (%2 с). Esc — отмена").arg(target, ProgressSeconds(elapsedMs));
}

void OpenInBackground(TDbConnection& connection)
{
    const std::shared_ptr<TDbConnectAttempt> attempt = connection.PrepareOpen();
    if (!attempt)
        return;
    TProgressView* view = ConnectProgressView();
    const QString target = ConnectTarget(connection.ConnectionString());
    TDbWait wait;
    wait.abandonOnCancel = true;
    wait.giveUpAfterMs = connection.LoginTimeout() > 0 ? connection.LoginTimeout() * qint64{1000} : 0;
    if (view) {
        wait.cancelControl = view->CancelControl();
        wait.progress = [view, &target](qint64 elapsedMs) { view->ShowProgress(ConnectProgressText(target, elapsedMs)); };
    }
    TDbTaskEnd end = TDbTaskEnd::Finished;
    {
        const auto hide = qScopeGuard([view] {
            if (view)
                view->HideProgress();
        });
        // The worker owns the attempt too: abandoned, it frees the handles.
        end = RunDbTask([attempt] { attempt->Run(); }, wait);
    }
    if (end == TDbTaskEnd::Cancelled)
        throw EDatabaseError(QString::fromUtf16(kConnectCancelledText));
    if (end == TDbTaskEnd::GaveUp)
        throw EDatabaseError(QStringLiteral("Login timeout expired"));
    connection.FinishOpen(*attempt);
}

QString& ProcessConnectionString()
{
    static QString connectionString;
    return connectionString;
}

TConnectionDialogProvider::~TConnectionDialogProvider() = default;

void SetConnectionDialogProvider(std::unique_ptr<TConnectionDialogProvider> provider)
{
    ProviderSlot() = std::move(provider);
}

TConnectionDialogProvider& ConnectionDialogProvider()
{
    std::unique_ptr<TConnectionDialogProvider>& slot = ProviderSlot();
    if (!slot)
        slot = std::make_unique<TQtConnectionDialogProvider>();
    return *slot;
}

namespace {

// The string the user last chose when it could not be stored (else empty):
// while it is the process-wide one, the stored value is older and must not
// replace it.
QString& UnstoredChoice()
{
    static QString unstored;
    return unstored;
}

// Stores the process-wide string as "A"; the failure's text, empty when it
// was stored.
QString StoreConnectionString()
{
    const QString valueName = QString::fromUtf16(kConnectionValue);
    const QString failed = QStringLiteral("Failed to set data for '%1': the settings could not be saved to %2")
                               .arg(valueName, TRegistry::StorePath());
    try {
        TConnectionKey key;
        // A key that can be neither opened nor created cannot take the value;
        // writing at the root instead would hide it from the next reconnect.
        if (!key.Opened())
            return failed;
        key.Registry().WriteString(valueName, ProcessConnectionString());
    } catch (const Exception&) {
        return failed;
    }
    return {};
}

} // namespace

void ChooseConnection(TDbConnection& connection)
{
    const QString chosen = ConnectionDialogProvider().Execute();
    if (chosen.isEmpty())
        return;   // cancelled: nothing stored, closed or tried

    ProcessConnectionString() = chosen;
    const QString storeFailure = StoreConnectionString();
    UnstoredChoice() = storeFailure.isEmpty() ? QString() : chosen;

    // The confirmed string is the one in use from now on, stored or not.
    try {
        connection.Close();
        connection.SetConnectionString(ProcessConnectionString());
        OpenInBackground(connection);
    } catch (const Exception& e) {
        Dialogs().ShowMessage(storeFailure.isEmpty() ? e.Message() : storeFailure + QLatin1Char('\n') + e.Message());
        Abort();
    }
    if (!storeFailure.isEmpty())
        throw Exception(storeFailure);
}

void Reconnect(TDbConnection& connection)
{
    connection.Close();
    if (UnstoredChoice().isEmpty() || UnstoredChoice() != ProcessConnectionString()) {
        TConnectionKey key;
        // A key that could not be opened holds no value: nothing stored.
        const QString stored = key.Opened() ? key.Registry().ReadString(QString::fromUtf16(kConnectionValue)) : QString();
        if (!stored.isEmpty())
            ProcessConnectionString() = stored;
    }
    connection.SetConnectionString(ProcessConnectionString());
    OpenInBackground(connection);
}
