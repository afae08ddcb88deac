// The first-run scripts: scripts/demo-db.sh builds the demo database, read
// here through the program's own ODBC query, and scripts/demo-connection.sh
// stores the string to it in the settings store, read back through TRegistry.

#include "platform/odbc/OdbcDatabase.h"
#include "platform/settings/Registry.h"
#include "platform/text/RtfReader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <memory>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the demo holds.
constexpr int kBigRows = 200000;
constexpr int kLongTextChars = 300000;
constexpr int kLongTextId = 2;
constexpr int kRtfMemoId = 1;

const QString kConnectionKey = QStringLiteral("\\SOFTWARE\\Norlet System\\");

struct TScriptRun {
    int exitCode = -1;
    QString output;   // stdout
    QString errors;   // stderr
};

QString Script(const char* name)
{
    return QStringLiteral(BQA_SOURCE_DIR "/scripts/") + QLatin1String(name);
}

// Runs `script` with /bin/sh; `env` entries are added to the environment.
TScriptRun RunShell(const QString& script, const QStringList& args, const QStringList& env = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : env)
        environment.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("/bin/sh"), QStringList{script} + args);
    // The demo build takes seconds; a generous bound only stops a hung script.
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    TScriptRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.output = QString::fromUtf8(process.readAllStandardOutput());
    run.errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TScriptRun RunScript(const char* name, const QStringList& args, const QString& registryFile = QString())
{
    return RunShell(Script(name), args,
                    registryFile.isEmpty() ? QStringList{} : QStringList{QStringLiteral("BQA_REGISTRY_FILE=") + registryFile});
}

QString DemoConnectionString(const QString& db)
{
    return QStringLiteral("Driver=SQLite3;Database=%1").arg(QFileInfo(db).canonicalFilePath());
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

mode_t Mode(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 0777;
}

// One demo database for the whole suite: building it takes a second or two.
class DemoDb : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<QTemporaryDir>();
        s_db = s_dir->filePath(QStringLiteral("data/brenvo-qa/demo.db"));
        s_build = RunScript("demo-db.sh", {s_db});
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        ASSERT_EQ(s_build.exitCode, 0) << s_build.errors.toStdString();
        m_conn = std::make_unique<TOdbcConnection>(QStringLiteral("ADOConnection"));
        m_conn->SetConnectionString(DemoConnectionString(s_db));
        m_conn->SetLoginTimeout(10);
        m_conn->Open();
    }

    std::unique_ptr<TOdbcQuery> Open(const QString& sql)
    {
        auto q = std::make_unique<TOdbcQuery>(QStringLiteral("ADOQuerySql"), m_conn.get());
        q->SetSQL(sql);
        q->Open();
        return q;
    }

    QVariant Scalar(const QString& sql)
    {
        auto q = Open(sql);
        EXPECT_EQ(q->RecordCount(), 1) << sql.toStdString();
        q->First();
        return q->Fields(0)->AsVariant();
    }

    static inline std::unique_ptr<QTemporaryDir> s_dir;
    static inline QString s_db;
    static inline TScriptRun s_build;
    std::unique_ptr<TOdbcConnection> m_conn;
};

TEST_F(DemoDb, HoldsEveryTableWithItsRows)
{
    struct Expect { QString table; int rows; };
    const Expect expected[] = {{QStringLiteral("about"), 6},   {QStringLiteral("types"), 5},
                               {QStringLiteral("сотрудники"), 6}, {QStringLiteral("商品"), 5},
                               {QStringLiteral("documents"), 4}, {QStringLiteral("big"), kBigRows}};
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.table.toStdString());
        EXPECT_EQ(Scalar(QStringLiteral("select count(*) from ") + e.table).toLongLong(), e.rows);
    }
    // Every table the list names exists, and the list names every table.
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from sqlite_master where type = 'table'"
                                    " and name not in (select table_name from about)")).toLongLong(), 0);
    auto big = Open(QStringLiteral("select * from big"));
    EXPECT_EQ(big->RecordCount(), kBigRows);
    big->Last();
    EXPECT_EQ(big->FieldByName(QStringLiteral("id"))->AsVariant().toLongLong(), kBigRows);
}

TEST_F(DemoDb, CyrillicAndCjkNamesAndValuesRoundTrip)
{
    auto staff = Open(QStringLiteral("select фамилия, дата_приёма from сотрудники where номер = 6"));
    ASSERT_EQ(staff->RecordCount(), 1);
    staff->First();
    EXPECT_EQ(staff->Fields(0)->FieldName(), QStringLiteral("фамилия"));
    EXPECT_EQ(staff->Fields(1)->FieldName(), QStringLiteral("дата_приёма"));
    EXPECT_EQ(staff->Fields(0)->AsVariant().toString(), QStringLiteral("Ёлкин"));
    EXPECT_EQ(staff->Fields(1)->DataType(), ftDate);

    auto goods = Open(QStringLiteral("select 名称, 备注 from 商品 where 编号 = 2"));
    ASSERT_EQ(goods->RecordCount(), 1);
    goods->First();
    EXPECT_EQ(goods->Fields(0)->FieldName(), QStringLiteral("名称"));
    EXPECT_EQ(goods->Fields(0)->AsVariant().toString(), QStringLiteral("ラーメン"));
    EXPECT_EQ(goods->Fields(1)->AsVariant().toString(), QStringLiteral("日本語の名前"));
    EXPECT_EQ(Scalar(QStringLiteral("select 名称 from 商品 where 编号 = 3")).toString(), QStringLiteral("김치"));
}

TEST_F(DemoDb, TypesTableShowsEachTypeAndANullRow)
{
    auto q = Open(QStringLiteral("select * from types order by id"));
    struct Expect { const char* name; TFieldType type; };
    // "amount" is numeric(12,2): the SQLite3 driver has no exact decimals.
    const Expect expected[] = {{"id", ftInteger},     {"small_value", ftSmallint}, {"big_value", ftLargeint},
                               {"amount", ftFloat},   {"ratio", ftFloat},          {"day", ftDate},
                               {"clock", ftTime},     {"moment", ftDateTime},      {"flag", ftBoolean},
                               {"code", ftString},    {"note", ftMemo},            {"bytes", ftBytes}};
    ASSERT_EQ(q->FieldCount(), int(std::size(expected)));
    for (int i = 0; i < q->FieldCount(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(q->Fields(i)->FieldName(), QLatin1String(expected[i].name));
        EXPECT_EQ(q->Fields(i)->DataType(), expected[i].type);
    }
    q->First();
    EXPECT_EQ(q->FieldByName(QStringLiteral("moment"))->AsVariant().toDateTime(),
              QDateTime(QDate(2026, 12, 9), QTime(9, 30)));
    EXPECT_EQ(q->FieldByName(QStringLiteral("bytes"))->AsVariant().toByteArray(), QByteArray("Hello"));
    q->Next();
    EXPECT_EQ(q->FieldByName(QStringLiteral("big_value"))->AsVariant().toLongLong(), std::numeric_limits<qint64>::min());
    q->Last();
    for (int i = 1; i < q->FieldCount(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_TRUE(q->Fields(i)->IsNull());
    }
}

TEST_F(DemoDb, LongTextAndRtfMemoArriveWhole)
{
    const QString longText = Scalar(QStringLiteral("select body from documents where id = %1").arg(kLongTextId)).toString();
    EXPECT_EQ(longText.size(), kLongTextChars);
    EXPECT_TRUE(longText.startsWith(QStringLiteral("000001 Длинный текст")));

    const QString memo = Scalar(QStringLiteral("select body from documents where id = %1").arg(kRtfMemoId)).toString();
    const std::optional<TRtfDocument> doc = ParseRtf(memo.toStdString());
    ASSERT_TRUE(doc.has_value()) << memo.toStdString();
    const QString text = doc->PlainText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("Демонстрационная заметка\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("中文 и кириллица"))) << text.toStdString();
    EXPECT_TRUE(doc->paragraphs.front().runs.front().format.bold);

    EXPECT_TRUE(Open(QStringLiteral("select body from documents where kind = 'null'"))->Fields(0)->IsNull());
}

TEST_F(DemoDb, AnExistingDatabaseIsLeftAsItIs)
{
    const QByteArray before = ReadAll(s_db);
    const TScriptRun again = RunScript("demo-db.sh", {s_db});
    EXPECT_EQ(again.exitCode, 0) << again.errors.toStdString();
    EXPECT_TRUE(ReadAll(s_db) == before);
}

TEST(DemoDbTarget, AnUnwritableDirectoryFailsWithAClearMessage)
{
    QTemporaryDir dir;
    // A plain file where a directory is wanted stops everyone, root included.
    WriteAll(dir.filePath(QStringLiteral("data")), "not a directory");
    const QString db = dir.filePath(QStringLiteral("data/brenvo-qa/demo.db"));
    const TScriptRun run = RunScript("demo-db.sh", {db});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("the demo database %1 was not created").arg(db)))
        << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("cannot create the directory"))) << run.errors.toStdString();

    if (::geteuid() != 0) {
        const QString locked = dir.filePath(QStringLiteral("locked"));
        ASSERT_TRUE(QDir().mkdir(locked));
        ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0500), 0);
        const TScriptRun denied = RunScript("demo-db.sh", {locked + QStringLiteral("/demo.db")});
        EXPECT_NE(denied.exitCode, 0);
        EXPECT_TRUE(denied.errors.contains(QStringLiteral("is not writable"))) << denied.errors.toStdString();
        EXPECT_TRUE(QDir(locked).isEmpty());
        ::chmod(QFile::encodeName(locked).constData(), 0700);
    }
}

// run.sh in a copy of the scripts folder whose install, build and program
// are stand-ins: the program prints its arguments.
// run.sh in a copy of the scripts over a configured tree: deps.sh and cmake
// are stand-ins (cmake records its arguments), the program echoes its own.
class DemoDbRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString scripts = m_tree.filePath(QStringLiteral("scripts"));
        ASSERT_TRUE(QDir().mkpath(scripts));
        for (const char* name : {"run.sh", "demo-db.sh", "demo-connection.sh", "demo.sql"})
            ASSERT_TRUE(QFile::copy(Script(name), scripts + QLatin1Char('/') + QLatin1String(name))) << name;
        WriteAll(scripts + QStringLiteral("/deps.sh"), "exit 0\n");
        WriteAll(m_tree.filePath(QStringLiteral("build/CMakeCache.txt")), "");
        m_cmakeLog = m_tree.filePath(QStringLiteral("cmake.log"));
        const QString cmake = m_tree.filePath(QStringLiteral("bin/cmake"));
        WriteAll(cmake, "#!/bin/sh\necho \"$@\" >>'" + m_cmakeLog.toUtf8() + "'\n");
        const QString program = m_tree.filePath(QStringLiteral("build/app/brenvo-qa"));
        WriteAll(program, "#!/bin/sh\necho started \"$@\"\n");
        for (const QString& f : {scripts + QStringLiteral("/deps.sh"), scripts + QStringLiteral("/demo-db.sh"),
                                 scripts + QStringLiteral("/demo-connection.sh"), cmake, program})
            ASSERT_TRUE(QFile::setPermissions(f, QFile::permissions(f) | QFileDevice::ExeOwner));
        m_store = m_tree.filePath(QStringLiteral("cfg/registry"));
        TRegistry::SetStorePath(m_store);
    }
    void TearDown() override { TRegistry::SetStorePath(QString()); }

    TScriptRun Run(const QString& dataHome)
    {
        return RunShell(m_tree.filePath(QStringLiteral("scripts/run.sh")), {QStringLiteral("--arg")},
                        {QStringLiteral("XDG_DATA_HOME=") + dataHome, QStringLiteral("BQA_REGISTRY_FILE=") + m_store,
                         QStringLiteral("PATH=") + m_tree.filePath(QStringLiteral("bin")) + QLatin1Char(':')
                             + qEnvironmentVariable("PATH")});
    }

    QTemporaryDir m_tree;
    QString m_store;
    QString m_cmakeLog;
};

TEST_F(DemoDbRun, TheFirstRunPointsTheProgramAtTheDemo)
{
    const QString dataHome = m_tree.filePath(QStringLiteral("data"));
    const TScriptRun run = Run(dataHome);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.output, QStringLiteral("started --arg\n"));
    // A configured tree is not configured again, and only the program is built.
    EXPECT_TRUE(QString::fromUtf8(ReadAll(m_cmakeLog)).startsWith(QStringLiteral("--build build --target brenvo-qa ")))
        << ReadAll(m_cmakeLog).toStdString();
    const QString db = dataHome + QStringLiteral("/brenvo-qa/demo.db");
    ASSERT_TRUE(QFileInfo(db).isFile());
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kConnectionKey, false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), DemoConnectionString(db));
}

TEST_F(DemoDbRun, TheProgramStartsWhenTheDemoCannotBeMade)
{
    const QString dataHome = m_tree.filePath(QStringLiteral("data"));
    WriteAll(dataHome, "not a directory");
    const TScriptRun run = Run(dataHome);
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.output, QStringLiteral("started --arg\n"));
    EXPECT_TRUE(run.errors.contains(QStringLiteral("was not created"))) << run.errors.toStdString();
    EXPECT_TRUE(run.errors.contains(QStringLiteral("starting without the demo database"))) << run.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_store));
}

// The store step, against a settings store in a temporary directory; a small
// file stands in for the demo database.
class DemoDbConnection : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = m_dir.filePath(QStringLiteral("data/demo.db"));
        WriteAll(m_db, "SQLite format 3");
        m_store = m_dir.filePath(QStringLiteral("cfg/brenvo-qa/registry"));
        TRegistry::SetStorePath(m_store);
    }
    void TearDown() override { TRegistry::SetStorePath(QString()); }

    TScriptRun Store() { return RunScript("demo-connection.sh", {m_db}, m_store); }

    static QString StoredString()
    {
        TRegistry reg;
        EXPECT_TRUE(reg.OpenKey(kConnectionKey, false));
        return reg.ReadString(QStringLiteral("A"));
    }

    QTemporaryDir m_dir;
    QString m_db;
    QString m_store;
};

TEST_F(DemoDbConnection, AMissingStoreIsCreatedWithTheDemoString)
{
    const TScriptRun run = Store();
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(StoredString(), DemoConnectionString(m_db));
    EXPECT_EQ(Mode(m_store), 0600u);
    EXPECT_EQ(Mode(QFileInfo(m_store).absolutePath()), 0700u);
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(m_store).absolutePath() + QStringLiteral("/.registry.lock")));

    // What the script stored is a string the program can connect with.
    QTemporaryDir dataDir;
    const QString realDb = dataDir.filePath(QStringLiteral("demo.db"));
    ASSERT_EQ(RunScript("demo-db.sh", {realDb}).exitCode, 0);
    QFile::remove(m_store);
    m_db = realDb;
    ASSERT_EQ(Store().exitCode, 0);
    TOdbcConnection conn(QStringLiteral("ADOConnection"));
    conn.SetConnectionString(StoredString());
    conn.Open();
    TOdbcQuery q(QStringLiteral("ADOQuerySql"), &conn);
    q.SetSQL(QStringLiteral("select count(*) from big"));
    q.Open();
    q.First();
    EXPECT_EQ(q.Fields(0)->AsVariant().toLongLong(), kBigRows);
}

TEST_F(DemoDbConnection, AStoredStringIsNeverReplaced)
{
    // However the value "A" is spelled in the file, the program reads it, so
    // it is the user's.
    const QByteArray stores[] = {
        "BQA-REGISTRY 1\nK SOFTWARE\\\\Norlet System\nS A=Driver\\={FreeTDS};Server\\=db1\n",
        "BQA-REGISTRY 1\r\nK software\\\\NORLET SYSTEM\\\\\r\nS a=DSN\\=mine\r\n",
        "K \\\\SOFTWARE\\\\\\\\Norlet System\nS \\x41=DSN\\=escaped\n",
        "BQA-REGISTRY 1\nK SOFTWARE\\\\Norlet System\nS A=\n",
        "BQA-REGISTRY 1\nK SOFTWARE\\\\Norlet System\nI A=5\n",
    };
    for (const QByteArray& bytes : stores) {
        SCOPED_TRACE(bytes.toStdString());
        WriteAll(m_store, bytes);
        const TScriptRun run = Store();
        EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
        EXPECT_EQ(ReadAll(m_store), bytes);
    }
}

TEST_F(DemoDbConnection, AStoreWithoutTheStringGainsItAndKeepsTheRest)
{
    // Stored geometry, an "A" under another key, and a last line cut short.
    WriteAll(m_store, "BQA-REGISTRY 1\nK \nK SOFTWARE\nK SOFTWARE\\\\Norlet System\n"
                      "K SOFTWARE\\\\Norlet System\\\\frmQA\nI WidthForm=800\nS A=not this one\n"
                      "K SOFTWARE\\\\Other\nS A=nor this");
    const TScriptRun run = Store();
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(StoredString(), DemoConnectionString(m_db));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\SOFTWARE\\Norlet System\\frmQA"), false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("WidthForm")), 800);
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QStringLiteral("not this one"));
    // The cut line is kept, commented out: no reader takes it for a value.
    ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\SOFTWARE\\Other"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("A")), QString());
    EXPECT_TRUE(ReadAll(m_store).contains("\n#S A=nor this\n"));
    EXPECT_EQ(Mode(m_store), 0600u);

    // A cut line that would be "A" does not count as a stored string.
    WriteAll(m_store, "BQA-REGISTRY 1\nK SOFTWARE\\\\Norlet System\nS A=DSN\\=cut");
    ASSERT_EQ(Store().exitCode, 0);
    EXPECT_EQ(StoredString(), DemoConnectionString(m_db));
}

TEST_F(DemoDbConnection, TheProgramsLockIsHonoured)
{
    const QByteArray bytes = "BQA-REGISTRY 1\nK SOFTWARE\\\\Norlet System\\\\frmQA\nI WidthForm=800\n";
    WriteAll(m_store, bytes);
    const QString lockPath = QFileInfo(m_store).absolutePath() + QStringLiteral("/.registry.lock");
    {
        // Held by a live process (this one), as a running copy of the
        // program holds it: the store is left alone.
        QLockFile lock(lockPath);
        ASSERT_TRUE(lock.tryLock(0));
        const TScriptRun run = Store();
        EXPECT_NE(run.exitCode, 0);
        EXPECT_TRUE(run.errors.contains(QStringLiteral("stays busy"))) << run.errors.toStdString();
        EXPECT_TRUE(run.errors.contains(QStringLiteral("\"Строка подключения\""))) << run.errors.toStdString();
        EXPECT_EQ(ReadAll(m_store), bytes);
        EXPECT_TRUE(QFileInfo::exists(lockPath));
    }
    // A lock left by a process that is gone is taken over.
    QProcess gone;
    gone.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    ASSERT_TRUE(gone.waitForFinished());
    const QByteArray gonePid = gone.readAllStandardOutput().trimmed();
    WriteAll(lockPath, gonePid + "\nsh\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    const TScriptRun run = Store();
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(StoredString(), DemoConnectionString(m_db));
    EXPECT_FALSE(QFileInfo::exists(lockPath));
}

TEST_F(DemoDbConnection, APathTheDriverCannotTakeIsRefused)
{
    m_db = m_dir.filePath(QStringLiteral("semi;colon/demo.db"));
    WriteAll(m_db, "SQLite format 3");
    const TScriptRun run = Store();
    EXPECT_NE(run.exitCode, 0);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("holds a ';'"))) << run.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(m_store));
}

} // namespace
