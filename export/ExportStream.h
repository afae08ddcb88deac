#pragma once
// The export's output file: a buffered byte stream over a created file.
// Fragments are appended as they are formed and go to the file whenever the
// buffer fills, so memory stays at one buffer whatever the document's size.
// The buffer is large enough that the write calls cost little beside the
// copy into the file (64 KiB took 14% of an export in write calls). Each
// 16 MiB step of the file is handed to the disk once written and dropped
// from the page cache when the disk has it, without waiting: a large export
// keeps reusing a few cached pages (taking fresh pages for every byte cost
// more than the copy, bench_export).
//
// Text is encoded in the system's code page (UTF-8 here) with no byte-order
// mark. Each text given to WriteText or WriteEscaped is encoded on its own:
// an unpaired surrogate becomes U+FFFD inside that text, never in the next.
// A failed write raises "Stream write error"; what reached the file before
// stays there, and every later write fails the same way.
//
// QSaveFile is not used on purpose: after a failure the file keeps what was
// written, and devices such as /dev/full must be writable in place.

#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringEncoder>
#include <QStringView>

#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

class TExportStream {
public:
    static constexpr qsizetype kBufferSize = 1024 * 1024;

    // Creates `fileName` for writing, emptying an existing file. Raises
    // Exception("Cannot create file \"<full path>\". <system text>").
    explicit TExportStream(const QString& fileName);
    // Flushes what is buffered, unless a write failed; never throws.
    ~TExportStream();
    TExportStream(const TExportStream&) = delete;
    TExportStream& operator=(const TExportStream&) = delete;

    void WriteBytes(QByteArrayView bytes)
    {
        if (bytes.size() <= kBufferSize - m_used && !m_failed && !m_closed) {
            if (!bytes.isEmpty())
                std::memcpy(m_buffer.get() + m_used, bytes.data(), static_cast<std::size_t>(bytes.size()));
            m_used += bytes.size();
            return;
        }
        WriteBytesInRuns(bytes);
    }
    // `text` in the system code page.
    void WriteText(QStringView text);
    // `text` with & < > and " replaced by their entities; blanks, line
    // breaks and everything else as they are.
    void WriteEscaped(QStringView text);

    // `bytes`, all below 0x80, as WriteEscaped writes their text.
    void WriteEscapedAscii(std::string_view bytes);

    // Direct writes into the buffer, for fragments formed in place: Room
    // gives room for `bytes` (at most kBufferSize) at the buffer's end,
    // flushing first when it lacks it (raising like Flush); Commit takes the
    // end of what was written there. Nothing else may run in between.
    [[nodiscard]] char* Room(qsizetype bytes)
    {
        if (m_failed || m_closed || kBufferSize - m_used < bytes)
            Reserve(bytes);
        return m_buffer.get() + m_used;
    }
    void Commit(const char* end) { m_used = end - m_buffer.get(); }
    // Whether texts are written as UTF-8 (ASCII then stands for itself).
    [[nodiscard]] bool Utf8() const { return m_utf8; }
    // The longest an escaped ASCII character grows: "&quot;".
    static constexpr qsizetype kLongestEntity = 6;
    // ASCII `bytes` escaped into `out`, which has room for kLongestEntity
    // bytes per byte; returns the end.
    static char* EscapeAscii(std::string_view bytes, char* out);
    // The units of `text` escaped into `out` (room for kLongestEntity bytes
    // per unit) up to the first unit at or above 0x80; returns the end and
    // sets `done` to the units taken.
    static char* EscapeAscii(QStringView text, char* out, qsizetype& done);

    // Sends the buffer to the file; raises "Stream write error".
    void Flush();
    // Flushes and closes; raises like Flush. Later writes fail.
    void Close();

    [[nodiscard]] bool Failed() const { return m_failed; }

private:
    [[noreturn]] void Fail();
    static constexpr qint64 kReleaseStep = 16 * 1024 * 1024;
    // Hands written steps of the file to the disk and drops them from the
    // page cache once written; a no-op for devices.
    void ReleaseWritten();
    // WriteBytes across buffer fills.
    void WriteBytesInRuns(QByteArrayView bytes);
    void Reserve(qsizetype bytes);
    // Appends the ASCII characters of `text` from `at` on, escaped when
    // `escape`, up to the first other character or the end; returns where it
    // stopped. UTF-8 only: ASCII is then its own encoding.
    qsizetype AppendAscii(QStringView text, qsizetype at, bool escape);
    // WriteText or WriteEscaped: ASCII copied directly, the rest encoded.
    void Write(QStringView text, bool escape);
    // `text` through the encoder, in runs that fit the buffer.
    void Encode(QStringView text);

    QFile m_file;
    QStringEncoder m_encoder;
    std::unique_ptr<char[]> m_buffer;
    qsizetype m_used = 0;
    bool m_utf8 = false;   // the system code page is UTF-8
    bool m_failed = false;
    bool m_closed = false;
    // Bytes sent to the file, and the start of those still left in the page
    // cache (ReleaseWritten).
    qint64 m_written = 0;
    qint64 m_released = 0;
};
