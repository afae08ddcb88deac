// The grid exporter: the document a grid and its dataset give, the walk's
// promises (every record once, notifications held, position restored) and
// its failures.

#include "export/dxDBGridExport.h"
#include "grid/dxDBGrid.h"
#include "platform/colors/SysColors.h"
#include "platform/core/Failure.h"
#include "platform/data/DisplayText.h"
#include "platform/data/MemDataSet.h"
#include "tests/export/ExpectedHtml.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace {

using namespace expected_html;

constexpr int kDesignFontPixels = 11;   // "MS Sans Serif", 8 pt at 96 dpi
constexpr int kProgramColumnWidth = 200;

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

struct TRow {
    std::optional<int> id;
    std::optional<QString> name;
};

TColumnStore Store(const std::vector<TRow>& rows)
{
    TColumnStore store;
    store.Reset({{QStringLiteral("id"), ftInteger, 4, 0, 0, false}, {QStringLiteral("name"), ftString, 40, 0, 0, false}});
    for (const TRow& r : rows) {
        r.id ? store.Column(0).AppendInt(*r.id) : store.Column(0).AppendNull();
        r.name ? store.Column(1).AppendBytes(r.name->toStdString()) : store.Column(1).AppendNull();
    }
    return store;
}

class GridExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        InstallClassicScheme();
        source.SetDataSet(&data);
        grid = std::make_unique<TdxDBGrid>();
        grid->setObjectName(QStringLiteral("dxDBGridRes"));
        QFont font(QStringLiteral("MS Sans Serif"));
        font.setPixelSize(kDesignFontPixels);
        grid->setFont(font);
        grid->resize(600, 200);
        grid->SetDataSource(&source);
        grid->show();
    }
    void TearDown() override
    {
        grid.reset();
        source.SetDataSet(nullptr);
        InstallClassicScheme();
    }

    // Opens `rows` and rebuilds the columns as the run action does.
    void Open(const std::vector<TRow>& rows) { OpenStore(Store(rows)); }
    void OpenStore(TColumnStore store)
    {
        data.Close();
        data.SetData(std::move(store));
        data.Open();
        grid->ClearColumns();
        for (int i = 0; i < data.FieldCount(); ++i) {
            TdxDBGridMaskColumn* c = grid->AddColumn();
            c->SetFieldName(data.Fields(i)->FieldName());
            c->SetCaption(data.Fields(i)->FieldName());
            c->SetDisableEditor(true);
            c->SetWidth(kProgramColumnWidth);
        }
        QApplication::processEvents();
    }

    QByteArray Export()
    {
        SaveToHTML(*grid, Path());
        return ReadAll(Path());
    }
    QString Path() const { return m_dir.filePath(QStringLiteral("report.HTML")); }

    QTemporaryDir m_dir;
    TMemDataSet data{QStringLiteral("ADOQuerySql")};
    TDataSource source;
    std::unique_ptr<TdxDBGrid> grid;
};

TEST_F(GridExport, TheWorkedExampleByteForByteUnderTheClassicScheme)
{
    ASSERT_EQ(grid->logicalDpiY(), 96);
    Open({{1, QStringLiteral("abc")}});
    EXPECT_EQ(Export(), kClassicHead + kWorkedHeaderRow + kWorkedRecordRow + kTail);
}

TEST_F(GridExport, NoRowsGiveTheHeaderRowOnly)
{
    Open({});
    EXPECT_EQ(Export(), kClassicHead + kWorkedHeaderRow + kTail);
}

TEST_F(GridExport, NullAndBlankTextsAndTheMarkupInsideValues)
{
    Open({{std::nullopt, QStringLiteral("   ")}, {2, QStringLiteral("a<b & c")}, {3, QStringLiteral("Привет, 世界")}});
    const QByteArray doc = Export();
    const QByteArray rightNbsp = "<TD NOWRAP ALIGN=\"RIGHT\" BGCOLOR=#FFFFFF><FONT STYLE=\"font-family: MS Sans Serif; font-size: 8pt; color: #000000\">&nbsp;</FONT></TD>";
    EXPECT_TRUE(doc.contains("<TR>" + rightNbsp + LeftCell("   ") + "</TR>\r\n"));
    EXPECT_TRUE(doc.contains(LeftCell("a&lt;b &amp; c")));
    EXPECT_TRUE(doc.contains(LeftCell(QStringLiteral("Привет, 世界").toUtf8())));
}

TEST_F(GridExport, EveryKindOfValueIsExportedAsItsDisplayTextInSeveralLocales)
{
    // Cells read straight from the store and cells that need the general
    // path (non-ASCII and NUL texts, binary, far dates) in one document,
    // against the same document written from DisplayText() alone.
    TColumnStore store;
    store.Reset({{QStringLiteral("i"), ftInteger, 4, 0, 0, false}, {QStringLiteral("l"), ftLargeint, 8, 0, 0, false},
                 {QStringLiteral("f"), ftFloat, 8, 0, 0, false}, {QStringLiteral("d"), ftBCD, 12, 10, 2, false},
                 {QStringLiteral("b"), ftBoolean, 1, 0, 0, false}, {QStringLiteral("dt"), ftDate, 0, 0, 0, false},
                 {QStringLiteral("tm"), ftTime, 0, 0, 0, false}, {QStringLiteral("ts"), ftDateTime, 0, 0, 0, false},
                 {QStringLiteral("s"), ftString, 40, 0, 0, false}, {QStringLiteral("m"), ftMemo, 0, 0, 0, false},
                 {QStringLiteral("w"), ftWideString, 40, 0, 0, false}, {QStringLiteral("x"), ftVarBytes, 8, 0, 0, false}});
    const char* texts[] = {"", "plain", "a<b & \"c\" >", "   ", "\xD0\x9F\xD1\x80\xD0\xB8", "tab\tline\r\n", "-0012.500", "x.y"};
    std::mt19937_64 random(2026);
    const std::int64_t day = 86'400'000;
    for (int row = 0; row < 300; ++row) {
        auto col = [&store](int i) -> TColumnData& { return store.Column(i); };
        const bool null = row % 11 == 5;
        const char* text = texts[random() % std::size(texts)];
        null ? col(0).AppendNull() : col(0).AppendInt(static_cast<std::int32_t>(random()));
        null ? col(1).AppendNull() : col(1).AppendInt(static_cast<std::int64_t>(random()));
        null ? col(2).AppendNull() : col(2).AppendDouble(static_cast<double>(static_cast<std::int64_t>(random() % 2'000'001) - 1'000'000) / 64.0);
        null ? col(3).AppendNull() : col(3).AppendBytes(row % 3 ? std::string_view("-0012.500") : std::string_view(text));
        null ? col(4).AppendNull() : col(4).AppendInt(row % 2);
        null ? col(5).AppendNull() : col(5).AppendDays(static_cast<std::int32_t>(random() % 800'000) - 400'000);
        null ? col(6).AppendNull() : col(6).AppendMsecs(row % 7 == 0 ? 0 : static_cast<std::int64_t>(random() % day));
        null ? col(7).AppendNull()
             : col(7).AppendMsecs(row % 5 == 0 ? static_cast<std::int64_t>(random() % 20'000) * day
                                               : static_cast<std::int64_t>(random() % (600'000 * day)) - 300'000 * day);
        null ? col(8).AppendNull() : col(8).AppendBytes(row % 13 == 0 ? std::string_view("nul\0cut", 7) : std::string_view(text));
        null ? col(9).AppendNull() : col(9).AppendBytes(text);
        null ? col(10).AppendNull() : col(10).AppendBytes(text);
        null ? col(11).AppendNull() : col(11).AppendBytes(std::string_view("\x01<\xFF", 3));
    }
    OpenStore(std::move(store));
    // An edited record, its texts in the store's edit room.
    data.SetRecNo(4);
    data.Edit();
    data.Fields(8)->SetValue(QStringLiteral("edited <text>"));
    data.Fields(2)->SetValue(2.5);
    data.Post();

    for (const QLocale& locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::Arabic, QLocale::Egypt), QLocale(QLocale::Chinese, QLocale::China)}) {
        TFormatSettingsScope scope(TFormatSettings::FromLocale(locale));
        const QByteArray doc = Export();
        const QString expectedPath = m_dir.filePath(QStringLiteral("expected.HTML"));
        {
            TExportStream stream(expectedPath);
            THtmlWriter writer(stream, GridHtmlPlan(*grid));
            writer.WriteDocumentBegin();
            writer.WriteHeaderRows();
            data.DisableControls();
            for (data.First(); !data.Eof(); data.Next())
                writer.WriteRow([this](int column) { return data.Fields(column)->DisplayText(); });
            data.EnableControls();
            writer.WriteDocumentEnd();
            stream.Close();
        }
        EXPECT_EQ(doc, ReadAll(expectedPath)) << locale.name().toStdString();
        EXPECT_EQ(doc.count("<TR><TD NOWRAP"), 300);
    }
}

TEST_F(GridExport, AnEmptyCaptionAndADisabledCaptionShowNbsp)
{
    Open({{1, QStringLiteral("x")}});
    grid->Columns(0)->SetCaption(QString());
    grid->Columns(1)->SetDisableCaption(true);
    const QByteArray doc = Export();
    EXPECT_TRUE(doc.contains("<TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">&nbsp;</TD><TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">&nbsp;</TD></TR>"));
}

TEST_F(GridExport, ABoldHeaderFontWrapsEveryCaption)
{
    Open({{1, QStringLiteral("x")}});
    QFont header = grid->font();
    header.setBold(true);
    header.setItalic(true);
    header.setUnderline(true);
    header.setStrikeOut(true);
    grid->SetHeaderFont(header);
    const QByteArray doc = Export();
    EXPECT_TRUE(doc.contains("ALIGN=\"LEFT\"><B><I><U><STRIKE>id</STRIKE></U></I></B></TD>"));
    EXPECT_TRUE(doc.contains("ALIGN=\"LEFT\"><B><I><U><STRIKE>name</STRIKE></U></I></B></TD>"));
    EXPECT_FALSE(doc.contains("<B>1"));   // record cells keep the column font
}

TEST_F(GridExport, AWidenedColumnAndADraggedColumnAsTheGridLaysThemOut)
{
    Open({{1, QStringLiteral("abc")}, {2, QStringLiteral("def")}});
    grid->Columns(0)->SetWidth(350);
    grid->MoveColumn(grid->Columns(1), 0);   // name first
    const QByteArray doc = Export();
    EXPECT_TRUE(doc.contains("BGCOLOR=#C0C0C0><TD NOWRAP WIDTH=200 ALIGN=\"LEFT\">name</TD><TD NOWRAP WIDTH=350 ALIGN=\"LEFT\">id</TD></TR>"));
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell("abc") + "<TD NOWRAP ALIGN=\"RIGHT\""));
    EXPECT_TRUE(doc.contains("<TR>" + LeftCell("def") + "<TD NOWRAP ALIGN=\"RIGHT\""));
}

TEST_F(GridExport, AChangedColourSchemeChangesTheDigitsOfTheNextExport)
{
    Open({{1, QStringLiteral("abc")}});
    const QByteArray before = Export();
    SetSysColor(COLOR_BTNFACE, QColor(0xD4, 0xD0, 0xC8));
    SetSysColor(COLOR_WINDOW, QColor(0xFF, 0x80, 0x00));
    SetSysColor(COLOR_WINDOWTEXT, QColor(0x00, 0x00, 0x80));
    const QByteArray after = Export();
    EXPECT_TRUE(before.contains("class=\"Header\" BGCOLOR=#C0C0C0>"));
    EXPECT_TRUE(after.contains("class=\"Header\" BGCOLOR=#D4D0C8>"));
    EXPECT_TRUE(after.contains("BGCOLOR=#FF8000><FONT STYLE=\"font-family: MS Sans Serif; font-size: 8pt; color: #000080\">abc"));
    EXPECT_TRUE(after.contains(".Header{font-family: MS Sans Serif; font-size: 8pt; color: #000080}"));
    EXPECT_TRUE(after.contains(".Group{font-family: MS Sans Serif; font-size: 8pt; color: #000000}"));   // none stays black
    EXPECT_TRUE(after.contains("<BODY BGCOLOR=#C0C0C0>"));   // the page is always grey
}

TEST_F(GridExport, EveryRecordOnceInDatasetOrderWhateverRecordIsFocused)
{
    std::vector<TRow> rows;
    for (int i = 1; i <= 30; ++i)
        rows.push_back({i, QStringLiteral("r%1").arg(i)});
    Open(rows);
    data.SetRecNo(17);
    const QByteArray doc = Export();
    EXPECT_EQ(doc.count("<TR><TD NOWRAP ALIGN="), 30);
    qsizetype at = 0;
    for (int i = 1; i <= 30; ++i) {
        const qsizetype next = doc.indexOf(LeftCell("r" + QByteArray::number(i)), at);
        ASSERT_GT(next, at) << i;
        at = next;
    }
}

TEST_F(GridExport, TheCurrentRecordAndTheTopRowAreBackAfterTheExport)
{
    std::vector<TRow> rows;
    for (int i = 1; i <= 100; ++i)
        rows.push_back({i, QStringLiteral("r%1").arg(i)});
    Open(rows);
    ASSERT_GT(grid->VisibleRowCount(), 4);
    // Record 40 in the middle of the window, neither edge.
    data.SetRecNo(30);
    data.SetRecNo(40);
    data.MoveBy(-3);
    QApplication::processEvents();
    const int recNo = data.RecNo();
    const QString top = grid->NodeCellText(0, 0);
    const int focused = grid->FocusedNode();
    ASSERT_GT(focused, 0);
    ASSERT_LT(focused, grid->VisibleRowCount() - 1);

    (void)Export();
    QApplication::processEvents();
    EXPECT_EQ(data.RecNo(), recNo);
    EXPECT_EQ(grid->NodeCellText(0, 0), top);
    EXPECT_EQ(grid->FocusedNode(), focused);
    EXPECT_FALSE(data.ControlsDisabled());
}

TEST_F(GridExport, AWriteFailureKeepsWhatWasWrittenAndRestoresTheGrid)
{
    if (!QFile::exists(QStringLiteral("/dev/full")))
        GTEST_SKIP() << "no /dev/full";
    std::vector<TRow> rows;
    for (int i = 1; i <= 2000; ++i)
        rows.push_back({i, QStringLiteral("r%1").arg(i)});
    Open(rows);
    data.SetRecNo(5);
    const QString top = grid->NodeCellText(0, 0);
    try {
        SaveToHTML(*grid, QStringLiteral("/dev/full"));
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Stream write error"));
    }
    EXPECT_EQ(data.RecNo(), 5);
    EXPECT_EQ(grid->NodeCellText(0, 0), top);
    EXPECT_FALSE(data.ControlsDisabled());
}

TEST_F(GridExport, AFileThatCannotBeCreatedLeavesTheDatasetAlone)
{
    Open({{1, QStringLiteral("abc")}, {2, QStringLiteral("def")}});
    data.SetRecNo(2);
    const QString path = m_dir.filePath(QStringLiteral("no/such/dir/report.HTML"));
    try {
        SaveToHTML(*grid, path);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(path))) << e.Message().toStdString();
    }
    EXPECT_EQ(data.RecNo(), 2);
    EXPECT_FALSE(data.ControlsDisabled());
}

TEST_F(GridExport, AClosedDatasetGivesACompleteDocumentWithTheHeaderAndTheClosedError)
{
    Open({{1, QStringLiteral("abc")}});
    data.Close();
    EXPECT_THROW(SaveToHTML(*grid, Path()), EDatabaseError);
    EXPECT_EQ(ReadAll(Path()), kClassicHead + kWorkedHeaderRow + kTail);
    EXPECT_FALSE(data.ControlsDisabled());
}

TEST_F(GridExport, AGridWithoutADatasetLeavesTheFileEmpty)
{
    TdxDBGrid lone;
    SaveToHTML(lone, Path());
    EXPECT_TRUE(QFile::exists(Path()));
    EXPECT_EQ(ReadAll(Path()), QByteArray());
}

} // namespace
