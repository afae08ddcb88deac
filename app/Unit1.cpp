#include "app/Unit1.h"

#include "app/FormLayout.h"
#include "app/RichEdit.h"
#include "app/Splitter.h"
#include "app/StatusText.h"
#include "app/wRegForm.h"
#include "export/dxDBGridExport.h"
#include "grid/dxDBGrid.h"
#include "platform/ui/Application.h"
#include "platform/core/Failure.h"
#include "query/CannedQueries.h"
#include "query/ConnectionManager.h"
#include "query/DbPickers.h"
#include "query/DbTask.h"
#include "query/QueryRun.h"
#include "query/untNotes.h"
#include "query/untPwd.h"
#include "platform/colors/SysColors.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <array>
#include <utility>

namespace {

// The window's design font: "MS Sans Serif", 11 pixels.
QFont DesignFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    return font;
}

// A toolbar separator of a fixed width, drawn as the style's separator line.
class TToolSeparator : public QWidget {
public:
    TToolSeparator(QWidget* parent, int width) : QWidget(parent)
    {
        setFixedWidth(width);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QStyleOption option;
        option.initFrom(this);
        option.state |= QStyle::State_Horizontal;
        const int mid = width() / 2;
        option.rect = QRect(mid - 3, 2, 6, height() - 4);
        style()->drawPrimitive(QStyle::PE_IndicatorToolBarSeparator, &option, &painter, this);
    }
};

struct TButtonDesign {
    QPushButton* TfrmQA::*field;
    const char* name;
    const char16_t* caption;
    TPanelButtonDesign place;
    bool visible;
};

constexpr std::array kPanelButtons = {
    TButtonDesign{&TfrmQA::bQuery, "bQuery", u"Запрос", {16, 8, 89, 25, false}, true},
    TButtonDesign{&TfrmQA::Button5, "Button5", u"Save as HTML", {120, 8, 89, 25, false}, true},
    TButtonDesign{&TfrmQA::Button3, "Button3", u"соединение", {280, 8, 25, 17, false}, false},
    TButtonDesign{&TfrmQA::Button6, "Button6", u"Команда", {336, 8, 89, 25, false}, false},
    TButtonDesign{&TfrmQA::Button1, "Button1", u"Строка подключения", {445, 8, 121, 25, true}, true},
    TButtonDesign{&TfrmQA::Button4, "Button4", u"Выход", {581, 8, 75, 25, true}, true},
};

} // namespace

// ---- TStatusBar ----

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("StatusBar1"));
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void TStatusBar::SetStatusText(const QString& text)
{
    // The bar is on screen and in screenshots: passwords never show there.
    m_text = MaskConnectionPasswords(text);
    update();
}

void TStatusBar::SetRunText(const QString& text, const QString& resultPart)
{
    m_runText = text;
    m_resultPart = resultPart;
    update();
}

namespace {

constexpr int kRunPanelGap = 2;
constexpr int kRunPanelPadding = 8;

} // namespace

QRect TStatusBar::RunPanelRect() const
{
    if (m_runText.isEmpty())
        return {};
    const int w = std::min(width() / 2, QFontMetrics(font()).horizontalAdvance(m_runText) + kRunPanelPadding);
    return QRect(width() - w, 0, w, height());
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const QRect run = RunPanelRect();
    const int firstWidth = run.isEmpty() ? width() : run.left() - kRunPanelGap;
    const auto panel = [&](int left, int w, const QString& text) {
        TStatusPanelPlace place = StatusPanelPlace(QSize(w, height()), metrics.ascent(), metrics.descent());
        place.panel.translate(left, 0);
        place.text.translate(left, 0);
        painter.setClipping(false);
        qDrawShadePanel(&painter, place.panel, palette(), true, 1);
        painter.setClipRect(place.text);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(place.text.left(), place.baseline, text);
    };
    panel(0, firstWidth, m_text);
    if (!run.isEmpty())
        panel(run.left(), run.width(), m_runText);
}

void TStatusBar::mousePressEvent(QMouseEvent* event)
{
    const QRect run = RunPanelRect();
    if (event->button() != Qt::LeftButton || !run.contains(event->position().toPoint())) {
        QWidget::mousePressEvent(event);
        return;
    }
    bool onResult = false;
    if (const qsizetype at = m_resultPart.isEmpty() ? -1 : m_runText.indexOf(m_resultPart); at >= 0) {
        const QFontMetrics metrics(font());
        const int left = run.left() + kRunPanelPadding / 2 + metrics.horizontalAdvance(m_runText.left(at));
        const int x = event->position().toPoint().x();
        onResult = x >= left && x < left + metrics.horizontalAdvance(m_resultPart);
    }
    emit RunPanelClicked(onResult);
}

// ---- TfrmQA ----

TfrmQA::TfrmQA(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmQA"));
    setWindowTitle(QStringLiteral("Brenvo QA"));
    setFont(DesignFont());
    setAutoFillBackground(true);

    CreateMenus();
    CreateToolBar();

    reQuery = new TRichEdit(this);
    reQuery->setObjectName(QStringLiteral("reQuery"));
    reQuery->setFont(DesignFont());
    reQuery->setPlainText(QStringLiteral("--тут писать запросы"));
    reQuery->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(reQuery, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmCopyPaste->popup(reQuery->viewport()->mapToGlobal(pos));
    });

    Splitter1 = new TSplitter(this, reQuery, [this] { return ResultAreaHeight(); });
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->SetOnResize([this](int size) { SetEditorHeight(size); });

    MemoRes = new QPlainTextEdit(this);
    MemoRes->setObjectName(QStringLiteral("MemoRes"));
    MemoRes->setReadOnly(true);
    MemoRes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoRes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoRes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoRes->setFocusPolicy(Qt::StrongFocus);
    MemoRes->setTabChangesFocus(true);
    MemoRes->setContextMenuPolicy(Qt::DefaultContextMenu);

    MemoMessages = new QPlainTextEdit(this);
    MemoMessages->setObjectName(QStringLiteral("MemoMessages"));
    MemoMessages->setReadOnly(true);
    MemoMessages->installEventFilter(this);
    MemoMessages->hide();

    dxDBGridRes = new TdxDBGrid(this);
    dxDBGridRes->setObjectName(QStringLiteral("dxDBGridRes"));
    // pmCopy opens wherever in the grid the menu is asked for, bars included.
    dxDBGridRes->SetOnContextPopup([this](QPoint at) { pmCopy->popup(at); });
    // Called by the grid for double clicks on data cells only.
    dxDBGridRes->SetOnDblClick([this] { dxDBGridResDblClick(dxDBGridRes); });
    dxDBGridRes->hide();
    dxDBGridRes->installEventFilter(this);

    CreatePanel();

    StatusBar1 = new TStatusBar(this);
    connect(StatusBar1, &TStatusBar::RunPanelClicked, this, [this](bool onResult) {
        Guarded([&] {
            if (onResult && m_summary && m_summary->resultSets > 1)
                ShowResultSet((m_shownResult + 1) % m_summary->resultSets);
            else
                ToggleMessages();
        });
    });
    auto* messages = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
    messages->setContext(Qt::WindowShortcut);
    connect(messages, &QShortcut::activated, this, [this] { Guarded([this] { ToggleMessages(); }); });

    CreateComponents();
    SetTabOrder();
    ApplySchemeColors();

    resize(kDesignWidth, kDesignHeight);
    AlignControls();
    CentreOnItsScreen(*this);

    Guarded([this] { FormCreate(this); });
}

TfrmQA::~TfrmQA()
{
    // The grid links to DataSource1; it goes before the components. Its
    // viewport sends events while it is torn down, so the filter goes first.
    TdxDBGrid* grid = std::exchange(dxDBGridRes, nullptr);
    grid->removeEventFilter(this);
    delete grid;
}

void TfrmQA::CreateToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(TImageList::kImageSize, TImageList::kImageSize));
    ToolBar1->setFixedHeight(TFormLayout::kToolBarHeight);
    ToolBar1->setContentsMargins(0, 0, 0, 0);

    auto makeButton = [this](const char* name, int image, const QString& hint, QMenu* menu) {
        auto* button = new QToolButton(ToolBar1);
        button->setObjectName(QString::fromLatin1(name));
        button->setIcon(ImageList.Icon(image));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(hint);
        button->setFixedHeight(22);
        if (menu) {
            button->setMenu(menu);
            button->setPopupMode(QToolButton::MenuButtonPopup);
            button->setMinimumWidth(25);
        } else {
            button->setFixedWidth(25);
        }
        ToolBar1->addWidget(button);
        return button;
    };

    tbOpenFile = makeButton("tbOpenFile", TImageList::kOpenFolder, QString(), nullptr);
    tbName = makeButton("tbName", TImageList::kCurrentBase, QStringLiteral("Текущая база"), PopupMenu1);
    tbSize = makeButton("tbSize", TImageList::kDatabase, QStringLiteral("размер базы"), pmSize);
    tbDB = makeButton("tbDB", TImageList::kDatabaseList, QString(), pmDB);
    ToolButton3 = new TToolSeparator(ToolBar1, 8);
    ToolButton3->setObjectName(QStringLiteral("ToolButton3"));
    ToolBar1->addWidget(ToolButton3);
    tbFontDialogRichEdit = makeButton("tbFontDialogRichEdit", TImageList::kFont, QStringLiteral("Font"), nullptr);
    ToolButton2 = new TToolSeparator(ToolBar1, 18);
    ToolButton2->setObjectName(QStringLiteral("ToolButton2"));
    ToolBar1->addWidget(ToolButton2);
    ToolButton1 = makeButton("ToolButton1", TImageList::kRun, QString(), nullptr);

    // The main part of tbDB has no handler: only its arrow acts.
    ConnectGuarded(tbOpenFile, &QToolButton::clicked, this, &TfrmQA::tbOpenFileClick);
    ConnectGuarded(tbName, &QToolButton::clicked, this, &TfrmQA::tbNameClick);
    ConnectGuarded(tbSize, &QToolButton::clicked, this, &TfrmQA::tbSizeClick);
    ConnectGuarded(tbFontDialogRichEdit, &QToolButton::clicked, this, &TfrmQA::tbFontDialogRichEditClick);
    ConnectGuarded(ToolButton1, &QToolButton::clicked, this, &TfrmQA::ToolButton1Click);
}

void TfrmQA::CreateMenus()
{
    auto makeMenu = [this](const char* name) {
        auto* menu = new QMenu(this);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption, void (TfrmQA::*handler)(QObject*)) {
        QAction* item = menu->addAction(caption);
        item->setObjectName(QString::fromLatin1(name));
        ConnectGuarded(item, &QAction::triggered, this, handler);
        return item;
    };

    PopupMenu1 = makeMenu("PopupMenu1");
    N1 = addItem(PopupMenu1, "N1", QStringLiteral("Сервер"), &TfrmQA::N1Click);
    Collate1 = addItem(PopupMenu1, "Collate1", QStringLiteral("Collate-сервера"), &TfrmQA::Collate1Click);
    N2 = addItem(PopupMenu1, "N2", QStringLiteral("Редакция сервера"), &TfrmQA::N2Click);
    N3 = addItem(PopupMenu1, "N3", QStringLiteral("Тип безопасности"), &TfrmQA::N3Click);
    N4 = addItem(PopupMenu1, "N4", QStringLiteral("Режим (одно-много пользовательский)"), &TfrmQA::N4Click);
    N5 = addItem(PopupMenu1, "N5", QStringLiteral("Имя компьютера"), &TfrmQA::N5Click);
    N6 = addItem(PopupMenu1, "N6", QStringLiteral("Процесс сервера"), &TfrmQA::N6Click);
    N7 = addItem(PopupMenu1, "N7", QStringLiteral("Цифровая версия сервера"), &TfrmQA::N7Click);
    N8 = addItem(PopupMenu1, "N8", QStringLiteral("Подробности ОС"), &TfrmQA::N8Click);
    N9 = addItem(PopupMenu1, "N9", QStringLiteral("Изменить пароль сервера"), &TfrmQA::N9Click);

    pmSize = makeMenu("pmSize");
    N10 = addItem(pmSize, "N10", QStringLiteral("Текущая база"), &TfrmQA::N10Click);
    pmSizeList = new QMenu(QStringLiteral("Список таблиц базы"), pmSize);
    pmSizeList->setObjectName(QStringLiteral("pmSizeList"));
    pmSizeList->menuAction()->setObjectName(QStringLiteral("pmSizeList"));
    pmSize->addMenu(pmSizeList);
    ConnectGuarded(pmSizeList->menuAction(), &QAction::triggered, this, &TfrmQA::pmSizeListClick);
    Collation1 = addItem(pmSize, "Collation1", QStringLiteral("Collation текущей базы"), &TfrmQA::Collation1Click);
    mmSizeD = addItem(pmSize, "mmSizeD", QStringLiteral("Размер текущей базы"), &TfrmQA::mmSizeDClick);
    ConnectGuarded(pmSize, &QMenu::aboutToShow, this, &TfrmQA::pmSizePopup);

    pmDB = makeMenu("pmDB");
    ConnectGuarded(pmDB, &QMenu::aboutToShow, this, &TfrmQA::pmDBPopup);

    pmCopyPaste = makeMenu("pmCopyPaste");
    N12 = addItem(pmCopyPaste, "N12", QStringLiteral("Копировать"), &TfrmQA::N12Click);
    N13 = addItem(pmCopyPaste, "N13", QStringLiteral("Вставить"), &TfrmQA::N13Click);
    N14 = addItem(pmCopyPaste, "N14", QStringLiteral("Выделить всё"), &TfrmQA::N14Click);
    N15 = addItem(pmCopyPaste, "N15", QStringLiteral("Вырезать"), &TfrmQA::N15Click);

    pmCopy = makeMenu("pmCopy");
    N11 = addItem(pmCopy, "N11", QStringLiteral("Копировать"), &TfrmQA::N11Click);
}

void TfrmQA::CreatePanel()
{
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::Panel);
    Panel1->setFrameShadow(QFrame::Raised);
    Panel1->setLineWidth(1);

    for (const TButtonDesign& design : kPanelButtons) {
        auto* button = new QPushButton(QString::fromUtf16(design.caption), Panel1);
        button->setObjectName(QString::fromLatin1(design.name));
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFocusPolicy(Qt::StrongFocus);
        button->setGeometry(TPanelLayout::Place(design.place, TPanelLayout::kDesignWidth));
        button->setVisible(design.visible);
        this->*design.field = button;
    }

    ConnectGuarded(bQuery, &QPushButton::clicked, this, &TfrmQA::bQueryClick);
    ConnectGuarded(Button5, &QPushButton::clicked, this, &TfrmQA::Button5Click);
    ConnectGuarded(Button3, &QPushButton::clicked, this, &TfrmQA::Button3Click);
    ConnectGuarded(Button6, &QPushButton::clicked, this, &TfrmQA::Button6Click);
    ConnectGuarded(Button1, &QPushButton::clicked, this, &TfrmQA::Button1Click);
    ConnectGuarded(Button4, &QPushButton::clicked, this, &TfrmQA::Button4Click);
}

namespace {

// The run action's view of the window. The progress note is a small panel
// over the top of the result area with the cancel button.
class TFormRunView : public TQueryRunView {
public:
    explicit TFormRunView(TfrmQA& form) : m_form(form) { SetConnectProgressView(this); }
    ~TFormRunView() override
    {
        if (ConnectProgressView() == this)
            SetConnectProgressView(nullptr);
    }
    TFormRunView(const TFormRunView&) = delete;
    TFormRunView& operator=(const TFormRunView&) = delete;
    [[nodiscard]] QString EditorPlainText() const override { return m_form.reQuery->CommandText(); }
    void SetStatusText(const QString& text) override { m_form.StatusBar1->SetStatusText(text); }
    void ShowMemoText(const QString& text) override
    {
        m_form.dxDBGridRes->hide();
        m_form.MemoRes->setPlainText(text);
        m_form.MemoRes->show();
    }
    void ShowGrid() override
    {
        m_form.dxDBGridRes->show();
        m_form.MemoRes->hide();
    }
    void ProcessMessages() override { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }
    void ShowRunSummary(const TRunSummary& summary) override { m_form.SetRunSummary(summary); }
    void BeforeNewResult() override { m_form.ShowResultSet(0); }
    void ShowProgress(const QString& text) override
    {
        Panel();
        m_label->setText(text);
        const QWidget* area = m_form.dxDBGridRes->isVisible() ? static_cast<QWidget*>(m_form.dxDBGridRes)
                                                               : static_cast<QWidget*>(m_form.MemoRes);
        const QRect r = area->geometry();
        const QSize hint = m_panel->sizeHint();
        m_panel->setGeometry(r.x(), r.y(), std::max(hint.width(), r.width()), hint.height());
        m_panel->raise();
        m_panel->show();
    }
    void HideProgress() override
    {
        if (m_panel)
            m_panel->hide();
    }
    [[nodiscard]] QObject* CancelControl() override { return Panel()->findChild<QPushButton*>(); }

private:
    QFrame* Panel()
    {
        if (!m_panel) {
            m_panel = new QFrame(m_form.dxDBGridRes->parentWidget());
            m_panel->setObjectName(QStringLiteral("pnlProgress"));
            m_panel->setFrameShape(QFrame::StyledPanel);
            m_panel->setAutoFillBackground(true);
            auto* layout = new QHBoxLayout(m_panel);
            m_label = new QLabel(m_panel);
            auto* button = new QPushButton(QStringLiteral("Отмена"), m_panel);
            button->setObjectName(QStringLiteral("btnCancelRun"));
            button->setFocusPolicy(Qt::NoFocus);
            layout->addWidget(m_label, 1);
            layout->addWidget(button);
            // The wait's input hold takes its clicks as the cancel.
            m_panel->hide();
        }
        return m_panel;
    }

    TfrmQA& m_form;
    QFrame* m_panel = nullptr;   // owned by the form
    QLabel* m_label = nullptr;
};

} // namespace

void TfrmQA::CreateComponents()
{
    ADOConnection = CreateDbConnection(QStringLiteral("ADOConnection"));
    ADOConnection->SetLoginTimeout(kLoginTimeoutSeconds);
    ADOQuerySql = CreateDbQuery(QStringLiteral("ADOQuerySql"), ADOConnection.get());
    ADOQuerySql->SetCommandTimeout(kMainCommandTimeoutSeconds);
    qrySqlDop = CreateDbQuery(QStringLiteral("qrySqlDop"), ADOConnection.get());
    qrySqlDop->SetCommandTimeout(kAuxCommandTimeoutSeconds);
    DataSource1 = std::make_unique<TDataSource>();
    DataSource1->SetDataSet(ADOQuerySql.get());
    dxDBGridRes->SetDataSource(DataSource1.get());
    m_runView = std::make_unique<TFormRunView>(*this);
    m_runner = std::make_unique<TQueryRunner>(TQueryRunContext{
        *ADOConnection, *ADOQuerySql, *dxDBGridRes, *m_runView,
        [this] { Button3Click(Button3); },
        [] { return ProcessConnectionString(); }});
    ADOQuerySql->SetWaitRunner(RecordCommandWaitRunner(*ADOQuerySql, *m_runView));
    // Calls back when the result shown changes as a whole (a record deleted).
    class TRowsLink : public TDataLink {
    public:
        explicit TRowsLink(std::function<void()> changed) : m_changed(std::move(changed)) {}
        void DataSetChanged() override { m_changed(); }

    private:
        std::function<void()> m_changed;
    };
    m_rowsLink = std::make_unique<TRowsLink>([this] {
        if (m_summary && !(m_runner && m_runner->Busy()))
            UpdateRunPanel();
    });
    m_rowsLink->SetDataSource(DataSource1.get());

    // "*.*" matches every file name on the original platform, names without
    // a dot included.
    OpenDialogFilter = QStringLiteral("*.* (*)");
    SaveDialogFilter = QStringLiteral("HTML (HTML)");
    FontDialogRichEdit.font = DesignFont();
    FontDialogRichEdit.color = GetSysColor(COLOR_WINDOWTEXT);
}

void TfrmQA::SetTabOrder()
{
    // The panel comes first, then reQuery, MemoRes, dxDBGridRes; the toolbar
    // takes no focus.
    QWidget* order[] = {Button1, bQuery, Button3, Button4, Button5, Button6, reQuery, MemoRes, dxDBGridRes};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TfrmQA::SetEditorHeight(int height)
{
    m_editorHeight = std::max(0, height);
    AlignControls();
}

int TfrmQA::ResultAreaHeight() const
{
    return TFormLayout::Compute(size(), m_editorHeight).result.height();
}

void TfrmQA::AlignControls()
{
    const TFormRects r = TFormLayout::Compute(size(), m_editorHeight);
    ToolBar1->setGeometry(r.toolBar);
    reQuery->setGeometry(r.editor);
    Splitter1->setGeometry(r.splitter);
    MemoRes->setGeometry(r.result);
    MemoMessages->setGeometry(r.result);
    dxDBGridRes->setGeometry(r.result);
    Panel1->setGeometry(r.panel);
    StatusBar1->setGeometry(r.statusBar);
    for (const TButtonDesign& design : kPanelButtons)
        (this->*design.field)->setGeometry(TPanelLayout::Place(design.place, r.panel.width()));
}

void TfrmQA::ApplyOuterSize()
{
    // The design and stored sizes are outer sizes; the frame is known only
    // once the window manager has framed the window. A size the user has
    // changed meanwhile stays.
    if (!m_outerSizePending)
        return;
    const QSize frame = frameGeometry().size() - geometry().size();
    if (frame.width() <= 0 && frame.height() <= 0)
        return;
    m_outerSizePending = false;
    if (size() == m_outerSize) {
        resize(m_outerSize - frame);
        if (m_outerPos)
            move(*m_outerPos);
        else
            CentreOnItsScreen(*this);
    }
}

void TfrmQA::SetOuterWidth(int width)
{
    m_outerSize.setWidth(width);
    resize(width, height());
}

void TfrmQA::SetOuterHeight(int height)
{
    m_outerSize.setHeight(height);
    resize(width(), height);
}

void TfrmQA::SetOuterPos(QPoint pos)
{
    m_outerPos = pos;
    move(pos);
}

void TfrmQA::SetPlacementCentred()
{
    m_outerPos.reset();
    CentreOnItsScreen(*this);
}

QRect TfrmQA::OuterBounds() const
{
    const QRect outer = frameGeometry();
    if (!isMinimized() || !normalGeometry().isValid())
        return outer;
    // The restored client rectangle with this window's frame around it.
    const QRect client = geometry();
    const QMargins frame(client.left() - outer.left(), client.top() - outer.top(),
                         outer.right() - client.right(), outer.bottom() - client.bottom());
    return normalGeometry().marginsAdded(frame);
}

void TfrmQA::ApplySchemeColors()
{
    // Only a colour that differs is set, so the palette change this causes
    // ends here.
    const QColor window = GetSysColor(COLOR_ACTIVEBORDER);
    if (palette().color(QPalette::Window) != window || !testAttribute(Qt::WA_SetPalette)) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, window);
        setPalette(pal);
    }
    const QColor memo = GetSysColor(COLOR_GRADIENTACTIVECAPTION);
    if (MemoRes->palette().color(QPalette::Base) != memo || !MemoRes->testAttribute(Qt::WA_SetPalette)) {
        QPalette pal = MemoRes->palette();
        pal.setColor(QPalette::Base, memo);
        MemoRes->setPalette(pal);
    }
}

void TfrmQA::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // System colours resolve when used: a desktop palette change shows at
    // once, as in the grid. A window hears of it as a change of its own
    // palette.
    if (event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange)
        ApplySchemeColors();
}

void TfrmQA::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    AlignControls();
}

void TfrmQA::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ApplyOuterSize();
}

bool TfrmQA::event(QEvent* event)
{
    if (event->type() == QEvent::WindowActivate) {
        ApplyOuterSize();
        if (!m_activated) {
            m_activated = true;
            Button1->setFocus(Qt::ActiveWindowFocusReason);
        }
    }
    return QWidget::event(event);
}

void TfrmQA::closeEvent(QCloseEvent* event)
{
    // A run in progress is cancelled first; the window closes when it ends.
    if (m_runner && m_runner->Busy()) {
        m_closeAfterRun = true;
        // A run that does not stop at once is left to finish alone.
        CancelDbTask(true);
        event->ignore();
        return;
    }
    // Another wait (a delete written back, a connect): cancelled, and the
    // close asked again once it has ended.
    if (DbTaskInProgress()) {
        CancelDbTask();
        event->ignore();
        QTimer::singleShot(kProgressFrameMs * 3, this, &QWidget::close);
        return;
    }
    Guarded([this] { FormClose(this); });
    event->accept();
    emit Closed();
}

// ---- handlers of this window ----

bool TfrmQA::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (watched == MemoMessages && key->key() == Qt::Key_Escape) {
            ToggleMessages();
            return true;
        }
        // With several row sets, Ctrl+PgDn and Ctrl+PgUp go from one to the
        // next; with one they are the grid's page keys.
        const bool page = key->key() == Qt::Key_PageDown || key->key() == Qt::Key_PageUp;
        if (watched == dxDBGridRes && page && key->modifiers() == Qt::ControlModifier && m_summary
            && m_summary->resultSets > 1) {
            const int step = key->key() == Qt::Key_PageDown ? 1 : -1;
            Guarded([&] { ShowResultSet(m_shownResult + step); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

TDataSet* TfrmQA::ShownDataSet() const
{
    return DataSource1 ? DataSource1->DataSet() : nullptr;
}

void TfrmQA::SetRunSummary(const TRunSummary& summary)
{
    m_summary = std::make_unique<TRunSummary>(summary);
    m_shownResult = 0;
    UpdateRunPanel();
    if (MemoMessages->isVisible())
        MemoMessages->setPlainText(ServerNotesText(m_summary->notes));
}

void TfrmQA::ShowResultSet(int index)
{
    TDataSet* set = ADOQuerySql->ResultSet(index);
    if (index == 0 && DataSource1->DataSet() != ADOQuerySql.get()) {
        // Back to the main query, also when it is closed: a new run fills it.
        DataSource1->SetDataSet(ADOQuerySql.get());
        if (set)
            RebuildGridColumns(*dxDBGridRes, *set);
    } else if (set && DataSource1->DataSet() != set) {
        DataSource1->SetDataSet(set);
        RebuildGridColumns(*dxDBGridRes, *set);
        set->Last();
    }
    if (set || index == 0)
        m_shownResult = index;
    UpdateRunPanel();
}

void TfrmQA::UpdateRunPanel()
{
    if (!m_summary) {
        StatusBar1->SetRunText(QString());
        return;
    }
    const TDataSet* shown = ShownDataSet();
    const long long rows = m_summary->rowSet && shown && shown->Active() ? shown->RecordCount() : -1;
    const QString text = RunSummaryText(*m_summary, m_shownResult, rows);
    const QString result = m_summary->resultSets > 1 ? ResultPartText(m_shownResult, m_summary->resultSets) : QString();
    StatusBar1->SetRunText(text, result);
}

void TfrmQA::ToggleMessages()
{
    if (MemoMessages->isVisible()) {
        MemoMessages->hide();
        (dxDBGridRes->isVisible() ? static_cast<QWidget*>(dxDBGridRes) : MemoRes)->setFocus(Qt::OtherFocusReason);
        return;
    }
    MemoMessages->setPlainText(m_summary ? ServerNotesText(m_summary->notes) : QString());
    MemoMessages->raise();
    MemoMessages->show();
    MemoMessages->setFocus(Qt::OtherFocusReason);
}

void TfrmQA::FormCreate(QObject*)
{
    wRegFormLoad(*this);
}

void TfrmQA::FormClose(QObject*)
{
    wRegFormSave(*this);
}

void TfrmQA::ToolButton1Click(QObject* Sender)
{
    bQueryClick(Sender);
}

void TfrmQA::Button4Click(QObject*)
{
    close();
}

void TfrmQA::tbOpenFileClick(QObject*)
{
    const std::optional<QString> fileName = Dialogs().OpenFile(this, OpenDialogFilter);
    if (!fileName)
        return;
    reQuery->LoadFromFile(*fileName);
}

void TfrmQA::tbFontDialogRichEditClick(QObject*)
{
    const std::optional<TFontChoice> choice = Dialogs().ChooseFont(this, FontDialogRichEdit);
    if (!choice)
        return;
    FontDialogRichEdit = *choice;
    // The editor's default character format: text without a format of its
    // own takes the document's default font and the palette's text colour.
    reQuery->document()->setDefaultFont(choice->font);
    QPalette pal = reQuery->palette();
    pal.setColor(QPalette::Text, choice->color);
    reQuery->setPalette(pal);
}

void TfrmQA::Button1Click(QObject*)
{
    ChooseConnection(*ADOConnection);
}

void TfrmQA::Button3Click(QObject*)
{
    Reconnect(*ADOConnection);
}

void TfrmQA::N12Click(QObject*) { reQuery->copy(); }
void TfrmQA::N13Click(QObject*) { reQuery->paste(); }
void TfrmQA::N14Click(QObject*) { reQuery->selectAll(); }
void TfrmQA::N15Click(QObject*) { reQuery->cut(); }

// ---- handlers filled in with the features they belong to ----

void TfrmQA::bQueryClick(QObject*)
{
    const auto closeLater = qScopeGuard([this] {
        if (std::exchange(m_closeAfterRun, false))
            QTimer::singleShot(0, this, &QWidget::close);
    });
    m_runner->Run();
}

void TfrmQA::Button6Click(QObject*)
{
    m_runner->RunCommand();
}

void TfrmQA::Button5Click(QObject*)
{
    // Without a result there is nothing to export: the message ends the
    // command, before any file is chosen or created.
    if (!ADOQuerySql->Active()) {
        Dialogs().ShowMessage(QStringLiteral("Нет результатов запроса."));
        return;
    }
    const std::optional<QString> fileName = Dialogs().SaveFile(this, SaveDialogFilter);
    if (!fileName)
        return;
    SaveToHTML(*dxDBGridRes, *fileName + QStringLiteral(".HTML"));
}

// ---- canned queries: the entry's text replaces the editor's, then it runs
// exactly as a typed query would ----

namespace {
void PutCannedQuery(TRichEdit& editor, const char* trigger)
{
    editor.setPlainText(CannedQuery(trigger).Text());
}
} // namespace

void TfrmQA::tbNameClick(QObject* Sender) { PutCannedQuery(*reQuery, "tbName"); bQueryClick(Sender); }
void TfrmQA::tbSizeClick(QObject* Sender) { PutCannedQuery(*reQuery, "tbSize"); bQueryClick(Sender); }
void TfrmQA::N1Click(QObject* Sender) { PutCannedQuery(*reQuery, "N1"); bQueryClick(Sender); }
void TfrmQA::Collate1Click(QObject* Sender) { PutCannedQuery(*reQuery, "Collate1"); bQueryClick(Sender); }
void TfrmQA::N2Click(QObject* Sender) { PutCannedQuery(*reQuery, "N2"); bQueryClick(Sender); }
void TfrmQA::N3Click(QObject* Sender) { PutCannedQuery(*reQuery, "N3"); bQueryClick(Sender); }
void TfrmQA::N4Click(QObject* Sender) { PutCannedQuery(*reQuery, "N4"); bQueryClick(Sender); }
void TfrmQA::N5Click(QObject* Sender) { PutCannedQuery(*reQuery, "N5"); bQueryClick(Sender); }
void TfrmQA::N6Click(QObject* Sender) { PutCannedQuery(*reQuery, "N6"); bQueryClick(Sender); }
void TfrmQA::N7Click(QObject* Sender) { PutCannedQuery(*reQuery, "N7"); bQueryClick(Sender); }
void TfrmQA::N8Click(QObject* Sender) { PutCannedQuery(*reQuery, "N8"); bQueryClick(Sender); }

void TfrmQA::N9Click(QObject*)
{
    if (!frmPwd)
        frmPwd = new TfrmPwd(PasswordHost());
    frmPwd->ShowForward();
}

TPasswordHost TfrmQA::PasswordHost()
{
    return TPasswordHost{[this](const QString& text) { reQuery->setPlainText(text); },
                         [this] { bQueryClick(N9); }};
}

void TfrmQA::N10Click(QObject* Sender) { PutCannedQuery(*reQuery, "N10"); bQueryClick(Sender); }
void TfrmQA::Collation1Click(QObject* Sender) { PutCannedQuery(*reQuery, "Collation1"); bQueryClick(Sender); }
void TfrmQA::mmSizeDClick(QObject* Sender) { PutCannedQuery(*reQuery, "mmSizeD"); bQueryClick(Sender); }

// ---- database and table pickers ----

namespace {

// Runs a menu's fill from its opening signal. A failure is shown in the
// error box and the menu is closed again as soon as it would appear.
template <class F>
void FillMenu(QMenu* menu, F&& fill)
{
    try {
        fill();
    } catch (const std::exception& e) {
        if (!dynamic_cast<const EAbort*>(&e))
            HandleFailure(e);
        QTimer::singleShot(0, menu, [menu] { menu->hide(); });
        Abort();
    }
}

} // namespace

// The item only opens its sub-menu.
void TfrmQA::pmSizeListClick(QObject*) {}

void TfrmQA::pmDBPopup(QObject*)
{
    FillMenu(pmDB, [this] {
        pmDB->clear();
        if (!ADOConnection->Connected())
            Button3Click(Button3);
        ReadDatabases(*qrySqlDop, [this](const TDatabaseEntry& db) {
            auto* item = new QAction(MenuCaption(db.name), pmDB);
            item->setData(db.name);
            // Only the current database draws a check mark.
            item->setCheckable(db.current);
            item->setChecked(db.current);
            ConnectGuarded(item, &QAction::triggered, this, &TfrmQA::ClickDbItem);
            pmDB->addAction(item);
        });
    });
}

void TfrmQA::ClickDbItem(QObject* Sender)
{
    try {
        const auto* item = qobject_cast<const QAction*>(Sender);
        const QString name = item ? item->data().toString() : QString();
        UseDatabase(*qrySqlDop, name);
        Dialogs().ShowMessage(QString::fromUtf16(kUseDatabaseMessage) + name);
    } catch (const std::exception&) {
        // A database that cannot be used leaves the connection where it was.
    }
}

void TfrmQA::pmSizePopup(QObject*)
{
    FillMenu(pmSize, [this] {
        pmSizeList->clear();
        if (!ADOConnection->Connected())
            Button3Click(Button3);
        ReadTables(*qrySqlDop, [this](const TTableEntry& table) {
            auto* item = new QAction(MenuCaption(table.name), pmSizeList);
            item->setData(table.query);
            ConnectGuarded(item, &QAction::triggered, this, &TfrmQA::pmSizeListItem);
            pmSizeList->addAction(item);
        });
    });
}

void TfrmQA::pmSizeListItem(QObject* Sender)
{
    const auto* item = qobject_cast<const QAction*>(Sender);
    const QString query = item ? item->data().toString() : QString();
    if (query.isEmpty())
        return;
    reQuery->setPlainText(query);
    bQueryClick(Sender);
}
void TfrmQA::N11Click(QObject*)
{
    const TField* focused = dxDBGridRes->FocusedColumnField();
    TDataSet* shown = ShownDataSet();
    if (!focused || !shown)
        return;
    QApplication::clipboard()->setText(CellCopyText(*shown->FieldByName(focused->FieldName())));
}

void TfrmQA::dxDBGridResDblClick(QObject*)
{
    const TField* focused = dxDBGridRes->FocusedColumnField();
    if (TDataSet* shown = ShownDataSet(); focused && shown)
        OpenNotes(*shown, *focused);
}
