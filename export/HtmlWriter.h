#pragma once
// The HTML 3.2 document of an exported result, written fragment by fragment
// into a TExportStream. Widget-free: the writer reads a plan of plain values
// (fonts, colours, columns) that the grid side gathers once per export, and
// the cell texts of one record at a time.
//
// Captions and cell texts are escaped (& < > "), so a value never turns into
// markup; an empty text becomes "&nbsp;". Every line ends with CR LF.

#include "query/DataSet.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

class TExportStream;

// Six upper-case hex digits RRGGBB of a colour held as 0x00BBGGRR.
[[nodiscard]] QByteArray HtmlColor(std::uint32_t bgr);

struct TFontStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

struct TStyleTags {
    QByteArray open;    // <B><I><U><STRIKE>, those that apply
    QByteArray close;   // the same, closing in reverse order
};
[[nodiscard]] TStyleTags FontStyleTags(TFontStyle style);

// "LEFT", "RIGHT" or "CENTER".
[[nodiscard]] QByteArray AlignmentKeyword(TAlignment alignment);

// A font's size in whole points: `pointSize` when given (> 0), else the
// pixel height `pixelSize` at `dpi`, rounded to the nearest point (11 pixels
// at 96 dpi is 8 pt).
[[nodiscard]] int FontPoints(double pointSize, int pixelSize, int dpi);

struct THtmlFont {
    QString face;
    int points = 8;
    std::uint32_t color = 0;     // 0x00BBGGRR
    TFontStyle style;
};

// A style line of the head: face and size of one font, colour of another.
struct THtmlStyleLine {
    QString face;
    int points = 8;
    std::uint32_t color = 0;
};

struct THtmlColumn {
    int width = 0;                         // laid-out width in pixels
    TAlignment headerAlignment = taLeftJustify;
    QString caption;                       // empty: the header shows &nbsp;
    TAlignment alignment = taLeftJustify;  // record cells
    std::uint32_t color = 0;               // record cell background
    THtmlFont font;                        // record cell font
};

struct THtmlPlan {
    QString title;
    THtmlStyleLine band, header, footer, rowFooter, group;
    THtmlFont headerFont;                  // header caption style tags
    bool border = true;                    // the one-cell frame table
    bool showGrid = true;
    bool ctl3D = true;
    bool showHeader = true;
    std::uint32_t headerColor = 0;
    std::vector<THtmlColumn> columns;      // shown columns, display order
};

// The table attributes of the data table for ShowGrid and Ctl3D.
[[nodiscard]] QByteArray TableAttributes(bool showGrid, bool ctl3D);

class THtmlWriter {
public:
    // The cell text of the current record for plan column `column`.
    using TCellText = std::function<QString(int column)>;

    THtmlWriter(TExportStream& stream, THtmlPlan plan);

    // Doctype to the opening of the data table.
    void WriteDocumentBegin();
    // The header row, when the plan shows the header.
    void WriteHeaderRows();
    // One record row; `cellText` is asked once per column, in order.
    void WriteRow(const TCellText& cellText);
    // The same row in pieces: BeginRow, then WriteCell or WriteAsciiCell
    // once per column in order, then EndRow.
    void BeginRow();
    void WriteCell(std::size_t column, QStringView text);
    // `text` all below 0x80.
    void WriteAsciiCell(std::size_t column, std::string_view text);
    void EndRow();
    // Closing tags of the tables and the document.
    void WriteDocumentEnd();

    [[nodiscard]] const THtmlPlan& Plan() const { return m_plan; }

private:
    // Fixed bytes around a record cell's content, formed once per export.
    struct TCellFrame {
        QByteArray open;        // <TD ...><FONT STYLE="..."> and the style tags before a non-empty text
        QByteArray close;       // after a non-empty text
        QByteArray empty;       // the whole cell of an empty text
    };

    void WriteLine(QByteArrayView bytes);
    void WriteStyleLine(const char* prefix, const THtmlStyleLine& line);

    TExportStream& m_stream;
    THtmlPlan m_plan;
    std::vector<TCellFrame> m_cells;
};
