#include "platform/data/MemDataSet.h"

#include "platform/data/DisplayText.h"
#include "platform/data/FieldValue.h"
#include "platform/data/RecordCursor.h"
#include "platform/data/RowOrder.h"

#include <QVarLengthArray>

#include <algorithm>
#include <unordered_map>

namespace {

constexpr std::size_t kNoPos = TRowOrder::npos;

[[nodiscard]] bool IsEditState(TDataSetState s) { return s == dsEdit || s == dsInsert; }

const QString kClosedError = QStringLiteral("Cannot perform this operation on a closed dataset");

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

    // A field of an earlier result: reads NULL, refuses writes.
    void Retire() { m_retired = true; }

    [[nodiscard]] TStoredText FormDisplayText(TDisplayBuffer& out, const TFormatSettings& settings) const;

private:
    // Where the active record's value lives: the edit buffer, a store row, or
    // nowhere (NULL: no record, or a retired field).
    struct Source {
        const QVariant* buffered = nullptr;
        std::size_t row = kNoPos;
    };
    [[nodiscard]] Source Locate() const;
    [[nodiscard]] const TColumnData& Column() const;

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

    TRowOrder order;                      // logical position <-> physical row
    TRecordCursor cursor;                 // over the same logical positions
    std::size_t baseRows = 0;             // physical rows [0, baseRows) came from the open

    // The record being edited or inserted.
    std::vector<QVariant> buffer;
    std::vector<bool> dirty;              // fields SetValue wrote since Edit/Insert
    bool modified = false;

    // Write-back bookkeeping.
    std::unordered_map<std::size_t, std::vector<QVariant>> originals;
    std::vector<TBookmark> deleted;

    // Notifications.
    std::vector<TDataSource*> sources;
    int disableCount = 0;
    bool activeAtDisable = false;
    TDataSetState stateAtDisable = dsInactive;
    std::uint64_t openCount = 0;           // opens so far
    std::uint64_t openCountAtDisable = 0;

    [[nodiscard]] std::size_t Count() const { return cursor.Count(); }
    [[nodiscard]] std::size_t CurrentPhysical() const { return order.Physical(cursor.Current()); }
    [[nodiscard]] std::size_t LogicalOf(std::int64_t id) const
    {
        return id < 0 ? kNoPos : order.Logical(static_cast<std::size_t>(id));
    }
    [[nodiscard]] std::vector<QVariant> RowValues(std::size_t phys) const
    {
        std::vector<QVariant> values;
        values.reserve(static_cast<std::size_t>(store.ColumnCount()));
        for (int i = 0; i < store.ColumnCount(); ++i)
            values.push_back(StoredValue(store.Column(i), phys));
        return values;
    }
    // Writes the fields marked in `only`.
    void WriteRow(std::size_t phys, const std::vector<QVariant>& values, const std::vector<bool>& only)
    {
        for (int i = 0; i < store.ColumnCount(); ++i) {
            const auto f = static_cast<std::size_t>(i);
            if (only[f])
                StoreValue(store.Column(i), phys, values[f]);
        }
    }
    void StartBuffer(std::vector<QVariant> values, TDataSetState editState)
    {
        buffer = std::move(values);
        dirty.assign(buffer.size(), false);
        modified = false;
        cursor.ResetActiveRow();
        state = editState;
    }
    void EndBuffer()
    {
        buffer.clear();
        modified = false;
        state = dsBrowse;
    }
    void ClearEdits()
    {
        buffer.clear();
        modified = false;
        originals.clear();
        deleted.clear();
    }
    void FreeRetired()
    {
        if (active && disableCount == 0)
            retired.clear();
    }
};

template <typename F> void TMemDataSet::NotifyLinks(F&& f)
{
    if (m_impl->disableCount > 0)
        return;
    // A snapshot, on the stack for the usual one or two sources: a record
    // walk notifies once per move.
    const QVarLengthArray<TDataSource*, 4> sources(m_impl->sources.begin(), m_impl->sources.end());
    for (TDataSource* source : sources) {
        // A handler may have detached a later source meanwhile.
        if (std::find(m_impl->sources.begin(), m_impl->sources.end(), source) != m_impl->sources.end())
            source->ForEachLink(f);
    }
}

void TMemDataSet::Announce(const TWindowNotice& notice)
{
    if (notice.kind == TWindowNotice::Scrolled) {
        const int distance = notice.distance;
        NotifyLinks([distance](TDataLink& link) { link.DataSetScrolled(distance); });
    } else if (notice.kind == TWindowNotice::Changed) {
        NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
    }
}

// --------------------------------------------------------- TMemField methods

TMemField::Source TMemField::Locate() const
{
    const TMemDataSet::Impl& d = *m_dataSet->m_impl;
    if (!d.active)
        m_dataSet->DatabaseError(kClosedError);
    if (m_retired || d.Count() == 0)
        return {};
    const std::size_t logical = d.cursor.ActiveLogical();
    if (IsEditState(d.state) && logical == d.cursor.Current())
        return {&d.buffer[static_cast<std::size_t>(m_index)], kNoPos};
    return {nullptr, d.order.Physical(logical)};
}

const TColumnData& TMemField::Column() const { return m_dataSet->m_impl->store.Column(m_index); }

bool TMemField::IsNull() const
{
    const Source s = Locate();
    if (s.buffered)
        return !s.buffered->isValid() || s.buffered->isNull();
    return s.row == kNoPos || Column().IsNull(s.row);
}

QVariant TMemField::AsVariant() const
{
    const Source s = Locate();
    if (s.buffered)
        return *s.buffered;
    if (s.row == kNoPos)
        return {};
    return StoredValue(Column(), s.row);
}

TStoredText TMemField::FormDisplayText(TDisplayBuffer& out, const TFormatSettings& settings) const
{
    const Source s = Locate();
    if (s.buffered)
        return TStoredText::General;
    if (s.row == kNoPos) {
        out.units.clear();
        out.ascii = {};
        return TStoredText::Units;
    }
    return StoredDisplayText(Column(), s.row, m_def.type, out, settings);
}

TStoredFieldText::TStoredFieldText(const TField* field) : m_field(dynamic_cast<const TMemField*>(field)) {}

TStoredText TStoredFieldText::Form(TDisplayBuffer& out, const TFormatSettings& settings) const
{
    return m_field->FormDisplayText(out, settings);
}

QByteArray TMemField::SaveToBytes() const
{
    const Source s = Locate();
    if (s.buffered)
        return ValueBytes(*s.buffered, m_def.type);
    if (s.row == kNoPos || Column().IsNull(s.row))
        return {};
    // Text and bytes straight from the store, without a variant.
    if (m_kind == TStorageKind::Text || m_kind == TStorageKind::Bytes) {
        const std::string_view b = Column().Bytes(s.row);
        return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
    }
    return ValueBytes(StoredValue(Column(), s.row), m_def.type);
}

void TMemField::SetValue(const QVariant& value)
{
    TMemDataSet::Impl& d = *m_dataSet->m_impl;
    if (!d.active || m_retired)
        m_dataSet->DatabaseError(kClosedError);
    if (m_dataSet->m_readOnly)
        m_dataSet->DatabaseError(QStringLiteral("Cannot modify a read-only dataset"));
    if (m_def.readOnly)
        m_dataSet->DatabaseError(QStringLiteral("Field '%1' cannot be modified").arg(m_def.name));
    if (!IsEditState(d.state))
        m_dataSet->DatabaseError(QStringLiteral("Not in edit or insert mode"));
    std::optional<QVariant> canonical = CanonicalValue(m_def, value);
    if (!canonical)
        m_dataSet->DatabaseError(QStringLiteral("'%1' is not a valid value for field '%2'").arg(value.toString(), m_def.name));
    d.buffer[static_cast<std::size_t>(m_index)] = std::move(*canonical);
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
        DatabaseError(kClosedError);
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

void TMemDataSet::RetireFields()
{
    Impl& d = *m_impl;
    for (auto& f : d.fields) {
        f->Retire();
        d.retired.push_back(std::move(f));
    }
    d.fields.clear();
}

void TMemDataSet::Open()
{
    if (m_impl->active)
        return;
    Adopt(Fetch());
}

TColumnStore TMemDataSet::Fetch()
{
    TColumnStore store;
    InternalOpen(store);
    std::vector<TFieldDef> defs = store.Defs();
    ApplyFieldNaming(defs);
    for (std::size_t i = 0; i < defs.size(); ++i)
        store.SetFieldName(static_cast<int>(i), defs[i].name);
    store.Shrink();
    return store;
}

void TMemDataSet::Adopt(TColumnStore store)
{
    Impl& d = *m_impl;
    if (d.active)
        return;
    const std::vector<TFieldDef> defs = store.Defs();
    d.store = std::move(store);
    d.baseRows = d.store.RowCount();
    d.order.Reset(d.baseRows);
    d.cursor.Reset(d.baseRows);
    d.ClearEdits();
    RetireFields();
    for (std::size_t i = 0; i < defs.size(); ++i)
        d.fields.push_back(std::make_unique<TMemField>(this, static_cast<int>(i), defs[i]));
    d.state = dsBrowse;
    d.active = true;
    ++d.openCount;

    NotifyLinks([](TDataLink& link) { link.ActiveChanged(true); });
    NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
    d.FreeRetired();
}

void TMemDataSet::Close()
{
    Impl& d = *m_impl;
    if (!d.active)
        return;
    RetireFields();
    d.store = TColumnStore();
    d.order.Reset(0);
    d.cursor.Reset(0);
    d.ClearEdits();
    d.baseRows = 0;
    d.active = false;
    d.state = dsInactive;

    NotifyLinks([](TDataLink& link) { link.ActiveChanged(false); });
}

bool TMemDataSet::Active() const { return m_impl->active; }
TDataSetState TMemDataSet::State() const { return m_impl->state; }

void TMemDataSet::First()
{
    CheckActive();
    CheckBrowseMode();
    Announce(m_impl->cursor.First());
}

void TMemDataSet::Last()
{
    CheckActive();
    CheckBrowseMode();
    Announce(m_impl->cursor.Last());
}

void TMemDataSet::Next() { MoveBy(1); }
void TMemDataSet::Prior() { MoveBy(-1); }

int TMemDataSet::MoveBy(int distance)
{
    CheckActive();
    CheckBrowseMode();
    const TCursorStep step = m_impl->cursor.MoveBy(distance);
    Announce(step.notice);
    return step.moved;
}

bool TMemDataSet::Bof() const { return !m_impl->active || m_impl->cursor.Bof(); }
bool TMemDataSet::Eof() const { return !m_impl->active || m_impl->cursor.Eof(); }

int TMemDataSet::RecNo() const
{
    const Impl& d = *m_impl;
    return d.active && d.Count() > 0 ? static_cast<int>(d.cursor.Current() + 1) : -1;
}

void TMemDataSet::SetRecNo(int recNo)
{
    CheckActive();
    CheckBrowseMode();
    Announce(m_impl->cursor.MoveToRecNo(recNo));
}

int TMemDataSet::RecordCount() const
{
    return m_impl->active ? static_cast<int>(m_impl->Count()) : 0;
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

// ------------------------------------------------------------------ editing

void TMemDataSet::Edit()
{
    CheckActive();
    Impl& d = *m_impl;
    if (IsEditState(d.state))
        return;
    CheckCanModify();
    if (d.Count() == 0) {
        Insert();
        return;
    }
    d.StartBuffer(d.RowValues(d.CurrentPhysical()), dsEdit);
    NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
}

void TMemDataSet::AddBlankRecord(bool append)
{
    Impl& d = *m_impl;
    const std::size_t logical = append ? d.Count() : d.cursor.Current();
    d.order.Insert(logical, d.store.AppendBlankRow());
    if (append)
        d.cursor.Appended();
    else
        d.cursor.Inserted(logical);
    d.StartBuffer(std::vector<QVariant>(d.fields.size()), dsInsert);
    NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
    NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
}

void TMemDataSet::Insert()
{
    CheckActive();
    CheckCanModify();
    CheckBrowseMode();
    AddBlankRecord(false);
}

void TMemDataSet::Append()
{
    CheckActive();
    CheckCanModify();
    CheckBrowseMode();
    AddBlankRecord(true);
}

void TMemDataSet::Post()
{
    CheckActive();
    Impl& d = *m_impl;
    if (!IsEditState(d.state))
        return;
    const std::size_t phys = d.CurrentPhysical();
    if (d.modified) {
        // The first change of a fetched row keeps the row as it came.
        if (d.state == dsEdit && phys < d.baseRows && !d.originals.contains(phys))
            d.originals.emplace(phys, d.RowValues(phys));
        d.WriteRow(phys, d.buffer, d.dirty);
    }
    d.EndBuffer();
    NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
    NotifyLinks([](TDataLink& link) { link.RecordChanged(nullptr); });
}

void TMemDataSet::RemoveCurrent()
{
    Impl& d = *m_impl;
    d.order.Erase(d.cursor.Current());
    d.cursor.Removed();
}

void TMemDataSet::Cancel()
{
    CheckActive();
    Impl& d = *m_impl;
    if (d.state == dsEdit) {
        d.EndBuffer();
        NotifyLinks([](TDataLink& link) { link.EditingChanged(); });
        NotifyLinks([](TDataLink& link) { link.RecordChanged(nullptr); });
    } else if (d.state == dsInsert) {
        d.EndBuffer();
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
    if (d.Count() == 0)
        DatabaseError(QStringLiteral("Cannot perform this operation on an empty dataset"));
    const bool wasEditing = d.state == dsEdit;
    d.EndBuffer();
    d.deleted.push_back(TBookmark{static_cast<std::int64_t>(d.CurrentPhysical())});
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

// ---------------------------------------------------------------- bookmarks

TBookmark TMemDataSet::GetBookmark() const
{
    const Impl& d = *m_impl;
    if (!d.active || d.Count() == 0)
        return {};
    return TBookmark{static_cast<std::int64_t>(d.CurrentPhysical())};
}

void TMemDataSet::GotoBookmark(const TBookmark& bookmark)
{
    CheckActive();
    CheckBrowseMode();
    const std::size_t logical = m_impl->LogicalOf(bookmark.id);
    if (logical == kNoPos)
        DatabaseError(QStringLiteral("Record not found"));
    Announce(m_impl->cursor.MoveTo(logical));
}

bool TMemDataSet::BookmarkValid(const TBookmark& bookmark) const
{
    return m_impl->active && m_impl->LogicalOf(bookmark.id) != kNoPos;
}

// ------------------------------------------------------------ notifications

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

// ------------------------------------------------------------ record window

int TMemDataSet::WindowBufferCount() const { return m_impl->cursor.WindowSize(); }

void TMemDataSet::UpdateWindowBufferCount()
{
    Impl& d = *m_impl;
    int n = 1;
    for (const TDataSource* source : d.sources)
        n = std::max(n, source->LargestBufferCount());
    if (d.cursor.SetWindowSize(n) && d.active)
        NotifyLinks([](TDataLink& link) { link.DataSetChanged(); });
}

int TMemDataSet::WindowRecordCount() const
{
    return m_impl->active ? m_impl->cursor.WindowRecords() : 0;
}

int TMemDataSet::WindowActiveRecord() const
{
    const Impl& d = *m_impl;
    return d.active && d.Count() > 0 ? d.cursor.ActiveRow() : 0;
}

void TMemDataSet::SetWindowActiveRecord(int row)
{
    if (m_impl->active)
        m_impl->cursor.SetActiveRow(row);
}

// ------------------------------------------------------------- write-back

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
    return StoredValue(d.store.Column(field), phys);
}

bool TMemDataSet::OriginalValuesRepeat(const TBookmark& record, const std::vector<int>& fields) const
{
    const Impl& d = *m_impl;
    std::vector<QVariant> wanted;
    for (const int f : fields) {
        const std::optional<QVariant> v = OriginalValue(record, f);
        if (!v)
            return false;
        wanted.push_back(*v);
    }
    for (std::size_t phys = 0; phys < d.baseRows; ++phys) {
        if (static_cast<std::int64_t>(phys) == record.id || d.order.Logical(phys) == TRowOrder::npos)
            continue;
        bool same = true;
        for (std::size_t i = 0; same && i < fields.size(); ++i)
            same = *OriginalValue(TBookmark{static_cast<std::int64_t>(phys)}, fields[i]) == wanted[i];
        if (same)
            return true;
    }
    return false;
}

std::vector<TBookmark> TMemDataSet::DeletedRecords() const
{
    return m_impl->deleted;
}

std::size_t TMemDataSet::MemoryBytes() const
{
    const Impl& d = *m_impl;
    std::size_t n = sizeof(Impl) + d.store.MemoryBytes() + d.order.MemoryBytes()
        + d.fields.size() * sizeof(TMemField) + d.deleted.capacity() * sizeof(TBookmark);
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
