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
//
// A block is laid out whole, so a line longer than kDisplayLineChars is held
// in blocks of at most that many characters, each after the first marked as
// continuing the line (ContinuesLine). Those breaks are for display only:
// they are no character of the text (CommandText, copy), typing a line break
// or pasting never makes one, and Backspace or Delete next to one removes a
// character as it would without it.

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

#include <memory>

class QTextBlock;
struct TRtfDocument;

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
    // Most characters of one line held in one block (see above).
    static constexpr int kDisplayLineChars = 2048;
    // How long a load runs before it shows its progress, by default.
    static constexpr int kProgressDelayMs = 300;

    explicit TRichEdit(QWidget* parent = nullptr);

    // Most characters the user can bring in by typing or pasting. Programmatic
    // text changes are not limited.
    [[nodiscard]] int TextLimit() const { return m_textLimit; }
    void SetTextLimit(int limit) { m_textLimit = limit; }

    // Replaces the whole content with `bytes`: an RTF document shown
    // formatted, anything else as plain text (DecodePlainText), in full.
    // Raises the text limit to kLoadedTextLimit on success. The caret goes to
    // the start. A load that runs longer than the progress delay shows a
    // window-modal progress window; its cancel (or Esc) stops the load and
    // leaves text, formats, caret, scroll position, limit and undo history
    // as they were. Returns false when cancelled.
    bool LoadFromBytes(QByteArray bytes);
    // Opens `fileName` and loads it as above; Exception("Cannot open file
    // \"<name>\". <reason>") when the file cannot be read; content unchanged.
    bool LoadFromFile(const QString& fileName);
    void SetProgressDelay(int ms) { m_progressDelayMs = ms; }

    // Whether `block` continues the line of the block before it.
    [[nodiscard]] static bool ContinuesLine(const QTextBlock& block);

    // The text as typed, paragraph breaks as "\n", display breaks as
    // nothing: unlike toPlainText(), a no-break space stays U+00A0 and a line
    // separator stays U+2028.
    [[nodiscard]] QString CommandText() const;
    // The same for the document positions [from, to).
    [[nodiscard]] QString TextBetween(int from, int to) const;

    // Number of characters of the text, a paragraph break counting one.
    [[nodiscard]] int TextLength() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    [[nodiscard]] QMimeData* createMimeDataFromSelection() const override;

public:
    // Plain text decoded a slice at a time (RichEdit.cpp).
    class TPlainSource;

private:
    bool Load(TRtfDocument rtf, std::unique_ptr<TPlainSource> plain);
    // The characters that may still come in, exact when fewer than `wanted`.
    [[nodiscard]] int Room(int wanted) const;

    int m_textLimit = kDefaultTextLimit;
    int m_progressDelayMs = kProgressDelayMs;
};
