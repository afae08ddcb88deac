#include "grid/dxGridColumns.h"

#include "grid/dxDBGrid.h"

#include <QFontMetrics>

#include <algorithm>

int ComputeDefaultColumnWidth(int captionWidth, int digitWidth, int overhang, int displayWidth)
{
    std::int64_t width = 64;
    if (captionWidth >= 0)
        width = std::int64_t(captionWidth) + 6;
    if (displayWidth >= 0)
        width = std::max(width, (std::int64_t(digitWidth) - overhang) * displayWidth + overhang + 4);
    return int(std::min<std::int64_t>(width, kMaxDefaultColumnWidth));
}

TdxDBGridColumn::TdxDBGridColumn(TdxDBGrid* owner) : QObject(owner) {}

TdxDBGridColumn::~TdxDBGridColumn()
{
    // A column deleted directly (not through ClearColumns) leaves the list.
    if (m_grid) {
        auto& v = m_grid->m_columns;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
        m_grid->ColumnLayoutChanged();
    }
}

int TdxDBGridColumn::Index() const { return m_grid ? m_grid->IndexOfColumn(this) : -1; }

void TdxDBGridColumn::SetFieldName(const QString& name)
{
    // Grouping is never switched on, so the grouping checks have nothing to
    // remove the column from.
    m_fieldName = name;
    Rebind();
    Changed();
}

void TdxDBGridColumn::Rebind()
{
    m_field = nullptr;
    if (!m_grid || m_fieldName.isEmpty())
        return;
    TDataSet* ds = m_grid->DataLink().DataSet();
    if (!ds || (!ds->Active() && ds->DefaultFields()))
        return;
    m_field = ds->FindField(m_fieldName);
}

void TdxDBGridColumn::ForgetField(const TField* field)
{
    if (field && m_field == field)
        m_field = nullptr;
}

int TdxDBGridColumn::ColIndex() const
{
    if (!m_grid)
        return -1;
    int pos = 0;
    for (TdxDBGridColumn* c : m_grid->m_columns) {
        if (c == this)
            return pos;
        if (c->Visible() && c->BandIndex() == m_bandIndex && c->RowIndex() == m_rowIndex)
            ++pos;
    }
    return -1;
}

void TdxDBGridColumn::SetColIndex(int index)
{
    if (!m_grid || m_bandIndex == -1 || index == ColIndex())
        return;
    // The other visible columns of this band row, in list order.
    std::vector<TdxDBGridColumn*> row;
    for (TdxDBGridColumn* c : m_grid->m_columns)
        if (c != this && c->Visible() && c->BandIndex() == m_bandIndex && c->RowIndex() == m_rowIndex)
            row.push_back(c);
    index = std::clamp(index, 0, static_cast<int>(row.size()));
    // Target position in the list without this column.
    std::vector<TdxDBGridColumn*> rest;
    for (TdxDBGridColumn* c : m_grid->m_columns)
        if (c != this)
            rest.push_back(c);
    int target = static_cast<int>(rest.size());
    if (index < static_cast<int>(row.size()))
        target = static_cast<int>(std::find(rest.begin(), rest.end(), row[static_cast<std::size_t>(index)]) - rest.begin());
    else if (!row.empty())
        target = static_cast<int>(std::find(rest.begin(), rest.end(), row.back()) - rest.begin()) + 1;
    m_grid->MoveColumn(this, target);
}

QString TdxDBGridColumn::Caption() const
{
    if (IsExplicit(evCaption))
        return m_caption;
    return m_field ? m_field->DisplayName() : m_fieldName;
}

void TdxDBGridColumn::SetCaption(const QString& caption)
{
    m_caption = caption;
    SetExplicit(evCaption, true);
    Changed();
}

TAlignment TdxDBGridColumn::Alignment() const
{
    if (IsExplicit(evAlignment))
        return m_alignment;
    return m_field ? m_field->Alignment() : taLeftJustify;
}

void TdxDBGridColumn::SetAlignment(TAlignment alignment)
{
    m_alignment = alignment;
    SetExplicit(evAlignment, true);
    Changed();
}

bool TdxDBGridColumn::ReadOnly() const
{
    if (IsExplicit(evReadOnly))
        return m_readOnly;
    return m_field ? m_field->ReadOnly() : false;
}

void TdxDBGridColumn::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    SetExplicit(evReadOnly, true);
}

int TdxDBGridColumn::MaxLength() const
{
    if (IsExplicit(evMaxLength))
        return m_maxLength;
    if (m_field && (m_field->DataType() == ftString || m_field->DataType() == ftWideString))
        return m_field->Size();
    return 0;
}

void TdxDBGridColumn::SetMaxLength(int length)
{
    m_maxLength = length;
    SetExplicit(evMaxLength, true);
}

int TdxDBGridColumn::DefaultWidth() const
{
    if (!m_grid)
        return 100;
    const QString caption = Caption();
    const int captionWidth = caption.isEmpty() ? -1 : QFontMetrics(m_grid->HeaderFont()).horizontalAdvance(caption);
    const int digit = QFontMetrics(Font()).horizontalAdvance(QLatin1Char('0'));
    // Qt fonts report no overhang.
    return ComputeDefaultColumnWidth(captionWidth, digit, 0, m_field ? m_field->DisplayWidth() : -1);
}

int TdxDBGridColumn::Width() const { return IsExplicit(evWidth) ? m_width : DefaultWidth(); }

void TdxDBGridColumn::SetWidth(int width)
{
    width = std::max(width, m_minWidth);
    if (!IsExplicit(evWidth) && width == DefaultWidth())
        return;
    m_width = width;
    SetExplicit(evWidth, true);
    Changed();
}

void TdxDBGridColumn::SetMinWidth(int width)
{
    m_minWidth = std::max(0, width);
    if (IsExplicit(evWidth) && m_width < m_minWidth) {
        m_width = m_minWidth;
        Changed();
    }
}

TGridColor TdxDBGridColumn::Color() const
{
    if (IsExplicit(evColor) || !m_grid)
        return m_color;
    return m_grid->Color();
}

void TdxDBGridColumn::SetColor(TGridColor color)
{
    m_color = color;
    SetExplicit(evColor, true);
    Changed();
}

QFont TdxDBGridColumn::Font() const
{
    if (IsExplicit(evFont) || !m_grid)
        return m_font;
    return m_grid->font();
}

void TdxDBGridColumn::SetFont(const QFont& font)
{
    m_font = font;
    SetExplicit(evFont, true);
    Changed();
}

void TdxDBGridColumn::SetDisableCaption(bool value)
{
    m_disableCaption = value;
    Changed();
}

void TdxDBGridColumn::SetVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    Changed();
}

void TdxDBGridColumn::SetHeaderAlignment(TAlignment a)
{
    m_headerAlignment = a;
    Changed();
}

QString TdxDBGridColumn::FieldText() const { return m_field ? m_field->DisplayText() : QString(); }

void TdxDBGridColumn::SetExplicit(TExplicitValue v, bool on)
{
    if (on)
        m_explicit = static_cast<std::uint8_t>(m_explicit | (1u << v));
    else
        m_explicit = static_cast<std::uint8_t>(m_explicit & ~(1u << v));
}

void TdxDBGridColumn::Changed()
{
    if (m_grid)
        m_grid->ColumnLayoutChanged();
}

QString TdxDBGridMaskColumn::EditMask() const
{
    if (m_editMaskSet)
        return m_editMask;
    return Field() ? Field()->EditMask() : QString();
}
