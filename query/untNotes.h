#pragma once
// frmNotes, the content viewer: the full text of a long-text cell in a
// window of its own, and the cell copy of the grid's context menu. The
// window is created on demand, owned by the application through the
// process-wide pointer below, and destroyed when it closes.
//
// Threading: user-interface thread only.

#include <QString>
#include <QWidget>

class QAction;
class QMenu;
class QPushButton;
class TField;
class TDataSet;
class TRichEdit;

class TfrmNotes : public QWidget {
    Q_OBJECT
public:
    // Design outer size, frame included; the window opens at it, centred.
    static constexpr int kDesignWidth = 638;
    static constexpr int kDesignHeight = 471;
    static constexpr int kPanelHeight = 41;

    explicit TfrmNotes(QWidget* parent = nullptr);
    // Clears frmNotes when it points here.
    ~TfrmNotes() override;

    TRichEdit* reRes = nullptr;
    QMenu* pmRes = nullptr;
    QAction* pmSelectAll = nullptr;
    QAction* pmResCopy = nullptr;
    QWidget* pnlBottom = nullptr;
    QPushButton* bbSave = nullptr;
    QPushButton* bbClose = nullptr;

    void bbCloseClick(QObject* Sender);
    void pmSelectAllClick(QObject* Sender);
    // Copies the selection; an empty selection leaves the clipboard alone.
    void pmResCopyClick(QObject* Sender);
    void FormClose(QObject* Sender);

    // Shows the window modeless and brings it to the front.
    void ShowForward();

protected:
    void closeEvent(QCloseEvent* event) override;
};

// The open viewer; nullptr until the first double-click and after a close.
extern TfrmNotes* frmNotes;

// The text "Копировать" puts on the clipboard for a field of the current
// record: its display text (empty for NULL), ending before the first NUL.
[[nodiscard]] QString CellCopyText(const TField& field);

// True for the cells the viewer opens: a non-NULL long-text value.
[[nodiscard]] bool IsViewableCell(const TField& field);

// Opens the viewer for `field` of `dataSet`'s current record: the field of
// the same name is read (the record is never put into edit state) and its
// content replaces the viewer's, RTF shown formatted and anything else as
// plain text, in full. Does nothing unless IsViewableCell(field). Creates
// frmNotes when there is none. A failed load raises and leaves the viewer
// created but not shown.
void OpenNotes(TDataSet& dataSet, const TField& field);
