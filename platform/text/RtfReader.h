#pragma once
// A reader for the text and character formatting of RTF documents. Parsing is
// pure and widget-free; a separate step (RtfDocument.h) writes the
// result into a QTextDocument. Images, objects, headers, footnotes and other
// non-text destinations are dropped.
//
// Any input is safe: parsing runs in time linear in the input, never reads
// outside it, caps the group nesting at kRtfMaxDepth and bounds every
// numeric parameter. The document holds at most a few times the input's
// size: past a budget that grows with the input, further changes of format
// are dropped (the text stays, in the run before) and further paragraph
// breaks become line breaks (U+2028). A document reaches it only with, on
// average, more than one run per 22 input bytes or one paragraph per 30. Input that does not start with "{\rtf" (after optional
// white space), that nests too deep, or whose groups are unbalanced or cut
// short is refused, so the caller can fall back to plain text.

#include <QString>

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

inline constexpr int kRtfMaxDepth = 1000;

struct TRtfColor {
    std::uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const TRtfColor&, const TRtfColor&) = default;
};

struct TRtfFormat {
    QString fontFamily;              // empty: the document's default font
    int fontSizeHalfPoints = 24;     // \fs; 24 is the RTF default (12 pt)
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    std::optional<TRtfColor> color;     // nullopt: the automatic text colour

    friend bool operator==(const TRtfFormat&, const TRtfFormat&) = default;
};

enum class TRtfAlignment { Left, Right, Center, Justify };

struct TRtfRun {
    QString text; // may hold '\t' and U+2028 (line break inside a paragraph)
    TRtfFormat format;
};

struct TRtfParagraph {
    std::vector<TRtfRun> runs; // adjacent runs always differ in format
    TRtfAlignment alignment = TRtfAlignment::Left;
    [[nodiscard]] QString Text() const;
};

// A document has at least one paragraph; "\par" at the very end leaves an
// empty last paragraph, as a rich-edit control shows it.
struct TRtfDocument {
    std::vector<TRtfParagraph> paragraphs;
    // Paragraphs joined with '\n'.
    [[nodiscard]] QString PlainText() const;
};

// Parses `bytes`; nullopt when the input is refused (see above).
[[nodiscard]] std::optional<TRtfDocument> ParseRtf(std::string_view bytes);
