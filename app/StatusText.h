#pragma once
// What the status bar shows and where: the connection string with its
// passwords masked, and the text placed inside the bar's sunken panel.
// Widget-free.

#include <QRect>
#include <QString>

inline constexpr char16_t kPasswordMask[] = u"*****";

// `text` with the value of every "PWD" and "Password" keyword (any case,
// blanks around the key allowed) replaced by kPasswordMask; everything else
// is kept as written. A braced value ends at its closing "}" ("}}" stands
// for one "}"), any other value at the next ";". Garbled text is masked as
// far as it reads; an unclosed brace masks the rest of the text.
[[nodiscard]] QString MaskConnectionPasswords(const QString& text);

struct TStatusPanelPlace {
    QRect panel;   // the sunken frame
    QRect text;    // where text may paint (clip)
    int baseline = 0;
};

// The panel of a bar of `bar` pixels: 2 pixels off the top edge, a 1-pixel
// frame and 2 pixels of margin left and right inside it. The text line of
// height ascent + descent is centred vertically inside the frame; when it
// is taller than the room, its descenders are kept and the top is cut.
[[nodiscard]] TStatusPanelPlace StatusPanelPlace(QSize bar, int ascent, int descent);
