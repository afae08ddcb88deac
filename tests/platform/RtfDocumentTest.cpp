#include "platform/text/RtfDocument.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

TEST(RtfDocument, WritesIntoATextDocument)
{
    QTextDocument out;
    out.setPlainText(QStringLiteral("old content"));
    EXPECT_FALSE(ReadRtf("not rtf", out));
    EXPECT_EQ(out.toPlainText(), QStringLiteral("old content")) << "a refused input leaves the document untouched";

    ASSERT_TRUE(ReadRtf("{\\rtf1{\\fonttbl{\\f0 Courier New;}}{\\colortbl;\\red255\\green0\\blue0;}"
                        "\\f0\\fs24 one \\b\\cf1 two\\par\\qr three}",
                        out));
    EXPECT_EQ(out.toPlainText(), QStringLiteral("one two\nthree"));
    EXPECT_EQ(out.blockCount(), 2);
    const QTextBlock first = out.firstBlock();
    QTextCursor cursor(first);
    cursor.setPosition(first.position() + 1);
    EXPECT_EQ(cursor.charFormat().fontFamilies().toStringList(), QStringList{QStringLiteral("Courier New")});
    EXPECT_EQ(cursor.charFormat().fontPointSize(), 12.0);
    EXPECT_NE(cursor.charFormat().fontWeight(), QFont::Bold);
    cursor.setPosition(first.position() + 6);
    EXPECT_EQ(cursor.charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(cursor.charFormat().foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(first.next().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

// Random and mutated inputs: the reader must return (either way) without
// crashing or reading out of bounds; run under a sanitizer to see the latter.
