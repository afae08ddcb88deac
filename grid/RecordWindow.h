#pragma once
// Record-window arithmetic: rows that fit, the vertical scroll bar's values
// and what a scroll command does to the dataset. Widget-free.

struct TWindowRows {
    int visible = 1;               // VisibleRowCount: whole rows, at least 1
    int partial = 1;               // PartialRowCount: with a cut last row, at least 1
};

[[nodiscard]] TWindowRows MeasureRows(int dataAreaHeight, int rowHeight);

struct TScrollInfo {
    int min = 0;
    int max = 4;
    int page = 0;
    int position = 0;
    friend bool operator==(const TScrollInfo&, const TScrollInfo&) = default;
};

// What the scroll bar knows of the dataset.
struct TScrollSource {
    bool usable = false;           // link active, dataset open, grid has a window
    bool sequenced = false;        // record numbers available
    bool bof = false;
    bool eof = false;
    int recordCount = 0;
    int visibleRowCount = 1;
    // Current record number; -1 when unknown (no number, insert state or the
    // dataset raised while asked).
    int recNo = -1;
};

[[nodiscard]] TScrollInfo ComputeWindowScrollInfo(const TScrollSource& s);

enum class TScrollCommand { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom, EndScroll };

// A dataset move; kind None leaves the dataset alone.
struct TDataSetMove {
    enum Kind { None, First, Last, By, RecNo };
    Kind kind = None;
    int value = 0;                 // By: distance; RecNo: record number
    friend bool operator==(const TDataSetMove&, const TDataSetMove&) = default;
};

struct TScrollCommandSource {
    int activeRecord = 0;          // window row of the current record
    int windowRecordCount = 0;
    int visibleRowCount = 1;
    bool sequenced = false;
    int recordCount = 0;
    int thumbPosition = 0;         // tracking position when the thumb was released
};

[[nodiscard]] TDataSetMove ScrollCommandMove(TScrollCommand command, const TScrollCommandSource& s);

// How a window move of `distance` rows (negative: forward) is shown:
// repaint everything, or scroll the painted rows by `scrollPixels`.
struct TScrolledRepaint {
    bool repaintAll = false;
    int scrollPixels = 0;
};

[[nodiscard]] TScrolledRepaint ScrolledRepaint(int distance, int visibleRowCount, int rowHeight);
