#pragma once
// reQuery's control: a rich-text editor with a text limit, loading files as
// RTF first and as plain text second.

#include <QByteArray>
#include <QString>
#include <QTextEdit>

// The plain text of a file's bytes: UTF-8 when the bytes are valid UTF-8,
// otherwise the program's ANSI code page (AnsiCodePage(), Windows-1251),
// one character per byte, so no byte is ever lost. CR LF, lone CR and lone LF all become "\n". NUL bytes
// become U+FFFD, as the editor cannot hold NUL characters.
[[nodiscard]] QString DecodePlainText(const QByteArray& bytes);

class TRichEdit : public QTextEdit {
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
    // formatted, anything else as plain text (DecodePlainText). Raises the
    // text limit to kLoadedTextLimit on success. Raises Exception("Failed to
    // Load Stream") when neither load accepts the bytes; the content is then
    // unchanged.
    void LoadFromBytes(const QByteArray& bytes);
    // Opens `fileName` and loads it as above; Exception("Cannot open file
    // \"<name>\". <reason>") when the file cannot be read; content unchanged.
    void LoadFromFile(const QString& fileName);

    // Number of characters in the document, paragraph breaks counting one.
    [[nodiscard]] int TextLength() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    [[nodiscard]] int Room() const;

    int m_textLimit = kDefaultTextLimit;
};
