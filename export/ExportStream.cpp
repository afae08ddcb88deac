#include "export/ExportStream.h"

#include "platform/core/Failure.h"

#include <QFileInfo>

#include <algorithm>
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
    const char* name = m_encoder.name();
    m_utf8 = name && qstrcmp(name, "UTF-8") == 0;
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
    m_used = 0;
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

void TExportStream::WriteBytes(QByteArrayView bytes)
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

qsizetype TExportStream::AppendAscii(QStringView text, qsizetype at, bool escape)
{
    constexpr qsizetype kLongestEntity = 6;
    const char16_t* p = text.utf16();
    const qsizetype n = text.size();
    while (at < n && p[at] < 0x80) {
        Reserve(kLongestEntity);
        char* out = m_buffer.get() + m_used;
        char* const limit = m_buffer.get() + kBufferSize - kLongestEntity;
        for (; at < n && out < limit; ++at) {
            const char16_t c = p[at];
            if (c >= 0x80)
                break;
            const char* entity = nullptr;
            if (escape) {
                switch (c) {
                case u'&': entity = "&amp;"; break;
                case u'<': entity = "&lt;"; break;
                case u'>': entity = "&gt;"; break;
                case u'"': entity = "&quot;"; break;
                default: break;
                }
            }
            if (entity) {
                const std::size_t len = std::strlen(entity);
                std::memcpy(out, entity, len);
                out += len;
            } else {
                *out++ = static_cast<char>(c);
            }
        }
        m_used = out - m_buffer.get();
    }
    return at;
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
