#include "platform/core/Failure.h"
#include "platform/settings/Registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("cfg/brenvo-qa/registry"));
        TRegistry::SetStorePath(m_file);
    }
    void TearDown() override { TRegistry::SetStorePath(QString()); }

    static mode_t Mode(const QString& path)
    {
        struct stat st {};
        EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
        return st.st_mode & 0777;
    }

    static QString MessageOf(const std::function<void()>& f)
    {
        try {
            f();
        } catch (const Exception& e) {
            return e.Message();
        }
        return QStringLiteral("<no failure>");
    }

    void WriteFile(const QByteArray& bytes) const
    {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(m_file).absolutePath()));
        QFile f(m_file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray FileBytes() const
    {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
    }

    QTemporaryDir m_dir;
    QString m_file;
};

const QString kRoot = QStringLiteral("\\SOFTWARE\\Norlet System\\");
const QString kForm = QStringLiteral("\\SOFTWARE\\Norlet System\\frmQA");

TEST_F(RegistryTest, StringsRoundTripWhateverTheyHold)
{
    const QStringList values = {
        QStringLiteral("Provider=SQLOLEDB.1;Password=p=w;User ID=sa;Data Source=srv"),
        QStringLiteral("--тут писать запросы"),
        QStringLiteral("line1\nline2\r\nline3\r"),
        QStringLiteral("back\\slash \\x41 \\= \\u0041 = =="),
        QStringLiteral("tab\there, nul") + QChar(0) + QStringLiteral("after, \x7f"),
        QStringLiteral("K not a key line\nS x=y"),
        QString(QChar(0xD800)) + QStringLiteral("lone surrogates") + QChar(0xDC00) + QStringLiteral("😀"),
        QString(),
        QStringLiteral("  leading and trailing blanks  "),
    };
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        for (int i = 0; i < values.size(); ++i)
            reg.WriteString(QStringLiteral("v%1=\n\\").arg(i), values[i]);
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    for (int i = 0; i < values.size(); ++i) {
        const QString name = QStringLiteral("v%1=\n\\").arg(i);
        EXPECT_TRUE(reg.ValueExists(name));
        EXPECT_EQ(reg.ReadString(name), values[i]) << i;
    }
    EXPECT_EQ(reg.GetValueNames().size(), values.size());
}

TEST_F(RegistryTest, MissingValueReadsEmptyAndKeysNeedCreating)
{
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kForm, false));
    EXPECT_FALSE(QFile::exists(m_file)) << "a failed open must not create the store";
    ASSERT_TRUE(reg.OpenKey(kForm, true));
    EXPECT_TRUE(QFile::exists(m_file)) << "creating a key stores it at once";
    EXPECT_EQ(reg.ReadString(QStringLiteral("WidthForm")), QString());
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("WidthForm")));
    reg.CloseKey();

    TRegistry other;
    EXPECT_TRUE(other.OpenKey(kForm, false)) << "the empty key persists";
    EXPECT_TRUE(other.OpenKey(kRoot, false)) << "parents are created with the key";
    EXPECT_TRUE(other.KeyExists(QStringLiteral("frmQA")));
    EXPECT_FALSE(other.KeyExists(QStringLiteral("frmPwd")));
}

TEST_F(RegistryTest, PathsAreCaseInsensitiveAndRelativeToTheOpenKey)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kForm, true));
    reg.WriteString(QStringLiteral("WidthForm"), QStringLiteral("693"));

    TRegistry other;
    ASSERT_TRUE(other.OpenKey(QStringLiteral("\\software\\NORLET SYSTEM\\\\FRMQA\\"), false));
    EXPECT_EQ(other.CurrentPath(), QStringLiteral("SOFTWARE\\Norlet System\\frmQA")) << "the created spelling is kept";
    EXPECT_EQ(other.ReadString(QStringLiteral("widthform")), QStringLiteral("693"));

    ASSERT_TRUE(other.OpenKey(kRoot, false));
    ASSERT_TRUE(other.OpenKey(QStringLiteral("frmqa"), false)) << "no leading backslash: relative";
    EXPECT_EQ(other.ReadString(QStringLiteral("WidthForm")), QStringLiteral("693"));
    EXPECT_FALSE(other.OpenKey(QStringLiteral("SOFTWARE"), false)) << "relative to frmQA, so missing";

    other.CloseKey();
    EXPECT_TRUE(other.OpenKey(QStringLiteral("SOFTWARE\\Norlet System"), false)) << "closed: relative to the root";
}

TEST_F(RegistryTest, TwoInstancesSeeEachOthersWritesAtOnce)
{
    TRegistry a;
    TRegistry b;
    ASSERT_TRUE(a.OpenKey(kRoot, true));
    ASSERT_TRUE(b.OpenKey(kRoot, true));
    a.WriteString(QStringLiteral("A"), QStringLiteral("first"));
    EXPECT_EQ(b.ReadString(QStringLiteral("A")), QStringLiteral("first"));
    b.WriteString(QStringLiteral("A"), QStringLiteral("second"));
    b.WriteString(QStringLiteral("B"), QStringLiteral("other"));
    EXPECT_EQ(a.ReadString(QStringLiteral("A")), QStringLiteral("second"));
    a.WriteString(QStringLiteral("C"), QStringLiteral("third"));
    EXPECT_EQ(b.ReadString(QStringLiteral("B")), QStringLiteral("other")) << "a's write kept b's value";
    EXPECT_TRUE(a.DeleteValue(QStringLiteral("b")));
    EXPECT_FALSE(b.ValueExists(QStringLiteral("B")));
    EXPECT_FALSE(a.DeleteValue(QStringLiteral("B")));
}

TEST_F(RegistryTest, TwoRunningCopiesNeverLoseEachOthersWrites)
{
    // Each process writes its own values while the other writes too; every
    // read-modify-write must see the other's last write.
    constexpr int kWrites = 40;
    auto writeAll = [](const QString& prefix) {
        TRegistry reg;
        if (!reg.OpenKey(kRoot, true))
            return false;
        for (int i = 0; i < kWrites; ++i)
            reg.WriteString(prefix + QString::number(i), QStringLiteral("v%1").arg(i));
        return true;
    };
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool ok = false;
        try {
            ok = writeAll(QStringLiteral("child"));
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    const bool parentOk = writeAll(QStringLiteral("parent"));
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(parentOk);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.GetValueNames().size(), 2 * kWrites);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(reg.ReadString(QStringLiteral("child%1").arg(i)), QStringLiteral("v%1").arg(i));
        EXPECT_EQ(reg.ReadString(QStringLiteral("parent%1").arg(i)), QStringLiteral("v%1").arg(i));
    }
}

TEST_F(RegistryTest, ValueOfAnotherTypeFailsWithItsName)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, true));
    reg.WriteInteger(QStringLiteral("A"), 42);
    reg.WriteString(QStringLiteral("S"), QStringLiteral("7"));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("A")), 42);
    EXPECT_EQ(MessageOf([&] { (void)reg.ReadString(QStringLiteral("A")); }), QStringLiteral("Invalid data type for 'A'"));
    EXPECT_EQ(MessageOf([&] { (void)reg.ReadInteger(QStringLiteral("S")); }), QStringLiteral("Invalid data type for 'S'"));
    EXPECT_EQ(MessageOf([&] { (void)reg.ReadInteger(QStringLiteral("none")); }), QStringLiteral("Invalid data type for 'none'"));
    reg.WriteString(QStringLiteral("A"), QStringLiteral("now a string"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QStringLiteral("now a string"));
}

TEST_F(RegistryTest, UnwritableStoreFailsTheWriteAndKeepsTheOldFile)
{
    // A regular file where the directory should be defeats even root.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    {
        QFile f(blocker);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    TRegistry::SetStorePath(blocker + QStringLiteral("/registry"));
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey(kRoot, true));
    EXPECT_EQ(MessageOf([&] { reg.WriteString(QStringLiteral("A"), QStringLiteral("x")); }), QStringLiteral("Failed to set data for 'A'"));
    EXPECT_EQ(MessageOf([&] { reg.WriteInteger(QStringLiteral("WidthForm"), 1); }), QStringLiteral("Failed to set data for 'WidthForm'"));
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QString());

    if (::geteuid() != 0) {
        TRegistry::SetStorePath(m_file);
        TRegistry ok;
        ASSERT_TRUE(ok.OpenKey(kRoot, true));
        ok.WriteString(QStringLiteral("A"), QStringLiteral("kept"));
        ASSERT_EQ(::chmod(QFile::encodeName(QFileInfo(m_file).absolutePath()).constData(), 0500), 0);
        EXPECT_EQ(MessageOf([&] { ok.WriteString(QStringLiteral("A"), QStringLiteral("lost")); }), QStringLiteral("Failed to set data for 'A'"));
        EXPECT_EQ(ok.ReadString(QStringLiteral("A")), QStringLiteral("kept"));
        ::chmod(QFile::encodeName(QFileInfo(m_file).absolutePath()).constData(), 0700);
    }
}

TEST_F(RegistryTest, UnreadableStoreIsNeverOverwritten)
{
    // A directory in place of the file cannot be read as one.
    ASSERT_TRUE(QDir().mkpath(m_file));
    TRegistry reg;
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QString());
    EXPECT_EQ(MessageOf([&] { reg.WriteString(QStringLiteral("A"), QStringLiteral("x")); }), QStringLiteral("Failed to set data for 'A'"));
    EXPECT_TRUE(QFileInfo(m_file).isDir());
}

TEST_F(RegistryTest, StoreIsPrivateToTheUser)
{
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteString(QStringLiteral("A"), QStringLiteral("Password=secret"));
    }
    EXPECT_EQ(Mode(m_file), 0600u);
    EXPECT_EQ(Mode(QFileInfo(m_file).absolutePath()), 0700u);
    EXPECT_EQ(Mode(m_dir.filePath(QStringLiteral("cfg"))), 0700u);

    // A file left wider by someone else is narrowed on the next read and
    // stays narrow after the next write.
    ASSERT_EQ(::chmod(QFile::encodeName(m_file).constData(), 0644), 0);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QStringLiteral("Password=secret"));
    EXPECT_EQ(Mode(m_file), 0600u);
    ASSERT_EQ(::chmod(QFile::encodeName(m_file).constData(), 0666), 0);
    reg.WriteString(QStringLiteral("A"), QStringLiteral("Password=other"));
    EXPECT_EQ(Mode(m_file), 0600u);
    const QStringList leftovers = QDir(QFileInfo(m_file).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(leftovers, QStringList{QStringLiteral("registry")}) << "no temporary file is left behind";
}

TEST_F(RegistryTest, EnvironmentVariableMovesTheStore)
{
    TRegistry::SetStorePath(QString());
    const QString envFile = m_dir.filePath(QStringLiteral("env/registry"));
    qputenv("BQA_REGISTRY_FILE", QFile::encodeName(envFile));
    EXPECT_EQ(TRegistry::StorePath(), envFile);
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteString(QStringLiteral("A"), QStringLiteral("x"));
    }
    qunsetenv("BQA_REGISTRY_FILE");
    EXPECT_TRUE(QFile::exists(envFile));
    EXPECT_NE(TRegistry::StorePath(), envFile);
}

TEST_F(RegistryTest, DamagedLinesAreSkippedNotFatal)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(m_file).absolutePath()));
    {
        QFile f(m_file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BQA-REGISTRY 1\r\nK SOFTWARE\\\\Norlet System\r\nS A=good\r\ngarbage\r\nI W=notanumber\r\nS noequals\r\n\xff\xfe\r\nS B=\\x4\r\n");
    }
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QStringLiteral("good"));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("W")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("B")), QStringLiteral("\\x4"));
}

TEST_F(RegistryTest, AWriteChangesOnlyItsOwnLinesAndKeepsEveryOtherByte)
{
    // Lines of kinds this version does not know, damaged lines, a value that
    // is not UTF-8, CR LF endings and a second key.
    const QByteArray head = "BQA-REGISTRY 1\r\nK SOFTWARE\\\\Norlet System\r\n";
    const QByteArray a = "S A=old\r\n";
    const QByteArray rest = "garbage\r\nX future kind\nS B=caf\xe9 \xff\xfe\nI W=notanumber\n";
    const QByteArray other = "K SOFTWARE\\\\Norlet System\\\\frmQA\nS C=c\n";
    WriteFile(head + a + rest + other);

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("B")), QStringLiteral("caf\uFFFD \uFFFD\uFFFD"));
    reg.WriteString(QStringLiteral("A"), QStringLiteral("new"));
    EXPECT_EQ(FileBytes(), head + "S A=new\n" + rest + other);
    reg.WriteInteger(QStringLiteral("D"), -5);
    EXPECT_EQ(FileBytes(), head + "S A=new\n" + rest + "I D=-5\n" + other) << "a new value goes at the end of its key";
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("frmQA"), false));
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("c")));
    EXPECT_EQ(FileBytes(), head + "S A=new\n" + rest + "I D=-5\n" + "K SOFTWARE\\\\Norlet System\\\\frmQA\n");
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\New\\Key"), true));
    reg.WriteString(QStringLiteral("E"), QStringLiteral("e"));
    EXPECT_TRUE(FileBytes().endsWith("K SOFTWARE\\\\Norlet System\\\\frmQA\nK New\\\\Key\nS E=e\n"));

    // A value set on several lines: the last one reads, a write changes it,
    // a delete removes them all.
    WriteFile("BQA-REGISTRY 1\nS V=1\nK x\nK \nS v=2\n");
    reg.CloseKey();
    EXPECT_EQ(reg.ReadString(QStringLiteral("V")), QStringLiteral("2"));
    reg.WriteString(QStringLiteral("V"), QStringLiteral("3"));
    EXPECT_EQ(FileBytes(), "BQA-REGISTRY 1\nS V=1\nK x\nK \nS V=3\n");
    EXPECT_TRUE(reg.DeleteValue(QStringLiteral("V")));
    EXPECT_EQ(FileBytes(), "BQA-REGISTRY 1\nK x\nK \n");
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("V")));
}

TEST_F(RegistryTest, AFileThatIsNotASettingsFileIsNeverWrittenOver)
{
    const QList<QByteArray> foreign = {
        "A=Driver=SQLite3\nK SOFTWARE\n",
        QByteArray("\x00\x01\x02\xff", 4),
        "x",
        "\n",
    };
    for (const QByteArray& bytes : foreign) {
        WriteFile(bytes);
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey(kRoot, true));
        EXPECT_EQ(MessageOf([&] { reg.WriteString(QStringLiteral("A"), QStringLiteral("y")); }), QStringLiteral("Failed to set data for 'A'"));
        EXPECT_EQ(FileBytes(), bytes);
    }
    // Lines of the store's form without its header are read, never written.
    const QByteArray headless = "BQA-REGISTRY 2\nK SOFTWARE\\\\Norlet System\nS A=x\n";
    WriteFile(headless);
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kRoot, true));
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QStringLiteral("x"));
    EXPECT_FALSE(reg.DeleteValue(QStringLiteral("A")));
    EXPECT_EQ(MessageOf([&] { reg.WriteString(QStringLiteral("A"), QStringLiteral("y")); }), QStringLiteral("Failed to set data for 'A'"));
    EXPECT_EQ(FileBytes(), headless);
    // An empty file, or a header cut short, is a store with nothing in it yet.
    for (const QByteArray& bytes : {QByteArray(), QByteArray("BQA-REG"), QByteArray("\xEF\xBB\xBF" "BQA-REGISTRY 1\r")}) {
        WriteFile(bytes);
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kRoot, true));
        reg.WriteString(QStringLiteral("A"), QStringLiteral("y"));
        EXPECT_EQ(FileBytes(), "BQA-REGISTRY 1\nK SOFTWARE\\\\Norlet System\nS A=y\n");
    }
}

TEST_F(RegistryTest, AStoreCutAtAnyByteReadsItsWholeLinesAndTheNextWriteKeepsThem)
{
    struct TLine {
        QByteArray bytes;
        QString key;     // the key a value line belongs to
        QString name;    // empty: not a value line
        QString value;
    };
    const QString form = QStringLiteral("\\SOFTWARE\\Norlet System\\frmQA");
    const std::vector<TLine> lines = {
        {"BQA-REGISTRY 1\n", {}, {}, {}},
        {"K SOFTWARE\\\\Norlet System\n", {}, {}, {}},
        {"S A=Driver\\=SQLite3;Database\\=/home/u/\xd0\xb4\xd0\xb5\xd0\xbc\xd0\xbe.db\n", kRoot, QStringLiteral("A"), QStringLiteral("Driver=SQLite3;Database=/home/u/демо.db")},
        {"K SOFTWARE\\\\Norlet System\\\\frmQA\n", {}, {}, {}},
        {"I WidthForm=693\n", form, QStringLiteral("WidthForm"), QStringLiteral("693")},
        {"S Note=1\\x0a2 \xf0\x9f\x98\x80\n", form, QStringLiteral("Note"), QStringLiteral("1\n2 😀")},
    };
    QByteArray whole;
    std::vector<qsizetype> ends;
    for (const TLine& line : lines) {
        whole += line.bytes;
        ends.push_back(whole.size());
    }
    auto read = [](TRegistry& reg, const TLine& line) {
        if (!reg.OpenKey(line.key, false) || !reg.ValueExists(line.name))
            return std::optional<QString>();
        return std::optional<QString>(line.name == QStringLiteral("WidthForm") ? QString::number(reg.ReadInteger(line.name))
                                                                              : reg.ReadString(line.name));
    };

    for (qsizetype cut = 0; cut <= whole.size(); ++cut) {
        SCOPED_TRACE(cut);
        const QByteArray bytes = whole.left(cut);
        WriteFile(bytes);
        TRegistry reg;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].name.isEmpty())
                continue;
            const std::optional<QString> got = read(reg, lines[i]);
            if (ends[i] <= cut)
                EXPECT_EQ(got, lines[i].value) << lines[i].name.toStdString();
            else
                EXPECT_FALSE(got.has_value()) << lines[i].name.toStdString() << " read from a cut line";
        }
        EXPECT_EQ(reg.KeyExists(form), ends[3] <= cut);

        ASSERT_TRUE(reg.OpenKey(form, true));
        reg.WriteString(QStringLiteral("Z"), QStringLiteral("z"));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].name.isEmpty())
                continue;
            if (ends[i] <= cut)
                EXPECT_EQ(read(reg, lines[i]), lines[i].value) << lines[i].name.toStdString() << " lost by the write";
            else
                EXPECT_FALSE(read(reg, lines[i]).has_value()) << lines[i].name.toStdString() << " revived by the write";
        }
        ASSERT_TRUE(reg.OpenKey(form, false));
        EXPECT_EQ(reg.ReadString(QStringLiteral("Z")), QStringLiteral("z"));
        // The cut tail stays in the file, commented out.
        const qsizetype tail = bytes.lastIndexOf('\n') + 1;
        if (tail > 0 && tail < cut) {
            EXPECT_TRUE(FileBytes().contains("\n#" + bytes.mid(tail) + "\n"));
        }
    }
}

TEST(RegistryFile, KeysExistWithTheirParentsSpelledAsStored)
{
    const TRegistryFile file("BQA-REGISTRY 1\nK SOFTWARE\\\\Norlet System\\\\frmQA\nK software\\\\other\n");
    EXPECT_EQ(file.KeyPath(QStringLiteral("software")), QStringLiteral("SOFTWARE"));
    EXPECT_EQ(file.KeyPath(QStringLiteral("Software\\NORLET SYSTEM")), QStringLiteral("SOFTWARE\\Norlet System"));
    EXPECT_EQ(file.KeyPath(QStringLiteral("SOFTWARE\\Other\\")), QStringLiteral("software\\other"));
    EXPECT_FALSE(file.KeyPath(QStringLiteral("SOFTWARE\\Norlet")).has_value()) << "a prefix of a name is no key";
    EXPECT_EQ(file.KeyPath(QString()), QString());
    EXPECT_EQ(file.KeyPaths(), (QStringList{QStringLiteral("SOFTWARE\\Norlet System\\frmQA"), QStringLiteral("software\\other")}));
}

} // namespace
