// The HTML writer's document is well formed for any cell text. The input is
// UTF-16LE (so lone surrogates occur); unit 0x001F ends a cell, 0x001E a
// row; the first row is the column captions. The whole document must equal
// the frame around the rows, each row holding exactly its cells in order,
// each cell's text escaped (& < > ") and encoded on its own (an unpaired
// surrogate is U+FFFD in its own cell), an empty text as &nbsp;.

#include "export/ExportStream.h"
#include "export/HtmlWriter.h"
#include "tests/export/ExpectedHtml.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr int kMaxColumns = 8;

QString OutputPath()
{
    // A memory file system where there is one: the target writes a file per input.
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        return QFileInfo(shm).isWritable() ? std::make_unique<QTemporaryDir>(shm + QStringLiteral("/bqa-fuzz-XXXXXX"))
                                           : std::make_unique<QTemporaryDir>();
    }();
    return dir->filePath(QStringLiteral("out.html"));
}

THtmlPlan Plan(const QStringList& captions)
{
    const THtmlStyleLine line{QStringLiteral("MS Sans Serif"), 8, 0};
    THtmlPlan plan;
    plan.title = QStringLiteral("dxDBGridRes");
    plan.band = plan.header = plan.footer = plan.rowFooter = plan.group = line;
    plan.headerFont = {QStringLiteral("MS Sans Serif"), 8, 0, {}};
    plan.headerColor = 0xC0C0C0;
    for (const QString& caption : captions) {
        THtmlColumn c;
        c.width = 200;
        c.caption = caption;
        c.color = 0xFFFFFF;
        c.font = plan.headerFont;
        plan.columns.push_back(c);
    }
    return plan;
}

QByteArray Document(const THtmlPlan& plan, const std::vector<QStringList>& rows)
{
    {
        TExportStream stream(OutputPath());
        THtmlWriter writer(stream, plan);
        writer.WriteDocumentBegin();
        writer.WriteHeaderRows();
        for (const QStringList& row : rows)
            writer.WriteRow([&row](int column) { return row.value(column); });
        writer.WriteDocumentEnd();
        stream.Close();
    }
    QFile f(OutputPath());
    FUZZ_CHECK(f.open(QIODevice::ReadOnly));
    return f.readAll();
}

// The text as the document must hold it, worked out apart from the writer.
QByteArray Expected(const QString& text)
{
    if (text.isEmpty())
        return "&nbsp;";
    QString s;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            s += c;
            s += text[++i];
        } else if (c.isSurrogate()) {
            s += QChar(QChar::ReplacementCharacter);
        } else if (c == u'&') {
            s += QLatin1String("&amp;");
        } else if (c == u'<') {
            s += QLatin1String("&lt;");
        } else if (c == u'>') {
            s += QLatin1String("&gt;");
        } else if (c == u'"') {
            s += QLatin1String("&quot;");
        } else {
            s += c;
        }
    }
    return s.toUtf8();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<QStringList> rows(1);
    rows.back().append(QString());
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const char16_t u = char16_t(data[i] | (data[i + 1] << 8));
        if (u == 0x1E) {
            rows.emplace_back();
            rows.back().append(QString());
        } else if (u == 0x1F) {
            rows.back().append(QString());
        } else {
            rows.back().last() += QChar(u);
        }
    }
    QStringList captions = rows.front().mid(0, kMaxColumns);
    rows.erase(rows.begin());
    const THtmlPlan plan = Plan(captions);

    const QByteArray empty = Document(plan, {});
    const QByteArray tail = expected_html::kTail;
    FUZZ_CHECK(empty.endsWith(tail));
    QByteArray want = empty.chopped(tail.size());

    QByteArray header = "<TR VALIGN=\"TOP\" class=\"Header\" BGCOLOR=#C0C0C0>";
    for (const QString& caption : captions)
        header += "<TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">" + Expected(caption) + "</TD>";
    header += "</TR>\r\n";
    FUZZ_CHECK(want.endsWith(header));
    FUZZ_CHECK(want.count("<TR") == 2); // the frame's and the header's

    for (const QStringList& row : rows) {
        want += "<TR>";
        for (qsizetype c = 0; c < captions.size(); ++c)
            want += expected_html::LeftCell(Expected(row.value(c)));
        want += "</TR>\r\n";
    }
    want += tail;
    FUZZ_CHECK(Document(plan, rows) == want);
    return 0;
}
