#pragma once
// The cursor of a dataset and its record window: the current record among
// [0, Count()) logical positions, Bof/Eof, and the window [Top(), Top() +
// WindowSize()) clipped to the records, which data-aware controls read.
//
// Every move scrolls the window the least amount that shows the current
// record and keeps the window full where the records allow. A move reports
// what the links must hear: nothing, a scroll by a distance, or a change.
// Widget-free.

#include <cstddef>

// What a cursor move means for the links of the dataset.
struct TWindowNotice {
    enum Kind { None, Scrolled, Changed };
    Kind kind = None;
    // Scrolled: old first row minus new first row (negative: the window moved
    // towards the end), at most the window size in magnitude.
    int distance = 0;
    friend bool operator==(const TWindowNotice&, const TWindowNotice&) = default;
};

struct TCursorStep {
    int moved = 0;                 // records moved, signed
    TWindowNotice notice;
    friend bool operator==(const TCursorStep&, const TCursorStep&) = default;
};

class TRecordCursor {
public:
    // `count` records, the first one current and the window at the top; Bof,
    // and Eof when there is no record. The window size is kept.
    void Reset(std::size_t count);

    [[nodiscard]] std::size_t Count() const { return m_count; }
    // Logical position of the current record; 0 while there is none.
    [[nodiscard]] std::size_t Current() const { return m_cur; }
    [[nodiscard]] bool Bof() const { return m_bof; }
    [[nodiscard]] bool Eof() const { return m_eof; }

    [[nodiscard]] std::size_t Top() const { return m_top; }
    [[nodiscard]] int WindowSize() const { return m_size; }
    // Records inside the window: min(WindowSize(), Count() - Top()).
    [[nodiscard]] int WindowRecords() const;
    // Window row of the current record.
    [[nodiscard]] int CursorRow() const { return static_cast<int>(m_cur - m_top); }
    // Window row that field reads serve: the cursor's unless SetActiveRow
    // chose another; any move or edit of the records resets it.
    [[nodiscard]] int ActiveRow() const { return m_activeRow >= 0 ? m_activeRow : CursorRow(); }
    [[nodiscard]] std::size_t ActiveLogical() const { return m_top + static_cast<std::size_t>(ActiveRow()); }
    // Ignored for a row outside [0, WindowRecords()).
    void SetActiveRow(int row);
    // Field reads serve the cursor's row again.
    void ResetActiveRow() { m_activeRow = -1; }
    // Resizes the window (to at least 1) and fits it; false when the size
    // did not change.
    bool SetWindowSize(int size);

    TWindowNotice First();
    TWindowNotice Last();
    // Moves up to `distance` records; Eof (Bof) when it was stopped by the
    // last (first) record. From Eof forward or Bof backward nothing moves.
    TCursorStep MoveBy(int distance);
    // 1-based record number, clamped to the records.
    TWindowNotice MoveToRecNo(int recNo);
    // A record found by its bookmark; clears Bof and Eof.
    TWindowNotice MoveTo(std::size_t logical);

    // A record came in at `logical` (clamped to Count()) and is current;
    // Bof and Eof stay as they were.
    void Inserted(std::size_t logical);
    // A record came in at the end and is current; Eof.
    void Appended();
    // The current record left; the one after it (or the new last) is current.
    void Removed();

private:
    TWindowNotice Go(std::size_t logical, bool bof, bool eof);
    void Fit();

    std::size_t m_count = 0;
    std::size_t m_cur = 0;
    std::size_t m_top = 0;
    bool m_bof = true;
    bool m_eof = true;
    int m_size = 1;
    int m_activeRow = -1;          // -1: the cursor's row
};
