// Column default widths and text placement in cells.

#include "grid/GridPainter.h"
#include "grid/dxGridColumns.h"

#include <QApplication>
#include <QFontMetrics>

#include <gtest/gtest.h>

// --- columns and text placement

TEST(GridColumnWidth, DefaultWidthRule)
{
    EXPECT_EQ(ComputeDefaultColumnWidth(-1, 7, 0, -1), 64);
    EXPECT_EQ(ComputeDefaultColumnWidth(30, 7, 0, -1), 36);    // caption wins over 64
    EXPECT_EQ(ComputeDefaultColumnWidth(100, 7, 0, -1), 106);
    EXPECT_EQ(ComputeDefaultColumnWidth(30, 7, 0, 20), 144);   // digits win
    EXPECT_EQ(ComputeDefaultColumnWidth(200, 7, 0, 20), 206);
    EXPECT_EQ(ComputeDefaultColumnWidth(-1, 7, 1, 10), 65);
    // Huge declared sizes clamp instead of overflowing.
    EXPECT_EQ(ComputeDefaultColumnWidth(-1, 7, 0, 2000000000), kMaxDefaultColumnWidth);
    EXPECT_EQ(ComputeDefaultColumnWidth(2147483647, 7, 0, -1), kMaxDefaultColumnWidth);
}

TEST(GridText, DataTextPlacementKeepsTwoPixelMargins)
{
    // Cell [100, 299): grid line at x = 299.
    EXPECT_EQ(DataTextX(100, 299, 30, taLeftJustify), 102);
    EXPECT_EQ(DataTextX(100, 299, 30, taRightJustify), 299 - 2 - 30);
    EXPECT_EQ(DataTextX(100, 299, 30, taCenter), 102 + (195 / 2 - 15));
}

TEST(GridText, EllipsisReplacesTheCutTail)
{
    const QFontMetrics fm(QApplication::font());
    const QString wide = QStringLiteral("A caption that is much wider than two hundred pixels in any font");
    ASSERT_GT(fm.horizontalAdvance(wide), 200);
    const QString cut = ElideEnd(fm, wide, 200);
    EXPECT_TRUE(cut.endsWith(QStringLiteral("...")));
    EXPECT_LE(fm.horizontalAdvance(cut), 200);
    EXPECT_TRUE(wide.startsWith(cut.left(cut.size() - 3)));
    // One more character would not fit.
    EXPECT_GT(fm.horizontalAdvance(wide.left(cut.size() - 2) + QStringLiteral("...")), 200);
    EXPECT_EQ(ElideEnd(fm, QStringLiteral("ID"), 200), QStringLiteral("ID"));
}

TEST(GridText, DottedFrameTakesEveryOtherPixel)
{
    const auto pts = DottedFramePoints(QRect(10, 20, 6, 4));
    // Perimeter of a 6x4 frame: 16 pixels, every other one.
    EXPECT_EQ(pts.size(), 8u);
    EXPECT_EQ(pts.front(), QPoint(10, 20));
    for (const QPoint& p : pts)
        EXPECT_TRUE(p.x() == 10 || p.x() == 15 || p.y() == 20 || p.y() == 23);
}

TEST(GridText, ControlCharactersGetVisibleMarks)
{
    const QString mark{QChar(kLineBreakMark)};
    EXPECT_EQ(VisibleCellText(QStringLiteral("Строка 1\r\nСтрока 2")), QStringLiteral("Строка 1") + mark + QStringLiteral("Строка 2"));
    EXPECT_EQ(VisibleCellText(QStringLiteral("a\nb\rc")), QStringLiteral("a") + mark + QStringLiteral("b") + mark + QStringLiteral("c"));
    EXPECT_EQ(VisibleCellText(QStringLiteral("\r\n\r\n")), mark + mark);
    EXPECT_EQ(VisibleCellText(QStringLiteral("a\tb")), QStringLiteral("a") + QChar(kTabMark) + QStringLiteral("b"));
    EXPECT_EQ(VisibleCellText(QString(QChar(0x01))), QString(QChar(kControlMark)));
    const QString plain = QStringLiteral("no breaks here");
    EXPECT_EQ(VisibleCellText(plain), plain);
}
