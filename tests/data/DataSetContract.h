#pragma once
// The behaviour every TDataSet implementation owes the grid, the exporter and
// the query handlers, as a GoogleTest typed test suite.
//
// Adding an implementation: write a factory struct
//
//   struct TMyFactory {
//       // Empty when the backend can be used; otherwise the reason, and the
//       // tests are skipped (a factory that must not skip, e.g. under CI,
//       // reports ADD_FAILURE() itself before returning the reason).
//       static QString Unavailable();
//       // A CLOSED dataset that, once opened, holds `table`: its columns in
//       // order, named as given, and its rows in order (an invalid QVariant
//       // is NULL). Only ftInteger and ftString columns are used. The dataset's
//       // Name() is options.name; with options.readOnly it refuses changes.
//       // Anything the dataset needs alive (connection, files) goes into
//       // keepAlive, which is released after the dataset.
//       static TContractSubject Make(const TContractTable& table, const TContractOptions& options);
//   };
//
// and, in exactly one .cpp of a test executable:
//
//   #include "tests/data/DataSetContract.h"
//   INSTANTIATE_TYPED_TEST_SUITE_P(My, DataSetContract, ::testing::Types<TMyFactory>);
//
// Implementations that are TMemDataSet also run the write-back checks
// (original values, deleted records); others skip them.

#include "platform/data/MemDataSet.h"
#include "query/DataSet.h"

#include <gtest/gtest.h>

#include <QString>
#include <QVariant>

#include <memory>
#include <string>
#include <vector>

struct TContractColumn {
    QString name;
    TFieldType type = ftInteger;   // ftInteger or ftString
    int size = 0;                  // ftString: characters
};

struct TContractTable {
    std::vector<TContractColumn> columns;
    std::vector<std::vector<QVariant>> rows;
};

struct TContractOptions {
    QString name = QStringLiteral("qry");
    bool readOnly = false;
};

struct TContractSubject {
    std::shared_ptr<void> keepAlive;
    std::unique_ptr<TDataSet> dataSet;   // declared last: destroyed first
};

// The standard table: id 1..n, name "row <id>", note NULL when id % 3 == 0,
// else "n<id>".
inline TContractTable ContractTable(int rows)
{
    TContractTable t;
    t.columns = {{QStringLiteral("id"), ftInteger, 0},
                 {QStringLiteral("name"), ftString, 20},
                 {QStringLiteral("note"), ftString, 20}};
    for (int i = 1; i <= rows; ++i)
        t.rows.push_back({QVariant(i), QVariant(QStringLiteral("row %1").arg(i)),
                          i % 3 == 0 ? QVariant() : QVariant(QStringLiteral("n%1").arg(i))});
    return t;
}

// Records every notification as a short text: "active(1)", "changed",
// "scrolled(-2)", "record", "editing", "layout".
class TRecordingLink : public TDataLink {
public:
    std::vector<std::string> events;

    void ActiveChanged(bool active) override { events.push_back("active(" + std::to_string(active ? 1 : 0) + ")"); }
    void DataSetChanged() override { events.push_back("changed"); }
    void DataSetScrolled(int distance) override { events.push_back("scrolled(" + std::to_string(distance) + ")"); }
    void RecordChanged(TField*) override { events.push_back("record"); }
    void LayoutChanged() override { events.push_back("layout"); }
    void EditingChanged() override { events.push_back("editing"); }

    std::vector<std::string> Take() { return std::exchange(events, {}); }
};

// The ids of the window rows, top to bottom, read the way the grid reads them.
inline std::vector<int> WindowIds(TDataLink& link)
{
    std::vector<int> ids;
    TField* id = link.DataSet()->FieldByName(QStringLiteral("id"));
    for (int row = 0; row < link.RecordCount(); ++row) {
        TActiveRecordScope scope(link, row);
        ids.push_back(static_cast<int>(id->AsVariant().toLongLong()));
    }
    return ids;
}

inline std::vector<int> Range(int from, int to)
{
    std::vector<int> v;
    for (int i = from; i <= to; ++i)
        v.push_back(i);
    return v;
}

// The message of the EDatabaseError `f` raises ("" when it raises none).
template <typename F> QString ErrorOf(F&& f)
{
    try {
        f();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return {};
}

template <typename Factory>
class DataSetContract : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const QString reason = Factory::Unavailable(); !reason.isEmpty())
            GTEST_SKIP() << reason.toStdString();
    }

    TDataSet& Make(const TContractTable& table, const TContractOptions& options = {})
    {
        m_subject = Factory::Make(table, options);
        return *m_subject.dataSet;
    }
    TDataSet& Open(const TContractTable& table, const TContractOptions& options = {})
    {
        TDataSet& ds = Make(table, options);
        ds.Open();
        return ds;
    }
    // Attaches a recording link with `bufferCount` rows; events so far dropped.
    TRecordingLink& Link(int bufferCount)
    {
        m_source = std::make_unique<TDataSource>();
        m_link = std::make_unique<TRecordingLink>();
        m_link->SetDataSource(m_source.get());
        m_link->SetBufferCount(bufferCount);
        m_source->SetDataSet(m_subject.dataSet.get());
        m_link->events.clear();
        return *m_link;
    }
    [[nodiscard]] static int Id(TDataSet& ds) { return static_cast<int>(ds.FieldByName(QStringLiteral("id"))->AsVariant().toLongLong()); }
    [[nodiscard]] static QString Closed(TDataSet& ds) { return ds.Name() + QStringLiteral(": Cannot perform this operation on a closed dataset"); }

    void TearDown() override
    {
        m_link.reset();
        m_source.reset();
        m_subject = {};
    }

    TContractSubject m_subject;
    std::unique_ptr<TDataSource> m_source;
    std::unique_ptr<TRecordingLink> m_link;
};

TYPED_TEST_SUITE_P(DataSetContract);

TYPED_TEST_P(DataSetContract, OpenPositionsOnFirstRecord)
{
    TDataSet& ds = this->Open(ContractTable(4));
    EXPECT_TRUE(ds.Active());
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_TRUE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
    ASSERT_EQ(ds.FieldCount(), 3);
    EXPECT_EQ(ds.Fields(1)->FieldName(), QStringLiteral("name"));
    EXPECT_EQ(ds.Fields(2)->Index(), 2);
    EXPECT_EQ(this->Id(ds), 1);

    ds.Close();
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.State(), dsInactive);
    EXPECT_EQ(ds.FieldCount(), 0);
    ds.Close();   // closing a closed dataset does nothing
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(this->Id(ds), 1);
}

TYPED_TEST_P(DataSetContract, EmptyResultIsAtBothEnds)
{
    TDataSet& ds = this->Open(ContractTable(0));
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Bof());
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.RecNo(), -1);
    EXPECT_EQ(ds.MoveBy(3), 0);
    ds.Next();
    ds.Last();
    EXPECT_TRUE(ds.Eof());
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("id"))->IsNull());
    EXPECT_EQ(ds.FieldByName(QStringLiteral("name"))->DisplayText(), QString());
    EXPECT_TRUE(ds.GetBookmark().IsEmpty());
}

TYPED_TEST_P(DataSetContract, NextSetsEofOnlyPastTheLastRecord)
{
    TDataSet& ds = this->Open(ContractTable(3));
    std::vector<int> seen;
    for (ds.First(); !ds.Eof(); ds.Next())
        seen.push_back(this->Id(ds));
    EXPECT_EQ(seen, Range(1, 3));
    EXPECT_EQ(this->Id(ds), 3);   // the cursor stays on the last record
    EXPECT_EQ(ds.RecNo(), 3);

    ds.Prior();
    EXPECT_FALSE(ds.Eof());
    ds.Prior();
    EXPECT_FALSE(ds.Bof());       // on the first record, not yet past it
    ds.Prior();
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(this->Id(ds), 1);

    ds.Last();
    EXPECT_TRUE(ds.Eof());
    EXPECT_FALSE(ds.Bof());
    ds.First();
    EXPECT_TRUE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
}

TYPED_TEST_P(DataSetContract, MoveByClampsAndReportsTheDistanceMoved)
{
    TDataSet& ds = this->Open(ContractTable(10));
    EXPECT_EQ(ds.MoveBy(4), 4);
    EXPECT_EQ(ds.RecNo(), 5);
    EXPECT_EQ(ds.MoveBy(5), 5);    // lands exactly on the last record
    EXPECT_FALSE(ds.Eof());
    EXPECT_EQ(ds.MoveBy(1), 0);
    EXPECT_TRUE(ds.Eof());
    EXPECT_EQ(ds.MoveBy(1), 0);
    EXPECT_EQ(ds.MoveBy(-20), -9);
    EXPECT_TRUE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 1);
    EXPECT_EQ(ds.MoveBy(-1), 0);
    EXPECT_EQ(ds.MoveBy(0), 0);

    ds.SetRecNo(7);
    EXPECT_EQ(this->Id(ds), 7);
    EXPECT_FALSE(ds.Bof());
    EXPECT_FALSE(ds.Eof());
    ds.SetRecNo(100);
    EXPECT_EQ(ds.RecNo(), 10);
    ds.SetRecNo(0);
    EXPECT_EQ(ds.RecNo(), 1);
}

TYPED_TEST_P(DataSetContract, WalkScrollsTheWindowOneRowAtATime)
{
    TDataSet& ds = this->Open(ContractTable(8));
    TRecordingLink& link = this->Link(3);
    EXPECT_EQ(link.RecordCount(), 3);
    EXPECT_EQ(WindowIds(link), Range(1, 3));

    ds.Next();
    ds.Next();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"scrolled(0)", "scrolled(0)"}));
    EXPECT_EQ(link.ActiveRecord(), 2);
    ds.Next();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"scrolled(-1)"}));
    EXPECT_EQ(link.ActiveRecord(), 2);
    EXPECT_EQ(WindowIds(link), Range(2, 4));

    while (!ds.Eof())
        ds.Next();
    // the program's walk: the window shows the last records, current at the bottom
    EXPECT_EQ(WindowIds(link), Range(6, 8));
    EXPECT_EQ(link.ActiveRecord(), 2);
    link.Take();

    ds.Prior();
    ds.Prior();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"scrolled(0)", "scrolled(0)"}));
    ds.Prior();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"scrolled(1)"}));
    EXPECT_EQ(link.ActiveRecord(), 0);
    EXPECT_EQ(WindowIds(link), Range(5, 7));

    // a jump farther than the window is a change of the whole window
    ds.First();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"changed"}));
    EXPECT_EQ(WindowIds(link), Range(1, 3));
    ds.MoveBy(3);
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"scrolled(-1)"}));
    ds.Last();
    EXPECT_EQ(WindowIds(link), Range(6, 8));
    EXPECT_EQ(link.ActiveRecord(), 2);
}

TYPED_TEST_P(DataSetContract, ReadingAWindowRowLeavesTheCursor)
{
    TDataSet& ds = this->Open(ContractTable(5));
    TRecordingLink& link = this->Link(4);
    ds.Next();
    {
        TActiveRecordScope scope(link, 3);
        EXPECT_EQ(this->Id(ds), 4);
        EXPECT_EQ(ds.RecNo(), 2);
        EXPECT_EQ(link.ActiveRecord(), 3);
    }
    EXPECT_EQ(link.ActiveRecord(), 1);
    EXPECT_EQ(this->Id(ds), 2);
}

TYPED_TEST_P(DataSetContract, BufferCountGrowsDownThenUpAndShrinksAroundTheCursor)
{
    TDataSet& ds = this->Open(ContractTable(10));
    TRecordingLink& link = this->Link(3);
    ds.MoveBy(4);                        // record 5 at the bottom: window 3..5
    EXPECT_EQ(WindowIds(link), Range(3, 5));
    link.Take();

    link.SetBufferCount(6);              // grows downward
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"changed"}));
    EXPECT_EQ(WindowIds(link), Range(3, 8));
    EXPECT_EQ(link.ActiveRecord(), 2);
    link.SetBufferCount(9);              // room below runs out: grows upward
    EXPECT_EQ(WindowIds(link), Range(2, 10));
    EXPECT_EQ(this->Id(ds), 5);

    link.SetBufferCount(2);              // shrinks around the current record
    const std::vector<int> ids = WindowIds(link);
    ASSERT_EQ(ids.size(), 2u);
    EXPECT_EQ(ids[static_cast<std::size_t>(link.ActiveRecord())], 5);

    ds.Last();
    link.SetBufferCount(4);              // at the end the window stays full
    EXPECT_EQ(WindowIds(link), Range(7, 10));
    EXPECT_EQ(link.ActiveRecord(), 3);

    link.SetBufferCount(20);             // larger than the data
    EXPECT_EQ(link.RecordCount(), 10);
    EXPECT_EQ(link.ActiveRecord(), 9);
}

TYPED_TEST_P(DataSetContract, OpenAndCloseNotifyTheLinks)
{
    TDataSet& ds = this->Make(ContractTable(2));
    TRecordingLink& link = this->Link(2);
    ds.Open();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"active(1)", "changed"}));
    ds.Open();                           // opening an open dataset does nothing
    EXPECT_TRUE(link.Take().empty());
    ds.Close();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"active(0)"}));
    EXPECT_EQ(link.RecordCount(), 0);
}

TYPED_TEST_P(DataSetContract, DisabledControlsHearOneChangeAtTheLastEnable)
{
    TDataSet& ds = this->Open(ContractTable(6));
    TRecordingLink& link = this->Link(2);
    ds.DisableControls();
    ds.DisableControls();
    EXPECT_TRUE(ds.ControlsDisabled());
    ds.Next();
    ds.Last();
    ds.EnableControls();
    EXPECT_TRUE(ds.ControlsDisabled());
    EXPECT_TRUE(link.Take().empty());
    ds.EnableControls();
    EXPECT_FALSE(ds.ControlsDisabled());
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"changed"}));
    ds.EnableControls();                 // unbalanced: ignored
    EXPECT_FALSE(ds.ControlsDisabled());
    EXPECT_TRUE(link.Take().empty());

    // a close and reopen while disabled reaches the links as a new result
    ds.DisableControls();
    ds.Close();
    ds.Open();
    ds.EnableControls();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"active(1)", "changed"}));
    ds.DisableControls();
    ds.Close();
    ds.EnableControls();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"active(0)"}));
}

TYPED_TEST_P(DataSetContract, BookmarksSurviveMovesAndDeletesOfOthers)
{
    TDataSet& ds = this->Open(ContractTable(6));
    ds.SetRecNo(4);
    const TBookmark four = ds.GetBookmark();
    ASSERT_FALSE(four.IsEmpty());
    ds.First();
    ds.Delete();                          // record 1 goes; record 4 moves up
    ds.Last();
    EXPECT_TRUE(ds.BookmarkValid(four));
    ds.GotoBookmark(four);
    EXPECT_EQ(this->Id(ds), 4);
    EXPECT_EQ(ds.RecNo(), 3);

    ds.Delete();
    EXPECT_FALSE(ds.BookmarkValid(four));
    EXPECT_EQ(ErrorOf([&] { ds.GotoBookmark(four); }), ds.Name() + QStringLiteral(": Record not found"));
    EXPECT_FALSE(ds.BookmarkValid(TBookmark{}));
}

TYPED_TEST_P(DataSetContract, BookmarksFindTheirRecordsAfterInsertsAndDeletes)
{
    TDataSet& ds = this->Open(ContractTable(6));
    auto add = [&](int id, bool append) {
        append ? ds.Append() : ds.Insert();
        ds.FieldByName(QStringLiteral("id"))->SetValue(id);
        ds.Post();
    };
    ds.SetRecNo(3);
    add(30, false);                       // before record 3
    ds.First();
    add(10, false);                       // at the front
    add(70, true);                        // at the end
    ds.SetRecNo(5);
    ds.Delete();                          // record 3
    ds.SetRecNo(2);
    ds.Insert();
    const TBookmark dropped = ds.GetBookmark();
    ds.Cancel();                          // an insert that never was

    std::vector<std::pair<TBookmark, int>> marks;
    for (ds.First(); !ds.Eof(); ds.Next())
        marks.emplace_back(ds.GetBookmark(), this->Id(ds));
    std::vector<int> ids;
    for (const auto& [mark, id] : marks)
        ids.push_back(id);
    EXPECT_EQ(ids, (std::vector<int>{10, 1, 2, 30, 4, 5, 6, 70}));
    for (std::size_t i = marks.size(); i-- > 0;) {
        ds.GotoBookmark(marks[i].first);
        EXPECT_EQ(this->Id(ds), marks[i].second);
        EXPECT_EQ(ds.RecNo(), static_cast<int>(i) + 1);
    }
    EXPECT_FALSE(ds.BookmarkValid(dropped));
    EXPECT_EQ(ErrorOf([&] { ds.GotoBookmark(dropped); }), ds.Name() + QStringLiteral(": Record not found"));
}

TYPED_TEST_P(DataSetContract, FieldLookupIsCaseInsensitive)
{
    TDataSet& ds = this->Open(ContractTable(1));
    TField* name = ds.FindField(QStringLiteral("NaMe"));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name, ds.FieldByName(QStringLiteral("NAME")));
    EXPECT_EQ(name->DataSet(), &ds);
    EXPECT_EQ(ds.FindField(QStringLiteral("nope")), nullptr);
    EXPECT_EQ(ErrorOf([&] { (void)ds.FieldByName(QStringLiteral("nope")); }),
              ds.Name() + QStringLiteral(": Field 'nope' not found"));
    EXPECT_EQ(ds.Fields(3), nullptr);
}

TYPED_TEST_P(DataSetContract, NullsReadAsEmpty)
{
    TDataSet& ds = this->Open(ContractTable(3));
    TField* note = ds.FieldByName(QStringLiteral("note"));
    EXPECT_FALSE(note->IsNull());
    EXPECT_EQ(note->DisplayText(), QStringLiteral("n1"));
    EXPECT_EQ(note->SaveToBytes(), QByteArray("n1"));
    ds.Last();
    EXPECT_TRUE(note->IsNull());
    EXPECT_FALSE(note->AsVariant().isValid());
    EXPECT_EQ(note->DisplayText(), QString());
    EXPECT_EQ(note->AsString(), QString());
    EXPECT_TRUE(note->SaveToBytes().isEmpty());
    EXPECT_EQ(ds.FieldByName(QStringLiteral("id"))->Alignment(), taRightJustify);
    EXPECT_EQ(note->Alignment(), taLeftJustify);
}

TYPED_TEST_P(DataSetContract, EditPostAndCancel)
{
    TDataSet& ds = this->Open(ContractTable(3));
    TRecordingLink& link = this->Link(3);
    TField* name = ds.FieldByName(QStringLiteral("name"));
    ds.Next();
    ds.Edit();
    EXPECT_EQ(ds.State(), dsEdit);
    EXPECT_FALSE(ds.Modified());
    link.Take();
    name->SetValue(QStringLiteral("changed"));
    EXPECT_TRUE(ds.Modified());
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"record"}));
    EXPECT_EQ(name->DisplayText(), QStringLiteral("changed"));
    ds.Cancel();
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(name->DisplayText(), QStringLiteral("row 2"));

    ds.Edit();
    name->SetValue(QStringLiteral("kept"));
    ds.FieldByName(QStringLiteral("note"))->SetValue(QVariant());
    ds.Post();
    EXPECT_EQ(ds.State(), dsBrowse);
    ds.First();
    ds.Next();
    EXPECT_EQ(name->DisplayText(), QStringLiteral("kept"));
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("note"))->IsNull());

    // leaving a modified record posts it
    ds.Edit();
    name->SetValue(QStringLiteral("posted by leaving"));
    ds.Next();
    EXPECT_EQ(ds.State(), dsBrowse);
    ds.Prior();
    EXPECT_EQ(name->DisplayText(), QStringLiteral("posted by leaving"));

    EXPECT_EQ(ErrorOf([&] { name->SetValue(QStringLiteral("x")); }),
              ds.Name() + QStringLiteral(": Not in edit or insert mode"));
}

TYPED_TEST_P(DataSetContract, InsertPlacesABlankRecordBeforeTheCurrentOne)
{
    TDataSet& ds = this->Open(ContractTable(4));
    TRecordingLink& link = this->Link(4);
    ds.SetRecNo(3);
    link.Take();
    ds.Insert();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"editing", "changed"}));
    EXPECT_EQ(ds.State(), dsInsert);
    EXPECT_EQ(ds.RecordCount(), 5);
    EXPECT_EQ(link.ActiveRecord(), 2);
    EXPECT_TRUE(ds.FieldByName(QStringLiteral("id"))->IsNull());
    EXPECT_FALSE(ds.Modified());

    ds.Cancel();                          // an insert is dropped
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(this->Id(ds), 3);
    EXPECT_EQ(WindowIds(link), Range(1, 4));

    ds.Insert();
    ds.Next();                            // an untouched insert is dropped by leaving it
    EXPECT_EQ(ds.RecordCount(), 4);
    EXPECT_EQ(this->Id(ds), 4);

    ds.Insert();
    ds.FieldByName(QStringLiteral("id"))->SetValue(40);
    ds.FieldByName(QStringLiteral("name"))->SetValue(QStringLiteral("new"));
    ds.Post();
    EXPECT_EQ(ds.RecordCount(), 5);
    std::vector<int> ids;
    for (ds.First(); !ds.Eof(); ds.Next())
        ids.push_back(this->Id(ds));
    EXPECT_EQ(ids, (std::vector<int>{1, 2, 3, 40, 4}));
}

TYPED_TEST_P(DataSetContract, InsertKeepsTheEndFlagAppendSetsIt)
{
    TDataSet& ds = this->Open(ContractTable(3));
    while (!ds.Eof())
        ds.Next();
    ds.Insert();                          // the grid's Up rule relies on Eof here
    EXPECT_TRUE(ds.Eof());
    ds.Cancel();
    EXPECT_EQ(this->Id(ds), 3);

    ds.First();
    ds.Append();
    EXPECT_TRUE(ds.Eof());
    EXPECT_FALSE(ds.Bof());
    EXPECT_EQ(ds.RecNo(), 4);
    ds.Cancel();
    EXPECT_EQ(ds.RecordCount(), 3);
}

TYPED_TEST_P(DataSetContract, DeleteKeepsThePositionOrTakesTheNewLast)
{
    TDataSet& ds = this->Open(ContractTable(4));
    TRecordingLink& link = this->Link(2);
    ds.SetRecNo(2);
    link.Take();
    ds.Delete();
    EXPECT_EQ(link.Take(), (std::vector<std::string>{"changed"}));
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(this->Id(ds), 3);
    ds.Last();
    ds.Delete();
    EXPECT_EQ(this->Id(ds), 3);
    EXPECT_EQ(ds.RecNo(), 2);
    EXPECT_EQ(WindowIds(link), (std::vector<int>{1, 3}));
    ds.Delete();
    ds.Delete();
    EXPECT_TRUE(ds.IsEmpty());
    EXPECT_TRUE(ds.Bof() && ds.Eof());
    EXPECT_EQ(ErrorOf([&] { ds.Delete(); }),
              ds.Name() + QStringLiteral(": Cannot perform this operation on an empty dataset"));
}

TYPED_TEST_P(DataSetContract, ReadOnlyRefusesEveryChange)
{
    TContractOptions options;
    options.readOnly = true;
    TDataSet& ds = this->Open(ContractTable(2), options);
    EXPECT_FALSE(ds.CanModify());
    const QString error = ds.Name() + QStringLiteral(": Cannot modify a read-only dataset");
    EXPECT_EQ(ErrorOf([&] { ds.Edit(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.Insert(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.Append(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.Delete(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.FieldByName(QStringLiteral("id"))->SetValue(5); }), error);
    EXPECT_EQ(ds.State(), dsBrowse);
    EXPECT_EQ(ds.RecordCount(), 2);
}

TYPED_TEST_P(DataSetContract, ClosedDatasetRefusesNavigationAndEditing)
{
    TDataSet& ds = this->Make(ContractTable(2));
    const QString error = this->Closed(ds);
    EXPECT_FALSE(ds.CanModify());
    EXPECT_EQ(ErrorOf([&] { ds.First(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.Next(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.MoveBy(1); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.Edit(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.Insert(); }), error);
    EXPECT_EQ(ErrorOf([&] { ds.Delete(); }), error);
    EXPECT_EQ(ErrorOf([&] { (void)ds.FieldByName(QStringLiteral("id")); }), error);
    EXPECT_EQ(ds.FindField(QStringLiteral("id")), nullptr);
    EXPECT_EQ(ds.RecNo(), -1);

    ds.Open();
    TField* id = ds.FieldByName(QStringLiteral("id"));
    ds.Close();
    EXPECT_EQ(ErrorOf([&] { (void)id->AsVariant(); }), error);
}

TYPED_TEST_P(DataSetContract, OriginalValuesAndDeletedRecordsAreKept)
{
    TDataSet& ds = this->Open(ContractTable(3));
    auto* mem = dynamic_cast<TMemDataSet*>(&ds);
    if (!mem)
        GTEST_SKIP() << "not an in-memory dataset";
    ds.SetRecNo(2);
    const TBookmark two = ds.GetBookmark();
    ds.Edit();
    ds.FieldByName(QStringLiteral("name"))->SetValue(QStringLiteral("first change"));
    ds.Post();
    ds.Edit();
    ds.FieldByName(QStringLiteral("name"))->SetValue(QStringLiteral("second change"));
    ds.Post();
    ASSERT_TRUE(mem->OriginalValue(two, 1).has_value());
    EXPECT_EQ(mem->OriginalValue(two, 1)->toString(), QStringLiteral("row 2"));

    ds.First();
    const TBookmark one = ds.GetBookmark();
    ds.Delete();
    ASSERT_EQ(mem->DeletedRecords().size(), 1u);
    EXPECT_EQ(mem->DeletedRecords()[0], one);
    EXPECT_EQ(mem->OriginalValue(one, 0)->toLongLong(), 1);

    ds.Append();
    ds.FieldByName(QStringLiteral("id"))->SetValue(9);
    ds.Post();
    EXPECT_FALSE(mem->OriginalValue(ds.GetBookmark(), 0).has_value());   // no original: inserted
    EXPECT_FALSE(mem->OriginalValue(two, 7).has_value());
}

REGISTER_TYPED_TEST_SUITE_P(DataSetContract,
    OpenPositionsOnFirstRecord, EmptyResultIsAtBothEnds, NextSetsEofOnlyPastTheLastRecord,
    MoveByClampsAndReportsTheDistanceMoved, WalkScrollsTheWindowOneRowAtATime,
    ReadingAWindowRowLeavesTheCursor, BufferCountGrowsDownThenUpAndShrinksAroundTheCursor,
    OpenAndCloseNotifyTheLinks, DisabledControlsHearOneChangeAtTheLastEnable,
    BookmarksSurviveMovesAndDeletesOfOthers, BookmarksFindTheirRecordsAfterInsertsAndDeletes,
    FieldLookupIsCaseInsensitive, NullsReadAsEmpty,
    EditPostAndCancel, InsertPlacesABlankRecordBeforeTheCurrentOne, InsertKeepsTheEndFlagAppendSetsIt,
    DeleteKeepsThePositionOrTakesTheNewLast, ReadOnlyRefusesEveryChange,
    ClosedDatasetRefusesNavigationAndEditing, OriginalValuesAndDeletedRecordsAreKept);
