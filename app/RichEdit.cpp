#include "app/RichEdit.h"

#include "platform/text/CodePage.h"
#include "platform/core/Failure.h"
#include "platform/text/RtfDocument.h"

#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QStringDecoder>
#include <QTextDocument>

#include <algorithm>

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

} // namespace

QString DecodePlainText(const QByteArray& bytes)
{
    const QString decoded = DecodeBytes(bytes);
    QString text;
    text.reserve(decoded.size());
    for (qsizetype i = 0; i < decoded.size(); ++i) {
        const QChar c = decoded.at(i);
        if (c == u'\r') {
            text += u'\n';
            if (i + 1 < decoded.size() && decoded.at(i + 1) == u'\n')
                ++i;
        } else if (c == QChar(0)) {
            text += QChar::ReplacementCharacter;
        } else {
            text += c;
        }
    }
    return text;
}

TRichEdit::TRichEdit(QWidget* parent) : QTextEdit(parent)
{
    setAcceptRichText(true);
    // Tab moves the focus; Enter inserts a line break.
    setTabChangesFocus(true);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
}

int TRichEdit::TextLength() const
{
    return std::max(0, document()->characterCount() - 1);
}

void TRichEdit::LoadFromBytes(const QByteArray& bytes)
{
    // Plain text accepts any byte sequence, so only the RTF reader can refuse.
    if (!ReadRtf(QByteArrayView(bytes), *document()))
        setPlainText(DecodePlainText(bytes));
    moveCursor(QTextCursor::Start);
    m_textLimit = kLoadedTextLimit;
}

void TRichEdit::LoadFromFile(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw Exception(QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw Exception(QStringLiteral("Failed to Load Stream"));
    LoadFromBytes(bytes);
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
    QTextEdit::keyPressEvent(event);
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
            QTextEdit::insertFromMimeData(source);
            return;
        }
    }
    QString text = source->text();
    if (text.size() > room)
        text.truncate(room);
    if (!text.isEmpty())
        textCursor().insertText(text);
}
