// Code-page decoding and encoding. The first byte picks the code page, the
// rest is the text.
//   - no code page yields more characters than it was given bytes;
//   - the built-in tables and Latin-1 give one character per byte and
//     encode back to the same bytes, so nothing is lost;
//   - valid UTF-8 round-trips;
//   - a single-byte encoding gives one byte per character (a pair is one).

#include "platform/text/CodePage.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QStringDecoder>

#include <array>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static constexpr std::array<int, 24> kCodePages = {
        1250, 1251, 1252, 65001, 20127, 28591, 932, 936, 949, 950, 1253, 1254,
        1255, 1256, 1257, 1258, 874, 437, 850, 10000, 1361, 0, -1, 99999,
    };
    if (size == 0)
        return 0;
    const int codePage = kCodePages[data[0] % kCodePages.size()];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);

    const QString text = DecodeCodePage(codePage, bytes);
    FUZZ_CHECK(std::size_t(text.size()) <= bytes.size());

    const bool table = codePage == 1250 || codePage == 1251 || codePage == 1252 || codePage == 28591;
    if (table) {
        FUZZ_CHECK(std::size_t(text.size()) == bytes.size());
        const QByteArray back = EncodeCodePage(codePage, text);
        FUZZ_CHECK(std::string_view(back.constData(), std::size_t(back.size())) == bytes);
    }
    if (codePage == 65001) {
        QStringDecoder strict(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString checked = strict.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
        if (!strict.hasError()) {
            FUZZ_CHECK(checked == text);
            const QByteArray back = EncodeCodePage(65001, text);
            FUZZ_CHECK(std::string_view(back.constData(), std::size_t(back.size())) == bytes);
        }
    }

    // Any UTF-16 text, lone surrogates included, encodes without overrun.
    QString units;
    for (std::size_t i = 1; i + 1 < size; i += 2)
        units += QChar(char16_t(data[i] | (data[i + 1] << 8)));
    const QByteArray encoded = EncodeCodePage(codePage, units);
    if (codePage != 65001)
        FUZZ_CHECK(encoded.size() <= units.size());

    (void)CodePageOfCharset(int(data[0]) - 128 + int(size), 1251);
    return 0;
}
