#include "platform/data/FieldValue.h"

#include "platform/data/DisplayText.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <string_view>

namespace {

const QDate kEpoch(1970, 1, 1);

[[nodiscard]] bool IsNullValue(const QVariant& v) { return !v.isValid() || v.isNull(); }

[[nodiscard]] std::string_view View(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

[[nodiscard]] QByteArray BytesOf(std::string_view b) { return QByteArray(b.data(), static_cast<qsizetype>(b.size())); }

// An exact decimal as general-format text; nullopt for anything but a plain
// decimal number.
[[nodiscard]] std::optional<QVariant> CanonicalDecimal(const TFieldDef& def, const QVariant& value)
{
    QString text = value.typeId() == QMetaType::Double
        ? QString::number(value.toDouble(), 'f', def.scale > 0 ? def.scale : 15)
        : value.toString();
    text = FormatExactDecimal(text, u'.');
    // Only a plain decimal survives FormatExactDecimal unchanged in form.
    bool number = false;
    text.toDouble(&number);
    if (!number || text.contains(u'e', Qt::CaseInsensitive))
        return std::nullopt;
    return QVariant(text);
}

[[nodiscard]] std::optional<QVariant> Checked(QVariant value, bool ok)
{
    return ok ? std::optional<QVariant>(std::move(value)) : std::nullopt;
}

} // namespace

QVariant StoredValue(const TColumnData& column, std::size_t row)
{
    if (column.IsNull(row))
        return {};
    switch (column.Kind()) {
    case TStorageKind::Int32:
    case TStorageKind::Int64:
        return QVariant(static_cast<qlonglong>(column.Int(row)));
    case TStorageKind::Bool:
        return QVariant(column.Int(row) != 0);
    case TStorageKind::Float64:
        return QVariant(column.Double(row));
    case TStorageKind::Date:
        return QVariant(kEpoch.addDays(column.Days(row)));
    case TStorageKind::Time:
        return QVariant(QTime::fromMSecsSinceStartOfDay(static_cast<int>(column.Msecs(row))));
    case TStorageKind::DateTime: {
        const TStoredDayTime at = SplitStoredMsecs(column.Msecs(row));
        const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(at.msecs));
        return QVariant(QDateTime(kEpoch.addDays(at.days), time, Qt::UTC));
    }
    case TStorageKind::Text: {
        const std::string_view b = column.Bytes(row);
        return QVariant(QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())));
    }
    case TStorageKind::Bytes:
        return QVariant(BytesOf(column.Bytes(row)));
    }
    return {};
}

void StoreValue(TColumnData& column, std::size_t row, const QVariant& value)
{
    if (IsNullValue(value)) {
        column.SetNull(row, true);
        return;
    }
    switch (column.Kind()) {
    case TStorageKind::Int32:
    case TStorageKind::Int64:
        column.SetInt(row, value.toLongLong());
        break;
    case TStorageKind::Bool:
        column.SetInt(row, value.toBool() ? 1 : 0);
        break;
    case TStorageKind::Float64:
        column.SetDouble(row, value.toDouble());
        break;
    case TStorageKind::Date:
        column.SetDays(row, static_cast<std::int32_t>(kEpoch.daysTo(value.toDate())));
        break;
    case TStorageKind::Time:
        column.SetMsecs(row, value.toTime().msecsSinceStartOfDay());
        break;
    case TStorageKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        column.SetMsecs(row, kEpoch.daysTo(dt.date()) * kMsecsPerDay + dt.time().msecsSinceStartOfDay());
        break;
    }
    case TStorageKind::Text:
        column.SetBytes(row, View(value.toString().toUtf8()));
        break;
    case TStorageKind::Bytes:
        column.SetBytes(row, View(value.toByteArray()));
        break;
    }
}

std::optional<QVariant> CanonicalValue(const TFieldDef& def, const QVariant& value)
{
    if (IsNullValue(value))
        return QVariant();
    bool ok = true;
    switch (StorageKindOf(def.type)) {
    case TStorageKind::Int32:
    case TStorageKind::Int64: {
        const qlonglong v = value.toLongLong(&ok);
        return Checked(QVariant(v), ok);
    }
    case TStorageKind::Bool:
        return QVariant(value.toBool());
    case TStorageKind::Float64: {
        const double v = value.toDouble(&ok);
        return Checked(QVariant(v), ok);
    }
    case TStorageKind::Date: {
        const QDate d = value.toDate();
        return Checked(QVariant(d), d.isValid());
    }
    case TStorageKind::Time: {
        const QTime t = value.toTime();
        return Checked(QVariant(t), t.isValid());
    }
    case TStorageKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        return Checked(QVariant(QDateTime(dt.date(), dt.time(), Qt::UTC)), dt.isValid());
    }
    case TStorageKind::Text:
        if (def.type == ftBCD)
            return CanonicalDecimal(def, value);
        return QVariant(value.toString());
    case TStorageKind::Bytes:
        return QVariant(value.toByteArray());
    }
    return std::nullopt;
}

QByteArray ValueBytes(const QVariant& value, TFieldType type)
{
    if (IsNullValue(value))
        return {};
    switch (StorageKindOf(type)) {
    case TStorageKind::Bytes:
        return value.toByteArray();
    case TStorageKind::Text:
        return value.toString().toUtf8();
    default:
        return ValueDisplayText(value, type).toUtf8();
    }
}

int DefaultDisplayWidth(const TFieldDef& def)
{
    switch (def.type) {
    case ftSmallint: return 6;
    case ftWord: return 5;
    case ftInteger:
    case ftAutoInc: return 11;
    case ftLargeint: return 15;
    case ftFloat:
    case ftCurrency: return 10;
    case ftBCD: return def.precision > 0 ? def.precision + 2 : 10;
    case ftBoolean: return 5;
    case ftDate:
    case ftTime: return 10;
    case ftDateTime: return 18;
    case ftGuid: return 38;
    case ftString:
    case ftFixedChar:
    case ftWideString: return def.size > 0 ? def.size : 10;
    case ftBytes:
    case ftVarBytes: return def.size > 0 ? def.size * 2 : 10;
    default: return 10;
    }
}
