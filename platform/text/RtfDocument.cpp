#include "platform/text/RtfDocument.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <string_view>

Qt::Alignment RtfAlignment(TRtfAlignment a)
{
    switch (a) {
    case TRtfAlignment::Right: return Qt::AlignRight;
    case TRtfAlignment::Center: return Qt::AlignHCenter;
    case TRtfAlignment::Justify: return Qt::AlignJustify;
    case TRtfAlignment::Left: break;
    }
    return Qt::AlignLeft;
}

QTextCharFormat RtfCharFormat(const TRtfFormat& f)
{
    QTextCharFormat format;
    if (!f.fontFamily.isEmpty())
        format.setFontFamilies(QStringList{f.fontFamily});
    format.setFontPointSize(f.fontSizeHalfPoints / 2.0);
    format.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(f.italic);
    format.setFontUnderline(f.underline);
    format.setFontStrikeOut(f.strikeOut);
    if (f.color)
        format.setForeground(QColor(f.color->red, f.color->green, f.color->blue));
    return format;
}

void InsertRtf(const TRtfDocument& document, QTextCursor& cursor)
{
    cursor.beginEditBlock();
    bool first = true;
    for (const TRtfParagraph& paragraph : document.paragraphs) {
        if (!first)
            cursor.insertBlock();
        first = false;
        QTextBlockFormat block = cursor.blockFormat();
        block.setAlignment(RtfAlignment(paragraph.alignment));
        cursor.setBlockFormat(block);
        for (const TRtfRun& run : paragraph.runs)
            cursor.insertText(run.text, RtfCharFormat(run.format));
    }
    cursor.endEditBlock();
}

void LoadRtf(const TRtfDocument& document, QTextDocument& out)
{
    out.clear();
    QTextCursor cursor(&out);
    InsertRtf(document, cursor);
}

bool ReadRtf(QByteArrayView bytes, QTextDocument& out)
{
    const auto document = ParseRtf(std::string_view(bytes.data(), std::size_t(bytes.size())));
    if (!document)
        return false;
    LoadRtf(*document, out);
    return true;
}
