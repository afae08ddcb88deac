#pragma once
// The display text of a field value: the one conversion of a value to text
// used by the grid, the HTML export and the clipboard. Widget-free.
//
// Threading: the current format settings belong to the user-interface thread.

#include "query/DataSet.h"

#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

class TColumnData;

// The user's regional settings the conversion needs.
struct TFormatSettings {
    QChar decimalSeparator = u'.';
    // Patterns in QLocale's date/time format syntax.
    QString shortDateFormat = QStringLiteral("M/d/yyyy");
    QString longTimeFormat = QStringLiteral("h:mm:ss AP");
    // Supplies the AM/PM texts and any month or day names the patterns use.
    QLocale locale = QLocale::c();

    // The locale's decimal point, its short date format with a two-digit
    // year widened to four digits, and its long time format without the time
    // zone.
    [[nodiscard]] static TFormatSettings FromLocale(const QLocale& locale);
};

// The process-wide settings, built from QLocale::system() on first use.
[[nodiscard]] const TFormatSettings& CurrentFormatSettings();
void SetCurrentFormatSettings(const TFormatSettings& settings);

// Replaces the current settings for its lifetime (tests).
class TFormatSettingsScope {
public:
    explicit TFormatSettingsScope(const TFormatSettings& settings) : m_saved(CurrentFormatSettings())
    {
        SetCurrentFormatSettings(settings);
    }
    ~TFormatSettingsScope() { SetCurrentFormatSettings(m_saved); }
    TFormatSettingsScope(const TFormatSettingsScope&) = delete;
    TFormatSettingsScope& operator=(const TFormatSettingsScope&) = delete;
private:
    TFormatSettings m_saved;
};

// The display text of `value`, a value of a field of type `type` in the form
// TField::AsVariant gives it (an invalid or null variant is NULL: empty text).
//   integers      decimal digits
//   floats        general format, 15 significant digits (FormatFloatGeneral)
//   ftBCD         the exact decimal text in general format (FormatExactDecimal)
//   ftBoolean     "True" / "False"
//   ftDateTime    short date, a blank, long time; the time left out at midnight
//   ftDate/ftTime short date / long time
//   strings       as they are, cut at the first NUL; trailing blanks kept
//   ftMemo        the whole text
//   binary        one character per byte (U+0000..U+00FF)
[[nodiscard]] QString ValueDisplayText(const QVariant& value, TFieldType type,
                                       const TFormatSettings& settings = CurrentFormatSettings());

// General format with up to 15 significant digits: fixed notation while the
// value has at most 15 integer digits and is at least 0.00001 in magnitude,
// otherwise "d.dddE[-]x" ("1E20", "-1E-6"). "NAN", "INF", "-INF".
[[nodiscard]] QString FormatFloatGeneral(double value, QChar decimalSeparator = u'.');

// An exact decimal text ("-0012.3400", ".5", "+7") in general format:
// no leading zeros, no trailing fractional zeros, no point when nothing
// follows it, "0" for any zero; never rounded, any number of digits. Text that
// is not a plain decimal is returned with its '.' replaced.
[[nodiscard]] QString FormatExactDecimal(QStringView text, QChar decimalSeparator = u'.');

// UTF-16 units in room of their own, on the heap only past kInline units.
// Container-style names; not copyable (the data may point into itself).
class TUnitBuffer {
public:
    static constexpr qsizetype kInline = 128;

    TUnitBuffer() = default;
    TUnitBuffer(const TUnitBuffer&) = delete;
    TUnitBuffer& operator=(const TUnitBuffer&) = delete;

    [[nodiscard]] const char16_t* constData() const { return m_data; }
    [[nodiscard]] qsizetype size() const { return m_size; }
    [[nodiscard]] bool isEmpty() const { return m_size == 0; }
    [[nodiscard]] QStringView view() const { return QStringView(m_data, m_size); }
    void clear() { m_size = 0; }
    // Shrinks to `size` <= size().
    void resize(qsizetype size) { m_size = size; }
    void append(char16_t c)
    {
        if (m_size == m_capacity)
            Grow(1);
        m_data[m_size++] = c;
    }
    void append(const char16_t* units, qsizetype n)
    {
        if (n > m_capacity - m_size)
            Grow(n);
        if (n > 0)
            std::memcpy(m_data + m_size, units, static_cast<std::size_t>(n) * sizeof(char16_t));
        m_size += n;
    }

private:
    // Room for `more` units beyond size().
    void Grow(qsizetype more);

    char16_t m_inline[kInline];
    std::unique_ptr<char16_t[]> m_heap;
    char16_t* m_data = m_inline;
    qsizetype m_size = 0;
    qsizetype m_capacity = kInline;
};

// A display text formed without a QString: UTF-16 units in room of its own,
// or ASCII bytes (the digits here, or a stored text itself).
struct TDisplayBuffer {
    TUnitBuffer units;
    std::string_view ascii;   // valid while the store and this buffer are
    char digits[24];
};

// Where StoredDisplayText left the text.
enum class TStoredText : std::uint8_t {
    General,   // not formed: the value needs ValueDisplayText
    Units,     // in TDisplayBuffer::units (none for NULL)
    Ascii      // in TDisplayBuffer::ascii
};

// The display text of row `row` of `column`, holding values of a field of
// type `type`: the same text as ValueDisplayText(StoredValue(column, row),
// type, settings), formed without a QVariant or QString for integers,
// floats, exact decimals and text of ASCII characters without a NUL,
// booleans, and dates and times in the years 1000..9999. Anything else is
// left to the general path (General, `out` emptied).
[[nodiscard]] TStoredText StoredDisplayText(const TColumnData& column, std::size_t row, TFieldType type,
                                            TDisplayBuffer& out,
                                            const TFormatSettings& settings = CurrentFormatSettings());
