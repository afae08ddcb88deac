#include "app/RichEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(DecodePlainText, EveryLineBreakKindBecomesOneBreak)
{
    EXPECT_EQ(DecodePlainText("a\nb\nc"), QStringLiteral("a\nb\nc"));
    EXPECT_EQ(DecodePlainText("a\r\nb\r\nc\r\n"), QStringLiteral("a\nb\nc\n"));
    EXPECT_EQ(DecodePlainText("a\rb\rc"), QStringLiteral("a\nb\nc"));
    EXPECT_EQ(DecodePlainText("a\r\r\nb\n\rc"), QStringLiteral("a\n\nb\n\nc"));
    EXPECT_EQ(DecodePlainText(""), QString());
}

TEST(DecodePlainText, CyrillicInUtf8AndInTheOldCodePage)
{
    EXPECT_EQ(DecodePlainText(QStringLiteral("выбрать * из т").toUtf8()), QStringLiteral("выбрать * из т"));
    // "Привет" in Windows-1251.
    const QByteArray cp1251("\xCF\xF0\xE8\xE2\xE5\xF2");
    EXPECT_EQ(DecodePlainText(cp1251), QStringLiteral("Привет"));
}

TEST(DecodePlainText, BinaryBytesAreKeptOneCharacterEach)
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        if (i != '\r' && i != '\n')
            bytes.append(char(i));
    const QString text = DecodePlainText(bytes);
    EXPECT_EQ(text.size(), bytes.size());
    EXPECT_EQ(text.at(0), QChar::ReplacementCharacter);  // NUL
    EXPECT_FALSE(text.contains(QChar(0)));
}

TEST(RichEditLimit, TypingAndPastingStopAtTheLimit)
{
    TRichEdit edit;
    EXPECT_EQ(edit.TextLimit(), TRichEdit::kDefaultTextLimit);
    edit.SetTextLimit(5);
    edit.show();
    QTest::keyClicks(&edit, QStringLiteral("abcdefgh"));
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("abcde"));

    edit.selectAll();
    QTest::keyClick(&edit, Qt::Key_X);  // replacing the selection fits
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("x"));

    QApplication::clipboard()->setText(QStringLiteral("123456"));
    edit.paste();
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("x1234"));
}

TEST(RichEditLimit, LoadReplacesTheContentAndRaisesTheLimit)
{
    TRichEdit edit;
    edit.setPlainText(QStringLiteral("old"));
    edit.LoadFromBytes("one\r\ntwo");
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("one\ntwo"));
    EXPECT_EQ(edit.document()->blockCount(), 2);
    EXPECT_EQ(edit.TextLimit(), 2147483632);
    // A load is no edit: undo cannot bring the old text back, and an edit
    // after it undoes to the loaded text.
    EXPECT_FALSE(edit.document()->isUndoAvailable());
    edit.LoadFromBytes("{\\rtf1\\ansi {\\b bold}}");
    EXPECT_FALSE(edit.document()->isUndoAvailable());
    edit.show();
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, QStringLiteral("!"));
    edit.undo();
    EXPECT_EQ(edit.toPlainText(), QStringLiteral("bold"));
    // The bar held during a load is back to "when needed": a short text has none.
    edit.LoadFromBytes("short");
    QApplication::processEvents();
    EXPECT_EQ(edit.verticalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
    EXPECT_FALSE(edit.verticalScrollBar()->isVisible());
}

TEST(RichEditAlignment, RtfParagraphsKeepTheirAlignmentAcrossAResize)
{
    TRichEdit edit;
    edit.resize(400, 200);
    edit.show();
    edit.LoadFromBytes("{\\rtf1\\ansi left\\par\\qc centre\\par\\pard\\qr right\\par\\pard plain}");
    ASSERT_EQ(edit.document()->blockCount(), 4);
    // The caret's x at the start and end of block `n`, in viewport pixels.
    const auto caretX = [&](int n, QTextCursor::MoveOperation where) {
        QTextCursor c(edit.document()->findBlockByNumber(n));
        c.movePosition(where);
        return edit.cursorRect(c).x();
    };
    for (const int width : {400, 600}) {
        edit.resize(width, 200);
        QApplication::processEvents();
        const int text = edit.viewport()->width();
        const int margin = static_cast<int>(edit.document()->documentMargin());
        SCOPED_TRACE(width);
        EXPECT_LE(caretX(0, QTextCursor::StartOfBlock), margin + 1);
        const int centreMid = (caretX(1, QTextCursor::StartOfBlock) + caretX(1, QTextCursor::EndOfBlock)) / 2;
        EXPECT_NEAR(centreMid, text / 2, 3);
        EXPECT_GE(caretX(2, QTextCursor::EndOfBlock), text - margin - 3);
        EXPECT_LE(caretX(3, QTextCursor::StartOfBlock), margin + 1);   // \pard resets to left
    }
    // Plain text after it is left-aligned again.
    edit.LoadFromBytes("plain");
    QApplication::processEvents();
    EXPECT_LE(caretX(0, QTextCursor::StartOfBlock), static_cast<int>(edit.document()->documentMargin()) + 1);
}
} // namespace
