#include "export/ExportStream.h"

#include "platform/core/Failure.h"

#include <QFileInfo>

#include <fcntl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const QString kWriteError = QStringLiteral("Stream write error");

// The longest run of text encoded in one step: the encoder needs at most
// three bytes per UTF-16 unit, so a run never outgrows the buffer.
constexpr qsizetype kTextRun = TExportStream::kBufferSize / 4;

} // namespace

TExportStream::TExportStream(const QString& fileName)
    : m_file(fileName),
      m_encoder(QStringConverter::System, QStringConverter::Flag::Stateless),
      m_buffer(new char[kBufferSize])
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(QFileInfo(fileName).absoluteFilePath(), m_file.errorString()));
    }
    // The system code page is named "Locale" whatever it is (always UTF-8
    // on Unix), so it is recognised by what it makes of a probe text.
    static const bool systemIsUtf8 = [] {
        const QString probe = QStringLiteral("a\u00E9\u20AC\U0001F600");
        QStringEncoder system(QStringConverter::System, QStringConverter::Flag::Stateless);
        const QByteArray bytes = system.encode(probe);
        return !system.hasError() && bytes == probe.toUtf8();
    }();
    m_utf8 = systemIsUtf8;
}

TExportStream::~TExportStream()
{
    if (!m_failed && !m_closed) {
        try {
            Flush();
        } catch (const std::exception&) {
            // The first failure is the one reported; the file keeps what it has.
        }
    }
}

void TExportStream::Fail()
{
    m_failed = true;
    m_used = 0;
    throw Exception(kWriteError);
}

void TExportStream::Flush()
{
    if (m_failed || m_closed)
        Fail();
    qsizetype done = 0;
    while (done < m_used) {
        const qint64 n = m_file.write(m_buffer.get() + done, m_used - done);
        if (n <= 0)
            Fail();
        done += n;
    }
    m_written += m_used;
    m_used = 0;
    ReleaseWritten();
}

void TExportStream::ReleaseWritten()
{
    // Every kReleaseStep bytes: the step just written starts going to the
    // disk, and the one two steps back leaves the page cache if it is there
    // already. Pages still being written stay; nothing waits for the disk.
    // A large export then reuses a few cached pages instead of taking new
    // ones for every byte.
    // Where the system has no such advice, the cache is left to itself.
#ifdef POSIX_FADV_DONTNEED
    if (m_written - m_released < 3 * kReleaseStep)
        return;
    const int fd = m_file.handle();
    if (fd < 0)
        return;
    const auto step = static_cast<off_t>(kReleaseStep);
    const auto last = static_cast<off_t>(m_written / kReleaseStep * kReleaseStep);
    ::posix_fadvise(fd, last - step, step, POSIX_FADV_DONTNEED);
    ::posix_fadvise(fd, static_cast<off_t>(m_released), step, POSIX_FADV_DONTNEED);
    m_released += kReleaseStep;
#endif
}

void TExportStream::Close()
{
    Flush();
    m_closed = true;
    m_file.close();
}

void TExportStream::Reserve(qsizetype bytes)
{
    if (m_failed || m_closed)
        Fail();
    if (kBufferSize - m_used < bytes)
        Flush();
}

void TExportStream::WriteBytesInRuns(QByteArrayView bytes)
{
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        Reserve(1);
        const qsizetype n = std::min(left, kBufferSize - m_used);
        std::memcpy(m_buffer.get() + m_used, p, static_cast<std::size_t>(n));
        m_used += n;
        p += n;
        left -= n;
    }
}

void TExportStream::WriteText(QStringView text)
{
    Write(text, false);
}

void TExportStream::WriteEscaped(QStringView text)
{
    Write(text, true);
}

namespace {

constexpr qsizetype kLongestEntity = TExportStream::kLongestEntity;

// The entity of an ASCII character that the escaped texts replace, else null.
const char* EntityOf(unsigned c)
{
    switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    default: return nullptr;
    }
}

// Every character the escape replaces lies below 64.
constexpr std::uint64_t kEscapedBelow64 = (1ull << '&') | (1ull << '<') | (1ull << '>') | (1ull << '"');

// Appends ASCII `c`, escaped.
inline char* PutEscaped(char* out, unsigned c)
{
    if (c >= 64 || ((kEscapedBelow64 >> c) & 1) == 0) {
        *out = static_cast<char>(c);
        return out + 1;
    }
    const char* entity = EntityOf(c);
    const std::size_t len = std::strlen(entity);
    std::memcpy(out, entity, len);
    return out + len;
}

// Copies units p[at..n) below 0x80 to out, escaped when `escape`, until a
// unit at or above 0x80, the end, or `limit` (which leaves room for one
// entity); returns where it stopped in p.
qsizetype CopyAscii(const char16_t* p, qsizetype at, qsizetype n, bool escape, char*& out, const char* limit)
{
    char* o = out;
    for (; at < n && o <= limit; ++at) {
        const unsigned c = p[at];
        if (c >= 0x80)
            break;
        if (escape)
            o = PutEscaped(o, c);
        else
            *o++ = static_cast<char>(c);
    }
    out = o;
    return at;
}

// Whether any of the eight bytes of `w` is one the escape replaces.
inline bool HasEscaped(std::uint64_t w)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    auto hasZero = [](std::uint64_t v) { return (v - kOnes) & ~v & kHigh; };
    return (hasZero(w ^ (kOnes * '&')) | hasZero(w ^ (kOnes * '<')) | hasZero(w ^ (kOnes * '>'))
            | hasZero(w ^ (kOnes * '"'))) != 0;
}

} // namespace

char* TExportStream::EscapeAscii(std::string_view bytes, char* out)
{
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    // Eight bytes at a time; a word without an escaped byte is copied whole.
    for (; end - p >= 8; p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if (!HasEscaped(w)) {
            std::memcpy(out, &w, 8);
            out += 8;
        } else {
            for (int i = 0; i < 8; ++i)
                out = PutEscaped(out, static_cast<unsigned char>(p[i]));
        }
    }
    for (; p < end; ++p)
        out = PutEscaped(out, static_cast<unsigned char>(*p));
    return out;
}

char* TExportStream::EscapeAscii(QStringView text, char* out, qsizetype& done)
{
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    for (; i < n && p[i] < 0x80; ++i)
        out = PutEscaped(out, p[i]);
    done = i;
    return out;
}

qsizetype TExportStream::AppendAscii(QStringView text, qsizetype at, bool escape)
{
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    while (at < n && p[at] < 0x80) {
        Reserve(kLongestEntity);
        char* out = m_buffer.get() + m_used;
        at = CopyAscii(p, at, n, escape, out, m_buffer.get() + kBufferSize - kLongestEntity);
        m_used = out - m_buffer.get();
    }
    return at;
}

void TExportStream::WriteEscapedAscii(std::string_view bytes)
{
    if (!m_utf8) {
        WriteEscaped(QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return;
    }
    // In pieces that fit the buffer however much they grow.
    constexpr auto kPiece = static_cast<std::size_t>(kBufferSize / kLongestEntity);
    while (!bytes.empty()) {
        const std::string_view piece = bytes.substr(0, kPiece);
        Commit(EscapeAscii(piece, Room(static_cast<qsizetype>(piece.size()) * kLongestEntity)));
        bytes.remove_prefix(piece.size());
    }
}

void TExportStream::Write(QStringView text, bool escape)
{
    if (m_utf8) {
        qsizetype at = 0;
        while (at < text.size()) {
            at = AppendAscii(text, at, escape);
            qsizetype end = at;
            while (end < text.size() && text[end].unicode() >= 0x80)
                ++end;
            if (end > at)
                Encode(text.sliced(at, end - at));
            at = end;
        }
        return;
    }
    if (!escape) {
        Encode(text);
        return;
    }
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        const char* entity = nullptr;
        switch (c) {
        case u'&': entity = "&amp;"; break;
        case u'<': entity = "&lt;"; break;
        case u'>': entity = "&gt;"; break;
        case u'"': entity = "&quot;"; break;
        default: continue;
        }
        Encode(text.sliced(start, i - start));
        WriteBytes(entity);
        start = i + 1;
    }
    Encode(text.sliced(start));
}

void TExportStream::Encode(QStringView text)
{
    // The encoder keeps no state between calls, so a run never ends between
    // the halves of a surrogate pair.
    while (!text.isEmpty()) {
        qsizetype take = std::min(text.size(), kTextRun);
        if (take < text.size() && text[take - 1].isHighSurrogate() && text[take].isLowSurrogate())
            ++take;
        const QStringView run = text.first(take);
        Reserve(m_encoder.requiredSpace(run.size()));
        char* end = m_encoder.appendToBuffer(m_buffer.get() + m_used, run);
        m_used = end - m_buffer.get();
        text = text.sliced(run.size());
    }
}
