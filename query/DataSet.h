#pragma once
// The dataset interface: what the grid, the exporter and the query handlers
// see of a result set. Header-only and abstract, so that the grid depends on
// nothing but this file; the implementation lives in platform/.
//
// Threading: every object here belongs to the user-interface thread.

#include "platform/core/Failure.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <cstdint>
#include <vector>

// Field types; the ordinals are part of the contract (ftMemo is 16).
enum TFieldType : int {
    ftUnknown = 0, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat,
    ftCurrency, ftBCD, ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes,
    ftAutoInc, ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle,
    ftTypedBinary, ftCursor, ftFixedChar, ftWideString, ftLargeint, ftADT,
    ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
    ftInterface, ftIDispatch, ftGuid
};

enum TAlignment : int { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

enum TDataSetState : int { dsInactive = 0, dsBrowse, dsEdit, dsInsert };

[[nodiscard]] inline bool IsBlobType(TFieldType t)
{
    return t == ftBlob || t == ftMemo || t == ftGraphic || t == ftFmtMemo
        || t == ftTypedBinary || t == ftOraBlob || t == ftOraClob;
}

// Types whose values are raw bytes (shown one byte per character).
[[nodiscard]] inline bool IsBinaryType(TFieldType t)
{
    return t == ftBytes || t == ftVarBytes || t == ftBlob || t == ftGraphic
        || t == ftTypedBinary || t == ftOraBlob || t == ftParadoxOle || t == ftDBaseOle;
}

[[nodiscard]] inline bool IsNumericType(TFieldType t)
{
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftFloat
        || t == ftCurrency || t == ftBCD || t == ftAutoInc || t == ftLargeint;
}

class TDataSet;
class TDataSource;

// Failures of the data-access layer. The message is what the user sees.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

// One column of the open result. Every read refers to the dataset's active
// record: the current record, or the window row a data link made active for
// a moment (TDataLink::SetActiveRecord).
class TField {
public:
    virtual ~TField() = default;

    [[nodiscard]] virtual TDataSet* DataSet() const = 0;
    [[nodiscard]] virtual int Index() const = 0;                 // 0-based position in the field list
    [[nodiscard]] virtual QString FieldName() const = 0;
    [[nodiscard]] virtual QString DisplayName() const { return FieldName(); }
    [[nodiscard]] virtual TFieldType DataType() const = 0;
    [[nodiscard]] virtual int Size() const = 0;                  // characters / bytes; 0 for long data
    [[nodiscard]] virtual int DisplayWidth() const = 0;          // in characters
    [[nodiscard]] virtual TAlignment Alignment() const = 0;      // numeric fields: right
    [[nodiscard]] virtual bool ReadOnly() const = 0;
    [[nodiscard]] virtual bool Visible() const { return true; }
    [[nodiscard]] virtual QString EditMask() const { return {}; }
    [[nodiscard]] virtual bool HasGetTextHandler() const { return false; }

    [[nodiscard]] virtual bool IsNull() const = 0;
    // Integers as qlonglong, floats as double, exact decimals as their exact
    // decimal text (QString), booleans as bool, dates as QDate, times as
    // QTime, date-times as QDateTime, text as QString, binary as QByteArray.
    // NULL gives an invalid QVariant.
    [[nodiscard]] virtual QVariant AsVariant() const = 0;
    // The display text of the value (empty for NULL).
    [[nodiscard]] virtual QString DisplayText() const = 0;
    [[nodiscard]] QString AsString() const { return DisplayText(); }
    // The whole raw content: text as UTF-8 bytes, binary as it is.
    [[nodiscard]] virtual QByteArray SaveToBytes() const = 0;

    // Only in edit or insert state; an invalid QVariant sets NULL.
    virtual void SetValue(const QVariant& value) = 0;

    [[nodiscard]] bool IsBlob() const { return IsBlobType(DataType()); }
};

// A position in the dataset that survives moves; invalid by default.
struct TBookmark {
    std::int64_t id = -1;
    [[nodiscard]] bool IsEmpty() const { return id < 0; }
    friend bool operator==(const TBookmark&, const TBookmark&) = default;
};

// Receives the dataset's notifications. Attach it to a data source; the
// dataset reaches it through that source.
//
// The record window: the dataset keeps a window of consecutive records,
// BufferCount() rows large, holding RecordCount() records (fewer only at the
// end of a short result). ActiveRecord() is the window row of the current
// record. Moving the cursor inside the window leaves the window in place;
// moving past an edge scrolls it by the least amount; growing the buffer
// count fills rows below the window first, then above it.
class TDataLink {
public:
    TDataLink() = default;
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;
    virtual ~TDataLink();

    void SetDataSource(TDataSource* source);
    [[nodiscard]] TDataSource* DataSource() const { return m_source; }
    [[nodiscard]] TDataSet* DataSet() const;
    [[nodiscard]] bool Active() const;

    [[nodiscard]] int BufferCount() const { return m_bufferCount; }
    void SetBufferCount(int count);
    [[nodiscard]] int RecordCount() const;
    [[nodiscard]] int ActiveRecord() const;
    // Makes window row `row` the record that fields read; pair every call
    // with a restore of the previous value (see TActiveRecordScope).
    void SetActiveRecord(int row);

    // Notifications, all with the dataset already in its new state.
    virtual void ActiveChanged(bool /*active*/) {}
    virtual void DataSetChanged() {}
    // distance: how far the window's rows moved on screen, in rows. Negative
    // when the window moved forward through the data (rows move up), positive
    // when it moved back, 0 when only the active record changed.
    virtual void DataSetScrolled(int /*distance*/) {}
    virtual void RecordChanged(TField* /*field*/) {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void UpdateData() {}
    virtual void EditingChanged() {}
    virtual void FocusControl(TField* /*field*/) {}

private:
    friend class TDataSource;
    TDataSource* m_source = nullptr;
    int m_bufferCount = 1;
};

// Restores a data link's active record on every exit path.
class TActiveRecordScope {
public:
    TActiveRecordScope(TDataLink& link, int row) : m_link(link), m_saved(link.ActiveRecord()) { m_link.SetActiveRecord(row); }
    ~TActiveRecordScope() { m_link.SetActiveRecord(m_saved); }
    TActiveRecordScope(const TActiveRecordScope&) = delete;
    TActiveRecordScope& operator=(const TActiveRecordScope&) = delete;
private:
    TDataLink& m_link;
    int m_saved;
};

// The abstract dataset: a result held in memory, a cursor over it and a
// record window for data-aware controls.
class TDataSet {
public:
    TDataSet() = default;
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;
    virtual ~TDataSet() = default;

    [[nodiscard]] virtual QString Name() const = 0;

    // Open/close. Open fetches the whole result; failures raise EDatabaseError.
    virtual void Open() = 0;
    virtual void Close() = 0;
    [[nodiscard]] virtual bool Active() const = 0;
    [[nodiscard]] virtual TDataSetState State() const = 0;

    // Cursor. RecNo is 1-based (-1 when there is no current record).
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual void Prior() = 0;
    virtual void Last() = 0;
    // Returns the number of records actually moved (signed).
    virtual int MoveBy(int distance) = 0;
    [[nodiscard]] virtual bool Bof() const = 0;
    [[nodiscard]] virtual bool Eof() const = 0;
    [[nodiscard]] virtual int RecNo() const = 0;
    virtual void SetRecNo(int recNo) = 0;
    [[nodiscard]] virtual int RecordCount() const = 0;
    [[nodiscard]] virtual bool IsSequenced() const = 0;
    [[nodiscard]] bool IsEmpty() const { return !Active() || RecordCount() == 0; }

    // Fields. FieldByName fails with "Field '%s' not found" (as "%s: %s"
    // with the dataset's name); FindField returns nullptr. Case-insensitive.
    [[nodiscard]] virtual int FieldCount() const = 0;
    [[nodiscard]] virtual TField* Fields(int index) const = 0;
    [[nodiscard]] virtual TField* FindField(const QString& name) const = 0;
    [[nodiscard]] virtual TField* FieldByName(const QString& name) const = 0;
    // True when fields are made from the result (no persistent fields).
    [[nodiscard]] virtual bool DefaultFields() const { return true; }

    // Editing of the in-memory result.
    virtual void Edit() = 0;
    virtual void Insert() = 0;
    virtual void Append() = 0;
    virtual void Post() = 0;
    virtual void Cancel() = 0;
    virtual void Delete() = 0;
    [[nodiscard]] virtual bool Modified() const = 0;
    [[nodiscard]] virtual bool CanModify() const = 0;

    // Bookmarks.
    [[nodiscard]] virtual TBookmark GetBookmark() const = 0;
    virtual void GotoBookmark(const TBookmark& bookmark) = 0;
    [[nodiscard]] virtual bool BookmarkValid(const TBookmark& bookmark) const = 0;

    // Notifications to data-aware controls are held while the counter is above
    // zero; the last EnableControls sends one data set changed (or active
    // changed, when the open state changed meanwhile).
    virtual void DisableControls() = 0;
    virtual void EnableControls() = 0;
    [[nodiscard]] virtual bool ControlsDisabled() const = 0;

    // Data sources attached to this dataset (kept by TDataSource itself).
    virtual void AttachDataSource(TDataSource* source) = 0;
    virtual void DetachDataSource(TDataSource* source) = 0;

    // The record window, driven through TDataLink.
    [[nodiscard]] virtual int WindowBufferCount() const = 0;
    // Re-sizes the window to the largest buffer count of the attached links.
    virtual void UpdateWindowBufferCount() = 0;
    [[nodiscard]] virtual int WindowRecordCount() const = 0;
    [[nodiscard]] virtual int WindowActiveRecord() const = 0;
    virtual void SetWindowActiveRecord(int row) = 0;
};

// Binds a dataset to data links (controls). Holds no data.
class TDataSource {
public:
    TDataSource() = default;
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;
    ~TDataSource()
    {
        SetDataSet(nullptr);
        for (TDataLink* link : std::vector<TDataLink*>(m_links))
            link->SetDataSource(nullptr);
    }

    [[nodiscard]] TDataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(TDataSet* dataSet)
    {
        if (dataSet == m_dataSet)
            return;
        if (m_dataSet)
            m_dataSet->DetachDataSource(this);
        m_dataSet = dataSet;
        if (m_dataSet)
            m_dataSet->AttachDataSource(this);
        const bool active = m_dataSet && m_dataSet->Active();
        for (TDataLink* link : std::vector<TDataLink*>(m_links))
            link->ActiveChanged(active);
    }

    [[nodiscard]] const std::vector<TDataLink*>& Links() const { return m_links; }
    [[nodiscard]] int LargestBufferCount() const
    {
        int n = 1;
        for (const TDataLink* link : m_links)
            n = std::max(n, link->BufferCount());
        return n;
    }

    // Called by the dataset; fans a notification out to every link.
    template <typename F> void ForEachLink(F&& f) const
    {
        for (TDataLink* link : std::vector<TDataLink*>(m_links))
            f(*link);
    }

private:
    friend class TDataLink;
    TDataSet* m_dataSet = nullptr;
    std::vector<TDataLink*> m_links;
};

inline TDataLink::~TDataLink() { SetDataSource(nullptr); }

inline void TDataLink::SetDataSource(TDataSource* source)
{
    if (source == m_source)
        return;
    if (m_source) {
        auto& v = m_source->m_links;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        if (TDataSet* ds = m_source->DataSet())
            ds->UpdateWindowBufferCount();
    }
    m_source = source;
    if (m_source) {
        m_source->m_links.push_back(this);
        if (TDataSet* ds = m_source->DataSet())
            ds->UpdateWindowBufferCount();
    }
}

inline TDataSet* TDataLink::DataSet() const { return m_source ? m_source->DataSet() : nullptr; }

inline bool TDataLink::Active() const
{
    TDataSet* ds = DataSet();
    return ds && ds->Active();
}

inline void TDataLink::SetBufferCount(int count)
{
    count = std::max(1, count);
    if (count == m_bufferCount)
        return;
    m_bufferCount = count;
    if (TDataSet* ds = DataSet())
        ds->UpdateWindowBufferCount();
}

inline int TDataLink::RecordCount() const
{
    TDataSet* ds = DataSet();
    return ds && ds->Active() ? std::min(ds->WindowRecordCount(), m_bufferCount) : 0;
}

inline int TDataLink::ActiveRecord() const
{
    TDataSet* ds = DataSet();
    return ds && ds->Active() ? ds->WindowActiveRecord() : 0;
}

inline void TDataLink::SetActiveRecord(int row)
{
    if (TDataSet* ds = DataSet(); ds && ds->Active())
        ds->SetWindowActiveRecord(row);
}
