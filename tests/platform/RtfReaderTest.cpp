#include "platform/text/CodePage.h"
#include "platform/text/RtfReader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TRtfDocument Parse(std::string_view rtf)
{
    auto doc = ParseRtf(rtf);
    EXPECT_TRUE(doc.has_value()) << rtf;
    return doc ? *doc : TRtfDocument{};
}

TEST(RtfReader, FormattedRunsFromAWordPadLikeDocument)
{
    const std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1049{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
        "{\\f1\\fmodern\\fprq1\\fcharset0 Courier New;}}\r\n"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue128;}\r\n"
        "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\f0\\fs20 plain "
        "\\b bold\\b0  \\i italic\\i0  \\ul under\\ulnone  \\strike gone\\strike0\\par\r\n"
        "\\qc\\cf1\\f1\\fs28 red mono\\cf0\\par\r\n"
        "\\pard\\cf2 navy\\tab x\\line y\\par\r\n}\r\n";
    const TRtfDocument doc = Parse(rtf);
    ASSERT_EQ(doc.paragraphs.size(), 4u) << "the final \\par leaves an empty paragraph";
    EXPECT_EQ(doc.PlainText(), QStringLiteral("plain bold italic under gone\nred mono\nnavy\tx\u2028y\n"));

    const auto& p0 = doc.paragraphs[0].runs;
    ASSERT_EQ(p0.size(), 8u);
    EXPECT_EQ(p0[0].text, QStringLiteral("plain "));
    EXPECT_EQ(p0[0].format.fontFamily, QStringLiteral("Arial"));
    EXPECT_EQ(p0[0].format.fontSizeHalfPoints, 20);
    EXPECT_FALSE(p0[0].format.bold);
    EXPECT_EQ(p0[1].text, QStringLiteral("bold"));
    EXPECT_TRUE(p0[1].format.bold);
    EXPECT_TRUE(p0[3].format.italic);
    EXPECT_TRUE(p0[5].format.underline);
    EXPECT_EQ(p0[7].text, QStringLiteral("gone"));
    EXPECT_TRUE(p0[7].format.strikeOut);
    EXPECT_FALSE(p0[7].format.underline);
    EXPECT_EQ(doc.paragraphs[0].alignment, TRtfAlignment::Left);

    const TRtfParagraph& p1 = doc.paragraphs[1];
    EXPECT_EQ(p1.alignment, TRtfAlignment::Center);
    ASSERT_EQ(p1.runs.size(), 1u);
    EXPECT_EQ(p1.runs[0].format.fontFamily, QStringLiteral("Courier New"));
    EXPECT_EQ(p1.runs[0].format.fontSizeHalfPoints, 28);
    EXPECT_EQ(p1.runs[0].format.color, (TRtfColor{255, 0, 0}));

    EXPECT_EQ(doc.paragraphs[2].alignment, TRtfAlignment::Left) << "\\pard resets the paragraph";
    EXPECT_EQ(doc.paragraphs[2].runs[0].format.color, (TRtfColor{0, 0, 128}));
}

TEST(RtfReader, GroupsRestoreTheFormatAndPlainResetsIt)
{
    const TRtfDocument doc = Parse("{\\rtf1 a{\\b b{\\i c}d}e\\b\\i\\fs40 f\\plain g{\\b}h}");
    const auto& runs = doc.paragraphs.at(0).runs;
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[1].text, QStringLiteral("b"));
    EXPECT_TRUE(runs[1].format.bold);
    EXPECT_TRUE(runs[2].format.bold && runs[2].format.italic);
    EXPECT_EQ(runs[3].text, QStringLiteral("d"));
    EXPECT_TRUE(runs[3].format.bold);
    EXPECT_FALSE(runs[3].format.italic) << "the inner group's italic ended with it";
    EXPECT_EQ(runs[4].text, QStringLiteral("e"));
    EXPECT_EQ(runs[4].format, TRtfFormat{}) << "the outer group's bold ended with it";
    EXPECT_EQ(runs[5].format.fontSizeHalfPoints, 40);
    EXPECT_EQ(runs[6].text, QStringLiteral("gh")) << "equal formats merge; an empty group changes nothing";
    EXPECT_EQ(runs[6].format, TRtfFormat{});
}

TEST(RtfReader, CyrillicThroughTheDocumentCodePageAndTheFontCharset)
{
    // "Привет" in Windows-1251.
    const TRtfDocument a = Parse("{\\rtf1\\ansi\\ansicpg1251{\\fonttbl{\\f0 Arial;}}\\f0 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}");
    EXPECT_EQ(a.PlainText(), QStringLiteral("Привет"));
    // A 1252 document whose font declares the Cyrillic character set.
    const TRtfDocument b = Parse("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset204 Arial Cyr;}{\\f1\\fcharset0 Arial;}}"
                                 "\\f0 \\'e4\\'e0 \\f1\\'e4}");
    EXPECT_EQ(b.PlainText(), QStringLiteral("да ä"));
    // Raw high bytes are decoded the same way as \'hh.
    const TRtfDocument c = Parse("{\\rtf1\\ansicpg1251 \xcf\xf0\xe8}");
    EXPECT_EQ(c.PlainText(), QStringLiteral("При"));
    // Central European.
    const TRtfDocument d = Parse("{\\rtf1\\ansicpg1250 \\'9a\\'e8}");
    EXPECT_EQ(d.PlainText(), QStringLiteral("šč"));
    // UTF-8 documents: multi-byte sequences span several \'hh.
    const TRtfDocument e = Parse("{\\rtf1\\ansicpg65001 \\'d0\\'94\\'d0\\'b0}");
    EXPECT_EQ(e.PlainText(), QStringLiteral("Да"));
}

TEST(RtfReader, UnicodeWithFallbackSkipping)
{
    EXPECT_EQ(Parse("{\\rtf1 \\u1055?\\u1088?}").PlainText(), QStringLiteral("Пр"));
    EXPECT_EQ(Parse("{\\rtf1\\uc2 \\u1055\\'cf\\'cfx}").PlainText(), QStringLiteral("Пx")) << "two fallback bytes";
    EXPECT_EQ(Parse("{\\rtf1\\uc0 \\u1055 x}").PlainText(), QStringLiteral("Пx"));
    EXPECT_EQ(Parse("{\\rtf1 \\u-3913?}").PlainText(), QString(QChar(0xF0B7))) << "negative: +65536";
    EXPECT_EQ(Parse("{\\rtf1 \\u55357?\\u56832?}").PlainText(), QStringLiteral("😀")) << "surrogate pair";
    EXPECT_EQ(Parse("{\\rtf1 \\u55357?x}").PlainText(), QStringLiteral("\uFFFDx")) << "lone surrogate mended";
    EXPECT_EQ(Parse("{\\rtf1 {\\uc3 \\u1055}abc}").PlainText(), QStringLiteral("Пabc")) << "a brace ends the skip";
    EXPECT_EQ(Parse("{\\rtf1 {\\uc2 a}\\u1055?b}").PlainText(), QStringLiteral("aПb")) << "\\uc is scoped to its group";
    // \upr: the ANSI part is replaced by the Unicode part.
    EXPECT_EQ(Parse("{\\rtf1 {\\upr{ansi}{\\*\\ud{\\u1044?a}}}!}").PlainText(), QStringLiteral("Дa!"));
}

TEST(RtfReader, SymbolsAndSkippedDestinations)
{
    EXPECT_EQ(Parse("{\\rtf1 a\\\\b\\{c\\}d\\~e\\-f\\_g}").PlainText(), QStringLiteral("a\\b{c}d\u00A0ef\u2011g"));
    EXPECT_EQ(Parse("{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}").PlainText(),
              QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201C\u201D"));
    const std::string skipped =
        "{\\rtf1{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}{\\header hdr}"
        "{\\*\\unknowndest {nested} text}{\\pict\\wmetafile8 0123abcdef}"
        "keep{\\field{\\*\\fldinst HYPERLINK \"x\"}{\\fldrslt link}}"
        "{\\*\\panose 020b}\\bin3 {}}end}";
    EXPECT_EQ(Parse(skipped).PlainText(), QStringLiteral("keeplinkend")) << "\\bin data may hold braces";
    EXPECT_EQ(Parse("{\\rtf1 a\\\r\nb}").paragraphs.size(), 2u) << "backslash before a line end is \\par";
    EXPECT_EQ(Parse("{\\rtf1 a{\\pict\\\n\\\r01\\par}b{\\*\\x\\\n}\\\nc}").PlainText(), QStringLiteral("ab\nc"))
        << "line breaks and \\par inside skipped groups are no paragraphs";
    EXPECT_EQ(Parse("{\\rtf1 a\r\nb\tc}").PlainText(), QStringLiteral("ab\tc")) << "raw line ends are not text";
    EXPECT_EQ(Parse("{\\rtf1 x}trailing garbage {{{").PlainText(), QStringLiteral("x")) << "after the root group nothing counts";
    EXPECT_EQ(Parse("  \r\n{\\rtf1 x}").PlainText(), QStringLiteral("x"));
    EXPECT_EQ(Parse("{\\rtf1 \\'zz}").PlainText(), QStringLiteral("zz")) << "not a hex byte: ignored";
}

TEST(RtfReader, ColourTableEdgeCases)
{
    const TRtfDocument doc = Parse("{\\rtf1{\\colortbl;\\red0\\green128\\blue0;;}\\cf1 a\\cf2 b\\cf9 c\\cf0 d}");
    const auto& runs = doc.paragraphs.at(0).runs;
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].text, QStringLiteral("a"));
    EXPECT_EQ(runs[0].format.color, (TRtfColor{0, 128, 0}));
    EXPECT_EQ(runs[1].text, QStringLiteral("bcd")) << "auto entry, out of range and \\cf0 are all automatic";
    EXPECT_FALSE(runs[1].format.color.has_value());
}

TEST(RtfReader, RefusesWhatIsNotWellFormedRtf)
{
    for (const char* bad : {
             "", "plain text", "{\\rtx1 a}", "{rtf1 a}", "\\rtf1 a}", "{\\rtf1 a", "{\\rtf1 {\\b a}",
             "{\\rtf1 a\\", "{\\rtf1 \\'4", "{\\rtf1 \\bin99 abc}", "{\\rtf1 \\bin-1 abc}",
             "{\\rtf1 \\fs123456789012 a}", "{\\rtf1 \\abcdefghijklmnopqrstuvwxyzabcdefghij a}",
         })
        EXPECT_FALSE(ParseRtf(bad).has_value()) << bad;

    std::string deep = "{\\rtf1 ";
    for (int i = 0; i < kRtfMaxDepth + 5; ++i)
        deep += '{';
    EXPECT_FALSE(ParseRtf(deep).has_value());
    std::string ok = "{\\rtf1 ";
    for (int i = 0; i < kRtfMaxDepth - 1; ++i)
        ok += '{';
    ok += 'x';
    for (int i = 0; i < kRtfMaxDepth; ++i)
        ok += '}';
    EXPECT_EQ(ParseRtf(ok).value_or(TRtfDocument{}).PlainText(), QStringLiteral("x")) << "nesting up to the limit is fine";
}

TEST(RtfReader, SurvivesRandomAndMutatedInput)
{
    std::mt19937 rng(20240517u);
    const std::string seeds[] = {
        "{\\rtf1\\ansi\\ansicpg1251\\deff0{\\fonttbl{\\f0\\fcharset204 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}"
        "\\f0\\fs20\\b\\'cf\\'f0\\cf1 x\\u1055?\\par{\\*\\x y}{\\pict 00}\\bin2 ab\\tab\\line}",
        "{\\rtf1{\\upr{a}{\\*\\ud{\\u1044?}}}{\\field{\\*\\fldinst x}{\\fldrslt y}}\\uc2\\u-10\\'a0\\'a0 z}",
    };
    const std::string alphabet = "{}\\'*;abfu0123456789- \r\n\x80\xff";
    int accepted = 0;
    for (int iteration = 0; iteration < 4000; ++iteration) {
        std::string input;
        if (iteration % 2 == 0) {
            input = seeds[iteration % 4 / 2];
            const int edits = 1 + int(rng() % 8);
            for (int e = 0; e < edits && !input.empty(); ++e) {
                const std::size_t at = rng() % input.size();
                switch (rng() % 4) {
                case 0: input.erase(at, 1 + rng() % 4); break;
                case 1: input.insert(at, 1, alphabet[rng() % alphabet.size()]); break;
                case 2: input[at] = char(rng() % 256); break;
                default: input.resize(at); break;
                }
            }
        } else {
            input = "{\\rtf1 ";
            const std::size_t length = rng() % 300;
            for (std::size_t k = 0; k < length; ++k)
                input += (rng() % 3) ? alphabet[rng() % alphabet.size()] : char(rng() % 256);
        }
        const auto doc = ParseRtf(input);
        if (doc) {
            ++accepted;
            EXPECT_FALSE(doc->paragraphs.empty());
            for (const TRtfParagraph& p : doc->paragraphs)
                for (std::size_t r = 1; r < p.runs.size(); ++r)
                    EXPECT_FALSE(p.runs[r].format == p.runs[r - 1].format) << "adjacent runs must differ";
        }
    }
    EXPECT_GT(accepted, 0) << "the mutations should leave some inputs well formed";
}

TEST(RtfReader, HostileInputKeepsItsTextWithinBoundedMemory)
{
    // Past a budget proportional to the input, a change of format no longer
    // starts a run and a paragraph break becomes a line break: every
    // character stays, in order.
    constexpr int kPairs = 200000;
    std::string formats = "{\\rtf1 ";
    std::string paragraphs = "{\\rtf1 ";
    for (int i = 0; i < kPairs; ++i) {
        formats += "\\b a\\b0 b";
        paragraphs += "x\\par ";
    }
    formats += '}';
    paragraphs += '}';
    const TRtfDocument f = Parse(formats);
    ASSERT_EQ(f.paragraphs.size(), 1u);
    const std::vector<TRtfRun>& runs = f.paragraphs[0].runs;
    EXPECT_EQ(f.PlainText(), QStringLiteral("ab").repeated(kPairs));
    EXPECT_LT(runs.size(), std::size_t(2 * kPairs));
    ASSERT_GT(runs.size(), 1000u);
    EXPECT_TRUE(runs[0].format.bold);
    EXPECT_FALSE(runs[1].format.bold);

    const TRtfDocument p = Parse(paragraphs);
    EXPECT_LT(p.paragraphs.size(), std::size_t(kPairs));
    EXPECT_GT(p.paragraphs.size(), 1000u);
    QString text = p.PlainText();
    text.replace(QChar(0x2028), u'\n');
    EXPECT_EQ(text, QStringLiteral("x\n").repeated(kPairs));

    for (const auto& [doc, size] : {std::pair{&f, formats.size()}, std::pair{&p, paragraphs.size()}}) {
        std::size_t held = doc->paragraphs.capacity() * sizeof(TRtfParagraph);
        for (const TRtfParagraph& para : doc->paragraphs) {
            held += para.runs.capacity() * sizeof(TRtfRun);
            for (const TRtfRun& run : para.runs)
                held += std::size_t(run.text.capacity()) * 2 + 32;
        }
        EXPECT_LE(held, 10 * size);
    }
}

TEST(CodePage, DecodesAndEncodesTheAnsiCodePages)
{
    EXPECT_EQ(DecodeCodePage(1251, "\xc0\xff\xa8\xb8\xb9"), QStringLiteral("АяЁё№"));
    EXPECT_EQ(DecodeCodePage(1252, "\x80\xe9\x81"), QStringLiteral("€é\u0081")) << "undefined byte kept as C1";
    EXPECT_EQ(DecodeCodePage(1250, "\x8a\xf8"), QStringLiteral("Šř"));
    EXPECT_EQ(DecodeCodePage(65001, "\xd0\x94"), QStringLiteral("Д"));
    EXPECT_EQ(DecodeCodePage(99999, "\x80"), QStringLiteral("€")) << "unknown: as 1252";
    EXPECT_EQ(DecodeCodePage(932, "\x82\xa0"), QStringLiteral("あ"));
    EXPECT_EQ(DecodeCodePage(932, "\x82"), QString()) << "a cut character is dropped";
    EXPECT_EQ(DecodeCodePage(932, "A"), QStringLiteral("A")) << "and does not reach the next text";
    EXPECT_EQ(EncodeCodePage(1251, u"Привет, мир! €"), QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0! \x88"));
    EXPECT_EQ(EncodeCodePage(1251, u"日本😀"), QByteArray("???"));
    EXPECT_EQ(CodePageOfCharset(204, 1252), 1251);
    EXPECT_EQ(CodePageOfCharset(238, 1252), 1250);
    EXPECT_EQ(CodePageOfCharset(0, 1251), 1251);
    for (int cp : {1250, 1251, 1252}) {
        std::string all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        EXPECT_EQ(EncodeCodePage(cp, DecodeCodePage(cp, all)), QByteArray(all.data(), qsizetype(all.size()))) << cp;
    }
}

} // namespace
