#pragma once
// The per-user key/value store that stands in for the registry hive
// HKEY_CURRENT_USER: keys named by backslash paths, each holding named string
// or integer values. Key paths and value names compare case-insensitively and
// keep the spelling they were created with.
//
// Storage is one text file, by default
// <generic config dir>/brenvo-qa/registry; SetStorePath() or the environment
// variable BQA_REGISTRY_FILE move it (tests). The file holds connection
// strings with passwords, so it is always mode 0600 (a wider existing file is
// narrowed when touched) and a directory created for it is mode 0700. Every
// write re-reads the file and replaces it atomically, holding a lock file
// beside it meanwhile, and every read re-reads it, so any number of TRegistry
// objects, in this process or in other running copies, see each other's
// writes at once and never lose one.
// A file that exists but cannot be read makes every write fail rather than
// overwrite it.

#include <QString>
#include <QStringList>

#include <cstdint>

class TRegistry {
public:
    TRegistry() = default;
    ~TRegistry();
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;
    TRegistry(TRegistry&& other) noexcept;
    TRegistry& operator=(TRegistry&& other) noexcept;

    // Opens `key`: a leading backslash makes it absolute from the root, a key
    // without one is relative to the open key (or to the root); a trailing
    // backslash and empty components are ignored. With `canCreate` the key
    // and its missing parents are created and stored at once. False when the
    // key does not exist and may not be created, or cannot be stored.
    bool OpenKey(const QString& key, bool canCreate);
    // Back to the root; reads and writes then address the root key.
    void CloseKey();
    // Path of the open key without leading backslash; empty at the root.
    [[nodiscard]] const QString& CurrentPath() const { return m_path; }
    [[nodiscard]] bool KeyExists(const QString& key) const;

    // A missing value reads as the empty string; a value of another type
    // fails with "Invalid data type for '<name>'".
    [[nodiscard]] QString ReadString(const QString& name) const;
    // Fails with "Failed to set data for '<name>'" when the store cannot be
    // written; a key removed from the file meanwhile is recreated.
    void WriteString(const QString& name, const QString& value);
    // Integer values are a type of their own: ReadString of one fails, and
    // ReadInteger of a string or missing value fails with the same message.
    [[nodiscard]] std::int32_t ReadInteger(const QString& name) const;
    void WriteInteger(const QString& name, std::int32_t value);
    [[nodiscard]] bool ValueExists(const QString& name) const;
    // True when the value existed and the store was written.
    bool DeleteValue(const QString& name);
    [[nodiscard]] QStringList GetValueNames() const;

    // Overrides the store file for the whole process; an empty path goes
    // back to BQA_REGISTRY_FILE or the default location.
    static void SetStorePath(const QString& path);
    [[nodiscard]] static QString StorePath();

private:
    bool m_open = false;
    QString m_path;
};
