#pragma once
// Writes a parsed RTF document into a QTextDocument (Qt Gui).

#include "platform/text/RtfReader.h"

#include <QByteArrayView>
#include <QTextCharFormat>

class QTextCursor;
class QTextDocument;

// The Qt forms of a paragraph's alignment and of a run's format.
[[nodiscard]] Qt::Alignment RtfAlignment(TRtfAlignment alignment);
[[nodiscard]] QTextCharFormat RtfCharFormat(const TRtfFormat& format);
// Inserts the paragraphs at `cursor`, the first into the cursor's block.
void InsertRtf(const TRtfDocument& document, QTextCursor& cursor);
// Replaces the whole content of `out` with `document`.
void LoadRtf(const TRtfDocument& document, QTextDocument& out);
// Parses `bytes` and on success replaces the content of `out`; on refusal
// returns false and leaves `out` untouched.
bool ReadRtf(QByteArrayView bytes, QTextDocument& out);
