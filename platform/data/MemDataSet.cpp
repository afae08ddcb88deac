#include "platform/data/MemDataSet.h"

#include "platform/data/DisplayText.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace {

constexpr std::int64_t kMsecsPerDay = 86'400'000;
const QDate kEpoch(1970, 1, 1);
constexpr std::size_t kNoPos = std::numeric_limits<std::size_t>::max();

[[nodiscard]] bool IsEditState(TDataSetState s) { return s == dsEdit || s == dsInsert; }

[[nodiscard]] std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

[[nodiscard]] int DefaultDisplayWidth(const TFieldDef& def)
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

} // namespace

// ------------------------------------------------------------------ TMemField

class TMemField final : public TField {
public:
    TMemField(TMemDataSet* dataSet, int index, const TFieldDef& def)
        : m_dataSet(dataSet), m_index(index), m_def(def), m_kind(StorageKindOf(def.type)) {}

    [[nodiscard]] TDataSet* DataSet() const override { return m_dataSet; }
    [[nodiscard]] int Index() const override { return m_index; }
    [[nodiscard]] QString FieldName() const override { return m_def.name; }
    [[nodiscard]] TFieldType DataType() const override { return m_def.type; }
    [[nodiscard]] int Size() const override { return m_def.size; }
    [[nodiscard]] int DisplayWidth() const override { return DefaultDisplayWidth(m_def); }
    [[nodiscard]] TAlignment Alignment() const override
    {
        return IsNumericType(m_def.type) ? taRightJustify : taLeftJustify;
    }
    [[nodiscard]] bool ReadOnly() const override { return m_def.readOnly; }

    [[nodiscard]] bool IsNull() const override;
    [[nodiscard]] QVariant AsVariant() const override;
    [[nodiscard]] QString DisplayText() const override { return ValueDisplayText(AsVariant(), m_def.type); }
    [[nodiscard]] QByteArray SaveToBytes() const override;
    void SetValue(const QVariant& value) override;

    [[nodiscard]] const TFieldDef& Def() const { return m_def; }
    [[nodiscard]] TStorageKind Kind() const { return m_kind; }
    // A field of an earlier result: reads NULL, refuses writes.
    void Retire() { m_retired = true; }

    // The stored value of physical row `row` in this field's column.
    [[nodiscard]] static QVariant StoredValue(const TColumnData& column, TFieldType type, std::size_t row);

private:
    // Where the active record's value lives: the edit buffer, a store row, or
    // nowhere (NULL: no record, or a retired field).
    struct Source {
        const QVariant* buffered = nullptr;
        std::size_t row = kNoPos;
    };
    [[nodiscard]] Source Locate() const;
    [[nodiscard]] QVariant Canonical(const QVariant& value) const;

    TMemDataSet* m_dataSet;
    int m_index;
    TFieldDef m_def;
    TStorageKind m_kind;
    bool m_retired = false;
};

// ---------------------------------------------------------------------- Impl

struct TMemDataSet::Impl {
    std::optional<TColumnStore> source;   // rows given to SetData
    TColumnStore store;
    bool active = false;
    TDataSetState state = dsInactive;
    std::vector<std::unique_ptr<TMemField>> fields;
    // Fields of earlier results: they outlive Close() (reads then raise the
    // closed-dataset error) and are freed once the links have heard of the
    // next open.
    std::vector<std::unique_ptr<TMemField>> retired;

    // Logical position -> physical row. Empty while it is the identity over
    // [0, count), which holds until the first insert or delete in the middle.
    std::vector<std::uint32_t> order;
    std::size_t count = 0;
    std::size_t baseRows = 0;             // physical rows [0, baseRows) came from the open

    // Cursor and window. `cur` and `top` are logical positions; meaningful
    // while count > 0. The window is [top, top + bufferCount) clipped to data.
    std::size_t cur = 0;
    std::size_t top = 0;
    bool bof = true;
    bool eof = true;
    int bufferCount = 1;
    int readRow = -1;                     // window row the fields read; -1: the cursor's

    // The record being edited or inserted.
    std::vector<QVariant> buffer;
    std::vector<bool> dirty;              // fields SetValue wrote since Edit/Insert
    bool modified = false;

    // Write-back bookkeeping.
    std::unordered_map<std::size_t, std::vector<QVariant>> originals;
    std::unordered_set<std::size_t> gone;   // deleted rows and dropped inserts
    std::vector<TBookmark> deleted;

    // Notifications.
    std::vector<TDataSource*> sources;
    int disableCount = 0;
    bool activeAtDisable = false;
    TDataSetState stateAtDisable = dsInactive;
    std::uint64_t openCount = 0;           // opens so far
    std::uint64_t openCountAtDisable = 0;

    [[nodiscard]] std::size_t Physical(std::size_t logical) const
    {
        return order.empty() ? logical : order[logical];
    }
    [[nodiscard]] std::size_t LogicalOf(std::int64_t id) const
    {
        if (id < 0)
            return kNoPos;
        const auto phys = static_cast<std::size_t>(id);
        if (order.empty())
            return phys < count ? phys : kNoPos;
        const auto it = std::find(order.begin(), order.end(), static_cast<std::uint32_t>(phys));
        return it == order.end() || phys > std::numeric_limits<std::uint32_t>::max()
            ? kNoPos : static_cast<std::size_t>(it - order.begin());
    }
    void MaterializeOrder()
    {
        if (order.empty() && count > 0) {
            order.resize(count);
            std::iota(order.begin(), order.end(), std::uint32_t{0});
        }
    }
    [[nodiscard]] int CursorRow() const { return static_cast<int>(cur - top); }
    [[nodiscard]] int WindowRecords() const
    {
        if (!active || count == 0)
            return 0;
        return static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(bufferCount), count - top));
    }
    // Scrolls the window the least amount that shows the cursor, then keeps
    // it full where the data allows.
    void FitWindow()
    {
        if (count == 0) {
            top = 0;
            cur = 0;
            return;
        }
        cur = std::min(cur, count - 1);
        const auto bc = static_cast<std::size_t>(bufferCount);
        if (cur < top)
            top = cur;
        else if (cur >= top + bc)
            top = cur - bc + 1;
        const std::size_t maxTop = count > bc ? count - bc : 0;
        top = std::min(top, maxTop);
    }
    [[nodiscard]] std::vector<QVariant> RowValues(std::size_t phys) const
    {
        std::vector<QVariant> values;
        values.reserve(fields.size());
        for (int i = 0; i < store.ColumnCount(); ++i)
            values.push_back(TMemField::StoredValue(store.Column(i), store.Defs()[static_cast<std::size_t>(i)].type, phys));
        return values;
    }
    // Writes the fields marked in `only` (all when empty).
    void WriteRow(std::size_t phys, const std::vector<QVariant>& values, const std::vector<bool>& only = {});
    void FreeRetired()
    {
        if (active && disableCount == 0)
            retired.clear();
    }
};

void TMemDataSet::Impl::WriteRow(std::size_t phys, const std::vector<QVariant>& values, const std::vector<bool>& only)
{
    for (int i = 0; i < store.ColumnCount(); ++i) {
        if (!only.empty() && !only[static_cast<std::size_t>(i)])
            continue;
        TColumnData& col = store.Column(i);
        const QVariant& v = values[static_cast<std::size_t>(i)];
        if (!v.isValid() || v.isNull()) {
            col.SetNull(phys, true);
            continue;
        }
        switch (col.Kind()) {
        case TStorageKind::Int32:
        case TStorageKind::Int64:
            col.SetInt(phys, v.toLongLong());
            break;
        case TStorageKind::Bool:
            col.SetInt(phys, v.toBool() ? 1 : 0);
            break;
        case TStorageKind::Float64:
            col.SetDouble(phys, v.toDouble());
            break;
        case TStorageKind::Date:
            col.SetDays(phys, static_cast<std::int32_t>(kEpoch.daysTo(v.toDate())));
            break;
        case TStorageKind::Time:
            col.SetMsecs(phys, v.toTime().msecsSinceStartOfDay());
            break;
        case TStorageKind::DateTime: {
            const QDateTime dt = v.toDateTime();
            col.SetMsecs(phys, kEpoch.daysTo(dt.date()) * kMsecsPerDay + dt.time().msecsSinceStartOfDay());
            break;
        }
        case TStorageKind::Text: {
            const QByteArray utf8 = v.toString().toUtf8();
            col.SetBytes(phys, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
            break;
        }
        case TStorageKind::Bytes: {
            const QByteArray bytes = v.toByteArray();
            col.SetBytes(phys, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
            break;
        }
        }
    }
}

template <typename F> void TMemDataSet::NotifyLinks(F&& f)
{
    if (m_impl->disableCount > 0)
        return;
    for (TDataSource* source : std::vector<TDataSource*>(m_impl->sources)) {
        // A handler may have detached a later source meanwhile.
        if (std::find(m_impl->sources.begin(), m_impl->sources.end(), source) != m_impl->sources.end())
            source->ForEachLink(f);
    }
}

// --------------------------------------------------------- TMemField methods

QVariant TMemField::StoredValue(const TColumnData& column, TFieldType type, std::size_t row)
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
        // A wall-clock value: held as UTC so that no zone rule moves it.
        const std::int64_t ms = column.Msecs(row);
        const std::int64_t days = FloorDiv(ms, kMsecsPerDay);
        const QTime time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms - days * kMsecsPerDay));
        return QVariant(QDateTime(kEpoch.addDays(days), time, Qt::UTC));
    }
    case TStorageKind::Text: {
        const std::string_view b = column.Bytes(row);
        return QVariant(QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size())));
    }
    case TStorageKind::Bytes: {
        const std::string_view b = column.Bytes(row);
        return QVariant(QByteArray(b.data(), static_cast<qsizetype>(b.size())));
    }
    }
    Q_UNUSED(type);
    return {};
}

TMemField::Source TMemField::Locate() const
{
    const TMemDataSet::Impl& d = *m_dataSet->m_impl;
    if (!d.active)
        m_dataSet->DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (m_retired || d.count == 0)
        return {};
    const std::size_t logical = d.top + static_cast<std::size_t>(m_dataSet->WindowActiveRecord());
    if (IsEditState(d.state) && logical == d.cur)
        return {&d.buffer[static_cast<std::size_t>(m_index)], kNoPos};
    return {nullptr, d.Physical(logical)};
}

bool TMemField::IsNull() const
{
    const Source s = Locate();
    if (s.buffered)
        return !s.buffered->isValid() || s.buffered->isNull();
    return s.row == kNoPos || m_dataSet->m_impl->store.Column(m_index).IsNull(s.row);
}

QVariant TMemField::AsVariant() const
{
    const Source s = Locate();
    if (s.buffered)
        return *s.buffered;
    if (s.row == kNoPos)
        return {};
    return StoredValue(m_dataSet->m_impl->store.Column(m_index), m_def.type, s.row);
}

QByteArray TMemField::SaveToBytes() const
{
    const Source s = Locate();
    if (!s.buffered && s.row != kNoPos && (m_kind == TStorageKind::Text || m_kind == TStorageKind::Bytes)) {
        const TColumnData& col = m_dataSet->m_impl->store.Column(m_index);
        if (col.IsNull(s.row))
            return {};
        const std::string_view b = col.Bytes(s.row);
        return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
    }
    const QVariant v = s.buffered ? *s.buffered : (s.row == kNoPos ? QVariant() : AsVariant());
    if (!v.isValid() || v.isNull())
        return {};
    if (m_kind == TStorageKind::Bytes)
        return v.toByteArray();
    if (m_kind == TStorageKind::Text)
        return v.toString().toUtf8();
    return ValueDisplayText(v, m_def.type).toUtf8();
}

QVariant TMemField::Canonical(const QVariant& value) const
{
    if (!value.isValid() || value.isNull())
        return {};
    bool ok = true;
    QVariant out;
    switch (m_kind) {
    case TStorageKind::Int32:
    case TStorageKind::Int64:
        out = QVariant(value.toLongLong(&ok));
        break;
    case TStorageKind::Bool:
        out = QVariant(value.toBool());
        break;
    case TStorageKind::Float64:
        out = QVariant(value.toDouble(&ok));
        break;
    case TStorageKind::Date:
        out = QVariant(value.toDate());
        ok = out.toDate().isValid();
        break;
    case TStorageKind::Time:
        out = QVariant(value.toTime());
        ok = out.toTime().isValid();
        break;
    case TStorageKind::DateTime: {
        const QDateTime dt = value.toDateTime();
        ok = dt.isValid();
        out = QVariant(QDateTime(dt.date(), dt.time(), Qt::UTC));
        break;
    }
    case TStorageKind::Text:
        if (m_def.type == ftBCD) {
            QString text = value.typeId() == QMetaType::Double
                ? QString::number(value.toDouble(), 'f', m_def.scale > 0 ? m_def.scale : 15)
                : value.toString();
            text = FormatExactDecimal(text, u'.');
            // Only a plain decimal survives FormatExactDecimal unchanged in form.
            bool number = false;
            text.toDouble(&number);
            ok = number && !text.contains(u'e', Qt::CaseInsensitive);
            out = QVariant(text);
        } else {
            out = QVariant(value.toString());
        }
        break;
    case TStorageKind::Bytes:
        out = QVariant(value.toByteArray());
        break;
    }
    if (!ok)
        m_dataSet->DatabaseError(QStringLiteral("'%1' is not a valid value for field '%2'").arg(value.toString(), m_def.name));
    return out;
}

void TMemField::SetValue(const QVariant& value)
{
    TMemDataSet::Impl& d = *m_dataSet->m_impl;
    if (!d.active || m_retired)
        m_dataSet->DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (m_dataSet->m_readOnly)
        m_dataSet->DatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (m_def.readOnly)
        m_dataSet->DatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(m_def.name));
    if (!IsEditState(d.state))
        m_dataSet->DatabaseError(QStringLiteral("Not in edit or insert mode"));
    d.buffer[static_cast<std::size_t>(m_index)] = Canonical(value);
    d.dirty[static_cast<std::size_t>(m_index)] = true;
    d.modified = true;
    m_dataSet->NotifyLinks([this](TDataLink& link) { link.RecordChanged(this); });
}

// --------------------------------------------------------------- TMemDataSet

TMemDataSet::TMemDataSet(QString name) : m_impl(std::make_unique<Impl>()), m_name(std::move(name)) {}

TMemDataSet::~TMemDataSet()
{
    // Links hear only the active-changed of their source from here on.
    m_impl->active = false;
    for (TDataSource* source : std::vector<TDataSource*>(m_impl->sources))
        source->SetDataSet(nullptr);
}

void TMemDataSet::SetData(TColumnStore store)
{
    m_impl->source = std::move(store);
}

void TMemDataSet::InternalOpen(TColumnStore& store)
{
    if (m_impl->source)
        store = *m_impl->source;
    else
        store.Clear();
}

void TMemDataSet::DatabaseError(const QString& text) const
{
    throw EDatabaseError(m_name.isEmpty() ? text : QStringLiteral("%1: %2").arg(m_name, text));
}

void TMemDataSet::CheckActive() const
{
    if (!m_impl->active)
        DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TMemDataSet::CheckCanModify() const
{
    if (m_readOnly)
        DatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
}

void TMemDataSet::CheckBrowseMode()
{
    if (IsEditState(m_impl->state)) {
        if (m_impl->modified)
            Post();
        else
            Cancel();
    }
}


void TMemDataSet::Open()
{
    Impl& d = *m_impl;
    if (d.active)
        return;
    TColumnStore store;
    InternalOpen(store);

    std::vector<TFieldDef> defs = store.Defs();
    ApplyFieldNaming(defs);
    for (std::size_t i = 0; i < defs.size(); ++i)
        store.SetFieldName(static_cast<int>(i), defs[i].name);
    store.Shrink();

    d.store = std::move(store);
    d.count = d.store.RowCount();
    d.baseRows = d.count;
    d.order.clear();
    d.originals.clear();
    d.gone.clear();
    d.deleted.clear();
    d.buffer.clear();
    d.modified = false;
    d.cur = 0;
    d.top = 0;
    d.readRow = -1;
    d.bof = true;
    d.eof = d.count == 0;
    for (auto& f : d.fields) {
        f->Retire();
        d.retired.push_back(std::move(f));
    }
    d.fields.clear();
    for (std::size_t i = 0; i < defs.size(); ++i)
        d.fields.push_back(std::make_unique<TMemField>(this, static_cast<int>(i), defs[i]));
    d.state = dsBrowse;
    d.active = true;
    ++d.openCount;
    d.FitWindow();

    NotifyLinks([](TDataLink& link) { link.ActiveChanged(true); });
    NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
    d.FreeRetired();
}

void TMemDataSet::Close()
{
    Impl& d = *m_impl;
    if (!d.active)
        return;
    d.buffer.clear();
    d.modified = false;
    for (auto& f : d.fields) {
        f->Retire();
        d.retired.push_back(std::move(f));
    }
    d.fields.clear();
    d.store = TColumnStore();
    std::vector<std::uint32_t>().swap(d.order);
    d.originals.clear();
    d.gone.clear();
    d.deleted.clear();
    d.count = d.baseRows = d.cur = d.top = 0;
    d.readRow = -1;
    d.bof = d.eof = true;
    d.active = false;
    d.state = dsInactive;

    NotifyLinks([](TDataLink& link) { link.ActiveChanged(false); });
}

bool TMemDataSet::Active() const { return m_impl->active; }
TDataSetState TMemDataSet::State() const { return m_impl->state; }

void TMemDataSet::MoveCursorTo(std::size_t logical, bool bof, bool eof)
{
    Impl& d = *m_impl;
    const std::size_t oldTop = d.top;
    const std::size_t oldCur = d.cur;
    const int oldRead = d.readRow;
    d.cur = logical;
    d.readRow = -1;
    d.bof = bof;
    d.eof = eof;
    d.FitWindow();
    if (d.top == oldTop && d.cur == oldCur && oldRead == -1)
        return;
    const auto distance = static_cast<std::int64_t>(oldTop) - static_cast<std::int64_t>(d.top);
    if (std::llabs(distance) <= d.bufferCount) {
        const int dist = static_cast<int>(distance);
        NotifyLinks([dist](TDataLink& link) { link.DataSetScrolled(dist); });
    } else {
        NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
    }
}

void TMemDataSet::First()
{
    CheckActive();
    CheckBrowseMode();
    if (m_impl->count == 0) {
        m_impl->bof = m_impl->eof = true;
        return;
    }
    MoveCursorTo(0, true, false);
}

void TMemDataSet::Last()
{
    CheckActive();
    CheckBrowseMode();
    if (m_impl->count == 0) {
        m_impl->bof = m_impl->eof = true;
        return;
    }
    MoveCursorTo(m_impl->count - 1, false, true);
}

void TMemDataSet::Next() { MoveBy(1); }
void TMemDataSet::Prior() { MoveBy(-1); }

int TMemDataSet::MoveBy(int distance)
{
    CheckActive();
    CheckBrowseMode();
    Impl& d = *m_impl;
    if (distance == 0)
        return 0;
    if (d.count == 0) {
        d.bof = d.eof = true;
        return 0;
    }
    if (distance > 0) {
        if (d.eof)
            return 0;
        const std::size_t avail = d.count - 1 - d.cur;
        const std::size_t want = static_cast<std::size_t>(distance);
        const std::size_t moved = std::min(want, avail);
        MoveCursorTo(d.cur + moved, false, want > avail);
        return static_cast<int>(moved);
    }
    if (d.bof)
        return 0;
    const std::size_t want = static_cast<std::size_t>(-static_cast<std::int64_t>(distance));
    const std::size_t moved = std::min(want, d.cur);
    MoveCursorTo(d.cur - moved, want > d.cur, false);
    return -static_cast<int>(moved);
}

bool TMemDataSet::Bof() const { return !m_impl->active || m_impl->bof; }
bool TMemDataSet::Eof() const { return !m_impl->active || m_impl->eof; }

int TMemDataSet::RecNo() const
{
    const Impl& d = *m_impl;
    return d.active && d.count > 0 ? static_cast<int>(d.cur + 1) : -1;
}

void TMemDataSet::SetRecNo(int recNo)
{
    CheckActive();
    CheckBrowseMode();
    Impl& d = *m_impl;
    if (d.count == 0)
        return;
    const auto target = static_cast<std::size_t>(std::clamp<std::int64_t>(recNo, 1, static_cast<std::int64_t>(d.count)) - 1);
    MoveCursorTo(target, false, false);
}

int TMemDataSet::RecordCount() const
{
    return m_impl->active ? static_cast<int>(m_impl->count) : 0;
}

int TMemDataSet::FieldCount() const
{
    return m_impl->active ? static_cast<int>(m_impl->fields.size()) : 0;
}

TField* TMemDataSet::Fields(int index) const
{
    if (!m_impl->active || index < 0 || index >= static_cast<int>(m_impl->fields.size()))
        return nullptr;
    return m_impl->fields[static_cast<std::size_t>(index)].get();
}

TField* TMemDataSet::FindField(const QString& name) const
{
    if (!m_impl->active)
        return nullptr;
    for (const auto& f : m_impl->fields)
        if (f->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField* TMemDataSet::FieldByName(const QString& name) const
{
    CheckActive();
    TField* f = FindField(name);
    if (!f)
        DatabaseError(QStringLiteral("Field '%1' not found").arg(name));
    return f;
}

void TMemDataSet::Edit()
{
    CheckActive();
    Impl& d = *m_impl;
    if (IsEditState(d.state))
        return;
    CheckCanModify();
    if (d.count == 0) {
        Insert();
        return;
    }
    d.buffer = d.RowValues(d.Physical(d.cur));
    d.dirty.assign(d.fields.size(), false);
    d.modified = false;
    d.readRow = -1;
    d.state = dsEdit;
    NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
}

std::size_t TMemDataSet::AddBlankRecord(std::size_t logical)
{
    Impl& d = *m_impl;
    const std::size_t phys = d.store.AppendBlankRow();
    // The identity order survives an append of the next physical row.
    if (!(d.order.empty() && logical == d.count && phys == d.count)) {
        d.MaterializeOrder();
        d.order.insert(d.order.begin() + static_cast<std::ptrdiff_t>(logical), static_cast<std::uint32_t>(phys));
    }
    ++d.count;
    d.buffer.assign(d.fields.size(), QVariant());
    d.dirty.assign(d.fields.size(), false);
    d.modified = false;
    d.readRow = -1;
    d.cur = logical;
    d.state = dsInsert;
    d.FitWindow();
    return phys;
}

void TMemDataSet::Insert()
{
    CheckActive();
    CheckCanModify();
    CheckBrowseMode();
    Impl& d = *m_impl;
    AddBlankRecord(d.count == 0 ? 0 : d.cur);
    NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
    NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
}

void TMemDataSet::Append()
{
    CheckActive();
    CheckCanModify();
    CheckBrowseMode();
    Impl& d = *m_impl;
    AddBlankRecord(d.count);
    d.bof = false;
    d.eof = true;
    NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
    NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
}

void TMemDataSet::Post()
{
    CheckActive();
    Impl& d = *m_impl;
    if (!IsEditState(d.state))
        return;
    const std::size_t phys = d.Physical(d.cur);
    if (d.modified) {
        if (d.state == dsEdit && phys < d.baseRows && !d.originals.contains(phys))
            d.originals.emplace(phys, d.RowValues(phys));
        d.WriteRow(phys, d.buffer, d.dirty);
    }
    d.buffer.clear();
    d.modified = false;
    d.state = dsBrowse;
    NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
    NotifyLinks([](TDataLink& link) { link.RecordChanged(nullptr); });
}

void TMemDataSet::RemoveCurrent()
{
    Impl& d = *m_impl;
    const std::size_t phys = d.Physical(d.cur);
    if (!(d.order.empty() && d.cur + 1 == d.count)) {
        d.MaterializeOrder();
        d.order.erase(d.order.begin() + static_cast<std::ptrdiff_t>(d.cur));
    }
    --d.count;
    d.gone.insert(phys);
    if (d.count == 0) {
        d.bof = d.eof = true;
    } else {
        d.bof = d.eof = false;
        d.cur = std::min(d.cur, d.count - 1);
    }
    d.readRow = -1;
    d.FitWindow();
}

void TMemDataSet::Cancel()
{
    CheckActive();
    Impl& d = *m_impl;
    if (d.state == dsEdit) {
        d.buffer.clear();
        d.modified = false;
        d.state = dsBrowse;
        NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
        NotifyLinks([](TDataLink& link) { link.RecordChanged(nullptr); });
    } else if (d.state == dsInsert) {
        d.buffer.clear();
        d.modified = false;
        d.state = dsBrowse;
        RemoveCurrent();
        NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
        NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
    }
}

void TMemDataSet::Delete()
{
    CheckActive();
    CheckCanModify();
    Impl& d = *m_impl;
    if (d.state == dsInsert) {
        Cancel();
        return;
    }
    if (d.count == 0)
        DatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const bool wasEditing = d.state == dsEdit;
    d.buffer.clear();
    d.modified = false;
    d.state = dsBrowse;
    d.deleted.push_back(TBookmark{static_cast<std::int64_t>(d.Physical(d.cur))});
    RemoveCurrent();
    if (wasEditing)
        NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
    NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
}

bool TMemDataSet::Modified() const
{
    return IsEditState(m_impl->state) && m_impl->modified;
}

bool TMemDataSet::CanModify() const
{
    return m_impl->active && !m_readOnly;
}

TBookmark TMemDataSet::GetBookmark() const
{
    const Impl& d = *m_impl;
    if (!d.active || d.count == 0)
        return {};
    return TBookmark{static_cast<std::int64_t>(d.Physical(d.cur))};
}

void TMemDataSet::GotoBookmark(const TBookmark& bookmark)
{
    CheckActive();
    CheckBrowseMode();
    const std::size_t logical = m_impl->LogicalOf(bookmark.id);
    if (logical == kNoPos)
        DatabaseError(QStringLiteral("Record not found"));
    MoveCursorTo(logical, false, false);
}

bool TMemDataSet::BookmarkValid(const TBookmark& bookmark) const
{
    return m_impl->active && m_impl->LogicalOf(bookmark.id) != kNoPos;
}

void TMemDataSet::DisableControls()
{
    Impl& d = *m_impl;
    if (d.disableCount++ == 0) {
        d.activeAtDisable = d.active;
        d.stateAtDisable = d.state;
        d.openCountAtDisable = d.openCount;
    }
}

void TMemDataSet::EnableControls()
{
    Impl& d = *m_impl;
    if (d.disableCount == 0 || --d.disableCount > 0)
        return;
    // A close and reopen meanwhile counts as a change of the open state: the
    // links still hold fields of the earlier result.
    const bool reopened = d.active != d.activeAtDisable || d.openCount != d.openCountAtDisable;
    if (reopened) {
        const bool active = d.active;
        NotifyLinks([active](TDataLink& link) { link.ActiveChanged(active); });
    } else if (d.state != d.stateAtDisable) {
        NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
    }
    if (d.active)
        NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
    d.FreeRetired();
}

bool TMemDataSet::ControlsDisabled() const { return m_impl->disableCount > 0; }

void TMemDataSet::AttachDataSource(TDataSource* source)
{
    if (!source || std::find(m_impl->sources.begin(), m_impl->sources.end(), source) != m_impl->sources.end())
        return;
    m_impl->sources.push_back(source);
    UpdateWindowBufferCount();
}

void TMemDataSet::DetachDataSource(TDataSource* source)
{
    auto& v = m_impl->sources;
    v.erase(std::remove(v.begin(), v.end(), source), v.end());
    UpdateWindowBufferCount();
}

int TMemDataSet::WindowBufferCount() const { return m_impl->bufferCount; }

void TMemDataSet::UpdateWindowBufferCount()
{
    Impl& d = *m_impl;
    int n = 1;
    for (const TDataSource* source : d.sources)
        n = std::max(n, source->LargestBufferCount());
    if (n == d.bufferCount)
        return;
    d.bufferCount = n;
    if (!d.active)
        return;
    d.readRow = -1;
    d.FitWindow();
    NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
}

int TMemDataSet::WindowRecordCount() const { return m_impl->WindowRecords(); }

int TMemDataSet::WindowActiveRecord() const
{
    const Impl& d = *m_impl;
    if (!d.active || d.count == 0)
        return 0;
    return d.readRow >= 0 ? d.readRow : d.CursorRow();
}

void TMemDataSet::SetWindowActiveRecord(int row)
{
    Impl& d = *m_impl;
    if (!d.active || row < 0 || row >= d.WindowRecords())
        return;
    d.readRow = row == d.CursorRow() ? -1 : row;
}

std::optional<QVariant> TMemDataSet::OriginalValue(const TBookmark& record, int field) const
{
    const Impl& d = *m_impl;
    if (!d.active || record.id < 0 || field < 0 || field >= d.store.ColumnCount())
        return std::nullopt;
    const auto phys = static_cast<std::size_t>(record.id);
    if (phys >= d.baseRows)
        return std::nullopt;
    if (auto it = d.originals.find(phys); it != d.originals.end())
        return it->second[static_cast<std::size_t>(field)];
    return TMemField::StoredValue(d.store.Column(field), d.store.Defs()[static_cast<std::size_t>(field)].type, phys);
}

std::vector<TBookmark> TMemDataSet::DeletedRecords() const
{
    return m_impl->deleted;
}

std::size_t TMemDataSet::MemoryBytes() const
{
    const Impl& d = *m_impl;
    std::size_t n = sizeof(Impl) + d.store.MemoryBytes() + d.order.capacity() * sizeof(std::uint32_t)
        + d.fields.size() * sizeof(TMemField) + d.deleted.capacity() * sizeof(TBookmark)
        + d.gone.size() * 2 * sizeof(std::size_t);
    for (const auto& [row, values] : d.originals)
        n += sizeof(row) + values.capacity() * sizeof(QVariant);
    return n;
}

// ------------------------------------------------------------- field naming

void ApplyFieldNaming(std::vector<TFieldDef>& defs)
{
    auto taken = [&](const QString& name, std::size_t before) {
        for (std::size_t j = 0; j < before; ++j)
            if (defs[j].name.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    for (std::size_t i = 0; i < defs.size(); ++i) {
        QString& name = defs[i].name;
        if (name.isEmpty()) {
            int n = 1;
            while (taken(QStringLiteral("COLUMN%1").arg(n), i))
                ++n;
            name = QStringLiteral("COLUMN%1").arg(n);
        } else if (taken(name, i)) {
            int n = 1;
            while (taken(QStringLiteral("%1_%2").arg(name, QString::number(n)), i))
                ++n;
            name = QStringLiteral("%1_%2").arg(name, QString::number(n));
        }
    }
}
