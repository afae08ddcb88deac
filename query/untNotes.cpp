#include "query/untNotes.h"

#include "app/RichEdit.h"
#include "platform/ui/Application.h"
#include "query/DataSet.h"
#include "query/WindowPlacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <utility>

TfrmNotes* frmNotes = nullptr;

TfrmNotes::TfrmNotes(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmNotes"));
    setWindowTitle(QStringLiteral("Содержание"));
    // Close action "free"; closing it never ends the program.
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);

    reRes = new TRichEdit(this);
    reRes->setObjectName(QStringLiteral("reRes"));
    reRes->setReadOnly(true);
    // Tab inserts a tab (wants tabs); read-only, so it only moves nothing.
    reRes->setTabChangesFocus(false);
    reRes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reRes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The whole content is shown: no limit below what a load brings.
    reRes->SetTextLimit(TRichEdit::kLoadedTextLimit);
    // Read-only: keyboard selection and Ctrl+End still work.
    reRes->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    pmRes = new QMenu(this);
    pmRes->setObjectName(QStringLiteral("pmRes"));
    pmSelectAll = pmRes->addAction(QStringLiteral("Выделить все"));
    pmSelectAll->setObjectName(QStringLiteral("pmSelectAll"));
    pmResCopy = pmRes->addAction(QStringLiteral("Копировать в буфер"));
    pmResCopy->setObjectName(QStringLiteral("pmResCopy"));
    ConnectGuarded(pmSelectAll, &QAction::triggered, this, &TfrmNotes::pmSelectAllClick);
    ConnectGuarded(pmResCopy, &QAction::triggered, this, &TfrmNotes::pmResCopyClick);
    reRes->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(reRes, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmRes->popup(reRes->viewport()->mapToGlobal(pos));
    });

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("pnlBottom"));
    panel->setFixedHeight(kPanelHeight);
    pnlBottom = panel;
    bbSave = new QPushButton(QStringLiteral("Сохранить"), panel);
    bbSave->setObjectName(QStringLiteral("bbSave"));
    bbSave->setEnabled(false);
    bbClose = new QPushButton(QStringLiteral("Выход"), panel);
    bbClose->setObjectName(QStringLiteral("bbClose"));
    for (QPushButton* button : {bbSave, bbClose}) {
        button->setAutoDefault(false);
        button->setFixedSize(75, 25);
    }
    ConnectGuarded(bbClose, &QPushButton::clicked, this, &TfrmNotes::bbCloseClick);

    auto* buttons = new QHBoxLayout(panel);
    buttons->setContentsMargins(8, 8, 8, 8);
    buttons->addWidget(bbSave);
    buttons->addStretch(1);
    buttons->addWidget(bbClose);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(reRes, 1);
    layout->addWidget(panel);

    PlaceAtOuterSize(*this, QSize(kDesignWidth, kDesignHeight));
}

TfrmNotes::~TfrmNotes()
{
    if (frmNotes == this)
        frmNotes = nullptr;
}

void TfrmNotes::ShowForward()
{
    BringForward(*this);
}

void TfrmNotes::closeEvent(QCloseEvent* event)
{
    Guarded([this] { FormClose(this); });
    event->accept();
}

void TfrmNotes::FormClose(QObject*)
{
    if (frmNotes == this)
        frmNotes = nullptr;
}

void TfrmNotes::bbCloseClick(QObject*)
{
    close();
}

void TfrmNotes::pmSelectAllClick(QObject*)
{
    reRes->selectAll();
}

void TfrmNotes::pmResCopyClick(QObject*)
{
    // QTextEdit::copy leaves the clipboard alone without a selection.
    reRes->copy();
}

QString CellCopyText(const TField& field)
{
    if (field.IsNull())
        return {};
    QString text = field.DisplayText();
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0)
        text.truncate(nul);
    return text;
}

bool IsViewableCell(const TField& field)
{
    return field.DataType() == ftMemo && !field.IsNull();
}

void OpenNotes(TDataSet& dataSet, const TField& field)
{
    if (!IsViewableCell(field))
        return;
    if (!frmNotes)
        frmNotes = new TfrmNotes();
    // Reading needs no edit state: an edit would be refused on every result
    // the data layer cannot modify.
    QByteArray content = dataSet.FieldByName(field.FieldName())->SaveToBytes();
    frmNotes->reRes->LoadFromBytes(std::move(content));
    frmNotes->ShowForward();
}
