#include "app/RichEdit.h"

#include "platform/text/CodePage.h"
#include "platform/core/Failure.h"
#include "platform/text/RtfDocument.h"

#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextDocumentFragment>
#include <QTextLayout>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <utility>

namespace {

[[nodiscard]] QString DecodeBytes(const QByteArray& bytes)
{
    {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError())
            return text;
    }
    return DecodeCodePage(AnsiCodePage(), std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

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
    QString text = DecodeBytes(bytes);
    // Line breaks and NULs in place: the text only gets shorter.
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

QString TRichEdit::CommandText() const
{
    QString text = document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

int TRichEdit::TextLength() const
{
    return std::max(0, document()->characterCount() - 1);
}

void TRichEdit::LoadFromBytes(QByteArray bytes)
{
    // A load is not an edit the user can undo: nothing of it is recorded.
    const bool undo = document()->isUndoRedoEnabled();
    document()->setUndoRedoEnabled(false);
    const auto restoreUndo = qScopeGuard([this, undo] { document()->setUndoRedoEnabled(undo); });
    // The vertical bar stays as it is while the content arrives: a bar that
    // appears narrows the text, and a new text width lays every block out
    // afresh with a layout object each (for a 50 MB binary file 125 MiB more
    // and 1.4 s longer, figures of bench_editor). Afterwards the policy is
    // back and the bar only goes when the new content does not need it.
    const Qt::ScrollBarPolicy barPolicy = verticalScrollBarPolicy();
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    const auto restoreBar = qScopeGuard([this, barPolicy] { setVerticalScrollBarPolicy(barPolicy); });
    // Plain text accepts any byte sequence, so only the RTF reader can refuse.
    if (!ReadRtf(QByteArrayView(bytes), *document())) {
        QString text = DecodePlainText(bytes);
        bytes = QByteArray();   // freed here unless the caller shares it
        setPlainText(text);
        text = QString();
        ReturnFreedHeap();
    }
    moveCursor(QTextCursor::Start);
    m_textLimit = kLoadedTextLimit;
}

void TRichEdit::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Exception(QStringLiteral("Failed to Load Stream"));
    file.close();
    LoadFromBytes(std::move(bytes));
}

int TRichEdit::Room() const
{
    const int selected = static_cast<int>(textCursor().selectedText().size());
    return std::max(0, m_textLimit - (TextLength() - selected));
}

void TRichEdit::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool inserts = !text.isEmpty() && (text.at(0).isPrint() || text.at(0) == u'\r' || text.at(0) == u'\t')
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    if (inserts && Room() < text.size()) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void TRichEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source)
        return;
    const int room = Room();
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
    if (!text.isEmpty())
        textCursor().insertText(text);
}
