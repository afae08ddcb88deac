#include "platform/odbc/OdbcText.h"

#include <cstdint>

static_assert(sizeof(SQLWCHAR) == 2, "the W entry points must use UTF-16 code units");

std::size_t Utf16ToUtf8(const SQLWCHAR* data, std::size_t units, char* const out)
{
    char* dst = out;
    std::size_t i = 0;
    while (i < units) {
        // ASCII run.
        while (i < units && data[i] < 0x80)
            *dst++ = static_cast<char>(data[i++]);
        if (i >= units)
            break;
        std::uint32_t c = data[i++];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i < units && data[i] >= 0xDC00 && data[i] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(data[i]) - 0xDC00);
                ++i;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x800) {
            *dst++ = static_cast<char>(0xC0 | (c >> 6));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *dst++ = static_cast<char>(0xE0 | (c >> 12));
            *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *dst++ = static_cast<char>(0xF0 | (c >> 18));
            *dst++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *dst++ = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return static_cast<std::size_t>(dst - out);
}

void AppendUtf16AsUtf8(const SQLWCHAR* data, std::size_t units, std::string& out)
{
    const std::size_t base = out.size();
    // Worst case three bytes per unit (a surrogate pair gives four for two).
    out.resize(base + units * 3);
    out.resize(base + Utf16ToUtf8(data, units, out.data() + base));
}

std::vector<SQLWCHAR> ToSqlWide(const QString& text)
{
    std::vector<SQLWCHAR> w(static_cast<std::size_t>(text.size()) + 1, 0);
    const auto* src = reinterpret_cast<const char16_t*>(text.utf16());
    for (qsizetype i = 0; i < text.size(); ++i)
        w[static_cast<std::size_t>(i)] = static_cast<SQLWCHAR>(src[i]);
    return w;
}
