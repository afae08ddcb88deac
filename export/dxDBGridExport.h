#pragma once
// Export of the result grid as the grid presents it. TdxDBGridExport owns
// the output file and walks the records, calling the writing hooks in a
// fixed order; TdxDBGridExportHTML writes them as HTML 3.2.
//
// User-interface thread only; the walk does not yield to the message loop.

#include "export/ExportStream.h"
#include "export/HtmlWriter.h"
#include "platform/data/MemDataSet.h"

#include <QString>

#include <memory>
#include <optional>

class TdxDBGrid;

class TdxDBGridExport {
public:
    TdxDBGridExport() = default;
    virtual ~TdxDBGridExport() = default;
    TdxDBGridExport(const TdxDBGridExport&) = delete;
    TdxDBGridExport& operator=(const TdxDBGridExport&) = delete;

    QString FileName;
    TdxDBGrid* Grid = nullptr;              // not owned
    std::unique_ptr<TExportStream> Stream;  // open only inside SaveToFile

    // The hooks, in the order the walk calls them; each does nothing here.
    virtual void WriteDocumentBegin() {}
    virtual void WriteDocumentEnd() {}
    virtual void WriteHeaderRows() {}
    virtual void WriteFooterRow() {}
    // Once per record, the dataset positioned on it.
    virtual void WriteRow() {}
    // Creates FileName (emptying an existing file) and runs SaveToStream;
    // the file is closed also when that fails, keeping what was written.
    virtual void SaveToFile();
    // The walk over every record of the grid's dataset, its notifications
    // suspended; the current record and the grid's top row are back in
    // place afterwards, also after a failure, which then passes on.
    virtual void SaveToStream();

    void Write(QStringView text);
    void WriteLine(QStringView text);
};

class TdxDBGridExportHTML : public TdxDBGridExport {
public:
    void WriteDocumentBegin() override;
    void WriteDocumentEnd() override;
    void WriteHeaderRows() override;
    void WriteFooterRow() override;
    void WriteRow() override;

private:
    THtmlWriter& Writer();

    std::optional<THtmlWriter> m_writer;   // formed at the document's start
    std::vector<TField*> m_fields;         // bound field per shown column
    // The same fields read from their store where they allow it.
    std::vector<TStoredFieldText> m_stored;
    TDisplayBuffer m_text;
};

// The grid's fonts, colours and shown columns as the HTML document uses
// them, colours resolved through the scheme in force now.
[[nodiscard]] THtmlPlan GridHtmlPlan(const TdxDBGrid& grid);

// Exports every record of the grid's dataset to `fileName` as HTML.
void SaveToHTML(TdxDBGrid& grid, const QString& fileName);
