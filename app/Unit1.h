#pragma once
// frmQA, the main window: toolbar, query editor, splitter, result area
// (message memo or result grid), button panel and status bar, with the
// connection and queries it owns. Control and component fields keep their
// design names; handlers take the sender and may raise — the connections
// made here run them through the failure guard.

#include "app/ImageList.h"
#include "platform/ui/DialogService.h"
#include "query/Database.h"
#include "query/untPwd.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QWidget>

#include <memory>
#include <optional>

class QAction;
class QMenu;
class QPushButton;
class QToolBar;
class QToolButton;
class TdxDBGrid;
class TRichEdit;
class TSplitter;
class TQueryRunner;
class TQueryRunView;
struct TRunSummary;

// StatusBar1: one sunken panel stretching over the whole width, its text
// centred vertically in the bar (TStatusPanelLayout). Connection strings
// show with their passwords masked (MaskConnectionPasswords).
class TStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget* parent = nullptr);
    void SetStatusText(const QString& text);
    // The text as shown.
    [[nodiscard]] QString StatusText() const { return m_text; }
    // The second panel, right of the first, sized to `text`; empty: none.
    // `resultPart` is the part of it that names the result shown.
    void SetRunText(const QString& text, const QString& resultPart = QString());
    [[nodiscard]] QString RunText() const { return m_runText; }
    // The second panel's frame; empty without one.
    [[nodiscard]] QRect RunPanelRect() const;

signals:
    // A click on the second panel; `onResult` when on its result part.
    void RunPanelClicked(bool onResult);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_text;
    QString m_runText;
    QString m_resultPart;
};

class TfrmQA : public QWidget {
    Q_OBJECT
public:
    // Design outer size of the window.
    static constexpr int kDesignWidth = 693;
    static constexpr int kDesignHeight = 587;
    static constexpr int kDesignEditorHeight = 265;

    explicit TfrmQA(QWidget* parent = nullptr);
    ~TfrmQA() override;

    // Height of reQuery; the result area takes the change.
    void SetEditorHeight(int height);
    [[nodiscard]] int EditorHeight() const { return m_editorHeight; }

    // Outer size and placement (frame included), as the stored settings
    // give them before the first show; the frame is subtracted once known.
    void SetOuterWidth(int width);
    void SetOuterHeight(int height);
    [[nodiscard]] QSize OuterSize() const { return m_outerSize; }
    // Placement as designed: the frame's top-left at `pos`.
    void SetOuterPos(QPoint pos);
    void SetPlacementCentred();
    // The outer rectangle as the window system reports it; the restored
    // rectangle while minimised.
    [[nodiscard]] QRect OuterBounds() const;

    // The editor and the run action, for the password window.
    [[nodiscard]] TPasswordHost PasswordHost();

    // The row sets and messages of the last run.
    void SetRunSummary(const TRunSummary& summary);
    // Shows row set `index` of the last run in the grid (nothing when there
    // is no such set); a new run starts again at the first.
    void ShowResultSet(int index);
    [[nodiscard]] int ShownResultSet() const { return m_shownResult; }
    // The dataset the grid shows: the main query or a later row set.
    [[nodiscard]] TDataSet* ShownDataSet() const;
    void ToggleMessages();

    // ---- controls ----
    QToolBar* ToolBar1 = nullptr;
    QToolButton* tbOpenFile = nullptr;
    QToolButton* tbName = nullptr;
    QToolButton* tbSize = nullptr;
    QToolButton* tbDB = nullptr;
    QWidget* ToolButton3 = nullptr;  // separator, 8 pixels
    QToolButton* tbFontDialogRichEdit = nullptr;
    QWidget* ToolButton2 = nullptr;  // separator, 18 pixels
    QToolButton* ToolButton1 = nullptr;

    TRichEdit* reQuery = nullptr;
    TSplitter* Splitter1 = nullptr;
    QPlainTextEdit* MemoRes = nullptr;
    // What the server said with the last run, in the result area's place
    // while open (Ctrl+M, or a click on the status bar's run panel).
    QPlainTextEdit* MemoMessages = nullptr;
    TdxDBGrid* dxDBGridRes = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* bQuery = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button4 = nullptr;
    TStatusBar* StatusBar1 = nullptr;

    // ---- menus ----
    QMenu* PopupMenu1 = nullptr;
    QAction* N1 = nullptr;
    QAction* Collate1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* N4 = nullptr;
    QAction* N5 = nullptr;
    QAction* N6 = nullptr;
    QAction* N7 = nullptr;
    QAction* N8 = nullptr;
    QAction* N9 = nullptr;
    QMenu* pmSize = nullptr;
    QAction* N10 = nullptr;
    QMenu* pmSizeList = nullptr;
    QAction* Collation1 = nullptr;
    QAction* mmSizeD = nullptr;
    QMenu* pmDB = nullptr;
    QMenu* pmCopyPaste = nullptr;
    QAction* N12 = nullptr;
    QAction* N13 = nullptr;
    QAction* N14 = nullptr;
    QAction* N15 = nullptr;
    QMenu* pmCopy = nullptr;
    QAction* N11 = nullptr;

    // ---- non-visual components ----
    std::unique_ptr<TDbConnection> ADOConnection;
    std::unique_ptr<TDbQuery> ADOQuerySql;
    std::unique_ptr<TDbQuery> qrySqlDop;
    std::unique_ptr<TDataSource> DataSource1;
    // Qt name filters of the file dialogs.
    QString OpenDialogFilter;
    QString SaveDialogFilter;
    // The font dialog's own font: the design font until the first OK.
    TFontChoice FontDialogRichEdit;
    TImageList ImageList;

    // ---- handlers ----
    void FormCreate(QObject* Sender);
    void FormClose(QObject* Sender);
    void bQueryClick(QObject* Sender);
    void ToolButton1Click(QObject* Sender);
    void Button5Click(QObject* Sender);
    void Button1Click(QObject* Sender);
    void Button4Click(QObject* Sender);
    void Button3Click(QObject* Sender);
    void Button6Click(QObject* Sender);
    void tbOpenFileClick(QObject* Sender);
    void tbNameClick(QObject* Sender);
    void tbSizeClick(QObject* Sender);
    void N1Click(QObject* Sender);
    void Collate1Click(QObject* Sender);
    void N2Click(QObject* Sender);
    void N3Click(QObject* Sender);
    void N4Click(QObject* Sender);
    void N5Click(QObject* Sender);
    void N6Click(QObject* Sender);
    void N7Click(QObject* Sender);
    void N8Click(QObject* Sender);
    void N9Click(QObject* Sender);
    void N10Click(QObject* Sender);
    void Collation1Click(QObject* Sender);
    void mmSizeDClick(QObject* Sender);
    void pmSizeListClick(QObject* Sender);
    void pmDBPopup(QObject* Sender);
    void ClickDbItem(QObject* Sender);
    void pmSizePopup(QObject* Sender);
    void pmSizeListItem(QObject* Sender);
    void tbFontDialogRichEditClick(QObject* Sender);
    void N12Click(QObject* Sender);
    void N13Click(QObject* Sender);
    void N14Click(QObject* Sender);
    void N15Click(QObject* Sender);
    void N11Click(QObject* Sender);
    void dxDBGridResDblClick(QObject* Sender);

signals:
    // The window has closed (after FormClose); the program ends on it.
    void Closed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateToolBar();
    void CreateMenus();
    void CreatePanel();
    void CreateComponents();
    void SetTabOrder();
    void AlignControls();
    void ApplyOuterSize();
    // Window and memo colours from the colour scheme in force now.
    void ApplySchemeColors();
    [[nodiscard]] int ResultAreaHeight() const;

    void UpdateRunPanel();

    std::unique_ptr<TQueryRunView> m_runView;
    std::unique_ptr<TRunSummary> m_summary;   // of the last run; null before one
    // Keeps the run panel's row count with the result shown (a delete).
    std::unique_ptr<TDataLink> m_rowsLink;
    int m_shownResult = 0;
    std::unique_ptr<TQueryRunner> m_runner;
    bool m_closeAfterRun = false;   // a close came during a run: close when it ends
    int m_editorHeight = kDesignEditorHeight;
    bool m_outerSizePending = true;
    QSize m_outerSize{kDesignWidth, kDesignHeight};
    std::optional<QPoint> m_outerPos;   // empty: centred on the screen
    bool m_activated = false;
};
