#include "platform/data/FieldValue.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <gtest/gtest.h>

namespace {

// Writes `value` into a one-row column of `type` and reads it back.
QVariant RoundTrip(TFieldType type, const QVariant& value)
{
    TColumnData column(StorageKindOf(type));
    column.AppendNull();
    StoreValue(column, 0, value);
    return StoredValue(column, 0);
}

TFieldDef Def(TFieldType type, int scale = 0) { return TFieldDef{QStringLiteral("f"), type, 0, 0, scale, false}; }

} // namespace

TEST(FieldValue, WrittenValuesReadBackInTheirKindsForm)
{
    EXPECT_EQ(RoundTrip(ftInteger, 42), QVariant(qlonglong{42}));
    EXPECT_EQ(RoundTrip(ftLargeint, qlonglong{-9'000'000'000'000}), QVariant(qlonglong{-9'000'000'000'000}));
    EXPECT_EQ(RoundTrip(ftBoolean, true), QVariant(true));
    EXPECT_EQ(RoundTrip(ftFloat, 2.5), QVariant(2.5));
    EXPECT_EQ(RoundTrip(ftDate, QDate(1969, 12, 31)), QVariant(QDate(1969, 12, 31)));
    EXPECT_EQ(RoundTrip(ftTime, QTime(23, 59, 59, 999)), QVariant(QTime(23, 59, 59, 999)));
    EXPECT_EQ(RoundTrip(ftMemo, QStringLiteral("Ж\r\n")), QVariant(QStringLiteral("Ж\r\n")));
    EXPECT_EQ(RoundTrip(ftVarBytes, QByteArray("\x00\xff", 2)), QVariant(QByteArray("\x00\xff", 2)));

    // Date-times before the epoch keep their day and time of day.
    const QDateTime early(QDate(1900, 1, 1), QTime(0, 0, 0, 1), Qt::UTC);
    EXPECT_EQ(RoundTrip(ftDateTime, early).toDateTime(), early);
    const QDateTime late(QDate(2024, 3, 31), QTime(2, 30), Qt::UTC);
    EXPECT_EQ(RoundTrip(ftDateTime, late).toDateTime(), late);

    EXPECT_FALSE(RoundTrip(ftInteger, QVariant()).isValid());
    EXPECT_FALSE(RoundTrip(ftMemo, QVariant(QMetaType(QMetaType::QString))).isValid());
}

TEST(FieldValue, CanonicalFormsAndRefusals)
{
    EXPECT_EQ(CanonicalValue(Def(ftInteger), QStringLiteral("42")), QVariant(qlonglong{42}));
    EXPECT_FALSE(CanonicalValue(Def(ftInteger), QStringLiteral("forty")));
    EXPECT_FALSE(CanonicalValue(Def(ftFloat), QStringLiteral("x")));
    EXPECT_FALSE(CanonicalValue(Def(ftDate), QStringLiteral("not a date")));
    EXPECT_EQ(CanonicalValue(Def(ftInteger), QVariant()), QVariant());   // NULL stays NULL

    // A local wall clock is kept as the same wall clock.
    const auto dt = CanonicalValue(Def(ftDateTime), QDateTime(QDate(2024, 3, 31), QTime(2, 30)));
    ASSERT_TRUE(dt);
    EXPECT_EQ(dt->toDateTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(dt->toDateTime().time(), QTime(2, 30));

    // Exact decimals: general format, from text or a double at the field's scale.
    EXPECT_EQ(CanonicalValue(Def(ftBCD), QStringLiteral("-0.50")), QVariant(QStringLiteral("-0.5")));
    EXPECT_EQ(CanonicalValue(Def(ftBCD, 2), 2.0), QVariant(QStringLiteral("2")));
    EXPECT_EQ(CanonicalValue(Def(ftBCD, 2), 3.14159), QVariant(QStringLiteral("3.14")));
    EXPECT_EQ(CanonicalValue(Def(ftBCD, 2), 12.25), QVariant(QStringLiteral("12.25")));
    EXPECT_FALSE(CanonicalValue(Def(ftBCD), QStringLiteral("1.2.3")));
    EXPECT_FALSE(CanonicalValue(Def(ftBCD), QStringLiteral("1e5")));
}

TEST(FieldValue, WholeContentBytesByKind)
{
    EXPECT_EQ(ValueBytes(QByteArray("\x00\x41", 2), ftBlob), QByteArray("\x00\x41", 2));
    EXPECT_EQ(ValueBytes(QStringLiteral("Ж"), ftMemo), QByteArray("\xd0\x96"));
    EXPECT_EQ(ValueBytes(qlonglong{-7}, ftInteger), QByteArray("-7"));
    EXPECT_EQ(ValueBytes(QVariant(), ftMemo), QByteArray());
}
