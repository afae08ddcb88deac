#include "export/HtmlWriter.h"

#include "export/ExportStream.h"

#include <QStringEncoder>

#include <cmath>
#include <cstring>

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr char kNbsp[] = "&nbsp;";

QByteArray Number(int n) { return QByteArray::number(n); }

// Text of the plan in the code page of the document.
QByteArray SystemBytes(const QString& text)
{
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(text);
}

} // namespace

QByteArray HtmlColor(std::uint32_t bgr)
{
    // The value printed as hex gives BBGGRR; the pairs are swapped to RRGGBB.
    const QByteArray hex = QByteArray::number(bgr & 0xFFFFFFu, 16).toUpper().rightJustified(6, '0');
    return hex.mid(4, 2) + hex.mid(2, 2) + hex.mid(0, 2);
}

TStyleTags FontStyleTags(TFontStyle style)
{
    TStyleTags tags;
    if (style.bold) tags.open += "<B>";
    if (style.italic) tags.open += "<I>";
    if (style.underline) tags.open += "<U>";
    if (style.strikeOut) tags.open += "<STRIKE>";
    if (style.strikeOut) tags.close += "</STRIKE>";
    if (style.underline) tags.close += "</U>";
    if (style.italic) tags.close += "</I>";
    if (style.bold) tags.close += "</B>";
    return tags;
}

QByteArray AlignmentKeyword(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify: return "RIGHT";
    case taCenter: return "CENTER";
    case taLeftJustify: break;
    }
    return "LEFT";
}

int FontPoints(double pointSize, int pixelSize, int dpi)
{
    if (pointSize > 0)
        return static_cast<int>(std::lround(pointSize));
    if (dpi <= 0)
        return 0;
    return static_cast<int>(std::lround(static_cast<double>(pixelSize) * 72.0 / dpi));
}

QByteArray TableAttributes(bool showGrid, bool ctl3D)
{
    if (!showGrid)
        return "BORDER=0 CELLSPACING=0 CELLPADDING=2";
    return ctl3D ? "BORDER=1 CELLSPACING=0 CELLPADDING=1" : "BORDER=0 CELLSPACING=1 CELLPADDING=2";
}

THtmlWriter::THtmlWriter(TExportStream& stream, THtmlPlan plan) : m_stream(stream), m_plan(std::move(plan))
{
    m_cells.reserve(m_plan.columns.size());
    for (const THtmlColumn& c : m_plan.columns) {
        const TStyleTags tags = FontStyleTags(c.font.style);
        const QByteArray open = "<TD NOWRAP ALIGN=\"" + AlignmentKeyword(c.alignment) + "\" BGCOLOR=#" + HtmlColor(c.color)
            + "><FONT STYLE=\"font-family: " + SystemBytes(c.font.face) + "; font-size: " + Number(c.font.points)
            + "pt; color: #" + HtmlColor(c.font.color) + "\">";
        TCellFrame frame;
        frame.open = open + tags.open;
        frame.close = tags.close + "</FONT></TD>";
        frame.empty = open + kNbsp + "</FONT></TD>";
        m_cells.push_back(std::move(frame));
    }
}

void THtmlWriter::WriteLine(QByteArrayView bytes)
{
    m_stream.WriteBytes(bytes);
    m_stream.WriteBytes(kCrLf);
}

void THtmlWriter::WriteStyleLine(const char* prefix, const THtmlStyleLine& line)
{
    m_stream.WriteBytes(prefix);
    m_stream.WriteText(line.face);
    m_stream.WriteBytes("; font-size: " + Number(line.points) + "pt; color: #" + HtmlColor(line.color) + "}");
    m_stream.WriteBytes(kCrLf);
}

void THtmlWriter::WriteDocumentBegin()
{
    WriteLine("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2//EN\">");
    WriteLine("<HTML>");
    WriteLine("<HEAD>");
    m_stream.WriteBytes("<TITLE>");
    m_stream.WriteEscaped(m_plan.title);
    WriteLine("</TITLE> ");
    WriteLine("<STYLE>");
    WriteLine("<!--");
    WriteStyleLine(".Band{font-family: ", m_plan.band);
    WriteStyleLine(".Header{font-family: ", m_plan.header);
    WriteStyleLine(".Footer{font-family: ", m_plan.footer);
    WriteStyleLine(".RowFooter{font-family: ", m_plan.rowFooter);
    WriteStyleLine(".Group{font-family: ", m_plan.group);
    WriteLine("-->");
    WriteLine("</STYLE>");
    WriteLine("</HEAD> ");
    WriteLine("<BODY BGCOLOR=#C0C0C0>");
    if (m_plan.border)
        WriteLine("<TABLE BORDER=1 CELLSPACING=0 CELLPADDING=1 BGCOLOR=#C0C0C0><TR><TD>");
    WriteLine("<TABLE " + TableAttributes(m_plan.showGrid, m_plan.ctl3D) + " BGCOLOR=#C0C0C0>");
}

void THtmlWriter::WriteHeaderRows()
{
    if (!m_plan.showHeader)
        return;
    const TStyleTags tags = FontStyleTags(m_plan.headerFont.style);
    m_stream.WriteBytes("<TR VALIGN=\"TOP\" class=\"Header\" BGCOLOR=#" + HtmlColor(m_plan.headerColor) + ">");
    for (const THtmlColumn& c : m_plan.columns) {
        m_stream.WriteBytes("<TD NOWRAP WIDTH=" + Number(c.width) + " ALIGN=\"" + AlignmentKeyword(c.headerAlignment) + "\">");
        if (c.caption.isEmpty()) {
            m_stream.WriteBytes(kNbsp);
        } else {
            m_stream.WriteBytes(tags.open);
            m_stream.WriteEscaped(c.caption);
            m_stream.WriteBytes(tags.close);
        }
        m_stream.WriteBytes("</TD>");
    }
    WriteLine("</TR>");
}

void THtmlWriter::WriteRow(const TCellText& cellText)
{
    BeginRow();
    for (std::size_t i = 0; i < m_cells.size(); ++i)
        WriteCell(i, cellText(static_cast<int>(i)));
    EndRow();
}

void THtmlWriter::BeginRow()
{
    m_stream.WriteBytes("<TR>");
}

namespace {

// Cells up to this many bytes with their markup are formed in place in the
// stream's buffer.
constexpr qsizetype kCellRoom = 64 * 1024;

char* Put(char* out, const QByteArray& bytes)
{
    std::memcpy(out, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return out + bytes.size();
}

} // namespace

void THtmlWriter::WriteCell(std::size_t column, QStringView text)
{
    const TCellFrame& frame = m_cells[column];
    if (text.isEmpty()) {
        m_stream.WriteBytes(frame.empty);
        return;
    }
    const qsizetype room = frame.open.size() + text.size() * TExportStream::kLongestEntity + frame.close.size();
    if (m_stream.Utf8() && room <= kCellRoom) {
        char* out = Put(m_stream.Room(room), frame.open);
        qsizetype done = 0;
        out = TExportStream::EscapeAscii(text, out, done);
        if (done == text.size()) {
            m_stream.Commit(Put(out, frame.close));
            return;
        }
        // The rest from its first non-ASCII character on, as WriteEscaped
        // would have taken it after that ASCII.
        m_stream.Commit(out);
        m_stream.WriteEscaped(text.sliced(done));
        m_stream.WriteBytes(frame.close);
        return;
    }
    m_stream.WriteBytes(frame.open);
    m_stream.WriteEscaped(text);
    m_stream.WriteBytes(frame.close);
}

void THtmlWriter::WriteAsciiCell(std::size_t column, std::string_view text)
{
    const TCellFrame& frame = m_cells[column];
    if (text.empty()) {
        m_stream.WriteBytes(frame.empty);
        return;
    }
    const qsizetype room = frame.open.size() + static_cast<qsizetype>(text.size()) * TExportStream::kLongestEntity
        + frame.close.size();
    if (m_stream.Utf8() && room <= kCellRoom) {
        char* out = Put(m_stream.Room(room), frame.open);
        out = TExportStream::EscapeAscii(text, out);
        m_stream.Commit(Put(out, frame.close));
        return;
    }
    m_stream.WriteBytes(frame.open);
    m_stream.WriteEscapedAscii(text);
    m_stream.WriteBytes(frame.close);
}

void THtmlWriter::EndRow()
{
    m_stream.WriteBytes("</TR>\r\n");
}

void THtmlWriter::WriteDocumentEnd()
{
    WriteLine("</TABLE>");
    if (m_plan.border)
        WriteLine("</TD></TR></TABLE>");
    WriteLine("</BODY>");
    WriteLine("</HTML>");
}
