// The HTML document writer and its output stream, without a grid.

#include "export/ExportStream.h"
#include "export/HtmlWriter.h"
#include "platform/core/Failure.h"
#include "tests/export/ExpectedHtml.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using namespace expected_html;

constexpr std::uint32_t kClassicButtonFace = 0xC0C0C0;
constexpr std::uint32_t kClassicWindow = 0xFFFFFF;

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

THtmlFont ClassicFont()
{
    return {QStringLiteral("MS Sans Serif"), 8, 0, {}};
}

THtmlColumn Column(const QString& caption, TAlignment alignment)
{
    THtmlColumn c;
    c.width = 200;
    c.caption = caption;
    c.alignment = alignment;
    c.color = kClassicWindow;
    c.font = ClassicFont();
    return c;
}

THtmlPlan ClassicPlan(std::vector<THtmlColumn> columns)
{
    const THtmlStyleLine line{QStringLiteral("MS Sans Serif"), 8, 0};
    THtmlPlan plan;
    plan.title = QStringLiteral("dxDBGridRes");
    plan.band = plan.header = plan.footer = plan.rowFooter = plan.group = line;
    plan.headerFont = ClassicFont();
    plan.headerColor = kClassicButtonFace;
    plan.columns = std::move(columns);
    return plan;
}

class HtmlWriterFile : public ::testing::Test {
protected:
    QString Path() const { return m_dir.filePath(QStringLiteral("out.HTML")); }

    // Writes a document of `plan` with one row per entry of `rows`.
    QByteArray Document(const THtmlPlan& plan, const std::vector<QStringList>& rows)
    {
        {
            TExportStream stream(Path());
            THtmlWriter writer(stream, plan);
            writer.WriteDocumentBegin();
            writer.WriteHeaderRows();
            for (const QStringList& row : rows)
                writer.WriteRow([&row](int column) { return row.value(column); });
            writer.WriteDocumentEnd();
            stream.Close();
        }
        return ReadAll(Path());
    }

    QTemporaryDir m_dir;
};

TEST(HtmlFormat, ColoursAreRedGreenBlueFromTheBlueGreenRedValue)
{
    EXPECT_EQ(HtmlColor(0x0080FF), "FF8000");   // red 255, green 128, blue 0
    EXPECT_EQ(HtmlColor(kClassicButtonFace), "C0C0C0");
    EXPECT_EQ(HtmlColor(0), "000000");
    EXPECT_EQ(HtmlColor(0x010203), "030201");
    EXPECT_EQ(HtmlColor(0xFF0000), "0000FF");
}

TEST(HtmlFormat, StyleTagsOpenInOneOrderAndCloseInTheReverse)
{
    const TStyleTags all = FontStyleTags({true, true, true, true});
    EXPECT_EQ(all.open, "<B><I><U><STRIKE>");
    EXPECT_EQ(all.close, "</STRIKE></U></I></B>");
    const TStyleTags italicStruck = FontStyleTags({false, true, false, true});
    EXPECT_EQ(italicStruck.open, "<I><STRIKE>");
    EXPECT_EQ(italicStruck.close, "</STRIKE></I>");
    EXPECT_TRUE(FontStyleTags({}).open.isEmpty());
    EXPECT_TRUE(FontStyleTags({}).close.isEmpty());
}

TEST(HtmlFormat, AlignmentsSizesAndTableAttributes)
{
    EXPECT_EQ(AlignmentKeyword(taLeftJustify), "LEFT");
    EXPECT_EQ(AlignmentKeyword(taRightJustify), "RIGHT");
    EXPECT_EQ(AlignmentKeyword(taCenter), "CENTER");

    EXPECT_EQ(FontPoints(-1, 11, 96), 8);     // 8.25 rounds down
    EXPECT_EQ(FontPoints(-1, 13, 96), 10);    // 9.75 rounds up
    EXPECT_EQ(FontPoints(-1, 11, 120), 7);
    EXPECT_EQ(FontPoints(9.6, -1, 96), 10);   // given in points

    EXPECT_EQ(TableAttributes(false, true), "BORDER=0 CELLSPACING=0 CELLPADDING=2");
    EXPECT_EQ(TableAttributes(false, false), "BORDER=0 CELLSPACING=0 CELLPADDING=2");
    EXPECT_EQ(TableAttributes(true, true), "BORDER=1 CELLSPACING=0 CELLPADDING=1");
    EXPECT_EQ(TableAttributes(true, false), "BORDER=0 CELLSPACING=1 CELLPADDING=2");
}

TEST_F(HtmlWriterFile, TheWorkedExampleByteForByte)
{
    const QByteArray doc = Document(ClassicPlan({Column(QStringLiteral("id"), taRightJustify), Column(QStringLiteral("name"), taLeftJustify)}),
                                    {{QStringLiteral("1"), QStringLiteral("abc")}});
    EXPECT_EQ(doc, kClassicHead + kWorkedHeaderRow + kWorkedRecordRow + kTail);
    EXPECT_FALSE(doc.startsWith("\xEF\xBB\xBF"));
}

TEST_F(HtmlWriterFile, FrameHeaderAndTableFollowThePlan)
{
    THtmlPlan plan = ClassicPlan({Column(QStringLiteral("a"), taLeftJustify)});
    plan.border = false;
    plan.showHeader = false;
    plan.showGrid = false;
    const QByteArray doc = Document(plan, {});
    EXPECT_FALSE(doc.contains("<TR><TD>\r\n"));
    EXPECT_FALSE(doc.contains("</TD></TR></TABLE>"));
    EXPECT_FALSE(doc.contains("class=\"Header\""));
    EXPECT_TRUE(doc.contains("<TABLE BORDER=0 CELLSPACING=0 CELLPADDING=2 BGCOLOR=#C0C0C0>\r\n</TABLE>\r\n</BODY>"));
}

TEST_F(HtmlWriterFile, EmptyTextsBecomeNbspAndEverythingElseIsKeptEscaped)
{
    THtmlPlan plan = ClassicPlan({Column(QString(), taLeftJustify), Column(QStringLiteral("<b>&\"x\""), taLeftJustify)});
    const QByteArray doc = Document(plan, {{QString(), QStringLiteral("   ")},
                                           {QStringLiteral("a<b & c"), QStringLiteral("<script>alert(\"x\")</script>")},
                                           {QStringLiteral("line1\r\nline2"), QStringLiteral("Привет 你好 ™")}});
    EXPECT_TRUE(doc.contains("<TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">&nbsp;</TD>"
                             "<TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">&lt;b&gt;&amp;&quot;x&quot;</TD></TR>\r\n"));
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell("&nbsp;") + LeftCell("   ") + "</TR>\r\n"));
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell("a&lt;b &amp; c") + LeftCell("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;") + "</TR>\r\n"));
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell("line1\r\nline2") + LeftCell(QStringLiteral("Привет 你好 ™").toUtf8()) + "</TR>\r\n"));
    EXPECT_FALSE(doc.contains("<script>"));
}

TEST_F(HtmlWriterFile, HeaderCaptionsCarryTheHeaderFontsTagsAndCellsTheirColumnsFont)
{
    THtmlPlan plan = ClassicPlan({Column(QStringLiteral("id"), taCenter)});
    plan.headerFont.style = {true, false, false, false};
    plan.columns[0].width = 350;
    plan.columns[0].headerAlignment = taRightJustify;
    plan.columns[0].color = 0x0080FF;
    plan.columns[0].font = {QStringLiteral("Courier New"), 12, 0xFF0000, {true, true, true, true}};
    const QByteArray doc = Document(plan, {{QStringLiteral("7")}, {QString()}});
    EXPECT_TRUE(doc.contains("<TD NOWRAP WIDTH=350 ALIGN=\"RIGHT\"><B>id</B></TD>"));
    const QByteArray open = "<TD NOWRAP ALIGN=\"CENTER\" BGCOLOR=#FF8000><FONT STYLE=\"font-family: Courier New; font-size: 12pt; color: #0000FF\">";
    EXPECT_TRUE(doc.contains(open + "<B><I><U><STRIKE>7</STRIKE></U></I></B></FONT></TD>"));
    EXPECT_TRUE(doc.contains(open + "&nbsp;</FONT></TD>"));   // no style tags around the blank
}

TEST_F(HtmlWriterFile, StyleLinesTakeFaceAndSizeFromOneFontAndTheColourApart)
{
    THtmlPlan plan = ClassicPlan({});
    plan.header = {QStringLiteral("Arial"), 14, 0x0000FF};
    plan.group = {QStringLiteral("MS Sans Serif"), 8, 0};
    const QByteArray doc = Document(plan, {});
    EXPECT_TRUE(doc.contains("\r\n.Header{font-family: Arial; font-size: 14pt; color: #FF0000}\r\n"));
    EXPECT_TRUE(doc.contains("\r\n.Group{font-family: MS Sans Serif; font-size: 8pt; color: #000000}\r\n"));
}

TEST_F(HtmlWriterFile, LongTextsCrossTheBufferWhole)
{
    // Multi-byte characters and surrogate pairs over several buffers.
    QString text;
    while (text.size() < 3 * TExportStream::kBufferSize)
        text += QStringLiteral("жизнь 😀 & ");
    {
        TExportStream stream(Path());
        stream.WriteEscaped(text);
        stream.Close();
    }
    QString escaped = text;
    escaped.replace(u'&', QStringLiteral("&amp;"));
    EXPECT_EQ(ReadAll(Path()), escaped.toUtf8());

    // One text of pairs at odd offsets: wherever it is cut into runs, no
    // pair is split.
    QString pairs = QStringLiteral("a");
    while (pairs.size() < 3 * TExportStream::kBufferSize)
        pairs += QStringLiteral("😀");
    {
        TExportStream stream(Path());
        stream.WriteText(pairs);
        stream.Close();
    }
    EXPECT_EQ(ReadAll(Path()), pairs.toUtf8());

    // ASCII with entities at every offset across the buffer's edges.
    QString ascii;
    while (ascii.size() < 3 * TExportStream::kBufferSize)
        ascii += QStringLiteral("<b>\"x\"</b> & ");
    {
        TExportStream stream(Path());
        stream.WriteBytes("y");
        stream.WriteEscaped(ascii);
        stream.Close();
    }
    QString asciiEscaped = ascii;
    asciiEscaped.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;"))
        .replace(u'>', QStringLiteral("&gt;")).replace(u'"', QStringLiteral("&quot;"));
    EXPECT_EQ(ReadAll(Path()), "y" + asciiEscaped.toUtf8());
}

TEST_F(HtmlWriterFile, EscapedAsciiEndsEveryFreeRoomOfTheBufferWhole)
{
    // The buffer filled up to each of the last few bytes, then texts whose
    // entities and characters land on its edge; the same for ASCII bytes.
    const QString text = QStringLiteral("\"a&b<c>d\"e f");
    const QByteArray escaped = "&quot;a&amp;b&lt;c&gt;d&quot;e f";
    for (qsizetype free = 0; free <= 9; ++free) {
        const QByteArray fill(TExportStream::kBufferSize - free, 'x');
        {
            TExportStream stream(Path());
            stream.WriteBytes(fill);
            stream.WriteEscaped(text);
            stream.WriteEscapedAscii("\"a&b<c>d\"e f");
            stream.WriteEscaped(text + QStringLiteral("\u00E9"));
            stream.Close();
        }
        ASSERT_EQ(ReadAll(Path()), fill + escaped + escaped + escaped + "\xC3\xA9") << free;
    }
    // ASCII bytes over several buffers, with runs of every length between
    // the escaped characters.
    std::string bytes;
    QByteArray expected = "y";
    for (int run = 0; static_cast<qsizetype>(bytes.size()) < 3 * TExportStream::kBufferSize; run = (run + 1) % 23) {
        const std::string plain(static_cast<std::size_t>(run), static_cast<char>('a' + run % 26));
        const char special = "&<>\"="[run % 5];
        bytes += plain;
        bytes += special;
        expected += QByteArray::fromStdString(plain);
        expected += special == '&' ? "&amp;" : special == '<' ? "&lt;" : special == '>' ? "&gt;" : special == '"' ? "&quot;" : "=";
    }
    {
        TExportStream stream(Path());
        stream.WriteBytes("y");
        stream.WriteEscapedAscii(bytes);
        stream.Close();
    }
    EXPECT_EQ(ReadAll(Path()), expected);
}

TEST_F(HtmlWriterFile, RowsOfEveryKindOfTextAcrossManyBuffers)
{
    // Cells formed in place and cells too long for that, ASCII, markup,
    // non-ASCII after ASCII, lone surrogates and empty texts, over enough
    // rows to fill the buffer several times at different offsets.
    const QString high(QChar(0xD83D));
    const QString longText = QString(70 * 1024, u'q') + QStringLiteral("<&>");
    const QStringList texts = {QStringLiteral("a&b"), QStringLiteral("жизнь"), QStringLiteral("x") + high,
                               QString(), QStringLiteral("plain text 123"), QStringLiteral("ab\"cd\" é 😀 & z"),
                               longText, QStringLiteral("9")};
    std::vector<QStringList> rows;
    QByteArray expected;
    for (int r = 0; r < 12000; ++r) {
        QStringList row;
        expected += "<TR>";
        for (int c = 0; c < 2; ++c) {
            const QString& text = texts[(r * 3 + c * 5 + r / 7) % texts.size()];
            if (&text == &longText && r % 50 != 0) {
                row << texts[0];
            } else {
                row << text;
            }
            const QString& shown = row.back();
            QString escaped = shown;
            escaped.replace(u'&', QStringLiteral("&amp;")).replace(u'<', QStringLiteral("&lt;"))
                .replace(u'>', QStringLiteral("&gt;")).replace(u'"', QStringLiteral("&quot;"));
            // A lone high half is the last unit of its text: U+FFFD.
            const QByteArray bytes = escaped.endsWith(high) ? escaped.chopped(1).toUtf8() + "\xEF\xBF\xBD" : escaped.toUtf8();
            expected += LeftCell(shown.isEmpty() ? QByteArray("&nbsp;") : bytes);
        }
        expected += "</TR>\r\n";
        rows.push_back(row);
    }
    ASSERT_GT(expected.size(), 3 * TExportStream::kBufferSize);
    const QByteArray doc = Document(ClassicPlan({Column(QStringLiteral("a"), taLeftJustify), Column(QStringLiteral("b"), taLeftJustify)}), rows);
    const qsizetype at = doc.indexOf("<TR><TD NOWRAP ALIGN=\"LEFT\" BGCOLOR");
    ASSERT_GT(at, 0);
    EXPECT_TRUE(doc.mid(at, expected.size()) == expected);
    EXPECT_TRUE(doc.mid(at + expected.size()).startsWith("</TABLE>"));
}

TEST_F(HtmlWriterFile, AFileOfManyStepsKeepsEveryByteAfterItsStepsLeaveTheCache)
{
    // Far more than the steps the stream hands to the disk and drops from
    // the page cache as it goes: what is read back is what was written.
    QByteArray chunk(1000 * 1000 + 7, '\0');
    for (qsizetype i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>('a' + i % 23);
    QByteArray expected;
    {
        TExportStream stream(Path());
        for (int i = 0; i < 72; ++i) {
            chunk[i] = '#';
            stream.WriteBytes(chunk);
            expected += chunk;
        }
        stream.Close();
    }
    const QByteArray back = ReadAll(Path());
    ASSERT_EQ(back.size(), expected.size());
    EXPECT_TRUE(back == expected);
}

TEST_F(HtmlWriterFile, AnUnpairedSurrogateBecomesAReplacementCharacterInItsOwnCell)
{
    // UCS-2 column data: a cell ending in a lone high half, one starting
    // with a lone low half, one ending before an entity, and the last cell
    // of a row ending in a high half.
    const QString high(QChar(0xD83D)), low(QChar(0xDE00));
    const QByteArray fffd = "\xEF\xBF\xBD";
    const QByteArray doc = Document(ClassicPlan({Column(QStringLiteral("a"), taLeftJustify), Column(QStringLiteral("b"), taLeftJustify)}),
                                    {{QStringLiteral("x") + high, QStringLiteral("y")},
                                     {low + QStringLiteral("z"), high + QStringLiteral("&") + high},
                                     {QStringLiteral("w"), QStringLiteral("v") + high + low}});
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell("x" + fffd) + LeftCell("y") + "</TR>\r\n")) << doc.toStdString();
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell(fffd + "z") + LeftCell(fffd + "&amp;" + fffd) + "</TR>\r\n")) << doc.toStdString();
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell("w") + LeftCell("v\xF0\x9F\x98\x80") + "</TR>\r\n")) << doc.toStdString();
}

TEST_F(HtmlWriterFile, AFileThatCannotBeCreatedNamesItsPathAndTheReason)
{
    const QString path = m_dir.filePath(QStringLiteral("missing/dir/out.HTML"));
    try {
        TExportStream stream(path);
        FAIL() << "created";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(path))) << e.Message().toStdString();
        EXPECT_GT(e.Message().size(), QStringLiteral("Cannot create file \"%1\". ").arg(path).size());
    }
    EXPECT_FALSE(QFile::exists(path));
}

TEST(HtmlWriterStream, AFailedWriteRaisesStreamWriteErrorAndEveryLaterWriteToo)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    TExportStream stream(QStringLiteral("/dev/full"));
    const QByteArray chunk(TExportStream::kBufferSize / 2, 'x');
    auto writeMuch = [&] {
        for (int i = 0; i < 4; ++i)
            stream.WriteBytes(chunk);
    };
    try {
        writeMuch();
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Stream write error"));
    }
    EXPECT_TRUE(stream.Failed());
    EXPECT_THROW(stream.WriteBytes("x"), Exception);
    EXPECT_THROW(stream.Close(), Exception);
}

TEST_F(HtmlWriterFile, WhatWasFlushedBeforeAFailureStaysInTheFile)
{
    {
        TExportStream stream(Path());
        stream.WriteBytes("kept");
        stream.Flush();
        stream.WriteBytes(" and buffered");
    }   // closing without Close still delivers the buffer
    EXPECT_EQ(ReadAll(Path()), "kept and buffered");
}

} // namespace
