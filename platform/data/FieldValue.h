#pragma once
// Values of the in-memory dataset's fields: between a column's stored form and
// QVariant, the one form a written value is kept in, and the default display
// width of a field. Widget-free.
//
// Variant forms by storage kind: Int32/Int64 qlonglong, Bool bool, Float64
// double, Date QDate, Time QTime, DateTime QDateTime in UTC (a wall-clock
// value that no zone rule may move), Text QString, Bytes QByteArray. NULL is
// an invalid or null variant.

#include "platform/data/ColumnStore.h"

#include <QByteArray>
#include <QVariant>

#include <optional>

// The value of `row` in `column`; an invalid variant for NULL.
[[nodiscard]] QVariant StoredValue(const TColumnData& column, std::size_t row);
// Writes a variant in the form of the column's kind into `row`.
void StoreValue(TColumnData& column, std::size_t row, const QVariant& value);

// `value` converted to the variant form of the field's kind: exact decimals
// (ftBCD) in general format, date-times as UTC wall clock. NULL stays NULL;
// nullopt when the value has no meaning for the field.
[[nodiscard]] std::optional<QVariant> CanonicalValue(const TFieldDef& def, const QVariant& value);

// The whole content of a value as bytes: raw bytes, UTF-8 text, the display
// text of anything else; empty for NULL.
[[nodiscard]] QByteArray ValueBytes(const QVariant& value, TFieldType type);

// Characters a field needs by default.
[[nodiscard]] int DefaultDisplayWidth(const TFieldDef& def);
