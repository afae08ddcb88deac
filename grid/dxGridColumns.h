#pragma once
// The grid's columns: a named object owned by the grid, bound to a dataset
// field by name. A column without a field shows empty cells.

#include "grid/GridColors.h"
#include "query/DataSet.h"

#include <QFont>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class TdxDBGrid;

enum TdxTreeListColumnSort : int { csNone = 0, csDown = 1, csUp = 2 };

// Which effective values were set explicitly (bit = member ordinal).
enum TExplicitValue : int { evAlignment = 0, evCaption, evReadOnly, evWidth, evColor, evFont, evMaxLength };

// The default width of a column: 64, or the caption's width + 6 when there is
// a caption; with a bound field, at least (digit - overhang) * display width
// + overhang + 4. `captionWidth` < 0 means no caption, `displayWidth` < 0 no
// field. The result is clamped to kMaxDefaultColumnWidth, so a field declared
// two billion characters wide gives a wide column, not an overflow.
inline constexpr int kMaxDefaultColumnWidth = 32767;
[[nodiscard]] int ComputeDefaultColumnWidth(int captionWidth, int digitWidth, int overhang, int displayWidth);

class TdxDBGridColumn : public QObject {
    Q_OBJECT
public:
    // Created by TdxDBGrid::AddColumn (the grid owns it).
    explicit TdxDBGridColumn(TdxDBGrid* owner);
    ~TdxDBGridColumn() override;

    // The grid the column is attached to; nullptr while detached.
    [[nodiscard]] TdxDBGrid* Grid() const { return m_grid; }
    // Absolute index in the column list; -1 when detached.
    [[nodiscard]] int Index() const;

    [[nodiscard]] QString FieldName() const { return m_fieldName; }
    void SetFieldName(const QString& name);
    // The bound field, or nullptr.
    [[nodiscard]] TField* Field() const { return m_field; }

    // Position among the visible columns of the same band and row.
    [[nodiscard]] int ColIndex() const;
    void SetColIndex(int index);

    [[nodiscard]] QString Caption() const;
    void SetCaption(const QString& caption);
    [[nodiscard]] TAlignment Alignment() const;
    void SetAlignment(TAlignment alignment);
    [[nodiscard]] bool ReadOnly() const;
    void SetReadOnly(bool readOnly);
    [[nodiscard]] int MaxLength() const;
    void SetMaxLength(int length);

    [[nodiscard]] int Width() const;
    // Clamped to at least MinWidth.
    void SetWidth(int width);
    [[nodiscard]] int DefaultWidth() const;
    [[nodiscard]] int MinWidth() const { return m_minWidth; }
    void SetMinWidth(int width);

    [[nodiscard]] TGridColor Color() const;
    void SetColor(TGridColor color);
    [[nodiscard]] QFont Font() const;
    void SetFont(const QFont& font);
    [[nodiscard]] bool HasOwnFont() const { return IsExplicit(evFont); }

    [[nodiscard]] std::uint8_t ExplicitValues() const { return m_explicit; }
    [[nodiscard]] bool IsExplicit(TExplicitValue v) const { return (m_explicit >> v) & 1u; }

    [[nodiscard]] bool DisableEditor() const { return m_disableEditor; }
    void SetDisableEditor(bool value) { m_disableEditor = value; }
    [[nodiscard]] bool DisableCaption() const { return m_disableCaption; }
    void SetDisableCaption(bool value);
    [[nodiscard]] bool Visible() const { return m_visible; }
    void SetVisible(bool visible);
    [[nodiscard]] bool Sizing() const { return m_sizing; }
    void SetSizing(bool value) { m_sizing = value; }
    [[nodiscard]] TAlignment HeaderAlignment() const { return m_headerAlignment; }
    void SetHeaderAlignment(TAlignment a);
    [[nodiscard]] TdxTreeListColumnSort Sorted() const { return m_sorted; }
    [[nodiscard]] int BandIndex() const { return m_bandIndex; }
    [[nodiscard]] int RowIndex() const { return m_rowIndex; }
    [[nodiscard]] int HeaderMaxLineCount() const { return m_headerMaxLineCount; }
    [[nodiscard]] int GroupIndex() const { return m_groupIndex; }

    // Text conversion hook: may change the cell text of a node.
    using TColumnGetText = std::function<void(TdxDBGridColumn* column, int node, QString& text)>;
    void SetOnGetText(TColumnGetText handler) { m_onGetText = std::move(handler); }
    [[nodiscard]] const TColumnGetText& OnGetText() const { return m_onGetText; }

    // The bound field's display text for the active record, through the
    // column's value-to-text conversion; empty without a field.
    [[nodiscard]] virtual QString FieldText() const;

protected:
    friend class TdxDBGrid;
    void Attach(TdxDBGrid* grid) { m_grid = grid; }
    void Detach() { m_grid = nullptr; }
    // Re-finds the field by FieldName in the grid's dataset (no layout signal).
    void Rebind();
    // Drops the binding to `field` (the field object goes away).
    void ForgetField(const TField* field);
    void SetExplicit(TExplicitValue v, bool on);
    void Changed();

private:
    TdxDBGrid* m_grid = nullptr;
    QString m_fieldName;
    TField* m_field = nullptr;
    QString m_caption;
    TAlignment m_alignment = taLeftJustify;
    bool m_readOnly = false;
    int m_maxLength = 0;
    int m_width = 100;
    int m_minWidth = 20;
    TGridColor m_color = TGridColor::System(gridcolor::kWindow);
    QFont m_font;
    std::uint8_t m_explicit = 0;
    bool m_disableEditor = false;
    bool m_disableCaption = false;
    bool m_visible = true;
    bool m_sizing = true;
    TAlignment m_headerAlignment = taLeftJustify;
    TdxTreeListColumnSort m_sorted = csNone;
    int m_bandIndex = 0;
    int m_rowIndex = 0;
    int m_headerMaxLineCount = 1;
    int m_groupIndex = -1;
    TColumnGetText m_onGetText;
};

// The column class the program creates; adds the edit mask.
class TdxDBGridMaskColumn : public TdxDBGridColumn {
    Q_OBJECT
public:
    explicit TdxDBGridMaskColumn(TdxDBGrid* owner) : TdxDBGridColumn(owner) {}

    // Defaults to the bound field's edit mask.
    [[nodiscard]] QString EditMask() const;
    void SetEditMask(const QString& mask) { m_editMask = mask; m_editMaskSet = true; }
    [[nodiscard]] bool IgnoreMaskBlank() const { return m_ignoreMaskBlank; }
    void SetIgnoreMaskBlank(bool value) { m_ignoreMaskBlank = value; }

private:
    QString m_editMask;
    bool m_editMaskSet = false;
    bool m_ignoreMaskBlank = false;
};
