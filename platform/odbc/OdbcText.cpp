#include "platform/odbc/OdbcText.h"

#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

static_assert(sizeof(SQLWCHAR) == 2, "the W entry points must use UTF-16 code units");

std::size_t Utf16ToUtf8(const SQLWCHAR* data, std::size_t units, char* const out)
{
    char* dst = out;
    std::size_t i = 0;
    while (i < units) {
        // ASCII run: eight units a step while they last, then four (the
        // units' order in a word is the little-endian one), then one.
#ifdef __SSE2__
        const __m128i notAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
        for (; i + 8 <= units; i += 8, dst += 8) {
            const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(eight, notAscii), _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm_packus_epi16(eight, eight));
        }
#endif
        for (; std::endian::native == std::endian::little && i + 4 <= units; i += 4, dst += 4) {
            std::uint64_t four;
            std::memcpy(&four, data + i, sizeof four);
            if (four & 0xFF80FF80FF80FF80u)
                break;
            const auto packed = static_cast<std::uint32_t>((four & 0xFF) | ((four >> 8) & 0xFF00)
                                                           | ((four >> 16) & 0xFF0000) | ((four >> 24) & 0xFF000000));
            std::memcpy(dst, &packed, sizeof packed);
        }
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
