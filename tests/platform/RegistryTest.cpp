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

} // namespace
