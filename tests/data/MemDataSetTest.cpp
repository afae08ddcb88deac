#include "platform/data/MemDataSet.h"
#include "tests/data/DataSetContract.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cstring>

namespace {

std::string_view View(const QByteArray& b) { return {b.constData(), static_cast<std::size_t>(b.size())}; }

// Builds a store from contract rows: integers and UTF-8 text.
TColumnStore StoreOf(const TContractTable& table)
{
    std::vector<TFieldDef> defs;
    for (const TContractColumn& c : table.columns)
        defs.push_back(TFieldDef{c.name, c.type, c.size, 0, 0, false});
    TColumnStore store;
    store.Reset(std::move(defs));
    for (const auto& row : table.rows) {
        for (int i = 0; i < store.ColumnCount(); ++i) {
            const QVariant& v = row[static_cast<std::size_t>(i)];
            TColumnData& col = store.Column(i);
            if (!v.isValid())
                col.AppendNull();
            else if (col.Kind() == TStorageKind::Text)
                col.AppendBytes(View(v.toString().toUtf8()));
            else
                col.AppendInt(v.toLongLong());
        }
    }
    return store;
}

struct TMemoryFactory {
    static QString Unavailable() { return {}; }
    static TContractSubject Make(const TContractTable& table, const TContractOptions& options)
    {
        auto ds = std::make_unique<TMemDataSet>(options.name);
        ds->SetData(StoreOf(table));
        ds->SetReadOnly(options.readOnly);
        return {nullptr, std::move(ds)};
    }
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Memory, DataSetContract, ::testing::Types<TMemoryFactory>);

// ----------------------------------------------------------- naming rule

namespace {

std::vector<QString> Named(std::vector<QString> names)
{
    std::vector<TFieldDef> defs;
    for (QString& n : names)
        defs.push_back(TFieldDef{n, ftInteger, 0, 0, 0, false});
    ApplyFieldNaming(defs);
    std::vector<QString> out;
    for (const TFieldDef& d : defs)
        out.push_back(d.name);
    return out;
}

} // namespace

TEST(FieldNaming, EmptyNamesTakeTheFirstFreeColumnNumber)
{
    EXPECT_EQ(Named({"", ""}), (std::vector<QString>{"COLUMN1", "COLUMN2"}));
    EXPECT_EQ(Named({"column1", ""}), (std::vector<QString>{"column1", "COLUMN2"}));
    EXPECT_EQ(Named({"a", "", "b"}), (std::vector<QString>{"a", "COLUMN1", "b"}));
}

TEST(FieldNaming, RepeatedNamesTakeTheFirstFreeSuffix)
{
    EXPECT_EQ(Named({"a", "a"}), (std::vector<QString>{"a", "a_1"}));
    EXPECT_EQ(Named({"a", "A", "a"}), (std::vector<QString>{"a", "A_1", "a_2"}));
    EXPECT_EQ(Named({"a", "a_1", "a"}), (std::vector<QString>{"a", "a_1", "a_2"}));
    EXPECT_EQ(Named({"a", "a_1", "a_1"}), (std::vector<QString>{"a", "a_1", "a_1_1"}));
    EXPECT_EQ(Named({"", "COLUMN1"}), (std::vector<QString>{"COLUMN1", "COLUMN1_1"}));
    // A name is text, never a format: placeholders in it stay as they are.
    EXPECT_EQ(Named({"a%1", "a%1", "a%1"}), (std::vector<QString>{"a%1", "a%1_1", "a%1_2"}));
    EXPECT_EQ(Named({"%2%1", "%2%1"}), (std::vector<QString>{"%2%1", "%2%1_1"}));
}

TEST(MemDataSet, OpenAppliesTheNamingRule)
{
    TMemDataSet ds("q");
    TColumnStore store;
    store.Reset({TFieldDef{"", ftInteger}, TFieldDef{"x", ftInteger}, TFieldDef{"X", ftInteger}});
    ds.SetData(store);
    ds.Open();
    ASSERT_EQ(ds.FieldCount(), 3);
    EXPECT_EQ(ds.Fields(0)->FieldName(), QStringLiteral("COLUMN1"));
    EXPECT_EQ(ds.Fields(2)->FieldName(), QStringLiteral("X_1"));
}

// ----------------------------------------------------------- open and reopen

namespace {

class TFailingDataSet : public TMemDataSet {
public:
    using TMemDataSet::TMemDataSet;
protected:
    void InternalOpen(TColumnStore&) override { DatabaseError(QStringLiteral("server gone")); }
};

} // namespace

TEST(MemDataSet, FailedOpenStaysClosedAndSaysNothingToLinks)
{
    TFailingDataSet ds("qry");
    TDataSource source;
    TRecordingLink link;
    link.SetDataSource(&source);
    source.SetDataSet(&ds);
    link.events.clear();
    EXPECT_EQ(ErrorOf([&] { ds.Open(); }), QStringLiteral("qry: server gone"));
    EXPECT_FALSE(ds.Active());
    EXPECT_EQ(ds.State(), dsInactive);
    EXPECT_TRUE(link.events.empty());
}

TEST(MemDataSet, ReopenServesTheGivenRowsAgainWithoutEdits)
{
    TMemDataSet ds("qry");
    ds.SetData(StoreOf(ContractTable(3)));
    ds.Open();
    ds.Delete();
    ds.Edit();
    ds.FieldByName("name")->SetValue("edited");
    ds.Post();
    ds.Close();
    ds.Open();
    EXPECT_EQ(ds.RecordCount(), 3);
    EXPECT_EQ(ds.FieldByName("name")->DisplayText(), QStringLiteral("row 1"));
    EXPECT_TRUE(ds.DeletedRecords().empty());
}

TEST(MemDataSet, DestroyingTheDatasetDetachesItsSources)
{
    TDataSource source;
    TRecordingLink link;
    link.SetDataSource(&source);
    {
        TMemDataSet ds("qry");
        ds.SetData(StoreOf(ContractTable(2)));
        ds.Open();
        source.SetDataSet(&ds);
        link.events.clear();
    }
    EXPECT_EQ(source.DataSet(), nullptr);
    EXPECT_EQ(link.events, (std::vector<std::string>{"active(0)"}));
}

// ----------------------------------------------------------- typed values

namespace {

TMemDataSet& OpenTyped(TMemDataSet& ds)
{
    TColumnStore store;
    store.Reset({TFieldDef{"i", ftInteger}, TFieldDef{"big", ftLargeint}, TFieldDef{"f", ftFloat},
                 TFieldDef{"dec", ftBCD, 0, 10, 2}, TFieldDef{"b", ftBoolean}, TFieldDef{"d", ftDate},
                 TFieldDef{"t", ftTime}, TFieldDef{"dt", ftDateTime}, TFieldDef{"bin", ftVarBytes, 4},
                 TFieldDef{"memo", ftMemo}, TFieldDef{"fix", ftFixedChar, 5}, TFieldDef{"ro", ftInteger, 0, 0, 0, true}});
    store.Column(0).AppendInt(4'000'000'000LL);   // an unsigned int beyond 32 bits
    store.Column(1).AppendInt(-9'000'000'000'000LL);
    store.Column(2).AppendDouble(2.5);
    store.Column(3).AppendBytes("12345.67");
    store.Column(4).AppendInt(1);
    store.Column(5).AppendDays(-1);                 // 1969-12-31
    store.Column(6).AppendMsecs(((13 * 60 + 5) * 60 + 9) * 1000);
    store.Column(7).AppendMsecs(-1000);             // 1969-12-31 23:59:59
    store.Column(8).AppendBytes(std::string_view("\x00\xff\x41", 3));
    store.Column(9).AppendBytes("line 1\r\nline 2 \xd0\x96");
    store.Column(10).AppendBytes("ab   ");
    store.Column(11).AppendInt(7);
    ds.SetData(store);
    ds.Open();
    return ds;
}

} // namespace

TEST(MemDataSet, ValuesComeBackAsTheirVariantTypes)
{
    TMemDataSet ds("qry");
    OpenTyped(ds);
    EXPECT_EQ(ds.FieldByName("i")->AsVariant(), QVariant(qlonglong{4'000'000'000LL}));
    EXPECT_EQ(ds.FieldByName("big")->AsVariant().toLongLong(), -9'000'000'000'000LL);
    EXPECT_EQ(ds.FieldByName("f")->AsVariant().typeId(), QMetaType::Double);
    EXPECT_EQ(ds.FieldByName("dec")->AsVariant(), QVariant(QStringLiteral("12345.67")));
    EXPECT_EQ(ds.FieldByName("b")->AsVariant(), QVariant(true));
    EXPECT_EQ(ds.FieldByName("d")->AsVariant().toDate(), QDate(1969, 12, 31));
    EXPECT_EQ(ds.FieldByName("t")->AsVariant().toTime(), QTime(13, 5, 9));
    const QDateTime dt = ds.FieldByName("dt")->AsVariant().toDateTime();
    EXPECT_EQ(dt.date(), QDate(1969, 12, 31));
    EXPECT_EQ(dt.time(), QTime(23, 59, 59));
    EXPECT_EQ(ds.FieldByName("bin")->AsVariant(), QVariant(QByteArray("\x00\xff\x41", 3)));
    EXPECT_EQ(ds.FieldByName("memo")->AsVariant().toString(), QString::fromUtf8("line 1\r\nline 2 \xd0\x96"));

    // whole content: text as UTF-8, binary raw
    EXPECT_EQ(ds.FieldByName("memo")->SaveToBytes(), QByteArray("line 1\r\nline 2 \xd0\x96"));
    EXPECT_EQ(ds.FieldByName("bin")->SaveToBytes(), QByteArray("\x00\xff\x41", 3));
    EXPECT_EQ(ds.FieldByName("bin")->DisplayText(), QString::fromLatin1("\x00\xff\x41", 3));
    EXPECT_EQ(ds.FieldByName("fix")->DisplayText(), QStringLiteral("ab   "));
}

TEST(MemDataSet, FieldDescriptionsFollowTheirTypes)
{
    TMemDataSet ds("qry");
    OpenTyped(ds);
    EXPECT_EQ(ds.FieldByName("dec")->Alignment(), taRightJustify);
    EXPECT_EQ(ds.FieldByName("f")->Alignment(), taRightJustify);
    EXPECT_EQ(ds.FieldByName("d")->Alignment(), taLeftJustify);
    EXPECT_EQ(ds.FieldByName("i")->DisplayWidth(), 11);
    EXPECT_EQ(ds.FieldByName("dec")->DisplayWidth(), 12);
    EXPECT_EQ(ds.FieldByName("fix")->DisplayWidth(), 5);
    EXPECT_EQ(ds.FieldByName("fix")->Size(), 5);
    EXPECT_TRUE(ds.FieldByName("memo")->IsBlob());
    EXPECT_TRUE(ds.FieldByName("ro")->ReadOnly());
    EXPECT_FALSE(ds.FieldByName("i")->ReadOnly());
}

TEST(MemDataSet, SetValueConvertsAndRefusesWhatDoesNotFit)
{
    TMemDataSet ds("qry");
    OpenTyped(ds);
    ds.Edit();
    ds.FieldByName("i")->SetValue(QStringLiteral("42"));
    ds.FieldByName("dec")->SetValue(QStringLiteral("-0.50"));
    ds.FieldByName("dt")->SetValue(QDateTime(QDate(2024, 3, 31), QTime(2, 30)));
    ds.FieldByName("memo")->SetValue(QStringLiteral("Ж"));
    ds.FieldByName("bin")->SetValue(QByteArray("\x01\x02", 2));
    EXPECT_EQ(ErrorOf([&] { ds.FieldByName("i")->SetValue(QStringLiteral("forty")); }).isEmpty(), false);
    EXPECT_EQ(ErrorOf([&] { ds.FieldByName("dec")->SetValue(QStringLiteral("1.2.3")); }).isEmpty(), false);
    EXPECT_EQ(ErrorOf([&] { ds.FieldByName("ro")->SetValue(1); }), QStringLiteral("qry: Field 'ro' cannot be modified"));
    ds.Post();
    EXPECT_EQ(ds.FieldByName("i")->AsVariant().toLongLong(), 42);
    EXPECT_EQ(ds.FieldByName("dec")->AsVariant().toString(), QStringLiteral("-0.5"));
    const QDateTime dt = ds.FieldByName("dt")->AsVariant().toDateTime();
    EXPECT_EQ(dt.time(), QTime(2, 30));             // wall clock, no zone shift
    EXPECT_EQ(ds.FieldByName("memo")->SaveToBytes(), QByteArray("\xd0\x96"));
    EXPECT_EQ(ds.FieldByName("bin")->SaveToBytes(), QByteArray("\x01\x02", 2));
}

TEST(MemDataSet, WindowActiveRecordOnlyRedirectsFieldReads)
{
    TMemDataSet ds("qry");
    ds.SetData(StoreOf(ContractTable(6)));
    ds.Open();
    TDataSource source;
    TRecordingLink link;
    link.SetDataSource(&source);
    link.SetBufferCount(4);
    source.SetDataSet(&ds);
    ds.Next();
    ds.SetWindowActiveRecord(3);
    EXPECT_EQ(ds.WindowActiveRecord(), 3);
    EXPECT_EQ(ds.FieldByName("id")->AsVariant().toInt(), 4);
    EXPECT_EQ(ds.RecNo(), 2);
    ds.SetWindowActiveRecord(9);          // outside the window: ignored
    EXPECT_EQ(ds.WindowActiveRecord(), 3);
    ds.Next();                            // a move reads the cursor's row again
    EXPECT_EQ(ds.WindowActiveRecord(), 2);
    EXPECT_EQ(ds.FieldByName("id")->AsVariant().toInt(), 3);
}

// The content viewer puts the record into edit state and posts it unchanged:
// that must neither grow the store nor record an original.
TEST(MemDataSet, PostingAnUnchangedRecordWritesNothing)
{
    TMemDataSet ds("qry");
    OpenTyped(ds);
    const std::size_t before = ds.MemoryBytes();
    for (int i = 0; i < 10; ++i) {
        ds.Edit();
        (void)ds.FieldByName("memo")->SaveToBytes();
        ds.Post();
    }
    EXPECT_EQ(ds.MemoryBytes(), before);
    EXPECT_EQ(ds.State(), dsBrowse);

    ds.Edit();
    ds.FieldByName("memo")->SetValue(QStringLiteral("changed"));
    ds.Post();
    EXPECT_GT(ds.MemoryBytes(), before);
    EXPECT_EQ(ds.FieldByName("fix")->DisplayText(), QStringLiteral("ab   "));   // untouched fields kept
    EXPECT_EQ(ds.OriginalValue(ds.GetBookmark(), 9)->toString(), QString::fromUtf8("line 1\r\nline 2 \xd0\x96"));
}
