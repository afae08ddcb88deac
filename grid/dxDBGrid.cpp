#include "grid/dxDBGrid.h"

#include "grid/GridAutoScroll.h"
#include "grid/GridControllers.h"
#include "grid/GridPaintState.h"
#include "grid/GridPainter.h"
#include "platform/ui/Application.h"
#include "platform/ui/DialogService.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kMaxColumnFieldMap = 268435455;

bool IsIdentifier(const QString& name)
{
    if (name.isEmpty() || !(name[0].isLetter() || name[0] == QLatin1Char('_')))
        return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); });
}

} // namespace

// --- data link

void TdxGridDataLink::ActiveChanged(bool active) { m_grid.LinkActiveChanged(active); }
void TdxGridDataLink::DataSetChanged() { m_grid.LinkDataSetChanged(); }
void TdxGridDataLink::DataSetScrolled(int distance) { m_grid.LinkDataSetScrolled(distance); }
void TdxGridDataLink::RecordChanged(TField* field) { m_grid.LinkRecordChanged(field); }
void TdxGridDataLink::LayoutChanged() { m_grid.LinkLayoutChanged(); }
void TdxGridDataLink::UpdateData() {}   // no in-place editor holds a modified value
void TdxGridDataLink::FocusControl(TField* field) { m_grid.LinkFocusControl(field); }

void TdxGridDataLink::ClearColumnFieldMap()
{
    m_columnFieldMap.clear();
    m_columnFieldMap.shrink_to_fit();
}

void TdxGridDataLink::AddToColumnFieldMap(int fieldIndex)
{
    if (m_columnFieldMap.size() >= static_cast<std::size_t>(kMaxColumnFieldMap))
        return;
    if (m_columnFieldMap.size() == m_columnFieldMap.capacity()) {
        const std::size_t cap = m_columnFieldMap.capacity();
        m_columnFieldMap.reserve(cap == 0 ? 8 : std::min<std::size_t>(cap * 2, kMaxColumnFieldMap));
    }
    m_columnFieldMap.push_back(fieldIndex);
}

// --- construction

TdxDBGrid::TdxDBGrid(QWidget* parent)
    : QAbstractScrollArea(parent), m_link(*this), m_keys(std::make_unique<TGridKeyController>(*this)),
      m_mouse(std::make_unique<TGridMouseController>(*this)), m_autoScroll(std::make_unique<TGridAutoScroll>(*this))
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    viewport()->setMouseTracking(true);   // the splitter cursor over column edges
    // Both bars stay, disabled when there is nothing to scroll, so the data
    // area does not change size from one result to the next.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_headerFont = font();

    QScrollBar* vbar = verticalScrollBar();
    vbar->setTracking(true);
    connect(vbar, &QAbstractSlider::actionTriggered, this, &TdxDBGrid::OnVerticalAction);
    connect(vbar, &QAbstractSlider::sliderReleased, this, &TdxDBGrid::OnVerticalReleased);
    QScrollBar* hbar = horizontalScrollBar();
    // The wheel and the context menu over a bar are the grid's, not the bar's.
    for (QScrollBar* bar : {vbar, hbar})
        bar->installEventFilter(this);
    connect(hbar, &QAbstractSlider::actionTriggered, this, [this](int action) { Guarded([&] { OnHorizontalAction(action); }); });
    connect(hbar, &QAbstractSlider::valueChanged, this, [this](int v) {
        if (!m_inScrollBarUpdate)
            Guarded([&] { SetLeftCoord(v); });
    });
    RecalcMetrics();
}

TdxDBGrid::~TdxDBGrid()
{
    m_destroying = true;
    m_autoScroll->End();
    m_mouse->Cancel();
    ClearColumns();
    m_link.SetDataSource(nullptr);
}

void TdxDBGrid::SetDataSource(TDataSource* source)
{
    if (source == m_link.DataSource())
        return;
    m_link.SetDataSource(source);
    ResetDataLayout();
}

// --- columns

TdxDBGridColumn* TdxDBGrid::Columns(int index) const
{
    if (index < 0 || index >= ColumnCount())
        return nullptr;
    return m_columns[static_cast<std::size_t>(index)];
}

int TdxDBGrid::IndexOfColumn(const TdxDBGridColumn* column) const
{
    auto it = std::find(m_columns.begin(), m_columns.end(), column);
    return it == m_columns.end() ? -1 : static_cast<int>(it - m_columns.begin());
}

int TdxDBGrid::VisibleColumnCount() const
{
    return static_cast<int>(std::count_if(m_columns.begin(), m_columns.end(), [](const TdxDBGridColumn* c) { return c->Visible(); }));
}

TdxDBGridColumn* TdxDBGrid::VisibleColumn(int visibleIndex) const
{
    if (visibleIndex < 0)
        return nullptr;
    for (TdxDBGridColumn* c : m_columns)
        if (c->Visible() && visibleIndex-- == 0)
            return c;
    return nullptr;
}

void TdxDBGrid::MoveColumn(TdxDBGridColumn* column, int index)
{
    const int from = IndexOfColumn(column);
    if (from < 0)
        return;
    m_columns.erase(m_columns.begin() + from);
    index = std::clamp(index, 0, ColumnCount());
    m_columns.insert(m_columns.begin() + index, column);
    if (index != from)
        ColumnLayoutChanged();
}

static const char* const kDefaultFieldsError = "DefaultFields property should be set to False";

void TdxDBGrid::ClearColumns()
{
    if (m_defaultFields && !m_destroying && m_updateLock == 0)
        throw Exception(QString::fromLatin1(kDefaultFieldsError));
    if (m_columns.empty())
        return;
    while (!m_columns.empty()) {
        TdxDBGridColumn* c = m_columns.back();
        m_columns.pop_back();
        c->Detach();
        delete c;
    }
    if (!m_destroying)
        ColumnLayoutChanged();
}

bool TdxDBGrid::IsColumnNameFree(const QString& name) const
{
    if (!IsIdentifier(name))
        return false;
    for (const QObject* child : children())
        if (child->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return false;
    return true;
}

TdxDBGridMaskColumn* TdxDBGrid::AddColumn()
{
    if (m_defaultFields)
        throw Exception(QString::fromLatin1(kDefaultFieldsError));
    auto* column = new TdxDBGridMaskColumn(this);
    // A name is tried for every n from count + 1 up; an invalid grid name
    // (no valid name at all) leaves the column unnamed after the count of
    // the children, instead of looping forever.
    const int limit = ColumnCount() + 1 + static_cast<int>(children().size()) + 1;
    for (int n = ColumnCount() + 1; n <= limit; ++n) {
        const QString name = objectName() + QStringLiteral("Column") + QString::number(n);
        if (IsColumnNameFree(name)) {
            column->setObjectName(name);
            break;
        }
    }
    m_columns.push_back(column);
    column->Attach(this);
    ColumnLayoutChanged();
    return column;
}

void TdxDBGrid::SetDefaultLayout(bool value)
{
    m_defaultLayout = value;
    if (value)
        SetHeaderPanelRowCount(1);
}

void TdxDBGrid::SetHeaderPanelRowCount(int count)
{
    count = std::max(1, count);
    if (count == m_headerPanelRowCount)
        return;
    m_headerPanelRowCount = count;
    if (count > 1)
        m_defaultLayout = false;
    RecalcMetrics();
}

void TdxDBGrid::ColumnLayoutChanged()
{
    if (m_destroying)
        return;
    if (m_updateLock > 0) {
        m_metricsPending = true;
        return;
    }
    UpdateScrollBars();
    viewport()->update();
}

// --- cells

void TdxDBGrid::BeginNodeRead(int node)
{
    if (m_nodeReadDepth++ == 0)
        m_savedActiveRecord = m_link.ActiveRecord();
    if (node >= 0 && node < m_link.RecordCount())
        m_link.SetActiveRecord(node);
}

void TdxDBGrid::EndNodeRead()
{
    if (m_nodeReadDepth <= 0)
        return;
    if (--m_nodeReadDepth == 0)
        m_link.SetActiveRecord(m_savedActiveRecord);
}

QString TdxDBGrid::NodeCellText(int node, int column)
{
    TdxDBGridColumn* c = Columns(column);
    if (!c || !m_link.Active())
        return {};
    // A node past the window's records (the one node of an empty result)
    // has no record behind it.
    if (node < 0 || node >= m_link.RecordCount())
        return {};
    QString text;
    {
        BeginNodeRead(node);
        const auto end = qScopeGuard([this] { EndNodeRead(); });
        text = c->FieldText();
        if (c->OnGetText())
            c->OnGetText()(c, node, text);
    }
    return text;
}

QString TdxDBGrid::ColumnCurrentText(int column) const
{
    TdxDBGridColumn* c = Columns(column);
    if (!c || !c->Field() || !m_link.Active())
        return {};
    return c->Field()->DisplayText();
}

// --- focus

int TdxDBGrid::FocusedVisibleColumn() const
{
    if (OptionsView().Contains(edgoRowSelect))
        return 0;
    const int count = VisibleColumnCount();
    return m_focusedVisibleColumn >= 0 && m_focusedVisibleColumn < count ? m_focusedVisibleColumn : 0;
}

void TdxDBGrid::SetFocusedVisibleColumn(int visibleIndex)
{
    if (visibleIndex == m_focusedVisibleColumn)
        return;
    m_focusedVisibleColumn = visibleIndex;
    InvalidateNodeRect(m_focusedNode);
}

int TdxDBGrid::FocusedColumnIndex() const
{
    if (VisibleColumnCount() == 0)
        return -1;
    return IndexOfColumn(VisibleColumn(FocusedVisibleColumn()));
}

TField* TdxDBGrid::FocusedColumnField() const
{
    const int index = FocusedColumnIndex();
    if (index < 0 || index >= ColumnCount())
        return nullptr;
    return m_columns[static_cast<std::size_t>(index)]->Field();
}

bool TdxDBGrid::GridFocused() const { return hasFocus(); }

// --- options

void TdxDBGrid::SetOptionsBehavior(TdxDBGridOptionsBehavior value) { m_options.SetOptionsBehavior(value); }
void TdxDBGrid::SetOptionsCustomize(TdxDBGridOptionsCustomize value) { m_options.SetOptionsCustomize(value); }

void TdxDBGrid::SetOptionsDB(TdxDBGridOptionsDB value)
{
    if (m_options.SetOptionsDB(value))
        ResetDataLayout();
}

void TdxDBGrid::SetOptionsView(TdxDBGridOptionsView value)
{
    if (m_options.SetOptionsView(value))
        RecalcMetrics();
}

bool TdxDBGrid::IsWindowMode() const
{
    // No column is ever grouped, so the link's state does not matter.
    return !OptionsDB().Contains(edgoLoadAllRecords) && !OptionsDB().Contains(edgoPartialLoad);
}

// --- record window

void TdxDBGrid::MeasureWindowRows()
{
    const TGridLayout layout = ComputeLayout();
    m_rows = MeasureRows(layout.dataArea.height(), layout.rowHeight);
}

void TdxDBGrid::SyncWindow()
{
    if (m_inSyncWindow || m_destroying)
        return;
    const QScopedValueRollback<bool> reset(m_inSyncWindow, true);

    if (!IsWindowMode()) {
        m_link.SetBufferCount(1);
        return;
    }
    const int oldNodes = m_nodeCount;
    if (m_link.Active() && m_link.RecordCount() > 0) {
        if (m_link.BufferCount() != m_rows.visible)
            m_link.SetBufferCount(m_rows.visible);
        m_nodeCount = std::max(1, m_link.RecordCount());
    } else {
        m_nodeCount = 1;
    }
    if (m_nodeCount != oldNodes)
        viewport()->update();
    FollowActiveRecord();
}

void TdxDBGrid::FollowActiveRecord()
{
    if (m_following)
        return;
    const QScopedValueRollback<bool> reset(m_following, true);

    int target = m_focusedNode;
    if (m_link.Active()) {
        const int active = m_link.ActiveRecord();
        if (active != m_focusedNode && active < m_nodeCount)
            target = active;
    }
    target = std::clamp(target, 0, std::max(0, m_nodeCount - 1));
    if (target != m_focusedNode) {
        InvalidateNodeRect(m_focusedNode);
        m_focusedNode = target;
        InvalidateNodeRect(m_focusedNode);
    }
}

void TdxDBGrid::MoveToRow(int row)
{
    if (m_nodeCount <= 0 || !m_link.Active() || row == m_focusedNode)
        return;
    if (UntouchedInsert()) {
        // Leaving the blank record drops it, then the move goes on; the rows
        // below it have moved up by one.
        const int blank = m_focusedNode;
        CancelUntouchedInsert();
        if (row > blank)
            --row;
        if (row == m_focusedNode || !m_link.Active())
            return;
    }
    m_link.DataSet()->MoveBy(row - m_focusedNode);
}

int TdxDBGrid::GotoRecord(TGotoRecord where)
{
    TDataSet* ds = m_link.DataSet();
    if (!ds || !ds->Active())
        return m_focusedNode;
    CancelUntouchedInsert();
    switch (where) {
    case TGotoRecord::First: ds->First(); break;
    case TGotoRecord::Prior:
        ds->Prior();
        if (ds->Bof())
            return -1;
        break;
    case TGotoRecord::Next:
        ds->Next();
        if (ds->Eof())
            return -1;
        break;
    case TGotoRecord::Last: ds->Last(); break;
    }
    return m_focusedNode;
}

TScrollInfo TdxDBGrid::WindowScrollInfo() const
{
    TScrollSource s;
    TDataSet* ds = m_link.DataSet();
    s.usable = m_link.Active() && ds && ds->Active();
    if (!s.usable)
        return ComputeWindowScrollInfo(s);
    s.sequenced = ds->IsSequenced();
    s.bof = ds->Bof();
    s.eof = ds->Eof();
    s.visibleRowCount = m_rows.visible;
    try {
        s.recordCount = ds->RecordCount();
        if (ds->State() < dsInsert)
            s.recNo = ds->RecNo();
    } catch (const std::exception&) {
        s.recNo = -1;   // the scroll bar shows position 0
    }
    return ComputeWindowScrollInfo(s);
}

void TdxDBGrid::ScrollVertical(TScrollCommand command, int thumbPosition)
{
    if (focusPolicy() == Qt::NoFocus || !m_link.Active())
        return;
    TScrollCommandSource s;
    s.activeRecord = m_link.ActiveRecord();
    s.windowRecordCount = m_link.RecordCount();
    s.visibleRowCount = m_rows.visible;
    TDataSet* ds = m_link.DataSet();
    s.sequenced = ds->IsSequenced();
    s.recordCount = ds->RecordCount();
    s.thumbPosition = thumbPosition;
    const TDataSetMove move = ScrollCommandMove(command, s);
    if (move.kind != TDataSetMove::None && CancelUntouchedInsert()) {
        // Leaving the blank record drops it; the move is then made from
        // where that leaves the window.
        ScrollVertical(command, thumbPosition);
        return;
    }
    ApplyMove(move);
    UpdateScrollBars();
}

void TdxDBGrid::ApplyMove(const TDataSetMove& move)
{
    TDataSet* ds = m_link.DataSet();
    if (!ds)
        return;
    switch (move.kind) {
    case TDataSetMove::None: break;
    case TDataSetMove::First: ds->First(); break;
    case TDataSetMove::Last: ds->Last(); break;
    case TDataSetMove::By: ds->MoveBy(move.value); break;
    case TDataSetMove::RecNo: ds->SetRecNo(move.value); break;
    }
}

void TdxDBGrid::OnVerticalAction(int action)
{
    if (m_inScrollBarUpdate)
        return;
    TScrollCommand command;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: command = TScrollCommand::LineDown; break;
    case QAbstractSlider::SliderSingleStepSub: command = TScrollCommand::LineUp; break;
    case QAbstractSlider::SliderPageStepAdd: command = TScrollCommand::PageDown; break;
    case QAbstractSlider::SliderPageStepSub: command = TScrollCommand::PageUp; break;
    case QAbstractSlider::SliderToMinimum: command = TScrollCommand::Top; break;
    case QAbstractSlider::SliderToMaximum: command = TScrollCommand::Bottom; break;
    default: return;   // thumb tracking: the dataset moves on release
    }
    // The bar shows the dataset, not its own arithmetic: undo its step, move
    // the dataset, and let the notifications set the bar.
    QScrollBar* bar = verticalScrollBar();
    bar->setSliderPosition(bar->value());
    ScrollVertical(command);
}

void TdxDBGrid::OnVerticalReleased()
{
    ScrollVertical(TScrollCommand::ThumbPosition, verticalScrollBar()->sliderPosition());
}

namespace {

// A bar repaints on every step change, even to the same steps: set only
// what differs, so a key that leaves the bar alone costs no bar repaint.
void SetSteps(QScrollBar& bar, int single, int page)
{
    if (bar.singleStep() != single)
        bar.setSingleStep(single);
    if (bar.pageStep() != page)
        bar.setPageStep(page);
}

} // namespace

void TdxDBGrid::UpdateScrollBars()
{
    if (m_destroying)
        return;
    const QScopedValueRollback<bool> reset(m_inScrollBarUpdate, true);

    const TScrollInfo info = WindowScrollInfo();
    QScrollBar* vbar = verticalScrollBar();
    // The bar's maximum is the last thumb position: max - (page - 1).
    vbar->setRange(info.min, std::max(info.min, info.max - std::max(info.page - 1, 0)));
    SetSteps(*vbar, 1, std::max(1, info.page));
    if (!vbar->isSliderDown())
        vbar->setValue(info.position);

    vbar->setEnabled(m_link.Active() && vbar->maximum() > vbar->minimum());

    // Every layout change comes through here: columns, widths, resize. The
    // offset is clamped again so a narrower content never leaves the view
    // scrolled past its end.
    TGridLayout layout = ComputeLayout();
    const int page = layout.dataArea.width();
    const int clamped = ClampLeftCoord(m_leftCoord, layout.contentWidth, page);
    if (clamped != m_leftCoord) {
        m_leftCoord = clamped;
        viewport()->update();
        if (m_onChangeLeftCoord)
            m_onChangeLeftCoord();
    }
    QScrollBar* hbar = horizontalScrollBar();
    hbar->setRange(0, std::max(0, layout.contentWidth - page));
    SetSteps(*hbar, std::max(1, m_metrics.digitWidth), std::max(1, page));
    hbar->setValue(m_leftCoord);
    hbar->setEnabled(layout.contentWidth > page);
}

void TdxDBGrid::ResetDataLayout()
{
    BeginUpdate();
    m_nodeCount = 0;
    m_focusedNode = 0;
    m_link.ClearColumnFieldMap();
    if (m_link.Active()) {
        TDataSet* ds = m_link.DataSet();
        for (TdxDBGridColumn* c : m_columns) {
            TField* f = c->FieldName().isEmpty() ? nullptr : ds->FindField(c->FieldName());
            m_link.AddToColumnFieldMap(f ? f->Index() : -1);
        }
    }
    for (TdxDBGridColumn* c : m_columns)
        c->Rebind();
    m_metricsPending = true;
    EndUpdate();
}

// --- notifications

void TdxDBGrid::LinkActiveChanged(bool /*active*/)
{
    ResetDataLayout();
}

void TdxDBGrid::LinkDataSetChanged()
{
    if (m_destroying)
        return;
    TDataSet* ds = m_link.DataSet();
    const bool inserting = ds && ds->State() == dsInsert;
    if (!(inserting && ds->IsEmpty()))
        SyncWindow();
    if (inserting)
        InvalidateNodeRect(m_focusedNode);
    UpdateScrollBars();
    // The records changed, not the columns: the header stays as painted (a
    // column change repaints it through ColumnLayoutChanged).
    viewport()->update(ComputeLayout().dataArea);
}

void TdxDBGrid::LinkDataSetScrolled(int distance)
{
    if (m_destroying)
        return;
    const QRect oldFocus = NodeRect(m_focusedNode);
    SyncWindow();
    const QRect newFocus = NodeRect(m_focusedNode);
    const TScrolledRepaint how = ScrolledRepaint(distance, m_rows.visible, m_metrics.defaultRowHeight);
    if (how.repaintAll) {
        viewport()->update();
    } else {
        if (how.scrollPixels != 0) {
            // Only the whole rows move: the partly visible row below them
            // holds no record and must not receive a sliver of the last one.
            QRect rows = ComputeLayout().dataArea;
            rows.setHeight(std::min(rows.height(), m_rows.visible * m_metrics.defaultRowHeight));
            // A move by a whole page leaves nothing painted to keep.
            if (std::abs(how.scrollPixels) >= rows.height())
                viewport()->update(rows);
            else
                viewport()->scroll(0, how.scrollPixels, rows);
        }
        // The old focused row moved with the scroll.
        viewport()->update(oldFocus.translated(0, how.scrollPixels));
        viewport()->update(newFocus);
    }
    UpdateScrollBars();
}

void TdxDBGrid::LinkRecordChanged(TField* /*field*/) { InvalidateNodeRect(m_focusedNode); }

void TdxDBGrid::LinkLayoutChanged()
{
    ColumnLayoutChanged();
    LinkDataSetChanged();
}

void TdxDBGrid::LinkFocusControl(TField* field)
{
    if (!field || !OptionsDB().Contains(edgoCanNavigation) || OptionsView().Contains(edgoRowSelect))
        return;
    for (int v = 0, n = VisibleColumnCount(); v < n; ++v) {
        if (VisibleColumn(v)->Field() == field) {
            SetFocusedVisibleColumn(v);
            break;
        }
    }
    if (FocusedColumnField() == field && focusPolicy() != Qt::NoFocus)
        setFocus(Qt::OtherFocusReason);
}

// --- metrics and layout

TMetricsInput TdxDBGrid::MeasureFonts() const
{
    TMetricsInput in;
    in.headerTextHeight = QFontMetrics(m_headerFont).height();
    const QFontMetrics data(font());
    in.dataTextHeight = data.height();
    in.digitWidth = data.horizontalAdvance(QLatin1Char('0'));
    in.headerPanelRowCount = m_headerPanelRowCount;
    in.showHeader = m_showHeader;
    in.showGrid = m_showGrid;
    in.explicitRowHeight = m_explicitRowHeight;
    for (const TdxDBGridColumn* c : m_columns)
        if (c->Visible() && c->HasOwnFont())
            in.columnTextHeights.push_back(QFontMetrics(c->Font()).height());
    in.showIndicator = OptionsView().Contains(edgoIndicator);
    return in;
}

void TdxDBGrid::RecalcMetrics()
{
    if (m_destroying)
        return;
    if (m_updateLock > 0) {
        m_metricsPending = true;
        return;
    }
    m_metricsPending = false;
    m_metrics = ComputeGridMetrics(MeasureFonts());
    MeasureWindowRows();
    SyncWindow();
    UpdateScrollBars();
    viewport()->update();
}

void TdxDBGrid::BeginUpdate() { ++m_updateLock; }

void TdxDBGrid::EndUpdate()
{
    if (m_updateLock <= 0)
        return;
    if (--m_updateLock == 0 && m_metricsPending)
        RecalcMetrics();
}

std::vector<int> TdxDBGrid::VisibleWidths() const
{
    std::vector<int> widths;
    widths.reserve(m_columns.size());
    for (const TdxDBGridColumn* c : m_columns)
        if (c->Visible())
            widths.push_back(c->Width());
    return widths;
}

TGridLayout TdxDBGrid::ComputeLayout() const
{
    return ComputeGridLayout(viewport()->rect(), m_metrics, VisibleWidths(), m_leftCoord);
}

void TdxDBGrid::SetLeftCoord(int value)
{
    const TGridLayout layout = ComputeLayout();
    value = ClampLeftCoord(value, layout.contentWidth, layout.dataArea.width());
    if (value == m_leftCoord)
        return;
    const int dx = m_leftCoord - value;
    m_leftCoord = value;
    {
        // Only the horizontal bar follows; the layout is unchanged.
        const QScopedValueRollback<bool> reset(m_inScrollBarUpdate, true);
        horizontalScrollBar()->setValue(m_leftCoord);
    }
    // Header and rows move together.
    const QRect area = layout.headerPanel.united(layout.dataArea);
    if (std::abs(dx) > layout.dataArea.width())
        viewport()->update();
    else
        viewport()->scroll(dx, 0, area);
    if (m_onChangeLeftCoord)
        m_onChangeLeftCoord();
}

QRect TdxDBGrid::NodeRect(int node) const
{
    const TGridLayout layout = ComputeLayout();
    return layout.RowRect(node);
}

void TdxDBGrid::InvalidateNodeRect(int node)
{
    if (node >= 0)
        viewport()->update(NodeRect(node));
}

void TdxDBGrid::SetHeaderFont(const QFont& font)
{
    m_headerFont = font;
    m_headerFontExplicit = true;
    RecalcMetrics();
}

void TdxDBGrid::SetDefaultRowHeight(int height)
{
    m_explicitRowHeight = std::max(0, height);
    RecalcMetrics();
}

void TdxDBGrid::SetShowGrid(bool value)
{
    if (value == m_showGrid)
        return;
    m_showGrid = value;
    RecalcMetrics();
}

void TdxDBGrid::SetShowHeader(bool value)
{
    if (value == m_showHeader)
        return;
    m_showHeader = value;
    RecalcMetrics();
}

QColor TdxDBGrid::EffectiveGridLineColor() const
{
    if (!m_showGrid)
        return ResolveColor(m_color);
    if (!m_gridLineColor.IsNone())
        return ResolveColor(m_gridLineColor);
    const QColor face = GridSysColor(gridcolor::kBtnFace);
    const QRgb rgb = face.rgb() & 0xFFFFFF;
    if (rgb == 0x000000 || rgb == 0xFFFFFF)
        return GridSysColor(gridcolor::kBtnShadow);
    return face;
}

TGridPaintState TdxDBGrid::PaintState()
{
    TGridPaintState s;
    s.layout = ComputeLayout();
    TPaintColors& c = s.colors;
    c.window = ResolveColor(m_color);
    c.fontColor = ResolveColor(m_fontColor);
    c.header = ResolveColor(m_headerColor);
    c.highlight = ResolveColor(m_highlightColor);
    c.highlightText = ResolveColor(m_highlightTextColor);
    c.hideSel = ResolveColor(m_hideSelectionColor);
    c.hideSelText = ResolveColor(m_hideSelectionTextColor);
    c.gridLine = EffectiveGridLineColor();
    c.btnHighlight = GridSysColor(gridcolor::kBtnHighlight);
    c.btnShadow = GridSysColor(gridcolor::kBtnShadow);
    c.dkShadow = GridSysColor(gridcolor::k3DDkShadow);

    s.firstShown = s.layout.FirstShownColumn();
    const int end = s.layout.EndShownColumn();
    s.shown.reserve(static_cast<std::size_t>(std::max(0, end - s.firstShown)));
    for (int i = s.firstShown; i < end; ++i) {
        const TdxDBGridColumn* column = VisibleColumn(i);
        TPaintColumn pc;
        pc.absoluteIndex = column->Index();
        pc.caption = column->DisableCaption() ? QString() : column->Caption();
        pc.headerAlignment = column->HeaderAlignment();
        pc.alignment = column->Alignment();
        if (column->IsExplicit(evColor) && column->Color() != m_color)
            pc.background = ResolveColor(column->Color());
        s.shown.push_back(std::move(pc));
    }
    s.font = font();
    s.headerFont = m_headerFont;
    s.nodeCount = m_nodeCount;
    s.partialRowCount = m_rows.partial;
    s.focusedNode = m_focusedNode;
    s.focusedColumn = FocusedColumnIndex();
    s.focused = GridFocused();
    s.hideSelection = m_hideSelection;
    s.hideFocusRect = m_hideFocusRect;
    s.pressedColumn = m_pressedColumn;
    s.sizingLineX = m_sizingLineX;
    s.dropMarkX = m_dropMarkX;
    s.colors.arrows = ResolveColor(m_arrowsColor);
    s.cellText = [this](int node, int column) { return NodeCellText(node, column); };
    s.beginRow = [this](int node) { BeginNodeRead(node); };
    s.endRow = [this] { EndNodeRead(); };
    return s;
}

// --- events

void TdxDBGrid::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    PaintGrid(PaintState(), painter, event->region());
}

void TdxDBGrid::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const TWindowRows before = m_rows;
    MeasureWindowRows();
    if (before.visible != m_rows.visible || before.partial != m_rows.partial)
        SyncWindow();
    UpdateScrollBars();
}

void TdxDBGrid::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        if (!m_headerFontExplicit)
            m_headerFont = font();
        RecalcMetrics();
    }
    // The window losing activation or the grid being disabled cancels a
    // mouse operation and the auto-scroll, as a cancel-mode message would.
    if ((event->type() == QEvent::ActivationChange && !isActiveWindow())
        || (event->type() == QEvent::EnabledChange && !isEnabled())) {
        m_mouse->Cancel();
        m_autoScroll->End();
    }
}

void TdxDBGrid::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    InvalidateNodeRect(m_focusedNode);
}

void TdxDBGrid::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    InvalidateNodeRect(m_focusedNode);
    m_mouse->FocusLost();
    // Cancel on exit: a blank record does not outlive the focus. The grid's
    // own popup and a box of this program over the window (the delete's
    // question among them) only borrow the focus; it comes back.
    const bool borrowed = event->reason() == Qt::PopupFocusReason || m_askingToDelete
        || QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr;
    if (!borrowed && m_link.Active() && OptionsDB().Contains(edgoCancelOnExit))
        Guarded([this] { CancelUntouchedInsert(); });
}

void TdxDBGrid::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    // The bars are driven by the dataset and LeftCoord; nothing moves here.
}

bool TdxDBGrid::viewportEvent(QEvent* event)
{
    bool used = false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const bool dbl = event->type() == QEvent::MouseButtonDblClick;
        Guarded([&] { used = m_mouse->Press(*static_cast<QMouseEvent*>(event), dbl); });
        break;
    }
    case QEvent::MouseMove:
        Guarded([&] { used = m_mouse->Move(*static_cast<QMouseEvent*>(event)); });
        break;
    case QEvent::MouseButtonRelease:
        Guarded([&] { used = m_mouse->Release(*static_cast<QMouseEvent*>(event)); });
        break;
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return WholeGridEvent(event);
    default:
        break;
    }
    if (used) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void TdxDBGrid::contextMenuEvent(QContextMenuEvent* event)
{
    // The keyboard's request too opens the menu at the mouse.
    const QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : QCursor::pos();
    event->accept();
    if (m_onContextPopup)
        Guarded([&] { m_onContextPopup(at); });
}

bool TdxDBGrid::WholeGridEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Wheel:
        // The bars never move on their own: a notch is a record.
        Guarded([&] { Wheel(static_cast<QWheelEvent*>(event)->angleDelta().y()); });
        return true;
    case QEvent::ContextMenu:
        contextMenuEvent(static_cast<QContextMenuEvent*>(event));
        return true;
    default:
        return false;
    }
}

bool TdxDBGrid::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == verticalScrollBar() || watched == horizontalScrollBar()) && WholeGridEvent(event))
        return true;
    return QAbstractScrollArea::eventFilter(watched, event);
}

void TdxDBGrid::keyPressEvent(QKeyEvent* event)
{
    bool used = false;
    Guarded([&] { used = m_mouse->KeyPress(*event) || m_keys->KeyPress(*event); });
    // Keys the grid does not use go on to the window (the scroll area's own
    // arrow handling would move the bars away from the dataset).
    event->setAccepted(used);
}

// --- interaction

TGridHitInfo TdxDBGrid::HitTest(QPoint viewportPoint) const
{
    const TGridLayout layout = ComputeLayout();
    std::vector<bool> sizable;
    sizable.reserve(layout.columns.size());
    const bool sizing = OptionsCustomize().Contains(edgoColumnSizing);
    for (const TdxDBGridColumn* c : m_columns)
        if (c->Visible())
            sizable.push_back(sizing && c->Sizing());
    const int rows = m_link.Active() ? std::min(m_link.RecordCount(), m_rows.partial) : 0;
    return GridHitTest(layout, viewportPoint, rows, sizable);
}

TGridState TdxDBGrid::State() const { return m_mouse->State(); }

void TdxDBGrid::FocusCell(int node, int visibleColumn, bool makeVisible)
{
    MoveToRow(node);
    if (visibleColumn >= 0 && visibleColumn < VisibleColumnCount()) {
        InvalidateNodeRect(m_focusedNode);
        SetFocusedVisibleColumn(visibleColumn);
        if (makeVisible)
            MakeColumnVisible(visibleColumn);
    }
}

void TdxDBGrid::FocusColumn(int visibleColumn)
{
    if (visibleColumn == FocusedVisibleColumn() || visibleColumn < 0 || visibleColumn >= VisibleColumnCount())
        return;
    FocusCell(m_focusedNode, visibleColumn);
}

QString TdxDBGrid::RowsClipboardText()
{
    QStringList captions;
    std::vector<int> shown;
    for (const TdxDBGridColumn* c : m_columns)
        if (c->Visible()) {
            captions << (c->DisableCaption() ? QString() : c->Caption());
            shown.push_back(c->Index());
        }
    // An empty or closed result still has its one focused node, of empty cells.
    std::optional<QStringList> values;
    if (m_focusedNode >= 0 && m_nodeCount > 0) {
        const bool data = m_link.Active() && m_link.RecordCount() > 0;
        values.emplace();
        for (int column : shown)
            *values << (data ? NodeCellText(m_focusedNode, column) : QString());
    }
    return ::RowsClipboardText(captions, values);
}

void TdxDBGrid::CopyRowsToClipboard()
{
    QGuiApplication::clipboard()->setText(RowsClipboardText());
}

void TdxDBGrid::FitColumnWidth(int visibleColumn)
{
    TdxDBGridColumn* column = VisibleColumn(visibleColumn);
    if (!column || !column->Sizing())
        return;
    const QFontMetrics data(column->HasOwnFont() ? column->Font() : font());
    int widest = 0;
    // Only the rows loaded in the record window.
    const int rows = m_link.Active() ? m_link.RecordCount() : 0;
    for (int node = 0; node < rows; ++node)
        widest = std::max(widest, data.horizontalAdvance(VisibleCellText(NodeCellText(node, column->Index()))));
    const QString caption = column->DisableCaption() ? QString() : column->Caption();
    const int captionWidth = QFontMetrics(m_headerFont).horizontalAdvance(caption);
    column->SetWidth(::FitColumnWidth(widest, captionWidth, false, QFontMetrics(font()).horizontalAdvance(QLatin1Char('0'))));
    FireChangedColumnsWidth();
}

void TdxDBGrid::FireDblClick()
{
    if (m_onDblClick)
        m_onDblClick();
}

void TdxDBGrid::FireChangedColumnsWidth()
{
    if (m_onChangedColumnsWidth)
        m_onChangedColumnsWidth();
}

void TdxDBGrid::SetSizingLine(int x)
{
    if (x == m_sizingLineX)
        return;
    const TGridLayout layout = ComputeLayout();
    const int top = layout.headerPanel.top();
    const int height = layout.dataArea.bottom() + 1 - top;
    for (int old : {m_sizingLineX, x})
        if (old >= 0)
            viewport()->update(QRect(old, top, 1, height));
    m_sizingLineX = x;
}

void TdxDBGrid::SetDropMark(int x)
{
    if (x == m_dropMarkX)
        return;
    const TGridLayout layout = ComputeLayout();
    for (int old : {m_dropMarkX, x})
        if (old >= 0)
            viewport()->update(QRect(old - kDropMarkHalfWidth, layout.headerPanel.top(), 2 * kDropMarkHalfWidth + 1, layout.headerPanel.height()));
    m_dropMarkX = x;
}

// --- record commands

bool TdxDBGrid::UntouchedInsert() const
{
    const TDataSet* ds = m_link.DataSet();
    return m_link.Active() && ds && ds->State() == dsInsert && !ds->Modified();
}

bool TdxDBGrid::CancelUntouchedInsert()
{
    if (!UntouchedInsert())
        return false;
    m_link.DataSet()->Cancel();
    return true;
}

void TdxDBGrid::DeleteFocusedRecord()
{
    const TdxDBGridOptionsDB db = OptionsDB();
    if (!m_link.Active() || !db.Contains(edgoCanDelete) || !db.Contains(edgoCanNavigation) || m_focusedNode < 0)
        return;
    TDataSet* ds = m_link.DataSet();
    if (ds->IsEmpty() || !ds->CanModify())
        return;
    // The question is about this record: the blank one while inserting.
    const TDataSetState state = ds->State();
    const TBookmark record = ds->GetBookmark();
    if (db.Contains(edgoConfirmDelete)) {
        const QScopedValueRollback<bool> asking(m_askingToDelete, true);
        if (!Dialogs().Confirm(window(), QStringLiteral("Confirm"), QStringLiteral("Delete record?")))
            return;
    }
    // Whatever moved meanwhile, another record is never deleted in its place.
    if (!m_link.Active() || m_link.DataSet() != ds || ds->State() != state || ds->GetBookmark() != record)
        return;
    // The dataset decides what a delete does (a blank record is dropped); a
    // failure propagates and the record stays where the dataset keeps it.
    ds->Delete();
}

void TdxDBGrid::InsertRecord()
{
    if (!m_link.Active())
        return;
    TDataSet* ds = m_link.DataSet();
    if (!ds->CanModify() || !OptionsBehavior().Contains(edgoEditing) || OptionsView().Contains(edgoRowSelect)
        || !OptionsDB().Contains(edgoCanInsert) || !OptionsDB().Contains(edgoCanNavigation))
        return;
    if (UntouchedInsert())
        return;   // one blank record at a time
    ds->Insert();
}

void TdxDBGrid::CancelRecord()
{
    if (!m_link.Active())
        return;
    TDataSet* ds = m_link.DataSet();
    if (ds->State() == dsEdit || ds->State() == dsInsert)
        ds->Cancel();
}

// --- horizontal scrolling

void TdxDBGrid::ScrollHorizontal(THorzCommand command, int trackPosition)
{
    if (VisibleColumnCount() == 0)
        return;
    const TGridLayout layout = ComputeLayout();
    const std::optional<int> target = HorzScrollTarget(command, m_leftCoord, m_metrics.digitWidth, layout.dataArea.width(),
                                                       layout.contentWidth, trackPosition);
    if (target)
        SetLeftCoord(*target);
}

void TdxDBGrid::OnHorizontalAction(int action)
{
    if (m_inScrollBarUpdate)
        return;
    QScrollBar* bar = horizontalScrollBar();
    THorzCommand command;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: command = THorzCommand::LineRight; break;
    case QAbstractSlider::SliderSingleStepSub: command = THorzCommand::LineLeft; break;
    case QAbstractSlider::SliderPageStepAdd: command = THorzCommand::PageRight; break;
    case QAbstractSlider::SliderPageStepSub: command = THorzCommand::PageLeft; break;
    case QAbstractSlider::SliderToMinimum: command = THorzCommand::LeftEnd; break;
    case QAbstractSlider::SliderToMaximum: command = THorzCommand::RightEnd; break;
    case QAbstractSlider::SliderMove: command = THorzCommand::ThumbTrack; break;
    default: return;
    }
    ScrollHorizontal(command, bar->sliderPosition());
    // The bar ends where LeftCoord is, not where its own step put it.
    bar->setSliderPosition(m_leftCoord);
}

void TdxDBGrid::MakeColumnVisible(int visibleColumn)
{
    const TGridLayout layout = ComputeLayout();
    if (visibleColumn < 0 || visibleColumn >= static_cast<int>(layout.columns.size()))
        return;
    const TColumnSpan& span = layout.columns[static_cast<std::size_t>(visibleColumn)];
    // Content coordinates: 0 at the band's left end.
    const int left = span.left - layout.bandLeft;
    const int right = span.right - layout.bandLeft;
    if (const std::optional<int> x = ScrollIntoView(left, right, m_leftCoord, layout.dataArea.width()))
        SetLeftCoord(*x);
}

void TdxDBGrid::Wheel(int angleDelta)
{
    if (!m_link.Active())
        return;
    int notches = m_wheel.Add(angleDelta);
    for (; notches > 0; --notches)
        GotoRecord(TGotoRecord::Prior);
    for (; notches < 0; ++notches)
        GotoRecord(TGotoRecord::Next);
}
