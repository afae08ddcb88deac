#pragma once
// A settings store in a fresh temporary directory for the lifetime of the
// object, so a window under test never reads or writes the user's settings.
// Declare it before the window.

#include "platform/settings/Registry.h"

#include <QTemporaryDir>

class TTempStore {
public:
    TTempStore() { TRegistry::SetStorePath(m_dir.filePath(QStringLiteral("registry"))); }
    ~TTempStore() { TRegistry::SetStorePath(QString()); }
    TTempStore(const TTempStore&) = delete;
    TTempStore& operator=(const TTempStore&) = delete;

    [[nodiscard]] QString FilePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};
