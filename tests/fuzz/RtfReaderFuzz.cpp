// The RTF reader on any bytes. A document it accepts has at least one
// paragraph, adjacent runs that differ in format, no unpaired surrogate, no
// more paragraphs than input bytes, and holds at most ten times the input's
// size (plus a fixed allowance for tiny inputs).

#include "platform/text/RtfReader.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string_view>

namespace {

// Heap bytes the document holds, counting what each allocation reserves.
std::size_t HeldBytes(const TRtfDocument& doc)
{
    constexpr std::size_t kAllocation = 32; // a string's header and the allocator's own
    std::size_t bytes = doc.paragraphs.capacity() * sizeof(TRtfParagraph);
    for (const TRtfParagraph& p : doc.paragraphs) {
        bytes += p.runs.capacity() * sizeof(TRtfRun);
        for (const TRtfRun& run : p.runs)
            bytes += std::size_t(run.text.capacity()) * 2 + kAllocation;
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<TRtfDocument> doc = ParseRtf(bytes);
    if (!doc)
        return 0;
    FUZZ_CHECK(!doc->paragraphs.empty());
    FUZZ_CHECK(doc->paragraphs.size() <= size);
    for (const TRtfParagraph& p : doc->paragraphs) {
        for (std::size_t i = 0; i < p.runs.size(); ++i) {
            FUZZ_CHECK(!p.runs[i].text.isEmpty());
            FUZZ_CHECK(i == 0 || !(p.runs[i].format == p.runs[i - 1].format));
            const QString& t = p.runs[i].text;
            for (qsizetype k = 0; k < t.size(); ++k) {
                if (t[k].isHighSurrogate() && k + 1 < t.size() && t[k + 1].isLowSurrogate())
                    ++k;
                else
                    FUZZ_CHECK(!t[k].isSurrogate());
            }
        }
    }
    FUZZ_CHECK(HeldBytes(*doc) <= 10 * size + 64 * 1024);
    (void)doc->PlainText();
    return 0;
}
