#include "app/StatusText.h"

#include <algorithm>

namespace {

[[nodiscard]] bool IsPasswordKey(QStringView key)
{
    key = key.trimmed();
    return key.compare(u"PWD", Qt::CaseInsensitive) == 0 || key.compare(u"Password", Qt::CaseInsensitive) == 0;
}

// End (exclusive) of the value starting at `from`: a braced value through
// its closing brace, otherwise up to the next ';'.
[[nodiscard]] qsizetype ValueEnd(const QString& text, qsizetype from)
{
    qsizetype i = from;
    while (i < text.size() && text.at(i) == u' ')
        ++i;
    if (i < text.size() && text.at(i) == u'{') {
        for (++i; i < text.size(); ++i) {
            if (text.at(i) != u'}')
                continue;
            if (i + 1 < text.size() && text.at(i + 1) == u'}') {
                ++i;
                continue;
            }
            return i + 1;
        }
        return text.size();
    }
    const qsizetype semicolon = text.indexOf(u';', i);
    return semicolon < 0 ? text.size() : semicolon;
}

} // namespace

QString MaskConnectionPasswords(const QString& text)
{
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype equals = text.indexOf(u'=', pos);
        const qsizetype semicolon = text.indexOf(u';', pos);
        if (equals < 0 || (semicolon >= 0 && semicolon < equals)) {
            // A segment without a value: kept as it is.
            const qsizetype end = semicolon < 0 ? text.size() : semicolon + 1;
            out += QStringView(text).mid(pos, end - pos);
            pos = end;
            continue;
        }
        const qsizetype valueEnd = ValueEnd(text, equals + 1);
        out += QStringView(text).mid(pos, equals + 1 - pos);
        if (IsPasswordKey(QStringView(text).mid(pos, equals - pos)))
            out += QString::fromUtf16(kPasswordMask);
        else
            out += QStringView(text).mid(equals + 1, valueEnd - equals - 1);
        // The separator after the value, if any, is copied by the next turn
        // as an empty segment.
        pos = valueEnd;
        if (pos < text.size() && text.at(pos) == u';') {
            out += u';';
            ++pos;
        }
    }
    return out;
}

TStatusPanelPlace StatusPanelPlace(QSize bar, int ascent, int descent)
{
    constexpr int kTopGap = 2;
    constexpr int kFrame = 1;
    constexpr int kMargin = 2;
    TStatusPanelPlace place;
    place.panel = QRect(0, kTopGap, bar.width(), std::max(0, bar.height() - kTopGap));
    const QRect inner = place.panel.adjusted(kFrame, kFrame, -kFrame, -kFrame);
    place.text = inner.adjusted(kMargin, 0, -kMargin, 0);
    const int lineHeight = ascent + descent;
    const int top = inner.top() + std::max(0, (inner.height() - lineHeight) / 2);
    // Never below the point where the descenders still fit.
    place.baseline = std::min(top + ascent, inner.top() + inner.height() - descent);
    return place;
}
