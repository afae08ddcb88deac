#include "export/dxDBGridExport.h"

#include "grid/dxDBGrid.h"
#include "platform/core/Failure.h"

#include <exception>

namespace {

// Colours of the document: resolved now, none written as black.
std::uint32_t Bgr(TGridColor color)
{
    const std::uint32_t v = ColorToWin32(color);
    return v == TColor::kNoneValue ? 0u : v;
}

TFontStyle StyleOf(const QFont& font)
{
    return {font.bold(), font.italic(), font.underline(), font.strikeOut()};
}

THtmlFont HtmlFont(const QFont& font, TGridColor color, int dpi)
{
    return {font.family(), FontPoints(font.pointSizeF(), font.pixelSize(), dpi), Bgr(color), StyleOf(font)};
}

THtmlStyleLine StyleLine(const THtmlFont& font, std::uint32_t color)
{
    return {font.face, font.points, color};
}

// Puts the current record back on window row `row` (the grid's node), so
// the grid shows the same top record as before: moving to the record that
// must stand at the far edge of the window scrolls it the least amount.
void RestoreWindowRow(TDataSet& ds, int row)
{
    const int now = ds.WindowActiveRecord();
    if (now == row)
        return;
    const int reach = now > row ? ds.WindowBufferCount() - 1 - row : -row;
    const int moved = ds.MoveBy(reach);
    ds.MoveBy(-moved);
}

} // namespace

// ---- TdxDBGridExport ----

void TdxDBGridExport::Write(QStringView text)
{
    if (!text.isEmpty())
        Stream->WriteText(text);
}

void TdxDBGridExport::WriteLine(QStringView text)
{
    Write(text);
    Stream->WriteBytes("\r\n");
}

void TdxDBGridExport::SaveToFile()
{
    Stream = std::make_unique<TExportStream>(FileName);
    try {
        SaveToStream();
        Stream->Close();
    } catch (...) {
        Stream.reset();   // flushes what it still holds, silently
        throw;
    }
    Stream.reset();
}

void TdxDBGridExport::SaveToStream()
{
    TDataSource* source = Grid ? Grid->DataSource() : nullptr;
    TDataSet* ds = source ? source->DataSet() : nullptr;
    if (!ds)
        return;

    ds->DisableControls();
    const bool active = ds->Active();
    const TBookmark bookmark = active ? ds->GetBookmark() : TBookmark{};
    const int topRow = active ? ds->WindowActiveRecord() : 0;

    std::exception_ptr failure;
    bool begun = false;
    try {
        WriteDocumentBegin();
        begun = true;
        WriteHeaderRows();
        ds->First();
        while (!ds->Eof()) {
            WriteRow();
            ds->Next();
        }
        WriteFooterRow();
    } catch (...) {
        failure = std::current_exception();
    }
    if (begun) {
        try {
            WriteDocumentEnd();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    try {
        if (!bookmark.IsEmpty() && ds->Active() && ds->BookmarkValid(bookmark)) {
            ds->GotoBookmark(bookmark);
            RestoreWindowRow(*ds, topRow);
        }
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    ds->EnableControls();
    if (failure)
        std::rethrow_exception(failure);
}

// ---- TdxDBGridExportHTML ----

THtmlWriter& TdxDBGridExportHTML::Writer()
{
    if (!m_writer)
        throw Exception(QStringLiteral("The HTML document has not begun"));
    return *m_writer;
}

void TdxDBGridExportHTML::WriteDocumentBegin()
{
    m_fields.clear();
    m_stored.clear();
    for (int i = 0, n = Grid->VisibleColumnCount(); i < n; ++i) {
        m_fields.push_back(Grid->VisibleColumn(i)->Field());
        m_stored.emplace_back(m_fields.back());
    }
    m_writer.emplace(*Stream, GridHtmlPlan(*Grid));
    m_writer->WriteDocumentBegin();
}

void TdxDBGridExportHTML::WriteHeaderRows() { Writer().WriteHeaderRows(); }

void TdxDBGridExportHTML::WriteRow()
{
    THtmlWriter& writer = Writer();
    const TFormatSettings& settings = CurrentFormatSettings();
    writer.BeginRow();
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        const TField* field = m_fields[i];
        const TStoredText formed = m_stored[i].Valid() ? m_stored[i].Form(m_text, settings) : TStoredText::General;
        if (formed == TStoredText::Ascii)
            writer.WriteAsciiCell(i, m_text.ascii);
        else if (formed == TStoredText::Units)
            writer.WriteCell(i, QStringView(m_text.units.constData(), m_text.units.size()));
        else
            writer.WriteCell(i, field ? field->DisplayText() : QString());
    }
    writer.EndRow();
}

// The grid never shows a summary footer.
void TdxDBGridExportHTML::WriteFooterRow() {}

void TdxDBGridExportHTML::WriteDocumentEnd() { Writer().WriteDocumentEnd(); }

// ---- the grid's side ----

THtmlPlan GridHtmlPlan(const TdxDBGrid& grid)
{
    const int dpi = grid.logicalDpiY();
    // The grid keeps one text colour for all its fonts; band headers use the
    // grid's font, like the header font does until it is set.
    const THtmlFont font = HtmlFont(grid.font(), grid.FontColor(), dpi);
    const THtmlFont headerFont = HtmlFont(grid.HeaderFont(), grid.FontColor(), dpi);

    THtmlPlan plan;
    plan.title = grid.objectName();
    plan.band = StyleLine(font, font.color);
    plan.header = StyleLine(headerFont, headerFont.color);
    plan.footer = StyleLine(font, font.color);
    plan.rowFooter = StyleLine(font, Bgr(clWindowText));   // RowFooterTextColor
    plan.group = StyleLine(font, Bgr(clNone));             // GroupNodeTextColor
    plan.headerFont = headerFont;
    plan.border = grid.frameShape() != QFrame::NoFrame;
    plan.showGrid = grid.ShowGrid();
    plan.ctl3D = true;
    plan.showHeader = grid.ShowHeader();
    plan.headerColor = Bgr(grid.HeaderColor());

    const TGridLayout layout = grid.ComputeLayout();
    const int count = grid.VisibleColumnCount();
    for (int i = 0; i < count; ++i) {
        const TdxDBGridColumn* c = grid.VisibleColumn(i);
        THtmlColumn column;
        column.width = static_cast<int>(layout.columns.size()) == count
            ? layout.columns[static_cast<std::size_t>(i)].right - layout.columns[static_cast<std::size_t>(i)].left
            : c->Width();
        column.headerAlignment = c->HeaderAlignment();
        column.caption = c->DisableCaption() ? QString() : c->Caption();
        column.alignment = c->Alignment();
        column.color = Bgr(c->Color());
        column.font = HtmlFont(c->Font(), grid.FontColor(), dpi);
        plan.columns.push_back(std::move(column));
    }
    return plan;
}

void SaveToHTML(TdxDBGrid& grid, const QString& fileName)
{
    TdxDBGridExportHTML exporter;
    exporter.FileName = fileName;
    exporter.Grid = &grid;
    exporter.SaveToFile();
}
