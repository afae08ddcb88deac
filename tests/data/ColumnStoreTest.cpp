#include "platform/data/ColumnStore.h"
#include "platform/data/DisplayText.h"

#include <QDateTime>
#include <QLocale>

#include <gtest/gtest.h>

#include <string>

TEST(ColumnStore, TextKeepsEmptyApartFromNullAndEditsStayLocal)
{
    TColumnData c(TStorageKind::Text);
    c.AppendBytes("abc");
    c.AppendNull();
    c.AppendBytes("");
    c.AppendBytes("de");
    EXPECT_EQ(c.Length(), 4u);
    EXPECT_EQ(c.Bytes(0), "abc");
    EXPECT_TRUE(c.IsNull(1));
    EXPECT_FALSE(c.IsNull(2));
    EXPECT_EQ(c.Bytes(2), "");
    EXPECT_EQ(c.Bytes(3), "de");

    c.SetBytes(1, "replaced");          // a NULL becomes a value
    c.AppendBytes("after");             // appends after an edit are not disturbed
    EXPECT_FALSE(c.IsNull(1));
    EXPECT_EQ(c.Bytes(1), "replaced");
    EXPECT_EQ(c.Bytes(3), "de");
    EXPECT_EQ(c.Bytes(4), "after");
    c.SetNull(0, true);
    EXPECT_TRUE(c.IsNull(0));
}

TEST(ColumnStore, NullBitsCrossWordBoundaries)
{
    TColumnData c(TStorageKind::Int64);
    for (int i = 0; i < 200; ++i) {
        if (i % 7 == 0)
            c.AppendNull();
        else
            c.AppendInt(i);
    }
    for (std::size_t i = 0; i < 200; ++i) {
        EXPECT_EQ(c.IsNull(i), i % 7 == 0) << i;
        if (i % 7 != 0) {
            EXPECT_EQ(c.Int(i), static_cast<std::int64_t>(i));
        }
    }
}

TEST(ColumnStore, Int32ColumnWidensForValuesBeyond32Bits)
{
    TColumnData c(TStorageKind::Int32);
    c.AppendInt(-5);
    c.AppendInt(4'294'967'295LL);        // unsigned int maximum
    c.AppendNull();
    EXPECT_EQ(c.Int(0), -5);
    EXPECT_EQ(c.Int(1), 4'294'967'295LL);
    EXPECT_TRUE(c.IsNull(2));
    c.SetInt(2, -3'000'000'000LL);
    EXPECT_EQ(c.Int(2), -3'000'000'000LL);
}

TEST(ColumnStore, RowsExistOnceEveryColumnHoldsThem)
{
    TColumnStore s;
    s.Reset({TFieldDef{"a", ftInteger}, TFieldDef{"b", ftString, 10}});
    EXPECT_EQ(s.RowCount(), 0u);
    s.Column(0).AppendInt(1);
    s.Column(0).AppendInt(2);
    s.Column(1).AppendBytes("x");
    EXPECT_EQ(s.RowCount(), 1u);
    s.Column(1).AppendBytes("y");
    EXPECT_EQ(s.RowCount(), 2u);
    EXPECT_EQ(s.AppendBlankRow(), 2u);
    EXPECT_EQ(s.RowCount(), 3u);
    EXPECT_TRUE(s.Column(0).IsNull(2));
    EXPECT_TRUE(s.Column(1).IsNull(2));
    EXPECT_EQ(StorageKindOf(ftBCD), TStorageKind::Text);
    EXPECT_EQ(StorageKindOf(ftVarBytes), TStorageKind::Bytes);
    EXPECT_EQ(StorageKindOf(ftWord), TStorageKind::Int32);
}

// The benchmark's shape of result: memory held per row against the bytes of
// its display text. The figure must stay within 1.3 times.
TEST(ColumnStore, MemoryPerRowStaysCloseToTheDisplayText)
{
    const TFormatSettings fs = TFormatSettings::FromLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    constexpr int kRows = 100'000;
    TColumnStore s;
    s.Reset({TFieldDef{"id", ftInteger}, TFieldDef{"code", ftString, 10}, TFieldDef{"amount", ftBCD, 0, 10, 2},
             TFieldDef{"qty", ftInteger}, TFieldDef{"at", ftDateTime}, TFieldDef{"text", ftString, 60}});
    const std::string sixty(60, 'x');
    std::size_t textBytes = 0;
    const QDateTime base(QDate(2024, 1, 1), QTime(8, 0), Qt::UTC);
    for (int i = 0; i < kRows; ++i) {
        const std::string code = "C" + std::to_string(1'000'000 + i);
        const std::string amount = std::to_string(10'000 + i % 90'000) + ".67";
        const std::int64_t msecs = base.toMSecsSinceEpoch() + std::int64_t{i} * 61'000;
        s.Column(0).AppendInt(i);
        s.Column(1).AppendBytes(code);
        s.Column(2).AppendBytes(amount);
        s.Column(3).AppendInt(i % 1000);
        s.Column(4).AppendMsecs(msecs);
        s.Column(5).AppendBytes(sixty);
        textBytes += std::to_string(i).size() + code.size() + amount.size() + std::to_string(i % 1000).size()
            + static_cast<std::size_t>(ValueDisplayText(QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC), ftDateTime, fs).toUtf8().size())
            + sixty.size();
    }
    s.Shrink();
    const double memoryPerRow = static_cast<double>(s.MemoryBytes()) / kRows;
    const double textPerRow = static_cast<double>(textBytes) / kRows;
    EXPECT_LE(memoryPerRow, 1.3 * textPerRow) << memoryPerRow << " bytes held per row, " << textPerRow << " text bytes";
    EXPECT_EQ(s.Column(5).Bytes(kRows - 1), sixty);
}
