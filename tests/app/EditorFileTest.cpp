#include "app/RichEdit.h"
#include "app/Unit1.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempStore.h"

#include <QFile>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class OpenFile : public ::testing::Test {
protected:
    TTempStore store;
    TScopedDialogs dialogs;
    TfrmQA form;
    QTemporaryDir dir;

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    void Open(const QString& path)
    {
        dialogs->QueueOpenFile(path);
        form.tbOpenFile->click();
    }
    [[nodiscard]] QStringList Lines() const
    {
        QStringList lines;
        for (QTextBlock b = form.reQuery->document()->begin(); b.isValid(); b = b.next())
            lines << b.text();
        return lines;
    }
};

TEST_F(OpenFile, CancelChangesNothing)
{
    dialogs->QueueOpenFile(std::nullopt);
    form.tbOpenFile->click();
    ASSERT_EQ(dialogs->Count(TDialogKind::OpenFile), 1u);
    EXPECT_EQ(dialogs->log.back().filter, QStringLiteral("*.* (*)"));
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("--тут писать запросы"));
    EXPECT_EQ(form.reQuery->TextLimit(), TRichEdit::kDefaultTextLimit);
    EXPECT_TRUE((dialogs->Count(TDialogKind::Error) == 0));
}

TEST_F(OpenFile, EachLineBreakStyleGivesOneLinePerLine)
{
    const QStringList expected = {"select 1", "from t", "", "where x = 2"};
    for (const char* eol : {"\n", "\r\n", "\r"}) {
        SCOPED_TRACE(QByteArray(eol).toHex().toStdString());
        Open(Write(QStringLiteral("q.sql"), QByteArray("select 1") + eol + "from t" + eol + eol + "where x = 2"));
        EXPECT_EQ(Lines(), expected);
    }
    EXPECT_EQ(form.reQuery->TextLimit(), 2147483632);
    EXPECT_TRUE((dialogs->Count(TDialogKind::Error) == 0));
}

TEST_F(OpenFile, CyrillicTextWithoutExtension)
{
    Open(Write(QStringLiteral("запрос"), QStringLiteral("-- выборка\nselect 'ёж'").toUtf8()));
    EXPECT_EQ(Lines(), (QStringList{QStringLiteral("-- выборка"), QStringLiteral("select 'ёж'")}));
}

TEST_F(OpenFile, BinaryFileLoadsAsText)
{
    QByteArray bytes;
    for (int i = 0; i < 1024; ++i)
        bytes.append(char((i * 37) & 0xFF));
    Open(Write(QStringLiteral("blob.bin"), bytes));
    EXPECT_TRUE((dialogs->Count(TDialogKind::Error) == 0));
    EXPECT_FALSE(form.reQuery->toPlainText().startsWith(QStringLiteral("--тут")));
    EXPECT_EQ(form.reQuery->TextLimit(), 2147483632);
}

TEST_F(OpenFile, EmptyFileEmptiesTheEditor)
{
    Open(Write(QStringLiteral("empty.txt"), QByteArray()));
    EXPECT_TRUE(form.reQuery->toPlainText().isEmpty());
    EXPECT_EQ(form.reQuery->TextLimit(), 2147483632);
}

TEST_F(OpenFile, MissingFileIsReportedAndTheEditorStaysUnchanged)
{
    const QString path = dir.filePath(QStringLiteral("missing.sql"));
    Open(path);
    ASSERT_EQ(dialogs->Texts(TDialogKind::Error).size(), 1);
    EXPECT_EQ(dialogs->Texts(TDialogKind::Error)[0], QStringLiteral("Cannot open file \"%1\". No such file or directory.").arg(path));
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("--тут писать запросы"));
    EXPECT_EQ(form.reQuery->TextLimit(), TRichEdit::kDefaultTextLimit);
}

TEST_F(OpenFile, DirectoryCannotBeOpened)
{
    Open(dir.path());
    ASSERT_EQ(dialogs->Texts(TDialogKind::Error).size(), 1);
    EXPECT_TRUE(dialogs->Texts(TDialogKind::Error)[0].startsWith(QStringLiteral("Cannot open file \"%1\". ").arg(dir.path())))
        << dialogs->Texts(TDialogKind::Error)[0].toStdString();
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("--тут писать запросы"));
}
} // namespace

namespace {

TEST_F(OpenFile, RtfFileIsShownFormatted)
{
    const QByteArray rtf =
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier New;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;}\r\n"
        "\\f0\\fs20 select \\b name\\b0  from \\cf1\\i t\\i0\\cf0\\par\r\n"
        "\\f1 where \\'e8\\'ec\\'ff = 1\\par\r\n}";
    Open(Write(QStringLiteral("q.rtf"), rtf));
    ASSERT_EQ(dialogs->Count(TDialogKind::Error), 0u);
    EXPECT_EQ(form.reQuery->toPlainText(), QStringLiteral("select name from t\nwhere имя = 1\n"));
    EXPECT_EQ(form.reQuery->TextLimit(), 2147483632);

    struct Run {
        QString text;
        QTextCharFormat format;
    };
    std::vector<Run> runs;
    for (QTextBlock b = form.reQuery->document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            runs.push_back({it.fragment().text(), it.fragment().charFormat()});
    auto find = [&runs](const QString& text) -> const QTextCharFormat* {
        for (const Run& r : runs)
            if (r.text == text)
                return &r.format;
        return nullptr;
    };
    const QTextCharFormat* name = find(QStringLiteral("name"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->fontWeight(), QFont::Bold);
    const QTextCharFormat* t = find(QStringLiteral("t"));
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->fontItalic());
    EXPECT_EQ(t->foreground().color(), QColor(255, 0, 0));
    const QTextCharFormat* select = find(QStringLiteral("select "));
    ASSERT_NE(select, nullptr);
    EXPECT_NE(select->fontWeight(), QFont::Bold);
    EXPECT_DOUBLE_EQ(select->fontPointSize(), 10.0);
    const QTextCharFormat* where = find(QStringLiteral("where имя = 1"));
    ASSERT_NE(where, nullptr);
    EXPECT_TRUE(where->fontFamilies().toStringList().contains(QStringLiteral("Courier New")));
}

TEST_F(OpenFile, BrokenRtfFallsBackToPlainText)
{
    const QByteArray cut = "{\\rtf1\\ansi {\\b bold";
    Open(Write(QStringLiteral("cut.rtf"), cut));
    EXPECT_EQ(form.reQuery->toPlainText(), QString::fromLatin1(cut));
    EXPECT_EQ(dialogs->Count(TDialogKind::Error), 0u);
}
} // namespace

namespace {

// A file of one long line opens whole, with the progress window when the load
// takes its time (here from the start); a cancelled open keeps what was there.
TEST_F(OpenFile, ALongLineOpensExactlyAndACancelledOpenKeepsTheEditor)
{
    // More than one slice of the load, many display pieces.
    constexpr qsizetype kLineBytes = 3 << 20;
    QByteArray line;
    while (line.size() < kLineBytes)
        line += "select column_a, 'ёж' from some_table; ";
    form.reQuery->SetProgressDelay(0);
    bool shown = false;
    QTimer::singleShot(0, form.reQuery, [&] {
        const auto* progress = form.reQuery->findChild<QProgressDialog*>();
        shown = progress && progress->isVisible();
    });
    Open(Write(QStringLiteral("line.sql"), line));
    EXPECT_TRUE(shown);
    EXPECT_EQ(form.reQuery->CommandText(), QString::fromUtf8(line));
    EXPECT_GT(form.reQuery->document()->blockCount(), 1);

    QTimer::singleShot(0, form.reQuery, [&] {
        if (auto* progress = form.reQuery->findChild<QProgressDialog*>())
            QTest::keyClick(progress, Qt::Key_Escape);
    });
    Open(Write(QStringLiteral("big.sql"), QByteArray(4 << 20, 'z')));
    EXPECT_EQ(form.reQuery->CommandText(), QString::fromUtf8(line));
    EXPECT_EQ(dialogs->Count(TDialogKind::Error), 0u);
}
} // namespace
