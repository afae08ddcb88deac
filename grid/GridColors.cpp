#include "grid/GridColors.h"

namespace {

// The classic scheme, used until the platform's colour table is wired in.
QColor ClassicSysColor(int index)
{
    switch (index) {
    case gridcolor::kWindow: return QColor(0xFF, 0xFF, 0xFF);
    case gridcolor::kWindowFrame: return QColor(0, 0, 0);
    case gridcolor::kWindowText: return QColor(0, 0, 0);
    case gridcolor::kHighlight: return QColor(0, 0, 0x80);
    case gridcolor::kHighlightText: return QColor(0xFF, 0xFF, 0xFF);
    case gridcolor::kBtnFace: return QColor(0xC0, 0xC0, 0xC0);
    case gridcolor::kBtnShadow: return QColor(0x80, 0x80, 0x80);
    case gridcolor::kBtnText: return QColor(0, 0, 0);
    case gridcolor::kBtnHighlight: return QColor(0xFF, 0xFF, 0xFF);
    case gridcolor::k3DDkShadow: return QColor(0x40, 0x40, 0x40);
    case gridcolor::k3DLight: return QColor(0xDF, 0xDF, 0xDF);
    default: return QColor(0, 0, 0);
    }
}

} // namespace

QColor GridSysColor(int index) { return ClassicSysColor(index); }

QColor TGridColor::ToQColor() const
{
    switch (m_kind) {
    case Kind::Rgb: return QColor(int((m_value >> 16) & 0xFF), int((m_value >> 8) & 0xFF), int(m_value & 0xFF));
    case Kind::System: return GridSysColor(int(m_value));
    case Kind::None: break;
    }
    return QColor(0, 0, 0);
}
