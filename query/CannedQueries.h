#pragma once
// The ready-made server and database queries of the main window, as one
// table. Each entry names the control that triggers it (the toolbar button's
// main part or the menu item), its caption or hint, and the lines of its SQL
// text, sent as written, comment line included.

#include <QString>

#include <span>

struct TCannedQuery {
    const char* trigger;            // object name of the button or menu item
    const char16_t* caption;        // menu caption, or the button's hint
    std::span<const char16_t* const> lines;

    // The lines separated by a lone carriage return, no break after the
    // last: the editor text the entry puts into reQuery.
    [[nodiscard]] QString Text() const;
};

// Every entry with SQL, in menu order (tbName, tbSize, PopupMenu1, pmSize).
[[nodiscard]] std::span<const TCannedQuery> CannedQueries();
// The entry of `trigger`; raises Exception for a name without an entry.
[[nodiscard]] const TCannedQuery& CannedQuery(const char* trigger);
