#include "app/RichEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTest>
#include <QTimer>

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

namespace {

constexpr int kPiece = TRichEdit::kDisplayLineChars;

QStringList Blocks(const TRichEdit& edit)
{
    QStringList blocks;
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
        blocks << b.text();
    return blocks;
}

int Continuations(const TRichEdit& edit)
{
    int n = 0;
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
        n += TRichEdit::ContinuesLine(b) ? 1 : 0;
    return n;
}

// Words, then a stretch without spaces whose cut would split a surrogate pair.
QString LongLine()
{
    QString line;
    while (line.size() < 2 * kPiece)
        line += QStringLiteral("word\u00A0ab ");
    line += QString(kPiece - 1, u'x') + QStringLiteral("\U0001F600") + QString(kPiece, u'y');
    return line;
}

TEST(RichEditLongLines, ALongLineIsShownInPiecesAndReadBackExactly)
{
    TRichEdit edit;
    const QString text = QStringLiteral("select 1\n") + LongLine() + QStringLiteral("\n\nend");
    edit.LoadFromBytes(text.toUtf8());
    EXPECT_EQ(edit.CommandText(), text);
    EXPECT_GE(Continuations(edit), 3);
    for (const QString& block : Blocks(edit)) {
        EXPECT_LE(block.size(), kPiece);
        EXPECT_FALSE(!block.isEmpty() && block.front().isLowSurrogate());
    }
    // The limit counts the text's characters, not the breaks.
    EXPECT_EQ(edit.TextLength(), text.size());
    edit.SetTextLimit(int(text.size()) + 1);
    edit.show();
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, QStringLiteral("!?"));
    EXPECT_EQ(edit.CommandText(), text + QLatin1Char('!'));

    // An RTF paragraph too, its pieces keeping its alignment.
    const QString line = QString(kPiece * 2 + 10, u'r');
    edit.LoadFromBytes("{\\rtf1\\ansi \\qc " + line.toLatin1() + "\\par end}");
    EXPECT_EQ(edit.CommandText(), line + QStringLiteral("\nend"));
    ASSERT_EQ(edit.document()->blockCount(), 4);
    for (int n : {0, 1, 2})
        EXPECT_EQ(edit.document()->findBlockByNumber(n).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
                  Qt::AlignHCenter);
}

TEST(RichEditLongLines, KeysAtADisplayBreakEditTheText)
{
    TRichEdit edit;
    edit.show();
    const QString a(kPiece, u'a'), b(kPiece, u'b');
    const auto at = [&](int position, int key) {
        edit.LoadFromBytes((a + b).toLatin1());
        QTextCursor c = edit.textCursor();
        c.setPosition(position);
        edit.setTextCursor(c);
        QTest::keyClick(&edit, Qt::Key(key));
        return edit.CommandText();
    };
    EXPECT_EQ(at(kPiece + 1, Qt::Key_Backspace), a.first(kPiece - 1) + b);   // start of the second piece
    edit.undo();
    EXPECT_EQ(edit.CommandText(), a + b);
    EXPECT_EQ(at(kPiece, Qt::Key_Delete), a + b.first(kPiece - 1));            // end of the first piece
    EXPECT_EQ(at(kPiece + 1, Qt::Key_Return), a + QLatin1Char('\n') + b);
    EXPECT_EQ(at(kPiece + 11, Qt::Key_Return), a + b.first(10) + QLatin1Char('\n') + b.first(kPiece - 10));
    // An arrow never stops on both sides of a break.
    at(kPiece, Qt::Key_Right);
    EXPECT_EQ(edit.textCursor().position(), kPiece + 2);
    at(kPiece + 1, Qt::Key_Left);
    EXPECT_EQ(edit.textCursor().position(), kPiece - 1);
}

TEST(RichEditLongLines, CopyAndPasteCarryNoDisplayBreak)
{
    TRichEdit edit;
    edit.SetTextLimit(TRichEdit::kLoadedTextLimit);
    edit.show();
    const QString line = LongLine();
    edit.LoadFromBytes(line.toUtf8());
    edit.selectAll();
    edit.copy();
    EXPECT_EQ(QApplication::clipboard()->text(), line);

    // A pasted long line is held in pieces; a pasted line break inside a
    // piece stays a line break.
    edit.clear();
    edit.paste();
    EXPECT_EQ(edit.CommandText(), line);
    EXPECT_GE(Continuations(edit), 3);
    QTextCursor c(edit.document()->findBlockByNumber(1));
    c.movePosition(QTextCursor::Right);
    edit.setTextCursor(c);
    const qsizetype at = edit.document()->firstBlock().text().size() + 1;   // in the text
    QApplication::clipboard()->setText(QStringLiteral("1\n2"));
    edit.paste();
    EXPECT_EQ(edit.CommandText(), line.first(at) + QStringLiteral("1\n2") + line.sliced(at));
}

TEST(RichEditLoad, ACancelledLoadLeavesTheEditorAsItWas)
{
    TRichEdit edit;
    edit.show();
    edit.LoadFromBytes("{\\rtf1\\ansi left\\par\\qc centre\\par\\pard plain}");
    edit.moveCursor(QTextCursor::End);
    QTest::keyClicks(&edit, QStringLiteral("!"));
    QTextCursor c = edit.textCursor();
    c.setPosition(3);
    c.setPosition(7, QTextCursor::KeepAnchor);
    edit.setTextCursor(c);
    edit.SetTextLimit(100);
    const QString text = edit.CommandText();

    bool shown = false;
    edit.SetProgressDelay(0);
    QTimer::singleShot(0, &edit, [&] {
        if (auto* progress = edit.findChild<QProgressDialog*>()) {
            shown = progress->isVisible();
            QTest::keyClick(progress, Qt::Key_Escape);
        }
    });
    EXPECT_FALSE(edit.LoadFromBytes(QByteArray(4 << 20, 'q')));
    EXPECT_TRUE(shown);
    EXPECT_EQ(edit.CommandText(), text);
    EXPECT_EQ(edit.document()->blockCount(), 3);
    EXPECT_EQ(edit.document()->findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(edit.textCursor().anchor(), 3);
    EXPECT_EQ(edit.textCursor().position(), 7);
    EXPECT_EQ(edit.TextLimit(), 100);
    // The edit before the load is still the one to undo.
    edit.undo();
    EXPECT_EQ(edit.CommandText(), QStringLiteral("left\ncentre\nplain"));
}
} // namespace
