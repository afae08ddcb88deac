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

void NarrowMode(const QByteArray& file)
{
    struct stat st {};
    if (::stat(file.constData(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 0077) != 0)
        ::chmod(file.constData(), S_IRUSR | S_IWUSR);
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

// A store file as read: `readable` false when the file exists but could
// not be read.
struct TLoaded {
    bool readable = true;
    TRegistryFile file;
};

TLoaded Load(const QString& fileName)
{
    QFile file(fileName);
    if (!file.exists())
        return TLoaded{};
    NarrowMode(QFile::encodeName(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return TLoaded{false, TRegistryFile()};
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return TLoaded{false, TRegistryFile()};
    return {true, TRegistryFile(std::move(bytes))};
}

// Replaces the file atomically; the new file is mode 0600 before it holds a
// byte. False leaves the old file as it was.
bool Save(const QString& fileName, const QByteArray& out)
{
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

// Runs `change` on the freshly read file and saves the bytes it returns,
// holding the lock file beside the store for the whole read-modify-write, so
// that two running copies of the program never lose each other's writes.
// `change` returns nullopt to leave the file untouched. False when the lock,
// the directory or the write failed, when the file could not be read or is
// not a settings file, or when `change` declined.
template <class F>
bool ChangeStore(const QString& fileName, F&& change)
{
    const QFileInfo info(fileName);
    if (!EnsureDirectory(info.absolutePath()))
        return false;
    QLockFile lock(info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1String(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    const TLoaded loaded = Load(fileName);
    if (!loaded.readable || !loaded.file.IsStore())
        return false;
    const std::optional<QByteArray> out = change(loaded.file);
    return out && Save(fileName, *out);
}

[[noreturn]] void InvalidType(const QString& name)
{
    throw Exception(QStringLiteral("Invalid data type for '%1'").arg(name));
}

[[noreturn]] void FailedToSet(const QString& name)
{
    throw Exception(QStringLiteral("Failed to set data for '%1'").arg(name));
}

constexpr QByteArrayView kBom = "\xEF\xBB\xBF";

// The line a value is stored as, with its line break.
QByteArray ValueLine(const TRegistryValue& value)
{
    const QByteArray name = Escape(value.name).toUtf8();
    if (value.isString)
        return "S " + name + '=' + Escape(value.text).toUtf8() + '\n';
    return "I " + name + '=' + QByteArray::number(value.number) + '\n';
}

QByteArray KeyLine(const QString& path)
{
    return "K " + Escape(path).toUtf8() + '\n';
}

} // namespace

// ---- TRegistryFile ----

TRegistryFile::TRegistryFile(QByteArray bytes) : m_bytes(std::move(bytes))
{
    Parse();
}

void TRegistryFile::Parse()
{
    TKey& root = m_keys[QString()];
    const QByteArrayView all(m_bytes);
    const qsizetype bom = all.startsWith(kBom) ? kBom.size() : 0;

    // Whole lines; the bytes after the last line break are the cut tail.
    for (qsizetype begin = 0; begin < all.size();) {
        const qsizetype lf = all.indexOf('\n', begin);
        if (lf < 0)
            break;
        m_lines.push_back({begin, lf + 1});
        begin = lf + 1;
    }
    if (m_lines.empty()) {
        // Empty, a cut-short header, or something else.
        const QByteArrayView rest = all.sliced(bom);
        m_store = QByteArrayView(QByteArray(kHeader) + "\r\n").startsWith(rest);
        m_tail = m_bytes.size(); // a cut header is rewritten whole
        root.insertAt = 0;
        return;
    }
    m_tail = m_lines.back().end;
    QByteArrayView first = all.sliced(bom, m_lines[0].end - 1 - bom);
    if (first.endsWith('\r'))
        first.chop(1);
    m_header = m_store = first == QByteArrayView(kHeader);

    TKey* current = &root;
    root.insertAt = m_header ? 1 : 0;
    for (qsizetype i = m_header ? 1 : 0; i < qsizetype(m_lines.size()); ++i) {
        const qsizetype begin = i == 0 ? bom : m_lines[i].begin;
        QByteArrayView raw = all.sliced(begin, m_lines[i].end - 1 - begin);
        if (raw.endsWith('\r'))
            raw.chop(1);
        const char kind = raw.size() >= 2 && raw[1] == ' ' ? raw[0] : '\0';
        if (kind == 'K') {
            const QString path = NormalisePath(Unescape(QString::fromUtf8(raw.sliced(2))));
            auto [it, inserted] = m_keys.try_emplace(Fold(path));
            if (inserted)
                it->second.path = path;
            current = &it->second;
        } else if (kind == 'S' || kind == 'I') {
            const QString body = QString::fromUtf8(raw.sliced(2));
            const qsizetype eq = SeparatorIndex(body);
            if (eq >= 0) {
                TRegistryValue value;
                value.name = Unescape(QStringView(body).left(eq));
                bool ok = true;
                if (kind == 'S') {
                    value.text = Unescape(QStringView(body).mid(eq + 1));
                } else {
                    value.number = QStringView(body).mid(eq + 1).toInt(&ok);
                    value.isString = false;
                }
                if (ok) {
                    TStoredValue& stored = current->values[Fold(value.name)];
                    stored.value = std::move(value);
                    stored.lines.push_back(i);
                }
            }
        }
        current->insertAt = i + 1;
    }
}

const TRegistryFile::TKey* TRegistryFile::FindKey(const QString& path) const
{
    const auto it = m_keys.find(Fold(NormalisePath(path)));
    return it == m_keys.end() ? nullptr : &it->second;
}

std::optional<QString> TRegistryFile::KeyPath(const QString& path) const
{
    const QString normal = NormalisePath(path);
    const QString folded = Fold(normal);
    if (const auto it = m_keys.find(folded); it != m_keys.end())
        return it->second.path;
    // A parent of a stored key: spelled as the first stored key below it.
    const QString prefix = folded + QLatin1Char('\\');
    const auto below = m_keys.lower_bound(prefix);
    if (below == m_keys.end() || !below->first.startsWith(prefix))
        return std::nullopt;
    return below->second.path.left(normal.size());
}

const TRegistryValue* TRegistryFile::Value(const QString& path, const QString& name) const
{
    const TKey* key = FindKey(path);
    if (!key)
        return nullptr;
    const auto it = key->values.find(Fold(name));
    return it == key->values.end() ? nullptr : &it->second.value;
}

QStringList TRegistryFile::ValueNames(const QString& path) const
{
    QStringList names;
    if (const TKey* key = FindKey(path))
        for (const auto& [folded, stored] : key->values)
            names << stored.value.name;
    return names;
}

QStringList TRegistryFile::KeyPaths() const
{
    QStringList paths;
    for (const auto& [folded, key] : m_keys)
        if (!folded.isEmpty())
            paths << key.path;
    return paths;
}

QByteArray TRegistryFile::Compose(qsizetype at, const QByteArray& insert, const std::vector<qsizetype>& drop,
                                  qsizetype replace, const QByteArray& replacement) const
{
    QByteArray out;
    out.reserve(m_bytes.size() + insert.size() + replacement.size() + 32);
    const qsizetype n = qsizetype(m_lines.size());
    if (!m_header)
        out += QByteArray(kHeader) + '\n';
    auto dropped = drop.begin();
    for (qsizetype i = 0; i < n; ++i) {
        if (i == at)
            out += insert;
        if (dropped != drop.end() && *dropped == i) {
            ++dropped;
            continue;
        }
        if (i == replace)
            out += replacement;
        else
            out += QByteArrayView(m_bytes).sliced(m_lines[i].begin, m_lines[i].end - m_lines[i].begin);
    }
    if (m_header && m_tail < m_bytes.size())
        out += '#' + m_bytes.sliced(m_tail) + '\n';
    if (at >= n)
        out += insert;
    return out;
}

QByteArray TRegistryFile::WithKey(const QString& path) const
{
    return Compose(qsizetype(m_lines.size()), KeyLine(NormalisePath(path)), {}, -1, {});
}

QByteArray TRegistryFile::WithValue(const QString& path, const TRegistryValue& value) const
{
    const QByteArray line = ValueLine(value);
    const TKey* key = FindKey(path);
    if (key) {
        if (const auto it = key->values.find(Fold(value.name)); it != key->values.end())
            return Compose(-1, {}, {}, it->second.lines.back(), line);
        if (key->insertAt >= 0)
            return Compose(key->insertAt, line, {}, -1, {});
    }
    const std::optional<QString> spelling = KeyPath(path);
    return Compose(qsizetype(m_lines.size()), KeyLine(spelling ? *spelling : NormalisePath(path)) + line, {}, -1, {});
}

std::optional<QByteArray> TRegistryFile::WithoutValue(const QString& path, const QString& name) const
{
    const TKey* key = FindKey(path);
    if (!key)
        return std::nullopt;
    const auto it = key->values.find(Fold(name));
    if (it == key->values.end())
        return std::nullopt;
    return Compose(-1, {}, it->second.lines, -1, {});
}

// ---- TRegistry ----

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
    if (const std::optional<QString> found = Load(file).file.KeyPath(path)) {
        m_open = true;
        m_path = *found;
        return true;
    }
    if (!canCreate)
        return false;
    std::optional<QString> spelling;
    const bool saved = ChangeStore(file, [&](const TRegistryFile& fresh) -> std::optional<QByteArray> {
        spelling = fresh.KeyPath(path); // another copy may have made it meanwhile
        if (spelling)
            return std::nullopt;
        return fresh.WithKey(path);
    });
    if (!saved && !spelling)
        return false;
    m_open = true;
    m_path = spelling ? *spelling : path;
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
    return Load(file).file.KeyPath(path).has_value();
}

QString TRegistry::ReadString(const QString& name) const
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const TLoaded loaded = Load(file);
    const TRegistryValue* value = loaded.file.Value(m_path, name);
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
    const TLoaded loaded = Load(file);
    const TRegistryValue* value = loaded.file.Value(m_path, name);
    if (!value || value->isString)
        InvalidType(name);
    return value->number;
}

bool TRegistry::ValueExists(const QString& name) const
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    return Load(file).file.Value(m_path, name) != nullptr;
}

QStringList TRegistry::GetValueNames() const
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    return Load(file).file.ValueNames(m_path);
}

void TRegistry::WriteString(const QString& name, const QString& value)
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const bool saved = ChangeStore(file, [&](const TRegistryFile& store) -> std::optional<QByteArray> {
        return store.WithValue(m_path, TRegistryValue{name, true, value, 0});
    });
    if (!saved)
        FailedToSet(name);
}

void TRegistry::WriteInteger(const QString& name, std::int32_t value)
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    const bool saved = ChangeStore(file, [&](const TRegistryFile& store) -> std::optional<QByteArray> {
        return store.WithValue(m_path, TRegistryValue{name, false, QString(), value});
    });
    if (!saved)
        FailedToSet(name);
}

bool TRegistry::DeleteValue(const QString& name)
{
    const QString file = StorePath();
    std::lock_guard lock(StoreMutex());
    return ChangeStore(file, [&](const TRegistryFile& store) { return store.WithoutValue(m_path, name); });
}
