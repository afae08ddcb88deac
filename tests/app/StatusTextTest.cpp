#include "app/StatusText.h"

#include <QFont>
#include <QFontMetrics>

#include <gtest/gtest.h>

namespace {

constexpr QSize kBar{600, 19};   // the status bar's design height

QString Mask(const char* text)
{
    return MaskConnectionPasswords(QString::fromUtf8(text));
}

TEST(MaskConnectionPasswords, EveryPasswordKeywordInAnyCaseAndSpelling)
{
    EXPECT_EQ(Mask("Driver={FreeTDS};Server=s;UID=sa;PWD=secret;Database=d"),
              QStringLiteral("Driver={FreeTDS};Server=s;UID=sa;PWD=*****;Database=d"));
    EXPECT_EQ(Mask("Provider=SQLOLEDB;Password=p1;User ID=sa"), QStringLiteral("Provider=SQLOLEDB;Password=*****;User ID=sa"));
    EXPECT_EQ(Mask("pwd=a;PASSWORD=b"), QStringLiteral("pwd=*****;PASSWORD=*****"));
    EXPECT_EQ(Mask("UID=u; PWD = spaced ;X=1"), QStringLiteral("UID=u; PWD =*****;X=1"));
    // An empty password shows masked as well: its length is nobody's business.
    EXPECT_EQ(Mask("UID=u;PWD="), QStringLiteral("UID=u;PWD=*****"));
}

TEST(MaskConnectionPasswords, BracedValuesEndAtTheirClosingBrace)
{
    EXPECT_EQ(Mask("PWD={a;b}}c};UID=u"), QStringLiteral("PWD=*****;UID=u"));
    EXPECT_EQ(Mask("PWD={never closed;UID=u"), QStringLiteral("PWD=*****"));
    EXPECT_EQ(Mask("Server={PWD=x;y};UID=u"), QStringLiteral("Server={PWD=x;y};UID=u"));
}

TEST(MaskConnectionPasswords, OtherTextIsKeptAsWritten)
{
    for (const char* text : {"", "Driver=SQLite3;Database=/tmp/a.db", "DSN=x;;UID=Bqa_pass1;", "no pairs at all",
                             "UserPWD=visible;PWDX=visible"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Mask(text), QString::fromUtf8(text));
    }
}

TEST(StatusPanelPlace, TheDesignFontFitsWithItsDescenders)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    const QFontMetrics metrics(font);
    const TStatusPanelPlace place = StatusPanelPlace(kBar, metrics.ascent(), metrics.descent());
    EXPECT_EQ(place.panel.bottom(), kBar.height() - 1);
    EXPECT_GE(place.baseline - metrics.ascent(), place.text.top());
    EXPECT_LE(place.baseline + metrics.descent(), place.text.bottom() + 1);
    EXPECT_GT(place.text.left(), place.panel.left());
    EXPECT_LT(place.text.right(), place.panel.right());
}

TEST(StatusPanelPlace, CentredVerticallyAndATallFontKeepsItsDescenders)
{
    const TStatusPanelPlace small = StatusPanelPlace(kBar, 8, 2);
    const int above = small.baseline - 8 - small.text.top();
    const int below = small.text.bottom() + 1 - (small.baseline + 2);
    EXPECT_LE(std::abs(above - below), 1);

    const TStatusPanelPlace tall = StatusPanelPlace(kBar, 16, 5);
    EXPECT_EQ(tall.baseline + 5, tall.text.bottom() + 1);
}

} // namespace
