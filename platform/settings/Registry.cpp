#include "platform/settings/Registry.h"

#include "platform/core/Failure.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QLockFile>
#include <QSaveFile>

#include <cerrno>
#include <map>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kHeader = "BQA-REGISTRY 1";

struct TValue {
    QString name;
    bool isString = true;
    QString text;
    std::int32_t number = 0;
};

struct TKey {
    QString path;
    std::map<QString, TValue> values; // by case-folded name
};

struct TStore {
    bool readable = true; // false: the file exists but could not be read
    std::map<QString, TKey> keys;  // by case-folded path; "" is the root
};

std::mutex& StoreMutex()
{
    static std::mutex mutex;
    return mutex;
}

QString& OverridePath()
{
    static QString path;
    return path;
}

QString Fold(const QString& s) { return s.toCaseFolded(); }

// Joins the non-empty components of `key` with single backslashes.
QString NormalisePath(const QString& key)
{
    QStringList parts = key.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

// Escapes so that the text holds no '=', no control character and no lone
// surrogate: \\, \=, \xHH for control characters, \uHHHH for lone surrogates.
QString Escape(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const char16_t u = c.unicode();
        if (u == u'\\') {
            out += QLatin1String("\\\\");
        } else if (u == u'=') {
            out += QLatin1String("\\=");
        } else if (u < 0x20 || u == 0x7F) {
            out += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
        } else if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out += c;
            out += s[++i];
        } else if (c.isSurrogate()) {
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

// The inverse of Escape; malformed escapes keep their characters.
QString Unescape(QStringView s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c != QLatin1Char('\\') || i + 1 >= s.size()) {
            out += c;
            continue;
        }
        const QChar n = s[i + 1];
        if (n == QLatin1Char('\\') || n == QLatin1Char('=')) {
            out += n;
            ++i;
            continue;
        }
        const int digits = n == QLatin1Char('x') ? 2 : n == QLatin1Char('u') ? 4 : 0;
        bool ok = false;
        if (digits && i + 2 + digits <= s.size()) {
            const uint v = s.mid(i + 2, digits).toUInt(&ok, 16);
            if (ok) {
                out += QChar(char16_t(v));
                i += 1 + digits;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// The first '=' that is not part of an escape, or -1.
qsizetype SeparatorIndex(QStringView s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('\\'))
            ++i;
        else if (s[i] == QLatin1Char('='))
            return i;
    }
    return -1;
}

TKey& EnsureKey(TStore& store, const QString& path)
{
    // Parents first, so every prefix of a stored key is a key too.
    QString prefix;
    const QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    store.keys.try_emplace(QString(), TKey{});
    for (const QString& part : parts) {
        prefix = prefix.isEmpty() ? part : prefix + QLatin1Char('\\') + part;
        auto [it, inserted] = store.keys.try_emplace(Fold(prefix));
        if (inserted)
            it->second.path = prefix;
    }
    return store.keys[Fold(path)];
}

void NarrowMode(const QByteArray& file)
{
    struct stat st {};
    if (::stat(file.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0077) != 0)
        ::chmod(file.constData(), S_IRUSR | S_IWUSR);
}

TStore Load(const QString& fileName)
{
    TStore store;
    store.keys.try_emplace(QString(), TKey{});
    QFile file(fileName);
    if (!file.exists())
        return store;
    NarrowMode(QFile::encodeName(fileName));
    if (!file.open(QIODevice::ReadOnly)) {
        store.readable = false;
        return store;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        store.readable = false;
        return store;
    }
    const QString text = QString::fromUtf8(bytes);
    TKey* current = &store.keys[QString()];
    const auto lines = QStringView(text).split(QLatin1Char('\n'));
    for (QStringView line : lines) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.size() < 2 || line[1] != QLatin1Char(' '))
            continue;
        const QChar kind = line[0];
        const QStringView body = line.mid(2);
        if (kind == QLatin1Char('K')) {
            current = &EnsureKey(store, NormalisePath(Unescape(body)));
            continue;
        }
        if (kind != QLatin1Char('S') && kind != QLatin1Char('I'))
            continue;
        const qsizetype eq = SeparatorIndex(body);
        if (eq < 0)
            continue;
        TValue value;
        value.name = Unescape(body.left(eq));
        if (kind == QLatin1Char('S')) {
            value.text = Unescape(body.mid(eq + 1));
        } else {
            bool ok = false;
            value.number = body.mid(eq + 1).toInt(&ok);
            if (!ok)
                continue;
            value.isString = false;
        }
        current->values[Fold(value.name)] = value;
    }
    return store;
}

// Creates the missing directories of `dir`, each mode 0700.
bool EnsureDirectory(const QString& dir)
{
    if (QFileInfo(dir).isDir())
        return true;
    const QString parent = QFileInfo(dir).absolutePath();
    if (parent != dir && !EnsureDirectory(parent))
        return false;
    const QByteArray name = QFile::encodeName(dir);
    return ::mkdir(name.constData(), S_IRWXU) == 0 || errno == EEXIST;
}

QByteArray Serialise(const TStore& store)
{
    QByteArray out(kHeader);
    out += '\n';
    for (const auto& [folded, key] : store.keys) {
        out += "K " + Escape(key.path).toUtf8() + '\n';
        for (const auto& [n, value] : key.values) {
            if (value.isString)
                out += "S " + Escape(value.name).toUtf8() + '=' + Escape(value.text).toUtf8() + '\n';
            else
                out += "I " + Escape(value.name).toUtf8() + '=' + QByteArray::number(value.number) + '\n';
        }
    }
    return out;
}

// Replaces the file atomically; the new file is mode 0600 before it holds a
// byte. False leaves the old file as it was.
bool Save(const QString& fileName, const TStore& store)
{
    if (!store.readable)
        return false;
    const QByteArray out = Serialise(store);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(out) != out.size() || !file.commit())
        return false; // QSaveFile discards the temporary file
    NarrowMode(QFile::encodeName(QFileInfo(fileName).absoluteFilePath()));
    return true;
}

// How long a writer waits for another process's read-modify-write.
constexpr int kLockWaitMs = 5000;

// Runs `change` on the freshly read store and saves it, holding the lock file
// beside the store for the whole read-modify-write, so that two running
// copies of the program never lose each other's writes. `change` returns
// false to leave the file untouched. False when the lock, the directory or
// the write failed, or when `change` declined.
template <class F>
bool ChangeStore(const QString& fileName, F&& change)
{
    const QFileInfo info(fileName);
    if (!EnsureDirectory(info.absolutePath()))
        return false;
    QLockFile lock(info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1String(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    TStore store = Load(fileName);
    if (!change(store))
        return false;
    return Save(fileName, store);
}

[[noreturn]] void InvalidType(const QString& name)
{
    throw Exception(QStringLiteral("Invalid data type for '%1'").arg(name));
}

[[noreturn]] void FailedToSet(const QString& name)
{
    throw Exception(QStringLiteral("Failed to set data for '%1'").arg(name));
}

const TValue* FindValue(const TStore& store, const QString& path, const QString& name)
{
    const auto key = store.keys.find(Fold(path));
    if (key == store.keys.end())
        return nullptr;
    const auto value = key->second.values.find(Fold(name));
    return value == key->second.values.end() ? nullptr : &value->second;
}

} // namespace

TRegistry::~TRegistry() { CloseKey(); }

TRegistry::TRegistry(TRegistry&& other) noexcept
    : m_open(other.m_open), m_path(std::move(other.m_path))
{
    other.CloseKey();
}

TRegistry& TRegistry::operator=(TRegistry&& other) noexcept
{
    if (this != &other) {
        m_open = other.m_open;
        m_path = std::move(other.m_path);
        other.CloseKey();
    }
    return *this;
}

void TRegistry::SetStorePath(const QString& path)
{
    std::lock_guard lock(StoreMutex());
    OverridePath() = path;
}

QString TRegistry::StorePath()
{
    {
        std::lock_guard lock(StoreMutex());
        if (!OverridePath().isEmpty())
            return OverridePath();
    }
    const QString env = qEnvironmentVariable("BQA_REGISTRY_FILE");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1String("/brenvo-qa/registry");
}

bool TRegistry::OpenKey(const QString& key, bool canCreate)
{
    const bool absolute = key.startsWith(QLatin1Char('\\'));
    QString path = NormalisePath(key);
    if (!absolute && m_open && !m_path.isEmpty() && !path.isEmpty())
        path = m_path + QLatin1Char('\\') + path;
    else if (!absolute && m_open && path.isEmpty())
        path = m_path;

    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const TStore store = Load(file);
    if (const auto found = store.keys.find(Fold(path)); found != store.keys.end()) {
        m_open = true;
        m_path = found->second.path;
        return true;
    }
    if (!canCreate)
        return false;
    QString spelling;
    const bool saved = ChangeStore(file, [&](TStore& fresh) {
        spelling = EnsureKey(fresh, path).path; // another copy may have made it meanwhile
        return true;
    });
    if (!saved)
        return false;
    m_open = true;
    m_path = spelling.isEmpty() ? path : spelling;
    return true;
}

void TRegistry::CloseKey()
{
    m_open = false;
    m_path.clear();
}

bool TRegistry::KeyExists(const QString& key) const
{
    QString path = NormalisePath(key);
    if (!key.startsWith(QLatin1Char('\\')) && m_open && !m_path.isEmpty())
        path = path.isEmpty() ? m_path : m_path + QLatin1Char('\\') + path;
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const TStore store = Load(file);
    return store.keys.count(Fold(path)) != 0;
}

QString TRegistry::ReadString(const QString& name) const
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const TStore store = Load(file);
    const TValue* value = FindValue(store, m_path, name);
    if (!value)
        return QString();
    if (!value->isString)
        InvalidType(name);
    return value->text;
}

std::int32_t TRegistry::ReadInteger(const QString& name) const
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const TStore store = Load(file);
    const TValue* value = FindValue(store, m_path, name);
    if (!value || value->isString)
        InvalidType(name);
    return value->number;
}

bool TRegistry::ValueExists(const QString& name) const
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const TStore store = Load(file);
    return FindValue(store, m_path, name) != nullptr;
}

QStringList TRegistry::GetValueNames() const
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const TStore store = Load(file);
    QStringList names;
    const auto key = store.keys.find(Fold(m_path));
    if (key != store.keys.end())
        for (const auto& [folded, value] : key->second.values)
            names << value.name;
    return names;
}

void TRegistry::WriteString(const QString& name, const QString& value)
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const bool saved = ChangeStore(file, [&](TStore& store) {
        EnsureKey(store, m_path).values[Fold(name)] = TValue{name, true, value, 0};
        return true;
    });
    if (!saved)
        FailedToSet(name);
}

void TRegistry::WriteInteger(const QString& name, std::int32_t value)
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const bool saved = ChangeStore(file, [&](TStore& store) {
        EnsureKey(store, m_path).values[Fold(name)] = TValue{name, false, QString(), value};
        return true;
    });
    if (!saved)
        FailedToSet(name);
}

bool TRegistry::DeleteValue(const QString& name)
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    return ChangeStore(file, [&](TStore& store) {
        const auto key = store.keys.find(Fold(m_path));
        return key != store.keys.end() && key->second.values.erase(Fold(name)) != 0;
    });
}
