#pragma once
// The data-aware result grid. It shows the rows of its data source's record
// window (window mode): node i is window row i, read through the data link's
// active record at the moment it is painted; nothing of the result is copied.
// The dataset cursor is the focused row.
//
// Threading: user-interface thread only.

#include "grid/GridColors.h"
#include "grid/GridHitTest.h"
#include "grid/GridLayout.h"
#include "grid/GridMetrics.h"
#include "grid/GridNavigation.h"
#include "grid/GridOptions.h"
#include "grid/RecordWindow.h"
#include "grid/dxGridColumns.h"
#include "query/DataSet.h"

#include <QAbstractScrollArea>
#include <QFont>

#include <functional>
#include <memory>
#include <vector>

class TdxDBGrid;
class TGridAutoScroll;
class TGridKeyController;
class TGridMouseController;
struct TGridPaintState;

// The grid's subscription to its data source; forwards every notification.
class TdxGridDataLink : public TDataLink {
public:
    explicit TdxGridDataLink(TdxDBGrid& grid) : m_grid(grid) {}

    // For each column, in column order, the index of the field its FieldName
    // names in the linked dataset, or -1.
    [[nodiscard]] const std::vector<int>& ColumnFieldMap() const { return m_columnFieldMap; }

    void ActiveChanged(bool active) override;
    void DataSetChanged() override;
    void DataSetScrolled(int distance) override;
    void RecordChanged(TField* field) override;
    void LayoutChanged() override;
    void UpdateData() override;
    void FocusControl(TField* field) override;

private:
    friend class TdxDBGrid;
    void ClearColumnFieldMap();
    void AddToColumnFieldMap(int fieldIndex);

    TdxDBGrid& m_grid;
    std::vector<int> m_columnFieldMap;
};

enum class TGotoRecord { First, Prior, Next, Last };

class TdxDBGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TdxDBGrid(QWidget* parent = nullptr);
    ~TdxDBGrid() override;

    // --- data binding
    void SetDataSource(TDataSource* source);
    [[nodiscard]] TDataSource* DataSource() const { return m_link.DataSource(); }
    [[nodiscard]] TdxGridDataLink& DataLink() { return m_link; }
    [[nodiscard]] const TdxGridDataLink& DataLink() const { return m_link; }

    // --- columns
    // Both raise Exception("DefaultFields property should be set to False")
    // while DefaultFields is on, changing nothing.
    void ClearColumns();
    TdxDBGridMaskColumn* AddColumn();
    [[nodiscard]] int ColumnCount() const { return static_cast<int>(m_columns.size()); }
    [[nodiscard]] TdxDBGridColumn* Columns(int index) const;
    [[nodiscard]] int IndexOfColumn(const TdxDBGridColumn* column) const;
    [[nodiscard]] int VisibleColumnCount() const;
    [[nodiscard]] TdxDBGridColumn* VisibleColumn(int visibleIndex) const;
    // Moves a column to absolute index `index` (clamped).
    void MoveColumn(TdxDBGridColumn* column, int index);

    [[nodiscard]] bool DefaultFields() const { return m_defaultFields; }
    void SetDefaultFields(bool value) { m_defaultFields = value; }
    [[nodiscard]] bool DefaultLayout() const { return m_defaultLayout; }
    void SetDefaultLayout(bool value);
    [[nodiscard]] int HeaderPanelRowCount() const { return m_headerPanelRowCount; }
    void SetHeaderPanelRowCount(int count);
    [[nodiscard]] bool ShowBands() const { return false; }

    // --- cells
    // Display text of visible or hidden column `column` (absolute) in node
    // `node`; empty when the link is inactive or there is no such column.
    [[nodiscard]] QString NodeCellText(int node, int column);
    // Nestable: only the outermost pair saves and restores the active record.
    void BeginNodeRead(int node);
    void EndNodeRead();
    // Text of a column for the dataset's current record (no conversion, no
    // OnGetText); empty without a field.
    [[nodiscard]] QString ColumnCurrentText(int column) const;

    // --- focus
    [[nodiscard]] int FocusedVisibleColumn() const;
    void SetFocusedVisibleColumn(int visibleIndex);
    [[nodiscard]] int FocusedColumnIndex() const;
    [[nodiscard]] TField* FocusedColumnField() const;
    [[nodiscard]] int FocusedNode() const { return m_focusedNode; }
    [[nodiscard]] int NodeCount() const { return m_nodeCount; }

    // --- options
    [[nodiscard]] TdxDBGridOptionsBehavior OptionsBehavior() const { return m_options.OptionsBehavior(); }
    [[nodiscard]] TdxDBGridOptionsCustomize OptionsCustomize() const { return m_options.OptionsCustomize(); }
    [[nodiscard]] TdxDBGridOptionsDB OptionsDB() const { return m_options.OptionsDB(); }
    [[nodiscard]] TdxDBGridOptionsView OptionsView() const { return m_options.OptionsView(); }
    void SetOptionsBehavior(TdxDBGridOptionsBehavior value);
    void SetOptionsCustomize(TdxDBGridOptionsCustomize value);
    void SetOptionsDB(TdxDBGridOptionsDB value);
    void SetOptionsView(TdxDBGridOptionsView value);
    [[nodiscard]] std::uint32_t Options() const { return m_options.Options(); }
    [[nodiscard]] std::uint32_t OptionsEx() const { return m_options.OptionsEx(); }
    [[nodiscard]] bool IsWindowMode() const;

    // --- record window
    [[nodiscard]] int VisibleRowCount() const { return m_rows.visible; }
    [[nodiscard]] int PartialRowCount() const { return m_rows.partial; }
    void MeasureWindowRows();
    void SyncWindow();
    void FollowActiveRecord();
    void MoveToRow(int row);
    // The focused node after the move; -1 when prior hit the start or next
    // the end.
    int GotoRecord(TGotoRecord where);
    [[nodiscard]] TScrollInfo WindowScrollInfo() const;
    void ScrollVertical(TScrollCommand command, int thumbPosition = 0);
    void ResetDataLayout();

    // --- metrics, layout, painting
    void RecalcMetrics();
    [[nodiscard]] const TGridMetrics& Metrics() const { return m_metrics; }
    // What a paint needs, resolved now; its cell-text callback reads this grid.
    [[nodiscard]] TGridPaintState PaintState();
    [[nodiscard]] TGridLayout ComputeLayout() const;
    [[nodiscard]] int LeftCoord() const { return m_leftCoord; }
    void SetLeftCoord(int value);
    void InvalidateNodeRect(int node);
    void BeginUpdate();
    void EndUpdate();

    [[nodiscard]] QFont HeaderFont() const { return m_headerFont; }
    void SetHeaderFont(const QFont& font);
    [[nodiscard]] int DefaultRowHeight() const { return m_metrics.defaultRowHeight; }
    void SetDefaultRowHeight(int height);
    [[nodiscard]] bool ShowGrid() const { return m_showGrid; }
    void SetShowGrid(bool value);
    [[nodiscard]] bool ShowHeader() const { return m_showHeader; }
    void SetShowHeader(bool value);
    [[nodiscard]] bool HideSelection() const { return m_hideSelection; }
    void SetHideSelection(bool value) { m_hideSelection = value; viewport()->update(); }
    [[nodiscard]] bool HideFocusRect() const { return m_hideFocusRect; }
    void SetHideFocusRect(bool value) { m_hideFocusRect = value; viewport()->update(); }

    [[nodiscard]] TGridColor Color() const { return m_color; }
    void SetColor(TGridColor c) { m_color = c; viewport()->update(); }
    [[nodiscard]] TGridColor HeaderColor() const { return m_headerColor; }
    void SetHeaderColor(TGridColor c) { m_headerColor = c; viewport()->update(); }
    [[nodiscard]] TGridColor HighlightColor() const { return m_highlightColor; }
    void SetHighlightColor(TGridColor c) { m_highlightColor = c; viewport()->update(); }
    [[nodiscard]] TGridColor HighlightTextColor() const { return m_highlightTextColor; }
    void SetHighlightTextColor(TGridColor c) { m_highlightTextColor = c; viewport()->update(); }
    [[nodiscard]] TGridColor HideSelectionColor() const { return m_hideSelectionColor; }
    void SetHideSelectionColor(TGridColor c) { m_hideSelectionColor = c; viewport()->update(); }
    [[nodiscard]] TGridColor HideSelectionTextColor() const { return m_hideSelectionTextColor; }
    void SetHideSelectionTextColor(TGridColor c) { m_hideSelectionTextColor = c; viewport()->update(); }
    [[nodiscard]] TGridColor GridLineColor() const { return m_gridLineColor; }
    void SetGridLineColor(TGridColor c) { m_gridLineColor = c; viewport()->update(); }
    // The pen colour of the grid lines under the current scheme.
    [[nodiscard]] QColor EffectiveGridLineColor() const;
    // The grid font's text colour.
    [[nodiscard]] TGridColor FontColor() const { return m_fontColor; }
    void SetFontColor(TGridColor c) { m_fontColor = c; viewport()->update(); }

    // True while the grid has the keyboard focus.
    [[nodiscard]] bool GridFocused() const;

    // The header cell of this column is drawn pressed (mouse handling sets it).
    void SetPressedColumn(int absoluteIndex) { m_pressedColumn = absoluteIndex; viewport()->update(); }
    [[nodiscard]] int PressedColumn() const { return m_pressedColumn; }

    // --- interaction
    [[nodiscard]] TGridHitInfo HitTest(QPoint viewportPoint) const;
    // Moves the dataset to `node`'s record, focuses visible column
    // `visibleColumn` and, with `makeVisible`, scrolls it into view.
    void FocusCell(int node, int visibleColumn, bool makeVisible = true);
    // Nothing unless 0 <= visibleColumn < VisibleColumnCount() and it differs.
    void FocusColumn(int visibleColumn);
    void CopyRowsToClipboard();
    [[nodiscard]] QString RowsClipboardText();
    // Fits visible column `visibleColumn` to its loaded cells and caption.
    void FitColumnWidth(int visibleColumn);
    [[nodiscard]] TGridState State() const;

    // --- record commands (each needs an active link)
    // Asks "Delete record?" (caption "Confirm") first; a failed delete
    // propagates and leaves the record where the dataset keeps it.
    void DeleteFocusedRecord();
    void InsertRecord();
    void CancelRecord();
    // Insert state with nothing typed into the record.
    [[nodiscard]] bool UntouchedInsert() const;
    // Cancels an untouched insert; true when it did. Every cursor move of
    // the grid runs it first: a blank record is never posted.
    bool CancelUntouchedInsert();

    // --- horizontal scrolling
    void ScrollHorizontal(THorzCommand command, int trackPosition = 0);
    void MakeColumnVisible(int visibleColumn);
    // One wheel message: whole notches move one record each.
    void Wheel(int angleDelta);
    [[nodiscard]] TGridAutoScroll& AutoScroll() { return *m_autoScroll; }

    // --- events of the grid (each may be empty)
    // Double click on a data cell only.
    void SetOnDblClick(std::function<void()> handler) { m_onDblClick = std::move(handler); }
    void SetOnChangeLeftCoord(std::function<void()> handler) { m_onChangeLeftCoord = std::move(handler); }
    void SetOnChangedColumnsWidth(std::function<void()> handler) { m_onChangedColumnsWidth = std::move(handler); }
    // A context-menu request anywhere in the grid, its scroll bars included,
    // from the mouse or the keyboard (Menu key, Shift+F10); the argument is
    // the mouse position on the screen.
    void SetOnContextPopup(std::function<void(QPoint)> handler) { m_onContextPopup = std::move(handler); }

    // Overlays of the mouse operations, in viewport x; -1 hides them.
    void SetSizingLine(int x);
    void SetDropMark(int x);

    // Named "Column" + n after the grid's objectName; used by AddColumn.
    [[nodiscard]] bool IsColumnNameFree(const QString& name) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The wheel and the context menu, the same over the data and the bars.
    bool WholeGridEvent(QEvent* event);

private:
    friend class TdxGridDataLink;
    friend class TdxDBGridColumn;
    friend class TGridMouseController;

    // Data link notifications.
    void LinkActiveChanged(bool active);
    void LinkDataSetChanged();
    void LinkDataSetScrolled(int distance);
    void LinkRecordChanged(TField* field);
    void LinkLayoutChanged();
    void LinkFocusControl(TField* field);

    // Columns changed: width, visibility, order, caption or binding.
    void ColumnLayoutChanged();
    void UpdateScrollBars();
    void OnVerticalAction(int action);
    void OnHorizontalAction(int action);
    void FireDblClick();
    void FireChangedColumnsWidth();
    void OnVerticalReleased();
    void ApplyMove(const TDataSetMove& move);
    [[nodiscard]] TMetricsInput MeasureFonts() const;
    [[nodiscard]] std::vector<int> VisibleWidths() const;
    [[nodiscard]] QRect NodeRect(int node) const;

    TdxGridDataLink m_link;
    TGridOptions m_options;
    std::vector<TdxDBGridColumn*> m_columns;

    bool m_defaultFields = false;
    bool m_defaultLayout = true;
    int m_headerPanelRowCount = 1;

    int m_nodeCount = 1;
    int m_focusedNode = 0;
    int m_focusedVisibleColumn = 0;
    int m_nodeReadDepth = 0;
    int m_savedActiveRecord = 0;
    bool m_inSyncWindow = false;
    bool m_following = false;
    int m_updateLock = 0;
    bool m_metricsPending = false;
    bool m_destroying = false;
    int m_pressedColumn = -1;
    bool m_inScrollBarUpdate = false;
    bool m_askingToDelete = false;   // the delete's question is on screen
    int m_sizingLineX = -1;
    int m_dropMarkX = -1;
    TWheelAccumulator m_wheel;
    std::unique_ptr<TGridKeyController> m_keys;
    std::unique_ptr<TGridMouseController> m_mouse;
    std::unique_ptr<TGridAutoScroll> m_autoScroll;
    std::function<void()> m_onDblClick;
    std::function<void(QPoint)> m_onContextPopup;
    std::function<void()> m_onChangeLeftCoord;
    std::function<void()> m_onChangedColumnsWidth;

    TWindowRows m_rows;
    TGridMetrics m_metrics;
    int m_explicitRowHeight = 0;
    int m_leftCoord = 0;
    QFont m_headerFont;
    bool m_headerFontExplicit = false;
    bool m_showGrid = true;
    bool m_showHeader = true;
    bool m_hideSelection = false;
    bool m_hideFocusRect = false;

    TGridColor m_color = TGridColor::System(gridcolor::kWindow);
    TGridColor m_fontColor = TGridColor::System(gridcolor::kWindowText);
    TGridColor m_headerColor = TGridColor::System(gridcolor::kBtnFace);
    TGridColor m_highlightColor = TGridColor::System(gridcolor::kHighlight);
    TGridColor m_highlightTextColor = TGridColor::System(gridcolor::kHighlightText);
    TGridColor m_hideSelectionColor = m_highlightColor;
    TGridColor m_hideSelectionTextColor = m_highlightTextColor;
    TGridColor m_gridLineColor = TGridColor::None();
    TGridColor m_arrowsColor = TGridColor::Rgb(0, 255, 0);
};
