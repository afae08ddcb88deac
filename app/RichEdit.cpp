#include "app/RichEdit.h"

#include "platform/text/CodePage.h"
#include "platform/core/Failure.h"
#include "platform/text/RtfDocument.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <QUtf8StringView>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

namespace {

// Set on the block format of a block that continues the line before it.
constexpr int kContinuesLine = QTextFormat::UserProperty + 1;

// Bytes decoded and inserted between two looks at the clock and the events.
constexpr qsizetype kSliceBytes = qsizetype(1) << 20;
// Slices between two returns of the freed heap to the system during a load.
constexpr int kTrimEverySlices = 4;
// Enough of a file's start to see an RTF header after white space.
constexpr qint64 kRtfHeadBytes = 4096;
// A display break goes after the last space or tab within this many
// characters of the piece's end, when there is one.
constexpr int kBreakLookBack = 200;

// Line breaks and NULs in place: CR LF, CR and LF become "\n", NUL U+FFFD.
void NormaliseBreaks(QString& text)
{
    QChar* out = text.data();
    const QChar* in = out;
    const QChar* const end = in + text.size();
    while (in != end) {
        const QChar c = *in++;
        if (c == u'\r') {
            *out++ = u'\n';
            if (in != end && *in == u'\n')
                ++in;
        } else if (c.unicode() == 0) {
            *out++ = QChar::ReplacementCharacter;
        } else {
            *out++ = c;
        }
    }
    text.truncate(out - text.constData());
}

[[nodiscard]] bool IsSingleByte(int codePage)
{
    return codePage == 1250 || codePage == 1251 || codePage == 1252 || codePage == 28591 || codePage == 20127;
}

[[nodiscard]] bool IsContinuation(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// Whether everything `device` holds from its start is valid UTF-8, read a
// slice at a time; the device is back at its start afterwards.
[[nodiscard]] bool IsUtf8(QIODevice& device)
{
    QByteArray carry;
    bool valid = true;
    while (valid) {
        QByteArray slice = device.read(kSliceBytes);
        if (slice.isEmpty())
            break;
        slice.prepend(carry);
        // A character cut at the slice's end waits for the next slice.
        qsizetype cut = slice.size();
        for (int back = 0; back < 3 && cut > 0 && IsContinuation(slice[cut - 1]); ++back)
            --cut;
        if (cut > 0 && (static_cast<unsigned char>(slice[cut - 1]) & 0xC0) == 0xC0)
            --cut;
        carry = slice.sliced(cut);
        valid = QUtf8StringView(QByteArrayView(slice).first(cut)).isValidUtf8();
    }
    valid = valid && QUtf8StringView(carry).isValidUtf8();
    device.seek(0);
    return valid;
}

} // namespace

// Plain text decoded a slice at a time from a file or from bytes: UTF-8 when
// the whole is valid UTF-8, else the ANSI code page. A slice never ends
// inside a character or between CR and LF, so the whole is never held.
class TRichEdit::TPlainSource {
public:
    explicit TPlainSource(std::unique_ptr<QIODevice> device)
        : m_device(std::move(device)), m_size(m_device->size()), m_utf8(IsUtf8(*m_device)),
          m_codePage(AnsiCodePage())
    {}
    [[nodiscard]] bool AtEnd() const { return m_device->atEnd(); }
    [[nodiscard]] double Done() const { return m_size <= 0 ? 1.0 : double(m_device->pos()) / double(m_size); }

    [[nodiscard]] QString Next()
    {
        QByteArray slice = m_utf8 || IsSingleByte(m_codePage) ? m_device->read(kSliceBytes) : m_device->readAll();
        while (!slice.isEmpty() && !m_device->atEnd()) {
            const QByteArray next = m_device->peek(1);
            if (next.isEmpty() || !(slice.back() == '\r' || (m_utf8 && IsContinuation(next[0]))))
                break;
            slice += m_device->read(1);
        }
        if (slice.isEmpty() && !m_device->atEnd())
            throw Exception(QStringLiteral("Failed to Load Stream"));
        QString text = m_utf8 ? m_decoder.decode(slice)
                              : DecodeCodePage(m_codePage, std::string_view(slice.constData(), std::size_t(slice.size())));
        NormaliseBreaks(text);
        return text;
    }

private:
    std::unique_ptr<QIODevice> m_device;
    qint64 m_size;
    bool m_utf8;
    int m_codePage;
    QStringDecoder m_decoder{QStringDecoder::Utf8};   // skips a leading BOM only
};

namespace {

[[nodiscard]] QTextBlockFormat Continuing(QTextBlockFormat format)
{
    format.setProperty(kContinuesLine, true);
    return format;
}

[[nodiscard]] QTextBlockFormat Starting(QTextBlockFormat format)
{
    format.clearProperty(kContinuesLine);
    return format;
}

// Writes text at the end of a document, lines longer than
// TRichEdit::kDisplayLineChars in blocks of their own (display breaks).
class TLineWriter {
public:
    explicit TLineWriter(QTextCursor& cursor) : m_cursor(cursor)
    {
        m_paragraph = Starting(cursor.blockFormat());
        m_lineChars = cursor.positionInBlock();
        m_continuing = TRichEdit::ContinuesLine(cursor.block());
    }

    // `text` may hold '\n', each a paragraph break.
    void Write(QStringView text, const QTextCharFormat& format)
    {
        qsizetype batch = 0;   // start of lines not yet written
        qsizetype lineChars = m_lineChars;
        for (qsizetype at = 0; at <= text.size();) {
            qsizetype eol = text.indexOf(u'\n', at);
            const bool last = eol < 0;
            if (last)
                eol = text.size();
            // Whole short lines go in one insert while the block is no
            // continuation: the blocks it makes copy the block's format.
            if (!m_continuing && lineChars + (eol - at) <= TRichEdit::kDisplayLineChars) {
                lineChars = last ? lineChars + (eol - at) : 0;
                at = eol + 1;
                continue;
            }
            Insert(text.sliced(batch, at - batch), format);
            m_lineChars = lineChars;
            WriteLine(text.sliced(at, eol - at), format);
            if (!last)
                Break(m_paragraph, format);
            lineChars = m_lineChars;
            at = eol + 1;
            batch = std::min(at, text.size());
        }
        if (batch < text.size())
            Insert(text.sliced(batch), format);
        m_lineChars = lineChars;
    }

    // A paragraph break; the new paragraph takes `format`.
    void Break(const QTextBlockFormat& format, const QTextCharFormat& charFormat = QTextCharFormat())
    {
        m_paragraph = Starting(format);
        m_cursor.insertBlock(m_paragraph, charFormat);
        m_lineChars = 0;
        m_continuing = false;
    }

    // The format of the paragraph being written.
    void SetParagraph(const QTextBlockFormat& format)
    {
        m_paragraph = Starting(format);
        m_cursor.setBlockFormat(m_continuing ? Continuing(m_paragraph) : m_paragraph);
    }

private:
    void Insert(QStringView text, const QTextCharFormat& format)
    {
        if (!text.isEmpty())
            m_cursor.insertText(text.toString(), format);
    }

    void WriteLine(QStringView line, const QTextCharFormat& format)
    {
        while (!line.isEmpty()) {
            if (m_lineChars >= TRichEdit::kDisplayLineChars) {
                m_cursor.insertBlock(Continuing(m_paragraph), format);
                m_lineChars = 0;
                m_continuing = true;
            }
            qsizetype take = std::min<qsizetype>(line.size(), TRichEdit::kDisplayLineChars - m_lineChars);
            if (take < line.size()) {
                for (qsizetype i = take; i > 0 && i > take - kBreakLookBack; --i)
                    if (line[i - 1] == u' ' || line[i - 1] == u'\t') {
                        take = i;
                        break;
                    }
                if (take > 1 && line[take - 1].isHighSurrogate())
                    --take;
            }
            Insert(line.first(take), format);
            line = line.sliced(take);
            // More of the line goes into the next piece, even when this one
            // ended early at a space or before a surrogate pair.
            m_lineChars = line.isEmpty() ? m_lineChars + int(take) : TRichEdit::kDisplayLineChars;
        }
    }

    QTextCursor& m_cursor;
    QTextBlockFormat m_paragraph;
    int m_lineChars = 0;
    bool m_continuing = false;
};

// A load into the editor's own document in steps. The new content goes after
// a paragraph break behind the old, all in one edit block, so the layout sees
// nothing until the end: Finish removes the old content, Cancel the new. With
// an undo history the load is recorded and a cancel undoes it; without one
// nothing is recorded.
class TDocumentLoad {
public:
    TDocumentLoad(QTextDocument& doc, TRtfDocument rtf, std::unique_ptr<TRichEdit::TPlainSource> plain)
        : m_doc(doc), m_cursor(&doc), m_keepHistory(doc.isUndoAvailable() || doc.isRedoAvailable()),
          m_undo(doc.isUndoRedoEnabled()), m_plain(std::move(plain)), m_rtf(std::move(rtf))
    {
        if (!m_keepHistory)
            m_doc.setUndoRedoEnabled(false);
        m_cursor.beginEditBlock();
        m_cursor.movePosition(QTextCursor::End);
        m_cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        m_start = m_cursor.position();
        m_writer.emplace(m_cursor);
    }
    TDocumentLoad(const TDocumentLoad&) = delete;
    TDocumentLoad& operator=(const TDocumentLoad&) = delete;
    ~TDocumentLoad()
    {
        if (!m_ended)
            Cancel();
    }

    // One slice; false when all is written.
    [[nodiscard]] bool Step()
    {
        if (m_plain) {
            if (m_plain->AtEnd())
                return false;
            const QString text = m_plain->Next();
            m_writer->Write(text, QTextCharFormat());
            return !m_plain->AtEnd();
        }
        const std::size_t count = m_rtf.paragraphs.size();
        qsizetype written = 0;
        while (m_paragraph < count && written < kSliceBytes) {
            const TRtfParagraph& paragraph = m_rtf.paragraphs[m_paragraph];
            QTextBlockFormat format;
            format.setAlignment(RtfAlignment(paragraph.alignment));
            if (m_paragraph == 0)
                m_writer->SetParagraph(format);
            else
                m_writer->Break(format);
            for (const TRtfRun& run : paragraph.runs) {
                m_writer->Write(run.text, RtfCharFormat(run.format));
                written += run.text.size();
            }
            ++m_paragraph;
        }
        return m_paragraph < count;
    }

    [[nodiscard]] double Done() const
    {
        if (m_plain)
            return m_plain->Done();
        return m_rtf.paragraphs.empty() ? 1.0 : double(m_paragraph) / double(m_rtf.paragraphs.size());
    }

    void Finish()
    {
        m_ended = true;
        // The first new block takes the place of the old first block, whose
        // formats the merge would keep.
        const QTextBlock first = m_doc.findBlock(m_start);
        const QTextBlockFormat format = first.blockFormat();
        const QTextCharFormat charFormat = first.charFormat();
        QTextCursor old(&m_doc);
        old.setPosition(m_start, QTextCursor::KeepAnchor);
        old.removeSelectedText();
        old.setBlockFormat(format);
        old.setBlockCharFormat(charFormat);
        m_cursor.endEditBlock();
        // A load is no edit the user can undo.
        m_doc.setUndoRedoEnabled(false);
        m_doc.setUndoRedoEnabled(m_undo);
    }

    void Cancel()
    {
        m_ended = true;
        if (m_keepHistory) {
            m_cursor.endEditBlock();
            m_doc.undo();
            m_doc.clearUndoRedoStacks(QTextDocument::RedoStack);
            return;
        }
        m_cursor.setPosition(m_start - 1);
        m_cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        m_cursor.removeSelectedText();
        m_cursor.endEditBlock();
        m_doc.setUndoRedoEnabled(m_undo);
    }

private:
    QTextDocument& m_doc;
    QTextCursor m_cursor;
    bool m_keepHistory;
    bool m_undo;
    bool m_ended = false;
    int m_start = 0;
    std::unique_ptr<TRichEdit::TPlainSource> m_plain;   // null: the RTF document
    TRtfDocument m_rtf;
    std::size_t m_paragraph = 0;
    std::optional<TLineWriter> m_writer;
};

// The plain-text layout with each paragraph's own alignment. The base lays a
// block out with the document's default option; lines are aligned when they
// are drawn or hit-tested, after the block's bounding rectangle is asked for,
// so the block's alignment is put into its layout there.
class TAlignedPlainTextLayout final : public QPlainTextDocumentLayout {
public:
    using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

    [[nodiscard]] QRectF blockBoundingRect(const QTextBlock& block) const override
    {
        const QRectF rect = QPlainTextDocumentLayout::blockBoundingRect(block);
        if (QTextLayout* layout = block.isValid() ? block.layout() : nullptr) {
            const Qt::Alignment wanted = block.blockFormat().alignment() & Qt::AlignHorizontal_Mask;
            QTextOption option = layout->textOption();
            if (option.alignment() != wanted) {
                option.setAlignment(wanted);
                layout->setTextOption(option);
            }
        }
        return rect;
    }
};

// Gives the heap freed by a large load back to the system.
void ReturnFreedHeap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace

QString DecodePlainText(const QByteArray& bytes)
{
    QString text;
    if (QUtf8StringView(bytes).isValidUtf8())
        text = QStringDecoder(QStringDecoder::Utf8).decode(bytes);
    else
        text = DecodeCodePage(AnsiCodePage(), std::string_view(bytes.constData(), std::size_t(bytes.size())));
    NormaliseBreaks(text);
    return text;
}

TRichEdit::TRichEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    auto* doc = new QTextDocument(this);
    doc->setDocumentLayout(new TAlignedPlainTextLayout(doc));
    setDocument(doc);
    // Tab moves the focus; Enter inserts a line break.
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    document()->setUndoRedoEnabled(true);
}

bool TRichEdit::ContinuesLine(const QTextBlock& block)
{
    return block.isValid() && block.blockFormat().boolProperty(kContinuesLine);
}

QString TRichEdit::CommandText() const
{
    return TextBetween(0, document()->characterCount() - 1);
}

QString TRichEdit::TextBetween(int from, int to) const
{
    QString text;
    if (to <= from)
        return text;
    text.reserve(to - from);
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        const int start = block.position();
        if (start > from && !ContinuesLine(block))
            text += u'\n';
        const QString blockText = block.text();
        const int begin = std::max(from - start, 0);
        const int end = std::min<int>(to - start, int(blockText.size()));
        if (end > begin)
            text += QStringView(blockText).sliced(begin, end - begin);
    }
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

int TRichEdit::TextLength() const
{
    int breaks = 0;
    for (QTextBlock block = document()->firstBlock().next(); block.isValid(); block = block.next())
        breaks += ContinuesLine(block) ? 1 : 0;
    return std::max(0, document()->characterCount() - 1 - breaks);
}

bool TRichEdit::LoadFromBytes(QByteArray bytes)
{
    if (auto rtf = ParseRtf(std::string_view(bytes.constData(), std::size_t(bytes.size()))))
        return Load(std::move(*rtf), nullptr);
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(std::move(bytes));
    buffer->open(QIODevice::ReadOnly);
    return Load(TRtfDocument(), std::make_unique<TPlainSource>(std::move(buffer)));
}

bool TRichEdit::Load(TRtfDocument rtf, std::unique_ptr<TPlainSource> plain)
{
    // The vertical bar stays as it is while the content arrives: a bar that
    // appears narrows the text, and a new text width lays every block out
    // afresh with a layout object each (for a 50 MB binary file 125 MiB more
    // and 1.4 s longer, figures of bench_editor). Afterwards the policy is
    // back and the bar only goes when the new content does not need it.
    const Qt::ScrollBarPolicy barPolicy = verticalScrollBarPolicy();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const auto restoreBar = qScopeGuard([this, barPolicy] { setVerticalScrollBarPolicy(barPolicy); });
    // The new content stays out of sight until it replaces the old.
    viewport()->setUpdatesEnabled(false);
    const auto restorePaint = qScopeGuard([this] { viewport()->setUpdatesEnabled(true); });

    bool cancelled = false;
    {
        TDocumentLoad load(*document(), std::move(rtf), std::move(plain));
        std::unique_ptr<QProgressDialog> progress;
        QElapsedTimer clock;
        clock.start();
        int slices = 0;
        while (load.Step()) {
            // Freed slices and outgrown tables of the document go back to
            // the system as the load runs, not after it: a third of the
            // peak for a binary file (bench_editor).
            if (++slices % kTrimEverySlices == 0)
                ReturnFreedHeap();
            if (!progress && clock.elapsed() >= m_progressDelayMs) {
                progress = std::make_unique<QProgressDialog>(QStringLiteral("Загрузка текста…"),
                                                             QStringLiteral("Отмена"), 0, 1000, this);
                progress->setWindowTitle(window()->windowTitle());
                progress->setWindowModality(Qt::WindowModal);
                progress->setMinimumDuration(0);
                progress->setAutoReset(false);
                // Esc rejects the window; that is a cancel too.
                connect(progress.get(), &QDialog::rejected, progress.get(), &QProgressDialog::cancel);
                progress->show();
            }
            if (progress) {
                progress->setValue(int(load.Done() * 1000));
                // The window is modal: only the progress window takes input.
                QCoreApplication::processEvents();
                if (progress->wasCanceled()) {
                    cancelled = true;
                    break;
                }
            } else {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            }
        }
        if (cancelled)
            load.Cancel();
        else
            load.Finish();
    }
    ReturnFreedHeap();
    if (cancelled)
        return false;
    moveCursor(QTextCursor::Start);
    m_textLimit = kLoadedTextLimit;
    return true;
}

bool TRichEdit::LoadFromFile(const QString& fileName)
{
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file->errorString()));
    // RTF starts with "{\rtf" after white space and is parsed whole; plain
    // text is read a slice at a time.
    const QByteArray head = file->peek(kRtfHeadBytes).trimmed();
    if (head.startsWith("{\\rtf")) {
        QByteArray bytes = file->readAll();
        if (file->error() != QFileDevice::NoError)
            throw Exception(QStringLiteral("Failed to Load Stream"));
        file->close();
        return LoadFromBytes(std::move(bytes));
    }
    return Load(TRtfDocument(), std::make_unique<TPlainSource>(std::move(file)));
}

int TRichEdit::Room(int wanted) const
{
    const int selected = static_cast<int>(textCursor().selectedText().size());
    // The document's length with its display breaks is an upper bound of the
    // text's: the breaks are counted only when that bound leaves too little.
    const int bound = std::max(0, m_textLimit - (std::max(0, document()->characterCount() - 1) - selected));
    if (bound >= wanted)
        return bound;
    return std::max(0, m_textLimit - (TextLength() - selected));
}

void TRichEdit::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool inserts = !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == u'\r' || text.at(0) == u'\t')
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (inserts && Room(int(text.size())) < text.size()) {
        event->accept();
        return;
    }
    QTextCursor cursor = textCursor();
    if ((textInteractionFlags() & Qt::TextEditable) && !cursor.hasSelection()) {
        const QTextBlock block = cursor.block();
        // A typed line break is a paragraph break, not a copy of the
        // display break the block starts with.
        if (event->matches(QKeySequence::InsertParagraphSeparator) && ContinuesLine(block)) {
            cursor.insertBlock(Starting(cursor.blockFormat()));
            setTextCursor(cursor);
            ensureCursorVisible();
            event->accept();
            return;
        }
        // Next to a display break the key deletes a character of the text:
        // the break goes first.
        const bool back = event->key() == Qt::Key_Backspace && cursor.atBlockStart() && ContinuesLine(block);
        const bool forward = event->key() == Qt::Key_Delete && cursor.atBlockEnd() && ContinuesLine(block.next());
        if (back || forward) {
            const int at = cursor.position();
            cursor.setPosition(back ? at - 1 : at);
            cursor.setPosition(back ? at : at + 1, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            setTextCursor(cursor);
        }
    }
    const int before = textCursor().position();
    QPlainTextEdit::keyPressEvent(event);
    // The two sides of a display break are one place in the text: an arrow
    // that stepped across one steps on.
    if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QTextCursor moved = textCursor();
        const int after = moved.position();
        const QTextBlock later = document()->findBlock(std::max(before, after));
        if (std::abs(after - before) == 1 && later.position() == std::max(before, after) && ContinuesLine(later)) {
            moved.movePosition(after > before ? QTextCursor::NextCharacter : QTextCursor::PreviousCharacter,
                               event->modifiers() & Qt::ShiftModifier ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
            setTextCursor(moved);
        }
    }
}

void TRichEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source)
        return;
    const int room = Room(std::numeric_limits<int>::max());
    if (source->hasHtml() || !source->hasText()) {
        // Formatted content is measured after conversion to plain text.
        QTextDocument probe;
        if (source->hasHtml())
            probe.setHtml(source->html());
        else
            probe.setPlainText(source->text());
        if (probe.characterCount() - 1 <= room) {
            // Formatted content keeps its character formats.
            if (source->hasHtml())
                textCursor().insertFragment(QTextDocumentFragment::fromHtml(source->html(), document()));
            else
                QPlainTextEdit::insertFromMimeData(source);
            ensureCursorVisible();
            return;
        }
    }
    QString text = source->text();
    if (text.size() > room)
        text.truncate(room);
    if (text.isEmpty())
        return;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(u'\r', u'\n');
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    TLineWriter(cursor).Write(text, cursor.charFormat());
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData* TRichEdit::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    const int from = cursor.selectionStart();
    const int to = cursor.selectionEnd();
    for (QTextBlock block = document()->findBlock(from).next(); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (ContinuesLine(block)) {
            // The text without its display breaks; formats are not carried.
            auto* data = new QMimeData;
            data->setText(TextBetween(from, to));
            return data;
        }
    }
    return QPlainTextEdit::createMimeDataFromSelection();
}
