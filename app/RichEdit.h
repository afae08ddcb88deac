#pragma once
// The rich-edit control of the query editor and of the content viewer: a
// text box with a text limit, loading bytes as RTF first and as plain text
// second. RTF character formats and paragraph alignment show.
//
// Built on the plain-text layout, which lays out only the blocks it shows and
// scrolls by lines, so large content opens, scrolls and takes typing without
// a layout of the whole document. That layout knows one alignment for the
// whole document; the editor's own layout gives each laid-out paragraph its
// block's alignment.

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

// The plain text of a file's bytes: UTF-8 when the bytes are valid UTF-8,
// otherwise the program's ANSI code page (AnsiCodePage(), Windows-1251),
// one character per byte, so no byte is ever lost. CR LF, lone CR and lone
// LF all become "\n". NUL bytes become U+FFFD, as the editor cannot hold NUL
// characters. One text buffer the size of the result is all it allocates.
[[nodiscard]] QString DecodePlainText(const QByteArray& bytes);

class TRichEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    // The rich-text control's default limit, in characters, in force until
    // the first successful load.
    static constexpr int kDefaultTextLimit = 64000;
    // The limit after a successful load (0x7FFFFFF0).
    static constexpr int kLoadedTextLimit = 2147483632;

    explicit TRichEdit(QWidget* parent = nullptr);

    // Most characters the user can bring in by typing or pasting. Programmatic
    // text changes are not limited.
    [[nodiscard]] int TextLimit() const { return m_textLimit; }
    void SetTextLimit(int limit) { m_textLimit = limit; }

    // Replaces the whole content with `bytes`: an RTF document shown
    // formatted, anything else as plain text (DecodePlainText), in full.
    // Raises the text limit to kLoadedTextLimit on success. Raises
    // Exception("Failed to Load Stream") when neither load accepts the bytes;
    // the content is then unchanged. The caret goes to the start.
    void LoadFromBytes(QByteArray bytes);
    // Opens `fileName` and loads it as above; Exception("Cannot open file
    // \"<name>\". <reason>") when the file cannot be read; content unchanged.
    // The file's bytes are released before the text is laid out.
    void LoadFromFile(const QString& fileName);

    // The text as typed, paragraph breaks as "\n": unlike toPlainText(), a
    // no-break space stays U+00A0 and a line separator stays U+2028.
    [[nodiscard]] QString CommandText() const;

    // Number of characters in the document, paragraph breaks counting one.
    [[nodiscard]] int TextLength() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    [[nodiscard]] int Room() const;

    int m_textLimit = kDefaultTextLimit;
};
