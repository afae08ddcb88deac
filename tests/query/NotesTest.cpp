// The content viewer and the cell copy over an in-memory result.

#include "app/RichEdit.h"
#include "platform/data/DisplayText.h"
#include "platform/data/MemDataSet.h"
#include "query/untNotes.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <gtest/gtest.h>

namespace {

// Design values of the viewer window.
constexpr QSize kViewerSize{638, 471};
constexpr int kPanelHeight = 41;

// One record of every kind the viewer and the copy meet.
enum Column { kMemo, kNullMemo, kNumber, kShort, kDate, kBinary, kFloat };

TColumnStore MakeCells(const QByteArray& memo)
{
    TColumnStore store;
    store.Reset({{QStringLiteral("NOTE"), ftMemo, 0, 0, 0, false},
                 {QStringLiteral("EMPTY"), ftMemo, 0, 0, 0, false},
                 {QStringLiteral("N"), ftInteger, 4, 0, 0, false},
                 {QStringLiteral("S"), ftString, 20, 0, 0, false},
                 {QStringLiteral("D"), ftDate, 0, 0, 0, false},
                 {QStringLiteral("B"), ftBytes, 8, 0, 0, false},
                 {QStringLiteral("F"), ftFloat, 8, 0, 0, false}});
    store.Column(kMemo).AppendBytes(std::string_view(memo.constData(), std::size_t(memo.size())));
    store.Column(kNullMemo).AppendNull();
    store.Column(kNumber).AppendInt(42);
    store.Column(kShort).AppendBytes("short");
    store.Column(kDate).AppendDays(19000);
    store.Column(kBinary).AppendBytes(std::string_view("ab\0cd", 5));
    store.Column(kFloat).AppendDouble(1.5);
    return store;
}

class Notes : public ::testing::Test {
protected:
    TMemDataSet data{QStringLiteral("ADOQuerySql")};

    void SetUp() override { Load("text"); }
    void TearDown() override
    {
        delete frmNotes;
        ASSERT_EQ(frmNotes, nullptr);
    }
    void Load(const QByteArray& memo, bool readOnly = false)
    {
        data.Close();
        data.SetData(MakeCells(memo));
        data.SetReadOnly(readOnly);
        data.Open();
    }
    [[nodiscard]] TField& Field(Column c) const { return *data.Fields(c); }
    void Open() { OpenNotes(data, Field(kMemo)); }
};

TEST_F(Notes, CopyTextOfNullNumberLocaleAndBinaryWithNul)
{
    EXPECT_EQ(CellCopyText(Field(kNullMemo)), QString());
    EXPECT_EQ(CellCopyText(Field(kNumber)), QStringLiteral("42"));
    EXPECT_EQ(CellCopyText(Field(kShort)), QStringLiteral("short"));
    // The text ends before the first NUL.
    EXPECT_EQ(CellCopyText(Field(kBinary)), QStringLiteral("ab"));
    TFormatSettings comma = CurrentFormatSettings();
    comma.decimalSeparator = u',';
    TFormatSettingsScope scope(comma);
    EXPECT_EQ(CellCopyText(Field(kFloat)), QStringLiteral("1,5"));
}

TEST_F(Notes, OnlyANonNullLongTextCellOpensTheViewer)
{
    for (Column c : {kNullMemo, kNumber, kShort, kDate, kBinary, kFloat}) {
        SCOPED_TRACE(Field(c).FieldName().toStdString());
        EXPECT_FALSE(IsViewableCell(Field(c)));
        OpenNotes(data, Field(c));
        EXPECT_EQ(frmNotes, nullptr);
    }
    EXPECT_TRUE(IsViewableCell(Field(kMemo)));
}

TEST_F(Notes, TheWindowAsDesigned)
{
    Open();
    ASSERT_NE(frmNotes, nullptr);
    TfrmNotes& w = *frmNotes;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Содержание"));
    EXPECT_EQ(w.frameGeometry().size(), kViewerSize);
    EXPECT_TRUE(w.isVisible());
    EXPECT_LT(w.minimumWidth(), kViewerSize.width());   // sizeable
    EXPECT_TRUE(w.reRes->isReadOnly());
    EXPECT_FALSE(w.reRes->tabChangesFocus());
    EXPECT_EQ(w.reRes->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(w.reRes->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(w.pnlBottom->height(), kPanelHeight);
    EXPECT_EQ(w.reRes->geometry().bottom() + 1, w.pnlBottom->y());
    ASSERT_EQ(w.pmRes->actions().size(), 2);
    EXPECT_EQ(w.pmRes->actions().at(0), w.pmSelectAll);
    EXPECT_EQ(w.pmSelectAll->text(), QStringLiteral("Выделить все"));
    EXPECT_EQ(w.pmResCopy->text(), QStringLiteral("Копировать в буфер"));
    EXPECT_EQ(w.bbSave->text(), QStringLiteral("Сохранить"));
    EXPECT_FALSE(w.bbSave->isEnabled());
    EXPECT_EQ(w.bbClose->text(), QStringLiteral("Выход"));
    // Anchored: the close button keeps its distance from the right edge.
    const int gap = w.pnlBottom->width() - w.bbClose->geometry().right();
    w.resize(w.width() + 100, w.height());
    QApplication::processEvents();
    EXPECT_EQ(w.pnlBottom->width() - w.bbClose->geometry().right(), gap);
    EXPECT_LT(w.bbSave->x(), w.bbClose->x());
}

TEST_F(Notes, RtfShowsFormattedAndPlainTextKeepsTabsAndLineBreaks)
{
    Load("{\\rtf1\\ansi plain {\\b bold}\\par second}");
    Open();
    ASSERT_NE(frmNotes, nullptr);
    QTextDocument& doc = *frmNotes->reRes->document();
    EXPECT_EQ(doc.toPlainText(), QStringLiteral("plain bold\nsecond"));
    QTextCursor at(&doc);
    at.setPosition(QStringLiteral("plain b").size());
    EXPECT_EQ(at.charFormat().fontWeight(), QFont::Bold);

    // The same viewer, the content replaced.
    TfrmNotes* first = frmNotes;
    Load("a\tb\r\nc\td\ne");
    Open();
    EXPECT_EQ(frmNotes, first);
    EXPECT_EQ(frmNotes->reRes->toPlainText(), QStringLiteral("a\tb\nc\td\ne"));
    EXPECT_EQ(frmNotes->reRes->document()->blockCount(), 3);
}

TEST_F(Notes, CloseFreesTheWindowAndTheNextOpenIsANewCentredOne)
{
    Open();
    ASSERT_NE(frmNotes, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frmNotes));
    QPointer<TfrmNotes> first = frmNotes;
    first->move(first->pos() + QPoint(40, 30));
    first->bbClose->click();
    EXPECT_EQ(frmNotes, nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());

    Open();
    ASSERT_NE(frmNotes, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frmNotes));
    const QRect screen = frmNotes->screen()->geometry();
    EXPECT_LE(std::abs(frmNotes->frameGeometry().center().x() - screen.center().x()), 1);
    EXPECT_LE(std::abs(frmNotes->frameGeometry().center().y() - screen.center().y()), 1);
    EXPECT_EQ(frmNotes->reRes->toPlainText(), QStringLiteral("text"));
}

TEST_F(Notes, CopyWithoutSelectionLeavesTheClipboardSelectAllThenCopyTakesEverything)
{
    Load("line one\nline two");
    Open();
    ASSERT_NE(frmNotes, nullptr);
    QApplication::clipboard()->setText(QStringLiteral("unchanged"));
    frmNotes->pmResCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("unchanged"));
    frmNotes->pmSelectAll->trigger();
    frmNotes->pmResCopy->trigger();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("line one\nline two"));
}

TEST_F(Notes, AReadOnlyResultOpensWithoutEnteringEditState)
{
    Load("read only", true);
    ASSERT_FALSE(data.CanModify());
    Open();
    ASSERT_NE(frmNotes, nullptr);
    EXPECT_TRUE(frmNotes->isVisible());
    EXPECT_EQ(frmNotes->reRes->toPlainText(), QStringLiteral("read only"));
    EXPECT_EQ(data.State(), dsBrowse);
}

TEST_F(Notes, LongTextOpensWholeFarBeyondTheDefaultLimit)
{
    // 200000 characters: well past the control's default limit, nothing cut.
    QByteArray memo;
    for (int i = 0; i < 20000; ++i)
        memo += QByteArray::number(i % 10).repeated(9) + '\n';
    Load(memo);
    Open();
    ASSERT_NE(frmNotes, nullptr);
    EXPECT_GT(memo.size(), TRichEdit::kDefaultTextLimit);
    EXPECT_EQ(frmNotes->reRes->TextLength(), memo.size());
    EXPECT_EQ(frmNotes->reRes->document()->lastBlock().previous().text(), QStringLiteral("999999999"));
}

} // namespace
