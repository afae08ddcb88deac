// Connection strings, parsed and built.
//   - text that parses, and whose keys are all valid, builds into a string
//     that parses back to the same pairs;
//   - pairs made from the input (separated by 0x01 bytes, key and value by
//     0x02) with valid keys survive a build and a parse exactly; an invalid
//     key is refused with an exception, never written.

#include "platform/core/Failure.h"
#include "platform/odbc/OdbcCatalog.h"
#include "tests/fuzz/FuzzCheck.h"

#include <QStringList>

#include <algorithm>
#include <cstdint>

namespace {

bool AllKeysValid(const TConnectionKeywords& keywords)
{
    return std::all_of(keywords.begin(), keywords.end(), [](const TConnectionKeyword& k) { return IsValidConnectionKey(k.Key); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));

    try {
        const TConnectionKeywords parsed = ParseConnectionString(text);
        if (AllKeysValid(parsed)) {
            const QString built = BuildConnectionString(parsed);
            FUZZ_CHECK(ParseConnectionString(built) == parsed);
            for (const TConnectionKeyword& k : parsed)
                FUZZ_CHECK(FindConnectionKeyword(parsed, k.Key.toCaseFolded()).has_value());
        }
    } catch (const Exception&) {
        // Malformed: refused whole.
    }

    TConnectionKeywords pairs;
    for (const QString& segment : text.split(QChar(1))) {
        const qsizetype cut = segment.indexOf(QChar(2));
        pairs.push_back(cut < 0 ? TConnectionKeyword{segment, QString()}
                                : TConnectionKeyword{segment.left(cut), segment.mid(cut + 1)});
    }
    try {
        const QString built = BuildConnectionString(pairs);
        FUZZ_CHECK(AllKeysValid(pairs));
        FUZZ_CHECK(ParseConnectionString(built) == pairs);
    } catch (const Exception&) {
        FUZZ_CHECK(!AllKeysValid(pairs));
    }
    return 0;
}
