#pragma once
// The in-memory dataset: a result held in a TColumnStore, a cursor, a record
// window for data-aware controls, editing with original values kept, and
// bookmarks. Widget-free.
//
// Open() fills the store through InternalOpen(); the base class serves the
// rows given to SetData() (the in-memory dataset used by grid tests and
// demos); the ODBC query overrides InternalOpen() to run its SQL. TDataSet is
// a virtual base, shared with TDbQuery in the ODBC query.
//
// Notifications to the links of the attached data sources:
// - Open: ActiveChanged(true), then DataSetChanged. Close: ActiveChanged(false).
// - Every cursor move (First, Last, Next, Prior, MoveBy, SetRecNo,
//   GotoBookmark) scrolls the window the least amount that shows the new
//   current record and sends DataSetScrolled(distance) when the window moved
//   by at most its own size, DataSetChanged for a longer jump. A move that
//   changes nothing sends nothing.
// - Edit: EditingChanged. SetValue: RecordChanged(field). Post and Cancel of
//   an edit: EditingChanged, RecordChanged(nullptr). Insert, Append, Cancel
//   of an insert: EditingChanged, DataSetChanged. Delete: DataSetChanged.
// - A change of the largest buffer count: DataSetChanged.
// - While controls are disabled nothing is sent; the last EnableControls
//   sends ActiveChanged(now) when the dataset was opened, closed or reopened
//   meanwhile (EditingChanged when only the state changed), then
//   DataSetChanged when open.
//
// Insert keeps Bof/Eof as they were; Append sets Eof. Fields of a closed
// result stay valid objects until the next open has been announced to the
// links; reading them while closed raises the closed-dataset error.

#include "platform/data/ColumnStore.h"
#include "platform/data/DisplayText.h"
#include "query/DataSet.h"

#include <memory>
#include <optional>
#include <vector>

class TMemField;
struct TWindowNotice;

class TMemDataSet : public virtual TDataSet {
public:
    explicit TMemDataSet(QString name);
    ~TMemDataSet() override;

    // Rows served by the next Open() of a plain in-memory dataset. Field
    // names go through the naming rule on open.
    void SetData(TColumnStore store);
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }

    // --- TDataSet
    [[nodiscard]] QString Name() const override { return m_name; }
    // Fetch() then Adopt().
    void Open() override;
    void Close() override;
    // The first half of an open: fills a detached result through
    // InternalOpen() and applies the naming rule. Any thread; touches nothing
    // of the dataset's visible state and notifies no one.
    [[nodiscard]] TColumnStore Fetch();
    // The second half: opens the dataset over `store` and notifies the links
    // (user-interface thread). Nothing happens when the dataset is open.
    void Adopt(TColumnStore store);
    [[nodiscard]] bool Active() const override;
    [[nodiscard]] TDataSetState State() const override;
    void First() override;
    void Next() override;
    void Prior() override;
    void Last() override;
    int MoveBy(int distance) override;
    [[nodiscard]] bool Bof() const override;
    [[nodiscard]] bool Eof() const override;
    [[nodiscard]] int RecNo() const override;
    void SetRecNo(int recNo) override;
    [[nodiscard]] int RecordCount() const override;
    [[nodiscard]] bool IsSequenced() const override { return true; }
    [[nodiscard]] int FieldCount() const override;
    [[nodiscard]] TField* Fields(int index) const override;
    [[nodiscard]] TField* FindField(const QString& name) const override;
    [[nodiscard]] TField* FieldByName(const QString& name) const override;
    void Edit() override;
    void Insert() override;
    void Append() override;
    void Post() override;
    void Cancel() override;
    void Delete() override;
    [[nodiscard]] bool Modified() const override;
    [[nodiscard]] bool CanModify() const override;
    [[nodiscard]] TBookmark GetBookmark() const override;
    void GotoBookmark(const TBookmark& bookmark) override;
    [[nodiscard]] bool BookmarkValid(const TBookmark& bookmark) const override;
    void DisableControls() override;
    void EnableControls() override;
    [[nodiscard]] bool ControlsDisabled() const override;
    void AttachDataSource(TDataSource* source) override;
    void DetachDataSource(TDataSource* source) override;
    [[nodiscard]] int WindowBufferCount() const override;
    void UpdateWindowBufferCount() override;
    [[nodiscard]] int WindowRecordCount() const override;
    [[nodiscard]] int WindowActiveRecord() const override;
    void SetWindowActiveRecord(int row) override;

    // The original values of a record changed or deleted since open, for a
    // later write-back by key; see OriginalValue().
    [[nodiscard]] std::optional<QVariant> OriginalValue(const TBookmark& record, int field) const;
    // Whether a record of the open result other than `record`, and not
    // deleted, holds the same original values as `record` in every one of
    // `fields`. NULLs count as equal. O(records).
    [[nodiscard]] bool OriginalValuesRepeat(const TBookmark& record, const std::vector<int>& fields) const;
    // Records deleted since open (their bookmarks), in deletion order.
    [[nodiscard]] std::vector<TBookmark> DeletedRecords() const;

    // Bytes held for the result (storage, indexes, edit state).
    [[nodiscard]] std::size_t MemoryBytes() const;

protected:
    // Fills `store` with the result; raises EDatabaseError on failure. The
    // store's defs carry the raw column names; the naming rule runs after.
    virtual void InternalOpen(TColumnStore& store);
    // Raises "%s: %s" with the dataset's name.
    [[noreturn]] void DatabaseError(const QString& text) const;

private:
    friend class TMemField;
    struct Impl;
    void CheckActive() const;
    void CheckCanModify() const;
    // Leaving an edited or inserted record: posts it when modified, else
    // cancels it.
    void CheckBrowseMode();
    // Sends to every link of every attached source, unless controls are
    // disabled.
    template <typename F> void NotifyLinks(F&& f);
    // Tells the links what a cursor move did to the record window.
    void Announce(const TWindowNotice& notice);
    // Starts inserting a blank record at the cursor, or after the last
    // record when appending.
    void AddBlankRecord(bool append);
    void RemoveCurrent();
    // The fields of the result that ends: they raise the closed-dataset error
    // until the links have heard of the next open.
    void RetireFields();

    std::unique_ptr<Impl> m_impl;
    QString m_name;
    bool m_readOnly = false;
};

// The display text of one field of an in-memory dataset read straight from
// its store, without a QVariant or QString where StoredDisplayText can form
// it: the same text as the field's DisplayText() on the active record. Made
// once for a walk over many records; user-interface thread.
class TStoredFieldText {
public:
    // `field` may be any field; Valid() tells whether it is one of a
    // TMemDataSet.
    explicit TStoredFieldText(const TField* field);
    [[nodiscard]] bool Valid() const { return m_field != nullptr; }
    // The active record's text in `out` (Units or Ascii), or General when it
    // needs DisplayText(): a record being edited, or a value StoredDisplayText
    // leaves alone. Raises as DisplayText() does on a closed dataset.
    [[nodiscard]] TStoredText Form(TDisplayBuffer& out, const TFormatSettings& settings) const;

private:
    const TMemField* m_field = nullptr;
};

// The naming rule for result fields: an empty name becomes "COLUMN%d" (the
// first free number from 1), a name an earlier field already has becomes
// "%s_%d" (the first free number from 1). Case-insensitive comparison.
void ApplyFieldNaming(std::vector<TFieldDef>& defs);
