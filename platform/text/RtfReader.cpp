#include "platform/text/RtfReader.h"

#include "platform/text/CodePage.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <string>

namespace {

constexpr std::size_t kMaxWordLength = 32;
constexpr int kMaxDigits = 10;
constexpr std::int64_t kParamLimit = 2147483647;

// Memory bounds. Runs and paragraphs are charged what they hold (with the
// containers' slack) against a budget that grows with the input; past it,
// a change of format no longer starts a run (the text joins the run before)
// and a paragraph break becomes a line break in the paragraph. Text itself
// costs at most a few bytes per input byte. Font and colour tables keep a
// bounded number of entries; later ones are ignored.
constexpr std::size_t kRunCost = 2 * sizeof(TRtfRun) + 48;
constexpr std::size_t kParagraphCost = 2 * sizeof(TRtfParagraph) + kRunCost;
constexpr std::size_t kBudgetPerInputByte = 8;
constexpr std::size_t kBudgetFloor = 64 * 1024;
constexpr std::size_t kMaxFonts = 4096;
constexpr std::size_t kMaxColors = 4096;

enum class TDest { Text, Skip, FontTable, ColorTable };

struct TCharState {
    int font = -1; // -1: the default font
    int size = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int color = 0;
};

struct TGroupState {
    TDest dest = TDest::Text;
    TCharState chr;
    int uc = 1;
    TRtfAlignment align = TRtfAlignment::Left;
    bool inUpr = false; // inside \upr whose Unicode part \ud may show text
};

struct TFont {
    QString name;
    int codePage = 0; // 0: the document's code page
};

// Destinations whose content is not text of the document.
bool IsSkippedDestination(std::string_view word)
{
    static constexpr std::array<std::string_view, 60> kSkipped = {
        "annotation", "atnauthor", "atnid", "author", "bkmkend", "bkmkstart", "blipuid", "buptim",
        "colorschememapping", "comment", "company", "creatim", "datastore", "do", "doccomm", "docvar",
        "falt", "filetbl", "fldinst", "fontemb", "fontfile", "footer", "footerf", "footerl", "footerr",
        "footnote", "ftncn", "ftnsep", "ftnsepc", "generator", "header", "headerf", "headerl", "headerr",
        "info", "keywords", "latentstyles", "listoverridetable", "listpicture", "listtable", "mmathPr",
        "nonshppict", "objdata", "operator", "panose", "pgdsctbl", "pict", "pn", "printim", "private",
        "revtbl", "revtim", "rsidtbl", "shp", "shppict", "stylesheet", "subject", "themedata", "title",
        "xmlnstbl",
    };
    static constexpr std::array<std::string_view, 6> kMore = {"tc", "template", "txe", "userprops", "wgrffmtfilter", "xe"};
    return std::find(kSkipped.begin(), kSkipped.end(), word) != kSkipped.end()
        || std::find(kMore.begin(), kMore.end(), word) != kMore.end();
}

bool IsUnderlineWord(std::string_view w)
{
    static constexpr std::array<std::string_view, 17> kWords = {
        "ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd",
        "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave",
    };
    return std::find(kWords.begin(), kWords.end(), w) != kWords.end();
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

class TParser {
public:
    explicit TParser(std::string_view in)
        : m_in(in), m_budget(std::max(in.size() * kBudgetPerInputByte, kBudgetFloor))
    {
    }

    std::optional<TRtfDocument> Run()
    {
        while (m_pos < m_in.size() && (m_in[m_pos] == ' ' || m_in[m_pos] == '\t' || m_in[m_pos] == '\r' || m_in[m_pos] == '\n'))
            ++m_pos;
        if (m_in.substr(m_pos, 5) != "{\\rtf")
            return std::nullopt;
        bool closed = false;
        while (m_pos < m_in.size() && !closed) {
            const char c = m_in[m_pos];
            if (c == '{') {
                ++m_pos;
                Flush();
                m_skip = 0;
                m_star = false;
                if (m_stack.size() >= std::size_t(kRtfMaxDepth))
                    return std::nullopt;
                m_stack.push_back(m_st);
            } else if (c == '}') {
                ++m_pos;
                Flush();
                m_skip = 0;
                m_star = false;
                if (m_st.dest == TDest::FontTable)
                    CommitFont();
                if (m_stack.size() == 1) {
                    EndParagraph(); // under the root group's paragraph settings
                    closed = true;
                    break;
                }
                m_st = m_stack.back();
                m_stack.pop_back();
            } else if (c == '\\') {
                if (!ControlWord())
                    return std::nullopt;
            } else {
                ++m_pos;
                if (c == '\r' || c == '\n' || c == '\0')
                    continue;
                if (m_skip > 0) {
                    --m_skip;
                    continue;
                }
                Byte(c);
            }
        }
        if (!closed)
            return std::nullopt;
        for (TRtfParagraph& p : m_doc.paragraphs)
            for (TRtfRun& run : p.runs)
                MendSurrogates(run.text);
        return std::move(m_doc);
    }

private:
    // One control word or control symbol at m_pos ('\\'). False: malformed.
    bool ControlWord()
    {
        ++m_pos;
        if (m_pos >= m_in.size())
            return false;
        const char c = m_in[m_pos];
        if (!IsLetter(c))
            return ControlSymbol(c);

        const std::size_t start = m_pos;
        while (m_pos < m_in.size() && IsLetter(m_in[m_pos]))
            ++m_pos;
        if (m_pos - start > kMaxWordLength)
            return false;
        const std::string_view word = m_in.substr(start, m_pos - start);
        bool hasParam = false;
        bool negative = false;
        std::int64_t param = 0;
        if (m_pos < m_in.size() && m_in[m_pos] == '-' && m_pos + 1 < m_in.size() && m_in[m_pos + 1] >= '0' && m_in[m_pos + 1] <= '9') {
            negative = true;
            ++m_pos;
        }
        int digits = 0;
        while (m_pos < m_in.size() && m_in[m_pos] >= '0' && m_in[m_pos] <= '9') {
            if (++digits > kMaxDigits)
                return false;
            param = param * 10 + (m_in[m_pos] - '0');
            ++m_pos;
        }
        hasParam = digits > 0;
        param = std::min(param, kParamLimit);
        if (negative)
            param = -param;
        if (m_pos < m_in.size() && m_in[m_pos] == ' ')
            ++m_pos;

        if (word == "bin")
            return SkipBinary(hasParam ? param : 0);
        if (m_skip > 0) {
            --m_skip;
            return true;
        }
        Flush();
        const bool star = m_star;
        m_star = false;
        Word(word, hasParam, int(param), star);
        return true;
    }

    bool ControlSymbol(char c)
    {
        ++m_pos;
        if (c == '\'') {
            if (m_pos + 2 > m_in.size())
                return false;
            const int hi = HexValue(m_in[m_pos]);
            const int lo = HexValue(m_in[m_pos + 1]);
            if (hi < 0 || lo < 0)
                return true; // not a byte: ignored, the characters read as text
            m_pos += 2;
            if (m_skip > 0) {
                --m_skip;
                return true;
            }
            Byte(char(hi * 16 + lo));
            return true;
        }
        if (m_skip > 0) {
            --m_skip;
            return true;
        }
        if (c == '\\' || c == '{' || c == '}') {
            Byte(c);
            return true;
        }
        Flush();
        switch (c) {
        case '*': m_star = true; break;
        case '~': Unicode(u"\u00A0"); break;
        case '_': Unicode(u"\u2011"); break;
        case '\r':
        case '\n':
            if (m_st.dest == TDest::Text)
                Paragraph();
            break;
        default: break; // \- \: \| and unknown symbols show nothing
        }
        return true;
    }

    bool SkipBinary(std::int64_t count)
    {
        if (count < 0 || std::uint64_t(count) > m_in.size() - m_pos)
            return false;
        m_pos += std::size_t(count);
        return true;
    }

    void Word(std::string_view w, bool hasParam, int param, bool star)
    {
        const bool on = !hasParam || param != 0;
        // Destinations first: they decide where the group's content goes.
        if (w == "ud") {
            if (m_st.inUpr)
                m_st.dest = TDest::Text;
            return;
        }
        if (star || IsSkippedDestination(w)) {
            m_st.dest = TDest::Skip;
            return;
        }
        if (w == "fonttbl") {
            if (m_st.dest != TDest::Skip)
                m_st.dest = TDest::FontTable;
            return;
        }
        if (w == "colortbl") {
            if (m_st.dest != TDest::Skip)
                m_st.dest = TDest::ColorTable;
            return;
        }
        if (w == "upr") {
            if (m_st.dest == TDest::Text) {
                m_st.dest = TDest::Skip;
                m_st.inUpr = true;
            }
            return;
        }

        if (m_st.dest == TDest::FontTable) {
            if (w == "f") {
                CommitFont();
                m_fontNumber = param;
            } else if (w == "fcharset") {
                if (!m_fontCpg) // an explicit \cpg wins over the character set
                    m_fontCodePage = CodePageOfCharset(param, 0);
            } else if (w == "cpg" && param > 0) {
                m_fontCodePage = param;
                m_fontCpg = true;
            }
            return;
        }
        if (m_st.dest == TDest::ColorTable) {
            if (w == "red")
                m_red = std::clamp(param, 0, 255), m_colorSeen = true;
            else if (w == "green")
                m_green = std::clamp(param, 0, 255), m_colorSeen = true;
            else if (w == "blue")
                m_blue = std::clamp(param, 0, 255), m_colorSeen = true;
            return;
        }

        // Document-wide settings, valid in any destination.
        if (w == "ansi") { m_codePage = 1252; return; }
        if (w == "mac") { m_codePage = 10000; return; }
        if (w == "pc") { m_codePage = 437; return; }
        if (w == "pca") { m_codePage = 850; return; }
        if (w == "ansicpg") { if (param > 0) m_codePage = param; return; }
        if (w == "deff") { m_defaultFont = param; return; }
        if (w == "uc") { m_st.uc = std::clamp(param, 0, 255); return; }
        if (m_st.dest != TDest::Text)
            return;

        TCharState& chr = m_st.chr;
        if (w == "par" || w == "sect" || w == "page" || w == "row") Paragraph();
        else if (w == "line") Unicode(u"\u2028");
        else if (w == "tab" || w == "cell" || w == "nestcell") Unicode(u"\t");
        else if (w == "u") {
            const int code = param < 0 ? std::max(param + 65536, 0) : std::min(param, 0xFFFF);
            const char16_t unit = char16_t(code);
            Unicode(std::u16string_view(&unit, 1));
            m_skip = m_st.uc;
        }
        else if (w == "emdash") Unicode(u"\u2014");
        else if (w == "endash") Unicode(u"\u2013");
        else if (w == "emspace") Unicode(u"\u2003");
        else if (w == "enspace") Unicode(u"\u2002");
        else if (w == "qmspace") Unicode(u"\u2005");
        else if (w == "bullet") Unicode(u"\u2022");
        else if (w == "lquote") Unicode(u"\u2018");
        else if (w == "rquote") Unicode(u"\u2019");
        else if (w == "ldblquote") Unicode(u"\u201C");
        else if (w == "rdblquote") Unicode(u"\u201D");
        else if (w == "zwj") Unicode(u"\u200D");
        else if (w == "zwnj") Unicode(u"\u200C");
        else if (w == "ltrmark") Unicode(u"\u200E");
        else if (w == "rtlmark") Unicode(u"\u200F");
        else if (w == "plain") chr = TCharState{};
        else if (w == "pard") m_st.align = TRtfAlignment::Left;
        else if (w == "ql") m_st.align = TRtfAlignment::Left;
        else if (w == "qr") m_st.align = TRtfAlignment::Right;
        else if (w == "qc") m_st.align = TRtfAlignment::Center;
        else if (w == "qj" || w == "qd") m_st.align = TRtfAlignment::Justify;
        else if (w == "b") chr.bold = on;
        else if (w == "i") chr.italic = on;
        else if (w == "strike" || w == "striked") chr.strikeOut = on;
        else if (IsUnderlineWord(w)) chr.underline = on;
        else if (w == "ulnone") chr.underline = false;
        else if (w == "fs") chr.size = param > 0 ? std::min(param, 3276) : 24;
        else if (w == "cf") chr.color = std::max(param, 0);
        else if (w == "f") chr.font = std::max(param, 0);
    }

    // A text byte or \'hh.
    void Byte(char b)
    {
        if (m_st.dest == TDest::FontTable) {
            if (b == ';')
                CommitFont();
            else
                m_fontBytes += b;
            return;
        }
        if (m_st.dest == TDest::ColorTable) {
            if (b == ';') {
                if (m_colors.size() < kMaxColors)
                    m_colors.push_back(m_colorSeen ? std::optional<TRtfColor>(TRtfColor{std::uint8_t(m_red), std::uint8_t(m_green), std::uint8_t(m_blue)}) : std::nullopt);
                m_red = m_green = m_blue = 0;
                m_colorSeen = false;
            }
            return;
        }
        if (m_st.dest != TDest::Text)
            return;
        const int cp = CodePageNow();
        if (!m_pending.empty() && cp != m_pendingCodePage)
            Flush();
        m_pendingCodePage = cp;
        m_pending += b;
    }

    void Unicode(std::u16string_view text)
    {
        if (m_st.dest != TDest::Text)
            return;
        Flush();
        Append(QString::fromUtf16(text.data(), qsizetype(text.size())));
    }

    // Decodes the bytes gathered so far; they all share one format, since
    // every control word flushes before it may change it.
    void Flush()
    {
        if (m_pending.empty())
            return;
        const QString text = DecodeCodePage(m_pendingCodePage, m_pending);
        m_pending.clear();
        Append(text);
    }

    // Charges `cost` to the budget; false, charging nothing, when it is spent.
    bool Afford(std::size_t cost)
    {
        if (m_budget < cost)
            return false;
        m_budget -= cost;
        return true;
    }

    void Append(const QString& text)
    {
        if (text.isEmpty())
            return;
        TRtfFormat format = FormatNow();
        if (m_para.runs.empty()) // the paragraph paid for its first run
            m_para.runs.push_back(TRtfRun{text, std::move(format)});
        else if (m_para.runs.back().format == format || !Afford(kRunCost))
            m_para.runs.back().text += text;
        else
            m_para.runs.push_back(TRtfRun{text, std::move(format)});
    }

    void Paragraph()
    {
        if (!Afford(kParagraphCost)) {
            Unicode(u"\u2028");
            return;
        }
        EndParagraph();
        m_para = TRtfParagraph{};
    }

    void EndParagraph()
    {
        m_para.alignment = m_st.align;
        m_doc.paragraphs.push_back(std::move(m_para));
    }

    int FontNow() const { return m_st.chr.font >= 0 ? m_st.chr.font : m_defaultFont; }

    int CodePageNow() const
    {
        const auto font = m_fonts.find(FontNow());
        if (font != m_fonts.end() && font->second.codePage > 0)
            return font->second.codePage;
        return m_codePage;
    }

    TRtfFormat FormatNow() const
    {
        const TCharState& chr = m_st.chr;
        TRtfFormat f;
        if (const auto font = m_fonts.find(FontNow()); font != m_fonts.end())
            f.fontFamily = font->second.name;
        f.fontSizeHalfPoints = chr.size;
        f.bold = chr.bold;
        f.italic = chr.italic;
        f.underline = chr.underline;
        f.strikeOut = chr.strikeOut;
        if (chr.color > 0 && std::size_t(chr.color) < m_colors.size())
            f.color = m_colors[std::size_t(chr.color)];
        return f;
    }

    void CommitFont()
    {
        if (m_fontNumber >= 0 && (m_fonts.size() < kMaxFonts || m_fonts.count(m_fontNumber))) {
            const int cp = m_fontCodePage > 0 ? m_fontCodePage : m_codePage;
            TFont& font = m_fonts[m_fontNumber];
            font.codePage = m_fontCodePage;
            font.name = DecodeCodePage(cp, m_fontBytes).trimmed();
        }
        m_fontNumber = -1;
        m_fontCodePage = 0;
        m_fontCpg = false;
        m_fontBytes.clear();
    }

    static void MendSurrogates(QString& s)
    {
        for (qsizetype i = 0; i < s.size(); ++i) {
            if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
                ++i;
            else if (s[i].isSurrogate())
                s[i] = QChar(QChar::ReplacementCharacter);
        }
    }

    std::string_view m_in;
    std::size_t m_pos = 0;
    std::vector<TGroupState> m_stack;
    TGroupState m_st;
    int m_skip = 0;      // \uc fallback characters still to drop
    bool m_star = false; // \* seen: the next control word is ignorable

    int m_codePage = 1252;
    int m_defaultFont = 0;
    std::map<int, TFont> m_fonts;
    int m_fontNumber = -1;
    int m_fontCodePage = 0;
    bool m_fontCpg = false;
    std::string m_fontBytes;

    std::vector<std::optional<TRtfColor>> m_colors;
    int m_red = 0, m_green = 0, m_blue = 0;
    bool m_colorSeen = false;

    std::string m_pending;
    int m_pendingCodePage = 1252;

    TRtfDocument m_doc;
    TRtfParagraph m_para;
    std::size_t m_budget; // bytes runs and paragraphs may still take
};

} // namespace

QString TRtfParagraph::Text() const
{
    QString text;
    for (const TRtfRun& run : runs)
        text += run.text;
    return text;
}

QString TRtfDocument::PlainText() const
{
    QStringList lines;
    for (const TRtfParagraph& p : paragraphs)
        lines << p.Text();
    return lines.join(QLatin1Char('\n'));
}

std::optional<TRtfDocument> ParseRtf(std::string_view bytes)
{
    return TParser(bytes).Run();
}
