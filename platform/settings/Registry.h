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
// A file that exists but cannot be read, or that is not a settings file,
// makes every write fail rather than overwrite it. A write changes only the
// lines it must: every other line, understood or not, keeps its bytes.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

struct TRegistryValue {
    QString name;
    bool isString = true;
    QString text;
    std::int32_t number = 0;
};

// The bytes of a store file, read and edited; what TRegistry works through.
//
// The file is UTF-8 lines: first "BQA-REGISTRY 1" (a UTF-8 byte-order mark
// before it is allowed), then "K <path>" opening a key (its parents exist
// with it) and "S <name>=<text>" or "I <name>=<decimal>" values of the key
// opened last; values before any "K" line belong to the root. Paths, names
// and texts are escaped (\\, \=, \xHH, \uHHHH). A later line for the same
// value wins. Lines of any other form are not read and are kept as they are.
//
// Only lines ended by a line break are read. Bytes after the last one are a
// cut tail (a write that stopped short): not read, and kept by the next write
// behind a '#' on a line of their own, where no reader takes them for a key
// or value. A file whose first line is not the header is not a settings file
// (IsStore() false): what lines of the forms above it holds are read, but it
// is never written over. An empty file, or one that is only a cut-short
// header, is an empty store.
//
// Loading is linear in the file's size. Paths are normalised (no leading,
// trailing or doubled backslashes); keys and names compare case-insensitively.
class TRegistryFile {
public:
    TRegistryFile() : TRegistryFile(QByteArray()) {}
    explicit TRegistryFile(QByteArray bytes);

    [[nodiscard]] bool IsStore() const { return m_store; }
    // The spelling of the key `path` as first stored, or nullopt when there is
    // no such key. The root ("") always exists.
    [[nodiscard]] std::optional<QString> KeyPath(const QString& path) const;
    [[nodiscard]] const TRegistryValue* Value(const QString& path, const QString& name) const;
    [[nodiscard]] QStringList ValueNames(const QString& path) const;
    // The paths named by "K" lines, each once, in their first spelling.
    [[nodiscard]] QStringList KeyPaths() const;

    // The file's bytes after one change (only when IsStore()). WithKey adds
    // a missing key; WithValue sets a value, creating its key; WithoutValue
    // removes every line of the value, nullopt when there is none.
    [[nodiscard]] QByteArray WithKey(const QString& path) const;
    [[nodiscard]] QByteArray WithValue(const QString& path, const TRegistryValue& value) const;
    [[nodiscard]] std::optional<QByteArray> WithoutValue(const QString& path, const QString& name) const;

private:
    struct TStoredValue {
        TRegistryValue value;
        std::vector<qsizetype> lines;   // every line that sets it, in order
    };
    struct TKey {
        QString path;
        std::map<QString, TStoredValue> values;   // by case-folded name
        qsizetype insertAt = -1;   // line index after its last section; -1: none
    };
    struct TLine {
        qsizetype begin = 0;
        qsizetype end = 0;   // past the line break
    };

    void Parse();
    const TKey* FindKey(const QString& path) const;
    // The file with `insert` placed before line `at` (lines().size(): at the
    // end), the lines in `drop` left out and line `replace` (if >= 0) made
    // `replacement`.
    QByteArray Compose(qsizetype at, const QByteArray& insert, const std::vector<qsizetype>& drop,
                       qsizetype replace, const QByteArray& replacement) const;

    QByteArray m_bytes;
    bool m_store = true;
    bool m_header = false;         // line 0 is the header
    std::vector<TLine> m_lines;
    qsizetype m_tail = 0;          // where the cut tail begins (m_bytes.size(): none)
    std::map<QString, TKey> m_keys;   // by case-folded path; "" is the root
};

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
