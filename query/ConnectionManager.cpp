#include "query/ConnectionManager.h"

#include "platform/ui/DialogService.h"
#include "platform/core/Failure.h"
#include "platform/settings/Registry.h"
#include "query/ConnectionDialog.h"
#include "query/Database.h"

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

} // namespace

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

void ChooseConnection(TDbConnection& connection)
{
    const QString chosen = ConnectionDialogProvider().Execute();
    if (chosen.isEmpty())
        return;   // cancelled: nothing stored, closed or tried

    ProcessConnectionString() = chosen;

    const QString valueName = QString::fromUtf16(kConnectionValue);
    TConnectionKey key;
    // A key that can be neither opened nor created cannot take the value;
    // writing at the root instead would hide it from the next reconnect.
    if (!key.Opened())
        throw Exception(QStringLiteral("Failed to set data for '%1'").arg(valueName));
    key.Registry().WriteString(valueName, ProcessConnectionString());

    try {
        connection.Close();
        connection.SetConnectionString(ProcessConnectionString());
        connection.Open();
    } catch (const Exception& e) {
        Dialogs().ShowMessage(e.Message());
        Abort();
    }
}

void Reconnect(TDbConnection& connection)
{
    connection.Close();
    {
        TConnectionKey key;
        // A key that could not be opened holds no value: nothing stored.
        const QString stored = key.Opened() ? key.Registry().ReadString(QString::fromUtf16(kConnectionValue)) : QString();
        if (!stored.isEmpty())
            ProcessConnectionString() = stored;
    }
    connection.SetConnectionString(ProcessConnectionString());
    connection.Open();
}
