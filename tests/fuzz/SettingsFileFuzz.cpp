// The settings store's file on any bytes, and one write to it.
//   - every key and value read from the file reads the same after a write
//     of another value, and the written value reads back;
//   - the write keeps every whole line of the file, in order, and its cut
//     tail behind a '#';
//   - removing a value removes it and nothing else;
//   - a file that is not a settings file is never given a write.
// The bytes of the input after a 0x00 byte, when there is one, name the
// value written (up to the first 0x01) and give its text.

#include "platform/settings/Registry.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QByteArrayList>

#include <cstdint>
#include <map>
#include <utility>

namespace {

using TValues = std::map<std::pair<QString, QString>, TRegistryValue>;   // by folded path, name

TValues AllValues(const TRegistryFile& file)
{
    TValues all;
    QStringList paths = file.KeyPaths();
    paths.prepend(QString());
    for (const QString& path : paths) {
        FUZZ_CHECK(file.KeyPath(path) == path);
        for (const QString& name : file.ValueNames(path)) {
            const TRegistryValue* value = file.Value(path, name);
            FUZZ_CHECK(value != nullptr);
            all[{path.toCaseFolded(), name.toCaseFolded()}] = *value;
        }
    }
    return all;
}

bool Same(const TRegistryValue& a, const TRegistryValue& b)
{
    return a.isString == b.isString && (a.isString ? a.text == b.text : a.number == b.number);
}

// The whole lines of `bytes`, each with its line break.
QByteArrayList WholeLines(const QByteArray& bytes)
{
    QByteArrayList lines;
    for (qsizetype begin = 0;;) {
        const qsizetype lf = bytes.indexOf('\n', begin);
        if (lf < 0)
            return lines;
        lines << bytes.mid(begin, lf + 1 - begin);
        begin = lf + 1;
    }
}

// True when every line of `before` but the first `skip`-th (-1: none)
// occurs in `after` in the same order.
bool KeepsLines(const QByteArrayList& before, const QByteArrayList& after, qsizetype skip)
{
    qsizetype j = 0;
    for (qsizetype i = 0; i < before.size(); ++i) {
        if (i == skip)
            continue;
        while (j < after.size() && after[j] != before[i])
            ++j;
        if (j == after.size())
            return false;
        ++j;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype split = input.indexOf('\0');
    const QByteArray bytes = split < 0 ? input : input.left(split);
    const QByteArray edit = split < 0 ? QByteArray("Name\x01text") : input.mid(split + 1);
    const qsizetype nameEnd = edit.indexOf('\x01');
    TRegistryValue value;
    value.name = QString::fromUtf8(nameEnd < 0 ? edit : edit.left(nameEnd));
    value.text = nameEnd < 0 ? QString() : QString::fromUtf8(edit.mid(nameEnd + 1));

    const TRegistryFile file(bytes);
    const TValues before = AllValues(file);
    if (!file.IsStore())
        return 0;

    // The key written to: the first stored one, else a new one.
    const QStringList paths = file.KeyPaths();
    const QString path = paths.isEmpty() ? QStringLiteral("New\\Key") : paths.front();
    const std::pair<QString, QString> slot{path.toCaseFolded(), value.name.toCaseFolded()};

    const QByteArray written = file.WithValue(path, value);
    const TRegistryFile after(written);
    FUZZ_CHECK(after.IsStore());
    const TValues now = AllValues(after);
    for (const auto& [where, old] : before)
        if (where != slot)
            FUZZ_CHECK(now.count(where) && Same(now.at(where), old));
    FUZZ_CHECK(after.Value(path, value.name) && Same(*after.Value(path, value.name), value));
    FUZZ_CHECK(now.size() == before.size() + (before.count(slot) ? 0 : 1));

    const QByteArrayList lines = WholeLines(bytes);
    const QByteArrayList newLines = WholeLines(written);
    if (!KeepsLines(lines, newLines, -1)) {
        // Only a line that set the value may be gone: the one replaced.
        FUZZ_CHECK(before.count(slot));
        bool found = false;
        for (qsizetype i = lines.size() - 1; i > 0 && !found; --i)
            found = KeepsLines(lines, newLines, i);
        FUZZ_CHECK(found);
    }
    const qsizetype tail = bytes.lastIndexOf('\n') + 1;
    if (tail > 0 && tail < bytes.size())
        FUZZ_CHECK(written.contains("\n#" + bytes.mid(tail) + "\n"));
    FUZZ_CHECK(written.size() <= bytes.size() + 64 + 8 * (path.size() + value.name.size() + value.text.size()));

    const std::optional<QByteArray> removed = after.WithoutValue(path, value.name);
    FUZZ_CHECK(removed.has_value());
    const TRegistryFile gone(*removed);
    TValues rest = AllValues(gone);
    FUZZ_CHECK(!gone.Value(path, value.name));
    TValues expected = now;
    expected.erase(slot);
    FUZZ_CHECK(rest.size() == expected.size());
    for (const auto& [where, old] : expected)
        FUZZ_CHECK(rest.count(where) && Same(rest.at(where), old));
    return 0;
}
